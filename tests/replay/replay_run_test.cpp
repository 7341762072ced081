// A run recorded on the simulated platform plays again from its replay: the same event log,
// line for line and time for time, and the same files written. A replay cut short plays as
// far as it goes; one that does not fit the game is reported with the reason.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "game/main_form.h"
#include "game/replay_run.h"
#include "platform/data_folder.h"
#include "platform/folder_files.h"
#include "platform/replay.h"
#include "platform/sim/sim_platform.h"
#include "support/game_folder.h"
#include "support/temp_dir.h"

namespace zorvan {
namespace {

namespace fs = std::filesystem;

// Through the menus (the version said, up and down), a race with steering and a pause, the game
// saved with F2 and left, loaded again with F2 from the main menu, left again, then the exit.
constexpr std::string_view kWholeGame = R"(
500 Space
+500 Space
+1500 V
+3000 Down
+300 Up
+300 Enter     # new game
+2000 Down
+300 Enter     # the second car
+2000 Enter    # easy
+3000 Up       # start
+3000 Left
+1500 Right
+2000 P        # pause
+1500 P
+2000 F2       # save
+3000 Escape
+3000 Enter    # leave the race
+3000 F2       # load it again
+3000 Up
+2000 Left
+40 Left
+3000 Escape
+3000 Enter
+3000 Escape
+3000 Escape   # the exit
)";

struct Recording {
    std::vector<std::string> log;
    std::string replay;
    int status = 0;
};

std::int64_t timeOf(const std::string& line) { return std::stoll(line.substr(0, line.find(' '))); }

// The line-by-line difference of two logs, for the failure message.
std::string firstDifference(const std::vector<std::string>& a, const std::vector<std::string>& b) {
    const auto [x, y] = std::mismatch(a.begin(), a.end(), b.begin(), b.end());
    if (x == a.end() && y == b.end()) return "none";
    return "line " + std::to_string(x - a.begin() + 1) + ": '" + (x == a.end() ? "<end>" : *x) + "' against '" +
           (y == b.end() ? "<end>" : *y) + "'";
}

std::string replaceOnce(std::string text, const std::string& what, const std::string& with) {
    const auto at = text.find(what);
    EXPECT_NE(at, std::string::npos) << what;
    if (at != std::string::npos) text.replace(at, what.size(), with);
    return text;
}

// A fake score server in the process: connections open, and every request gets the next reply.
class FakeServer final : public Http {
public:
    HttpReply get(const std::string& url) override {
        urls.push_back(url);
        return {true, 200, body, {}};
    }
    bool canConnect(const std::string& url, int) override {
        urls.push_back(url);
        return true;
    }
    std::string body = "3\r\n";
    std::vector<std::string> urls;
};

class ReplayRun : public ::testing::Test {
protected:
    // `recorded` false: the same run without a replay, in folders of its own.
    Recording record(std::string_view keys, std::int64_t untilMs = 0, Http* http = nullptr, bool recorded = true) {
        SimOptions o;
        o.folder = folder.game();
        o.dataFolder = recorded ? data() : dirs.path() / "plain";
        o.settingsFolder = recorded ? folder.settings() : dirs.path() / "plain" / "settings";
        o.seed = 20261207;
        o.untilMs = untilMs;
        o.keys = parseKeyScript(keys);
        o.http = http;
        o.record = recorded;
        o.sleepThroughIdleTimers = true;
        SimPlatform platform(o);
        Recording r;
        try {
            MainForm form(platform);
            form.run();
        } catch (const ProgramEnd& end) {
            r.status = end.status;
        }
        if (!platform.timedOut()) platform.exited(r.status);
        r.log = platform.lines();
        r.replay = platform.replaySoFar().value_or("");
        return r;
    }

