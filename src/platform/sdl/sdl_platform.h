#pragma once
// The real platform: an SDL2 window with its keyboard and audio device, the INI settings
// store, the program folder, and libcurl for HTTP.

#include <memory>

#include "platform/ports.h"

namespace zorvan {

// Opens the window "Zorvan!" and the default audio device. Throws std::runtime_error
// naming what failed.
std::unique_ptr<Platform> makeSdlPlatform();

}  // namespace zorvan
