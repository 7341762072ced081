// Verified scores: the replay endpoint, the queue and the states on both backends,
// --verified-only, the verdicts, and the child process a replay runs in.

#include <gtest/gtest.h>
#include <libpq-fe.h>
#include <sqlite3.h>

#include <nlohmann/json.hpp>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <map>
#include <mutex>
#include <set>
#include <thread>

#include "backend_fixture.h"
#include "verifier.h"

namespace zorvan::scores::test {
namespace {

namespace fs = std::filesystem;
using VerifyTest = BackendTest;

std::string replayTarget(const std::string& transId) { return "/replay_zelk.php?TransID=" + transId; }

// The submission URL the game makes, as the replayed run would request it.
std::string submissionUrl(std::int32_t transId, const std::string& name, std::int64_t points, int digit, int level) {
    return "http://127.0.0.1:28517" + target("/update_zelk.php", submission(transId, name, points, digit, level));
}

Verification stateOf(ScoreStore& store, const std::string& name) {
    for (const auto& s : store.all())
        if (s.userName == name) return s.verification;
    return Verification::Unverified;
}

std::string reasonOf(ScoreStore& store, const std::string& name) {
    for (const auto& s : store.all())
        if (s.userName == name) return s.verifyReason;
    return {};
}

// Takes the next replay off the queue and gives every submission of it the same verdict.
void decide(ScoreStore& store, bool verified, const std::string& reason = "edited") {
    auto job = store.claimReplay();
    ASSERT_TRUE(job);
    std::vector<Verdict> verdicts;
    for (const auto& s : job->submissions) verdicts.push_back({s.id, verified, verified ? "" : reason});
    store.finishReplay(*job, verdicts);
}

TEST_P(VerifyTest, TheReplayEndpointRefusesWhatItCannotQueue) {
    ASSERT_EQ(update(submission(77, "Ann", 1500, 9)).status, 200);
    const std::string url = base() + replayTarget("77");
    EXPECT_EQ(httpPost(base() + "/replay_zelk.php", "x").status, 400);
    EXPECT_EQ(httpPost(base() + replayTarget("seven"), "x").status, 400);
    EXPECT_EQ(httpPost(base() + "/replay_zelk.php?TransID=77&TransID=78", "x").status, 400);
    EXPECT_EQ(httpPost(url, "").status, 400);
    Reply unknown = httpPost(base() + replayTarget("78"), "x");
    EXPECT_EQ(unknown.status, 404);
    EXPECT_EQ(unknown.body, "no such submission\n");

    // Too large: refused by its announced length, and when streamed without one.
    const std::string huge(kMaxReplayBytes + 1, 'r');
    Reply r = httpPost(url, huge);
    EXPECT_EQ(r.status, 413);
    EXPECT_NE(r.body.find("too large"), std::string::npos) << r.body;
    Reply streamed = httpPost(url, std::string(3 * kMaxReplayBytes, 'r'), true);
    EXPECT_TRUE(streamed.status == 413 || streamed.status == 0) << streamed.status;
    EXPECT_TRUE(store->replays().empty());
    EXPECT_EQ(stateOf(*store, "Ann"), Verification::Unverified);

    // A refused body is skipped, not left in the connection: the next request on it is read
    // as a request.
    {
        CURL* curl = curl_easy_init();
        std::string got;
        long status = 0;
        curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, +[](char* p, size_t size, size_t n, void* out) -> size_t {
            static_cast<std::string*>(out)->append(p, size * n);
            return size * n;
        });
        curl_easy_setopt(curl, CURLOPT_WRITEDATA, &got);
        curl_slist* headers = curl_slist_append(nullptr, "Expect:");
        curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
        curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
        curl_easy_setopt(curl, CURLOPT_POSTFIELDS, huge.data());
        curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(huge.size()));
        curl_easy_perform(curl);
        curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
        EXPECT_EQ(status, 413);
        got.clear();
        curl_easy_setopt(curl, CURLOPT_HTTPGET, 1L);
        curl_easy_setopt(curl, CURLOPT_URL, (base() + target("/view_zelk.php", table(10, 9))).c_str());
        EXPECT_EQ(curl_easy_perform(curl), CURLE_OK);
        curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
        EXPECT_EQ(status, 200);
        EXPECT_EQ(got, "zorvan\n:77@1;1500~Ann^3[]\n");
        curl_slist_free_all(headers);
        curl_easy_cleanup(curl);
    }

