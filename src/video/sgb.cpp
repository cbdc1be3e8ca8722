// Super Game Boy adapter: packet reception over P1, command execution, video transfers,
// multiplayer joypads, the screen mask and the border picture.
#include "video/sgb.h"

#include <algorithm>
#include <cstring>

#include "video/videooptions.h"
#include "state/statevisitor.h"

namespace tov {

namespace {

// Command codes (byte 0 of the first packet >> 3).
enum : int {
    cmdPAL01 = 0x00, cmdPAL23 = 0x01, cmdPAL03 = 0x02, cmdPAL12 = 0x03,
    cmdATTR_BLK = 0x04, cmdATTR_LIN = 0x05, cmdATTR_DIV = 0x06, cmdATTR_CHR = 0x07,
    cmdPAL_SET = 0x0A, cmdPAL_TRN = 0x0B, cmdMLT_REQ = 0x11, cmdCHR_TRN = 0x13,
    cmdPCT_TRN = 0x14, cmdATTR_TRN = 0x15, cmdATTR_SET = 0x16, cmdMASK_EN = 0x17,
};

// Video transfer kinds ("sgb_trn_select").
enum : int { trnCHR = 1, trnPCT = 2, trnPAL = 3, trnATTR = 4 };

constexpr int screencols = 20, screenrows = 18;
constexpr int packetbytes = 16, maxpackets = 7;

// 15-bit colour to 0x00BBGGRR; 5-bit channel v becomes v*8 + v/4 (0..31 -> 0..255).
uint32_t convert15(uint16_t c) {
    auto ch = [](unsigned v) { return (v << 3) + (v >> 2); };
    return ch(c & 31) | (ch((c >> 5) & 31) << 8) | (ch((c >> 10) & 31) << 16);
}

uint16_t word(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }

}  // namespace

tsgb::tsgb() : border(borderwidth * borderheight, 0) {}

tsgb::tsgb(const tvideooptions& o) : tsgb() { options = &o; }

tsgb::~tsgb() {
    if (screen) screen->sgbunlinked(this);
}

bool tsgb::nocolors() const { return options && options->SGBnocolors; }

bool tsgb::colorsactive() const {
    return !nocolors() && !(screen && screen->sgbgbcmode());
}

int tsgb::currentjoypad() const { return joypadcurrent; }

void tsgb::beginborderphase(tevent routine, void* context) {
    onrestart = routine;
    onrestartcontext = context;
    keepborder = false;
    hidden = false;
}

void tsgb::beginhiddenphase() {
    onrestart = nullptr;
    onrestartcontext = nullptr;
    setmask(0);
    keepborder = true;
    hidden = true;
    joypadcurrent = 0;
}

void tsgb::endhiddenphase() {
    keepborder = false;
    hidden = false;
}

void tsgb::cancelrestart(const void* context) {
    if (onrestartcontext != context) return;
    onrestart = nullptr;
    onrestartcontext = nullptr;
}

void tsgb::adoptrestart(const tsgb& other, const void* context) {
    if (other.onrestartcontext != context) return;
    onrestart = other.onrestart;
    onrestartcontext = other.onrestartcontext;
}

bool tsgb::transferstarting(uint8_t lastjoypad) const {
    return xferbusy && xferstartbit && (lastjoypad & 0x30) == 0x30;
}

// ---------------------------------------------------------------- packet receiver

void tsgb::joypadwrite(uint8_t newvalue, uint8_t oldvalue) {
    if (hidden) return;

    // Multiplayer: the joypad number advances when both select lines go high after P15
    // (bit 5) was driven low. P14 does not matter; lowering P15 a second time before
    // both lines are high cancels the advance, a third time brings it back.
    if ((oldvalue & 0x20) && !(newvalue & 0x20)) joypaddone ^= 1;
    if ((newvalue & 0x30) == 0x30 && (joypaddone & 1)) {
        joypaddone = 0;
        joypadcurrent = (joypadcurrent + 1) & joypadmax;
    }

    // A pulse ends when the select lines change; its kind is the lines it held.
    if ((newvalue ^ oldvalue) & 0x30) pulse((oldvalue >> 4) & 3);
}

void tsgb::pulse(int kind) {
    // A data pulse straight after the reset pulse (no idle state between) is not a packet.
    // Only reception stops; the start bit goes with the next pulse, as for any other.
    if (xferbusy && xferstartbit && (kind == 1 || kind == 2)) {
        xferbusy = false;
        return;
    }
    xferstartbit = false;
    switch (kind) {
    case 3:  // idle
        break;
    case 0:  // reset pulse: a new packet starts
        if (xferbusy) packetcurrent = 0;
        xferbusy = true;
        xferstartbit = true;
        xferoffset = 0;
        std::memset(xferdata, 0, sizeof xferdata);
        break;
    default:  // 1 = a one bit (P15 low), 2 = a zero bit (P14 low)
        if (!xferbusy) break;
        if (xferoffset >= 128 || xferoffset < 0) {
            // The stop bit: only a zero completes the packet.
            xferbusy = false;
            if (kind == 2) packetcomplete();
        } else {
            int bit = kind == 1 ? 1 : 0;
            uint8_t& b = xferdata[xferoffset >> 3];
            b = uint8_t((b & ~(1 << (xferoffset & 7))) | (bit << (xferoffset & 7)));
            xferoffset++;
        }
        break;
    }
}

void tsgb::packetcomplete() {
    if (packetcurrent < 0 || packetcurrent >= maxpackets) packetcurrent = 0;
    std::memcpy(packetdata + packetbytes * packetcurrent, xferdata, packetbytes);
    if (packetcurrent == 0) packetmax = xferdata[0] & 7;
    packetcurrent++;
    // A zero packet count drops the command; counting with >= keeps the buffer bounded.
    if (packetcurrent >= packetmax) {
        if (packetmax > 0) execute();
        packetcurrent = 0;
        packetmax = 1;
    }
}

// ---------------------------------------------------------------- commands

void tsgb::setpalentry(int p, int c, uint16_t v) {
    if (c == 0) {
        // Colour 0 is one colour shared by all palettes.
        for (int i = 0; i < 8; i++) pal[i * 16] = v;
    } else {
        pal[p * 16 + c] = v;
    }
}

void tsgb::palpair(int pa, int pb) {
    const uint8_t* d = packetdata;
    for (int c = 0; c < 4; c++) setpalentry(pa, c, word(d + 1 + 2 * c));
    for (int c = 1; c < 4; c++) setpalentry(pb, c, word(d + 7 + 2 * c));
    rebuild();
}

void tsgb::requesttransfer(int kind) {
    if (trnstatus != 0) return;
    trnstatus = 1;
    trnselect = kind;
}

void tsgb::setattrfile(int file) {
    if (file < 0 || file >= attrfilecount) return;
    std::memcpy(attr, atf + file * attrsize, attrsize);
}

void tsgb::execute() {
    int n = packetmax;
    if (onpacket) onpacket(onpacketcontext, n);
    const uint8_t* d = packetdata;
    int code = d[0] >> 3;
    switch (code) {
    case cmdPAL01: palpair(0, 1); break;
    case cmdPAL23: palpair(2, 3); break;
    case cmdPAL03: palpair(0, 3); break;
    case cmdPAL12: palpair(1, 2); break;
    case cmdATTR_BLK: attrblk(); break;
    case cmdATTR_LIN: attrlin(); break;
    case cmdATTR_DIV: attrdiv(); break;
    case cmdATTR_CHR: attrchr(); break;
    case cmdPAL_SET: {
        for (int i = 3; i >= 0; i--) {
            int sys = word(d + 1 + 2 * i) & 0x1FF;
            for (int c = 0; c < 4; c++) setpalentry(i, c, rampal[sys * 4 + c]);
        }
        rebuild();
        if ((d[9] & 0x80) && (d[9] & 0x3F) < attrfilecount) setattrfile(d[9] & 0x3F);
        if (d[9] & 0x40) setmask(0);
        break;
    }
    case cmdPAL_TRN: requesttransfer(trnPAL); break;
    case cmdMLT_REQ: {
        int m = d[1] & 3;
        joypadmax = m == 2 ? 0 : m;
        // A new player count keeps the current joypad within it (from one player the
        // first joypad answers).
        joypadcurrent &= joypadmax;
        mltreqdone = true;
        break;
    }
    case cmdCHR_TRN:
        if (trnstatus == 0) {
            requesttransfer(trnCHR);
            chrtrnselect = (d[1] & 1) ? 128 : 0;
        }
        break;
    case cmdPCT_TRN: requesttransfer(trnPCT); break;
    case cmdATTR_TRN: requesttransfer(trnATTR); break;
    case cmdATTR_SET:
        if ((d[1] & 0x3F) < attrfilecount) setattrfile(d[1] & 0x3F);
        if (d[1] & 0x40) setmask(0);
        break;
    case cmdMASK_EN:
        if (d[1] & 2) {
            // Black or colour-0 masks blank the screen at once. The mask is lifted
            // directly (not through setmask) so that refresh is not held back and no
            // end-of-border restart fires in the middle of masking; the rebuild still
            // brings in colours changed under an earlier mask, so the blank takes the
            // colour 0 now in force.
            screenfrozen = 0;
            rebuild();
            if (screen) {
                screen->sgbblank();
                screen->sgbrefresh();
            }
        }
        setmask(d[1] & 3);
        break;
    default:  // sound, the adapter's own program and OBJ_TRN are not emulated
        break;
    }
}

// ---------------------------------------------------------------- attributes

void tsgb::setcell(int x, int y, int p) {
    if (x < 0 || x >= screencols || y < 0 || y >= screenrows) return;
    uint8_t& b = attr[y * 5 + (x >> 2)];
    int shift = 6 - 2 * (x & 3);
    b = uint8_t((b & ~(3 << shift)) | ((p & 3) << shift));
}

// A block of cells; an end of -1 means "same as the start". Coordinates wrap at 32 and
// are clipped to the 20 x 18 grid; an end before its start sets nothing.
void tsgb::setcells(int x1, int y1, int x2, int y2, int p) {
    if (x2 == -1) x2 = x1;
    if (y2 == -1) y2 = y1;
    auto wrap = [](int v) { return v & 31; };
    x1 = std::min(wrap(x1), screencols - 1);
    x2 = std::min(wrap(x2), screencols - 1);
    y1 = std::min(wrap(y1), screenrows - 1);
    y2 = std::min(wrap(y2), screenrows - 1);
    for (int y = y1; y <= y2; y++)
        for (int x = x1; x <= x2; x++) setcell(x, y, p);
}

void tsgb::attrblk() {
    int count = packetdata[1];
    if (count < 1 || count > 18) return;
    for (int i = 0; i < count; i++) {
        const uint8_t* s = packetdata + 2 + 6 * i;
        int ctrl = s[0] & 7;
        int pin = s[1] & 3, pline = (s[1] >> 2) & 3, pout = (s[1] >> 4) & 3;
        int x1 = s[2], y1 = s[3], x2 = s[4], y2 = s[5];
        if (ctrl & 1) setcells(x1 + 1, y1 + 1, x2 - 1, y2 - 1, pin);
        if (ctrl & 4) {
            setcells(0, 0, screencols - 1, y1 - 1, pout);
            setcells(0, y2 + 1, screencols - 1, screenrows - 1, pout);
            setcells(0, 0, x1 - 1, screenrows - 1, pout);
            setcells(x2 + 1, 0, screencols - 1, screenrows - 1, pout);
        }
        int lp = -1;
        if (ctrl == 1) lp = pin;
        else if (ctrl == 4) lp = pout;
        else if (ctrl & 2) lp = pline;
        if (lp >= 0) {
            setcells(x1, y1, x2, y1, lp);
            setcells(x1, y2, x2, y2, lp);
            setcells(x1, y1, x1, y2, lp);
            setcells(x2, y1, x2, y2, lp);
        }
    }
}

void tsgb::attrlin() {
    int count = packetdata[1];
    if (count < 1 || count > 110) return;
    for (int i = 0; i < count; i++) {
        uint8_t b = packetdata[2 + i];
        int n = b & 31, p = (b >> 5) & 3;
        if (b & 0x80) {
            if (n < screenrows) setcells(0, n, screencols - 1, n, p);
        } else {
            if (n < screencols) setcells(n, 0, n, screenrows - 1, p);
        }
    }
}

void tsgb::attrdiv() {
    uint8_t b = packetdata[1];
    int plow = b & 3, phigh = (b >> 2) & 3, pdiv = (b >> 4) & 3;
    int d = packetdata[2] & 31;
    if (b & 0x40) {
        if (d < screenrows) {
            setcells(0, 0, screencols - 1, d, phigh);
            setcells(0, d, screencols - 1, screenrows - 1, plow);
            setcells(0, d, screencols - 1, d, pdiv);
        } else {
            setcells(0, 0, screencols - 1, screenrows - 1, phigh);
        }
    } else {
        if (d < screencols) {
            setcells(0, 0, d, screenrows - 1, phigh);
            setcells(d, 0, screencols - 1, screenrows - 1, plow);
            setcells(d, 0, d, screenrows - 1, pdiv);
        } else {
            setcells(0, 0, screencols - 1, screenrows - 1, phigh);
        }
    }
}

void tsgb::attrchr() {
    int x = packetdata[1], y = packetdata[2];
    if (x >= screencols || y >= screenrows) return;
    int count = packetdata[3] | (packetdata[4] << 8);
    bool down = packetdata[5] & 1;
    for (int i = 0; i < count; i++) {
        int at = 6 + (i >> 2);
        if (at >= int(sizeof packetdata)) break;
        setcell(x, y, packetdata[at] >> (6 - 2 * (i & 3)));
        if (down) {
            if (++y >= screenrows) {
                y = 0;
                if (++x >= screencols) break;
            }
        } else {
            if (++x >= screencols) {
                x = 0;
                if (++y >= screenrows) break;
            }
        }
    }
}

// ---------------------------------------------------------------- video transfers

void tsgb::applytransfer() {
    switch (trnselect) {
    case trnCHR: {
        int offset = chrtrnselect ? 128 * 32 : 0;
        std::memcpy(chardata + offset, vramdata, sizeof vramdata);
        hasborder = true;
        rebuild();
        break;
    }
    case trnPCT:
        for (int j = 0; j < 64; j++) {
            if ((j & 15) == 0) continue;  // colour 0 is the shared one
            pal[64 + j] = word(vramdata + 0x800 + 2 * j);
        }
        for (int i = 0; i < 1024; i++) pctmap[i] = word(vramdata + 2 * i);
        hasborder = true;
        rebuild();
        break;
    case trnPAL:
        for (int i = 0; i < 2048; i++) rampal[i] = word(vramdata + 2 * i);
        break;
    case trnATTR:
        std::memcpy(atf, vramdata, sizeof atf);
        break;
    default:
        break;
    }
}

void tsgb::endofline(int ly) {
    if (ly == 0) {
        if (trnstatus == 2) {
            applytransfer();
            trnstatus = 0;
        }
        if (trnstatus == 1) trnstatus = 2;
    }
    if (trnstatus != 2 || ly < 0 || ly >= 144 || !screen) return;

    // The adapter sees the picture after BGP; turn the line back into 2-bit tile rows.
    uint8_t line[160];
    screen->sgbcaptureline(ly, line);
    int row = ly >> 3, r = ly & 7;
    for (int i = 0; i < 20; i++) {
        int tile = row * 20 + i;
        if (tile > 255) break;
        uint8_t p0 = 0, p1 = 0;
        for (int x = 0; x < 8; x++) {
            uint8_t shade = line[i * 8 + x] & 3;
            p0 = uint8_t((p0 << 1) | (shade & 1));
            p1 = uint8_t((p1 << 1) | (shade >> 1));
        }
        vramdata[tile * 16 + r * 2] = p0;
        vramdata[tile * 16 + r * 2 + 1] = p1;
    }
}

// ---------------------------------------------------------------- mask, reset, rebuild

void tsgb::setmask(int mode) {
    screenfrozen = mode & 3;
    rebuild();
    if (screenfrozen == 0 && hasborder && onrestart) onrestart(onrestartcontext);
}

void tsgb::reset() {
    xferstartbit = xferbusy = false;
    xferoffset = 0;
    std::memset(xferdata, 0, sizeof xferdata);
    joypadmax = joypadcurrent = joypaddone = 0;
    screenfrozen = 0;
    trnstatus = trnselect = chrtrnselect = 0;
    hasborder = false;
    std::memset(atf, 0, sizeof atf);
    std::memset(attr, 0, sizeof attr);
    mltreqdone = false;
    packetmax = packetcurrent = 0;
    std::memset(packetdata, 0, sizeof packetdata);
    std::memset(vramdata, 0, sizeof vramdata);
    hidden = false;
    initialflag = false;

    // Initial border: tile 255 (all colour 15) with palette 7, mirrored, around an empty
    // screen window of tile 0.
    std::memset(chardata, 0xFF, sizeof chardata);
    std::memset(chardata, 0, 32);
    for (int i = 0; i < 1024; i++) pctmap[i] = 0xFFFF;
    for (int y = 5; y <= 22; y++)
        for (int x = 6; x <= 25; x++) pctmap[y * 32 + x] = 0;

    std::memset(pal, 0, sizeof pal);
    std::memset(rampal, 0, sizeof rampal);
    pal[0] = 0x7FFF;
    pal[1] = 0x56B5;
    pal[2] = 0x294A;
    pal[3] = 0x0000;
    for (int p = 1; p < 8; p++) std::memcpy(pal + 16 * p, pal, 16 * sizeof(uint16_t));
    std::memcpy(rampal, pal, 16 * sizeof(uint16_t));
    for (int p = 0; p < 8; p++)
        for (int c = 0; c < 16; c++) setpalentry(p, c, pal[p * 16 + c]);

    rebuild();
}

void tsgb::rebuild() {
    if (screenfrozen == 0) {
        for (int i = 0; i < 128; i++) colors[i] = convert15(pal[i]);
        if (colorsactive() && screen) {
            uint32_t out[16];
            for (int p = 0; p < 4; p++)
                for (int c = 0; c < 4; c++) out[p * 4 + c] = colors[p * 16 + c];
            screen->sgbsetcolors(out);
        }
        drawborder();
    }
    if (onborder) onborder(onbordercontext);
}

void tsgb::drawborder() {
    uint32_t* out = border.data();
    for (int my = 0; my < 28; my++) {
        for (int mx = 0; mx < 32; mx++) {
            uint16_t e = pctmap[my * 32 + mx];
            const uint8_t* tile = chardata + (e & 0xFF) * 32;
            int palbase = ((e >> 10) & 7) * 16;
            bool hflip = e & 0x4000, vflip = e & 0x8000;
            for (int r = 0; r < 8; r++) {
                int tr = vflip ? 7 - r : r;
                uint8_t b0 = tile[2 * tr], b1 = tile[2 * tr + 1];
                uint8_t b2 = tile[16 + 2 * tr], b3 = tile[17 + 2 * tr];
                uint32_t* dst = out + (my * 8 + r) * borderwidth + mx * 8;
                for (int x = 0; x < 8; x++) {
                    int bit = hflip ? x : 7 - x;
                    int c = ((b0 >> bit) & 1) | (((b1 >> bit) & 1) << 1) |
                            (((b2 >> bit) & 1) << 2) | (((b3 >> bit) & 1) << 3);
                    dst[x] = c == 0 ? colors[0] : colors[palbase + c];
                }
            }
        }
    }
}

void tsgb::statefields(tstatevisitor& v) {
    v.field("sgb_xfer_startbit", xferstartbit);
    v.field("sgb_xfer_busy", xferbusy);
    v.field("sgb_xfer_offset", xferoffset);
    v.block("sgb_xfer_data", xferdata, sizeof xferdata);
    v.field("sgb_joypad_max", joypadmax);
    v.field("sgb_joypad_current", joypadcurrent);
    v.field("sgb_joypad_done", joypaddone);
    v.field("sgb_screen_frozen", screenfrozen);
    v.block("sgb_chardata", chardata, sizeof chardata);
    v.block("sgb_pct_map", pctmap, sizeof pctmap);
    v.block("sgb_pal", pal, sizeof pal);
    v.block("sgb_rampal", rampal, sizeof rampal);
    v.field("sgb_trn_status", trnstatus);
    v.field("sgb_trn_select", trnselect);
    v.field("sgb_chr_trn_select", chrtrnselect);
    v.field("sgb_hasborder", hasborder);
    v.block("sgb_atf", atf, sizeof atf);
    v.block("sgb_attr", attr, sizeof attr);
    v.field("sgb_mltreq_done", mltreqdone);
    v.field("sgb_packet_max", packetmax);
    v.field("sgb_packet_current", packetcurrent);
    v.block("sgb_packet_data", packetdata, sizeof packetdata);
    v.block("sgb_vram_data", vramdata, sizeof vramdata, {trnstatus == 2, true});
    v.field("sgb_hidden", hidden);
    v.field("sgb_initialflag", initialflag);
}

void tsgb::afterstateload() {
    xferoffset = std::clamp(xferoffset, 0, 128);
    joypadmax &= 3;
    if (joypadmax == 2) joypadmax = 0;
    joypadcurrent &= 3;
    joypaddone &= 3;
    screenfrozen &= 3;
    if (trnstatus < 0 || trnstatus > 2) trnstatus = 0;
    if (chrtrnselect != 0) chrtrnselect = 128;
    packetmax = std::clamp(packetmax, 0, maxpackets);
    if (packetcurrent < 0 || packetcurrent >= maxpackets) packetcurrent = 0;
    rebuild();
}

}  // namespace tov
