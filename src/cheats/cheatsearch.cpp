#include "cheats/cheatsearch.h"

#include <cstdio>

#include "cheats/cheatedit.h"
#include "core/gbinspect.h"

namespace tov {

namespace {

bool isecho(int i) {
    const int address = tcheatsearch::first + i;
    return address >= 0xE000 && address <= 0xFDFF;
}

}  // namespace

uint8_t tcheatsearch::read(uint16_t address) const { return tgbinspect(*gb).peek(address); }

void tcheatsearch::sample() {
    for (int i = 0; i < span; i++) previous[size_t(i)] = read(uint16_t(first + i));
}

void tcheatsearch::start(bool b16) {
    sixteen = b16;
    for (int i = span - 1; i >= 0; i--) candidate[size_t(i)] = isecho(i) ? 0 : 1;
    sample();
    if (sixteen) candidate[span - 1] = 0;
    display();
}

int64_t tcheatsearch::parseconstant(const std::string& text) {
    const int64_t v = parsehexfield(text);
    return v < 0 || v > 0xFFFFFFFF ? 0 : v;
}

void tcheatsearch::search(tcomparison comparison, bool negate, bool useconstant, int64_t constant) {
    const int k = int(comparison) + (negate ? 3 : 0);
    const int last = sixteen ? span - 2 : span - 1;
    for (int i = last; i >= 0; i--) {
        const uint16_t a = uint16_t(first + i);
        int64_t current = read(a);
        int64_t reference = previous[size_t(i)];
        if (sixteen) {
            current += 256 * int64_t(read(uint16_t(a + 1)));
            reference += 256 * int64_t(previous[size_t(i + 1)]);
        }
        if (useconstant) reference = constant;
        bool clear = false;
        switch (k) {
        case 0: clear = current != reference; break;  // keeps equal
        case 1: clear = reference >= current; break;  // keeps above
        case 2: clear = current >= reference; break;  // keeps below
        case 3: clear = current == reference; break;  // keeps not equal
        case 4: clear = reference < current; break;   // keeps not above
        default: clear = current < reference; break;  // keeps not below
        }
        if (clear) candidate[size_t(i)] = 0;
    }
    sample();
    display();
}

int tcheatsearch::count() const {
    int n = 0;
    for (uint8_t c : candidate) n += c != 0;
    return n;
}

std::vector<uint16_t> tcheatsearch::candidates() const {
    std::vector<uint16_t> out;
    for (int i = 0; i < span; i++)
        if (candidate[size_t(i)]) out.push_back(uint16_t(first + i));
    return out;
}

void tcheatsearch::display() {
    memotext.clear();
    int n = 0;
    char entry[16];
    for (int i = 0; i < span; i++) {
        if (!candidate[size_t(i)]) continue;
        const uint16_t a = uint16_t(first + i);
        std::snprintf(entry, sizeof entry, "%04X=%02X ", unsigned(a), unsigned(read(a)));
        memotext += entry;
        n++;
    }
    labeltext = "known: " + std::to_string(n);
}

}  // namespace tov
