// The spoken main, car, difficulty and lg menus, driven through the main form's key handler.

#include <gtest/gtest.h>

#include "support/scenario.h"

namespace zorvan::test {
namespace {

using Events = std::vector<std::string>;

constexpr int kV = 86;

// Start-up to the main menu, with the prompt still sounding.
class MenuTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(s.load()) << s.dump();
        ASSERT_TRUE(s.form.menus.mainMenuActive());
    }
    void pressTimes(int code, int times) {
        for (int i = 0; i < times; ++i) s.press(code);
    }
    Scenario s;
};

TEST_F(MenuTest, StartUpOpensTheMainMenuWithMusicAndPrompt) {
    auto& m = s.form.menus;
    EXPECT_EQ(m.mainMenuIndex, 1);
    EXPECT_EQ(m.mainMenuCount, 8);
    EXPECT_FALSE(m.soundBusy);
    s.expectInOrder({"volume sounds/menu/music.wav 0", "play sounds/menu/music.wav loop",
                     "play sounds/menu/m_p.wav once"});
    // The first entry is not spoken: the prompt stands for it.
    EXPECT_FALSE(s.has("play sounds/menu/m1.wav once"));
}

TEST_F(MenuTest, DownAfterThePromptSpeaksEntryTwoAndEntryOneIsReachedGoingBackUp) {
    auto at = s.mark();
    s.press(vk::Down);
    EXPECT_EQ(s.soundEvents(at), (Events{"stop sounds/menu/m_p.wav", "rewind sounds/menu/m_p.wav",
                                         "play sounds/menu/m2.wav once"}));
    EXPECT_EQ(s.form.menus.mainMenuIndex, 2);

    at = s.mark();
    s.press(vk::Up);
    EXPECT_EQ(s.soundEvents(at), (Events{"stop sounds/menu/m2.wav", "rewind sounds/menu/m2.wav",
                                         "play sounds/menu/m1.wav once"}));
    EXPECT_EQ(s.form.menus.mainMenuIndex, 1);

    // Up on the first entry: silent, and entry 1 keeps sounding.
    at = s.mark();
    s.press(vk::Up);
    EXPECT_TRUE(s.soundEvents(at).empty()) << s.dump(at);
    EXPECT_EQ(s.form.menus.mainMenuIndex, 1);
}

TEST_F(MenuTest, MainMenuDoesNotWrapAndJumpsOnlyWhenNotOnTheTarget) {
    auto at = s.mark();
    s.press(vk::End);
    EXPECT_EQ(s.soundEvents(at).back(), "play sounds/menu/m8.wav once");
    EXPECT_EQ(s.form.menus.mainMenuIndex, 8);

    // Down on the last entry does not cut off the clip that is still sounding.
    at = s.mark();
    s.press(vk::Down);
    EXPECT_TRUE(s.soundEvents(at).empty()) << s.dump(at);
    EXPECT_EQ(s.form.menus.mainMenuIndex, 8);

    at = s.mark();
    s.press(vk::End);
    EXPECT_TRUE(s.soundEvents(at).empty()) << s.dump(at);

    at = s.mark();
    s.press(vk::Home);
    EXPECT_EQ(s.soundEvents(at), (Events{"stop sounds/menu/m8.wav", "rewind sounds/menu/m8.wav",
                                         "play sounds/menu/m1.wav once"}));
    EXPECT_EQ(s.form.menus.mainMenuIndex, 1);

    at = s.mark();
    s.press(vk::Home);
    EXPECT_TRUE(s.soundEvents(at).empty()) << s.dump(at);

    // A clip that played to its end is neither stopped nor rewound before the next one.
    s.press(vk::Down);
    s.runFor(1000);
    at = s.mark();
    s.press(vk::Down);
    EXPECT_EQ(s.soundEvents(at), (Events{"play sounds/menu/m3.wav once"}));
}

