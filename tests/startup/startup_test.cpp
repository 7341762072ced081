// From the program's start to its main menu, and the ways it refuses to start.
#include <gtest/gtest.h>

#include "support/scenario.h"

namespace zorvan::test {
namespace {

std::map<std::string, int> longOpenings() {
    return {{"Kestrine.KSR", 3000}, {"sounds/intro.wav", 3000}};
}

TEST(StartUp, SpaceCtrlOrEnterSkipTheLogoAndTheIntroOtherKeysDoNot) {
    for (int skip : {vk::Space, vk::Ctrl, vk::Enter}) {
        Scenario s(GameFolder::Sounds::Generated, longOpenings());
        s.pressAt('A', 500);
        s.pressAt(skip, 1000);
        s.pressAt(skip, 1500);
        ASSERT_TRUE(s.load());
        EXPECT_TRUE(s.form.menus.mainMenuActive());
        EXPECT_EQ(s.now(), 1500) << "skip key " << skip;
        s.expectInOrder({"play Kestrine.KSR once", "key 65", "stop Kestrine.KSR", "release Kestrine.KSR",
                         "rewind sounds/intro.wav", "play sounds/intro.wav once", "stop sounds/intro.wav",
                         "play sounds/menu/music.wav loop"});
        EXPECT_FALSE(s.has("end Kestrine.KSR"));
    }
}

TEST(StartUp, WithoutKeysBothOpeningSoundsPlayToTheirEnd) {
    Scenario s(GameFolder::Sounds::Generated, longOpenings());
    ASSERT_TRUE(s.load());
    EXPECT_GE(s.now(), 6000);
    s.expectInOrder({"end Kestrine.KSR", "end sounds/intro.wav", "play sounds/menu/m_p.wav once"});
}

TEST(StartUp, TheThemeIsTetrissAtEveryStart) {
    Scenario s;
    ASSERT_TRUE(s.load());
    EXPECT_EQ(s.form.mode, "tetriss");
}

TEST(StartUp, AProfileValueOfZeroSpeaksTheConfigurationErrorBeforeTheOpeningSounds) {
    Scenario s;
    s.folder.write("config.dat", "Ada Tester\r\n0\r\nGB\r\n");
    EXPECT_FALSE(s.load());
    EXPECT_EQ(s.exitStatus, 1);
    s.expectInOrder({"play sounds/system/configerror.wav once", "end sounds/system/configerror.wav"});
    EXPECT_FALSE(s.has("play Kestrine.KSR once"));
}

TEST(StartUp, NoProfileFileSpeaksTheConfigurationError) {
    Scenario s;
    s.folder.remove("config.dat");
    EXPECT_FALSE(s.load());
    EXPECT_TRUE(s.has("play sounds/system/configerror.wav once"));
}

TEST(StartUp, AProfileWithTwoValuesIsDamagedAndEndsWithAMessageBoxNotTheSound) {
    Scenario s;
    s.folder.write("config.dat", "Ada Tester\r\nnun\r\n");
    EXPECT_FALSE(s.load());
    EXPECT_EQ(s.exitStatus, 1);
    EXPECT_TRUE(s.has("msgbox \"Zorvan! fatal error!\" \"the config.dat file was tampered with! please "
                      "reinstall the software\""));
    EXPECT_FALSE(s.has("play sounds/system/configerror.wav once"));
}

TEST(StartUp, TheHighScoreComesFromTheSettingsStore) {
    Scenario s;
    IniSettingsStore(s.folder.settings()).set("Kestrine", "zorvan", "highscore", "1234");
    ASSERT_TRUE(s.load());
    EXPECT_EQ(s.form.highScore, 1234);
}

TEST(Leaving, EscapeInTheMainMenuPlaysTheFarewellAndEndsNormally) {
    Scenario s;
    ASSERT_TRUE(s.load());
    auto from = s.mark();
    s.press(vk::Escape);
    EXPECT_EQ(s.exitStatus, 0);
    s.expectInOrder({"stop sounds/menu/music.wav", "rewind sounds/ext.wav", "play sounds/ext.wav once",
                     "end sounds/ext.wav", "release sounds/ext.wav"},
                    from);
}

TEST(Leaving, EnterCutsTheFarewellShort) {
    Scenario s;
    ASSERT_TRUE(s.load());
    const auto at = s.now();
    s.pressAt(vk::Enter, at + 50);
    s.press(vk::Escape);
    EXPECT_EQ(s.exitStatus, 0);
    EXPECT_TRUE(s.has("stop sounds/ext.wav"));
    EXPECT_FALSE(s.has("end sounds/ext.wav"));
}

TEST(Leaving, ClosingTheWindowSavesTheKeyMapAndABeatenHighScore) {
    Scenario s;
    ASSERT_TRUE(s.load());
    s.folder.write("keys.dat", "");
    s.form.restoreScore(777, s.form.race.m_lifes);
    s.form.race.newscore = true;
    s.platform.pressKey(0, s.now() + 10);
    s.runFor(100);
    EXPECT_EQ(s.exitStatus, 0);
    EXPECT_EQ(s.folder.read("keys.dat"), defaultKeysDat());
    EXPECT_EQ(IniSettingsStore(s.folder.settings()).get("Kestrine", "zorvan", "highscore", ""), "777");
}

TEST(Leaving, HighScoreInTheMainMenuIsSpokenOverLoweredMusic) {
    Scenario s;
    IniSettingsStore(s.folder.settings()).set("Kestrine", "zorvan", "highscore", "105");
    ASSERT_TRUE(s.load());
    auto from = s.mark();
    s.press('H');
    s.runFor(2000);
    s.expectInOrder({"volume sounds/menu/music.wav -800", "volume sounds/menu/music.wav 0",
                     "play sounds/speech/yourhighscore.wav once", "play sounds/numbers/1.wav once",
                     "play sounds/numbers/hundred.wav once", "play sounds/numbers/5.wav once"},
                    from);
}

TEST(Theme, MAndF5ToggleTheThemeWithTheMusicLoweredMeanwhile) {
    Scenario s;
    ASSERT_TRUE(s.load());
    auto from = s.mark();
    s.press('M');
    EXPECT_EQ(s.form.mode, "arcade");
    s.expectInOrder({"volume sounds/menu/music.wav -800", "play sounds/speech/arcade_mode.wav once",
                     "end sounds/speech/arcade_mode.wav", "volume sounds/menu/music.wav 0"},
                    from);
    s.press(vk::F5);
    EXPECT_EQ(s.form.mode, "tetriss");
}

}  // namespace
}  // namespace zorvan::test

namespace zorvan::test {
namespace {

TEST(Theme, TheThemeKeyWaitsWhileAPromptIsPlayedToItsEnd) {
    Scenario s;
    ASSERT_TRUE(s.load());
    s.form.menus.soundBusy = true;
    s.press('M');
    EXPECT_EQ(s.form.mode, "tetriss");
    EXPECT_TRUE(s.form.menus.soundBusy);
}

}  // namespace
}  // namespace zorvan::test
