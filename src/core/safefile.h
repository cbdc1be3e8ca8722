// The one routine that replaces a file the player cannot afford to lose (battery RAM, the
// cartridge clock, "tov.ini").
#pragma once
#include <cstddef>
#include <string>

namespace tov {

// Writes `size` bytes to a new file beside `path` (`path` + ".tmp"), flushes it to the disk
// and renames it over `path`, so that a crash, a kill or a full disk at any moment leaves
// either the previous file or the new one, whole. False when the file could not be
// replaced; `path` then holds what it held before and the new file is removed.
bool replacefile(const std::string& path, const void* data, size_t size);

}  // namespace tov
