#pragma once
// Sample buffers, WAV files and the level and timing processing every clip goes through.
// Everything here is deterministic: the same input gives the same output, bit for bit.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace zorvan::soundpack {

// Planar float audio, nominal range -1..1.
struct Audio {
    int rate = 22050;                    // samples per second
    std::vector<std::vector<float>> ch;  // one vector per channel, all the same length

    Audio() = default;
    Audio(int rate, int channels, std::size_t frames)
        : rate(rate), ch(static_cast<std::size_t>(channels), std::vector<float>(frames, 0.0f)) {}

    int channels() const { return static_cast<int>(ch.size()); }
    std::size_t frames() const { return ch.empty() ? 0 : ch[0].size(); }
    double seconds() const { return rate > 0 ? double(frames()) / rate : 0.0; }
};

// A RIFF WAVE file as read back: only what the game and the tests care about.
struct WavFile {
    int formatTag = 0;      // 1 = PCM
    int channels = 0;
    int rate = 0;
    int bitsPerSample = 0;
    Audio audio;            // decoded to float
};

// 16-bit PCM RIFF WAVE, interleaved. Samples are rounded to the nearest step and clamped.
std::vector<std::uint8_t> encodeWav16(const Audio& audio);
// Reads 8- or 16-bit PCM WAV. Throws std::runtime_error with a reason on anything else.
WavFile decodeWav(std::span<const std::uint8_t> bytes);
WavFile readWavFile(const std::string& path);

std::vector<std::uint8_t> readFileBytes(const std::string& path);  // throws when unreadable

// ---- conversions -------------------------------------------------------------------------

// Band-limited rate conversion (libsoxr, very high quality).
Audio resample(const Audio& in, int newRate);
// Mono to N channels (copies) or N to mono (average); same channel count returns a copy.
Audio withChannels(const Audio& in, int channels);
// Places a mono signal in a stereo field: pan -1 left only .. 1 right only. The centre keeps
// full level on both sides; off centre the far side is turned down.
Audio panMono(const Audio& mono, double pan);
void append(Audio& dst, const Audio& src);  // same rate and channel count required

// ---- levels ------------------------------------------------------------------------------

double dbToGain(double db);
double gainToDb(double gain);
float peakOf(const Audio& a);
// Loudness of the audible part: RMS over 20 ms blocks, taking only blocks within 25 dB of
// the loudest block and above -60 dBFS, so pauses between words do not count.
// Returns -200 for silence.
double gatedRmsDb(const Audio& a);
void applyGain(Audio& a, double gain);
// Look-ahead peak limiter: no sample above `ceiling` afterwards, gain ramps over `windowMs`.
// Leaves passages below the ceiling untouched.
void limitPeaks(Audio& a, float ceiling, double windowMs = 3.0);
void removeDc(Audio& a);
// First-order high-pass, cut-off in Hz: removes an offset while silence stays at zero.
void highPass(Audio& a, double hz);

// ---- timing ------------------------------------------------------------------------------

// Cuts leading and trailing stretches whose short-term level (RMS over 10 ms) stays below
// `thresholdDb` (dBFS), keeping `leadMs` before the first and `tailMs` after the last moment
// above it, with raised-cosine fades over the kept margins so the cut makes no click.
void trimSilence(Audio& a, double thresholdDb, double leadMs, double tailMs);
// Cuts the end where every channel stays below thresholdDb (dBFS), keeping `keepMs` of it.
void trimTail(Audio& a, double thresholdDb, double keepMs);
void fadeIn(Audio& a, double ms);
void fadeOut(Audio& a, double ms);
Audio silence(int rate, int channels, double seconds);

// ---- analysis (also used by the tests) ---------------------------------------------------

// Length of the run at the start (or end) where every channel stays below thresholdDb, in ms.
double leadingSilenceMs(const Audio& a, double thresholdDb);
double trailingSilenceMs(const Audio& a, double thresholdDb);

// How the end of a loop meets its start, per channel, worst channel reported.
struct SeamReport {
    double seamStep = 0;     // |x[0] - x[N-1]|
    double localStep = 0;    // largest |x[i+1] - x[i]| within 5 ms on both sides of the seam, seam excluded
    double seamRmsDb = 0;    // RMS of the 20 ms straddling the seam, dBFS
    double loopMinRmsDb = 0; // quietest and loudest 20 ms elsewhere in the loop (10 ms steps), dBFS:
    double loopMaxRmsDb = 0; //   the seam should be like any other moment of the loop
};
SeamReport analyseSeam(const Audio& a);

}  // namespace zorvan::soundpack
