// Shared pieces of the fuzz targets: the session most of them run, a scratch folder of this
// process for the targets that read their input from a file (as the program does), and
// whole-file writes into it.
#pragma once
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "frontend/session.h"
#include "frontend/settings.h"

namespace tov::fuzz {

// What a target's session builds: the real renderer drawing into a memory picture with the
// sound unit, or the machine alone (the built-in renderer, sound registers only).
enum class tparts { picture, machineonly };

// A session built as the program builds it, from the default settings; `systemmode` is the
// `SystemMode` (`keepmode`: the default's). The session reads the settings at every load, so
// a target may still change them before its first one.
struct tsessionharness {
    static constexpr int keepmode = -1;
    tsettings settings;
    std::unique_ptr<tsession> session;

    explicit tsessionharness(tparts parts, int systemmode = keepmode) {
        setdefaults(settings);
        if (systemmode != keepmode) settings.SystemMode = systemmode;
        tsessionparts p;
        p.memorypicture = parts == tparts::picture;
        p.renderer = p.synthesiser = parts == tparts::picture;
        session = std::make_unique<tsession>(settings, "", p);
    }
    // Battery files neither read nor written: one input must not see the last one's save.
    void nobatteryfiles() { settings.SaveRamDir = "/nonexistent/tov-fuzz"; }
};

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
