// What the built pack sounds like, measured: nothing clips, loops wrap without a jump, spoken
// clips start and stop on the voice and are equally loud, the four engines differ.

#include <gtest/gtest.h>

#include <cmath>
#include <fftw3.h>

#include <stdexcept>

#include "pack_files.h"
#include "loudness.h"
#include "pack.h"
#include "speech.h"

using namespace packtest;

namespace {

const double kMinusOneDbfs = std::pow(10.0, -1.0 / 20.0);

bool isPureSpeech(const sp::Clip& c) { return c.type == sp::ClipType::Speech; }

// Average power spectrum of the first channel over 4096-point Hann frames (FFTW), bin k at
// k * rate / 4096 Hz.
std::vector<double> powerSpectrum(const sp::Audio& a) {
    constexpr int n = 4096;
    std::vector<double> power(n / 2 + 1, 0.0);
    double* in = fftw_alloc_real(n);
    fftw_complex* out = fftw_alloc_complex(n / 2 + 1);
    fftw_plan plan = fftw_plan_dft_r2c_1d(n, in, out, FFTW_ESTIMATE);
    const auto& x = a.ch[0];
    for (std::size_t start = 0; start + n <= x.size(); start += n / 2) {
        for (int i = 0; i < n; ++i) in[i] = x[start + std::size_t(i)] * (0.5 - 0.5 * std::cos(2 * M_PI * i / n));
        fftw_execute(plan);
        for (int k = 0; k <= n / 2; ++k) power[std::size_t(k)] += out[k][0] * out[k][0] + out[k][1] * out[k][1];
    }
    fftw_destroy_plan(plan);
    fftw_free(out);
    fftw_free(in);
    return power;
}

// Magnitude-weighted centroid between 40 Hz and 8 kHz.
double spectralCentroid(const sp::Audio& a) {
    const auto p = powerSpectrum(a);
    double num = 0, den = 0;
    for (std::size_t k = 0; k < p.size(); ++k) {
        const double hz = double(k) * a.rate / 4096.0;
        if (hz < 40 || hz > 8000) continue;
        num += hz * std::sqrt(p[k]);
        den += std::sqrt(p[k]);
    }
    return den > 0 ? num / den : 0;
}

// The share of the power at or above `hz`.
double shareAbove(const sp::Audio& a, double hz) {
    const auto p = powerSpectrum(a);
    double above = 0, total = 0;
    for (std::size_t k = 1; k < p.size(); ++k) {
        total += p[k];
        if (double(k) * a.rate / 4096.0 >= hz) above += p[k];
    }
    return total > 0 ? above / total : 0;
}

sp::LoudnessTarget planFor(const std::string& path) {
    for (const auto& c : manifest())
        if (c.path == path) return sp::loudnessTarget(c);
    throw std::runtime_error("not in the manifest: " + path);
}

// As the player hears it: the clip's loudness at the speed and volume the game plays it at.
double heardLufs(const sp::Clip& c) {
    const auto t = sp::loudnessTarget(c);
    return sp::integratedLufs(packFile(c.path).audio, t.speed) + t.gameVolume / 100.0;
}
double heardLufs(const std::string& path, int volume, int pan = 0) {
    sp::Audio a = packFile(path).audio;
    if (pan != 0) {  // as the mixer pans: the far side loses |pan| hundredths of a dB
        a = sp::withChannels(a, 2);
        auto& far = a.ch[pan > 0 ? 0 : 1];
        for (auto& v : far) v = static_cast<float>(v * sp::dbToGain(-std::abs(pan) / 100.0));
    }
    return sp::integratedLufs(a, planFor(path).speed) + volume / 100.0;
}

}  // namespace

// The road bed is meant to be quiet (LOUDNESS.md): it is held 6 dB under its planned level
// instead, which still catches a bed that came out silent or far too soft.
TEST(PackQuality, NothingClipsAndNothingIsSilent) {
    for (const auto& c : manifest()) {
        const auto& a = packFile(c.path).audio;
        EXPECT_LE(sp::peakOf(a), kMinusOneDbfs) << c.path << " peaks above -1 dBFS";
        const double floor = sp::loudnessTarget(c).kind == sp::LoudnessKind::Bed ? -48.0 : -40.0;
        EXPECT_GT(sp::gatedRmsDb(a), floor) << c.path << " is nearly silent";
    }
}

