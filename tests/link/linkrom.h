// The link cable's test program, built in the tests: it exchanges a sequence of bytes over
// the serial port (as the master, clocking each transfer, or as the slave, waiting for the
// peer's clock), keeps what it received at 0xC000, compares it with the bytes it expects and
// leaves 1 (all as expected) or 2 at 0xC100. The master then prints the received bytes in hex
// and "Passed" or "Failed" on the serial text (for tov-run); the slave gives the `ld b,b`
// register verdict. Both leave 1 at 0xC101 when done.
// The idle role sets SB once, leaves SC without a transfer and waits forever.
#pragma once
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "demorom.h"
#include "support/testrom.h"

namespace tov::testing {

enum class tlinkrole { master, slave, idle };

constexpr uint16_t linkreceived = 0xC000, linkverdict = 0xC100, linkdone = 0xC101;

inline tromimage linkrom(tlinkrole role, const std::vector<uint8_t>& send, const std::vector<uint8_t>& expect) {
    using A = demo::tassembler;
    tromimage rom;
    rom.logo().title("LINKTEST");
    for (size_t i = 0; i < send.size(); i++) rom.bytes[0x400 + i] = send[i];
    for (size_t i = 0; i < expect.size(); i++) rom.bytes[0x500 + i] = expect[i];
    const std::string passed = "Passed\n", failed = "Failed\n";
    for (size_t i = 0; i < passed.size(); i++) rom.bytes[0x600 + i] = uint8_t(passed[i]);
    for (size_t i = 0; i < failed.size(); i++) rom.bytes[0x610 + i] = uint8_t(failed[i]);

    A a(rom.bytes, 0x150);
    a.di();
    a.ldsp(0xFFFE);
    if (role == tlinkrole::idle) {
        a.ldn(A::A, send.empty() ? 0x00 : send[0]);
        a.ldhn_a(0x01);
        a.xora();
        a.ldhn_a(0x02);
        a.label("idle");
        a.ldha_n(0x01);
        a.jr(A::always, "idle");
    } else {
        const uint8_t n = uint8_t(send.size());
        a.ldhl(0x400);
        a.ldde(linkreceived);
        a.ldn(A::B, n);
        a.label("xfer");
        a.byte(0x2A);  // ld a,(hl+)
        a.ldhn_a(0x01);
        a.ldn(A::A, role == tlinkrole::master ? 0x81 : 0x80);
        a.ldhn_a(0x02);
        a.label("wait");
        a.ldha_n(0x02);
        a.bit(7, A::A);
        a.jr(A::NZ, "wait");
        a.ldha_n(0x01);
        a.byte(0x12);  // ld (de),a
        a.incde();
        a.dec(A::B);
        a.jr(A::NZ, "xfer");
        // Compare.
        a.ldhl(0x500);
        a.ldde(linkreceived);
        a.ldn(A::B, n);
        a.ldn(A::C, 1);
        a.label("cmp");
        a.lda_de();
        a.byte(0xBE);  // cp (hl)
        a.jr(A::Z, "same");
        a.ldn(A::C, 2);
        a.label("same");
        a.byte(0x23);  // inc hl
        a.incde();
        a.dec(A::B);
        a.jr(A::NZ, "cmp");
        a.ld(A::A, A::C);
        a.ldnn_a(linkverdict);
        if (role == tlinkrole::slave) {
            // The slave reports with the register signature of `ld b,b` (B C D E H L = 3 5 8
            // 13 21 34 for a pass, all 0x42 for a failure): printing would make it a master.
            a.ldn(A::A, 1);
            a.ldnn_a(linkdone);
            a.ld(A::A, A::C);
            a.cpn(1);
            a.jr(A::NZ, "bad");
            const uint8_t pass[6] = {3, 5, 8, 13, 21, 34};
            for (int r = 0; r < 6; r++) a.ldn(A::treg8(r), pass[r]);
            a.jr(A::always, "signal");
            a.label("bad");
            for (int r = 0; r < 6; r++) a.ldn(A::treg8(r), 0x42);
            a.label("signal");
            a.byte(0x40);  // ld b,b
            a.label("spin");
            a.jr(A::always, "spin");
            std::string error;
            EXPECT_TRUE(a.finish(error)) << error;
            return rom;
        }
        // Report.
        a.ldde(linkreceived);
        a.ldn(A::B, n);
        a.label("hex");
        a.lda_de();
        a.call("printhex");
        a.incde();
        a.dec(A::B);
        a.jr(A::NZ, "hex");
        a.ldn(A::A, ' ');
        a.call("putc");
        a.ldhl(0x600);
        a.ld(A::A, A::C);
        a.cpn(1);
        a.jr(A::Z, "text");
        a.ldhl(0x610);
        a.label("text");
        a.byte(0x2A);  // ld a,(hl+)
        a.orr(A::A);
        a.jr(A::Z, "end");
        a.call("putc");
        a.jr(A::always, "text");
        a.label("end");
        a.ldn(A::A, 1);
        a.ldnn_a(linkdone);
        a.label("loop");
        a.ldha_n(0x01);
        a.jr(A::always, "loop");

        a.label("putc");
        a.ldhn_a(0x01);
        a.ldn(A::A, 0x81);
        a.ldhn_a(0x02);
        a.label("putcwait");
        a.ldha_n(0x02);
        a.bit(7, A::A);
        a.jr(A::NZ, "putcwait");
        a.ret();

        a.label("printhex");
        a.byte(0xF5);  // push af
        a.swapa();
        a.call("nibble");
        a.byte(0xF1);  // pop af
        a.label("nibble");
        a.andn(0x0F);
        a.cpn(10);
        a.jr(A::CY, "digit");
        a.addn(7);
        a.label("digit");
        a.addn('0');
        a.jp("putc");
    }
    std::string error;
    EXPECT_TRUE(a.finish(error)) << error;
    return rom;
}

}  // namespace tov::testing
