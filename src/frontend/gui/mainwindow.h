// The main window `Tfgb`: owns the machine and its parts, the settings, the picture output and
// the sound; runs the frame loop; maps keyboard and joystick to the joypads and commands;
// shows the caption, the pop-up menu and the dialogs. SDL2 window, OpenGL picture, Dear ImGui
// for menus and dialogs.
#pragma once
#include <SDL.h>

#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/gb.h"
#include "frontend/hooks.h"
#include "frontend/session.h"
#include "core/pacing.h"
#include "frontend/controldialog.h"
#include "frontend/gui/formsnap.h"
#include "frontend/savestates.h"
#include "frontend/input.h"
#include "frontend/messageboxes.h"
#include "frontend/pausecontrol.h"
#include "frontend/settings.h"
#include "frontend/windowlogic.h"
#include "link/gblink.h"
#include "platform/filedialog.h"
#include "platform/inputbox.h"
#include "platform/joystick.h"
#include "platform/tilt.h"
#include "sound/gbsoundtov.h"
#include "sound/soundsetup.h"
#include "video/border.h"
#include "video/gbdrawtovsgb.h"
#include "video/gfxout.h"
#include "video/screenshot.h"

struct ImGuiContext;

namespace tov {

class TFormcheat;
class TFormcontrol;
class TFormdebugger;
class tasiosockets;

class Tfgb : public tpacinghost, public tinputtarget {
public:
    Tfgb(int argc, char** argv);
    ~Tfgb() override;
    Tfgb(const Tfgb&) = delete;
    Tfgb& operator=(const Tfgb&) = delete;

    // Creates the window; false (with a message on stderr) when there is no display.
    bool create();
    // The program's life: start timer, frame loop, closing. Returns the exit code.
    int run();

    // ---- Commands (the pop-up menu and the keyboard) ----
    void mnupause();
    void mnuloadrom();
    void mnusound();
    void mnuoptions();
    void mnuscreenshot();
    void mnusoundchannel(int channel);  // 0-3
    void mnureset();
    void mnurominfo();
    void mnuclearrecent();
    void mnuabout();
    void menusize(int k);
    void mnuFullscreen();
    void menufullscreenstretched();
    void mnuexit();
    // The window's close (close button, Alt+F4, the menu's "exit"): asks `hooks.mayclose`
    // when `ask`, then ends the program through mnuexit().
    void requestclose(bool ask);
    void altenter();

    // Loads a ROM (the flow of the ROM loader plus the window's part); false when nothing
    // was loaded.
    bool loadrom(const std::string& path, bool reset);
    // Full reset: with re-detection the cartridge is rebuilt from the ROM image in memory.
    void fullreset(bool redetect);
    // The window's part of every full reset: picture set up again, the frame loop resumed.
    void afterreset();
    // While the debugger holds the machine in the middle of a frame, `action` (a ROM or state
    // load, a reset) waits for the end of the frame: the machine is let go and true returned.
    bool deferredwhilestopped(std::function<void()> action);
    // Writes the settings: window centre into both copies, working -> stored -> file.
    void recordwindowcentre();
    // While the debugger window has grown the main window: its rectangle before and where the
    // grown window was placed, so that the centre recorded is the game window's own.
    std::optional<twinrect> grownbefore;
    twinrect grownplaced{};
    void savesettings();
    // The options dialog's Apply: stored -> working, file, and the settings re-applied.
    void applysettings();

    // ---- Extension by the other blocks ----
    tfrontendhooks hooks;

    // ---- Save states (statehooks.cpp) ----
    void mnuSavesnap();
    void mnuloadsnap();
    void mnuselectsnap();
    // `notloaded` (optional) runs when the state chosen in this dialog ends up not loaded:
    // the dialog cancelled, the state refused, its ROM not found.
    void mnuloadsnapfile(std::function<void()> notloaded = {});
    // The slot, the state files and their questions (the debugger's state commands use it).
    tsavestates& savestates() { return *states; }