    // Exactly the limit is taken, and the server goes on serving.
    Reply ok = httpPost(url, std::string(kMaxReplayBytes, 'r'));
    EXPECT_EQ(ok.status, 200);
    EXPECT_EQ(ok.body, "replay queued\n");
    ASSERT_EQ(store->replays().size(), 1u);
    EXPECT_EQ(store->replays()[0].bytes, kMaxReplayBytes);
    EXPECT_EQ(view(table(10, 9)).status, 200);
}

TEST_P(VerifyTest, AReplayMakesItsScoresPendingAndAVerificationSticks) {
    ASSERT_EQ(update(submission(5, "Ann", 1500, 9)).status, 200);
    ASSERT_EQ(update(submission(5, "Bob", 1500, 9)).status, 200);  // another name, same run number
    ASSERT_EQ(update(submission(6, "Cy", 900, 9)).status, 200);
    int queued = 0;
    restartServer([&](ScoreServer& s) { s.setReplayListener([&] { ++queued; }); });

    ASSERT_EQ(httpPost(base() + replayTarget("5"), "the run").status, 200);
    EXPECT_EQ(queued, 1);
    EXPECT_EQ(stateOf(*store, "Ann"), Verification::Pending);
    EXPECT_EQ(stateOf(*store, "Bob"), Verification::Pending);
    EXPECT_EQ(stateOf(*store, "Cy"), Verification::Unverified);

    auto job = store->claimReplay();
    ASSERT_TRUE(job);
    EXPECT_EQ(job->transId, 5);
    EXPECT_EQ(job->body, "the run");
    EXPECT_EQ(job->attempts, 1);
    ASSERT_EQ(job->submissions.size(), 2u);
    EXPECT_FALSE(store->claimReplay()) << "a claimed replay is not handed out twice";
    store->finishReplay(*job, {{job->submissions[0].id, true, ""}, {job->submissions[1].id, false, "not this name"}});
    EXPECT_EQ(stateOf(*store, "Ann"), Verification::Verified);
    EXPECT_EQ(stateOf(*store, "Bob"), Verification::Rejected);
    EXPECT_EQ(reasonOf(*store, "Bob"), "not this name");
    ASSERT_EQ(store->replays().size(), 1u);
    EXPECT_TRUE(store->replays()[0].done);
    EXPECT_EQ(store->replays()[0].outcome, "verified");

    // A later replay of the same run cannot undo Ann's verification, whatever it says.
    ASSERT_EQ(httpPost(base() + replayTarget("5"), "garbage").status, 200);
    EXPECT_EQ(stateOf(*store, "Ann"), Verification::Verified);
    EXPECT_EQ(stateOf(*store, "Bob"), Verification::Pending);
    decide(*store, false, "not a replay");
    EXPECT_EQ(stateOf(*store, "Ann"), Verification::Verified);
    EXPECT_EQ(stateOf(*store, "Bob"), Verification::Rejected);
}

