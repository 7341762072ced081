// The PostgreSQL backend, for a table that outgrows one machine. Names travel as bytea in
// binary form, so every byte value is kept; numbers go out as text and come back binary.

#include <libpq-fe.h>

#include <arpa/inet.h>
#include <endian.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <ctime>
#include <stdexcept>
#include <string>
#include <thread>
#include <type_traits>
#include <utility>
#include <vector>

#include "connection_pool.h"
#include "score_store.h"

namespace zorvan::scores {
namespace {

// One statement at a time, each its own transaction: DDL takes strong locks even when there
// is nothing to do, and held together they could deadlock with a running server's queries.
constexpr const char* kSchema[] = {
    R"sql(CREATE TABLE IF NOT EXISTS submissions (
    id           BIGSERIAL PRIMARY KEY,
    trans_id     INTEGER   NOT NULL,
    user_name    BYTEA     NOT NULL,
    user_email   BYTEA     NOT NULL,
    user_country BYTEA     NOT NULL,
    points       BIGINT    NOT NULL,
    difficulty   SMALLINT  NOT NULL,
    level        INTEGER   NOT NULL,
    stats        BYTEA     NOT NULL DEFAULT ''::bytea,
    received_at  TIMESTAMPTZ NOT NULL DEFAULT now(),
    UNIQUE (trans_id, user_name)
))sql",
    R"sql(CREATE INDEX IF NOT EXISTS submissions_table ON submissions (difficulty, points DESC, id))sql",
    R"sql(CREATE INDEX IF NOT EXISTS submissions_player ON submissions (user_name, id))sql",
    R"sql(ALTER TABLE submissions ADD COLUMN IF NOT EXISTS verification SMALLINT NOT NULL DEFAULT 0)sql",
    R"sql(ALTER TABLE submissions ADD COLUMN IF NOT EXISTS verify_reason BYTEA NOT NULL DEFAULT ''::bytea)sql",
    R"sql(CREATE TABLE IF NOT EXISTS replays (
    id           BIGSERIAL PRIMARY KEY,
    trans_id     INTEGER   NOT NULL,
    body         BYTEA     NOT NULL,
    done         BOOLEAN   NOT NULL DEFAULT false,
    claimed_at   BIGINT,
    attempts     INTEGER   NOT NULL DEFAULT 0,
    outcome      BYTEA     NOT NULL DEFAULT ''::bytea,
    received_at  TIMESTAMPTZ NOT NULL DEFAULT now()
))sql",
    R"sql(CREATE INDEX IF NOT EXISTS replays_queue ON replays (id) WHERE NOT done)sql",
    R"sql(CREATE INDEX IF NOT EXISTS replays_trans ON replays (trans_id))sql",
};

// Whether the last piece of the schema is there: then all of it is, and no DDL runs.
constexpr const char* kSchemaComplete =
    "SELECT 1 WHERE to_regclass('replays_trans') IS NOT NULL AND EXISTS (SELECT 1 FROM information_schema.columns"
    " WHERE table_schema = current_schema() AND table_name = 'submissions' AND column_name = 'verify_reason')";

// $N = 0 shows every score; otherwise verified ones only.
#define ZORVAN_SHOWN(n) " AND (" n "::integer = 0 OR verification = 2)"

#define ZORVAN_DATE "to_char(received_at AT TIME ZONE 'UTC', 'YYYY-MM-DD\"T\"HH24:MI:SS\"Z\"')"


// Serialises schema creation between servers starting at once on one database.
constexpr const char* kSchemaLock = "SELECT pg_advisory_lock(4817251)";
constexpr const char* kSchemaUnlock = "SELECT pg_advisory_unlock(4817251)";

struct Result {
    PGresult* r;
    explicit Result(PGresult* r) : r(r) {}
    ~Result() { PQclear(r); }
    Result(const Result&) = delete;
    Result& operator=(const Result&) = delete;

    int rows() const { return PQntuples(r); }
    std::string bytes(int row, int col) const {
        return std::string(PQgetvalue(r, row, col), static_cast<std::size_t>(PQgetlength(r, row, col)));
    }
    std::int64_t integer(int row, int col) const {
        const char* p = PQgetvalue(r, row, col);
        switch (PQgetlength(r, row, col)) {
        case 2: {
            std::uint16_t v;
            std::memcpy(&v, p, 2);
            return static_cast<std::int16_t>(ntohs(v));
        }
        case 4: {
            std::uint32_t v;
            std::memcpy(&v, p, 4);
            return static_cast<std::int32_t>(ntohl(v));
        }
        case 8: {
            std::uint64_t v;
            std::memcpy(&v, p, 8);
            return static_cast<std::int64_t>(be64toh(v));
        }
        default:
            throw std::runtime_error("postgres: unexpected integer width");
        }
    }
};