// Down one entry at a time speaks each entry, the last one too (not only when End jumps
// there), in the main, car and difficulty menus.
TEST_F(MenuTest, DownStepByStepSpeaksEveryEntryUpToTheLast) {
    auto walk = [&](const std::string& clip, int last, const std::int16_t& index) {
        for (int entry = 2; entry <= last; ++entry) {
            const auto at = s.mark();
            s.press(vk::Down);
            EXPECT_EQ(index, entry) << clip;
            const Events played = s.soundEvents(at);
            ASSERT_FALSE(played.empty()) << clip << entry << "\n" << s.dump(at);
            EXPECT_EQ(played.back(), "play sounds/menu/" + clip + std::to_string(entry) + ".wav once");
        }
        const auto at = s.mark();
        s.press(vk::Down);
        EXPECT_EQ(index, last) << clip;
        EXPECT_TRUE(s.soundEvents(at).empty()) << s.dump(at);
    };
    auto& m = s.form.menus;
    walk("m", 8, m.mainMenuIndex);
    s.press(vk::Home);
    s.press(vk::Enter);
    ASSERT_TRUE(m.carMenuActive());
    walk("c", 4, m.carMenuIndex);
    s.press(vk::Enter);
    ASSERT_TRUE(m.difficultyMenuActive());
    walk("d", 3, m.difficultyMenuIndex);
}

TEST_F(MenuTest, AnyOtherMenuNameMeansTheMainMenu) {
    auto& m = s.form.menus;
    m.menuNext("whatever");
    EXPECT_EQ(m.mainMenuIndex, 2);
    m.menuJump("", "down");
    EXPECT_EQ(m.mainMenuIndex, 8);
    m.menuPrevious("m_main");
    EXPECT_EQ(m.mainMenuIndex, 7);
    EXPECT_TRUE(s.has("play sounds/menu/m7.wav once"));
}

TEST_F(MenuTest, EnterRightAfterThePromptOpensTheCarMenu) {
    auto at = s.mark();
    s.press(vk::Enter);
    auto& m = s.form.menus;
    EXPECT_FALSE(m.mainMenuActive());
    EXPECT_TRUE(m.carMenuActive());
    EXPECT_EQ(m.carMenuIndex, 1);
    EXPECT_EQ(m.carMenuCount, 4);
    EXPECT_EQ(s.soundEvents(at),
              (Events{"stop sounds/menu/m_p.wav", "rewind sounds/menu/m_p.wav", "stop sounds/menu/m_click.wav",
                      "rewind sounds/menu/m_click.wav", "play sounds/menu/m_click.wav once",
                      "rewind sounds/menu/c_p.wav", "play sounds/menu/c_p.wav once"}));
}

TEST_F(MenuTest, CarMenuNavigatesWithoutWrapping) {
    s.press(vk::Enter);
    auto at = s.mark();
    s.press(vk::Up);
    EXPECT_TRUE(s.soundEvents(at).empty()) << s.dump(at);
    s.press(vk::End);
    EXPECT_EQ(s.form.menus.carMenuIndex, 4);
    EXPECT_TRUE(s.has("play sounds/menu/c4.wav once", at));
    at = s.mark();
    s.press(vk::Down);
    EXPECT_TRUE(s.soundEvents(at).empty()) << s.dump(at);
    s.press(vk::Up);
    EXPECT_EQ(s.form.menus.carMenuIndex, 3);
    EXPECT_EQ(s.soundEvents(at).back(), "play sounds/menu/c3.wav once");
}

struct CarChoice {
    int entry;
    float speed;
};

class CarChoiceTest : public MenuTest, public ::testing::WithParamInterface<CarChoice> {};

TEST_P(CarChoiceTest, ChoosingACarSetsTypeAndSpeedThenAsksForTheDifficulty) {
    const auto choice = GetParam();
    s.press(vk::Enter);
    pressTimes(vk::Down, choice.entry - 1);
    auto at = s.mark();
    s.press(vk::Enter);
    auto& m = s.form.menus;
    EXPECT_EQ(m.selectedCarType, choice.entry);
    EXPECT_FLOAT_EQ(s.form.race.m_speed, choice.speed);
    EXPECT_FALSE(m.carMenuActive());
    EXPECT_TRUE(m.difficultyMenuActive());
    EXPECT_EQ(m.difficultyMenuIndex, 1);
    EXPECT_EQ(m.difficultyMenuCount, 3);
    s.expectInOrder({"play sounds/menu/m_click.wav once", "rewind sounds/menu/dp.wav",
                     "play sounds/menu/dp.wav once"},
                    at);
}

INSTANTIATE_TEST_SUITE_P(AllCars, CarChoiceTest,
                         ::testing::Values(CarChoice{1, 2.0f}, CarChoice{2, 4.0f}, CarChoice{3, 3.0f},
                                           CarChoice{4, 3.5f}));

