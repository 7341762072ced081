// The message timers and the reentrant pump, on the simulated clock.
#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

#include "platform/event_loop.h"
#include "platform/sim/sim_platform.h"

namespace zorvan {
namespace {

struct Loop : ::testing::Test {
    SimPlatform platform{SimOptions{.folder = std::filesystem::temp_directory_path(), .settingsFolder = std::filesystem::temp_directory_path()}};
    EventLoop loop{platform};
    std::vector<std::pair<std::int64_t, std::string>> ticks;

    Timer& timer(const std::string& name, int interval) {
        Timer& t = loop.addTimer(name);
        t.setHandler([this, &t] { ticks.emplace_back(platform.nowMs(), t.name()); });
        t.setInterval(interval);
        return t;
    }
    void pumpUntil(std::int64_t ms) {
        while (platform.nowMs() < ms) loop.pump();
    }
};

TEST_F(Loop, TicksEveryIntervalWhileEnabledAndNotWhenDisabled) {
    Timer& t = timer("t", 100);
    platform.advanceTo(250);
    EXPECT_TRUE(ticks.empty()) << "a timer is disabled until enabled";
    t.setEnabled(true);
    pumpUntil(560);
    ASSERT_EQ(ticks.size(), 3u);
    EXPECT_EQ(ticks[0].first, 350);
    EXPECT_EQ(ticks[2].first, 550);
    t.setEnabled(false);
    EXPECT_THROW(pumpUntil(1000), ProgramEnd) << "nothing is left that could happen";
    EXPECT_EQ(ticks.size(), 3u);
}

TEST_F(Loop, ZeroIntervalNeverTicks) {
    Timer& t = timer("t", 0);
    t.setEnabled(true);
    Timer& other = timer("other", 50);
    other.setEnabled(true);
    pumpUntil(500);
    for (auto& [at, name] : ticks) EXPECT_EQ(name, "other");
}

TEST_F(Loop, ChangingTheIntervalRestartsTheCountdown) {
    Timer& t = timer("t", 100);
    t.setEnabled(true);
    platform.advanceTo(80);
    t.setInterval(100);  // the same value still restarts
    pumpUntil(200);
    ASSERT_EQ(ticks.size(), 1u);
    EXPECT_EQ(ticks[0].first, 180);
    const auto changedAt = platform.nowMs();
    t.setInterval(300);
    pumpUntil(changedAt + 301);
    ASSERT_EQ(ticks.size(), 2u);
    EXPECT_EQ(ticks[1].first, changedAt + 300);
}

TEST_F(Loop, EnablingAnEnabledTimerKeepsItsCountdown) {
    Timer& t = timer("t", 100);
    t.setEnabled(true);
    platform.advanceTo(50);
    t.setEnabled(true);
    pumpUntil(120);
    ASSERT_EQ(ticks.size(), 1u);
    EXPECT_EQ(ticks[0].first, 100);
}

TEST_F(Loop, NoTimerTicksFasterThanTenMilliseconds) {
    Timer& t = timer("t", 2);
    t.setEnabled(true);
    pumpUntil(105);
    EXPECT_EQ(ticks.size(), 10u);
    for (std::size_t i = 1; i < ticks.size(); ++i) EXPECT_GE(ticks[i].first - ticks[i - 1].first, 10);
}

TEST_F(Loop, ALateTickIsDeliveredOnceNotAsABurst) {
    Timer& fast = timer("fast", 10);
    Timer& slow = loop.addTimer("slow");
    slow.setInterval(10);
    slow.setHandler([&] {
        // A handler that blocks the loop for 100 ms without pumping.
        platform.advanceTo(platform.nowMs() + 100);
        slow.setEnabled(false);
    });
    slow.setEnabled(true);
    fast.setEnabled(true);
    pumpUntil(11);
    ticks.clear();
    pumpUntil(140);
    // fast was late by ~100 ms: one tick at once, then every 10 ms again.
    ASSERT_GE(ticks.size(), 2u);
    EXPECT_EQ(ticks[0].first, 110);
    EXPECT_EQ(ticks[1].first, 120);
}

TEST_F(Loop, DueTicksFireInTheOrderTheyFellDue) {
    Timer& a = timer("a", 30);
    Timer& b = timer("b", 20);
    Timer& blocker = loop.addTimer("blocker");
    blocker.setInterval(10);
    blocker.setHandler([&] {
        platform.advanceTo(platform.nowMs() + 50);
        blocker.setEnabled(false);
    });
    blocker.setEnabled(true);  // due at 10, runs until 60
    a.setEnabled(true);        // due at 30
    b.setEnabled(true);        // due at 20
    pumpUntil(61);
    ASSERT_GE(ticks.size(), 2u);
    EXPECT_EQ(ticks[0].second, "b");
    EXPECT_EQ(ticks[1].second, "a");
}

TEST_F(Loop, ATimerNeverTicksInsideItsOwnHandlerButOthersDo) {
    Timer& outer = loop.addTimer("outer");
    Timer& inner = timer("inner", 10);
    int outerTicks = 0, nestedOuter = 0;
    bool inOuter = false;
    outer.setInterval(10);
    outer.setHandler([&] {
        if (inOuter) ++nestedOuter;
        inOuter = true;
        ++outerTicks;
        const auto until = platform.nowMs() + 100;
        while (platform.nowMs() < until) loop.pump();  // a wait inside a handler
        inOuter = false;
        outer.setEnabled(false);
    });
    outer.setEnabled(true);
    inner.setEnabled(true);
    pumpUntil(200);
    EXPECT_EQ(outerTicks, 1);
    EXPECT_EQ(nestedOuter, 0);
    EXPECT_GE(ticks.size(), 9u) << "the other timer keeps ticking inside the wait";
}

TEST_F(Loop, KeysComeBeforeTimersAndRunInsideWaits) {
    std::vector<std::string> order;
    loop.setKeyHandler([&](int key) { order.push_back("key " + std::to_string(key)); });
    Timer& t = loop.addTimer("t");
    t.setInterval(10);
    t.setHandler([&] { order.push_back("tick"); });
    t.setEnabled(true);
    platform.pressKey(13, 10);
    pumpUntil(10);
    loop.pump();
    ASSERT_GE(order.size(), 2u);
    EXPECT_EQ(order[0], "key 13");
    EXPECT_EQ(order[1], "tick");
}

TEST_F(Loop, ClosingTheWindowRunsTheCloseHandlerAndEndsTheProgram) {
    bool closed = false;
    loop.setCloseHandler([&] { closed = true; });
    platform.pressKey(0, 30);
    EXPECT_THROW(pumpUntil(100), ProgramEnd);
    EXPECT_TRUE(closed);
}

TEST_F(Loop, IdleJumpsStraightToTheNextTimer) {
    Timer& t = timer("t", 5000);
    t.setEnabled(true);
    int pumps = 0;
    while (ticks.empty()) {
        loop.pump();
        ++pumps;
    }
    EXPECT_EQ(ticks[0].first, 5000);
    EXPECT_LE(pumps, 3);
}

// A timer with nothing to do is not woken for, yet its first busy tick falls on its old pace,
// whether the work came from a key or from another timer's tick at the same moment.
struct IdleRun {
    std::vector<std::int64_t> busyTicks;
    int pumps = 0;
};

IdleRun runWithAnIdleTimer(bool sleepy) {
    SimOptions options{.folder = std::filesystem::temp_directory_path(), .settingsFolder = std::filesystem::temp_directory_path()};
    options.sleepThroughIdleTimers = sleepy;
    SimPlatform platform(options);
    EventLoop loop(platform);
    IdleRun run;
    int work = 0;
    Timer& voss = loop.addTimer("voss");
    voss.setHandler([&] {
        if (work == 0) return;
        --work;
        run.busyTicks.push_back(platform.nowMs());
    });
    voss.setIdleWhen([&] { return work == 0; });
    voss.setInterval(10);
    voss.setEnabled(true);
    Timer& race = loop.addTimer("race");
    race.setHandler([&] {
        if (platform.nowMs() == 350) work = 2;
    });
    platform.advanceTo(50);
    race.setInterval(100);
    race.setEnabled(true);
    loop.setKeyHandler([&](int) { work = 1; });
    platform.pressKey('A', 455);
    platform.pressKey('B', 500);
    while (platform.nowMs() < 1000) {
        loop.pump();
        ++run.pumps;
    }
    return run;
}

TEST(IdleTimer, SleepsThroughIdleTicksAndKeepsItsPace) {
    const IdleRun awake = runWithAnIdleTimer(false);
    const IdleRun sleepy = runWithAnIdleTimer(true);
    const std::vector<std::int64_t> expected{360, 370, 460, 500};
    EXPECT_EQ(awake.busyTicks, expected);
    EXPECT_EQ(sleepy.busyTicks, expected);
    EXPECT_GE(awake.pumps, 190) << "woken for every 10 ms tick (a pump that delivers, one that sleeps)";
    EXPECT_LE(sleepy.pumps, 40) << "woken for the other timer, the keys and the busy ticks only";
}

TEST(IdleTimer, NothingButAnIdleTimerLeftEndsASimulatedRun) {
    SimOptions options{.folder = std::filesystem::temp_directory_path(), .settingsFolder = std::filesystem::temp_directory_path()};
    options.sleepThroughIdleTimers = true;
    SimPlatform platform(options);
    EventLoop loop(platform);
    Timer& voss = loop.addTimer("voss");
    voss.setIdleWhen([] { return true; });
    voss.setInterval(10);
    voss.setEnabled(true);
    EXPECT_THROW(for (;;) loop.pump(), ProgramEnd);
    EXPECT_TRUE(platform.timedOut());
}

// A timed wait ends when a loop woken by every tick would have noticed its deadline.
std::int64_t timedWaitEnds(bool sleepy, bool withIdleTimer) {
    SimOptions options{.folder = std::filesystem::temp_directory_path(), .settingsFolder = std::filesystem::temp_directory_path()};
    options.sleepThroughIdleTimers = sleepy;
    SimPlatform platform(options);
    EventLoop loop(platform);
    Timer& voss = loop.addTimer("voss");
    voss.setIdleWhen([] { return true; });
    voss.setInterval(10);
    voss.setEnabled(withIdleTimer);
    Timer& slow = loop.addTimer("slow");
    slow.setInterval(5000);
    slow.setEnabled(true);
    platform.advanceTo(3);
    loop.pumpUntil(1234);
    return platform.nowMs();
}

TEST(IdleTimer, ATimedWaitEndsAtTheSameTickAsleepOrAwake) {
    EXPECT_EQ(timedWaitEnds(false, true), 1240);
    EXPECT_EQ(timedWaitEnds(true, true), 1240);
    EXPECT_EQ(timedWaitEnds(true, false), 1234) << "no ticks to wait for: the deadline itself";
}

}  // namespace
}  // namespace zorvan