TEST(PackQuality, LoopsWrapWithoutAJump) {
    int loops = 0;
    for (const auto& c : manifest()) {
        if (c.type != sp::ClipType::Loop) continue;
        ++loops;
        SCOPED_TRACE(c.path);
        const auto& a = packFile(c.path).audio;
        const sp::SeamReport r = sp::analyseSeam(a);
        // The step across the seam is no bigger than the signal's own steps around it.
        EXPECT_LE(r.seamStep, 2.0 * r.localStep + 4.0 / 32768.0) << "seam step " << r.seamStep << ", local " << r.localStep;
        // Nor does it bend harder than the signal does around it (a click with no step).
        const auto& x = a.ch[0];
        const std::size_t n = x.size(), near = std::size_t(a.rate) / 200;
        double localBend = 0;
        for (std::size_t i = 2; i < near; ++i) {
            localBend = std::max(localBend, double(std::fabs(x[i] - 2 * x[i - 1] + x[i - 2])));
            localBend = std::max(localBend, double(std::fabs(x[n - i] - 2 * x[n - i - 1] + x[n - i - 2])));
        }
        const double seamBend = std::max(std::fabs(x[0] - 2 * x[n - 1] + x[n - 2]), std::fabs(x[1] - 2 * x[0] + x[n - 1]));
        EXPECT_LE(seamBend, 1.5 * localBend + 4.0 / 32768.0) << "seam bend " << seamBend << ", local " << localBend;
        // No dip and no burst: the seam is like any other moment of the loop.
        EXPECT_GE(r.seamRmsDb, r.loopMinRmsDb - 1.0);
        EXPECT_LE(r.seamRmsDb, r.loopMaxRmsDb + 1.0);
        EXPECT_GE(a.seconds(), 1.0);
    }
    EXPECT_EQ(loops, 9);  // four engines, two damaged engines, brakes, road, menu music
}

TEST(PackQuality, MenuMusicIsALongStereoLoop) {
    const auto& a = packFile("sounds/menu/music.wav").audio;
    EXPECT_EQ(a.channels(), 2);
    EXPECT_GE(a.seconds(), 30.0);
    // Stereo in earnest, not one channel twice.
    double diff = 0;
    for (std::size_t i = 0; i < a.frames(); ++i) diff += std::fabs(a.ch[0][i] - a.ch[1][i]);
    EXPECT_GT(diff / double(a.frames()), 1e-3);
}

// A clip whose words keep their faint edges (edge=) is measured at its own level.
TEST(PackQuality, SpokenClipsCarryNoLongSilenceAtEitherEnd) {
    for (const auto& c : manifest()) {
        if (!isPureSpeech(c)) continue;
        const auto& a = packFile(c.path).audio;
        const double silent = std::min(-45.0, c.segments.front().option("edge", -45.0) + 3.0);
        EXPECT_LE(sp::leadingSilenceMs(a, silent), 20.0) << c.path;
        EXPECT_LE(sp::trailingSilenceMs(a, silent), 20.0) << c.path;
    }
}

// Equally loud in EBU R128 loudness, the measure the whole pack is levelled by.
TEST(PackQuality, SpokenClipsAreEquallyLoud) {
    for (const auto& c : manifest()) {
        if (!isPureSpeech(c)) continue;
        EXPECT_NEAR(heardLufs(c), sp::kSpeechLufs, sp::kLoudnessToleranceLu) << c.path;
    }
}

// Queued number clips must flow as one phrase: short words, no padding.
TEST(PackQuality, NumberClipsAreShortWords) {
    for (const auto& path : requiredSounds().at("numbers")) {
        const auto& a = packFile(path).audio;
        EXPECT_LT(a.seconds(), 1.0) << path;
        EXPECT_GT(a.seconds(), 0.15) << path;
    }
}

// The speaker test says its words from the left, the centre and the right, in that order.
TEST(PackQuality, SpeakerTestMovesFromLeftToRight) {
    const auto& a = packFile("sounds/menu/test.wav").audio;
    ASSERT_EQ(a.channels(), 2);
    const std::size_t third = a.frames() / 3;
    auto energy = [&](int ch, std::size_t from, std::size_t to) {
        double e = 0;
        for (std::size_t i = from; i < to; ++i) e += double(a.ch[std::size_t(ch)][i]) * a.ch[std::size_t(ch)][i];
        return e;
    };
    EXPECT_GT(energy(0, 0, third), 100 * energy(1, 0, third)) << "the first word is not on the left";
    EXPECT_GT(energy(1, 2 * third, a.frames()), 100 * energy(0, 2 * third, a.frames())) << "the last word is not on the right";
    const double l = energy(0, third, 2 * third), r = energy(1, third, 2 * third);
    EXPECT_NEAR(l / r, 1.0, 0.2) << "the middle word is not centred";
}

// The four cars must be told apart by ear; their brightness is one measure that must differ.
TEST(PackQuality, TheFourEnginesSoundDifferent) {
    std::vector<double> centroid;
    for (int car = 1; car <= 4; ++car) centroid.push_back(spectralCentroid(packFile("sounds/car/" + std::to_string(car) + ".wav").audio));
    for (std::size_t i = 0; i < 4; ++i)
        for (std::size_t j = i + 1; j < 4; ++j) {
            const double ratio = std::max(centroid[i], centroid[j]) / std::min(centroid[i], centroid[j]);
            EXPECT_GT(ratio, 1.15) << "car " << i + 1 << " (" << centroid[i] << " Hz) and car " << j + 1 << " (" << centroid[j] << " Hz)";
        }
}

