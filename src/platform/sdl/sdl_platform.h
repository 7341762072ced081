#pragma once
// The real platform: an SDL2 window with its keyboard and audio device, the INI settings
// store, the program folder, and libcurl for HTTP.

#include <chrono>
#include <cstddef>
#include <memory>

#include "platform/ports.h"

namespace zorvan {

// Opens the window "Zorvan!" and the default audio device. Throws std::runtime_error
// naming what failed.
std::unique_ptr<Platform> makeSdlPlatform();

// Told of every block the audio device pulls, on the audio thread: when its callback began
// and what was mixed. For measuring latency; it must neither block nor allocate.
using AudioBlockObserver = void (*)(void* context, std::chrono::steady_clock::time_point began,
                                    const float* stereo, std::size_t frames);
std::unique_ptr<Platform> makeSdlPlatform(AudioBlockObserver observer, void* context);

}  // namespace zorvan
