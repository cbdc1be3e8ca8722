// A link talking to a raw peer over loopback TCP: the bytes on the wire, messages split over
// TCP segments and merged into one, a version mismatch, the peer closing; and a hostile peer
// (random bytes, half messages, a flood of transfers, a stall, a close in the middle of the
// master's wait) that must never crash or hang the program.
#include <gtest/gtest.h>

#include <random>
#include <thread>

#include "link/linknet.h"

namespace tov::testing {
namespace {

using bytes = std::vector<uint8_t>;

TEST(LinkPeer, SplitMessagesWaitForTheirLastByteAndMergedOnesRunInOrder) {
    tendpoint e;
    trawpeer peer;
    connectraw(e, peer);
    peer.write({0x65, 0x0B});
    peer.write({0x00});
    e.pollfor([] { return false; }, 0.05);
    EXPECT_EQ(e.gb().joypad[0], 0u);
    peer.write({0x00});
    ASSERT_TRUE(e.pollfor([&] { return e.gb().joypad[0] == (1u << 3); }));
    peer.write({0x65, 0x03, 0, 0, 0x65, 0x0D, 0, 0, 0x65, 0x09, 0, 0});
    ASSERT_TRUE(e.pollfor([&] { return e.gb().joypad[0] == ((1u << 5) | (1u << 1)); }));
}

TEST(LinkPeer, SlaveAnswerGoesOutOnTheWire) {
    tendpoint e;
    trawpeer peer;
    connectraw(e, peer);
    e.gb().sb = 0xC7;
    e.gb().sc = 0x80;
    peer.write({0x68, 0x3E, 0x81, 0x00});
    ASSERT_TRUE(e.pollfor([&] { return e.link.remotesc() == 0x81; }));
    e.link.linktick();
    EXPECT_EQ(peer.read(4), (bytes{0x69, 0xC7, 0x80, uint8_t(e.link.tickcounter())}));
    EXPECT_EQ(e.gb().sb, 0x3E);
}

TEST(LinkPeer, VersionMismatchClosesTheConnection) {
    tendpoint e;
    trawpeer peer;
    connectraw(e, peer);
    peer.write({0x01, 0x00, 0x55, 0x02});
    ASSERT_TRUE(e.pollfor([&] { return !e.link.isconnecting(); }));
    EXPECT_FALSE(e.link.islinked());
    ASSERT_GE(e.boxes.size(), 1u);
    EXPECT_EQ(e.boxes[0], "Error: You're using different versions of TOV");
    EXPECT_TRUE(peer.read(1).empty());  // the peer sees the end of the stream
}

TEST(LinkPeer, PeerClosingUnplugsOnceAndTheSocketGoes) {
    tendpoint e;
    trawpeer peer;
    connectraw(e, peer);
    peer.close();
    ASSERT_TRUE(e.pollfor([&] { return !e.link.isconnecting(); }));
    EXPECT_EQ(e.boxes, (std::vector<std::string>{"Unplugged: game link connection closed"}));
    EXPECT_STREQ(e.link.captionsuffix(), "");
}

TEST(LinkHostile, RandomBytesAndHalfMessagesLeaveTheLinkWorking) {
    tendpoint e;
    trawpeer peer;
    connectraw(e, peer);
    std::mt19937 rng(1234);
    bytes noise(1 << 16);
    for (size_t i = 0; i < noise.size(); i++) {
        noise[i] = uint8_t(rng());
        if (i % 4 == 0 && noise[i] == 0x01) noise[i] = 0x02;  // a wrong version would close the link
    }
    peer.write(noise);
    peer.write({0x65, 0x0F, 0x00});  // half a message, then nothing for a while
    e.patient = false;  // every byte has been written: nothing is slow to answer
    e.gb().sc = 0x81;
    auto start = std::chrono::steady_clock::now();
    e.link.linktick();  // the master's wait ends: a transfer in the noise or the wait limit
    EXPECT_LT(secondssince(start), 10.0);
    e.pollfor([] { return false; }, 0.05);
    EXPECT_TRUE(e.link.islinked());
    peer.write({0x00});  // completes the half message: press button 7
    ASSERT_TRUE(e.pollfor([&] { return (e.gb().joypad[0] & 0x80) != 0; }));
    peer.write({0x65, 0x07, 0, 0});
    ASSERT_TRUE(e.pollfor([&] { return (e.gb().joypad[0] & 0x80) == 0; }));
    EXPECT_TRUE(e.link.islinked());
    EXPECT_TRUE(e.boxes.empty());
}

TEST(LinkHostile, AFloodOfTransfersNeverHoldsThePollAndAPeerThatReadsNothingIsDropped) {
    tendpoint e;
    trawpeer peer;
    connectraw(e, peer);
    e.ispaused = true;  // every transfer is answered at once: the answers pile up unread
    std::atomic<bool> stop{false};
    std::thread flood([&] {
        bytes chunk;
        for (int i = 0; i < 16384; i++) chunk.insert(chunk.end(), {0x68, uint8_t(i), 0x81, 0});
        asio::error_code ec;
        for (int i = 0; i < 512 && !stop && !ec; i++) asio::write(peer.socket, asio::buffer(chunk), ec);
    });
    double longest = 0;
    auto start = std::chrono::steady_clock::now();
    while (e.link.isconnecting() && secondssince(start) < 60) {
        auto t = std::chrono::steady_clock::now();
        e.link.poll();
        longest = std::max(longest, secondssince(t));
    }
    stop = true;
    peer.close();
    flood.join();
    EXPECT_FALSE(e.link.isconnecting()) << "the unread answers never gave the connection up";
    EXPECT_LT(longest, 1.0);
    EXPECT_EQ(e.boxes, (std::vector<std::string>{"Unplugged: game link connection closed"}));
}

TEST(LinkHostile, AStalledPeerCostsTheMasterItsWaitLimitPerTick) {
    tendpoint e;
    trawpeer peer;
    connectraw(e, peer);
    e.patient = false;
    e.gb().sb = 0x55;
    e.gb().sc = 0x81;
    auto start = std::chrono::steady_clock::now();
    e.link.linktick();
    // Bounded (no pump blocks); how long 30000 yields take depends on the machine's load.
    EXPECT_LT(secondssince(start), 60.0);
    EXPECT_EQ(e.pumps, tgblink::waitlimit);
    EXPECT_EQ(e.gb().sc, 0x81);  // still pending
    EXPECT_TRUE(e.link.islinked());
    EXPECT_EQ(peer.read(4), (bytes{0x68, 0x55, 0x81, uint8_t(e.link.tickcounter())}));
}

TEST(LinkHostile, AConnectionClosedInTheMastersWaitEndsIt) {
    tendpoint e;
    trawpeer peer;
    connectraw(e, peer);
    std::thread closer([&] {
        peer.read(4);  // the transfer
        peer.close();
    });
    e.gb().sc = 0x81;
    e.link.linktick();
    closer.join();
    EXPECT_LT(e.pumps, tgblink::waitlimit);
    EXPECT_FALSE(e.link.islinked());
    EXPECT_EQ(e.boxes, (std::vector<std::string>{"Unplugged: game link connection closed"}));
    e.link.poll();
    e.link.linktick();
    EXPECT_EQ(e.gb().sb, 0xFF);  // unplugged: the pending transfer ends with 0xFF
    EXPECT_EQ(e.gb().sc & 0x80, 0);
}

TEST(LinkHostile, ConnectToNothingReportsTheErrorNumber) {
    // A port held by a socket that is bound but does not listen: a connection there is
    // refused, and no other program (a test running beside this one) can listen on it
    // meanwhile, as it could on a port that was merely free a moment ago.
    asio::io_context io;
    asio::ip::tcp::socket holder(io);
    holder.open(asio::ip::tcp::v4());
    holder.bind({asio::ip::make_address("127.0.0.1"), 0});
    const uint16_t port = holder.local_endpoint().port();
    tendpoint e;
    e.link.connect("127.0.0.1:" + std::to_string(port));
    ASSERT_TRUE(e.pollfor([&] { return !e.boxes.empty(); }));
    EXPECT_EQ(e.boxes[0].rfind("Error: Connection failed, error ", 0), 0u) << e.boxes[0];
    EXPECT_STREQ(e.link.captionsuffix(), " (connecting)");
    e.link.disconnect();
    ASSERT_TRUE(e.pollfor([&] { return !e.link.isconnecting(); }));
    EXPECT_EQ(e.boxes.size(), 1u);
}

TEST(LinkHostile, ListeningOnAPortInUseFails) {
    tendpoint a, b;
    std::string port = a.listenlocal();
    b.link.listen("127.0.0.1:" + port);
    EXPECT_FALSE(b.link.islistening());
    EXPECT_EQ(b.boxes, (std::vector<std::string>{"Error: opening port failed"}));
    b.link.listen("127.0.0.1:notaport");
    EXPECT_EQ(b.boxes.size(), 2u);
}

}  // namespace
}  // namespace tov::testing
