#include "loudness.h"

#include <ebur128.h>

#include <cmath>
#include <limits>
#include <memory>
#include <regex>
#include <stdexcept>

namespace zorvan::soundpack {

namespace {

struct StateDeleter {
    void operator()(ebur128_state* s) const { ebur128_destroy(&s); }
};

template <typename F>
double measure(const Audio& a, double speed, int mode, F&& read) {
    if (a.frames() == 0) return -std::numeric_limits<double>::infinity();
    const auto rate = static_cast<unsigned long>(std::lround(a.rate * speed));
    std::unique_ptr<ebur128_state, StateDeleter> st(ebur128_init(2, rate, mode));
    if (!st) throw std::runtime_error("libebur128 cannot measure at this rate");
    const std::size_t block = static_cast<std::size_t>(0.4 * double(rate));
    const std::size_t frames = std::max(a.frames(), block);
    std::vector<float> buf(2 * frames, 0.0f);
    const auto& l = a.ch[0];
    const auto& r = a.ch[a.channels() > 1 ? 1 : 0];
    for (std::size_t i = 0; i < a.frames(); ++i) {
        buf[2 * i] = l[i];
        buf[2 * i + 1] = r[i];
    }
    ebur128_add_frames_float(st.get(), buf.data(), frames);
    double out = 0;
    if (read(st.get(), &out) != EBUR128_SUCCESS) throw std::runtime_error("libebur128 failed");
    return std::isfinite(out) ? out : -std::numeric_limits<double>::infinity();
}

}  // namespace

double integratedLufs(const Audio& a, double speed) {
    return measure(a, speed, EBUR128_MODE_I, [](ebur128_state* s, double* o) { return ebur128_loudness_global(s, o); });
}

double loudnessRange(const Audio& a) {
    return measure(a, 1.0, EBUR128_MODE_LRA, [](ebur128_state* s, double* o) { return ebur128_loudness_range(s, o); });
}

const char* kindName(LoudnessKind kind) {
    switch (kind) {
        case LoudnessKind::Speech: return "speech";
        case LoudnessKind::Effect: return "effect";
        case LoudnessKind::Crash: return "crash";
        case LoudnessKind::Music: return "music";
        case LoudnessKind::Engine: return "engine";
        case LoudnessKind::Overlay: return "overlay";
        case LoudnessKind::Bed: return "bed";
    }
    return "?";
}

namespace {

LoudnessTarget make(LoudnessKind kind, double lufs, int volume, double speed) {
    if (kind == LoudnessKind::Effect) return {kind, lufs, volume, speed, kSpeechLufs - 10.0, kSpeechLufs};
    return {kind, lufs, volume, speed, lufs - kLoudnessToleranceLu, lufs + kLoudnessToleranceLu};
}

}  // namespace

LoudnessTarget loudnessTarget(const Clip& clip) {
    static const std::regex engine(R"(sounds/car/[1-4]\.wav)");
    static const std::regex crash(R"(sounds/misc/(c_hit|crash)\d\.wav|sounds/car/carexplode\.wav|sounds/fallhole\.wav|sounds/tetriss/t_hit\.wav)");
    static const std::regex overlay(R"(sounds/(bad_enjen|bad_lego|brkon)\.wav)");
    const std::string& p = clip.path;
    // The race plays the road at 44100 Hz, twice its file's rate (and a little faster each level).
    if (p == "sounds/amb.wav") return make(LoudnessKind::Bed, kBedLufs, 0, 44100.0 / clip.rate);
    if (p == "sounds/menu/music.wav") return make(LoudnessKind::Music, kMusicLufs, 0, 1.0);
    if (std::regex_match(p, engine)) return make(LoudnessKind::Engine, kEngineLufs, int(kPlayerEngineVolume), 1.0);
    if (std::regex_match(p, overlay)) return make(LoudnessKind::Overlay, kOverlayLufs, 0, 1.0);
    if (std::regex_match(p, crash)) return make(LoudnessKind::Crash, kCrashLufs, 0, 1.0);
    bool words = false;
    for (const auto& s : clip.segments) words = words || s.kind == Segment::Kind::Say;
    if (words) return make(LoudnessKind::Speech, kSpeechLufs, 0, 1.0);
    return make(LoudnessKind::Effect, kEffectLufs, 0, 1.0);
}

}  // namespace zorvan::soundpack
