// Headless runner: loads a ROM, runs the machine for a number of frames without a window
// and reports a test ROM's verdict.
//
//   tov-run [--frames N] [--set Key=Value]... [--ini FILE] [--serial] [--until-done]
//           [--benchmark] [--no-draw] [--screenshot FILE] [--wav FILE] [--realtime]
//           [--load-state FILE] [--save-state FILE] [--break [BANK:]ADDR|NAME]...
//           [--tilt X,Y]
//           [--listen [ADDR:]PORT | --connect HOST[:PORT]] [--link-wait SECONDS]
//           [--vram FILE]
//           [--cheat CODE]... [--cheats FILE]
//           [--press FRAME:BUTTONS[:N]]...
//           [ROM]
//
// Every frame is drawn into a memory picture, as the desktop program does at normal
// speed; --no-draw skips the drawing of every frame. --screenshot writes the last
// picture (with the border that `Border` gives) as BMP, or PNG for a ".png" name.
// --wav records the sound of the run; --realtime paces the run at `Speed`.
// --load-state applies a save state before the first frame (switching to the state's ROM,
// so the ROM argument may be left out); --save-state writes one after the last frame.
// --vram writes the VRAM viewer's tiles page (both banks, grey) beside its map page (the
// map LCDC selects, with its palettes) after the run, as BMP or PNG.
//
// --press holds buttons of controller 1 (a, b, start, select, up, down, left, right,
// joined by '+') from frame FRAME (the first frame is 0) for N frames, 5 by default.
//
// --until-done stops at the first verdict: "Passed" or "Failed" sent over the serial
// port, the `ld b,b` register signature, or the result block in cartridge RAM.
// A program that can never continue (HALT with nothing to wake it, a jump to itself with
// interrupts off) ends the run at once, except under --benchmark; under --until-done
// without a verdict it failed.
//
// --break sets an execution breakpoint (hex; with a bank for a banked address), or at a name
// of the ROM's symbol file (the ROM's name with ".sym", "BB:AAAA name" lines). With one,
// or with a misuse check switched on by its option key (--set DebugEcho=1 ...), or with
// StartDebug, the debugger watches the run: when it stops for any reason, the stop message,
// the register view and ten code-view lines around PC are printed and the run ends.
//
// --tilt holds a tilt-sensor cartridge (MBC7) at the raw sensor position X,Y (each 0-511,
// 255,255 level; lower X is tilted left, lower Y up), as if the cursor stood there;
// without it the sensor stays level.
// --listen and --connect join two runs with the link cable over TCP (as the desktop program's
// link commands do): the listening run prints "listening on ADDR:PORT" (port 0 lets the system
// choose one) and both wait up to --link-wait seconds (30) for the link before the first
// frame. The link's message boxes go to stderr as "title: text".
// --cheat adds a Game Genie or GameShark code, enabled, to the cheat list; --cheats loads a
// ".cht" file into it first (with `CheatAutoSave` the list follows the ROM as in the desktop
// program). GameShark codes are written after every frame. After the run every cheat's
// list line is printed ("cheat: ..."), and for GameShark codes the byte at their address
// ("memory: AAAA=VV").
//
// Exit status: 0 passed, 1 failed, 2 bad arguments or a ROM that does not load,
// 3 no verdict within the frames, 4 the debugger stopped the machine.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "core/gb.h"
#include "core/pacing.h"
#include "core/stuck.h"
#include "frontend/presses.h"
#include "frontend/savestates.h"
#include "debugger/debuggertov.h"
#include "debugger/symbols.h"
#include "debugger/views.h"
#include "cheats/cheats.h"
#include "frontend/cheathooks.h"
#include "frontend/session.h"
#include "frontend/settings.h"
#include "frontend/windowlogic.h"
#include "cart/tilt.h"
#include "link/gblink.h"
#include "platform/asiosocket.h"
#include "viewers/vramviewer.h"

