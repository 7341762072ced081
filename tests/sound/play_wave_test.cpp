// playWave's two speech channels and the bank groups, as the event log shows them.
#include <gtest/gtest.h>

#include "support/scenario.h"

namespace zorvan::test {
namespace {

TEST(PlayWave, AMissingFileOnAnEmptyChannelIsSilentAndDoesNotWait) {
    Scenario s;
    ASSERT_TRUE(s.load());
    auto from = s.mark();
    const auto before = s.now();
    s.form.key_k = 40;
    s.form.sound.playWave("speech", "no_such_clip", true, 0, false);
    EXPECT_EQ(s.now(), before);
    EXPECT_EQ(s.form.key_k, 0) << "playWave clears the last key first";
    EXPECT_TRUE(s.soundEvents(from).empty());
    EXPECT_FALSE(s.form.sound.speechChannelA);
}

TEST(PlayWave, AMissingFileNeverReplaysTheChannelsPreviousClip) {
    Scenario s;
    ASSERT_TRUE(s.load());
    s.form.sound.playWave("speech", "level", true, 0, false);
    auto from = s.mark();
    s.form.sound.playWave("speech", "no_such_clip", true, 3000, false);
    EXPECT_TRUE(s.soundEvents(from).empty());
}

TEST(PlayWave, TheSameChannelCutsOffTheOtherChannelDoesNot) {
    Scenario s;
    ASSERT_TRUE(s.load());
    auto from = s.mark();
    s.form.sound.playWave("speech", "level", false, 0, false);
    s.form.sound.playWave("speech", "points", false, -3000, false);
    s.expectInOrder({"play sounds/speech/level.wav once", "release sounds/speech/level.wav",
                     "play sounds/speech/points.wav once"},
                    from);
    from = s.mark();
    s.form.sound.playWave("speech", "brakes", false, 3000, true);
    EXPECT_TRUE(s.has("pan sounds/speech/brakes.wav 3000", from));
    EXPECT_FALSE(s.has("release sounds/speech/points.wav", from));
    EXPECT_TRUE(s.form.sound.speechChannelA->isPlaying());
    EXPECT_TRUE(s.form.sound.speechChannelB->isPlaying());
}

TEST(PlayWave, AnEmptyFolderFindsTheFileDirectlyInSounds) {
    Scenario s;
    ASSERT_TRUE(s.load());
    auto from = s.mark();
    s.form.sound.playWave("", "fallhole", true, 0, false);
    s.expectInOrder({"load sounds/fallhole.wav", "play sounds/fallhole.wav once", "end sounds/fallhole.wav"},
                    from);
}

TEST(PlayWave, UnloadingTheRaceBankEmptiesBothChannels) {
    Scenario s;
    ASSERT_TRUE(s.load());
    s.form.sound.playWave("speech", "level", false, 0, false);
    s.form.sound.playWave("speech", "brakes", false, 0, true);
    s.form.sound.unloadGameSounds();
    EXPECT_FALSE(s.form.sound.speechChannelA);
    EXPECT_FALSE(s.form.sound.speechChannelB);
}

TEST(Banks, TheRaceBankLoadsEachEngineThriceWithItsVolumesAndPitchesThemApart) {
    Scenario s;
    ASSERT_TRUE(s.load());
    auto from = s.mark();
    s.form.sound.loadGameSounds();
    auto& race = s.form.sound.race;
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(race.playerEngineSounds[i]->getVolume(), -2000);
        EXPECT_EQ(race.compEngineSounds[i]->getVolume(), -5000);
        EXPECT_EQ(race.secondEngineSounds[i]->getVolume(), -5000);
        EXPECT_NE(race.playerEngineSounds[i]->number(), race.compEngineSounds[i]->number());
    }
    int loads = 0;
    for (auto& e : s.events(from)) loads += e.rfind("load ", 0) == 0;
    EXPECT_EQ(loads, 18) << "the ambience, three sets of four engines and five effect sounds";
    race.compEngineSounds[1]->setFrequency(30000);
    race.compEngineSounds[1]->setPan(-3000);
    EXPECT_EQ(race.playerEngineSounds[1]->getPan(), 0);
    EXPECT_NE(race.playerEngineSounds[1]->getFrequency(), 30000);
}

TEST(Banks, TheMenuBankHoldsSeventyFiveSoundsAndReleasesThemAll) {
    Scenario s;
    auto from = s.mark();
    s.form.sound.loadMenuSounds();
    int loads = 0;
    for (auto& e : s.events(from)) loads += e.rfind("load ", 0) == 0;
    EXPECT_EQ(loads, 75);
    EXPECT_EQ(s.events(from).back().rfind("load sounds/vControl/9.wav", 0), 0u) << "version sounds last";
    from = s.mark();
    s.form.sound.unloadMenuSounds();
    int releases = 0;
    for (auto& e : s.events(from)) releases += e.rfind("release ", 0) == 0;
    EXPECT_EQ(releases, 75);
}

TEST(Banks, AMissingMenuSoundStopsStartUpNamingTheFile) {
    Scenario s;
    s.folder.remove("sounds/menu/m3.wav");
    try {
        s.form.run();
    } catch (const ProgramEnd& end) {
        s.exitStatus = end.status;
        s.exitMessage = end.message;
    }
    ASSERT_TRUE(s.exitStatus.has_value());
    EXPECT_NE(*s.exitStatus, 0);
    EXPECT_NE(s.exitMessage.find("sounds/menu/m3.wav"), std::string::npos) << s.exitMessage;
    EXPECT_FALSE(s.form.menus.mainMenuActive());
    bool boxed = false;
    for (auto& e : s.events()) boxed = boxed || (e.rfind("msgbox ", 0) == 0 && e.find("m3.wav") != std::string::npos);
    EXPECT_TRUE(boxed) << s.dump();
}

}  // namespace
}  // namespace zorvan::test
