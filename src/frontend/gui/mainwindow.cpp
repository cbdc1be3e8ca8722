#include "frontend/gui/mainwindow.h"

#include <GL/gl.h>
#include <imgui.h>
#include <imgui_impl_opengl3.h>
#include <imgui_impl_sdl.h>

#include <algorithm>
#include <clocale>
#include <cstdio>
#include <ctime>

#include "cart/loadrom.h"
#include "frontend/filefilter.h"
#include "frontend/gui/cheatwindow.h"
#include "frontend/gui/debuggerwindow.h"
#include "frontend/gui/bootimage.h"
#include "frontend/gui/optionsform.h"
#include "link/gblink.h"
#include "platform/asiosocket.h"
#include "platform/sdlkeys.h"
#include "platform/sdlsound.h"
#include "platform/system.h"

namespace tov {

namespace {

constexpr const char* romfilter = "GB roms and zip files|*.GB;*.GBC;*.ZIP;*.GZ|All files|*";
constexpr double joytimerseconds = 0.010;  // Timerjoy

}  // namespace

Tfgb::Tfgb(int argc, char** argv)
    : programdir(tov::programfolder()),
      settings(resolvepath("tov.ini", tov::programfolder())),
      screenshots(tov::programfolder()),
      pacer(*this) {
    for (int i = 1; i < argc; i++) args.emplace_back(argv[i]);
}

Tfgb::~Tfgb() {
    options.reset();
    debugger.reset();  // before the machine it is attached to
    link.reset();      // likewise, and before its sockets
    cheats.reset();    // after the debugger, whose stops it follows, and before the machine
    if (session) {
        if (sound) sound->stopoutput();
        session.reset();
        sound = nullptr;
    }
    output.reset();
    setmessageboxfallback(nullptr);
    if (imguiready) {
        ImGuiContext* maincontext = ImGui::GetCurrentContext();
        for (ImGuiContext* c : {boxcontext, maincontext}) {
            ImGui::SetCurrentContext(c);
            ImGui_ImplOpenGL3_Shutdown();
            ImGui_ImplSDL2_Shutdown();
            ImGui::DestroyContext(c);
        }
    }
    if (picturetexture) glDeleteTextures(1, &picturetexture);
    if (bordertexture) glDeleteTextures(1, &bordertexture);
    joysticks.reset();
    if (gl) SDL_GL_DeleteContext(gl);
    if (window) SDL_DestroyWindow(window);
    SDL_Quit();
}

// ---------------------------------------------------------------------------------------------
// Start-up
// ---------------------------------------------------------------------------------------------

bool Tfgb::create() {
    // Numbers in files and dialogs always use "." as the decimal separator.
    std::setlocale(LC_NUMERIC, "C");
    std::srand(unsigned(std::time(nullptr)));
    if (SDL_Init(SDL_INIT_VIDEO | SDL_INIT_TIMER) != 0) {
        std::fprintf(stderr, "tov: cannot open a window: %s\n", SDL_GetError());
        return false;
    }
    settings.load();
    tsettings& s = settings.working;

    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 0);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    twinsize client = setupclientsize(s, {160, 144});
    Uint32 flags = SDL_WINDOW_OPENGL | SDL_WINDOW_RESIZABLE | SDL_WINDOW_HIDDEN;
    if (s.NoWindow) flags |= SDL_WINDOW_BORDERLESS;
    if (s.StayOnTop) flags |= SDL_WINDOW_ALWAYS_ON_TOP;
    int x = SDL_WINDOWPOS_CENTERED, y = SDL_WINDOWPOS_CENTERED;
    if (s.WinX != 0 || s.WinY != 0) {
        // The stored centre counts only while it lies on a connected display.
        SDL_Point centre{s.WinX, s.WinY};
        for (int d = 0; d < SDL_GetNumVideoDisplays(); d++) {
            SDL_Rect bounds;
            if (SDL_GetDisplayBounds(d, &bounds) == 0 && SDL_PointInRect(&centre, &bounds)) {
                x = s.WinX - client.w / 2;
                y = s.WinY - client.h / 2;
                break;
            }
        }
    }
    window = SDL_CreateWindow("tov", x, y, client.w, client.h, flags);
    if (!window) {
        std::fprintf(stderr, "tov: cannot open a window: %s\n", SDL_GetError());
        return false;
    }
    SDL_SetWindowMinimumSize(window, 160, 144);
    gl = SDL_GL_CreateContext(window);
    if (!gl) {
        std::fprintf(stderr, "tov: no OpenGL: %s\n", SDL_GetError());
        return false;
    }
    SDL_GL_MakeCurrent(window, gl);
    // The display waits for its vertical blank when the driver takes a swap interval; the
    // frame loop then uses it for `VSync` (and its swaps stay immediate otherwise).
    vsynccapable = SDL_GL_SetSwapInterval(1) == 0;
    SDL_GL_SetSwapInterval(0);
    currentinterval = 0;
    if (SDL_getenv("TOV_GLINFO"))
        std::fprintf(stderr, "GL %s / %s, swap interval %s\n", reinterpret_cast<const char*>(glGetString(GL_VERSION)),
                     reinterpret_cast<const char*>(glGetString(GL_RENDERER)), vsynccapable ? "taken" : "refused");

    IMGUI_CHECKVERSION();
    ImGui::CreateContext();
    ImGui::GetIO().IniFilename = nullptr;  // all settings live in "tov.ini"
    ImGui::StyleColorsDark();
    ImGui_ImplSDL2_InitForOpenGL(window, gl);
    ImGui_ImplOpenGL3_Init("#version 130");
    // Message boxes drawn by the window have an ImGui context of their own, so that a question
    // asked in the middle of a frame of the main one can keep drawing.
    ImGuiContext* maincontext = ImGui::GetCurrentContext();
    boxcontext = ImGui::CreateContext();
    ImGui::SetCurrentContext(boxcontext);
    ImGui::GetIO().IniFilename = nullptr;
    ImGui::StyleColorsDark();
    ImGui_ImplSDL2_InitForOpenGL(window, gl);
    ImGui_ImplOpenGL3_Init("#version 130");
    ImGui::SetCurrentContext(maincontext);
    imguiready = true;
    setmessageboxfallback([this](const tmessagebox& box) { return askinwindow(box); });

    glGenTextures(1, &picturetexture);
    glBindTexture(GL_TEXTURE_2D, picturetexture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB8, 160, 144, 0, GL_BGRA, GL_UNSIGNED_BYTE, nullptr);
    glGenTextures(1, &bordertexture);
    glBindTexture(GL_TEXTURE_2D, bordertexture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);

    joysticks = std::make_unique<tsdljoysticks>();
    startup();
    SDL_ShowWindow(window);
    if (x != int(SDL_WINDOWPOS_CENTERED)) {
        // A window manager puts its frame, not the client area, at a new window's position,
        // while the position read back and recorded is the client area's: placed once more
        // after it is framed, the window starts where it was left rather than a title bar
        // lower every time.
        SDL_PumpEvents();
        SDL_SetWindowPosition(window, x, y);
    }
    applywindowmode();
    return true;
}

