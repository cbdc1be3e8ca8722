// The debugger's core: the execution and access breakpoint lists, the checks built from the
// options, and the decision before each instruction whether the machine stops. Accesses are
// seen before they happen by running the next instruction on a private copy of the CPU whose
// memory callbacks only observe.
#pragma once
#include <cstdint>
#include <string>

#include "core/cpu.h"
#include "core/gb.h"
#include "debugger/debuggeroptions.h"
#include "debugger/symbols.h"
#include "debugger/views.h"

namespace tov {

class tgb;
class tdebuggercore;

// Stop reasons.
enum : int32_t {
    stopnone = 0,
    stopbreakpoint = 1,
    stopinvalidopcode = 2,
    stoptracing = 3,
    stopstep = 4,
    stopaccess = 5,
    stophaltbug = 6,
    stopvram = 7,
    stopoam = 8,
    stopecho = 9,
    stopuninitwram = 10,
    stopsram = 12,
    stopmbcwrite = 13,
    stoplcdoff = 14,
    stopinc16oam = 15,
    stopstepout = 16,
    stopsgbstart = 17,
};
// The message of a stop reason ("" for 0 and the plain step, "unknown error" for codes
// without one).
const char* stopmessage(int32_t reason);

// The instruction with this opcode reads and writes nothing but its own bytes (the probe
// can be spared for it).
bool touchesonlyitsbytes(uint8_t opcode);

// Intrusive doubly linked list node; a node belongs to at most one list.
struct tlinklist {
    tlinklist* next = nullptr;
    tlinklist* previous = nullptr;
    tlinklist();
    virtual ~tlinklist();
    tlinklist(const tlinklist&) = delete;
    tlinklist& operator=(const tlinklist&) = delete;
    // Nodes alive in the program.
    static int livecount();
};

// Condition operand types.
enum : int32_t {
    operandconstant = 0,
    operandmemory = 1,      // byte at a constant address
    operandregister8 = 2,   // B C D E H L A, zero flag, carry flag
    operandregister16 = 4,  // BC DE HL PC SP AF
    operandmemoryat = 5,    // byte at the address in a 16-bit register
    operandchanged = 6,     // right operand only: the left value changed
};
// Register numbers of operandregister8 and operandregister16.
enum : int32_t { reg8b, reg8c, reg8d, reg8e, reg8h, reg8l, reg8a, reg8zero, reg8carry };
enum : int32_t { reg16bc, reg16de, reg16hl, reg16pc, reg16sp, reg16af };

struct toperand {
    int32_t type = operandconstant;
    int32_t value = 0;  // the constant or address, or the register number
};

// Comparison operators by index: = > < != <= >=.
inline constexpr int comparisoncount = 6;

struct tcondition {
    toperand left, right;
    int32_t comparison = 0;
};

// Parses "A>=$10", "(HL)=3F", "(C000)!=0", "B" (changed)...; false for an invalid text.
// With symbols, a name stands for its address: "(wLives)=0", "HL=Buffer".
bool parsecondition(const std::string& text, tcondition& out, const tsymboltable* symbols = nullptr);
std::string formatcondition(const tcondition& c);

// The address of a new execution breakpoint as typed: the bank, ":" and the address, or the
// address alone, in hex (of the part after ":" the first 10 characters count). A missing bank
// is -1; an address that is empty or not hex means every address; a bank or address above
// 0xFFFF, also one of more than 8 hex digits, is refused (`valid` false).
struct tbreakaddress {
    bool valid = false;
    bool anyaddress = false;
    uint16_t address = 0;
    int32_t bank = -1;
};
// With symbols, a text that is no address may name one ("Main", "Main.loop"): its address,
// with its bank in the banked regions.
tbreakaddress parsebreakaddress(const std::string& text, const tsymboltable* symbols = nullptr);

// Execution breakpoint kinds.
enum : int32_t {
    kindplain = 0,
    kindconditional = 1,
    kindsource = 4,      // `ld b,b`
    kindoampointer = 5,  // 16-bit inc/dec of a pointer into OAM
    kindstepout = 6,
    kindcpumeter = 7,    // counts cycles for the processor-load meter
};

struct tbreakpoint : tlinklist {
    uint16_t address = 0;
    int32_t bank = -1;  // -1: any bank
    bool anyaddress = false;
    int32_t reason = stopbreakpoint;
    bool disabled = false;
    bool temporary = false;  // deleted at every stop and by Run
    int32_t kind = kindplain;
    tcondition condition;    // kind 1
    int32_t lastvalue = -1;  // for "changed"
    bool lastresult = false;
    tdebuggercore* owner = nullptr;
    ~tbreakpoint() override;
};

using taccessreadcheck = bool (*)(void* context, uint16_t address);
using taccesswritecheck = bool (*)(void* context, uint16_t address, uint8_t value);

struct taccessbreakpoint : tlinklist {
    int32_t reason = stopaccess;
    int32_t value = -1;  // -1: any value
    bool disabled = false;
    uint16_t first = 0, last = 0;
    bool onread = false, onwrite = false;
    // Set on the checks built from the options (the user's own have none).
    bool hascheck = false;
    taccessreadcheck readcheck = nullptr;
    taccesswritecheck writecheck = nullptr;
    void* checkcontext = nullptr;
};

// A list of nodes of one type, newest first.
template <class T>
struct tnodelist {
    T* head = nullptr;
    T* tail = nullptr;
    void pushfront(T* n) {
        n->previous = nullptr;
        n->next = head;
        if (head) head->previous = n; else tail = n;
        head = n;
    }
    void pushback(T* n) {
        n->next = nullptr;
        n->previous = tail;
        if (tail) tail->next = n; else head = n;
        tail = n;
    }
    void unlink(T* n) {
        if (n->previous) n->previous->next = n->next; else head = static_cast<T*>(n->next);
        if (n->next) n->next->previous = n->previous; else tail = static_cast<T*>(n->previous);
        n->next = n->previous = nullptr;
    }
    static T* after(const T* n) { return static_cast<T*>(n->next); }
};

// The outcome of an expression: its value as "$" and hex digits, or the error message.
struct texpression {
    bool ok = false;
    std::string text;
};

class tdebuggercore : public tbreakpointmarks {
public:
    explicit tdebuggercore(tgb& machine);
    ~tdebuggercore() override;
    tdebuggercore(const tdebuggercore&) = delete;
    tdebuggercore& operator=(const tdebuggercore&) = delete;