TEST_P(VerifyTest, ARejectionWaitsForTheOtherReplaysOfItsRunAndTheirNumberIsBounded) {
    ASSERT_EQ(update(submission(9, "Ann", 1500, 9)).status, 200);
    ASSERT_EQ(httpPost(base() + replayTarget("9"), "forged").status, 200);
    ASSERT_EQ(httpPost(base() + replayTarget("9"), "genuine").status, 200);
    decide(*store, false, "forged");
    EXPECT_EQ(stateOf(*store, "Ann"), Verification::Pending) << "another replay of the run is still queued";
    decide(*store, true);
    EXPECT_EQ(stateOf(*store, "Ann"), Verification::Verified);
    Reply again = httpPost(base() + replayTarget("9"), "more");
    EXPECT_EQ(again.status, 200);
    EXPECT_EQ(again.body, "already verified\n");

    ASSERT_EQ(update(submission(10, "Bob", 1500, 9)).status, 200);
    for (int i = 0; i < kMaxReplaysPerTransId; ++i) ASSERT_EQ(httpPost(base() + replayTarget("10"), "r").status, 200);
    EXPECT_EQ(httpPost(base() + replayTarget("10"), "r").status, 429);
    for (int i = 0; i < kMaxReplaysPerTransId; ++i) decide(*store, false, "reason " + std::to_string(i));
    EXPECT_EQ(stateOf(*store, "Bob"), Verification::Rejected);
    EXPECT_EQ(reasonOf(*store, "Bob"), "reason 3");
    EXPECT_FALSE(store->claimReplay());
}

TEST_P(VerifyTest, PagesAndJsonSayInWordsWhichScoresAreVerified) {
    ASSERT_EQ(update(submission(1, "Vera", 3000, 9)).status, 200);
    ASSERT_EQ(update(submission(2, "Rex", 2000, 9)).status, 200);
    ASSERT_EQ(update(submission(3, "Pat", 1500, 9)).status, 200);
    ASSERT_EQ(update(submission(4, "Una", 1000, 9)).status, 200);
    ASSERT_EQ(httpPost(base() + replayTarget("1"), "r").status, 200);
    ASSERT_EQ(httpPost(base() + replayTarget("2"), "r").status, 200);
    decide(*store, true);
    decide(*store, false);
    ASSERT_EQ(httpPost(base() + replayTarget("3"), "r").status, 200);

    std::string page = raw("/table?difficulty=easy").body;
    for (const char* word : {">Replay</th>", ">Verified</td>", ">Rejected</td>", ">Being checked</td>", ">Not verified</td>"})
        EXPECT_NE(page.find(word), std::string::npos) << word;
    auto json = nlohmann::json::parse(raw("/api/table?difficulty=easy").body);
    std::vector<std::string> states;
    for (const auto& row : json["rows"]) states.push_back(row["verification"]);
    EXPECT_EQ(states, (std::vector<std::string>{"verified", "rejected", "pending", "unverified"}));
    EXPECT_NE(raw("/player?name=Rex").body.find(">Rejected</td>"), std::string::npos);
    // The game's own table is the same bytes as ever.
    EXPECT_EQ(view(table(10, 9)).body,
              "zorvan\n:1@1;3000~Vera^3[]\n:2@2;2000~Rex^3[]\n:3@3;1500~Pat^3[]\n:4@4;1000~Una^3[]\n");
}

TEST_P(VerifyTest, VerifiedOnlyServesOnlyVerifiedScoresEverywhere) {
    ASSERT_EQ(update(submission(1, "Rex", 5000, 9)).status, 200);
    ASSERT_EQ(update(submission(2, "Vera", 3000, 9)).status, 200);
    ASSERT_EQ(update(submission(3, "Una", 4000, 9)).status, 200);
    ASSERT_EQ(update(submission(4, "Vera", 2500, 8, 2)).status, 200);
    ASSERT_EQ(httpPost(base() + replayTarget("1"), "r").status, 200);
    decide(*store, false);
    ASSERT_EQ(httpPost(base() + replayTarget("2"), "r").status, 200);
    decide(*store, true);
    restartServer([](ScoreServer& s) { s.setVerifiedOnly(true); });

    EXPECT_EQ(view(table(10, 9)).body, "zorvan\n:2@1;3000~Vera^3[]\n");
    EXPECT_EQ(view(table(10, 8)).body, "zorvan\n");
    std::string page = raw("/").body;
    EXPECT_NE(page.find("Only verified scores are listed."), std::string::npos);
    EXPECT_NE(page.find(">Vera</a>"), std::string::npos);
    EXPECT_EQ(page.find(">Rex</a>"), std::string::npos);
    EXPECT_EQ(page.find(">Una</a>"), std::string::npos);
    auto json = nlohmann::json::parse(raw("/api/table?difficulty=easy").body);
    ASSERT_EQ(json["rows"].size(), 1u);
    EXPECT_EQ(json["rows"][0]["name"], "Vera");
    EXPECT_EQ(json["rows"][0]["place"], 1);
    EXPECT_EQ(raw("/player?name=Rex").status, 404);
    std::string vera = raw("/player?name=Vera").body;
    EXPECT_NE(vera.find("<td class=\"num\">3000</td>"), std::string::npos);
    EXPECT_EQ(vera.find("<td class=\"num\">2500</td>"), std::string::npos) << "her unverified game is not listed";

    // A score verified while serving shows up.
    ASSERT_EQ(httpPost(base() + replayTarget("3"), "r").status, 200);
    decide(*store, true);
    EXPECT_EQ(view(table(10, 9)).body, "zorvan\n:3@1;4000~Una^3[]\n:2@2;3000~Vera^3[]\n");
}

