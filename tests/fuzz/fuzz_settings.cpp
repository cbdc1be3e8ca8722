// Fuzz target: "tov.ini". The input is a whole settings file: it is read from disk, written
// back through the program's own writer and read again; the second reading must equal the
// first (what the program writes, it reads back unchanged). Each line also goes alone
// through the line reader (as a --set argument does), and reading the file's text must give
// what reading the file gave. Every integer must end inside its option's range.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "frontend/settings.h"
#include "fuzzutil.h"

namespace {

using namespace tov;

[[noreturn]] void fail(const char* what, const std::string& first, const std::string& second) {
    std::fprintf(stderr, "fuzz_settings: %s\n--- first\n%s\n--- second\n%s\n", what, first.c_str(), second.c_str());
    std::abort();
}

void checkranges(const tsettings& s) {
    for (const toptionentry& e : optiontable()) {
        if (e.type != toptiontype::integer) continue;
        int32_t v = s.*e.intfield;
        if (v < e.minint || v > e.maxint) {
            std::fprintf(stderr, "fuzz_settings: %s=%d outside %d..%d\n", e.key, v, e.minint, e.maxint);
            std::abort();
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string first = fuzz::scratchpath("first.ini"), second = fuzz::scratchpath("tov.ini");
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    // Line by line into one record, as --set arguments arrive.
    tsettings lines;
    setdefaults(lines);
    for (size_t start = 0; start <= text.size();) {
        size_t nl = text.find('\n', start);
        if (nl == std::string_view::npos) nl = text.size();
        readsettingsline(lines, text.substr(start, nl - start));
        start = nl + 1;
    }
    checkranges(lines);

    fuzz::writewhole(first, data, size);
    tsettings read1;
    if (!readsettingsfile(read1, first)) std::abort();
    checkranges(read1);
    tsettings fromtext;
    readsettingstext(fromtext, text);
    if (settingstext(fromtext) != settingstext(read1))
        fail("the file and its text read differently", settingstext(read1), settingstext(fromtext));

    if (!writesettingsfile(read1, second)) std::abort();
    tsettings read2;
    if (!readsettingsfile(read2, second)) std::abort();
    const std::string written1 = settingstext(read1), written2 = settingstext(read2);
    if (written1 != written2) fail("written and read again, the settings changed", written1, written2);
    return 0;
}
