// What the built pack sounds like, measured: nothing clips, loops wrap without a jump, spoken
// clips start and stop on the voice and are equally loud, the four engines differ.

#include <gtest/gtest.h>

#include <cmath>
#include <complex>

#include "pack_files.h"
#include "speech.h"

using namespace packtest;

namespace {

const double kMinusOneDbfs = std::pow(10.0, -1.0 / 20.0);

bool isPureSpeech(const sp::Clip& c) { return c.type == sp::ClipType::Speech; }

// Average magnitude spectrum over 4096-point frames; returns the centroid in Hz between 40 Hz
// and 8 kHz, weighted by magnitude.
double spectralCentroid(const sp::Audio& a) {
    constexpr std::size_t n = 4096;
    std::vector<double> mag(n / 2, 0.0);
    const auto& x = a.ch[0];
    for (std::size_t start = 0; start + n <= x.size(); start += n / 2) {
        std::vector<std::complex<double>> f(n);
        for (std::size_t i = 0; i < n; ++i) f[i] = x[start + i] * (0.5 - 0.5 * std::cos(2 * M_PI * double(i) / n));
        // In-place radix-2 FFT.
        for (std::size_t i = 1, j = 0; i < n; ++i) {
            std::size_t bit = n >> 1;
            for (; j & bit; bit >>= 1) j ^= bit;
            j ^= bit;
            if (i < j) std::swap(f[i], f[j]);
        }
        for (std::size_t len = 2; len <= n; len <<= 1) {
            const std::complex<double> w = std::polar(1.0, -2 * M_PI / double(len));
            for (std::size_t i = 0; i < n; i += len) {
                std::complex<double> wk = 1;
                for (std::size_t k = 0; k < len / 2; ++k, wk *= w) {
                    const auto u = f[i + k], v = f[i + k + len / 2] * wk;
                    f[i + k] = u + v;
                    f[i + k + len / 2] = u - v;
                }
            }
        }
        for (std::size_t k = 0; k < n / 2; ++k) mag[k] += std::abs(f[k]);
    }
    double num = 0, den = 0;
    for (std::size_t k = 0; k < n / 2; ++k) {
        const double hz = double(k) * a.rate / n;
        if (hz < 40 || hz > 8000) continue;
        num += hz * mag[k];
        den += mag[k];
    }
    return den > 0 ? num / den : 0;
}

}  // namespace

TEST(PackQuality, NothingClipsAndNothingIsSilent) {
    for (const auto& c : manifest()) {
        const auto& a = packFile(c.path).audio;
        EXPECT_LE(sp::peakOf(a), kMinusOneDbfs) << c.path << " peaks above -1 dBFS";
        EXPECT_GT(sp::gatedRmsDb(a), -40.0) << c.path << " is nearly silent";
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

TEST(PackQuality, SpokenClipsCarryNoLongSilenceAtEitherEnd) {
    for (const auto& c : manifest()) {
        if (!isPureSpeech(c)) continue;
        const auto& a = packFile(c.path).audio;
        EXPECT_LE(sp::leadingSilenceMs(a, -45.0), 20.0) << c.path;
        EXPECT_LE(sp::trailingSilenceMs(a, -45.0), 20.0) << c.path;
    }
}

TEST(PackQuality, SpokenClipsAreEquallyLoud) {
    for (const auto& c : manifest()) {
        if (!isPureSpeech(c)) continue;
        EXPECT_NEAR(sp::gatedRmsDb(packFile(c.path).audio), sp::kSpeechLoudnessDb, 1.0) << c.path;
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
// engine at -20 dB (the lane the player hears it in) and every spoken report on top: the road
// must stay a background to both, not mask them.
TEST(PackQuality, TheRoadStaysUnderTheSpeechAndThePlayersEngine) {
    const double road = sp::gatedRmsDb(packFile("sounds/amb.wav").audio);
    EXPECT_LE(road, sp::kSpeechLoudnessDb - 12.0);
    for (int car = 1; car <= 4; ++car) {
        const double engine = sp::gatedRmsDb(packFile("sounds/car/" + std::to_string(car) + ".wav").audio) - 20.0;
        EXPECT_LE(road, engine + 6.0) << "car " << car << " at -20 dB: " << engine << " dB, road " << road << " dB";
    }
}

TEST(PackQuality, WholePackStaysSmall) {
    std::uintmax_t total = 0;
    for (const auto& c : manifest()) total += fs::file_size(gameDir() / c.path);
    EXPECT_LT(total, 40u * 1000 * 1000);
}
