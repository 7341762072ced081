#pragma once
// The system speech through speech-dispatcher (libspeechd), what Orca speaks through: the
// player's own voice, rate and language. Linux only.

#include <memory>

#include "platform/speech.h"

namespace zorvan {

// Connects on its first open(), starting speech-dispatcher where the system lets it.
std::unique_ptr<SystemSpeech> makeSpeechdSpeech();

}  // namespace zorvan
