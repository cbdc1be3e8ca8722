#include "video/gfxout.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>

#ifdef TOV_HAVE_PNG
#include <png.h>
#endif

namespace tov {

namespace {
uint32_t bitsof(uint32_t mask, int32_t& shift) {
    shift = 0;
    if (!mask) return 0;
    while (!(mask & 1)) {
        mask >>= 1;
        ++shift;
    }
    uint32_t width = 0;
    while (mask & 1) {
        mask >>= 1;
        ++width;
    }
    return width;
}

// Widens an n-bit channel value to 8 bits by repeating its top bits.
uint32_t widen(uint32_t v, int32_t width) {
    if (width <= 0) return 0;
    if (width >= 8) return (v >> (width - 8)) & 0xFF;
    uint32_t out = 0;
    int32_t have = 0;
    while (have < 8) {
        out = (out << width) | v;
        have += width;
    }
    return (out >> (have - 8)) & 0xFF;
}

// A colour 0x00BBGGRR in a surface format.
uint32_t surfacepixel(uint32_t c, const tgfxwrap& w) {
    auto channel = [](uint32_t v, int32_t width, int32_t shift) -> uint32_t {
        if (width <= 0) return 0;
        const uint32_t scaled = width >= 8 ? v << (width - 8) : v >> (8 - width);
        return scaled << shift;
    };
    return channel(c & 0xFF, w.redwidth, w.redshift) | channel((c >> 8) & 0xFF, w.greenwidth, w.greenshift) |
           channel((c >> 16) & 0xFF, w.bluewidth, w.blueshift);
}

void put16(std::vector<uint8_t>& v, uint32_t x) {
    v.push_back(uint8_t(x));
    v.push_back(uint8_t(x >> 8));
}
void put32(std::vector<uint8_t>& v, uint32_t x) {
    put16(v, x & 0xFFFF);
    put16(v, x >> 16);
}
uint32_t get16(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8; }
uint32_t get32(const uint8_t* p) { return get16(p) | get16(p + 2) << 16; }

bool endswithpng(const std::string& name) {
    if (name.size() < 4) return false;
    std::string tail = name.substr(name.size() - 4);
    for (char& c : tail) c = char(std::tolower((unsigned char)c));
    return tail == ".png";
}

constexpr int32_t maxpicture = 16384;
}  // namespace

// ---- tbitmap

bool tbitmap::create(int32_t w, int32_t h, int32_t bits) {
    if (w <= 0 || h <= 0 || w > maxpicture || h > maxpicture) return false;
    if (bits != 8 && bits != 16 && bits != 24 && bits != 32) return false;
    width = w;
    height = h;
    bitsperpixel = bits;
    stride = ((w * bits + 31) / 32) * 4;
    pixels.assign(size_t(stride) * size_t(h), 0);
    palette.fill(0);
    return true;
}

uint32_t tbitmap::pixel(int32_t x, int32_t y) const {
    if (x < 0 || y < 0 || x >= width || y >= height) return 0;
    const uint8_t* p = row(y);
    switch (bitsperpixel) {
        case 8: return palette[p[x]] & 0xFFFFFF;
        case 16: {
            const uint32_t v = get16(p + 2 * x);
            return widen(v >> 11, 5) | widen((v >> 5) & 63, 6) << 8 | widen(v & 31, 5) << 16;
        }
        case 24: return uint32_t(p[3 * x + 2]) | uint32_t(p[3 * x + 1]) << 8 | uint32_t(p[3 * x]) << 16;
        case 32: return uint32_t(p[4 * x + 2]) | uint32_t(p[4 * x + 1]) << 8 | uint32_t(p[4 * x]) << 16;
        default: return 0;
    }
}

void tbitmap::setpixel(int32_t x, int32_t y, uint32_t bgr) {
    if (x < 0 || y < 0 || x >= width || y >= height) return;
    uint8_t* p = row(y);
    const int32_t bytes = bitsperpixel / 8;
    if (bytes < 3) return;
    p += bytes * x;
    p[0] = uint8_t(bgr >> 16);
    p[1] = uint8_t(bgr >> 8);
    p[2] = uint8_t(bgr);
    if (bytes == 4) p[3] = 0;
}

// ---- Files

bool writebmp(const tbitmap& bmp, const std::string& filename) {
    const int32_t bits = bmp.bitsperpixel;
    if (bmp.width <= 0 || bmp.height <= 0 || bmp.pixels.size() < size_t(bmp.stride) * size_t(bmp.height)) return false;
    if (bits != 8 && bits != 16 && bits != 24 && bits != 32) return false;
    const uint32_t palettebytes = bits == 8 ? 1024 : (bits == 16 ? 12 : 0);
    const uint32_t headerbytes = 14 + 40 + palettebytes;
    const uint32_t imagebytes = uint32_t(bmp.stride) * uint32_t(bmp.height);
    std::vector<uint8_t> out;
    out.reserve(headerbytes + imagebytes);
    out.push_back('B');
    out.push_back('M');
    put32(out, headerbytes + imagebytes);
    put32(out, 0);
    put32(out, headerbytes);
    put32(out, 40);
    put32(out, uint32_t(bmp.width));
    put32(out, uint32_t(bmp.height));  // bottom-up rows
    put16(out, 1);
    put16(out, uint32_t(bits));
    put32(out, bits == 16 ? 3 : 0);  // 16 bits: BI_BITFIELDS with 5-6-5 masks
    put32(out, imagebytes);
    put32(out, 2835);  // 72 dpi
    put32(out, 2835);
    put32(out, bits == 8 ? 256 : 0);
    put32(out, 0);
    if (bits == 8) {
        for (uint32_t c : bmp.palette) {
            out.push_back(uint8_t(c >> 16));
            out.push_back(uint8_t(c >> 8));
            out.push_back(uint8_t(c));
            out.push_back(0);
        }
    } else if (bits == 16) {
        put32(out, 0xF800);
        put32(out, 0x07E0);
        put32(out, 0x001F);
    }
    for (int32_t y = bmp.height - 1; y >= 0; --y) {
        const uint8_t* r = bmp.row(y);
        out.insert(out.end(), r, r + bmp.stride);
    }
    std::ofstream f(filename, std::ios::binary | std::ios::trunc);
    if (!f) return false;
    f.write(reinterpret_cast<const char*>(out.data()), std::streamsize(out.size()));
    f.close();
    return bool(f);
}

#ifdef TOV_HAVE_PNG
bool writepng(const tbitmap& bmp, const std::string& filename) {
    if (bmp.width <= 0 || bmp.height <= 0 || bmp.pixels.size() < size_t(bmp.stride) * size_t(bmp.height)) return false;
    FILE* f = std::fopen(filename.c_str(), "wb");
    if (!f) return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!png || !info) {
        png_destroy_write_struct(&png, info ? &info : nullptr);
        std::fclose(f);
        return false;
    }
    std::vector<uint8_t> rowbuf(size_t(bmp.width) * 3);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        std::fclose(f);
        return false;
    }
    png_init_io(png, f);
    const bool indexed = bmp.bitsperpixel == 8;
    png_set_IHDR(png, info, png_uint_32(bmp.width), png_uint_32(bmp.height), 8,
                 indexed ? PNG_COLOR_TYPE_PALETTE : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_color pal[256];
    if (indexed) {
        for (int i = 0; i < 256; ++i) {
            pal[i].red = png_byte(bmp.palette[i]);
            pal[i].green = png_byte(bmp.palette[i] >> 8);
            pal[i].blue = png_byte(bmp.palette[i] >> 16);
        }
        png_set_PLTE(png, info, pal, 256);
    }
    png_write_info(png, info);
    for (int32_t y = 0; y < bmp.height; ++y) {
        if (indexed) {
            png_write_row(png, const_cast<png_bytep>(bmp.row(y)));
            continue;
        }
        for (int32_t x = 0; x < bmp.width; ++x) {
            const uint32_t c = bmp.pixel(x, y);
            rowbuf[3 * x] = uint8_t(c);
            rowbuf[3 * x + 1] = uint8_t(c >> 8);
            rowbuf[3 * x + 2] = uint8_t(c >> 16);
        }
        png_write_row(png, rowbuf.data());
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    const bool ok = std::fclose(f) == 0;
    return ok;
}
#else
bool writepng(const tbitmap&, const std::string&) { return false; }
#endif

bool writepicture(const tbitmap& bitmap, const std::string& filename) {
    return endswithpng(filename) ? writepng(bitmap, filename) : writebmp(bitmap, filename);
}

bool readbmp(const std::vector<uint8_t>& file, tbitmap& out, std::string* error, int32_t maxside) {
    if (maxside <= 0 || maxside > maxpicture) maxside = maxpicture;
    auto fail = [&](const char* text) {
        if (error) *error = text;
        return false;
    };
    const size_t size = file.size();
    const uint8_t* d = file.data();
    if (size < 14 + 12 || d[0] != 'B' || d[1] != 'M') return fail("not a bitmap file");
    const uint32_t dataoffset = get32(d + 10);
    const uint32_t headersize = get32(d + 14);
    int32_t w, h;
    uint32_t planes, bits, compression = 0, colorsused = 0;
    if (headersize == 12) {
        w = int32_t(get16(d + 18));
        h = int16_t(get16(d + 20));
        planes = get16(d + 22);
        bits = get16(d + 24);
    } else if (headersize >= 40 && size >= 14 + size_t(headersize)) {
        w = int32_t(get32(d + 18));
        h = int32_t(get32(d + 22));
        planes = get16(d + 26);
        bits = get16(d + 28);
        compression = get32(d + 30);
        colorsused = get32(d + 46);
    } else {
        return fail("unsupported bitmap header");
    }
    (void)planes;
    const bool topdown = h < 0;
    if (h == INT32_MIN) return fail("invalid bitmap size");
    if (topdown) h = -h;
    if (w <= 0 || h <= 0 || w > maxside || h > maxside) return fail("invalid bitmap size");
    if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) return fail("unsupported bit depth");
    uint32_t masks[3] = {0, 0, 0};
    if (compression == 3 || compression == 6) {
        // Bit fields: in the header (V4/V5) or right after the 40-byte header.
        const size_t at = 14 + 40;
        if (size < at + 12) return fail("truncated bitmap");
        masks[0] = get32(d + at);
        masks[1] = get32(d + at + 4);
        masks[2] = get32(d + at + 8);
        if (bits != 16 && bits != 32) return fail("unsupported bitmap compression");
    } else if (compression != 0) {
        return fail("unsupported bitmap compression");
    } else if (bits == 16) {
        masks[0] = 0x7C00;
        masks[1] = 0x03E0;
        masks[2] = 0x001F;
    } else if (bits == 32) {
        masks[0] = 0xFF0000;
        masks[1] = 0x00FF00;
        masks[2] = 0x0000FF;
    }
    std::array<uint32_t, 256> pal{};
    if (bits <= 8) {
        const size_t entrysize = headersize == 12 ? 3 : 4;
        size_t count = colorsused ? colorsused : (size_t(1) << bits);
        count = std::min<size_t>(count, size_t(1) << bits);
        const size_t at = 14 + size_t(headersize);
        for (size_t i = 0; i < count; ++i) {
            if (at + (i + 1) * entrysize > size) break;
            const uint8_t* p = d + at + i * entrysize;
            pal[i] = uint32_t(p[2]) | uint32_t(p[1]) << 8 | uint32_t(p[0]) << 16;
        }
    }
    const size_t rowbytes = ((size_t(w) * bits + 31) / 32) * 4;
    if (dataoffset > size || (size - dataoffset) / rowbytes < size_t(h)) return fail("truncated bitmap");
    int32_t shifts[3];
    uint32_t widths[3];
    for (int i = 0; i < 3; ++i) widths[i] = bitsof(masks[i], shifts[i]);
    if (!out.create(w, h, 32)) return fail("invalid bitmap size");
    for (int32_t y = 0; y < h; ++y) {
        const uint8_t* src = d + dataoffset + rowbytes * size_t(topdown ? y : h - 1 - y);
        for (int32_t x = 0; x < w; ++x) {
            uint32_t c;
            if (bits <= 8) {
                const size_t bit = size_t(x) * bits;
                const uint32_t v = (src[bit / 8] >> (8 - bits - bit % 8)) & ((1u << bits) - 1);
                c = pal[v];
            } else if (bits == 24) {
                c = uint32_t(src[3 * x + 2]) | uint32_t(src[3 * x + 1]) << 8 | uint32_t(src[3 * x]) << 16;
            } else {
                const uint32_t v = bits == 16 ? get16(src + 2 * x) : get32(src + 4 * x);
                c = widen((v >> shifts[0]) & ((widths[0] >= 32) ? ~0u : (1u << widths[0]) - 1), int32_t(widths[0])) |
                    widen((v >> shifts[1]) & ((widths[1] >= 32) ? ~0u : (1u << widths[1]) - 1), int32_t(widths[1])) << 8 |
                    widen((v >> shifts[2]) & ((widths[2] >= 32) ? ~0u : (1u << widths[2]) - 1), int32_t(widths[2])) << 16;
            }
            out.setpixel(x, y, c);
        }
    }
    return true;
}

