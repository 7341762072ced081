// Levels and their speeds, points, holes, the end of a game and the keys of a running game.

#include <gtest/gtest.h>

#include <tuple>

#include <string>
#include <vector>

#include "race_scenario.h"

namespace zorvan::test {
namespace {

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// The game has ended and left everything as the main menu needs it.
void expectBackInTheMenu(RaceScenario& s) {
    EXPECT_FALSE(s.form.race.game);
    EXPECT_TRUE(s.form.menus.mainMenuActive());
    EXPECT_TRUE(s.form.sound.menu.music != nullptr);
    EXPECT_TRUE(s.form.sound.race.ambience == nullptr);
    EXPECT_EQ(s.runningRaceTimers(), "");
    EXPECT_TRUE(s.form.tmrVoss.enabled());
}

TEST(Progress, HalfToEvenRoundingMakesThreeAndAHalfAsFastAsFour) {
    struct Case {
        float speed;
        int ticks;
    };
    for (Case c : {Case{3.5f, 13}, Case{4.0f, 13}, Case{3.0f, 17}, Case{2.0f, 26}}) {
        RaceScenario s;
        s.start(3, "normal", "tetriss");
        s.form.race.m_speed = c.speed;
        std::vector<int> laps;
        for (int i = 1; i < c.ticks; ++i) {
            s.form.tmrGo_Timer();
            laps.push_back(s.form.race.m_lap);
        }
        EXPECT_EQ(s.form.race.levels, 1) << c.speed;
        s.form.tmrGo_Timer();
        EXPECT_EQ(s.form.race.levels, 2) << c.speed;
        EXPECT_EQ(s.form.race.m_lap, 0);
        EXPECT_EQ(s.form.race.m_x, 0);
        if (c.speed == 3.5f) {
            EXPECT_EQ((std::vector<int>(laps.begin(), laps.begin() + 3)), (std::vector<int>{4, 8, 12}));
        }
    }
}

TEST(Progress, TheSlowestCarStillCreepsOn) {
    RaceScenario s;
    s.start(1, "normal", "tetriss");
    s.form.race.m_speed = 0.5f;
    for (int i = 0; i < 4; ++i) s.form.tmrGo_Timer();
    EXPECT_EQ(s.form.race.m_lap, 4);
}

TEST(Levels, IntervalsFallByFortyThenByTwoDownToTwo) {
    RaceScenario s;
    s.start(2, "normal", "tetriss");
    std::vector<int> speeds{s.form.race.speed};
    for (int level = 2; level <= 40; ++level) {
        s.form.levelup(false);
        speeds.push_back(s.form.race.speed);
        EXPECT_EQ(s.form.tmrRace.interval(), s.form.race.speed);
        EXPECT_EQ(s.form.tmrWoosh.interval(), s.form.race.speed);
        if (level < 6) {
            EXPECT_EQ(s.form.race.secondSpeed, 300);
            EXPECT_FALSE(s.form.tmrScomp.enabled());
        } else {
            EXPECT_TRUE(s.form.tmrScomp.enabled());
            EXPECT_EQ(s.form.tmrSrace.interval(), s.form.race.secondSpeed);
        }
    }
    const std::vector<int> start{300, 260, 220, 180, 140, 100, 60, 58, 56};
    EXPECT_EQ(std::vector<int>(speeds.begin(), speeds.begin() + 9), start);
    EXPECT_EQ(speeds[35], 2);  // level 36
    EXPECT_EQ(speeds[34], 4);
    EXPECT_EQ(speeds.back(), 2);
    // The second car's interval starts at the level-up to 6 and follows the same table.
    EXPECT_EQ(s.form.race.levels, 40);
    EXPECT_EQ(s.form.race.secondSpeed, 2);
    EXPECT_EQ(s.form.race.points, [] {
        int p = 0;
        for (int level = 2; level <= 40; ++level) p += 20 * level;
        return p;
    }());
}

TEST(Levels, TetrissRaisesTheAmbienceAndNeverHasABonusRound) {
    RaceScenario s;
    s.start(2, "normal", "tetriss");
    SoundBuffer& amb = *s.form.sound.race.ambience;
    EXPECT_EQ(amb.getFrequency(), 44100);
    EXPECT_TRUE(s.looping(amb));
    const auto at = s.mark();
    for (int level = 2; level <= 10; ++level) s.form.levelup(false);
    EXPECT_EQ(amb.getFrequency(), 44100 + 9000);
    EXPECT_EQ(s.count("load sounds/tetriss/t_levelup.wav", at), 9);
    EXPECT_TRUE(s.form.race.game);
}

TEST(Levels, ArcadeStopsForTheBonusRoundAtLevelTenAndGoesOnWithTheCarRunning) {
    RaceScenario s;
    s.start(2, "easy", "arcade");
    s.press(vk::Up);
    for (int level = 2; level <= 9; ++level) s.form.levelup(false);
    const int speedBefore = s.form.race.speed;
    const auto at = s.mark();
    s.form.levelup(false);
    EXPECT_EQ(s.form.race.levels, 10);
    // The race stands still for the round, with the level change not yet finished.
    EXPECT_EQ(s.form.race.speed, speedBefore);
    EXPECT_FALSE(s.form.tmrComp.enabled());
    EXPECT_FALSE(s.form.race.hasStarted);
    EXPECT_FALSE(s.looping(s.playerEngine()));
    ASSERT_TRUE(s.runUntil([&] { return s.form.tmrComp.enabled(); }, 300000));
    EXPECT_EQ(s.form.race.levels, 10);
    EXPECT_EQ(s.form.race.speed, speedBefore - 2);
    EXPECT_EQ(s.count("load sounds/levelup.wav", at), 1);
    EXPECT_TRUE(s.form.race.game);
    // On "easy" below the second car's levels too, the car runs again as before the round.
    EXPECT_TRUE(s.form.race.hasStarted);
    EXPECT_TRUE(s.looping(s.playerEngine()));
    EXPECT_TRUE(s.form.tmrGo.enabled());
    EXPECT_TRUE(s.form.tmrAccelerate.enabled());
}

TEST(Points, TheHighScoreIsAnnouncedOncePerGameAndStoredAtItsEnd) {
    RaceScenario s;
    s.start(2, "normal", "arcade");
    s.form.highScore = 25;
    s.form.addPoints(10);
    EXPECT_FALSE(s.form.race.newscore);
    s.form.addPoints(20);
    EXPECT_TRUE(s.form.race.newscore);
    EXPECT_EQ(s.form.highScore, 30);
    for (int i = 0; i < 5; ++i) s.form.addPoints(10);
    EXPECT_EQ(s.form.highScore, 80);
    EXPECT_EQ(s.count("play sounds/highscore.wav once"), 1);
    EXPECT_EQ(s.form.platform.settings().get("Kestrine", "zorvan", "highscore", "none"), "none");
}

TEST(Points, SumsStopAtTheLimitsInsteadOfRunningOver) {
    RaceScenario s;
    s.start(2, "normal", "tetriss");
    s.form.restoreScore(2147483647 - 15, s.form.race.m_lifes);
    s.form.addPoints(10);
    EXPECT_EQ(s.form.race.points, 2147483647 - 5);
    s.form.addPoints(10);
    EXPECT_EQ(s.form.race.points, 2147483647);
    EXPECT_EQ(s.form.highScore, 2147483647);
    s.form.race.levels = 2147483647;
    s.form.levelup(false);
    EXPECT_EQ(s.form.race.levels, 2147483647);
    EXPECT_EQ(s.form.race.points, 2147483647);
    s.form.race.stats.carsBlasted = 2147483647;
    s.form.race.stats.lazerCollected = 32767;
    s.form.player->inventory->addItem("lazer", 5);
    EXPECT_EQ(s.form.race.stats.lazerCollected, 32767);
    EXPECT_EQ(s.form.player->inventory->lazerRounds(), 5);
    s.form.player->inventory->addItem("lazer", 32767);
    EXPECT_EQ(s.form.player->inventory->lazerRounds(), 32767);
    s.form.traffic.comp_crash();
    EXPECT_EQ(s.form.race.stats.carsBlasted, 2147483647);
}

TEST(GameOver, TheLastLifeEndsTheGameWithCarsAndWritesItsRecords) {
    RaceScenario s;
    s.start(4, "crazy", "arcade");
    s.form.tmrAccelerate.setEnabled(false);
    s.form.restoreScore(s.form.race.points, 1);
    s.form.addPoints(730);
    s.platform.script = {uFor(2, 3), uFor(1, 4)};  // a car in the centre lane, where the player is
    ASSERT_TRUE(s.runUntil([&] { return !s.form.race.game; }, 20000));
    ASSERT_TRUE(s.runUntil([&] { return s.form.menus.mainMenuActive(); }, 60000));
    EXPECT_EQ(s.form.race.endCause, "cars");
    EXPECT_EQ(s.form.race.points, 730);  // the last crash costs no points
    // The car is counted after it is judged: the report, written inside the crash, leaves it out.
    EXPECT_EQ(s.form.race.stats.carsAvoided, 1);
    expectBackInTheMenu(s);
    EXPECT_TRUE(s.has("play sounds/speech/finalscore.wav once"));
    EXPECT_TRUE(s.has("play sounds/gameOver.wav once"));
    EXPECT_EQ(s.countPrefix("load sounds/misc/crash"), 1);
    // The crazy list holds the game at place 1; the others are untouched.
    const std::string ls = s.folder.read("ls.dat");
    EXPECT_TRUE(contains(ls, " 0 \r\n 730 \r\n 0 \r\n") && ls.find(" 730 ") == 20 * 5);
    const std::string stats = s.folder.read("stats.txt");
    EXPECT_TRUE(contains(stats, "final score: 730 ; this earns position 1 in local top ten\r\n"));
    EXPECT_TRUE(contains(stats, "lifes left: 0\r\n"));
    EXPECT_TRUE(contains(stats, "car used in game: Electric car\r\n"));
    EXPECT_TRUE(contains(stats, "cars avoided: 0\r\n"));
    EXPECT_TRUE(contains(stats, "you lost the game as a result of a crash\r\n"));
    EXPECT_EQ(s.form.platform.settings().get("Kestrine", "zorvan", "highscore", "none"), "730");
    EXPECT_EQ(s.form.race.m_lap, 0);
    EXPECT_EQ(s.form.player->position, 0);
}

// Nobody steers: every car in the player's lane hits, and the last of them ends the game. Each
// arrival is judged first and counted after, so the report, written inside that last crash,
// counts one car fewer than arrived; with both kinds of car on the road ("normal") too.
TEST(GameOver, TheCarThatEndsTheGameIsJudgedBeforeItIsCounted) {
    for (const auto& [seed, car, difficulty] :
         {std::tuple<int, int, const char*>{4, 1, "easy"}, {9, 3, "normal"}}) {
        SCOPED_TRACE(difficulty);
        RaceScenario s(seed);
        s.start(car, difficulty, "tetriss");
        s.form.tmrAccelerate.setEnabled(false);
        ASSERT_TRUE(s.runUntil([&] { return !s.form.race.game; }, 3600000));
        ASSERT_TRUE(s.runUntil([&] { return s.form.menus.mainMenuActive(); }, 60000));
        ASSERT_EQ(s.form.race.endCause, "cars");
        const int arrived = s.form.race.stats.carsAvoided;
        EXPECT_GE(arrived, 3);
        EXPECT_TRUE(contains(s.folder.read("stats.txt"), "cars avoided: " + std::to_string(arrived - 1) + "\r\n"))
            << s.folder.read("stats.txt");
    }
}

TEST(GameOver, TwoLifesLeftMeanACrashCostsOneLife) {
    RaceScenario s;
    s.start(2, "normal", "tetriss");
    s.form.restoreScore(100, 2);
    s.platform.script = {uFor(2, 3), uFor(1, 4)};
    ASSERT_TRUE(s.runUntil([&] { return s.form.race.stats.carsAvoided == 1; }, 20000));
    EXPECT_TRUE(s.form.race.game);
    EXPECT_EQ(s.form.race.m_lifes, 1);
    EXPECT_EQ(s.form.race.points, 50);
    EXPECT_TRUE(s.has("play sounds/tetriss/t_hit.wav once"));
}

TEST(Holes, AHoleInThePlayersLaneEndsTheGameWhateverTheLifes) {
    RaceScenario s;
    s.start(2, "normal", "arcade");
    s.form.tmrAccelerate.setEnabled(false);
    s.form.tmrComp.setEnabled(false);
    ASSERT_EQ(s.form.race.m_lifes, 5);
    s.platform.script = {uFor(2, 3)};
    s.form.randomHole();
    EXPECT_EQ(s.form.race.holeLane, 0);
    EXPECT_EQ(s.form.tmrHole.interval(), 4000);
    EXPECT_TRUE(s.has("pan sounds/hWorning.wav 0"));
    const std::int64_t warned = s.now();
    ASSERT_TRUE(s.runUntil([&] { return !s.form.race.game; }, 5000));
    EXPECT_EQ(s.timeOf("play sounds/fallhole.wav once") - warned, 4000);
    ASSERT_TRUE(s.runUntil([&] { return s.form.menus.mainMenuActive(); }, 60000));
    EXPECT_EQ(s.form.race.endCause, "hole");
    expectBackInTheMenu(s);
    EXPECT_TRUE(s.has("play sounds/fallhole.wav once"));
    EXPECT_TRUE(s.has("play sounds/gameOver.wav once"));
    EXPECT_TRUE(contains(s.folder.read("stats.txt"), "you lost the game by falling into a hole\r\n"));
    EXPECT_TRUE(contains(s.folder.read("stats.txt"), "lifes left: 5\r\n"));
}

TEST(Holes, AHoleInAnotherLaneDoesNothingAndItsWarningComesFromItsSide) {
    RaceScenario s;
    s.start(2, "crazy", "arcade");
    s.form.tmrAccelerate.setEnabled(false);
    s.form.tmrComp.setEnabled(false);
    s.platform.script = {uFor(1, 3)};
    s.form.randomHole();
    EXPECT_EQ(s.form.race.holeLane, -3);
    EXPECT_EQ(s.form.tmrHole.interval(), 3000);
    EXPECT_TRUE(s.has("pan sounds/hWorning.wav -3000"));
    s.runFor(5000);
    EXPECT_TRUE(s.form.race.game);
    EXPECT_FALSE(s.form.tmrHole.enabled());
    EXPECT_EQ(s.form.race.m_lifes, 5);
}

TEST(Holes, KeysDuringTheFallDoNotEndTheGameTwice) {
    RaceScenario s;
    s.start(2, "easy", "arcade");
    s.form.tmrAccelerate.setEnabled(false);
    s.form.tmrComp.setEnabled(false);
    s.platform.script = {uFor(2, 3)};
    s.form.randomHole();
    s.pressAt(vk::Escape, s.now() + 5050);
    s.pressAt(vk::Enter, s.now() + 5100);
    s.pressAt(vk::letter('p'), s.now() + 5150);
    ASSERT_TRUE(s.runUntil([&] { return s.form.menus.mainMenuActive(); }, 60000));
    EXPECT_EQ(s.form.race.endCause, "hole");
    EXPECT_FALSE(s.form.race.pause);
    EXPECT_EQ(s.count("file stats.txt"), 1);
    EXPECT_EQ(s.count("play sounds/speech/exitPrompt.wav once"), 0);
}

class RaceKeys : public ::testing::Test {
protected:
    void SetUp() override {
        s.start(2, "normal", "arcade");
        s.form.tmrAccelerate.setEnabled(false);
        s.form.tmrComp.setEnabled(false);
    }
    RaceScenario s;
};

TEST_F(RaceKeys, SteeringWaitsForTheStartKeyAndStopsAtTheEdges) {
    s.press(vk::Left);
    EXPECT_EQ(s.form.player->position, 0);
    s.press(vk::Up);
    EXPECT_TRUE(s.form.race.hasStarted);
    EXPECT_TRUE(s.looping(s.playerEngine()));
    EXPECT_TRUE(s.form.tmrGo.enabled());
    const auto at = s.mark();
    s.press(vk::Up);  // a second start does nothing
    EXPECT_EQ(s.countPrefix("play", at), 0);
    s.press(vk::Left);
    EXPECT_EQ(s.form.player->position, -3);
    EXPECT_EQ(s.playerEngine().getPan(), -9000);
    const auto edge = s.mark();
    s.press(vk::Left);
    EXPECT_EQ(s.form.player->position, -3);
    EXPECT_EQ(s.events(edge), (std::vector<std::string>{"key 37"}));
    s.press(vk::Right);
    s.press(vk::Right);
    EXPECT_EQ(s.form.player->position, 3);
    EXPECT_EQ(s.playerEngine().getPan(), 9000);
    s.press(vk::Down);  // stop
    EXPECT_FALSE(s.form.race.hasStarted);
    EXPECT_FALSE(s.looping(s.playerEngine()));
    EXPECT_FALSE(s.form.tmrGo.enabled());
}

TEST(CrazyKeys, TheSteeringKeysAreSwapped) {
    RaceScenario s;
    s.start(2, "crazy", "arcade");
    s.press(vk::Up);
    s.press(vk::Right);
    EXPECT_EQ(s.form.player->position, -3);
    s.press(vk::Left);
    s.press(vk::Left);
    EXPECT_EQ(s.form.player->position, 3);
}

TEST_F(RaceKeys, WhilePausedOnlyTheSpeakingKeysAndThePauseKeyWork) {
    s.press(vk::Up);
    s.press(vk::letter('p'));
    EXPECT_TRUE(s.form.race.pause);
    EXPECT_FALSE(s.form.race.hasStarted);
    EXPECT_FALSE(s.looping(s.playerEngine()));
    EXPECT_EQ(s.runningRaceTimers(), "");
    s.form.player->inventory->addItem("lazer", 5);
    for (int key : {vk::Left, vk::Right, vk::Up, vk::PageDown, vk::Ctrl, vk::Escape, vk::F5}) s.press(key);
    EXPECT_EQ(s.form.player->position, 0);
    EXPECT_EQ(s.form.player->inventory->inventoryIndex(), 0);
    EXPECT_FALSE(s.form.race.inExitPrompt);
    EXPECT_FALSE(s.form.race.hasStarted);
    auto at = s.mark();
    s.press(vk::letter('l'));
    s.runFor(50);  // "5" is being said
    s.press(vk::Tab);
    s.runFor(2000);
    EXPECT_EQ(s.spoken(at), (std::vector<std::string>{"5", "speech/level", "1"}));
    s.press(vk::letter('p'));
    EXPECT_FALSE(s.form.race.pause);
    // The car runs again as before the pause, with its road events.
    EXPECT_TRUE(s.form.race.hasStarted);
    EXPECT_TRUE(s.looping(s.playerEngine()));
    EXPECT_TRUE(s.form.tmrGo.enabled());
    EXPECT_TRUE(s.form.tmrAccelerate.enabled());
    EXPECT_TRUE(s.form.tmrComp.enabled());
}

// An item announcement goes to the second speech channel, a saved-game notice to the first:
// pausing, the exit prompt and the end of a game silence both, not only the first.
TEST_F(RaceKeys, PauseExitPromptAndGameOverSilenceBothSpeechChannels) {
    auto speakOnBoth = [&] {
        s.form.sound.playWave("speech", "saved", false, 0, false);
        s.form.sound.playWave("speech", "brakes", false, 0, true);
        return s.mark();
    };
    auto expectBothStopped = [&](std::size_t at, const char* what) {
        EXPECT_TRUE(s.has("stop sounds/speech/saved.wav", at)) << what << "\n" << s.dump(at);
        EXPECT_TRUE(s.has("stop sounds/speech/brakes.wav", at)) << what << "\n" << s.dump(at);
    };
    s.press(vk::Up);
    auto at = speakOnBoth();
    s.press(vk::letter('p'));
    expectBothStopped(at, "pause");
    s.press(vk::letter('p'));

    at = speakOnBoth();
    s.pressAt(vk::Left, s.now() + 300);
    s.press(vk::Escape);
    expectBothStopped(at, "exit prompt");
    ASSERT_TRUE(s.form.race.game);

    at = speakOnBoth();
    s.form.restoreScore(s.form.race.points, 1);
    ASSERT_TRUE(s.runUntil([&] {
        if (s.form.race.game) s.form.crashIntoCar();  // the last life: the game ends in here
        return s.form.menus.mainMenuActive();
    }));
    expectBothStopped(at, "game over");
}

TEST(TetrissPause, ThePauseSoundsAreHeardToTheirEnd) {
    RaceScenario s;
    s.start(2, "normal", "tetriss");
    s.press(vk::Up);
    auto at = s.mark();
    s.press(vk::letter('p'));
    s.runFor(1000);
    // The race falls silent first; then the pause is said, not cut off by that silence.
    EXPECT_EQ(s.count("stop sounds/tetriss/pIn.wav", at), 0) << s.dump(at);
    EXPECT_EQ(s.count("end sounds/tetriss/pIn.wav", at), 1) << s.dump(at);
    EXPECT_FALSE(s.looping(*s.form.sound.race.ambience));
    at = s.mark();
    s.press(vk::letter('p'));
    s.runFor(1000);
    EXPECT_EQ(s.count("end sounds/tetriss/pOut.wav", at), 1) << s.dump(at);
    EXPECT_TRUE(s.looping(*s.form.sound.race.ambience));
    EXPECT_TRUE(s.looping(s.playerEngine()));
}

TEST_F(RaceKeys, StoppingTheRaceTwiceIsHarmlessAndOneResumeBringsItBack) {
    s.press(vk::Up);
    s.form.stopgame();
    s.form.stopgame();
    EXPECT_EQ(s.runningRaceTimers(), "");
    EXPECT_FALSE(s.form.race.hasStarted);
    s.form.resumeGame();
    EXPECT_TRUE(s.form.race.hasStarted);
    EXPECT_TRUE(s.looping(s.playerEngine()));
    EXPECT_TRUE(s.form.tmrComp.enabled());
}

TEST_F(RaceKeys, ACarStoppedBeforeThePauseStaysStopped) {
    s.press(vk::Up);
    s.press(vk::Down);
    s.press(vk::letter('p'));
    s.press(vk::letter('p'));
    EXPECT_FALSE(s.form.race.hasStarted);
    EXPECT_FALSE(s.looping(s.playerEngine()));
    EXPECT_FALSE(s.form.tmrGo.enabled());
}

TEST_F(RaceKeys, AnyKeyButEnterAtTheExitPromptResumesAndDoesNothingElse) {
    s.press(vk::Up);
    s.pressAt(vk::Left, s.now() + 700);
    s.press(vk::Escape);
    EXPECT_FALSE(s.form.race.inExitPrompt);
    EXPECT_TRUE(s.form.race.game);
    EXPECT_EQ(s.form.player->position, 0);
    EXPECT_TRUE(s.form.race.hasStarted);
    EXPECT_TRUE(s.looping(s.playerEngine()));
    EXPECT_TRUE(s.has("play sounds/speech/exitPrompt.wav once"));
    s.pressAt(vk::Escape, s.now() + 300);
    s.press(vk::Escape);
    EXPECT_TRUE(s.form.race.game);
    EXPECT_FALSE(s.form.race.inExitPrompt);
}

TEST_F(RaceKeys, EnterAtTheExitPromptRecordsTheGameAndGoesBackToTheMenu) {
    s.form.highScore = 100;
    s.form.addPoints(450);
    s.form.race.stats.carsAvoided = 7;
    s.pressAt(vk::Enter, s.now() + 400);
    s.press(vk::Escape);
    expectBackInTheMenu(s);
    EXPECT_EQ(s.form.race.endCause, "escape");
    EXPECT_EQ(s.form.player, nullptr);
    EXPECT_EQ(s.form.platform.settings().get("Kestrine", "zorvan", "highscore", "none"), "450");
    const std::string ls = s.folder.read("ls.dat");
    EXPECT_EQ(ls.find(" 450 "), 10u * 5);  // place 1 of the "normal" list, line 11
    const std::string stats = s.folder.read("stats.txt");
    EXPECT_TRUE(contains(stats, "you ended the game by pressing escape\r\n"));
    EXPECT_TRUE(contains(stats, "cars avoided: 7\r\n"));
    EXPECT_TRUE(contains(stats, "final level: 1\r\n"));
    // Keys now go to the main menu.
    s.press(vk::Down);
    EXPECT_EQ(s.form.menus.mainMenuIndex, 2);
}

TEST_F(RaceKeys, TheAmbienceKeysWorkOnlyInTheTetrissTheme) {
    RaceScenario t;
    t.start(2, "normal", "tetriss");
    SoundBuffer& amb = *t.form.sound.race.ambience;
    t.press(vk::F7);
    EXPECT_EQ(amb.getVolume(), 0);
    t.press(vk::F6);
    t.press(vk::F6);
    EXPECT_EQ(amb.getVolume(), -1000);
    t.press(vk::F5);
    EXPECT_EQ(amb.getVolume(), -9000);
    t.press(vk::F6);
    EXPECT_EQ(amb.getVolume(), -9000);
    t.press(vk::F7);
    EXPECT_EQ(amb.getVolume(), -8500);
    t.press(vk::F8);
    EXPECT_EQ(amb.getVolume(), 0);

    const auto at = s.mark();
    s.press(vk::F5);
    s.press(vk::F8);
    EXPECT_EQ(s.countPrefix("volume sounds/amb.wav", at), 0);
}

TEST_F(RaceKeys, TheSpokenReportsQueueTheirWordsAndNumbers) {
    s.form.restoreScore(1250, 4);
    s.form.race.levels = 3;
    auto at = s.mark();
    s.press(vk::Shift);
    s.runFor(3000);
    EXPECT_EQ(s.spoken(at), (std::vector<std::string>{"1", "thousand", "2", "hundred", "50", "speech/points"}));
    at = s.mark();
    s.press(vk::Enter);  // the status key
    s.runFor(3000);
    EXPECT_EQ(s.spoken(at), (std::vector<std::string>{"4", "speech/lifesr", "speech/level", "3"}));
    // Another report cuts the one being said.
    at = s.mark();
    s.press(vk::Shift);
    s.runFor(250);
    s.press(vk::Tab);
    s.runFor(3000);
    EXPECT_EQ(s.spoken(at), (std::vector<std::string>{"1", "thousand", "speech/level", "3"}));
}

}  // namespace
}  // namespace zorvan::test
