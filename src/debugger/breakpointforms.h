// The breakpoint windows' logic (`TFormbreakpoints` for execution breakpoints,
// `TFormaccessbreakpoints` for the user's access breakpoints): the item texts in list order,
// selection, and adding, replacing, enabling, disabling and deleting from the edit fields;
// and run control as the debugger window drives it.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "debugger/debugform.h"
#include "debugger/debuggertov.h"

namespace tov {

// Run control and the breakpoint marks of the code view over `tdebuggertov`.
class tdebuggercontrol : public tdebugcontrol, public tbreakpointmarks {
public:
    explicit tdebuggercontrol(tdebuggertov& runcontrol) : tov(runcontrol) {}
    bool stopped() const override { return tov.stopped(); }
    void trace() override { tov.trace(); }
    void stepover() override { tov.stepover(); }
    void stepout() override { tov.stepout(); }
    // The bank of the line under the cursor (the view bank): a line of a bank not mapped now
    // is reached when that bank is.
    void runtocursor(uint16_t address, int bank) override { tov.runtocursor(address, bank); }
    void togglebreakpoint(uint16_t address, int bank) override { tov.togglebreakpoint(address, bank); }
    void run() override { tov.run(); }
    void animate() override { tov.animate(); }
    void jumpreturn() override { tov.returnfromcall(); }
    void reset() override { tov.reset(); }
    void stop() override { tov.breaknow(); }
    bool evaluate(const std::string& text, std::string& result) override;
    const tbreakpointmarks* breakpointmarks() const override { return this; }
    const tsymboltable* symbols() const override { return &tov.core.symbols; }
    // A user breakpoint (not temporary, not any-address) at the address for this bank or any bank.
    bool hasexecutionbreakpoint(uint16_t address, int bank) const override;

private:
    tdebuggertov& tov;
};

// `TFormbreakpoints`: the execution breakpoints that are neither temporary nor checks of
// kinds 4, 5 and 7, in list order.
class tbreakpointsform {
public:
    explicit tbreakpointsform(tdebuggercore& debuggercore) : core(debuggercore) { rebuild(); }

    std::string Editpc, Editcondition;
    std::vector<bool> selected;  // one per item

    void rebuild();  // after every change and when the window is shown
    int count() const { return int(items.size()); }
    const std::string& text(int i) const { return texts[size_t(i)]; }
    static std::string itemtext(const tbreakpoint& b);

    // Buttonadd: true when a breakpoint was added (the fields are cleared then).
    bool add();
    void deleteselected();  // Buttondel and the Delete key
    void enableselected() { setselected(false); }
    void disableselected() { setselected(true); }
    bool replace();  // delete the selected items, then add
    void clickitem(int i);  // fills the fields from the item

private:
    tdebuggercore& core;
    std::vector<tbreakpoint*> items;
    std::vector<std::string> texts;
    void setselected(bool disabled);
};

// `TFormaccessbreakpoints`: the access breakpoints without a check function (the user's own).
class taccessbreakpointsform {
public:
    explicit taccessbreakpointsform(tdebuggercore& debuggercore) : core(debuggercore) { rebuild(); }

    std::string Editaddr, Editvalue;
    bool Checkonread = false, Checkonwrite = true;
    std::vector<bool> selected;

    void rebuild();
    int count() const { return int(items.size()); }
    const std::string& text(int i) const { return texts[size_t(i)]; }
    static std::string itemtext(const taccessbreakpoint& a);

    bool add();
    void deleteselected();
    void enableselected() { setselected(false); }
    void disableselected() { setselected(true); }
    bool replace();
    void clickitem(int i);

private:
    tdebuggercore& core;
    std::vector<taccessbreakpoint*> items;
    std::vector<std::string> texts;
    void setselected(bool disabled);
};

}  // namespace tov
