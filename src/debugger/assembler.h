// The debugger's small assembler and its hexadecimal byte parser: what the "edit code" and
// "edit data" dialogs turn into bytes. The assembler reads the disassembler's own mnemonic
// table, so every text the code view shows for a plain operand assembles back to its bytes.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace tov {

// The outcome of a parse: the bytes, or the message box to show (text and title) and no bytes.
struct tassembly {
    bool ok = false;
    std::vector<uint8_t> bytes;
    std::string error, errortitle;
};

// "3e 01" -> 3E 01: every blank is removed, then each pair of characters is a byte; an odd
// last character is ignored. A pair that is not hexadecimal gives no bytes and the box
// "error" titled "invalid data".
tassembly parsehexdata(const std::string& text);

// Instructions separated by ";" (blanks around each are ignored), written as the mnemonic table has them with operands of
// exactly as many hex digits as the placeholder ("LD A,05", "JP 0150", "LD (FF00+40),A").
// A segment "@c" defines the one-character label c at the current address; "@c" as the byte
// operand of a relative jump is resolved to the distance to the last definition of c. A
// segment that matches no entry gives no bytes and the box "unable to assemble opcode: "
// + the segment, titled "error".
tassembly assemble(const std::string& text, uint16_t start);

}  // namespace tov