TEST_P(VerifyTest, ServersSharingADatabaseNeverClaimTheSameReplay) {
    constexpr int kReplays = 24;
    for (int i = 1; i <= kReplays; ++i) {
        ASSERT_EQ(update(submission(i, "P" + std::to_string(i), 1000 + i, 9)).status, 200);
        ASSERT_EQ(httpPost(base() + replayTarget(std::to_string(i)), "r" + std::to_string(i)).status, 200);
    }
    auto other = GetParam() == "sqlite" ? openSqliteStore(dbUri) : openPostgresStore(dbUri);
    std::mutex mutex;
    std::multiset<std::int32_t> claimed;
    std::vector<std::thread> workers;
    for (int w = 0; w < 6; ++w) {
        workers.emplace_back([&, w] {
            ScoreStore& s = w % 2 ? *store : *other;
            while (auto job = s.claimReplay()) {
                EXPECT_EQ(job->body, "r" + std::to_string(job->transId));
                s.finishReplay(*job, {{job->submissions.at(0).id, true, ""}});
                std::lock_guard lock(mutex);
                claimed.insert(job->transId);
            }
        });
    }
    for (auto& t : workers) t.join();
    ASSERT_EQ(claimed.size(), static_cast<std::size_t>(kReplays));
    for (int i = 1; i <= kReplays; ++i) EXPECT_EQ(claimed.count(i), 1u) << i;
    for (const auto& s : store->all()) EXPECT_EQ(s.verification, Verification::Verified) << s.userName;
    for (const auto& r : store->replays()) EXPECT_EQ(r.attempts, 1);
}

INSTANTIATE_TEST_SUITE_P(Backends, VerifyTest, ::testing::Values("sqlite", "postgresql"), backendName);

// The table as servers before verification made it, with a score in it.
constexpr const char* kOldSqlite = R"sql(
CREATE TABLE submissions (id INTEGER PRIMARY KEY AUTOINCREMENT, trans_id INTEGER NOT NULL, user_name BLOB NOT NULL,
  user_email BLOB NOT NULL, user_country BLOB NOT NULL, points INTEGER NOT NULL, difficulty INTEGER NOT NULL,
  level INTEGER NOT NULL, stats BLOB NOT NULL DEFAULT x'',
  received_at TEXT NOT NULL DEFAULT (strftime('%Y-%m-%dT%H:%M:%fZ', 'now')), UNIQUE (trans_id, user_name));
CREATE INDEX submissions_table ON submissions (difficulty, points DESC, id);
INSERT INTO submissions (trans_id, user_name, user_email, user_country, points, difficulty, level, stats)
  VALUES (41, x'416e6e', x'', x'6e6c', 2500, 9, 6, x'7374617473');
)sql";
constexpr const char* kOldPostgres = R"sql(
CREATE TABLE submissions (id BIGSERIAL PRIMARY KEY, trans_id INTEGER NOT NULL, user_name BYTEA NOT NULL,
  user_email BYTEA NOT NULL, user_country BYTEA NOT NULL, points BIGINT NOT NULL, difficulty SMALLINT NOT NULL,
  level INTEGER NOT NULL, stats BYTEA NOT NULL DEFAULT ''::bytea, received_at TIMESTAMPTZ NOT NULL DEFAULT now(),
  UNIQUE (trans_id, user_name));
