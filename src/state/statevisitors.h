// The three walkers of the components' field lists: the writer collects the chunks, the
// reader applies one chunk read back, the sizer adds up what the writer would produce.
#pragma once
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "state/statevisitor.h"

namespace tov {

// A state that cannot be read or written; the message is the text shown to the user.
class tstateerror : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// One chunk as written: its name and encoded data.
struct tsavedchunk {
    std::string name;
    std::vector<uint8_t> data;
};

// Collects every chunk whose "written" condition holds, in list order.
class tstatewriter : public tstatevisitor {
public:
    std::vector<tsavedchunk> chunks;
    void chunk(const tchunk& c) override;
};

// Offered one chunk read back (name and data): the field with exactly that name takes it
// when its "accepted" condition holds at that moment. A known name with a wrong size
// raises tstateerror with the typed reader's message; a name that matches nothing is
// ignored. Walk every component's list with one reader, then ask `taken`.
class tstatereader : public tstatevisitor {
public:
    tstatereader(std::string_view name, const uint8_t* data, int32_t size)
        : name(name), data(data), size(size) {}
    void chunk(const tchunk& c) override;
    bool taken() const { return took; }

private:
    std::string_view name;
    const uint8_t* data;
    int32_t size;
    bool took = false;
};

// The message for a chunk of a known name and the wrong size.
std::string wrongsizemessage(tchunktype type, int32_t expected);

// Adds up the chunks that would be written: their count, their data bytes and their bytes
// in the file container (name, terminating 0, 4-byte size, data).
class tstatesizer : public tstatevisitor {
public:
    int32_t count = 0;
    int64_t databytes = 0;
    int64_t filebytes = 0;
    void chunk(const tchunk& c) override;
};

}  // namespace tov
