#include "frontend/controldialog.h"

#include <algorithm>
#include <cmath>

namespace tov {

std::string speedtext(double factor) {
    if (factor == 1.0) return "0";
    return formatfloat(factor * normalfps, 1, 4);
}

double speedfromtext(const std::string& text) {
    double fps = 0;
    if (!parsefloat(text, fps)) return 1.0;
    double factor = fps * 4389.0 / 262144.0;
    return factor > 0 && std::isfinite(factor) ? factor : 1.0;
}

int gammatrack(double gamma) { return std::clamp(int(std::lround(gamma * 10)), 0, gammatrackmax); }
double gammafromtrack(int position) { return position / 10.0; }
int saturationtrack(double saturation) {
    return std::clamp(int(std::lround(saturation * saturationtrackmax)), 0, saturationtrackmax);
}
double saturationfromtrack(int position) { return double(position) / saturationtrackmax; }

int samplerateindex(int32_t rate) {
    for (size_t i = 0; i < samplerates.size(); i++)
        if (samplerates[i] == rate) return int(i);
    return 4;  // 44100
}

void tcontroldialog::fill(const tsettings& stored) {
    values = stored;
    speed = speedtext(stored.Speed);
    gamma = gammatrack(stored.Gamma);
    saturation = saturationtrack(stored.ColorSaturation);
    samplerate = samplerateindex(stored.Samplerate);
    values.Volume = std::clamp(values.Volume, 0, 100);
}

void tcontroldialog::apply(tsettings& stored) const {
    auto recent = stored.recent;
    stored = values;
    stored.recent = recent;
    stored.Speed = speedfromtext(speed);
    stored.Gamma = gammafromtrack(gamma);
    stored.ColorSaturation = saturationfromtrack(saturation);
    stored.Samplerate = samplerates[std::clamp(samplerate, 0, int(samplerates.size()) - 1)];
    stored.Volume = std::clamp(stored.Volume, 0, 100);
}

void tcontroldialog::defaults() {
    tsettings d;
    d.colorschemes = values.colorschemes;
    setdefaults(d);
    d.recent = values.recent;
    fill(d);
}

}  // namespace tov
