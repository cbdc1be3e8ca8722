// Fuzz target: ".cht" cheat files through the list's reader, on a running machine. Whatever
// the bytes (long lines, binary bytes, no line ends), the reader must not crash or grow
// without bound; the list it leaves must apply, write its GameShark codes (and run a frame), give
// the ROM image back byte for byte when it is removed, and survive its own file text: saved
// and read twice (each read reverses the order) it writes the same text again.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "cheats/cheats.h"
#include "frontend/cheathooks.h"
#include "fuzzutil.h"
#include "support/testrom.h"

namespace {

using namespace tov;

struct tharness : fuzz::tsessionharness {
    std::unique_ptr<tcheatlist> list;
    std::vector<uint8_t> rom;

    tharness() : tsessionharness(fuzz::tparts::machineonly) {
        // 128 KiB MBC1 with RAM: a Game Genie code for 0x4000-0x7FFF reaches 7 banks.
        testing::tromimage image(0x20000);
        image.noise().bankmarkers().blankheader().logo().type(0x03).ramsizecode(2);
        image.entry().code(0x150, {0x3E, 0x0A, 0xEA, 0x00, 0x00, 0x3C, 0xEA, 0x00, 0xA0, 0x18, 0xFA});
        std::string message;
        session->loadimage(image.finished(), "", true, message);
        const tcart& cart = session->cartridge();
        rom.assign(cart.romimagedata(), cart.romimagedata() + cart.romimagesize());
        list = std::make_unique<tcheatlist>(session->machine());
        attachcheats(*session, *list);
    }
    bool romclean() const {
        const tcart& cart = session->cartridge();
        return size_t(cart.romimagesize()) == rom.size() && std::memcmp(cart.romimagedata(), rom.data(), rom.size()) == 0;
    }
};

std::string reread(tcheatlist& list, const std::string& text) {
    std::istringstream in(text);
    list.loadstream(in);
    return list.filetext();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static tharness h;
    std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
    const tcheatfileload r = h.list->loadstream(in);
    if (r.loaded > tcheatlist::maxcheats || int(h.list->size()) != r.loaded) std::abort();
    for (const tcheat& c : h.list->cheats())
        if (c.comment.size() > tcheatlist::maxcomment || c.patchcount > tcheat::maxpatches) std::abort();
    // A frame of the machine with the list's writes for every fourth input (the frame costs
    // far more than the reading; the GameShark writes themselves go out on every input).
    const bool frame = size % 4 == 0;
    if (frame) h.session->runframe(false);
    h.session->frameended();
    h.list->setdisableall(true);
    if (!h.romclean()) std::abort();
    h.list->setdisableall(false);
    const std::string text = h.list->filetext();
    reread(*h.list, text);
    if (reread(*h.list, h.list->filetext()) != text) std::abort();
    h.list->removeall();
    if (!h.romclean()) std::abort();
    h.list->clear();
    if (frame) h.session->reset();
    return 0;
}
