// The cheat searcher `TFormcheatsearch` without its window: finds the addresses of a game
// value (lives, money) in 0xA000-0xFFFF by narrowing a candidate set over repeated
// comparisons of the live memory with the values of the last step or with a constant.
// Memory is read without the bus's side effects (tgbinspect), so a search never disturbs
// the game (no joypad, timer or controller reads).
#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace tov {

class tgb;

class tcheatsearch {
public:
    static constexpr uint16_t first = 0xA000;
    static constexpr int span = 0x6000;  // 0xA000-0xFFFF
    // "keep values which are": `Radioequal`, `Radioabove`, `Radiobelow`.
    enum tcomparison { equal = 0, above = 1, below = 2 };

    explicit tcheatsearch(tgb& machine) : gb(&machine) {}
    void setmachine(tgb& machine) { gb = &machine; }

    // `ButtonresetClick`: every address but the echo area (0xE000-0xFDFF) a candidate, the
    // values sampled; in 16-bit mode 0xFFFF cannot start a value.
    void start(bool bits16);
    // `ButtonsearchClick`: one narrowing step. `negate` is `Checknot`; with `useconstant`
    // (`Radioconst`) the reference is `constant`, else each position's previous value.
    void search(tcomparison comparison, bool negate, bool useconstant, int64_t constant);
    // `editconst` read as hexadecimal: 0 when empty or malformed.
    static int64_t parseconstant(const std::string& text);

    bool bits16() const { return sixteen; }
    int count() const;
    std::vector<uint16_t> candidates() const;
    // The candidate display: "AAAA=VV " per candidate in address order with the byte there
    // now (a single byte in 16-bit mode too), and `Labelnumber`'s "known: N".
    const std::string& memo() const { return memotext; }
    const std::string& label() const { return labeltext; }
    static constexpr int entrywidth = 8;  // characters of one memo entry

private:
    uint8_t read(uint16_t address) const;
    void sample();
    void display();

    tgb* gb;
    std::array<uint8_t, span> previous{};
    std::array<uint8_t, span> candidate{};
    bool sixteen = false;
    std::string memotext;
    std::string labeltext = "known: 0";
};

}  // namespace tov
