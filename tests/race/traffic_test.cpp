// Computer cars: launch, approach, arrival, fade, the second car and the lazer.

#include <gtest/gtest.h>

#include "race_scenario.h"

namespace zorvan::test {
namespace {

// Scripts the next launch of the first car: lane (-3, 0, 3) and type (1..4).
void scriptFirstCar(RaceScenario& s, int lane, int type) {
    s.platform.script.push_back(uFor(lane == -3 ? 1 : lane == 0 ? 2 : 3, 3));
    s.platform.script.push_back(uFor(type, 4));
}

// Scripts the next second car: type (1..4) and lane.
void scriptSecondCar(RaceScenario& s, int type, int lane) {
    s.platform.script.push_back(uFor(type, 4));
    s.platform.script.push_back(uFor(lane == -3 ? 1 : lane == 0 ? 2 : 3, 3));
}

// No first car on the road and none launched: the second car's draws are its own.
void clearRoad(RaceScenario& s) {
    s.form.tmrComp.setEnabled(false);
    s.form.tmrRace.setEnabled(false);
    s.form.tmrWoosh.setEnabled(false);
    for (auto& c : s.form.traffic.compCars) c->restoreComputerCar();
    s.form.traffic.comp_passed = false;
}

bool secondLoopPlayed(RaceScenario& s) {
    for (int type = 1; type <= 4; ++type)
        for (auto& e : s.eventsOf(s.secondEngine(type)))
            if (e.rfind("play ", 0) == 0) return true;
    return false;
}

class TrafficTest : public ::testing::Test {
protected:
    void SetUp() override {
        s.start(2, "normal", "arcade");
        s.form.tmrAccelerate.setEnabled(false);  // no road events in the way
    }
    RaceScenario s;
};

TEST_F(TrafficTest, ApproachTakesSeventeenTicksAndFadeEleven) {
    int raceTicks = 0, wooshTicks = 0;
    s.form.tmrRace.setHandler([&] { ++raceTicks; s.form.traffic.tmrRace_Timer(); });
    s.form.tmrWoosh.setHandler([&] { ++wooshTicks; s.form.traffic.tmrWoosh_Timer(); });
    scriptFirstCar(s, 3, 3);
    ASSERT_TRUE(s.runUntil([&] { return s.form.traffic.inprog; }));
    SoundBuffer& engine = s.compEngine(3);
    EXPECT_EQ(engine.getPan(), 9000);
    EXPECT_EQ(engine.getVolume(), -5000);

    ASSERT_TRUE(s.runUntil([&] { return raceTicks == 16; }));
    EXPECT_EQ(engine.getVolume(), -200);
    EXPECT_TRUE(s.form.tmrRace.enabled());
    EXPECT_EQ(s.form.race.stats.carsAvoided, 0);

    ASSERT_TRUE(s.runUntil([&] { return raceTicks == 17; }));
    EXPECT_FALSE(s.form.tmrRace.enabled());
    EXPECT_TRUE(s.form.tmrWoosh.enabled());
    EXPECT_EQ(s.form.race.stats.carsAvoided, 1);
    EXPECT_EQ(s.form.race.points, 10);

    ASSERT_TRUE(s.runUntil([&] { return wooshTicks == 10; }));
    EXPECT_EQ(engine.getVolume(), -5200);
    EXPECT_TRUE(s.form.traffic.inprog);
    EXPECT_TRUE(s.form.traffic.comp_passed);
    ASSERT_TRUE(s.runUntil([&] { return wooshTicks == 11; }));
    EXPECT_EQ(engine.getVolume(), -5000);
    EXPECT_FALSE(s.looping(engine));
    EXPECT_FALSE(s.form.traffic.inprog);
    EXPECT_FALSE(s.form.traffic.comp_passed);
    EXPECT_FALSE(s.form.tmrWoosh.enabled());
    EXPECT_EQ(raceTicks, 17);
}

TEST_F(TrafficTest, ACrashCostsALifeAndFiftyPointsNeverBelowZeroAndCountsAsAvoided) {
    s.form.restoreScore(30, s.form.race.m_lifes);
    scriptFirstCar(s, 0, 2);
    ASSERT_TRUE(s.runUntil([&] { return s.form.traffic.inprog; }));
    const auto at = s.mark();
    ASSERT_TRUE(s.runUntil([&] { return s.form.tmrWoosh.enabled(); }));
    EXPECT_EQ(s.form.race.m_lifes, 4);
    EXPECT_EQ(s.form.race.points, 0);
    EXPECT_EQ(s.form.race.stats.carsAvoided, 1);
    EXPECT_EQ(s.countPrefix("load sounds/misc/c_hit", at), 1);
    // The small skid of the crash throws the car out of the centre lane.
    EXPECT_NE(s.form.player->position, 0);
    // The car that hit still fades away.
    ASSERT_TRUE(s.runUntil([&] { return !s.form.traffic.inprog; }));
    EXPECT_TRUE(s.form.race.game);
}

TEST_F(TrafficTest, ACarIsJudgedByTheLanesAtItsArrivalTick) {
    s.press(vk::Up);  // start the car
    scriptFirstCar(s, -3, 1);
    ASSERT_TRUE(s.runUntil([&] { return s.form.traffic.inprog; }));
    s.press(vk::Left);
    ASSERT_EQ(s.form.player->position, -3);
    ASSERT_TRUE(s.runUntil([&] { return s.compEngine(1).getVolume() == -200; }));
    s.press(vk::Right);  // out of the lane just before the arrival tick
    ASSERT_TRUE(s.runUntil([&] { return s.form.tmrWoosh.enabled(); }));
    EXPECT_EQ(s.form.race.m_lifes, 5);
    EXPECT_EQ(s.form.race.points, 10);
}

TEST_F(TrafficTest, CarsStandStillWhileTheGameFlagIsClear) {
    scriptFirstCar(s, 3, 4);
    ASSERT_TRUE(s.runUntil([&] { return s.form.traffic.inprog; }));
    s.runFor(900);
    const std::int32_t volume = s.compEngine(4).getVolume();
    s.form.race.game = false;
    s.form.traffic.tmrRace_Timer();
    s.form.traffic.tmrWoosh_Timer();
    EXPECT_EQ(s.compEngine(4).getVolume(), volume);
    s.form.race.game = true;
}

TEST_F(TrafficTest, TheSecondCarComesFromLevelSixOnNormal) {
    clearRoad(s);
    for (int level = 2; level <= 5; ++level) s.form.levelup(false);
    EXPECT_EQ(s.form.race.secondSpeed, 300);
    s.runFor(10000);
    EXPECT_EQ(s.form.traffic.seccar.secondCarIndex, 0);
    EXPECT_FALSE(s.form.tmrScomp.enabled());
    EXPECT_FALSE(secondLoopPlayed(s));

    s.form.levelup(false);  // level 6
    ASSERT_EQ(s.form.race.levels, 6);
    EXPECT_EQ(s.form.race.secondSpeed, 260);
    EXPECT_EQ(s.form.tmrSrace.interval(), 260);
    EXPECT_TRUE(s.form.tmrScomp.enabled());
    scriptSecondCar(s, 3, -3);
    ASSERT_TRUE(s.runUntil([&] { return s.form.traffic.seccar.secondCarInProgress; }, 1100));
    EXPECT_EQ(s.form.traffic.seccar.secondCarIndex, 1);
    EXPECT_EQ(s.form.traffic.seccar.current().lane, -3);
    EXPECT_EQ(s.secondEngine(3).getPan(), -3000);  // a side lane only at 3000
    ASSERT_TRUE(s.runUntil([&] { return s.form.traffic.seccar.secondCarPassing; }));
    EXPECT_EQ(s.form.race.stats.carsAvoided, 1);
    EXPECT_EQ(s.form.race.points, 20 * (2 + 3 + 4 + 5 + 6) + 10);
    ASSERT_TRUE(s.runUntil([&] { return !s.form.traffic.seccar.secondCarInProgress; }));
    EXPECT_FALSE(s.looping(s.secondEngine(3)));
    EXPECT_EQ(s.secondEngine(3).getVolume(), -5000);
}

TEST(SecondCarEasy, NeverComesOnEasyWhateverTheLevel) {
    RaceScenario s;
    s.start(2, "easy", "arcade");
    s.form.tmrAccelerate.setEnabled(false);
    clearRoad(s);
    for (int level = 2; level <= 8; ++level) s.form.levelup(false);
    EXPECT_TRUE(s.form.tmrScomp.enabled());  // the launcher ticks, and does nothing
    s.runFor(30000);
    EXPECT_FALSE(s.form.traffic.seccar.secondCarInProgress);
    EXPECT_EQ(s.form.traffic.seccar.secondCarIndex, 0);
    EXPECT_FALSE(s.form.tmrSrace.enabled());
    EXPECT_FALSE(secondLoopPlayed(s));
}

TEST_F(TrafficTest, OneLazerShotDestroysBothCarsInThePlayersLane) {
    clearRoad(s);
    for (int level = 2; level <= 6; ++level) s.form.levelup(false);
    s.form.tmrScomp.setEnabled(false);
    auto& inv = *s.form.player->inventory;
    inv.addItem("lazer", 5);
    s.press(vk::PageDown);  // the lazer canon
    scriptFirstCar(s, 0, 2);
    s.form.traffic.tmrComp_Timer();
    scriptSecondCar(s, 4, 0);
    s.form.traffic.seccar.tmrScomp_Timer();
    ASSERT_TRUE(s.form.traffic.inprog);
    ASSERT_TRUE(s.form.traffic.seccar.secondCarInProgress);
    s.runFor(300);
    ASSERT_FALSE(s.form.traffic.comp_passed);
    ASSERT_FALSE(s.form.traffic.seccar.secondCarPassing);

    const auto at = s.mark();
    s.press(vk::Ctrl);
    EXPECT_EQ(s.form.race.stats.carsBlasted, 2);
    EXPECT_EQ(s.form.race.stats.lazerUsed, 1);
    EXPECT_EQ(inv.lazerRounds(), 4);
    EXPECT_FALSE(s.form.traffic.inprog);
    EXPECT_FALSE(s.form.traffic.seccar.secondCarInProgress);
    EXPECT_EQ(s.count("play sounds/car/carexplode.wav once", at), 2);
    for (int type = 1; type <= 4; ++type) {
        EXPECT_EQ(s.compEngine(type).getVolume(), -5000);
        EXPECT_EQ(s.secondEngine(type).getVolume(), -5000);
        EXPECT_FALSE(s.looping(s.compEngine(type)));
        EXPECT_FALSE(s.looping(s.secondEngine(type)));
    }
    EXPECT_EQ(s.form.race.m_lifes, 5);
    // The next car starts again from afar.
    s.form.tmrComp.setEnabled(true);
    ASSERT_TRUE(s.runUntil([&] { return s.form.traffic.inprog; }, 2000));
    EXPECT_EQ(s.compEngine(s.form.traffic.carindex).getVolume(), -5000);
}

TEST_F(TrafficTest, TheLazerLeavesACarThatAlreadyArrived) {
    s.form.player->inventory->addItem("lazer", 5);
    s.press(vk::PageDown);
    scriptFirstCar(s, 3, 1);
    ASSERT_TRUE(s.runUntil([&] { return s.form.traffic.comp_passed; }));
    s.press(vk::Up);
    s.press(vk::Right);
    s.press(vk::Ctrl);
    EXPECT_EQ(s.form.race.stats.carsBlasted, 0);
    EXPECT_TRUE(s.form.traffic.inprog);
    EXPECT_EQ(s.form.player->inventory->lazerRounds(), 4);  // the shot is spent all the same
}

TEST_F(TrafficTest, APauseDuringTheFadeFinishesTheFadeAndTheCarArrivesOnce) {
    scriptFirstCar(s, 3, 2);
    ASSERT_TRUE(s.runUntil([&] { return s.form.traffic.comp_passed; }));
    s.runFor(1000);
    ASSERT_TRUE(s.form.traffic.comp_passed);
    s.press(vk::letter('p'));
    EXPECT_FALSE(s.form.tmrWoosh.enabled());
    s.runFor(5000);
    s.press(vk::letter('p'));
    EXPECT_TRUE(s.form.tmrWoosh.enabled());
    EXPECT_FALSE(s.form.tmrRace.enabled());
    EXPECT_TRUE(s.looping(s.compEngine(2)));
    ASSERT_TRUE(s.runUntil([&] { return !s.form.traffic.inprog; }));
    EXPECT_EQ(s.form.race.stats.carsAvoided, 1);
    EXPECT_EQ(s.form.race.points, 10);
}

TEST_F(TrafficTest, APauseDuringTheSecondCarsFadeFinishesItToo) {
    clearRoad(s);
    for (int level = 2; level <= 6; ++level) s.form.levelup(false);
    scriptSecondCar(s, 2, 3);
    ASSERT_TRUE(s.runUntil([&] { return s.form.traffic.seccar.secondCarPassing; }));
    s.press(vk::letter('p'));
    s.press(vk::letter('p'));
    EXPECT_TRUE(s.form.tmrSwoosh.enabled());
    EXPECT_FALSE(s.form.tmrSrace.enabled());
    EXPECT_TRUE(s.looping(s.secondEngine(2)));
    ASSERT_TRUE(s.runUntil([&] { return !s.form.traffic.seccar.secondCarInProgress; }));
    EXPECT_EQ(s.form.race.stats.carsAvoided, 1);
}

TEST_F(TrafficTest, APauseDuringTheApproachContinuesItFromTheSameVolume) {
    scriptFirstCar(s, -3, 1);
    ASSERT_TRUE(s.runUntil([&] { return s.compEngine(1).getVolume() == -3200; }));
    s.press(vk::letter('p'));
    EXPECT_FALSE(s.looping(s.compEngine(1)));
    s.runFor(3000);
    s.press(vk::letter('p'));
    EXPECT_EQ(s.compEngine(1).getVolume(), -3200);
    EXPECT_TRUE(s.form.tmrRace.enabled());
}

}  // namespace
}  // namespace zorvan::test
