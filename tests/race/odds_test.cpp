// The stated odds of every random choice of the race, over many seeded draws of the real
// code paths.

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "race_scenario.h"

namespace zorvan::test {
namespace {

constexpr int kDraws = 30000;
constexpr double kTolerance = 0.01;  // absolute, on a share

template <typename Key>
void expectShares(const std::map<Key, int>& counts, const std::map<Key, double>& expected) {
    int total = 0;
    for (auto& [key, n] : counts) total += n;
    ASSERT_GT(total, 0);
    for (auto& [key, share] : expected) {
        const auto it = counts.find(key);
        const double got = it == counts.end() ? 0.0 : double(it->second) / total;
        EXPECT_NEAR(got, share, kTolerance) << "value " << key;
    }
    for (auto& [key, n] : counts) EXPECT_TRUE(expected.count(key)) << "unexpected value " << key;
}

class Odds : public ::testing::Test {
protected:
    void SetUp() override {
        s.start(2, "normal", "arcade");
        for (Timer* t : s.raceTimers()) t->setEnabled(false);
    }
    RaceScenario s{20260607};
};

TEST_F(Odds, RoadEvents) {
    std::map<std::string, int> counts;
    car& player = *s.form.player;
    for (int i = 0; i < kDraws; ++i) {
        const auto at = s.mark();
        player.randomizeSkid();
        std::string what = "nothing";
        if (s.form.tmrHole.enabled()) what = "hole";
        else if (s.form.tmrItem.enabled()) what = "item";
        else if (s.countPrefix("play sounds/misc/ssmall", at)) what = "small skid";
        else if (s.countPrefix("play sounds/misc/slarge", at)) what = "large skid";
        ++counts[what];
        s.form.tmrHole.setEnabled(false);
        s.form.tmrItem.setEnabled(false);
    }
    expectShares<std::string>(counts, {{"small skid", 0.1375}, {"large skid", 0.15}, {"hole", 0.15},
                                       {"item", 0.125}, {"nothing", 0.4375}});
}

TEST_F(Odds, Items) {
    std::map<std::string, int> counts;
    const char* names[] = {"enginrepare", "brakes", "extralife", "lazercanon", "thbonus", "tebonus"};
    for (int i = 0; i < kDraws; ++i) {
        const auto at = s.mark();
        s.form.player->randomizeItem();
        for (const char* name : names)
            if (s.has("play sounds/speech/" + std::string(name) + ".wav once", at)) ++counts[name];
    }
    expectShares<std::string>(counts, {{"enginrepare", 9 / 39.0}, {"brakes", 8 / 39.0}, {"extralife", 6 / 39.0},
                                       {"lazercanon", 4 / 39.0}, {"thbonus", 10 / 39.0}, {"tebonus", 2 / 39.0}});
}

TEST_F(Odds, ComputerCarLanesAndTypes) {
    std::map<int, int> lanes, types;
    for (int i = 0; i < kDraws; ++i) {
        s.form.traffic.compCars[0]->lonchcar();
        ++lanes[s.form.traffic.comp_position];
        ++types[s.form.traffic.carindex];
        s.form.traffic.compCars[0]->restoreComputerCar();
    }
    expectShares<int>(lanes, {{-3, 1 / 6.0}, {0, 1 / 2.0}, {3, 1 / 3.0}});
    expectShares<int>(types, {{1, 0.25}, {2, 0.25}, {3, 0.25}, {4, 0.25}});
}

TEST_F(Odds, SecondCarLanesAndTypes) {
    std::map<int, int> lanes, types;
    auto& second = s.form.traffic.seccar;
    for (int i = 0; i < kDraws; ++i) {
        second.launchSecondCar();
        ++lanes[second.current().lane];
        ++types[second.current().type];
        EXPECT_EQ(second.current().pan, second.current().lane * 1000);
        second.secondCarInProgress = false;
    }
    expectShares<int>(lanes, {{-3, 0.2}, {0, 0.4}, {3, 0.4}});
    expectShares<int>(types, {{1, 1 / 7.0}, {2, 2 / 7.0}, {3, 2 / 7.0}, {4, 2 / 7.0}});
}

TEST_F(Odds, HoleAndItemLanes) {
    std::map<int, int> holes, items;
    for (int i = 0; i < kDraws; ++i) {
        s.form.randomHole();
        ++holes[s.form.race.holeLane];
        s.platform.script = {uFor(32, 40)};  // an item; its lane comes from the generator
        s.form.player->randomizeSkid();
        ++items[s.form.race.itemposition];
    }
    expectShares<int>(holes, {{-3, 0.2}, {0, 0.4}, {3, 0.4}});
    expectShares<int>(items, {{-3, 0.2}, {0, 0.4}, {3, 0.4}});
}

TEST_F(Odds, CrashSoundsAndSkidDirections) {
    std::map<int, int> sounds, sides;
    car& player = *s.form.player;
    for (int i = 0; i < kDraws; ++i) {
        s.form.restoreScore(s.form.race.points, 100);
        player.position = 3;  // the crash's skid brings the car back to the centre, no draw
        const auto at = s.mark();
        s.form.crashIntoCar();
        for (int r = 1; r <= 4; ++r)
            if (s.has("load sounds/misc/c_hit" + std::to_string(r) + ".wav", at)) ++sounds[r];
        player.skid("small");  // from the centre: a side
        ++sides[player.position];
    }
    expectShares<int>(sounds, {{1, 1 / 7.0}, {2, 2 / 7.0}, {3, 2 / 7.0}, {4, 2 / 7.0}});
    expectShares<int>(sides, {{-3, 1 / 3.0}, {3, 2 / 3.0}});
}

}  // namespace
}  // namespace zorvan::test
