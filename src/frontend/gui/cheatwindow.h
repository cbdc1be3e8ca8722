// The cheat windows in Dear ImGui: the list `TFormcheat` with its buttons, the edit dialog
// `TFormeditcheat` (code mode and values mode) and the searcher `TFormcheatsearch`. They
// draw what src/cheats computes (tcheatlist, tcheatedit, tcheatsearch) and forward clicks.
#pragma once
#include <cstdint>
#include <memory>
#include <set>
#include <string>

#include "cheats/cheatedit.h"
#include "cheats/cheats.h"
#include "cheats/cheatsearch.h"
#include "frontend/windowlogic.h"
#include "platform/filedialog.h"

namespace tov {

class Tfgb;

class TFormcheat {
public:
    explicit TFormcheat(Tfgb& mainwindow);
    ~TFormcheat();
    TFormcheat(const TFormcheat&) = delete;
    TFormcheat& operator=(const TFormcheat&) = delete;

    // Adds the menu commands (`mnucheat` F10, `mnucheatsearcher`), the "toggle cheats"
    // input, the windows and the automatic save at the program's end to the main window.
    // With `CheatAutoSave` the list exists from now on.
    void install();
    void mnucheatClick();
    void mnucheatsearcherClick();
    // The list, created on first use; null before.
    tcheatlist* cheatlist() { return list.get(); }

private:
    void createlist();
    void romchanged();
    bool modal() const;
    void draw();
    void drawlist();
    void drawedit();
    void drawsearch();
    std::vector<size_t> selectedlines() const;
    void afteroperation();

    // Buttons of the list window.
    void Buttonadd();
    void Buttonedit();
    void Buttondel();
    void Buttonsave();
    void Buttonload();

    Tfgb& fgb;
    std::unique_ptr<tcheatlist> list;
    bool visible = false;
    ttoolwindowfit listfit, searchfit;
    std::set<size_t> selection;
    int focused = -1;

    // TFormeditcheat: a new cheat (`adding`) or one of the list (`target`).
    enum class tediting { none, adding, editing };
    tediting editing = tediting::none;
    bool editjustopened = false;
    tcheat draft;
    tcheat* target = nullptr;
    tcheatedit edit;

    enum class tfilepurpose { none, save, load };
    tfilepurpose filepurpose = tfilepurpose::none;
    tfiledialog files;

    // TFormcheatsearch.
    std::unique_ptr<tcheatsearch> search;
    bool searchvisible = false;
    bool Radiobits16 = false;
    int comparison = 0;  // Radioequal, Radioabove, Radiobelow
    bool Checknot = false;
    bool Radioconst = false;
    std::string editconst;
};

}  // namespace tov
