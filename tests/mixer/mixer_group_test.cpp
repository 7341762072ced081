// The player's volumes of the music and of the whole game scale the mix after each voice's own
// volume, which the game keeps seeing as it set it.
#include <gtest/gtest.h>

#include <cmath>

#include "sound/mixer.h"

namespace zorvan {
namespace {

constexpr int kRate = 48000;

std::shared_ptr<const PcmClip> constantClip(float value) {
    auto clip = std::make_shared<PcmClip>();
    clip->rate = kRate;
    clip->channels = 1;
    clip->samples.assign(kRate, value);
    return clip;
}

double db(double ratio) { return 20.0 * std::log10(ratio); }

// The left sample of the last frame of a block long enough for every glide to end.
float settled(Mixer& mixer) {
    std::vector<float> out(2 * 1024);
    mixer.render(out.data(), 1024);
    return out[2 * 1023];
}

TEST(Mixer, GroupAndMasterVolumesScaleAfterTheVoicesOwnVolume) {
    Mixer mixer(kRate);
    auto music = mixer.create(constantClip(0.25f));
    auto effect = mixer.create(constantClip(0.125f));
    mixer.setGroup(music, SoundGroup::Music);
    mixer.setVolume(music, -600);
    mixer.play(music, true);
    mixer.play(effect, true);
    const float before = settled(mixer);
    EXPECT_NEAR(before, 0.25f * std::pow(10.0f, -0.3f) + 0.125f, 1e-6f);

    // Music down 9 dB: only the music voice changes, and its own volume reads as set.
    mixer.setGroupVolume(SoundGroup::Music, -900);
    EXPECT_NEAR(db((settled(mixer) - 0.125f) / 0.25f), -15.0, 0.01);
    EXPECT_EQ(mixer.volume(music), -600);
    EXPECT_EQ(mixer.groupVolume(SoundGroup::Music), -900);
    EXPECT_EQ(mixer.groupVolume(SoundGroup::Effects), 0);

    // The whole game down 6 dB: both, on top of the music's own cut.
    mixer.setMasterVolume(-600);
    EXPECT_NEAR(db(settled(mixer) / (0.25f * std::pow(10.0f, -0.75f) + 0.125f)), -6.0, 0.01);

    // Music off is silence of the music alone; back to 0 restores the first mix exactly.
    mixer.setGroupVolume(SoundGroup::Music, -10000);
    EXPECT_NEAR(db(settled(mixer) / 0.125f), -6.0, 0.01);
    mixer.setGroupVolume(SoundGroup::Music, 0);
    mixer.setMasterVolume(0);
    EXPECT_EQ(settled(mixer), before);

    // Out of range is clamped like a voice's volume.
    mixer.setMasterVolume(500);
    EXPECT_EQ(mixer.masterVolume(), 0);
    mixer.setGroupVolume(SoundGroup::Music, -20000);
    EXPECT_EQ(mixer.groupVolume(SoundGroup::Music), -10000);
}

TEST(Mixer, AGroupChangeGlidesAndReachesNewVoicesAndTheFollower) {
    Mixer follower(44100);
    Mixer mixer(kRate);
    mixer.setFollower(&follower);
    auto id = mixer.create(constantClip(0.5f));
    mixer.setGroup(id, SoundGroup::Music);
    mixer.play(id, true);
    settled(mixer);
    mixer.setGroupVolume(SoundGroup::Music, -2000);
    std::vector<float> out(2 * 480);
    mixer.render(out.data(), 480);
    float previous = 0.5f;
    for (std::size_t i = 0; i < 480; ++i) {  // no click when the player turns it down
        EXPECT_LE(std::fabs(out[2 * i] - previous), 0.01f) << i;
        previous = out[2 * i];
    }
    EXPECT_FLOAT_EQ(out[2 * 479], 0.05f);

    // A voice made later joins at the group's present level.
    auto later = mixer.create(constantClip(0.5f));
    mixer.setGroup(later, SoundGroup::Music);
    mixer.stop(id);
    mixer.play(later, true);
    settled(mixer);
    EXPECT_FLOAT_EQ(settled(mixer), 0.05f);

    EXPECT_EQ(follower.groupVolume(SoundGroup::Music), -2000);
    EXPECT_FLOAT_EQ(settled(follower), 0.05f);
}

}  // namespace
}  // namespace zorvan
