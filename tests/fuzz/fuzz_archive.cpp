// Fuzz target: zip and gzip ROM archives through the unpacker alone, without a run of the
// machine (fuzz_rom runs what it unpacks, at a thousandth of the pace), so that the
// archive's headers, the central directory of streamed entries and the deflate data are
// searched deeply. Whatever the bytes, unpacking must not crash, read outside the file or
// take without bound; a refused archive leaves no image, an accepted one an image within the
// unpacker's limit that the cartridge loader then takes or refuses with a message.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "cart/cart.h"
#include "cart/cartoptions.h"
#include "cart/loadrom.h"

namespace {

void check(bool condition) {
    if (!condition) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace tov;
    const std::vector<uint8_t> archive(data, data + size);
    std::vector<uint8_t> rom = {0xAA};  // anything left from before must go
    const bool ok = unpackarchive(archive, rom);
    check(ok ? !rom.empty() && rom.size() <= maxunpackedsize : rom.empty());
    if (!ok) return 0;
    // Both cartridge emulations build their mapper from the unpacked header.
    for (int32_t cartmode : {0, 1}) {
        tcartoptions options;
        options.CartMode = cartmode;
        std::string message;
        std::unique_ptr<tcart> cart = makecart(rom, options, message);
        check(cart || !message.empty());
        if (cart) rominfotext(*cart, "rom.zip");
    }
    return 0;
}
