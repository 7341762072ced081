// The two computer cars share one approach-and-fade step: tick by tick the same volumes,
// each car at its own place in the stereo field and with its own timers, flags and pass
// sound. And the points and lifes of the race change only through the rules.

#include <gtest/gtest.h>

#include <limits>
#include <type_traits>
#include <utility>

#include "race/race_state.h"
#include "race_scenario.h"

namespace zorvan::test {
namespace {

// Readable as numbers everywhere; assignable from the rules alone.
using Points = RuledCounter<std::int32_t>;
using Lifes = RuledCounter<std::int16_t>;
static_assert(std::is_convertible_v<const Points&, std::int32_t>);
static_assert(std::is_convertible_v<const Lifes&, std::int16_t>);
static_assert(!std::is_assignable_v<decltype((std::declval<RaceState&>().points)), std::int32_t>);
static_assert(!std::is_assignable_v<decltype((std::declval<RaceState&>().m_lifes)), std::int16_t>);
static_assert(!std::is_assignable_v<Points&, const Points&>);
static_assert(!std::is_assignable_v<Lifes&, const Lifes&>);
template <typename State>
constexpr bool pointsIncrementable = requires(State& s) { ++s.points; };
template <typename State>
constexpr bool lifesSubtractable = requires(State& s) { s.m_lifes -= 1; };
static_assert(!pointsIncrementable<RaceState> && !lifesSubtractable<RaceState>);
// Nor by replacing the whole state.
static_assert(!std::is_copy_assignable_v<RaceState> && !std::is_move_assignable_v<RaceState>);

// One of the two cars as a test drives it: launch it, tick it, look at it.
struct CarUnderTest {
    const char* name;
    int panPerLane;
    std::function<void(RaceScenario&, int lane, int type)> launch;
    std::function<void(RaceScenario&)> approachTick, fadeTick;
    std::function<Timer&(RaceScenario&)> approachTimer, fadeTimer;
    std::function<SoundBuffer&(RaceScenario&, int type)> engine;
    std::function<bool(RaceScenario&)> onRoad, passing;
};

std::vector<CarUnderTest> bothCars() {
    CarUnderTest first{
        "first car", 3000,
        [](RaceScenario& s, int lane, int type) {
            s.platform.script = {uFor(lane == -3 ? 1 : lane == 0 ? 2 : 3, 3), uFor(type, 4)};
            s.form.traffic.tmrComp_Timer();
        },
        [](RaceScenario& s) { s.form.traffic.tmrRace_Timer(); },
        [](RaceScenario& s) { s.form.traffic.tmrWoosh_Timer(); },
        [](RaceScenario& s) -> Timer& { return s.form.tmrRace; },
        [](RaceScenario& s) -> Timer& { return s.form.tmrWoosh; },
        [](RaceScenario& s, int type) -> SoundBuffer& { return s.compEngine(type); },
        [](RaceScenario& s) { return s.form.traffic.inprog; },
        [](RaceScenario& s) { return s.form.traffic.comp_passed; }};
    CarUnderTest second{
        "second car", 1000,
        [](RaceScenario& s, int lane, int type) {
            s.platform.script = {uFor(type, 4), uFor(lane == -3 ? 1 : lane == 0 ? 2 : 3, 3)};
            s.form.traffic.seccar.tmrScomp_Timer();
        },
        [](RaceScenario& s) { s.form.traffic.seccar.tmrSrace_Timer(); },
        [](RaceScenario& s) { s.form.traffic.seccar.tmrSwoosh_Timer(); },
        [](RaceScenario& s) -> Timer& { return s.form.tmrSrace; },
        [](RaceScenario& s) -> Timer& { return s.form.tmrSwoosh; },
        [](RaceScenario& s, int type) -> SoundBuffer& { return s.secondEngine(type); },
        [](RaceScenario& s) { return s.form.traffic.seccar.secondCarInProgress; },
        [](RaceScenario& s) { return s.form.traffic.seccar.secondCarPassing; }};
    return {first, second};
}

// A race with nothing launched by itself: the test ticks the cars by hand.
void startQuietRace(RaceScenario& s, const std::string& mode) {
    s.start(2, "normal", mode);
    for (Timer* t : {&s.form.tmrAccelerate, &s.form.tmrComp, &s.form.tmrScomp}) t->setEnabled(false);
}

TEST(SharedStep, BothCarsComeCloserAndFadeByTheSameVolumesEachAtItsOwnPan) {
    for (const CarUnderTest& c : bothCars()) {
        for (int lane : {-3, 0, 3}) {
            SCOPED_TRACE(std::string(c.name) + " in lane " + std::to_string(lane));
            RaceScenario s;
            startQuietRace(s, "arcade");
            const int type = lane == 0 ? 2 : lane == 3 ? 4 : 1;
            c.launch(s, lane, type);
            SoundBuffer& engine = c.engine(s, type);
            ASSERT_TRUE(c.onRoad(s));
            EXPECT_EQ(engine.getPan(), lane * c.panPerLane);
            EXPECT_EQ(engine.getVolume(), -5000);

            for (int tick = 1; tick <= 16; ++tick) {
                c.approachTick(s);
                ASSERT_EQ(engine.getVolume(), -5000 + 300 * tick) << "approach tick " << tick;
                ASSERT_TRUE(s.looping(engine));
                ASSERT_TRUE(c.approachTimer(s).enabled());
            }
            const std::int16_t lifes = s.form.race.m_lifes;
            const std::int32_t points = s.form.race.points;
            c.approachTick(s);  // arrival, judged with the player in the centre lane
            EXPECT_EQ(engine.getVolume(), -200);
            EXPECT_FALSE(c.approachTimer(s).enabled());
            EXPECT_TRUE(c.fadeTimer(s).enabled());
            EXPECT_EQ(s.form.race.stats.carsAvoided, 1);
            if (lane == 0) {
                EXPECT_EQ(s.form.race.m_lifes, lifes - 1);
            } else {
                EXPECT_EQ(s.form.race.m_lifes, lifes);
                EXPECT_EQ(s.form.race.points, points + 10);
            }

            for (int tick = 1; tick <= 10; ++tick) {
                c.fadeTick(s);
                ASSERT_EQ(engine.getVolume(), -200 - 500 * tick) << "fade tick " << tick;
                ASSERT_TRUE(c.passing(s));
                ASSERT_TRUE(c.onRoad(s));
            }
            c.fadeTick(s);
            EXPECT_EQ(engine.getVolume(), -5000);
            EXPECT_FALSE(s.looping(engine));
            EXPECT_FALSE(c.onRoad(s));
            EXPECT_FALSE(c.passing(s));
            EXPECT_FALSE(c.fadeTimer(s).enabled());
            EXPECT_EQ(engine.getPan(), lane * c.panPerLane);  // the step never moves a car
        }
    }
}

TEST(SharedStep, TwoCarsFadingTogetherEachPlayTheirOwnPassSoundOnce) {
    RaceScenario s;
    startQuietRace(s, "tetriss");
    const auto cars = bothCars();
    cars[0].launch(s, -3, 1);
    cars[1].launch(s, 3, 2);
    for (int tick = 0; tick < 17; ++tick)
        for (const auto& c : cars) c.approachTick(s);
    const auto at = s.mark();
    for (int tick = 0; tick < 5; ++tick)
        for (const auto& c : cars) c.fadeTick(s);
    EXPECT_EQ(s.countPrefix("load sounds/tetriss/t_pass1.wav", at), 2) << s.dump(at);
    EXPECT_TRUE(s.form.traffic.passSound);
    EXPECT_TRUE(s.form.traffic.secondPassSound);
    EXPECT_TRUE(s.form.traffic.passSoundOn);
    EXPECT_TRUE(s.form.traffic.secondPassSoundOn);

    // The first car's fade ends alone; the second car's pass is still its own.
    for (int tick = 0; tick < 6; ++tick) cars[0].fadeTick(s);
    EXPECT_FALSE(s.form.traffic.passSoundOn);
    EXPECT_TRUE(s.form.traffic.secondPassSoundOn);
    EXPECT_TRUE(cars[1].passing(s));
    for (int tick = 0; tick < 6; ++tick) cars[1].fadeTick(s);
    EXPECT_FALSE(s.form.traffic.secondPassSoundOn);
    EXPECT_EQ(s.countPrefix("load sounds/tetriss/t_pass1.wav", at), 2);
}

TEST(RaceRules, PrizesAndExtraLivesStopAtTheLimitsAndAnnounceNoHighScore) {
    RaceScenario s;
    startQuietRace(s, "arcade");
    s.form.highScore = 0;
    const auto at = s.mark();
    s.form.addPrizePoints(1000);
    EXPECT_EQ(s.form.race.points, 1000);
    // A prize is counted without the high-score check; the next car gone by makes it.
    EXPECT_EQ(s.countPrefix("play sounds/highscore.wav", at), 0) << s.dump(at);
    EXPECT_FALSE(s.form.race.newscore);
    s.form.addPoints(10);
    EXPECT_EQ(s.countPrefix("play sounds/highscore.wav", at), 1) << s.dump(at);
    EXPECT_EQ(s.form.highScore, 1010);

    s.form.restoreScore(std::numeric_limits<std::int32_t>::max() - 5, std::numeric_limits<std::int16_t>::max() - 1);
    s.form.addPrizePoints(10000);
    EXPECT_EQ(s.form.race.points, std::numeric_limits<std::int32_t>::max());
    s.form.addLife();
    s.form.addLife();
    EXPECT_EQ(s.form.race.m_lifes, std::numeric_limits<std::int16_t>::max());
}

}  // namespace
}  // namespace zorvan::test
