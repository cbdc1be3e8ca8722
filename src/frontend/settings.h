// The settings record: every option of "tov.ini" as a plain field, plus the input map,
// the user colours, the recent-files list and the colour schemes.
#pragma once
#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tov {

// The 17 input functions of a player, in file order.
enum tinputfunction : int {
    inRight, inLeft, inUp, inDown, inA, inB, inSelect, inStart, inRapidA, inRapidB,
    inFastForward, inQuickLoad, inQuickSave, inResetGB, inToggleCheats, inPause, inScreenshot,
    inputfunctioncount
};

constexpr int playercount = 4;
constexpr uint8_t unassigned = 255;

struct tsettings {
    // Option fields, named by their keys ("8Bits" is Bits8).
    bool WaveOut{};  // sound output on (menu `mnusound` toggles it)
    bool WavFileOut{};  // also write the sound to a WAV file
    int32_t Samplerate{};  // output sample rate in Hz
    bool Bits8{};  // 8-bit instead of 16-bit samples
    std::string WavFilename{};  // WAV file name
    bool RecordMovie{};  // animation (frame) recording on
    bool RecordHalfSpeed{};  // animation recording at half rate
    std::string LastRomDir{};  // folder of the last opened ROM
    std::string RomDir{};  // start folder of the ROM open dialog
    std::string SaveRamDir{};  // folder for battery RAM, cheat and state files
    int32_t Width{};  // client width of the main window
    int32_t Height{};  // client height of the main window
    int32_t WinX{};  // horizontal centre of the main window
    int32_t WinY{};  // vertical centre of the main window
    bool PauseOnDefocus{};  // pause while the main window is inactive
    bool NoWindow{};  // main window without frame
    int32_t Windowmode{};  // window mode: 0 window, 3 and 4 the two full-screen modes
    int32_t FullscreenMode{};  // full-screen mode that Alt+Enter enters: 1 selects mode 4, any other value mode 3
    double Gamma{};  // colour conversion gamma
    double ColorSaturation{};  // colour conversion saturation
    int32_t ColorWhitepoint{};  // colour conversion white point (0x00BBGGRR)
    std::string ReflectorColor{};  // colour of the blank DMG screen while the LCD is off (6 hex digits; empty or invalid = colour 0)
    bool DetectGBP{};  // identify as Game Boy Pocket / SGB2
    bool DetectGBA{};  // identify a GBC as running on a GBA
    bool StayOnTop{};  // main window stays on top
    bool FrameRate{};  // show the frame rate in the window caption
    int32_t MaxSkip{};  // most frames skipped in a row
    bool CheatAutoSave{};  // cheat list saved and loaded with the ROM
    bool StateAutoConvert{};  // convert older save states on load
    int32_t Volume{};  // master volume, 0..100
    bool LCDcolors{};  // LCD-like colour conversion
    int32_t Interpolation{};  // read, written and edited in the dialog; nothing else uses it
    bool Pitch{};  // sound pitch option
    bool Sleep{};  // give up processor time while waiting for the next frame
    bool MMTimer{};  // use the multimedia timer for pacing
    double Speed{};  // emulation speed factor (1.0 = 4194304/70224 frames per second)
    bool BootImage{};  // show the start-up picture
    std::string Background{};  // border bitmap file
    std::string BackgroundGBC{};  // border bitmap file for GBC games
    int32_t SoundBufSize{};  // sound buffer length (latency)
    int32_t Border{};  // 0 no border, 1 SGB border only, 2 SGB border or bitmap file, 3 always the bitmap file
    int32_t Blend{};  // dialog choices 0 off, 1 mix the current with the previous frame, 2 interlaced as on a real GBC; read, written and edited, nothing else uses it
    bool StartOpen{};  // show the open dialog at start when no ROM was given
    bool SQWave{};  // square-wave generation option of the sound unit
    bool SGBnocolors{};  // ignore SGB colour commands
    bool nullgfx{};  // no picture output
    int32_t bpp{};  // colour depth: 1 = 8, 2 = 16, 3 = 24, 4 = 32 bits; 8 and above taken as bits; 0 and 5..7 automatic
    bool DSound{};  // sound through DirectSound (else waveOut)
    bool DSoundWarning{};  // show a message when DirectSound fails and waveOut is used instead
    bool DDraw{};  // picture through DirectDraw
    bool DDrawBB{};  // DirectDraw with back buffer
    bool DDrawFS{};  // DirectDraw exclusive full screen
    int32_t DDrawFSWidth{};  // full-screen width
    int32_t DDrawFSHeight{};  // full-screen height
    int32_t DDrawFSHz{};  // full-screen refresh rate, 0 = default
    bool DDrawWarning{};  // show a message when DirectDraw fails and the bitmap output is used instead
    int32_t VSync{};  // vertical-sync mode of the frame loop
    bool fastSGB{};  // fast SGB start-up
    bool SpriteLimit{};  // 10 sprites per line
    bool DebugEcho{};  // debugger: stop on echo-RAM access
    bool EmulateHaltBug{};  // emulate the HALT bug
    bool DebugHaltBugBreak{};  // debugger: stop when the HALT bug happens
    bool DebugSgbStartBreak{};  // debugger: stop at the start of an SGB transfer
    bool EmulateInaccVRAM{};  // VRAM/OAM inaccessible while the LCD uses them
    bool DebugVRAMbreak{};  // debugger: stop on inaccessible VRAM access
    bool DebugDisableLCD{};  // debugger: stop when the LCD is switched off outside VBlank
    bool EmulateSramD{};  // emulate disabled cartridge RAM
    bool DebugSramBreak{};  // debugger: stop on reading disabled cartridge RAM
    bool DebugMBCaddr{};  // debugger: stop on odd writes to the cartridge registers
    bool DebugSrcBrk{};  // debugger: the instruction `ld b,b` acts as a breakpoint
    int32_t UninitedWRAM{};  // start content of work RAM: 0 close to reality, 1 fill with `WRAMinitvalue`, 2 random
    std::string WRAMinitvalue{};  // fill value for work RAM (hex)
    bool DebugWRAMbreak{};  // debugger: stop on reading never-written work or high RAM
    bool DebugInc16OAMBreak{};  // debugger: stop on a 16-bit increment or decrement of a register pointing into OAM
    bool DebugScreen{};  // show the LCD picture inside the debugger window
    bool DebugLowercase{};  // disassembly in lower case
    bool CpuMeter{};  // show the processor-load meter
    int32_t SystemMode{};  // hardware: 0 DMG, 1 GBC, 2 SGB, 3 automatic preferring GBC, 4 automatic preferring SGB, 5 SGB + GBC, 6 GBC with the initial SGB border
    bool RegClick{};  // I/O-map check boxes write the register when clicked
    bool StartDebug{};  // stop in the debugger at the first instruction
    bool DebugEsc{};  // the "pause" input opens the debugger instead of pausing
    int32_t DebugBgColor{};  // debugger background colour
    int32_t DebugTextColor{};  // debugger text colour
    int32_t DebugHLTextColor{};  // debugger highlighted-text colour
    int32_t DebugBrkColor{};  // debugger breakpoint-line colour
    int32_t DebugCurrentColor{};  // debugger current-line colour
    int32_t DebugHilightColor{};  // debugger highlight colour
    int32_t DebugFontSize{};  // debugger font size
    std::string DebugFont{};  // debugger font
    int32_t DebugFontDense{};  // debugger line spacing
    int32_t DataFollow{};  // memory view follows: 0 nothing, 1 the code cursor, 2 BC, 3 DE, 4 HL, 5 PC
    int32_t CartMode{};  // cartridge emulation: 0 best accuracy, 1 best compatibility
    bool GBCpalPD{};  // GBC start-palette option
    bool LoadRomWarnings{};  // warn about problems found when loading a ROM
    bool BOpendialog{};  // use the program's own file dialog
    bool JoyFocus{};  // joystick read only while the window has the focus
    bool JoyOpposite{};  // allow opposite directions at the same time
    bool RemoteJoy{};  // link: remote joypad
    std::string LinkListenAddr{};  // link: address/port to listen on
    std::string LinkConnectAddr{};  // link: address to connect to
    std::string DmgBootRom{};  // DMG boot ROM file
    int32_t MBC7Joystick{};  // MBC7 tilt input source
    // Per player: keyboard codes (Windows virtual-key codes) and joystick input codes.
    std::array<std::array<uint8_t, inputfunctioncount>, playercount> keys{};
    std::array<std::array<uint8_t, inputfunctioncount>, playercount> joybuttons{};
    std::array<int32_t, playercount> joysticknum{};
    // BG 0-3, WIN 4-7, OBP0 8-11, OBP1 12-15; 0x00BBGGRR.
    std::array<uint32_t, 16> colors{};
    std::array<std::string, 10> recent;
    std::vector<std::string> colorschemes;
};