bool loadbmpfile(const std::string& filename, tbitmap& out, std::string* error, int32_t maxside) {
    if (maxside <= 0 || maxside > maxpicture) maxside = maxpicture;
    std::ifstream f(filename, std::ios::binary);
    if (!f) {
        if (error) *error = "cannot open file";
        return false;
    }
    f.seekg(0, std::ios::end);
    const std::streamoff length = f.tellg();
    // Larger than the pixels of the largest picture at 32 bits, with room for the headers, the
    // palette and some slack: no picture this reader takes (1 GiB for the largest of all).
    const std::streamoff largest = std::streamoff(maxside) * maxside * 4 + (std::streamoff(1) << 20);
    if (length <= 0 || length > largest) {
        if (error) *error = "invalid file size";
        return false;
    }
    f.seekg(0);
    std::vector<uint8_t> data(static_cast<size_t>(length));
    f.read(reinterpret_cast<char*>(data.data()), length);
    if (!f) {
        if (error) *error = "cannot read file";
        return false;
    }
    return readbmp(data, out, error, maxside);
}

// ---- Surface wrappers

int32_t requestedbits(int32_t bpp) {
    if (bpp >= 1 && bpp <= 4) return bpp * 8;
    return bpp >= 8 ? bpp : 0;
}

void tgfxwrap::setscreensize(int32_t width, int32_t height) {
    screenwidth = width;
    screenheight = height;
}