struct Param {
    std::string value;
    bool binary = false;
};
Param num(std::int64_t v) { return {std::to_string(v), false}; }
Param raw(const std::string& v) { return {v, true}; }

struct Statement {
    const char* name;
    const char* sql;
    int params;
};

const Statement kInsert{"insert",
    "INSERT INTO submissions (trans_id, user_name, user_email, user_country, points, difficulty, level)"
    " VALUES ($1::integer, $2::bytea, $3::bytea, $4::bytea, $5::bigint, $6::smallint, $7::integer)"
    " ON CONFLICT (trans_id, user_name) DO NOTHING",
    7};
const Statement kAppend{"append",
    "UPDATE submissions SET stats = stats || $4::bytea"
    " WHERE id = (SELECT id FROM submissions WHERE trans_id = $1::integer AND points = $2::bigint"
    "             AND difficulty = $3::smallint ORDER BY id DESC LIMIT 1)"
    " AND octet_length(stats) + octet_length($4::bytea) <= $5::integer RETURNING id",
    5};
const Statement kExists{"exists",
    "SELECT id FROM submissions WHERE trans_id = $1::integer AND points = $2::bigint"
    " AND difficulty = $3::smallint LIMIT 1",
    3};
const Statement kTable{"table",
    "SELECT trans_id, points, user_name, level, user_country, " ZORVAN_DATE ", verification"
    " FROM submissions WHERE difficulty = $1::smallint" ZORVAN_SHOWN("$4")
    " ORDER BY points DESC, id ASC LIMIT $2::integer OFFSET $3::bigint",
    4};
const Statement kBest{"best",
    "SELECT difficulty, points, level, user_country, date, verification, id FROM ("
    "  SELECT difficulty, points, level, user_country, " ZORVAN_DATE " AS date, verification, id,"
    "  row_number() OVER (PARTITION BY difficulty ORDER BY points DESC, id ASC) AS rank"
    "  FROM submissions WHERE user_name = $1::bytea" ZORVAN_SHOWN("$2") ") AS b"
    " WHERE rank = 1 ORDER BY difficulty DESC",
    2};
const Statement kPlace{"place",
    "SELECT count(*) + 1 FROM submissions WHERE difficulty = $1::smallint"
    " AND (points > $2::bigint OR (points = $2::bigint AND id < $3::bigint))" ZORVAN_SHOWN("$4"),
    4};
const Statement kRecent{"recent",
    "SELECT difficulty, points, level, user_country, " ZORVAN_DATE ", verification"
    " FROM submissions WHERE user_name = $1::bytea" ZORVAN_SHOWN("$3") " ORDER BY id DESC LIMIT $2::integer",
    3};
// The columns a StoredSubmission is read from, in submissionRow's order.
#define ZORVAN_SUBMISSION_COLUMNS \
    "id, trans_id, user_name, user_email, user_country, points, difficulty, level, stats, verification, verify_reason"
const Statement kAll{"all", "SELECT " ZORVAN_SUBMISSION_COLUMNS " FROM submissions ORDER BY id", 0};
// The submissions of a TransID, locked so that replays of it arriving at once queue.
const Statement kReplayTarget{"replay_target",
    "SELECT verification FROM submissions WHERE trans_id = $1::integer FOR UPDATE",
    1};
const Statement kReplayCount{"replay_count",
    "SELECT count(*) FROM replays WHERE trans_id = $1::integer", 1};
const Statement kReplayInsert{"replay_insert",
    "INSERT INTO replays (trans_id, body) VALUES ($1::integer, $2::bytea)", 2};
const Statement kMarkPending{"mark_pending",
    "UPDATE submissions SET verification = 1 WHERE trans_id = $1::integer AND verification <> 2", 1};
// SKIP LOCKED: servers claiming at once each take a different replay, never wait on each other.
const Statement kClaim{"claim",
    "UPDATE replays SET claimed_at = $1::bigint, attempts = attempts + 1"
    " WHERE id = (SELECT id FROM replays WHERE NOT done AND (claimed_at IS NULL OR claimed_at < $2::bigint)"
    "             ORDER BY id LIMIT 1 FOR UPDATE SKIP LOCKED)"
    " RETURNING id, trans_id, body, attempts",
    2};
