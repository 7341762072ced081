// What the player hears: a recording of the mix (as zorvan-sim --wav makes it) before and after
// three presses of F9 has the music 9 dB down and the spoken prompts as loud as before; the next
// run starts with the music where the player left it.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <iterator>
#include <numbers>

#include "game/main_form.h"
#include "platform/sim/sim_platform.h"
#include "sound/mixer.h"
#include "support/game_folder.h"

namespace zorvan {
namespace {

constexpr double kMusicHz = 220.0, kSpeechHz = 1000.0;

struct Recording {
    std::shared_ptr<const PcmClip> clip;
    std::vector<std::string> log;
};

Recording record(const test::GameFolder& folder, const std::string& keys, std::int64_t untilMs) {
    const auto wav = folder.settings() / "mix.wav";
    Recording r;
    {
        SimOptions o;
        o.folder = folder.game();
        o.settingsFolder = folder.settings();
        o.keys = parseKeyScript(keys);
        o.untilMs = untilMs;
        o.wavPath = wav;
        o.sleepThroughIdleTimers = true;
        SimPlatform platform(o);
        try {
            MainForm form(platform);
            form.run();
        } catch (const ProgramEnd&) {
        }
        r.log = platform.lines();
    }
    std::ifstream in(wav, std::ios::binary);
    const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
    std::string error;
    r.clip = decodeWav(bytes, &error);
    EXPECT_TRUE(r.clip) << error;
    return r;
}

// Amplitude of one frequency in the left channel between two times (Goertzel over whole cycles).
double amplitude(const PcmClip& clip, double hz, int fromMs, int toMs) {
    const std::size_t from = static_cast<std::size_t>(fromMs) * clip.rate / 1000;
    const std::size_t to = static_cast<std::size_t>(toMs) * clip.rate / 1000;
    double re = 0, im = 0;
    for (std::size_t i = from; i < to && i < clip.frames(); ++i) {
        const double phase = 2 * std::numbers::pi * hz * static_cast<double>(i) / clip.rate;
        re += clip.samples[i * clip.channels] * std::cos(phase);
        im += clip.samples[i * clip.channels] * std::sin(phase);
    }
    return 2 * std::hypot(re, im) / static_cast<double>(to - from);
}

double db(double ratio) { return 20 * std::log10(ratio); }

TEST(VolumeMix, F9TakesTheMusicDownByItsStepsAndLeavesSpeechAlone) {
    test::GameFolder folder(test::GameFolder::Sounds::Generated);
    // Music and speech at frequencies of their own, so each can be measured in the mix.
    folder.write("sounds/menu/music.wav", test::wavBytes(2000, 8000, kMusicHz, 0.2));
    folder.write("sounds/menu/m1.wav", test::wavBytes(400, 8000, kSpeechHz, 0.2));
    folder.write("sounds/menu/m2.wav", test::wavBytes(400, 8000, kSpeechHz, 0.2));
    const Recording first = record(folder,
                                   "1000 Down\n"  // entry 2 spoken, 1000-1400
                                   "2000 F9\n2200 F9\n2400 F9\n"
                                   "3000 Up\n",  // entry 1 spoken, 3000-3400
                                   4000);
    ASSERT_TRUE(first.clip);
    const double musicBefore = amplitude(*first.clip, kMusicHz, 500, 900);
    const double musicAfter = amplitude(*first.clip, kMusicHz, 3500, 3900);
    ASSERT_GT(musicBefore, 0.05);
    EXPECT_NEAR(db(musicAfter / musicBefore), -9.0, 0.1);
    const double speechBefore = amplitude(*first.clip, kSpeechHz, 1050, 1350);
    const double speechAfter = amplitude(*first.clip, kSpeechHz, 3050, 3350);
    ASSERT_GT(speechBefore, 0.05);
    EXPECT_NEAR(db(speechAfter / speechBefore), 0.0, 0.1);

    // The next run: the music at -9 dB from its first note.
    const Recording second = record(folder, "", 1000);
    ASSERT_TRUE(second.clip);
    EXPECT_NEAR(db(amplitude(*second.clip, kMusicHz, 500, 900) / musicBefore), -9.0, 0.1);
    ASSERT_FALSE(second.log.empty());
    EXPECT_EQ(second.log.front(), "0 group music -900");
}

}  // namespace
}  // namespace zorvan