    tdebuggeroptions options;
    // The names of the loaded ROM's symbol file (empty without one): taken by the address
    // inputs, the conditions and the expressions.
    tsymboltable symbols;

    // ---- Offered to the machine ----
    // The reason to stop for before the next instruction, or 0. With execution breakpoints
    // alone it is a look at the opcode and the execution map.
    int32_t checkbeforeinstruction() {
        if (interruptpending || anyaccess || options.DebugHaltBugBreak) return fullcheck();
        pending = 0;
        const uint16_t pc = gb.cpu.PC;
        if (gb.cpu.halted) {
            // HALT with nothing to wake it: no instruction runs, none to stop before.
            if (!(gb.iereg & gb.ifreg & 0x1F)) return 0;
        } else if (isinvalidopcode(gb.readbyte(pc))) {
            return stopinvalidopcode;
        }
        if (!execmap[pc >> 4]) return 0;
        return evaluatelist();
    }
    // An interrupt is about to be dispatched: its pushes are checked before the next instruction.
    void interruptnotice() { interruptpending = true; }

    // ---- Execution breakpoints (every change rebuilds the maps) ----
    tbreakpoint* addbreakpoint(uint16_t address, int32_t bank = -1, int32_t reason = stopbreakpoint);
    tbreakpoint* addanyaddress(int32_t kind, int32_t reason = stopbreakpoint);
    // A temporary node at the tail, so that a user breakpoint at the same place is reported first.
    tbreakpoint* addtemporary(uint16_t address, int32_t bank, int32_t reason);
    // A temporary any-address node at the tail (a single step).
    tbreakpoint* step(int32_t reason);
    void removebreakpoint(tbreakpoint* b);
    void setdisabled(tbreakpoint* b, bool disabled);
    void deletetemporaries();
    tbreakpoint* firstbreakpoint() const { return breakpoints.head; }
    // The code view's mark: a user breakpoint (not temporary, not every-address, enabled or
    // not, not the internal step out) at the address for this bank or for any bank.
    bool hasexecutionbreakpoint(uint16_t address, int bank) const override;
    // ---- Access breakpoints ----
    taccessbreakpoint* addaccessbreakpoint(uint16_t first, uint16_t last, bool onread, bool onwrite,
                                           int32_t value = -1, int32_t reason = stopaccess);
    void removeaccessbreakpoint(taccessbreakpoint* b);
    void setdisabled(taccessbreakpoint* b, bool disabled);
    taccessbreakpoint* firstaccessbreakpoint() const { return accessbreakpoints.head; }
    // Deletes every node, then builds the checks again (a full reset of the debugger).
    void clearall();