void Tfgb::startup() {
    tsettings& s = settings.working;
    // The machine and its parts.
    session = std::make_unique<tsession>(s, programdir);
    tilt.window = window;
    tilt.joysticks = joysticks.get();
    session->settiltsource(&tilt);
    machine = &session->machine();
    renderer = session->renderer();
    sound = session->synthesiser();
    session->sgb().onborder = onsgbborder;
    session->sgb().onbordercontext = this;
    setupstatehooks();
    setuplinkhooks();
    debugger = std::make_unique<TFormdebugger>(*this);
    debugger->install();
    cheats = std::make_unique<TFormcheat>(*this);
    cheats->install();

    soundsetup.createdevice = [](bool preferred) { return createsdlsoundoutput(preferred); };
    soundsetup.messagebox = [this](const std::string& text, const std::string& title) {
        messagebox(window, text, title);
    };
    soundsetup.soundoff = [this] {
        settings.working.WaveOut = false;
        settings.working.WavFileOut = false;
        savesettings();
    };
    soundsetup.resolvepath = [this](const std::string& name) { return resolvepath(name, programdir); };
    soundsetup.recordingoff = [this] {
        settings.working.WavFileOut = false;
        savesettings();
    };
    pausecontrol.startsound = [this] { startsound(); };
    pausecontrol.stopsound = [this] { stopsound(); };
    pausecontrol.updatecaption = [this] { updatecaption(); };

    // Options left on from an earlier session that keep writing files.
    if (s.WavFileOut &&
        messagebox(window, "WAV file writer is still enabled. disable?", "Warning", tmsgbuttons::yesno) ==
            tmsgresult::yes) {
        s.WavFileOut = false;
        savesettings();
    }
    if (s.RecordMovie &&
        messagebox(window, "animation recording is still enabled. disable?", "Warning", tmsgbuttons::yesno) ==
            tmsgresult::yes) {
        s.RecordMovie = false;
        savesettings();
    }

    // An empty slot, a reset, all sound channels on, and the picture.
    sound->setchannelmask(0);
    setupdisplay();
    session->reset();
    // The reset re-initialised the renderer; show the start-up picture again.
    setupdisplay();
    timer1 = !args.empty() || s.StartOpen;
    updatecaption();
}

int Tfgb::run() {
    // The window shows its first picture before the start timer loads a file (whose messages
    // would otherwise sit in front of an empty window).
    processmessages();
    drawui();
    while (!quitrequested) {
        if (timer1 && !modalopen()) Timer1Timer();
        if (!modalopen()) reportsavefailures();
        opendrop();
        if (afterstop) {
            std::function<void()> action;
            action.swap(afterstop);
            action();
        }
        if (pendingpause) {
            pendingpause = false;
            if (!paused) mnupause();
        }
        if (running && !paused && !modalopen())
            runframesstep();
        else
            idlestep();
    }
    closing();
    return 0;
}

void Tfgb::Timer1Timer() {
    timer1 = false;
    if (running) return;
    // A ROM loaded before the loop ran (a reset then asks for the start) is started again.
    std::string name = !session->romfile().empty() ? session->romfile() : args.empty() ? std::string() : args.front();
    if (name.empty()) {
        // No file given: ask for one (the answer arrives in drawui).
        filepurpose = tfilepurpose::startfile;
        filedialog.open("open rom", romfilter, resolvepath(settings.working.RomDir, programdir));
        return;
    }
    startfile(name);
}

void Tfgb::startfile(const std::string& path) {
    if (isstatefilename(path)) {
        if (loadstatefile(path)) startloop();
        return;
    }
    if (!loadrom(path, true)) return;
    startloop();
}

twinrect Tfgb::toolkeepout() const { return debugger ? debugger->menuband() : twinrect{}; }

bool Tfgb::deferredwhilestopped(std::function<void()> action) {
    if (!debugger || !debugger->runcontrol().stopped()) return false;
    // The debugger holds the machine in the middle of its frame: a new cartridge or a reset
    // now would pull the machine from under the instruction it stopped before. The machine
    // runs on to the end of its frame, and the action follows.
    afterstop = std::move(action);
    debugger->runcontrol().run();
    return true;
}

bool Tfgb::loadstatefile(const std::string& path) {
    if (deferredwhilestopped([this, path] {
            if (loadstatefile(path)) startloop();
        }))
        return false;
    if (!hooks.loadstate) {
        messagebox(window, "save states cannot be loaded by this version", "error");
        return false;
    }
    bool ok = hooks.loadstate(path);
    setupdisplay();
    updatecaption();
    return ok;
}

void Tfgb::startloop() {
    if (running) return;
    running = true;
    pacer.start();
    startsound();
    updatecaption();
}

void Tfgb::closing() {
    running = false;
    stopsound();
    // The closing's failures (a cheat file, a battery file that could not be written) are
    // told in boxes that still show: the cheat list's went to stderr only.
    closingreports = true;
    if (hooks.closing) hooks.closing();
    // The battery RAM is written when the cartridge leaves the machine.
    if (session) session->unloadrom();
    if (session) reportsavefailures();
    closingreports = false;
}

void Tfgb::reportsavefailures() {
    for (const std::string& file : session->takesavefailures())
        messagebox(window, "error while saving " + file, "error");
}

// ---------------------------------------------------------------------------------------------
// The frame loop
// ---------------------------------------------------------------------------------------------

double Tfgb::clockseconds() {
    return double(SDL_GetPerformanceCounter()) / double(SDL_GetPerformanceFrequency());
}

void Tfgb::sleepms(int ms) { SDL_Delay(Uint32(std::max(ms, 0))); }

void Tfgb::processmessages() {
    SDL_Event e;
    while (SDL_PollEvent(&e)) handleevent(e);
    // Taken here, where a question may be asked (a message box's own loop only notes them).
    switch (closerequests.take()) {
        case tclosing::ask: requestclose(true); break;
        case tclosing::now: requestclose(false); break;
        case tclosing::none: break;
    }
    if (link) link->poll();
    if (sound) {
        sound->serviceoutput();
        // A WAV write error is told once, and the recording ends.
        if (soundon) soundsetup.checkrecording(*sound, session->soundoptions());
    }
}

bool Tfgb::clientempty() const {
    if (!window) return true;
    if (SDL_GetWindowFlags(window) & SDL_WINDOW_MINIMIZED) return true;
    twinsize c = clientsize();
    return c.w <= 0 || c.h <= 0;
}

void Tfgb::runframesstep() {
    const tsettings& s = settings.working;
    pacer.options.Speed = s.Speed;
    pacer.options.MaxSkip = s.MaxSkip;
    pacer.options.Sleep = s.Sleep;
    pacer.options.MMTimer = s.MMTimer;
    pacer.options.VSync = s.VSync;
    pacer.options.fastSGB = s.fastSGB;

    const bool empty = clientempty();
    if (empty) machine->renderflag = false;
    processmessages();
    if (quitrequested || !running || paused) return;
    if (borderdirty && machine->renderflag) choosebordernow();

    const bool drawn = machine->renderflag;
    tilt.newframe();
    const int32_t units = session->runframe(drawn);
    bool poll = false;
    const bool presentnow = pacer.afterframe(drawn, fastforwardheld, poll);
    if (poll) pollinput();
    if (drawn && presentnow) renderer->refresh();
    // Every emulated frame (or every second one) is recorded, drawn or not.
    if (s.RecordMovie && (!s.RecordHalfSpeed || (moviecounter++ & 1) == 0)) {
        std::string message;
        screenshots.save(*output, &message);
    }

    session->frameended();

    const bool sgbmasked = machine->sgbmode && machine->sgbunit().screenfrozen != 0;
    tpacedecision d = pacer.pace(units, fastforwardheld, sgbmasked, empty);
    if (d.present) renderer->refresh();
    if (d.newsecond && s.FrameRate) updatecaption();
    if (d.savesram) session->savebattery();
    machine->renderflag = d.renderflag;
    // The frame shown now goes out with the swap interval of `VSync`; other redraws at once.
    const bool shown = (drawn && presentnow) || d.present;
    if (drawn || clockseconds() - lastuidraw > 0.1) drawui(shown ? pacer.swapinterval(fastforwardheld) : 0);
}

// The display's own wait for its vertical blank: the current picture is put on the screen
// again with a swap that waits for the blank (the picture does not change, so nothing shows).
void Tfgb::waitvblank() { drawui(1); }

