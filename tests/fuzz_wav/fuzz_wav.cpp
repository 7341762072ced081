// libFuzzer target: the WAV decoder on any file a player drops into the sounds folder.
// A clip it accepts is mono or stereo at a usable rate, holds whole frames only, every
// sample within -1..1, and never more samples than the file has bytes.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>

#include "sound/mixer.h"

namespace {

void require(bool holds) {
    if (!holds) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string error = "unset";
    const auto clip = zorvan::decodeWav(std::span<const std::uint8_t>(data, size), &error);
    if (!clip) {
        require(!error.empty() && error != "unset");
        return 0;
    }
    require(error.empty());
    require(clip->channels == 1 || clip->channels == 2);
    require(clip->rate > 0);
    require(clip->samples.size() % clip->channels == 0);
    require(clip->samples.size() <= size);
    for (float s : clip->samples) require(std::isfinite(s) && s >= -1.0f && s <= 1.0f);
    return 0;
}
