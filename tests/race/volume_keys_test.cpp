// F9/F10 turn the music down and up, F11/F12 the whole game, in the menus, races and pauses;
// the levels are kept in the settings store, and a key the player mapped or an exit prompt
// waiting for its answer keeps the key for itself.
#include <gtest/gtest.h>

#include "menus/key_map.h"
#include "platform/ini_settings.h"
#include "race_scenario.h"
#include "sound/volume_control.h"

namespace zorvan::test {
namespace {

std::string stored(const RaceScenario& s, const char* key) {
    return IniSettingsStore(s.folder.settings()).get("Kestrine", "sound", key, "(none)");
}

void store(const RaceScenario& s, const char* key, const char* value) {
    ASSERT_TRUE(IniSettingsStore(s.folder.settings()).set("Kestrine", "sound", key, value));
}

std::int32_t musicLevel(RaceScenario& s) { return s.platform.mixer().groupVolume(SoundGroup::Music); }
std::int32_t masterLevel(RaceScenario& s) { return s.platform.mixer().masterVolume(); }

TEST(VolumeLevels, ParseOnlyWholeStepsAndStepWithinTheRange) {
    using namespace volume;
    EXPECT_EQ(parse("0", true), 0);
    EXPECT_EQ(parse(" -9 ", false), -900);
    EXPECT_EQ(parse("-30", false), -3000);
    EXPECT_EQ(parse("off", true), kOff);
    for (const char* bad : {"off", "", "-33", "3", "-5", "-6dB", "loud", "--3", "-3.0", "+0"})
        EXPECT_FALSE(parse(bad, false)) << bad;
    EXPECT_FALSE(parse("Off", true));
    EXPECT_EQ(format(-600), "-6");
    EXPECT_EQ(format(0), "0");
    EXPECT_EQ(format(kOff), "off");

    EXPECT_EQ(step(0, -1, true), -300);
    EXPECT_EQ(step(-3000, -1, true), kOff);
    EXPECT_FALSE(step(-3000, -1, false));
    EXPECT_FALSE(step(kOff, -1, true));
    EXPECT_EQ(step(kOff, 1, true), -3000);
    EXPECT_FALSE(step(0, 1, true));
    EXPECT_EQ(step(-300, 1, false), 0);
}

TEST(VolumeKeys, MenuStepsConfirmAtTheNewLevelStopAtTheEndsAndAreStored) {
    RaceScenario s;
    ASSERT_TRUE(s.load()) << s.dump();
    EXPECT_EQ(s.countPrefix("group "), 0);

    auto at = s.mark();
    s.press(vk::F9);
    s.press(vk::F9);
    EXPECT_EQ(s.count("group music -300", at), 1) << s.dump(at);
    EXPECT_EQ(s.count("group music -600", at), 1);
    EXPECT_EQ(s.count("play sounds/volume.wav once", at), 2);
    EXPECT_EQ(musicLevel(s), -600);
    EXPECT_EQ(masterLevel(s), 0);
    EXPECT_EQ(stored(s, "music"), "-6");
    // The music's own volume is the game's, untouched; the menu stays where it was.
    EXPECT_EQ(s.countPrefix("volume sounds/menu/music.wav", at), 0);
    EXPECT_TRUE(s.form.menus.mainMenuActive());
    EXPECT_EQ(s.form.menus.mainMenuIndex, 1);

    // Down to -30 dB, then off, then the end of the range.
    for (int i = 0; i < 8; ++i) s.press(vk::F9);
    EXPECT_EQ(musicLevel(s), -3000);
    at = s.mark();
    s.press(vk::F9);
    EXPECT_TRUE(s.has("group music -10000", at));
    EXPECT_EQ(stored(s, "music"), "off");
    at = s.mark();
    s.press(vk::F9);
    EXPECT_TRUE(s.has("play sounds/err.wav once", at)) << s.dump(at);
    EXPECT_EQ(s.countPrefix("group ", at), 0);
    EXPECT_FALSE(s.has("play sounds/volume.wav once", at));
    s.press(vk::F10);
    EXPECT_EQ(musicLevel(s), -3000);
    EXPECT_EQ(stored(s, "music"), "-30");

    // The whole game: nothing above 0, nothing below -30 dB.
    at = s.mark();
    s.press(vk::F12);
    EXPECT_TRUE(s.has("play sounds/err.wav once", at));
    EXPECT_EQ(s.countPrefix("group ", at), 0);
    for (int i = 0; i < 10; ++i) s.press(vk::F11);
    EXPECT_EQ(masterLevel(s), -3000);
    EXPECT_EQ(stored(s, "master"), "-30");
    at = s.mark();
    s.press(vk::F11);
    EXPECT_TRUE(s.has("play sounds/err.wav once", at));
    EXPECT_EQ(masterLevel(s), -3000);
    s.press(vk::F12);
    EXPECT_TRUE(s.has("group master -2700", at));
    EXPECT_EQ(musicLevel(s), -3000);
}

TEST(VolumeKeys, StoredLevelsAreUsedFromTheStartAndBadOnesCountAsZero) {
    {
        RaceScenario s;
        store(s, "music", "-9");
        store(s, "master", " -3");
        ASSERT_TRUE(s.load()) << s.dump();
        EXPECT_EQ(musicLevel(s), -900);
        EXPECT_EQ(masterLevel(s), -300);
        // Before the first sound is heard.
        const auto events = s.events();
        ASSERT_GE(events.size(), 2u);
        EXPECT_EQ(events[0], "group music -900");
        EXPECT_EQ(events[1], "group master -300");
    }
    RaceScenario s;
    store(s, "music", "loud");
    store(s, "master", "off");
    ::testing::internal::CaptureStderr();
    ASSERT_TRUE(s.load()) << s.dump();
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("[sound] music=loud is not a volume"), std::string::npos) << err;
    EXPECT_NE(err.find("[sound] master=off is not a volume"), std::string::npos) << err;
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 2) << err;
    EXPECT_EQ(musicLevel(s), 0);
    EXPECT_EQ(masterLevel(s), 0);
    EXPECT_EQ(s.countPrefix("group "), 0);
    // Left as the player wrote them until a key says otherwise.
    EXPECT_EQ(stored(s, "music"), "loud");
    s.press(vk::F9);
    EXPECT_EQ(stored(s, "music"), "-3");
}