bool Tfgb::debuggerpass() {
    processmessages();
    // A file dropped while the debugger holds the machine opens as the debugger's own loads
    // do (deferredwhilestopped); it waited for Run before.
    if (!quitrequested) opendrop();
    updatecaption();
    if (clockseconds() - lastuidraw >= 1.0 / 60) drawui();
    return quitrequested;
}

void Tfgb::idlestep() {
    processmessages();
    double now = clockseconds();
    // Timerjoy: the input is polled while the frame loop does not run, so that the pause
    // input also ends a pause.
    if (now - lastjoypoll >= joytimerseconds) {
        lastjoypoll = now;
        pollinput();
    }
    // Menus and dialogs stay responsive at the display's usual rate without burning the processor.
    if (now - lastuidraw >= 1.0 / 60) drawui();
    SDL_Delay(5);
}

void Tfgb::pollinput() {
    const tsettings& s = settings.working;
    std::array<tjoyinputs, playercount> joy{};
    double now = clockseconds();
    for (int p = 0; p < playercount; p++) {
        int number = s.joysticknum[p];
        if (number != joynumbers[p] || !joypollers[p]) {
            joynumbers[p] = number;
            joypollers[p] = std::make_unique<tjoystickpoller>(
                [this, number](tjoyreading& r) { return joysticks && joysticks->read(number, r); });
        }
        joy[p] = number > 0 ? joypollers[p]->poll(now) : 0;
    }
    input.poll(s, joy, active, *this);
}

tjoyinputs Tfgb::joystickstate(int number) {
    tjoyreading r;
    if (!joysticks || !joysticks->read(number, r)) return 0;
    return joystickinputs(r);
}

void Tfgb::joypadset(int player, int bit, bool pressed) { machine->joypadset(player, bit, pressed); }

void Tfgb::inputcommand(tinputfunction function) {
    switch (function) {
        case inResetGB:
            if (session->romloaded()) fullreset(true);
            break;
        case inPause:
            // With `DebugEsc` the pause input belongs to the debugger, when there is one.
            if (settings.working.DebugEsc && hooks.pauseinput)
                hooks.pauseinput();
            else
                mnupause();
            break;
        case inScreenshot:
            mnuscreenshot();
            break;
        case inQuickLoad:
            if (hooks.quickload) hooks.quickload();
            break;
        case inQuickSave:
            if (hooks.quicksave) hooks.quicksave();
            break;
        case inToggleCheats:
            if (hooks.togglecheats) hooks.togglecheats();
            break;
        default:
            break;
    }
}

void Tfgb::inputactivity() {
    if (!cursorhidden && running && (SDL_GetWindowFlags(window) & SDL_WINDOW_INPUT_FOCUS)) {
        SDL_ShowCursor(SDL_DISABLE);
        cursorhidden = true;
        SDL_GetMouseState(&cursorx, &cursory);
    }
}

// ---------------------------------------------------------------------------------------------
// Events
// ---------------------------------------------------------------------------------------------

void Tfgb::handleevent(const SDL_Event& e) {
    if (imguiready) ImGui_ImplSDL2_ProcessEvent(&e);
    const bool uimouse = imguiready && ImGui::GetIO().WantCaptureMouse;
    switch (e.type) {
        case SDL_QUIT:
            closerequests.quitsignal();
            break;
        case SDL_WINDOWEVENT:
            if (e.window.windowID != SDL_GetWindowID(window)) break;
            switch (e.window.event) {
                case SDL_WINDOWEVENT_CLOSE: closerequests.windowclose(); break;
                case SDL_WINDOWEVENT_FOCUS_LOST:
                    active = false;
                    input.releaseall(*this);
                    updatecaption();
                    if (settings.working.PauseOnDefocus && !paused) pendingpause = true;
                    break;
                case SDL_WINDOWEVENT_FOCUS_GAINED:
                    active = true;
                    pendingpause = false;
                    if (settings.working.PauseOnDefocus && paused) mnupause();
                    break;
                case SDL_WINDOWEVENT_SIZE_CHANGED: layout(); break;
                default: break;
            }
            break;
        case SDL_KEYDOWN:
            // Esc and Return for the menu and the boxes, kept until the next frame: a quick
            // tap's key-up may arrive before ImGui's next frame could see the key down.
            if (!e.key.repeat && e.key.keysym.sym == SDLK_ESCAPE) escapepressed = true;
            if (!e.key.repeat && (e.key.keysym.sym == SDLK_RETURN || e.key.keysym.sym == SDLK_KP_ENTER))
                returnpressed = true;
            keydown(e.key);
            break;
        case SDL_KEYUP: {
            int vk = sdlkeytovk(e.key.keysym.sym, e.key.keysym.scancode);
            if (vk >= 0) input.keyup(vk);
            break;
        }
        case SDL_MOUSEBUTTONDOWN:
            if (uimouse || !boxes.empty()) break;
            if (e.button.button == SDL_BUTTON_RIGHT) openmenu = true;
            if (e.button.button == SDL_BUTTON_LEFT && e.button.clicks == 2 && windownormal() &&
                !settings.working.DebugScreen) {
                settings.working.NoWindow = !settings.working.NoWindow;
                SDL_SetWindowBordered(window, settings.working.NoWindow ? SDL_FALSE : SDL_TRUE);
            }
            break;
        case SDL_MOUSEMOTION:
            if (cursorhidden && (std::abs(e.motion.x - cursorx) > 3 || std::abs(e.motion.y - cursory) > 3)) {
                SDL_ShowCursor(SDL_ENABLE);
                cursorhidden = false;
            }
            if (settings.working.NoWindow && (e.motion.state & SDL_BUTTON_LMASK) && !uimouse && windownormal()) {
                int wx, wy;
                SDL_GetWindowPosition(window, &wx, &wy);
                SDL_SetWindowPosition(window, wx + e.motion.xrel, wy + e.motion.yrel);
            }
            break;
        case SDL_DROPBEGIN: drops.begin(); break;
        case SDL_DROPFILE:
            if (e.drop.file) {
                drops.file(e.drop.file);
                SDL_free(e.drop.file);
            }
            break;
        case SDL_DROPTEXT:
            SDL_free(e.drop.file);  // text dragged from elsewhere opens nothing
            break;
        case SDL_DROPCOMPLETE: drops.complete(); break;
        case SDL_JOYDEVICEADDED:
        case SDL_JOYDEVICEREMOVED:
            if (joysticks) joysticks->rescan();
            for (auto& p : joypollers) p.reset();
            break;
        default:
            break;
    }
}

void Tfgb::keydown(const SDL_KeyboardEvent& k) {
    int vk = sdlkeytovk(k.keysym.sym, k.keysym.scancode);
    // While the debugger holds the machine its keys come first (F7 trace, F8 step out), but
    // text fields and open dialogs and boxes keep theirs.
    if (vk >= 0 && debugger && !(imguiready && ImGui::GetIO().WantTextInput) && !modalopen() && boxes.empty() &&
        debugger->takeskey(vk, uint16_t(k.keysym.mod), k.repeat))
        return;
    // The slot dialog is a modal window, which holds the keyboard for itself: its digits,
    // Enter and Escape reach it here.
    if (vk >= 0 && !k.repeat && statewindows.formsnap.key(vk)) return;
    const tkeyaction a = routekeydown(vk, (k.keysym.mod & KMOD_ALT) != 0, k.repeat != 0, uiwantskeyboard());
    switch (a.route) {
        case tkeyroute::ignore: return;
        case tkeyroute::altenter: altenter(); return;
        case tkeyroute::options: mnuoptions(); return;
        case tkeyroute::soundchannel: mnusoundchannel(a.channel); return;
        case tkeyroute::keyboard: break;
    }
    if (!k.repeat && hooks.onkey && hooks.onkey(vk, uint16_t(k.keysym.mod))) return;
    input.keydown(vk);
}

