// Saving and loading the state of a GBC game (MBC5 with 32 KiB of RAM, renderer drawing
// into a memory picture, synthesiser): the file image alone and through a state file.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "frontend/savestates.h"
#include "frontend/session.h"
#include "frontend/settings.h"
#include "support/testrom.h"

namespace {

using namespace tov;

struct tgbcgame {
    tsettings settings;
    std::unique_ptr<tsession> session;
    std::unique_ptr<tsavestates> states;
    std::string folder;

    tgbcgame() {
        folder = (std::filesystem::temp_directory_path() / ("tov-state-bench-" + std::to_string(::getpid()))).string();
        std::filesystem::create_directories(folder);
        testing::tromimage image;
        image.entry().type(0x1B).ramsizecode(3).colour(0x80);
        // Enables RAM, switches the LCD on and counts into VRAM, WRAM and cartridge RAM.
        image.code(0x150, {0x3E, 0x0A, 0xEA, 0x00, 0x00, 0x3E, 0x91, 0xE0, 0x40, 0x21, 0x00, 0xA0, 0x3C,
                           0x77, 0xEA, 0x00, 0xC1, 0xEA, 0x10, 0x80, 0x18, 0xF7});
        const std::string rom = folder + "/game.gbc";
        std::vector<uint8_t> bytes = image.finished();
        std::ofstream(rom, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        setdefaults(settings);
        settings.SystemMode = 1;
        tsessionparts parts;
        parts.memorypicture = true;
        session = std::make_unique<tsession>(settings, "", parts);
        states = std::make_unique<tsavestates>(*session);
        std::string message;
        session->loadrom(rom, true, message);
        for (int i = 0; i < 60; i++) session->runframe(true);
    }
    ~tgbcgame() {
        states.reset();
        session.reset();
        std::filesystem::remove_all(folder);
    }
};

void BM_SaveGbcStateImage(benchmark::State& st) {
    tgbcgame g;
    for (auto _ : st) benchmark::DoNotOptimize(g.states->statebytes());
}
BENCHMARK(BM_SaveGbcStateImage)->Unit(benchmark::kMicrosecond);

void BM_LoadGbcStateImage(benchmark::State& st) {
    tgbcgame g;
    const std::vector<uint8_t> image = g.states->statebytes();
    st.counters["bytes"] = double(image.size());
    for (auto _ : st) g.states->loadstatebytes(image, "");
}
BENCHMARK(BM_LoadGbcStateImage)->Unit(benchmark::kMicrosecond);

void BM_SaveGbcStateFile(benchmark::State& st) {
    tgbcgame g;
    const std::string file = g.folder + "/game.sn1";
    for (auto _ : st) g.states->savestate(file);
}
BENCHMARK(BM_SaveGbcStateFile)->Unit(benchmark::kMicrosecond);

void BM_LoadGbcStateFile(benchmark::State& st) {
    tgbcgame g;
    const std::string file = g.folder + "/game.sn1";
    g.states->savestate(file);
    for (auto _ : st) g.states->loadstate(file);
}
BENCHMARK(BM_LoadGbcStateFile)->Unit(benchmark::kMicrosecond);

}  // namespace
