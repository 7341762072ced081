#pragma once
// The loudness plan: how loud each kind of clip is as the player hears it in the game (the
// clip's own level plus the volume and speed the game plays it at), in EBU R128 loudness.
// LOUDNESS.md beside the generator explains the figures; the generator levels every clip to
// its target and refuses a pack that misses one.

#include <string>

#include "audio.h"
#include "manifest.h"

namespace zorvan::soundpack {

enum class LoudnessKind {
    Speech,   // spoken clips, and jingles with words: on top of everything
    Effect,   // one-shot effects and wordless jingles
    Crash,    // hits, crashes, falls, explosions: loud, but kept near the race bed
    Music,    // the menu music, under the prompts
    Engine,   // the four engine loops; the player's own plays at -2000
    Overlay,  // loops riding on the player's engine: damaged engine, brakes ready
    Bed,      // the road ambience under the race
};

struct LoudnessTarget {
    LoudnessKind kind;
    double heardLufs;      // target as heard
    int gameVolume;        // hundredths of a dB the game plays it at
    double speed;          // playback rate over the file's rate
    double lowest;         // the window the clip must land in, as heard: a short click may not
    double highest;        //   reach its target under the peak ceiling, and stays within it
    double fileLufs() const { return heardLufs - gameVolume / 100.0; }
};

// The plan's figures, LUFS as heard.
inline constexpr double kSpeechLufs = -20.0;
inline constexpr double kEffectLufs = -23.0;
inline constexpr double kCrashLufs = -29.3;  // at most 12 LU over the bed, within 10 LU of speech
inline constexpr double kMusicLufs = -33.0;
inline constexpr double kPlayerEngineVolume = -2000;
inline constexpr double kEngineLufs = -31.5;  // the player's engine at -2000
inline constexpr double kOverlayLufs = -34.0;
// The player's engine is panned hard into a side lane (the far ear gets nothing), which costs it
// 3 LU: the bed sits 6 LU under it there too, 9.5 LU under it in the centre lane.
inline constexpr double kBedLufs = -41.0;
// A pan of 9000 hundredths of a dB, as the game pans the player's engine in a side lane.
inline constexpr int kSideLanePan = 9000;
// How far a clip may land from its target after limiting (effects: anywhere within 10 LU
// under the speech).
inline constexpr double kLoudnessToleranceLu = 0.5;

LoudnessTarget loudnessTarget(const Clip& clip);
const char* kindName(LoudnessKind kind);

// Integrated loudness (EBU R128, libebur128) of `a` played at `speed` times its rate, a mono
// clip heard on both sides as the mixer plays it. A clip shorter than one 400 ms gating block
// is measured over 400 ms. Returns -inf for silence.
double integratedLufs(const Audio& a, double speed = 1.0);
// Loudness range (EBU R128 LRA), LU.
double loudnessRange(const Audio& a);

}  // namespace zorvan::soundpack