void tgfxwrap::setformat(int32_t bits, uint32_t redmask, uint32_t greenmask, uint32_t bluemask) {
    bitsperpixel = bits;
    bytesperpixel = (bits + 7) / 8;
    redwidth = int32_t(bitsof(redmask, redshift));
    greenwidth = int32_t(bitsof(greenmask, greenshift));
    bluewidth = int32_t(bitsof(bluemask, blueshift));
}

void tgfxwrapmemory::init() {
    switch (requestedbpp) {
        case 8: setformat(8, 0, 0, 0); break;
        case 16: setformat(16, 0xF800, 0x07E0, 0x001F); break;
        case 24: setformat(24, 0xFF0000, 0x00FF00, 0x0000FF); break;
        case 0:
        case 32: setformat(32, 0xFF0000, 0x00FF00, 0x0000FF); break;
        default: throw std::runtime_error("invalid bits per pixel");
    }
    if (screenwidth <= 0 || screenheight <= 0 || screenwidth > maxpicture || screenheight > maxpicture)
        throw std::runtime_error("invalid surface size");
    pitch = ((screenwidth * bytesperpixel + 3) / 4) * 4;
    surfacesize = pitch * screenheight;
    memory.assign(size_t(surfacesize), 0);
    presented.assign(size_t(surfacesize), 0);
    surface = nullptr;
    formatchanged();
}