namespace {

using namespace tov;

constexpr double nominalfps = 4194304.0 / 70224.0;  // 59.7275

enum tverdict { verdictnone, verdictpassed, verdictfailed };

struct trunoptions {
    long frames = 3600;
    std::vector<std::string> sets;  // extra "tov.ini" lines, applied after the file
    std::string inifile;
    bool serial = false;
    bool untildone = false;
    bool benchmark = false;
    bool nodraw = false;
    bool realtime = false;
    std::string screenshot;
    std::string wav;
    std::string loadstate;
    std::string savestate;
    std::string vram;
    bool tilt = false;
    int tiltx = 255, tilty = 255;
    std::string listen;
    std::string connect;
    double linkwait = 30;
    std::vector<std::string> cheats;
    std::string cheatfile;
    std::vector<tpress> presses;
    std::vector<std::string> breaks;  // as given: resolved once the ROM's symbols are read
    std::string rom;
};

void usage() {
    std::fprintf(stderr,
                 "usage: tov-run [--frames N] [--set Key=Value]... [--ini FILE] [--serial]\n"
                 "               [--until-done] [--benchmark] [--no-draw] [--screenshot FILE]\n"
                 "               [--wav FILE] [--realtime] [--load-state FILE] [--save-state FILE]\n"
                 "               [--break [BANK:]ADDR|NAME]...\n"
                 "               [--tilt X,Y]\n"
                 "               [--listen [ADDR:]PORT | --connect HOST[:PORT]] [--link-wait SECONDS]\n"
                 "               [--vram FILE]\n"
                 "               [--cheat CODE]... [--cheats FILE]\n"
                 "               [--press FRAME:BUTTONS[:N]]...\n"
                 "               [ROM]   (the ROM may be left out with --load-state)\n");
}

// Options that take a value. Adding one: a line here (and a field above).
bool parseargs(int argc, char** argv, trunoptions& o) {
    for (int i = 1; i < argc; i++) {
        std::string a = argv[i];
        auto value = [&](std::string& out) {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "tov-run: %s needs a value\n", a.c_str());
                return false;
            }
            out = argv[++i];
            return true;
        };
        std::string v;
        if (a == "--frames") {
            if (!value(v)) return false;
            char* end = nullptr;
            long n = std::strtol(v.c_str(), &end, 10);
            if (v.empty() || *end || n < 0) {
                std::fprintf(stderr, "tov-run: bad frame count \"%s\"\n", v.c_str());
                return false;
            }
            o.frames = n;
        } else if (a == "--set") {
            if (!value(v)) return false;
            if (v.find('=') == std::string::npos) {
                std::fprintf(stderr, "tov-run: --set needs Key=Value, got \"%s\"\n", v.c_str());
                return false;
            }
            o.sets.push_back(v);
        } else if (a == "--break") {
            if (!value(v)) return false;
            // A bad bank or an address out of range is refused here; a name waits for the ROM.
            tbreakaddress b = parsebreakaddress(v);
            if (v.empty() || (!b.valid && !b.anyaddress) || (b.anyaddress && v.find(':') != std::string::npos)) {
                std::fprintf(stderr, "tov-run: bad breakpoint address \"%s\" (hex ADDR, BANK:ADDR or a symbol name)\n", v.c_str());
                return false;
            }
            o.breaks.push_back(v);
        } else if (a == "--tilt") {
            if (!value(v)) return false;
            int x = -1, y = -1;
            char tail = 0;
            if (std::sscanf(v.c_str(), "%d,%d%c", &x, &y, &tail) != 2 || x < 0 || x > 511 || y < 0 || y > 511) {
                std::fprintf(stderr, "tov-run: --tilt needs X,Y from 0 to 511, got \"%s\"\n", v.c_str());
                return false;
            }
            o.tilt = true;
            o.tiltx = x;
            o.tilty = y;
        } else if (a == "--listen" || a == "--connect") {
            std::string& where = a == "--listen" ? o.listen : o.connect;
            if (!value(where)) return false;
            // An empty text would be taken as no link at all, and the run would go on unlinked.
            if (where.empty()) {
                std::fprintf(stderr, "tov-run: %s needs %s\n", a.c_str(), a == "--listen" ? "[ADDR:]PORT" : "HOST[:PORT]");
                return false;
            }
        } else if (a == "--link-wait") {
            if (!value(v)) return false;
            char* end = nullptr;
            double seconds = std::strtod(v.c_str(), &end);
            if (v.empty() || *end || !(seconds >= 0) || seconds > 86400) {
                std::fprintf(stderr, "tov-run: bad --link-wait \"%s\" (seconds)\n", v.c_str());
                return false;
            }
            o.linkwait = seconds;
        } else if (a == "--cheat") {
            if (!value(v)) return false;
            o.cheats.push_back(v);
        } else if (a == "--cheats") {
            if (!value(o.cheatfile)) return false;
        } else if (a == "--press") {
            if (!value(v)) return false;
            tpress p;
            std::string error;
            if (!parsepress(v, p, error)) {
                std::fprintf(stderr, "tov-run: bad --press \"%s\": %s\n", v.c_str(), error.c_str());
                return false;
            }
            o.presses.push_back(p);
        } else if (a == "--ini") {
            if (!value(o.inifile)) return false;
        } else if (a == "--serial") {
            o.serial = true;
        } else if (a == "--until-done") {
            o.untildone = true;
        } else if (a == "--benchmark") {
            o.benchmark = true;
        } else if (a == "--no-draw") {
            o.nodraw = true;
        } else if (a == "--realtime") {
            o.realtime = true;
        } else if (a == "--screenshot") {
            if (!value(o.screenshot)) return false;
        } else if (a == "--wav") {
            if (!value(o.wav)) return false;
        } else if (a == "--load-state") {
            if (!value(o.loadstate)) return false;
        } else if (a == "--save-state") {
            if (!value(o.savestate)) return false;
        } else if (a == "--vram") {
            if (!value(o.vram)) return false;
        } else if (a.size() > 1 && a[0] == '-') {
            std::fprintf(stderr, "tov-run: unknown option %s\n", a.c_str());
            return false;
        } else if (o.rom.empty()) {
            o.rom = a;
        } else {
            std::fprintf(stderr, "tov-run: more than one ROM given\n");
            return false;
        }
    }
    if (!o.listen.empty() && !o.connect.empty()) {
        std::fprintf(stderr, "tov-run: --listen and --connect exclude each other\n");
        return false;
    }
    if (o.rom.empty() && o.loadstate.empty()) {
        std::fprintf(stderr, "tov-run: no ROM given\n");
        return false;
    }
    return true;
}

