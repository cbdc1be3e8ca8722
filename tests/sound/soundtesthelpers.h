// A sound output that keeps every page it is handed, for inspecting rendered samples.
#pragma once
#include <cstdint>
#include <vector>

#include "sound/soundoutput.h"

namespace tov::testing {

class tcaptureoutput : public Tsoundoutput {
public:
    explicit tcaptureoutput(bool pulls = false, std::vector<int>* order = nullptr, int id = 0)
        : pulls(pulls), order(order), id(id) {}
    bool pulls;
    std::vector<int>* order;  // ids appended on each write, to check fan-out order
    int id;
    int inits = 0;
    std::vector<std::vector<uint8_t>> pages;

    bool pull() override { return pulls; }
    void init() override {
        Tsoundoutput::init();
        inits++;
    }
    void writepage(const uint8_t* frames) override {
        pages.emplace_back(frames, frames + size_t(pageframes) * channels * bytespersample);
        if (order) order->push_back(id);
        pageswritten++;
    }
    // Left and right samples of all pages, 16-bit stereo.
    void samples16(std::vector<int>& left, std::vector<int>& right) const {
        for (auto& p : pages)
            for (size_t i = 0; i + 3 < p.size(); i += 4) {
                left.push_back(int16_t(p[i] | p[i + 1] << 8));
                right.push_back(int16_t(p[i + 2] | p[i + 3] << 8));
            }
    }
};

}  // namespace tov::testing
