// The score client through libcurl: a real zorvan-scores on loopback takes the submission
// as typed and finds its place; a server that is gone, failing or hanging gives results
// 4 and 5 instead of a success or a frozen game.

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <iostream>
#include <memory>

#include "online/zelk_score.h"
#include "online_net/stub_server.h"
#include "platform/replay.h"
#include "platform/sdl/http_curl.h"
#include "platform/sim/sim_platform.h"
#include "score_server.h"
#include "score_store.h"
#include "support/forwarding_platform.h"

namespace zorvan::test {
namespace {

namespace fs = std::filesystem;

class OnlineNetTest : public ::testing::Test {
protected:
    void SetUp() override {
        static int counter = 0;
        root_ = fs::temp_directory_path() / ("zorvan-online-net-" + std::to_string(::getpid()) + "-" +
                                             std::to_string(counter++));
        fs::create_directories(root_ / "game");
        fs::create_directories(root_ / "settings");
    }
    void TearDown() override {
        client.reset();
        platform.reset();
        server.reset();
        store.reset();
        std::error_code ec;
        fs::remove_all(root_, ec);
    }

    // A real server with an SQLite table; returns its base address.
    std::string startServer() {
        store = scores::openSqliteStore((root_ / "scores.db").string());
        server = std::make_unique<scores::ScoreServer>(*store);
        int port = server->bind("127.0.0.1", 0);
        EXPECT_GT(port, 0);
        server->start();
        return "http://127.0.0.1:" + std::to_string(port);
    }

    // The client as the game makes it, told the server's address through the settings store.
    void startClient(const std::string& base) {
        SimOptions o;
        o.folder = root_ / "game";
        o.settingsFolder = root_ / "settings";
        o.http = &http;
        platform = std::make_unique<SimPlatform>(o);
        platform->settings().set("Kestrine", "zorvan", "scoreserver", base);
        client = std::make_unique<zelkScore>(*platform, nullptr);
        client->usercountry("nl");
        client->useremail("ann@example.org");
        client->userName("Ann & Bob = Smith");
    }

    void pending(std::int32_t points, std::int32_t difficulty = 1, std::int32_t level = 6) {
        ASSERT_TRUE(client->storeScore("data.KSR", points, difficulty, level, "", false));
    }

