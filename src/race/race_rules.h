#pragma once
// The rules of the race as the car, the traffic and the bonus round call them. The main form
// implements them; they are the only code that changes the points and the lifes.

#include <cstdint>
#include <string_view>

#include "race/race_state.h"

namespace zorvan {

class RaceRules {
public:
    // Points for a car gone by or a level: may beat the all-time high score, which is
    // announced once per game.
    virtual void addPoints(std::int32_t amount) = 0;
    // Points won as a prize (an item, the bonus round): counted without the high-score check.
    virtual void addPrizePoints(std::int32_t amount) = 0;
    // The "extralife" item.
    virtual void addLife() = 0;
    // A computer car arrived in the player's lane.
    virtual void crashIntoCar() = 0;
    virtual void levelup(bool noLevelUp) = 0;
    virtual void gameOver(std::string_view wichStile) = 0;
    // A hole announced in a random lane (a road event).
    virtual void randomHole() = 0;
    // The lazer canon fired along `lane`: whatever approaches there is destroyed.
    virtual void lazerShot(std::int16_t lane) = 0;
    virtual void stopgame() = 0;
    virtual void resumeGame() = 0;
    virtual void speakPoints() = 0;
    // A game continued from where it was saved: its points and lifes as they were.
    virtual void restoreScore(std::int32_t points, std::int16_t lifes) = 0;

protected:
    ~RaceRules() = default;
    static void setPoints(RaceState& state, std::int32_t points) { state.points = points; }
    static void setLifes(RaceState& state, std::int16_t lifes) { state.m_lifes = lifes; }
};

}  // namespace zorvan
