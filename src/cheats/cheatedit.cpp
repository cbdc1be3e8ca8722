#include "cheats/cheatedit.h"

#include <cstdio>

namespace tov {

int64_t parsehexfield(const std::string& text) {
    if (text.empty()) return -1;
    int64_t v = 0;
    for (char c : text) {
        int d;
        if (c >= '0' && c <= '9') d = c - '0';
        else if (c >= 'A' && c <= 'F') d = c - 'A' + 10;
        else if (c >= 'a' && c <= 'f') d = c - 'a' + 10;
        else return -1;
        // Saturates: a long number stays out of every field's range.
        v = v > (int64_t(1) << 40) ? v : v * 16 + d;
    }
    return v;
}

void tcheatedit::open(const tcheat& cheat) {
    mode = codemode;
    char buf[8];
    Editcomment = cheat.comment;
    Editcode = cheat.code;
    std::snprintf(buf, sizeof buf, "%04X", unsigned(cheat.address));
    Editaddr = buf;
    std::snprintf(buf, sizeof buf, "%02X", unsigned(cheat.value));
    Editnewval = buf;
    Editoldval.clear();
    if (cheat.compare >= 0) {
        std::snprintf(buf, sizeof buf, "%02X", unsigned(cheat.compare) & 0xFF);
        Editoldval = buf;
    }
}

std::string tcheatedit::ok(tcheat& cheat, const tcheatlist& list) const {
    if (mode == valuesmode) {
        const int64_t address = parsehexfield(Editaddr);
        const int64_t value = parsehexfield(Editnewval);
        const int64_t old = parsehexfield(Editoldval);
        if (address < 0 || address > 0xFFFF || value < 0 || value > 255 || old < -1 || old > 255)
            return "invalid values entered";
        const tencodedcheat e = encodecode(uint16_t(address), int32_t(old), uint8_t(value));
        if (list.hascode(e.code, &cheat)) return "cheat already exists";
        cheat.address = uint16_t(address);
        cheat.compare = e.compare;
        cheat.value = uint8_t(value);
        cheat.gameshark = e.gameshark;
        cheat.code = e.code;
    } else {
        const std::string code = normalisecode(Editcode);
        if (code.empty()) return "invalid code entered";
        if (list.hascode(code, &cheat)) return "cheat already exists";
        cheat.code = code;
        decodecode(cheat);
    }
    cheat.comment = Editcomment;
    return {};
}

}  // namespace tov
