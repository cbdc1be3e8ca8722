// Files dropped on the main window: what each becomes, and which of them opens when.
#include <gtest/gtest.h>

#include "frontend/windowlogic.h"

namespace tov {
namespace {

TEST(droppedfiles, openasthecommandlineandtheopendialogtakethem) {
    struct tcase {
        const char* path;
        tdropkind want;
    };
    const tcase cases[] = {
        {"/g/zelda.gb", tdropkind::rom},        {"/g/zelda.zip", tdropkind::rom},
        {"/g/zelda.gb.gz", tdropkind::rom},     {"/g/zelda.sn3", tdropkind::state},
        {"/g/ZELDA.SN0", tdropkind::state},     {"/g/saved.sna", tdropkind::state},
        {"/g/frame.BMP", tdropkind::border},    {"/g/snake", tdropkind::rom},  // no extension: a ROM
    };
    for (const tcase& c : cases) EXPECT_EQ(dropkind(c.path), c.want) << c.path;
}

TEST(droppedfiles, thefirstfileofthelastdropopenswhennodialogisopen) {
    tdropqueue q;
    // One drop of three files: the first counts.
    q.begin();
    q.file("/g/a.gb");
    q.file("/g/b.gb");
    q.complete();
    q.file("");  // nothing to open
    // A dialog is open: the drop waits; a later drop replaces it.
    EXPECT_EQ(q.take(false), "");
    EXPECT_TRUE(q.waiting());
    q.begin();
    q.file("/g/c.zip");
    q.file("/g/d.zip");
    q.complete();
    EXPECT_EQ(q.take(true), "/g/c.zip");
    EXPECT_FALSE(q.waiting());
    // Files reported without a begin are drops of their own.
    q.file("/g/e.gb");
    q.file("/g/f.gb");
    EXPECT_EQ(q.take(true), "/g/f.gb");
    EXPECT_EQ(q.take(true), "");
}

}  // namespace
}  // namespace tov
