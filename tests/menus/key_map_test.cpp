// keys.dat and the spoken key-map menu.

#include <gtest/gtest.h>

#include "menus/key_map.h"
#include "support/scenario.h"

namespace zorvan::test {
namespace {

using Events = std::vector<std::string>;

const std::string kDefaultFile =
    " 38 \r\n 37 \r\n 39 \r\n 40 \r\n 17 \r\n 16 \r\n 9 \r\n 76 \r\n 13 \r\n 73 \r\n 80 \r\n";
const std::string kTampered =
    "msgbox \"error!\" \"the keys.dat file was tampered with! please reinstall the software\"";

// ---- the file ----------------------------------------------------------------------------------

TEST(KeysFile, DefaultsAreWrittenBetweenTwoBlanksWithCrLf) {
    EXPECT_EQ(formatKeysFile(kDefaultKeys), kDefaultFile);
    EXPECT_EQ(parseKeysFile(kDefaultFile), kDefaultKeys);
}

TEST(KeysFile, ReaderAcceptsBareNumbersLfLineEndsAndIgnoresExtraLines) {
    EXPECT_EQ(parseKeysFile("38\n37\n39\n40\n17\n16\n9\n76\n13\n73\n80"), kDefaultKeys);
    EXPECT_EQ(parseKeysFile("\t38\r\n37 \r\n 39\r\n40\r\n17\r\n16\r\n9\r\n76\r\n13\r\n73\r\n80\r\nrubbish\r\n\r\n"),
              kDefaultKeys);
}

TEST(KeysFile, NegativeAndLargestCodesRoundTrip) {
    KeyCodes codes = kDefaultKeys;
    codes[0] = -5;
    codes[1] = 32767;
    codes[2] = -32768;
    const std::string text = formatKeysFile(codes);
    EXPECT_EQ(text.substr(0, 20), "-5 \r\n 32767 \r\n-32768");
    EXPECT_EQ(parseKeysFile(text), codes);
}

TEST(KeysFile, DamagedFilesAreRefused) {
    const std::string ten = " 38 \r\n 37 \r\n 39 \r\n 40 \r\n 17 \r\n 16 \r\n 9 \r\n 76 \r\n 13 \r\n 73 \r\n";
    EXPECT_FALSE(parseKeysFile(ten));
    EXPECT_FALSE(parseKeysFile(ten + "\r\n"));                  // an empty eleventh line
    EXPECT_FALSE(parseKeysFile(ten + " pause \r\n"));           // a word
    EXPECT_FALSE(parseKeysFile(ten + " 80x \r\n"));             // trailing garbage
    EXPECT_FALSE(parseKeysFile(ten + " 8.5 \r\n"));             // not a whole number
    EXPECT_FALSE(parseKeysFile(ten + " 32768 \r\n"));           // does not fit 16 bits
    EXPECT_FALSE(parseKeysFile(ten + " 99999999999999999999 \r\n"));
    EXPECT_FALSE(parseKeysFile(" 38 37 \r\n" + ten));           // two numbers on a line
    EXPECT_FALSE(parseKeysFile(""));
}

// ---- start-up -------------------------------------------------------------------------------

TEST(KeysAtStartUp, AreReadFromTheFile) {
    Scenario s;
    s.folder.write("keys.dat", " 87 \r\n 65 \r\n 68 \r\n 83 \r\n 32 \r\n 16 \r\n 9 \r\n 76 \r\n 13 \r\n 73 \r\n 80 \r\n");
    ASSERT_TRUE(s.load()) << s.dump();
    const auto& k = s.form.keyMap;
    EXPECT_EQ(k.kstart, 87);
    EXPECT_EQ(k.kleft, 65);
    EXPECT_EQ(k.kright, 68);
    EXPECT_EQ(k.kstop, 83);
    EXPECT_EQ(k.kaction, 32);
    EXPECT_EQ(k.kpause, 80);
}

class DamagedKeysFile : public ::testing::TestWithParam<std::string> {};

TEST_P(DamagedKeysFile, EndsTheProgramAfterTheMessage) {
    Scenario s;
    if (GetParam() == "missing")
        s.folder.remove("keys.dat");
    else
        s.folder.write("keys.dat", GetParam());
    EXPECT_FALSE(s.load());
    ASSERT_TRUE(s.exitStatus);
    EXPECT_NE(*s.exitStatus, 0);
    EXPECT_TRUE(s.has(kTampered)) << s.dump();
    // No menu is reached, and the damaged file is left as it was.
    EXPECT_FALSE(s.has("play sounds/menu/m_p.wav once"));
    EXPECT_FALSE(s.has("file keys.dat"));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DamagedKeysFile,
    ::testing::Values(" 38 \r\n 37 \r\n 39 \r\n 40 \r\n 17 \r\n 16 \r\n 9 \r\n 76 \r\n 13 \r\n 73 \r\n",
                      " 38 \r\n 37 \r\n 39 \r\n 40 \r\n 17 \r\n shift \r\n 9 \r\n 76 \r\n 13 \r\n 73 \r\n 80 \r\n",
                      "missing"));

// Closing before the keys were read must not replace keys.dat with zeros.
TEST(KeysAtStartUp, NothingIsSavedBeforeTheKeysWereRead) {
    Scenario s;
    s.folder.write("keys.dat", " 87 \r\n");
    s.form.keyMap.saveKeys();
    EXPECT_EQ(s.folder.read("keys.dat"), " 87 \r\n");
    EXPECT_FALSE(s.has("file keys.dat"));
}

// ---- the key-map menu ------------------------------------------------------------------------

class KeyMenuTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(s.load()) << s.dump();
        for (int i = 0; i < 4; ++i) s.press(vk::Down);
        ASSERT_EQ(s.form.menus.mainMenuIndex, 5);
        opened = s.mark();
        s.press(vk::Enter);
        ASSERT_TRUE(s.form.keyMap.keyMenuActive());
    }
    // Goes down to entry n (from entry 1).
    void goTo(int entry) {
        for (int i = 1; i < entry; ++i) s.press(vk::Down);
        ASSERT_EQ(s.form.keyMap.keyMenuIndex, entry);
    }
    Scenario s;
    std::size_t opened = 0;
};

