// The debugger window `TFormdebugger` in Dear ImGui, with the breakpoint windows
// `TFormbreakpoints` and `TFormaccessbreakpoints`: draws the views of tdebugform, forwards
// clicks and keys to it, answers its questions with the program's input box and file dialog,
// and is the desktop program's host of run control (the nested loop while stopped).
#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "debugger/breakpointforms.h"
#include "debugger/debugform.h"
#include "debugger/debuggertov.h"
#include "frontend/windowlogic.h"
#include "platform/filedialog.h"
#include "platform/inputbox.h"

namespace tov {

class Tfgb;
class tviewerwindows;

class TFormdebugger : public tdebuggerhost {
public:
    explicit TFormdebugger(Tfgb& mainwindow);
    ~TFormdebugger() override;

    // Adds the menu commands, the window drawing and the pause input to the main window.
    void install();
    // `mnudebugger`: shows the window and stops the machine at its next instruction.
    void open();
    // A key press while the machine is stopped (keys go to the game while it runs); true
    // when the debugger used it.
    bool takeskey(int vk, uint16_t sdlmods, bool repeat);
    tdebuggertov& runcontrol() { return *tov; }
    // The window is on the screen (the processor-load meter reads only then).
    bool shown() const { return visible; }
    // The window's title and menu bar as last drawn (empty while hidden), which the tool
    // windows keep clear of.
    twinrect menuband() const { return visible ? band : twinrect{}; }

    // ---- tdebuggerhost ----
    void debuggerstopped(const std::string& caption, int32_t reason) override;
    void refreshviews() override;
    void processmessages() override;
    void idle() override;
    void debuggerresumed() override;
    void showpartialframe() override;

private:
    Tfgb& fgb;
    std::unique_ptr<tdebuggertov> tov;
    std::unique_ptr<tdebuggercontrol> control;
    std::unique_ptr<tdebugform> form;
    std::unique_ptr<tbreakpointsform> breakpoints;
    std::unique_ptr<taccessbreakpointsform> accessbreakpoints;
    // The VRAM viewer, I/O map, SGB packet log and processor-load meter (viewerwindows.h).
    std::unique_ptr<tviewerwindows> viewers;
    void drawcpumeter(float height);
    bool visible = false;
    twinrect band;
    ttoolwindowfit breakpointsfit, accessfit;
    tcoveringwindow covering;
    bool windowfocused = false;  // the debugger's own window (or one of its views) has the keyboard
    bool showbreakpoints = false, showaccess = false;
    int runningframes = 0;
    tinputbox box;
    tfiledialog files;
    tdebugrequest current;
    std::string messagetitle, messagetext;
    bool messageopen = false;
    int quietframes = 0;
    bool startupdone = false;

    void draw();
    void drawmenu();
    void drawview(tdebugview v, const char* id, float width, float height);
    void drawregisters();
    void drawbanks();
    void drawrequests();
    void drawbreakpoints();
    void drawaccessbreakpoints();
    // Editing and files (debuggerediting.cpp).
    void installediting();
    void romloadedediting();
    void draweditmenu();
    void drawcodepopup(bool open);
    bool stopafterload = false;
    void syncoptions();
    void growwindow();
    void shrinkwindow();
    bool grown = false;
    bool wasfullscreen = false;
    int fitframes = 0;
    int oldwidth = 0, oldheight = 0;
    int32_t keptwidth = 0, keptheight = 0;
};

}  // namespace tov
