// The SQLite backend: one database file in WAL mode, so table requests read while a
// submission writes. Text columns hold BLOBs: names are arbitrary bytes, not UTF-8.

#include <sqlite3.h>

#include <atomic>
#include <chrono>
#include <ctime>
#include <map>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <type_traits>

#include "connection_pool.h"
#include "score_store.h"

namespace zorvan::scores {
namespace {

constexpr const char* kSchema = R"sql(
CREATE TABLE IF NOT EXISTS submissions (
    id           INTEGER PRIMARY KEY AUTOINCREMENT,
    trans_id     INTEGER NOT NULL,
    user_name    BLOB    NOT NULL,
    user_email   BLOB    NOT NULL,
    user_country BLOB    NOT NULL,
    points       INTEGER NOT NULL,
    difficulty   INTEGER NOT NULL,
    level        INTEGER NOT NULL,
    stats        BLOB    NOT NULL DEFAULT x'',
    received_at  TEXT    NOT NULL DEFAULT (strftime('%Y-%m-%dT%H:%M:%fZ', 'now')),
    UNIQUE (trans_id, user_name)
);
CREATE INDEX IF NOT EXISTS submissions_table ON submissions (difficulty, points DESC, id);
CREATE INDEX IF NOT EXISTS submissions_player ON submissions (user_name, id);
CREATE TABLE IF NOT EXISTS replays (
    id           INTEGER PRIMARY KEY AUTOINCREMENT,
    trans_id     INTEGER NOT NULL,
    body         BLOB    NOT NULL,
    done         INTEGER NOT NULL DEFAULT 0,
    claimed_at   INTEGER,
    attempts     INTEGER NOT NULL DEFAULT 0,
    outcome      BLOB    NOT NULL DEFAULT x'',
    received_at  TEXT    NOT NULL DEFAULT (strftime('%Y-%m-%dT%H:%M:%fZ', 'now'))
);
CREATE INDEX IF NOT EXISTS replays_queue ON replays (done, id);
CREATE INDEX IF NOT EXISTS replays_trans ON replays (trans_id);
)sql";

// Databases made before verification have submissions without its columns; adding them
// keeps every row, each unverified.
constexpr const char* kVerificationColumns[][2] = {
    {"verification", "ALTER TABLE submissions ADD COLUMN verification INTEGER NOT NULL DEFAULT 0"},
    {"verify_reason", "ALTER TABLE submissions ADD COLUMN verify_reason BLOB NOT NULL DEFAULT x''"},
};

// ?N = 0 shows every score; otherwise verified ones only.
#define ZORVAN_SHOWN(n) " AND (" n " = 0 OR verification = 2)"
// The columns a StoredSubmission is read from, in submissionRow's order.
#define ZORVAN_SUBMISSION_COLUMNS \
    "id, trans_id, user_name, user_email, user_country, points, difficulty, level, stats, verification, verify_reason"

constexpr const char* kDate = "strftime('%Y-%m-%dT%H:%M:%SZ', received_at)";

[[noreturn]] void fail(sqlite3* db, const std::string& what) {
    throw std::runtime_error("sqlite: " + what + ": " + (db ? sqlite3_errmsg(db) : "out of memory"));
}

class Statement {
public:
    Statement(sqlite3* db, const char* sql) : db_(db) {
        if (sqlite3_prepare_v3(db, sql, -1, SQLITE_PREPARE_PERSISTENT, &stmt_, nullptr) != SQLITE_OK)
            fail(db, std::string("prepare ") + sql);
    }
    ~Statement() { sqlite3_finalize(stmt_); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    // Resets and clears the bindings of the previous use.
    Statement& begin() {
        sqlite3_reset(stmt_);
        sqlite3_clear_bindings(stmt_);
        return *this;
    }
    Statement& bind(int i, std::int64_t v) {
        check(sqlite3_bind_int64(stmt_, i, v));
        return *this;
    }
    Statement& bindBlob(int i, const std::string& v) {
        // A zero-length blob must still be a blob, not NULL.
        check(v.empty() ? sqlite3_bind_zeroblob(stmt_, i, 0)
                        : sqlite3_bind_blob64(stmt_, i, v.data(), v.size(), SQLITE_TRANSIENT));
        return *this;
    }
    Statement& bindText(int i, const char* v) {
        check(sqlite3_bind_text(stmt_, i, v, -1, SQLITE_TRANSIENT));
        return *this;
    }
    // True while a row is there.
    bool step() {
        int rc = sqlite3_step(stmt_);
        if (rc == SQLITE_ROW) return true;
        if (rc == SQLITE_DONE) return false;
        fail(db_, "step");
    }
    std::int64_t integer(int col) { return sqlite3_column_int64(stmt_, col); }
    std::string blob(int col) {
        const void* p = sqlite3_column_blob(stmt_, col);
        int n = sqlite3_column_bytes(stmt_, col);
        return p ? std::string(static_cast<const char*>(p), static_cast<std::size_t>(n)) : std::string();
    }
    // Leaves the statement reset so it holds no read lock between requests.
    void done() { sqlite3_reset(stmt_); }

private:
    void check(int rc) {
        if (rc != SQLITE_OK) fail(db_, "bind");
    }
    sqlite3* db_;
    sqlite3_stmt* stmt_ = nullptr;
};

struct Connection {
    explicit Connection(const std::string& path) {
        int rc = sqlite3_open_v2(path.c_str(), &db,
                                 SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
        if (rc != SQLITE_OK) {
            std::string why = db ? sqlite3_errmsg(db) : "out of memory";
            sqlite3_close(db);
            throw std::runtime_error("sqlite: cannot open " + path + ": " + why);
        }
        sqlite3_busy_timeout(db, 5000);
        exec("PRAGMA journal_mode=WAL");
        exec("PRAGMA synchronous=NORMAL");
        exec(kSchema);
        migrate();
        insert = std::make_unique<Statement>(db,
            "INSERT INTO submissions (trans_id, user_name, user_email, user_country, points, difficulty, level)"
            " VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7) ON CONFLICT (trans_id, user_name) DO NOTHING");
        findLatest = std::make_unique<Statement>(db,
            "SELECT id, length(stats) FROM submissions WHERE trans_id = ?1 AND points = ?2 AND difficulty = ?3"
            " ORDER BY id DESC LIMIT 1");
        append = std::make_unique<Statement>(db,
            "UPDATE submissions SET stats = CAST(stats || ?2 AS BLOB) WHERE id = ?1");
        table = std::make_unique<Statement>(db, (std::string(
            "SELECT trans_id, points, user_name, level, user_country, ") + kDate +
            ", verification FROM submissions WHERE difficulty = ?1" ZORVAN_SHOWN("?4") " ORDER BY points DESC, id ASC LIMIT ?2 OFFSET ?3").c_str());
        best = std::make_unique<Statement>(db, (std::string(
            "SELECT difficulty, points, level, user_country, date, verification, id FROM ("
            "  SELECT difficulty, points, level, user_country, ") + kDate + " AS date, verification, id,"
            "  row_number() OVER (PARTITION BY difficulty ORDER BY points DESC, id ASC) AS rank"
            "  FROM submissions WHERE user_name = ?1" ZORVAN_SHOWN("?2") ")"
            " WHERE rank = 1 ORDER BY difficulty DESC").c_str());
        placeOf = std::make_unique<Statement>(db,
            "SELECT count(*) + 1 FROM submissions WHERE difficulty = ?1 AND (points > ?2 OR (points = ?2 AND id < ?3))"
            ZORVAN_SHOWN("?4"));
        recent = std::make_unique<Statement>(db, (std::string(
            "SELECT difficulty, points, level, user_country, ") + kDate +
            ", verification FROM submissions WHERE user_name = ?1" ZORVAN_SHOWN("?3") " ORDER BY id DESC LIMIT ?2").c_str());
        everything = std::make_unique<Statement>(db, "SELECT " ZORVAN_SUBMISSION_COLUMNS " FROM submissions ORDER BY id");
        dataVersion = std::make_unique<Statement>(db, "PRAGMA data_version");
        beginWrite = std::make_unique<Statement>(db, "BEGIN IMMEDIATE");
        commit = std::make_unique<Statement>(db, "COMMIT");
        rollback = std::make_unique<Statement>(db, "ROLLBACK");
    }
    ~Connection() {
        statements.clear();
        insert.reset();
        findLatest.reset();
        append.reset();
        table.reset();
        best.reset();
        placeOf.reset();
        recent.reset();
        everything.reset();
        dataVersion.reset();
        beginWrite.reset();
        commit.reset();
        rollback.reset();
        sqlite3_close(db);
    }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    void exec(const char* sql) {
        char* err = nullptr;
        if (sqlite3_exec(db, sql, nullptr, nullptr, &err) != SQLITE_OK) {
            std::string why = err ? err : "unknown error";
            sqlite3_free(err);
            throw std::runtime_error(std::string("sqlite: ") + why);
        }
    }

    // The statements of the replay queue, prepared on first use.
    Statement& st(const char* sql) {
        auto& p = statements[sql];
        if (!p) p = std::make_unique<Statement>(db, sql);
        return p->begin();
    }

    void migrate() {
        bool missing = false;
        for (const auto& column : kVerificationColumns) missing = missing || !hasColumn(column[0]);
        if (!missing) return;
        // Another server opening the same file may be migrating too: one write lock, and each
        // column checked again under it.
        exec("BEGIN IMMEDIATE");
        try {
            for (const auto& column : kVerificationColumns)
                if (!hasColumn(column[0])) exec(column[1]);
            exec("COMMIT");
        } catch (...) {
            sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
            throw;
        }
    }

    bool hasColumn(const char* name) {
        Statement info(db, "SELECT count(*) FROM pragma_table_info('submissions') WHERE name = ?1");
        info.begin().bindText(1, name);
        bool found = info.step() && info.integer(0) > 0;
        info.done();
        return found;
    }

    sqlite3* db = nullptr;
    std::map<const char*, std::unique_ptr<Statement>> statements;
    std::unique_ptr<Statement> insert, findLatest, append, table, best, placeOf, recent, everything, dataVersion, beginWrite, commit, rollback;
};

class SqliteStore final : public ScoreStore {
public:
    explicit SqliteStore(std::string path)
        : path_(std::move(path)),
          pool_(std::max(4u, std::thread::hardware_concurrency()) + 8,
                [this] { return std::make_unique<Connection>(path_); }) {
        pool_.warmUp();
    }

