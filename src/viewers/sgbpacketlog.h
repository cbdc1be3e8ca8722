// The SGB packet log: every Super Game Boy command the game sends, one text line per
// packet in hexadecimal, for the `TFormsgbpackets` window.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace tov {

class tsgb;

// The command's name by its code (first byte >> 3): "PAL01" ... "OBJ_TRN", "unknown" above 0x18.
const char* sgbcommandname(int code);
// The lines of one command of `packetcount` packets (16 bytes each, from `packets`):
// packet 0 starts with the count, the code as two hex digits and the name; every line is
// padded with at least one blank to 14 characters, then the 16 bytes follow as "51.01.00.00 ...".
std::vector<std::string> sgbpacketlines(const uint8_t* packets, int packetcount);

class tsgbpacketlog {
public:
    tsgbpacketlog() = default;
    ~tsgbpacketlog() { detach(); }
    tsgbpacketlog(const tsgbpacketlog&) = delete;
    tsgbpacketlog& operator=(const tsgbpacketlog&) = delete;

    // Becomes the SGB unit's packet-log callback (replacing any other).
    void attach(tsgb& unit);
    void detach();
    // The SGB unit is about to execute a complete command of n packets.
    void logcommand(int packetcount);
    // `Buttonclear`.
    void clear() { lines.clear(); }

    std::vector<std::string> lines;
    // The whole text, one line per packet (the text area's contents).
    std::string text() const;

private:
    tsgb* sgb = nullptr;
    static void onpacket(void* context, int packetcount);
};

}  // namespace tov
