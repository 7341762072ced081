// Every vector kernel must sound exactly like the scalar reference: random voice sets under
// random play, stop, release, volume, pan and frequency changes, rendered in odd-sized pieces.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>

#include "sound/mixer.h"

namespace zorvan {
namespace {

std::shared_ptr<const PcmClip> randomClip(std::mt19937& rng) {
    auto clip = std::make_shared<PcmClip>();
    clip->rate = std::uniform_int_distribution<int>(8000, 96000)(rng);
    clip->channels = rng() % 3 == 0 ? 2 : 1;
    std::size_t frames;
    switch (rng() % 6) {
        case 0: frames = 1 + rng() % 3; break;  // shorter than any vector
        case 1: frames = 4 + rng() % 40; break;
        default: frames = 100 + rng() % 6000;
    }
    std::uniform_real_distribution<float> sample(-1.0f, 1.0f);
    for (std::size_t i = 0; i < frames * static_cast<std::size_t>(clip->channels); ++i)
        clip->samples.push_back(sample(rng));
    return clip;
}

std::int32_t randomFrequency(std::mt19937& rng) {
    switch (rng() % 8) {
        case 0: return static_cast<std::int32_t>(rng() % 150);               // clamped up to 100 Hz
        case 1: return 190000 + static_cast<std::int32_t>(rng() % 30000);    // clamped down to 200 kHz
        default: return 4000 + static_cast<std::int32_t>(rng() % 100000);
    }
}

class MixerKernel : public ::testing::TestWithParam<const char*> {};

TEST_P(MixerKernel, SoundsLikeTheScalarReference) {
    const std::string name = GetParam();
    const auto usable = Mixer::kernels();
    if (std::find(usable.begin(), usable.end(), name) == usable.end())
        GTEST_SKIP() << name << " is not available on this processor or build";

    float worst = 0;
    std::size_t limited = 0, glides = 0, ends = 0;
    for (unsigned seed = 0; seed < 60; ++seed) {
        std::mt19937 rng(seed);
        const int rate = seed % 2 ? 44100 : 48000;
        Mixer reference(rate), candidate(rate);
        ASSERT_TRUE(reference.useKernel("scalar"));
        ASSERT_TRUE(candidate.useKernel(name));
        ASSERT_EQ(candidate.kernel(), name);

        std::vector<Mixer::VoiceId> ids;
        auto add = [&] {
            auto clip = randomClip(rng);
            const auto id = reference.create(clip);
            ASSERT_EQ(candidate.create(clip), id);
            ids.push_back(id);
        };
        const int voices = 1 + static_cast<int>(rng() % 24);
        for (int i = 0; i < voices; ++i) add();
        // Both mixers get the same calls.
        auto both = [&](auto&& call) {
            call(reference);
            call(candidate);
        };
        for (auto id : ids) {
            const auto volume = rng() % 8 == 0 ? -10000 : -static_cast<std::int32_t>(rng() % 3000);
            const auto pan = static_cast<std::int32_t>(rng() % 24001) - 12000;
            const auto hz = randomFrequency(rng);
            const bool loop = rng() % 2;
            both([&](Mixer& m) {
                m.setVolume(id, volume);
                m.setPan(id, pan);
                m.setFrequency(id, hz);
                m.play(id, loop);
            });
        }
        for (int round = 0; round < 40; ++round) {
            for (int change = static_cast<int>(rng() % 4); change > 0; --change) {
                const auto id = ids[rng() % ids.size()];
                const unsigned what = rng() % 9;
                const auto value = rng();
                switch (what) {
                    case 0: both([&](Mixer& m) { m.play(id, value % 2); }); break;
                    case 1: both([&](Mixer& m) { m.stop(id); }); break;
                    case 2: both([&](Mixer& m) { m.rewind(id); }); break;
                    case 3:
                        both([&](Mixer& m) { m.release(id); });
                        ids.erase(std::find(ids.begin(), ids.end(), id));
                        add();
                        both([&](Mixer& m) { m.play(ids.back(), value % 2); });
                        break;
                    case 4: {
                        const auto hz = randomFrequency(rng);
                        both([&](Mixer& m) { m.setFrequency(id, hz); });
                        break;
                    }
                    case 5:
                    case 6:
                        both([&](Mixer& m) { m.setVolume(id, -static_cast<std::int32_t>(value % 4000)); });
                        ++glides;
                        break;
                    default:
                        both([&](Mixer& m) { m.setPan(id, static_cast<std::int32_t>(value % 20001) - 10000); });
                        ++glides;
                }
                if (ids.empty()) add();
            }
            const std::size_t frames = 1 + rng() % 1500;
            std::vector<float> expected(2 * frames), got(2 * frames);
            std::vector<Mixer::VoiceId> endedExpected, endedGot;
            reference.render(expected.data(), frames, &endedExpected);
            candidate.render(got.data(), frames, &endedGot);
            ASSERT_EQ(endedGot, endedExpected) << "seed " << seed << " round " << round;
            ends += endedGot.size();
            for (std::size_t i = 0; i < got.size(); ++i) {
                const float difference = std::fabs(got[i] - expected[i]);
                worst = std::max(worst, difference);
                ASSERT_LE(difference, 1e-6f) << "seed " << seed << " round " << round << " sample " << i
                                             << ": " << got[i] << " against " << expected[i];
                if (std::fabs(expected[i]) > 0.9f) ++limited;
            }
        }
    }
    // The sets must have reached the laws that could differ.
    EXPECT_GT(limited, 1000u);
    EXPECT_GT(glides, 100u);
    EXPECT_GT(ends, 20u);
    std::printf("%s: largest difference from the scalar reference %.3g\n", name.c_str(), worst);
}

INSTANTIATE_TEST_SUITE_P(Kernels, MixerKernel, ::testing::Values("sse2", "avx2"),
                         [](const auto& info) { return std::string(info.param); });

TEST(MixerKernels, TheReferenceIsAlwaysThereAndUnknownNamesAreRefused) {
    const auto usable = Mixer::kernels();
    ASSERT_FALSE(usable.empty());
    EXPECT_EQ(usable.front(), "scalar");
    Mixer mixer(48000);
    EXPECT_NE(std::find(usable.begin(), usable.end(), mixer.kernel()), usable.end());
    const std::string before = mixer.kernel();
    EXPECT_FALSE(mixer.useKernel("avx512"));
    EXPECT_FALSE(mixer.useKernel(""));
    EXPECT_EQ(mixer.kernel(), before);
    EXPECT_TRUE(mixer.useKernel("scalar"));
    EXPECT_EQ(mixer.kernel(), "scalar");
}

}  // namespace
}  // namespace zorvan