const Statement kJobSubmissions{"job_submissions",
    "SELECT " ZORVAN_SUBMISSION_COLUMNS " FROM submissions WHERE trans_id = $1::integer ORDER BY id", 1};
const Statement kReplayDone{"replay_done",
    "UPDATE replays SET done = true, outcome = $2::bytea WHERE id = $1::bigint", 2};
const Statement kVerified{"verified",
    "UPDATE submissions SET verification = 2, verify_reason = ''::bytea WHERE id = $1::bigint", 1};
const Statement kRejected{"rejected",
    "UPDATE submissions SET verification = 3, verify_reason = $2::bytea WHERE id = $1::bigint AND verification <> 2"
    " AND NOT EXISTS (SELECT 1 FROM replays WHERE trans_id = $3::integer AND NOT done)",
    3};
const Statement kReplays{"replays",
    "SELECT id, trans_id, octet_length(body), done::integer, attempts, outcome FROM replays ORDER BY id", 0};

class Connection {
public:
    explicit Connection(const std::string& conninfo) : pg_(PQconnectdb(conninfo.c_str())) {
        if (!pg_ || PQstatus(pg_) != CONNECTION_OK) {
            std::string why = pg_ ? PQerrorMessage(pg_) : "out of memory";
            PQfinish(pg_);
            throw std::runtime_error("postgres: cannot connect: " + trim(why));
        }
        // Notices ("relation already exists, skipping") are not errors; keep stderr clean.
        PQsetNoticeProcessor(pg_, [](void*, const char*) {}, nullptr);
    }
    ~Connection() { PQfinish(pg_); }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    void exec(const char* sql) {
        Result r(PQexec(pg_, sql));
        check(r, sql);
    }

    // The number of rows a query without parameters gives.
    int rows(const char* sql) {
        Result r(PQexec(pg_, sql));
        check(r, sql);
        return r.rows();
    }

    Result run(const Statement& st, const std::vector<Param>& params) {
        if (!prepared(st)) {
            Result p(PQprepare(pg_, st.name, st.sql, st.params, nullptr));
            check(p, st.name);
            preparedNames_.push_back(st.name);
        }
        std::vector<const char*> values;
        std::vector<int> lengths, formats;
        for (const Param& p : params) {
            values.push_back(p.value.data());
            lengths.push_back(static_cast<int>(p.value.size()));
            formats.push_back(p.binary ? 1 : 0);
        }
        Result r(PQexecPrepared(pg_, st.name, static_cast<int>(params.size()), values.data(),
                                lengths.data(), formats.data(), /*resultFormat binary*/ 1));
        check(r, st.name);
        return Result(std::exchange(r.r, nullptr));
    }

    bool broken() const { return PQstatus(pg_) != CONNECTION_OK; }

private:
    static std::string trim(std::string s) {
        while (!s.empty() && (s.back() == '\n' || s.back() == ' ')) s.pop_back();
        return s;
    }
    bool prepared(const Statement& st) const {
        for (const char* n : preparedNames_)
            if (n == st.name) return true;
        return false;
    }
    void check(const Result& r, const char* what) {
        ExecStatusType s = PQresultStatus(r.r);
        if (s != PGRES_COMMAND_OK && s != PGRES_TUPLES_OK)
            throw std::runtime_error(std::string("postgres: ") + what + ": " + trim(PQerrorMessage(pg_)));
    }

    PGconn* pg_;
    std::vector<const char*> preparedNames_;
};

class PostgresStore final : public ScoreStore {
public:
    explicit PostgresStore(std::string conninfo)
        : conninfo_(std::move(conninfo)),
          pool_(std::max(4u, std::thread::hardware_concurrency()) + 8,
                [this] { return std::make_unique<Connection>(conninfo_); }) {
        auto c = pool_.take();
        if (c->rows(kSchemaComplete) == 1) return;
        c->exec(kSchemaLock);
        try {
            for (const char* statement : kSchema) c->exec(statement);
        } catch (...) {
            c->exec(kSchemaUnlock);
            throw;
        }
        c->exec(kSchemaUnlock);
    }

