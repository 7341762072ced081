// The menu stack: one menu at most has the keyboard, whichever way the player goes from menu to
// menu, and a running race takes every key before any menu. Also the spoken-menu moves on
// their own, and Back and Select of every menu.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "menus/spoken_menu.h"
#include "support/scenario.h"

namespace zorvan::test {
namespace {

using Events = std::vector<std::string>;

// ---- one spoken menu, apart from the game ------------------------------------------------------

struct MenuProbe {
    std::int16_t index = 1, count = 4;
    bool busy = false;
    std::vector<std::string> said;
    SpokenMenu menu;

    MenuProbe(SpokenMenu::Behaviour b, bool held) : menu(index, count, held ? &busy : nullptr, b) {
        menu.speak = [this](std::int16_t n) { said.push_back("say " + std::to_string(n)); };
        menu.silence = [this] { said.push_back("quiet"); };
    }
};

TEST(SpokenMenuTest, MenusThatDoNotWrapStayAtTheirEndsAndSayNothing) {
    MenuProbe p({}, false);
    p.menu.previous();
    EXPECT_EQ(p.index, 1);
    EXPECT_TRUE(p.said.empty());
    for (int i = 0; i < 6; ++i) p.menu.next();
    EXPECT_EQ(p.index, 4);
    EXPECT_EQ(p.said, (Events{"quiet", "say 2", "quiet", "say 3", "quiet", "say 4"}));
    // Home on the first entry and End on the last say nothing and silence nothing.
    p.said.clear();
    p.menu.jumpTo(4);
    EXPECT_TRUE(p.said.empty());
    p.menu.jumpTo(1);
    EXPECT_EQ(p.said, (Events{"quiet", "say 1"}));
}

TEST(SpokenMenuTest, SilencingAtTheEndsAndOnJumpsIsTheMenusChoice) {
    MenuProbe p({false, true, true, true}, false);
    p.menu.previous();
    p.menu.jumpTo(1);
    EXPECT_EQ(p.said, (Events{"quiet", "quiet"}));
    EXPECT_EQ(p.index, 1);
}

TEST(SpokenMenuTest, ListsWrapAroundBothWays) {
    MenuProbe p({true, false, false, false}, false);
    p.menu.previous();
    EXPECT_EQ(p.index, 4);
    p.menu.next();
    EXPECT_EQ(p.index, 1);
    EXPECT_EQ(p.said, (Events{"quiet", "say 4", "quiet", "say 1"}));
    // A list has no Home, End or Enter: those keys are left to others.
    EXPECT_FALSE(p.menu.keyDown(vk::Home));
    EXPECT_FALSE(p.menu.keyDown(vk::End));
    EXPECT_FALSE(p.menu.keyDown(vk::Enter));
    EXPECT_FALSE(p.menu.keyDown(vk::Escape));
    EXPECT_EQ(p.index, 1);
}

TEST(SpokenMenuTest, AHeldMenuIgnoresMovesAndChoicesButNotBack) {
    MenuProbe p({}, true);
    int chosen = 0, backs = 0;
    p.menu.choose = [&](std::int16_t n) { chosen = n; };
    p.menu.back = [&] { ++backs; };
    p.busy = true;
    for (int key : {vk::Down, vk::Up, vk::End, vk::Home, vk::Enter}) EXPECT_TRUE(p.menu.keyDown(key));
    EXPECT_EQ(p.index, 1);
    EXPECT_EQ(chosen, 0);
    EXPECT_TRUE(p.said.empty());
    // Back is how the player withdraws from a wait.
    EXPECT_TRUE(p.menu.keyDown(vk::Left));
    EXPECT_EQ(backs, 1);
    p.busy = false;
    p.menu.keyDown(vk::End);
    p.menu.keyDown(vk::Enter);
    EXPECT_EQ(chosen, 4);
    EXPECT_EQ(p.said, (Events{"quiet", "quiet", "say 4", "quiet"}));
}

TEST(SpokenMenuTest, OtherKeysHaveTheFirstLook) {
    MenuProbe p({}, false);
    p.menu.otherKeys = [](int key) { return key == vk::Down; };
    EXPECT_TRUE(p.menu.keyDown(vk::Down));
    EXPECT_EQ(p.index, 1);
    EXPECT_TRUE(p.said.empty());
}

TEST(SpokenMenuTest, TheStackHoldsOneMenuAndClosingAnotherLeavesItOpen) {
    MenuProbe a({}, false), b({}, false);
    MenuStack stack;
    EXPECT_TRUE(stack.empty());
    EXPECT_FALSE(stack.keyDown(vk::Down));
    stack.open(a.menu);
    stack.open(b.menu);
    EXPECT_EQ(stack.size(), 1);
    EXPECT_TRUE(stack.isOpen(b.menu));
    EXPECT_FALSE(stack.isOpen(a.menu));
    stack.close(a.menu);
    EXPECT_TRUE(stack.isOpen(b.menu));
    EXPECT_TRUE(stack.keyDown(vk::Down));
    EXPECT_EQ(b.index, 2);
    EXPECT_EQ(a.index, 1);
    stack.close(b.menu);
    EXPECT_TRUE(stack.empty());
}

// ---- the game's menus, through the main form's key handler -------------------------------------

class MenuStackTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(s.load()) << s.dump(); }