TEST(VolumeKeys, WorkRacingAndPausedButTheExitPromptTakesThemAsAnyKey) {
    RaceScenario s;
    ASSERT_TRUE(s.startThroughMenus(2, 2)) << s.dump();
    s.press(vk::Up);  // the car starts
    s.runFor(2000);
    auto at = s.mark();
    s.press(vk::F9);
    EXPECT_TRUE(s.has("group music -300", at)) << s.dump(at);
    EXPECT_TRUE(s.form.race.game);
    EXPECT_FALSE(s.form.race.pause);

    s.press('P');
    ASSERT_TRUE(s.form.race.pause);
    at = s.mark();
    s.press(vk::F11);
    EXPECT_TRUE(s.has("group master -300", at));
    EXPECT_TRUE(s.form.race.pause);
    s.press('P');
    ASSERT_FALSE(s.form.race.pause);

    s.pressAt(vk::F10, s.now() + 300);
    at = s.mark();
    s.press(vk::Escape);
    // F10 answered the prompt as any key but Enter does: the race goes on, the music as it was.
    EXPECT_FALSE(s.form.race.inExitPrompt);
    EXPECT_TRUE(s.form.race.game);
    EXPECT_EQ(s.countPrefix("group ", at), 0) << s.dump(at);
    EXPECT_EQ(musicLevel(s), -300);
}

TEST(VolumeKeys, AKeyMappedToAGameActionKeepsItInTheRaceAndIsAssignedWhenRemapping) {
    RaceScenario s;
    KeyCodes codes = kDefaultKeys;
    codes[10] = vk::F9;  // kpause
    s.folder.write("keys.dat", formatKeysFile(codes));
    ASSERT_TRUE(s.load());

    // In the menus F9 is the music key; the key map's keys mean nothing there.
    auto at = s.mark();
    s.press(vk::F9);
    EXPECT_TRUE(s.has("group music -300", at));

    // Key map (main menu entry 5), entry 1: the next key, F12, becomes the start key.
    for (int i = 0; i < 4; ++i) s.press(vk::Down);
    s.press(vk::Enter);
    ASSERT_TRUE(s.form.keyMap.keyMenuActive());
    s.pressAt(vk::F12, s.now() + 500);
    at = s.mark();
    s.press(vk::Enter);
    EXPECT_EQ(s.form.keyMap.kstart, vk::F12);
    EXPECT_EQ(s.countPrefix("group ", at), 0) << s.dump(at);
    EXPECT_FALSE(s.has("play sounds/err.wav once", at));
    s.press(vk::Escape);
    ASSERT_TRUE(s.form.menus.mainMenuActive());

    // Into a race: F9 pauses, F12 starts the car; F10 is still the music's.
    s.press(vk::Enter);
    s.press(vk::Down);
    s.press(vk::Enter);
    s.press(vk::Down);
    s.press(vk::Enter);
    ASSERT_TRUE(s.form.race.game);
    at = s.mark();
    s.press(vk::F12);
    EXPECT_TRUE(s.form.race.hasStarted);
    s.press(vk::F9);
    EXPECT_TRUE(s.form.race.pause);
    s.press(vk::F10);
    EXPECT_EQ(s.countPrefix("group ", at), 1) << s.dump(at);
    EXPECT_EQ(musicLevel(s), 0);
}

}  // namespace
}  // namespace zorvan::test