    // ---- Link cable (linkhooks.cpp) ----
    void Listen1Click();
    void Connect1Click();
    void Disconnect1Click();
    void closeport1Click();

    // ---- Access for the dialogs ----
    tsettingsstore& store() { return settings; }
    tgb& gb() { return *machine; }
    tsession& emulation() { return *session; }
    SDL_Window* sdlwindow() { return window; }
    bool isrunning() const { return running; }
    bool ispaused() const { return paused; }
    const std::string& romfile() const { return session->romfile(); }
    const std::string& programdirectory() const { return programdir; }
    tinputpoller& inputstate() { return input; }
    tjoyinputs joystickstate(int number);
    void setstatus(const std::string& text);

    // ---- The debugger's nested loop (frontend/gui/debuggerwindow.cpp) ----
    // One pass while stopped: window messages, and the window drawn at the display's rate;
    // true when the program is closing.
    bool debuggerpass();
    // The debugger stopped (sound off, "tov (debugging)") or resumed (sound and caption back).
    void debuggerstop(bool stopped) {
        stopped ? stopsound() : startsound();
        updatecaption();
    }
    unsigned int picturetex() const { return picturetexture; }
    TFormdebugger* debuggerwindow() { return debugger.get(); }
    // Where the tool windows keep off: the debugger window's title and menu bar while it is
    // shown (empty otherwise), so that its menus stay reachable in the window and full screen.
    twinrect toolkeepout() const;
    // A stop in the middle of a frame: the lines drawn so far go to the screen (the rest
    // still shows the last frame).
    void showpartialframe() {
        if (renderer) renderer->refresh();
    }

    // ---- tpacinghost ----
    double clockseconds() override;
    void sleepms(int ms) override;
    void processmessages() override;
    bool canwaitvblank() override { return vsynccapable; }
    void waitvblank() override;
    bool presentwaitsvblank() override { return true; }

    // ---- tinputtarget ----
    void joypadset(int player, int bit, bool pressed) override;
    void fastforward(bool held) override { fastforwardheld = held; }
    void inputcommand(tinputfunction function) override;
    void inputactivity() override;

private:
    // Start-up and the frame loop.
    void startup();
    void Timer1Timer();
    void startfile(const std::string& path);
    // Loads a save state through the state block's hook.
    bool loadstatefile(const std::string& path);
    // Enters the frame loop after the first ROM was loaded.
    void startloop();
    void runframesstep();
    // One box per battery or clock file the cartridge could not write.
    void reportsavefailures();
    void idlestep();
    void pollinput();
    void closing();

    // Window and picture.
    void setupdisplay();
    void choosebordernow();
    void layout();
    void applywindowmode();
    void updatecaption();
    void drawui(int swapinterval = 0);
    void drawscreen();
    void present(int swapinterval);
    bool uiwantskeyboard() const;
    // Message boxes drawn by the window.
    tmsgresult askinwindow(const tmessagebox& box);
    void messagepass();
    void drawmessagebox();
    void uploadpicture();
    void uploadborder();
    void handleevent(const SDL_Event& e);
    void keydown(const SDL_KeyboardEvent& k);
    void dropfile(const std::string& path);
    // Opens the file dropped last when no dialog or box is open (from the frame loop and from
    // the debugger's stop, where loads wait for the end of the frame).
    void opendrop();
    void popupmenu();
    void menuentries();  // the open pop-up menu's entries (ends the popup)
    bool clientempty() const;
    bool windownormal() const;
    twinsize clientsize() const;

    // Sound.
    void startsound();
    void stopsound();

    bool modalopen() const;

    // Save states: the hooks, a load that may ask for the state's ROM, the dialogs.
    void setupstatehooks();
    bool loadstatewithrom(const std::string& path, const std::string& rompath);
    void drawstatewindows();
    void statefilenotloaded();
    std::unique_ptr<tsavestates> states;
    tstatewindows statewindows;

