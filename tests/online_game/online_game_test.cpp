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

// Start-up against the server at `base`, then a game on "easy" that the player leaves at
// the exit prompt with `points` and `level`.
void playGame(Scenario& s, const std::string& base, std::int32_t points, std::int32_t level) {
    IniSettingsStore(s.folder.settings()).set("Kestrine", "zorvan", "scoreserver", base);
    ASSERT_TRUE(s.load());
    s.press(vk::Enter);  // new game: the car menu
    s.press(vk::Enter);  // the first car: the difficulty menu
    s.press(vk::Enter);  // easy: the race starts
    ASSERT_TRUE(s.form.race.game);
    s.form.restoreScore(points, s.form.race.m_lifes);
    s.form.race.levels = level;
    s.pressAt(vk::Enter, s.now() + 300);
    s.press(vk::Escape);  // the exit prompt, answered with Enter
    ASSERT_FALSE(s.form.race.game);
    ASSERT_TRUE(s.form.menus.mainMenuActive());
}

class OnlineGame : public ::testing::Test {
protected:
    void playGame(const std::string& base, std::int32_t points, std::int32_t level) {
        test::playGame(s, base, points, level);
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

// A server that takes two seconds of virtual time over every request. Asked the blocking
// way it holds the clock, and with it the whole game, for that long.
class SlowServer final : public Http {
public:
    static constexpr std::int64_t kDelayMs = 2000;
    SimPlatform* clock = nullptr;
    int requests = 0;

    HttpReply get(const std::string&) override {
        ++requests;
        clock->advanceTo(clock->nowMs() + kDelayMs);
        return {true, 200, "", ""};
    }
    bool canConnect(const std::string&, int) override { return true; }
    std::unique_ptr<HttpCall> startGet(const std::string&) override {
        ++requests;
        return std::make_unique<Call>(*clock, clock->nowMs() + kDelayMs);
    }

private:
    class Call final : public HttpCall {
    public:
        Call(SimPlatform& clock, std::int64_t at) : clock_(clock), at_(at) {}
        bool done() override { return clock_.nowMs() >= at_; }
        void wait() override { clock_.advanceTo(at_); }
        HttpReply reply() override { return {true, 200, "", ""}; }

    private:
        SimPlatform& clock_;
        std::int64_t at_;
    };
};

class SlowOnlineGame : public ::testing::Test {
protected:
    SlowOnlineGame() { server.clock = &s.platform; }

    // Time of the log line of `event` from `from` on, or -1.
    std::int64_t timeOf(const std::string& event, std::size_t from) {
        auto at = s.indexOf(event, from);
        return at ? std::stoll(s.platform.lines()[*at]) : -1;
    }

    SlowServer server;
    Scenario s{&server};
};

TEST_F(SlowOnlineGame, KeysDuringARequestAreTakenAtOnceAndIgnoredAsWhileTheMenuIsBusy) {
    playGame(s, "http://127.0.0.1:9", 1500, 4);
    s.press(vk::Down);
    s.press(vk::Down);
    const std::int64_t start = s.now();
    const auto from = s.mark();
    s.pressAt(vk::Down, start + 300);
    s.pressAt('H', start + 400);
    s.pressAt(vk::Escape, start + 600);
    s.pressAt(vk::F5, start + 700);   // the theme
    s.pressAt(vk::F2, start + 800);   // a saved game
    s.pressAt('V', start + 900);      // the version
    const std::string mode = s.form.mode;
    s.press(vk::Enter);  // the submission, then the request for its place
    s.runFor(3000);

    EXPECT_EQ(server.requests, 2);
    EXPECT_EQ(timeOf("key 40", from), start + 300) << s.dump(from);
    EXPECT_EQ(timeOf("key 27", from), start + 600);
    EXPECT_FALSE(s.exitStatus);
    EXPECT_TRUE(s.form.menus.mainMenuActive());
    EXPECT_EQ(s.form.menus.mainMenuIndex, 3);
    EXPECT_FALSE(s.has("play sounds/menu/m4.wav once", from));
    EXPECT_FALSE(s.has("play sounds/speech/yourhighscore.wav once", from));
    EXPECT_EQ(s.form.mode, mode);
    EXPECT_FALSE(s.form.race.game);
    EXPECT_EQ(timeOf("key 86", from), start + 900);
    s.expectInOrder({"play sounds/menu/score_effect.wav once", "play sounds/menu/score_success.wav once"}, from);
    EXPECT_GE(timeOf("play sounds/menu/score_success.wav once", from), start + 2 * SlowServer::kDelayMs);
    EXPECT_FALSE(s.form.menus.soundBusy);
}

TEST_F(SlowOnlineGame, ClosingTheWindowMidRequestEndsTheGameWithoutWaitingForTheServer) {
    playGame(s, "http://127.0.0.1:9", 1500, 4);
    s.press(vk::Down);
    s.press(vk::Down);
    const std::int64_t start = s.now();
    const auto from = s.mark();
    s.pressAt(0, start + 500);  // the window is closed
    s.press(vk::Enter);

    ASSERT_TRUE(s.exitStatus);
    EXPECT_EQ(*s.exitStatus, 0);
    EXPECT_EQ(timeOf("close", from), start + 500);
    EXPECT_LT(s.now(), start + SlowServer::kDelayMs);
    EXPECT_EQ(server.requests, 1);
    EXPECT_FALSE(s.has("play sounds/menu/score_success.wav once", from));
}

}  // namespace
}  // namespace zorvan::test