// Menus, dialogs, message boxes and text fields keep the keyboard to themselves.
bool Tfgb::uiwantskeyboard() const {
    if (menuopen || !boxes.empty() || filedialog.isopen() || (options && options->visible())) return true;
    if (!imguiready) return false;
    const ImGuiIO& io = ImGui::GetIO();
    return io.WantCaptureKeyboard || io.WantTextInput;
}

void Tfgb::opendrop() {
    // A dialog's or a box's answer still to come (a file, a slot, a cheat) belongs to the game
    // it was asked for: the drop waits for it, as the start timer does.
    // The debugger's and the viewers' questions are pop-ups of their own: any open pop-up
    // (a menu too) holds the drop back.
    const bool popup =
        imguiready && ImGui::IsPopupOpen("", ImGuiPopupFlags_AnyPopupId | ImGuiPopupFlags_AnyPopupLevel);
    const std::string path = drops.take(!modalopen() && boxes.empty() && !popup);
    if (!path.empty()) dropfile(path);
}

void Tfgb::dropfile(const std::string& path) {
    tsettings& s = settings.working;
    const tdropkind kind = dropkind(path);
    if (kind == tdropkind::border) {
        if (s.Border < 2) s.Border = 2;
        bool gbcborder = machine->gbcmode || (machine->sgbmode && !s.SGBnocolors);
        (gbcborder ? s.BackgroundGBC : s.Background) = path.substr(0, maxsettingstring);
        session->applysettings();
        borderdirty = true;
        borderchooser.forget();
        choosebordernow();
        savesettings();
        return;
    }
    if (kind == tdropkind::state) {
        if (loadstatefile(path)) startloop();
        return;
    }
    if (loadrom(path, true)) startloop();
}

// ---------------------------------------------------------------------------------------------
// ROM loading and reset
// ---------------------------------------------------------------------------------------------

bool Tfgb::loadrom(const std::string& path, bool reset) {
    if (deferredwhilestopped([this, path, reset] {
            if (loadrom(path, reset)) startloop();
        }))
        return false;
    if (hooks.beforeromload && !hooks.beforeromload()) return false;
    tsettings& s = settings.working;
    std::string message;
    auto accept = [&](const std::string& warnings) {
        return !s.LoadRomWarnings ||
               messagebox(window, warnings, "loading rom succeeded with warnings", tmsgbuttons::okcancel) ==
                   tmsgresult::ok;
    };
    if (!session->loadrom(path, reset, message, accept)) {
        if (!session->lastloadrefused()) messagebox(window, message, "loading rom failed");
        return false;
    }
    s.LastRomDir = folderof(session->romfile()).substr(0, maxsettingstring);
    addrecent(s, session->romfile());
    savesettings();
    if (reset) afterreset();
    updatecaption();
    layout();
    return true;
}

void Tfgb::fullreset(bool redetect) {
    if (deferredwhilestopped([this, redetect] { fullreset(redetect); })) return;
    session->fullreset(redetect);
    afterreset();
}

void Tfgb::afterreset() {
    // The reset may have changed the hardware (GBC, SGB, DMG): the picture is set up again so
    // that a DMG game gets the DMG colours.
    setupdisplay();
    layout();
    // A running loop leaves the pause with its sound; else the start timer enters the loop.
    if (pausecontrol.afterreset()) timer1 = true;
}

// ---------------------------------------------------------------------------------------------
// Sound
// ---------------------------------------------------------------------------------------------

void Tfgb::startsound() {
    if (!sound) return;
    // The sound options may have changed in the working settings (the menu's sound switch).
    session->soundoptions() = soundoptionsof(settings.working);
    sound->setvolume(settings.working.Volume);
    soundon = soundsetup.start(*sound, session->soundoptions());
}

void Tfgb::stopsound() {
    if (sound) sound->stopoutput();
    soundon = false;
}

// ---------------------------------------------------------------------------------------------
// Commands
// ---------------------------------------------------------------------------------------------

void Tfgb::mnupause() { pausecontrol.toggle(); }

void Tfgb::mnuloadrom() {
    filepurpose = tfilepurpose::loadrom;
    std::string start = settings.working.LastRomDir.empty() ? settings.working.RomDir : settings.working.LastRomDir;
    filedialog.open("open rom", romfilter, resolvepath(start, programdir));
}

void Tfgb::mnusound() {
    settings.working.WaveOut = !settings.working.WaveOut;
    if (running && !paused)
        startsound();
    else
        stopsound();
}

void Tfgb::mnuoptions() {
    if (!options) options = std::make_unique<TFormcontrol>(*this);
    options->show();
}

void Tfgb::mnuscreenshot() {
    if (!output) return;
    std::string message;
    screenshots.save(*output, &message);
    if (!message.empty()) setstatus(message);
}

void Tfgb::mnusoundchannel(int channel) {
    int mask = sound->getchannelmask() ^ (1 << channel);
    sound->setchannelmask(mask);
    if (session->romloaded()) setstatus(soundchannelstext(mask));
}

void Tfgb::mnureset() {
    if (deferredwhilestopped([this] { mnureset(); })) return;
    session->reset();
    setupdisplay();
}

void Tfgb::mnurominfo() {
    if (!session->romloaded() || !session->hasgame()) {
        messagebox(window, "no game is loaded", "ROM info");
        return;
    }
    messagebox(window, rominfotext(session->cartridge(), session->romfile()), "ROM info");
}

void Tfgb::mnuclearrecent() {
    clearrecent(settings.working);
    savesettings();
}

void Tfgb::mnuabout() {
    messagebox(window,
               "tov\rGame Boy, Game Boy Color and Super Game Boy emulator\r\r"
               "keys, joysticks and options: right-click the picture, then \"options\" (F11)",
               "about tov");
}

void Tfgb::menusize(int k) {
    tsettings& s = settings.working;
    exclusivefullscreen = false;
    if (s.Windowmode != 1) s.Windowmode = 0;
    // The window keeps its centre while it changes size.
    int x, y, w, h;
    SDL_GetWindowPosition(window, &x, &y);
    SDL_GetWindowSize(window, &w, &h);
    const bool wasfullscreen = SDL_GetWindowFlags(window) & (SDL_WINDOW_FULLSCREEN | SDL_WINDOW_FULLSCREEN_DESKTOP);
    applywindowmode();
    twinsize b = bordersize(border.width(), border.height());
    resizing = true;
    SDL_SetWindowSize(window, k * b.w, k * b.h);
    if (!wasfullscreen) SDL_SetWindowPosition(window, x + w / 2 - k * b.w / 2, y + h / 2 - k * b.h / 2);
    resizing = false;
    s.Width = k * 160;
    s.Height = k * 144;
    layout();
}

void Tfgb::mnuFullscreen() {
    tsettings& s = settings.working;
    if (exclusiveavailable(s, session->romloaded())) {
        exclusivefullscreen = true;
        s.Windowmode = 4;
    } else {
        s.Windowmode = 3;
        s.FullscreenMode = 0;
    }
    applywindowmode();
}

void Tfgb::menufullscreenstretched() {
    tsettings& s = settings.working;
    exclusivefullscreen = false;
    s.Windowmode = 4;
    s.FullscreenMode = 1;
    applywindowmode();
    savesettings();
}

void Tfgb::altenter() {
    tsettings& s = settings.working;
    tmodechange m = altentermode(s.Windowmode, s.FullscreenMode, exclusiveavailable(s, session->romloaded()));
    s.Windowmode = m.windowmode;
    exclusivefullscreen = m.exclusive;
    applywindowmode();
    savesettings();
}

void Tfgb::requestclose(bool ask) {
    if (quitrequested) return;
    if (ask && hooks.mayclose) {
        const bool close = hooks.mayclose();
        // Closes asked for again while the question showed were answered by it.
        closerequests.take();
        if (!close) return;
    }
    mnuexit();
}

void Tfgb::mnuexit() {
    if (machine) machine->debugstepping = false;
    savesettings();
    quitrequested = true;
    pausecontrol.resume();
}