INSERT INTO submissions (trans_id, user_name, user_email, user_country, points, difficulty, level, stats)
  VALUES (41, 'Ann', '', 'nl', 2500, 9, 6, 'stats');
)sql";

void expectOldScoreKept(ScoreStore& store) {
    auto all = store.all();
    ASSERT_EQ(all.size(), 1u);
    EXPECT_EQ(all[0].userName, "Ann");
    EXPECT_EQ(all[0].points, 2500);
    EXPECT_EQ(all[0].level, 6);
    EXPECT_EQ(all[0].stats, "stats");
    EXPECT_EQ(all[0].verification, Verification::Unverified);
    EXPECT_EQ(store.addReplay(41, "r"), ReplayResult::Queued);
    EXPECT_EQ(store.all()[0].verification, Verification::Pending);
    EXPECT_EQ(store.top(9, 10).size(), 1u);
}

TEST(VerifyMigration, AnSqliteDatabaseFromBeforeVerificationKeepsItsScores) {
    fs::path dir = fs::temp_directory_path() / ("zorvan-migrate-" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    std::string path = (dir / "old.db").string();
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, kOldSqlite, nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);
    expectOldScoreKept(*openSqliteStore(path));
    // Opening it again finds the columns there.
    EXPECT_EQ(openSqliteStore(path)->all().size(), 1u);
    fs::remove_all(dir);
}

TEST(VerifyMigration, APostgresDatabaseFromBeforeVerificationKeepsItsScores) {
    std::string why;
    testkit::PgCluster* cluster = testkit::PgCluster::shared(why);
    if (!cluster) {
        if (postgresRequired()) FAIL() << why;
        GTEST_SKIP() << why;
    }
    std::string uri = cluster->createDatabase();
    PGconn* pg = PQconnectdb(uri.c_str());
    ASSERT_EQ(PQstatus(pg), CONNECTION_OK);
    PGresult* r = PQexec(pg, kOldPostgres);
    EXPECT_EQ(PQresultStatus(r), PGRES_COMMAND_OK) << PQerrorMessage(pg);
    PQclear(r);
    PQfinish(pg);
    expectOldScoreKept(*openPostgresStore(uri));
    EXPECT_EQ(openPostgresStore(uri)->all().size(), 1u);
}

// --- Verdicts -----------------------------------------------------------------------------

ReplayJob jobOf(std::int32_t transId, const std::string& name, std::int64_t points, int digit, int level) {
    ReplayJob job;
    job.transId = transId;
    StoredSubmission s;
    s.id = 1;
    s.transId = transId;
    s.userName = name;
    s.points = points;
    s.difficulty = digit;
    s.level = level;
    job.submissions.push_back(s);
    return job;
}

ReplayCheck ranWith(std::vector<std::string> urls) {
    ReplayCheck c;
    c.ran = true;
    c.submissionUrls = std::move(urls);
    return c;
}