TEST_F(MenuTest, EscapeOrLeftInTheCarAndDifficultyMenusReturnToTheMainPrompt) {
    s.press(vk::Enter);
    s.press(vk::Down);
    auto at = s.mark();
    s.press(vk::Left);
    auto& m = s.form.menus;
    EXPECT_TRUE(m.mainMenuActive());
    EXPECT_FALSE(m.carMenuActive());
    s.expectInOrder({"stop sounds/menu/c2.wav", "play sounds/menu/m_p.wav once"}, at);

    s.press(vk::Enter);         // car menu
    s.press(vk::Down);          // car 2
    s.press(vk::Enter);         // difficulty menu
    s.press(vk::End);           // "crazy"
    at = s.mark();
    s.press(vk::Escape);
    EXPECT_TRUE(m.mainMenuActive());
    EXPECT_FALSE(m.difficultyMenuActive());
    EXPECT_EQ(m.mainMenuIndex, 1);
    EXPECT_EQ(m.selectedCarType, 2);  // kept until a car is chosen again
    s.expectInOrder({"stop sounds/menu/d3.wav", "play sounds/menu/m_p.wav once"}, at);
    // Escape in the main menu would have left the game: it did not run.
    EXPECT_FALSE(s.exitStatus);
}

TEST_F(MenuTest, ChoosingADifficultyIgnoresKeysDuringTheClickThenReleasesTheMenuBank) {
    s.press(vk::Enter);  // car menu
    s.press(vk::Enter);  // car 1, difficulty menu
    s.press(vk::Down);   // "normal"
    const auto at = s.mark();
    const auto t = s.now();
    s.pressAt(vk::Down, t + 1);
    s.pressAt(vk::Enter, t + 2);
    s.pressAt(vk::Home, t + 3);
    s.press(vk::Enter);
    auto& m = s.form.menus;
    EXPECT_EQ(m.difficulty, "normal");
    EXPECT_FALSE(m.difficultyMenuActive());
    EXPECT_FALSE(m.mainMenuActive());
    EXPECT_FALSE(m.carMenuActive());
    EXPECT_FALSE(s.form.sound.menu.music);
    const auto stopMusic = s.expectInOrder(
        {"play sounds/menu/m_click.wav once", "key 40", "key 13", "key 36", "end sounds/menu/m_click.wav",
         "stop sounds/menu/music.wav", "release sounds/menu/music.wav"},
        at);
    EXPECT_FALSE(s.has("play sounds/menu/d3.wav once", at));
    EXPECT_FALSE(s.has("play sounds/menu/d1.wav once", at));
    EXPECT_TRUE(s.has("release sounds/vControl/version.wav", stopMusic));
    // The race begins on a released menu bank.
    EXPECT_TRUE(s.form.race.game);
    EXPECT_TRUE(s.has("load sounds/amb.wav", stopMusic));
}

// Escape while the click of a chosen difficulty sounds brings back the main menu; the game
// that was chosen must not start on top of it.
TEST_F(MenuTest, LeavingTheDifficultyMenuDuringTheClickWithdrawsTheChoice) {
    s.press(vk::Enter);
    s.press(vk::Enter);
    const auto at = s.mark();
    s.pressAt(vk::Escape, s.now() + 1);
    s.press(vk::Enter);
    auto& m = s.form.menus;
    EXPECT_TRUE(m.mainMenuActive());
    EXPECT_FALSE(m.difficultyMenuActive());
    EXPECT_FALSE(m.soundBusy);
    EXPECT_EQ(m.difficulty, "");
    EXPECT_TRUE(s.form.sound.menu.music);
    EXPECT_FALSE(s.has("stop sounds/menu/music.wav", at)) << s.dump(at);
    EXPECT_FALSE(s.form.race.game);
    // The main menu works as usual afterwards.
    s.press(vk::Down);
    EXPECT_EQ(m.mainMenuIndex, 2);
}

