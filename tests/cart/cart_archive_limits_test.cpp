// Archives built to make the unpacker slow: each finding of the ROM fuzz target that took the
// loader more than linear time in the file becomes a case here, at the largest file size the
// loader reads. Without the mend a case runs for minutes and the test times out.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "cart/loadrom.h"

using namespace tov;

namespace {

void put16(std::vector<uint8_t>& b, uint16_t v) {
    b.push_back(uint8_t(v));
    b.push_back(uint8_t(v >> 8));
}
void put32(std::vector<uint8_t>& b, uint32_t v) {
    put16(b, uint16_t(v));
    put16(b, uint16_t(v >> 16));
}

// A 30-byte local header of a deflated entry with a name of `namelength` bytes that follow it.
std::vector<uint8_t> localheader(uint16_t flags, uint16_t namelength) {
    std::vector<uint8_t> h = {'P', 'K', 3, 4};
    put16(h, 20);     // version
    put16(h, flags);
    put16(h, 8);      // deflate
    put32(h, 0);      // time, date
    put32(h, 0);      // CRC
    put32(h, 0);      // packed size
    put32(h, 0);      // unpacked size
    put16(h, namelength);
    put16(h, 0);      // extra field
    return h;
}

std::vector<uint8_t> repeated(const std::vector<uint8_t>& unit) {
    std::vector<uint8_t> file;
    const size_t limit = 8 * 1024 * 1024;  // the largest file the loader reads
    while (file.size() + unit.size() <= limit) file.insert(file.end(), unit.begin(), unit.end());
    return file;
}

}  // namespace

TEST(ArchiveLimits, StreamedHeadersWithoutCentralDirectoryAreRefusedInLinearTime) {
    // 279620 streamed headers (sizes in the central directory, flag bit 3), none of which the
    // central directory names: each used to start a scan of the whole file for its record.
    struct tcase {
        const char* what;
        std::vector<uint8_t> unit;
    };
    std::vector<uint8_t> named = localheader(0x08, 3);
    named.insert(named.end(), {'A', '.', 'G'});  // a ".G" name is no ROM
    std::vector<uint8_t> withcentral = localheader(0x08, 0);
    // A central record naming offset 0 only, repeated with each header.
    withcentral.insert(withcentral.end(), {'P', 'K', 1, 2});
    withcentral.resize(withcentral.size() + 42, 0);
    for (const tcase& c : {tcase{"bare headers", localheader(0x08, 0)}, tcase{"named headers", named},
                           tcase{"headers with central records", withcentral}}) {
        std::vector<uint8_t> rom;
        EXPECT_FALSE(unpackarchive(repeated(c.unit), rom)) << c.what;
        EXPECT_TRUE(rom.empty()) << c.what;
    }
}