    // The nine questions, as the rest of the game asks them.
    std::vector<std::string> openMenus() {
        auto& m = s.form.menus;
        auto& k = s.form.keyMap;
        auto& t = s.form.localScores;
        std::vector<std::string> open;
        if (m.mainMenuActive()) open.push_back("main");
        if (m.carMenuActive()) open.push_back("car");
        if (m.difficultyMenuActive()) open.push_back("difficulty");
        if (m.lgMenuActive()) open.push_back("lg");
        if (m.ltListActive()) open.push_back("lt");
        if (m.laListActive()) open.push_back("la");
        if (k.keyMenuActive()) open.push_back("keys");
        if (t.topTenMenuActive()) open.push_back("topten");
        if (t.topTenListActive()) open.push_back("toptenlist");
        return open;
    }
    // Presses the keys one by one; after each, at most one menu is open and the stack agrees.
    void walk(const std::vector<int>& keys) {
        for (int key : keys) {
            s.press(key);
            s.runFor(50);
            const auto open = openMenus();
            ASSERT_LE(open.size(), 1u) << "after key " << key;
            ASSERT_EQ(static_cast<int>(open.size()), s.form.menus.stack.size()) << "after key " << key;
        }
    }
    void expectOpen(const std::string& menu) {
        EXPECT_EQ(openMenus(), std::vector<std::string>{menu}) << s.dump();
    }
    void mainEntry(int entry) {
        s.press(vk::Home);
        walk(std::vector<int>(entry - 1, vk::Down));
        ASSERT_EQ(s.form.menus.mainMenuIndex, entry);
        walk({vk::Enter});
    }
    Scenario s;
};

TEST_F(MenuStackTest, CarAndDifficultyToARaceAndBackHoldOneMenuAtATime) {
    expectOpen("main");
    mainEntry(1);
    expectOpen("car");
    walk({vk::Down, vk::Enter});
    expectOpen("difficulty");
    walk({vk::Left});
    expectOpen("main");
    walk({vk::Enter, vk::Enter, vk::Enter});
    ASSERT_TRUE(s.form.race.game);
    // No menu listens during a race.
    EXPECT_TRUE(openMenus().empty());
    EXPECT_TRUE(s.form.menus.stack.empty());
    // Escape, then Enter at the exit prompt, ends the race in the main menu.
    s.pressAt(vk::Enter, s.now() + 300);
    walk({vk::Escape});
    s.runFor(500);
    EXPECT_FALSE(s.form.race.game);
    expectOpen("main");
}

