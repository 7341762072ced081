// The SQLite backend: one database file in WAL mode, so table requests read while a
// submission writes. Text columns hold BLOBs: names are arbitrary bytes, not UTF-8.

#include <sqlite3.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>

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
)sql";

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
            " FROM submissions WHERE difficulty = ?1 ORDER BY points DESC, id ASC LIMIT ?2 OFFSET ?3").c_str());
        best = std::make_unique<Statement>(db, (std::string(
            "SELECT difficulty, points, level, user_country, date, id FROM ("
            "  SELECT difficulty, points, level, user_country, ") + kDate + " AS date, id,"
            "  row_number() OVER (PARTITION BY difficulty ORDER BY points DESC, id ASC) AS rank"
            "  FROM submissions WHERE user_name = ?1)"
            " WHERE rank = 1 ORDER BY difficulty DESC").c_str());
        placeOf = std::make_unique<Statement>(db,
            "SELECT count(*) + 1 FROM submissions WHERE difficulty = ?1 AND (points > ?2 OR (points = ?2 AND id < ?3))");
        recent = std::make_unique<Statement>(db, (std::string(
            "SELECT difficulty, points, level, user_country, ") + kDate +
            " FROM submissions WHERE user_name = ?1 ORDER BY id DESC LIMIT ?2").c_str());
        everything = std::make_unique<Statement>(db,
            "SELECT id, trans_id, user_name, user_email, user_country, points, difficulty, level, stats"
            " FROM submissions ORDER BY id");
        dataVersion = std::make_unique<Statement>(db, "PRAGMA data_version");
        beginWrite = std::make_unique<Statement>(db, "BEGIN IMMEDIATE");
        commit = std::make_unique<Statement>(db, "COMMIT");
        rollback = std::make_unique<Statement>(db, "ROLLBACK");
    }
    ~Connection() {
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

    sqlite3* db = nullptr;
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
        st.bind(1, difficulty).bind(2, count).bind(3, offset);
        std::vector<TableRow> rows;
        while (st.step())
            rows.push_back({static_cast<std::int32_t>(st.integer(0)), st.integer(1), st.blob(2),
                            static_cast<std::int32_t>(st.integer(3)), st.blob(4), st.blob(5)});
        st.done();
        return rows;
    }

    std::vector<PlayerGame> playerBest(const std::string& userName) override {
        auto c = pool_.take();
        std::vector<PlayerGame> games;
        std::vector<std::int64_t> ids;
        Statement& st = c->best->begin();
        st.bindBlob(1, userName);
        while (st.step()) {
            games.push_back(game(st));
            ids.push_back(st.integer(5));
        }
        st.done();
        for (std::size_t i = 0; i < games.size(); ++i) {
            Statement& p = c->placeOf->begin();
            p.bind(1, games[i].difficulty).bind(2, games[i].points).bind(3, ids[i]);
            if (p.step()) games[i].place = p.integer(0);
            p.done();
        }
        return games;
    }

    std::vector<PlayerGame> playerRecent(const std::string& userName, int count) override {
        auto c = pool_.take();
        std::vector<PlayerGame> games;
        Statement& st = c->recent->begin();
        st.bindBlob(1, userName).bind(2, count);
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
        while (st.step()) {
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
            out.push_back(std::move(s));
        }
        st.done();
        return out;
    }

    std::string backendName() const override { return "sqlite"; }

private:
    static PlayerGame game(Statement& st) {
        return {static_cast<int>(st.integer(0)), st.integer(1), static_cast<std::int32_t>(st.integer(2)), st.blob(3),
                st.blob(4), 0};
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