void tgfxwrapmemory::sethwpalette(const uint32_t* palette) {
    std::copy(palette, palette + 256, hwpalette.begin());
}

void tgfxwrapmemory::setscreensize(int32_t width, int32_t height) {
    if (surface) throw std::runtime_error("calling setscreensize inside frame");
    if (width == screenwidth && height == screenheight && !memory.empty()) return;
    tgfxwrap::setscreensize(width, height);
    if (bitsperpixel) init();
}

void tgfxwrapmemory::lock() {
    if (memory.empty()) init();
    surface = memory.data();
    ++lockcount;
}

void tgfxwrapmemory::unlock() { surface = nullptr; }

void tgfxwrapmemory::present() {
    if (keeppresented) presented = memory;
    ++presentcount;
}

// ---- Outputs

void tgfxoutpalnull::setsize(int32_t w, int32_t h) {
    tgfxoutpal::setsize(w, h);
    // The renderer always writes whole 160-pixel lines.
    line.assign(size_t(std::clamp(w, 160, maxpicture)), 0);
}

tgfxoutpalwrapped::tgfxoutpalwrapped(std::unique_ptr<tgfxwrap> w) : wrapper(std::move(w)) {
    if (!wrapper) throw std::runtime_error("no surface");
    tgfxoutpalwrapped::setsize(width, height);
}

