// The settings store, the program folder's files and the key script.
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/folder_files.h"
#include "platform/ini_settings.h"
#include "platform/keys.h"
#include "platform/sim/sim_platform.h"
#include "support/temp_dir.h"

namespace zorvan {
namespace {

namespace fs = std::filesystem;

using test::TempDir;

TEST(Settings, DefaultsSetOverwriteRemoveAndKeepOtherEntries) {
    TempDir dir;
    IniSettingsStore store(dir.path());
    EXPECT_EQ(store.get("Kestrine", "zorvan", "highscore", "0"), "0");
    EXPECT_TRUE(store.remove("Kestrine", "zorvan", "highscore")) << "removing nothing succeeds";
    ASSERT_TRUE(store.set("Kestrine", "zorvan", "highscore", "150"));
    ASSERT_TRUE(store.set("Kestrine", "zorvan", "sgid", "abc"));
    ASSERT_TRUE(store.set("Kestrine", "other", "highscore", "7"));
    ASSERT_TRUE(store.set("Kestrine", "zorvan", "highscore", "200"));
    EXPECT_EQ(store.get("Kestrine", "zorvan", "highscore", "0"), "200");
    EXPECT_EQ(store.get("Kestrine", "other", "highscore", "0"), "7");
    ASSERT_TRUE(store.remove("Kestrine", "zorvan", "highscore"));
    EXPECT_EQ(store.get("Kestrine", "zorvan", "highscore", "nun"), "nun");
    EXPECT_EQ(store.get("Kestrine", "zorvan", "sgid", "nun"), "abc");
    EXPECT_EQ(store.get("zorvan", "zorvan", "sgid", "none"), "none") << "applications are separate files";
}

TEST(Settings, AnyByteValueSurvives) {
    TempDir dir;
    IniSettingsStore store(dir.path());
    std::string all;
    for (int c = 0; c < 256; ++c) all += static_cast<char>(c);
    all += "\\x41 and a trailing backslash \\";
    ASSERT_TRUE(store.set("w32csp", "s", "k", all));
    ASSERT_TRUE(store.set("w32csp", "s", "next", "after"));
    EXPECT_EQ(store.get("w32csp", "s", "k", ""), all);
    EXPECT_EQ(store.get("w32csp", "s", "next", ""), "after");
}

TEST(Settings, AStoreThatCannotBeWrittenSaysSo) {
    TempDir dir;
    fs::path blocked = dir.path() / "file-not-folder";
    { std::ofstream(blocked) << "x"; }
    IniSettingsStore store(blocked);
    EXPECT_FALSE(store.set("Kestrine", "zorvan", "highscore", "1"));
    EXPECT_EQ(store.get("Kestrine", "zorvan", "highscore", "0"), "0");
}

TEST(Files, WritesWholeAndLeavesNoTemporaryBehind) {
    TempDir dir;
    FolderFiles files(dir.path());
    EXPECT_FALSE(files.exists("ls.dat"));
    EXPECT_FALSE(files.read("ls.dat"));
    ASSERT_TRUE(files.write("ls.dat", "one\r\n"));
    ASSERT_TRUE(files.write("ls.dat", " 0 \r\n"));
    EXPECT_EQ(*files.read("ls.dat"), " 0 \r\n");
    int entries = 0;
    for (auto& e : fs::directory_iterator(dir.path())) entries += e.is_regular_file();
    EXPECT_EQ(entries, 1);
}

TEST(Files, AFailedWriteKeepsTheOldContent) {
    TempDir dir;
    FolderFiles files(dir.path());
    ASSERT_TRUE(files.write("stats.txt", "history"));
    fs::permissions(dir.path(), fs::perms::owner_read | fs::perms::owner_exec);
    bool wrote = files.write("stats.txt", "new");
    fs::permissions(dir.path(), fs::perms::owner_all);
    if (::geteuid() == 0) GTEST_SKIP() << "root writes into read-only folders";
    EXPECT_FALSE(wrote);
    EXPECT_EQ(*files.read("stats.txt"), "history");
}

TEST(KeyScript, AbsoluteRelativeNamesCodesAndComments) {
    auto keys = parseKeyScript(
        "# start\n"
        "1500 Enter\n"
        "+300 Down   # next entry\n"
        "\n"
        "2000 F5\n"
        "+0 a\n"
        "+10 7\n"
        "+10 186\n"
        "3000 close\n");
    ASSERT_EQ(keys.size(), 7u);
    EXPECT_EQ(keys[0].atMs, 1500);
    EXPECT_EQ(keys[0].code, 13);
    EXPECT_EQ(keys[1].atMs, 1800);
    EXPECT_EQ(keys[1].code, 40);
    EXPECT_EQ(keys[2].code, 116);
    EXPECT_EQ(keys[3].code, 'A');
    EXPECT_EQ(keys[3].atMs, 2000);
    EXPECT_EQ(keys[4].code, '7');
    EXPECT_EQ(keys[5].code, 186);
    EXPECT_EQ(keys[6].code, 0);
}

TEST(KeyScript, MalformedLinesAreRefusedWithTheirNumber) {
    EXPECT_THROW(parseKeyScript("100 Enter\n50 Down\n"), std::runtime_error);
    EXPECT_THROW(parseKeyScript("abc Enter\n"), std::runtime_error);
    EXPECT_THROW(parseKeyScript("100 Bogus\n"), std::runtime_error);
    EXPECT_THROW(parseKeyScript("100\n"), std::runtime_error);
    try {
        parseKeyScript("100 Enter\n\n200 Nope\n");
        FAIL();
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find("line 3"), std::string::npos);
    }
}

TEST(Keys, NamesRoundTrip) {
    for (int code : {8, 9, 13, 16, 17, 27, 32, 33, 34, 35, 36, 37, 38, 39, 40, 65, 90, 48, 57, 112, 123})
        EXPECT_EQ(vk::parse(vk::name(code)), code) << code;
}

}  // namespace
}  // namespace zorvan

namespace zorvan {
namespace {

TEST(Settings, AnUnreadableStoreIsNeverRewrittenWithOneValueAlone) {
    TempDir dir;
    IniSettingsStore store(dir.path());
    ASSERT_TRUE(store.set("Kestrine", "zorvan", "sgid", "keep me"));
    const auto file = dir.path() / "Kestrine.ini";
    fs::permissions(file, fs::perms::none);
    if (::geteuid() == 0) {
        fs::permissions(file, fs::perms::owner_all);
        GTEST_SKIP() << "root reads files without permission";
    }
    EXPECT_FALSE(store.set("Kestrine", "zorvan", "highscore", "10"));
    EXPECT_FALSE(store.remove("Kestrine", "zorvan", "sgid"));
    fs::permissions(file, fs::perms::owner_all);
    EXPECT_EQ(store.get("Kestrine", "zorvan", "sgid", ""), "keep me");
}

}  // namespace
}  // namespace zorvan
