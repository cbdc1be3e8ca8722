// One description of a component's saved fields for every direction: a component lists
// its chunks once in `statefields(tstatevisitor&)`, and the writer, the reader and the
// sizer (statevisitors.h) walk that same list.
#pragma once
#include <cstdint>
#include <cstring>
#include <type_traits>

namespace tov {

// Chunk data encodings, all little-endian: boolean 1 byte (0 false, else true), byte 1,
// word 2, longint 4 (signed), block of a fixed size, and a block of any size.
enum class tchunktype : uint8_t { boolean, byte, word, longint, block, anysize };

// When a chunk is written (saving) and when it is taken (loading). A plain bool means
// both, e.g. the GBC-only chunks; `sgb_vram_data` is written only while capturing but
// taken always.
struct tstatecond {
    bool written = true;
    bool accepted = true;
    constexpr tstatecond() = default;
    constexpr tstatecond(bool both) : written(both), accepted(both) {}
    constexpr tstatecond(bool w, bool a) : written(w), accepted(a) {}
};

class tstatevisitor {
public:
    // One chunk as the visitors see it. `save` fills `size` bytes with the encoded value;
    // `load` applies encoded bytes (exactly `size` of them, or any count for anysize).
    struct tchunk {
        const char* name;
        tchunktype type;
        int32_t size;
        tstatecond when;
        void (*save)(void* context, uint8_t* out);
        void (*load)(void* context, const uint8_t* in, int32_t count);
        void* context;
    };

    virtual ~tstatevisitor() = default;
    virtual void chunk(const tchunk& c) = 0;

    // ---- Plain members, stored as they are ----
    void field(const char* name, bool& v, tstatecond when = {}) {
        value(name, [&v] { return v; }, [&v](bool b) { v = b; }, when);
    }
    void field(const char* name, uint8_t& v, tstatecond when = {}) {
        value(name, [&v] { return v; }, [&v](uint8_t b) { v = b; }, when);
    }
    void field(const char* name, uint16_t& v, tstatecond when = {}) {
        value(name, [&v] { return v; }, [&v](uint16_t w) { v = w; }, when);
    }
    void field(const char* name, int32_t& v, tstatecond when = {}) {
        value(name, [&v] { return v; }, [&v](int32_t l) { v = l; }, when);
    }
    // A 0/1 flag kept in a byte member, stored as a boolean.
    void flag(const char* name, uint8_t& v, tstatecond when = {}) {
        value(name, [&v] { return v != 0; }, [&v](bool b) { v = b ? 1 : 0; }, when);
    }
    // Raw bytes of a fixed size (host layout, which is little-endian here).
    void block(const char* name, void* data, int32_t size, tstatecond when = {}) {
        blockvalue(
            name, size, [data, size](uint8_t* out) { std::memcpy(out, data, size_t(size)); },
            [data, size](const uint8_t* in) { std::memcpy(data, in, size_t(size)); }, when);
    }

    // ---- Values behind accessors ----
    // The chunk type follows what `get` returns: bool, uint8_t, uint16_t or int32_t.
    // `set` receives the decoded value.
    template <class G, class S>
    void value(const char* name, G get, S set, tstatecond when = {}) {
        using T = std::decay_t<decltype(get())>;
        static_assert(std::is_same_v<T, bool> || std::is_same_v<T, uint8_t> ||
                          std::is_same_v<T, uint16_t> || std::is_same_v<T, int32_t>,
                      "a typed chunk holds a bool, uint8_t, uint16_t or int32_t");
        struct tpair {
            G& get;
            S& set;
        } pair{get, set};
        tchunk c{name, chunktypeof<T>(), int32_t(sizeof(T)), when,
                 [](void* p, uint8_t* out) { encode(static_cast<tpair*>(p)->get(), out); },
                 [](void* p, const uint8_t* in, int32_t) { static_cast<tpair*>(p)->set(decode<T>(in)); },
                 &pair};
        chunk(c);
    }
    // A block of a fixed size built by `save(uint8_t* out)` and applied by
    // `load(const uint8_t* in)`.
    template <class G, class S>
    void blockvalue(const char* name, int32_t size, G save, S load, tstatecond when = {}) {
        struct tpair {
            G& save;
            S& load;
        } pair{save, load};
        tchunk c{name, tchunktype::block, size, when,
                 [](void* p, uint8_t* out) { static_cast<tpair*>(p)->save(out); },
                 [](void* p, const uint8_t* in, int32_t) { static_cast<tpair*>(p)->load(in); },
                 &pair};
        chunk(c);
    }
    // A block written with `size` bytes from `data` and taken at any size through
    // `load(const uint8_t* in, int32_t count)`.
    template <class S>
    void anysize(const char* name, const void* data, int32_t size, S load, tstatecond when = {}) {
        struct tpair {
            const void* data;
            int32_t size;
            S& load;
        } pair{data, size, load};
        tchunk c{name, tchunktype::anysize, size, when,
                 [](void* p, uint8_t* out) {
                     auto* q = static_cast<tpair*>(p);
                     if (q->size > 0) std::memcpy(out, q->data, size_t(q->size));
                 },
                 [](void* p, const uint8_t* in, int32_t count) { static_cast<tpair*>(p)->load(in, count); },
                 &pair};
        chunk(c);
    }

private:
    template <class T>
    static constexpr tchunktype chunktypeof() {
        if constexpr (std::is_same_v<T, bool>) return tchunktype::boolean;
        else if constexpr (std::is_same_v<T, uint8_t>) return tchunktype::byte;
        else if constexpr (std::is_same_v<T, uint16_t>) return tchunktype::word;
        else return tchunktype::longint;
    }
    template <class T>
    static void encode(T v, uint8_t* out) {
        if constexpr (std::is_same_v<T, bool>) {
            out[0] = v ? 1 : 0;
        } else {
            auto u = static_cast<std::make_unsigned_t<T>>(v);
            for (size_t i = 0; i < sizeof(T); i++) out[i] = uint8_t(u >> (8 * i));
        }
    }
    template <class T>
    static T decode(const uint8_t* in) {
        if constexpr (std::is_same_v<T, bool>) {
            return in[0] != 0;
        } else {
            std::make_unsigned_t<T> u = 0;
            for (size_t i = 0; i < sizeof(T); i++) u = std::make_unsigned_t<T>(u | (std::make_unsigned_t<T>(in[i]) << (8 * i)));
            return static_cast<T>(u);
        }
    }
};

}  // namespace tov
