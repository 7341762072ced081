// The player car and its inventory: skids, engine failures and repairs, brakes, items,
// the inventory keys and the spoken inventory.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "race_scenario.h"
#include "records/cipher.h"

namespace zorvan::test {
namespace {

class CarTest : public ::testing::Test {
protected:
    void begin(int carType, const std::string& mode = "arcade", const std::string& difficulty = "normal") {
        s.start(carType, difficulty, mode);
        s.form.tmrAccelerate.setEnabled(false);
        s.form.tmrComp.setEnabled(false);
    }
    car& player() { return *s.form.player; }
    Inventory& inv() { return *s.form.player->inventory; }
    RaceScenario s;
};

TEST_F(CarTest, RoadEventsRunOnlyForTheCarTypesThatHaveThem) {
    const int expected[] = {0, 0, 5000, 12000, 10000};
    for (int type = 1; type <= 4; ++type) {
        RaceScenario r;
        r.start(type, "normal", "arcade");
        EXPECT_EQ(r.form.race.skidding, type != 1) << type;
        EXPECT_EQ(r.form.tmrAccelerate.enabled(), type != 1) << type;
        if (type != 1) {
            EXPECT_EQ(r.form.tmrAccelerate.interval(), expected[type]) << type;
        }
    }
}

TEST_F(CarTest, TheTetrissThemeHasNoSkidsItemsHolesOrEngineFailures) {
    begin(4, "tetriss");
    player().position = 3;
    s.form.restoreScore(s.form.race.points, 1);
    const long draws = s.platform.draws;
    for (int i = 0; i < 300; ++i) player().randomizeSkid();
    player().skid("large");
    player().skid("small");
    player().checkEnjen();
    EXPECT_EQ(s.platform.draws, draws);
    EXPECT_EQ(player().position, 3);
    EXPECT_EQ(player().engineDamage, 0);
    EXPECT_FALSE(s.form.tmrHole.enabled());
    EXPECT_FALSE(s.form.tmrItem.enabled());
    // The inventory keys are inert too.
    inv().addItem("lazer", 5);
    const auto at = s.mark();
    for (int key : {vk::PageDown, vk::Ctrl, vk::letter('i')}) s.press(key);
    EXPECT_EQ(inv().inventoryIndex(), 0);
    EXPECT_EQ(s.countPrefix("load", at), 0);
}

TEST_F(CarTest, SkidsMoveTheCarAndPanItsEngineByAThousand) {
    begin(2);
    s.press(vk::Up);
    s.press(vk::Right);
    player().skid("small");  // a side lane slides back to the centre
    EXPECT_EQ(player().position, 0);
    EXPECT_EQ(s.playerEngine().getPan(), 0);
    s.platform.script = {uFor(2, 2), uFor(1, 2)};
    player().skid("small");  // from the centre: to the right, with "ssmall1"
    EXPECT_EQ(player().position, 3);
    EXPECT_EQ(s.playerEngine().getPan(), 3000);
    EXPECT_TRUE(s.has("play sounds/misc/ssmall1.wav once"));
    player().skid("large");  // thrown across
    EXPECT_EQ(player().position, -3);
    EXPECT_EQ(s.playerEngine().getPan(), -3000);
    s.press(vk::Right);  // steering puts the engine back to 9000 steps
    EXPECT_EQ(s.playerEngine().getPan(), 0);
    const auto at = s.mark();
    player().skid("large");  // in the centre: stays, but is heard
    EXPECT_EQ(player().position, 0);
    EXPECT_EQ(s.countPrefix("play sounds/misc/slarge", at), 1);
}

TEST_F(CarTest, EngineFailuresDependOnTheCarTypeAndTheLifesLeft) {
    // Lifes left after the crash -> failure expected, for each type.
    struct Case {
        int type, lifes;
        bool fails;
    };
    for (Case c : {Case{1, 2, false}, Case{1, 1, true}, Case{2, 1, false}, Case{3, 3, false},
                   Case{3, 2, true}, Case{4, 1, true}}) {
        RaceScenario r;
        r.start(c.type, "normal", "arcade");
        r.form.restoreScore(r.form.race.points, static_cast<std::int16_t>(c.lifes));
        r.form.player->checkEnjen();
        EXPECT_EQ(r.form.player->engineDamage, c.fails ? 1 : 0) << c.type << " " << c.lifes;
    }
}

TEST_F(CarTest, FailuresSlowTheCarAndLowerTheDamagedLoopWithinAudibleBounds) {
    begin(4);
    s.press(vk::Up);
    SoundBuffer& bad = *s.form.sound.race.badEngine;
    const int rate = bad.getFrequency();
    s.form.restoreScore(s.form.race.points, 1);
    player().checkEnjen();
    EXPECT_TRUE(s.looping(bad));
    EXPECT_EQ(bad.getFrequency(), rate - 5000);
    player().checkEnjen();
    EXPECT_NEAR(s.form.race.m_speed, 1.1f, 1e-4);
    for (int i = 0; i < 10; ++i) player().checkEnjen();
    EXPECT_EQ(s.form.race.m_speed, 0.5f);
    EXPECT_EQ(player().engineDamage, 12);
    EXPECT_EQ(bad.getFrequency(), std::max(100, rate / car::kBadEngineFloorDivisor));
    // Repairs undo the failures one at a time and silence the loop with the last one.
    inv().addItem("er", 12);
    s.press(vk::PageDown);
    s.press(vk::PageDown);
    s.press(vk::PageDown);
    for (int i = 0; i < 11; ++i) s.press(vk::Ctrl);
    EXPECT_EQ(player().engineDamage, 1);
    EXPECT_EQ(bad.getFrequency(), std::max(std::max(100, rate / car::kBadEngineFloorDivisor), rate - 5000));
    EXPECT_TRUE(s.looping(bad));
    s.press(vk::Ctrl);
    EXPECT_EQ(player().engineDamage, 0);
    EXPECT_EQ(bad.getFrequency(), rate);
    EXPECT_FALSE(s.looping(bad));
    EXPECT_EQ(s.form.race.stats.repairsUsed, 12);
    EXPECT_EQ(s.count("play sounds/eger.wav once"), 12);
}

TEST_F(CarTest, ARepairWithAHealthyEngineIsKeptAndSilent) {
    begin(3);
    inv().addItem("er", 1);
    for (int i = 0; i < 3; ++i) s.press(vk::PageDown);
    const auto at = s.mark();
    s.press(vk::Ctrl);
    EXPECT_EQ(inv().enginRepare(), 1);
    EXPECT_EQ(s.form.race.stats.repairsUsed, 0);
    EXPECT_EQ(s.countPrefix("load", at), 0);
}

TEST_F(CarTest, BrakesAbsorbFiveSkidsAndThenFallSilent) {
    begin(2);
    s.press(vk::Up);
    s.press(vk::Left);
    inv().addItem("brakes", 1);
    s.press(vk::PageDown);
    s.press(vk::PageDown);
    s.press(vk::Ctrl);
    SoundBuffer& brakes = *s.form.sound.race.brakesOn;
    EXPECT_EQ(player().brakeCharges, 5);
    EXPECT_TRUE(s.looping(brakes));
    EXPECT_EQ(brakes.getPan(), -3000);
    EXPECT_EQ(inv().brakes(), 0);
    EXPECT_EQ(s.form.race.stats.brakesUsed, 1);
    for (int i = 0; i < 4; ++i) player().skid(i % 2 ? "small" : "large");
    EXPECT_TRUE(s.looping(brakes));
    const auto at = s.mark();
    player().skid("large");
    EXPECT_FALSE(s.looping(brakes));
    EXPECT_EQ(player().position, -3);
    EXPECT_EQ(s.countPrefix("play sounds/misc/", at), 0);
    player().skid("large");
    EXPECT_EQ(player().position, 3);
    // Using brakes that are not held answers with "err" only.
    const auto err = s.mark();
    s.press(vk::Ctrl);
    EXPECT_TRUE(s.has("play sounds/err.wav once", err));
    EXPECT_EQ(player().brakeCharges, 0);
}

// The engine, the damaged engine and the brakes loops all move with the car when it
// changes lanes, either way, and come back where the car is after a pause.
TEST_F(CarTest, EveryLoopOfTheCarFollowsItAcrossTheLanes) {
    begin(4);
    s.press(vk::Up);
    s.form.restoreScore(s.form.race.points, 1);
    player().checkEnjen();
    inv().addItem("brakes", 1);
    s.press(vk::PageDown);
    s.press(vk::PageDown);
    s.press(vk::Ctrl);
    SoundBuffer& engine = s.playerEngine();
    SoundBuffer& bad = *s.form.sound.race.badEngine;
    SoundBuffer& brakes = *s.form.sound.race.brakesOn;
    ASSERT_TRUE(s.looping(bad));
    ASSERT_TRUE(s.looping(brakes));
    auto expectPans = [&](int lane) {
        EXPECT_EQ(player().position, lane);
        EXPECT_EQ(engine.getPan(), lane * 3000);
        EXPECT_EQ(bad.getPan(), lane * 1000);
        EXPECT_EQ(brakes.getPan(), lane * 1000);
    };
    expectPans(0);
    s.press(vk::Left);
    expectPans(-3);
    s.press(vk::Right);
    expectPans(0);
    s.press(vk::Right);
    expectPans(3);
    s.press(vk::letter('p'));
    s.press(vk::letter('p'));
    expectPans(3);
    EXPECT_TRUE(s.looping(bad));
    EXPECT_TRUE(s.looping(brakes));
    s.press(vk::Left);
    expectPans(0);
}

TEST_F(CarTest, TheInventoryKeysSelectAndStopSilentlyAtTheEnds) {
    begin(2);
    auto at = s.mark();
    s.press(vk::PageUp);  // before any selection
    EXPECT_EQ(inv().inventoryIndex(), 0);
    EXPECT_EQ(s.countPrefix("load", at), 0);
    s.press(vk::PageDown);
    s.press(vk::PageDown);
    s.press(vk::PageDown);
    s.press(vk::PageDown);
    EXPECT_EQ(inv().inventoryIndex(), 3);
    EXPECT_EQ(s.count("load sounds/inv1.wav", at) + s.count("load sounds/inv2.wav", at) +
                  s.count("load sounds/inv3.wav", at),
              3);
    s.press(vk::PageUp);
    s.press(vk::PageUp);
    at = s.mark();
    s.press(vk::PageUp);  // at the lazer canon already
    EXPECT_EQ(inv().inventoryIndex(), 1);
    EXPECT_EQ(s.countPrefix("load", at), 0);
}

TEST_F(CarTest, TheInventoryIsSpokenLazerBrakesRepairsSkippingWhatIsNotHeld) {
    begin(2);
    auto at = s.mark();
    s.press(vk::letter('i'));
    s.runFor(500);
    EXPECT_TRUE(s.has("play sounds/err.wav once", at));
    EXPECT_TRUE(s.spoken(at).empty());
    inv().addItem("lazer", 5);
    inv().addItem("er", 1);
    at = s.mark();
    s.press(vk::letter('i'));
    s.runFor(2000);
    EXPECT_EQ(s.spoken(at), (std::vector<std::string>{"5", "inv1", "1", "inv3"}));
}

TEST_F(CarTest, TheInventoryStringIsTheEncipheredCounts) {
    begin(2);
    EXPECT_EQ(player().getInventoryList(), encryptString("0_0_0", "4718250"));
    player().addItemToInventory("lazer", 5);
    player().addItemToInventory("er", 2);
    player().addItemToInventory("nitro", 9);
    EXPECT_EQ(decryptString(player().getInventoryList(), "4718250"), "5_0_2");
    EXPECT_EQ(s.form.race.stats.lazerCollected, 5);
    EXPECT_EQ(s.form.race.stats.repairsCollected, 2);
    inv().subtractItem("brakes");
    EXPECT_EQ(inv().brakes(), 0);
}

TEST_F(CarTest, AnItemInThePlayersLaneIsCollectedAndOneElsewhereMissed) {
    begin(2);
    s.press(vk::Up);
    // Draw 33 of 41 puts an item on the road, lane right.
    s.platform.script = {uFor(33, 40), uFor(3, 3)};
    s.form.player->randomizeSkid();
    EXPECT_EQ(s.form.race.itemposition, 3);
    EXPECT_EQ(s.form.tmrItem.interval(), 2500);
    EXPECT_TRUE(s.has("pan sounds/itemon.wav 3000"));
    s.runFor(2600);
    EXPECT_TRUE(s.has("play sounds/itemoff.wav once"));
    EXPECT_EQ(s.form.sound.race.itemOff->getPan(), 3000);

    // The next one in the player's lane: r = 20 of 20 is ten thousand points.
    s.platform.script = {uFor(33, 40), uFor(2, 3), uFor(20, 20)};
    s.form.player->randomizeSkid();
    const std::int32_t points = s.form.race.points;
    s.runFor(2600);
    EXPECT_EQ(s.form.race.points, points + 10000);
    EXPECT_TRUE(s.has("play sounds/speech/tebonus.wav once"));
    EXPECT_FALSE(s.form.tmrItem.enabled());
}

TEST_F(CarTest, ResetCentresTheCarButLeavesItsEngineRunning) {
    begin(3);
    s.press(vk::Up);
    s.press(vk::Left);
    inv().addItem("brakes", 2);
    s.press(vk::PageDown);
    s.press(vk::PageDown);
    player().reset();
    EXPECT_EQ(player().position, 0);
    EXPECT_EQ(s.playerEngine().getPan(), 0);
    EXPECT_TRUE(s.looping(s.playerEngine()));
    EXPECT_EQ(inv().brakes(), 0);
    EXPECT_EQ(inv().inventoryIndex(), 2);
}

TEST_F(CarTest, LeavingTheGameWhileARepairIsSaidLeavesNothingBehind) {
    begin(3);
    s.press(vk::Up);
    s.form.restoreScore(s.form.race.points, 2);
    player().checkEnjen();
    inv().addItem("er", 1);
    for (int i = 0; i < 3; ++i) s.press(vk::PageDown);
    // "eger" lasts 300 ms: the exit prompt comes and is answered while it is said.
    s.pressAt(vk::Escape, s.now() + 100);
    s.pressAt(vk::Enter, s.now() + 200);
    s.press(vk::Ctrl);
    EXPECT_FALSE(s.form.race.game);
    EXPECT_EQ(s.form.player, nullptr);
    EXPECT_TRUE(s.form.menus.mainMenuActive());
    EXPECT_EQ(s.form.race.endCause, "escape");
    EXPECT_EQ(s.count("play sounds/bad_enjen.wav loop"), 1);  // only the failure's
}

TEST_F(CarTest, LeavingTheGameWhileTheLazerHitsLeavesNothingBehind) {
    begin(2);
    inv().addItem("lazer", 5);
    s.press(vk::PageDown);
    s.platform.script = {uFor(2, 3), uFor(1, 4)};
    s.form.traffic.tmrComp_Timer();
    s.pressAt(vk::Escape, s.now() + 50);  // during the wait before the explosion
    s.pressAt(vk::Enter, s.now() + 120);
    s.press(vk::Ctrl);
    EXPECT_FALSE(s.form.race.game);
    EXPECT_EQ(s.form.race.stats.carsBlasted, 1);
    EXPECT_EQ(s.count("play sounds/car/carexplode.wav once"), 0);
    EXPECT_TRUE(s.form.menus.mainMenuActive());
}

TEST_F(CarTest, WaitLetsTicksRunForTheRequestedTime) {
    begin(2);
    int ticks = 0;
    s.form.tmrComp.setHandler([&] { ++ticks; });
    s.form.tmrComp.setEnabled(true);
    const std::int64_t before = s.now();
    player().wait(1.5);
    EXPECT_GE(s.now() - before, 1500);
    EXPECT_LE(s.now() - before, 1510);
    EXPECT_EQ(ticks, 1);
}

}  // namespace
}  // namespace zorvan::test
