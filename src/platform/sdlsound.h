// Sound device output through SDL2's audio queue. Pull delivery without a callback
// thread: service(), called on the main thread once per pass of the frame loop and in
// every waiting pass, asks the sound unit for every page that has left the queue, so
// at most `pagecount` pages are queued and the page being played is never touched.
#pragma once
#include <cstdint>
#include <memory>

#include "sound/soundoutput.h"

namespace tov {

class tsoundoutputsdl : public Tsoundoutput {
public:
    ~tsoundoutputsdl() override;

    bool pull() override { return true; }
    void writepage(const uint8_t* frames) override;
    void init() override;
    void shutdown() override;
    void service() override;

    // Pages currently waiting in the device queue (whole or partly played).
    int queuedpages() const;

private:
    uint32_t device = 0;
    bool subsystem = false;
};

// The factory the sound start-up uses for the device output.
std::unique_ptr<Tsoundoutput> createsdlsoundoutput(bool preferred);

}  // namespace tov
