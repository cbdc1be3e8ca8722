// Sound device output through SDL2's audio queue. Pull delivery without a callback
// thread: service(), called on the main thread once per pass of the frame loop and in
// every waiting pass, takes the sound unit's ready pages and converts them to the
// device's pace on the way into the queue (tsoundoutputqueued); queued data is never
// touched again.
#pragma once
#include <cstdint>
#include <memory>

#include "sound/queuedoutput.h"

namespace tov {

class tsoundoutputsdl : public tsoundoutputqueued {
public:
    ~tsoundoutputsdl() override;

    void init() override;
    void shutdown() override;

protected:
    int64_t queuedframes() override;
    void queueframes(const uint8_t* data, int frames) override;

private:
    uint32_t device = 0;
    bool subsystem = false;
};

// The factory the sound start-up uses for the device output.
std::unique_ptr<Tsoundoutput> createsdlsoundoutput(bool preferred);

}  // namespace tov