void Tfgb::setstatus(const std::string& text) {
    status.set(text, clockseconds());
    updatecaption();
}

// ---------------------------------------------------------------------------------------------
// Settings
// ---------------------------------------------------------------------------------------------

bool Tfgb::windownormal() const {
    if (!window) return false;
    Uint32 f = SDL_GetWindowFlags(window);
    return !(f & (SDL_WINDOW_MAXIMIZED | SDL_WINDOW_MINIMIZED | SDL_WINDOW_FULLSCREEN | SDL_WINDOW_FULLSCREEN_DESKTOP));
}

// Every write of the settings file records the window's centre in both copies, while the
// window is in its normal state and the debugger does not show the picture.
void Tfgb::recordwindowcentre() {
    tsettings& s = settings.working;
    if (!window || !windownormal() || s.DebugScreen) return;
    int x, y, w, h;
    SDL_GetWindowPosition(window, &x, &y);
    SDL_GetWindowSize(window, &w, &h);
    if (grownbefore) {
        const twinrect r = restoredwindowrect(*grownbefore, grownplaced, x, y);
        x = r.x, y = r.y, w = r.w, h = r.h;
    }
    s.WinX = settings.stored.WinX = x + w / 2;
    s.WinY = settings.stored.WinY = y + h / 2;
}

void Tfgb::savesettings() {
    recordwindowcentre();
    settings.save();
}

void Tfgb::applysettings() {
    // The stored copy holds the dialog's values; the window's centre goes into both copies.
    recordwindowcentre();
    settings.apply();
    session->applysettings();
    tsettings& s = settings.working;
    if (window) {
        SDL_SetWindowAlwaysOnTop(window, s.StayOnTop ? SDL_TRUE : SDL_FALSE);
        SDL_SetWindowBordered(window, s.NoWindow ? SDL_FALSE : SDL_TRUE);
    }
    sound->setvolume(s.Volume);
    if (link) link->options.RemoteJoy = s.RemoteJoy;
    if (running && !paused) startsound();
    setupdisplay();
    applywindowmode();
}

// ---------------------------------------------------------------------------------------------
// Picture
// ---------------------------------------------------------------------------------------------

void Tfgb::onsgbborder(void* context) {
    auto* self = static_cast<Tfgb*>(context);
    self->borderdirty = true;
}

void Tfgb::setupdisplay() {
    const tsettings& s = settings.working;
    // The old output's last picture becomes the first picture of the new one.
    if (output) {
        tbitmap last;
        if (output->getpicture(last)) lastpicture = std::move(last);
    }
    renderer->gfxout = nullptr;
    output.reset();
    surface = nullptr;
    if (!s.nullgfx) {
        // `bpp` chooses the surface depth (automatic is 32 bits); the window shows every depth.
        auto memory = std::make_unique<tgfxwrapmemory>(requestedbits(s.bpp));
        tgfxwrapmemory* m = memory.get();
        auto wrapped = std::make_unique<tgfxoutpalwrapped>(std::move(memory));
        try {
            setuppicture(*renderer, *wrapped, session->videooptions());
            output = std::move(wrapped);
            surface = m;
        } catch (const std::exception& e) {
            messagebox(window, std::string("initializing DIB failed: ") + e.what(), "error");
        }
    }
    if (!output) {
        output = std::make_unique<tgfxoutpalnull>();
        setuppicture(*renderer, *output, session->videooptions());
    }
    if (lastpicture) {
        drawpicture(*output, *lastpicture, s.colors);
    } else if (s.BootImage && surface) {
        drawpicture(*output, makebootimage(), s.colors);
    } else {
        if (blankwithdmgcolors(s, machine->gbcmode, machine->sgbmode)) applydmgcolors(*output, s.colors);
        renderer->blank();
    }
    output->present();
    lastpresent = -1;
    borderdirty = true;
    borderchooser.forget();
    choosebordernow();
}

void Tfgb::choosebordernow() {
    if (!borderdirty) return;
    borderdirty = false;
    const uint32_t* sgbpixels = sgbborderpixels(machine->sgbunit());
    const twinsize before = bordersize(border.width(), border.height());
    // An SGB border change alone keeps the bitmap border already read.
    border = borderchooser.choose(session->videooptions(), machine->gbcmode, machine->sgbmode, sgbpixels, programdir);
    uploadborder();
    const twinsize after = bordersize(border.width(), border.height());
    tsettings& s = settings.working;
    // A border of another size: the window keeps its picture size and grows around it.
    if (!(before == after) && window && windownormal() && s.Windowmode < 3 && !s.DebugScreen) {
        twinsize c = setupclientsize(s, after);
        resizing = true;
        SDL_SetWindowSize(window, c.w, c.h);
        resizing = false;
    }
    layout();
}

void Tfgb::uploadborder() {
    if (!border.present || border.picture.width <= 0 || !bordertexture) return;
    // The border picture is 32-bit 0x00RRGGBB words: blue, green, red, 0 in memory; the
    // texture keeps no alpha, so the unused byte cannot make the picture transparent.
    glBindTexture(GL_TEXTURE_2D, bordertexture);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, border.picture.stride / 4);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB8, border.picture.width, border.picture.height, 0, GL_BGRA,
                 GL_UNSIGNED_BYTE, border.picture.pixels.data());
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
}

void Tfgb::uploadpicture() {
    if (!surface || surface->presented.empty() || surface->presentcount == lastpresent) return;
    lastpresent = surface->presentcount;
    glBindTexture(GL_TEXTURE_2D, picturetexture);
    const tgfxwrapmemory& m = *surface;
    if (m.bitsperpixel == 32 && m.pitch > 0) {
        glPixelStorei(GL_UNPACK_ROW_LENGTH, m.pitch / 4);
        glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, 160, 144, GL_BGRA, GL_UNSIGNED_BYTE, m.presented.data());
        glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
        return;
    }
    // Other depths: widened into 0x00RRGGBB words first, through the surface's own channel
    // layout (16 and 24 bits) or its hardware palette (8 bits, entries 0x00BBGGRR).
    staging.resize(size_t(160) * 144);
    const int32_t pitch = m.pitch < 0 ? -m.pitch : m.pitch;
    if (pitch <= 0 || m.presented.size() < size_t(pitch) * 144 || m.bytesperpixel * 160 > pitch) return;
    auto widen = [](uint32_t v, int32_t shift, int32_t width) -> uint32_t {
        if (width <= 0) return 0;
        uint32_t c = (v >> shift) & ((1u << width) - 1);
        return width >= 8 ? (c >> (width - 8)) : (c << (8 - width)) | (c >> (2 * width - 8 > 0 ? 2 * width - 8 : 0));
    };
    for (int y = 0; y < 144; y++) {
        const uint8_t* row = m.presented.data() + size_t(pitch) * size_t(y);
        uint32_t* out = staging.data() + size_t(y) * 160;
        for (int x = 0; x < 160; x++) {
            if (m.bitsperpixel == 8) {
                uint32_t c = m.hwpalette[row[x]];
                out[x] = ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF);
                continue;
            }
            uint32_t v = 0;
            for (int b = 0; b < m.bytesperpixel; b++) v |= uint32_t(row[x * m.bytesperpixel + b]) << (8 * b);
            out[x] = (widen(v, m.redshift, m.redwidth) << 16) | (widen(v, m.greenshift, m.greenwidth) << 8) |
                     widen(v, m.blueshift, m.bluewidth);
        }
    }
    glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, 160, 144, GL_BGRA, GL_UNSIGNED_BYTE, staging.data());
}

twinsize Tfgb::clientsize() const {
    int w = 0, h = 0;
    if (window) SDL_GL_GetDrawableSize(window, &w, &h);
    return {w, h};
}

