// A data file that is there but cannot be read is named, with the reason, instead of being
// taken for a missing one; and the stop for a missing profile is told apart from the others.
#include <gtest/gtest.h>

#include <filesystem>

#include "support/scenario.h"

namespace zorvan::test {
namespace {

namespace fs = std::filesystem;

// Root reads any file, so a folder in the file's place is what makes it unreadable here.
void folderInPlaceOf(Scenario& s, const std::string& name) {
    s.folder.remove(name);
    fs::create_directory(s.folder.game() / name);
}

TEST(UnreadableFiles, AProfileThatCannotBeReadIsNamedNotTakenForAMissingOne) {
    Scenario s;
    folderInPlaceOf(s, "config.dat");
    EXPECT_FALSE(s.load());
    EXPECT_EQ(s.exitStatus, 1);
    const std::string text = "config.dat cannot be read: it is a folder, not a file (" +
                             (s.folder.game() / "config.dat").string() + ")";
    EXPECT_TRUE(s.has("msgbox \"Zorvan! fatal error!\" \"" + text + "\"")) << s.dump();
    EXPECT_EQ(s.exitMessage, text);
    EXPECT_FALSE(s.has("play sounds/system/configerror.wav once"));
}

TEST(UnreadableFiles, AKeyMapThatCannotBeReadIsNamedNotCalledTamperedWith) {
    Scenario s;
    folderInPlaceOf(s, "keys.dat");
    EXPECT_FALSE(s.load());
    EXPECT_EQ(s.exitStatus, 1);
    EXPECT_TRUE(s.has("msgbox \"error!\" \"keys.dat cannot be read: it is a folder, not a file (" +
                      (s.folder.game() / "keys.dat").string() + ")\""))
        << s.dump();
    for (const auto& e : s.events()) EXPECT_EQ(e.find("tampered"), std::string::npos) << e;
}

TEST(UnreadableFiles, ATopTenThatCannotBeReadIsNamedAndLeftAsItIs) {
    Scenario s;
    ASSERT_TRUE(s.load());
    folderInPlaceOf(s, "ls.dat");
    for (int i = 0; i < 3; ++i) s.press(vk::Down);
    s.press(vk::Enter);  // the local top ten
    ASSERT_TRUE(s.form.localScores.topTenMenuActive());
    const auto at = s.mark();
    s.press(vk::Enter);  // the first list
    s.expectInOrder({"msgbox \"Zorvan! error!\" \"ls.dat cannot be read: it is a folder, not a file (" +
                         (s.folder.game() / "ls.dat").string() + "). Nothing is written over it.\"",
                     "play sounds/err.wav once"},
                    at);
    EXPECT_TRUE(fs::is_directory(s.folder.game() / "ls.dat"));
}

TEST(UnreadableFiles, OnlyTheStopForAMissingOrUnfilledProfileOffersConfiguration) {
    struct Case {
        const char* content;  // nullptr: no config.dat
        bool noProfile;
    };
    for (const Case& c : {Case{nullptr, true}, Case{"Ada Tester\r\n0\r\nGB\r\n", true},
                          Case{"Ada Tester\r\nnun\r\n", false}}) {
        Scenario s;
        if (c.content) s.folder.write("config.dat", c.content);
        else s.folder.remove("config.dat");
        try {
            s.form.Form_Load();
            ADD_FAILURE() << "the game started";
        } catch (const ProgramEnd& end) {
            EXPECT_EQ(end.status, 1);
            EXPECT_EQ(end.noProfile, c.noProfile) << (c.content ? c.content : "no file");
        }
    }
}

}  // namespace
}  // namespace zorvan::test
