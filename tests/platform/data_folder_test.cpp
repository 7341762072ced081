// The player's data folder: seeded from the delivered defaults, taken over once from the program
// folder of an earlier build without losing a byte, and the only place the player's files are
// read and written.

#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/data_folder.h"
#include "platform/folder_files.h"
#include "platform/utf8_path.h"
#include "support/temp_dir.h"

namespace zorvan {
namespace {

namespace fs = std::filesystem;
using test::TempDir;
using test::writeText;

std::string readText(const fs::path& p) { return readWholeFile(p).value_or("<missing>"); }

class DataFolderTest : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(program() / "defaults");
        writeText(program() / "defaults/config.dat", "0\r\n0\r\n0\r\n");
        writeText(program() / "defaults/keys.dat", " 38 \r\n");
        writeText(program() / "defaults/ls.dat", " 0 \r\n");
        writeText(program() / "defaults/stats.txt", "");
        writeText(program() / "zorvan", "program");
    }
    fs::path program() const { return root.path() / "game"; }
    fs::path data() const { return root.path() / "home/.local/share/zorvan"; }

    TempDir root;
};

TEST_F(DataFolderTest, AFreshFolderIsCreatedAndSeededWithTheDefaults) {
    const DataFolderReport report = prepareDataFolder(program(), data());
    EXPECT_TRUE(report.moved.empty());
    EXPECT_EQ(report.seeded, (std::vector<std::string>{"config.dat", "keys.dat", "ls.dat", "stats.txt"}));
    for (const char* name : {"config.dat", "keys.dat", "ls.dat", "stats.txt"})
        EXPECT_EQ(readText(data() / name), readText(program() / "defaults" / name)) << name;
    EXPECT_FALSE(fs::exists(data() / "savegame.dat"));  // no default: there is no game to load yet
    EXPECT_FALSE(fs::exists(program() / "config.dat"));

    // The next start finds everything in place and touches nothing.
    writeText(data() / "keys.dat", " 87 \r\n");
    const DataFolderReport again = prepareDataFolder(program(), data());
    EXPECT_TRUE(again.moved.empty());
    EXPECT_TRUE(again.seeded.empty());
    EXPECT_EQ(readText(data() / "keys.dat"), " 87 \r\n");
}

TEST_F(DataFolderTest, AnEarlierBuildsDataMovesOverOnceWithoutLoss) {
    const std::string profile = "\"Ann Lee\"\r\n\"ann@example.org\"\r\n\"CA\"\r\n";
    const std::string stats = std::string("***Statistics\r\n\x01\xfe\r\n", 19);
    writeText(program() / "config.dat", profile);
    writeText(program() / "keys.dat", " 87 \r\n");
    writeText(program() / "stats.txt", stats);
    writeText(program() / "savegame.dat", "save\r\n");

    const DataFolderReport report = prepareDataFolder(program(), data());
    EXPECT_EQ(report.moved, (std::vector<std::string>{"config.dat", "keys.dat", "stats.txt", "savegame.dat"}));
    EXPECT_EQ(report.seeded, std::vector<std::string>{"ls.dat"});
    EXPECT_EQ(readText(data() / "config.dat"), profile);
    EXPECT_EQ(readText(data() / "keys.dat"), " 87 \r\n");
    EXPECT_EQ(readText(data() / "stats.txt"), stats);
    EXPECT_EQ(readText(data() / "savegame.dat"), "save\r\n");
    for (const char* name : {"config.dat", "keys.dat", "stats.txt", "savegame.dat"})
        EXPECT_FALSE(fs::exists(program() / name)) << name;
    EXPECT_EQ(readText(program() / "zorvan"), "program");

    // A stray old file that turns up later never replaces what the player has now; it stays
    // where it is rather than being lost.
    writeText(program() / "keys.dat", " 99 \r\n");
    EXPECT_TRUE(prepareDataFolder(program(), data()).moved.empty());
    EXPECT_EQ(readText(data() / "keys.dat"), " 87 \r\n");
    EXPECT_EQ(readText(program() / "keys.dat"), " 99 \r\n");
}

TEST_F(DataFolderTest, ThePlayerResettingAFileGetsTheDefaultBack) {
    prepareDataFolder(program(), data());
    fs::remove(data() / "ls.dat");
    EXPECT_EQ(prepareDataFolder(program(), data()).seeded, std::vector<std::string>{"ls.dat"});
    EXPECT_EQ(readText(data() / "ls.dat"), " 0 \r\n");
}

