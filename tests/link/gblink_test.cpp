// The link cable's protocol and state machine, with the peer played by the test: the bytes on
// the wire, the master's wait, the slave's answer, the commands and their message boxes.
#include <gtest/gtest.h>

#include "link/linktestutil.h"

namespace tov::testing {
namespace {

using bytes = std::vector<uint8_t>;

TEST(LinkAddressText, ListenAndConnectTextsSplitIntoHostAndPort) {
    struct tcase {
        const char* text;
        bool listen;
        const char* host;
        const char* port;
    } cases[] = {
        {"8765", true, "0.0.0.0", "8765"},         // digits only: every address
        {"1234", true, "0.0.0.0", "1234"},
        {"192.168.1.2", true, "192.168.1.2", "8765"},  // a dot and no colon: that address
        {"10.0.0.1:99", true, "10.0.0.1", "99"},
        {":77", true, "0.0.0.0", "77"},
        {"localhost:", true, "localhost", "8765"},
        {"h:123456789012", true, "h", "1234567890"},  // the port is at most 10 characters
        {"127.0.0.1", false, "127.0.0.1", "8765"},
        {"example.org:4000", false, "example.org", "4000"},
        {":5", false, "", "5"},
        {"h:", false, "h", ""},
    };
    for (const tcase& c : cases) {
        tlinkaddress a = c.listen ? parselistentext(c.text) : parseconnecttext(c.text);
        EXPECT_EQ(a.host, c.host) << c.text;
        EXPECT_EQ(a.port, c.port) << c.text;
    }
}

TEST(LinkCommands, LinkingSendsVersionThenTimingAndShowsLinked) {
    tlinkbench b;
    b.connect("10.1.2.3:4444");
    ASSERT_NE(b.conn, nullptr);
    EXPECT_EQ(b.conn->addr, "10.1.2.3");
    EXPECT_EQ(b.conn->prt, "4444");
    EXPECT_TRUE(b.conn->connecting);
    EXPECT_STREQ(b.link.captionsuffix(), " (connecting)");
    b.conn->events.connected(0);
    EXPECT_TRUE(b.link.islinked());
    EXPECT_TRUE(b.conn->nodelay);
    EXPECT_EQ(b.conn->sent, (bytes{0x01, 0x00, 0x55, 0x01, 0x6B, 0x0A, 0x00, 0x00}));
    EXPECT_STREQ(b.link.captionsuffix(), " (linked)");
    EXPECT_EQ(b.link.timingshift(), 10);
}

TEST(LinkCommands, ConnectFailureAndBadAddressesAreReported) {
    tlinkbench b;
    b.connect(":5");
    EXPECT_EQ(b.host.boxes, (std::vector<std::string>{"Error: enter an address"}));
    EXPECT_EQ(b.conn, nullptr);

    b.connect("127.0.0.1:1");
    b.conn->events.connected(111);
    EXPECT_EQ(b.host.boxes.back(), "Error: Connection failed, error 111");
    EXPECT_FALSE(b.link.islinked());
    // The failed socket stays (connecting) until it is closed; no "Unplugged" box for a
    // connection that never linked.
    EXPECT_STREQ(b.link.captionsuffix(), " (connecting)");
    b.link.disconnect();
    EXPECT_TRUE(b.conn->closedbyus);
    b.conn->events.closed();
    b.link.poll();
    EXPECT_STREQ(b.link.captionsuffix(), "");
    EXPECT_EQ(b.host.boxes.size(), 2u);
}

TEST(LinkCommands, ListenAcceptsOneConnectionAndStopsListening) {
    tlinkbench b;
    b.link.listen("127.0.0.1:0");
    tfakesocket* listener = b.net.made.back();
    EXPECT_TRUE(listener->listening);
    EXPECT_EQ(listener->addr, "127.0.0.1");
    EXPECT_EQ(b.link.listeningon(), "127.0.0.1:0");
    EXPECT_STREQ(b.link.captionsuffix(), " (listening)");
    bool listeneralive = true;
    listener->alive = &listeneralive;
    auto incoming = std::make_unique<tfakesocket>();
    tfakesocket* accepted = incoming.get();
    listener->waiting = std::move(incoming);
    listener->events.connectionwaiting();
    EXPECT_FALSE(listeneralive);  // accepting destroys the listening socket
    EXPECT_TRUE(b.link.islinked());
    EXPECT_EQ(accepted->sent.size(), 8u);
    // Listening and connecting exclude each other.
    size_t made = b.net.made.size();
    b.link.listen("9999");
    b.link.connect("127.0.0.1");
    EXPECT_EQ(b.net.made.size(), made);
    EXPECT_TRUE(b.host.boxes.empty());
}

TEST(LinkCommands, ListenFailureClosePortAndEmptyText) {
    tlinkbench b;
    b.link.listen("");
    EXPECT_TRUE(b.net.made.empty());
    b.net.failnextlisten = true;
    b.link.listen("80");
    EXPECT_EQ(b.host.boxes, (std::vector<std::string>{"Error: opening port failed"}));
    EXPECT_FALSE(b.link.islistening());
    b.link.listen("8765");
    EXPECT_TRUE(b.link.islistening());
    b.link.closeport();
    EXPECT_FALSE(b.link.islistening());
    EXPECT_STREQ(b.link.captionsuffix(), "");
}

TEST(LinkTransfer, MasterCompletesInsideItsTickWhenTheAnswerArrives) {
    tlinkbench b;
    b.linkup();
    b.gb().sb = 0x3C;
    b.gb().sc = 0x83;  // GBC fast clock bit stays
    b.gb().ifreg = 0;
    b.host.onpump = [&](int pump) {
        if (pump == 3) b.deliver({0x69, 0xA5, 0x80, 0x17});
    };
    b.link.linktick();
    EXPECT_EQ(b.conn->sent, (bytes{0x68, 0x3C, 0x83, uint8_t(b.link.tickcounter())}));
    EXPECT_EQ(b.host.pumps, 4);  // three waits, the answer, then one activity pump
    EXPECT_EQ(b.gb().sb, 0xA5);
    EXPECT_EQ(b.gb().sc, 0x03);  // only the start bit clears: the internal clock stays
    EXPECT_EQ(b.gb().ifreg & 0x08, 0x08);
    EXPECT_EQ(b.link.remotesc(), -1);
    // The next byte started with SC |= 0x80 goes out as the master's again.
    b.gb().sc |= 0x80;
    const int next = b.host.pumps + 1;
    b.host.onpump = [&](int pump) {
        if (pump == next) b.deliver({0x69, 0x5B, 0x80, 0x18});
    };
    b.link.linktick();
    ASSERT_EQ(b.conn->sent.size(), 8u);
    EXPECT_EQ(b.conn->sent[4], 0x68);
    EXPECT_EQ(b.conn->sent[6], 0x83);
    EXPECT_EQ(b.gb().sb, 0x5B);
}

TEST(LinkTransfer, MasterWithoutAnswerWaitsAtMost30000TimesAndResends) {
    tlinkbench b;
    b.linkup();
    b.gb().sb = 0x11;
    b.gb().sc = 0x81;
    b.link.linktick();
    EXPECT_EQ(b.host.pumps, 30000);
    EXPECT_EQ(b.gb().sc, 0x81);  // still pending
    EXPECT_EQ(b.gb().sb, 0x11);
    b.link.linktick();
    EXPECT_EQ(b.conn->sent.size(), 8u);  // sent again
    EXPECT_EQ(b.conn->sent[4], 0x68);
}

TEST(LinkTransfer, BothMastersInTheSameTickTakeEachOthersTransferAsTheAnswer) {
    tlinkbench b;
    b.linkup();
    b.gb().sb = 0x42;
    b.gb().sc = 0x81;
    b.host.onpump = [&](int pump) {
        if (pump == 1) b.deliver({0x68, 0x24, 0x81, 0x00});
    };
    b.link.linktick();
    EXPECT_EQ(b.gb().sb, 0x24);
    EXPECT_EQ(b.gb().sc, 0x01);
    EXPECT_EQ(b.conn->sent.size(), 4u);  // no reply on top: the transfer counts as one
}

TEST(LinkTransfer, SlaveAnswersAtItsNextTickOnce) {
    struct tcase {
        uint8_t sc;
        bool completes;
    } cases[] = {{0x80, true}, {0x00, false}, {0x82, true}};
    for (const tcase& c : cases) {
        tlinkbench b;
        b.linkup();
        b.gb().sb = 0x99;
        b.gb().sc = c.sc;
        b.gb().ifreg = 0;
        b.deliver({0x68, 0x5A, 0x81, 0x33});
        EXPECT_TRUE(b.conn->sent.empty());
        b.link.linktick();
        EXPECT_EQ(b.conn->sent, (bytes{0x69, 0x99, c.sc, uint8_t(b.link.tickcounter())})) << int(c.sc);
        EXPECT_EQ(b.gb().sb, c.completes ? 0x5A : 0x99) << int(c.sc);
        EXPECT_EQ(b.gb().sc, c.completes ? uint8_t(c.sc & ~0x80) : c.sc);
        EXPECT_EQ(b.gb().ifreg & 0x08, c.completes ? 0x08 : 0);
        b.link.linktick();
        EXPECT_EQ(b.conn->sent.size(), 4u) << "answered twice";
    }
}

TEST(LinkTransfer, SlaveIgnoresATransferTheMasterClocksExternally) {
    tlinkbench b;
    b.linkup();
    b.gb().sc = 0x80;
    b.deliver({0x68, 0x5A, 0x80, 0x00});  // the peer waits for a clock too: no master
    b.link.linktick();
    EXPECT_TRUE(b.conn->sent.empty());
    EXPECT_EQ(b.gb().sc, 0x80);
}

TEST(LinkTransfer, PausedSideAnswersAtOnceWithZero) {
    tlinkbench b;
    b.linkup();
    b.host.ispaused = true;
    b.gb().sb = 0x77;
    b.deliver({0x68, 0x12, 0x81, 0x05});
    EXPECT_EQ(b.conn->sent, (bytes{0x69, 0x00, 0x00, 0x00}));
}

TEST(LinkTransfer, UnlinkedTransferEndsWithFFClearingOnlyBit7) {
    tlinkbench b;
    b.gb().sb = 0x12;
    b.gb().sc = 0x83;
    b.gb().ifreg = 0;
    b.link.linktick();
    EXPECT_EQ(b.gb().sb, 0xFF);
    EXPECT_EQ(b.gb().sc, 0x03);
    EXPECT_EQ(b.gb().ifreg & 0x08, 0x08);
}

TEST(LinkMessages, RemoteJoypadFollowsRemoteJoy) {
    tlinkbench b;
    b.linkup();
    b.link.options.RemoteJoy = false;
    b.deliver({0x65, 0x0C, 0, 0});
    EXPECT_EQ(b.gb().joypad[0], 0u);
    b.link.options.RemoteJoy = true;
    b.deliver({0x65, 0xFC, 0, 0});  // b1 > 7 presses; the button is b1 AND 7
    EXPECT_EQ(b.gb().joypad[0], 1u << 4);
}

TEST(LinkMessages, ControllerOneGoesToThePeerOnlyWhileLinked) {
    tlinkbench b;
    b.gb().joypadset(1, 6, true);
    EXPECT_EQ(b.gb().joypad[1], 1u << 6);
    b.gb().joypadset(1, 6, false);
    b.linkup();
    b.gb().joypadset(1, 6, true);
    b.gb().joypadset(1, 6, true);  // rapid fire repeats a state: sent once
    b.gb().joypadset(1, 6, false);
    EXPECT_EQ(b.gb().joypad[1], 0u);
    EXPECT_EQ(b.conn->sent, (bytes{0x65, 0x0E, 0, 0, 0x65, 0x06, 0, 0}));
    b.gb().joypadset(0, 1, true);  // controller 0 stays local
    EXPECT_EQ(b.conn->sent.size(), 8u);
}

TEST(LinkMessages, VersionMismatchDisconnectsWithItsMessage) {
    const bytes good = {0x01, 0x00, 0x55, 0x01};
    for (int i = 1; i < 4; i++) {
        tlinkbench b;
        b.linkup();
        b.deliver(good);
        EXPECT_TRUE(b.link.islinked());
        bytes bad = good;
        bad[size_t(i)] ^= 0x10;
        bad.insert(bad.end(), {0x65, 0x08, 0, 0});  // after the mismatch: not applied
        b.deliver(bad);
        EXPECT_FALSE(b.link.islinked());
        EXPECT_TRUE(b.conn->closedbyus);
        EXPECT_EQ(b.host.boxes, (std::vector<std::string>{"Error: You're using different versions of TOV"}));
        EXPECT_EQ(b.gb().joypad[0], 0u);
    }
}

TEST(LinkMessages, TimingShiftTakesTheSmallerValueInRange) {
    struct tcase {
        uint8_t sent;
        int kept;
    } cases[] = {{5, 5}, {12, 10}, {2, 2}, {1, 10}, {0, 10}, {10, 10}};
    for (const tcase& c : cases) {
        tlinkbench b;
        b.linkup();
        b.deliver({0x6B, c.sent, 0, 0});
        EXPECT_EQ(b.link.timingshift(), c.kept) << int(c.sent);
    }
}

TEST(LinkMessages, UnknownKindsAreIgnored) {
    tlinkbench b;
    b.linkup();
    b.gb().sc = 0x80;
    b.deliver({0x00, 0x81, 0x81, 0x81, 0xFF, 0xFF, 0xFF, 0xFF, 0x66, 0x0F, 0, 0, 0x6A, 0x12, 0x81, 0});
    b.link.linktick();
    EXPECT_TRUE(b.conn->sent.empty());
    EXPECT_EQ(b.gb().joypad[0], 0u);
    EXPECT_TRUE(b.link.islinked());
}

TEST(LinkClose, PeerClosingAnnouncesOnceAndTheSocketGoesAfterThePoll) {
    tlinkbench b;
    b.linkup();
    bool alive = true;
    b.conn->alive = &alive;
    b.conn->events.closed();
    EXPECT_FALSE(b.link.islinked());
    EXPECT_TRUE(b.conn->closedbyus);
    EXPECT_TRUE(alive);  // not inside its own event
    EXPECT_EQ(b.host.boxes, (std::vector<std::string>{"Unplugged: game link connection closed"}));
    b.link.poll();
    EXPECT_FALSE(alive);
    EXPECT_STREQ(b.link.captionsuffix(), "");
    EXPECT_EQ(b.host.boxes.size(), 1u);
    // Linking again works.
    b.linkup();
    EXPECT_TRUE(b.link.islinked());
}

TEST(LinkClose, AFloodIsReadInBoundedSteps) {
    tlinkbench b;
    b.linkup();
    b.host.ispaused = true;
    for (int i = 0; i < 100000; i++) b.conn->incoming.insert(b.conn->incoming.end(), {0x68, uint8_t(i), 0x81, 0});
    b.conn->events.dataavailable();
    EXPECT_EQ(b.conn->incoming.size(), 400000u - tgblink::receiveperevent);
    EXPECT_EQ(b.conn->sent.size(), tgblink::receiveperevent);  // one answer per transfer read
}

}  // namespace
}  // namespace tov::testing