TEST(Verdicts, OnlyTheSubmissionTheReplayedRunMadeIsVerified) {
    const ReplayJob job = jobOf(4242, "Ann Smith", 1500, 9, 4);
    auto one = [&](const ReplayCheck& c) { return judge(job, c).at(0); };

    EXPECT_TRUE(one(ranWith({submissionUrl(4242, "Ann Smith", 1500, 9, 4)})).verified);
    // Among other requests of the run, and after an earlier submission of another game.
    EXPECT_TRUE(one(ranWith({submissionUrl(17, "Ann Smith", 300, 9, 1), submissionUrl(4242, "Ann Smith", 1500, 9, 4)}))
                    .verified);

    Verdict edited = one(ranWith({submissionUrl(4242, "Ann Smith", 1200, 9, 4)}));
    EXPECT_FALSE(edited.verified);
    EXPECT_EQ(edited.reason,
              "the replayed run submitted 1200 points on difficulty digit 9 at level 4 as \"Ann Smith\", not 1500 "
              "points on difficulty digit 9 at level 4 as \"Ann Smith\"");
    EXPECT_FALSE(one(ranWith({submissionUrl(4242, "Ann Smith", 1500, 8, 4)})).verified);
    EXPECT_FALSE(one(ranWith({submissionUrl(4242, "Ann Smith", 1500, 9, 5)})).verified);
    EXPECT_FALSE(one(ranWith({submissionUrl(4242, "Someone Else", 1500, 9, 4)})).verified);

    Verdict other = one(ranWith({submissionUrl(99, "Ann Smith", 1500, 9, 4)}));
    EXPECT_FALSE(other.verified);
    EXPECT_EQ(other.reason, "the replayed run made no submission with TransID 4242 (it submitted TransID 99)");
    EXPECT_EQ(one(ranWith({})).reason, "the replayed run made no submission with TransID 4242");
    // A request the server would refuse is no submission at all.
    std::string bad = submissionUrl(4242, "Ann Smith", 1500, 9, 4);
    bad.replace(bad.find("UserNameVerify=2038"), 19, "UserNameVerify=2039");
    EXPECT_FALSE(one(ranWith({bad})).verified);

    ReplayCheck carried = ranWith({submissionUrl(4242, "Ann Smith", 1500, 9, 4)});
    carried.pendingAtStart = "15009";
    EXPECT_EQ(one(carried).reason,
              "the score was already pending when the replayed run began; it was not earned in it");
    carried.pendingAtStart = "7009";  // an older score, replaced by the one the run earned
    EXPECT_TRUE(one(carried).verified);

    ReplayCheck misfit = ranWith({submissionUrl(4242, "Ann Smith", 1500, 9, 4)});
    misfit.error = "input 12 answers a request the run never made";
    EXPECT_EQ(one(misfit).reason, "the replay does not fit this game: input 12 answers a request the run never made");
    ReplayCheck crashed;
    crashed.error = "the game core stopped on signal 11 (Segmentation fault)";
    EXPECT_EQ(one(crashed).reason, "the replay could not be played: the game core stopped on signal 11 (Segmentation fault)");
}

TEST(Verdicts, TheChildsReportIsReadStrictly) {
    ReplayCheck c = ranWith({submissionUrl(1, "A", 1000, 9, 2), submissionUrl(2, "B", 2000, 8, 3)});
    c.error = "two\nlines";
    c.pendingAtStart = "10009";
    ReplayCheck back = parseReplayCheck(formatReplayCheck(c));
    EXPECT_TRUE(back.ran);
    EXPECT_EQ(back.error, "two lines");
    EXPECT_EQ(back.pendingAtStart, "10009");
    EXPECT_EQ(back.submissionUrls, c.submissionUrls);

    std::string report = formatReplayCheck(c);
    for (std::size_t cut : {std::size_t{0}, std::size_t{10}, report.size() - 2}) {
        ReplayCheck partial = parseReplayCheck(report.substr(0, cut));
        EXPECT_FALSE(partial.ran) << cut;
        EXPECT_EQ(partial.error, "the replay gave no complete report");
    }
    EXPECT_FALSE(parseReplayCheck("ran 1\nurl x\nend\n").ran);
}

// --- The child process --------------------------------------------------------------------

class ChildTest : public ::testing::Test {
protected:
    // Work folders go to a temporary folder of the test's own, where no other test's are.
    ChildTest() {
        dir_ = fs::temp_directory_path() / ("zorvan-child-" + std::to_string(::getpid()));
        fs::remove_all(dir_);
        fs::create_directories(dir_ / "tmp");
        const char* tmp = std::getenv("TMPDIR");
        if (tmp) oldTmp_ = tmp;
        ::setenv("TMPDIR", (dir_ / "tmp").c_str(), 1);
    }
    ~ChildTest() override {
        if (oldTmp_) ::setenv("TMPDIR", oldTmp_->c_str(), 1);
        else ::unsetenv("TMPDIR");
        fs::remove_all(dir_);
    }