    // Link cable: the link object, its sockets and the window's side of it.
    class tlinkwindowhost;
    void setuplinkhooks();
    void drawlinkwindows();
    tlinkstate linkstate() const;
    std::unique_ptr<tasiosockets> linksockets;
    std::unique_ptr<tlinkhost> linkhost;
    std::unique_ptr<tgblink> link;
    tinputbox linkbox;
    enum class tlinkpurpose { listen, connect };
    tlinkpurpose linkpurpose = tlinkpurpose::listen;

    static void onsgbborder(void* context);

    std::string programdir;
    std::vector<std::string> args;
    tsettingsstore settings;

    SDL_Window* window = nullptr;
    SDL_GLContext gl = nullptr;
    bool imguiready = false;
    unsigned int picturetexture = 0;
    unsigned int bordertexture = 0;
    int32_t lastpresent = -1;
    std::vector<uint32_t> staging;  // the picture widened to 32 bits for surfaces of other depths
    bool borderdirty = true;

    std::unique_ptr<tsession> session;
    tgb* machine = nullptr;             // the session's
    tgbdrawtovsgb* renderer = nullptr;  // the session's
    tgbsoundtov* sound = nullptr;       // the session's
    std::unique_ptr<tgfxoutpal> output;
    tgfxwrapmemory* surface = nullptr;  // inside `output` when it shows a picture
    std::optional<tbitmap> lastpicture;
    tborder border;
    tborderchooser borderchooser;
    bool sgbborderchanged = false;
    tscreenshots screenshots;
    tsoundsetup soundsetup;
    bool soundon = false;
    tframepacer pacer;

    tinputpoller input;
    std::unique_ptr<tsdljoysticks> joysticks;
    tsdltilt tilt;  // the MBC7 sensor's cursor and joysticks
    std::array<std::unique_ptr<tjoystickpoller>, playercount> joypollers;
    std::array<int, playercount> joynumbers{};
    double lastjoypoll = 0;

    tstatusmessage status;
    std::string lastcaption;

    // Run flags.
    bool running = false;
    bool paused = false;
    bool quitrequested = false;
    tcloserequests closerequests;
    bool closingreports = false;  // the closing reports its failures (boxes still show)
    // Sets and clears `paused`: every way out of the pause restarts the sound.
    tpausecontrol pausecontrol{paused, running, quitrequested};
    bool fastforwardheld = false;
    bool active = true;
    bool timer1 = false;
    tdropqueue drops;
    std::function<void()> afterstop;  // see deferredwhilestopped
    bool pendingpause = false;
    bool cursorhidden = false;
    int cursorx = 0, cursory = 0;
    bool resizing = false;
    twinsize snapfrom;  // the size the last snap started from
    bool exclusivefullscreen = false;
    double lastuidraw = 0;
    int moviecounter = 0;

    // Dialogs.
    tfiledialog filedialog;
    enum class tfilepurpose { none, loadrom, startfile };
    tfilepurpose filepurpose = tfilepurpose::none;
    std::unique_ptr<TFormcontrol> options;
    std::unique_ptr<TFormdebugger> debugger;
    std::unique_ptr<TFormcheat> cheats;
    bool openmenu = false;
    bool menuopen = false;    // the pop-up menu was open in the last frame
    unsigned int menupress = 0;  // the menu item under the cursor when the left button went down
    bool inuiframe = false;   // between NewFrame and Render of the main ImGui context
    bool uikeyboard = false;  // the menus and dialogs had the keyboard after the last frame
    bool escapepressed = false, returnpressed = false;  // since the last frame
    tmessageboxes boxes;
    ImGuiContext* boxcontext = nullptr;
    bool vsynccapable = false;  // the driver takes a swap interval
    int currentinterval = -1;
};

}  // namespace tov