    AddResult add(const Submission& s) override {
        return withConnection([&](Connection& c) {
            Result r = c.run(kInsert, {num(s.transId), raw(s.userName), raw(s.userEmail), raw(s.userCountry),
                                       num(s.points), num(s.difficulty), num(s.level)});
            if (std::strcmp(PQcmdTuples(r.r), "1") != 0) return AddResult::Duplicate;
            ++stored_;
            return AddResult::Stored;
        });
    }

    AppendResult appendStats(std::int32_t transId, std::int64_t points, int difficulty,
                             const std::string& piece) override {
        return withConnection([&](Connection& c) {
            // One statement: the row lock makes concurrent appends queue, and the length
            // condition is checked again against the row each one finally sees.
            Result r = c.run(kAppend, {num(transId), num(points), num(difficulty), raw(piece),
                                       num(static_cast<std::int64_t>(kMaxStatsBytes))});
            if (r.rows() == 1) return AppendResult::Appended;
            Result e = c.run(kExists, {num(transId), num(points), num(difficulty)});
            return e.rows() == 0 ? AppendResult::NoSuchSubmission : AppendResult::TooLong;
        });
    }

    std::vector<TableRow> page(int difficulty, std::int64_t offset, int count) override {
        return withConnection([&](Connection& c) {
            Result r = c.run(kTable, {num(difficulty), num(count), num(offset), shown()});
            std::vector<TableRow> rows;
            rows.reserve(static_cast<std::size_t>(r.rows()));
            for (int i = 0; i < r.rows(); ++i)
                rows.push_back({static_cast<std::int32_t>(r.integer(i, 0)), r.integer(i, 1), r.bytes(i, 2),
                                static_cast<std::int32_t>(r.integer(i, 3)), r.bytes(i, 4), r.bytes(i, 5),
                                verificationOf(r.integer(i, 6))});
            return rows;
        });
    }

    std::vector<PlayerGame> playerBest(const std::string& userName) override {
        return withConnection([&](Connection& c) {
            Result r = c.run(kBest, {raw(userName), shown()});
            std::vector<PlayerGame> games;
            for (int i = 0; i < r.rows(); ++i) {
                PlayerGame g = game(r, i);
                Result p = c.run(kPlace, {num(g.difficulty), num(g.points), num(r.integer(i, 6)), shown()});
                if (p.rows() == 1) g.place = p.integer(0, 0);
                games.push_back(std::move(g));
            }
            return games;
        });
    }

    std::vector<PlayerGame> playerRecent(const std::string& userName, int count) override {
        return withConnection([&](Connection& c) {
            Result r = c.run(kRecent, {raw(userName), num(count), shown()});
            std::vector<PlayerGame> games;
            for (int i = 0; i < r.rows(); ++i) games.push_back(game(r, i));
            return games;
        });
    }

    std::uint64_t changeStamp() override {
        // Submissions stored by this process change it at once. Another server sharing the
        // database cannot be seen without a query, so the stamp also moves every second:
        // what they store shows here within a second.
        auto seconds = std::chrono::duration_cast<std::chrono::seconds>(
                           std::chrono::steady_clock::now().time_since_epoch()).count();
        return (stored_.load() << 32) ^ static_cast<std::uint64_t>(seconds);
    }

    std::vector<StoredSubmission> all() override {
        return withConnection([&](Connection& c) {
            Result r = c.run(kAll, {});
            std::vector<StoredSubmission> out;
            for (int i = 0; i < r.rows(); ++i) out.push_back(submissionRow(r, i));
            return out;
        });
    }

    // Row i of a result of ZORVAN_SUBMISSION_COLUMNS.
    static StoredSubmission submissionRow(const Result& r, int i) {
        StoredSubmission s;
        s.id = r.integer(i, 0);
        s.transId = static_cast<std::int32_t>(r.integer(i, 1));
        s.userName = r.bytes(i, 2);
        s.userEmail = r.bytes(i, 3);
        s.userCountry = r.bytes(i, 4);
        s.points = r.integer(i, 5);
        s.difficulty = static_cast<int>(r.integer(i, 6));
        s.level = static_cast<std::int32_t>(r.integer(i, 7));
        s.stats = r.bytes(i, 8);
        s.verification = verificationOf(r.integer(i, 9));
        s.verifyReason = r.bytes(i, 10);
        return s;
    }

    void setVerifiedOnly(bool on) override { verifiedOnly_ = on; }

