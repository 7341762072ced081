#pragma once
// The synthesized sounds, by name. Each generator renders at the rate it is asked for and
// returns mono or stereo as suits the sound; the pack converts the channel count.

#include <string>
#include <vector>

#include "audio.h"

namespace zorvan::soundpack {

struct FxInfo {
    const char* name;
    bool loop;  // made as a seamless loop
    Audio (*render)(int rate);
};

// Throws std::invalid_argument for an unknown name.
Audio renderFx(const std::string& name, int rate);
const FxInfo* findFx(const std::string& name);
const std::vector<FxInfo>& allFx();

// Parts kept in music.cpp, registered by allFx().
Audio fxMenuMusic(int rate);
Audio fxIntro(int rate);
Audio fxFarewell(int rate);
Audio fxLogo(int rate);

}  // namespace zorvan::soundpack