    AddResult add(const Submission& s) override {
        auto c = pool_.take();
        Statement& st = c->insert->begin();
        st.bind(1, s.transId).bindBlob(2, s.userName).bindBlob(3, s.userEmail).bindBlob(4, s.userCountry);
        st.bind(5, s.points).bind(6, s.difficulty).bind(7, s.level);
        st.step();
        st.done();
        if (sqlite3_changes(c->db) != 1) return AddResult::Duplicate;
        ++stored_;
        return AddResult::Stored;
    }

    AppendResult appendStats(std::int32_t transId, std::int64_t points, int difficulty,
                             const std::string& piece) override {
        auto c = pool_.take();
        // The length check and the append belong to one write transaction, so two pieces
        // arriving at once cannot both pass the check.
        c->beginWrite->begin().step();
        try {
            Statement& find = c->findLatest->begin();
            find.bind(1, transId).bind(2, points).bind(3, difficulty);
            if (!find.step()) {
                find.done();
                finish(*c, false);
                return AppendResult::NoSuchSubmission;
            }
            std::int64_t id = find.integer(0);
            auto have = static_cast<std::size_t>(find.integer(1));
            find.done();
            if (have + piece.size() > kMaxStatsBytes) {
                finish(*c, false);
                return AppendResult::TooLong;
            }
            c->append->begin().bind(1, id).bindBlob(2, piece).step();
            c->append->done();
            finish(*c, true);
            return AppendResult::Appended;
        } catch (...) {
            try {
                finish(*c, false);
            } catch (...) {
                c.discard();
            }
            throw;
        }
    }

