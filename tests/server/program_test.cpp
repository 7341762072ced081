// The zorvan-scores program itself: arguments, start-up, serving, stopping on a signal.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <functional>
#include <iostream>
#include <mutex>
#include <random>
#include <set>
#include <thread>
#include <string>
#include <vector>

#include "backend_fixture.h"

namespace zorvan::scores::test {
namespace {

namespace fs = std::filesystem;

struct Program {
    pid_t pid = -1;
    int out = -1;  // the program's stdout and stderr

    explicit Program(std::vector<std::string> args) {
        args.insert(args.begin(), ZORVAN_SCORES_PROGRAM);
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        int fds[2];
        if (::pipe(fds) != 0) return;
        pid = ::fork();
        if (pid == 0) {
            ::prctl(PR_SET_PDEATHSIG, SIGKILL);  // never outlives a test that dies
            ::dup2(fds[1], 1);
            ::dup2(fds[1], 2);
            ::close(fds[0]);
            ::close(fds[1]);
            ::execv(argv[0], argv.data());
            _exit(127);
        }
        ::close(fds[1]);
        out = fds[0];
    }
    ~Program() {
        if (pid > 0) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
        if (out >= 0) ::close(out);
    }
    // The next line of output ("" at the end).
    std::string line() {
        std::string s;
        char c;
        while (::read(out, &c, 1) == 1 && c != '\n') s += c;
        return s;
    }
    int wait() {
        int status = 0;
        ::waitpid(pid, &status, 0);
        pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
};

fs::path tempFolder(const char* name) {
    fs::path p = fs::temp_directory_path() / (std::string(name) + "-" + std::to_string(::getpid()));
    fs::remove_all(p);
    fs::create_directories(p);
    return p;
}

int portOf(const std::string& banner) {
    auto colon = banner.rfind(':');
    return colon == std::string::npos ? -1 : std::atoi(banner.c_str() + colon + 1);
}

void serveOneSubmissionAndStop(const std::string& db, const std::string& backend) {
    Program p({"--db", db, "--port", "0"});
    std::string banner = p.line();
    ASSERT_NE(banner.find(backend + " store, listening on 127.0.0.1:"), std::string::npos) << banner;
    int port = portOf(banner);
    ASSERT_GT(port, 0);
    std::string base = "http://127.0.0.1:" + std::to_string(port);
    EXPECT_EQ(httpGet(base + target("/update_zelk.php", submission(9, "Ann", 2500, 8))).status, 200);
    EXPECT_EQ(httpGet(base + target("/view_zelk.php", table(10, 8))).body, "zorvan\n:9@1;2500~Ann^3[]\n");
    // The access log is written after each reply, by the request's own thread, so the two
    // lines may come in either order.
    std::vector<std::string> log = {p.line(), p.line()};
    std::sort(log.begin(), log.end());
    EXPECT_EQ(log, (std::vector<std::string>{"GET /update_zelk.php 200", "GET /view_zelk.php 200"}));
    ::kill(p.pid, SIGTERM);
    EXPECT_EQ(p.wait(), 0);
}

TEST(ProgramTest, ServesSqliteAndStopsOnSigterm) {
    fs::path dir = tempFolder("zorvan-scores-program");
    serveOneSubmissionAndStop((dir / "s.db").string(), "sqlite");
    // The table outlives the program.
    auto store = openSqliteStore((dir / "s.db").string());
    ASSERT_EQ(store->all().size(), 1u);
    EXPECT_EQ(store->all()[0].userName, "Ann");
    fs::remove_all(dir);
}

TEST(ProgramTest, ServesPostgresql) {
    std::string why;
    testkit::PgCluster* cluster = testkit::PgCluster::shared(why);
    if (!cluster) {
        if (postgresRequired()) FAIL() << why;
        GTEST_SKIP() << why;
    }
    std::string uri = cluster->createDatabase();
    serveOneSubmissionAndStop(uri, "postgresql");
    EXPECT_EQ(openPostgresStore(uri)->all().size(), 1u);
}

TEST(ProgramTest, RefusesWhatItCannotDo) {
    EXPECT_EQ(Program({"--port", "70000"}).wait(), 2);
    EXPECT_EQ(Program({"--frobnicate"}).wait(), 2);
    EXPECT_EQ(Program({"--db"}).wait(), 2);

    Program noFolder({"--db", "/nonexistent-folder/x/scores.db", "--port", "0"});
    EXPECT_NE(noFolder.line().find("cannot open"), std::string::npos);
    EXPECT_EQ(noFolder.wait(), 1);

    // A port already taken is reported, not ignored.
    fs::path dir = tempFolder("zorvan-scores-busy");
    Program first({"--db", (dir / "a.db").string(), "--port", "0"});
    int port = portOf(first.line());
    ASSERT_GT(port, 0);
    Program second({"--db", (dir / "b.db").string(), "--port", std::to_string(port)});
    EXPECT_NE(second.line().find("cannot listen"), std::string::npos);
    EXPECT_EQ(second.wait(), 1);
    fs::remove_all(dir);
}

TEST(ProgramTest, VerificationOptionsAreCheckedAndAFolderWithoutAGameVerifiesNothing) {
    EXPECT_EQ(Program({"--verifiers", "65"}).wait(), 2);
    EXPECT_EQ(Program({"--verify-cpu", "0"}).wait(), 2);
    EXPECT_EQ(Program({"--verify-memory", "10"}).wait(), 2);
    EXPECT_EQ(Program({"--game"}).wait(), 2);

    fs::path dir = tempFolder("zorvan-scores-nogame");
    Program p({"--db", (dir / "s.db").string(), "--port", "0", "--game", (dir / "nothing").string()});
    EXPECT_NE(p.line().find("holds no game (no sounds folder): replays are stored but not verified here"),
              std::string::npos);
    int port = portOf(p.line());
    ASSERT_GT(port, 0);
    std::string base = "http://127.0.0.1:" + std::to_string(port);
    ASSERT_EQ(httpGet(base + target("/update_zelk.php", submission(3, "Ann", 2500, 8))).status, 200);
    Reply r = httpPost(base + "/replay_zelk.php?TransID=3", "a replay");
    EXPECT_EQ(r.status, 200);
    EXPECT_EQ(r.body, "replay queued\n");
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));  // a verifier would have taken it by now
    auto store = openSqliteStore((dir / "s.db").string());
    EXPECT_EQ(store->all().at(0).verification, Verification::Pending);
    EXPECT_FALSE(store->replays().at(0).done);
    ::kill(p.pid, SIGTERM);
    EXPECT_EQ(p.wait(), 0);
    fs::remove_all(dir);
}

// Submissions from several clients at once, the program killed (SIGKILL) at a random moment
// of the burst, restarted on the same database, a few times over: every submission that was
// answered "stored" is there afterwards, once.
void killDuringBursts(const std::string& db, const std::function<std::unique_ptr<ScoreStore>()>& open) {
    constexpr int kRounds = 4, kClients = 6;
    std::mt19937 random(std::random_device{}());
    std::set<std::int32_t> acknowledged;
    std::mutex mutex;
    for (int round = 0; round < kRounds; ++round) {
        Program p({"--db", db, "--port", "0", "--quiet"});
        int port = portOf(p.line());
        ASSERT_GT(port, 0) << "round " << round;
        std::string base = "http://127.0.0.1:" + std::to_string(port);
        std::atomic<int> answered{0};
        std::vector<std::thread> clients;
        for (int c = 0; c < kClients; ++c) {
            clients.emplace_back([&, c] {
                for (int i = 0;; ++i) {
                    std::int32_t tid = round * 1'000'000 + c * 100'000 + i;
                    Reply r = httpGet(base + target("/update_zelk.php", submission(tid, "c" + std::to_string(c), 1000 + i, 9)));
                    if (r.status != 200) return;  // the server is gone
                    EXPECT_EQ(r.body, "stored\n");
                    std::lock_guard lock(mutex);
                    acknowledged.insert(tid);
                    ++answered;
                }
            });
        }
        // Kill somewhere in the burst, once it is under way.
        while (answered < 20) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        std::this_thread::sleep_for(std::chrono::milliseconds(std::uniform_int_distribution<int>(0, 300)(random)));
        ::kill(p.pid, SIGKILL);
        EXPECT_EQ(p.wait(), 128 + SIGKILL);
        for (auto& t : clients) t.join();
    }
    auto store = open();
    std::multiset<std::int32_t> stored;
    for (const auto& s : store->all()) stored.insert(s.transId);
    for (std::int32_t tid : acknowledged) EXPECT_EQ(stored.count(tid), 1u) << "acknowledged submission " << tid << " lost";
    EXPECT_GE(stored.size(), acknowledged.size());
    std::cout << acknowledged.size() << " acknowledged submissions in " << kRounds << " killed runs, "
              << stored.size() << " stored\n";
}

TEST(ProgramTest, KilledSqliteServerKeepsEveryAcknowledgedSubmission) {
    fs::path dir = tempFolder("zorvan-scores-kill");
    std::string db = (dir / "s.db").string();
    killDuringBursts(db, [&] { return openSqliteStore(db); });
    fs::remove_all(dir);
}

TEST(ProgramTest, KilledPostgresqlServerKeepsEveryAcknowledgedSubmission) {
    std::string why;
    testkit::PgCluster* cluster = testkit::PgCluster::shared(why);
    if (!cluster) {
        if (postgresRequired()) FAIL() << why;
        GTEST_SKIP() << why;
    }
    std::string uri = cluster->createDatabase();
    killDuringBursts(uri, [&] { return openPostgresStore(uri); });
}

TEST(ProgramTest, PostgresqlLostAnswers500AndKeepsServing) {
    std::string why;
    auto cluster = testkit::PgCluster::start(why);
    if (!cluster) {
        if (postgresRequired()) FAIL() << why;
        GTEST_SKIP() << why;
    }
    auto store = openPostgresStore(cluster->createDatabase());
    ScoreServer server(*store);
    int port = server.bind("127.0.0.1", 0);
    server.start();
    std::string base = "http://127.0.0.1:" + std::to_string(port);
    EXPECT_EQ(httpGet(base + target("/update_zelk.php", submission(1, "Ann", 2500, 8))).status, 200);
    cluster->stopServer();
    Reply r = httpGet(base + target("/view_zelk.php", table(10, 8)));
    EXPECT_EQ(r.status, 500);
    EXPECT_NE(r.body.find("error"), std::string::npos);
    EXPECT_EQ(httpGet(base + target("/update_zelk.php", submission(2, "Ann", 2500, 8))).status, 500);
    for (const char* page : {"/", "/table?difficulty=normal", "/player?name=Ann"}) {
        Reply web = httpGet(base + page);
        EXPECT_EQ(web.status, 500) << page;
        EXPECT_NE(web.body.find("<h1>Scores unavailable</h1>"), std::string::npos) << page;
        EXPECT_EQ(web.body.find("postgres"), std::string::npos) << page;
    }
    // Still answering, and refusing bad requests before touching the database.
    EXPECT_EQ(httpGet(base + target("/view_zelk.php", table(0, 8))).status, 400);
}

}  // namespace
}  // namespace zorvan::scores::test
