// The spoken-number queue: which clips a number becomes, and how they are played.
#include <gtest/gtest.h>

#include "support/scenario.h"

namespace zorvan::test {
namespace {

std::vector<std::string> clipsOf(std::int32_t value, bool digits = false) {
    Scenario s;
    s.form.numbers.speakNumber(value, digits);
    std::vector<std::string> out;
    for (int i = 0; i < s.form.numbers.speechQueueCount(); ++i)
        out.emplace_back(s.form.numbers.queued(i));
    return out;
}

using Clips = std::vector<std::string>;

TEST(SpokenNumbers, SmallNumbersAndTeens) {
    EXPECT_EQ(clipsOf(0), Clips{"0"});
    EXPECT_EQ(clipsOf(0, true), Clips{"0"});
    EXPECT_EQ(clipsOf(7), Clips{"7"});
    EXPECT_EQ(clipsOf(10), Clips{"10"});
    EXPECT_EQ(clipsOf(13), Clips{"13"});
    EXPECT_EQ(clipsOf(19), Clips{"19"});
    EXPECT_EQ(clipsOf(20), Clips{"20"});
    EXPECT_EQ(clipsOf(21), (Clips{"20", "1"}));
    EXPECT_EQ(clipsOf(40), Clips{"40"});
}

TEST(SpokenNumbers, HundredsThousandsAndMillionsDropEmptyGroups) {
    EXPECT_EQ(clipsOf(100), (Clips{"1", "hundred"}));
    EXPECT_EQ(clipsOf(101), (Clips{"1", "hundred", "1"}));
    EXPECT_EQ(clipsOf(105), (Clips{"1", "hundred", "5"}));
    EXPECT_EQ(clipsOf(110), (Clips{"1", "hundred", "10"}));
    EXPECT_EQ(clipsOf(1000), (Clips{"1", "thousand"}));
    EXPECT_EQ(clipsOf(1001), (Clips{"1", "thousand", "1"}));
    EXPECT_EQ(clipsOf(2010), (Clips{"2", "thousand", "10"}));
    EXPECT_EQ(clipsOf(10000), (Clips{"10", "thousand"}));
    EXPECT_EQ(clipsOf(100000), (Clips{"1", "hundred", "thousand"}));
    EXPECT_EQ(clipsOf(1000000), (Clips{"1", "million"}));
    EXPECT_EQ(clipsOf(1000001), (Clips{"1", "million", "1"}));
    EXPECT_EQ(clipsOf(12345678), (Clips{"12", "million", "3", "hundred", "40", "5", "thousand", "6",
                                        "hundred", "70", "8"}));
    EXPECT_EQ(clipsOf(99999999), (Clips{"90", "9", "million", "9", "hundred", "90", "9", "thousand",
                                        "9", "hundred", "90", "9"}));
}

TEST(SpokenNumbers, NineDigitsSayNothingAndDigitByDigitSaysEachDigit) {
    EXPECT_TRUE(clipsOf(100000000).empty());
    EXPECT_TRUE(clipsOf(2147483647).empty());
    EXPECT_EQ(clipsOf(2007, true), (Clips{"2", "0", "0", "7"}));
    EXPECT_EQ(clipsOf(405, true), (Clips{"4", "0", "5"}));
}

TEST(SpokenNumbers, TheQueueDropsWhatWouldOverflowIt) {
    Scenario s;
    for (int i = 0; i < 60; ++i) s.form.numbers.queueClip("1");
    EXPECT_EQ(s.form.numbers.speechQueueCount(), NumberSystem::kQueueSize);
}

TEST(SpokenNumbers, ClipsPlayOneAfterAnotherEachToItsEndWithAPathPlayedAsAFile) {
    Scenario s;
    ASSERT_TRUE(s.load());
    auto from = s.mark();
    s.form.numbers.queueClip(s.form.programPath("sounds/speech/level.wav"));
    s.form.numbers.speakNumber(2010, false);
    s.runFor(2000);
    auto at = s.expectInOrder({"play sounds/speech/level.wav once", "end sounds/speech/level.wav",
                               "play sounds/numbers/2.wav once", "end sounds/numbers/2.wav",
                               "play sounds/numbers/thousand.wav once", "end sounds/numbers/thousand.wav",
                               "play sounds/numbers/10.wav once", "end sounds/numbers/10.wav"},
                              from);
    (void)at;
    // Each clip starts within one 10 ms tick of the end of the one before.
    const auto& lines = s.platform.lines();
    std::int64_t lastEnd = -1;
    for (std::size_t i = from; i < lines.size(); ++i) {
        auto t = std::stoll(lines[i]);
        if (lines[i].find(" end sounds/") != std::string::npos) lastEnd = t;
        if (lines[i].find(" play sounds/numbers/") != std::string::npos && lastEnd >= 0) {
            EXPECT_LE(t - lastEnd, 10) << lines[i];
        }
    }
}

TEST(SpokenNumbers, StoppingMidNumberSilencesItAndANewNumberStartsCleanly) {
    Scenario s;
    ASSERT_TRUE(s.load());
    s.form.numbers.speakNumber(12345678, false);
    s.runFor(250);  // the first clip ("12") has ended, the second plays
    auto from = s.mark();
    s.form.numbers.stopNumberSpeech();
    EXPECT_EQ(s.form.numbers.speechQueueCount(), 0);
    EXPECT_FALSE(s.form.numbers.speaking());
    s.runFor(1000);
    for (auto& e : s.events(from)) EXPECT_EQ(e.rfind("play sounds/numbers/", 0), std::string::npos) << e;
    from = s.mark();
    s.form.numbers.speakNumber(7, false);
    s.runFor(500);
    s.expectInOrder({"play sounds/numbers/7.wav once", "end sounds/numbers/7.wav"}, from);
}

TEST(SpokenNumbers, StopBeforeAnyClipWasPlayedKeepsTheQueue) {
    Scenario s;
    s.form.numbers.speakNumber(105, false);
    s.form.numbers.stopNumberSpeech();
    EXPECT_EQ(s.form.numbers.speechQueueCount(), 3);
}

TEST(SpokenNumbers, WaitingReturnsWhenAllIsSaidOrAtOnceWhenNothingWasEverQueued) {
    Scenario s;
    ASSERT_TRUE(s.load());
    const auto before = s.now();
    s.form.numbers.waitForNumberSpeech();
    EXPECT_EQ(s.now(), before);
    s.form.numbers.speakNumber(21, false);
    s.form.numbers.waitForNumberSpeech();
    EXPECT_FALSE(s.form.numbers.speaking());
    EXPECT_TRUE(s.has("end sounds/numbers/1.wav"));
}

// A minute in the menu with nothing to say, then numbers: the run that sleeps through the idle
// 10 ms ticks says them at the very moments of the run woken by every tick, clip after clip.
struct IdleMenuRun {
    std::vector<std::string> lines;
    long pumps = 0;
};

IdleMenuRun idleThenSpeak(bool sleepy) {
    GameFolder folder;
    SimOptions o;
    o.folder = folder.game();
    o.settingsFolder = folder.settings();
    o.sleepThroughIdleTimers = sleepy;
    o.untilMs = 140000;
    o.keys = parseKeyScript("60000 H\n+4000 V\n+60000 H\n");
    SimPlatform platform(o);
    MainForm form(platform);
    IdleMenuRun run;
    try {
        form.Form_Load();
        for (;;) {
            form.loop.pump();
            ++run.pumps;
        }
    } catch (const ProgramEnd&) {
    }
    run.lines = platform.lines();
    return run;
}

TEST(SpokenNumbers, AfterIdlingTheQueueSpeaksAtItsPaceAndIdleTicksWakeNothing) {
    const IdleMenuRun awake = idleThenSpeak(false);
    const IdleMenuRun sleepy = idleThenSpeak(true);
    std::size_t same = 0;
    while (same < sleepy.lines.size() && same < awake.lines.size() && sleepy.lines[same] == awake.lines[same]) ++same;
    ASSERT_TRUE(same == sleepy.lines.size() && same == awake.lines.size())
        << "the logs part at line " << same << ":\nsleeping through idle ticks:\n" << dumpFrom(sleepy.lines, same)
        << "woken by every tick:\n" << dumpFrom(awake.lines, same);
    EXPECT_LT(sleepy.pumps * 20, awake.pumps) << "two idle minutes woke the loop " << sleepy.pumps << " times";

    int clips = 0;
    std::int64_t lastEnd = -1;
    for (const auto& line : sleepy.lines) {
        const auto t = std::stoll(line);
        if (line.find(" end sounds/") != std::string::npos) lastEnd = t;
        if (line.find(" play sounds/numbers/") != std::string::npos && t > 60000) {
            ++clips;
            ASSERT_GE(lastEnd, 0);
            EXPECT_LE(t - lastEnd, 10) << line;
        }
    }
    EXPECT_GE(clips, 2) << dumpFrom(sleepy.lines, 0);
}

}  // namespace
}  // namespace zorvan::test
