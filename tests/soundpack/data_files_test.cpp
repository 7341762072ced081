// The data files delivered with the game: their exact bytes, and that delivering never
// overwrites a file the player already has.

#include <gtest/gtest.h>

#include <array>
#include <cstdio>

#include <unistd.h>

#include "pack.h"
#include "pack_files.h"

#include "support/temp_dir.h"

using namespace packtest;

namespace {

// kstart, kleft, kright, kstop, kaction, kscore, klevel, klifes, kstats, kinventory, kpause
constexpr std::array<int, 11> kDefaultKeys = {38, 37, 39, 40, 17, 16, 9, 76, 13, 73, 80};

std::string numberLine(int v) {
    // A blank for the sign of a non-negative number, the digits, one blank behind, CR LF.
    return (v < 0 ? "-" : " ") + std::to_string(v < 0 ? -v : v) + " \r\n";
}

using zorvan::test::TempDir;
using zorvan::test::writeText;

}  // namespace

TEST(DataFiles, KeysDatHoldsTheElevenDefaultsInFileOrder) {
    std::string expected;
    for (int k : kDefaultKeys) expected += numberLine(k);
    EXPECT_EQ(readText(dataSourceDir() / "keys.dat"), expected);
    EXPECT_EQ(expected.substr(0, 12), " 38 \r\n 37 \r\n");
}

TEST(DataFiles, LsDatHoldsThirtyTwoZeros) {
    std::string expected;
    for (int i = 0; i < 32; ++i) expected += numberLine(0);
    EXPECT_EQ(readText(dataSourceDir() / "ls.dat"), expected);
    EXPECT_EQ(expected.size(), 32u * 5u);
}

TEST(DataFiles, ConfigDatSaysNoProfileYet) { EXPECT_EQ(readText(dataSourceDir() / "config.dat"), "0\r\n0\r\n0\r\n"); }

TEST(DataFiles, StatsTxtIsEmpty) {
    ASSERT_TRUE(fs::is_regular_file(dataSourceDir() / "stats.txt"));
    EXPECT_EQ(fs::file_size(dataSourceDir() / "stats.txt"), 0u);
}

// The built folder delivers all four, byte for byte, as the defaults that seed a player's
// data folder.
TEST(DataFiles, TheGameFolderHasThemAll) {
    for (const char* name : {"keys.dat", "ls.dat", "config.dat", "stats.txt"}) {
        EXPECT_TRUE(fs::is_regular_file(gameDir() / "defaults" / name)) << name;
        EXPECT_EQ(readText(gameDir() / "defaults" / name), readText(dataSourceDir() / name)) << name;
    }
}

TEST(DataFiles, DeliveryCopiesTheExactBytesIntoAnEmptyFolder) {
    TempDir game;
    const auto delivered = sp::deliverDataFiles(dataSourceDir().string(), game.path().string());
    EXPECT_EQ(delivered, (std::vector<std::string>{"config.dat", "keys.dat", "ls.dat", "stats.txt"}));
    for (const char* name : {"keys.dat", "ls.dat", "config.dat", "stats.txt"})
        EXPECT_EQ(readText(game.path() / name), readText(dataSourceDir() / name)) << name;
    EXPECT_FALSE(fs::exists(game.path() / ".gitattributes"));
}

TEST(DataFiles, DeliveryNeverOverwritesWhatThePlayerHas) {
    TempDir game;
    writeText(game.path() / "keys.dat", " 87 \r\n");           // a remapped (even damaged) key map
    writeText(game.path() / "config.dat", "Ann Lee\r\nnun\r\nCA\r\n");
    writeText(game.path() / "stats.txt", "***Statistics for game played on ...\r\n");
    const auto delivered = sp::deliverDataFiles(dataSourceDir().string(), game.path().string());
    EXPECT_EQ(delivered, std::vector<std::string>{"ls.dat"});
    EXPECT_EQ(readText(game.path() / "keys.dat"), " 87 \r\n");
    EXPECT_EQ(readText(game.path() / "config.dat"), "Ann Lee\r\nnun\r\nCA\r\n");
    EXPECT_EQ(readText(game.path() / "stats.txt"), "***Statistics for game played on ...\r\n");
    // A second delivery finds everything there and does nothing.
    EXPECT_TRUE(sp::deliverDataFiles(dataSourceDir().string(), game.path().string()).empty());
}