std::string programfolder(const char* argv0) {
    std::error_code ec;
    std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) exe = std::filesystem::absolute(argv0, ec);
    std::string folder = exe.parent_path().string();
    if (!folder.empty() && folder.back() != '/') folder += '/';
    return folder;
}

// Watches the serial port for a test ROM's "Passed" / "Failed" text.
struct tserialwatch {
    bool echo = false;
    std::string tail;  // the last few characters sent
    bool lastnewline = true;

    static void onbyte(void* context, uint8_t value) {
        auto* w = static_cast<tserialwatch*>(context);
        if (w->echo) {
            std::fputc(value, stdout);
            w->lastnewline = value == '\n';
        }
        w->tail.push_back(char(value));
        if (w->tail.size() > 64) w->tail.erase(0, w->tail.size() - 32);
    }
    tverdict verdict() const {
        if (tail.find("Passed") != std::string::npos) return verdictpassed;
        if (tail.find("Failed") != std::string::npos) return verdictfailed;
        return verdictnone;
    }
};

// The debug-exit convention of test ROMs: `ld b,b` with B,C,D,E,H,L = 3,5,8,13,21,34 for
// a pass, all 0x42 for a failure. These register values are set right before `ld b,b` and
// the program then stops, so they are still there at the end of the frame.
tverdict registerverdict(const tcpustate& c) {
    if (c.B == 3 && c.C == 5 && c.D == 8 && c.E == 13 && c.H == 21 && c.L == 34) return verdictpassed;
    if (c.B == 0x42 && c.C == 0x42 && c.D == 0x42 && c.E == 0x42 && c.H == 0x42 && c.L == 0x42)
        return verdictfailed;
    return verdictnone;
}

