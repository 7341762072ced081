#pragma once
// The size of the audio device's buffer, read from the settings store ("Kestrine", section
// "zorvan", key "audiobuffer"). Small buffers keep a key press close to its sound; a machine
// that crackles can ask for a larger one.

#include <ostream>

#include "platform/ports.h"

namespace zorvan {

struct AudioBuffer {
    static constexpr int kDefaultFrames = 256;  // 5.3 ms at 48 kHz
    static constexpr int kMinFrames = 64;
    static constexpr int kMaxFrames = 4096;
};

// The buffer in frames. A value that is not a whole number from 64 to 4096 gives the default,
// with one line on `errors` saying so; an absent or empty value gives the default silently.
int audioBufferFrames(SettingsStore& settings, std::ostream& errors);

}  // namespace zorvan