tgfxoutpalwrapped::~tgfxoutpalwrapped() {
    if (wrapper) {
        if (wrapper->locked()) wrapper->unlock();
        wrapper->onformatchange = nullptr;
    }
}

void tgfxoutpalwrapped::setsize(int32_t w, int32_t h) {
    if (inframe) throw std::runtime_error("calling setsize inside frame");
    w = std::clamp(w, 1, maxpicture);
    h = std::clamp(h, 1, maxpicture);
    tgfxoutpal::setsize(w, h);
    // The renderer always writes whole 160-pixel lines, whatever the picture width.
    linebuffer.assign(size_t(std::max(w, 160)), 0);
    // Remembering the index lines is worth it for pictures of a Game Boy screen's order.
    const bool remember = w <= 256 && h <= 256;
    lastlines.assign(remember ? size_t(w) * size_t(h) : 0, 0);
    lineconversion.assign(remember ? size_t(h) : 0, 0);
    forgetlines();
}

void tgfxoutpalwrapped::formatchangehandler(void* context) { static_cast<tgfxoutpalwrapped*>(context)->rebuildformat(); }

void tgfxoutpalwrapped::attach() {
    wrapper->onformatchange = &formatchangehandler;
    wrapper->onformatchangecontext = this;
    wrapper->init();
    rebuildformat();
}

void tgfxoutpalwrapped::rebuildformat() {
    const tgfxwrap& w = *wrapper;
    surfacebpp = w.bitsperpixel;
    fast32 = surfacebpp >= 24 && w.redshift == 16 && w.redwidth == 8 && w.greenshift == 8 && w.greenwidth == 8 &&
             w.blueshift == 0 && w.bluewidth == 8;
    fast16 = surfacebpp == 16 && w.redshift == 11 && w.redwidth == 5 && w.greenshift == 5 && w.greenwidth == 6 &&
             w.blueshift == 0 && w.bluewidth == 5;
    palettised = surfacebpp == 8;
    forgetlines();
    setpalette(0, 256);
}

void tgfxoutpalwrapped::setpalette(int first, int count) {
    if (palettised) {
        palettechanged = true;
        return;
    }
    const int from = std::max(first, 0), to = std::min(first + std::max(count, 0), 256);
    if (from < to) forgetlines();
    for (int i = from; i < to; ++i) {
        const uint32_t c = palette[i];
        if (fast32)
            colortable[i] = (c & 0xFF) << 16 | (c & 0xFF00) | ((c >> 16) & 0xFF);
        else if (fast16)
            colortable[i] = (c & 0xF8) << 8 | ((c >> 8) & 0xFC) << 3 | ((c >> 16) & 0xF8) >> 3;
        else
            colortable[i] = surfacepixel(c, *wrapper);
    }
}

bool tgfxoutpalwrapped::pictureinside() const {
    const tgfxwrap& w = *wrapper;
    return w.surface && xoffset >= 0 && yoffset >= 0 && xoffset + width <= w.screenwidth &&
           yoffset + height <= w.screenheight && w.bytesperpixel > 0;
}

