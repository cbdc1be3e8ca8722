#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets into tests/fuzz/corpus/NAME/ and the settings
dictionary tests/fuzz/settings.dict. Run again after changing it; the files are committed."""
import gzip, io, os, re, struct, zipfile, zlib

here = os.path.dirname(os.path.abspath(__file__))
root = os.path.normpath(os.path.join(here, ".."))
LOGO = bytes([
    0xCE, 0xED, 0x66, 0x66, 0xCC, 0x0D, 0x00, 0x0B, 0x03, 0x73, 0x00, 0x83, 0x00, 0x0C, 0x00, 0x0D,
    0x00, 0x08, 0x11, 0x1F, 0x88, 0x89, 0x00, 0x0E, 0xDC, 0xCC, 0x6E, 0xE6, 0xDD, 0xDD, 0xD9, 0x99,
    0xBB, 0xBB, 0x67, 0x63, 0x6E, 0x0E, 0xEC, 0xCC, 0xDD, 0xDC, 0x99, 0x9F, 0xBB, 0xB9, 0x33, 0x3E])


def corpus(name, files):
    folder = os.path.join(root, "corpus", name)
    os.makedirs(folder, exist_ok=True)
    for old in os.listdir(folder):
        os.remove(os.path.join(folder, old))
    for fname, data in files.items():
        with open(os.path.join(folder, fname), "wb") as f:
            f.write(data)


def rom(code, size=0x400, type=0x00, ramcode=0, colour=0, sgb=False, sizecode=0, extra=None):
    b = bytearray(size)
    b[0x100:0x104] = bytes([0x00, 0xC3, 0x50, 0x01])
    b[0x104:0x134] = LOGO
    b[0x134:0x13C] = b"FUZZSEED"
    b[0x143] = colour
    if sgb:
        b[0x146], b[0x14B] = 0x03, 0x33
    b[0x147], b[0x148], b[0x149] = type, sizecode, ramcode
    b[0x150:0x150 + len(code)] = bytes(code)
    for at, data in (extra or {}).items():
        b[at:at + len(data)] = bytes(data)
    s = 0
    for i in range(0x134, 0x14D):
        s = (s - b[i] - 1) & 0xFF
    b[0x14D] = s
    g = sum(b[i] for i in range(len(b)) if i not in (0x14E, 0x14F)) & 0xFFFF
    b[0x14E], b[0x14F] = g >> 8, g & 0xFF
    return bytes(b)


# ---- ROM files
counter = [0x3E, 0x0A, 0xEA, 0x00, 0x00, 0x3E, 0x91, 0xE0, 0x40, 0x3E, 0x80, 0xE0, 0x26, 0xFB, 0x3C, 0xE0,
           0x42, 0xE0, 0x13, 0xEA, 0x00, 0x40, 0x77, 0x18, 0xF7]
# Timer interrupt on, then HALT in a loop that changes BGP and a sound channel; 0x50: reti.
timer = [0x3E, 0x05, 0xE0, 0x07, 0x3E, 0x04, 0xE0, 0xFF, 0xFB, 0x76, 0x00, 0x04, 0x78, 0xE0, 0x47, 0xE0,
         0x12, 0x3E, 0x87, 0xE0, 0x14, 0x18, 0xF2]
# Double speed, OAM DMA from 0xC000, a general HDMA of two blocks, then palette writes.
colour = [0x3E, 0x01, 0xE0, 0x4D, 0x10, 0x00, 0x3E, 0xC0, 0xE0, 0x46, 0x3E, 0xC0, 0xE0, 0x51, 0xAF, 0xE0,
          0x52, 0x3E, 0x80, 0xE0, 0x53, 0xAF, 0xE0, 0x54, 0x3E, 0x01, 0xE0, 0x55, 0x3C, 0xE0, 0x68, 0xE0,
          0x69, 0xE0, 0x4F, 0x18, 0xF8]
# Every bank register of every mapper: the loop writes a counter to 0x0000 (as 0x08-0x0F:
# RAM on for 0x0A, HuC1/HuC3 IR and clock modes, MBC3 clock selection through 0x4000 values
# 0x08-0x0C), 0x2000, 0x3000, 0x4000 and 0x6000 (MBC1 banking mode, MBC3 clock latch), then
# reads the switched bank and walks through cartridge RAM.
walker = [0xF3, 0x31, 0xFE, 0xFF, 0x21, 0x00, 0xA0,
          0x04, 0x78, 0xE6, 0x07, 0xF6, 0x08, 0xEA, 0x00, 0x00, 0x78, 0xEA, 0x00, 0x20, 0xEA, 0x00, 0x30,
          0xEA, 0x00, 0x40, 0xEA, 0x00, 0x60, 0xFA, 0x00, 0x40, 0x22, 0x7E, 0xCB, 0x74, 0x28, 0x03, 0x21,
          0x00, 0xA0, 0x18, 0xDC]
# MBC7: both RAM enables, then the tilt latch (0x55 to A000, 0xAA to A010), the sensor read
# and the EEPROM's serial lines bit-banged from a counter.
mbc7 = [0x3E, 0x0A, 0xEA, 0x00, 0x00, 0x3E, 0x40, 0xEA, 0x00, 0x40,
        0x3E, 0x55, 0xEA, 0x00, 0xA0, 0x3E, 0xAA, 0xEA, 0x10, 0xA0, 0xFA, 0x20, 0xA0, 0xFA, 0x30, 0xA0,
        0x04, 0x78, 0xEA, 0x80, 0xA0, 0xFA, 0x80, 0xA0, 0x18, 0xE6]
# GBC: LCD on, an HBlank HDMA of 16 blocks (HDMA5 bit 7) from 0x4000 to 0x8000, started again
# whenever it has ended, with VRAM and WRAM bank switches while it runs.
hblank = [0x3E, 0x91, 0xE0, 0x40, 0x3E, 0x40, 0xE0, 0x51, 0xAF, 0xE0, 0x52, 0x3E, 0x80, 0xE0, 0x53, 0xAF,
          0xE0, 0x54, 0x3E, 0x8F, 0xE0, 0x55, 0x04, 0x78, 0xE0, 0x4F, 0xE0, 0x70, 0xF0, 0x55, 0xCB, 0x7F,
          0x28, 0xF4, 0x18, 0xEE]
# STAT interrupts (mode 0, 1, 2 and LYC) with a halt loop that moves LYC and the window.
stat = [0x3E, 0x78, 0xE0, 0x41, 0x3E, 0x03, 0xE0, 0xFF, 0x3E, 0xB3, 0xE0, 0x40, 0xFB, 0x76, 0x00, 0x04,
        0x78, 0xE0, 0x45, 0xE0, 0x4A, 0xE0, 0x4B, 0x18, 0xF4]


def choose(image, mode, compat=False, frames=15):
    """The choice byte at the end of the file: hardware mode, compatibility mappers, frames."""
    b = bytearray(image)
    b[-1] = (mode | (8 if compat else 0) | frames << 4) ^ (len(b) & 0xFF)
    g = sum(b[i] for i in range(len(b)) if i not in (0x14E, 0x14F)) & 0xFFFF
    b[0x14E], b[0x14F] = g >> 8, g & 0xFF
    return bytes(b)


roms = {
    "dmg_mbc1.gb": choose(rom(counter, type=0x03, ramcode=3), 0),
    "dmg_timer.gb": choose(rom(timer, extra={0x50: [0xD9]}), 0, frames=3),
    "gbc_mbc5.gb": choose(rom(colour, type=0x1B, ramcode=3, colour=0x80), 1),
    "gbc_only_mbc3timer.gb": choose(rom(counter, type=0x10, ramcode=3, colour=0xC0), 3, compat=True),
    "sgb_mbc3.gb": choose(rom(timer, type=0x13, ramcode=2, sgb=True, extra={0x50: [0xD9]}), 2),
    "header_only.gb": rom([], size=0x150),
    "full_32k.gb": choose(rom(counter, size=0x8000), 4, frames=2),
    "mbc1_banks.gb": choose(rom(walker, type=0x03, ramcode=3, sizecode=5), 0),
    "mbc1_banks_compat.gb": choose(rom(walker, type=0x02, ramcode=2, sizecode=4), 3, compat=True),
    "mbc2_banks.gb": choose(rom(walker, type=0x06, sizecode=3), 0, frames=4),
    "mbc3_clock.gb": choose(rom(walker, type=0x10, ramcode=3, sizecode=6), 1, frames=15),
    "mbc3_clock_compat.gb": choose(rom(walker, type=0x0F, sizecode=2), 3, compat=True),
    "mbc5_rumble.gb": choose(rom(walker, type=0x1E, ramcode=4, sizecode=8, colour=0x80), 1),
    "huc1.gb": choose(rom(walker, type=0xFF, ramcode=3, sizecode=4), 0),
    "huc3.gb": choose(rom(walker, type=0xFE, ramcode=3, sizecode=4), 3, compat=True),
    "mbc7.gb": choose(rom(mbc7, type=0x22, sizecode=4, colour=0x80), 1, frames=4),
    "generic_unknown.gb": choose(rom(walker, type=0x20, ramcode=2, sizecode=1), 3, compat=True),
    "gbc_hblank_hdma.gb": choose(rom(hblank, colour=0xC0), 1, frames=4),
    "gbc_on_sgb_border.gb": choose(rom(colour, colour=0x80, sgb=True), 6, frames=4),
    "dmg_stat.gb": choose(rom(stat, extra={0x48: [0xD9]}), 0, frames=6),
    "sgb_stat.gb": choose(rom(stat, sgb=True, extra={0x48: [0xD9]}), 5, frames=6),
}
# Archives of at least 256 bytes (the loader refuses smaller ones): a ROM with noise after its
# code does not shrink below that.
noisy = choose(rom(walker, type=0x03, ramcode=3, size=0x8000,
                   extra={0x200: bytes((i * 2654435761 >> 13) & 0xFF for i in range(0x200, 0x7FFF))}), 0, frames=2)
# A gzip file ends in its size, so its choice is the low byte of its own size.
roms["dmg_mbc1.gb.gz"] = gzip.compress(noisy, mtime=0)
def entry(name, method=zipfile.ZIP_DEFLATED):
    """A fixed date, so that the archives come out the same at every run."""
    info = zipfile.ZipInfo(name, date_time=(2020, 1, 1, 0, 0, 0))
    info.compress_type = method
    return info


z = io.BytesIO()
with zipfile.ZipFile(z, "w", zipfile.ZIP_DEFLATED) as f:
    f.writestr(entry("readme.txt"), "not a rom")
    f.writestr(entry("game.gbc"), noisy)
    f.comment = b"\0"  # a one-byte comment ends the file: the choice byte (GBC)
roms["gbc_mbc5.zip"] = z.getvalue()[:-1] + bytes([1 ^ (len(z.getvalue()) & 0xFF)])


class unseekable(io.RawIOBase):
    """A stream zipfile cannot seek in: it writes the sizes in a data descriptor (flag bit 3)."""
    def __init__(self):
        self.data = bytearray()
    def writable(self):
        return True
    def write(self, b):
        self.data += b
        return len(b)


u = unseekable()
with zipfile.ZipFile(u, "w", zipfile.ZIP_DEFLATED) as f:
    f.writestr(entry("streamed.sgb"), noisy)
roms["sgb_streamed.zip"] = bytes(u.data)
corpus("rom", roms)


# ---- archives alone
def gzipmember(data, flags, extra=b"", name=b"", comment=b""):
    """A gzip member written by hand, with the optional header fields of `flags`."""
    head = bytes([0x1F, 0x8B, 8, flags, 0, 0, 0, 0, 0, 3])
    if flags & 0x04:
        head += struct.pack("<H", len(extra)) + extra
    if flags & 0x08:
        head += name + b"\0"
    if flags & 0x10:
        head += comment + b"\0"
    if flags & 0x02:
        head += struct.pack("<H", zlib.crc32(head) & 0xFFFF)
    packer = zlib.compressobj(9, zlib.DEFLATED, -15)
    body = packer.compress(data) + packer.flush()
    return head + body + struct.pack("<II", zlib.crc32(data), len(data))


small = roms["dmg_timer.gb"]
z = io.BytesIO()
with zipfile.ZipFile(z, "w") as f:
    f.writestr(entry("stored.gb", zipfile.ZIP_STORED), small)
    f.writestr(entry("first.gb"), small)
    f.writestr(entry("DIR/SECOND.CGB"), roms["gbc_mbc5.gb"])
    f.writestr(entry("notes.txt"), "text")
u = unseekable()
with zipfile.ZipFile(u, "w", zipfile.ZIP_DEFLATED) as f:
    f.writestr(entry("a.gmb"), small)
    f.writestr(entry("b.txt"), "after")
corpus("archive", {
    "plain.gz": gzip.compress(small, mtime=0),
    "fields.gz": gzipmember(small, 0x1E, extra=b"AB\x02\x00xy", name=b"game.gb", comment=b"comment"),
    "stored_and_deflated.zip": z.getvalue(),
    "streamed_two.zip": bytes(u.data),
    "rom_in_zip.zip": roms["gbc_mbc5.zip"],
})

# ---- tov.ini
table = open(os.path.join(root, "..", "..", "src", "frontend", "settings.cpp")).read()
keys = re.findall(r'opt\(&tsettings::\w+, "([^"]+)"', table)
with open(os.path.join(root, "settings.dict"), "w") as f:
    f.write("# Keys of \"tov.ini\" with their \"=\", and the keys of the lists after the option table.\n")
    for k in keys + ["Joypad0", "Joypad3", "JoystickBtn1", "JoystickNum2", "Color0", "Color15", "Recent0",
                     "Recent9", "ColorScheme"]:
        f.write('"%s="\n' % k)
    for v in ["2147483647", "-2147483648", "0x", "\\x0d", "\\x0d\\x0a", "1.0e308", "nan", "inf"]:
        f.write('"%s"\n' % v)
long = "RomDir=" + "a" * 247 + "\r\n"  # the CR lands at the 255-character cut
corpus("settings", {
    "findings.ini": b"Samplerate=2147483647\nSoundBufSize=1\nMaxSkip=2147483647\n" + long.encode(),
    "lists.ini": b"Joypad0=26 28 25 27 58 5A 10 0D 00 00 20 78 77 71 BB 13 7B\r\nJoystickBtn1=1 2 3\r\n"
                 b"JoystickNum2=1\r\nColor0=FFFFFF\r\nColor15=123456\r\nRecent0=/games/a.gb\r\n"
                 b"ColorScheme=grey,FFFFFF,AAAAAA,555555,000000\r\nColorScheme=green,9BBC0F\r\n",
    "values.ini": b"Gamma=2.2\nColorSaturation=0.85\nSpeed=-1\nVolume=300\nWindowmode=4\n"
                  b"Background=border.bmp\nWRAMinitvalue=FF\nReflectorColor=00ff00\nSystemMode=9\n"
                  b"8Bits=1\nwaveout=0\nNoKey\n=1\nDebugFont=Courier New\n",
})

# ---- border bitmaps


def bmp(width, height, bits, rows, palette=b"", topdown=False, core=False, compression=0, masks=b""):
    rowbytes = (width * bits + 31) // 32 * 4
    data = b"".join(r.ljust(rowbytes, b"\0") for r in rows)
    if core:
        header = struct.pack("<IHHHH", 12, width, height, 1, bits)
    else:
        header = struct.pack("<IiiHHIIiiII", 40, width, -height if topdown else height, 1, bits, compression,
                             len(data), 2835, 2835, len(palette) // 4, 0) + masks
    offset = 14 + len(header) + len(palette)
    return b"BM" + struct.pack("<IHHI", offset + len(data), 0, 0, offset) + header + palette + data


def bits1(width, height, inside):
    """1-bit rows: colour 1 everywhere but a 160 x 144 hole of colour 0 at inside=(x, y)."""
    rows = []
    for y in range(height):
        bitsrow = [0 if inside[0] <= x < inside[0] + 160 and inside[1] <= y < inside[1] + 144 else 1
                   for x in range(width)]
        bitsrow += [0] * (-len(bitsrow) % 8)
        rows.append(bytes(int("".join(map(str, bitsrow[i:i + 8])), 2) for i in range(0, len(bitsrow), 8)))
    return rows[::-1]  # bottom-up


mono = b"\x00\x00\x00\x00\xff\xff\xff\x00"
grey16 = b"".join(bytes([i * 17, i * 17, i * 17, 0]) for i in range(16))
seedsbmp = {
    "sgbsize_1bit.bmp": bmp(256, 224, 1, bits1(256, 224, (48, 40)), mono),
    "offcentre_1bit_topdown.bmp": bmp(200, 150, 1, bits1(200, 150, (3, 2))[::-1], mono, topdown=True),
    "nohole_1bit_core.bmp": bmp(160, 144, 1, [bytes([0x55 if y % 2 else 0xAA] * 20) for y in range(144)],
                                b"\x00\x00\x00\xff\xff\xff", core=True),
    "grid_4bit.bmp": bmp(168, 150, 4, [bytes(((x // 8 + y // 8) % 16) * 17 for x in range(84))
                                       for y in range(150)], grey16),
    "small_8bit.bmp": bmp(16, 16, 8, [bytes(range(y * 16, y * 16 + 16)) for y in range(16)],
                          b"".join(bytes([i, 255 - i, i // 2, 0]) for i in range(256))),
    "small_16bit_fields.bmp": bmp(16, 8, 16, [struct.pack("<16H", *[(x << 11) | (y << 5) for x in range(16)])
                                            for y in range(8)], compression=3,
                                  masks=struct.pack("<III", 0xF800, 0x07E0, 0x001F)),
    "small_24bit.bmp": bmp(8, 8, 24, [bytes([x * 30, y * 30, 128] * 1)[0:3] * 8 for x in range(1) for y in range(8)]),
    "small_32bit_topdown.bmp": bmp(8, 8, 32, [struct.pack("<8I", *[0x10203 * (x + y) for x in range(8)])
                                          for y in range(8)], topdown=True),
}
corpus("border", seedsbmp)

# ---- battery and clock files: [controller index][RAM size code][.rtc length][.rtc][.sav]
types = [0x03, 0x06, 0x09, 0x0F, 0x10, 0x13, 0x1B, 0x1E, 0xFE, 0xFF, 0x22]
now = 1700000000 / 86400 + 25569  # the fake clock's local time in days since 1899-12-30


def battery(type, ramcode, rtc, sav, compat=False):
    head = bytes([types.index(type) | (0x80 if compat else 0), ramcode, 23 if rtc is None else len(rtc)])
    return head + (rtc or b"") + sav


noise = bytes((i * 73 + 11) & 0xFF for i in range(8192))
corpus("battery", {
    "mbc1_8k.bin": battery(0x03, 2, None, noise),
    "mbc2_512.bin": battery(0x06, 0, None, noise[:512]),
    "mbc3timer_running.bin": battery(0x10, 2, struct.pack("<dI", now - 3.25, 0), noise[:4096]),
    "mbc3timer_halted_old.bin": battery(0x0F, 0, struct.pack("<dI", now - 700.5, 1), b""),
    "mbc3timer_short_rtc.bin": battery(0x10, 3, struct.pack("<d", now + 5), noise[:100]),
    "mbc3timer_noram_sav.bin": battery(0x0F, 0, struct.pack("<dI", now - 1, 0), b"no RAM to fill"),
    "mbc3timer_nan.bin": battery(0x10, 2, b"\x00\x00\x00\x00\x00\x00\xf8\x7f\x01\x00\x00\x00", b"\x01"),
    "mbc5_128k_short.bin": battery(0x1B, 4, None, noise[:3000]),
    "huc3.bin": battery(0xFE, 2, None, noise[:8192]),
    "generic_compat.bin": battery(0x09, 2, None, noise[:2048], compat=True),
    "mbc7.bin": battery(0x22, 0, None, noise[:256]),
})

# ---- SGB packets: records of a control byte and 16 packet bytes


def rec(control, *packet):
    p = bytes(packet)
    return bytes([control]) + p + bytes(16 - len(p))


border_seq = (rec(1, 0xB9, 1) + rec(5, 0x99, 0) + rec(5, 0x99, 1) + rec(5, 0xA1) + rec(1, 0xB9, 0))
corpus("sgb", {
    "palettes.bin": rec(1, 0x01, 0xFF, 0x7F, 0x00, 0x7C, 0xE0, 0x03, 0x1F, 0x00) + rec(1, 0x09, 1, 2, 3, 4)
                    + rec(6, 0x59) + rec(1, 0x51, 0, 0, 1, 0, 2, 0, 3, 0, 0xC1),
    "border.bin": border_seq,
    "attributes.bin": rec(1, 0x21, 2, 0x07, 0x1B, 1, 1, 10, 10, 0x03, 0x00, 2, 2, 19, 17) + rec(1, 0x29, 2, 0x85, 0xA3)
                      + rec(1, 0x31, 0x1B, 9) + rec(1, 0x3A, 0, 0, 20, 0, 0, 0xE4, 0x1B) + rec(0, 0, 0, 0, 0)
                      + rec(6, 0xA9) + rec(1, 0xB1, 3, 0x40),
    "multiplayer.bin": rec(0x21, 0x89, 3) + rec(0x21) + rec(0x22, 0x89, 1) + rec(0x21, 0x89, 0),
    "malformed.bin": rec(0x09, 0x01, 1, 2) + rec(0x11, 0x09, 3) + rec(0x07, 0xFF, 0xFF) + rec(0x80 | 1, 0x02),
})

# ---- symbol files and the debugger's typed inputs: a ".sym" file whose lines are also given
# to the assembler, the hex byte reader and the address, condition and expression readers
corpus("symbols", {
    "seed.sym": b"; seed\n00:0150 Main\n01:4000 Far\nLD A,05;@1;dec b;jr nz,@1\n3e 01 ff\n(Main)+10\nHL>=Far\n",
    "assembler.sym": b"ld hl,sp+fe;add sp,02;ldi a,(hl);ldd (hl),a\nJP NZ 1234;CALL NC 4321;jp z,0000\n"
                     b"swap a;bit 7,h;res 0,(hl);set 0,(hl)\n@a;jr c,@b;nop;nop;@b;jr nc,@a\n"
                     b"LD A,05;LD (FF00+40),A\nld (c000),sp;ldh a,(44);rst 38;reti;stop;di;ei\n"
                     b"push af;pop bc;inc de;dec (hl);cp (hl);sbc a,ff;rlca;daa;scf;ccf;cpl\n",
    "conditions.sym": b"($FF44)<$90\nzero=$1\ncarry\n(hl)\nA>=$10\nHL>=wBuffer\n(wLives)=$03\n"
                      b"2:4123\n 1f : 40a0 \n3:\nFF00+BC\n((HL))\n(HL)+1\nA=$05\n1+\n(C000\n",
    "banks.sym": b"; rgbds\n00:0000 Start\n00:0150 Main.loop\n01:4000 BankOne\n1F:7FFF End\n"
                 b"00:C000 wBuffer\n00:C100 wLives\n02:A000 sSave\nFF:FF80 hTemp\nwBuffer+10\n"
                 b"BankOne\n(wLives)\nNowhere\n",
})
