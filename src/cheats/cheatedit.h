// The edit dialog `TFormeditcheat` without its window: the fields, the two entry modes and
// what `Buttonok` does with them. A code is typed in code mode; in values mode it is built
// from an address, a new value and an optional old value.
#pragma once
#include <cstdint>
#include <string>

#include "cheats/cheats.h"

namespace tov {

// A field read as hexadecimal: -1 when empty or malformed (an overlong number counts as
// too large, never wraps).
int64_t parsehexfield(const std::string& text);

class tcheatedit {
public:
    enum tmode { codemode, valuesmode };  // `Radioeditcode`, `Radioeditdebug`

    // The dialog opens in code mode showing the cheat: comment, code, the address as 4 hex
    // digits, the value as 2 and the compare as 2 (empty for none).
    void open(const tcheat& cheat);

    tmode mode = codemode;
    std::string Editcomment, Editcode, Editaddr, Editnewval, Editoldval;

    // `Buttonok`: "" when the cheat was changed and the dialog closes, else the message of
    // the box (titled "error") and the dialog stays open. `list` is checked for the code
    // already existing in another cheat than `cheat`.
    std::string ok(tcheat& cheat, const tcheatlist& list) const;
    static constexpr const char* errortitle = "error";
};

}  // namespace tov
