// Run control: stops the machine in the debugger (a nested loop that keeps the program's
// other windows alive), and the commands that resume it: step, trace, step over, step out,
// run to cursor, run, animate. The window and the program's message loop are reached through
// tdebuggerhost, which the desktop program implements (tov-run and the tests have their own).
#pragma once
#include <cstdint>
#include <functional>
#include <string>

#include "core/gb.h"
#include "debugger/debuggercore.h"

namespace tov {

// What run control needs of the program around it.
class tdebuggerhost {
public:
    virtual ~tdebuggerhost() = default;
    // The machine stopped: pause the program's activity (sound off), show the debugger window
    // with this caption and refresh its views.
    virtual void debuggerstopped(const std::string& caption, int32_t reason) = 0;
    // The window's contents changed while stopped (a reset, a register edit): refresh the views.
    virtual void refreshviews() {}
    // LY moved since the last stop and the frame is partly drawn: show what there is.
    virtual void showpartialframe() {}
    // Process the pending window messages once; commands given there call run control.
    virtual void processmessages() = 0;
    // Wait a little inside the nested loop (5 ms in the desktop program).
    virtual void idle() = 0;
    // The user resumed: clear the keyboard state, show the main window, restart sound.
    virtual void debuggerresumed() {}
};

class tdebuggertov : public tdebugport {
public:
    // Attaches itself to the machine's debugger seam; the host may be given later.
    explicit tdebuggertov(tgb& machine, tdebuggerhost* host = nullptr);
    ~tdebuggertov() override;
    tdebuggertov(const tdebuggertov&) = delete;
    tdebuggertov& operator=(const tdebuggertov&) = delete;

    void sethost(tdebuggerhost* h) { host = h; }
    // New options (start-up and every Apply): the checks are rebuilt.
    void setoptions(const tdebuggeroptions& o);

    tdebuggercore core;

    // ---- tdebugport ----
    int checkbreak() override { return core.checkbeforeinstruction(); }
    void enterdebugger(int reason) override;
    void interruptnotice() override { core.interruptnotice(); }
    void machinereset() override { core.rebuildchecks(); }

    // ---- Commands (while stopped they end the nested loop) ----
    void step(int32_t reason) { core.step(reason); }
    void trace();                                   // F7
    void stepover();                                // F3
    void stepout();                                 // F8
    void runtocursor(uint16_t address, int32_t bank);  // F4: the cursor line's address and bank
    // F2: removes the user breakpoint at the address and bank (or any bank), else adds one.
    // True when one was added.
    bool togglebreakpoint(uint16_t address, int32_t bank);
    void run();                                     // F9
    void animate();
    void resume() { resumerequested = true; }
    // "jump (SP); SP=SP+2": PC from the word at SP, low byte first.
    void returnfromcall();
    void reset();
    // Start-up with `StartDebug`: stop at the first instruction.
    void startup();
    // `mnudebugger` and the "pause" input with `DebugEsc`: stop before the next instruction.
    void breaknow();
    // `mnudebugmode`: its check mark is the machine's `debugstepping` flag; the command flips
    // it (the next change of the breakpoints sets it from them again).
    bool debugmode() const { return gb.debugstepping; }
    void toggledebugmode() { gb.debugstepping = !gb.debugstepping; }

    // ---- What the window and the other blocks see ----
    bool stopped() const { return isstopped; }
    // A command given while stopped resumes the machine when the host's message pass ends.
    bool resuming() const { return resumerequested; }
    bool animating() const { return animateon; }
    bool tracing() const { return traceon; }
    // The last resume was Run (F9): the machine goes on until a breakpoint, not one step.
    bool runningfree() const { return freerun; }
    int32_t lastreason() const { return reason; }
    // While stopped() the main window's caption reads "tov (debugging)" (tcaptioninfo::debugging).
    // The debugger window's caption: the stop message, " - " and the title (the title alone without one).
    std::string caption() const;
    static constexpr const char* title = "debugger";

    // Hooks: the cheat list is told that the machine stopped and goes on; the processor
    // meter takes the counted cycles through core.takemetercycles().
    std::function<void()> onstop;
    std::function<void()> onresume;

private:
    tgb& gb;
    tdebuggerhost* host = nullptr;
    bool isstopped = false;
    bool resumerequested = false;
    bool traceon = false;
    bool animateon = false;
    bool freerun = false;
    int32_t reason = 0;
    int lastly = -1;
};

}  // namespace tov