void tgfxoutpalwrapped::beginframe() {
    if (inframe) endframe();
    if (palettised && palettechanged) {
        wrapper->sethwpalette(palette.data());
        palettechanged = false;
    }
    wrapper->lock();
    // A picture that does not fit the surface is not drawn rather than written out of bounds.
    picture = pictureinside() ? wrapper->surface + ptrdiff_t(wrapper->pitch) * yoffset + ptrdiff_t(wrapper->bytesperpixel) * xoffset
                              : nullptr;
    currentline = -1;
    // Lines converted before stay valid only in the same place of a surface that kept them.
    if (!wrapper->keepscontent() || picture != lastpicture || wrapper->pitch != lastpitch) forgetlines();
    lastpicture = picture;
    lastpitch = wrapper->pitch;
    inframe = true;
}

void tgfxoutpalwrapped::endframe() {
    if (!inframe) return;
    convertline();
    if (wrapper->locked()) wrapper->unlock();
    picture = nullptr;
    inframe = false;
}

void tgfxoutpalwrapped::present() { wrapper->present(); }

uint8_t* tgfxoutpalwrapped::getline(int y) {
    if (!inframe || !picture || y < 0 || y >= height) return nullptr;
    if (palettised) return width >= 160 ? picture + ptrdiff_t(wrapper->pitch) * y : nullptr;
    convertline();
    currentline = y;
    return linebuffer.data();
}

void tgfxoutpalwrapped::lineready() { convertline(); }

namespace {
// One line of palette indices into surface pixels through the colour table. Eight pixels per
// step with the table looked up by plain byte loads; the last pixels one by one. Left scalar:
// packing the looked-up words into vector registers costs more than it saves.
__attribute__((optimize("no-tree-slp-vectorize", "no-tree-vectorize"))) void convert32(uint8_t* dst, const uint8_t* src, const uint32_t* table, int n) {
    int x = 0;
    for (; x + 8 <= n; x += 8) {
        const uint32_t p0 = table[src[x]], p1 = table[src[x + 1]], p2 = table[src[x + 2]], p3 = table[src[x + 3]];
        const uint32_t p4 = table[src[x + 4]], p5 = table[src[x + 5]], p6 = table[src[x + 6]], p7 = table[src[x + 7]];
        uint8_t* d = dst + 4 * x;
        std::memcpy(d, &p0, 4);
        std::memcpy(d + 4, &p1, 4);
        std::memcpy(d + 8, &p2, 4);
        std::memcpy(d + 12, &p3, 4);
        std::memcpy(d + 16, &p4, 4);
        std::memcpy(d + 20, &p5, 4);
        std::memcpy(d + 24, &p6, 4);
        std::memcpy(d + 28, &p7, 4);
    }
    for (; x < n; ++x) std::memcpy(dst + 4 * x, &table[src[x]], 4);
}

// 24 bits: four pixels go into three 32-bit words (blue, green, red bytes, little-endian).
void convert24(uint8_t* dst, const uint8_t* src, const uint32_t* table, int n) {
    int x = 0;
    for (; x + 4 <= n; x += 4) {
        const uint32_t a = table[src[x]] & 0xFFFFFF, b = table[src[x + 1]] & 0xFFFFFF;
        const uint32_t c = table[src[x + 2]] & 0xFFFFFF, d = table[src[x + 3]] & 0xFFFFFF;
        const uint32_t w0 = a | b << 24, w1 = b >> 8 | c << 16, w2 = c >> 16 | d << 8;
        uint8_t* o = dst + 3 * x;
        std::memcpy(o, &w0, 4);
        std::memcpy(o + 4, &w1, 4);
        std::memcpy(o + 8, &w2, 4);
    }
    for (; x < n; ++x) {
        const uint32_t v = table[src[x]];
        dst[3 * x] = uint8_t(v);
        dst[3 * x + 1] = uint8_t(v >> 8);
        dst[3 * x + 2] = uint8_t(v >> 16);
    }
}

// 16 bits: pairs of pixels as one 32-bit word, eight pixels per step.
void convert16(uint8_t* dst, const uint8_t* src, const uint32_t* table, int n) {
    int x = 0;
    for (; x + 8 <= n; x += 8) {
        uint32_t w[4];
        for (int k = 0; k < 4; ++k)
            w[k] = (table[src[x + 2 * k]] & 0xFFFF) | (table[src[x + 2 * k + 1]] & 0xFFFF) << 16;
        std::memcpy(dst + 2 * x, w, 16);
    }
    for (; x < n; ++x) {
        const uint16_t v = uint16_t(table[src[x]]);
        std::memcpy(dst + 2 * x, &v, 2);
    }
}
}  // namespace

