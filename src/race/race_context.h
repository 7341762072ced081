#pragma once
// What the race's modules (the car, the computer cars, the bonus round) are given to work
// with: the platform's services, the sound, the menus' choices, the timers that drive the
// race, the state of the running game and its rules. The main form builds one and hands it
// to each module, so none of them needs the form itself.

#include <string>

#include "menus/key_map.h"
#include "menus/menus.h"
#include "platform/event_loop.h"
#include "platform/ports.h"
#include "race/race_rules.h"
#include "race/race_state.h"
#include "sound/number_system.h"
#include "sound/sound_system.h"

namespace zorvan {

struct RaceContext {
    Platform& platform;
    EventLoop& loop;
    SoundSystem& sound;
    NumberSystem& numbers;
    Menus& menus;             // the car type and the difficulty chosen
    const KeyMap& keyMap;
    const std::string& mode;  // the sound theme: "tetriss" or "arcade"
    RaceState& race;
    RaceRules& rules;

    // The timers the modules start and stop themselves.
    Timer& tmrGo;
    Timer& tmrItem;
    Timer& tmrRace;
    Timer& tmrWoosh;
    Timer& tmrSrace;
    Timer& tmrSwoosh;
    Timer& tmrBonus;
    Timer& tmrBstart;

    bool tetriss() const { return mode == "tetriss"; }
};

}  // namespace zorvan
