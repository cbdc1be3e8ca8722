#include "cart/cart.h"

#include "core/safefile.h"

namespace tov {

tcart::~tcart() {
    // Leave no entry pointing at a dead cartridge.
    for (int i : {0, 1, 2, 3, 4, 5, 6, 7, 10, 11}) setpage(i, nullptr, nullptr);
}

uint8_t tcart::romreadroutine(void* context, uint16_t address) {
    return static_cast<tcart*>(context)->romread(address);
}

uint8_t tcart::ramreadroutine(void* context, uint16_t address) {
    return static_cast<tcart*>(context)->ramread(address);
}

bool tcart::writebatteryfile(const std::string& path, const void* data, size_t size) {
    if (replacefile(path, data, size)) return true;
    if (onsavefailed) onsavefailed(path);
    return false;
}

void tcart::setpage(int index, treadroutine routine, uint8_t* pointer) {
    if (!pagetable) return;
    pagetable[index].data = pointer;
    pagetable[index].read = routine;
    pagetable[index].context = routine ? this : nullptr;
}

void tcart::cartreset() {
    for (int i = 0; i < 8; i++) setpage(i, romreadroutine, nullptr);
    setpage(10, ramreadroutine, nullptr);
    setpage(11, ramreadroutine, nullptr);
}

}  // namespace tov
