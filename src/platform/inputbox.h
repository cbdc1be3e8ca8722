// A one-line text prompt drawn with Dear ImGui (the program's input box): a caption, a prompt,
// an edit field, OK and Cancel. Not modal to the program: the owner draws it every frame and
// collects the answer when it finishes.
#pragma once
#include <string>

namespace tov {

class tinputbox {
public:
    enum tresult { none, ok, cancelled };

    void open(const std::string& caption, const std::string& prompt, const std::string& value = "");
    bool isopen() const { return open_; }
    // Draws the box; returns ok or cancelled once, when the user finishes.
    tresult draw();
    const std::string& value() const { return value_; }

private:
    bool open_ = false;
    bool justopened_ = false;
    std::string caption_;
    std::string prompt_;
    std::string value_;
    char buffer_[256] = {};
};

}  // namespace tov