// ---- The option table of "tov.ini" and the routines that reset, read and write the record.
// The two file routines (readsettingsfile, writesettingsfile) are the only disk access.


enum class toptiontype : uint8_t { integer = 1, boolean = 2, string = 3, floating = 4 };

// One option of the settings file. Exactly one of the member pointers is set, the one of `type`.
struct toptionentry {
    int32_t tsettings::*intfield = nullptr;
    bool tsettings::*boolfield = nullptr;
    std::string tsettings::*stringfield = nullptr;
    double tsettings::*floatfield = nullptr;
    toptiontype type = toptiontype::integer;
    const char* key = "";          // spelling used when writing; compared case-insensitively
    const char* defaultstring = "";  // type string
    double defaultfloat = 0;       // type floating
    int32_t defaultint = 0;        // type integer, and boolean (0 or 1)
    // Type integer: the value is clamped into minint..maxint after reading, so that a hand-edited
    // file cannot make a buffer size, a window size or a frame count overflow or allocate without bound.
    int32_t minint = INT32_MIN;
    int32_t maxint = INT32_MAX;
};

constexpr int optioncount = 102;
constexpr size_t maxsettingstring = 255;  // strings are cut to this many characters

// All options, in file order.
std::span<const toptionentry> optiontable();
// The entry of `key` (case-insensitive), or nullptr.
const toptionentry* findoption(std::string_view key);