void Tfgb::layout() {
    if (!window) return;
    tsettings& s = settings.working;
    if (s.Windowmode == 3 || s.Windowmode == 4 || !windownormal() || s.DebugScreen) return;
    twinsize b = bordersize(border.width(), border.height());
    // A window being resized snaps to whole multiples of the picture (or border) size.
    int w = 0, h = 0;
    SDL_GetWindowSize(window, &w, &h);
    twinsize snapped = snapclientsize({w, h}, b);
    // A window manager that insists on its own size (tiling) answers with the same size
    // again; then it wins, instead of the two resizing each other forever.
    if (!resizing && !(snapped == twinsize{w, h}) && !(snapfrom == twinsize{w, h})) {
        snapfrom = {w, h};
        resizing = true;
        SDL_SetWindowSize(window, snapped.w, snapped.h);
        resizing = false;
    }
    twinsize pic = picturesize(clientsize(), b);
    if (pic.w > 0 && pic.h > 0) {
        s.Width = pic.w;
        s.Height = pic.h;
    }
}

void Tfgb::applywindowmode() {
    if (!window) return;
    tsettings& s = settings.working;
    if (s.Windowmode == 3 || s.Windowmode == 4) {
        int rc;
        if (exclusivefullscreen) {
            SDL_DisplayMode want{};
            want.w = s.DDrawFSWidth;
            want.h = s.DDrawFSHeight;
            want.refresh_rate = s.DDrawFSHz;
            SDL_DisplayMode closest{};
            int display = std::max(0, SDL_GetWindowDisplayIndex(window));
            rc = SDL_GetClosestDisplayMode(display, &want, &closest) ? 0 : -1;
            if (rc == 0) rc = SDL_SetWindowDisplayMode(window, &closest);
            if (rc == 0) rc = SDL_SetWindowFullscreen(window, SDL_WINDOW_FULLSCREEN);
            if (rc == 0) {
                SDL_ShowCursor(SDL_DISABLE);
                cursorhidden = true;
            }
        } else {
            rc = SDL_SetWindowFullscreen(window, SDL_WINDOW_FULLSCREEN_DESKTOP);
        }
        if (rc != 0) {
            exclusivefullscreen = false;
            s.Windowmode = 0;
            SDL_SetWindowFullscreen(window, 0);
            messagebox(window, "failed to set fullscreen mode", "error");
        }
        return;
    }
    exclusivefullscreen = false;
    const bool wasfullscreen = SDL_GetWindowFlags(window) & (SDL_WINDOW_FULLSCREEN | SDL_WINDOW_FULLSCREEN_DESKTOP);
    SDL_SetWindowFullscreen(window, 0);
    if (wasfullscreen && !s.DebugScreen) {
        // Back in a window: the client size the settings keep (`Width` x `Height` with the
        // border), not whatever size the full-screen mode left behind.
        twinsize c = setupclientsize(s, bordersize(border.width(), border.height()));
        resizing = true;
        SDL_SetWindowSize(window, c.w, c.h);
        resizing = false;
    }
}

bool Tfgb::modalopen() const {
    return filedialog.isopen() || statewindows.modalopen() || (hooks.modal && hooks.modal());
}

void Tfgb::updatecaption() {
    if (!window) return;
    tcaptioninfo c;
    double now = clockseconds();
    c.debugging = debugger && debugger->runcontrol().stopped();
    c.statusactive = status.active(now);
    c.status = status.text();
    c.romloaded = session->romloaded();
    c.paused = paused;
    c.framerate = settings.working.FrameRate;
    c.framesshown = pacer.lastdrawn;
    c.framesemulated = pacer.lastemulated;
    c.link = linkstate();
    if (session->romloaded()) {
        uint8_t header[16];
        for (int i = 0; i < 16; i++) header[i] = machine->cartridge().romread(uint16_t(0x134 + i));
        c.romtitle = romtitle(header);
    }
    std::string caption = captiontext(c);
    if (caption != lastcaption) {
        SDL_SetWindowTitle(window, caption.c_str());
        lastcaption = caption;
    }
}

// The picture, its border and the texts on it, behind every window of the current ImGui frame.
void Tfgb::drawscreen() {
    const tsettings& s = settings.working;
    twinsize client = clientsize();
    ImGuiIO& io = ImGui::GetIO();
    // Drawable pixels versus ImGui's window coordinates (they differ on high-density screens).
    float sx = client.w > 0 ? io.DisplaySize.x / float(client.w) : 1.0f;
    float sy = client.h > 0 ? io.DisplaySize.y / float(client.h) : 1.0f;
    tscreenview view;
    view.client = client;
    view.border = bordersize(border.width(), border.height());
    view.screen = {border.screenx, border.screeny};
    view.bordered = border.present;
    view.windowmode = s.Windowmode;
    view.exclusive = exclusivefullscreen;
    view.askedmode = {s.DDrawFSWidth, s.DDrawFSHeight};
    const tscreenlayout place = screenlayout(view);
    const twinrect& borderrect = place.border;
    const twinrect& picrect = place.picture;
    ImDrawList* bg = ImGui::GetBackgroundDrawList();
    auto toui = [&](int x, int y) { return ImVec2(float(x) * sx, float(y) * sy); };
    if (border.present) {
        bg->AddImage(reinterpret_cast<ImTextureID>(uintptr_t(bordertexture)), toui(borderrect.x, borderrect.y),
                     toui(borderrect.x + borderrect.w, borderrect.y + borderrect.h));
    }
    if (surface)
        bg->AddImage(reinterpret_cast<ImTextureID>(uintptr_t(picturetexture)), toui(picrect.x, picrect.y),
                     toui(picrect.x + picrect.w, picrect.y + picrect.h));
    // The border picture's one-pixel black frame, drawn on its outermost pixels: the window
    // is a whole multiple of the border, so a frame outside it would lie off the client.
    if (place.frame) {
        const float px = sx > 0 ? sx : 1.0f, py = sy > 0 ? sy : 1.0f;
        const ImVec2 a = toui(borderrect.x, borderrect.y);
        const ImVec2 b = toui(borderrect.x + borderrect.w, borderrect.y + borderrect.h);
        const ImU32 black = IM_COL32(0, 0, 0, 255);
        bg->AddRectFilled(a, ImVec2(b.x, a.y + py), black);
        bg->AddRectFilled(ImVec2(a.x, b.y - py), b, black);
        bg->AddRectFilled(a, ImVec2(a.x + px, b.y), black);
        bg->AddRectFilled(ImVec2(b.x - px, a.y), b, black);
    }
    // Texts on the picture sit on a dark backdrop, readable on every shade of the game.
    auto overlaytext = [&](ImVec2 at, const std::string& text) {
        ImVec2 size = ImGui::CalcTextSize(text.c_str());
        bg->AddRectFilled(ImVec2(at.x - 2, at.y - 1), ImVec2(at.x + size.x + 2, at.y + size.y + 1),
                          IM_COL32(0, 0, 0, 160));
        bg->AddText(at, IM_COL32(255, 255, 255, 255), text.c_str());
    };
    if (s.FrameRate && running) {
        // The counts without the trailing blanks, which would only widen the backdrop.
        std::string text = pacer.frameratetext();
        while (!text.empty() && text.back() == ' ') text.pop_back();
        overlaytext(toui(picrect.x + 8, picrect.y + 8), text);
    }

    // Status messages also show on the picture, where a full-screen window has no caption.
    if (status.active(lastuidraw)) {
        ImVec2 at = toui(picrect.x + 4, picrect.y + picrect.h - 4);
        at.y -= ImGui::GetTextLineHeight();
        overlaytext(at, status.text());
    }

}