    std::vector<TableRow> page(int difficulty, std::int64_t offset, int count) override {
        auto c = pool_.take();
        Statement& st = c->table->begin();
        st.bind(1, difficulty).bind(2, count).bind(3, offset).bind(4, verifiedOnly_ ? 1 : 0);
        std::vector<TableRow> rows;
        while (st.step())
            rows.push_back({static_cast<std::int32_t>(st.integer(0)), st.integer(1), st.blob(2),
                            static_cast<std::int32_t>(st.integer(3)), st.blob(4), st.blob(5),
                            verificationOf(st.integer(6))});
        st.done();
        return rows;
    }

    std::vector<PlayerGame> playerBest(const std::string& userName) override {
        auto c = pool_.take();
        std::vector<PlayerGame> games;
        std::vector<std::int64_t> ids;
        Statement& st = c->best->begin();
        st.bindBlob(1, userName).bind(2, verifiedOnly_ ? 1 : 0);
        while (st.step()) {
            games.push_back(game(st));
            ids.push_back(st.integer(6));
        }
        st.done();
        for (std::size_t i = 0; i < games.size(); ++i) {
            Statement& p = c->placeOf->begin();
            p.bind(1, games[i].difficulty).bind(2, games[i].points).bind(3, ids[i]).bind(4, verifiedOnly_ ? 1 : 0);
            if (p.step()) games[i].place = p.integer(0);
            p.done();
        }
        return games;
    }