TEST_F(MenuTest, EntrySevenPlaysTheTestClipOverPausedMusicThenSpeaksEntrySevenAgain) {
    s.press(vk::End);
    s.press(vk::Up);
    ASSERT_EQ(s.form.menus.mainMenuIndex, 7);
    const auto at = s.mark();
    s.pressAt(vk::Down, s.now() + 1);
    s.pressAt(vk::Up, s.now() + 2);
    s.pressAt(vk::Home, s.now() + 3);
    s.press(vk::Enter);
    const auto stop = s.expectInOrder({"stop sounds/menu/m7.wav", "play sounds/menu/m_click.wav once",
                                       "stop sounds/menu/test.wav", "rewind sounds/menu/test.wav",
                                       "play sounds/menu/test.wav once", "stop sounds/menu/music.wav"},
                                      at);
    const auto resume = s.expectInOrder({"key 40", "key 38", "key 36", "end sounds/menu/test.wav", "play sounds/menu/music.wav loop",
                                         "play sounds/menu/m7.wav once"},
                                        stop);
    // Resumed where it stopped, not from the start.
    EXPECT_FALSE(s.has("rewind sounds/menu/music.wav", at));
    for (const char* other : {"m1", "m6", "m8"})
        EXPECT_FALSE(s.has("play sounds/menu/" + std::string(other) + ".wav once", at)) << other;
    EXPECT_LT(stop, resume);
    EXPECT_EQ(s.form.menus.mainMenuIndex, 7);
    EXPECT_TRUE(s.form.menus.mainMenuActive());
    EXPECT_FALSE(s.form.menus.soundBusy);
}

TEST_F(MenuTest, VersionIsNotAnnouncedOverTheTestClip) {
    s.press(vk::End);
    s.press(vk::Up);
    const auto at = s.mark();
    s.pressAt(kV, s.now() + 1);
    s.press(vk::Enter);
    EXPECT_TRUE(s.has("key 86", at));
    EXPECT_FALSE(s.has("play sounds/vControl/version.wav once", at)) << s.dump(at);
    EXPECT_FALSE(s.form.menus.soundBusy);
}

// ---- the lg menu ------------------------------------------------------------------------------

class LgMenuTest : public MenuTest {
protected:
    void SetUp() override {
        MenuTest::SetUp();
        pressTimes(vk::Down, 5);
        ASSERT_EQ(s.form.menus.mainMenuIndex, 6);
        at = s.mark();
        s.press(vk::Enter);
    }
    std::size_t at = 0;
};

TEST_F(LgMenuTest, OpensOverQuieterMusic) {
    auto& m = s.form.menus;
    EXPECT_TRUE(m.lgMenuActive());
    EXPECT_FALSE(m.mainMenuActive());
    EXPECT_EQ(m.lgMenuIndex, 1);
    s.expectInOrder({"volume sounds/menu/music.wav -1000", "rewind sounds/lgs/lgp.wav", "play sounds/lgs/lgp.wav once"},
                    at);
    // Up on the first entry leaves the prompt sounding.
    const auto up = s.mark();
    s.press(vk::Up);
    EXPECT_TRUE(s.soundEvents(up).empty()) << s.dump(up);
    EXPECT_EQ(m.lgMenuIndex, 1);
}

TEST_F(LgMenuTest, FourEntryListWrapsBothWays) {
    auto& m = s.form.menus;
    auto mark = s.mark();
    s.press(vk::Enter);
    EXPECT_TRUE(m.ltListActive());
    EXPECT_FALSE(m.lgMenuActive());
    EXPECT_EQ(s.soundEvents(mark), (Events{"stop sounds/lgs/lgp.wav", "rewind sounds/lgs/lgp.wav",
                                           "play sounds/lgs/lt1.wav once"}));

    mark = s.mark();
    s.press(vk::Up);
    EXPECT_EQ(m.ltListIndex, 4);
    EXPECT_EQ(s.soundEvents(mark), (Events{"stop sounds/lgs/lt1.wav", "rewind sounds/lgs/lt1.wav",
                                           "play sounds/lgs/lt4.wav once"}));
    mark = s.mark();
    s.press(vk::Down);
    EXPECT_EQ(m.ltListIndex, 1);
    EXPECT_EQ(s.soundEvents(mark).back(), "play sounds/lgs/lt1.wav once");

    // Home, End and Enter do nothing in a list.
    mark = s.mark();
    s.press(vk::Home);
    s.press(vk::End);
    s.press(vk::Enter);
    EXPECT_TRUE(s.soundEvents(mark).empty()) << s.dump(mark);
    EXPECT_TRUE(m.ltListActive());

    // Back to the lg menu, which starts over with its prompt.
    mark = s.mark();
    s.press(vk::Escape);
    EXPECT_FALSE(m.ltListActive());
    EXPECT_TRUE(m.lgMenuActive());
    EXPECT_EQ(m.lgMenuIndex, 1);
    EXPECT_EQ(m.ltListIndex, 1);
    s.expectInOrder({"stop sounds/lgs/lt1.wav", "play sounds/lgs/lgp.wav once"}, mark);
}

