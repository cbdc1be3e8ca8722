// The session: one emulated machine with everything that makes it run a game. It owns the
// machine (and through it the cartridge, the sound unit and the SGB unit), the renderer and,
// for headless runs, a memory picture; it fills the blocks' option views from the working
// settings, loads ROMs with their battery files, resets with and without re-detection and
// runs frames. The desktop program, the headless runner and the tests all build machines
// through it, and the later blocks (save states, cheats, link cable, debugger) hang off its
// hooks and seams.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cart/cartoptions.h"
#include "cart/tilt.h"
#include "cart/md5.h"
#include "core/gb.h"
#include "core/gbinspect.h"
#include "core/hostclock.h"
#include "debugger/debuggeroptions.h"
#include "frontend/settings.h"
#include "sound/gbsoundtov.h"
#include "sound/soundsetup.h"
#include "video/gbdrawtovsgb.h"
#include "video/screenshot.h"
#include "video/videooptions.h"

namespace tov {

// The option views of the lower blocks, taken from a settings record.
tmachineoptions machineoptionsof(const tsettings& s);
tcartoptions cartoptionsof(const tsettings& s);
tvideooptions videooptionsof(const tsettings& s);
tsoundoptions soundoptionsof(const tsettings& s);
tdebuggeroptions debuggeroptionsof(const tsettings& s);

// `path` made absolute against the current folder and lexically normalised ("a/../b" -> "b").
std::string absolutepath(const std::string& path);

// Which parts a session builds.
struct tsessionparts {
    // The real renderer; without it the machine's built-in renderer draws nothing.
    bool renderer = true;
    // A memory picture attached to the renderer (headless runs); without it the caller attaches
    // its own output before the first reset.
    bool memorypicture = false;
    // The sound unit that makes samples; without it only the registers are emulated.
    bool synthesiser = true;
};

// What the later blocks plug into the session. Every hook is optional.
struct tsessionhooks {
    std::function<void()> romloaded;   // a ROM was loaded (cheat list, debugger)
    std::function<void()> afterreset;  // the machine was reset (debugger watches, link)
    std::function<void()> afterframe;  // once per emulated frame, after the input (cheats, meters)
    // Around every reading of the whole ROM image (its digest, a cartridge rebuilt from it):
    // the cheat list takes its patches out and puts them back, so that neither sees them.
    std::function<void()> beforeromread;
    std::function<void()> afterromread;
};

class tsession {
public:
    // `working` is the working settings record; it must outlive the session. `programfolder`
    // is where relative file names (boot image, border bitmaps, battery folder) are resolved.
    // The cartridge slot starts empty and the machine is not reset yet.
    tsession(tsettings& working, std::string programfolder, tsessionparts parts = {},
             thostclock& clock = realclock());
    // Writes the battery RAM of the loaded cartridge.
    ~tsession();
    tsession(const tsession&) = delete;
    tsession& operator=(const tsession&) = delete;

    // Fills every option view from the working settings: at start-up and after every Apply.
    void applysettings();

    // Reads the ROM file and puts its cartridge in the slot with its battery files; the path
    // is made absolute first (`romfile` gives it). On a warning `acceptwarnings` (when given)
    // may refuse the ROM; the old cartridge then stays.
    // False when nothing was loaded; `message` holds the loader's text (errors or warnings).
    bool loadrom(const std::string& path, bool reset, std::string& message,
                 const std::function<bool(const std::string& warnings)>& acceptwarnings = {});
    // The same from bytes already in memory; `path` names the battery files (empty: none).
    bool loadimage(std::vector<uint8_t> bytes, const std::string& path, bool reset, std::string& message,
                   const std::function<bool(const std::string& warnings)>& acceptwarnings = {});
    // Empties the slot (the battery RAM of the old cartridge is written).
    void unloadrom();

    // Resets the machine.
    void reset();
    // Full reset: all sound channels on, and with `redetect` the cartridge is first rebuilt
    // from the ROM image in memory (the header is read again, edits included).
    void fullreset(bool redetect);

    // Runs one frame, drawn or not. Returns the emulated units it took.
    int32_t runframe(bool draw);
    // The units the last `runframe` took (the processor-load meter's frame length).
    int32_t lastframeunits() const { return frameunits; }
    // The frame loop's end of a frame, after the input poll: runs the `afterframe` hook.
    void frameended();
    // Writes the battery RAM now (the frame loop's periodic save).
    void savebattery();
    // The battery and clock files that could not be written since the last call, each file
    // once for the session's life (a disk that stays full is not reported every save).
    std::vector<std::string> takesavefailures();

