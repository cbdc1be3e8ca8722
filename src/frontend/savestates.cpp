#include "frontend/savestates.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "cart/loadrom.h"
#include "cart/mbcbase.h"
#include "core/gb.h"
#include "frontend/session.h"
#include "state/machinestate.h"
#include "video/gbcolors.h"

namespace tov {

namespace {

std::string uppercase(std::string s) {
    for (char& c : s) c = char(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

// Offers chunks made here (the older layout's values) to the machine's field lists, so
// that they pass the same operations and range checks as chunks read from a file.
void applybytes(tgb& gb, const char* name, const void* data, int32_t size) {
    applystatechunk(gb, name, static_cast<const uint8_t*>(data), size);
}
void applyvalue(tgb& gb, const char* name, uint8_t value) { applybytes(gb, name, &value, 1); }
void applyword(tgb& gb, const char* name, uint16_t value) {
    const uint8_t b[2] = {uint8_t(value), uint8_t(value >> 8)};
    applybytes(gb, name, b, 2);
}
void applylongint(tgb& gb, const char* name, int32_t value) {
    const uint32_t u = uint32_t(value);
    const uint8_t b[4] = {uint8_t(u), uint8_t(u >> 8), uint8_t(u >> 16), uint8_t(u >> 24)};
    applybytes(gb, name, b, 4);
}

// Hands a raw block to a field list field by field, in the list's order, as far as the
// block reaches (the older layout's SGB block holds the SGB unit's fields back to back).
class tsequentialreader : public tstatevisitor {
public:
    tsequentialreader(const uint8_t* data, int32_t size) : data(data), left(size) {}
    void chunk(const tchunk& c) override {
        if (c.type == tchunktype::anysize || c.size > left) {
            left = 0;
            return;
        }
        c.load(c.context, data, c.size);
        data += c.size;
        left -= c.size;
    }

private:
    const uint8_t* data;
    int32_t left;
};

}  // namespace

// What a failed load puts back: the ROM that ran and every component's chunks. The SGB
// unit is kept apart, whatever the mode, since a failed state may have switched SGB mode.
struct tsavestates::tsnapshot {
    std::string rompath;
    bool romloaded = false;
    int slot = 1;
    std::vector<uint8_t> machine;
    std::vector<uint8_t> sgb;
};

tsavestates::tsavestates(tsession& s) : session(s), alive(std::make_shared<bool>(true)) {
    // Every ROM load starts again at slot 1; the hook before this one keeps running.
    std::function<void()> previous = session.hooks.romloaded;
    std::shared_ptr<bool> living = alive;
    session.hooks.romloaded = [this, previous, living] {
        if (previous) previous();
        if (*living) slot = 1;
    };
}

tsavestates::~tsavestates() { *alive = false; }

// ---- Saving ----

std::vector<uint8_t> tsavestates::statebytes() {
    std::vector<uint8_t> file;
    file.reserve(256 * 1024);
    writechunk(file, stateformatmark, 0, nullptr);
    // The digest identifies the ROM the state belongs to, whatever its file is called now.
    if (session.hasgame()) writechunk(file, "rommd5", 16, session.romdigest().data());
    const std::string& rom = session.romfile();
    if (!rom.empty()) writechunk(file, "romfile", int32_t(rom.size()), rom.data());
    writemachinechunks(file, session.machine());
    return file;
}

void tsavestates::savestate(const std::string& path) { writestatefile(path, statebytes()); }

// ---- Loading ----

void tsavestates::loadstate(const std::string& path, const std::string& rompath) {
    if (path.empty()) throw tstateerror("loadstate called with empty filename");
    loadstatebytes(readstatefile(path), path, rompath);
}

void tsavestates::loadstatebytes(const std::vector<uint8_t>& bytes, const std::string& path,
                                 const std::string& rompath) {
    if (islegacystate(bytes))
        loadlegacystate(bytes, path, rompath);
    else
        loadstatechunks(bytes, rompath);
}

tsavestates::tsnapshot tsavestates::takesnapshot() {
    tsnapshot s;
    s.rompath = session.romfile();
    s.romloaded = session.romloaded();
    s.slot = slot;
    tgb& gb = session.machine();
    s.machine.reserve(256 * 1024);
    writemachinechunks(s.machine, gb);
    if (!gb.sgbmode) {
        tfilechunkwriter writer(s.sgb);
        gb.sgbunit().statefields(writer);
    }
    return s;
}

void tsavestates::restore(const tsnapshot& s) {
    tgb& gb = session.machine();
    session.expectedromhash.reset();
    if (romswitched) {
        // The state had replaced the game; its own ROM comes back from its file, its battery
        // RAM and clock from the chunks below.
        std::string message;
        if (!s.romloaded || s.rompath.empty() || !session.loadrom(s.rompath, true, message)) {
            if (!s.romloaded) session.unloadrom();
            gb.afterstateload();
            return;
        }
        slot = s.slot;
    }
    gb.beginstateload();
    for (const tloadstate& c : splitstatechunks(s.machine)) applystatechunk(gb, c.name, c.data, c.size);
    if (!s.sgb.empty()) {
        for (const tloadstate& c : splitstatechunks(s.sgb)) {
            tstatereader reader(c.name, c.data, c.size);
            gb.sgbunit().statefields(reader);
        }
    }
    gb.afterstateload();
}

void tsavestates::finishdisplay() {
    // The renderer belongs to the session: the user's DMG colours go back into the output's
    // palette when the machine shows DMG colours, as when the picture is set up (in SGB mode
    // with SGB colours they would overwrite the game's palettes until its next change).
    tgb& gb = session.machine();
    tgbdrawtovsgb* draw = session.renderer();
    const bool sgbcolours = gb.sgbmode && !session.videooptions().SGBnocolors;
    if (draw && draw->gfxout && !gb.gbcmode && !sgbcolours)
        applydmgcolors(*draw->gfxout, session.videooptions().colors);
    session.expectedromhash.reset();
    if (afterload) afterload();
}

void tsavestates::switchrom(std::string path) {
    if (questions.loseromchanges && !questions.loseromchanges()) throw tstateerror("cancelled by user");
    for (;;) {
        bool loaded;
        if (questions.loadrom) {
            loaded = questions.loadrom(path);
        } else {
            std::string message;
            loaded = session.loadrom(path, true, message);
        }
        if (loaded) break;
        if (!questions.findrom) throw tromnotfound(path);
        std::string answer = questions.findrom(path);
        if (answer.empty() || answer == path) throw tstateerror("failed to load the rom for savestate");
        path = answer;
    }
    romswitched = true;
    romdiffers = false;
    // The load reset the machine; RAM tracking follows the state again.
    session.machine().beginstateload();
}

void tsavestates::applychunk(const tloadstate& c, const std::string& rompath) {
    if (c.name == "rommd5") {
        tmd5digest digest;
        c.asblock(digest.data(), int32_t(digest.size()));
        session.expectedromhash = digest;
        if (session.hasgame() && session.romdigest() != digest) romdiffers = true;
        return;
    }
    if (c.name == "romfile") {
        const std::string name = rompath.empty() ? c.asstring() : rompath;
        if (uppercase(name) != uppercase(session.romfile()) || romdiffers) switchrom(name);
        return;
    }
    applystatechunk(session.machine(), c.name, c.data, c.size);
}

void tsavestates::loadstatechunks(const std::vector<uint8_t>& bytes, const std::string& rompath) {
    if (bytes.size() > size_t(maxstatefilesize)) throw tstateerror("insane file size");
    // The whole container is checked before anything is applied, so that a damaged file
    // never touches the game in progress.
    const std::vector<tloadstate> chunks = splitstatechunks(bytes);
    if (std::none_of(chunks.begin(), chunks.end(), [](const tloadstate& c) { return c.name == "romfile"; }))
        throw tstateerror("this state has no rom filename");

    guardedload([&] {
        for (const tloadstate& c : chunks) applychunk(c, rompath);
    });
}

void tsavestates::guardedload(const std::function<void()>& apply) {
    const tsnapshot before = takesnapshot();
    romdiffers = romswitched = false;
    session.expectedromhash.reset();
    tgb& gb = session.machine();
    gb.beginstateload();
    try {
        apply();
    } catch (...) {
        // A wrong size, a ROM that cannot be found or a cancelled question: the game that
        // ran before comes back whole.
        restore(before);
        finishdisplay();
        throw;
    }
    gb.afterstateload();
    finishdisplay();
}

void tsavestates::loadlegacystate(const std::vector<uint8_t>& bytes, const std::string& path,
                                  const std::string& rompath) {
    tlegacystate s = readlegacyheader(bytes);
    tgb& gb = session.machine();
    guardedload([&] {
        const std::string name = rompath.empty() ? s.romname : rompath;
        if (uppercase(name) != uppercase(session.romfile())) switchrom(name);
        const tcart& cart = gb.cartridge();
        int32_t sramsize = cart.isbanked() && cart.romimagedata()
                               ? ramsizefromheader(cart.romimagedata(), size_t(cart.romimagesize()))
                               : 0;
        // The whole file is checked before anything of it is applied.
        readlegacyblocks(bytes, s, sramsize > 0 ? sramsize : 0);

        applyvalue(gb, "gbcmode", s.gbcmode);
        applyvalue(gb, "sgbmode", s.sgbmode);
        applyword(gb, "AF", s.af);
        applyword(gb, "BC", s.bc);
        applyword(gb, "DE", s.de);
        applyword(gb, "HL", s.hl);
        applyword(gb, "SP", s.sp);
        applyword(gb, "PC", s.pc);
        applyvalue(gb, "IME", s.ime);
        applyvalue(gb, "IMA", s.ime);
        applyvalue(gb, "HALT", s.halted);
        gb.setvrambank(0);
        gb.setwrambank(0);
        // The cartridge's own chunks pass the bank and enable operations (a cartridge
        // without RAM takes only the ROM bank).
        applyvalue(gb, "sramenable", 1);
        applylongint(gb, "ROMB", s.rombank);
        applylongint(gb, "SRMB", s.rambank);
        gb.cpu.emulatehaltbug = s.gbcmode ? 0 : 1;
        gb.setspeed(s.gbcmode && s.doublespeed ? 1 : 0);

        applybytes(gb, "OAM", s.oam, 160);
        if (s.gbcmode) applybytes(gb, "CPAL", s.palettes, 128);
        applybytes(gb, "VRAM", s.vram, s.gbcmode ? 16384 : 8192);
        applybytes(gb, "HRAM", s.hram, 127);
        applyvalue(gb, "IE", s.ie);
        applybytes(gb, "WRAM", s.wram, s.gbcmode ? 32768 : 8192);
        if (s.sram) applybytes(gb, "SRAM", s.sram, s.sramsize);

        const uint8_t* io = s.io;
        static const struct {
            const char* name;
            int offset;
        } direct[] = {{"RJOY", 0x00}, {"SB", 0x01}, {"SC", 0x02}, {"DIV", 0x04}, {"TIMA", 0x05},
                      {"TMA", 0x06},  {"TAC", 0x07}, {"IF", 0x0F}};
        for (const auto& r : direct) applyvalue(gb, r.name, io[r.offset]);
        // The sound registers go through the bus in address order, so the sound unit sees them.
        for (int a = 0x10; a <= 0x3F; a++) gb.writebyte(uint16_t(0xFF00 + a), io[a]);
        static const struct {
            const char* name;
            int offset;
        } lcd[] = {{"LCDC", 0x40}, {"STAT", 0x41}, {"SCY", 0x42}, {"SCX", 0x43}, {"LY", 0x44}, {"LYC", 0x45},
                   {"BGP", 0x47},  {"WINY", 0x4A}, {"WINX", 0x4B}};
        for (const auto& r : lcd) applyvalue(gb, r.name, io[r.offset]);
        applybytes(gb, "OBP", io + 0x48, 2);
        if (s.gbcmode) {
            applyvalue(gb, "KEY1", uint8_t((s.doublespeed ? 0x80 : 0) | (io[0x4D] & 1)));
            static const struct {
                const char* name;
                int offset;
            } gbc[] = {{"VBK", 0x4F},   {"HDMA1", 0x51}, {"HDMA2", 0x52}, {"HDMA3", 0x53}, {"HDMA4", 0x54},
                       {"HDMA5", 0x55}, {"IR", 0x56},    {"BCPS", 0x68},  {"OCPS", 0x6A},  {"SVBK", 0x70}};
            for (const auto& r : gbc) applyvalue(gb, r.name, io[r.offset]);
        }
        if (s.sgbmode) {
            tsequentialreader reader(s.sgb, legacysgbsize);
            gb.sgbunit().statefields(reader);
        }
        // The event timing starts again from a divider at 0.
        gb.setdivider(0);
    });
    if (session.settings().StateAutoConvert) savestate(path);
}

// ---- Slots ----

std::string tsavestates::slotfile(int n) const {
    const std::string& base = const_cast<tsession&>(session).cartridge().filename;
    if (base.empty() || !session.romloaded()) return {};
    return base + ".sn" + char('0' + (n % 10 + 10) % 10);
}

std::string tsavestates::slotfile() const { return slotfile(slot); }

bool tsavestates::hasgame() const { return session.hasgame(); }

tstatereport savesnap(tsavestates& states) {
    tstatereport r;
    const std::string file = states.slotfile();
    if (file.empty()) return r;
    try {
        states.savestate(file);
        r.done = true;
        r.status = "State saved";
    } catch (const tstateerror& e) {
        r.boxtext = e.what();
        r.boxtitle = "error while saving " + file;
    }
    return r;
}

tstatereport loadsnap(tsavestates& states) {
    tstatereport r;
    const std::string file = states.slotfile();
    if (file.empty() || !states.hasgame()) return r;
    try {
        states.loadstate(file);
        r.done = true;
        r.status = "State loaded";
    } catch (const tromnotfound&) {
        throw;
    } catch (const tstateerror& e) {
        r.boxtext = e.what();
        r.boxtitle = "error";
    }
    return r;
}

int slotofbutton(int button) { return button % 10; }
int buttonofslot(int slot) { return slot == 0 ? 10 : slot; }
std::string slotcaption(int button) { return "&" + std::to_string(button % 10); }

}  // namespace tov
