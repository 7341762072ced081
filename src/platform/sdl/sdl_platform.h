#pragma once
// The real platform: an SDL2 window with its keyboard and audio device, the INI settings
// store, the program folder, and libcurl for HTTP.

#include <chrono>
#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/ports.h"

namespace zorvan {

// Opens the window "Zorvan!" and the default audio device. Throws std::runtime_error
// naming what failed.
std::unique_ptr<Platform> makeSdlPlatform();

// The rest takes a platform made by makeSdlPlatform.
// A yes/no question in the accessible box (SDL's own when that cannot run); true for yes.
bool askYesNo(Platform& platform, std::string_view title, std::string_view text);
// Runs a program of the game folder and waits for it, the window and the sound going on
// meanwhile; its exit status, or nothing when it could not run.
std::optional<int> runGameProgram(Platform& platform, const std::string& name);
bool gameHasProgram(const std::string& name);
// Told of every block the audio device pulls, on the audio thread: when its callback began
// and what was mixed. For measuring latency; it must neither block nor allocate.
using AudioBlockObserver = void (*)(void* context, std::chrono::steady_clock::time_point began,
                                    const float* stereo, std::size_t frames);
std::unique_ptr<Platform> makeSdlPlatform(AudioBlockObserver observer, void* context);

}  // namespace zorvan