    // ---- Parts ----
    tgb& machine() { return *gb; }
    const tgb& machine() const { return *gb; }
    tcart& cartridge() { return gb->cartridge(); }
    tsgb& sgb() { return gb->sgbunit(); }
    // The real renderer; null without one (see tsessionparts).
    tgbdrawtovsgb* renderer() { return draw.get(); }
    // The synthesiser; null without one.
    tgbsoundtov* synthesiser() { return sound; }
    // The memory picture; null without one.
    tmemorypicture* picture() { return memory.get(); }

    // ---- Seams for the later blocks ----
    // Reads and changes the machine without the bus's effects (debugger, viewers, cheats).
    tgbinspect inspector() { return tgbinspect(*gb); }
    void attachdebugger(tdebugport* port) { gb->debugger = port; }
    void attachlink(tlinkport* port) { gb->link = port; }
    void setserialhook(void (*routine)(void*, uint8_t), void* context) {
        gb->onserialstart = routine;
        gb->onserialcontext = context;
    }
    tsessionhooks hooks;
    // The host's cursor and joysticks for a tilt-sensor cartridge (MBC7); null (the start)
    // holds the sensor level. `source` must outlive the session or be taken back.
    void settiltsource(ttiltsource* source) {
        tilt = source;
        cartopts.tilt = source;
    }

    // ---- What the session knows ----
    bool romloaded() const { return loaded; }
    // The last load failed only because `acceptwarnings` refused the ROM.
    bool lastloadrefused() const { return refused; }
    const std::string& romfile() const { return rompath; }
    // A banked cartridge (a real ROM) is in the slot.
    bool hasgame() const;
    const std::string& programfolder() const { return folder; }
    tsettings& settings() { return working; }
    const tcartoptions& cartoptions() const { return cartopts; }
    const tvideooptions& videooptions() const { return videoopts; }
    tsoundoptions& soundoptions() { return soundopts; }
    // What the debugger reads of the settings; hand it to tdebuggertov::setoptions.
    const tdebuggeroptions& debuggeroptions() const { return debugopts; }
    // The compatibility mode (`CartMode` 1) switched `EmulateSramD` off for the rest of the
    // program's run; the settings themselves keep the user's value.
    bool sramdisableoverridden() const { return sramdoverride; }

    // ---- The ROM's identity (save states) ----
    // MD5 of the banked cartridge's `romsize` ROM bytes as loaded, before any cheat patches
    // (all zero without a banked cartridge). Computed once per load.
    const tmd5digest& romdigest() const { return digest; }
    // Computes it again after the image was edited in memory (the debugger's ROM editing).
    void refreshromdigest();
    // Set while a save state that names its ROM's digest is loaded: a banked cartridge whose
    // digest differs is loaded only when `confirmromhash` answers the "hash of loaded rom"
    // question with true (without it the ROM is refused, see `lastloadrefused`).
    std::optional<tmd5digest> expectedromhash;
    std::function<bool(const std::string& question)> confirmromhash;

private:
    bool insert(std::unique_ptr<tcart> cart, const std::string& path, bool reset, std::string& message,
                const std::function<bool(const std::string&)>& acceptwarnings);
    void compatibilitystep();
    std::unique_ptr<tcart> rebuildcart(std::string& message);

    tsettings& working;
    std::string folder;
    thostclock& clock;
    tcartoptions cartopts;
    tvideooptions videoopts;
    tsoundoptions soundopts;
    tdebuggeroptions debugopts;
    bool sramdoverride = false;
    ttiltsource* tilt = nullptr;

    std::unique_ptr<tgb> gb;
    std::unique_ptr<tgbdrawtovsgb> draw;
    std::unique_ptr<tmemorypicture> memory;
    tgbsoundtov* sound = nullptr;  // owned by the machine
    std::string rompath;
    tmd5digest digest{};
    bool loaded = false;
    bool refused = false;
    int32_t frameunits = 0;
    std::vector<std::string> savefailures;  // not yet taken
    std::vector<std::string> reportedsaves;  // every file reported so far
};

}  // namespace tov