void Tfgb::drawui(int swapinterval) {
    // Commands run from inside the frame (menus, dialogs) may ask questions, whose nested
    // loop draws in a context of its own, never this frame again.
    if (inuiframe) return;
    lastuidraw = clockseconds();
    // The status message runs out on its own.
    if (!status.text().empty() && !status.active(lastuidraw)) {
        status.clear();
        updatecaption();
    }
    uploadpicture();
    ImGui_ImplOpenGL3_NewFrame();
    ImGui_ImplSDL2_NewFrame();
    ImGui::NewFrame();
    inuiframe = true;
    drawscreen();

    popupmenu();
    if (options) options->draw();
    if (hooks.drawwindows) hooks.drawwindows();
    tfiledialog::tresult r = filedialog.draw();
    if (r == tfiledialog::chosen) {
        std::string path = filedialog.path();
        tfilepurpose purpose = filepurpose;
        filepurpose = tfilepurpose::none;
        if (purpose == tfilepurpose::startfile) {
            startfile(path);
        } else if (purpose == tfilepurpose::loadrom) {
            if (isstatefilename(path) ? loadstatefile(path) : loadrom(path, true)) startloop();
        }
    } else if (r == tfiledialog::cancelled) {
        filepurpose = tfilepurpose::none;
    }

    ImGui::Render();
    inuiframe = false;
    escapepressed = returnpressed = false;
    present(swapinterval);
    // Keys held when a menu or dialog took the keyboard are let go, so that nothing stays
    // pressed in the game while the keys belong to the menu.
    const bool uikeys = uiwantskeyboard();
    if (uikeys && !uikeyboard) input.releaseall(*this);
    uikeyboard = uikeys;
}

// Puts the rendered ImGui frame on the screen; `swapinterval` vertical blanks pass before the
// swap (0: at once).
void Tfgb::present(int swapinterval) {
    twinsize client = clientsize();
    glViewport(0, 0, client.w, client.h);
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    ImGui_ImplOpenGL3_RenderDrawData(ImGui::GetDrawData());
    if (swapinterval != currentinterval && SDL_GL_SetSwapInterval(swapinterval) == 0) currentinterval = swapinterval;
    SDL_GL_SwapWindow(window);
    // A swap that waited for the blank returns only after it: the frame loop counts on it.
    if (currentinterval > 0) glFinish();
}

// ---------------------------------------------------------------------------------------------
// Message boxes drawn by the window (when the desktop has none)
// ---------------------------------------------------------------------------------------------

tmsgresult Tfgb::askinwindow(const tmessagebox& box) {
    // Without the window's drawing, or once the program is ending (no loop would show the box),
    // the text goes to stderr; the closing's own reports (a battery file that could not be
    // written) still show, the window being there until they are answered.
    if (!imguiready || !boxcontext || (quitrequested && !closingreports)) {
        std::fprintf(stderr, "%s: %s\n", box.title.c_str(), msgboxbody(box.text).c_str());
        return msgboxescape(box.buttons);
    }
    // Questions of the start-up come before the window is shown.
    if (SDL_GetWindowFlags(window) & SDL_WINDOW_HIDDEN) SDL_ShowWindow(window);
    input.releaseall(*this);
    // The Return or Esc that led here (confirming a file or an input box) is not the answer:
    // only a key pressed while the box shows is.
    escapepressed = returnpressed = false;
    const tmsgresult answer = tov::askinwindow(boxes, box, [this] {
        messagepass();
        return !quitrequested || closingreports;
    });
    // The box's loop fed its events to the boxes' context: releases of keys that the outer
    // context saw pressed never reached it (a held Return would repeat there and close every
    // text field at once). Its keys become what the keyboard holds now.
    ImGuiIO& io = ImGui::GetIO();
    int count = 0;
    const Uint8* held = SDL_GetKeyboardState(&count);
    for (int i = 0; i < IM_ARRAYSIZE(io.KeysDown); i++) io.KeysDown[i] = i < count && held[i];
    const SDL_Keymod mod = SDL_GetModState();
    io.KeyCtrl = (mod & KMOD_CTRL) != 0;
    io.KeyShift = (mod & KMOD_SHIFT) != 0;
    io.KeyAlt = (mod & KMOD_ALT) != 0;
    io.KeySuper = (mod & KMOD_GUI) != 0;
    return answer;
}

// One pass of a message box's nested loop: events, sound pages, and the picture with the box
// on top, drawn in the boxes' own ImGui context (the main one may be in the middle of a frame).
void Tfgb::messagepass() {
    ImGuiContext* outer = ImGui::GetCurrentContext();
    ImGui::SetCurrentContext(boxcontext);
    SDL_Event e;
    while (SDL_PollEvent(&e)) handleevent(e);
    if (sound) sound->serviceoutput();
    uploadpicture();
    ImGui_ImplOpenGL3_NewFrame();
    ImGui_ImplSDL2_NewFrame();
    ImGui::NewFrame();
    drawscreen();
    drawmessagebox();
    ImGui::Render();
    escapepressed = returnpressed = false;
    present(0);
    ImGui::SetCurrentContext(outer);
    SDL_Delay(5);
}

void Tfgb::drawmessagebox() {
    const tmessagebox* box = boxes.shown();
    if (!box) return;
    const std::string id = box->title + "##messagebox" + std::to_string(boxes.shownid());
    if (!ImGui::IsPopupOpen(id.c_str())) ImGui::OpenPopup(id.c_str());
    const ImGuiIO& io = ImGui::GetIO();
    ImGui::SetNextWindowPos(ImVec2(io.DisplaySize.x / 2, io.DisplaySize.y / 2), ImGuiCond_Always, ImVec2(0.5f, 0.5f));
    ImGui::SetNextWindowSizeConstraints(ImVec2(0, 0), io.DisplaySize);
    if (!ImGui::BeginPopupModal(id.c_str(), nullptr, ImGuiWindowFlags_AlwaysAutoResize | ImGuiWindowFlags_NoMove))
        return;
    const ImGuiStyle& st = ImGui::GetStyle();
    // The text scrolls when the window is too small for it; the buttons always stay in view.
    const std::string body = msgboxbody(box->text);
    const float wrap = std::max(40.0f, std::min(420.0f, io.DisplaySize.x - 4 * st.WindowPadding.x));
    const ImVec2 size = ImGui::CalcTextSize(body.c_str(), nullptr, false, wrap);
    const float room = io.DisplaySize.y - ImGui::GetFrameHeightWithSpacing() * 2 - 4 * st.WindowPadding.y;
    // As wide as the title too, so that a short text does not cut the caption off.
    const float width = std::max(size.x, std::min(wrap, ImGui::CalcTextSize(box->title.c_str()).x + st.FramePadding.x * 2));
    ImGui::BeginChild("text", ImVec2(width + st.ScrollbarSize, std::max(ImGui::GetTextLineHeight(), std::min(size.y, room))));
    ImGui::PushTextWrapPos(wrap);
    ImGui::TextUnformatted(body.c_str());
    ImGui::PopTextWrapPos();
    ImGui::EndChild();
    const auto buttons = msgboxbuttons(box->buttons);
    int clicked = -2;
    for (size_t i = 0; i < buttons.size(); i++) {
        if (i) ImGui::SameLine();
        if (ImGui::Button(buttons[i].label, ImVec2(std::max(60.0f, ImGui::CalcTextSize(buttons[i].label).x + 16), 0)))
            clicked = int(i);
    }
    // Return gives the first button, Esc the last, as the desktop's boxes do.
    if (returnpressed) clicked = 0;
    if (escapepressed) clicked = -1;
    if (clicked != -2) {
        boxes.answer(clicked);
        ImGui::CloseCurrentPopup();
    }
    ImGui::EndPopup();
}

