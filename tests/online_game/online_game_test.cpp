// Main menu entry 3 after a game: the pending score goes to a real score server on
// loopback, and the player hears how it went.
#include <gtest/gtest.h>

#include <memory>

#include "online_net/stub_server.h"
#include "platform/sdl/http_curl.h"
#include "score_server.h"
#include "score_store.h"
#include "support/scenario.h"

namespace zorvan::test {
namespace {

class OnlineGame : public ::testing::Test {
protected:
    // Start-up against the server at `base`, then a game on "easy" that the player leaves at
    // the exit prompt with `points` and `level`.
    void playGame(const std::string& base, std::int32_t points, std::int32_t level) {
        IniSettingsStore(s.folder.settings()).set("Kestrine", "zorvan", "scoreserver", base);
        ASSERT_TRUE(s.load());
        s.press(vk::Enter);  // new game: the car menu
        s.press(vk::Enter);  // the first car: the difficulty menu
        s.press(vk::Enter);  // easy: the race starts
        ASSERT_TRUE(s.form.game);
        s.form.points = points;
        s.form.levels = level;
        s.pressAt(vk::Enter, s.now() + 300);
        s.press(vk::Escape);  // the exit prompt, answered with Enter
        ASSERT_FALSE(s.form.game);
        ASSERT_TRUE(s.form.menus.mainMenuActive);
    }

    // Main menu entry 3, to the end of its announcements.
    std::size_t submit() {
        s.press(vk::Down);
        s.press(vk::Down);
        const auto from = s.mark();
        s.press(vk::Enter);
        s.runFor(3000);
        return from;
    }

    std::string pendingScore() {
        return IniSettingsStore(s.folder.settings()).get("zorvan", "installation", "rgsv", "missing");
    }

    CurlHttp http;
    Scenario s{&http};
};

TEST_F(OnlineGame, TheScoreReachesTheServerAndItsPlaceIsSpoken) {
    const auto db = s.folder.settings() / "scores.db";
    auto store = scores::openSqliteStore(db.string());
    scores::ScoreServer server(*store);
    const int port = server.bind("127.0.0.1", 0);
    ASSERT_GT(port, 0);
    server.start();

    playGame("http://127.0.0.1:" + std::to_string(port), 1500, 4);
    const auto from = submit();

    auto rows = store->all();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].userName, "Ada Tester");
    EXPECT_EQ(rows[0].userEmail, "ada@example.org");
    EXPECT_EQ(rows[0].userCountry, "GB");
    EXPECT_EQ(rows[0].points, 1500);
    EXPECT_EQ(rows[0].difficulty, 9) << "easy";
    EXPECT_EQ(rows[0].level, 4);
    s.expectInOrder({"play sounds/menu/score_effect.wav once", "end sounds/menu/score_effect.wav",
                     "play sounds/menu/score_topten.wav once", "end sounds/menu/score_topten.wav",
                     "play sounds/numbers/1.wav once", "play sounds/menu/music.wav loop"},
                    from);
    EXPECT_FALSE(s.form.menus.soundBusy);
    server.stop();
}

TEST_F(OnlineGame, AServerThatIsNotThereIsSaidToBeOffline) {
    playGame("http://127.0.0.1:9", 1500, 4);  // the discard port: nothing listens there
    const auto from = submit();
    s.expectInOrder({"play sounds/menu/score_effect.wav once", "play sounds/menu/score_offline.wav once"},
                    from);
    EXPECT_FALSE(s.has("play sounds/menu/score_success.wav once", from));
}

TEST_F(OnlineGame, AServerThatAnswersWithAnErrorIsAnErrorNotASuccess) {
    StubServer failing(StubServer::status(500, "broken"));
    playGame(failing.base(), 1500, 4);
    const auto from = submit();
    s.expectInOrder({"play sounds/menu/score_effect.wav once", "play sounds/menu/score_error.wav once"}, from);
    EXPECT_FALSE(s.has("play sounds/menu/score_success.wav once", from));
    EXPECT_FALSE(s.has("play sounds/menu/score_topten.wav once", from));
}

TEST_F(OnlineGame, TooFewPointsAreRefusedWithTheErrorSoundAndForgotten) {
    StubServer server(StubServer::status(200, "zorvan\r\n"));
    playGame(server.base(), 990, 2);
    EXPECT_NE(pendingScore(), "0");
    const auto from = submit();
    EXPECT_TRUE(s.has("play sounds/err.wav once", from));
    EXPECT_FALSE(s.has("play sounds/menu/score_effect.wav once", from));
    EXPECT_EQ(server.requests(), 0);
    EXPECT_EQ(pendingScore(), "0");
}

}  // namespace
}  // namespace zorvan::test
