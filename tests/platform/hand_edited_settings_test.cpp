// Settings files as a player's editor leaves them, found by the settings store's fuzz target.
#include <gtest/gtest.h>

#include <fstream>

#include "platform/ini_settings.h"
#include "support/temp_dir.h"

namespace zorvan {
namespace {

TEST(Settings, ARepeatedSectionTakesTheNewValueWhereItIsRead) {
    test::TempDir dir;
    { std::ofstream(dir.path() / "Kestrine.ini") << "[zorvan]\nhighscore=1\n\n[zorvan]\nhighscore=1\nsgid=x\n"; }
    IniSettingsStore store(dir.path());
    ASSERT_TRUE(store.set("Kestrine", "zorvan", "highscore", "250"));
    EXPECT_EQ(store.get("Kestrine", "zorvan", "highscore", "none"), "250");
    EXPECT_EQ(store.get("Kestrine", "zorvan", "sgid", "none"), "x");
    // A key only the second copy holds is still found, and a new value for it wins.
    ASSERT_TRUE(store.set("Kestrine", "zorvan", "sgid", "y"));
    EXPECT_EQ(store.get("Kestrine", "zorvan", "sgid", "none"), "y");
    ASSERT_TRUE(store.remove("Kestrine", "zorvan", "highscore"));
    EXPECT_EQ(store.get("Kestrine", "zorvan", "highscore", "none"), "none");
}

TEST(Settings, AValueEndingInACarriageReturnKeepsItThroughARewrite) {
    test::TempDir dir;
    { std::ofstream(dir.path() / "Kestrine.ini", std::ios::binary) << "[an]\r\nkey=value\r\r\n"; }
    IniSettingsStore store(dir.path());
    ASSERT_EQ(store.get("Kestrine", "an", "key", "none"), "value\r");
    ASSERT_TRUE(store.set("Kestrine", "zorvan", "highscore", "250"));
    EXPECT_EQ(store.get("Kestrine", "an", "key", "none"), "value\r");
    ASSERT_TRUE(store.remove("Kestrine", "zorvan", "highscore"));
    EXPECT_EQ(store.get("Kestrine", "an", "key", "none"), "value\r");
}

}  // namespace
}  // namespace zorvan
