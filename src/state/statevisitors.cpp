#include "state/statevisitors.h"

#include <cstring>

namespace tov {

void tstatewriter::chunk(const tchunk& c) {
    if (!c.when.written) return;
    tsavedchunk saved;
    saved.name = c.name;
    saved.data.resize(size_t(c.size > 0 ? c.size : 0));
    if (!saved.data.empty()) c.save(c.context, saved.data.data());
    chunks.push_back(std::move(saved));
}

std::string wrongsizemessage(tchunktype type, int32_t expected) {
    switch (type) {
    case tchunktype::boolean: return "excepted data type boolean, wrong size";
    case tchunktype::byte: return "excepted data type byte, wrong size";
    case tchunktype::word: return "excepted data type word, wrong size";
    case tchunktype::longint: return "excepted data type longint, wrong size";
    default: return "excepted data size " + std::to_string(expected) + ", wrong size";
    }
}

void tstatereader::chunk(const tchunk& c) {
    // The first field of the name takes the chunk; a condition that does not hold leaves
    // the chunk to be skipped.
    if (took || !c.when.accepted || name != c.name) return;
    if (c.type != tchunktype::anysize && size != c.size) throw tstateerror(wrongsizemessage(c.type, c.size));
    if (size < 0) throw tstateerror(wrongsizemessage(c.type, c.size));
    c.load(c.context, data, size);
    took = true;
}

void tstatesizer::chunk(const tchunk& c) {
    if (!c.when.written) return;
    count++;
    databytes += c.size;
    filebytes += int64_t(std::strlen(c.name)) + 1 + 4 + c.size;
}

}  // namespace tov
