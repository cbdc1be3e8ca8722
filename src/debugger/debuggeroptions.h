// What the debugger reads of the settings, named by the option keys. The session fills it
// from the working settings (debuggeroptionsof); the debugger rebuilds its checks from it.
#pragma once

namespace tov {

struct tdebuggeroptions {
    bool DebugEcho = false;           // stop on echo-RAM access
    bool DebugSramBreak = false;      // stop on access to disabled cartridge RAM
    bool DebugVRAMbreak = false;      // stop on access to VRAM (and OAM) the CPU cannot reach
    bool DebugMBCaddr = false;        // stop on writes the controller does not understand
    bool DebugWRAMbreak = false;      // stop on reading never-written work or high RAM
    bool DebugDisableLCD = false;     // stop when the LCD is switched off outside VBlank
    bool DebugSgbStartBreak = false;  // stop at the start of an SGB packet transfer
    bool DebugSrcBrk = false;         // `ld b,b` acts as a breakpoint
    bool DebugInc16OAMBreak = false;  // 16-bit inc/dec of a register pointing into OAM
    bool DebugHaltBugBreak = false;   // stop when the HALT bug happens
    bool CpuMeter = false;            // count the instructions' cycles for the load meter
    bool StartDebug = false;          // stop at the first instruction
    bool operator==(const tdebuggeroptions&) const = default;
};

}  // namespace tov
