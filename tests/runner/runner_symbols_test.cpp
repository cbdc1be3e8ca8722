// The headless runner's breakpoints by name: the ROM's ".sym" file beside it gives the names,
// the stop report shows them as label lines, and a bad or missing file never stops the ROM.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cart/carttesthelpers.h"
#include "support/runner.h"
#include "support/testrom.h"

namespace tov {
namespace {

using carttest::tscratch;

std::vector<uint8_t> textbytes(const std::string& s) { return std::vector<uint8_t>(s.begin(), s.end()); }

TEST(RunnerSymbols, BreakAtANameOfTheSymbolFile) {
    tscratch dir;
    // 0x150: call 0200 ; jr 0150 — 0x200: ret
    testing::tromimage image;
    image.logo().code(0x150, {0xCD, 0x00, 0x02, 0x18, 0xFB}).code(0x200, {0xC9});
    const std::string rom = dir.write("game.gb", image.finished());
    dir.write("game.sym", textbytes("; symbols\n00:0150 Main\n00:0200 Helper\nnot a symbol line\n"));
    testing::trunresult r = testing::runtovrun("--frames 10 --break Helper --set DebugLowercase=0", rom);
    EXPECT_EQ(r.status, 4) << r.out;
    EXPECT_NE(r.out.find("pc= 0200"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\nHelper:\n"), std::string::npos) << r.out;
    // Hex is still an address; a name that is not in the file is refused.
    EXPECT_EQ(testing::runtovrun("--frames 10 --break 0200", rom).status, 4);
    EXPECT_EQ(testing::runtovrun("--frames 10 --break Nowhere", rom).status, 2);
    // Without a symbol file, or with junk in it, names are refused and the ROM still runs.
    const std::string plain = dir.write("plain.gb", image.finished());
    EXPECT_EQ(testing::runtovrun("--frames 10 --break Helper", plain).status, 2);
    EXPECT_EQ(testing::runtovrun("--frames 10", plain).status, 3);
    const std::string junk = dir.write("junk.gb", image.finished());
    dir.write("junk.sym", std::vector<uint8_t>(3000, 0xFF));
    EXPECT_EQ(testing::runtovrun("--frames 10", junk).status, 3);
    EXPECT_EQ(testing::runtovrun("--frames 10 --break 200", junk).status, 4);
}

}  // namespace
}  // namespace tov
