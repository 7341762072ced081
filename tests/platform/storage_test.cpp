// The settings store, the program folder's files and the key script.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <vector>

#include "platform/folder_files.h"
#include "platform/ini_settings.h"
#include "platform/keys.h"
#include "platform/sim/sim_platform.h"
#include "support/processes.h"
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

TEST(Settings, AHandEditedFileKeepsItsCommentsBlankLinesAndUnknownLines) {
    TempDir dir;
    IniSettingsStore store(dir.path());
    const std::string original =
        "; written by hand\n"
        "stray=before any section\n"
        "\n"
        "[zorvan]\r\n"
        "# the best so far\n"
        "highscore=150\n"
        "a line without an equals sign\n"
        "\n"
        "[other]\n"
        "x=1\n"
        "; trailing comment\n";
    { std::ofstream(dir.path() / "Kestrine.ini", std::ios::binary) << original; }
    EXPECT_EQ(store.get("Kestrine", "zorvan", "highscore", ""), "150");
    EXPECT_EQ(store.get("Kestrine", "", "stray", "none"), "none") << "nothing stands outside a section";
    ASSERT_TRUE(store.set("Kestrine", "zorvan", "highscore", "200"));
    ASSERT_TRUE(store.set("Kestrine", "zorvan", "sgid", "123456789"));
    ASSERT_TRUE(store.set("Kestrine", "new", "k", "v"));
    ASSERT_TRUE(store.remove("Kestrine", "other", "x"));
    EXPECT_EQ(*readWholeFile(dir.path() / "Kestrine.ini"),
              "; written by hand\n"
              "stray=before any section\n"
              "\n"
              "[zorvan]\n"
              "# the best so far\n"
              "highscore=200\n"
              "sgid=123456789\n"
              "a line without an equals sign\n"
              "\n"
              "[other]\n"
              "; trailing comment\n"
              "[new]\n"
              "k=v\n");
    // A section the store made and emptied again goes with its last entry.
    ASSERT_TRUE(store.remove("Kestrine", "new", "k"));
    EXPECT_EQ(readWholeFile(dir.path() / "Kestrine.ini")->find("[new]"), std::string::npos);
    EXPECT_EQ(store.get("Kestrine", "zorvan", "sgid", ""), "123456789");
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

// Every file in `folder`, by name.
std::vector<std::string> namesIn(const fs::path& folder) {
    std::vector<std::string> names;
    for (auto& e : fs::directory_iterator(folder)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

TEST(Files, AWriteThatFailsAfterItsTemporaryFileWasMadeLeavesNoneBehind) {
    // The rename is what fails: the name is taken by a folder.
    TempDir dir;
    fs::create_directories(dir.path() / "stats.txt" / "inside");
    FolderFiles files(dir.path());
    EXPECT_FALSE(files.write("stats.txt", "report"));
    EXPECT_EQ(namesIn(dir.path()), std::vector<std::string>{"stats.txt"});

    fs::create_directories(dir.path() / "config" / "Kestrine.ini" / "inside");
    IniSettingsStore store(dir.path() / "config");
    EXPECT_FALSE(store.set("Kestrine", "zorvan", "highscore", "1"));
    EXPECT_EQ(namesIn(dir.path() / "config"), std::vector<std::string>{"Kestrine.ini"});
}

TEST(Files, TemporaryFilesOfEndedWritesGoAtTheNextStartAndNothingElse) {
    TempDir dir;
    const std::string gone = test::endedProcessId();
    const test::LivingProcess other;
    const std::string living = other.id();
    const std::string self = test::ownProcessId();
    for (const std::string& name : {"keys.dat.tmp" + gone, "savegame.dat.tmp" + self, "ls.dat.tmp" + living,
                                    std::string("notes.tmp"), std::string("stats.txt.tmpx1"), std::string("ls.dat"),
                                    std::string(".tmp" + gone)})
        std::ofstream(dir.path() / name) << "x";
    fs::create_directories(dir.path() / ("stats.txt.tmp" + gone));  // not a file: not ours
    FolderFiles files(dir.path());
    files.removeStaleTemporaries();
    EXPECT_EQ(namesIn(dir.path()),
              (std::vector<std::string>{".tmp" + gone, "ls.dat", "ls.dat.tmp" + living, "notes.tmp",
                                        "stats.txt.tmp" + gone, "stats.txt.tmpx1"}));
    // A write still under way elsewhere is left alone unless it is long dead.
    fs::last_write_time(dir.path() / ("ls.dat.tmp" + living), fs::file_time_type::clock::now() - std::chrono::hours(1));
    files.removeStaleTemporaries();
    EXPECT_FALSE(fs::exists(dir.path() / ("ls.dat.tmp" + living)));

    // The settings store clears its own application files' leftovers, in a folder it shares.
    const fs::path config = dir.path() / "config";
    fs::create_directories(config);
    for (const std::string& name : {"Kestrine.ini.tmp" + gone, "zorvan.ini.tmp" + gone, "other.ini.tmp" + gone,
                                    "Kestrine.ini.tmp" + living})
        std::ofstream(config / name) << "[zorvan]\nhighscore=9\n";
    IniSettingsStore store(config);
    EXPECT_EQ(store.get("Kestrine", "zorvan", "highscore", "0"), "0");
    EXPECT_EQ(namesIn(config), (std::vector<std::string>{"Kestrine.ini.tmp" + living, "other.ini.tmp" + gone,
                                                         "zorvan.ini.tmp" + gone}));
    ASSERT_TRUE(store.set("zorvan", "settings", "gameLev", "3"));
    EXPECT_EQ(namesIn(config), (std::vector<std::string>{"Kestrine.ini.tmp" + living, "other.ini.tmp" + gone,
                                                         "zorvan.ini"}));
}

TEST(Files, AFailedWriteKeepsTheOldContent) {
    TempDir dir;
    FolderFiles files(dir.path());
    ASSERT_TRUE(files.write("stats.txt", "history"));
    fs::permissions(dir.path(), fs::perms::owner_read | fs::perms::owner_exec);
    bool wrote = files.write("stats.txt", "new");
    fs::permissions(dir.path(), fs::perms::owner_all);
    if (!test::permissionsStopUs()) GTEST_SKIP() << "a read-only folder does not stop this process";
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
    if (!test::permissionsStopUs()) {
        fs::permissions(file, fs::perms::owner_all);
        GTEST_SKIP() << "a file without read permission does not stop this process";
    }
    EXPECT_FALSE(store.set("Kestrine", "zorvan", "highscore", "10"));
    EXPECT_FALSE(store.remove("Kestrine", "zorvan", "sgid"));
    fs::permissions(file, fs::perms::owner_all);
    EXPECT_EQ(store.get("Kestrine", "zorvan", "sgid", ""), "keep me");
}

}  // namespace
}  // namespace zorvan
