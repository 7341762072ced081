#pragma once
// The state of the running game: what the car, the traffic, the bonus round, the saved game
// and the records read. The main form owns the one instance. Every module may read it and
// write its own flags, but points and lifes change only through the rules (race_rules.h):
// their assignment is reachable from RaceRules alone.

#include <cstdint>
#include <ostream>
#include <string>

namespace zorvan {

class RaceRules;

// A counter anyone may read as a plain number but only the rules may set.
template <typename Int>
class RuledCounter {
public:
    constexpr RuledCounter() = default;
    constexpr operator Int() const { return value_; }
    constexpr Int value() const { return value_; }
    friend std::ostream& operator<<(std::ostream& out, const RuledCounter& c) { return out << +c.value_; }

private:
    friend class RaceRules;
    constexpr RuledCounter(const RuledCounter&) = default;
    constexpr RuledCounter& operator=(const RuledCounter&) = default;
    constexpr RuledCounter& operator=(Int value) {
        value_ = value;
        return *this;
    }
    Int value_ = 0;
};

// The statistics counters of one game, zeroed by newGame and reported at its end.
struct GameStats {
    std::int16_t lazerCollected = 0, brakesCollected = 0, repairsCollected = 0;
    std::int16_t lazerUsed = 0, brakesUsed = 0, repairsUsed = 0;
    std::int32_t carsAvoided = 0, carsBlasted = 0;
    std::int32_t earnedPosition = 0;  // place in the local top ten, 0 for none
};

struct RaceState {
    RaceState() = default;
    RaceState(const RaceState&) = delete;
    RaceState& operator=(const RaceState&) = delete;

    RuledCounter<std::int32_t> points;
    RuledCounter<std::int16_t> m_lifes;
    std::int16_t m_x = 0;            // distance run in this level
    std::int16_t m_lap = 0;          // distance run in this level; 51 or more ends it
    float m_speed = 0;               // added to the distance every second
    std::int16_t itemposition = 0;   // lane of the item on the road
    std::int32_t speed = 0;          // interval of tmrRace and tmrWoosh, ms
    std::int32_t secondSpeed = 0;    // interval of tmrSrace and tmrSwoosh, ms
    std::int32_t levels = 0;
    bool hasStarted = false;  // the player car was started with the start key
    bool newscore = false;    // the points passed the all-time high score in this game
    bool skidding = false;    // tmrAccelerate is in use for this car type
    bool game = false;
    bool pause = false;
    bool inExitPrompt = false;
    bool hasSaved = false;          // saved in the current level
    std::int16_t holeLane = 0;      // lane of the hole last announced: -3, 0, 3
    std::string endCause;           // why the last game ended: "cars", "hole" or "escape"
    GameStats stats;
};

}  // namespace zorvan
