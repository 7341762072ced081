// A played game verified end to end: zorvan-sim plays a game to more than 1000 points with
// a key script and --record, submits the score online and posts its replay; zorvan-scores
// replays it with the game core and marks the score verified. Replays that were edited,
// forged, cut short, of another run, too large or not replays at all are rejected with a
// reason, and the server keeps serving. Two servers on one PostgreSQL database verify each
// replay once.
//
// The key script comes from the autopilot: it plays the same game in-process (same seed,
// same files) by ear, and its keys with their times are the script zorvan-sim plays.

#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <thread>

#include "backend_fixture.h"
#include "platform/replay.h"
#include "support/autopilot_keys.h"

namespace zorvan::scores::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using zorvan::test::autopilotKeyScript;
using zorvan::test::prepareAutopilotPlayer;

constexpr std::uint64_t kSeed = 7;

std::string readFile(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// A program in the background, its output in a file.
struct Background {
    pid_t pid = -1;
    fs::path out;

    Background(std::vector<std::string> args, fs::path output, std::map<std::string, std::string> env = {})
        : out(std::move(output)) {
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        pid = ::fork();
        if (pid == 0) {
            ::prctl(PR_SET_PDEATHSIG, SIGKILL);
            int fd = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            ::dup2(fd, 1);
            ::dup2(fd, 2);
            for (auto& [k, v] : env) ::setenv(k.c_str(), v.c_str(), 1);
            ::execv(argv[0], argv.data());
            _exit(127);
        }
    }
    ~Background() { stop(); }
    int wait() {
        int status = 0;
        ::waitpid(pid, &status, 0);
        pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    int stop() {
        if (pid <= 0) return -1;
        ::kill(pid, SIGTERM);
        return wait();
    }
    std::string output() const { return readFile(out); }
};

// zorvan-scores on a free port, verifying with the built game folder.
struct Server {
    Background program;
    int port = -1;

    Server(const std::string& db, const fs::path& log, std::vector<std::string> extra = {})
        : program(args(db, std::move(extra)), log) {
        for (int i = 0; i < 500 && port < 0; ++i) {
            std::string out = program.output();
            auto at = out.find("listening on 127.0.0.1:");
            if (at != std::string::npos && out.find('\n', at) != std::string::npos)
                port = std::atoi(out.c_str() + at + 23);
            else
                std::this_thread::sleep_for(10ms);
        }
    }
    static std::vector<std::string> args(const std::string& db, std::vector<std::string> extra) {
        std::vector<std::string> a = {ZORVAN_SCORES_PROGRAM, "--db", db, "--port", "0", "--verifiers", "2"};
        a.insert(a.end(), extra.begin(), extra.end());
        return a;
    }
    std::string base() const { return "http://127.0.0.1:" + std::to_string(port); }
    Reply post(std::int32_t transId, const std::string& body) const {
        return httpPost(base() + "/replay_zelk.php?TransID=" + std::to_string(transId), body);
    }
    Reply submit(const Query& q) const { return httpGet(base() + target("/update_zelk.php", q)); }
};

// The state of one submission once its verification is over (or Pending after a minute).
StoredSubmission settled(ScoreStore& store, std::int32_t transId, const std::string& name) {
    StoredSubmission found;
    for (int i = 0; i < 600; ++i) {
        for (const auto& s : store.all())
            if (s.transId == transId && s.userName == name) found = s;
        bool queued = false;
        for (const auto& r : store.replays()) queued = queued || (r.transId == transId && !r.done);
        if (!queued && found.verification != Verification::Pending && found.verification != Verification::Unverified)
            return found;
        std::this_thread::sleep_for(100ms);
    }
    return found;
}

// One genuine run, shared by every case: played once by the autopilot in-process, then by
// zorvan-sim from its keys, recorded and submitted to a first server.
struct GenuineRun {
    fs::path dir;
    std::string keyScript;
    std::string replay;       // the file zorvan-sim recorded (to its exit)
    std::string simOutput;
    std::int32_t transId = 0;
    std::int64_t points = 0;
    int digit = 0;
    std::int32_t level = 0;
    std::string error;        // why there is no run

    static GenuineRun& get() {
        made = true;
        static GenuineRun run = make();
        return run;
    }
    static inline bool made = false;

    Query submission() const { return test::submission(transId, "Ada Lovelace", points, digit, level); }

private:
    static GenuineRun make() {
        GenuineRun run;
        run.dir = fs::temp_directory_path() / ("zorvan-e2e-verify-" + std::to_string(::getpid()));
        fs::remove_all(run.dir);
        fs::create_directories(run.dir);
        // The first server is started before the game, so its address is the one the game uses.
        static Server first((run.dir / "first.db").string(), run.dir / "first.log");
        if (first.port < 0) return run.error = "the server did not start: " + first.program.output(), run;
        run.keyScript = autopilotKeyScript(ZORVAN_GAME_DIR, kSeed, run.dir, first.base(), run.error);
        if (!run.error.empty()) return run;
        std::ofstream(run.dir / "keys.txt") << run.keyScript;
        prepareAutopilotPlayer(run.dir / "data", run.dir / "settings", first.base());
        Background sim({ZORVAN_SIM_PROGRAM, "--folder", ZORVAN_GAME_DIR, "--data", (run.dir / "data").string(),
                        "--keys", (run.dir / "keys.txt").string(), "--seed", std::to_string(kSeed), "--record",
                        (run.dir / "run.replay").string(), "--log", (run.dir / "run.log").string()},
                       run.dir / "sim.out", {{"XDG_CONFIG_HOME", (run.dir / "settings").string()}});
        int status = sim.wait();
        run.simOutput = sim.output();
        if (status != 0) return run.error = "zorvan-sim ended with " + std::to_string(status) + ": " + run.simOutput, run;
        run.replay = readFile(run.dir / "run.replay");
        auto store = openSqliteStore((run.dir / "first.db").string());
        auto all = store->all();
        if (all.size() != 1) return run.error = "the server holds " + std::to_string(all.size()) + " submissions", run;
        run.transId = all[0].transId;
        run.points = all[0].points;
        run.digit = all[0].difficulty;
        run.level = all[0].level;
        return run;
    }
};

// The run's folder goes when everything passed; otherwise it stays to be looked at.
struct RemoveRunFolder : ::testing::Environment {
    void TearDown() override {
        if (GenuineRun::made && ::testing::UnitTest::GetInstance()->Passed()) fs::remove_all(GenuineRun::get().dir);
    }
};
[[maybe_unused]] auto* const kRemoveRunFolder = ::testing::AddGlobalTestEnvironment(new RemoveRunFolder);

class VerifyE2e : public ::testing::Test {
protected:
    void SetUp() override {
        if (!GenuineRun::get().error.empty()) FAIL() << GenuineRun::get().error;
    }
    const GenuineRun& run() { return GenuineRun::get(); }
    fs::path dir() { return GenuineRun::get().dir; }
};

TEST_F(VerifyE2e, APlayedGameSubmittedWithItsReplayIsVerified) {
    EXPECT_GE(run().points, 1000);
    EXPECT_EQ(run().digit, 8) << "normal";
    EXPECT_NE(run().replay.find("\nseed " + std::to_string(kSeed)), std::string::npos);
    auto store = openSqliteStore((dir() / "first.db").string());
    StoredSubmission s = settled(*store, run().transId, "Ada Lovelace");
    EXPECT_EQ(s.verification, Verification::Verified) << s.verifyReason << "\n" << readFile(dir() / "first.log");
    auto replays = store->replays();
    ASSERT_EQ(replays.size(), 1u);
    EXPECT_EQ(replays[0].outcome, "verified");
    // What the client sent is the run up to its submission: a prefix of the whole recording.
    auto job = store->replays()[0];
    EXPECT_LT(job.bytes, run().replay.size());
    EXPECT_NE(readFile(dir() / "first.log").find("verify TransID " + std::to_string(run().transId) +
                                                  " Ada Lovelace " + std::to_string(run().points) + " points: verified"),
              std::string::npos);
}

TEST_F(VerifyE2e, EditedForgedCutShortAndForeignReplaysAreRejectedWithAReason) {
    // Server B: a submission whose points were edited, and one under another run's TransID.
    Server b((dir() / "b.db").string(), dir() / "b.log");
    ASSERT_GT(b.port, 0);
    const std::int32_t t = run().transId;
    ASSERT_EQ(b.submit(test::submission(t, "Ada Lovelace", run().points + 500, run().digit, run().level)).status, 200);
    ASSERT_EQ(b.submit(test::submission(t + 1, "Ada Lovelace", run().points, run().digit, run().level)).status, 200);
    EXPECT_EQ(b.post(t, run().replay).status, 200);
    EXPECT_EQ(b.post(t + 1, run().replay).status, 200);

    // Server C: the genuine submission, first given bad replays, last the genuine one.
    Server c((dir() / "c.db").string(), dir() / "c.log");
    ASSERT_GT(c.port, 0);
    ASSERT_EQ(c.submit(run().submission()).status, 200);
    std::string forged = run().replay;
    auto seed = forged.find("\nseed ");
    ASSERT_NE(seed, std::string::npos);
    forged.replace(seed, forged.find('\n', seed + 1) - seed, "\nseed 8");
    std::string truncated = run().replay.substr(0, run().replay.size() / 2);
    std::string garbage(kMaxReplayBytes, '\0');
    for (std::size_t i = 0; i < garbage.size(); ++i) garbage[i] = static_cast<char>((i * 2654435761u) >> 13);
    for (const std::string* body : {&forged, &truncated, &garbage}) EXPECT_EQ(c.post(t, *body).status, 200);
    Reply huge = c.post(t, std::string(kMaxReplayBytes + 1, 'x'));
    EXPECT_EQ(huge.status, 413);

    auto storeB = openSqliteStore((dir() / "b.db").string());
    StoredSubmission edited = settled(*storeB, t, "Ada Lovelace");
    EXPECT_EQ(edited.verification, Verification::Rejected);
    EXPECT_EQ(edited.verifyReason, "the replayed run submitted " + std::to_string(run().points) +
                                       " points on difficulty digit " + std::to_string(run().digit) + " at level " +
                                       std::to_string(run().level) + " as \"Ada Lovelace\", not " +
                                       std::to_string(run().points + 500) + " points on difficulty digit " +
                                       std::to_string(run().digit) + " at level " + std::to_string(run().level) +
                                       " as \"Ada Lovelace\"");
    StoredSubmission foreign = settled(*storeB, t + 1, "Ada Lovelace");
    EXPECT_EQ(foreign.verification, Verification::Rejected);
    EXPECT_EQ(foreign.verifyReason, "the replayed run made no submission with TransID " + std::to_string(t + 1) +
                                        " (it submitted TransID " + std::to_string(t) + ")");

    auto storeC = openSqliteStore((dir() / "c.db").string());
    StoredSubmission bad = settled(*storeC, t, "Ada Lovelace");
    EXPECT_EQ(bad.verification, Verification::Rejected) << bad.verifyReason;
    auto replays = storeC->replays();
    ASSERT_EQ(replays.size(), 3u) << "the huge one was never stored";
    for (const auto& r : replays) {
        EXPECT_TRUE(r.done);
        EXPECT_EQ(r.outcome.rfind("rejected: ", 0), 0u) << r.outcome;
        std::cout << "replay of " << r.bytes << " bytes: " << r.outcome << "\n";
    }
    EXPECT_NE(replays[2].outcome.find("not a replay"), std::string::npos) << replays[2].outcome;
    // The server went on serving throughout, and the genuine replay still verifies.
    EXPECT_EQ(httpGet(c.base() + target("/view_zelk.php", table(10, run().digit))).status, 200);
    EXPECT_EQ(c.post(t, run().replay).status, 200);
    EXPECT_EQ(settled(*storeC, t, "Ada Lovelace").verification, Verification::Verified);
    EXPECT_EQ(c.program.stop(), 0);
    EXPECT_EQ(b.program.stop(), 0);
}

TEST_F(VerifyE2e, VerifiedOnlyListsTheVerifiedScoreAlone) {
    Server v((dir() / "v.db").string(), dir() / "v.log", {"--verified-only"});
    ASSERT_GT(v.port, 0);
    ASSERT_EQ(v.submit(run().submission()).status, 200);
    ASSERT_EQ(v.submit(test::submission(1, "Nobody", 99999, run().digit, 40)).status, 200);
    EXPECT_EQ(httpGet(v.base() + target("/view_zelk.php", table(10, run().digit))).body, "zorvan\n");
    ASSERT_EQ(v.post(run().transId, run().replay).status, 200);
    auto store = openSqliteStore((dir() / "v.db").string());
    ASSERT_EQ(settled(*store, run().transId, "Ada Lovelace").verification, Verification::Verified);
    // The game's table follows within the store's change check.
    std::string expected = "zorvan\n:" + std::to_string(run().transId) + "@1;" + std::to_string(run().points) +
                           "~Ada Lovelace^" + std::to_string(run().level) + "[]\n";
    std::string got;
    for (int i = 0; i < 100 && got != expected; ++i) {
        got = httpGet(v.base() + target("/view_zelk.php", table(10, run().digit))).body;
        if (got != expected) std::this_thread::sleep_for(50ms);
    }
    EXPECT_EQ(got, expected);
}

TEST_F(VerifyE2e, TwoServersOnOnePostgresDatabaseVerifyEachReplayOnce) {
    std::string why;
    testkit::PgCluster* cluster = testkit::PgCluster::shared(why);
    if (!cluster) {
        if (postgresRequired()) FAIL() << why;
        GTEST_SKIP() << why;
    }
    std::string uri = cluster->createDatabase();
    Server one(uri, dir() / "pg1.log");
    Server two(uri, dir() / "pg2.log");
    ASSERT_GT(one.port, 0);
    ASSERT_GT(two.port, 0);
    // The genuine run, and runs 1..7 whose replays are the genuine one cut at different points.
    ASSERT_EQ(one.submit(run().submission()).status, 200);
    std::vector<std::int32_t> ids = {run().transId};
    for (std::int32_t i = 1; i <= 7; ++i) {
        ASSERT_EQ(two.submit(test::submission(i, "Ada Lovelace", run().points, run().digit, run().level)).status, 200);
        ids.push_back(i);
    }
    ASSERT_EQ(two.post(run().transId, run().replay).status, 200);
    for (std::int32_t i = 1; i <= 7; ++i)
        ASSERT_EQ((i % 2 ? one : two).post(i, run().replay.substr(0, run().replay.size() * i / 8)).status, 200);
    auto store = openPostgresStore(uri);
    for (std::int32_t id : ids) settled(*store, id, "Ada Lovelace");
    for (const auto& r : store->replays()) {
        EXPECT_TRUE(r.done) << r.transId << "\n" << one.program.output() << two.program.output();
        EXPECT_EQ(r.attempts, 1) << r.transId;
    }
    for (const auto& s : store->all())
        EXPECT_EQ(s.verification, s.transId == run().transId ? Verification::Verified : Verification::Rejected)
            << s.transId << " " << s.verifyReason;
    EXPECT_EQ(one.program.stop(), 0);
    EXPECT_EQ(two.program.stop(), 0);
    // Each replay was verified by one of the two, once.
    std::string logs = one.program.output() + two.program.output();
    for (std::int32_t id : ids) {
        std::string line = "verify TransID " + std::to_string(id) + " ";
        std::size_t count = 0;
        for (auto at = logs.find(line); at != std::string::npos; at = logs.find(line, at + 1)) ++count;
        EXPECT_EQ(count, 1u) << id;
    }
}

}  // namespace
}  // namespace zorvan::scores::test