    std::vector<PlayerGame> playerRecent(const std::string& userName, int count) override {
        auto c = pool_.take();
        std::vector<PlayerGame> games;
        Statement& st = c->recent->begin();
        st.bindBlob(1, userName).bind(2, count).bind(3, verifiedOnly_ ? 1 : 0);
        while (st.step()) games.push_back(game(st));
        st.done();
        return games;
    }

    std::uint64_t changeStamp() override {
        // Submissions stored here move the stamp at once. Those of another program on the
        // same file show in "PRAGMA data_version" of a connection of our own, which changes
        // with every commit made through any other connection; asking it takes a lock, so it
        // is asked at most every 50 ms, by one request at a time.
        auto now = std::chrono::steady_clock::now().time_since_epoch().count();
        if (now - lastVersionCheck_.load() >= kVersionCheckEvery && versionMutex_.try_lock()) {
            std::lock_guard lock(versionMutex_, std::adopt_lock);
            lastVersionCheck_ = now;
            Statement& st = version_->dataVersion->begin();
            std::int64_t v = st.step() ? st.integer(0) : 0;
            st.done();
            if (v != lastDataVersion_) {
                lastDataVersion_ = v;
                ++outside_;
            }
        }
        return (stored_.load() << 32) + outside_.load();
    }

    std::vector<StoredSubmission> all() override {
        auto c = pool_.take();
        Statement& st = c->everything->begin();
        std::vector<StoredSubmission> out;
        while (st.step()) out.push_back(submissionRow(st));
        st.done();
        return out;
    }

    // A row of ZORVAN_SUBMISSION_COLUMNS.
    static StoredSubmission submissionRow(Statement& st) {
        StoredSubmission s;
        s.id = st.integer(0);
        s.transId = static_cast<std::int32_t>(st.integer(1));
        s.userName = st.blob(2);
        s.userEmail = st.blob(3);
        s.userCountry = st.blob(4);
        s.points = st.integer(5);
        s.difficulty = static_cast<int>(st.integer(6));
        s.level = static_cast<std::int32_t>(st.integer(7));
        s.stats = st.blob(8);
        s.verification = verificationOf(st.integer(9));
        s.verifyReason = st.blob(10);
        return s;
    }

    void setVerifiedOnly(bool on) override { verifiedOnly_ = on; }

    ReplayResult addReplay(std::int32_t transId, const std::string& body) override {
        return writing([&](Connection& c) {
            Statement& subs = c.st("SELECT count(*), coalesce(min(verification = 2), 0) FROM submissions WHERE trans_id = ?1");
            subs.bind(1, transId).step();
            std::int64_t n = subs.integer(0);
            bool allVerified = subs.integer(1) != 0;
            subs.done();
            if (n == 0) return std::pair(false, ReplayResult::NoSuchSubmission);
            if (allVerified) return std::pair(false, ReplayResult::AlreadyVerified);
            Statement& count = c.st("SELECT count(*) FROM replays WHERE trans_id = ?1");
            count.bind(1, transId).step();
            std::int64_t kept = count.integer(0);
            count.done();
            if (kept >= kMaxReplaysPerTransId) return std::pair(false, ReplayResult::TooMany);
            Statement& ins = c.st("INSERT INTO replays (trans_id, body) VALUES (?1, ?2)");
            ins.bind(1, transId).bindBlob(2, body).step();
            ins.done();
            Statement& mark = c.st("UPDATE submissions SET verification = 1 WHERE trans_id = ?1 AND verification <> 2");
            mark.bind(1, transId).step();
            mark.done();
            return std::pair(true, ReplayResult::Queued);
        });
    }