TEST_F(KeyMenuTest, OpensWithItsIntroductionOverQuieterMusic) {
    const auto& k = s.form.keyMap;
    EXPECT_FALSE(s.form.menus.mainMenuActive());
    EXPECT_EQ(k.keyMenuIndex, 1);
    EXPECT_EQ(k.keyMenuCount, 13);
    EXPECT_FALSE(k.waitingForKey);
    s.expectInOrder({"play sounds/menu/m_click.wav once", "volume sounds/menu/music.wav -500",
                     "rewind sounds/menu/kp.wav", "play sounds/menu/kp.wav once"},
                    opened);
}

TEST_F(KeyMenuTest, EndsDoNotWrapAndHomeOnTheFirstEntryOnlySilences) {
    auto& k = s.form.keyMap;
    auto at = s.mark();
    s.press(vk::Up);
    EXPECT_TRUE(s.soundEvents(at).empty()) << s.dump(at);
    EXPECT_EQ(k.keyMenuIndex, 1);

    at = s.mark();
    s.press(vk::Home);  // the introduction is cut off, nothing is said
    EXPECT_EQ(s.soundEvents(at), (Events{"stop sounds/menu/kp.wav", "rewind sounds/menu/kp.wav"}));
    EXPECT_EQ(k.keyMenuIndex, 1);

    at = s.mark();
    s.press(vk::End);
    EXPECT_EQ(s.soundEvents(at), (Events{"play sounds/menu/k13.wav once"}));
    EXPECT_EQ(k.keyMenuIndex, 13);

    at = s.mark();
    s.press(vk::Down);  // k13 goes on
    EXPECT_TRUE(s.soundEvents(at).empty()) << s.dump(at);
    EXPECT_EQ(k.keyMenuIndex, 13);

    at = s.mark();
    s.press(vk::Up);
    EXPECT_EQ(s.soundEvents(at), (Events{"stop sounds/menu/k13.wav", "rewind sounds/menu/k13.wav",
                                         "play sounds/menu/k12.wav once"}));
    s.press(vk::Home);
    EXPECT_EQ(k.keyMenuIndex, 1);
    EXPECT_TRUE(s.has("play sounds/menu/k1.wav once", at));
}

