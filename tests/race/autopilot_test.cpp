// Whole games played by the autopilot, which hears the race only through the event log.

#include <gtest/gtest.h>

#include <string>

#include "race_scenario.h"
#include "support/autopilot.h"

namespace zorvan::test {
namespace {

struct Played {
    int topLevel = 0;
    bool endedByEscape = false;
    bool secondCarCame = false;
    int crashes = 0, extraLifes = 0;
};

// Plays from the difficulty menu to game over, or to `stopAtLevel` and then out through the
// exit prompt, checking the invariants of a running game after every message.
Played playByEar(RaceScenario& s, int stopAtLevel) {
    Played played;
    Autopilot pilot(s.platform.sim, {});
    std::size_t heard = s.mark();
    const std::int64_t limit = s.now() + 60LL * 60 * 1000;
    while (s.form.race.game && s.now() < limit) {
        s.runFor(1);
        pilot.step();
        for (const auto& e : s.events(heard)) {
            played.crashes += e.rfind("load sounds/misc/c_hit", 0) == 0;
            played.extraLifes += e == "play sounds/speech/extralife.wav once";
        }
        heard = s.mark();
        if (!s.form.race.game) break;
        // Points never negative; lifes add up: five, one less per crash heard, one more
        // per extra life announced.
        EXPECT_GE(s.form.race.points, 0);
        EXPECT_EQ(s.form.race.m_lifes, 5 - played.crashes + played.extraLifes);
        if (s.form.race.m_lifes != 5 - played.crashes + played.extraLifes || s.form.race.points < 0) break;
        played.topLevel = std::max(played.topLevel, s.form.race.levels);
        played.secondCarCame = played.secondCarCame || s.form.traffic.seccar.secondCarInProgress;
        // Out through the exit prompt while the race runs (not in a bonus round).
        if (s.form.race.levels >= stopAtLevel && s.form.tmrComp.enabled()) {
            s.pressAt(vk::Enter, s.now() + 300);
            s.press(vk::Escape);
            played.endedByEscape = true;
            break;
        }
    }
    s.runUntil([&] { return s.form.menus.mainMenuActive(); }, 120000);
    return played;
}

TEST(Autopilot, PlaysANormalArcadeGameByEarToLevelTwelveAndBeyond) {
    RaceScenario s(7);
    ASSERT_TRUE(s.startThroughMenus(2, 2, true)) << s.dump();
    ASSERT_EQ(s.form.mode, "arcade");
    ASSERT_EQ(s.form.menus.difficulty, "normal");
    const Played played = playByEar(s, 14);

    EXPECT_GE(played.topLevel, 12);
    EXPECT_TRUE(played.secondCarCame);
    ::testing::Test::RecordProperty("topLevel", played.topLevel);
    ::testing::Test::RecordProperty("crashes", played.crashes);
    ::testing::Test::RecordProperty("secondsPlayed", static_cast<int>(s.now() / 1000));
    EXPECT_FALSE(s.form.race.game);
    EXPECT_TRUE(s.form.menus.mainMenuActive());
    EXPECT_EQ(s.runningRaceTimers(), "");
    EXPECT_TRUE(s.form.sound.menu.music != nullptr);
    EXPECT_TRUE(s.form.sound.race.ambience == nullptr);
    const std::string stats = s.folder.read("stats.txt");
    EXPECT_EQ(stats.rfind("***Statistics for game played on ", 0), 0u);
    EXPECT_NE(stats.find("final level: " + std::to_string(s.form.race.levels) + "\r\n"), std::string::npos);
    // A crash that ends the game is judged before its car is counted, so the report leaves it out.
    const int reported = s.form.race.stats.carsAvoided - (s.form.race.endCause == "cars" ? 1 : 0);
    EXPECT_NE(stats.find("cars avoided: " + std::to_string(reported) + "\r\n"), std::string::npos);
    EXPECT_GT(s.form.race.stats.carsAvoided, 20);
    EXPECT_EQ(s.count("file stats.txt"), 1);
    EXPECT_EQ(s.count("file ls.dat"), 1);
}

TEST(Autopilot, GamesEndByHoleOrCrashesWithTheirRecords) {
    // Crazy and without the canon or dodging of holes it cannot last: every end is recorded.
    for (std::uint64_t seed : {3u, 11u}) {
        RaceScenario s(seed);
        ASSERT_TRUE(s.startThroughMenus(4, 3, true));
        const Played played = playByEar(s, 1000);
        EXPECT_FALSE(played.endedByEscape);
        EXPECT_TRUE(s.form.menus.mainMenuActive());
        EXPECT_TRUE(s.form.race.endCause == "cars" || s.form.race.endCause == "hole") << s.form.race.endCause;
        EXPECT_EQ(s.runningRaceTimers(), "");
        const std::string stats = s.folder.read("stats.txt");
        EXPECT_NE(stats.find(s.form.race.endCause == "cars" ? "you lost the game as a result of a crash"
                                                       : "you lost the game by falling into a hole"),
                  std::string::npos);
    }
}

}  // namespace
}  // namespace zorvan::test
