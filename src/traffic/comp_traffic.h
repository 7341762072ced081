#pragma once
// The computer cars on the road: the first car (three launch slots, one on the road at a
// time) and the second car, their state, their pass sounds and the handlers of their timers.
// Both approach and fade by the same step; only their timers, flags and lanes differ.

#include <array>
#include <cstdint>
#include <functional>
#include <memory>

#include "car/car.h"
#include "race/race_context.h"
#include "sound/sound_system.h"
#include "traffic/compcar.h"
#include "traffic/second_car.h"

namespace zorvan {

class CompTraffic {
public:
    // Sound levels of a car on the road, hundredths of a decibel.
    static constexpr std::int32_t kFarVolume = -5000;   // launched, or faded away
    static constexpr std::int32_t kApproachStep = 300;  // louder per approach tick
    static constexpr std::int32_t kFadeStep = 500;      // quieter per fade tick

    CompTraffic(RaceContext& ctx, std::unique_ptr<car>& player);
    CompTraffic(const CompTraffic&) = delete;
    CompTraffic& operator=(const CompTraffic&) = delete;

    // ---- the first computer car ----
    std::int16_t comp_position = 0;  // lane of the approaching computer car: -3, 0, 3
    bool comp_passed = false;        // the computer car is fading away behind the player
    std::int16_t carindex = 0;       // type 1-4 of the approaching computer car, 0 none
    bool inprog = false;             // a computer car is on the road
    std::int16_t carinprog = 0;      // number 1-3 of the computer car last launched, 0 none
    std::array<std::unique_ptr<compcar>, 3> compCars;

    // ---- the second computer car ----
    SecondCarModule seccar;

    // "t_pass1" of either car in the "tetriss" theme, loaded anew for every pass.
    SoundSlot passSound, secondPassSound;
    bool passSoundOn = false, secondPassSoundOn = false;

    // Made for every new or loaded game, let go at its end.
    void createCars();
    void releaseCars();
    void releaseSounds();
    // Nothing on the road and nothing launched: the start of a new or a loaded game.
    void clearRoad();
    // What the player car's reset clears.
    void carReset();

    void tmrComp_Timer();
    void tmrRace_Timer();
    void tmrWoosh_Timer();
    void comp_crash();
    // The lazer fired along `lane`: the second car, then the first, if approaching there.
    void lazerShot(std::int16_t lane);

    bool inCompLane() const;
    bool inSecondCarLane() const;

    // One of the two cars as the shared step sees it.
    struct Lane {
        Timer& approachTimer;
        Timer& fadeTimer;
        bool& onRoad;   // inprog, secondCarInProgress
        bool& passing;  // comp_passed, secondCarPassing
        SoundSlot& passSound;
        bool& passSoundOn;
        bool (CompTraffic::*inLane)() const;  // judged at the arrival tick only
    };
    // One approach tick: the loop plays and comes one step closer; from -200 it arrives,
    // hits the player or goes by, and is handed to the fade.
    void approach(Lane& lane, SoundBuffer& engine);
    // One fade tick: the pass sound once, then quieter by one step until it is gone.
    void fade(Lane& lane, SoundBuffer& engine);

    Lane first, second;

private:
    RaceContext& ctx_;
    std::unique_ptr<car>& player_;
    friend class SecondCarModule;
};

}  // namespace zorvan
