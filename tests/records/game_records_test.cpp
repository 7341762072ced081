// What a finished game leaves behind: its place in ls.dat, the high score in the settings
// store and its report at the head of stats.txt, through the real files and settings.

#include <gtest/gtest.h>

#include "records/stats_report.h"
#include "records_game.h"

namespace zorvan::test {
namespace {

class GameRecordsTest : public ::testing::Test {
protected:
    LocalScores& scores() { return g.form.localScores; }
    bool lsDatRewritten(std::size_t from) const { return g.has("file ls.dat", from); }
    RecordsGame g;
};

TEST_F(GameRecordsTest, PointsGoIntoTheListOfTheDifficultyPlayed) {
    const std::string before = lsDatWith({500}, {90, 80, 70}, {1000});
    g.folder.write("ls.dat", before);
    g.form.menus.difficulty = "normal";
    EXPECT_EQ(scores().addToTopTen(75), 3);
    EXPECT_EQ(g.form.race.stats.earnedPosition, 3);
    EXPECT_EQ(g.folder.read("ls.dat"), lsDatWith({500}, {90, 80, 75, 70}, {1000}));

    // Equal points go below the score they equal.
    EXPECT_EQ(scores().addToTopTen(80), 3);
    EXPECT_EQ(g.folder.read("ls.dat"), lsDatWith({500}, {90, 80, 80, 75, 70}, {1000}));

    g.form.menus.difficulty = "crazy";
    EXPECT_EQ(scores().addToTopTen(1001), 1);
    EXPECT_EQ(g.folder.read("ls.dat"), lsDatWith({500}, {90, 80, 80, 75, 70}, {1001, 1000}));
}

TEST_F(GameRecordsTest, NoPlaceLeavesTheFileAndTheEarnedPositionAlone) {
    g.form.menus.difficulty = "easy";
    g.form.race.stats.earnedPosition = 4;  // of an earlier game: not this one's to change
    const auto at = g.mark();
    EXPECT_EQ(scores().addToTopTen(0), 0);  // 0 is not above the zeros of an empty list
    EXPECT_EQ(g.form.race.stats.earnedPosition, 4);
    EXPECT_FALSE(lsDatRewritten(at));

    g.form.menus.difficulty = "";  // no difficulty was ever chosen
    EXPECT_EQ(scores().addToTopTen(50), 0);
    EXPECT_FALSE(lsDatRewritten(at));

    scores().clearEarnedPosition();
    EXPECT_EQ(g.form.race.stats.earnedPosition, 0);
}

TEST_F(GameRecordsTest, MissingListReadsAsZerosAndIsWrittenFresh) {
    g.folder.remove("ls.dat");
    g.form.menus.difficulty = "crazy";
    EXPECT_EQ(scores().addToTopTen(1), 1);
    EXPECT_EQ(g.folder.read("ls.dat"), lsDatWith({}, {}, {1}));
    EXPECT_EQ(scores().addToTopTen(1), 2);
    EXPECT_EQ(g.folder.read("ls.dat"), lsDatWith({}, {}, {1, 1}));
}

TEST_F(GameRecordsTest, AfterTheResetThe32ndLineKeepsWhatMemoryHeld) {
    g.folder.write("ls.dat", lsDatWith({5}, {}, {}, 0, 7));
    g.form.menus.difficulty = "easy";
    EXPECT_EQ(scores().addToTopTen(6), 1);
    g.folder.write("ls.dat", clearedTopTenFile(3));
    EXPECT_EQ(scores().addToTopTen(3), 1);
    EXPECT_EQ(g.folder.read("ls.dat"), lsDatWith({3}, {}, {}, 0, 7));
}

TEST_F(GameRecordsTest, ListThatCannotBeReadOrWrittenIsKept) {
    const std::string before = lsDatWith({500, 400}, {}, {});
    g.folder.write("ls.dat", before);
    g.form.menus.difficulty = "easy";

    g.platform.flakyFiles().unreadable.insert("ls.dat");
    EXPECT_EQ(scores().addToTopTen(450), 0);
    EXPECT_EQ(g.form.race.stats.earnedPosition, 0);
    EXPECT_EQ(g.folder.read("ls.dat"), before);

    g.platform.flakyFiles().unreadable.clear();
    g.platform.flakyFiles().unwritable.insert("ls.dat");
    EXPECT_EQ(scores().addToTopTen(450), 0);
    EXPECT_EQ(g.form.race.stats.earnedPosition, 0);  // a place the file does not hold
    EXPECT_EQ(g.folder.read("ls.dat"), before);

    g.platform.flakyFiles().unwritable.clear();
    EXPECT_EQ(scores().addToTopTen(450), 2);
    EXPECT_EQ(g.folder.read("ls.dat"), lsDatWith({500, 450, 400}, {}, {}));
}

TEST_F(GameRecordsTest, HighScoreIsLoadedAtStartUpDamagedOrMissingAsZero) {
    for (const auto& [stored, expected] :
         std::vector<std::pair<std::string, std::int32_t>>{{"1234", 1234}, {"12abc", 0}, {"", 0}}) {
        g.sim.settings().set("Kestrine", "zorvan", "highscore", stored);
        g.form.highScore = -1;
        g.form.loadHighScore();
        EXPECT_EQ(g.form.highScore, expected) << stored;
    }
    g.sim.settings().remove("Kestrine", "zorvan", "highscore");
    g.form.highScore = -1;
    g.form.loadHighScore();
    EXPECT_EQ(g.form.highScore, 0);

    RecordsGame fresh;
    fresh.sim.settings().set("Kestrine", "zorvan", "highscore", "2500");
    ASSERT_TRUE(fresh.load()) << fresh.dump();
    EXPECT_EQ(fresh.form.highScore, 2500);
}

TEST_F(GameRecordsTest, HighScoreCheckAndSave) {
    g.form.highScore = 100;
    EXPECT_FALSE(scores().checkHighScore(100));
    EXPECT_TRUE(scores().checkHighScore(101));
    EXPECT_EQ(g.form.highScore, 101);

    g.form.restoreScore(150, g.form.race.m_lifes);
    g.form.saveHighScore();
    EXPECT_EQ(g.storedHighScore(), "150");
    EXPECT_EQ(g.form.highScore, 150);

    // The record was beaten at 500, then two crashes cost 100: the record stays 500.
    g.form.highScore = 500;
    g.form.restoreScore(400, g.form.race.m_lifes);
    g.form.saveHighScore();
    EXPECT_EQ(g.storedHighScore(), "500");
}

TEST_F(GameRecordsTest, RefusedHighScoreEndsTheProgramWithAMessageBox) {
    g.platform.flakySettings().refuseSet = true;
    g.form.restoreScore(700, g.form.race.m_lifes);
    EXPECT_FALSE(g.guarded([&] { g.form.saveHighScore(); }));
    EXPECT_EQ(g.exitStatus, 1);
    EXPECT_TRUE(g.has("msgbox \"dll error!\" \"can't save new high score\""));
    EXPECT_EQ(g.storedHighScore(), "nun");
}

// ---- statistics report -----------------------------------------------------------------------

void playedGame(MainForm& form, std::int32_t points, std::int32_t levels) {
    form.restoreScore(points, 2);
    form.race.levels = levels;
    form.mode = "arcade";
    form.menus.selectedCarType = 2;
    form.race.stats = GameStats{};
    form.race.stats.carsAvoided = 14;
    form.race.stats.lazerCollected = 3;
    form.race.stats.lazerUsed = 1;
    form.race.stats.carsBlasted = 1;
}

TEST_F(GameRecordsTest, ReportGoesOnTopOfTheWholeHistory) {
    const std::string history = "an earlier report\r\nwith two lines\r\n";
    g.folder.write("stats.txt", history);
    playedGame(g.form, 120, 3);
    g.form.race.stats.earnedPosition = 3;
    ASSERT_TRUE(scores().writeStatsReport("hole"));
    const std::string first = g.folder.read("stats.txt");
    ASSERT_EQ(first.substr(first.size() - history.size()), history);
    const std::string report = first.substr(0, first.size() - history.size());
    EXPECT_EQ(report.rfind("***Statistics for game played on 01/06/2026 at  12:00:00\r\n\r\n\r\n", 0), 0u)
        << report;
    EXPECT_NE(report.find("\r\nfinal level: 3\r\nfinal score: 120 ; this earns position 3 in local top ten\r\n"
                          "lifes left: 2\r\ngame mode: arcade\r\ncar used in game: Zorvan car\r\n"
                          "cars avoided: 14\r\nyou lost the game by falling into a hole\r\n"),
              std::string::npos)
        << report;
    EXPECT_NE(report.find("you blasted 1 cars to bits using your canon!\r\n"), std::string::npos);
    EXPECT_EQ(report.substr(report.size() - 4), "\r\n\r\n");

    // A second game, which earned no place, heads the file; the first follows unchanged.
    g.runFor(2000);
    playedGame(g.form, 40, 1);
    ASSERT_TRUE(scores().writeStatsReport("escape"));
    const std::string second = g.folder.read("stats.txt");
    ASSERT_GT(second.size(), first.size());
    EXPECT_EQ(second.substr(second.size() - first.size()), first);
    const std::string top = second.substr(0, second.size() - first.size());
    EXPECT_NE(top.find("final score: 40\r\n"), std::string::npos) << top;
    EXPECT_NE(top.find("you ended the game by pressing escape\r\n"), std::string::npos) << top;
}

TEST_F(GameRecordsTest, MissingStatsFileIsCreated) {
    g.folder.remove("stats.txt");
    playedGame(g.form, 10, 1);
    ASSERT_TRUE(scores().writeStatsReport("cars"));
    const std::string text = g.folder.read("stats.txt");
    EXPECT_EQ(text.rfind("***Statistics for game played on ", 0), 0u);
    EXPECT_NE(text.find("you lost the game as a result of a crash\r\n"), std::string::npos);
}

TEST_F(GameRecordsTest, HistorySurvivesAReadOrWriteThatFails) {
    const std::string history = "***Statistics for game played on 31/05/2026 at  09:00:00\r\nfinal level: 9\r\n";
    g.folder.write("stats.txt", history);
    playedGame(g.form, 10, 1);

    g.platform.flakyFiles().unwritable.insert("stats.txt");
    EXPECT_FALSE(scores().writeStatsReport("cars"));
    EXPECT_EQ(g.folder.read("stats.txt"), history);

    g.platform.flakyFiles().unwritable.clear();
    g.platform.flakyFiles().unreadable.insert("stats.txt");
    const auto at = g.mark();
    EXPECT_FALSE(scores().writeStatsReport("cars"));
    EXPECT_FALSE(g.has("file stats.txt", at));
    EXPECT_EQ(g.folder.read("stats.txt"), history);

    g.platform.flakyFiles().unreadable.clear();
    EXPECT_TRUE(scores().writeStatsReport("cars"));
    const std::string now = g.folder.read("stats.txt");
    EXPECT_EQ(now.substr(now.size() - history.size()), history);
}

TEST_F(GameRecordsTest, MainFormEntriesOfTheGameEndUseTheRecords) {
    g.form.menus.difficulty = "normal";
    playedGame(g.form, 65, 2);
    g.form.race.endCause = "cars";
    g.form.addToTopTen(g.form.race.points);
    EXPECT_EQ(g.form.race.stats.earnedPosition, 1);
    g.form.writeStatsReport();
    const std::string text = g.folder.read("stats.txt");
    EXPECT_NE(text.find("final score: 65 ; this earns position 1 in local top ten\r\n"), std::string::npos);
    EXPECT_NE(text.find("you lost the game as a result of a crash\r\n"), std::string::npos);
}

}  // namespace
}  // namespace zorvan::test