TEST_F(MenuStackTest, TheLgMenuAndItsListsHandOverToEachOther) {
    mainEntry(6);
    expectOpen("lg");
    walk({vk::Enter});
    expectOpen("lt");
    walk({vk::Down, vk::Up, vk::Up, vk::Escape});
    expectOpen("lg");
    walk({vk::Down, vk::Enter});
    expectOpen("la");
    walk({vk::Up, vk::Left});
    expectOpen("lg");
    // Entry 3 of the lg menu, and Back, both return to the main menu.
    walk({vk::End, vk::Enter});
    expectOpen("main");
    mainEntry(6);
    walk({vk::Left});
    expectOpen("main");
}

TEST_F(MenuStackTest, TheKeyMapAndTheTopTenReturnToTheMainMenuEitherWay) {
    mainEntry(5);
    expectOpen("keys");
    walk({vk::Escape});
    expectOpen("main");
    mainEntry(5);
    walk({vk::End, vk::Enter});  // entry 13, "back"
    expectOpen("main");

    mainEntry(4);
    expectOpen("topten");
    walk({vk::Enter});
    s.runFor(1000);
    expectOpen("toptenlist");
    walk({vk::Down, vk::Left});
    expectOpen("topten");
    walk({vk::Enter});
    walk({vk::Escape});
    expectOpen("main");
    mainEntry(4);
    walk({vk::Enter, vk::Enter});  // Enter in a list leaves for the main menu
    expectOpen("main");
    mainEntry(4);
    walk({vk::End, vk::Enter});  // entry 5, "back"
    expectOpen("main");
    mainEntry(4);
    walk({vk::Left});
    expectOpen("main");
}

TEST_F(MenuStackTest, LeftDuringAKeyConfirmationLeavesTheKeyMapForTheMainMenu) {
    mainEntry(5);
    // Entry 1 remaps the start key: the next key is taken whole, whatever it is; Left during
    // the confirmation that follows goes back.
    s.pressAt('Q', s.now() + 100);
    s.pressAt(vk::Left, s.now() + 150);
    walk({vk::Enter});
    s.runFor(2000);
    EXPECT_FALSE(s.form.keyMap.waitingForKey);
    EXPECT_EQ(s.form.keyMap.kstart, 'Q');
    expectOpen("main");
}

TEST_F(MenuStackTest, AKeyGoesToTheRaceBeforeAnyMenu) {
    walk({vk::Enter, vk::Enter, vk::Enter});
    ASSERT_TRUE(s.form.race.game);
    // Even a menu left open by mistake under a race gets none of the race's keys.
    auto& m = s.form.menus;
    m.stack.open(m.mainMenu);
    const std::int16_t index = m.mainMenuIndex;
    const std::string mode = s.form.mode;
    const auto at = s.mark();
    for (int key : std::vector<int>{'M', vk::F5, vk::End, vk::Down, vk::Home, 'V', 'S'}) s.press(key);
    s.runFor(200);
    EXPECT_EQ(s.form.mode, mode);           // M and F5 would switch the theme in the main menu
    EXPECT_EQ(m.mainMenuIndex, index);      // End, Down and Home would move it
    EXPECT_TRUE(s.form.race.game);
    EXPECT_FALSE(s.has("play sounds/speech/arcade_mode.wav once", at)) << s.dump(at);
    EXPECT_FALSE(s.has("play sounds/vControl/version.wav once", at)) << s.dump(at);
    m.stack.closeAll();
}

TEST_F(MenuStackTest, VolumeKeysWorkInEveryMenuAndNowhereElse) {
    const auto volumeKeyTaken = [&] { return s.form.volumeKeyDown(vk::F12); };
    EXPECT_TRUE(volumeKeyTaken());
    mainEntry(6);
    EXPECT_TRUE(volumeKeyTaken());
    s.form.menus.stack.closeAll();
    EXPECT_FALSE(volumeKeyTaken());
    s.form.menus.showMainMenu();
    mainEntry(4);
    EXPECT_TRUE(volumeKeyTaken());
}

}  // namespace
}  // namespace zorvan::test
