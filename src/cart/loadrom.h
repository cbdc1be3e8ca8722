// Reading ROM files (plain, zip, gzip), the header checks and the choice of mapper, the
// battery base path and the ROM information text.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "cart/cart.h"
#include "core/hostclock.h"

namespace tov {

struct tcartoptions;

// Largest uncompressed size an archive may announce. Plain images stop at 8 MiB; the
// margin admits images with a copier header or padding.
constexpr uint32_t maxunpackedsize = 8 * 1024 * 1024 + 64 * 1024;

// Reads the ROM file at `path` and builds its cartridge through makecart. On failure
// returns null. `message` receives the warnings and errors, one per line, joined by CR LF
// (empty when there was nothing to say).
std::unique_ptr<tcart> loadromfile(const std::string& path, const tcartoptions& options, std::string& message,
                                   thostclock& clock = realclock());

// Checks the header of `bytes` and builds the cartridge that owns them. The cartridge keeps
// a pointer to `options`, which must outlive it; `CartMode` 1 chooses the compatibility
// mappers (the caller also switches the effective `EmulateSramD` off, see tsession).
// Null on failure, with `message` saying why.
std::unique_ptr<tcart> makecart(std::vector<uint8_t> bytes, const tcartoptions& options, std::string& message,
                                thostclock& clock = realclock());

// RAM size in bytes from the code at 0x149; -1 for an unknown code or a too short image.
int32_t ramsizefromheader(const uint8_t* bytes, size_t size);

// Unpacks the ROM image from a zip or gzip file held in `archive`. False when no ROM entry
// exists or the data is damaged.
bool unpackarchive(const std::vector<uint8_t>& archive, std::vector<uint8_t>& rom);

// The path of the battery files without extension: beside the ROM, or in `saveramdir`
// when that is set. Relative results are taken against `programdir`.
std::string batterybasepath(const std::string& rompath, const std::string& saveramdir,
                            const std::string& programdir);

// The text of the ROM information box for the loaded cartridge.
std::string rominfotext(const tcart& cart, const std::string& rompath);

}  // namespace tov
