// The sound unit: NR10-NR52, wave RAM, the frame sequencer and channel state.
// This base class keeps the register semantics and produces no samples.
#pragma once
#include <cstdint>

namespace tov {

class tgbsound {
public:
    int32_t pending = 0;      // sound ticks (2^21 per second) elapsed and not yet rendered
    bool silencemode = false; // cleared by the frame loop before every frame

    virtual ~tgbsound() = default;

    void soundwrite(uint8_t reg, uint8_t value);  // reg = low byte of the address, 0x10-0x26
    uint8_t soundread(uint8_t reg);
    void wavewrite(int index, uint8_t value);     // index = address & 0x0F
    uint8_t waveread(int index);
    void framestep();                              // 256 Hz frame-sequencer step
    void soundreset(bool gbchardware, bool sgb);
    void setpower(bool on);

    virtual void restartoutput() {}
    virtual void renderpending() {}
    virtual void trigger(int channel);
};

}  // namespace tov
