// Walkers for a block chunk made of several fields back to back (little-endian). A
// component lists the block's fields once in a template `layout(L&)`; saving runs it with
// tlayoutsaver, loading with tlayoutloader, which brings every value into the range the
// list gives, so that a damaged block cannot put a field out of its range.
#pragma once
#include <algorithm>
#include <cstdint>

namespace tov {

class tlayoutsaver {
public:
    explicit tlayoutsaver(uint8_t* out) : p(out) {}
    void longint(int32_t& v, int32_t = INT32_MIN, int32_t = INT32_MAX) { put(uint32_t(v)); }
    void longmask(int32_t& v, int32_t) { put(uint32_t(v)); }
    void byte(uint8_t& v) { *p++ = v; }
    void flag(uint8_t& v) { *p++ = v; }

private:
    uint8_t* p;
    void put(uint32_t u) {
        for (int i = 0; i < 4; i++) *p++ = uint8_t(u >> (8 * i));
    }
};

class tlayoutloader {
public:
    explicit tlayoutloader(const uint8_t* in) : p(in) {}
    void longint(int32_t& v, int32_t lo = INT32_MIN, int32_t hi = INT32_MAX) { v = std::clamp(get(), lo, hi); }
    void longmask(int32_t& v, int32_t mask) { v = get() & mask; }
    void byte(uint8_t& v) { v = *p++; }
    void flag(uint8_t& v) { v = *p++ ? 1 : 0; }

private:
    const uint8_t* p;
    int32_t get() {
        uint32_t u = 0;
        for (int i = 0; i < 4; i++) u |= uint32_t(*p++) << (8 * i);
        return int32_t(u);
    }
};

// Counts the bytes a layout occupies (for checking it against the block's fixed size).
class tlayoutsizer {
public:
    int32_t bytes = 0;
    void longint(int32_t&, int32_t = INT32_MIN, int32_t = INT32_MAX) { bytes += 4; }
    void longmask(int32_t&, int32_t) { bytes += 4; }
    void byte(uint8_t&) { bytes += 1; }
    void flag(uint8_t&) { bytes += 1; }
};

}  // namespace tov