    CurlHttp http;
    std::unique_ptr<scores::ScoreStore> store;
    std::unique_ptr<scores::ScoreServer> server;
    std::unique_ptr<SimPlatform> platform;
    std::unique_ptr<zelkScore> client;

private:
    fs::path root_;
};

TEST_F(OnlineNetTest, ASubmissionReachesTheServerAsTypedAndFindsItsPlace) {
    std::string base = startServer();
    store->add({1, "Best", "", "", 9000, 9, 20});
    store->add({2, "Second", "", "", 5000, 9, 12});
    store->add({3, "Other table", "", "", 99999, 8, 40});
    startClient(base);
    pending(1500, 1, 6);
    platform->advanceTo(4321);

    ASSERT_TRUE(client->Online());
    ASSERT_EQ(client->validateScore(1000), 0);
    ASSERT_EQ(client->sendScore(0), 0);
    auto all = store->all();
    ASSERT_EQ(all.size(), 4u);
    EXPECT_EQ(all[3].transId, 4321);
    EXPECT_EQ(all[3].userName, "Ann & Bob = Smith");
    EXPECT_EQ(all[3].userEmail, "ann@example.org");
    EXPECT_EQ(all[3].userCountry, "nl");
    EXPECT_EQ(all[3].points, 1500);
    EXPECT_EQ(all[3].difficulty, 9);
    EXPECT_EQ(all[3].level, 6);

    EXPECT_EQ(client->checkScore(10), 3);
    EXPECT_EQ(client->checkScore(2), 0);  // not among the best two

    ASSERT_EQ(client->obtainRemoteData(10, 1), 0);
    ASSERT_EQ(client->numReturned(), 3);
    EXPECT_EQ(client->obtainName(1), "Best");
    EXPECT_EQ(client->obtainScore(3), 1500);
    EXPECT_EQ(client->obtainName(3), "Ann & Bob = Smith");
    EXPECT_EQ(client->obtainLevel(3), 6);
    ASSERT_EQ(client->obtainRemoteData(10, 2), 0);
    EXPECT_EQ(client->numReturned(), 1);
    EXPECT_EQ(client->obtainScore(1), 99999);
    ASSERT_EQ(client->obtainRemoteData(10, 3), 0);  // an empty table
    EXPECT_EQ(client->numReturned(), 0);

    platform->files().write("report.txt", std::string(1500, 'r') + "\r\nend");
    EXPECT_EQ(client->sendStats("report.txt"), 0);
    EXPECT_EQ(store->all()[3].stats, std::string(1500, 'r') + "<br>end");

    client->wackScore("");
    EXPECT_EQ(client->sendScore(0), 1);
}

TEST_F(OnlineNetTest, ANameWithEveryByteValueArrivesUnchanged) {
    std::string base = startServer();
    startClient(base);
    std::string name;
    for (int b = 1; b < 256; ++b) name += static_cast<char>(b);
    name += '\0';
    client->userName(name);
    pending(2500, 2);
    ASSERT_EQ(client->sendScore(0), 0);
    auto all = store->all();
    ASSERT_EQ(all.size(), 1u);
    EXPECT_EQ(all[0].userName, name);
    EXPECT_EQ(all[0].difficulty, 8);
    EXPECT_EQ(client->checkScore(10), 1);
}

TEST_F(OnlineNetTest, AServerThatIsGoneMeansNotConnected) {
    std::string base = startServer();
    server.reset();  // nothing listens there any more
    startClient(base);
    pending(1500);
    EXPECT_FALSE(client->Online());
    EXPECT_EQ(client->sendScore(0), 4);
    EXPECT_EQ(client->checkScore(10), -1);
    EXPECT_EQ(client->obtainRemoteData(10, 1), -1);
}

TEST_F(OnlineNetTest, AnErrorStatusIsAFailedSubmission) {
    StubServer failing(StubServer::status(500, "error: database down\n"));
    startClient(failing.base());
    pending(1500);
    EXPECT_TRUE(client->Online());
    EXPECT_EQ(client->sendScore(0), 5);
    EXPECT_EQ(client->checkScore(10), -1);

    StubServer refusing(StubServer::status(400, "bad request\n"));
    startClient(refusing.base());
    EXPECT_EQ(client->sendScore(0), 5);
}

TEST_F(OnlineNetTest, AServerThatNeverAnswersIsGivenUpOn) {
    StubServer silent("");
    startClient(silent.base());
    pending(1500);
    ASSERT_TRUE(client->Online());
    EXPECT_EQ(client->sendScore(0), 5);  // after the whole-request time-out
    EXPECT_GE(silent.requests(), 1);
}

TEST_F(OnlineNetTest, AReplyThatNeverEndsIsCutAtFourMebibytes) {
    // No Content-Length: libcurl's own limit never sees a size to refuse.
    const std::string head = "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n";
    StubServer endless(head, 64u << 20);
    HttpReply reply = http.get(endless.base() + "/view_zelk.php");
    EXPECT_FALSE(reply.ok);
    EXPECT_TRUE(reply.body.empty());
    EXPECT_NE(reply.error.find("4 MiB"), std::string::npos) << reply.error;
    EXPECT_LT(endless.streamed(), 16u << 20) << "the client read on past the limit";

    // What is announced as too large is refused the same way; a reply of exactly 4 MiB is not.
    StubServer announced(StubServer::status(200, std::string((4u << 20) + 1, 'x')));
    EXPECT_FALSE(http.get(announced.base()).ok);
    StubServer full(StubServer::status(200, std::string(4u << 20, 'x')));
    reply = http.get(full.base());
    EXPECT_TRUE(reply.ok);
    EXPECT_EQ(reply.body.size(), 4u << 20);

    // The game sees a failed table request, not a reply.
    startClient(endless.base());
    pending(1500);
    EXPECT_EQ(client->obtainRemoteData(10, 1), -1);
}

TEST_F(OnlineNetTest, ARequestUnderWayIsAbandonedAtOnce) {
    StubServer silent("");
    auto call = http.startGet(silent.base() + "/update_zelk.php");
    for (int i = 0; i < 200 && silent.requests() == 0; ++i) ::usleep(10000);
    ASSERT_EQ(silent.requests(), 1);
    EXPECT_FALSE(call->done());
    const auto before = std::chrono::steady_clock::now();
    call.reset();
    const auto took = std::chrono::steady_clock::now() - before;
    // Far below the 10 s a request may take: the window closing does not wait for the server.
    EXPECT_LT(took, std::chrono::seconds(5));
    std::cout << "abandoned after " << std::chrono::duration_cast<std::chrono::microseconds>(took).count()
              << " us\n";

    // Started and left to finish, a call gives the same reply as a waited-for one.
    StubServer answering(StubServer::status(200, ":1@1;5~Ann^2[]"));
    auto done = http.startGet(answering.base());
    done->wait();
    EXPECT_TRUE(done->done());
    EXPECT_EQ(done->reply().body, ":1@1;5~Ann^2[]");
    auto connect = http.startConnect(answering.base(), 2000);
    EXPECT_TRUE(connect->reply().ok);
}

// A run that records itself: its replay so far is this text.
class RecordingPlatform final : public ForwardingPlatform {
public:
    RecordingPlatform(SimPlatform& sim, std::optional<std::string> replay)
        : ForwardingPlatform(sim), replay_(std::move(replay)) {}
    std::optional<std::string> replaySoFar() override { return replay_; }

private:
    std::optional<std::string> replay_;
};

TEST_F(OnlineNetTest, TheRunsReplayFollowsASuccessfulSubmissionAndNothingWaitsForIt) {
    std::string base = startServer();
    startClient(base);
    pending(1500, 1, 6);
    platform->advanceTo(4321);
    auto replayAfter = [&](std::optional<std::string> replay) {
        RecordingPlatform recording(*platform, std::move(replay));
        zelkScore recorded(recording, nullptr);
        recorded.userName("Ann");
        return recorded.sendScore(0);
    };
    const std::string text = "zorvan-replay 1\nseed 7\n" + std::string(5000, 'k');
    ASSERT_EQ(replayAfter(text), 0);
    for (int i = 0; i < 500 && store->replays().empty(); ++i) ::usleep(10000);
    auto replays = store->replays();
    ASSERT_EQ(replays.size(), 1u);
    EXPECT_EQ(replays[0].transId, 4321);
    EXPECT_EQ(replays[0].bytes, text.size());
    auto job = store->claimReplay();
    ASSERT_TRUE(job);
    EXPECT_EQ(job->body, text);
    EXPECT_EQ(store->all().back().verification, scores::Verification::Pending);

    // No replay recorded, or one the server would refuse: nothing is sent.
    platform->advanceTo(5000);
    ASSERT_EQ(replayAfter(std::nullopt), 0);
    platform->advanceTo(6000);
    ASSERT_EQ(replayAfter(std::string(kMaxReplayBytes + 1, 'k')), 0);
    ::usleep(300000);  // what was wrongly sent would have arrived by now
    EXPECT_EQ(store->replays().size(), 1u);
    EXPECT_EQ(store->all().size(), 3u);
}

TEST_F(OnlineNetTest, BackgroundPostsAreBoundedAndNeverHoldTheExitLong) {
    StubServer silent("");
    auto before = std::chrono::steady_clock::now();
    {
        CurlHttp own;
        for (int i = 0; i < 6; ++i) own.postInBackground(silent.base() + "/replay_zelk.php?TransID=1", "replay");
        for (int i = 0; i < 200 && silent.requests() < 4; ++i) ::usleep(10000);
        ::usleep(100000);
        EXPECT_EQ(silent.requests(), static_cast<int>(CurlHttp::kMaxBackground));
    }
    const auto took = std::chrono::steady_clock::now() - before;
    // The grace at exit, far below the 10 s a request may take.
    EXPECT_LT(took, std::chrono::milliseconds(CurlHttp::kExitGraceMs + 2000));
}

}  // namespace
}  // namespace zorvan::test
