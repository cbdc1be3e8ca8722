#include "debugger/disasm.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>

#include "cart/cart.h"
#include "core/gb.h"
#include "core/gbinspect.h"
#include "core/hextext.h"
#include "core/ioregs.h"
#include "debugger/symbols.h"

namespace tov {

namespace {

// Opcodes 0x00-0x3F and 0xC0-0xFF; the loads and the arithmetic in between follow a pattern.
// "JP NZ nnnn", "CALL NZ nnnn", "JP NC nnnn" and "CALL NC nnnn" have no comma: the listings
// users compare against are written that way.
constexpr const char* lowops[64] = {
    "NOP", "LD BC,nnnn", "LD (BC),A", "INC BC", "INC B", "DEC B", "LD B,nn", "RLCA",
    "LD (nnnn),SP", "ADD HL,BC", "LD A,(BC)", "DEC BC", "INC C", "DEC C", "LD C,nn", "RRCA",
    "STOP", "LD DE,nnnn", "LD (DE),A", "INC DE", "INC D", "DEC D", "LD D,nn", "RLA",
    "JR nn", "ADD HL,DE", "LD A,(DE)", "DEC DE", "INC E", "DEC E", "LD E,nn", "RRA",
    "JR NZ,nn", "LD HL,nnnn", "LDI (HL),A", "INC HL", "INC H", "DEC H", "LD H,nn", "DAA",
    "JR Z,nn", "ADD HL,HL", "LDI A,(HL)", "DEC HL", "INC L", "DEC L", "LD L,nn", "CPL",
    "JR NC,nn", "LD SP,nnnn", "LDD (HL),A", "INC SP", "INC (HL)", "DEC (HL)", "LD (HL),nn", "SCF",
    "JR C,nn", "ADD HL,SP", "LDD A,(HL)", "DEC SP", "INC A", "DEC A", "LD A,nn", "CCF"};
constexpr const char* highops[64] = {
    "RET NZ", "POP BC", "JP NZ nnnn", "JP nnnn", "CALL NZ nnnn", "PUSH BC", "ADD A,nn", "RST 00",
    "RET Z", "RET", "JP Z,nnnn", "-CB", "CALL Z,nnnn", "CALL nnnn", "ADC A,nn", "RST 08",
    "RET NC", "POP DE", "JP NC nnnn", "-", "CALL NC nnnn", "PUSH DE", "SUB A,nn", "RST 10",
    "RET C", "RETI", "JP C,nnnn", "-", "CALL C,nnnn", "-", "SBC A,nn", "RST 18",
    "LD (FF00+nn),A", "POP HL", "LD (FF00+C),A", "-", "-", "PUSH HL", "AND A,nn", "RST 20",
    "ADD SP,nn", "JP HL", "LD (nnnn),A", "-", "-", "-", "XOR A,nn", "RST 28",
    "LD A,(FF00+nn)", "POP AF", "LD A,(FF00+C)", "DI", "-", "PUSH AF", "OR A,nn", "RST 30",
    "LD HL,SP+nn", "LD SP,HL", "LD A,(nnnn)", "EI", "-", "-", "CP A,nn", "RST 38"};
constexpr const char* operands[8] = {"B", "C", "D", "E", "H", "L", "(HL)", "A"};
constexpr const char* aluops[8] = {"ADD", "ADC", "SUB", "SBC", "AND", "XOR", "OR", "CP"};
constexpr const char* shiftops[8] = {"RLC", "RRC", "RL", "RR", "SLA", "SRA", "SWAP", "SLR"};
constexpr const char* bitops[3] = {"BIT", "RES", "SET"};

struct ttables {
    std::array<std::string, 512> text;
    std::array<uint8_t, 256> length{};
    ttables() {
        for (int op = 0; op < 256; op++) {
            const int d = (op >> 3) & 7, s = op & 7;
            if (op < 0x40) text[size_t(op)] = lowops[op];
            else if (op == 0x76) text[size_t(op)] = "HALT";
            else if (op < 0x80) text[size_t(op)] = std::string("LD ") + operands[d] + "," + operands[s];
            else if (op < 0xC0) text[size_t(op)] = std::string(aluops[d]) + " " + operands[s];
            else text[size_t(op)] = highops[op - 0xC0];
            const std::string& t = text[size_t(op)];
            length[size_t(op)] = t.find("nnnn") != std::string::npos ? 3
                                 : t.find("nn") != std::string::npos ? 2 : 1;
            const int cb = 256 + op;
            if (op < 0x40) text[size_t(cb)] = std::string(shiftops[d]) + " " + operands[s];
            else text[size_t(cb)] = std::string(bitops[(op >> 6) - 1]) + " " + char('0' + d) + "," + operands[s];
        }
        length[0xCB] = 2;
    }
};

const ttables& tables() {
    static const ttables t;
    return t;
}

void padto(std::string& s, size_t width) {
    if (s.size() < width) s.append(width - s.size(), ' ');
}

void replacefirst(std::string& s, const char* what, const std::string& with) {
    const size_t at = s.find(what);
    if (at != std::string::npos) s.replace(at, std::char_traits<char>::length(what), with);
}

}  // namespace

const uint8_t cycletable[256] = {
    1, 3, 2, 2, 1, 1, 2, 1, 5, 2, 2, 2, 1, 1, 2, 1,
    1, 3, 2, 2, 1, 1, 2, 1, 3, 2, 2, 2, 1, 1, 2, 1,
    2, 3, 2, 2, 1, 1, 2, 1, 2, 2, 2, 2, 1, 1, 2, 1,
    2, 3, 2, 2, 3, 3, 3, 1, 2, 2, 2, 2, 1, 1, 2, 1,
    1, 1, 1, 1, 1, 1, 2, 1, 1, 1, 1, 1, 1, 1, 2, 1,
    1, 1, 1, 1, 1, 1, 2, 1, 1, 1, 1, 1, 1, 1, 2, 1,
    1, 1, 1, 1, 1, 1, 2, 1, 1, 1, 1, 1, 1, 1, 2, 1,
    2, 2, 2, 2, 2, 2, 1, 2, 1, 1, 1, 1, 1, 1, 2, 1,
    1, 1, 1, 1, 1, 1, 2, 1, 1, 1, 1, 1, 1, 1, 2, 1,
    1, 1, 1, 1, 1, 1, 2, 1, 1, 1, 1, 1, 1, 1, 2, 1,
    1, 1, 1, 1, 1, 1, 2, 1, 1, 1, 1, 1, 1, 1, 2, 1,
    1, 1, 1, 1, 1, 1, 2, 1, 1, 1, 1, 1, 1, 1, 2, 1,
    2, 3, 3, 4, 3, 4, 2, 4, 2, 4, 3, 0, 3, 6, 2, 4,
    2, 3, 3, 0, 3, 4, 2, 4, 2, 4, 3, 0, 3, 0, 2, 4,
    3, 3, 2, 0, 0, 4, 2, 4, 4, 1, 4, 0, 0, 0, 2, 4,
    3, 3, 2, 1, 0, 4, 2, 4, 3, 2, 4, 1, 0, 0, 2, 4};

// Rows: rotates and shifts, BIT, RES, SET; columns B, C, D, E, H, L, (HL), A.
const uint8_t cbcycletable[32] = {
    2, 2, 2, 2, 2, 2, 4, 2,
    2, 2, 2, 2, 2, 2, 3, 2,
    2, 2, 2, 2, 2, 2, 4, 2,
    2, 2, 2, 2, 2, 2, 4, 2};

const char* mnemonic(int index) {
    return index >= 0 && index < 512 ? tables().text[size_t(index)].c_str() : "-";
}

int instructionlength(uint8_t opcode) { return tables().length[opcode]; }

int instructioncycles(uint8_t opcode, uint8_t second) {
    return opcode == 0xCB ? cbcycletable[(second >> 6) * 8 + (second & 7)] : cycletable[opcode];
}

const char* ioname(uint16_t address) {
    const tioregister* r = ioregisterat(address);
    return r ? r->disasmname : "";
}

uint8_t headerchecksum(const uint8_t* image) {
    uint8_t sum = 0;
    for (int i = 0x134; i <= 0x14C; i++) sum = uint8_t(sum + image[i]);
    return uint8_t(0xE7 - sum);
}

uint16_t globalchecksum(const uint8_t* image, int32_t size) {
    uint32_t sum = 0;
    for (int32_t i = 0; i < size; i++)
        if (i != 0x14E && i != 0x14F) sum += image[i];
    return uint16_t(sum);
}

bool fixheaderchecksums(tcart& cart) {
    uint8_t* image = cart.romimagedata();
    const int32_t size = cart.romimagesize();
    if (!image || size < 0x150) return false;
    image[0x14D] = headerchecksum(image);
    const uint16_t global = globalchecksum(image, size);
    image[0x14E] = uint8_t(global >> 8);
    image[0x14F] = uint8_t(global);
    return true;
}

// ---- Memory as the views read it ----

bool tdebugmemory::bankcontroller() const { return gb.cartridge().isbanked(); }

uint8_t tdebugmemory::read(uint16_t a) const {
    tgbinspect inspect(gb);
    if (a >= 0x4000 && a < 0x8000 && bankcontroller())
        return inspect.peekbanked(tmemregion::romx, view.rom, a - 0x4000u);
    if (a >= 0x8000 && a < 0xA000) return inspect.peekbanked(tmemregion::vram, view.vram, a & 0x1FFFu);
    if (a >= 0xA000 && a < 0xC000 && bankcontroller() && view.cartram)
        return inspect.peekbanked(tmemregion::sram, view.ram, a & 0x1FFFu);
    if (a >= 0xD000 && a < 0xE000) return inspect.peekbanked(tmemregion::wramx, view.wram, a & 0xFFFu);
    return inspect.peek(a);
}

int tdebugmemory::bankat(uint16_t a) const {
    if (a < 0x4000) return 0;
    if (a < 0x8000) return view.rom;
    if (a < 0xA000) return view.vram;
    if (a < 0xC000) return view.ram;
    if (a < 0xD000) return 0;
    if (a < 0xE000) return view.wram;
    if (a < 0xF000) return 0;
    if (a < 0xFE00) return view.wram;
    return 0;
}

std::string tdebugmemory::label(uint16_t a) const {
    const char* name = a < 0x8000   ? "ROM "
                       : a < 0xA000 ? "VRAM"
                       : a < 0xC000 ? "SRAM"
                       : a < 0xE000 ? "WRAM"
                       : a < 0xFE00 ? "ECHO"
                       : a <= 0xFE9A ? "OAM "
                       : (a >= 0xFF00 && a <= 0xFF7F) || a == 0xFFFF ? "I/O "
                       : a >= 0xFF80 ? "HRAM"
                                     : "----";
    std::string s = name;
    if (a < 0xFE00) {
        // The bank replaces the end of the name: ROM0, RO1F, VRA1, WRA3, R100.
        std::string bank = hex(uint32_t(bankat(a)) & 0xFFFF, 1);
        s = s.substr(0, bank.size() < 4 ? 4 - bank.size() : 0) + bank;
    }
    return s + ":" + hex(a, 4);
}

// ---- Line table ----

void tlinetable::add(uint16_t address, int length, bool isdata) {
    if (names && !names->empty())
        for (const tsymbol* s : names->at(address, shown->bankat(address)))
            lines.push_back({address, 0, true, int32_t(s - names->all().data())});
    const int32_t n = int32_t(lines.size());
    lines.push_back({address, uint8_t(length), isdata, -1});
    for (int i = 0; i < length; i++) lineindex[uint16_t(address + i)] = n;
}

uint32_t tlinetable::named(uint32_t at, uint32_t end) const {
    if (!names || names->empty()) return end;
    for (uint32_t a = at + 1; a < end; a++)
        if (!names->at(uint16_t(a), shown->bankat(uint16_t(a))).empty()) return a;
    return end;
}

void tlinetable::code(const tdebugmemory& memory, uint32_t& at, uint32_t limit) {
    while (at < limit) {
        const uint32_t len = uint32_t(instructionlength(memory.read(uint16_t(at))));
        // A name starts a line of its own, as a vector does: what would cross it is data.
        const uint32_t stop = named(at, std::min(at + len, limit));
        if (stop < at + len) {
            add(uint16_t(at), int(stop - at), true);
            at = stop;
        } else if (at + len > limit) {
            // An instruction that would swallow the next vector or region start is data.
            add(uint16_t(at), int(limit - at), true);
            at = limit;
        } else {
            add(uint16_t(at), int(len), false);
            at += len;
        }
    }
}

void tlinetable::data(uint32_t& at, uint32_t limit) {
    while (at < limit) {
        const uint32_t len = named(at, limit - at < 16 ? limit : at + 16) - at;
        add(uint16_t(at), int(len), true);
        at += len;
    }
}

void tlinetable::build(const tdebugmemory& memory, const tsymboltable* symbols) {
    names = symbols;
    shown = &memory;
    lines.clear();
    lines.reserve(0x4000);
    uint32_t at = 0;
    for (uint32_t vector = 0x08; vector <= 0x48; vector += 8) code(memory, at, vector);
    code(memory, at, 0x100);
    code(memory, at, 0x104);
    data(at, 0x134);  // logo
    data(at, 0x144);  // title
    data(at, 0x146);  // licensee
    for (uint32_t field = 0x147; field <= 0x14E; field++) data(at, field);
    data(at, 0x150);
    code(memory, at, 0x4000);
    code(memory, at, 0x8000);
    data(at, 0xA000);
    code(memory, at, 0xFE00);
    data(at, 0xFF80);
    code(memory, at, 0xFFFF);
    data(at, 0x10000);
    names = nullptr;
    shown = nullptr;
}

// ---- Line text ----

tasmtext disassembleline(const tdebugmemory& memory, const tasmline& line, bool lowercase,
                         int globalsum) {
    tasmtext out;
    std::string& s = out.text;
    s = memory.label(line.address);
    uint8_t bytes[16]{};
    for (int i = 0; i < line.length && i < 16; i++) bytes[i] = memory.read(uint16_t(line.address + i));
    for (int i = 0; i < line.length && i < 4; i++) {
        s += ' ';
        s += hex(bytes[i], 2);
    }
    if (line.length > 4) s += "+";
    padto(s, 27);

    if (line.data) {
        s += "db ";
        for (int i = 0; i < line.length && i < 16; i++) {
            if (i) s += ",";
            s += hex(bytes[i], 2);
        }
        switch (line.address) {
        case 0x147: out.comment = "cart type"; break;
        case 0x148: out.comment = "rom size"; break;
        case 0x149: out.comment = "ram size"; break;
        case 0x14D: {
            uint8_t header[0x150];
            for (int i = 0x134; i <= 0x14C; i++) header[i] = memory.read(uint16_t(i));
            const uint8_t expected = headerchecksum(header);
            out.comment = "header check (" + (expected == bytes[0] ? std::string("OK") : hex(expected, 2)) + ")";
            break;
        }
        case 0x14E:
            if (memory.bankcontroller() && globalsum >= 0) {
                const uint16_t stored = uint16_t(bytes[0] << 8 | memory.read(0x14F));
                out.comment = "global check (" +
                              (stored == globalsum ? std::string("OK") : hex(uint32_t(globalsum), 4)) + ")";
            }
            break;
        default: break;
        }
        return out;
    }

    const uint8_t op = bytes[0];
    std::string ins = op == 0xCB ? mnemonic(256 + bytes[1]) : mnemonic(op);
    if (line.length == 3) {
        replacefirst(ins, "nnnn", hex(uint32_t(bytes[2] << 8 | bytes[1]), 4));
    } else if (line.length == 2 && op != 0xCB) {
        if (ins.rfind("JR", 0) == 0)
            replacefirst(ins, "nn", hex(uint16_t(line.address + int8_t(bytes[1]) + 2), 4));
        else
            replacefirst(ins, "nn", hex(bytes[1], 2));
    }
    if (op == 0xE0 || op == 0xF0) {
        if (bytes[1] < 0x80) out.comment = ioname(uint16_t(0xFF00 + bytes[1]));
        else if (bytes[1] == 0xFF) out.comment = ioname(0xFFFF);
    }
    if (ins == "-") ins = "undefined opcode";
    if (lowercase)
        for (char& c : ins) c = char(std::tolower(static_cast<unsigned char>(c)));
    s += ins;
    out.cycles = instructioncycles(op, bytes[1]);
    return out;
}

std::string composeline(const tasmtext& parts, int total) {
    std::string s = parts.text;
    if (!parts.comment.empty()) {
        padto(s, 40);
        s += " ;" + parts.comment;
    }
    if (parts.cycles >= 0) {
        padto(s, 56);
        s += " ;" + std::to_string(parts.cycles) + "  " + std::to_string(total);
    }
    return s;
}

}  // namespace tov
