#include <gtest/gtest.h>

#include "frontend/filefilter.h"

namespace tov {
namespace {

TEST(FileFilter, ChoicesAndPatterns) {
    auto f = parsefilefilter("GB roms and zip files|*.GB;*.GBC;*.ZIP;*.GZ|All files|*");
    ASSERT_EQ(f.size(), 2u);
    EXPECT_EQ(f[0].description, "GB roms and zip files");
    EXPECT_EQ(f[0].patterns.size(), 4u);
    EXPECT_TRUE(filtermatches(f[0], "tetris.gb"));
    EXPECT_TRUE(filtermatches(f[0], "Pokemon.GBC"));
    EXPECT_TRUE(filtermatches(f[0], "pack.zip"));
    EXPECT_FALSE(filtermatches(f[0], "notes.txt"));
    EXPECT_FALSE(filtermatches(f[0], "game.gba"));
    EXPECT_TRUE(filtermatches(f[1], "anything"));
    EXPECT_TRUE(parsefilefilter("").empty());
    EXPECT_TRUE(parsefilefilter("only a description").empty());
}

TEST(FileFilter, Wildcards) {
    EXPECT_TRUE(wildcardmatch("*.sn?", "game.SN3"));
    EXPECT_FALSE(wildcardmatch("*.sn?", "game.sn"));
    EXPECT_TRUE(wildcardmatch("a*b*c", "aXXbYYc"));
    EXPECT_FALSE(wildcardmatch("a*b*c", "aXXbYY"));
    EXPECT_TRUE(wildcardmatch("*", ""));
    EXPECT_FALSE(wildcardmatch("", "x"));
}

TEST(FileFilter, Folders) {
    EXPECT_EQ(parentfolder("/a/b/"), "/a/");
    EXPECT_EQ(parentfolder("/a"), "/");
    EXPECT_EQ(parentfolder("/"), "/");
    EXPECT_EQ(folderof("/roms/x.gb"), "/roms/");
    EXPECT_EQ(folderof("x.gb"), "");
}

}  // namespace
}  // namespace tov
