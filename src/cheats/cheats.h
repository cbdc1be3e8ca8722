// Game Genie and GameShark codes and the cheat list behind the window `TFormcheat`.
//
// A Game Genie code patches bytes of the loaded ROM image (the same address in every
// switchable bank, optionally only where the old byte matches) and records what it changed,
// so that the image can be given back byte for byte; a GameShark code writes a byte through
// the machine's bus once per emulated frame. The list keeps the cheats of the running game
// and their ".cht" file.
#pragma once
#include <array>
#include <cstdint>
#include <functional>
#include <iosfwd>
#include <list>
#include <string>
#include <unordered_map>
#include <vector>

namespace tov {

class tgb;

// A cheat of the list. Game Genie: `address` is a ROM address 0x0000-0x7FFF, `compare` the
// old byte the patch requires or -1; GameShark: a memory address, `compare` always -1.
struct tcheat {
    static constexpr int maxpatches = 32;
    struct tpatch {
        uint32_t offset = 0;  // into the ROM image
        uint8_t previous = 0;
    };

    std::string code;  // normalised, as shown and saved
    uint16_t address = 0;
    int32_t compare = -1;
    uint8_t value = 0;
    bool gameshark = false;
    bool patched = false;  // Game Genie patches are in the ROM image now
    bool enabled = false;
    std::array<tpatch, maxpatches> patches{};
    int32_t patchcount = 0;
    std::string comment;
};

// Upper case; hex digits kept, blanks and "-" skipped, any other character makes the code
// invalid. 6 digits -> "ABC-DEF", 9 -> "ABC-DEF-GHI", 8 (GameShark) unchanged; any other
// count, or an invalid character: "".
std::string normalisecode(const std::string& text);
// Kind, address, compare and value from the (normalised) code text.
void decodecode(tcheat& cheat);
// The code for an address and values: above 0x7FFF a GameShark code (and compare becomes
// -1), else a Game Genie code with the compare digits when compare is 0 or more.
struct tencodedcheat {
    std::string code;
    bool gameshark = false;
    int32_t compare = -1;
};
tencodedcheat encodecode(uint16_t address, int32_t compare, uint8_t value);

// One line of the list box: code, kind, patched and enabled flags, address, value,
// compare and the comment in columns.
std::string cheatlistline(const tcheat& cheat);

// What the list reads of the settings.
struct tcheatoptions {
    bool CheatAutoSave = false;
};

// The result of reading a ".cht" file.
struct tcheatfileload {
    bool opened = false;
    int loaded = 0;       // cheats taken
    int skipped = 0;      // lines without a valid code
    bool toomany = false;  // lines beyond `maxcheats` were left out
    bool nocodes = false;  // lines, but not one valid code: the list was left as it was
};

// The cheat list: the cheats in list order (new ones at the head), the ROM base name of the
// running game, the disable-all and suspended flags.
class tcheatlist {
public:
    // A list holds no more cheats than this from a file; more is a damaged or hostile file.
    static constexpr int maxcheats = 10000;
    // Longer comments in a file are cut (the line is read to its end all the same).
    static constexpr size_t maxcomment = 1024;

    explicit tcheatlist(tgb& machine) : gb(&machine) {}
    tcheatlist(const tcheatlist&) = delete;
    tcheatlist& operator=(const tcheatlist&) = delete;

    tcheatoptions options;
    // Told the file of every failed save (the automatic ones included).
    std::function<void(const std::string& path)> onsavefailed;

    // ---- Patching ----
    void applycheat(tcheat& cheat);
    void removecheat(tcheat& cheat);
    void applyall();
    void removeall();
    // Once per emulated frame: every enabled GameShark cheat writes its value again.
    void applygameshark();
    // The debugger holds the machine (true: every patch out) or lets it run (false: back in).
    void setsuspended(bool on);
    bool suspended() const { return issuspended; }
    // `Buttonenableall` / `Buttondisableall` and the "toggle cheats" input.
    void setdisableall(bool on);
    bool disableall() const { return isdisableall; }
    // "tov cheats", with " (disabled)" while disable-all is set.
    std::string caption() const;

    // ---- The game ----
    // After a ROM was loaded (its base name: battery folder or ROM folder, no extension) or
    // closed (""): the old list is saved with `CheatAutoSave`, cleared (patches are not undone,
    // the image they were in is gone), and the new game's list loaded with `CheatAutoSave`.
    void setrom(const std::string& basename);
    const std::string& rombasename() const { return basename; }
    // The automatic save of the program's end: with `CheatAutoSave` and a ROM; an empty list
    // is written only over an existing file (its cheats were all deleted).
    bool autosave();
    // At least one cheat is enabled ("cheats active").
    bool anyenabled() const;

    // ---- The list ----
    std::list<tcheat>& cheats() { return list; }
    const std::list<tcheat>& cheats() const { return list; }
    size_t size() const { return list.size(); }
    bool empty() const { return list.empty(); }
    tcheat* at(size_t index);
    // Another cheat of the list (not `except`) has this code.
    bool hascode(const std::string& code, const tcheat* except = nullptr) const;
    // Inserts at the head: the new cheat becomes line 0.
    tcheat& insert(tcheat cheat);
    // The form's buttons on the selected lines (indexes in list order; out-of-range ones are
    // ignored).
    void remove(const std::vector<size_t>& lines);
    void enable(const std::vector<size_t>& lines, bool on);
    void poke(const std::vector<size_t>& lines);
    // Every cheat destroyed; patches are not undone.
    void clear() {
        list.clear();
        stacks.clear();
    }

    // ---- The ".cht" file: "code", " ", "1"/"0", comment, CR LF per cheat ----
    std::string filetext() const;
    // Written whole through a new file beside the old one; false (and `onsavefailed`) when it
    // could not be written, the old file being kept.
    bool savefile(const std::string& path);
    // Replaces the list (after `removeall`) with the file's cheats, in reverse line order, and
    // applies them. A file that cannot be opened, or whose lines hold no valid code, leaves
    // the list as it is.
    tcheatfileload loadfile(const std::string& path);
    tcheatfileload loadstream(std::istream& in);

private:
    bool patchoffset(tcheat& cheat, uint32_t offset);

    tgb* gb;
    std::list<tcheat> list;
    std::string basename;
    bool isdisableall = false;
    bool issuspended = false;
    // The patches of each patched ROM offset in the order they were made: several cheats may
    // patch one byte, and each records the byte the one before left.
    struct tpatchref {
        tcheat* cheat;
        int index;
    };
    std::unordered_map<uint32_t, std::vector<tpatchref>> stacks;
};

}  // namespace tov