    // A step-out node meets the instruction at PC: a call taken makes it wait for the return
    // address, a return taken replaces it by a stop at the next instruction. Run control
    // applies it at once to the instruction the machine stopped on, which runs unchecked.
    void stepoutvisit(tbreakpoint* b);

    // The execution, read and write maps and the machine's `debugstepping` flag.
    void rebuildmaps();
    // Replaces the checks made from the options with ones from `options`, then rebuilds the maps.
    void rebuildchecks();

    // The bank breakpoints compare with: ROM bank at 0x4000-0x7FFF, RAM bank at 0xA000-0xBFFF
    // (0 without a bank controller), work RAM bank at 0xD000-0xDFFF and 0xF000-0xFDFF, else 0.
    int32_t bankof(uint16_t address) const;

    // The "evaluate" command and address inputs.
    texpression evaluate(const std::string& text);
    // The current value of a condition operand.
    int32_t operandvalue(const toperand& o);

    // Machine cycles counted by the processor-meter node since the last take.
    uint32_t takemetercycles() {
        uint32_t c = metercycles;
        metercycles = 0;
        return c;
    }

    tgb& machine() { return gb; }

private:
    tgb& gb;
    tnodelist<tbreakpoint> breakpoints;
    tnodelist<taccessbreakpoint> accessbreakpoints;
    uint8_t execmap[4096]{};
    uint8_t readmap[4096]{};
    uint8_t writemap[4096]{};
    bool anyaccess = false;  // some enabled access breakpoint exists
    uint32_t watchedpages = 0;  // bit per 4 KiB page holding a read watch: the probe reads it through the hook
    tcpustate probe;
    tpageentry probepages[16];
    int32_t pending = 0;
    bool interruptpending = false;
    uint32_t metercycles = 0;
    bool clearing = false;

    friend struct tbreakpoint;
    // Deletes every node without rebuilding anything on the way (`clearing` stays set).
    void deleteall();
    int32_t fullcheck();
    static bool isinvalidopcode(uint8_t op) {
        // 0xD3, 0xDB, 0xDD, 0xE3, 0xE4, 0xEB, 0xEC, 0xED, 0xF4, 0xFC, 0xFD, as bits per row from 0xD0.
        constexpr uint16_t rows[3] = {0x2808, 0x3818, 0x3010};
        return op >= 0xD0 && ((rows[(op - 0xD0) >> 4] >> (op & 15)) & 1);
    }
    void unlinked(tbreakpoint* b);
    int32_t evaluatelist();
    bool conditionhit(tbreakpoint& b);
    void addcheck(uint16_t first, uint16_t last, bool onread, bool onwrite, int32_t reason,
                  taccessreadcheck r, taccesswritecheck w);
    texpression evaluatedepth(const std::string& text, int depth);

    static uint8_t readhook(void* context, uint16_t address);
    static void writehook(void* context, uint16_t address, uint8_t value);
    static void illegalhook(void* context);
};

}  // namespace tov
