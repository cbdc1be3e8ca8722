// The program's own file dialog, drawn with Dear ImGui: a folder listing filtered by the
// dialog's filter choices, a name field, OK and Cancel. Not modal to the program: the
// owner draws it every frame and collects the answer when it finishes.
#pragma once
#include <string>
#include <vector>

#include "frontend/filefilter.h"

namespace tov {

class tfiledialog {
public:
    enum tresult { none, chosen, cancelled };

    // Opens the dialog. filter: "description|patterns|..."; folder: where it starts (the
    // working folder when empty or missing). save: the name may be a new file.
    void open(const std::string& title, const std::string& filter, const std::string& folder, bool save = false,
              const std::string& defaultext = "");
    bool isopen() const { return open_; }
    // Presets the name field of the open dialog (a full path or a name in its folder).
    void setname(const std::string& name) { name_ = name; }
    // Draws the dialog; returns chosen or cancelled once, when the user finishes.
    tresult draw();
    // The chosen file's full path.
    const std::string& path() const { return path_; }
    const std::string& folder() const { return folder_; }

private:
    void readfolder();
    void finish(const std::string& name);

    bool open_ = false;
    bool save_ = false;
    bool justopened_ = false;
    bool focusname_ = false;
    std::string title_;
    std::string folder_;
    std::string name_;
    std::string path_;
    std::string defaultext_;
    std::string error_;
    std::vector<tfilefilter> filters_;
    int filter_ = 0;
    struct tentry {
        std::string name;
        bool folder;
    };
    std::vector<tentry> entries_;
    int selected_ = -1;
};

}  // namespace tov