    ReplayResult addReplay(std::int32_t transId, const std::string& body) override {
        ReplayResult result = transaction([&](Connection& c) {
            Result subs = c.run(kReplayTarget, {num(transId)});
            if (subs.rows() == 0) return ReplayResult::NoSuchSubmission;
            bool allVerified = true;
            for (int i = 0; i < subs.rows(); ++i)
                allVerified = allVerified && verificationOf(subs.integer(i, 0)) == Verification::Verified;
            if (allVerified) return ReplayResult::AlreadyVerified;
            if (c.run(kReplayCount, {num(transId)}).integer(0, 0) >= kMaxReplaysPerTransId) return ReplayResult::TooMany;
            c.run(kReplayInsert, {num(transId), raw(body)});
            c.run(kMarkPending, {num(transId)});
            return ReplayResult::Queued;
        });
        if (result == ReplayResult::Queued) ++stored_;
        return result;
    }

    std::optional<ReplayJob> claimReplay() override {
        return withConnection([&](Connection& c) -> std::optional<ReplayJob> {
            auto now = static_cast<std::int64_t>(std::time(nullptr));
            Result r = c.run(kClaim, {num(now), num(now - kStaleClaimSeconds)});
            if (r.rows() == 0) return std::nullopt;
            ReplayJob job;
            job.id = r.integer(0, 0);
            job.transId = static_cast<std::int32_t>(r.integer(0, 1));
            job.body = r.bytes(0, 2);
            job.attempts = static_cast<int>(r.integer(0, 3));
            Result subs = c.run(kJobSubmissions, {num(job.transId)});
            for (int i = 0; i < subs.rows(); ++i) job.submissions.push_back(submissionRow(subs, i));
            return job;
        });
    }

    void finishReplay(const ReplayJob& job, const std::vector<Verdict>& verdicts) override {
        transaction([&](Connection& c) {
            c.run(kReplayDone, {num(job.id), raw(replayOutcome(verdicts))});
            for (const Verdict& v : verdicts) {
                if (v.verified)
                    c.run(kVerified, {num(v.submissionId)});
                else
                    c.run(kRejected, {num(v.submissionId), raw(v.reason), num(job.transId)});
            }
            return 0;
        });
        ++stored_;
    }

    std::vector<StoredReplay> replays() override {
        return withConnection([&](Connection& c) {
            Result r = c.run(kReplays, {});
            std::vector<StoredReplay> out;
            for (int i = 0; i < r.rows(); ++i)
                out.push_back({r.integer(i, 0), static_cast<std::int32_t>(r.integer(i, 1)),
                               static_cast<std::size_t>(r.integer(i, 2)), r.integer(i, 3) != 0,
                               static_cast<int>(r.integer(i, 4)), r.bytes(i, 5)});
            return out;
        });
    }

    std::string backendName() const override { return "postgresql"; }

private:
    static PlayerGame game(const Result& r, int i) {
        return {static_cast<int>(r.integer(i, 0)), r.integer(i, 1), static_cast<std::int32_t>(r.integer(i, 2)),
                r.bytes(i, 3), r.bytes(i, 4), 0, verificationOf(r.integer(i, 5))};
    }

    Param shown() const { return num(verifiedOnly_ ? 1 : 0); }

    template <class F>
    std::invoke_result_t<F, Connection&> transaction(F&& f) {
        return withConnection([&](Connection& c) {
            c.exec("BEGIN");
            try {
                auto result = f(c);
                c.exec("COMMIT");
                return result;
            } catch (...) {
                try {
                    c.exec("ROLLBACK");
                } catch (...) {
                }
                throw;
            }
        });
    }

    // A connection that dropped (server restart, network) is closed instead of pooled.
    template <class F>
    std::invoke_result_t<F, Connection&> withConnection(F&& f) {
        auto c = pool_.take();
        try {
            return f(*c);
        } catch (...) {
            if (c->broken()) c.discard();
            throw;
        }
    }

    std::string conninfo_;
    ConnectionPool<Connection> pool_;
    std::atomic<std::uint64_t> stored_{0};
    std::atomic<bool> verifiedOnly_{false};
};

}  // namespace

std::unique_ptr<ScoreStore> openPostgresStore(const std::string& conninfo) {
    return std::make_unique<PostgresStore>(conninfo);
}

std::unique_ptr<ScoreStore> openStore(const std::string& db) {
    if (db.rfind("postgresql://", 0) == 0 || db.rfind("postgres://", 0) == 0) return openPostgresStore(db);
    return openSqliteStore(db);
}

}  // namespace zorvan::scores
