#include "core/ioregs.h"

namespace tov {

const tioregister* findioregister(std::string_view name) {
    if (name.empty()) return nullptr;
    auto same = [](std::string_view a, std::string_view b) {
        if (a.size() != b.size()) return false;
        for (size_t i = 0; i < a.size(); i++) {
            char x = a[i], y = b[i];
            if (x >= 'a' && x <= 'z') x = char(x - 32);
            if (y >= 'a' && y <= 'z') y = char(y - 32);
            if (x != y) return false;
        }
        return true;
    };
    for (const tioregister& r : ioregisters)
        if (same(r.name, name)) return &r;
    return nullptr;
}

}  // namespace tov