// The tetriss theme plays the road at full volume under the whole race, with the player's own
// engine at -2000 (the lane the player hears it in, panned hard in a side lane) and every spoken
// report on top: the road must stay a background to both, and a crash must not jump far out of it.
TEST(PackQuality, TheRoadStaysUnderTheSpeechAndThePlayersEngine) {
    const double road = heardLufs("sounds/amb.wav", 0);
    EXPECT_LE(road, sp::kSpeechLufs - 12.0);
    for (int car = 1; car <= 4; ++car) {
        const std::string path = "sounds/car/" + std::to_string(car) + ".wav";
        for (int pan : {-sp::kSideLanePan, 0, sp::kSideLanePan}) {
            const double engine = heardLufs(path, -2000, pan);
            EXPECT_LE(road, engine - 6.0) << "car " << car << " at -2000, pan " << pan << ": " << engine << " LUFS, road " << road << " LUFS";
            EXPECT_LE(engine, sp::kSpeechLufs - 6.0) << "car " << car << " heard over the spoken reports";
        }
    }
    for (const auto& c : manifest()) {
        if (sp::loudnessTarget(c).kind != sp::LoudnessKind::Crash) continue;
        EXPECT_LE(heardLufs(c), road + 12.0) << c.path << " jumps out of the race";
    }
}

// Every clip lands within its kind's window of the loudness plan, as heard in the game.
TEST(PackQuality, EveryClipMeetsTheLoudnessPlan) {
    std::map<sp::LoudnessKind, int> kinds;
    for (const auto& c : manifest()) {
        const auto t = sp::loudnessTarget(c);
        ++kinds[t.kind];
        const double heard = heardLufs(c);
        EXPECT_GE(heard, t.lowest) << c.path << " (" << sp::kindName(t.kind) << ")";
        EXPECT_LE(heard, t.highest) << c.path << " (" << sp::kindName(t.kind) << ")";
        // Speech on top; effects and jingles within 10 LU of it.
        EXPECT_LE(heard, sp::kSpeechLufs + sp::kLoudnessToleranceLu) << c.path;
        if (t.kind == sp::LoudnessKind::Effect || t.kind == sp::LoudnessKind::Crash) {
            EXPECT_GE(heard, sp::kSpeechLufs - 10.0) << c.path;
        }
    }
    EXPECT_EQ(kinds.size(), 7u);
}

// The main, car and difficulty menus play the music at volume 0 under every prompt.
TEST(PackQuality, MenuPromptsStandTenLuOverTheMusic) {
    const double music = heardLufs("sounds/menu/music.wav", 0);
    for (const auto& c : manifest()) {
        if (c.path.rfind("sounds/menu/", 0) != 0 || !isPureSpeech(c)) continue;
        EXPECT_GE(heardLufs(c) - music, 10.0) << c.path;
    }
}

// Clips start and end on a fade, carry no offset and no dead air at the end.
TEST(PackQuality, EdgesAreFadedWithoutOffsetOrDeadAir) {
    for (const auto& c : manifest()) {
        SCOPED_TRACE(c.path);
        const auto& a = packFile(c.path).audio;
        for (const auto& ch : a.ch) {
            double mean = 0;
            for (float v : ch) mean += v;
            EXPECT_LE(std::fabs(mean / double(ch.size())), 0.005) << "DC offset";
        }
        if (c.type == sp::ClipType::Loop) continue;
        for (const auto& ch : a.ch) {
            EXPECT_LE(std::fabs(ch.front()), 0.01) << "hard start";
            EXPECT_LE(std::fabs(ch.back()), 0.01) << "hard end";
        }
        EXPECT_LE(sp::trailingSilenceMs(a, sp::kTailSilenceDb), 50.0) << "silence at the end";
    }
}

// The item sound is stopped when the item arrives, after 2.0 s at the shortest: it must end by
// then, and not long before, since its end tells the arrival.
TEST(PackQuality, ItemSoundFitsTheShortestWindow) {
    const auto& a = packFile("sounds/itemon.wav").audio;
    EXPECT_LE(a.seconds(), 2.0);
    EXPECT_GE(a.seconds(), 1.8);
    // It closes on its loudest moment, not on a fading tail: the last 0.3 s hold the peak.
    const std::size_t from = a.frames() - std::size_t(0.3 * a.rate);
    float lastPeak = 0;
    for (std::size_t i = from; i < a.frames(); ++i) lastPeak = std::max(lastPeak, std::fabs(a.ch[0][i]));
    EXPECT_GE(lastPeak, 0.9f * sp::peakOf(a));
}

// The engines reach into the high bands where left and right are told apart.
TEST(PackQuality, EnginesCarryEnergyAboveFourKilohertz) {
    for (int car = 1; car <= 4; ++car) {
        const auto& a = packFile("sounds/car/" + std::to_string(car) + ".wav").audio;
        EXPECT_GE(shareAbove(a, 1500.0), 0.2) << "car " << car;
        EXPECT_GE(shareAbove(a, 4000.0), 0.05) << "car " << car;
    }
}

TEST(PackQuality, WholePackStaysSmall) {
    std::uintmax_t total = 0;
    for (const auto& c : manifest()) total += fs::file_size(gameDir() / c.path);
    EXPECT_LT(total, 40u * 1000 * 1000);
}
