// Writes the demo cartridge: mkdemo OUTPUT.gb
#include <cstdio>
#include <fstream>
#include <string>

#include "demorom.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: mkdemo OUTPUT.gb\n");
        return 2;
    }
    std::string error;
    std::vector<uint8_t> rom = tov::demo::buildrom(error);
    if (rom.empty()) {
        std::fprintf(stderr, "mkdemo: %s\n", error.c_str());
        return 1;
    }
    std::ofstream f(argv[1], std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(rom.data()), std::streamsize(rom.size()));
    f.close();
    if (!f) {
        std::fprintf(stderr, "mkdemo: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
