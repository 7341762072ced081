#pragma once
// The bonus round: a shooting gallery of sound that stops the race at levels 10, 20 ... 150 in
// the "arcade" theme. Twenty targets in turn sweep the stereo field from left to right, each
// faster than the one before; Ctrl fires when a target passes the centre. Hits win points,
// misses lose them, a good round wins items; then the level change finishes and the race
// resumes where it stopped.

#include <cstdint>
#include <memory>

namespace zorvan {

struct RaceContext;
class car;

class BonusRound {
public:
    static constexpr int kTargets = 20;
    static constexpr std::int32_t kWaitingPan = -5000;   // where targets wait; pan units
    static constexpr std::int32_t kLeavingPan = 5000;    // past this a target has left
    static constexpr std::int32_t kPanStep = 300;        // per tick of tmrBstart
    static constexpr std::int32_t kHitWindow = 200;      // a hit needs |pan| below this
    static constexpr std::int32_t kHitPoints = 2000;     // won by a hit, lost by a miss
    static constexpr int kSequencerMs = 50;              // tmrBonus
    static constexpr int kFirstSweepMs = 400;            // tmrBstart before the first target

    BonusRound(RaceContext& ctx, std::unique_ptr<car>& player) : ctx_(ctx), player_(player) {}
    BonusRound(const BonusRound&) = delete;
    BonusRound& operator=(const BonusRound&) = delete;

    // The key handler's share while a round runs or ends; false when no round is on.
    // Ctrl fires, the points key speaks the points; every other key is swallowed.
    bool bonusKeyDown(int keyCode);

    void startBonusRound();
    void fireBonusGun();
    void resetBonusTargets();
    bool isTargetCentred() const;
    void bonusHit();
    void bonusMiss();
    void endBonusRound();
    void awardBonusItems(std::int16_t count);
    void tmrBonus_Timer();   // starts the next target
    void tmrBstart_Timer();  // moves the target across

    bool bonusActive = false;
    std::int16_t bonusTarget = 0;        // 1..4, the target sound crossing
    std::int16_t bonusTargetCount = 0;   // targets started in this round
    bool bonusTargetActive = false;      // a target is crossing
    bool bonusShotBusy = false;          // the gun sounds; further shots are ignored
    std::int32_t bonusScore = 0;         // points won in this round, 0 or more
    // The round is over but the race has not resumed yet (prizes, score): keys still stay
    // away from the stopped race.
    bool bonusEnding = false;

private:
    RaceContext& ctx_;
    std::unique_ptr<car>& player_;  // its items are the prizes
};

}  // namespace zorvan