TEST_F(LgMenuTest, TenEntryListWrapsBetweenTheFirstAndTheLastClip) {
    auto& m = s.form.menus;
    s.press(vk::Down);
    auto mark = s.mark();
    s.press(vk::Enter);
    EXPECT_TRUE(m.laListActive());
    EXPECT_EQ(m.laListIndex, 1);
    s.expectInOrder({"rewind sounds/lgs/la1.wav", "play sounds/lgs/la1.wav once"}, mark);

    mark = s.mark();
    s.press(vk::Up);
    EXPECT_EQ(m.laListIndex, 10);
    EXPECT_EQ(s.soundEvents(mark).back(), "play sounds/lgs/la10.wav once");
    s.press(vk::Down);
    EXPECT_EQ(m.laListIndex, 1);
    for (int i = 0; i < 9; ++i) s.press(vk::Down);
    EXPECT_EQ(m.laListIndex, 10);
    mark = s.mark();
    s.press(vk::Down);
    EXPECT_EQ(m.laListIndex, 1);
    EXPECT_EQ(s.soundEvents(mark), (Events{"stop sounds/lgs/la10.wav", "rewind sounds/lgs/la10.wav",
                                           "play sounds/lgs/la1.wav once"}));

    s.press(vk::Left);
    EXPECT_FALSE(m.laListActive());
    EXPECT_TRUE(m.lgMenuActive());
    EXPECT_EQ(m.laListIndex, 1);
}

TEST_F(LgMenuTest, DownStepByStepSpeaksEveryEntryUpToTheLastInTheMenuAndItsList) {
    auto& m = s.form.menus;
    for (int entry = 2; entry <= 3; ++entry) {
        const auto mark = s.mark();
        s.press(vk::Down);
        EXPECT_EQ(m.lgMenuIndex, entry);
        EXPECT_EQ(s.soundEvents(mark).back(), "play sounds/lgs/lg" + std::to_string(entry) + ".wav once");
    }
    s.press(vk::Home);
    s.press(vk::Enter);
    ASSERT_TRUE(m.ltListActive());
    for (int entry = 2; entry <= 4; ++entry) {
        const auto mark = s.mark();
        s.press(vk::Down);
        EXPECT_EQ(m.ltListIndex, entry);
        EXPECT_EQ(s.soundEvents(mark).back(), "play sounds/lgs/lt" + std::to_string(entry) + ".wav once");
    }
}

TEST_F(LgMenuTest, HomeAndEndAlwaysStopTheMenuSounds) {
    auto& m = s.form.menus;
    auto mark = s.mark();
    s.press(vk::Home);  // already on entry 1: the prompt is cut off, nothing is said
    EXPECT_EQ(s.soundEvents(mark), (Events{"stop sounds/lgs/lgp.wav", "rewind sounds/lgs/lgp.wav"}));
    s.press(vk::End);
    EXPECT_EQ(m.lgMenuIndex, 3);
    mark = s.mark();
    s.press(vk::End);
    EXPECT_EQ(s.soundEvents(mark), (Events{"stop sounds/lgs/lg3.wav", "rewind sounds/lgs/lg3.wav"}));
    mark = s.mark();
    s.press(vk::Down);  // no wrap
    EXPECT_TRUE(s.soundEvents(mark).empty());
    s.press(vk::Up);
    EXPECT_EQ(m.lgMenuIndex, 2);
}

TEST_F(LgMenuTest, EntryThreeGoesBackToTheMainMenuAtFullMusicVolume) {
    auto& m = s.form.menus;
    s.press(vk::End);
    const auto mark = s.mark();
    s.press(vk::Enter);
    EXPECT_FALSE(m.lgMenuActive());
    EXPECT_TRUE(m.mainMenuActive());
    EXPECT_EQ(m.mainMenuIndex, 1);
    s.expectInOrder({"volume sounds/menu/music.wav 0", "play sounds/menu/m_p.wav once"}, mark);
}

// ---- the high score spoken in the main menu -----------------------------------------------