namespace zorvan::test {
namespace {

// A new game, car type 1 on "easy", through the menus, with `highScore` as the stored one.
void startEasyGame(RecordsGame& g, const std::string& highScore) {
    g.sim.settings().set("Kestrine", "zorvan", "highscore", highScore);
    ASSERT_TRUE(g.load()) << g.dump();
    g.press(vk::Enter);  // a new game
    g.press(vk::Enter);  // car type 1
    g.press(vk::Enter);  // "easy"
    g.runFor(500);
    ASSERT_TRUE(g.form.race.game) << g.dump();
}

// Equal is not beaten: a game that only reaches the all-time high score hears no
// announcement, and the stored high score stays as it was.
TEST(GameEnd, AScoreThatOnlyTiesTheHighScoreIsNotANewOne) {
    RecordsGame g;
    startEasyGame(g, "30");
    if (::testing::Test::HasFatalFailure()) return;
    g.form.addPoints(20);
    g.form.addPoints(10);
    EXPECT_EQ(g.form.race.points, 30);
    EXPECT_FALSE(g.form.race.newscore);
    EXPECT_EQ(g.form.highScore, 30);
    g.sim.pressKey(vk::Enter, g.sim.nowMs() + 300);
    g.press(vk::Escape);
    ASSERT_FALSE(g.form.race.game) << g.dump();
    EXPECT_FALSE(g.form.race.newscore);
    EXPECT_EQ(g.sim.settings().get("Kestrine", "zorvan", "highscore", "none"), "30");
    for (const std::string& line : g.sim.lines())
        EXPECT_EQ(line.find("play sounds/highscore.wav"), std::string::npos) << line;
}

TEST(GameEnd, EnterAtTheExitPromptRecordsTheGame) {
    RecordsGame g;
    startEasyGame(g, "20");
    if (::testing::Test::HasFatalFailure()) return;
    EXPECT_EQ(g.form.race.stats.earnedPosition, 0);

    g.form.addPoints(30);
    EXPECT_TRUE(g.form.race.newscore);
    g.sim.pressKey(vk::Enter, g.sim.nowMs() + 300);
    g.press(vk::Escape);
    ASSERT_FALSE(g.form.race.game) << g.dump();
    EXPECT_TRUE(g.form.menus.mainMenuActive());

    EXPECT_EQ(g.form.race.stats.earnedPosition, 1);
    EXPECT_EQ(g.folder.read("ls.dat"), lsDatWith({30}, {}, {}));
    EXPECT_EQ(g.sim.settings().get("Kestrine", "zorvan", "highscore", "none"), "30");
    const std::string stats = g.folder.read("stats.txt");
    EXPECT_EQ(stats.rfind("***Statistics for game played on 01/06/2026 at  ", 0), 0u) << stats;
    EXPECT_NE(stats.find("final score: 30 ; this earns position 1 in local top ten\r\n"), std::string::npos)
        << stats;
    EXPECT_NE(stats.find("car used in game: Lego car\r\n"), std::string::npos) << stats;
    EXPECT_NE(stats.find("you ended the game by pressing escape\r\n"), std::string::npos) << stats;
}

}  // namespace
}  // namespace zorvan::test
