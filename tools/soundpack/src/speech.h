#pragma once
// Spoken words from Festival's text2wave, and the processing that makes every spoken clip
// flow into the next: trimmed to within a few milliseconds of the voice, at one loudness.

#include <string>

#include "audio.h"

namespace zorvan::soundpack {

// Loudness of every spoken part, gated RMS in dBFS (see gatedRmsDb).
inline constexpr double kSpeechLoudnessDb = -20.0;
// Ceiling of every sample of the pack, dBFS: under the required -1 dBFS with room for rounding.
inline constexpr double kPeakCeilingDb = -1.2;
// Below this short-term level a stretch at either end of a spoken part counts as silence and is
// cut: 28 dB under the voice, above the synthesizer's breath noise, below soft consonants.
inline constexpr double kSilenceDb = -48.0;
// Kept before the voice starts: the faint lead-in of a /t/ under the threshold carries it ("two"
// cut closer is heard as "zero").
inline constexpr double kLeadKeepMs = 15.0;
inline constexpr double kTailKeepMs = 8.0;  // kept after it ends (word endings fade slowly)

// The text handed to the synthesizer for `text`: a few words respelled where the voice's own
// rendering is misheard ("eighty" with a flapped t sounds like "exit").
std::string spokenForm(const std::string& text);

class SpeechSynth {
public:
    // `cacheDir` holds the synthesizer's raw output, keyed by voice and text, so the slow step
    // runs once per distinct text, however often the processing after it changes.
    SpeechSynth(std::string cacheDir, std::string voice = "cmu_us_slt_arctic_hts");

    // The synthesizer's output for `text` (in its spoken form), as it made it. Throws std::runtime_error with the
    // synthesizer's own complaint when it fails.
    Audio raw(const std::string& text);

    const std::string& voice() const { return voice_; }
    std::string cacheKey(const std::string& text) const;

private:
    std::string cacheDir_;
    std::string voice_;
};

// Raw synthesizer output to a finished spoken part: rate converted, loudness set, peaks
// limited, silence (under `silenceDb`) trimmed.
Audio finishSpeech(const Audio& raw, int rate, double silenceDb = kSilenceDb);

}  // namespace zorvan::soundpack
