// Fuzz target: symbol files and the debugger's typed inputs. The bytes are read as a ".sym"
// file, then each of their lines is given to the assembler, the hex byte parser and the
// address, condition and expression parsers with the names just read. Whatever the text,
// nothing may crash, hang or read outside it.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "debugger/assembler.h"
#include "debugger/debuggercore.h"
#include "debugger/symbols.h"
#include "fuzzutil.h"
#include "support/testrom.h"

namespace {

using namespace tov;

struct tharness : fuzz::tsessionharness {
    std::unique_ptr<tdebuggercore> core;
    tharness() : tsessionharness(fuzz::tparts::machineonly) {
        std::string message;
        session->loadimage(tov::testing::tromimage().finished(), "", false, message);
        session->reset();
        core = std::make_unique<tdebuggercore>(session->machine());
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static tharness h;
    const std::string text(reinterpret_cast<const char*>(data), size);
    h.core->symbols.read(text);
    size_t from = 0;
    for (int lines = 0; from <= text.size() && lines < 64; lines++) {
        size_t end = text.find('\n', from);
        if (end == std::string::npos) end = text.size();
        const std::string line = text.substr(from, end - from);
        from = end + 1;
        assemble(line, uint16_t(line.size() * 0x111));
        parsehexdata(line);
        parsebreakaddress(line, &h.core->symbols);
        tcondition c;
        parsecondition(line, c, &h.core->symbols);
        h.core->evaluate(line);
    }
    return 0;
}
