// The options dialog's values and conversions, without the window: the dialog works on a copy
// of the stored settings and writes it back on Apply.
#pragma once
#include <array>
#include <cstdint>
#include <string>

#include "frontend/settings.h"

namespace tov {

// Frames per second at speed factor 1.0 (4194304 / 70224).
constexpr double normalfps = 59.727500569605832762;

// `Speed` as the dialog shows it: frames per second "0.0###", exactly "0" for the factor 1.0.
std::string speedtext(double factor);
// The typed frames per second back to a factor; a parse error or a result not above 0 gives 1.0.
double speedfromtext(const std::string& text);

constexpr int gammatrackmax = 50;        // Trackgamma: position / 10
constexpr int saturationtrackmax = 100;  // Trackcolorsaturation: position / maximum
int gammatrack(double gamma);
double gammafromtrack(int position);
int saturationtrack(double saturation);
double saturationfromtrack(int position);

// Sample rates offered; any other stored rate shows as 44100.
constexpr std::array<int32_t, 6> samplerates = {11025, 16000, 22050, 32000, 44100, 48000};
int samplerateindex(int32_t rate);

// The dialog's working values.
struct tcontroldialog {
    tsettings values;         // options, input map, joystick numbers, colours, schemes
    std::string speed;        // editspeed
    int gamma = 22;           // Trackgamma position
    int saturation = 85;      // Trackcolorsaturation position
    int samplerate = 4;       // index into samplerates
    int colorgroup = 0;       // 0 all, 1 BG, 2 WIN, 3 OBP0, 4 OBP1
    int player = 0;           // Combojoynum

    // Fills the dialog from the stored copy.
    void fill(const tsettings& stored);
    // Apply: the dialog's values into the stored copy. The recent list is not the dialog's and
    // stays as it is.
    void apply(tsettings& stored) const;
    // Button1 after the user said yes: defaults, shown in the dialog (not yet applied).
    void defaults();
};

}  // namespace tov