// The spoken high score goes on by itself; moving on in the menu cuts it off, so the next
// entry or prompt is never heard with the number talking over it.
TEST_F(MenuTest, MovingOnCutsOffTheSpokenHighScore) {
    s.form.highScore = 4321;
    for (int key : {vk::Down, vk::Up, vk::Enter}) {
        s.press('H');
        s.runFor(50);  // "your high score" is still being said
        const auto at = s.mark();
        s.press(key);
        s.runFor(3000);
        for (const auto& e : s.events(at)) {
            EXPECT_EQ(e.rfind("play sounds/numbers/", 0), std::string::npos) << key << ": " << e;
            EXPECT_EQ(e.rfind("play sounds/speech/", 0), std::string::npos) << key << ": " << e;
        }
        EXPECT_FALSE(s.form.numbers.speaking());
    }
    EXPECT_TRUE(s.form.menus.carMenuActive());
    s.expectInOrder({"play sounds/menu/c_p.wav once", "end sounds/menu/c_p.wav"});
}

// ---- the version announcement ----------------------------------------------------------------

TEST_F(MenuTest, VersionIsSaidClipByClipWhileTheMenuIgnoresArrows) {
    const auto at = s.mark();
    s.pressAt(vk::Down, s.now() + 1);
    s.pressAt(vk::Enter, s.now() + 2);
    s.press(kV);
    s.expectInOrder({"stop sounds/menu/m_p.wav", "play sounds/vControl/version.wav once", "key 40", "key 13",
                     "end sounds/vControl/version.wav", "play sounds/vControl/1.wav once",
                     "end sounds/vControl/1.wav", "play sounds/vControl/point.wav once",
                     "end sounds/vControl/point.wav", "play sounds/vControl/2.wav once",
                     "end sounds/vControl/2.wav"},
                    at);
    auto& m = s.form.menus;
    EXPECT_FALSE(m.soundBusy);
    EXPECT_EQ(m.mainMenuIndex, 1);
    EXPECT_TRUE(m.mainMenuActive());
    EXPECT_FALSE(s.has("play sounds/menu/m2.wav once", at));
    EXPECT_FALSE(s.has("play sounds/menu/m_click.wav once", at));
    // The clips are not rewound: each played to its end.
    EXPECT_FALSE(s.has("rewind sounds/vControl/version.wav", at));

    // The menu answers again, and a second V says it all from the start.
    s.press(vk::Down);
    EXPECT_EQ(m.mainMenuIndex, 2);
    const auto again = s.mark();
    s.press(kV);
    s.expectInOrder({"stop sounds/menu/m2.wav", "play sounds/vControl/version.wav once",
                     "play sounds/vControl/1.wav once", "play sounds/vControl/point.wav once",
                     "play sounds/vControl/2.wav once", "end sounds/vControl/2.wav"},
                    again);
}

TEST_F(MenuTest, AVersionKeyDuringTheAnnouncementDoesNotStartASecondOne) {
    const auto at = s.mark();
    s.pressAt(kV, s.now() + 1);
    s.press(kV);
    s.runFor(2000);
    const auto events = s.events(at);
    EXPECT_EQ(std::count(events.begin(), events.end(), "play sounds/vControl/version.wav once"), 1) << s.dump(at);
    EXPECT_EQ(std::count(events.begin(), events.end(), "play sounds/vControl/2.wav once"), 1);
    EXPECT_FALSE(s.form.menus.soundBusy);
}

TEST_F(MenuTest, EscapeDuringTheAnnouncementDoesNotLeaveTheGame) {
    s.pressAt(vk::Escape, s.now() + 1);
    s.press(kV);
    EXPECT_FALSE(s.exitStatus);
    EXPECT_TRUE(s.form.menus.mainMenuActive());
}

// The same announcement and navigation with the clips of the generated sound pack, whose
// lengths are the real ones.
TEST(SoundPackMenus, VersionAndNavigationWithTheRealClips) {
    if (!GameFolder::packBuilt()) GTEST_SKIP() << "no generated sound pack in " << ZORVAN_GAME_DIR;
    Scenario s(GameFolder::Sounds::PackIfBuilt);
    ASSERT_TRUE(s.folder.usesPack());
    ASSERT_TRUE(s.load()) << s.dump();
    const auto at = s.mark();
    s.pressAt(vk::Down, s.now() + 1);
    s.press(kV);
    s.expectInOrder({"play sounds/vControl/version.wav once", "key 40", "end sounds/vControl/version.wav",
                     "play sounds/vControl/1.wav once", "play sounds/vControl/point.wav once",
                     "play sounds/vControl/2.wav once", "end sounds/vControl/2.wav"},
                    at);
    EXPECT_FALSE(s.has("play sounds/menu/m2.wav once", at));
    s.press(vk::Down);
    EXPECT_TRUE(s.has("play sounds/menu/m2.wav once", at));
}

}  // namespace
}  // namespace zorvan::test
