// The bonus round: when it comes, the hit window, the score and its prizes, the keys during
// the round, and the race that resumes afterwards.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "race/race_scenario.h"

namespace zorvan::test {
namespace {

constexpr const char* kItemClips[] = {"enginrepare", "brakes", "extralife", "lazercanon", "thbonus", "tebonus"};

BonusRound& bonusOf(RaceScenario& s) { return s.form.bonus; }

// The pan of the target crossing now; a value no target has while none crosses.
int crossingPan(RaceScenario& s) {
    const BonusRound& b = s.form.bonus;
    const auto& targets = s.form.sound.bonus.bonusTargetSounds;
    if (!b.bonusActive || !b.bonusTargetActive || b.bonusTarget < 1 || b.bonusTarget > 4) return -99999;
    const auto& target = targets[static_cast<std::size_t>(b.bonusTarget - 1)];
    return target ? target->getPan() : -99999;
}

// Lets the round run until the target crossing now stands at `pan`.
bool waitForPan(RaceScenario& s, int pan) {
    return s.runUntil([&] { return crossingPan(s) == pan; }, 60000);
}

void shootAt(RaceScenario& s, int pan) {
    ASSERT_TRUE(waitForPan(s, pan)) << "no target reached pan " << pan;
    s.press(vk::Ctrl);
}

bool roundOver(RaceScenario& s) { return !s.form.bonus.bonusActive && !s.form.bonus.bonusEnding; }

void finishRound(RaceScenario& s) { ASSERT_TRUE(s.runUntil([&] { return roundOver(s); }, 400000)); }

// A game whose next level-up is `level`. The "Lego car" draws no road events.
void startBefore(RaceScenario& s, int level, const std::string& mode = "arcade") {
    s.start(1, "normal", mode);
    s.form.race.levels = level - 1;
}

// Virtual ms of the last event equal to `event`; -1 when none.
std::int64_t lastTimeOf(RaceScenario& s, const std::string& event) {
    std::int64_t at = -1;
    for (const auto& line : s.platform.sim.lines()) {
        std::string bare = line.substr(line.find(' ') + 1);
        bare = bare.substr(0, bare.rfind(" #"));
        if (bare == event) at = std::stoll(line.substr(0, line.find(' ')));
    }
    return at;
}

int itemAnnouncements(RaceScenario& s, std::size_t from) {
    int n = 0;
    for (const char* clip : kItemClips)
        n += s.count("play sounds/speech/" + std::string(clip) + ".wav once", from);
    return n;
}

// Once the last target crosses: scripts the item draws of the prizes to "brakes", which touch
// neither points nor lifes. The draw of the 21st target start comes first.
void scriptBrakesPrizes(RaceScenario& s) {
    s.platform.script = {uFor(2, 4), uFor(6, 20), uFor(6, 20)};
}

// Plays a round that scores `hits` hits and no miss; returns the mark before it began.
std::size_t playRound(RaceScenario& s, int hits) {
    const auto at = s.mark();
    s.form.levelup(false);
    EXPECT_TRUE(s.form.bonus.bonusActive);
    for (int i = 0; i < hits; ++i) {
        EXPECT_TRUE(waitForPan(s, 100));
        if (s.form.bonus.bonusTargetCount == 20) scriptBrakesPrizes(s);
        s.press(vk::Ctrl);
    }
    if (hits < 20) {
        EXPECT_TRUE(s.runUntil([&] { return s.form.bonus.bonusTargetCount == 20; }, 400000));
        scriptBrakesPrizes(s);
    }
    finishRound(s);
    return at;
}

TEST(BonusRound, ComesEveryTenthLevelUpToOneHundredFiftyInArcadeOnly) {
    struct Case {
        int level;
        std::string mode;
        bool round;
    };
    for (const Case& c : {Case{10, "arcade", true}, Case{150, "arcade", true}, Case{160, "arcade", false},
                          Case{11, "arcade", false}, Case{10, "tetriss", false}, Case{150, "tetriss", false}}) {
        RaceScenario s;
        startBefore(s, c.level, c.mode);
        const auto at = s.mark();
        s.form.levelup(false);
        EXPECT_EQ(s.form.bonus.bonusActive, c.round) << c.level << " " << c.mode;
        EXPECT_EQ(s.has("play sounds/bonus/bonusround.wav once", at), c.round) << c.level << " " << c.mode;
        // Without a round the level-up sound comes at once; with one, only at its end.
        EXPECT_EQ(s.countPrefix("load sounds/levelup.wav", at) + s.countPrefix("load sounds/tetriss/t_levelup.wav", at),
                  c.round ? 0 : 1);
        EXPECT_EQ(s.form.race.levels, c.level);
    }
}

TEST(BonusRound, StopsTheRaceAndLoadsTheBankWithTargetsWaitingLeft) {
    RaceScenario s;
    startBefore(s, 10);
    s.press(vk::Up);  // the car runs
    s.form.levelup(false);
    ASSERT_TRUE(s.form.bonus.bonusActive);
    EXPECT_TRUE(s.form.race.game);
    EXPECT_EQ(s.runningRaceTimers(), "");
    EXPECT_FALSE(s.looping(s.playerEngine()));
    for (auto& target : s.form.sound.bonus.bonusTargetSounds) {
        ASSERT_TRUE(target);
        EXPECT_EQ(target->getPan(), BonusRound::kWaitingPan);
    }
    EXPECT_TRUE(s.form.tmrBonus.enabled());
    EXPECT_EQ(s.form.tmrBonus.interval(), 50);
    EXPECT_EQ(s.form.tmrBstart.interval(), 400);
}

TEST(BonusRound, TargetsSweepFasterEachTimeAndLeavePastFiveThousand) {
    RaceScenario s;
    startBefore(s, 10);
    s.form.levelup(false);
    std::vector<int> sweepMs;
    std::vector<int> steps;  // pan steps of each target before it left
    int lastCount = 0;
    s.runUntil([&] {
        BonusRound& b = s.form.bonus;
        if (b.bonusTargetCount != lastCount && b.bonusTargetCount <= 20) {
            lastCount = b.bonusTargetCount;
            sweepMs.push_back(s.form.tmrBstart.interval());
            steps.push_back(0);
        }
        return roundOver(s);
    }, 400000);
    ASSERT_EQ(sweepMs.size(), 20u);
    EXPECT_EQ(sweepMs.front(), 380);
    EXPECT_EQ(sweepMs[17], 40);
    EXPECT_EQ(sweepMs[18], 20);
    EXPECT_EQ(sweepMs[19], 20);
    // Each crossing target is moved 300 to the right per step: 34 steps from -5000 to 5200.
    // Nobody shot, and a target that leaves unshot costs nothing.
    int moves = 0;
    for (auto& e : s.events()) {
        if (e.rfind("pan sounds/bonus/b", 0) != 0) continue;
        const int pan = std::stoi(e.substr(e.rfind(' ') + 1));
        if (pan != BonusRound::kWaitingPan) {
            ++moves;
            EXPECT_EQ((pan + 5000) % 300, 0) << e;
            EXPECT_LE(pan, 5200) << e;
        }
    }
    EXPECT_EQ(moves, 20 * 34);
    EXPECT_EQ(s.form.race.points, 10 * 20);  // the level-up's points only
}

TEST(BonusRound, OnlyTheStepAtPanOneHundredIsAHit) {
    RaceScenario s;
    startBefore(s, 10);
    s.form.levelup(false);
    BonusRound& b = bonusOf(s);
    const auto at = s.mark();
    shootAt(s, 100);
    EXPECT_EQ(b.bonusScore, 2000);
    EXPECT_EQ(s.count("play sounds/bonus/bget.wav once", at), 1);
    shootAt(s, 100);
    EXPECT_EQ(b.bonusScore, 4000);
    shootAt(s, -200);
    EXPECT_EQ(b.bonusScore, 2000);
    shootAt(s, 400);
    EXPECT_EQ(b.bonusScore, 0);
    EXPECT_EQ(s.count("play sounds/bonus/bget.wav once", at), 2);
    EXPECT_EQ(s.count("play sounds/bonus/gun.wav once", at), 4);
}

TEST(BonusRound, AMissEndsTheTargetAndNeverTakesTheScoreBelowZero) {
    RaceScenario s;
    startBefore(s, 10);
    s.form.levelup(false);
    BonusRound& b = bonusOf(s);
    shootAt(s, -4700);
    EXPECT_EQ(b.bonusScore, 0);
    // The missed target is over: while the gun sounded the next one set out from the left.
    EXPECT_EQ(b.bonusTargetCount, 2);
    EXPECT_LT(crossingPan(s), -4000);
    shootAt(s, 100);
    shootAt(s, 1000);
    shootAt(s, -1100);
    EXPECT_EQ(b.bonusScore, 0);
    finishRound(s);
    EXPECT_EQ(s.form.race.points, 10 * 20);
}

TEST(BonusRound, CtrlDuringTheGunSoundDoesNothing) {
    RaceScenario s;
    startBefore(s, 10);
    s.form.keyMap.kscore = vk::Ctrl;  // Ctrl still fires
    s.form.levelup(false);
    ASSERT_TRUE(waitForPan(s, 100));
    const auto at = s.mark();
    s.pressAt(vk::Ctrl, s.now() + 60);
    s.pressAt(vk::Ctrl, s.now() + 150);
    s.press(vk::Ctrl);
    EXPECT_EQ(s.count("play sounds/bonus/gun.wav once", at), 1);
    EXPECT_EQ(s.form.bonus.bonusScore, 2000);
    EXPECT_FALSE(s.form.bonus.bonusShotBusy);
    EXPECT_EQ(s.countPrefix("play sounds/numbers/", at), 0) << "Ctrl never speaks the points";
    // Once the gun has fallen silent the next Ctrl fires again.
    s.press(vk::Ctrl);
    EXPECT_EQ(s.count("play sounds/bonus/gun.wav once", at), 2);
}

TEST(BonusRound, OnlyCtrlAndThePointsKeyAreHeardDuringTheRound) {
    RaceScenario s;
    startBefore(s, 10);
    s.form.restoreScore(1234, s.form.race.m_lifes);
    s.form.levelup(false);
    const int points = s.form.race.points;
    const auto at = s.mark();
    const KeyMap& k = s.form.keyMap;
    for (int key : std::vector<int>{vk::Escape, k.kpause, k.kstart, k.klevel, vk::F2, 'H'})
        s.press(key);
    EXPECT_FALSE(s.form.race.inExitPrompt);
    EXPECT_FALSE(s.form.race.pause);
    EXPECT_FALSE(s.form.race.hasStarted);
    EXPECT_FALSE(s.form.race.hasSaved);
    EXPECT_FALSE(s.form.platform.files().exists("savegame.dat"));
    EXPECT_EQ(s.countPrefix("play sounds/numbers/", at), 0);
    EXPECT_EQ(s.countPrefix("load sounds/speech/", at), 0);
    s.press(s.form.keyMap.kscore);
    s.runFor(3000);
    EXPECT_EQ(s.form.race.points, points);
    EXPECT_TRUE(s.has("play sounds/speech/points.wav once", at));
}

TEST(BonusRound, KeysDuringThePrizesStayAwayFromTheStoppedRace) {
    RaceScenario s;
    startBefore(s, 10);
    s.folder.writeClip("sounds/speech/brakes.wav", 3000);  // a long announcement to press keys in
    s.form.levelup(false);
    for (int i = 0; i < 10; ++i) shootAt(s, 100);
    ASSERT_TRUE(s.runUntil([&] { return s.form.bonus.bonusTargetCount == 20; }, 400000));
    scriptBrakesPrizes(s);
    // The last target leaves within a second; the two prizes take six more.
    const auto at = s.mark();
    const KeyMap& k = s.form.keyMap;
    s.pressAt(vk::Escape, s.now() + 2000);
    s.pressAt(k.kstart, s.now() + 2500);
    s.pressAt(k.kpause, s.now() + 3000);
    s.pressAt(k.kscore, s.now() + 3500);
    finishRound(s);
    // All four came before the level change finished and the race resumed.
    const std::int64_t resumedAt = s.timeOf("load sounds/levelup.wav", at);
    ASSERT_GT(resumedAt, 0);
    EXPECT_LT(s.timeOf("key " + std::to_string(k.kscore), at), resumedAt);
    EXPECT_GT(s.timeOf("key " + std::to_string(vk::Escape), at), s.timeOf("play sounds/speech/brakes.wav once", at));
    EXPECT_TRUE(s.has("play sounds/speech/points.wav once", at));
    EXPECT_EQ(s.count("play sounds/speech/brakes.wav once", at), 2);
    EXPECT_FALSE(s.has("play sounds/speech/exitPrompt.wav once", at));
    EXPECT_FALSE(s.form.race.inExitPrompt);
    EXPECT_FALSE(s.form.race.pause);
    EXPECT_FALSE(s.form.race.hasStarted) << "the car was not running before the round";
    EXPECT_TRUE(s.form.race.game);
    EXPECT_TRUE(s.form.tmrComp.enabled());
}

TEST(BonusRound, TenHitsMakeExactlyTwentyThousandAndWinTwoItemsSpokenBeforeTheScore) {
    RaceScenario s;
    startBefore(s, 10);
    s.form.restoreScore(500, s.form.race.m_lifes);
    const auto at = playRound(s, 10);
    EXPECT_EQ(s.form.race.points, 500 + 10 * 20 + 20000);
    EXPECT_EQ(itemAnnouncements(s, at), 2);
    EXPECT_EQ(s.form.player->inventory->brakes(), 2);
    s.runFor(5000);
    // The prizes are announced to their end before the number queue says the score.
    const auto spoken = s.spoken(at);
    std::size_t lastPrize = 0, firstNumber = spoken.size();
    for (std::size_t i = 0; i < spoken.size(); ++i) {
        if (spoken[i] == "speech/brakes") lastPrize = i;
        else if (spoken[i].find('/') == std::string::npos && firstNumber == spoken.size()) firstNumber = i;
    }
    ASSERT_LT(firstNumber, spoken.size());
    EXPECT_LT(lastPrize, firstNumber);
    EXPECT_EQ(std::vector<std::string>(spoken.begin() + static_cast<std::ptrdiff_t>(firstNumber), spoken.end()),
              (std::vector<std::string>{"20", "thousand"}));
    EXPECT_GE(s.timeOf("play sounds/numbers/20.wav once", at), lastTimeOf(s, "end sounds/speech/brakes.wav"));
}

TEST(BonusRound, OtherScoresOfTenThousandOrMoreWinOneItemAndLessNone) {
    struct Case {
        int hits;
        int items;
    };
    for (Case c : {Case{5, 1}, Case{11, 1}, Case{20, 1}, Case{4, 0}, Case{0, 0}}) {
        RaceScenario s;
        startBefore(s, 10);
        const auto at = playRound(s, c.hits);
        EXPECT_EQ(itemAnnouncements(s, at), c.items) << c.hits << " hits";
        EXPECT_EQ(s.form.race.points, 10 * 20 + 2000 * c.hits) << c.hits << " hits";
        EXPECT_EQ(s.form.bonus.bonusScore, 0);
    }
}

TEST(BonusRound, TheRaceResumesWhereItStoppedAndTheLevelChangeFinishes) {
    RaceScenario s;
    startBefore(s, 10);
    s.form.race.speed = 100;
    s.form.ajustTimers(0);
    s.platform.script = {uFor(3, 3), uFor(4, 4)};  // the first car: right lane, type 4
    s.press(vk::Up);
    ASSERT_TRUE(s.runUntil([&] { return s.form.traffic.inprog && s.compEngine(4).getVolume() == -3500; }));
    s.form.race.m_lap = 50;
    ASSERT_TRUE(s.runUntil([&] { return s.form.bonus.bonusActive; }, 3000)) << "tmrGo ends the level";
    const int volume = s.compEngine(4).getVolume();
    EXPECT_EQ(s.form.race.levels, 10);
    EXPECT_EQ(s.form.race.speed, 100);
    EXPECT_FALSE(s.looping(s.compEngine(4)));
    s.form.race.hasSaved = true;

    finishRound(s);
    EXPECT_EQ(s.form.race.levels, 10);
    EXPECT_EQ(s.form.race.speed, 60);
    EXPECT_FALSE(s.form.race.hasSaved);
    EXPECT_TRUE(s.form.race.game);
    EXPECT_TRUE(s.form.race.hasStarted);
    EXPECT_TRUE(s.form.tmrGo.enabled());
    EXPECT_TRUE(s.looping(s.playerEngine()));
    EXPECT_TRUE(s.form.tmrRace.enabled());
    EXPECT_TRUE(s.form.tmrComp.enabled());
    EXPECT_TRUE(s.form.traffic.inprog);
    EXPECT_EQ(s.compEngine(4).getVolume(), volume);
    EXPECT_TRUE(s.form.sound.bonus.gun == nullptr) << "the bonus bank is let go";
    EXPECT_FALSE(s.form.tmrBonus.enabled());
    EXPECT_FALSE(s.form.tmrBstart.enabled());
    // The car comes on from where it was and arrives.
    const int avoided = s.form.race.stats.carsAvoided;
    ASSERT_TRUE(s.runUntil([&] { return s.form.race.stats.carsAvoided == avoided + 1; }, 5000));
}

TEST(BonusRound, TheRoundCanComeAgainAtTheNextTenthLevel) {
    RaceScenario s;
    startBefore(s, 10);
    playRound(s, 1);
    for (int level = 11; level < 20; ++level) s.form.levelup(false);
    EXPECT_FALSE(s.form.bonus.bonusActive);
    const auto at = playRound(s, 2);
    EXPECT_EQ(s.form.race.levels, 20);
    EXPECT_EQ(s.count("load sounds/bonus/bonusround.wav", at), 1);
    EXPECT_EQ(s.count("play sounds/bonus/bget.wav once", at), 2);
}

}  // namespace
}  // namespace zorvan::test