    ReplayRunResult replay(const std::string& text, std::int64_t graceMs = 60000, std::int64_t maxRealMs = 0) {
        std::string error;
        auto parsed = parseReplay(text, &error);
        EXPECT_TRUE(parsed) << error;
        if (!parsed) return {};
        ReplayRunOptions o;
        o.gameFolder = folder.game();
        o.workFolder = dirs.path() / ("replayed-" + std::to_string(++replays_));
        o.graceMs = graceMs;
        o.maxRealMs = maxRealMs;
        return runReplay(*parsed, o);
    }
    fs::path replayedData() const { return dirs.path() / ("replayed-" + std::to_string(replays_)); }
    fs::path data() const { return dirs.path() / "data"; }

    test::GameFolder folder;
    test::TempDir dirs;

private:
    int replays_ = 0;
};

TEST_F(ReplayRun, AWholeGameReplaysToTheSameLogAndTheSameFiles) {
    // The player's files are moved into the data folder by the first run: copy them first.
    fs::create_directories(dirs.path() / "plain");
    for (std::string_view name : kPlayerFiles)
        if (fs::exists(folder.game() / name)) fs::copy_file(folder.game() / name, dirs.path() / "plain" / name);
    const Recording run = record(kWholeGame);
    // Recording changes nothing of the run: keys come at their times either way.
    const Recording plain = record(kWholeGame, 0, nullptr, false);
    EXPECT_EQ(plain.log, run.log) << firstDifference(plain.log, run.log);
    EXPECT_EQ(plain.replay, "");
    ASSERT_EQ(run.status, 0);
    // The run did what the script meant: a race, a saved game, its loading, the records.
    const auto has = [&](const std::string& event) {
        return std::any_of(run.log.begin(), run.log.end(),
                           [&](const std::string& l) { return l.find(event) != std::string::npos; });
    };
    ASSERT_TRUE(has(" key 80") && has(" file savegame.dat") && has(" file stats.txt") && has(" load sounds/car/"));
    ASSERT_EQ(run.log.back().substr(run.log.back().find(' ')), " exit 0");
    const std::string exitLine = std::to_string(timeOf(run.log.back())) + " exit 0\n";
    ASSERT_TRUE(run.replay.ends_with(exitLine)) << run.replay.substr(run.replay.size() - 200);

    const ReplayRunResult again = replay(run.replay);
    EXPECT_EQ(again.error, "");
    EXPECT_TRUE(again.finished);
    EXPECT_EQ(again.status, 0);
    EXPECT_EQ(again.log, run.log) << firstDifference(again.log, run.log);
    for (std::string_view name : kPlayerFiles)
        EXPECT_EQ(readWholeFile(replayedData() / name), readWholeFile(data() / name)) << name;
    for (std::string_view app : kReplaySettingsApps) {
        const std::string ini = std::string(app) + ".ini";
        EXPECT_EQ(readWholeFile(replayedData() / "settings" / ini), readWholeFile(folder.settings() / ini)) << ini;
    }

    // The dates the run read come from the replay: another date, another report.
    std::string redated = run.replay;
    for (std::size_t at; (at = redated.find(" =01/06/2026 ")) != std::string::npos;)
        redated.replace(at, 13, " =24/12/2031 ");
    const ReplayRunResult otherDay = replay(redated);
    EXPECT_TRUE(otherDay.finished) << otherDay.error;
    EXPECT_NE(readWholeFile(replayedData() / "stats.txt")->find("24/12/2031"), std::string::npos);
}

TEST_F(ReplayRun, AnOnlineExchangeReplaysWithItsRepliesAtTheSameTimes) {
    IniSettingsStore settings(folder.settings());
    settings.set("Kestrine", "zorvan", "scoreserver", "http://scores.example");
    settings.set("zorvan", "installation", "rgsv", "15009");  // 1500 points, easy
    settings.set("zorvan", "installation", "rgsv2", "1");
    settings.set("zorvan", "settings", "gameLev", "4");
    settings.set("zorvan", "keyboard", "identify", "50000");
    settings.set("w32csp", "settings", "setupInfo", "4147");
    FakeServer server;
    const Recording run = record("500 Space\n+500 Space\n+2500 Down\n+300 Down\n+300 Enter\n+8000 Escape\n", 0, &server);
    ASSERT_GE(server.urls.size(), 2u) << "the score was not sent";

    const ReplayRunResult again = replay(run.replay);
    EXPECT_EQ(again.error, "");
    EXPECT_TRUE(again.finished);
    EXPECT_EQ(again.log, run.log) << firstDifference(again.log, run.log);
    EXPECT_EQ(again.requestedUrls, server.urls);

    // Each reply came in at the first moment after its request, and was recorded there.
    auto parsed = parseReplay(run.replay, nullptr);
    ASSERT_TRUE(parsed);
    std::size_t replies = 0;
    for (const auto& in : parsed->inputs) {
        if (in.kind != ReplayInput::Kind::HttpReply) continue;
        EXPECT_EQ(in.call, ++replies);
        EXPECT_EQ(in.reply.body, in.call == 1 ? "" : server.body);
    }
    EXPECT_EQ(replies, server.urls.size());

    // What the game does next follows the reply the replay holds, not any server: after an
    // error it asks for nothing more, so the replay's later replies no longer fit.
    const std::string otherReply = replaceOnce(run.replay, " ok 200 =3\\x0d\\x0a", " ok 500 =broken");
    const ReplayRunResult broken = replay(otherReply);
    EXPECT_NE(broken.log, run.log);
    EXPECT_EQ(broken.requestedUrls, std::vector<std::string>(server.urls.begin(), server.urls.begin() + 2));
    EXPECT_NE(broken.error.find("request 3"), std::string::npos) << broken.error;
}

TEST_F(ReplayRun, AWindowClosedInTheMiddleOfARaceReplaysToTheSameEnd) {
    const Recording run = record("500 Space\n+500 Space\n+3000 Enter\n+2000 Enter\n+2000 Enter\n+3000 Up\n+2500 close\n");
    ASSERT_NE(run.replay.find("\n13500 close\n"), std::string::npos);
    const ReplayRunResult again = replay(run.replay);
    EXPECT_TRUE(again.finished) << again.error;
    EXPECT_EQ(again.log, run.log) << firstDifference(again.log, run.log);
}

TEST_F(ReplayRun, AReplayCutShortPlaysAsFarAsItGoes) {
    const Recording run = record(kWholeGame);
    // Cut in the middle of the race, in the middle of a line, as a crash leaves the file.
    const std::size_t cut = run.replay.find(" key 113\n") - 3;
    const std::string cutShort = run.replay.substr(0, cut);
    auto parsed = parseReplay(cutShort, nullptr);
    ASSERT_TRUE(parsed);
    const std::int64_t lastInput = parsed->endMs;

    const ReplayRunResult again = replay(cutShort, 5000);
    EXPECT_EQ(again.error, "");
    EXPECT_FALSE(again.finished);
    ASSERT_FALSE(again.log.empty());
    EXPECT_EQ(again.log.back(), std::to_string(lastInput + 5000) + " exit timeout");
    // Everything up to the last input is the recorded run's, line for line.
    std::size_t upToCut = 0;
    while (upToCut < run.log.size() && timeOf(run.log[upToCut]) <= lastInput) ++upToCut;
    ASSERT_GT(again.log.size(), upToCut);
    EXPECT_TRUE(std::equal(run.log.begin(), run.log.begin() + static_cast<std::ptrdiff_t>(upToCut), again.log.begin()))
        << firstDifference(again.log, run.log);

    // Cut just after a key that makes the game read the date: the run goes as far as the date.
    const std::size_t dateAt = run.replay.find(" date ");
    const std::size_t lineStart = run.replay.rfind('\n', dateAt) + 1;
    const ReplayRunResult toTheDate = replay(run.replay.substr(0, lineStart), 5000);
    EXPECT_EQ(toTheDate.error, "");
    EXPECT_FALSE(toTheDate.finished);
    const std::int64_t dateTime = std::stoll(run.replay.substr(lineStart, dateAt - lineStart));
    EXPECT_EQ(timeOf(toTheDate.log.back()), dateTime);
}

TEST_F(ReplayRun, ALateWakeUpJumpsTheClockAsTheRecordedMachineDid) {
    const Recording run = record(kWholeGame);
    // The machine slept from the start of the car (13400) to 14000, in the middle of the race
    // where the timers tick all the time: everything due meanwhile is late.
    const std::string woken = replaceOnce(run.replay, "\n13400 key 38\n", "\n13400 key 38\n14000 wake 13400\n");
    const ReplayRunResult again = replay(woken);
    EXPECT_EQ(again.error, "");
    EXPECT_NE(again.log, run.log);
    const auto linesAt = [](const std::vector<std::string>& log, std::int64_t from, std::int64_t to) {
        return std::count_if(log.begin(), log.end(), [&](const std::string& l) {
            return timeOf(l) >= from && timeOf(l) <= to;
        });
    };
    EXPECT_GT(linesAt(run.log, 13401, 13999), 0) << "the wake-up skipped nothing";
    EXPECT_EQ(linesAt(again.log, 13401, 13999), 0);
    EXPECT_GT(linesAt(again.log, 14000, 14000), 0);
    // Up to the wake-up it is the recorded run.
    const auto upTo = [](const std::vector<std::string>& log) {
        return std::vector<std::string>(log.begin(), std::find_if(log.begin(), log.end(), [](const std::string& l) {
                                            return timeOf(l) > 13400;
                                        }));
    };
    EXPECT_EQ(upTo(again.log), upTo(run.log));
}

TEST_F(ReplayRun, AReplayThatDoesNotFitIsReportedWithTheReason) {
    const Recording run = record(kWholeGame);
    const auto error = [&](const std::string& text) {
        const ReplayRunResult r = replay(text, 2000);
        EXPECT_FALSE(r.finished);
        EXPECT_NE(r.error, "") << text.substr(text.find("start\n"));
        return r.error;
    };
    const std::string exitLine = run.log.back() + "\n";  // "T exit 0"
    EXPECT_NE(error(replaceOnce(run.replay, "version =1.2", "version =9.9")).find("version 9.9"), std::string::npos);
    // A key at a moment the run cannot take one: before it ever waited.
    EXPECT_NE(error(replaceOnce(run.replay, "start\n", "start\n0 key 13\n")).find("key 13 at 0"), std::string::npos);
    // A reply to a request the game never made.
    EXPECT_NE(error(replaceOnce(run.replay, "\n1000 key 32\n", "\n1000 key 32\n1200 http 4 ok 200 =x\n"))
                  .find("request 4"),
              std::string::npos);
    // The last keys taken away: the run goes on where the replay says it ended.
    const std::size_t lastDate = run.replay.rfind(" date ");
    const std::size_t afterDates = run.replay.find('\n', lastDate) + 1;
    EXPECT_NE(error(run.replay.substr(0, afterDates) + exitLine).find("went on"), std::string::npos);
    // Another exit status, another exit time.
    const std::string at = exitLine.substr(0, exitLine.find(' '));
    error(replaceOnce(run.replay, exitLine, at + " exit 1\n"));
    error(replaceOnce(run.replay, exitLine, std::to_string(std::stoll(at) + 5) + " exit 0\n"));
    // Inputs after the run has ended.
    std::string longer = run.replay.substr(0, run.replay.size() - exitLine.size());
    EXPECT_NE(error(longer + std::to_string(std::stoll(at) + 1000) + " key 13\n").find("before the replay's inputs"),
              std::string::npos);
    // Dates the run reads but the replay has not.
    std::string undated;
    for (std::size_t pos = 0; pos < run.replay.size();) {
        const std::size_t end = run.replay.find('\n', pos) + 1;
        const std::string line = run.replay.substr(pos, end - pos);
        if (line.find(" date ") == std::string::npos) undated += line;
        pos = end;
    }
    EXPECT_NE(error(undated).find("no more dates"), std::string::npos);
    // A run is stopped once it has taken the real time it is given (a forged replay can ask
    // for years of play); the whole game takes far longer than a millisecond.
    const ReplayRunResult forever = replay(run.replay, 2000, 1);
    EXPECT_NE(forever.error.find("more than 1 ms of real time"), std::string::npos) << forever.error;
}

}  // namespace
}  // namespace zorvan