    std::optional<ReplayJob> claimReplay() override {
        return writing([&](Connection& c) {
            std::int64_t now = static_cast<std::int64_t>(std::time(nullptr));
            Statement& next = c.st(
                "SELECT id, trans_id, body, attempts FROM replays WHERE done = 0"
                " AND (claimed_at IS NULL OR claimed_at < ?1) ORDER BY id LIMIT 1");
            if (!next.bind(1, now - kStaleClaimSeconds).step()) {
                next.done();
                return std::pair(false, std::optional<ReplayJob>());
            }
            ReplayJob job;
            job.id = next.integer(0);
            job.transId = static_cast<std::int32_t>(next.integer(1));
            job.body = next.blob(2);
            job.attempts = static_cast<int>(next.integer(3)) + 1;
            next.done();
            Statement& claim = c.st("UPDATE replays SET claimed_at = ?2, attempts = attempts + 1 WHERE id = ?1");
            claim.bind(1, job.id).bind(2, now).step();
            claim.done();
            Statement& subs = c.st("SELECT " ZORVAN_SUBMISSION_COLUMNS " FROM submissions WHERE trans_id = ?1 ORDER BY id");
            subs.bind(1, job.transId);
            while (subs.step()) job.submissions.push_back(submissionRow(subs));
            subs.done();
            return std::pair(true, std::optional<ReplayJob>(std::move(job)));
        });
    }

    void finishReplay(const ReplayJob& job, const std::vector<Verdict>& verdicts) override {
        writing([&](Connection& c) {
            Statement& done = c.st("UPDATE replays SET done = 1, outcome = ?2 WHERE id = ?1");
            done.bind(1, job.id).bindBlob(2, replayOutcome(verdicts)).step();
            done.done();
            for (const Verdict& v : verdicts) {
                if (v.verified) {
                    Statement& ok = c.st("UPDATE submissions SET verification = 2, verify_reason = x'' WHERE id = ?1");
                    ok.bind(1, v.submissionId).step();
                    ok.done();
                } else {
                    Statement& no = c.st(
                        "UPDATE submissions SET verification = 3, verify_reason = ?2 WHERE id = ?1 AND verification <> 2"
                        " AND NOT EXISTS (SELECT 1 FROM replays WHERE trans_id = ?3 AND done = 0)");
                    no.bind(1, v.submissionId).bindBlob(2, v.reason).bind(3, job.transId).step();
                    no.done();
                }
            }
            return std::pair(true, 0);
        });
    }

    std::vector<StoredReplay> replays() override {
        auto c = pool_.take();
        Statement& st = c->st("SELECT id, trans_id, length(body), done, attempts, outcome FROM replays ORDER BY id");
        std::vector<StoredReplay> out;
        while (st.step())
            out.push_back({st.integer(0), static_cast<std::int32_t>(st.integer(1)), static_cast<std::size_t>(st.integer(2)),
                           st.integer(3) != 0, static_cast<int>(st.integer(4)), st.blob(5)});
        st.done();
        return out;
    }

    std::string backendName() const override { return "sqlite"; }

private:
    static PlayerGame game(Statement& st) {
        return {static_cast<int>(st.integer(0)), st.integer(1), static_cast<std::int32_t>(st.integer(2)), st.blob(3),
                st.blob(4), 0, verificationOf(st.integer(5))};
    }

    // `f` runs in one write transaction and returns {changed, result}; what changed moves
    // the change stamp, as a submission does.
    template <class F>
    typename std::invoke_result_t<F, Connection&>::second_type writing(F&& f) {
        auto c = pool_.take();
        c->beginWrite->begin().step();
        try {
            auto [changed, result] = f(*c);
            finish(*c, true);
            if (changed) ++stored_;
            return result;
        } catch (...) {
            try {
                finish(*c, false);
            } catch (...) {
                c.discard();
            }
            throw;
        }
    }

    static void finish(Connection& c, bool keep) {
        Statement& st = keep ? *c.commit : *c.rollback;
        st.begin().step();
        st.done();
    }

    std::string path_;
    ConnectionPool<Connection> pool_;
    static constexpr std::chrono::steady_clock::rep kVersionCheckEvery =
        std::chrono::duration_cast<std::chrono::steady_clock::duration>(std::chrono::milliseconds(50)).count();
    std::atomic<std::uint64_t> stored_{0};
    std::atomic<bool> verifiedOnly_{false};
    std::mutex versionMutex_;
    std::unique_ptr<Connection> version_ = std::make_unique<Connection>(path_);
    std::atomic<std::chrono::steady_clock::rep> lastVersionCheck_{0};
    std::int64_t lastDataVersion_ = -1;
    std::atomic<std::uint64_t> outside_{0};
};

}  // namespace

std::unique_ptr<ScoreStore> openSqliteStore(const std::string& path) {
    return std::make_unique<SqliteStore>(path);
}

}  // namespace zorvan::scores