// Newer test ROMs also keep their state in cartridge RAM: the signature DE B0 61 at
// 0xA001, and at 0xA000 0x80 while running, then 0 for a pass or a failure code.
tverdict memoryverdict(tgb& gb) {
    if (gb.readbyte(0xA001) != 0xDE || gb.readbyte(0xA002) != 0xB0 || gb.readbyte(0xA003) != 0x61)
        return verdictnone;
    uint8_t status = gb.readbyte(0xA000);
    if (status == 0x80) return verdictnone;
    return status == 0 ? verdictpassed : verdictfailed;
}

// The text such a ROM appends at 0xA004 (zero-terminated), which ROMs that print nothing
// over the serial port leave only there.
std::string memorytext(tgb& gb) {
    std::string text;
    for (uint16_t a = 0xA004; a < 0xC000; a++) {
        uint8_t c = gb.readbyte(a);
        if (c == 0) break;
        text.push_back(char(c));
    }
    return text;
}

// The debugger as tov-run uses it: the first stop prints what the debugger window would
// show, then the debugger lets go of the machine and the run ends after the frame.
struct tstopreport : tdebuggerhost {
    tgb& gb;
    tdebuggertov* debugger = nullptr;
    bool lowercase = true;  // `DebugLowercase`
    bool stopped = false;

    explicit tstopreport(tgb& machine) : gb(machine) {}

    void debuggerstopped(const std::string&, int32_t reason) override {
        if (stopped) return;
        stopped = true;
        std::printf("%s\n", stopmessage(reason));
        printviews();
        std::fflush(stdout);
    }
    void processmessages() override {
        debugger->run();
        // Nothing stops again: an invalid opcode would stop at once on every resume.
        gb.debugger = nullptr;
        gb.debugstepping = false;
    }
    void idle() override {}

    // The register view, then ten code-view lines with PC's line in the top third, read with
    // the banks mapped now.
    void printviews() {
        tscrollerregs regs(gb);
        for (int i = 0; i < regs.linecount(); i++) std::printf("%s\n", regs.getstring(i).c_str());
        tviewbanks banks;
        tcart& cart = gb.cartridge();
        if (cart.isbanked()) {
            banks.rom = cart.currentrombank();
            banks.ram = cart.currentrambank();
        }
        banks.wram = int((gb.wrambank - gb.wram) / 0x1000);
        banks.vram = int((gb.vrambank - gb.vram) / 0x2000);
        tscrollerasm code(gb, banks);
        code.lowercase = lowercase;
        code.symbols = &debugger->core.symbols;
        code.refresh();
        code.breakpoints = &debugger->core;
        code.setvisiblelines(10);
        code.centreon(code.lineof(gb.cpu.PC));
        for (int i = code.topline(); i < code.topline() + 10 && i < code.linecount(); i++)
            std::printf("%s\n", code.getstring(i).c_str());
    }
};

// The link cable of a run: the sockets polled by the run itself (between frames, and inside
// the link's own waits), message boxes on stderr.
struct trunlink : tlinkhost {
    tasiosockets sockets;
    tgblink link;
    bool failed = false;  // an "Error" box was shown

    tpatientyield patience;

    explicit trunlink(tgb& gb) : link(gb, sockets, *this) {}
    ~trunlink() override { link.disconnect(); }
    void processmessages() override { link.poll(); }
    // The other run may be slowed by a loaded computer: a transfer it took must not be given
    // up on and sent again before its answer comes.
    void yieldprocessor() override { patience.yield(link.tickcounter()); }
    void messagebox(const std::string& text, const std::string& title) override {
        std::fprintf(stderr, "%s: %s\n", title.c_str(), text.c_str());
        if (title == "Error") failed = true;
    }

