// Race, item, crash, theme and bonus sounds, synthesized from scratch.

#include <array>
#include <cmath>
#include <stdexcept>

#include "fx.h"
#include "synth_kit.h"

namespace zorvan::soundpack {

using namespace kit;

namespace {

std::size_t framesOf(double seconds, int rate) { return static_cast<std::size_t>(std::llround(seconds * rate)); }

// A decaying sum of sinusoids: the ring of a struck body. Frequencies in Hz, decays in seconds.
std::vector<float> ring(int rate, double seconds, const std::vector<std::array<double, 3>>& modes) {
    std::vector<float> out(framesOf(seconds, rate));
    for (const auto& m : modes) {
        const double f = m[0], amp = m[1], decay = m[2];
        if (f >= rate * 0.45) continue;
        for (std::size_t i = 0; i < out.size(); ++i) {
            const double t = double(i) / rate;
            out[i] += static_cast<float>(amp * std::exp(-t / decay) * std::sin(kTwoPi * f * t));
        }
    }
    // Whatever still rings at the end fades rather than stops.
    const std::size_t fade = std::min(out.size() / 4, static_cast<std::size_t>(0.04 * rate));
    for (std::size_t i = 0; i < fade; ++i)
        out[out.size() - 1 - i] *= static_cast<float>(0.5 - 0.5 * std::cos(std::numbers::pi * (double(i) + 0.5) / double(fade)));
    return out;
}

// Filtered noise burst with an exponential decay.
std::vector<float> noiseBurst(int rate, double seconds, double attack, double decay, double lowHz, double highHz, std::uint64_t seed) {
    Rng r(seed);
    Biquad lp, hp;
    lp.lowpass(highHz, 0.707, rate);
    hp.highpass(lowHz, 0.707, rate);
    std::vector<float> out(framesOf(seconds, rate));
    for (std::size_t i = 0; i < out.size(); ++i) {
        const double t = double(i) / rate;
        out[i] = static_cast<float>(hp(lp(r.bip())) * pluckEnv(t, attack, decay));
    }
    return out;
}

// ---- engines: loops of 2 s --------------------------------------------------------------
//
// Each engine is a steady body (its firing pattern and timbre, kept under about 1.5 kHz) and a
// rasp: its firing pulses in two high bands of its own, each band coming and going in an
// uneven pattern of 0.1-0.35 s stretches, the two bands taking turns. Two copies of one engine
// a moment apart rasp in different bands at different times, so a car of the player's own type
// in the player's lane stands out of the player's engine long before it is as loud; a car of
// another type rasps in bands the player's engine leaves empty.

struct Rasp {
    double firingHz;                // pulses per second
    std::array<double, 2> bandsHz;  // third-octave centres, each engine its own
    double gain;                    // against the body's RMS
    std::uint64_t seed;
};

// The body, steeply low-passed, plus its rasp.
void addRasp(Audio& a, const Rasp& r) {
    auto& body = a.ch[0];
    const int rate = a.rate;
    const std::size_t n = body.size();
    for (int k = 0; k < 2; ++k) {
        Biquad lp;
        lp.lowpass(1500.0, 0.7, rate);
        circularFilter(body, [&](double v) { return lp(v); });
    }
    // The gate: alternating stretches, placed once over the loop so it repeats exactly.
    std::vector<float> gate(n, 0.0f);
    Rng rng(r.seed);
    std::size_t at = 0;
    bool on = true;
    while (at < n) {
        const auto len = static_cast<std::size_t>(rng.range(0.1, 0.35) * rate);
        for (std::size_t i = at; i < std::min(n, at + len); ++i) gate[i] = on ? 1.0f : 0.0f;
        at += len;
        on = !on;
    }
    // Smoothed around the loop (about 8 ms), so stretches swell rather than click.
    OnePole smooth;
    smooth.cutoff(20.0, rate);
    circularFilter(gate, [&](double v) { return smooth(v); });
    const double f = periodicHz(r.firingHz, n, rate);
    const auto noise = noiseTable(n, r.seed + 1);
    std::vector<float> pulses(n);
    Phasor ph;
    for (std::size_t i = 0; i < n; ++i) {
        const double p = ph.tick(f, rate);
        pulses[i] = static_cast<float>((p < 0.08 ? 1.0 : 0.0) - 0.08 + 0.25 * noise[i]);
    }
    const double bodyRms = rmsOf(body);
    for (int b = 0; b < 2; ++b) {
        std::vector<float> band = pulses;
        for (int k = 0; k < 2; ++k) {
            Biquad bp;
            bp.bandpass(r.bandsHz[std::size_t(b)], 3.0, rate);
            circularFilter(band, [&](double v) { return bp(v); });
        }
        const double g = r.gain * bodyRms / std::max(1e-9, rmsOf(band));
        for (std::size_t i = 0; i < n; ++i) {
            const double open = b == 0 ? gate[i] : 1.0 - gate[i];
            body[i] += static_cast<float>(g * open * open * band[i]);
        }
    }
}


// A click of hard plastic: two short resonances.
std::vector<float> plasticClick(int rate, double f1, double f2) {
    return ring(rate, 0.03, {{{f1, 1.0, 0.005}, {f2, 0.6, 0.0035}, {f1 * 0.47, 0.4, 0.008}}});
}

Audio engineLego(int rate) {
    const std::size_t n = framesOf(2.0, rate);
    const double motor = periodicHz(96.0, n, rate);
    const double wobble = periodicHz(3.0, n, rate);
    const auto noise = noiseTable(n, 11);
    // Gear teeth: 24 clicks a second with uneven strength, placed once and repeated each loop.
    std::vector<float> clatter(n, 0.0f);
    Rng r(12);
    const int clicks = static_cast<int>(std::round(24.0 * 2.0));
    const auto click = plasticClick(rate, 2450.0, 3900.0);
    for (int k = 0; k < clicks; ++k) {
        const double at = (k + r.range(-0.12, 0.12)) * double(n) / clicks;
        mixInto(clatter, click, static_cast<std::ptrdiff_t>(at), r.range(0.35, 1.0), true);
    }
    Biquad buzzLp, commBp, bodyPk;
    buzzLp.lowpass(1700.0, 0.8, rate);
    commBp.bandpass(3600.0, 1.2, rate);
    bodyPk.peaking(820.0, 2.0, 8.0, rate);
    Phasor pm, pw;
    Audio a = renderLoop(rate, 1, n, [&](std::size_t, std::size_t pos, float* out) {
        const double ph = pm.tick(motor, rate);
        const double w = 1.0 + 0.12 * sine(pw.tick(wobble, rate));
        const double buzz = buzzLp(saw(ph, motor / rate) * 0.6 + square(ph, motor / rate, 0.3) * 0.4);
        const double brush = std::pow(std::max(0.0, sine(2.0 * ph)), 6.0);
        const double comm = commBp(noise[pos]) * brush;
        out[0] = static_cast<float>(bodyPk(0.55 * buzz * w + 0.9 * comm) + 0.5 * clatter[pos]);
    });
    addRasp(a, {periodicHz(96.0, n, rate), {5000.0, 6300.0}, 1.0, 1201});
    removeDc(a);
    levelTo(a, -18.0);
    return a;
}

// Combustion engine: firing pulses through exhaust resonances, then driven into saturation for
// the growl. Every parameter of a firing is fixed per firing index so the loop repeats exactly.
struct Combustion {
    double firingHz;
    std::vector<double> amps;   // per firing within the loop
    double popMs;               // time to the peak of each pressure pop
    std::array<std::array<double, 3>, 3> res;  // {Hz, Q, gain}
    double lowpassHz;
    double drive;
    double hiss;
};

Audio renderCombustion(int rate, std::size_t n, const Combustion& c, std::uint64_t seed) {
    const auto noise = noiseTable(n, seed);
    const double period = double(rate) / c.firingHz;  // samples per firing
    const double tau = c.popMs * rate / 1000.0;
    std::array<Biquad, 3> res;
    for (int k = 0; k < 3; ++k) res[std::size_t(k)].bandpass(c.res[std::size_t(k)][0], c.res[std::size_t(k)][1], rate);
    Biquad hissBp;
    hissBp.bandpass(1800.0, 0.9, rate);
    const auto firings = c.amps.size();
    Audio a = renderLoop(rate, 1, n, [&](std::size_t, std::size_t pos, float* out) {
        const double x = double(pos) / period;
        const auto k = static_cast<std::size_t>(x) % firings;
        const double t = (x - std::floor(x)) * period;  // samples since this firing
        const double pop = (t / tau) * std::exp(1.0 - t / tau);
        const double exc = c.amps[k] * (pop + 0.3 * noise[pos] * std::exp(-t / (4.0 * tau)));
        double y = 0;
        for (int r = 0; r < 3; ++r) y += c.res[std::size_t(r)][2] * res[std::size_t(r)](exc);
        out[0] = static_cast<float>(y + c.hiss * hissBp(noise[(pos * 7 + 13) % n]) * (0.3 + pop));
    });
    auto& y = a.ch[0];
    const double g = 0.3 / std::max(1e-9, rmsOf(y));
    for (auto& v : y) v = static_cast<float>(softClip(c.drive * g * v));
    Biquad lp;
    lp.lowpass(c.lowpassHz, 0.7, rate);
    circularFilter(y, [&](double v) { return lp(v); });
    return a;
}

Audio engineZorvan(int rate) {
    const std::size_t n = framesOf(2.0, rate);
    Combustion c;
    c.firingHz = periodicHz(62.0, n, rate);
    const auto firings = static_cast<std::size_t>(std::llround(c.firingHz * 2.0));
    // A cross-plane V8 fires unevenly between banks: the burble.
    const std::array<double, 8> bank = {1.0, 0.72, 0.93, 0.6, 1.0, 0.66, 0.86, 0.7};
    Rng r(21);
    for (std::size_t k = 0; k < firings; ++k) c.amps.push_back(bank[k % 8] * r.range(0.9, 1.1));
    c.popMs = 0.5;
    c.res = {{{{130.0, 1.0, 1.0}}, {{520.0, 2.0, 3.0}}, {{1400.0, 1.5, 1.2}}}};
    c.lowpassHz = 3000.0;
    c.drive = 2.2;
    c.hiss = 0.05;
    Audio a = renderCombustion(rate, n, c, 22);
    addRasp(a, {c.firingHz, {2000.0, 4000.0}, 0.6, 1202});
    removeDc(a);
    levelTo(a, -16.0);
    return a;
}

Audio engineJeep(int rate) {
    const std::size_t n = framesOf(2.0, rate);
    const double whine = periodicHz(410.0, n, rate);
    const double gear = periodicHz(1235.0, n, rate);
    const double tread = periodicHz(7.0, n, rate);
    const double sway = periodicHz(0.5, n, rate);
    const auto noise = noiseTable(n, 31);
    // Gravel under the tyres: short grains, 70 a second.
    std::vector<float> gravel(n, 0.0f);
    Rng r(32);
    const int grains = 140;
    for (int k = 0; k < grains; ++k) {
        auto g = noiseBurst(rate, 0.02, 0.0005, 0.004, 1500.0, 5000.0, 100 + std::uint64_t(k));
        mixInto(gravel, g, static_cast<std::ptrdiff_t>(r.uni() * double(n)), r.range(0.2, 1.0), true);
    }
    Biquad rumbleLp1, rumbleLp2, whineLp;
    rumbleLp1.lowpass(170.0, 0.9, rate);
    rumbleLp2.lowpass(170.0, 0.9, rate);
    whineLp.lowpass(3000.0, 0.7, rate);
    Phasor pw, pg, pt, ps;
    Audio a = renderLoop(rate, 1, n, [&](std::size_t, std::size_t pos, float* out) {
        const double ph = pw.tick(whine, rate);
        const double s = 1.0 + 0.15 * sine(ps.tick(sway, rate));
        const double inverter = sine(ph) + 0.35 * sine(2 * ph) + 0.25 * sine(3 * ph) + 0.12 * sine(6 * ph);
        const double g = 0.15 * sine(pg.tick(gear, rate));
        const double chug = 0.6 + 0.4 * std::pow(0.5 + 0.5 * sine(pt.tick(tread, rate)), 3.0);
        const double rumble = rumbleLp2(rumbleLp1(noise[pos])) * 6.0 * chug;
        out[0] = static_cast<float>(whineLp(0.32 * inverter * s + g) + 0.7 * rumble + 0.35 * gravel[pos] * chug);
    });
    addRasp(a, {periodicHz(140.0, n, rate), {3150.0, 8000.0}, 0.8, 1203});
    removeDc(a);
    levelTo(a, -17.0);
    return a;
}

Audio engineElectric(int rate) {
    const std::size_t n = framesOf(2.0, rate);
    const double f1 = periodicHz(1180.0, n, rate);
    const double f1b = periodicHz(1182.5, n, rate);  // beats against f1
    const double f2 = periodicHz(1500.0, n, rate);
    const double sub = periodicHz(110.0, n, rate);
    const double shimmer = periodicHz(4.0, n, rate);
    const double breath = periodicHz(0.5, n, rate);
    const auto noise = noiseTable(n, 41);
    Biquad airHp, airLp;
    airHp.highpass(3000.0, 0.7, rate);
    airLp.lowpass(5000.0, 0.7, rate);
    Phasor p1, p1b, p2, ps, psh, pbr;
    Audio a = renderLoop(rate, 1, n, [&](std::size_t, std::size_t pos, float* out) {
        const double sh = 0.75 + 0.25 * sine(psh.tick(shimmer, rate));
        const double br = 0.7 + 0.3 * sine(pbr.tick(breath, rate));
        const double tone = 0.5 * sine(p1.tick(f1, rate)) + 0.35 * sine(p1b.tick(f1b, rate)) + 0.3 * sh * sine(p2.tick(f2, rate));
        const double hum = 0.35 * sine(ps.tick(sub, rate));
        const double air = airLp(airHp(noise[pos])) * br;
        out[0] = static_cast<float>(0.6 * tone + 0.6 * hum + 0.04 * air);
    });
    addRasp(a, {periodicHz(110.0, n, rate), {2500.0, 10000.0}, 0.5, 1204});
    removeDc(a);
    levelTo(a, -19.0);
    return a;
}

// ---- damaged engines: loops of 3 s at whatever rate is asked (the pack uses 44100) -------

Audio badEngine(int rate) {
    const std::size_t n = framesOf(3.0, rate);
    Combustion c;
    c.firingHz = periodicHz(21.0, n, rate);
    const auto firings = static_cast<std::size_t>(std::llround(c.firingHz * 3.0));
    Rng r(51);
    for (std::size_t k = 0; k < firings; ++k) {
        const double u = r.uni();
        c.amps.push_back(u < 0.28 ? 0.06 : r.range(0.55, 1.1));  // misfires
    }
    c.popMs = 1.6;
    c.res = {{{{105.0, 1.4, 1.0}}, {{390.0, 2.5, 2.5}}, {{1150.0, 2.0, 2.0}}}};
    c.lowpassHz = 3500.0;
    c.drive = 3.0;
    c.hiss = 0.1;
    Audio a = renderCombustion(rate, n, c, 52);
    // Rod knock on some firings, and two backfires per loop.
    std::vector<float> extra(n, 0.0f);
    const auto knock = ring(rate, 0.08, {{{1750.0, 0.5, 0.02}, {2630.0, 0.35, 0.014}, {4100.0, 0.2, 0.008}}});
    const double period = double(n) / double(firings);
    for (std::size_t k = 0; k < firings; k += 3)
        if (c.amps[k] > 0.3) mixInto(extra, knock, static_cast<std::ptrdiff_t>(double(k) * period + 0.002 * rate), 0.6, true);
    for (int b = 0; b < 2; ++b) {
        auto pop = noiseBurst(rate, 0.25, 0.001, 0.045, 60.0, 3500.0, 53 + std::uint64_t(b));
        const auto boom = ring(rate, 0.25, {{{70.0, 1.2, 0.06}, {140.0, 0.5, 0.04}}});
        for (std::size_t i = 0; i < pop.size(); ++i) pop[i] = pop[i] * 2.2f + boom[i];
        mixInto(extra, pop, static_cast<std::ptrdiff_t>((0.37 + 0.5 * b + r.range(0.0, 0.08)) * double(n)), 1.0, true);
    }
    for (std::size_t i = 0; i < n; ++i) a.ch[0][i] = static_cast<float>(softClip(a.ch[0][i] + extra[i]));
    removeDc(a);
    levelTo(a, -17.0);
    return a;
}

Audio badLego(int rate) {
    const std::size_t n = framesOf(3.0, rate);
    const double motor = periodicHz(74.0, n, rate);
    const double grindHz = periodicHz(38.0, n, rate);
    const auto noise = noiseTable(n, 61);
    Rng r(62);
    // The motor cuts in and out: on/off stretches fixed per loop.
    std::vector<float> gate(n, 0.0f);
    {
        std::size_t at = 0;
        bool on = true;
        while (at < n) {
            const auto len = static_cast<std::size_t>(r.range(on ? 0.18 : 0.05, on ? 0.45 : 0.16) * rate);
            for (std::size_t i = at; i < std::min(n, at + len); ++i) gate[i] = on ? 1.0f : 0.12f;
            at += len;
            on = !on;
        }
        // Smooth the gate circularly so the steps do not click.
        OnePole s;
        s.cutoff(30.0, rate);
        for (int pass = 0; pass < 2; ++pass)
            for (std::size_t i = 0; i < n; ++i) {
                const double v = s(gate[i]);
                if (pass == 1) gate[i] = static_cast<float>(v);
            }
    }
    std::vector<float> rattle(n, 0.0f);
    const auto loose = plasticClick(rate, 1250.0, 3150.0);
    const auto tooth = plasticClick(rate, 2900.0, 4700.0);
    for (int k = 0; k < 70; ++k)
        mixInto(rattle, k % 3 ? loose : tooth, static_cast<std::ptrdiff_t>(r.uni() * double(n)), r.range(0.25, 1.0), true);
    // Slipping gears: short rising squeaks.
    for (int k = 0; k < 4; ++k) {
        std::vector<float> sq(framesOf(0.12, rate));
        Phasor p;
        for (std::size_t i = 0; i < sq.size(); ++i) {
            const double t = double(i) / rate;
            const double ph = p.tick(1400.0 + 6000.0 * t, rate);
            sq[i] = static_cast<float>(0.4 * gateEnv(t, 0.01, 0.08, 0.03) * (sine(ph) + 0.3 * triangle(std::fmod(2.0 * ph, 1.0))));
        }
        mixInto(rattle, sq, static_cast<std::ptrdiff_t>((0.1 + 0.24 * k + r.range(0.0, 0.05)) * double(n)), 1.0, true);
    }
    Biquad buzzLp, grindBp;
    buzzLp.lowpass(1400.0, 0.9, rate);
    grindBp.bandpass(1500.0, 1.5, rate);
    Phasor pm, pg;
    Audio a = renderLoop(rate, 1, n, [&](std::size_t, std::size_t pos, float* out) {
        const double ph = pm.tick(motor, rate);
        const double buzz = buzzLp(saw(ph, motor / rate));
        const double grind = grindBp(noise[pos]) * (0.5 + 0.5 * sine(pg.tick(grindHz, rate)));
        out[0] = static_cast<float>(gate[pos] * (0.5 * buzz + 1.2 * grind) + 0.6 * rattle[pos]);
    });
    removeDc(a);
    levelTo(a, -18.0);
    return a;
}

// ---- other loops --------------------------------------------------------------------------

Audio brakesReady(int rate) {
    const std::size_t n = framesOf(2.0, rate);
    const double hum = periodicHz(150.0, n, rate);
    const double throb = periodicHz(2.0, n, rate);
    const auto noise = noiseTable(n, 71);
    Biquad hissBp;
    hissBp.bandpass(4800.0, 0.8, rate);
    Phasor ph, pt;
    Audio a = renderLoop(rate, 1, n, [&](std::size_t, std::size_t pos, float* out) {
        const double p = ph.tick(hum, rate);
        const double th = 0.5 + 0.5 * sine(pt.tick(throb, rate));
        const double tone = sine(p) + 0.3 * sine(3 * p) + 0.12 * sine(5 * p);
        out[0] = static_cast<float>((0.25 + 0.75 * th * th) * 0.4 * tone + 0.5 * hissBp(noise[pos]) * (0.6 + 0.4 * th));
    });
    removeDc(a);
    levelTo(a, -21.0);
    return a;
}

Audio roadAmbience(int rate) {
    const std::size_t n = framesOf(4.0, rate);
    const auto noise = noiseTable(n, 81);
    const auto noise2 = noiseTable(n, 82);
    const double gust = periodicHz(0.25, n, rate);
    const double gust2 = periodicHz(0.75, n, rate);
    const double tyre = periodicHz(95.0, n, rate);
    // Expansion joints: a double thump once a second.
    std::vector<float> joints(n, 0.0f);
    const auto thump = ring(rate, 0.3, {{{58.0, 1.0, 0.07}, {96.0, 0.5, 0.05}, {180.0, 0.2, 0.03}}});
    for (int k = 0; k < 4; ++k) {
        mixInto(joints, thump, static_cast<std::ptrdiff_t>(k * rate), 0.55, true);
        mixInto(joints, thump, static_cast<std::ptrdiff_t>(k * rate + 0.11 * rate), 0.4, true);
    }
    Biquad roarLp, rumbleLp, windBp, hissBp;
    roarLp.lowpass(900.0, 0.6, rate);
    hissBp.bandpass(2600.0, 0.7, rate);
    rumbleLp.lowpass(220.0, 0.8, rate);
    windBp.bandpass(650.0, 0.5, rate);
    Phasor pg, pg2, pt;
    Audio a = renderLoop(rate, 1, n, [&](std::size_t, std::size_t pos, float* out) {
        const double g = 0.65 + 0.25 * sine(pg.tick(gust, rate)) + 0.1 * sine(pg2.tick(gust2, rate));
        const double roar = roarLp(noise[pos]);
        const double rumble = rumbleLp(noise2[pos]) * 2.0;
        const double wind = windBp(noise2[(pos * 3 + 5) % n]) * g;
        const double hiss = hissBp(noise[(pos * 5 + 11) % n]) * (0.8 + 0.2 * g);
        out[0] = static_cast<float>(0.6 * roar + 0.7 * rumble + 0.5 * wind + 0.04 * hiss + 0.05 * sine(pt.tick(tyre, rate)) + joints[pos]);
    });
    removeDc(a);
    // A background: the race plays it at full volume under the player's engine (-20 dB) and
    // the spoken reports, which must not drown in it.
    levelTo(a, -34.0);
    return a;
}

// ---- items and alerts -----------------------------------------------------------------------

// An FM bell note added into `out` at `start` seconds.
void bell(std::vector<float>& out, int rate, double start, double hz, double amp, double decay, double ratio = 3.5, double index = 1.6) {
    const auto s0 = static_cast<std::ptrdiff_t>(start * rate);
    const auto len = static_cast<std::ptrdiff_t>(std::min(decay * 6.0, 4.0) * rate);
    for (std::ptrdiff_t i = 0; i < len; ++i) {
        const auto k = s0 + i;
        if (k < 0 || k >= static_cast<std::ptrdiff_t>(out.size())) continue;
        const double t = double(i) / rate;
        const double mod = index * std::exp(-t / (decay * 0.4)) * std::sin(kTwoPi * hz * ratio * t);
        out[static_cast<std::size_t>(k)] += static_cast<float>(amp * pluckEnv(t, 0.002, decay) * std::sin(kTwoPi * hz * t + mod));
    }
}

Audio mono(int rate, std::vector<float> x) {
    Audio a(rate, 1, 0);
    a.ch[0] = std::move(x);
    return a;
}

// Heard for 2.0 s at the shortest (crazy), 2.5 and 3.0 s otherwise, and stopped when the item
// arrives: it fits the shortest window whole, and its chimes climb and close in so the ear can
// tell when it ends, on the arrival's own double chime.
inline constexpr double kItemOnSeconds = 1.95;

Audio itemOn(int rate) {
    std::vector<float> x(framesOf(kItemOnSeconds, rate), 0.0f);
    const std::array<double, 5> scale = {0, 2, 4, 7, 9};
    double t = 0.02, step = 0.21;
    for (int k = 0; t < 1.62; ++k) {
        const double note = 72 + scale[std::size_t(k % 5)] + 12 * (k / 5);
        bell(x, rate, t, midiHz(note), 0.3 + 0.05 * k, 0.22, 2.0, 1.2);
        t += step;
        step *= 0.9;
    }
    // The arrival: a bright double chime on the top note, short enough to ring out in time.
    bell(x, rate, 1.66, midiHz(96), 1.0, 0.09, 2.0, 1.6);
    bell(x, rate, 1.76, midiHz(100), 1.0, 0.07, 2.0, 1.6);
    // A soft bed that swells under the chimes until the arrival.
    Phasor p1, p2;
    for (std::size_t i = 0; i < x.size(); ++i) {
        const double tt = double(i) / rate;
        const double env = gateEnv(tt, 1.5, 1.65, 0.15);
        x[i] += static_cast<float>(0.1 * env * (sine(p1.tick(midiHz(60), rate)) + sine(p2.tick(midiHz(67), rate))));
    }
    Audio a = mono(rate, std::move(x));
    fadeOut(a, 40);
    levelTo(a, -18.0);
    return a;
}

Audio itemOff(int rate) {
    std::vector<float> x(framesOf(0.75, rate));
    Phasor p;
    for (std::size_t i = 0; i < x.size(); ++i) {
        const double t = double(i) / rate;
        const double f = 250.0 + 450.0 * std::exp(-t / 0.22) + 12.0 * std::sin(kTwoPi * 7.0 * t);
        const double ph = p.tick(f, rate);
        x[i] = static_cast<float>(gateEnv(t, 0.01, 0.55, 0.18) * (sine(ph) + 0.25 * triangle(ph)));
    }
    Audio a = mono(rate, std::move(x));
    levelTo(a, -19.0);
    return a;
}

Audio errorBuzz(int rate) {
    std::vector<float> x(framesOf(0.42, rate));
    Phasor p;
    Biquad lp;
    lp.lowpass(1800.0, 0.7, rate);
    for (std::size_t i = 0; i < x.size(); ++i) {
        const double t = double(i) / rate;
        const double env = gateEnv(t, 0.006, 0.15, 0.02) + gateEnv(t - 0.22, 0.006, 0.16, 0.03);
        x[i] = static_cast<float>(lp(env * (square(p.tick(140.0, rate), 140.0 / rate) + 0.5 * saw(p.phase(), 140.0 / rate))));
    }
    Audio a = mono(rate, std::move(x));
    levelTo(a, -18.0);
    return a;
}

// Brassy note: saws through a low-pass whose cut-off follows the envelope.
void brass(std::vector<float>& out, int rate, double start, double dur, double hz, double amp) {
    const auto s0 = static_cast<std::size_t>(start * rate);
    const auto len = static_cast<std::size_t>((dur + 0.25) * rate);
    Phasor a, b;
    Biquad lp;
    for (std::size_t i = 0; i < len && s0 + i < out.size(); ++i) {
        const double t = double(i) / rate;
        const double env = gateEnv(t, 0.03, dur, 0.2);
        if (i % 32 == 0) lp.lowpass(400.0 + 3200.0 * env * (0.6 + 0.4 * std::exp(-t / 0.2)), 1.2, rate);
        const double vib = 1.0 + 0.004 * std::sin(kTwoPi * 5.5 * t) * std::min(1.0, t / 0.3);
        const double v = saw(a.tick(hz * vib, rate), hz / rate) + saw(b.tick(hz * vib * 1.004, rate), hz / rate);
        out[s0 + i] += static_cast<float>(amp * env * lp(v));
    }
}

Audio levelUp(int rate) {
    std::vector<float> x(framesOf(1.4, rate), 0.0f);
    const std::array<double, 4> notes = {60, 64, 67, 72};
    for (std::size_t k = 0; k < notes.size(); ++k) brass(x, rate, 0.01 + 0.11 * double(k), k == 3 ? 0.75 : 0.1, midiHz(notes[k]), 0.5);
    brass(x, rate, 0.34, 0.75, midiHz(64), 0.3);
    brass(x, rate, 0.34, 0.75, midiHz(67), 0.3);
    Audio a = mono(rate, std::move(x));
    fadeOut(a, 40);
    levelTo(a, -17.0);
    return a;
}

Audio fanfare(int rate) {
    std::vector<float> x(framesOf(1.5, rate), 0.0f);
    brass(x, rate, 0.01, 0.08, midiHz(67), 0.5);
    brass(x, rate, 0.12, 0.08, midiHz(67), 0.5);
    brass(x, rate, 0.23, 0.08, midiHz(67), 0.5);
    for (double note : {72.0, 76.0, 79.0}) brass(x, rate, 0.36, 0.85, midiHz(note), 0.35);
    for (int k = 0; k < 6; ++k) bell(x, rate, 0.36 + 0.09 * k, midiHz(84 + 2.0 * k), 0.12, 0.3);
    Audio a = mono(rate, std::move(x));
    fadeOut(a, 40);
    levelTo(a, -17.0);
    return a;
}

Audio gameOverFx(int rate) {
    std::vector<float> x(framesOf(2.1, rate), 0.0f);
    const std::array<double, 4> notes = {55, 54, 53, 52};
    for (std::size_t k = 0; k < 3; ++k) brass(x, rate, 0.01 + 0.36 * double(k), 0.28, midiHz(notes[k]), 0.5);
    // The last note sags with a wide vibrato.
    const auto s0 = static_cast<std::size_t>(1.09 * rate);
    Phasor a;
    Biquad lp;
    lp.lowpass(1200.0, 1.0, rate);
    for (std::size_t i = 0; s0 + i < x.size(); ++i) {
        const double t = double(i) / rate;
        const double f = midiHz(52) * (1.0 + 0.03 * std::sin(kTwoPi * 6.0 * t) * std::min(1.0, t / 0.2)) * (1.0 - 0.02 * t);
        x[s0 + i] += static_cast<float>(0.55 * gateEnv(t, 0.03, 0.7, 0.25) * lp(saw(a.tick(f, rate), f / rate)));
    }
    Audio a2 = mono(rate, std::move(x));
    fadeOut(a2, 50);
    levelTo(a2, -17.0);
    return a2;
}

Audio holeWarning(int rate) {
    std::vector<float> x(framesOf(1.15, rate), 0.0f);
    Phasor p;
    for (std::size_t i = 0; i < x.size(); ++i) {
        const double t = double(i) / rate;
        const int beep = static_cast<int>(t / 0.18);
        const double tb = t - beep * 0.18;
        if (beep > 5) continue;
        const double f = beep % 2 ? 660.0 : 880.0;
        const double env = gateEnv(tb, 0.005, 0.13, 0.02) * (0.6 + 0.08 * beep);
        x[i] = static_cast<float>(env * (0.6 * square(p.tick(f, rate), f / rate) + 0.4 * sine(p.phase())));
    }
    Audio a = mono(rate, std::move(x));
    levelTo(a, -17.0);
    return a;
}

Audio fallHole(int rate) {
    std::vector<float> x(framesOf(2.3, rate), 0.0f);
    Rng r(91);
    Biquad windBp;
    Phasor p;
    for (std::size_t i = 0; i < framesOf(1.45, rate); ++i) {
        const double t = double(i) / rate;
        const double f = 1400.0 * std::pow(120.0 / 1400.0, t / 1.4);
        if (i % 64 == 0) windBp.bandpass(f * 1.5 + 200.0, 1.2, rate);
        const double env = gateEnv(t, 0.05, 1.35, 0.08);
        x[i] = static_cast<float>(env * (0.5 * sine(p.tick(f, rate)) + 0.8 * windBp(r.bip()) * (0.3 + t / 1.4)));
    }
    auto thud = ring(rate, 0.8, {{{48.0, 1.4, 0.18}, {77.0, 0.8, 0.12}, {130.0, 0.4, 0.08}}});
    auto dirt = noiseBurst(rate, 0.8, 0.002, 0.15, 80.0, 1600.0, 92);
    mixInto(x, thud, static_cast<std::ptrdiff_t>(1.45 * rate), 1.0, false);
    mixInto(x, dirt, static_cast<std::ptrdiff_t>(1.45 * rate), 0.9, false);
    for (int k = 0; k < 10; ++k) {  // pebbles settling
        auto peb = ring(rate, 0.05, {{{r.range(1800, 3500), 0.3, 0.01}}});
        mixInto(x, peb, static_cast<std::ptrdiff_t>((1.6 + r.range(0.0, 0.5)) * rate), r.range(0.1, 0.4), false);
    }
    Audio a = mono(rate, std::move(x));
    fadeOut(a, 80);
    levelTo(a, -17.0);
    return a;
}

Audio laserShot(int rate) {
    std::vector<float> x(framesOf(0.55, rate), 0.0f);
    Phasor c;
    for (std::size_t i = 0; i < x.size(); ++i) {
        const double t = double(i) / rate;
        const double f = 300.0 + 2300.0 * std::exp(-t / 0.09);
        const double idx = 2.5 * std::exp(-t / 0.12);
        const double ph = c.tick(f, rate);
        x[i] = static_cast<float>(pluckEnv(t, 0.003, 0.14) * std::sin(kTwoPi * ph + idx * std::sin(kTwoPi * ph * 1.5)));
    }
    // Two faint echoes.
    const auto dry = x;
    mixInto(x, dry, static_cast<std::ptrdiff_t>(0.09 * rate), 0.3, false);
    mixInto(x, dry, static_cast<std::ptrdiff_t>(0.18 * rate), 0.12, false);
    Audio a = mono(rate, std::move(x));
    fadeOut(a, 30);
    levelTo(a, -16.0);
    return a;
}

Audio explosion(int rate) {
    const double len = 2.6;
    std::vector<float> x(framesOf(len, rate), 0.0f);
    Rng r(101);
    Biquad lp1, lp2;
    Phasor boom;
    for (std::size_t i = 0; i < x.size(); ++i) {
        const double t = double(i) / rate;
        if (i % 32 == 0) {
            const double fc = 280.0 + 6000.0 * std::exp(-t / 0.35);
            lp1.lowpass(fc, 0.7, rate);
            lp2.lowpass(fc, 0.7, rate);
        }
        const double n = lp2(lp1(r.bip()));
        const double f = 42.0 + 60.0 * std::exp(-t / 0.15);
        x[i] = static_cast<float>(1.3 * n * pluckEnv(t, 0.004, 0.5) + 0.9 * sine(boom.tick(f, rate)) * pluckEnv(t, 0.006, 0.45));
    }
    for (int k = 0; k < 45; ++k) {  // crackle and debris
        const double at = 0.15 + 1.6 * std::pow(r.uni(), 1.8);
        auto piece = k % 4 == 0 ? ring(rate, 0.2, {{{r.range(700, 1600), 0.4, 0.04}, {r.range(2000, 3800), 0.25, 0.02}}})
                                : noiseBurst(rate, 0.03, 0.0005, 0.005, 800.0, 6000.0, 200 + std::uint64_t(k));
        mixInto(x, piece, static_cast<std::ptrdiff_t>(at * rate), r.range(0.2, 0.7) * (1.0 - at / 2.0), false);
    }
    for (auto& v : x) v = static_cast<float>(softClip(1.4 * v));
    Audio a = mono(rate, std::move(x));
    fadeOut(a, 200);
    levelTo(a, -15.0);
    return a;
}

// A car body struck: metal modes, a thump and an impact crack. `seed` gives each variant its
// own panels; `glass` adds breaking glass.
std::vector<float> impact(int rate, std::uint64_t seed, double size, bool glass) {
    Rng r(seed);
    const double len = 0.9 + 0.9 * size;
    std::vector<float> x(framesOf(len + 0.6, rate), 0.0f);
    const double base = r.range(230.0, 420.0) / size;
    const std::array<double, 6> ratios = {1.0, 2.32, 3.76, 5.4, 7.9, 11.3};
    std::vector<std::array<double, 3>> modes;
    for (double q : ratios) modes.push_back({base * q * r.range(0.97, 1.03), r.range(0.2, 0.5) / std::sqrt(q), r.range(0.12, 0.35) * size});
    mixInto(x, ring(rate, len, modes), 0, 0.8, false);
    mixInto(x, ring(rate, 0.4, {{{62.0, 1.3, 0.09 * size}, {95.0, 0.6, 0.06}}}), 0, 1.0, false);
    mixInto(x, noiseBurst(rate, 0.3, 0.0008, 0.035 * size, 150.0, 5000.0, seed * 7 + 1), 0, 1.6, false);
    if (glass) {
        for (int k = 0; k < 28; ++k) {
            auto shard = ring(rate, 0.12, {{{r.range(2800, 7500), 0.25, r.range(0.01, 0.04)}, {r.range(4000, 9000), 0.15, 0.01}}});
            mixInto(x, shard, static_cast<std::ptrdiff_t>((0.03 + 0.5 * std::pow(r.uni(), 1.5)) * rate), r.range(0.15, 0.6), false);
        }
    }
    for (auto& v : x) v = static_cast<float>(softClip(1.2 * v));
    return x;
}

template <int Variant>
Audio carHit(int rate) {
    Audio a = mono(rate, impact(rate, 300 + Variant, 0.8 + 0.12 * Variant, Variant % 2 == 0));
    fadeOut(a, 120);
    levelTo(a, -15.0);
    return a;
}

// Tyre squeal: a narrow band of noise and a wavering tone.
std::vector<float> squeal(int rate, double seconds, double hz, double glide, std::uint64_t seed, double rough) {
    std::vector<float> x(framesOf(seconds, rate));
    Rng r(seed);
    OnePole jitter;
    jitter.cutoff(35.0, rate);
    Biquad bp;
    bp.bandpass(hz * 1.6, 3.0, rate);
    Phasor p;
    for (std::size_t i = 0; i < x.size(); ++i) {
        const double t = double(i) / rate;
        const double j = jitter(r.bip()) * 8.0;
        const double f = hz * (1.0 + glide * t / seconds) * (1.0 + 0.03 * j);
        const double hop = 1.0 - rough * (0.5 + 0.5 * std::sin(kTwoPi * 18.0 * t));
        const double env = gateEnv(t, 0.03, seconds - 0.18, 0.16) * hop;
        const double ph = p.tick(f, rate);
        x[i] = static_cast<float>(env * (0.55 * sine(ph) + 0.2 * triangle(std::fmod(ph * 2.0, 1.0)) + 0.9 * bp(r.bip())));
    }
    return x;
}

template <int Variant>
Audio skidSmall(int rate) {
    Audio a = mono(rate, squeal(rate, Variant == 1 ? 0.7 : 0.85, Variant == 1 ? 1350.0 : 1120.0, Variant == 1 ? 0.04 : -0.08, 400 + Variant, 0.1));
    levelTo(a, -18.0);
    return a;
}

template <int Variant>
Audio skidLarge(int rate) {
    auto x = squeal(rate, Variant == 1 ? 1.4 : 1.6, Variant == 1 ? 950.0 : 1050.0, Variant == 1 ? 0.5 : -0.25, 410 + Variant, 0.35);
    auto gravel = noiseBurst(rate, 0.5, 0.02, 0.15, 300.0, 2500.0, 420 + Variant);
    mixInto(x, gravel, static_cast<std::ptrdiff_t>(x.size()) - static_cast<std::ptrdiff_t>(0.45 * rate), 0.8, false);
    Audio a = mono(rate, std::move(x));
    levelTo(a, -17.0);
    return a;
}

template <int Variant>
Audio bigCrash(int rate) {
    const double lead = 0.35 + 0.05 * Variant;
    std::vector<float> x(framesOf(lead + 2.2, rate), 0.0f);
    mixInto(x, squeal(rate, lead + 0.05, 1200.0 - 60.0 * Variant, 0.2, 500 + Variant, 0.2), 0, 0.5, false);
    mixInto(x, impact(rate, 510 + Variant, 1.3, true), static_cast<std::ptrdiff_t>(lead * rate), 1.0, false);
    mixInto(x, impact(rate, 520 + Variant, 1.0, false), static_cast<std::ptrdiff_t>((lead + 0.28 + 0.04 * Variant) * rate), 0.6, false);
    Rng r(530 + Variant);
    for (int k = 0; k < 9; ++k) {  // tumbling parts
        auto clunk = ring(rate, 0.25, {{{r.range(300, 900), 0.5, 0.05}, {r.range(1200, 2600), 0.3, 0.03}}});
        mixInto(x, clunk, static_cast<std::ptrdiff_t>((lead + 0.5 + 1.2 * r.uni()) * rate), r.range(0.2, 0.5), false);
    }
    Audio a = mono(rate, std::move(x));
    fadeOut(a, 250);
    levelTo(a, -15.0);
    return a;
}

// ---- tetriss theme: chip sounds -----------------------------------------------------------

// Square-wave note with a 12.5 % or 25 % duty, like an old game console.
void chip(std::vector<float>& out, int rate, double start, double dur, double hz, double amp, double duty = 0.25, double vibrato = 0.0) {
    const auto s0 = static_cast<std::size_t>(start * rate);
    const auto len = static_cast<std::size_t>((dur + 0.02) * rate);
    Phasor p;
    for (std::size_t i = 0; i < len && s0 + i < out.size(); ++i) {
        const double t = double(i) / rate;
        const double f = hz * (1.0 + vibrato * std::sin(kTwoPi * 6.0 * t) * std::min(1.0, t / 0.1));
        out[s0 + i] += static_cast<float>(amp * gateEnv(t, 0.003, dur, 0.015) * square(p.tick(f, rate), f / rate, duty));
    }
}

// Noise of a 15-bit shift register, stepped at `stepHz`, as the chip consoles made it.
std::vector<float> chipNoise(int rate, double seconds, double stepHz, double decay) {
    std::vector<float> x(framesOf(seconds, rate));
    unsigned reg = 1;
    double acc = 0;
    for (std::size_t i = 0; i < x.size(); ++i) {
        acc += stepHz / rate;
        while (acc >= 1.0) {
            acc -= 1.0;
            const unsigned bit = (reg ^ (reg >> 1)) & 1u;
            reg = (reg >> 1) | (bit << 14);
        }
        const double t = double(i) / rate;
        x[i] = static_cast<float>((reg & 1u ? 1.0 : -1.0) * std::exp(-t / decay));
    }
    return x;
}

Audio tLevelUp(int rate) {
    std::vector<float> x(framesOf(1.05, rate), 0.0f);
    const std::array<double, 7> notes = {72, 76, 79, 84, 88, 91, 96};
    for (std::size_t k = 0; k < notes.size(); ++k) chip(x, rate, 0.07 * double(k), 0.065, midiHz(notes[k]), 0.5, 0.125);
    chip(x, rate, 0.49, 0.45, midiHz(96), 0.5, 0.125, 0.01);
    chip(x, rate, 0.49, 0.45, midiHz(84), 0.3, 0.5);
    Audio a = mono(rate, std::move(x));
    fadeOut(a, 30);
    levelTo(a, -19.0);
    return a;
}

template <int Variant>
Audio tPass(int rate) {
    const std::array<double, 4> base = {81, 84, 88, 79};
    std::vector<float> x(framesOf(0.4, rate), 0.0f);
    Phasor p;
    const double f0 = midiHz(base[Variant - 1]);
    for (std::size_t i = 0; i < x.size(); ++i) {
        const double t = double(i) / rate;
        const double f = f0 * std::pow(0.5, t / 0.3);  // falls an octave: the car goes by
        x[i] = static_cast<float>(0.5 * gateEnv(t, 0.01, 0.3, 0.08) * square(p.tick(f, rate), f / rate, 0.25));
    }
    auto hiss = chipNoise(rate, 0.4, 9000.0, 0.12);
    mixInto(x, hiss, 0, 0.12, false);
    Audio a = mono(rate, std::move(x));
    fadeOut(a, 20);
    levelTo(a, -20.0);
    return a;
}

Audio tHit(int rate) {
    auto x = chipNoise(rate, 0.65, 4000.0, 0.16);
    for (auto& v : x) v *= 0.7f;
    Phasor p;
    for (std::size_t i = 0; i < x.size(); ++i) {
        const double t = double(i) / rate;
        const double f = 80.0 + 320.0 * std::exp(-t / 0.1);
        x[i] += static_cast<float>(0.6 * std::exp(-t / 0.2) * square(p.tick(f, rate), f / rate, 0.5));
    }
    Audio a = mono(rate, std::move(x));
    fadeOut(a, 40);
    levelTo(a, -16.0);
    return a;
}

Audio pauseIn(int rate) {
    std::vector<float> x(framesOf(0.32, rate), 0.0f);
    chip(x, rate, 0.0, 0.12, midiHz(79), 0.5);
    chip(x, rate, 0.15, 0.14, midiHz(72), 0.5);
    Audio a = mono(rate, std::move(x));
    levelTo(a, -19.0);
    return a;
}

Audio pauseOut(int rate) {
    std::vector<float> x(framesOf(0.32, rate), 0.0f);
    chip(x, rate, 0.0, 0.12, midiHz(72), 0.5);
    chip(x, rate, 0.15, 0.14, midiHz(79), 0.5);
    Audio a = mono(rate, std::move(x));
    levelTo(a, -19.0);
    return a;
}

Audio tGameOver(int rate) {
    std::vector<float> x(framesOf(2.7, rate), 0.0f);
    const std::array<double, 8> melody = {76, 74, 72, 71, 69, 68, 69, 64};
    for (std::size_t k = 0; k < melody.size(); ++k) chip(x, rate, 0.2 * double(k), 0.17, midiHz(melody[k]), 0.45, 0.25);
    chip(x, rate, 1.65, 0.9, midiHz(57), 0.5, 0.5, 0.008);
    // Triangle bass under it.
    Phasor p;
    const std::array<double, 4> bass = {45, 41, 40, 33};
    for (std::size_t i = 0; i < x.size(); ++i) {
        const double t = double(i) / rate;
        const auto k = std::min<std::size_t>(3, static_cast<std::size_t>(t / 0.5));
        x[i] += static_cast<float>(0.35 * gateEnv(t, 0.01, 2.4, 0.2) * triangle(p.tick(midiHz(bass[k]), rate)));
    }
    Audio a = mono(rate, std::move(x));
    fadeOut(a, 60);
    levelTo(a, -18.0);
    return a;
}

// ---- bonus round ----------------------------------------------------------------------------

// Targets repeat back to back while they cross, so each is one second with soft edges.
Audio target1(int rate) {  // warbling beeper
    std::vector<float> x(framesOf(1.0, rate));
    Phasor p;
    for (std::size_t i = 0; i < x.size(); ++i) {
        const double t = double(i) / rate;
        const double f = 900.0 + 90.0 * std::sin(kTwoPi * 12.0 * t);
        const double pulse = gateEnv(std::fmod(t, 0.25), 0.01, 0.19, 0.04);
        x[i] = static_cast<float>(pulse * (sine(p.tick(f, rate)) + 0.2 * triangle(p.phase())));
    }
    Audio a = mono(rate, std::move(x));
    levelTo(a, -18.0);
    return a;
}

Audio target2(int rate) {  // buzzing insect
    std::vector<float> x(framesOf(1.0, rate));
    Phasor p;
    Biquad bp;
    for (std::size_t i = 0; i < x.size(); ++i) {
        const double t = double(i) / rate;
        if (i % 32 == 0) bp.bandpass(900.0 + 600.0 * std::sin(kTwoPi * 2.0 * t), 2.0, rate);
        const double f = 190.0 + 8.0 * std::sin(kTwoPi * 9.0 * t);
        const double trem = 0.7 + 0.3 * std::sin(kTwoPi * 8.0 * t);
        x[i] = static_cast<float>(gateEnv(t, 0.02, 0.95, 0.04) * trem * bp(saw(p.tick(f, rate), f / rate)));
    }
    Audio a = mono(rate, std::move(x));
    levelTo(a, -18.0);
    return a;
}

Audio target3(int rate) {  // chirping bird
    std::vector<float> x(framesOf(1.0, rate));
    Phasor p;
    for (std::size_t i = 0; i < x.size(); ++i) {
        const double t = double(i) / rate;
        const double tc = std::fmod(t, 1.0 / 3.0);
        const double f = 2000.0 + 1500.0 * std::min(1.0, tc / 0.09);
        const double env = gateEnv(tc, 0.005, 0.08, 0.03);
        x[i] = static_cast<float>(env * sine(p.tick(f, rate)));
    }
    Audio a = mono(rate, std::move(x));
    levelTo(a, -19.0);
    return a;
}

Audio target4(int rate) {  // bubbling bloops
    std::vector<float> x(framesOf(1.0, rate));
    Phasor p;
    for (std::size_t i = 0; i < x.size(); ++i) {
        const double t = double(i) / rate;
        const double tb = std::fmod(t, 0.125);
        const double f = 300.0 * std::pow(3.0, tb / 0.1);
        x[i] = static_cast<float>(gateEnv(tb, 0.004, 0.08, 0.03) * (sine(p.tick(f, rate)) + 0.3 * triangle(p.phase())));
    }
    Audio a = mono(rate, std::move(x));
    levelTo(a, -18.0);
    return a;
}

Audio gunShot(int rate) {
    std::vector<float> x(framesOf(0.6, rate), 0.0f);
    auto crack = noiseBurst(rate, 0.4, 0.0006, 0.05, 250.0, 7000.0, 601);
    auto boom = ring(rate, 0.4, {{{105.0, 1.0, 0.09}, {160.0, 0.5, 0.05}}});
    mixInto(x, crack, 0, 1.8, false);
    mixInto(x, boom, 0, 1.0, false);
    const auto dry = x;
    mixInto(x, dry, static_cast<std::ptrdiff_t>(0.085 * rate), 0.22, false);
    mixInto(x, dry, static_cast<std::ptrdiff_t>(0.17 * rate), 0.1, false);
    for (auto& v : x) v = static_cast<float>(softClip(v));
    Audio a = mono(rate, std::move(x));
    fadeOut(a, 60);
    levelTo(a, -15.0);
    return a;
}

Audio bonusHit(int rate) {
    std::vector<float> x(framesOf(0.9, rate), 0.0f);
    bell(x, rate, 0.0, midiHz(88), 0.6, 0.25);
    bell(x, rate, 0.09, midiHz(95), 0.6, 0.35);
    for (int k = 0; k < 5; ++k) bell(x, rate, 0.18 + 0.04 * k, midiHz(96 + 3.0 * k), 0.15, 0.12, 2.0, 0.8);
    Audio a = mono(rate, std::move(x));
    fadeOut(a, 60);
    levelTo(a, -17.0);
    return a;
}

// ---- menus and online ---------------------------------------------------------------------------

Audio menuClick(int rate) {
    std::vector<float> x(framesOf(0.05, rate), 0.0f);
    mixInto(x, ring(rate, 0.05, {{{2200.0, 1.0, 0.006}, {3300.0, 0.4, 0.004}}}), 0, 1.0, false);
    mixInto(x, noiseBurst(rate, 0.02, 0.0003, 0.002, 2000.0, 9000.0, 701), 0, 0.5, false);
    Audio a = mono(rate, std::move(x));
    fadeOut(a, 5);
    peakTo(a, -6.0);
    return a;
}

// The confirmation of a volume step: a short soft tone, long enough to judge the level by.
Audio volumeTick(int rate) {
    std::vector<float> x(framesOf(0.12, rate), 0.0f);
    mixInto(x, ring(rate, 0.12, {{{880.0, 1.0, 0.05}, {1760.0, 0.25, 0.03}}}), 0, 1.0, false);
    Audio a = mono(rate, std::move(x));
    fadeIn(a, 3);
    fadeOut(a, 20);
    peakTo(a, -6.0);
    return a;
}

Audio scoreSending(int rate) {
    std::vector<float> x(framesOf(2.6, rate), 0.0f);
    Rng r(711);
    const std::array<double, 5> penta = {0, 3, 5, 7, 10};
    for (int k = 0; k * 0.045 < 2.5; ++k) {
        const double note = 72 + penta[static_cast<std::size_t>(r.uni() * 5)] + 12 * std::floor(r.uni() * 2);
        chip(x, rate, k * 0.045, 0.03, midiHz(note), 0.35, 0.5);
    }
    Phasor p;
    for (std::size_t i = 0; i < x.size(); ++i) {  // carrier tone sweeping under the data
        const double t = double(i) / rate;
        x[i] += static_cast<float>(0.12 * sine(p.tick(1200.0 + 400.0 * std::sin(kTwoPi * 0.8 * t), rate)));
    }
    Audio a = mono(rate, std::move(x));
    fadeIn(a, 150);
    fadeOut(a, 300);
    levelTo(a, -21.0);
    return a;
}

const std::vector<FxInfo> kFx = {
    {"engine_lego", true, engineLego},
    {"engine_zorvan", true, engineZorvan},
    {"engine_jeep", true, engineJeep},
    {"engine_electric", true, engineElectric},
    {"bad_engine", true, badEngine},
    {"bad_lego", true, badLego},
    {"brakes_ready", true, brakesReady},
    {"road", true, roadAmbience},
    {"menu_music", true, fxMenuMusic},
    {"item_on", false, itemOn},
    {"item_off", false, itemOff},
    {"error", false, errorBuzz},
    {"level_up", false, levelUp},
    {"fanfare", false, fanfare},
    {"game_over", false, gameOverFx},
    {"hole_warning", false, holeWarning},
    {"fall_hole", false, fallHole},
    {"laser", false, laserShot},
    {"explosion", false, explosion},
    {"car_hit1", false, carHit<1>},
    {"car_hit2", false, carHit<2>},
    {"car_hit3", false, carHit<3>},
    {"car_hit4", false, carHit<4>},
    {"crash1", false, bigCrash<1>},
    {"crash2", false, bigCrash<2>},
    {"crash3", false, bigCrash<3>},
    {"crash4", false, bigCrash<4>},
    {"skid_small1", false, skidSmall<1>},
    {"skid_small2", false, skidSmall<2>},
    {"skid_large1", false, skidLarge<1>},
    {"skid_large2", false, skidLarge<2>},
    {"t_levelup", false, tLevelUp},
    {"t_pass1", false, tPass<1>},
    {"t_pass2", false, tPass<2>},
    {"t_pass3", false, tPass<3>},
    {"t_pass4", false, tPass<4>},
    {"t_hit", false, tHit},
    {"pause_in", false, pauseIn},
    {"pause_out", false, pauseOut},
    {"t_gameover", false, tGameOver},
    {"target1", false, target1},
    {"target2", false, target2},
    {"target3", false, target3},
    {"target4", false, target4},
    {"gun", false, gunShot},
    {"bonus_hit", false, bonusHit},
    {"click", false, menuClick},
    {"volume", false, volumeTick},
    {"score_sending", false, scoreSending},
    {"intro", false, fxIntro},
    {"farewell", false, fxFarewell},
    {"logo", false, fxLogo},
};

}  // namespace

const std::vector<FxInfo>& allFx() { return kFx; }

const FxInfo* findFx(const std::string& name) {
    for (const auto& f : kFx)
        if (name == f.name) return &f;
    return nullptr;
}

Audio renderFx(const std::string& name, int rate) {
    const FxInfo* f = findFx(name);
    if (!f) throw std::invalid_argument("unknown sound generator \"" + name + "\"");
    return f->render(rate);
}

}  // namespace zorvan::soundpack