namespace {

// One entry of the pop-up menu: a command, a sub-menu or a separator.
struct tmenuentry {
    std::string label;
    std::string shortcut;
    std::function<void()> action;
    bool checked = false;
    bool enabled = true;
    bool separator = false;
    std::vector<tmenuentry> children;  // a sub-menu when not empty
};

tmenuentry command(std::string label, std::function<void()> action, bool checked = false, bool enabled = true,
                   std::string shortcut = "") {
    tmenuentry e;
    e.label = std::move(label);
    e.shortcut = std::move(shortcut);
    e.action = std::move(action);
    e.checked = checked;
    e.enabled = enabled;
    return e;
}

tmenuentry submenu(std::string label, std::vector<tmenuentry> children) {
    tmenuentry e;
    e.label = std::move(label);
    e.children = std::move(children);
    return e;
}

tmenuentry separator() {
    tmenuentry e;
    e.separator = true;
    return e;
}

// Rows of menu items that fit in the window (ImGui keeps popups inside the display's safe area).
int menurows() {
    const ImGuiStyle& st = ImGui::GetStyle();
    const float height = ImGui::GetIO().DisplaySize.y - 2 * st.DisplaySafeAreaPadding.y - 2 * st.WindowPadding.y;
    return menurowsfitting(height, ImGui::GetTextLineHeight(), st.ItemSpacing.y);
}

// A menu item acts on the release of the button; in a small window a sub-menu opened by the
// press lies over its parent, and the release would choose whatever item of it came under
// the cursor (clicking "window size" made the window 1x). Only a click whose press was on
// the item itself counts: `pressedon` is the item under the cursor when the button went down.
void notepress(ImGuiID& pressedon, const char* label) {
    if (ImGui::IsMouseClicked(0) && ImGui::IsItemHovered()) pressedon = ImGui::GetID(label);
}

// Draws entries[first...]; what does not fit goes into a "more" sub-menu.
void drawmenu(const std::vector<tmenuentry>& entries, ImGuiID& pressedon, size_t first = 0) {
    const int count = int(entries.size() - first);
    const int shown = menuentriesshown(count, menurows());
    for (size_t i = first; i < first + size_t(shown); i++) {
        const tmenuentry& e = entries[i];
        if (e.separator) {
            ImGui::Separator();
        } else if (!e.children.empty()) {
            const bool open = ImGui::BeginMenu(e.label.c_str(), e.enabled);
            notepress(pressedon, e.label.c_str());
            if (open) {
                drawmenu(e.children, pressedon);
                ImGui::EndMenu();
            }
        } else {
            // A release whose press was elsewhere finds the item disabled for that one frame:
            // it neither acts nor closes the menu.
            const bool foreign = ImGui::IsMouseReleased(0) && pressedon != ImGui::GetID(e.label.c_str());
            const bool chosen = ImGui::MenuItem(e.label.c_str(), e.shortcut.empty() ? nullptr : e.shortcut.c_str(),
                                                e.checked, e.enabled && !foreign);
            notepress(pressedon, e.label.c_str());
            if (chosen && e.action) e.action();
        }
    }
    if (shown < count) {
        const bool open = ImGui::BeginMenu("more");
        notepress(pressedon, "more");
        if (open) {
            drawmenu(entries, pressedon, first + size_t(shown));
            ImGui::EndMenu();
        }
    }
}

}  // namespace

void Tfgb::popupmenu() {
    if (openmenu) {
        ImGui::OpenPopup("PopupMenu1");
        openmenu = false;
    }
    // A small window gets a tighter menu, so that the check marks and arrows stay in view.
    const bool narrow = ImGui::GetIO().DisplaySize.x < 320;
    if (narrow) {
        ImGui::PushStyleVar(ImGuiStyleVar_WindowPadding, ImVec2(3, 3));
        ImGui::PushStyleVar(ImGuiStyleVar_ItemSpacing, ImVec2(4, 2));
    }
    menuopen = ImGui::BeginPopup("PopupMenu1");
    if (menuopen) menuentries();
    if (narrow) ImGui::PopStyleVar(2);
}

void Tfgb::menuentries() {
    // Esc closes the menu (and, the keys being the menu's, does nothing else).
    if (escapepressed) ImGui::CloseCurrentPopup();
    tsettings& s = settings.working;
    std::vector<tmenuentry> menu;
    menu.push_back(command("pause", [this] { mnupause(); }, paused, running));
    menu.push_back(command("load rom...", [this] { mnuloadrom(); }));
    // The demo cartridge built with the program, when it lies beside it.
    const std::string demo = programdir + "demo.gb";
    if (SDL_RWops* f = SDL_RWFromFile(demo.c_str(), "rb")) {
        SDL_RWclose(f);
        menu.push_back(command("demo cartridge", [this, demo] {
            if (loadrom(demo, true)) startloop();
        }));
    }
    std::vector<tmenuentry> recent;
    for (int n = 0; n < int(s.recent.size()); n++) {
        const std::string& path = s.recent[size_t(n)];
        if (path.empty()) continue;
        recent.push_back(command(recentitemtext(n, path) + "##recent" + std::to_string(n), [this, path] {
            if (loadrom(path, true)) startloop();
        }));
    }
    if (recent.empty()) recent.push_back(command("(none)", nullptr, false, false));
    menu.push_back(submenu("recent files", std::move(recent)));
    // Checked while sound plays (or, before a game runs, when it is switched on).
    menu.push_back(command("sound", [this] { mnusound(); }, running && !paused ? soundon : bool(s.WaveOut)));
    menu.push_back(command("options...", [this] { mnuoptions(); }, false, true, "F11"));
    menu.push_back(command("save screenshot", [this] { mnuscreenshot(); }, false, output && surface));
    std::vector<tmenuentry> other;
    const int mask = sound->getchannelmask();
    for (int ch = 0; ch < 4; ch++)
        other.push_back(command("sound channel " + std::to_string(ch + 1), [this, ch] { mnusoundchannel(ch); },
                                !((mask >> ch) & 1), true, "F" + std::to_string(ch + 5)));
    other.push_back(separator());
    other.push_back(command("reset", [this] { mnureset(); }, false, session->romloaded()));
    other.push_back(command("rom info", [this] { mnurominfo(); }));
    other.push_back(command("clear recent files", [this] { mnuclearrecent(); }));
    other.push_back(command("about", [this] { mnuabout(); }));
    menu.push_back(submenu("other", std::move(other)));
    std::vector<tmenuentry> sizes;
    const twinsize pic = picturesize(clientsize(), bordersize(border.width(), border.height()));
    for (int k = 1; k <= 4; k++)
        sizes.push_back(command(std::to_string(k) + "x", [this, k] { menusize(k); },
                                s.Windowmode < 3 && sizeitemchecked(k, pic)));
    sizes.push_back(separator());
    sizes.push_back(command("full screen", [this] { mnuFullscreen(); }, s.Windowmode == 3 || exclusivefullscreen,
                            true, "Alt+Enter"));
    sizes.push_back(command("full screen stretched", [this] { menufullscreenstretched(); },
                            s.Windowmode == 4 && !exclusivefullscreen));
    menu.push_back(submenu("window size", std::move(sizes)));
    // Commands of the other blocks, grouped by their sub-menus in the order they were added.
    auto extension = [](const tmenuextension& item) {
        return command(item.label, item.action, item.checked && item.checked(), !item.enabled || item.enabled(),
                       item.shortcut);
    };
    for (const auto& item : hooks.menu) {
        if (item.submenu.empty()) {
            menu.push_back(extension(item));
            continue;
        }
        auto known = std::find_if(menu.begin(), menu.end(), [&](const tmenuentry& e) {
            return !e.children.empty() && e.label == item.submenu;
        });
        if (known == menu.end()) {
            menu.push_back(submenu(item.submenu, {}));
            known = menu.end() - 1;
        }
        known->children.push_back(extension(item));
    }
    menu.push_back(separator());
    menu.push_back(command("exit", [this] { requestclose(true); }));
    if (ImGui::IsMouseClicked(0)) menupress = 0;
    drawmenu(menu, menupress);
    ImGui::EndPopup();
}

}  // namespace tov
