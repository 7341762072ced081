#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <numbers>
#include <random>
#include <thread>

#include "sound/mixer.h"

namespace zorvan {
namespace {

constexpr int kRate = 48000;
constexpr std::size_t kFade = kRate / 500;  // stop and release fade out over 2 ms

std::shared_ptr<const PcmClip> constantClip(std::size_t frames, float value, int rate = kRate) {
    auto clip = std::make_shared<PcmClip>();
    clip->rate = rate;
    clip->channels = 1;
    clip->samples.assign(frames, value);
    return clip;
}

// Sample i holds (i + 1) / 1024: the output tells the play position.
std::shared_ptr<const PcmClip> rampClip(std::size_t frames, int rate = kRate) {
    auto clip = std::make_shared<PcmClip>();
    clip->rate = rate;
    clip->channels = 1;
    for (std::size_t i = 0; i < frames; ++i) clip->samples.push_back(static_cast<float>(i + 1) / 1024.0f);
    return clip;
}

std::shared_ptr<const PcmClip> sineClip(std::size_t frames, double hz, int rate = kRate, float amplitude = 0.5f) {
    auto clip = std::make_shared<PcmClip>();
    clip->rate = rate;
    clip->channels = 1;
    for (std::size_t i = 0; i < frames; ++i)
        clip->samples.push_back(amplitude * static_cast<float>(std::sin(2 * std::numbers::pi * hz * i / rate)));
    return clip;
}

// Which source frame a ramp-clip output sample came from.
int sourceFrame(float sample) { return static_cast<int>(std::lround(sample * 1024.0f)) - 1; }

struct Rendered {
    std::vector<float> samples;
    std::vector<Mixer::VoiceId> ended;
    float left(std::size_t frame) const { return samples.at(2 * frame); }
    float right(std::size_t frame) const { return samples.at(2 * frame + 1); }
};

Rendered render(Mixer& mixer, std::size_t frames) {
    Rendered r;
    r.samples.assign(2 * frames, 123.0f);  // render overwrites, never adds to what was there
    mixer.render(r.samples.data(), frames, &r.ended);
    return r;
}

double db(double gain) { return 20.0 * std::log10(gain); }

TEST(Mixer, NewVoiceDefaults) {
    Mixer mixer(kRate);
    auto id = mixer.create(constantClip(10, 0.5f, 22050));
    EXPECT_NE(id, 0u);
    EXPECT_FALSE(mixer.isPlaying(id));
    EXPECT_FALSE(mixer.isLooping(id));
    EXPECT_EQ(mixer.volume(id), 0);
    EXPECT_EQ(mixer.pan(id), 0);
    EXPECT_EQ(mixer.frequency(id), 22050);
    auto out = render(mixer, 4);
    for (float s : out.samples) EXPECT_EQ(s, 0.0f);
}

TEST(Mixer, VolumeIsHundredthsOfADecibel) {
    Mixer mixer(kRate);
    auto id = mixer.create(constantClip(10000, 0.5f));
    for (std::int32_t volume : {0, -300, -600, -2000, -4000, -9000}) {
        mixer.setVolume(id, volume);
        mixer.stop(id);
        render(mixer, kFade);  // the last level fades out
        mixer.rewind(id);
        mixer.play(id, false);
        auto out = render(mixer, 16);
        EXPECT_NEAR(db(out.left(8) / 0.5), volume / 100.0, 0.01) << volume;
        EXPECT_NEAR(db(out.right(8) / 0.5), volume / 100.0, 0.01) << volume;
    }
    mixer.setVolume(id, -10000);
    render(mixer, 1000);  // past the glide
    auto out = render(mixer, 16);
    for (float s : out.samples) EXPECT_EQ(s, 0.0f);
    EXPECT_TRUE(mixer.isPlaying(id));
}

TEST(Mixer, VolumeAndPanAreClampedToTheirRanges) {
    Mixer mixer(kRate);
    auto id = mixer.create(constantClip(10, 0.5f));
    mixer.setVolume(id, 500);
    EXPECT_EQ(mixer.volume(id), 0);
    mixer.setVolume(id, -20000);
    EXPECT_EQ(mixer.volume(id), -10000);
    mixer.setPan(id, 12000);
    EXPECT_EQ(mixer.pan(id), 10000);
    mixer.setPan(id, -12000);
    EXPECT_EQ(mixer.pan(id), -10000);
    mixer.setPan(id, -1234);
    EXPECT_EQ(mixer.pan(id), -1234);
}

TEST(Mixer, PanAttenuatesTheOtherSide) {
    Mixer mixer(kRate);
    auto id = mixer.create(constantClip(10000, 0.5f));
    mixer.play(id, true);
    struct Case {
        std::int32_t pan, volume;
        double leftDb, rightDb;
    };
    for (const Case& c : {Case{-3000, 0, 0, -30}, Case{2500, 0, -25, 0}, Case{1000, -600, -16, -6},
                          Case{-700, -1000, -10, -17}}) {
        mixer.setPan(id, c.pan);
        mixer.setVolume(id, c.volume);
        render(mixer, 1000);  // past the glide
        auto out = render(mixer, 8);
        EXPECT_NEAR(db(out.left(4) / 0.5), c.leftDb, 0.01) << c.pan;
        EXPECT_NEAR(db(out.right(4) / 0.5), c.rightDb, 0.01) << c.pan;
    }
    mixer.setVolume(id, 0);
    mixer.setPan(id, 10000);
    render(mixer, 1000);
    auto right = render(mixer, 8);
    EXPECT_EQ(right.left(4), 0.0f);
    EXPECT_FLOAT_EQ(right.right(4), 0.5f);
    mixer.setPan(id, -10000);
    render(mixer, 1000);
    auto left = render(mixer, 8);
    EXPECT_FLOAT_EQ(left.left(4), 0.5f);
    EXPECT_EQ(left.right(4), 0.0f);
}

TEST(Mixer, StereoClipKeepsItsChannels) {
    Mixer mixer(kRate);
    auto clip = std::make_shared<PcmClip>();
    clip->rate = kRate;
    clip->channels = 2;
    for (int i = 0; i < 100; ++i) clip->samples.insert(clip->samples.end(), {0.5f, -0.25f});
    auto id = mixer.create(clip);
    mixer.setPan(id, 600);
    mixer.play(id, false);
    auto out = render(mixer, 10);
    EXPECT_NEAR(db(out.left(5) / 0.5), -6.0, 0.01);
    EXPECT_FLOAT_EQ(out.right(5), -0.25f);
}

TEST(Mixer, SineAmplitudeFollowsVolume) {
    Mixer mixer(kRate);
    auto id = mixer.create(sineClip(kRate, 1000));
    mixer.setVolume(id, -1200);
    mixer.play(id, true);
    auto out = render(mixer, 4800);
    float peak = 0;
    for (std::size_t i = 0; i < 4800; ++i) peak = std::max(peak, std::fabs(out.left(i)));
    EXPECT_NEAR(db(peak / 0.5), -12.0, 0.05);
}

TEST(Mixer, ParameterChangesGlideBriefly) {
    Mixer mixer(kRate);
    auto id = mixer.create(constantClip(kRate, 0.5f));
    mixer.play(id, false);
    render(mixer, 100);
    mixer.setVolume(id, -2000);
    auto out = render(mixer, 480);
    // No jump: each step is small, and the target is reached within 5 ms.
    float previous = 0.5f;
    for (std::size_t i = 0; i < 480; ++i) {
        EXPECT_LE(std::fabs(out.left(i) - previous), 0.01f) << i;
        previous = out.left(i);
    }
    EXPECT_FLOAT_EQ(out.left(240), 0.05f);
    EXPECT_FLOAT_EQ(out.left(479), 0.05f);
}

TEST(Mixer, DoubleFrequencyEndsInHalfTheFrames) {
    for (int factor : {1, 2, 4}) {
        Mixer mixer(kRate);
        auto id = mixer.create(constantClip(1000, 0.5f, 24000));
        mixer.setFrequency(id, 24000 * factor);
        EXPECT_EQ(mixer.frequency(id), 24000 * factor);
        mixer.play(id, false);
        // 1000 frames at 24 kHz last 2000 output frames at 48 kHz, half as long at twice the rate.
        const std::size_t expected = 2000 / factor;
        EXPECT_EQ(mixer.framesUntilNextEnd(), expected);
        auto first = render(mixer, expected - 1);
        EXPECT_TRUE(first.ended.empty());
        EXPECT_TRUE(mixer.isPlaying(id));
        auto last = render(mixer, 10);
        ASSERT_EQ(last.ended, std::vector<Mixer::VoiceId>{id});
        EXPECT_FALSE(mixer.isPlaying(id));
        EXPECT_NE(last.left(0), 0.0f);
        EXPECT_EQ(last.left(1), 0.0f);
    }
}

TEST(Mixer, FrequencyChangesPitch) {
    // A 1 kHz tone recorded at 24 kHz, played at 36 kHz on a 48 kHz device, sounds at 1.5 kHz.
    Mixer mixer(kRate);
    auto id = mixer.create(sineClip(24000, 1000, 24000));
    mixer.setFrequency(id, 36000);
    mixer.play(id, true);
    auto out = render(mixer, kRate);
    int crossings = 0;
    for (std::size_t i = 1; i < static_cast<std::size_t>(kRate); ++i)
        if ((out.left(i - 1) < 0) != (out.left(i) < 0)) ++crossings;
    EXPECT_NEAR(crossings / 2.0, 1500.0, 2.0);
}

TEST(Mixer, FrequencyIsStoredAsGivenButClampedWhenMixing) {
    Mixer mixer(kRate);
    auto id = mixer.create(constantClip(48000, 0.5f));
    mixer.setFrequency(id, 50);
    EXPECT_EQ(mixer.frequency(id), 50);
    mixer.play(id, false);
    // One second of sound lasts 480 s at 100 Hz and 0.24 s at 200 kHz.
    EXPECT_NEAR(static_cast<double>(*mixer.framesUntilNextEnd()), 48000.0 * 480.0, 2.0);
    mixer.setFrequency(id, 1000000);
    EXPECT_EQ(mixer.frequency(id), 1000000);
    EXPECT_NEAR(static_cast<double>(*mixer.framesUntilNextEnd()), 11520.0, 1.0);
    mixer.setFrequency(id, -5);
    EXPECT_EQ(mixer.frequency(id), -5);
    EXPECT_NEAR(static_cast<double>(*mixer.framesUntilNextEnd()), 48000.0 * 480.0, 2.0);
}

TEST(Mixer, ResamplesWithLinearInterpolation) {
    Mixer mixer(kRate);
    auto id = mixer.create(rampClip(100));
    mixer.setFrequency(id, kRate / 4);
    mixer.play(id, false);
    auto out = render(mixer, 12);
    for (std::size_t i = 0; i < 12; ++i) EXPECT_FLOAT_EQ(out.left(i), (1.0f + i / 4.0f) / 1024.0f) << i;
}

TEST(Mixer, OneShotEndsStoppedAtTheStartAndReplaysWithoutRewind) {
    Mixer mixer(kRate);
    auto id = mixer.create(rampClip(50));
    mixer.play(id, false);
    EXPECT_TRUE(mixer.isPlaying(id));
    auto out = render(mixer, 60);
    EXPECT_EQ(out.ended, std::vector<Mixer::VoiceId>{id});
    EXPECT_EQ(sourceFrame(out.left(49)), 49);
    EXPECT_EQ(out.left(50), 0.0f);
    EXPECT_FALSE(mixer.isPlaying(id));
    EXPECT_FALSE(mixer.isLooping(id));
    EXPECT_EQ(mixer.framesUntilNextEnd(), std::nullopt);
    mixer.play(id, false);
    auto again = render(mixer, 5);
    EXPECT_EQ(sourceFrame(again.left(0)), 0);
}

TEST(Mixer, LoopWrapsUntilStopped) {
    Mixer mixer(kRate);
    auto id = mixer.create(rampClip(50));
    mixer.play(id, true);
    EXPECT_FALSE(mixer.isPlaying(id));
    EXPECT_TRUE(mixer.isLooping(id));
    EXPECT_EQ(mixer.framesUntilNextEnd(), std::nullopt);
    auto out = render(mixer, 175);
    EXPECT_TRUE(out.ended.empty());
    for (std::size_t i = 0; i < 175; ++i) ASSERT_EQ(sourceFrame(out.left(i)), static_cast<int>(i % 50)) << i;
    mixer.stop(id);
    EXPECT_FALSE(mixer.isLooping(id));
    render(mixer, kFade);
    auto silent = render(mixer, 10);
    for (float s : silent.samples) EXPECT_EQ(s, 0.0f);
}

TEST(Mixer, LoopSeamInterpolatesIntoTheFirstFrame) {
    Mixer mixer(kRate);
    auto id = mixer.create(rampClip(4));
    mixer.setFrequency(id, kRate / 2);
    mixer.play(id, true);
    auto out = render(mixer, 10);
    // Source positions 0, .5, 1, ... 3, 3.5, 4=0: at 3.5 halfway between the last and the first.
    EXPECT_FLOAT_EQ(out.left(7), (4.0f + 1.0f) / 2.0f / 1024.0f);
    EXPECT_FLOAT_EQ(out.left(8), 1.0f / 1024.0f);

    // Stereo: each channel leads into its own first sample.
    auto stereo = std::make_shared<PcmClip>();
    stereo->rate = kRate;
    stereo->channels = 2;
    stereo->samples = {0.1f, -0.1f, 0.2f, -0.2f};
    auto st = mixer.create(stereo);
    mixer.release(id);
    render(mixer, kFade);
    mixer.setFrequency(st, kRate / 2);
    mixer.play(st, true);
    auto both = render(mixer, 5);
    const float expectedLeft[] = {0.1f, 0.15f, 0.2f, 0.15f, 0.1f};
    for (std::size_t i = 0; i < 5; ++i) {
        EXPECT_FLOAT_EQ(both.left(i), expectedLeft[i]) << i;
        EXPECT_FLOAT_EQ(both.right(i), -expectedLeft[i]) << i;
    }

    // A whole number of periods looped at an odd rate has no click at the seam.
    Mixer sine(kRate);
    auto tone = sine.create(sineClip(480, 400));  // 4 periods
    sine.setFrequency(tone, 37123);
    sine.play(tone, true);
    auto wave = render(sine, 4800);
    const float maxStep = 0.5f * 2.0f * static_cast<float>(std::numbers::pi) * 400.0f * 37123.0f / kRate / kRate;
    for (std::size_t i = 1; i < 4800; ++i)
        ASSERT_LE(std::fabs(wave.left(i) - wave.left(i - 1)), maxStep * 1.01f) << i;
}

TEST(Mixer, SwitchingALoopToOnceEndsAtTheEnd) {
    Mixer mixer(kRate);
    auto id = mixer.create(rampClip(50));
    mixer.play(id, true);
    render(mixer, 70);  // at frame 20 of the second pass
    mixer.play(id, false);
    EXPECT_TRUE(mixer.isPlaying(id));
    EXPECT_EQ(mixer.framesUntilNextEnd(), 30u);
    auto out = render(mixer, 40);
    EXPECT_EQ(sourceFrame(out.left(0)), 20);
    EXPECT_EQ(out.ended, std::vector<Mixer::VoiceId>{id});
    mixer.play(id, false);
    mixer.play(id, true);
    EXPECT_TRUE(mixer.isLooping(id));
    EXPECT_FALSE(mixer.isPlaying(id));
}

TEST(Mixer, StopKeepsThePositionAndRewindKeepsTheState) {
    Mixer mixer(kRate);
    auto id = mixer.create(rampClip(500));
    mixer.play(id, false);
    render(mixer, 100);
    mixer.stop(id);
    EXPECT_FALSE(mixer.isPlaying(id));
    render(mixer, kFade);
    auto silent = render(mixer, 10);
    for (float s : silent.samples) EXPECT_EQ(s, 0.0f);
    mixer.play(id, false);
    EXPECT_EQ(sourceFrame(render(mixer, 1).left(0)), 100);

    mixer.rewind(id);  // while playing: keeps playing from the start
    EXPECT_TRUE(mixer.isPlaying(id));
    EXPECT_EQ(sourceFrame(render(mixer, 1).left(0)), 0);

    render(mixer, 49);
    mixer.stop(id);
    mixer.rewind(id);  // while stopped: stays silent
    EXPECT_FALSE(mixer.isPlaying(id));
    render(mixer, kFade);
    for (float s : render(mixer, 5).samples) EXPECT_EQ(s, 0.0f);
    mixer.play(id, false);
    EXPECT_EQ(sourceFrame(render(mixer, 1).left(0)), 0);
}

TEST(Mixer, PlayOnAPlayingVoiceNeitherRestartsNorDoubles) {
    Mixer mixer(kRate);
    auto id = mixer.create(rampClip(500));
    mixer.play(id, false);
    render(mixer, 100);
    mixer.play(id, false);
    mixer.play(id, false);
    auto out = render(mixer, 1);
    EXPECT_FLOAT_EQ(out.left(0), 101.0f / 1024.0f);  // frame 100, once
    EXPECT_EQ(mixer.framesUntilNextEnd(), 399u);
}

TEST(Mixer, EndingsAreReportedInTheOrderTheyHappened) {
    Mixer mixer(kRate);
    auto a = mixer.create(constantClip(300, 0.1f));
    auto b = mixer.create(constantClip(100, 0.1f));
    auto c = mixer.create(constantClip(200, 0.1f));
    auto d = mixer.create(constantClip(100, 0.1f));
    for (auto id : {a, b, c, d}) mixer.play(id, false);
    EXPECT_EQ(mixer.framesUntilNextEnd(), 100u);
    auto out = render(mixer, 1000);
    EXPECT_EQ(out.ended, (std::vector<Mixer::VoiceId>{b, d, c, a}));
    for (auto id : {a, b, c, d}) mixer.play(id, false);
    std::vector<Mixer::VoiceId> ended;
    mixer.advance(1000, &ended);
    EXPECT_EQ(ended, (std::vector<Mixer::VoiceId>{b, d, c, a}));
}

TEST(Mixer, ReleaseSilencesAfterTheFadeAndIdsAreNeverReused) {
    Mixer mixer(kRate);
    auto a = mixer.create(constantClip(1000, 0.5f));
    auto b = mixer.create(constantClip(1000, 0.25f));
    mixer.play(a, true);
    mixer.play(b, true);
    EXPECT_FLOAT_EQ(render(mixer, 1).left(0), 0.75f);
    mixer.release(a);
    render(mixer, kFade);
    EXPECT_FLOAT_EQ(render(mixer, 1).left(0), 0.25f);
    EXPECT_FALSE(mixer.isLooping(a));
    mixer.release(a);  // unknown ids are ignored everywhere
    mixer.play(a, true);
    mixer.setVolume(a, -100);
    EXPECT_EQ(mixer.volume(a), 0);
    auto c = mixer.create(constantClip(10, 0.5f));
    EXPECT_NE(c, a);
    EXPECT_NE(c, b);
    EXPECT_GT(c, b);
}

// A crash, its skid, the car that hit and a level-up can sound at once, each near full scale:
// the sum is bent softly under full scale instead of being cut flat, and anything quieter
// than the knee passes untouched.
TEST(Mixer, LoudSumsBendUnderFullScaleAndQuietOnesPassUnchanged) {
    Mixer mixer(kRate);
    auto a = mixer.create(constantClip(1000, 0.7f));
    auto b = mixer.create(constantClip(1000, 0.6f));
    auto c = mixer.create(constantClip(1000, -0.5f));
    mixer.play(a, true);
    mixer.play(b, true);
    const float loud = render(mixer, 1).left(0);  // 1.3
    EXPECT_LT(loud, 1.0f);
    EXPECT_GT(loud, 0.95f);
    mixer.play(c, true);
    EXPECT_FLOAT_EQ(render(mixer, 1).left(0), 0.8f);  // under the knee: exact
    mixer.stop(a);
    mixer.stop(b);
    mixer.stop(c);
    render(mixer, kFade);
    auto d = mixer.create(constantClip(1000, -1.0f));
    auto e = mixer.create(constantClip(1000, -1.0f));
    mixer.play(d, true);
    mixer.play(e, true);
    const float low = render(mixer, 1).left(0);  // -2
    EXPECT_GT(low, -1.0f);
    EXPECT_LT(low, -0.95f);
    // Louder stays louder: the bend keeps the order of levels.
    auto f = mixer.create(constantClip(1000, -1.0f));
    mixer.play(f, true);
    EXPECT_LT(render(mixer, 1).left(0), low);
}

TEST(Mixer, EmptyAndMissingClipsAreSilentAndEndAtOnce) {
    Mixer mixer(kRate);
    auto empty = mixer.create(std::make_shared<PcmClip>());
    auto none = mixer.create(nullptr);
    mixer.play(empty, false);
    mixer.play(none, true);
    EXPECT_EQ(mixer.framesUntilNextEnd(), 1u);
    auto out = render(mixer, 8);
    EXPECT_EQ(out.ended, std::vector<Mixer::VoiceId>{empty});
    for (float s : out.samples) EXPECT_EQ(s, 0.0f);
    EXPECT_TRUE(mixer.isLooping(none));
}

// The simulated platform advances instead of rendering; both must move voices identically.
TEST(Mixer, AdvanceAgreesWithRender) {
    std::mt19937 rng(99);
    Mixer heard(44100), simulated(44100);
    std::vector<Mixer::VoiceId> ids;
    for (int i = 0; i < 12; ++i) {
        auto clip = rampClip(200 + rng() % 3000, 8000 + static_cast<int>(rng() % 40000));
        auto id = heard.create(clip);
        EXPECT_EQ(simulated.create(clip), id);
        ids.push_back(id);
    }
    for (int round = 0; round < 400; ++round) {
        const auto id = ids[rng() % ids.size()];
        switch (rng() % 6) {
            case 0: {
                const bool loop = rng() % 3 == 0;
                heard.play(id, loop);
                simulated.play(id, loop);
                break;
            }
            case 1: {
                const auto hz = static_cast<std::int32_t>(50 + rng() % 120000);
                heard.setFrequency(id, hz);
                simulated.setFrequency(id, hz);
                break;
            }
            case 2:
                heard.stop(id);
                simulated.stop(id);
                break;
            case 3:
                heard.rewind(id);
                simulated.rewind(id);
                break;
            default:
                break;
        }
        std::size_t frames = 1 + rng() % 2000;
        if (rng() % 4 == 0) {
            // Jump straight to the next ending, as the simulated clock does.
            auto next = simulated.framesUntilNextEnd();
            if (next) {
                EXPECT_EQ(heard.framesUntilNextEnd(), next);
                frames = *next;
                std::vector<Mixer::VoiceId> before;
                simulated.advance(frames - 1, &before);
                EXPECT_TRUE(before.empty());
                std::vector<float> out(2 * (frames - 1) + 2);
                heard.render(out.data(), frames - 1, &before);
                EXPECT_TRUE(before.empty());
                frames = 1;
            }
        }
        std::vector<Mixer::VoiceId> endedHeard, endedSimulated;
        std::vector<float> out(2 * frames);
        heard.render(out.data(), frames, &endedHeard);
        simulated.advance(frames, &endedSimulated);
        ASSERT_EQ(endedHeard, endedSimulated) << round;
        ASSERT_EQ(heard.framesUntilNextEnd(), simulated.framesUntilNextEnd()) << round;
        for (auto v : ids) ASSERT_EQ(heard.isPlaying(v), simulated.isPlaying(v)) << round;
    }
    // Same positions: a one-shot from every voice ends at the same frame in both.
    for (auto v : ids) {
        heard.play(v, false);
        simulated.play(v, false);
        ASSERT_EQ(heard.framesUntilNextEnd(), simulated.framesUntilNextEnd());
        heard.stop(v);
        simulated.stop(v);
    }
}

TEST(Mixer, AdvanceOverLongLoopsStaysExact) {
    Mixer a(kRate), b(kRate);
    auto clip = rampClip(777);
    auto ia = a.create(clip), ib = b.create(clip);
    for (Mixer* m : {&a, &b}) {
        m->setFrequency(m == &a ? ia : ib, 33333);
        m->play(m == &a ? ia : ib, true);
    }
    a.advance(1000000007);
    for (int i = 0; i < 1000; ++i) b.advance(999999);
    b.advance(1000000007 - 1000 * 999999);
    a.play(ia, false);
    b.play(ib, false);
    EXPECT_EQ(a.framesUntilNextEnd(), b.framesUntilNextEnd());
}

TEST(Mixer, RenderAndControlFromTwoThreads) {
    Mixer mixer(kRate);
    std::vector<Mixer::VoiceId> ids;
    for (int i = 0; i < 8; ++i) ids.push_back(mixer.create(sineClip(4800, 200 + 50 * i)));
    std::atomic<bool> done{false};
    std::thread audio([&] {
        std::vector<float> out(2 * 480);
        std::vector<Mixer::VoiceId> ended;
        ended.reserve(64);
        while (!done) {
            mixer.render(out.data(), 480, &ended);
            ended.clear();
        }
    });
    std::mt19937 rng(5);
    for (int i = 0; i < 20000; ++i) {
        auto id = ids[rng() % ids.size()];
        switch (rng() % 7) {
            case 0: mixer.play(id, rng() % 2); break;
            case 1: mixer.stop(id); break;
            case 2: mixer.rewind(id); break;
            case 3: mixer.setVolume(id, -static_cast<std::int32_t>(rng() % 10001)); break;
            case 4: mixer.setPan(id, static_cast<std::int32_t>(rng() % 20001) - 10000); break;
            case 5: mixer.setFrequency(id, static_cast<std::int32_t>(rng() % 100000)); break;
            default:
                if (i % 500 == 0) {
                    mixer.release(id);
                    ids.erase(std::find(ids.begin(), ids.end(), id));
                    ids.push_back(mixer.create(sineClip(2400, 300)));
                }
        }
    }
    done = true;
    audio.join();
    SUCCEED();
}

// Largest sample-to-sample difference on either channel, across the joins of the pieces.
float largestStep(const std::vector<Rendered>& pieces) {
    float step = 0, previousL = 0, previousR = 0;
    bool first = true;
    for (const auto& piece : pieces)
        for (std::size_t i = 0; i < piece.samples.size() / 2; ++i) {
            if (!first) {
                step = std::max(step, std::fabs(piece.left(i) - previousL));
                step = std::max(step, std::fabs(piece.right(i) - previousR));
            }
            first = false;
            previousL = piece.left(i);
            previousR = piece.right(i);
        }
    return step;
}

// Stopping mid-waveform used to drop a full-scale sample straight to zero: a click. The fade
// bounds every step by the waveform's own slope plus 1/96 of full scale.
TEST(Mixer, StoppingOrReleasingAFullScaleVoiceLeavesNoStep) {
    auto stereo = std::make_shared<PcmClip>();
    stereo->rate = kRate;
    stereo->channels = 2;
    for (int i = 0; i < 4800; ++i) stereo->samples.insert(stereo->samples.end(), {1.0f, -1.0f});
    struct Case {
        const char* what;
        std::shared_ptr<const PcmClip> clip;
        bool loop, release;
        float ownSlope;  // the largest step of the sound itself
    };
    const float sineSlope = 2 * static_cast<float>(std::numbers::pi) * 100 / kRate;
    for (const Case& c : {Case{"full-scale constant, stop", constantClip(4800, 1.0f), false, false, 0},
                          Case{"full-scale constant, release", constantClip(4800, 1.0f), true, true, 0},
                          Case{"stereo, stop", stereo, true, false, 0},
                          Case{"100 Hz sine at its peak, stop", sineClip(9600, 100, kRate, 1.0f), true, false, sineSlope},
                          Case{"100 Hz sine at its peak, release", sineClip(9600, 100, kRate, 1.0f), false, true, sineSlope}}) {
        Mixer mixer(kRate);
        auto id = mixer.create(c.clip);
        mixer.play(id, c.loop);
        std::vector<Rendered> pieces{render(mixer, 120)};  // 120 frames: the sine's peak
        ASSERT_GT(std::fabs(pieces[0].left(119)), 0.9f) << c.what;
        if (c.release)
            mixer.release(id);
        else
            mixer.stop(id);
        EXPECT_FALSE(mixer.isPlaying(id)) << c.what;
        EXPECT_FALSE(mixer.isLooping(id)) << c.what;
        for (std::size_t n : {1, 7, 50, 200}) pieces.push_back(render(mixer, n));  // the fade in odd pieces
        EXPECT_LE(largestStep(pieces), c.ownSlope + 0.012f) << c.what;
        EXPECT_EQ(pieces.back().left(199), 0.0f) << c.what;
        // Still sounding just before 2 ms, silent from then on.
        Mixer again(kRate);
        auto v = again.create(c.clip);
        again.play(v, c.loop);
        render(again, 120);
        again.stop(v);
        auto fade = render(again, kFade + 10);
        EXPECT_NE(fade.left(kFade - 2), 0.0f) << c.what;
        for (std::size_t i = kFade; i < kFade + 10; ++i) ASSERT_EQ(fade.left(i), 0.0f) << c.what << i;
    }
}

// The fade is only heard: position, state and endings are those of an instant stop.
TEST(Mixer, TheStopFadeChangesNothingButTheSound) {
    Mixer mixer(kRate);
    auto id = mixer.create(rampClip(500));
    mixer.play(id, false);
    render(mixer, 100);
    mixer.stop(id);
    EXPECT_EQ(mixer.framesUntilNextEnd(), std::nullopt);
    auto fading = render(mixer, 10);
    EXPECT_TRUE(fading.ended.empty());
    EXPECT_EQ(sourceFrame(fading.left(0)), 100);  // the tail goes on from there, at full level first...
    mixer.play(id, false);  // ...but the voice resumes where it stopped, with the tail over it
    EXPECT_EQ(mixer.framesUntilNextEnd(), 400u);
    auto resumed = render(mixer, 1);
    const float tail = 111.0f / 1024.0f * (1.0f - 10.0f / kFade);
    EXPECT_NEAR(resumed.left(0), 101.0f / 1024.0f + tail, 1e-5f);

    // A one-shot stopped just before its end: the tail reaches the end silently, nothing is reported.
    auto shortOne = mixer.create(constantClip(50, 0.5f));
    mixer.stop(id);
    render(mixer, kFade);
    mixer.play(shortOne, false);
    render(mixer, 45);
    mixer.stop(shortOne);
    auto out = render(mixer, 2 * kFade);
    EXPECT_TRUE(out.ended.empty());
    EXPECT_EQ(out.left(10), 0.0f);

    // The simulated clock only advances: a fade cut by a step stays silent, and one that
    // outlives a short step goes on in render from where it would have been.
    mixer.rewind(shortOne);
    mixer.play(shortOne, true);
    render(mixer, 10);
    mixer.stop(shortOne);
    mixer.advance(kFade / 2);
    auto half = render(mixer, kFade);
    EXPECT_NEAR(half.left(0), 0.5f * (1.0f - (kFade / 2.0f) / kFade), 0.02f);
    EXPECT_EQ(half.left(kFade / 2 + 1), 0.0f);
    mixer.play(shortOne, true);
    mixer.stop(shortOne);
    mixer.advance(kFade);
    EXPECT_EQ(render(mixer, 1).left(0), 0.0f);
}

TEST(Mixer, AReleasedClipIsFreedOnceItsFadeIsOver) {
    Mixer mixer(kRate);
    std::weak_ptr<const PcmClip> watched;
    {
        auto clip = constantClip(4800, 0.5f);
        watched = clip;
        auto id = mixer.create(clip);
        mixer.play(id, true);
        render(mixer, 10);
        mixer.release(id);
    }
    EXPECT_FALSE(watched.expired());  // still fading
    render(mixer, kFade);
    mixer.create(nullptr);  // the game thread clears finished fades
    EXPECT_TRUE(watched.expired());
    // A silent voice leaves no tail behind at all.
    auto quiet = mixer.create(constantClip(100, 0.5f));
    mixer.setVolume(quiet, -10000);
    mixer.play(quiet, true);
    mixer.release(quiet);
    for (float s : render(mixer, 4).samples) EXPECT_EQ(s, 0.0f);
}

}  // namespace
}  // namespace zorvan
