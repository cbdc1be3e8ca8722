// Two headless runs joined by the link cable: `tov-run --listen` and `tov-run --connect`, the
// test program as master on one side and slave on the other; and the runner's wait for a
// link that never comes.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "link/linkrom.h"
#include "support/runner.h"

namespace tov::testing {
namespace {

using bytes = std::vector<uint8_t>;

struct trunfolder {
    std::filesystem::path dir;
    trunfolder() {
        dir = std::filesystem::temp_directory_path() / ("tov-link-" + std::to_string(::getpid()));
        std::filesystem::create_directories(dir);
    }
    ~trunfolder() {
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }
    std::string write(const std::string& name, const tromimage& rom) {
        std::string path = (dir / name).string();
        std::vector<uint8_t> b = rom.finished();
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(b.data()), std::streamsize(b.size()));
        return path;
    }
};

// A run started in the background; its standard output (and error, with `witherrors`) is read
// as it comes.
struct tbackgroundrun {
    FILE* pipe = nullptr;
    tbackgroundrun(const std::string& options, const std::string& rom, bool witherrors) {
        std::string command = std::string("\"") + TOV_RUN + "\" " + options + " \"" + rom + "\"" +
                              (witherrors ? " 2>&1" : " 2>/dev/null");
        pipe = popen(command.c_str(), "r");
    }
    std::string line() {
        char buffer[512];
        if (!pipe || !std::fgets(buffer, sizeof buffer, pipe)) return {};
        return buffer;
    }
    // The port a `--listen 127.0.0.1:0` run chose, from its first line ("listening on
    // 127.0.0.1:PORT", kept in `firstline`); empty when the line says something else.
    std::string firstline;
    std::string listeningport() {
        firstline = line();
        if (firstline.rfind("listening on 127.0.0.1:", 0) != 0) return {};
        std::string port = firstline.substr(firstline.find(':') + 1);
        port.erase(port.find_last_not_of("\r\n") + 1);
        return port;
    }
    trunresult finish() {
        trunresult r;
        if (!pipe) return r;
        char buffer[512];
        size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) r.out.append(buffer, n);
        int status = pclose(pipe);
        pipe = nullptr;
        r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        return r;
    }
    ~tbackgroundrun() {
        if (pipe) pclose(pipe);
    }
};

std::string hex(const bytes& b) {
    std::string s;
    char t[3];
    for (uint8_t v : b) {
        std::snprintf(t, sizeof t, "%02X", v);
        s += t;
    }
    return s;
}

TEST(LinkRunner, TwoRunsExchangeTheirSequencesMasterListeningSlaveConnecting) {
    const bytes m = {0x10, 0x32, 0x54, 0x76, 0x98, 0xBA, 0xDC, 0xFE};
    const bytes s = {0x01, 0x00, 0xFF, 0x68, 0x69, 0x6B, 0x65, 0x81};
    trunfolder folder;
    std::string master = folder.write("master.gb", linkrom(tlinkrole::master, m, s));
    std::string slave = folder.write("slave.gb", linkrom(tlinkrole::slave, s, m));

    tbackgroundrun listener("--listen 127.0.0.1:0 --link-wait 30 --until-done --serial --no-draw --frames 20000",
                            master, false);
    const std::string port = listener.listeningport();
    ASSERT_FALSE(port.empty()) << listener.firstline;

    trunresult connector = runtovrun("--connect 127.0.0.1:" + port + " --until-done --no-draw --frames 20000", slave);
    EXPECT_EQ(connector.status, 0) << connector.out;
    EXPECT_NE(connector.out.find("result: passed"), std::string::npos) << connector.out;

    trunresult r = listener.finish();
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find(hex(s) + " Passed"), std::string::npos) << r.out;
}

TEST(LinkRunner, SlaveWithoutTransferListeningMasterConnectingThenThePeerCloses) {
    const bytes m = {0x01, 0x02, 0x03, 0x04};
    trunfolder folder;
    std::string master = folder.write("master.gb", linkrom(tlinkrole::master, m, bytes(4, 0x5A)));
    std::string idle = folder.write("idle.gb", linkrom(tlinkrole::idle, {0x5A}, {}));

    // The idle side runs on after the master is done, and hears the connection close.
    tbackgroundrun listener("--listen 127.0.0.1:0 --no-draw --frames 6000", idle, true);
    const std::string port = listener.listeningport();
    ASSERT_FALSE(port.empty()) << listener.firstline;

    trunresult r = runtovrun("--connect 127.0.0.1:" + port + " --until-done --serial --no-draw --frames 6000", master);
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("5A5A5A5A Passed"), std::string::npos) << r.out;

    trunresult l = listener.finish();
    EXPECT_NE(l.out.find("Unplugged: game link connection closed"), std::string::npos) << l.out;
    EXPECT_NE(l.out.find("result: none"), std::string::npos) << l.out;
}

TEST(LinkRunner, NoPeerWithinTheWaitEndsTheRunWithAMessage) {
    trunfolder folder;
    std::string rom = folder.write("alone.gb", linkrom(tlinkrole::master, {1}, {1}));
    tbackgroundrun alone("--listen 127.0.0.1:0 --link-wait 0.3", rom, true);
    trunresult r = alone.finish();
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.out.find("listening on 127.0.0.1:"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("tov-run: no link within 0.3 seconds"), std::string::npos) << r.out;

    tbackgroundrun bad("--listen 1:2:3 --connect x", rom, true);
    EXPECT_EQ(bad.finish().status, 2);
    // A port beyond 65535 is refused, not taken modulo 65536.
    trunresult wide = runtovrun("--listen 127.0.0.1:99999 --link-wait 0.3 --frames 1", rom, true);
    EXPECT_EQ(wide.status, 2);
    EXPECT_NE(wide.out.find("opening port failed"), std::string::npos) << wide.out;
    wide = runtovrun("--connect 127.0.0.1:99999 --link-wait 0.3 --frames 1", rom, true);
    EXPECT_EQ(wide.status, 2);
    EXPECT_NE(wide.out.find("Connection failed, error 22"), std::string::npos) << wide.out;
    // An empty address is a bad argument, not a run without the link.
    for (const char* empty : {"--listen \"\"", "--connect \"\""}) {
        trunresult e = runtovrun(std::string(empty) + " --frames 1", rom, true);
        EXPECT_EQ(e.status, 2) << empty << e.out;
        EXPECT_NE(e.out.find("needs"), std::string::npos) << e.out;
    }
}

}  // namespace
}  // namespace tov::testing
