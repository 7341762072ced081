#include "traffic/bonus.h"

#include <algorithm>

#include "game/main_form.h"
#include "game/random_draw.h"
#include "game/saturating.h"
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
    } else if (keyCode == form_.keyMap.kscore) {
        form_.speakPoints();
    }
    return true;
}

void BonusRound::startBonusRound() {
    form_.tmrBonus.setHandler([this] { tmrBonus_Timer(); });
    form_.tmrBstart.setHandler([this] { tmrBstart_Timer(); });
    form_.stopgame();
    SoundSystem& sound = form_.sound;
    sound.loadBonusSounds();
    bonusTargetCount = 0;
    bonusTargetActive = false;
    bonusShotBusy = false;
    bonusScore = 0;
    bonusActive = true;
    for (auto& target : sound.bonus.bonusTargetSounds) target->setPan(kWaitingPan);
    sound.bonus.announcement->play(false);
    sound.waitWhilePlaying(sound.bonus.announcement);
    form_.tmrBonus.setInterval(kSequencerMs);
    form_.tmrBstart.setInterval(kFirstSweepMs);
    form_.tmrBonus.setEnabled(true);
}

void BonusRound::tmrBonus_Timer() {
    if (!bonusActive || bonusTargetActive) return;
    bonusTargetActive = true;
    bonusTarget = static_cast<std::int16_t>(roundedDrawUpTo(form_.platform, 4));
    ++bonusTargetCount;
    if (bonusTargetCount == kTargets + 1) {
        form_.tmrBonus.setEnabled(false);
        endBonusRound();
        return;
    }
    Timer& sweep = form_.tmrBstart;
    if (sweep.interval() > kSweepSpeedUpMs) sweep.setInterval(sweep.interval() - kSweepSpeedUpMs);
    if (sweep.interval() < 1) sweep.setInterval(1);
    sweep.setEnabled(true);
}

void BonusRound::tmrBstart_Timer() {
    SoundSlot* target = bonusTarget >= 1 && bonusTarget <= 4
                            ? &form_.sound.bonus.bonusTargetSounds[static_cast<std::size_t>(bonusTarget - 1)]
                            : nullptr;
    if (!target || !*target) {
        form_.tmrBstart.setEnabled(false);
        return;
    }
    SoundBuffer& sound = **target;
    const std::int32_t pan = sound.getPan();
    if (pan <= kLeavingPan) {
        sound.play(false);
        sound.setPan(pan + kPanStep);
    } else {
        // Nobody shot at it: it costs nothing.
        form_.tmrBstart.setEnabled(false);
        resetBonusTargets();
    }
}

void BonusRound::fireBonusGun() {
    if (bonusShotBusy || !bonusActive) return;
    bonusShotBusy = true;
    BonusBank& bank = form_.sound.bonus;
    if (bank.gun) {
        bank.gun->rewind();
        bank.gun->setPan(0);
        bank.gun->play(false);
    }
    if (isTargetCentred()) bonusHit();
    else bonusMiss();
    // The round may end meanwhile and let go of the gun: the wait looks at the slot.
    form_.sound.waitWhilePlaying(bank.gun);
    bonusShotBusy = false;
}

bool BonusRound::isTargetCentred() const {
    for (const auto& target : form_.sound.bonus.bonusTargetSounds) {
        if (!target) continue;
        const std::int32_t pan = target->getPan();
        if (pan > -kHitWindow && pan < kHitWindow) return true;
    }
    return false;
}

void BonusRound::bonusHit() {
    if (SoundSlot& hit = form_.sound.bonus.hit) {
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
    for (auto& target : form_.sound.bonus.bonusTargetSounds) {
        if (!target) continue;
        target->setPan(kWaitingPan);
        target->stop();
        target->rewind();
    }
    form_.tmrBstart.setEnabled(false);
}

void BonusRound::endBonusRound() {
    bonusActive = false;
    bonusEnding = true;
    resetBonusTargets();
    SoundSystem& sound = form_.sound;
    sound.waitWhilePlaying(sound.bonus.gun);
    sound.unloadBonusSounds();
    form_.tmrBonus.setEnabled(false);

    form_.points = saturatingAdd(form_.points, bonusScore);
    if (bonusScore == kTwoPrizeScore) awardBonusItems(2);
    else if (bonusScore >= kOnePrizeScore) awardBonusItems(1);
    // Queued after the prizes have been announced, so it is heard after them.
    form_.numbers.speakNumber(bonusScore, false);
    bonusScore = 0;

    form_.levelup(true);
    form_.resumeGame();
    bonusEnding = false;
}

void BonusRound::awardBonusItems(std::int16_t count) {
    for (int i = 0; i < count && form_.player; ++i) {
        form_.player->randomizeItem();
        form_.sound.waitWhilePlaying(form_.sound.speechChannelB);
    }
}

}  // namespace zorvan
