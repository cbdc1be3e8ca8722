#include "viewers/sgbpacketlog.h"

#include <algorithm>
#include <cstdio>

#include "video/sgb.h"

namespace tov {

namespace {
constexpr const char* commandnames[25] = {
    "PAL01",   "PAL23",   "PAL03",   "PAL12",    "ATTR_BLK", "ATTR_LIN", "ATTR_DIV",
    "ATTR_CHR", "SOUND",  "SOU_TRN", "PAL_SET",  "PAL_TRN",  "ATRC_EN",  "TEST_EN",
    "ICON_EN", "DATA_SND", "DATA_TRN", "MLT_REQ", "JUMP",     "CHR_TRN",  "PCT_TRN",
    "ATTR_TRN", "ATTR_SET", "MASK_EN", "OBJ_TRN",
};
constexpr int maxpackets = 7;  // the command buffer holds 7 packets of 16 bytes
}  // namespace

const char* sgbcommandname(int code) {
    return code >= 0 && code < 25 ? commandnames[code] : "unknown";
}

std::vector<std::string> sgbpacketlines(const uint8_t* packets, int packetcount) {
    std::vector<std::string> out;
    const int n = std::clamp(packetcount, 0, maxpackets);
    char buf[8];
    for (int i = 0; i < n; i++) {
        std::string line;
        if (i == 0) {
            std::snprintf(buf, sizeof buf, "%02X", packets[0] >> 3);
            line = std::to_string(packetcount) + " " + buf + " " + sgbcommandname(packets[0] >> 3);
        }
        do line += ' '; while (line.size() < 14);
        const uint8_t* p = packets + 16 * i;
        for (int b = 0; b < 16; b++) {
            std::snprintf(buf, sizeof buf, "%02X", p[b]);
            line += buf;
            if (b == 3 || b == 7 || b == 11) line += ' ';
            else if (b != 15) line += '.';
        }
        out.push_back(std::move(line));
    }
    return out;
}

void tsgbpacketlog::attach(tsgb& unit) {
    detach();
    sgb = &unit;
    sgb->onpacket = onpacket;
    sgb->onpacketcontext = this;
}

void tsgbpacketlog::detach() {
    if (sgb && sgb->onpacketcontext == this) {
        sgb->onpacket = nullptr;
        sgb->onpacketcontext = nullptr;
    }
    sgb = nullptr;
}

void tsgbpacketlog::logcommand(int packetcount) {
    if (!sgb) return;
    for (std::string& l : sgbpacketlines(sgb->packetdata, packetcount)) lines.push_back(std::move(l));
}

std::string tsgbpacketlog::text() const {
    std::string t;
    for (const std::string& l : lines) {
        t += l;
        t += '\n';
    }
    return t;
}

void tsgbpacketlog::onpacket(void* context, int packetcount) {
    static_cast<tsgbpacketlog*>(context)->logcommand(packetcount);
}

}  // namespace tov
