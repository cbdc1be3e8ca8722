// Shared pieces of the fuzz targets: a scratch folder of this process for the targets that
// read their input from a file (as the program does), and whole-file writes into it.
#pragma once
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace tov::fuzz {

// A folder only this process uses, in memory when /dev/shm exists (the targets write a file
// per input), removed at exit. Parallel fuzzer jobs each get their own.
inline const std::string& scratchfolder() {
    static const std::string folder = [] {
        std::error_code error;
        std::filesystem::path base = std::filesystem::is_directory("/dev/shm", error)
                                         ? std::filesystem::path("/dev/shm")
                                         : std::filesystem::temp_directory_path();
        std::filesystem::path dir = base / ("tov-fuzz-" + std::to_string(getpid()));
        std::filesystem::create_directories(dir, error);
        static const std::string removed = dir.string();
        std::atexit([] {
            std::error_code e;
            std::filesystem::remove_all(removed, e);
        });
        return dir.string();
    }();
    return folder;
}

inline std::string scratchpath(const std::string& name) { return scratchfolder() + "/" + name; }

// Replaces `path` with `size` bytes; aborts when the scratch folder cannot take them (the
// target would otherwise test nothing).
inline void writewhole(const std::string& path, const uint8_t* data, size_t size) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f || (size && std::fwrite(data, 1, size, f) != size) || std::fclose(f) != 0) {
        std::perror(path.c_str());
        std::abort();
    }
}

inline void removefile(const std::string& path) {
    std::error_code error;
    std::filesystem::remove(path, error);
}

}  // namespace tov::fuzz