TEST_F(KeyMenuTest, DownStepByStepSpeaksEveryEntryUpToTheLast) {
    for (int entry = 2; entry <= 13; ++entry) {
        const auto at = s.mark();
        s.press(vk::Down);
        EXPECT_EQ(s.form.keyMap.keyMenuIndex, entry);
        const Events played = s.soundEvents(at);
        ASSERT_FALSE(played.empty()) << entry << "\n" << s.dump(at);
        EXPECT_EQ(played.back(), "play sounds/menu/k" + std::to_string(entry) + ".wav once");
    }
}

TEST_F(KeyMenuTest, EscapeWhileWaitingForAKeyIsAssignedAndTheMenuStays) {
    auto& k = s.form.keyMap;
    const auto at = s.mark();
    s.pressAt(vk::Escape, s.now() + 50);
    s.pressAt(vk::Down, s.now() + 60);  // during the confirmation: ignored
    s.press(vk::Enter);                 // entry 1, "kstart"
    EXPECT_EQ(k.kstart, 27);
    EXPECT_TRUE(k.keyMenuActive());
    EXPECT_FALSE(k.waitingForKey);
    EXPECT_FALSE(s.form.menus.soundBusy);
    EXPECT_FALSE(s.form.menus.mainMenuActive());
    EXPECT_FALSE(s.exitStatus);
    // The menu starts over with its introduction on entry 1.
    EXPECT_EQ(k.keyMenuIndex, 1);
    s.expectInOrder({"rewind sounds/menu/kk.wav", "play sounds/menu/kk.wav once", "key 27", "file keys.dat",
                     "rewind sounds/menu/kkk.wav", "play sounds/menu/kkk.wav once", "key 40",
                     "end sounds/menu/kkk.wav", "volume sounds/menu/music.wav -500", "play sounds/menu/kp.wav once"},
                    at);
    EXPECT_FALSE(s.has("play sounds/menu/k2.wav once", at));
    EXPECT_FALSE(s.has("play sounds/menu/m_p.wav once", at));
    EXPECT_EQ(s.folder.read("keys.dat"),
              " 27 \r\n 37 \r\n 39 \r\n 40 \r\n 17 \r\n 16 \r\n 9 \r\n 76 \r\n 13 \r\n 73 \r\n 80 \r\n");
}

TEST_F(KeyMenuTest, TheSameKeyMayServeTwoActions) {
    auto& k = s.form.keyMap;
    constexpr int kA = 65;
    s.pressAt(kA, s.now() + 10);
    s.press(vk::Enter);  // kstart
    s.runFor(500);
    goTo(6);
    s.pressAt(kA, s.now() + 10);
    s.press(vk::Enter);  // kscore
    EXPECT_EQ(k.kstart, kA);
    EXPECT_EQ(k.kscore, kA);
    EXPECT_EQ(s.folder.read("keys.dat"),
              " 65 \r\n 37 \r\n 39 \r\n 40 \r\n 17 \r\n 65 \r\n 9 \r\n 76 \r\n 13 \r\n 73 \r\n 80 \r\n");
}

TEST_F(KeyMenuTest, NavigationKeysPressedForAnActionAreAssignedNotObeyed) {
    auto& k = s.form.keyMap;
    goTo(11);
    s.pressAt(vk::Up, s.now() + 10);
    s.press(vk::Enter);  // kpause
    EXPECT_EQ(k.kpause, vk::Up);
    EXPECT_EQ(k.keyMenuIndex, 1);
    goTo(4);
    s.pressAt(vk::Enter, s.now() + 10);
    s.press(vk::Enter);  // kstop
    EXPECT_EQ(k.kstop, vk::Enter);
    EXPECT_TRUE(k.keyMenuActive());
}