    // A stand-in for the verification child: a shell script with the body given.
    fs::path program(const std::string& body) {
        fs::path p = dir_ / ("child" + std::to_string(++n_));
        std::ofstream(p) << "#!/bin/sh\n" << body << "\n";
        fs::permissions(p, fs::perms::owner_all);
        return p;
    }
    ReplayCheck run(const std::string& body, ChildLimits limits = {}, const std::string& replay = "replay") {
        return runReplayInChild(replay, program(body), dir_ / "game", limits);
    }
    static std::set<std::string> workFolders() {
        std::set<std::string> out;
        for (const auto& e : fs::directory_iterator(fs::temp_directory_path()))
            if (e.path().filename().string().rfind("zorvan-verify-", 0) == 0) out.insert(e.path().string());
        return out;
    }

private:
    fs::path dir_;
    std::optional<std::string> oldTmp_;
    int n_ = 0;
};

TEST_F(ChildTest, TheReplayGoesInOnStdinAndTheReportComesBack) {
    const std::string replay(kMaxReplayBytes, 'q');
    ReplayCheck c = run(R"(n=$(wc -c)
[ "$1" = --verify-replay-child ] && [ "$2" = --game ] && [ "$4" = --work ] && [ -d "$5" ] || exit 3
printf 'zorvan-verify 1\nran 1\nerror got %s bytes in %s\nurl http://h/update_zelk.php?x\nend\n' "$n" "${3##*/}")",
                        {}, replay);
    EXPECT_TRUE(c.ran);
    EXPECT_EQ(c.error, "got " + std::to_string(kMaxReplayBytes) + " bytes in game");
    EXPECT_EQ(c.submissionUrls, std::vector<std::string>{"http://h/update_zelk.php?x"});
}

TEST_F(ChildTest, AChildThatHangsCrashesSpinsOrFloodsIsStoppedWithAReason) {
    ChildLimits quick;
    quick.cpuSeconds = 1;
    quick.wallSeconds = 2;
    EXPECT_EQ(run("sleep 60", quick).error, "it ran longer than 2 s");
    EXPECT_EQ(run("kill -SEGV $$", quick).error, "the game core stopped on signal 11 (Segmentation fault)");
    ChildLimits cpu;
    cpu.cpuSeconds = 1;
    cpu.wallSeconds = 30;
    EXPECT_EQ(run("while :; do :; done", cpu).error, "it used more than 1 s of processor time");
    EXPECT_EQ(run("exec yes zorvan-verify", quick).error, "it wrote more than a report");
    EXPECT_EQ(run("printf 'zorvan-verify 1\\nran 1\\n'; exit 0", quick).error, "the replay gave no complete report");
    EXPECT_EQ(run("exit 4", quick).error, "the replay ended with status 4");
    ChildLimits small;
    small.memoryBytes = 64u << 20;
    ReplayCheck greedy = run("x=$(head -c 200000000 /dev/zero | tr '\\0' a); echo ${#x}", small);
    EXPECT_FALSE(greedy.ran);
    EXPECT_FALSE(greedy.error.empty());
    EXPECT_EQ(run("/nonexistent/program").error, "the replay ended with status 127");
    EXPECT_TRUE(workFolders().empty()) << "every work folder is removed";
}

TEST_F(ChildTest, StoppingTheServerStopsTheChildAtOnce) {
    std::atomic<bool> cancel{false};
    ChildLimits limits;
    limits.cancel = &cancel;
    std::thread stopper([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        cancel = true;
    });
    ReplayCheck c = run("sleep 60", limits);
    stopper.join();
    EXPECT_TRUE(c.cancelled);
}

