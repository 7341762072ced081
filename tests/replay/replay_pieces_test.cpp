// The pieces both platforms build replays from: the files a run starts with, taken and put
// back byte for byte; HTTP replies held until the platform admits them, numbered as started,
// and answered from a replay by those numbers.

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/data_folder.h"
#include "platform/folder_files.h"
#include "platform/replay_files.h"
#include "platform/replay_http.h"
#include "support/temp_dir.h"

namespace zorvan {
namespace {

namespace fs = std::filesystem;

TEST(ReplayFiles, TheStartOfARunIsTakenAndPutBackExactly) {
    test::TempDir dir;
    const fs::path data = dir.path() / "data", settings = dir.path() / "config";
    fs::create_directories(data);
    fs::create_directories(settings);
    std::string odd;
    for (int b = 255; b >= 0; --b) odd += static_cast<char>(b);
    test::writeText(data / "config.dat", "Ann\r\n2\r\n3\r\n");
    test::writeText(data / "ls.dat", odd);
    test::writeText(data / "unrelated.txt", "not the game's");
    test::writeText(settings / "zorvan.ini", "[installation]\nrgsv=" + odd + "\n");
    test::writeText(settings / "other.ini", "[x]\n");

    Replay replay;
    replay.files = snapshotPlayerFiles(data);
    replay.settings = snapshotSettings(settings);
    ASSERT_EQ(replay.files.size(), kPlayerFiles.size());
    EXPECT_EQ(replay.files[0].name, "config.dat");
    EXPECT_FALSE(replay.files[1].bytes);  // keys.dat is not there
    EXPECT_EQ(replay.files[2].bytes, odd);
    ASSERT_EQ(replay.settings.size(), 3u);
    EXPECT_FALSE(replay.settings[1].bytes);

    // Into fresh folders, and over folders that hold other versions of the same files.
    const fs::path again = dir.path() / "again", againSettings = dir.path() / "again-config";
    fs::create_directories(again);
    test::writeText(again / "keys.dat", "stale");
    test::writeText(again / "config.dat", "stale");
    for (int round = 0; round < 2; ++round) {
        materializeReplay(replay, again, againSettings);
        for (std::string_view name : kPlayerFiles)
            EXPECT_EQ(readWholeFile(again / name), readWholeFile(data / name)) << name;
        for (std::string_view app : kReplaySettingsApps)
            EXPECT_EQ(readWholeFile(againSettings / (std::string(app) + ".ini")),
                      readWholeFile(settings / (std::string(app) + ".ini")))
                << app;
    }
    replay.files.push_back({"../escape.dat", std::string("x")});
    EXPECT_THROW(materializeReplay(replay, again, againSettings), std::runtime_error);
    EXPECT_FALSE(fs::exists(dir.path() / "escape.dat"));
}

// Requests answered at once, or held until the test lets them go.
class FakeHttp final : public Http {
public:
    struct Pending final : HttpCall {
        explicit Pending(FakeHttp& h) : http(h) {}
        bool done() override { return http.released; }
        void wait() override { http.released = true; }
        HttpReply reply() override { return {true, 200, "late", {}}; }
        FakeHttp& http;
    };
    HttpReply get(const std::string& url) override { return {true, 200, "reply to " + url, {}}; }
    bool canConnect(const std::string& url, int) override { return url != "down"; }
    std::unique_ptr<HttpCall> startGet(const std::string& url) override {
        if (url == "slow") return std::make_unique<Pending>(*this);
        return Http::startGet(url);
    }
    void postInBackground(const std::string& url, std::string body) override { posted.push_back(url + " " + body); }
    bool released = false;
    std::vector<std::string> posted;
};

TEST(ReplayHttpPieces, RecordedRepliesWaitForTheirAdmissionAndAreNumberedAsStarted) {
    FakeHttp fake;
    RecordingHttp http(fake);
    EXPECT_FALSE(http.waiting());
    auto first = http.startGet("a");
    auto slow = http.startGet("slow");
    auto probe = http.startConnect("down", 5000);
    EXPECT_FALSE(first->done());  // arrived, but not admitted yet
    EXPECT_THROW(first->wait(), std::logic_error);
    EXPECT_TRUE(http.waiting());
    EXPECT_TRUE(http.arrived());

    auto inputs = http.admit(40);
    ASSERT_EQ(inputs.size(), 2u);
    EXPECT_EQ(inputs[0].call, 1u);
    EXPECT_EQ(inputs[0].atMs, 40);
    EXPECT_EQ(inputs[0].kind, ReplayInput::Kind::HttpReply);
    EXPECT_EQ(inputs[0].reply.body, "reply to a");
    EXPECT_EQ(inputs[1].call, 3u);
    EXPECT_FALSE(inputs[1].reply.ok);
    EXPECT_TRUE(first->done());
    EXPECT_EQ(first->reply().body, "reply to a");
    EXPECT_FALSE(slow->done());
    EXPECT_TRUE(http.waiting());
    EXPECT_FALSE(http.arrived());

    http.waitForArrival();  // lets the slow one go
    inputs = http.admit(41);
    ASSERT_EQ(inputs.size(), 1u);
    EXPECT_EQ(inputs[0].call, 2u);
    EXPECT_EQ(slow->reply().body, "late");
    EXPECT_FALSE(http.waiting());

    // A request the game abandons is never admitted, and the numbers go on.
    auto dropped = http.startGet("b");
    dropped.reset();
    EXPECT_FALSE(http.waiting());
    EXPECT_TRUE(http.admit(50).empty());
    auto next = http.startGet("c");
    EXPECT_EQ(http.admit(51).at(0).call, 5u);

    http.postInBackground("u", "body");
    EXPECT_EQ(fake.posted, std::vector<std::string>{"u body"});
    EXPECT_THROW(http.get("a"), std::logic_error);
}

TEST(ReplayHttpPieces, AReplayAnswersRequestsByTheirNumbersAndSendsNothing) {
    ReplayHttp http;
    EXPECT_FALSE(http.answer(1, {true, 200, "x", {}}));  // nothing started yet
    auto probe = http.startConnect("http://scores", 5000);
    auto get = http.startGet("http://scores/x?a=1");
    http.postInBackground("http://scores/replay", "body");
    EXPECT_FALSE(probe->done());
    EXPECT_TRUE(http.answer(2, {true, 200, "body", {}}));
    EXPECT_FALSE(http.answer(2, {true, 200, "again", {}}));
    EXPECT_FALSE(probe->done());
    EXPECT_TRUE(get->done());
    EXPECT_EQ(get->reply().body, "body");
    EXPECT_FALSE(http.answer(3, {}));
    EXPECT_EQ(http.requestedUrls(), (std::vector<std::string>{"http://scores", "http://scores/x?a=1"}));
    EXPECT_EQ(http.started(), 2u);
}

}  // namespace
}  // namespace zorvan
