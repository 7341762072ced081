// The menu music, the intro, the farewell and the maker's logo.
//
// The music is a score of notes rendered one by one into a stereo buffer one loop long, each
// note's tail wrapping round to the start; echo and reverb then run over the loop twice and
// keep the second pass. So the loop has no seam at all: its end flows into its start exactly as
// any bar flows into the next.

#include <array>
#include <cmath>

#include "fx.h"
#include "synth_kit.h"

namespace zorvan::soundpack {

using namespace kit;

namespace {

struct Stereo {
    std::vector<float> l, r;
    explicit Stereo(std::size_t n) : l(n, 0.0f), r(n, 0.0f) {}
    std::size_t size() const { return l.size(); }
};

void place(Stereo& out, const std::vector<float>& note, double startSec, int rate, double gain, double pan, bool wrap) {
    const double angle = (std::clamp(pan, -1.0, 1.0) + 1.0) * std::numbers::pi / 4.0;
    const auto start = static_cast<std::ptrdiff_t>(std::llround(startSec * rate));
    mixInto(out.l, note, start, gain * std::cos(angle) * std::numbers::sqrt2, wrap);
    mixInto(out.r, note, start, gain * std::sin(angle) * std::numbers::sqrt2, wrap);
}

// ---- instruments: each renders one note, tail included -------------------------------------

std::vector<float> padNote(int rate, double note, double dur) {
    const double hz = midiHz(note);
    std::vector<float> x(static_cast<std::size_t>((dur + 0.9) * rate));
    std::array<Phasor, 3> osc;
    const std::array<double, 3> detune = {1.0, 1.0045, 0.9955};
    Phasor sub;
    Biquad lp;
    lp.lowpass(1400.0, 0.6, rate);
    for (std::size_t i = 0; i < x.size(); ++i) {
        const double t = double(i) / rate;
        double v = 0;
        for (std::size_t k = 0; k < 3; ++k) v += saw(osc[k].tick(hz * detune[k], rate), hz / rate);
        v = v / 3.0 + 0.3 * sine(sub.tick(hz * 0.5, rate));
        x[i] = static_cast<float>(gateEnv(t, 0.3, dur, 0.8) * lp(v));
    }
    return x;
}

std::vector<float> bassNote(int rate, double note, double dur) {
    const double hz = midiHz(note);
    std::vector<float> x(static_cast<std::size_t>((dur + 0.12) * rate));
    Phasor p;
    Biquad lp;
    for (std::size_t i = 0; i < x.size(); ++i) {
        const double t = double(i) / rate;
        if (i % 32 == 0) lp.lowpass(250.0 + 1100.0 * std::exp(-t / 0.09), 1.3, rate);
        const double ph = p.tick(hz, rate);
        x[i] = static_cast<float>(gateEnv(t, 0.004, dur, 0.08) * lp(0.7 * saw(ph, hz / rate) + 0.5 * square(ph, hz / rate)));
    }
    return x;
}

std::vector<float> pluckNote(int rate, double note) {
    const double hz = midiHz(note);
    std::vector<float> x(static_cast<std::size_t>(0.9 * rate));
    for (std::size_t i = 0; i < x.size(); ++i) {
        const double t = double(i) / rate;
        const double idx = 2.2 * std::exp(-t / 0.07);
        x[i] = static_cast<float>(pluckEnv(t, 0.003, 0.22) * std::sin(kTwoPi * hz * t + idx * std::sin(kTwoPi * 2.0 * hz * t)));
    }
    return x;
}

std::vector<float> leadNote(int rate, double note, double dur) {
    const double hz = midiHz(note);
    std::vector<float> x(static_cast<std::size_t>((dur + 0.3) * rate));
    Phasor p;
    Biquad lp;
    lp.lowpass(3500.0, 0.7, rate);
    for (std::size_t i = 0; i < x.size(); ++i) {
        const double t = double(i) / rate;
        const double vib = 1.0 + 0.006 * std::sin(kTwoPi * 5.3 * t) * std::clamp((t - 0.15) / 0.3, 0.0, 1.0);
        const double ph = p.tick(hz * vib, rate);
        x[i] = static_cast<float>(gateEnv(t, 0.025, dur, 0.22) * lp(0.6 * triangle(ph) + 0.5 * sine(ph) + 0.1 * saw(ph, hz / rate)));
    }
    return x;
}

std::vector<float> bellNote(int rate, double note, double decay) {
    const double hz = midiHz(note);
    std::vector<float> x(static_cast<std::size_t>(decay * 5.0 * rate));
    for (std::size_t i = 0; i < x.size(); ++i) {
        const double t = double(i) / rate;
        const double mod = 1.7 * std::exp(-t / (decay * 0.35)) * std::sin(kTwoPi * 3.5 * hz * t);
        x[i] = static_cast<float>(pluckEnv(t, 0.002, decay) * std::sin(kTwoPi * hz * t + mod));
    }
    return x;
}

std::vector<float> kick(int rate) {
    std::vector<float> x(static_cast<std::size_t>(0.4 * rate));
    Phasor p;
    for (std::size_t i = 0; i < x.size(); ++i) {
        const double t = double(i) / rate;
        const double f = 45.0 + 110.0 * std::exp(-t / 0.03);
        x[i] = static_cast<float>(pluckEnv(t, 0.001, 0.16) * sine(p.tick(f, rate)) + (t < 0.002 ? 0.3 : 0.0));
    }
    return x;
}

std::vector<float> snare(int rate, std::uint64_t seed) {
    std::vector<float> x(static_cast<std::size_t>(0.3 * rate));
    Rng r(seed);
    Biquad bp;
    bp.bandpass(1900.0, 0.7, rate);
    Phasor p;
    for (std::size_t i = 0; i < x.size(); ++i) {
        const double t = double(i) / rate;
        x[i] = static_cast<float>(1.2 * bp(r.bip()) * pluckEnv(t, 0.001, 0.07) + 0.5 * sine(p.tick(190.0, rate)) * pluckEnv(t, 0.001, 0.04));
    }
    return x;
}

std::vector<float> hat(int rate, std::uint64_t seed, double decay) {
    std::vector<float> x(static_cast<std::size_t>((decay * 6.0) * rate));
    Rng r(seed);
    Biquad hp;
    hp.highpass(std::min(7000.0, rate * 0.3), 0.7, rate);
    for (std::size_t i = 0; i < x.size(); ++i) {
        const double t = double(i) / rate;
        x[i] = static_cast<float>(hp(r.bip()) * pluckEnv(t, 0.0005, decay));
    }
    return x;
}

// ---- effects run over the loop twice --------------------------------------------------------

// Ping-pong echo: a send in, the wet signal added to `out`.
void pingPong(const Stereo& send, Stereo& out, int rate, double delaySec, double feedback, double wet) {
    const std::size_t n = send.size();
    const auto d = static_cast<std::size_t>(delaySec * rate);
    std::vector<float> bufL(d, 0.0f), bufR(d, 0.0f);
    OnePole dampL, dampR;
    dampL.cutoff(3500.0, rate);
    dampR.cutoff(3500.0, rate);
    std::size_t at = 0;
    for (std::size_t i = 0; i < 2 * n; ++i) {
        const std::size_t k = i % n;
        const float yl = bufL[at], yr = bufR[at];
        const double inMono = 0.5 * (send.l[k] + send.r[k]);
        bufL[at] = static_cast<float>(dampL(inMono + feedback * yr));
        bufR[at] = static_cast<float>(dampR(feedback * yl));
        at = (at + 1) % d;
        if (i >= n) {
            out.l[k] += static_cast<float>(wet * yl);
            out.r[k] += static_cast<float>(wet * yr);
        }
    }
}

class Comb {
public:
    Comb(std::size_t len, double fb, double damp, int rate) : buf_(len, 0.0f), fb_(fb) { lp_.cutoff(damp, rate); }
    double operator()(double x) {
        const double y = buf_[at_];
        buf_[at_] = static_cast<float>(x + fb_ * lp_(y));
        at_ = (at_ + 1) % buf_.size();
        return y;
    }

private:
    std::vector<float> buf_;
    double fb_;
    OnePole lp_;
    std::size_t at_ = 0;
};

class Allpass {
public:
    explicit Allpass(std::size_t len) : buf_(len, 0.0f) {}
    double operator()(double x) {
        const double b = buf_[at_];
        const double y = b - 0.5 * x;
        buf_[at_] = static_cast<float>(x + 0.5 * b);
        at_ = (at_ + 1) % buf_.size();
        return y;
    }

private:
    std::vector<float> buf_;
    std::size_t at_ = 0;
};

// A small Schroeder reverb, a little different on each side for width.
void reverb(const Stereo& send, Stereo& out, int rate, double wet, bool loop) {
    const std::size_t n = send.size();
    const double s = rate / 44100.0;
    auto make = [&](int spread) {
        std::vector<Comb> combs;
        for (int len : {1557, 1617, 1491, 1422, 1277, 1356})
            combs.emplace_back(static_cast<std::size_t>((len + spread) * s), 0.8, 4500.0, rate);
        std::vector<Allpass> aps;
        for (int len : {556, 441, 341}) aps.emplace_back(static_cast<std::size_t>((len + spread) * s));
        return std::make_pair(combs, aps);
    };
    auto [combsL, apsL] = make(0);
    auto [combsR, apsR] = make(23);
    const std::size_t total = loop ? 2 * n : n;
    for (std::size_t i = 0; i < total; ++i) {
        const std::size_t k = i % n;
        const double in = 0.5 * (send.l[k] + send.r[k]) * 0.25;
        double yl = 0, yr = 0;
        for (auto& c : combsL) yl += c(in);
        for (auto& c : combsR) yr += c(in);
        for (auto& a : apsL) yl = a(yl);
        for (auto& a : apsR) yr = a(yr);
        if (!loop || i >= n) {
            out.l[k] += static_cast<float>(wet * yl);
            out.r[k] += static_cast<float>(wet * yr);
        }
    }
}

Audio toAudio(const Stereo& s, int rate) {
    Audio a(rate, 2, 0);
    a.ch[0] = s.l;
    a.ch[1] = s.r;
    return a;
}

// ---- the menu music --------------------------------------------------------------------------

struct Chord {
    int root;                 // bass note
    std::array<int, 3> pad;   // voicing around middle C
};

struct Note {
    int at;      // sixteenths from the start of the section
    int length;  // sixteenths
    int midi;
};

}  // namespace

Audio fxMenuMusic(int rate) {
    constexpr double bpm = 120.0;
    constexpr double sixteenth = 60.0 / bpm / 4.0;
    constexpr int bars = 24;
    const double loopSec = bars * 16 * sixteenth;  // 48 s
    const auto n = static_cast<std::size_t>(std::llround(loopSec * rate));
    Stereo dry(n), echoSend(n), verbSend(n);

    const Chord Am{45, {57, 60, 64}}, F{41, {57, 60, 65}}, C{48, {55, 60, 64}}, G{43, {55, 59, 62}},
        E{40, {56, 59, 64}}, Dm{38, {57, 62, 65}}, Em{40, {55, 59, 64}};
    const std::array<Chord, bars> chords = {Am, F, C, G, Am, F, C, E,   // calm opening
                                            Am, F, C, G, Dm, F, E, E,   // first tune
                                            F, G, Em, Am, Dm, G, C, E};  // second tune, higher
    const std::vector<Note> tuneB = {
        {0, 6, 76}, {6, 2, 74}, {8, 4, 72}, {12, 2, 71}, {14, 2, 72},
        {16, 8, 69}, {24, 4, 72}, {28, 4, 77},
        {32, 6, 76}, {38, 2, 79}, {40, 4, 76}, {44, 4, 72},
        {48, 12, 74}, {60, 4, 71},
        {64, 4, 69}, {68, 4, 74}, {72, 6, 77}, {78, 2, 76},
        {80, 4, 74}, {84, 4, 72}, {88, 8, 69},
        {96, 6, 71}, {102, 2, 68}, {104, 4, 71}, {108, 4, 76},
        {112, 14, 76}};
    const std::vector<Note> tuneC = {
        {0, 4, 84}, {4, 4, 81}, {8, 8, 77},
        {16, 4, 86}, {20, 4, 83}, {24, 8, 79},
        {32, 6, 83}, {38, 2, 81}, {40, 4, 79}, {44, 4, 76},
        {48, 12, 81}, {60, 4, 76},
        {64, 4, 77}, {68, 4, 81}, {72, 8, 86},
        {80, 6, 83}, {86, 2, 81}, {88, 4, 79}, {92, 4, 74},
        {96, 4, 76}, {100, 4, 79}, {104, 8, 84},
        {112, 8, 83}, {120, 4, 80}, {124, 4, 76}};

    Rng humanise(901);
    const auto kickNote = kick(rate);
    const double barSec = 16 * sixteenth;
    for (int bar = 0; bar < bars; ++bar) {
        const double t0 = bar * barSec;
        const Chord& c = chords[std::size_t(bar)];
        const bool opening = bar < 8;
        // Pads, one note per chord tone, spread across the field.
        const std::array<double, 3> pans = {-0.45, 0.0, 0.45};
        for (std::size_t k = 0; k < 3; ++k) {
            auto note = padNote(rate, c.pad[k], barSec - 0.05);
            place(dry, note, t0, rate, 0.13, pans[k], true);
            place(verbSend, note, t0, rate, 0.1, pans[k], true);
        }
        // Bass: a driving pattern on the root and its octave.
        const std::array<int, 6> bassAt = {0, 3, 6, 8, 11, 14};
        const std::array<int, 6> bassUp = {0, 0, 12, 0, 7, 12};
        for (std::size_t k = 0; k < bassAt.size(); ++k) {
            if (opening && bar < 2 && k % 2) continue;
            auto note = bassNote(rate, c.root + bassUp[k], sixteenth * (k == 0 ? 2.5 : 1.6));
            place(dry, note, t0 + bassAt[k] * sixteenth, rate, 0.32, 0.0, true);
        }
        // Drums.
        for (int s = 0; s < 16; ++s) {
            const double t = t0 + s * sixteenth;
            if (s == 0 || s == 8 || (s == 10 && bar % 2 == 1 && !opening)) place(dry, kickNote, t, rate, 0.55, 0.0, true);
            if ((s == 4 || s == 12) && bar >= 4) {
                auto sn = snare(rate, 1000 + std::uint64_t(bar * 16 + s));
                place(dry, sn, t, rate, 0.22, 0.1, true);
                place(verbSend, sn, t, rate, 0.12, 0.1, true);
            }
            if (s % 2 == 0) {
                const bool open = s == 14 && bar % 4 == 3;
                auto h = hat(rate, 2000 + std::uint64_t(bar * 16 + s), open ? 0.12 : 0.025);
                place(dry, h, t + humanise.range(0.0, 0.006), rate, s % 4 == 2 ? 0.09 : 0.05, 0.35, true);
            }
        }
        // Arpeggio: soft in the opening's second half, full under the tunes.
        if (bar >= 4) {
            const std::array<int, 8> order = {0, 1, 2, 1, 0, 2, 1, 2};
            for (int s = 0; s < 16; ++s) {
                const int tone = c.pad[std::size_t(order[std::size_t(s % 8)])] + 12 + (s >= 8 && bar >= 16 ? 12 : 0);
                auto note = pluckNote(rate, tone);
                const double gain = (opening ? 0.05 : 0.08) * (s % 4 == 0 ? 1.0 : 0.75);
                const double t = t0 + s * sixteenth;
                place(dry, note, t, rate, gain, s % 2 ? 0.5 : -0.5, true);
                place(echoSend, note, t, rate, gain, 0.0, true);
            }
        }
        // Bells answer in the opening.
        if (opening && bar >= 4) {
            const std::array<int, 4> answer = {76, 72, 76, 71};
            auto b = bellNote(rate, answer[std::size_t(bar - 4)], 1.2);
            place(dry, b, t0 + 8 * sixteenth, rate, 0.12, bar % 2 ? 0.6 : -0.6, true);
            place(verbSend, b, t0 + 8 * sixteenth, rate, 0.15, 0.0, true);
        }
    }
    auto playTune = [&](const std::vector<Note>& tune, int firstBar, double gain) {
        for (const Note& m : tune) {
            auto note = leadNote(rate, m.midi, m.length * sixteenth * 0.95);
            const double t = firstBar * barSec + m.at * sixteenth;
            place(dry, note, t, rate, gain, 0.0, true);
            place(echoSend, note, t, rate, gain * 0.7, 0.0, true);
            place(verbSend, note, t, rate, gain * 0.8, 0.0, true);
        }
    };
    playTune(tuneB, 8, 0.2);
    playTune(tuneC, 16, 0.17);

    pingPong(echoSend, dry, rate, 3 * sixteenth, 0.38, 0.45);
    reverb(verbSend, dry, rate, 0.35, true);
    Audio a = toAudio(dry, rate);
    removeDc(a);
    levelTo(a, -20.0, -1.5);
    return a;
}

// ---- one-shot pieces built from the same instruments ----------------------------------------------

Audio fxIntro(int rate) {
    const double len = 5.6;
    const auto n = static_cast<std::size_t>(len * rate);
    Stereo dry(n), verbSend(n);
    // A car revs up on the left and tears across to the right.
    {
        std::vector<float> eng(static_cast<std::size_t>(3.1 * rate));
        Rng r(951);
        Biquad r1, r2, lp;
        r1.bandpass(110.0, 1.5, rate);
        r2.bandpass(330.0, 2.5, rate);
        lp.lowpass(2800.0, 0.7, rate);
        double phase = 0;
        for (std::size_t i = 0; i < eng.size(); ++i) {
            const double t = double(i) / rate;
            const double f = 35.0 * std::pow(150.0 / 35.0, std::min(1.0, t / 2.6));
            phase += f / rate;
            const double frac = phase - std::floor(phase);
            const double pulse = frac < 0.15 ? 0.5 - 0.5 * std::cos(kTwoPi * frac / 0.15) : 0.0;
            const double exc = pulse + 0.2 * r.bip() * std::exp(-frac * 6.0);
            const double y = lp(1.6 * r1(exc) + 0.9 * r2(exc));
            eng[i] = static_cast<float>(softClip(2.5 * y) * gateEnv(t, 0.2, 2.8, 0.3));
        }
        // Pan sweeps left to right; split the note in slices with their own pan.
        const std::size_t slice = static_cast<std::size_t>(0.02 * rate);
        for (std::size_t at = 0; at < eng.size(); at += slice) {
            std::vector<float> part(eng.begin() + static_cast<std::ptrdiff_t>(at),
                                    eng.begin() + static_cast<std::ptrdiff_t>(std::min(eng.size(), at + slice)));
            const double t = double(at) / rate;
            place(dry, part, t, rate, 1.6, -0.9 + 1.8 * std::clamp((t - 1.2) / 1.8, 0.0, 1.0), false);
        }
    }
    // Whoosh as it passes.
    {
        std::vector<float> w(static_cast<std::size_t>(0.9 * rate));
        Rng r(952);
        Biquad bp;
        for (std::size_t i = 0; i < w.size(); ++i) {
            const double t = double(i) / rate;
            if (i % 32 == 0) bp.bandpass(500.0 + 2500.0 * std::sin(std::numbers::pi * t / 0.9), 1.0, rate);
            w[i] = static_cast<float>(bp(r.bip()) * std::sin(std::numbers::pi * t / 0.9));
        }
        place(dry, w, 2.3, rate, 0.9, 0.3, false);
    }
    // The stinger: a chord, bells, a kick and a cymbal.
    const double hit = 3.05;
    for (int note : {57, 64, 69, 71, 72}) {
        auto p = padNote(rate, note, 1.4);
        place(dry, p, hit, rate, 0.16, (note % 3 - 1) * 0.4, false);
        place(verbSend, p, hit, rate, 0.1, 0.0, false);
    }
    for (int k = 0; k < 4; ++k) {
        const std::array<int, 4> arp = {81, 84, 88, 93};
        auto b = bellNote(rate, arp[std::size_t(k)], 0.9);
        place(dry, b, hit + 0.08 * k, rate, 0.16, -0.5 + 0.33 * k, false);
        place(verbSend, b, hit + 0.08 * k, rate, 0.2, 0.0, false);
    }
    place(dry, kick(rate), hit, rate, 0.8, 0.0, false);
    auto cymbal = hat(rate, 953, 0.5);
    place(dry, cymbal, hit, rate, 0.25, 0.2, false);
    place(verbSend, cymbal, hit, rate, 0.2, 0.0, false);
    reverb(verbSend, dry, rate, 0.4, false);
    Audio a = toAudio(dry, rate);
    fadeOut(a, 400);
    levelTo(a, -18.0);
    return a;
}

Audio fxFarewell(int rate) {
    const double len = 3.0;
    const auto n = static_cast<std::size_t>(len * rate);
    Stereo dry(n), verbSend(n);
    const std::array<int, 5> notes = {84, 79, 76, 72, 67};
    for (std::size_t k = 0; k < notes.size(); ++k) {
        auto b = bellNote(rate, notes[k], k + 1 == notes.size() ? 1.1 : 0.6);
        const double t = 0.02 + 0.22 * double(k);
        place(dry, b, t, rate, 0.3, 0.6 - 0.3 * double(k), false);
        place(verbSend, b, t, rate, 0.3, 0.0, false);
    }
    auto pad = padNote(rate, 60, 1.2);
    place(dry, pad, 0.9, rate, 0.12, 0.0, false);
    reverb(verbSend, dry, rate, 0.45, false);
    Audio a = toAudio(dry, rate);
    fadeOut(a, 600);
    levelTo(a, -19.0);
    return a;
}

Audio fxLogo(int rate) {
    const double len = 3.4;
    const auto n = static_cast<std::size_t>(len * rate);
    Stereo dry(n), verbSend(n);
    // A kestrel's "klee-klee-klee", flying from left to right.
    for (int k = 0; k < 6; ++k) {
        std::vector<float> call(static_cast<std::size_t>(0.09 * rate));
        Phasor p;
        for (std::size_t i = 0; i < call.size(); ++i) {
            const double t = double(i) / rate;
            const double f = 3300.0 + 900.0 * std::sin(std::numbers::pi * std::min(1.0, t / 0.07)) - 300.0 * t / 0.09;
            const double ph = p.tick(f, rate);
            call[i] = static_cast<float>(gateEnv(t, 0.006, 0.065, 0.02) * (sine(ph) + 0.25 * sine(2 * ph + 0.1)));
        }
        const double t = 0.05 + 0.12 * k;
        place(dry, call, t, rate, 0.35 - 0.02 * k, -0.8 + 0.32 * k, false);
        place(verbSend, call, t, rate, 0.25, 0.0, false);
    }
    // A warm bell chord, rolled upwards.
    const std::array<int, 5> chord = {57, 64, 68, 71, 76};
    for (std::size_t k = 0; k < chord.size(); ++k) {
        auto b = bellNote(rate, chord[k], 1.0);
        const double t = 0.85 + 0.06 * double(k);
        place(dry, b, t, rate, 0.22, -0.4 + 0.2 * double(k), false);
        place(verbSend, b, t, rate, 0.25, 0.0, false);
    }
    auto pad = padNote(rate, 45, 1.6);
    place(dry, pad, 0.85, rate, 0.16, 0.0, false);
    reverb(verbSend, dry, rate, 0.45, false);
    Audio a = toAudio(dry, rate);
    fadeOut(a, 700);
    levelTo(a, -19.0);
    return a;
}

}  // namespace zorvan::soundpack