TEST_F(KeyMenuTest, RestoringTheDefaultsSavesThemAndStaysOnEntryTwelve) {
    auto& k = s.form.keyMap;
    s.pressAt(vk::F2, s.now() + 10);
    s.press(vk::Enter);  // kstart = F2
    goTo(9);
    s.pressAt(88, s.now() + 10);
    s.press(vk::Enter);  // kstats = X
    ASSERT_EQ(k.kstats, 88);
    s.press(vk::End);
    s.press(vk::Up);
    ASSERT_EQ(k.keyMenuIndex, 12);
    const auto at = s.mark();
    s.pressAt(vk::Down, s.now() + 1);  // during the confirmation: ignored
    s.press(vk::Enter);
    EXPECT_EQ(k.codes(), kDefaultKeys);
    EXPECT_EQ(s.folder.read("keys.dat"), kDefaultFile);
    EXPECT_EQ(k.keyMenuIndex, 12);
    EXPECT_FALSE(s.form.menus.soundBusy);
    const auto written = s.expectInOrder(
        {"play sounds/menu/krestored.wav once", "key 40", "end sounds/menu/krestored.wav", "file keys.dat"}, at);
    // Nothing more is said.
    s.runFor(1000);
    EXPECT_TRUE(s.soundEvents(written).empty()) << s.dump(written);
}

TEST_F(KeyMenuTest, EntryThirteenEscapeAndLeftGoBackToTheMainMenu) {
    auto& k = s.form.keyMap;
    auto& m = s.form.menus;
    s.press(vk::End);
    auto at = s.mark();
    s.press(vk::Enter);
    EXPECT_FALSE(k.keyMenuActive());
    EXPECT_TRUE(m.mainMenuActive());
    s.expectInOrder({"volume sounds/menu/music.wav 0", "play sounds/menu/m_p.wav once"}, at);

    for (int key : {vk::Escape, vk::Left}) {
        for (int i = 0; i < 4; ++i) s.press(vk::Down);
        s.press(vk::Enter);
        ASSERT_TRUE(k.keyMenuActive());
        at = s.mark();
        s.press(key);
        EXPECT_FALSE(k.keyMenuActive());
        EXPECT_TRUE(m.mainMenuActive());
        EXPECT_EQ(m.mainMenuIndex, 1);
        s.expectInOrder({"stop sounds/menu/kp.wav", "play sounds/menu/m_p.wav once"}, at);
        EXPECT_FALSE(s.exitStatus);
    }
}

// Escape is honoured even while the confirmation sounds; the menu must not reopen after it.
TEST_F(KeyMenuTest, EscapeDuringTheConfirmationLeavesForGood) {
    auto& k = s.form.keyMap;
    s.pressAt(76, s.now() + 10);
    s.pressAt(vk::Escape, s.now() + 20);
    s.press(vk::Enter);
    EXPECT_EQ(k.kstart, 76);
    EXPECT_FALSE(k.keyMenuActive());
    EXPECT_TRUE(s.form.menus.mainMenuActive());
    EXPECT_FALSE(s.form.menus.soundBusy);
    EXPECT_EQ(s.form.sound.menu.music->getVolume(), 0);
}

TEST_F(KeyMenuTest, SavingIsQuietWhenTheFileCannotBeWritten) {
    auto& k = s.form.keyMap;
    // A folder where the file should be: the rename over it fails.
    s.folder.remove("keys.dat");
    std::filesystem::create_directory(s.folder.game() / "keys.dat");
    s.pressAt(65, s.now() + 10);
    s.press(vk::Enter);
    EXPECT_EQ(k.kstart, 65);
    EXPECT_TRUE(k.keyMenuActive());
    EXPECT_FALSE(s.exitStatus);
    EXPECT_FALSE(s.has("file keys.dat", opened));
}

}  // namespace
}  // namespace zorvan::test
