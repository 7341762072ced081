// The simulated platform keeps the run's timeline as the real one does: a replay without (more)
// dates is a mismatch, a recorded late wake-up jumps the clock, and a key pressed in the
// present millisecond of a recorded run counts in the next one.
#include <gtest/gtest.h>

#include "platform/sim/sim_platform.h"
#include "support/temp_dir.h"

namespace zorvan {
namespace {

constexpr std::int64_t kForever = std::numeric_limits<std::int64_t>::max();

TEST(SimTimeline, AReplayWithoutMoreDatesIsAMismatchAndAWakeUpJumps) {
    test::TempDir dir;
    Replay replay;
    replay.programVersion = "1.2";
    replay.seed = 5;
    ReplayInput key;
    key.kind = ReplayInput::Kind::Key;
    key.atMs = 40;
    key.key = 37;
    ReplayInput wake;
    wake.kind = ReplayInput::Kind::Wake;
    wake.fromMs = 40;
    wake.atMs = 90;
    ReplayInput date;
    date.kind = ReplayInput::Kind::Date;
    date.atMs = 90;
    date.date = {"01/02/2003", "04:05:06", 14706};
    replay.inputs = {key, wake, date};
    replay.exitStatus = 0;
    replay.endMs = 200;

    SimOptions options;
    options.folder = dir.path();
    options.dataFolder = dir.path() / "data";
    options.settingsFolder = dir.path() / "settings";
    options.replay = &replay;
    SimPlatform platform(options);
    platform.idleUntil(kForever);
    EXPECT_EQ(platform.nowMs(), 40);
    EXPECT_EQ(platform.takeKey(), 37);
    platform.idleUntil(60);
    EXPECT_EQ(platform.nowMs(), 90) << "the recorded machine woke late here";
    EXPECT_EQ(platform.localDateTime().longTime, "04:05:06");
    try {
        platform.localDateTime();
        FAIL() << "the replay has no second date";
    } catch (const ReplayMismatch& e) {
        EXPECT_STREQ(e.what(), "the run reads the date at 90, the replay has no more dates");
    }
}

TEST(SimTimeline, AKeyInThePresentMillisecondOfARecordedRunCountsInTheNext) {
    test::TempDir dir;
    SimOptions options;
    options.folder = dir.path();
    options.settingsFolder = dir.path() / "settings";
    options.record = true;
    SimPlatform platform(options);
    platform.idleUntil(30);
    ASSERT_EQ(platform.nowMs(), 30);
    platform.pressKey(13, 30);
    EXPECT_FALSE(platform.takeKey());
    platform.idleUntil(kForever);
    EXPECT_EQ(platform.nowMs(), 31);
    EXPECT_EQ(platform.takeKey(), 13);
    EXPECT_EQ(platform.lines().back(), "31 key 13");
    std::string error;
    auto replay = parseReplay(*platform.replaySoFar(), &error);
    ASSERT_TRUE(replay) << error;
    ASSERT_EQ(replay->inputs.size(), 1u);
    EXPECT_EQ(replay->inputs[0].atMs, 31);
}

}  // namespace
}  // namespace zorvan
