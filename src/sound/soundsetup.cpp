#include "sound/soundsetup.h"

#include <algorithm>


namespace tov {

void configureoutput(Tsoundoutput& out, int samplerate, bool bits8, int soundbufsize) {
    // Broken values from a hand-edited settings file fall back to the defaults rather
    // than dividing by zero.
    if (samplerate <= 0) samplerate = 44100;
    if (soundbufsize <= 0) soundbufsize = 42;
    out.setformat(samplerate, bits8 ? 1 : 2, 2);
    out.setpagecount(4);
    out.setpagesize(std::max(1, samplerate / soundbufsize));
}

bool tsoundsetup::start(tgbsoundtov& unit, tsoundoptions& s) {
    unit.stopoutput();
    std::unique_ptr<Tsoundoutput> device;
    std::unique_ptr<Tsoundoutputdiskwav> wav;
    std::string text, wavname;
    try {
        if (s.WaveOut && createdevice) device = createdevice(s.DSound && !preferredfailed);
        if (s.WavFileOut) {
            wavname = resolvepath ? resolvepath(s.WavFilename) : s.WavFilename;
            wav = std::make_unique<Tsoundoutputdiskwav>(wavname);
            wav->continuefile = std::find(recorded.begin(), recorded.end(), wavname) != recorded.end();
        }
        std::unique_ptr<Tsoundoutput> out;
        if (device && wav) {
            auto group = std::make_unique<tsoundoutputgroup>();
            group->add(std::move(device));
            group->add(std::move(wav));
            out = std::move(group);
        } else {
            if (device)
                out = std::move(device);
            else
                out = std::move(wav);
        }
        if (!out) return false;
        configureoutput(*out, s.Samplerate, s.Bits8, s.SoundBufSize);
        unit.setsqwave(s.SQWave);
        unit.setspeedfactor(s.Pitch ? s.Speed : 1.0);
        unit.setoutput(std::move(out));
        unit.restartoutput();
        preferredfailed = false;
        if (!wavname.empty() && std::find(recorded.begin(), recorded.end(), wavname) == recorded.end())
            recorded.push_back(wavname);
        return true;
    } catch (const tsounderror& e) {
        text = std::string("sound output: ") + e.what();
    }
    unit.stopoutput();
    if (s.DSound && !preferredfailed) {
        preferredfailed = true;
        if (s.DSoundWarning && messagebox) messagebox(text, "error2");
        return start(unit, s);
    }
    s.WaveOut = false;
    s.WavFileOut = false;
    if (soundoff) soundoff();
    if (messagebox) messagebox(text, "error");
    return false;
}

Tsoundoutputdiskwav* wavwriterof(Tsoundoutput* out) {
    if (auto* w = dynamic_cast<Tsoundoutputdiskwav*>(out)) return w;
    if (auto* g = dynamic_cast<tsoundoutputgroup*>(out))
        for (size_t i = 0; i < g->size(); i++)
            if (auto* w = dynamic_cast<Tsoundoutputdiskwav*>(g->member(i))) return w;
    return nullptr;
}

bool tsoundsetup::checkrecording(tgbsoundtov& unit, tsoundoptions& s) {
    Tsoundoutputdiskwav* w = wavwriterof(unit.output());
    if (!w || !w->writefailed() || w->errorreported) return false;
    w->errorreported = true;
    s.WavFileOut = false;
    if (recordingoff) recordingoff();
    if (messagebox) messagebox("sound output: " + w->writeerror(), "error");
    return true;
}

std::string startwavrecording(tgbsoundtov& unit, const std::string& filename, int samplerate,
                              bool bits8, int soundbufsize) {
    unit.stopoutput();
    auto wav = std::make_unique<Tsoundoutputdiskwav>(filename);
    configureoutput(*wav, samplerate, bits8, soundbufsize);
    unit.setoutput(std::move(wav));
    try {
        unit.restartoutput();
    } catch (const tsounderror& e) {
        unit.stopoutput();
        return std::string("sound output: ") + e.what();
    }
    return "";
}

}  // namespace tov
