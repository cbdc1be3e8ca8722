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
    startqueue();
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

int64_t tsoundoutputsdl::queuedframes() {
    const int fb = framebytes();
    if (!device || fb <= 0) return 0;
    return int64_t(SDL_GetQueuedAudioSize(device) / uint32_t(fb));
}

void tsoundoutputsdl::queueframes(const uint8_t* data, int frames) {
    if (!device || !data || frames <= 0) return;
    // A failing queue after init is ignored, like a failing device write.
    SDL_QueueAudio(device, data, uint32_t(frames) * uint32_t(framebytes()));
}

std::unique_ptr<Tsoundoutput> createsdlsoundoutput(bool) {
    return std::make_unique<tsoundoutputsdl>();
}

}  // namespace tov
