#include "platform/sdlsound.h"

#include <SDL.h>

#include <string>

namespace tov {

tsoundoutputsdl::~tsoundoutputsdl() {
    if (initialised) shutdown();
}

void tsoundoutputsdl::init() {
    Tsoundoutput::init();
    // The ring is indexed with a mask: the page count must be a power of two.
    if (pagecount < 1 || pageframes < 1 || (pagecount & (pagecount - 1)) != 0)
        fail("wrong number of pages or wrong page size");
    if (bytespersample != 1 && bytespersample != 2) fail("wrong sample size");
    if (channels != 1 && channels != 2) fail("wrong number of channels");
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0)
        fail(std::string("SDL_InitSubSystem failed: ") + SDL_GetError());
    subsystem = true;
    SDL_AudioSpec want{}, have{};
    want.freq = samplerate;
    want.format = bytespersample == 1 ? AUDIO_U8 : AUDIO_S16LSB;
    want.channels = uint8_t(channels);
    // The device's own buffer: the largest power of two within one page.
    uint16_t frames = 1;
    while (frames * 2 <= pageframes && frames < 0x4000) frames = uint16_t(frames * 2);
    want.samples = frames;
    want.callback = nullptr;  // queue mode: pages are pushed from the main thread
    device = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
    if (device == 0) fail(std::string("SDL_OpenAudioDevice failed: ") + SDL_GetError());
    pagebytes = pageframes * channels * bytespersample;
    pageswritten = 0;
    SDL_PauseAudioDevice(device, 0);
}

void tsoundoutputsdl::shutdown() {
    if (device) {
        SDL_CloseAudioDevice(device);
        device = 0;
    }
    if (subsystem) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        subsystem = false;
    }
    Tsoundoutput::shutdown();
}

void tsoundoutputsdl::writepage(const uint8_t* frames) {
    if (!device || !frames) return;
    // A failing queue after init is ignored, like a failing device write.
    SDL_QueueAudio(device, frames, uint32_t(pagebytes));
    pageswritten++;
}

int tsoundoutputsdl::queuedpages() const {
    if (!device || pagebytes <= 0) return 0;
    uint32_t queued = SDL_GetQueuedAudioSize(device);
    return int((queued + uint32_t(pagebytes) - 1) / uint32_t(pagebytes));
}

void tsoundoutputsdl::service() {
    if (!initialised || !device || !pagecallback) return;
    int free = pagecount - queuedpages();
    // Refill every page that has been played, in ring order.
    for (int i = 0; i < free && i < pagecount; i++) pagecallback();
}

std::unique_ptr<Tsoundoutput> createsdlsoundoutput(bool) {
    return std::make_unique<tsoundoutputsdl>();
}

}  // namespace tov
