// A connection that ends leaves nothing behind for the next one: neither the first bytes of
// a message cut off by the close nor a transfer of the old peer that no tick answered.
#include <gtest/gtest.h>

#include "link/linktestutil.h"

namespace tov::testing {
namespace {

using bytes = std::vector<uint8_t>;

void peercloses(tlinkbench& b) {
    b.conn->events.closed();
    b.link.poll();
    ASSERT_FALSE(b.link.isconnecting());
}

TEST(LinkReconnect, AMessageCutOffByTheCloseDoesNotShiftTheNextConnectionsStream) {
    tlinkbench b;
    b.linkup();
    b.deliver({0x65, 0x0C});  // half a joypad message, then the peer goes
    peercloses(b);
    b.linkup();
    b.deliver({0x65, 0x0B, 0x00, 0x00});  // press button 3
    EXPECT_EQ(b.gb().joypad[0], 1u << 3);
    EXPECT_TRUE(b.link.islinked());
}

TEST(LinkReconnect, ATransferOfTheOldPeerIsNotAnsweredOnTheNewConnection) {
    tlinkbench b;
    b.linkup();
    b.gb().sb = 0x44;
    b.gb().sc = 0x80;  // waiting for a master
    b.deliver({0x68, 0x99, 0x81, 0x00});
    peercloses(b);  // before this side's tick could answer
    b.linkup();
    b.gb().ifreg = 0;
    b.link.linktick();
    EXPECT_TRUE(b.conn->sent.empty());
    EXPECT_EQ(b.gb().sb, 0x44);
    EXPECT_EQ(b.gb().sc, 0x80);
    EXPECT_EQ(b.gb().ifreg & 0x08, 0);
}

}  // namespace
}  // namespace tov::testing
