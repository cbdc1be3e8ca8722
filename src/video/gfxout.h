// Picture output: the renderer writes one palette index per pixel into lines handed out here;
// the output turns them into pixels of a surface (through a colour table built from the
// 256-entry palette), takes screenshots and places the picture inside a border.
#pragma once
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace tov {

// A picture in memory, rows top-down, each row padded to 4 bytes (the BMP row rule).
// 8 bits: palette indices into `palette` (0x00BBGGRR); 16 bits: 5-6-5 words (red at bit 11);
// 24 bits: bytes blue, green, red; 32 bits: 0x00RRGGBB words (blue in the first byte).
struct tbitmap {
    int32_t width = 0;
    int32_t height = 0;
    int32_t bitsperpixel = 0;
    int32_t stride = 0;
    std::vector<uint8_t> pixels;
    std::array<uint32_t, 256> palette{};

    // Allocates a zeroed picture; false for sizes or depths it cannot hold.
    bool create(int32_t w, int32_t h, int32_t bits);
    uint8_t* row(int32_t y) { return pixels.data() + size_t(stride) * size_t(y); }
    const uint8_t* row(int32_t y) const { return pixels.data() + size_t(stride) * size_t(y); }
    // The colour of one pixel as 0x00BBGGRR (5- and 6-bit channels widened to 8 bits).
    uint32_t pixel(int32_t x, int32_t y) const;
    // Sets one pixel of a 24- or 32-bit picture from 0x00BBGGRR.
    void setpixel(int32_t x, int32_t y, uint32_t bgr);
};

// Picture files. BMP keeps 8, 16 (5-6-5 bit fields), 24 and 32 bits; PNG is written as
// 8-bit RGB (or with its palette for 8-bit pictures). Both return false on any failure.
bool writebmp(const tbitmap& bitmap, const std::string& filename);
bool writepng(const tbitmap& bitmap, const std::string& filename);
// PNG when the name ends in ".png" (any case), BMP otherwise.
bool writepicture(const tbitmap& bitmap, const std::string& filename);
// Reads an uncompressed or bit-field BMP (1, 4, 8, 16, 24 or 32 bits, either row order)
// into a 32-bit picture. False, with `error` set, for anything it cannot read safely, and
// for pictures wider or higher than `maxside` (refused from the header, before any pixel is
// read or allocated; 0: the largest picture this program makes, 16384).
bool readbmp(const std::vector<uint8_t>& file, tbitmap& out, std::string* error = nullptr, int32_t maxside = 0);
// The same from a file; a file larger than a `maxside` picture can need is not read.
bool loadbmpfile(const std::string& filename, tbitmap& out, std::string* error = nullptr, int32_t maxside = 0);

// The surface depth asked for by the `bpp` setting: 1-4 give 8, 16, 24 and 32 bits, values
// of 8 and more are bits already, anything else is 0 (automatic).
int32_t requestedbits(int32_t bpp);

using tformatchange = void (*)(void* context);

// The surface wrapper: owns a platform surface the output writes pixels into.
class tgfxwrap {
public:
    int32_t requestedbpp = 0;      // 0 = automatic
    uint8_t* surface = nullptr;    // surface memory while locked
    int32_t pitch = 0;             // bytes from one row to the next (may be negative)
    int32_t surfacesize = 0;       // bytes
    int32_t bitsperpixel = 0;
    int32_t bytesperpixel = 0;     // (bits + 7) / 8
    int32_t redshift = 0, redwidth = 0;
    int32_t greenshift = 0, greenwidth = 0;
    int32_t blueshift = 0, bluewidth = 0;
    int32_t screenwidth = 160, screenheight = 144;
    tformatchange onformatchange = nullptr;  // after the surface was (re)created
    void* onformatchangecontext = nullptr;

    tgfxwrap() = default;
    tgfxwrap(const tgfxwrap&) = delete;
    tgfxwrap& operator=(const tgfxwrap&) = delete;
    virtual ~tgfxwrap() = default;

    virtual void init() = 0;                                     // create the surfaces
    virtual int buffercount() { return 1; }
    virtual void sethwpalette(const uint32_t* palette) {}        // 256 entries, 0x00BBGGRR
    virtual bool waitvblank() { return false; }
    virtual void setscreensize(int32_t width, int32_t height);   // outside a frame only
    virtual void lock() = 0;
    virtual void unlock() = 0;
    virtual void present() = 0;
    // True when the surface memory keeps what was written into it from one lock to the next
    // and nothing else writes there: the output may then leave unchanged lines alone.
    virtual bool keepscontent() const { return false; }

    // Fills bytes per pixel from bits and the channel fields from three masks.
    void setformat(int32_t bits, uint32_t redmask, uint32_t greenmask, uint32_t bluemask);
    bool locked() const { return surface != nullptr; }

protected:
    void formatchanged() {
        if (onformatchange) onformatchange(onformatchangecontext);
    }
};

// A surface in plain memory, used by the headless runner and the tests. 32 bits are
// 0x00RRGGBB words, 24 bits blue-green-red bytes, 16 bits 5-6-5, 8 bits palettised.
class tgfxwrapmemory : public tgfxwrap {
public:
    std::vector<uint8_t> memory;     // the surface
    std::vector<uint8_t> presented;  // copy of the surface at the last `present`
    // Off: `present` only counts, and readers take the finished frame from `memory`
    // between frames (saves copying the whole surface every frame).
    bool keeppresented = true;
    std::array<uint32_t, 256> hwpalette{};
    int32_t presentcount = 0;
    int32_t lockcount = 0;

    explicit tgfxwrapmemory(int32_t bits = 32) { requestedbpp = bits; }
    void init() override;
    void sethwpalette(const uint32_t* palette) override;
    void setscreensize(int32_t width, int32_t height) override;
    void lock() override;
    void unlock() override;
    void present() override;
    bool keepscontent() const override { return true; }
};

// The picture output the renderer talks to. The base keeps palette and frame brackets only.
class tgfxoutpal {
public:
    int32_t width = 160;
    int32_t height = 144;
    std::array<uint32_t, 256> palette{};  // 0x00BBGGRR
    bool inframe = false;

    tgfxoutpal() = default;
    tgfxoutpal(const tgfxoutpal&) = delete;
    tgfxoutpal& operator=(const tgfxoutpal&) = delete;
    virtual ~tgfxoutpal() = default;

    virtual bool getpicture(tbitmap& bitmap) { return false; }
    virtual void setpalette(int first, int count) {}
    virtual bool waitvblank() { return false; }
    virtual void attach() {}
    virtual int linebits() { return 0; }
    virtual void setsize(int32_t w, int32_t h) { width = w; height = h; }
    virtual void beginframe() { inframe = true; }
    virtual void endframe() { inframe = false; }
    virtual void present() {}
    virtual uint8_t* getline(int y) { return nullptr; }
    virtual void lineready() {}
};

// Discards the picture: every line is the same scratch buffer.
class tgfxoutpalnull : public tgfxoutpal {
public:
    tgfxoutpalnull() { setsize(160, 144); }
    int linebits() override { return 8; }
    void setsize(int32_t w, int32_t h) override;
    uint8_t* getline(int y) override { return line.empty() ? nullptr : line.data(); }

private:
    std::vector<uint8_t> line;
};

// Converts the renderer's lines into a surface through a colour table.
class tgfxoutpalwrapped : public tgfxoutpal {
public:
    explicit tgfxoutpalwrapped(std::unique_ptr<tgfxwrap> wrapper);
    ~tgfxoutpalwrapped() override;

    tgfxwrap& wrap() { return *wrapper; }
    const std::array<uint32_t, 256>& surfacecolors() const { return colortable; }

    // Where the picture's top-left pixel lies inside the surface (border placement).
    int32_t xoffset = 0;
    int32_t yoffset = 0;

    bool getpicture(tbitmap& bitmap) override;
    void setpalette(int first, int count) override;
    bool waitvblank() override { return wrapper->waitvblank(); }
    void attach() override;
    int linebits() override { return 8; }
    void setsize(int32_t w, int32_t h) override;
    void beginframe() override;
    void endframe() override;
    void present() override;
    uint8_t* getline(int y) override;
    void lineready() override;

protected:
    static void formatchangehandler(void* context);
    void rebuildformat();
    void convertline();
    bool pictureinside() const;
    // Forgets which surface lines are known to hold the converted index lines.
    void forgetlines() { ++conversion; }

    std::unique_ptr<tgfxwrap> wrapper;
    int32_t surfacebpp = 0;
    int32_t currentline = -1;
    uint8_t* picture = nullptr;  // top-left pixel of the picture while a frame is open
    std::vector<uint8_t> linebuffer;
    std::array<uint32_t, 256> colortable{};
    bool fast32 = false;
    bool fast16 = false;
    bool palettised = false;
    bool palettechanged = false;
    // Unchanged lines: on a surface that keeps its content, the index line last converted
    // into each surface line, and the conversion (`conversion` count) it was converted with.
    // A line whose indices and colour table are the same again is not converted again.
    std::vector<uint8_t> lastlines;
    std::vector<uint64_t> lineconversion;
    uint64_t conversion = 1;
    const uint8_t* lastpicture = nullptr;
    int32_t lastpitch = 0;
};

// The picture of an output with a border around it: a 24-bit copy of `border` with the
// picture placed at (x, y), clipped to the border.
tbitmap composeborder(const tbitmap& picture, const tbitmap& border, int32_t x, int32_t y);

}  // namespace tov
