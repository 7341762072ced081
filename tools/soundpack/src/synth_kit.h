#pragma once
// Small building blocks for the synthesized sounds. All randomness comes from Rng with a fixed
// seed, so every sound is the same on every build.
//
// Loops are made periodic by construction: every time-varying parameter is a function of the
// position within the loop, noise is read from a table one loop long, and the generator runs
// over two loop lengths of which only the second is kept. The tails of the first pass then
// fall into the second exactly as the tails of the second would fall into a third, so the
// loop's end meets its start with no step at all.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <numbers>
#include <vector>

#include "audio.h"

namespace zorvan::soundpack::kit {

constexpr double kTwoPi = 2.0 * std::numbers::pi;

class Rng {
public:
    explicit Rng(std::uint64_t seed) : state_(seed) {}
    std::uint64_t next() {  // splitmix64
        std::uint64_t z = (state_ += 0x9e3779b97f4a7c15ULL);
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
        return z ^ (z >> 31);
    }
    double uni() { return double(next() >> 11) * (1.0 / 9007199254740992.0); }  // [0, 1)
    double bip() { return 2.0 * uni() - 1.0; }                                     // [-1, 1)
    double range(double lo, double hi) { return lo + (hi - lo) * uni(); }

private:
    std::uint64_t state_;
};

// RBJ biquad, direct form I, double precision state.
class Biquad {
public:
    void lowpass(double fc, double q, double rate) { design(0, fc, q, rate, 0); }
    void highpass(double fc, double q, double rate) { design(1, fc, q, rate, 0); }
    void bandpass(double fc, double q, double rate) { design(2, fc, q, rate, 0); }  // 0 dB at fc
    void peaking(double fc, double q, double gainDb, double rate) { design(3, fc, q, rate, gainDb); }
    double operator()(double x) {
        const double y = b0_ * x + b1_ * x1_ + b2_ * x2_ - a1_ * y1_ - a2_ * y2_;
        x2_ = x1_;
        x1_ = x;
        y2_ = y1_;
        y1_ = y;
        return y;
    }
    void reset() { x1_ = x2_ = y1_ = y2_ = 0; }

private:
    void design(int kind, double fc, double q, double rate, double gainDb) {
        fc = std::clamp(fc, 5.0, rate * 0.49);
        const double w = kTwoPi * fc / rate;
        const double cw = std::cos(w), sw = std::sin(w);
        const double alpha = sw / (2.0 * q);
        double b0, b1, b2, a0, a1, a2;
        switch (kind) {
            case 0: b0 = (1 - cw) / 2; b1 = 1 - cw; b2 = (1 - cw) / 2; a0 = 1 + alpha; a1 = -2 * cw; a2 = 1 - alpha; break;
            case 1: b0 = (1 + cw) / 2; b1 = -(1 + cw); b2 = (1 + cw) / 2; a0 = 1 + alpha; a1 = -2 * cw; a2 = 1 - alpha; break;
            case 2: b0 = alpha; b1 = 0; b2 = -alpha; a0 = 1 + alpha; a1 = -2 * cw; a2 = 1 - alpha; break;
            default: {
                const double A = std::pow(10.0, gainDb / 40.0);
                b0 = 1 + alpha * A; b1 = -2 * cw; b2 = 1 - alpha * A;
                a0 = 1 + alpha / A; a1 = -2 * cw; a2 = 1 - alpha / A;
            }
        }
        b0_ = b0 / a0; b1_ = b1 / a0; b2_ = b2 / a0; a1_ = a1 / a0; a2_ = a2 / a0;
    }
    double b0_ = 1, b1_ = 0, b2_ = 0, a1_ = 0, a2_ = 0;
    double x1_ = 0, x2_ = 0, y1_ = 0, y2_ = 0;
};

// One-pole smoother / low-pass.
class OnePole {
public:
    void cutoff(double fc, double rate) { a_ = std::exp(-kTwoPi * fc / rate); }
    double operator()(double x) { return y_ = x + a_ * (y_ - x); }
    double value() const { return y_; }
    void set(double v) { y_ = v; }

private:
    double a_ = 0, y_ = 0;
};

// Phase accumulator; phase in cycles, 0..1.
class Phasor {
public:
    double tick(double hz, double rate) {
        const double p = phase_;
        phase_ += hz / rate;
        phase_ -= std::floor(phase_);
        return p;
    }
    double phase() const { return phase_; }
    void set(double p) { phase_ = p - std::floor(p); }

private:
    double phase_ = 0;
};

inline double sine(double phase) { return std::sin(kTwoPi * phase); }

// polyBLEP residual for band-limited saw and square; dt = frequency / rate.
inline double polyBlep(double t, double dt) {
    if (dt <= 0) return 0;
    if (t < dt) {
        t /= dt;
        return t + t - t * t - 1.0;
    }
    if (t > 1.0 - dt) {
        t = (t - 1.0) / dt;
        return t * t + t + t + 1.0;
    }
    return 0.0;
}
inline double saw(double phase, double dt) { return 2.0 * phase - 1.0 - polyBlep(phase, dt); }
inline double square(double phase, double dt, double duty = 0.5) {
    double v = phase < duty ? 1.0 : -1.0;
    v += polyBlep(phase, dt);
    double t2 = phase - duty;
    t2 -= std::floor(t2);
    v -= polyBlep(t2, dt);
    return v;
}
inline double triangle(double phase) { return phase < 0.5 ? 4.0 * phase - 1.0 : 3.0 - 4.0 * phase; }

inline double midiHz(double note) { return 440.0 * std::pow(2.0, (note - 69.0) / 12.0); }

// Smooth attack / exponential decay envelope; t in seconds from the start of the note.
inline double pluckEnv(double t, double attack, double decay) {
    if (t < 0) return 0;
    if (t < attack) return 0.5 - 0.5 * std::cos(std::numbers::pi * t / attack);
    return std::exp(-(t - attack) / decay);
}
// Attack, hold at 1 until `length`, then release; raised-cosine edges.
inline double gateEnv(double t, double attack, double length, double release) {
    if (t < 0) return 0;
    double v = t < attack ? 0.5 - 0.5 * std::cos(std::numbers::pi * t / attack) : 1.0;
    if (t > length) {
        const double r = (t - length) / release;
        v *= r >= 1.0 ? 0.0 : 0.5 + 0.5 * std::cos(std::numbers::pi * r);
    }
    return v;
}

// White noise table; read periodically it gives periodic noise.
inline std::vector<float> noiseTable(std::size_t n, std::uint64_t seed) {
    Rng r(seed);
    std::vector<float> t(n);
    for (auto& v : t) v = static_cast<float>(r.bip());
    return t;
}

// A frequency that completes a whole number of cycles in `frames` samples, nearest to `hz`.
inline double periodicHz(double hz, std::size_t frames, int rate) {
    const double cycles = std::max(1.0, std::round(hz * double(frames) / rate));
    return cycles * rate / double(frames);
}

// Runs `gen(i, loopPos)` for 2·frames samples (i counts from 0, loopPos = i mod frames) and
// keeps the second half. Channels are produced together: gen writes one value per channel.
inline Audio renderLoop(int rate, int channels, std::size_t frames,
                        const std::function<void(std::size_t i, std::size_t loopPos, float* out)>& gen) {
    Audio a(rate, channels, frames);
    std::vector<float> frame(static_cast<std::size_t>(channels));
    for (std::size_t i = 0; i < 2 * frames; ++i) {
        std::fill(frame.begin(), frame.end(), 0.0f);
        gen(i, i % frames, frame.data());
        if (i >= frames)
            for (int c = 0; c < channels; ++c) a.ch[std::size_t(c)][i - frames] = frame[std::size_t(c)];
    }
    return a;
}

// Runs a stateful filter `f` (double -> double) over a loop twice and keeps the second pass,
// so the filter's state at the loop's start is the state its end leaves.
template <class F>
void circularFilter(std::vector<float>& x, F&& f) {
    const std::vector<float> in = x;
    for (int pass = 0; pass < 2; ++pass)
        for (std::size_t i = 0; i < in.size(); ++i) {
            const double y = f(double(in[i]));
            if (pass == 1) x[i] = static_cast<float>(y);
        }
}

inline double rmsOf(const std::vector<float>& x) {
    double e = 0;
    for (float v : x) e += double(v) * v;
    return x.empty() ? 0.0 : std::sqrt(e / double(x.size()));
}

// Adds `src` into `dst` at `offset`; with `wrap` the part past the end continues at the start.
inline void mixInto(std::vector<float>& dst, const std::vector<float>& src, std::ptrdiff_t offset, double gain, bool wrap) {
    const auto n = static_cast<std::ptrdiff_t>(dst.size());
    for (std::size_t k = 0; k < src.size(); ++k) {
        std::ptrdiff_t i = offset + static_cast<std::ptrdiff_t>(k);
        if (wrap) i = ((i % n) + n) % n;
        if (i < 0 || i >= n) continue;
        dst[static_cast<std::size_t>(i)] += static_cast<float>(src[k] * gain);
    }
}

// Scales so the gated loudness is `rmsDb`, but never lets the peak pass `peakDb`.
inline void levelTo(Audio& a, double rmsDb, double peakDb = -1.5) {
    const double loud = gatedRmsDb(a);
    if (loud < -150) return;
    double g = dbToGain(rmsDb - loud);
    const double p = peakOf(a) * g;
    if (p > dbToGain(peakDb)) g *= dbToGain(peakDb) / p;
    applyGain(a, g);
}
inline void peakTo(Audio& a, double peakDb) {
    const float p = peakOf(a);
    if (p > 0) applyGain(a, dbToGain(peakDb) / p);
}

inline double softClip(double x) { return std::tanh(x); }

}  // namespace zorvan::soundpack::kit