// A server that claimed a replay and died: the claim goes stale and another takes it up; a
// replay that never gets a verdict after three claims is rejected instead of blocking.
TEST(VerifierWorkers, StaleClaimsAreTakenUpAgainAndGivenUpAfterThree) {
    fs::path dir = fs::temp_directory_path() / ("zorvan-stale-" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    const std::string path = (dir / "s.db").string();
    auto store = openSqliteStore(path);
    store->add({8, "Ann", "", "nl", 1500, 9, 2});
    ASSERT_EQ(store->addReplay(8, "r"), ReplayResult::Queued);
    auto age = [&] {  // as if the claim had been made long ago
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
        sqlite3_busy_timeout(db, 5000);
        ASSERT_EQ(sqlite3_exec(db, "UPDATE replays SET claimed_at = claimed_at - 601", nullptr, nullptr, nullptr), SQLITE_OK);
        sqlite3_close(db);
    };
    for (int attempt = 1; attempt <= kMaxVerifyAttempts; ++attempt) {
        auto job = store->claimReplay();
        ASSERT_TRUE(job) << attempt;
        EXPECT_EQ(job->attempts, attempt);
        EXPECT_FALSE(store->claimReplay()) << "a fresh claim is respected";
        age();
    }
    int runs = 0;
    Verifier verifier(*store, [&](const std::string&) {
        ++runs;
        return ReplayCheck{};
    });
    EXPECT_TRUE(verifier.verifyOne());
    EXPECT_EQ(runs, 0);
    EXPECT_EQ(store->all()[0].verification, Verification::Rejected);
    EXPECT_EQ(store->all()[0].verifyReason, "the verification was interrupted 3 times");
    EXPECT_FALSE(verifier.verifyOne());
    store.reset();
    fs::remove_all(dir);
}

// The worker threads take what is queued, including what another server queued, and write
// the verdicts and the operator's log line.
TEST(VerifierWorkers, QueuedReplaysAreVerifiedOnceEach) {
    fs::path dir = fs::temp_directory_path() / ("zorvan-workers-" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    auto store = openSqliteStore((dir / "s.db").string());
    for (int i = 1; i <= 6; ++i) {
        store->add({i, "P" + std::to_string(i), "", "nl", 1000 + i, 9, 2});
        ASSERT_EQ(store->addReplay(i, i % 2 ? "good" : "bad"), ReplayResult::Queued);
    }
    std::mutex mutex;
    std::vector<std::string> lines;
    std::atomic<int> runs{0};
    Verifier verifier(
        *store,
        [&](const std::string& body) {
            ++runs;
            ReplayCheck c;
            c.ran = true;
            if (body == "good") {
                auto job = store->all();
                for (const auto& s : job)
                    if (s.verification == Verification::Pending)
                        c.submissionUrls.push_back(submissionUrl(s.transId, s.userName, s.points, s.difficulty, s.level));
            }
            return c;
        },
        [&](std::string_view line) {
            std::lock_guard lock(mutex);
            lines.emplace_back(line);
        });
    verifier.start(2);
    verifier.wake();
    for (int i = 0; i < 500 && store->replays().size() == 6; ++i) {
        bool allDone = true;
        for (const auto& r : store->replays()) allDone = allDone && r.done;
        if (allDone) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    verifier.stop();
    EXPECT_EQ(runs, 6);
    for (const auto& s : store->all())
        EXPECT_EQ(s.verification, s.transId % 2 ? Verification::Verified : Verification::Rejected) << s.transId;
    std::lock_guard lock(mutex);
    ASSERT_EQ(lines.size(), 6u);
    std::set<std::string> sorted(lines.begin(), lines.end());
    EXPECT_TRUE(sorted.count("verify TransID 1 P1 1001 points: verified"));
    EXPECT_TRUE(sorted.count("verify TransID 2 P2 1002 points: rejected: the replayed run made no submission with TransID 2"));
    store.reset();
    fs::remove_all(dir);
}

}  // namespace
}  // namespace zorvan::scores::test
