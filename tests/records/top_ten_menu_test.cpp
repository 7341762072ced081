// The top-ten menu and the browsing of a list, driven through the main form's key handler.

#include <gtest/gtest.h>

#include <algorithm>

#include "records_game.h"

namespace zorvan::test {
namespace {

using Strings = std::vector<std::string>;

const std::vector<std::int32_t> kNormal{90, 80, 70, 60, 50, 40, 30, 20, 15, 12};

class TopTenMenuTest : public ::testing::Test {
protected:
    void SetUp() override {
        g.folder.write("ls.dat", lsDatWith({7}, kNormal, {3}));
        ASSERT_TRUE(g.load()) << g.dump();
        ASSERT_TRUE(g.form.menus.mainMenuActive());
    }
    // Main menu entry 4.
    void openTopTenMenu() {
        for (int i = 0; i < 3; ++i) g.press(vk::Down);
        ASSERT_EQ(g.form.menus.mainMenuIndex, 4);
        g.press(vk::Enter);
    }
    // Presses a key and lets the speech it sets off be said.
    Strings sayAfter(int key, std::int64_t ms = 600) {
        const auto at = g.mark();
        g.press(key);
        g.runFor(ms);
        return g.spoken(at);
    }
    std::size_t count(const std::string& event, std::size_t from = 0) const {
        const auto e = g.events(from);
        return static_cast<std::size_t>(std::count(e.begin(), e.end(), event));
    }
    RecordsGame g;
    LocalScores& scores = g.form.localScores;
};

TEST_F(TopTenMenuTest, EntryFourBrowsesAListScoreByScoreResetsAndReturnsToTheMainMenu) {
    g.sim.settings().set("Kestrine", "zorvan", "highscore", "640");
    auto at = g.mark();
    openTopTenMenu();
    EXPECT_FALSE(g.form.menus.mainMenuActive());
    EXPECT_TRUE(scores.topTenMenuActive());
    EXPECT_EQ(scores.topTenMenuIndex, 1);
    EXPECT_TRUE(g.has("volume sounds/menu/music.wav -500", at)) << g.dump(at);
    EXPECT_EQ(g.plays(at).back(), "play sounds/menu/lp.wav once");

    // Entry 2, the "normal" list: its prompt, and nothing for place 1 yet.
    at = g.mark();
    g.press(vk::Down);
    EXPECT_EQ(g.plays(at), Strings{"play sounds/menu/ls2.wav once"});
    at = g.mark();
    g.press(vk::Enter);
    g.runFor(600);
    EXPECT_FALSE(scores.topTenMenuActive());
    EXPECT_TRUE(scores.topTenListActive());
    EXPECT_EQ(scores.topTenListLetter, 'b');
    EXPECT_EQ(g.plays(at), Strings{"play sounds/menu/lpp.wav once"});

    // Down speaks place 2 first; place 1 is reached going back up; above it all is silent.
    EXPECT_EQ(sayAfter(vk::Down), Strings{"80"});
    EXPECT_EQ(sayAfter(vk::Down), Strings{"70"});
    EXPECT_EQ(sayAfter(vk::Up), Strings{"80"});
    EXPECT_EQ(sayAfter(vk::Up), Strings{"90"});
    at = g.mark();
    EXPECT_EQ(sayAfter(vk::Up), Strings{});
    EXPECT_TRUE(g.plays(at).empty()) << g.dump(at);
    EXPECT_EQ(scores.topTenListIndex, 1);

    Strings heard;
    for (int i = 0; i < 9; ++i) {
        const Strings said = sayAfter(vk::Down);
        heard.insert(heard.end(), said.begin(), said.end());
    }
    EXPECT_EQ(heard, (Strings{"80", "70", "60", "50", "40", "30", "20", "15", "12"}));
    at = g.mark();
    EXPECT_EQ(sayAfter(vk::Down), Strings{});
    EXPECT_TRUE(g.plays(at).empty()) << g.dump(at);
    EXPECT_EQ(scores.topTenListIndex, 10);

    // Left: back to the top-ten menu, from its first entry.
    at = g.mark();
    g.press(vk::Left);
    EXPECT_FALSE(scores.topTenListActive());
    EXPECT_TRUE(scores.topTenMenuActive());
    EXPECT_EQ(scores.topTenMenuIndex, 1);
    EXPECT_EQ(g.plays(at), Strings{"play sounds/menu/lp.wav once"});

    // The reset entry: every list cleared, the high score deleted, the confirmation played to
    // its end, then the menu again.
    g.press(vk::End);
    g.press(vk::Up);
    ASSERT_EQ(scores.topTenMenuIndex, 4);
    at = g.mark();
    g.press(vk::Enter);
    EXPECT_EQ(g.folder.read("ls.dat"), clearedTopTenFile(3));
    EXPECT_EQ(g.storedHighScore(), "nun");
    EXPECT_EQ(g.form.highScore, 0);
    EXPECT_EQ(g.plays(at), (Strings{"play sounds/menu/reset.wav once", "play sounds/menu/lp.wav once"}));
    const auto events = g.events(at);
    const auto ended = std::find(events.begin(), events.end(), "end sounds/menu/reset.wav");
    const auto prompt = std::find(events.begin(), events.end(), "play sounds/menu/lp.wav once");
    EXPECT_LT(ended, prompt) << "the menu came back before the confirmation had ended\n" << g.dump(at);
    EXPECT_TRUE(scores.topTenMenuActive());
    EXPECT_EQ(scores.topTenMenuIndex, 1);
    EXPECT_FALSE(g.form.menus.soundBusy);

    // Escape: the main menu with its music back at full volume.
    at = g.mark();
    g.press(vk::Escape);
    EXPECT_FALSE(scores.topTenMenuActive());
    EXPECT_TRUE(g.form.menus.mainMenuActive());
    EXPECT_TRUE(g.has("volume sounds/menu/music.wav 0", at)) << g.dump(at);
    EXPECT_EQ(g.plays(at).back(), "play sounds/menu/m_p.wav once");
}

TEST_F(TopTenMenuTest, MenuFallsSilentAtItsEndsAndDoesNotWrap) {
    openTopTenMenu();
    // Up on entry 1 cuts the prompt off and says nothing.
    auto at = g.mark();
    g.press(vk::Up);
    EXPECT_TRUE(g.has("stop sounds/menu/lp.wav", at)) << g.dump(at);
    EXPECT_TRUE(g.plays(at).empty()) << g.dump(at);
    EXPECT_EQ(scores.topTenMenuIndex, 1);

    at = g.mark();
    g.press(vk::Home);
    EXPECT_TRUE(g.plays(at).empty()) << g.dump(at);

    at = g.mark();
    g.press(vk::End);
    EXPECT_EQ(g.plays(at), Strings{"play sounds/menu/k13.wav once"});
    EXPECT_EQ(scores.topTenMenuIndex, 5);

    at = g.mark();
    g.press(vk::Down);
    EXPECT_TRUE(g.has("stop sounds/menu/k13.wav", at)) << g.dump(at);
    EXPECT_TRUE(g.plays(at).empty()) << g.dump(at);
    EXPECT_EQ(scores.topTenMenuIndex, 5);

    at = g.mark();
    g.press(vk::Home);
    EXPECT_EQ(g.plays(at), Strings{"play sounds/menu/ls1.wav once"});
    EXPECT_EQ(scores.topTenMenuIndex, 1);

    // Entry 5 goes back to the main menu.
    g.press(vk::End);
    at = g.mark();
    g.press(vk::Enter);
    EXPECT_FALSE(scores.topTenMenuActive());
    EXPECT_TRUE(g.form.menus.mainMenuActive());
    EXPECT_EQ(g.plays(at).back(), "play sounds/menu/m_p.wav once");
}

TEST_F(TopTenMenuTest, DownStepByStepSpeaksEveryEntryUpToTheLast) {
    openTopTenMenu();
    const Strings clips{"ls2", "ls3", "ls4", "k13"};
    for (int entry = 2; entry <= 5; ++entry) {
        const auto at = g.mark();
        g.press(vk::Down);
        EXPECT_EQ(scores.topTenMenuIndex, entry);
        EXPECT_EQ(g.plays(at), Strings{"play sounds/menu/" + clips[static_cast<std::size_t>(entry - 2)] + ".wav once"})
            << g.dump(at);
    }
}

TEST_F(TopTenMenuTest, LeftOrEscapeLeavesTheMenuAndEnterOrEscapeLeavesAListForTheMainMenu) {
    for (int leave : {vk::Left, vk::Escape}) {
        openTopTenMenu();
        g.press(vk::Down);
        const auto at = g.mark();
        g.press(leave);
        EXPECT_TRUE(g.has("stop sounds/menu/ls2.wav", at)) << g.dump(at);
        EXPECT_FALSE(scores.topTenMenuActive());
        EXPECT_TRUE(g.form.menus.mainMenuActive());
        EXPECT_EQ(g.form.menus.mainMenuIndex, 1);
    }
    for (int leave : {vk::Enter, vk::Escape}) {
        openTopTenMenu();
        g.press(vk::End);
        g.press(vk::Up);
        g.press(vk::Up);  // entry 3, "crazy"
        g.press(vk::Enter);
        ASSERT_TRUE(scores.topTenListActive());
        EXPECT_EQ(scores.topTenListLetter, 'c');
        EXPECT_EQ(sayAfter(vk::Down), Strings{"0"});
        g.press(vk::Down);  // speech queued, then cut off at once
        const auto at = g.mark();
        g.press(leave);
        g.runFor(600);
        EXPECT_TRUE(g.spoken(at).empty()) << g.dump(at);
        EXPECT_FALSE(scores.topTenListActive());
        EXPECT_FALSE(scores.topTenMenuActive());
        EXPECT_TRUE(g.form.menus.mainMenuActive());
    }
}

TEST_F(TopTenMenuTest, ListIsReadAfreshEachTimeItIsChosen) {
    openTopTenMenu();
    g.press(vk::Enter);  // "easy": 7 then zeros
    EXPECT_EQ(sayAfter(vk::Up), Strings{});
    EXPECT_EQ(sayAfter(vk::Down), Strings{"0"});
    EXPECT_EQ(sayAfter(vk::Up), Strings{"7"});
    g.press(vk::Left);
    g.folder.write("ls.dat", lsDatWith({1250}, {}, {}));
    g.press(vk::Enter);
    EXPECT_EQ(sayAfter(vk::Down), Strings{"0"});
    EXPECT_EQ(sayAfter(vk::Up, 1500), (Strings{"1", "thousand", "2", "hundred", "50"}));
}

TEST_F(TopTenMenuTest, MissingListReadsAsZerosAndAnUnreadableOneIsRefused) {
    g.folder.remove("ls.dat");
    openTopTenMenu();
    g.press(vk::Enter);
    ASSERT_TRUE(scores.topTenListActive());
    EXPECT_EQ(sayAfter(vk::Down), Strings{"0"});
    g.press(vk::Left);

    g.folder.write("ls.dat", lsDatWith({5}, {}, {}));
    g.platform.flakyFiles().unreadable.insert("ls.dat");
    g.press(vk::Down);
    auto at = g.mark();
    g.press(vk::Enter);
    EXPECT_TRUE(g.has("play sounds/err.wav once", at)) << g.dump(at);
    EXPECT_FALSE(scores.topTenListActive());
    EXPECT_TRUE(scores.topTenMenuActive());
    EXPECT_EQ(scores.topTenMenuIndex, 2);
    EXPECT_FALSE(g.form.menus.soundBusy);
    EXPECT_EQ(g.folder.read("ls.dat"), lsDatWith({5}, {}, {}));
}

TEST_F(TopTenMenuTest, ResetWithNoStoredHighScoreKeepsTheOneInMemory) {
    ASSERT_EQ(g.storedHighScore(), "nun");
    g.form.highScore = 300;
    openTopTenMenu();
    g.press(vk::End);
    g.press(vk::Up);
    const auto at = g.mark();
    g.press(vk::Enter);
    EXPECT_EQ(g.form.highScore, 300);
    EXPECT_EQ(g.storedHighScore(), "nun");
    EXPECT_EQ(g.folder.read("ls.dat"), clearedTopTenFile(3));
    for (const auto& e : g.events(at)) EXPECT_EQ(e.rfind("msgbox", 0), std::string::npos) << e;
    EXPECT_TRUE(g.has("play sounds/menu/reset.wav once", at));
}

TEST_F(TopTenMenuTest, KeysDuringTheResetConfirmationStartNothing) {
    openTopTenMenu();
    g.press(vk::End);
    g.press(vk::Up);
    const auto at = g.mark();
    g.sim.pressKey(vk::Enter, g.sim.nowMs() + 50);
    g.sim.pressKey(vk::Escape, g.sim.nowMs() + 80);
    g.press(vk::Enter);
    EXPECT_EQ(count("play sounds/menu/reset.wav once", at), 1u) << g.dump(at);
    EXPECT_TRUE(scores.topTenMenuActive());
    EXPECT_FALSE(g.form.menus.mainMenuActive());
    EXPECT_EQ(scores.topTenMenuIndex, 1);
}

TEST_F(TopTenMenuTest, ResetHighScoreIsNotBroughtBackByClosingTheWindow) {
    // The last game beat the record: its points wait in `points` with `newscore` set.
    g.form.restoreScore(900, g.form.race.m_lifes);
    g.form.race.newscore = true;
    g.form.saveHighScore();
    ASSERT_EQ(g.storedHighScore(), "900");
    openTopTenMenu();
    g.press(vk::End);
    g.press(vk::Up);
    g.press(vk::Enter);
    ASSERT_EQ(g.storedHighScore(), "nun");
    g.guarded([&] { g.form.Form_Unload(); });
    EXPECT_EQ(g.storedHighScore(), "nun");
}

TEST_F(TopTenMenuTest, RefusedDeletionIsReportedAndTheGameGoesOn) {
    g.sim.settings().set("Kestrine", "zorvan", "highscore", "640");
    g.form.loadHighScore();
    g.platform.flakySettings().refuseRemove = true;
    openTopTenMenu();
    g.press(vk::End);
    g.press(vk::Up);
    const auto at = g.mark();
    g.press(vk::Enter);
    EXPECT_TRUE(g.has("msgbox \"dll error!\" \"can't reset high score\"", at)) << g.dump(at);
    EXPECT_FALSE(g.exitStatus.has_value());
    EXPECT_EQ(g.form.highScore, 640);
    EXPECT_EQ(g.storedHighScore(), "640");
    EXPECT_EQ(g.folder.read("ls.dat"), clearedTopTenFile(3));
    EXPECT_TRUE(scores.topTenMenuActive());
}

TEST_F(TopTenMenuTest, ListsThatCannotBeClearedAreNotConfirmedAsCleared) {
    const std::string before = g.folder.read("ls.dat");
    g.platform.flakyFiles().unwritable.insert("ls.dat");
    openTopTenMenu();
    g.press(vk::End);
    g.press(vk::Up);
    const auto at = g.mark();
    g.press(vk::Enter);
    EXPECT_EQ(g.folder.read("ls.dat"), before);
    EXPECT_TRUE(g.has("play sounds/err.wav once", at)) << g.dump(at);
    EXPECT_FALSE(g.has("play sounds/menu/reset.wav once", at)) << g.dump(at);
    EXPECT_TRUE(scores.topTenMenuActive());
    EXPECT_FALSE(g.form.menus.soundBusy);
}

}  // namespace
}  // namespace zorvan::test
