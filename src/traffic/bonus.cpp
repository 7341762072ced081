#include "traffic/bonus.h"

#include <algorithm>

#include "car/car.h"
#include "race/race_context.h"
#include "race/random_draw.h"
#include "platform/keys.h"

namespace zorvan {

namespace {
constexpr std::int32_t kTwoPrizeScore = 20000;  // exactly this wins two items
constexpr std::int32_t kOnePrizeScore = 10000;  // any other score from here wins one
constexpr int kSweepSpeedUpMs = 20;             // each new target moves this much faster
}  // namespace

bool BonusRound::bonusKeyDown(int keyCode) {
    if (!bonusActive && !bonusEnding) return false;
    if (keyCode == vk::Ctrl) {
        if (bonusActive) fireBonusGun();
    } else if (keyCode == ctx_.keyMap.kscore) {
        ctx_.rules.speakPoints();
    }
    return true;
}

void BonusRound::startBonusRound() {
    ctx_.tmrBonus.setHandler([this] { tmrBonus_Timer(); });
    ctx_.tmrBstart.setHandler([this] { tmrBstart_Timer(); });
    ctx_.rules.stopgame();
    SoundSystem& sound = ctx_.sound;
    sound.loadBonusSounds();
    bonusTargetCount = 0;
    bonusTargetActive = false;
    bonusShotBusy = false;
    bonusScore = 0;
    bonusActive = true;
    for (auto& target : sound.bonus.bonusTargetSounds) target->setPan(kWaitingPan);
    sound.bonus.announcement->play(false);
    sound.waitWhilePlaying(sound.bonus.announcement);
    ctx_.tmrBonus.setInterval(kSequencerMs);
    ctx_.tmrBstart.setInterval(kFirstSweepMs);
    ctx_.tmrBonus.setEnabled(true);
}

void BonusRound::tmrBonus_Timer() {
    if (!bonusActive || bonusTargetActive) return;
    bonusTargetActive = true;
    bonusTarget = static_cast<std::int16_t>(roundedDrawUpTo(ctx_.platform, 4));
    ++bonusTargetCount;
    if (bonusTargetCount == kTargets + 1) {
        ctx_.tmrBonus.setEnabled(false);
        endBonusRound();
        return;
    }
    Timer& sweep = ctx_.tmrBstart;
    if (sweep.interval() > kSweepSpeedUpMs) sweep.setInterval(sweep.interval() - kSweepSpeedUpMs);
    if (sweep.interval() < 1) sweep.setInterval(1);
    sweep.setEnabled(true);
}

void BonusRound::tmrBstart_Timer() {
    SoundSlot* target = bonusTarget >= 1 && bonusTarget <= 4
                            ? &ctx_.sound.bonus.bonusTargetSounds[static_cast<std::size_t>(bonusTarget - 1)]
                            : nullptr;
    if (!target || !*target) {
        ctx_.tmrBstart.setEnabled(false);
        return;
    }
    SoundBuffer& sound = **target;
    const std::int32_t pan = sound.getPan();
    if (pan <= kLeavingPan) {
        sound.play(false);
        sound.setPan(pan + kPanStep);
    } else {
        // Nobody shot at it: it costs nothing.
        ctx_.tmrBstart.setEnabled(false);
        resetBonusTargets();
    }
}

void BonusRound::fireBonusGun() {
    if (bonusShotBusy || !bonusActive) return;
    bonusShotBusy = true;
    BonusBank& bank = ctx_.sound.bonus;
    if (bank.gun) {
        bank.gun->rewind();
        bank.gun->setPan(0);
        bank.gun->play(false);
    }
    if (isTargetCentred()) bonusHit();
    else bonusMiss();
    // The round may end meanwhile and let go of the gun: the wait looks at the slot.
    ctx_.sound.waitWhilePlaying(bank.gun);
    bonusShotBusy = false;
}

bool BonusRound::isTargetCentred() const {
    for (const auto& target : ctx_.sound.bonus.bonusTargetSounds) {
        if (!target) continue;
        const std::int32_t pan = target->getPan();
        if (pan > -kHitWindow && pan < kHitWindow) return true;
    }
    return false;
}

void BonusRound::bonusHit() {
    if (SoundSlot& hit = ctx_.sound.bonus.hit) {
        hit->rewind();
        hit->setPan(0);
        hit->play(false);
    }
    resetBonusTargets();
    bonusScore += kHitPoints;
}

void BonusRound::bonusMiss() {
    resetBonusTargets();
    bonusScore = std::max(0, bonusScore - kHitPoints);
}

void BonusRound::resetBonusTargets() {
    bonusTargetActive = false;
    for (auto& target : ctx_.sound.bonus.bonusTargetSounds) {
        if (!target) continue;
        target->setPan(kWaitingPan);
        target->stop();
        target->rewind();
    }
    ctx_.tmrBstart.setEnabled(false);
}

void BonusRound::endBonusRound() {
    bonusActive = false;
    bonusEnding = true;
    resetBonusTargets();
    SoundSystem& sound = ctx_.sound;
    sound.waitWhilePlaying(sound.bonus.gun);
    sound.unloadBonusSounds();
    ctx_.tmrBonus.setEnabled(false);

    ctx_.rules.addPrizePoints(bonusScore);
    if (bonusScore == kTwoPrizeScore) awardBonusItems(2);
    else if (bonusScore >= kOnePrizeScore) awardBonusItems(1);
    // Queued after the prizes have been announced, so it is heard after them.
    ctx_.numbers.speakNumber(bonusScore, false);
    bonusScore = 0;

    ctx_.rules.levelup(true);
    ctx_.rules.resumeGame();
    bonusEnding = false;
}

void BonusRound::awardBonusItems(std::int16_t count) {
    for (int i = 0; i < count && player_; ++i) {
        player_->randomizeItem();
        ctx_.sound.waitWhilePlaying(ctx_.sound.speechChannelB);
    }
}

}  // namespace zorvan
