// Starting sound from the options: which outputs to create, their format and page
// geometry, and the fall-back when a device fails. The message boxes, the saving of
// the options and the device itself belong to the desktop program and are given here
// as callbacks, so the emulation library stays free of any windowing code.
#pragma once
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "sound/gbsoundtov.h"
#include "sound/soundoutput.h"

namespace tov {

// What the sound block reads of the settings, named by the option keys.
struct tsoundoptions {
    bool WaveOut = true;          // sound to the device
    bool WavFileOut = false;      // sound also to a WAV file
    int32_t Samplerate = 44100;
    bool Bits8 = false;           // "8Bits"
    std::string WavFilename = "gbsound.wav";
    int32_t Volume = 90;
    bool Pitch = false;           // the pitch follows `Speed`
    double Speed = 1.0;
    int32_t SoundBufSize = 42;
    bool SQWave = false;
    bool DSound = true;           // the preferred device first
    bool DSoundWarning = false;
    bool operator==(const tsoundoptions&) const = default;
};

class tsoundsetup {
public:
    // Creates the sound device output. preferred: the first choice of device (option
    // `DSound` with no failure recorded); false asks for the plainer fall-back device.
    // May return nullptr when there is no device at all.
    std::function<std::unique_ptr<Tsoundoutput>(bool preferred)> createdevice;
    // Shows a message box: text and title ("error2" or "error").
    std::function<void(const std::string& text, const std::string& title)> messagebox;
    // Sound failed on every device: the front end switches `WaveOut` and `WavFileOut` off
    // in its settings and writes them (start has already switched them off in its view).
    std::function<void()> soundoff;
    // Resolves a file option against the program's folder (identity when unset).
    std::function<std::string(const std::string&)> resolvepath;
    // Recording failed while it ran: the front end switches `WavFileOut` off in its
    // settings and writes them (checkrecording has already switched it off in its view).
    std::function<void()> recordingoff;

    // A failure of the preferred device since the last successful start.
    bool preferredfailed = false;

    // (Re)starts sound on `unit` from the options. Returns true when sound runs (the
    // check mark of `mnusound`). On failure reports "sound output: " + the output's
    // message, and either retries with the fall-back device or switches sound off.
    // A WAV file named here for the first time in this run is started anew; a name
    // recorded to before in this run is continued, so pausing, Apply or the sound switch
    // keep what was recorded.
    bool start(tgbsoundtov& unit, tsoundoptions& options);

    // Called once per pass of the frame loop: a WAV write error of the running output is
    // reported once ("sound output: failed to write file ..." under "error") and ends
    // the recording (`WavFileOut` off); the device, if any, plays on. Returns true when
    // it reported one.
    bool checkrecording(tgbsoundtov& unit, tsoundoptions& options);

    // The WAV files recorded to in this run (resolved names).
    const std::vector<std::string>& recordedfiles() const { return recorded; }

private:
    std::vector<std::string> recorded;
};

// The WAV writer among an output (itself, or a member of a group); nullptr when none.
Tsoundoutputdiskwav* wavwriterof(Tsoundoutput* out);

// Applies the sound system's fixed configuration to an output: rate `Samplerate`,
// 2 channels, 8- or 16-bit by `8Bits`, 4 pages of `Samplerate` / `SoundBufSize` frames.
void configureoutput(Tsoundoutput& out, int samplerate, bool bits8, int soundbufsize);

// For the headless runner: records the sound of the run to a WAV file (the WAV writer
// alone, a push output: pages are written as fast as the emulation produces them).
// Returns "" on success, else the error text ("sound output: failed to open file ...").
// Call unit.stopoutput() at the end of the run to finish the file's header.
std::string startwavrecording(tgbsoundtov& unit, const std::string& filename,
                              int samplerate = 44100, bool bits8 = false, int soundbufsize = 42);

}  // namespace tov
