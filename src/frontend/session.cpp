#include "frontend/session.h"

#include <algorithm>
#include <filesystem>
#include <utility>

#include "cart/loadrom.h"

namespace tov {

tmachineoptions machineoptionsof(const tsettings& s) {
    tmachineoptions o;
    o.SystemMode = s.SystemMode;
    o.DetectGBP = s.DetectGBP;
    o.DetectGBA = s.DetectGBA;
    o.EmulateHaltBug = s.EmulateHaltBug;
    o.UninitedWRAM = s.UninitedWRAM;
    o.WRAMinitvalue = s.WRAMinitvalue;
    o.DebugWRAMbreak = s.DebugWRAMbreak;
    o.GBCpalPD = s.GBCpalPD;
    o.DmgBootRom = s.DmgBootRom;
    o.EmulateInaccVRAM = s.EmulateInaccVRAM;
    o.JoyOpposite = s.JoyOpposite;
    return o;
}

tcartoptions cartoptionsof(const tsettings& s) {
    tcartoptions o;
    o.CartMode = s.CartMode;
    o.EmulateSramD = s.EmulateSramD;
    o.MBC7Joystick = s.MBC7Joystick;
    return o;
}

tvideooptions videooptionsof(const tsettings& s) {
    tvideooptions o;
    o.Gamma = s.Gamma;
    o.ColorSaturation = s.ColorSaturation;
    o.ColorWhitepoint = s.ColorWhitepoint;
    o.ReflectorColor = s.ReflectorColor;
    o.LCDcolors = s.LCDcolors;
    o.SGBnocolors = s.SGBnocolors;
    o.SpriteLimit = s.SpriteLimit;
    o.DebugScreen = s.DebugScreen;
    o.Border = s.Border;
    o.Background = s.Background;
    o.BackgroundGBC = s.BackgroundGBC;
    o.colors = s.colors;
    return o;
}

tsoundoptions soundoptionsof(const tsettings& s) {
    tsoundoptions o;
    o.WaveOut = s.WaveOut;
    o.WavFileOut = s.WavFileOut;
    o.Samplerate = s.Samplerate;
    o.Bits8 = s.Bits8;
    o.WavFilename = s.WavFilename;
    o.Volume = s.Volume;
    o.Pitch = s.Pitch;
    o.Speed = s.Speed;
    o.SoundBufSize = s.SoundBufSize;
    o.SQWave = s.SQWave;
    o.DSound = s.DSound;
    o.DSoundWarning = s.DSoundWarning;
    return o;
}

tdebuggeroptions debuggeroptionsof(const tsettings& s) {
    tdebuggeroptions o;
    o.DebugEcho = s.DebugEcho;
    o.DebugSramBreak = s.DebugSramBreak;
    o.DebugVRAMbreak = s.DebugVRAMbreak;
    o.DebugMBCaddr = s.DebugMBCaddr;
    o.DebugWRAMbreak = s.DebugWRAMbreak;
    o.DebugDisableLCD = s.DebugDisableLCD;
    o.DebugSgbStartBreak = s.DebugSgbStartBreak;
    o.DebugSrcBrk = s.DebugSrcBrk;
    o.DebugInc16OAMBreak = s.DebugInc16OAMBreak;
    o.DebugHaltBugBreak = s.DebugHaltBugBreak;
    o.CpuMeter = s.CpuMeter;
    o.StartDebug = s.StartDebug;
    return o;
}

std::string absolutepath(const std::string& path) {
    if (path.empty()) return path;
    std::error_code ec;
    std::filesystem::path p = std::filesystem::absolute(path, ec);
    if (ec) return path;
    return p.lexically_normal().string();
}

tsession::tsession(tsettings& w, std::string programfolder, tsessionparts parts, thostclock& c)
    : working(w), folder(std::move(programfolder)), clock(c) {
    if (!folder.empty() && folder.back() != '/') folder += '/';
    gb = std::make_unique<tgb>(machineoptionsof(working), folder);
    gb->hostclock = &clock;
    gb->onsavefailed = [this](const std::string& file) {
        if (std::find(reportedsaves.begin(), reportedsaves.end(), file) != reportedsaves.end()) return;
        reportedsaves.push_back(file);
        savefailures.push_back(file);
    };
    gb->cartridge().onsavefailed = gb->onsavefailed;
    if (parts.synthesiser) {
        auto unit = std::make_unique<tgbsoundtov>();
        sound = unit.get();
        gb->setsound(std::move(unit));
    }
    applysettings();
    gb->sgbunit().options = &videoopts;
    if (parts.renderer) {
        draw = std::make_unique<tgbdrawtovsgb>(videoopts);
        draw->setsgb(&gb->sgbunit());
        if (parts.memorypicture) {
            memory = std::make_unique<tmemorypicture>();
            memory->attach(*draw, videoopts);
        }
        gb->attachrenderer(draw.get());
    }
}

tsession::~tsession() {
    // The battery RAM is written when the cartridge leaves the machine.
    gb->detachcart();
    if (draw) {
        gb->attachrenderer(nullptr);
        draw->setsgb(nullptr);
        draw->gfxout = nullptr;
    }
}

void tsession::applysettings() {
    gb->options = machineoptionsof(working);
    cartopts = cartoptionsof(working);
    cartopts.tilt = tilt;
    if (sramdoverride) cartopts.EmulateSramD = false;
    videoopts = videooptionsof(working);
    soundopts = soundoptionsof(working);
    debugopts = debuggeroptionsof(working);
    if (sound) sound->setvolume(soundopts.Volume);
}

void tsession::compatibilitystep() {
    // The compatibility mode keeps cartridge RAM enabled for the rest of the run. Only the
    // cartridges' view changes: the user's `EmulateSramD` stays in the settings file.
    if (cartopts.CartMode == 1) {
        sramdoverride = true;
        cartopts.EmulateSramD = false;
    }
}

bool tsession::loadrom(const std::string& path, bool reset, std::string& message,
                       const std::function<bool(const std::string&)>& acceptwarnings) {
    compatibilitystep();
    // The battery files, the recent-files list and save states need the one absolute name
    // of the file, whichever way it was given.
    const std::string absolute = absolutepath(path);
    std::unique_ptr<tcart> cart = loadromfile(absolute, cartopts, message, clock);
    return insert(std::move(cart), absolute, reset, message, acceptwarnings);
}

bool tsession::loadimage(std::vector<uint8_t> bytes, const std::string& path, bool reset, std::string& message,
                         const std::function<bool(const std::string&)>& acceptwarnings) {
    compatibilitystep();
    std::unique_ptr<tcart> cart = makecart(std::move(bytes), cartopts, message, clock);
    return insert(std::move(cart), path, reset, message, acceptwarnings);
}

bool tsession::insert(std::unique_ptr<tcart> cart, const std::string& path, bool reset, std::string& message,
                      const std::function<bool(const std::string&)>& acceptwarnings) {
    refused = false;
    if (!cart) return false;
    tmd5digest newdigest{};
    if (cart->isbanked() && cart->romimagedata()) {
        newdigest = md5buffer(cart->romimagedata(), size_t(cart->romimagesize()));
        if (expectedromhash && newdigest != *expectedromhash) {
            const std::string question = "hash of loaded rom (" + md5hex(newdigest) + ") differs from expected hash (" +
                                         md5hex(*expectedromhash) + "), continue?";
            if (!confirmromhash || !confirmromhash(question)) {
                refused = true;
                return false;
            }
        }
    }
    if (!message.empty() && acceptwarnings && !acceptwarnings(message)) {
        refused = true;
        return false;
    }
    gb->attachcart(std::move(cart));
    if (!path.empty()) {
        gb->cartridge().setfilename(batterybasepath(path, working.SaveRamDir, folder));
        gb->cartridge().loadsram();
    }
    rompath = path;
    digest = newdigest;
    loaded = true;
    if (reset) fullreset(false);
    if (hooks.romloaded) hooks.romloaded();
    return true;
}

void tsession::unloadrom() {
    gb->attachcart(std::make_unique<tcart>());
    rompath.clear();
    digest = {};
    loaded = false;
}

void tsession::refreshromdigest() {
    if (hooks.beforeromread) hooks.beforeromread();
    digest = {};
    const tcart& cart = gb->cartridge();
    if (cart.isbanked() && cart.romimagedata()) digest = md5buffer(cart.romimagedata(), size_t(cart.romimagesize()));
    if (hooks.afterromread) hooks.afterromread();
}

bool tsession::hasgame() const { return gb->cartridge().isbanked(); }

std::unique_ptr<tcart> tsession::rebuildcart(std::string& message) {
    const tcart& cart = gb->cartridge();
    if (!cart.isbanked() || !cart.romimagedata()) return nullptr;
    // The image in memory, edits included.
    std::vector<uint8_t> image(cart.romimagedata(), cart.romimagedata() + cart.romimagesize());
    return makecart(std::move(image), cartopts, message, clock);
}

void tsession::reset() {
    gb->resetmachine();
    if (hooks.afterreset) hooks.afterreset();
}

void tsession::fullreset(bool redetect) {
    if (redetect) {
        std::string message;
        // The rebuilt cartridge starts from the image without cheat patches; they go into
        // the new image afterwards.
        if (hooks.beforeromread) hooks.beforeromread();
        if (std::unique_ptr<tcart> cart = rebuildcart(message)) {
            gb->attachcart(std::move(cart));
            refreshromdigest();
            if (!rompath.empty()) {
                gb->cartridge().setfilename(batterybasepath(rompath, working.SaveRamDir, folder));
                gb->cartridge().loadsram();
            }
        }
        if (hooks.afterromread) hooks.afterromread();
    }
    if (sound) sound->setchannelmask(0);
    reset();
}

int32_t tsession::runframe(bool draw_) {
    gb->renderflag = draw_;
    // A new frame is real emulation again: the sound unit stops padding with silence.
    gb->soundunit().silencemode = false;
    frameunits = gb->runframe();
    return frameunits;
}

void tsession::frameended() {
    if (hooks.afterframe) hooks.afterframe();
}

void tsession::savebattery() { gb->cartridge().savesram(); }

std::vector<std::string> tsession::takesavefailures() {
    std::vector<std::string> taken;
    taken.swap(savefailures);
    return taken;
}

}  // namespace tov
