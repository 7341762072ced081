// The real platform's two mixers: the logical one at 48 kHz that the game talks to and that the
// clock advances, and the device's at the card's rate, which follows every command and renders.
// They must agree on which voices exist and play, and on everything set on them.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <set>
#include <vector>

#include "sound/mixer.h"

namespace zorvan {
namespace {

std::shared_ptr<const PcmClip> clipOf(std::size_t frames, int rate) {
    auto clip = std::make_shared<PcmClip>();
    clip->rate = rate;
    clip->channels = 1;
    clip->samples.assign(frames, 0.25f);
    return clip;
}

struct Pair {
    explicit Pair(int deviceRate) : device(deviceRate) { logical.setFollower(&device); }
    Mixer logical{48000};
    Mixer device;
    std::vector<float> buffer;

    // `ms` of time: the logical mixer advanced, the device's rendered, and a one-shot that the
    // logical mixer ended stopped and rewound on the device too, as the platform does.
    std::vector<Mixer::VoiceId> pass(int ms) {
        std::vector<Mixer::VoiceId> ended;
        logical.advance(static_cast<std::size_t>(ms) * 48, &ended);
        const std::size_t frames = static_cast<std::size_t>(ms) * static_cast<std::size_t>(device.deviceRate()) / 1000;
        buffer.resize(frames * 2);
        device.render(buffer.data(), frames);
        for (auto voice : ended) {
            device.stop(voice);
            device.rewind(voice);
        }
        return ended;
    }
};

TEST(MixerFollower, TakesEveryCommandUnderTheSameIds) {
    Pair pair(44100);
    const auto a = pair.logical.create(clipOf(4800, 22050));
    const auto b = pair.logical.create(clipOf(100, 48000));
    pair.logical.setVolume(a, -1234);
    pair.logical.setPan(a, 2500);
    pair.logical.setFrequency(a, 30000);
    pair.logical.play(a, true);
    pair.logical.play(b, false);
    EXPECT_EQ(pair.device.volume(a), -1234);
    EXPECT_EQ(pair.device.pan(a), 2500);
    EXPECT_EQ(pair.device.frequency(a), 30000);
    EXPECT_TRUE(pair.device.isLooping(a));
    EXPECT_TRUE(pair.device.isPlaying(b));
    pair.logical.release(b);
    EXPECT_FALSE(pair.device.isPlaying(b));
    // A voice made after a release still has the same id on both.
    const auto c = pair.logical.create(clipOf(10, 48000));
    EXPECT_EQ(pair.device.create(clipOf(10, 48000)), c + 1) << "the follower had made exactly the leader's voices";
}

// Random commands and time in steps, at both device rates: after every step both mixers play
// the same voices, except a one-shot that the device, a rate apart, ended a hair before the
// clock did; that one must end on the clock within the next step.
TEST(MixerFollower, AgreesOnWhichVoicesPlay) {
    for (int deviceRate : {44100, 48000}) {
        Pair pair(deviceRate);
        std::mt19937 rng(static_cast<unsigned>(deviceRate));
        std::vector<Mixer::VoiceId> voices;
        std::set<Mixer::VoiceId> early;  // the device ended them a step before the clock did
        int disagreements = 0;
        for (int step = 0; step < 3000; ++step) {
            const int action = static_cast<int>(rng() % 10);
            if (voices.empty() || action == 0) {
                const int rates[] = {8000, 11025, 22050, 44100, 48000};
                voices.push_back(pair.logical.create(clipOf(200 + rng() % 20000, rates[rng() % 5])));
            } else {
                const auto v = voices[rng() % voices.size()];
                switch (action) {
                    case 1: case 2: case 3: pair.logical.play(v, rng() % 4 == 0); break;
                    case 4: pair.logical.stop(v); break;
                    case 5: pair.logical.rewind(v); break;
                    case 6: pair.logical.setFrequency(v, static_cast<std::int32_t>(4000 + rng() % 60000)); break;
                    case 7: pair.logical.setVolume(v, -static_cast<std::int32_t>(rng() % 10000)); break;
                    case 8: pair.logical.setPan(v, static_cast<std::int32_t>(rng() % 20001) - 10000); break;
                    case 9:
                        pair.logical.release(v);
                        voices.erase(std::find(voices.begin(), voices.end(), v));
                        break;
                }
            }
            const auto ended = pair.pass(1 + static_cast<int>(rng() % 40));
            for (auto v : early)
                EXPECT_NE(std::find(ended.begin(), ended.end(), v), ended.end())
                    << "voice " << v << " went on on the clock long after the device ended it";
            early.clear();
            for (auto v : voices) {
                ASSERT_EQ(pair.logical.volume(v), pair.device.volume(v));
                ASSERT_EQ(pair.logical.pan(v), pair.device.pan(v));
                ASSERT_EQ(pair.logical.frequency(v), pair.device.frequency(v));
                ASSERT_EQ(pair.logical.isLooping(v), pair.device.isLooping(v)) << "voice " << v;
                if (pair.logical.isPlaying(v) == pair.device.isPlaying(v)) continue;
                ASSERT_TRUE(pair.logical.isPlaying(v)) << "voice " << v << " plays on the device only";
                early.insert(v);
                ++disagreements;
            }
        }
        // A rate apart, the ends fall within a frame or two of each other: rarely across a step.
        EXPECT_LT(disagreements, 30) << "at " << deviceRate << " Hz";
    }
}

}  // namespace
}  // namespace zorvan