    // Listens or connects, then waits for the link; false (with a message) when none came.
    bool establish(const trunoptions& o) {
        if (!o.listen.empty()) {
            link.listen(o.listen);
            if (!link.islistening()) return false;
            std::printf("listening on %s\n", link.listeningon().c_str());
            std::fflush(stdout);
        } else {
            link.connect(o.connect);
            if (!link.isconnecting()) return false;
        }
        auto start = std::chrono::steady_clock::now();
        while (!link.islinked()) {
            link.poll();
            if (failed) return false;
            if (std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() >= o.linkwait) {
                std::fprintf(stderr, "tov-run: no link within %g seconds (%s %s)\n", o.linkwait,
                             o.listen.empty() ? "connecting to" : "listening on",
                             o.listen.empty() ? o.connect.c_str() : link.listeningon().c_str());
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return true;
    }
};

// A check of the options that makes the debugger watch the run.
bool debugcheckson(const tdebuggeroptions& o) {
    return o.DebugEcho || o.DebugSramBreak || o.DebugVRAMbreak || o.DebugMBCaddr || o.DebugWRAMbreak ||
           o.DebugDisableLCD || o.DebugSgbStartBreak || o.DebugSrcBrk || o.DebugInc16OAMBreak ||
           o.DebugHaltBugBreak || o.StartDebug;
}

// --cheats, then every --cheat: enabled and applied as the list window's add and enable do.
bool addcheats(tcheatlist& list, const trunoptions& o) {
    if (!o.cheatfile.empty()) {
        tcheatfileload r = list.loadfile(o.cheatfile);
        if (!r.opened) {
            std::fprintf(stderr, "tov-run: cannot read the cheat file %s\n", o.cheatfile.c_str());
            return false;
        }
        if (r.nocodes) {
            std::fprintf(stderr, "tov-run: no cheat codes in %s\n", o.cheatfile.c_str());
            return false;
        }
        if (r.skipped) std::fprintf(stderr, "tov-run: %d lines without a valid code skipped\n", r.skipped);
        if (r.toomany) std::fprintf(stderr, "tov-run: only the first %d cheats were taken\n", r.loaded);
    }
    for (const std::string& text : o.cheats) {
        tcheat c;
        c.code = normalisecode(text);
        if (c.code.empty()) {
            std::fprintf(stderr, "tov-run: invalid code entered: \"%s\"\n", text.c_str());
            return false;
        }
        if (list.hascode(c.code)) {
            std::fprintf(stderr, "tov-run: cheat already exists: %s\n", c.code.c_str());
            return false;
        }
        decodecode(c);
        c.enabled = true;
        list.applycheat(list.insert(std::move(c)));
    }
    return true;
}

void printcheats(const tcheatlist& list, tsession& session) {
    tgbinspect inspect = session.inspector();
    for (const tcheat& c : list.cheats()) {
        std::printf("cheat: %s\n", cheatlistline(c).c_str());
        if (c.gameshark) std::printf("memory: %04X=%02X\n", unsigned(c.address), unsigned(inspect.peek(c.address)));
    }
}

}  // namespace

int main(int argc, char** argv) {
    trunoptions o;
    if (!parseargs(argc, argv, o)) {
        usage();
        return 2;
    }
    const std::string folder = programfolder(argv[0]);

    tsettings settings;
    setdefaults(settings);
    if (!o.inifile.empty() && !readsettingsfile(settings, o.inifile)) {
        std::fprintf(stderr, "tov-run: cannot read settings file %s\n", o.inifile.c_str());
        return 2;
    }
    for (const auto& line : o.sets)
        if (!readsettingsline(settings, line))
            std::fprintf(stderr, "tov-run: unknown option key in \"%s\"\n", line.c_str());
    clampsettings(settings);

    // The session: the machine with the renderer drawing into a memory picture, and the
    // synthesising sound unit only when the sound is recorded.
    tsessionparts parts;
    parts.memorypicture = true;
    parts.synthesiser = !o.wav.empty();
    tfixedtilt fixedtilt(o.tiltx, o.tilty);  // declared first: outlives the session
    std::unique_ptr<tsession> session;
    try {
        session = std::make_unique<tsession>(settings, folder, parts);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "tov-run: picture output: %s\n", e.what());
        return 2;
    }
    if (o.tilt) session->settiltsource(&fixedtilt);
    // The cheat list, as the desktop program keeps it: it follows the loaded ROM.
    std::unique_ptr<tcheatlist> cheats;
    if (!o.cheats.empty() || !o.cheatfile.empty() || settings.CheatAutoSave) {
        cheats = std::make_unique<tcheatlist>(session->machine());
        cheats->onsavefailed = [](const std::string& path) {
            std::fprintf(stderr, "tov-run: error while saving %s\n", path.c_str());
        };
        attachcheats(*session, *cheats);
    }
    std::string message;
    if (!o.rom.empty()) {
        if (!session->loadrom(o.rom, false, message)) {
            std::fprintf(stderr, "loading rom failed: %s\n", message.c_str());
            return 2;
        }
        if (!message.empty()) std::fprintf(stderr, "%s\n", message.c_str());
    }
    // The names of the ROM's symbol file; a missing or bad file only leaves them out.
    tsymboltable symbols;
    if (!o.rom.empty()) loadsymbolfile(symbolfilefor(session->romfile()), symbols);
    std::vector<tbreakaddress> breaks;
    for (const std::string& text : o.breaks) {
        const tbreakaddress b = parsebreakaddress(text, &symbols);
        if (!b.valid || b.anyaddress) {
            std::fprintf(stderr, "tov-run: bad breakpoint address \"%s\" (not hex, and no such name in %s)\n",
                         text.c_str(), symbolfilefor(o.rom.empty() ? std::string("the ROM") : o.rom).c_str());
            return 2;
        }
        breaks.push_back(b);
    }
    tgbsoundtov* sound = session->synthesiser();
    if (sound) {
        const tsoundoptions& so = session->soundoptions();
        sound->setsqwave(so.SQWave);
        std::string error = startwavrecording(*sound, o.wav, so.Samplerate, so.Bits8, so.SoundBufSize);
        if (!error.empty()) {
            std::fprintf(stderr, "tov-run: %s\n", error.c_str());
            return 2;
        }
    }
    tgb* machine = &session->machine();
    tgbdrawtovsgb& renderer = *session->renderer();
    tstopreport report(*machine);
    report.lowercase = settings.DebugLowercase;
    std::unique_ptr<tdebuggertov> debugger;
    if (!breaks.empty() || debugcheckson(session->debuggeroptions())) {
        debugger = std::make_unique<tdebuggertov>(*machine, &report);
        report.debugger = debugger.get();
        tdebuggeroptions dopts = session->debuggeroptions();
        dopts.CpuMeter = false;  // no meter to read it
        debugger->setoptions(dopts);
        debugger->core.symbols = symbols;
        for (const tbreakaddress& b : breaks) debugger->core.addbreakpoint(b.address, b.bank);
    }
    // The end of every run: the cartridge leaves the machine and writes its battery and clock
    // files, as the desktop program does on closing; a file it could not write is told.
    auto endsession = [&] {
        debugger.reset();  // lets go of the machine first
        session->unloadrom();
        for (const std::string& file : session->takesavefailures())
            std::fprintf(stderr, "tov-run: error while saving %s\n", file.c_str());
        session.reset();
    };
    session->reset();
    tsavestates states(*session);
    if (!o.loadstate.empty()) {
        // Nobody to ask: a ROM whose digest differs from the state's is taken with a note,
        // as a message box without a display answers OK.
        session->confirmromhash = [](const std::string& question) {
            std::fprintf(stderr, "warning: %s\n", question.c_str());
            return true;
        };
        try {
            states.loadstate(o.loadstate);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "tov-run: loading the state %s failed: %s\n", o.loadstate.c_str(), e.what());
            return 2;
        }
        session->confirmromhash = nullptr;
    }
    if (cheats && !addcheats(*cheats, o)) return 2;
    if (cheats && debugger) suspendwithdebugger(*debugger, *cheats);
    if (debugger) debugger->startup();
    std::unique_ptr<trealtimepacer> pacer;
    if (o.realtime) pacer = std::make_unique<trealtimepacer>(settings.Speed, settings.MaxSkip);

    tserialwatch serial;
    serial.echo = o.serial;
    session->setserialhook(tserialwatch::onbyte, &serial);

    // Goes before the session: the link points at the machine.
    std::unique_ptr<trunlink> cable;
    if (!o.listen.empty() || !o.connect.empty()) {
        cable = std::make_unique<trunlink>(*machine);
        cable->link.options.RemoteJoy = settings.RemoteJoy;
        session->attachlink(&cable->link);
        if (!cable->establish(o)) {
            cable.reset();
            endsession();
            return 2;
        }
    }

    tverdict verdict = verdictnone;
    bool crashed = false;
    tstuck stuck = stucknone;
    long frames = 0;
    auto start = std::chrono::steady_clock::now();
    bool drawnext = !o.nodraw;
    uint8_t held = 0;  // controller 1's buttons held by --press
    while (frames < o.frames) {
        uint8_t wanted = pressedbuttons(o.presses, frames);
        for (int bit = 0; bit < 8; bit++)
            if (((held ^ wanted) >> bit) & 1) machine->joypadset(0, bit, (wanted >> bit) & 1);
        held = wanted;
        int units = session->runframe(drawnext);
        // A drawn frame is shown now, as the frame loop does.
        if (drawnext) renderer.refresh();
        session->frameended();
        if (cable) cable->link.poll();
        frames++;
        if (pacer) {
            bool draw = pacer->frame(units);
            drawnext = draw && !o.nodraw;
        }
        if (report.stopped) break;
        if (machine->illegalcount) {
            crashed = true;
            break;
        }
        if (o.untildone) {
            verdict = serial.verdict();
            if (verdict == verdictnone) verdict = registerverdict(machine->cpu);
            if (verdict == verdictnone) {
                verdict = memoryverdict(*machine);
                // With --serial, the result text of a ROM that reports only in memory.
                if (verdict != verdictnone && o.serial && serial.tail.empty()) {
                    std::string text = memorytext(*machine);
                    std::fputs(text.c_str(), stdout);
                    serial.lastnewline = text.empty() || text.back() == '\n';
                }
            }
            if (verdict != verdictnone) break;
        }
        // A benchmark runs all its frames, so that its figures stay comparable.
        if (!o.benchmark) {
            stuck = stuckreason(*machine);
            if (stuck != stucknone) break;
        }
    }
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

    if (o.serial && !serial.lastnewline) std::fputc('\n', stdout);
    cable.reset();
    if (report.stopped) {
        endsession();
        return 4;
    }
    if (crashed)
        std::printf("stopped: invalid opcode at %04X after %ld frames\n", machine->cpu.PC, frames);
    if (stuck != stucknone)
        std::printf("stopped: the program can never continue (%s) at PC %04X after %ld frames\n",
                    stucktext(stuck), machine->cpu.PC, frames);
    if (o.benchmark) {
        double fps = seconds > 0 ? frames / seconds : 0;
        std::printf("frames: %ld seconds: %.3f fps: %.1f speed: %.2f\n", frames, seconds, fps,
                    fps / nominalfps);
    }
    bool screenshotfailed = false;
    if (!o.screenshot.empty()) {
        // The SGB border as the desktop program shows it: the starting border from the
        // reset on, the game's own once it sent one.
        const uint32_t* border = sgbborderpixels(machine->sgbunit());
        if (!session->picture()->savewithborder(o.screenshot, session->videooptions(), renderer, border, folder)) {
            std::fprintf(stderr, "tov-run: could not write the screenshot %s\n", o.screenshot.c_str());
            screenshotfailed = true;
        }
    }
    if (!o.vram.empty()) {
        tvramview viewer(*machine);
        if (renderer.gfxout) viewer.outputpalette = &renderer.gfxout->palette;
        if (!viewer.writepages(o.vram)) {
            std::fprintf(stderr, "tov-run: could not write the VRAM pages %s\n", o.vram.c_str());
            screenshotfailed = true;
        }
    }
    bool statefailed = false;
    if (!o.savestate.empty()) {
        try {
            states.savestate(o.savestate);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "tov-run: error while saving %s: %s\n", o.savestate.c_str(), e.what());
            statefailed = true;
        }
    }
    if (cheats) {
        printcheats(*cheats, *session);
        if (!cheats->autosave()) statefailed = true;
    }
    if (sound) sound->stopoutput();  // completes the WAV header
    endsession();
    if (screenshotfailed || statefailed) {
        std::printf("result: none\n");
        return 2;
    }

    if ((crashed || stuck != stucknone) && o.untildone && verdict == verdictnone) verdict = verdictfailed;
    switch (verdict) {
    case verdictpassed: std::printf("result: passed\n"); return 0;
    case verdictfailed: std::printf("result: failed\n"); return 1;
    default: std::printf("result: none\n"); return 3;
    }
}