void tgfxoutpalwrapped::convertline() {
    if (currentline < 0 || !picture) {
        currentline = -1;
        return;
    }
    uint8_t* dst = picture + ptrdiff_t(wrapper->pitch) * currentline;
    const uint8_t* src = linebuffer.data();
    const uint32_t* table = colortable.data();
    const int n = width;
    if (size_t(currentline) < lineconversion.size()) {
        uint8_t* last = lastlines.data() + size_t(n) * size_t(currentline);
        if (lineconversion[size_t(currentline)] == conversion && std::memcmp(last, src, size_t(n)) == 0) {
            currentline = -1;
            return;
        }
        std::memcpy(last, src, size_t(n));
        lineconversion[size_t(currentline)] = conversion;
    }
    switch (wrapper->bytesperpixel) {
        case 4: convert32(dst, src, table, n); break;
        case 3: convert24(dst, src, table, n); break;
        case 2: convert16(dst, src, table, n); break;
        default: std::memcpy(dst, src, size_t(n)); break;
    }
    currentline = -1;
}

bool tgfxoutpalwrapped::getpicture(tbitmap& bmp) {
    const bool lockhere = !inframe;
    if (lockhere) {
        wrapper->lock();
    } else {
        convertline();
    }
    const tgfxwrap& w = *wrapper;
    bool ok = false;
    if (w.surface && xoffset >= 0 && yoffset >= 0 && xoffset + width <= w.screenwidth && yoffset + height <= w.screenheight) {
        const uint8_t* top = w.surface + ptrdiff_t(w.pitch) * yoffset + ptrdiff_t(w.bytesperpixel) * xoffset;
        const bool keep565 = fast16;
        const bool keep24 = w.bitsperpixel == 24 && w.redshift == 16 && w.blueshift == 0;
        if (palettised || keep565 || keep24) {
            ok = bmp.create(width, height, palettised ? 8 : (keep565 ? 16 : 24));
            if (ok) {
                if (palettised) bmp.palette = palette;
                const size_t rowbytes = size_t(width) * size_t(w.bytesperpixel);
                for (int y = 0; y < height; ++y) std::memcpy(bmp.row(y), top + ptrdiff_t(w.pitch) * y, rowbytes);
            }
        } else {
            ok = bmp.create(width, height, 24);
            for (int y = 0; ok && y < height; ++y) {
                const uint8_t* src = top + ptrdiff_t(w.pitch) * y;
                for (int x = 0; x < width; ++x) {
                    uint32_t v = 0;
                    std::memcpy(&v, src + w.bytesperpixel * x, size_t(std::min(w.bytesperpixel, 4)));
                    auto ch = [&](int32_t shift, int32_t width_) {
                        const uint32_t mask = width_ >= 32 ? ~0u : (1u << width_) - 1;
                        return widen((v >> shift) & mask, width_);
                    };
                    bmp.setpixel(x, y, ch(w.redshift, w.redwidth) | ch(w.greenshift, w.greenwidth) << 8 |
                                           ch(w.blueshift, w.bluewidth) << 16);
                }
            }
        }
    }
    if (lockhere) wrapper->unlock();
    return ok;
}

tbitmap composeborder(const tbitmap& picture, const tbitmap& border, int32_t x, int32_t y) {
    tbitmap out;
    if (!out.create(border.width, border.height, 24)) return out;
    for (int32_t j = 0; j < border.height; ++j)
        for (int32_t i = 0; i < border.width; ++i) out.setpixel(i, j, border.pixel(i, j));
    for (int32_t j = 0; j < picture.height; ++j)
        for (int32_t i = 0; i < picture.width; ++i) out.setpixel(x + i, y + j, picture.pixel(i, j));
    return out;
}

}  // namespace tov
