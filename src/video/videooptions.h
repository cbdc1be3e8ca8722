// What the video block reads of the settings, named by the option keys. The front end
// fills it from the working settings on start-up and after every Apply.
#pragma once
#include <array>
#include <cstdint>
#include <string>

namespace tov {

struct tvideooptions {
    double Gamma = 2.2;
    double ColorSaturation = 0.85;
    int32_t ColorWhitepoint = 0xFFFFFF;
    std::string ReflectorColor;  // 6 hex digits; empty or invalid = colour 0
    bool LCDcolors = true;
    bool SGBnocolors = false;
    bool SpriteLimit = true;
    bool DebugScreen = false;     // the picture sits inside the debugger: no border
    int32_t Border = 1;
    std::string Background = "backgrnd.bmp";  // border bitmap file
    std::string BackgroundGBC;    // border bitmap file for GBC games
    // BG 0-3, WIN 4-7, OBP0 8-11, OBP1 12-15; 0x00BBGGRR.
    std::array<uint32_t, 16> colors{0xD0F8E0, 0x70C088, 0x506830, 0x201808, 0xD0F8E0, 0x70C088,
                                    0x506830, 0x201808, 0xD0F8E0, 0x70C088, 0x506830, 0x201808,
                                    0xD0F8E0, 0x70C088, 0x506830, 0x201808};
    bool operator==(const tvideooptions&) const = default;
};

}  // namespace tov
