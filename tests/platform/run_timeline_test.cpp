// The run's timeline, driven here by a fake real clock as either platform drives it: what a
// replay lacks or places where the run has been already is a mismatch, a late wake-up is
// recorded and played back as a jump, and a key that comes in the present millisecond counts
// in the next one.
#include <gtest/gtest.h>

#include <random>

#include "platform/run_timeline.h"

namespace zorvan {
namespace {

constexpr std::int64_t kNever = RunTimeline::kNever;

// A run that records into memory, with no network.
RunTimeline::Run recorded(std::uint64_t seed = 7) {
    RunTimeline::Run run;
    run.seed = seed;
    run.admitting = true;
    run.writer = std::make_unique<ReplayWriter>(std::filesystem::path(), "1.2", seed, std::vector<ReplaySnapshot>{},
                                                std::vector<ReplaySnapshot>{});
    return run;
}

Replay parsed(const RunTimeline& timeline) {
    std::string error;
    auto replay = parseReplay(*timeline.replaySoFar(), &error);
    EXPECT_TRUE(replay) << error;
    return replay ? *replay : Replay{};
}

ReplayInput input(ReplayInput::Kind kind, std::int64_t atMs) {
    ReplayInput in;
    in.kind = kind;
    in.atMs = atMs;
    return in;
}

// Idles a replaying timeline toward `target`, as the platforms do once their clock allows.
void idleReplaying(RunTimeline& timeline, std::int64_t target) {
    const auto step = timeline.replayStep(target);
    if (!step.wake && step.at <= timeline.now()) return;
    timeline.moveTo(step.at);
    timeline.replayArrived(step);
}

TEST(RunTimeline, AReplayWithoutMoreDatesOrAnswersIsAMismatch) {
    Replay replay;
    ReplayInput date = input(ReplayInput::Kind::Date, 10);
    date.date = {"01/02/2003", "04:05:06", 14706};
    replay.inputs = {date, input(ReplayInput::Kind::Speech, 10), input(ReplayInput::Kind::Key, 20)};
    replay.inputs.back().key = 13;

    RunTimeline timeline;
    RunTimeline::Run run;
    run.replay = &replay;
    timeline.begin(std::move(run));
    const auto live = [] { return LocalDateTime{"live", "live", 0}; };
    idleReplaying(timeline, 10);
    EXPECT_EQ(timeline.localDateTime(live).longTime, "04:05:06");
    EXPECT_EQ(timeline.speechAnswer("live says no"), "") << "the replay's answer, not the live one";
    try {
        timeline.localDateTime(live);
        FAIL() << "a date the replay has not";
    } catch (const ReplayMismatch& e) {
        EXPECT_STREQ(e.what(), "the run reads the date at 10, the replay has no more dates");
        EXPECT_FALSE(e.pastEnd) << "the replay has inputs still: it does not fit";
    }
    EXPECT_THROW(timeline.speechAnswer(""), ReplayMismatch);

    // After the last input of a replay cut short: it fitted as far as it went.
    idleReplaying(timeline, kNever);
    EXPECT_EQ(timeline.now(), 20);
    try {
        timeline.localDateTime(live);
        FAIL();
    } catch (const ReplayMismatch& e) {
        EXPECT_TRUE(e.pastEnd);
    }
    // One that exited: a date more is the run going elsewhere.
    replay.exitStatus = 0;
    RunTimeline exited;
    RunTimeline::Run again;
    again.replay = &replay;
    exited.begin(std::move(again));
    idleReplaying(exited, 10);
    exited.localDateTime(live);
    idleReplaying(exited, kNever);
    try {
        exited.localDateTime(live);
        FAIL();
    } catch (const ReplayMismatch& e) {
        EXPECT_FALSE(e.pastEnd);
    }

    // A date read at another time than the recorded run read it.
    RunTimeline early;
    RunTimeline::Run third;
    third.replay = &replay;
    early.begin(std::move(third));
    idleReplaying(early, 5);
    EXPECT_THROW(early.localDateTime(live), ReplayMismatch);
}

TEST(RunTimeline, ALateWakeUpIsRecordedAndPlayedBackAsTheSameJump) {
    RunTimeline timeline;
    timeline.begin(recorded());
    timeline.moveTo(100);
    // Jitter up to the limit is absorbed; beyond it the clock takes the real time.
    EXPECT_EQ(timeline.wokeAt(130, 130 + RunTimeline::kLateMs), 130);
    EXPECT_TRUE(parsed(timeline).inputs.empty());
    EXPECT_EQ(timeline.wokeAt(130, 175), 175);
    timeline.moveTo(175);
    const Replay replay = parsed(timeline);
    ASSERT_EQ(replay.inputs.size(), 1u);
    EXPECT_EQ(replay.inputs[0].kind, ReplayInput::Kind::Wake);
    EXPECT_EQ(replay.inputs[0].fromMs, 100);
    EXPECT_EQ(replay.inputs[0].atMs, 175);

    // Played back: the clock goes to the wake-up's start, then jumps over the deadline.
    RunTimeline back;
    RunTimeline::Run run;
    run.replay = &replay;
    back.begin(std::move(run));
    idleReplaying(back, 400);
    EXPECT_EQ(back.now(), 100);
    EXPECT_TRUE(back.replayInputsLeft());
    idleReplaying(back, 130);
    EXPECT_EQ(back.now(), 175);
    EXPECT_FALSE(back.replayInputsLeft());

    // A run that went past where the recorded machine slept does not fit the replay.
    RunTimeline past;
    RunTimeline::Run late;
    late.replay = &replay;
    past.begin(std::move(late));
    past.moveTo(120);
    EXPECT_THROW(past.replayStep(400), ReplayMismatch);
}

TEST(RunTimeline, AKeyInThePresentMillisecondCountsInTheNext) {
    RunTimeline timeline;
    timeline.keepLines();
    timeline.begin(recorded());
    timeline.moveTo(50);
    timeline.arrive(ReplayInput::Kind::Key, 50, 13);
    // The game may have looked at this millisecond already: not a key yet.
    EXPECT_FALSE(timeline.takeKey());
    EXPECT_EQ(timeline.nextArrivalAt(), 51);
    timeline.moveTo(51);
    timeline.admitArrivals();
    EXPECT_EQ(timeline.takeKey(), 13);
    EXPECT_EQ(timeline.lines().back(), "51 key 13");
    const Replay replay = parsed(timeline);
    ASSERT_EQ(replay.inputs.size(), 1u);
    EXPECT_EQ(replay.inputs[0].atMs, 51);

    // Keys that came meanwhile, out of order (a script) and with a close: admitted in time
    // order at the present, the close ending the taking.
    timeline.arrive(ReplayInput::Kind::Key, 70, 39);
    timeline.arrive(ReplayInput::Kind::Key, 60, 37);
    timeline.arrive(ReplayInput::Kind::Close, 65);
    EXPECT_EQ(timeline.nextArrivalAt(), 60);
    timeline.moveTo(80);
    timeline.admitArrivals();
    EXPECT_EQ(timeline.takeKey(), 37);
    EXPECT_EQ(timeline.takeKey(), 39);
    EXPECT_TRUE(timeline.closeTaken());
    EXPECT_EQ(timeline.lines(), (std::vector<std::string>{"51 key 13", "80 key 37", "80 close", "80 key 39"}));

    // A script without recording has no admission: its key is the game's in its own millisecond.
    RunTimeline scripted;
    RunTimeline::Run run;
    scripted.begin(std::move(run));
    scripted.moveTo(50);
    scripted.arrive(ReplayInput::Kind::Key, 50, 13);
    EXPECT_EQ(scripted.nextKeyAt(), 50);
    EXPECT_EQ(scripted.takeKey(), 13);

    // Played back, a key in the present millisecond cannot come where the replay says.
    Replay bad;
    bad.inputs = {input(ReplayInput::Kind::Key, 0)};
    RunTimeline back;
    RunTimeline::Run replaying;
    replaying.replay = &bad;
    back.begin(std::move(replaying));
    try {
        back.replayStep(kNever);
        FAIL();
    } catch (const ReplayMismatch& e) {
        EXPECT_STREQ(e.what(), "the replay has a key 0 at 0, the run was at 0 already");
    }
}

TEST(RunTimeline, AReplyToARequestNeverMadeIsAMismatch) {
    Replay replay;
    replay.inputs = {input(ReplayInput::Kind::HttpReply, 5)};
    replay.inputs[0].call = 1;
    RunTimeline timeline;
    RunTimeline::Run run;
    run.replay = &replay;
    timeline.begin(std::move(run));
    const auto step = timeline.replayStep(kNever);
    EXPECT_EQ(step.at, 5);
    timeline.moveTo(step.at);
    EXPECT_THROW(timeline.replayArrived(step), ReplayMismatch);
}

TEST(RunTimeline, TheDrawFollowsTheSeedAndANewRunKeepsTheLog) {
    RunTimeline timeline;
    timeline.keepLines();
    timeline.begin(recorded(42));
    std::mt19937_64 rng(42);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(timeline.random(), static_cast<double>(rng() >> 11) * 0x1.0p-53);
    timeline.moveTo(30);
    timeline.exited(0);
    EXPECT_EQ(parsed(timeline).exitStatus, 0);
    timeline.begin(recorded(42));
    EXPECT_EQ(timeline.now(), 0);
    timeline.logLast("exit timeout");
    timeline.log("after the end");
    EXPECT_EQ(timeline.lines(), (std::vector<std::string>{"30 exit 0", "0 exit timeout"}));
    std::mt19937_64 again(42);
    EXPECT_EQ(timeline.random(), static_cast<double>(again() >> 11) * 0x1.0p-53);
}

}  // namespace
}  // namespace zorvan