// The value of one option as the file spells it.
std::string optiontext(const tsettings& s, const toptionentry& e);
// Stores `value` into one option by the file's rules: integers and floats keep their current
// value on a parse error, booleans are true exactly for "1", strings are cut to 255 characters.
// Returns false when the value did not parse (the field is then unchanged).
bool setoptiontext(tsettings& s, const toptionentry& e, std::string_view value);

// Defaults of every option, the input map, joystick numbers and colours. The recent list is
// emptied; the colour-scheme list is left alone (the file reader clears it itself).
void setdefaults(tsettings& s);
// Bounds applied after reading: Speed must be above 0 (else 1.0); every integer option within
// the minint..maxint of its table entry (Volume 0..100).
void clampsettings(tsettings& s);

// Applies one "Key=Value" line of the settings file (or a --set argument). Lines without "="
// and unknown keys are ignored. Returns true when the key was recognised.
bool readsettingsline(tsettings& s, std::string_view line);
// Applies a whole file's text: clears the colour schemes, sets the defaults, then every line.
void readsettingstext(tsettings& s, std::string_view text);
// Same from a file. A missing or unreadable file leaves the defaults and returns false.
bool readsettingsfile(tsettings& s, const std::string& path);

// The file's text: the table in order, then Joypad/JoystickBtn/JoystickNum per player,
// the 16 colours, the 10 recent paths and the colour schemes.
std::string settingstext(const tsettings& s);
// Writes the file anew; returns false (and changes nothing else) when it cannot be written.
bool writesettingsfile(const tsettings& s, const std::string& path);

// Formats like the picture "0.0###...": at least `mindecimals` digits after the point, at most
// `maxdecimals`, trailing zeros beyond the minimum dropped. 2.0 -> "2.0", 0.85 -> "0.85".
std::string formatfloat(double v, int mindecimals, int maxdecimals);

// Parsers shared with the dialogs. They accept surrounding blanks and reject anything else.
bool parseint(std::string_view text, int32_t& out);
bool parsefloat(std::string_view text, double& out);  // "." separator, finite values only
bool parsehex(std::string_view text, uint32_t& out);

// Resolves a configured file name: "\" separators become "/"; a name starting with "/" is used
// as is, any other is taken relative to `programdir` (the program's folder, ending in "/").
std::string resolvepath(std::string_view name, std::string_view programdir);

// The settings record twice: `stored` is what the file holds, `working` what the running program
// reads. Loading copies stored to working after reading; saving copies working to stored first.
class tsettingsstore {
public:
    explicit tsettingsstore(std::string path = "tov.ini") : path_(std::move(path)) {}

    tsettings stored;
    tsettings working;

    const std::string& path() const { return path_; }
    void setpath(std::string path) { path_ = std::move(path); }

    // Reads the file into the stored copy (defaults when missing), then stored -> working.
    bool load();
    // Reads the file into the stored copy only (the options dialog does this when it opens).
    bool reloadstored();
    // working -> stored, then writes the file.
    bool save();
    // The dialog's Apply: the stored copy is already filled; stored -> working, write the file.
    bool apply();

private:
    std::string path_;
};

}  // namespace tov