TEST_F(DataFolderTest, TheProgramFolderAsItsOwnDataFolderIsOnlySeeded) {
    writeText(program() / "config.dat", "\"Ann\"\r\n\"\"\r\n\"CA\"\r\n");
    const DataFolderReport report = prepareDataFolder(program(), program());
    EXPECT_TRUE(report.moved.empty());
    EXPECT_EQ(report.seeded, (std::vector<std::string>{"keys.dat", "ls.dat", "stats.txt"}));
    EXPECT_EQ(readText(program() / "config.dat"), "\"Ann\"\r\n\"\"\r\n\"CA\"\r\n");
}

TEST_F(DataFolderTest, AFolderThatCannotBeMadeIsAnErrorNamingIt) {
    writeText(root.path() / "home", "a file where the home folder should be");
    try {
        prepareDataFolder(program(), data());
        FAIL() << "no error";
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find(data().string()), std::string::npos) << e.what();
    }
    EXPECT_THROW(prepareDataFolder(program(), fs::path()), std::runtime_error);
}

TEST_F(DataFolderTest, ThePlayersFilesResolveToTheDataFolderAndTheRestToTheProgram) {
    prepareDataFolder(program(), data());
    FolderFiles files(program(), data());
    EXPECT_EQ(files.absolutePath("ls.dat"), (data() / "ls.dat").string());
    EXPECT_EQ(files.absolutePath("sounds/menu/m1.wav"), (program() / "sounds/menu/m1.wav").string());
    EXPECT_EQ(files.read("zorvan"), "program");
    EXPECT_EQ(files.read("config.dat"), "0\r\n0\r\n0\r\n");
    ASSERT_TRUE(files.write("savegame.dat", "save"));
    EXPECT_EQ(readText(data() / "savegame.dat"), "save");
    EXPECT_FALSE(fs::exists(program() / "savegame.dat"));
    EXPECT_TRUE(files.remove("savegame.dat"));
    EXPECT_FALSE(files.exists("savegame.dat"));
}

// A player "Zoë" whose folders hold letters outside ASCII (and, on Windows, outside the ANSI
// code page): files are found, written whole, and named back in UTF-8.
TEST_F(DataFolderTest, FoldersNamedInAnyScriptWork) {
    const std::string zoe = "Zo\xc3\xab \xd0\x96\xe6\x97\xa5";  // "Zoë Ж日"
    const fs::path home = root.path() / pathFromUtf8(zoe);
    const fs::path data = home / "data";
    fs::create_directories(home / "game/defaults");
    ASSERT_TRUE(writeFileAtomically(home / "game/defaults/keys.dat", " 38 \r\n"));
    const DataFolderReport report = prepareDataFolder(home / "game", data);
    EXPECT_EQ(report.seeded, std::vector<std::string>{"keys.dat"});
    FolderFiles files(home / "game", data);
    EXPECT_EQ(files.read("keys.dat"), " 38 \r\n");
    ASSERT_TRUE(files.write("stats.txt", "history"));
    EXPECT_EQ(readText(data / "stats.txt"), "history");
    EXPECT_EQ(files.unreadableReason("stats.txt"), "");
    const std::string named = files.absolutePath("stats.txt");
    EXPECT_NE(named.find(zoe), std::string::npos) << named;
    EXPECT_EQ(pathFromUtf8(named), data / "stats.txt");
}

#ifdef _WIN32
TEST(DataFolderPath, IsZorvanInTheRoamingApplicationData) {
    const fs::path folder = defaultDataFolder();
    ASSERT_FALSE(folder.empty());
    EXPECT_EQ(folder.filename(), "Zorvan");
    const char* appData = std::getenv("APPDATA");
    ASSERT_TRUE(appData && *appData);
    EXPECT_EQ(folder.parent_path(), fs::path(appData));
}
#else
TEST(DataFolderPath, FollowsXdgDataHomeElseHome) {
    const char* oldXdg = std::getenv("XDG_DATA_HOME");
    const std::string savedXdg = oldXdg ? oldXdg : "";
    ::setenv("XDG_DATA_HOME", "/tmp/xdg-data", 1);
    EXPECT_EQ(defaultDataFolder(), fs::path("/tmp/xdg-data/zorvan"));
    ::setenv("XDG_DATA_HOME", "", 1);
    const char* home = std::getenv("HOME");
    if (home && *home) {
        EXPECT_EQ(defaultDataFolder(), fs::path(home) / ".local/share/zorvan");
    }
    if (oldXdg) ::setenv("XDG_DATA_HOME", savedXdg.c_str(), 1);
    else ::unsetenv("XDG_DATA_HOME");
}
#endif

}  // namespace
}  // namespace zorvan
