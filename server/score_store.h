#pragma once
// Storage of the score table. Two backends behind one interface: SQLite (one file, WAL) for a
// single machine, PostgreSQL for a table that outgrows one. Every call is safe from several
// threads at once; each backend keeps a small pool of connections.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace zorvan::scores {

// Limits on what the server accepts, in bytes after percent-decoding.
inline constexpr std::size_t kMaxNameBytes = 256;
inline constexpr std::size_t kMaxEmailBytes = 256;
inline constexpr std::size_t kMaxCountryBytes = 16;
inline constexpr std::size_t kMaxStatsPieceBytes = 1000;
inline constexpr std::size_t kMaxStatsBytes = 32767;  // the whole text of one submission
inline constexpr int kMaxInTop = 500;
inline constexpr std::size_t kMaxReplayBytes = 1u << 20;  // the body of a replay
// Replays kept for one TransID; a later one is refused (a genuine client sends one).
inline constexpr int kMaxReplaysPerTransId = 4;
// A verification claimed this long ago by a server that never finished it (stopped, killed)
// is taken up again; after kMaxVerifyAttempts claims it is given up as rejected.
inline constexpr std::int64_t kStaleClaimSeconds = 600;
inline constexpr int kMaxVerifyAttempts = 3;

// Where a stored score stands: no replay yet, replay queued or being replayed, the replayed
// run made this very submission, or it did not (with the reason). Stored as these numbers.
enum class Verification : int { Unverified = 0, Pending = 1, Verified = 2, Rejected = 3 };
inline const char* verificationName(Verification v) {
    switch (v) {
    case Verification::Pending: return "pending";
    case Verification::Verified: return "verified";
    case Verification::Rejected: return "rejected";
    case Verification::Unverified: break;
    }
    return "unverified";
}
// A stored number back to a state; anything unknown reads as unverified.
inline Verification verificationOf(std::int64_t v) {
    return v >= 0 && v <= 3 ? static_cast<Verification>(v) : Verification::Unverified;
}

// One accepted submission. Names and addresses are kept byte for byte as sent.
struct Submission {
    std::int32_t transId = 0;
    std::string userName;
    std::string userEmail;
    std::string userCountry;
    std::int64_t points = 0;  // UserScore without its difficulty digit
    int difficulty = 0;       // the difficulty digit, 5..9
    std::int32_t level = 0;
};

struct StoredSubmission : Submission {
    std::int64_t id = 0;  // order of arrival
    std::string stats;    // the statistics text appended so far
    Verification verification = Verification::Unverified;
    std::string verifyReason;  // why it was rejected
};

// A replay taken from the queue: the submissions of its TransID, and how often a server
// has claimed it (more than once: an earlier claimant never finished).
struct ReplayJob {
    std::int64_t id = 0;
    std::int32_t transId = 0;
    std::string body;
    int attempts = 0;
    std::vector<StoredSubmission> submissions;
};

// The outcome for one submission of a replay's TransID.
struct Verdict {
    std::int64_t submissionId = 0;
    bool verified = false;
    std::string reason;  // when not verified
};

// What a replay came to, as kept with it: "verified", or "rejected: " and the first reason.
inline std::string replayOutcome(const std::vector<Verdict>& verdicts) {
    for (const Verdict& v : verdicts)
        if (v.verified) return "verified";
    return "rejected: " + (verdicts.empty() ? std::string("no submission has its TransID") : verdicts.front().reason);
}

// One stored replay, for tests and maintenance.
struct StoredReplay {
    std::int64_t id = 0;
    std::int32_t transId = 0;
    std::size_t bytes = 0;
    bool done = false;
    int attempts = 0;
    std::string outcome;  // "verified", or "rejected: <reason>", once done
};

struct TableRow {
    std::int32_t transId = 0;
    std::int64_t points = 0;
    std::string userName;
    std::int32_t level = 0;
    std::string userCountry;
    std::string date;  // when it arrived, UTC: "2026-12-07T08:39:27Z"
    Verification verification = Verification::Unverified;
};

// One game of a player, for the web pages.
struct PlayerGame {
    int difficulty = 0;  // the difficulty digit
    std::int64_t points = 0;
    std::int32_t level = 0;
    std::string userCountry;
    std::string date;
    std::int64_t place = 0;  // in its table; filled by playerBest only
    Verification verification = Verification::Unverified;
};

enum class AddResult { Stored, Duplicate };
enum class ReplayResult { Queued, AlreadyVerified, NoSuchSubmission, TooMany };
enum class AppendResult { Appended, NoSuchSubmission, TooLong };

class ScoreStore {
public:
    virtual ~ScoreStore() = default;

    // A second submission with the same transId and userName is not stored again.
    virtual AddResult add(const Submission& s) = 0;
    // Appends to the statistics of the latest submission with these values; the whole text
    // never exceeds kMaxStatsBytes.
    virtual AppendResult appendStats(std::int32_t transId, std::int64_t points, int difficulty,
                                     const std::string& piece) = 0;
    // The best `count` submissions of one difficulty: most points first, ties by arrival.
    std::vector<TableRow> top(int difficulty, int count) { return page(difficulty, 0, count); }
    // The same order, `count` rows from the one after `offset` on.
    virtual std::vector<TableRow> page(int difficulty, std::int64_t offset, int count) = 0;
    // A name's best game on each difficulty it played (by digit, highest digit first), with
    // its place; empty when the name never submitted.
    virtual std::vector<PlayerGame> playerBest(const std::string& userName) = 0;
    // A name's latest `count` games, newest first.
    virtual std::vector<PlayerGame> playerRecent(const std::string& userName, int count) = 0;
    // Changes whenever the tables may have changed since it was last read (a submission
    // stored by this process or, where the backend can tell, by another); read it before
    // reading the rows a cache keeps.
    virtual std::uint64_t changeStamp() = 0;
    // Everything stored, in order of arrival (for tests and maintenance).
    virtual std::vector<StoredSubmission> all() = 0;

    // Only verified scores in the tables, the places and the player pages. Set before serving.
    virtual void setVerifiedOnly(bool on) = 0;

    // Queues the replay of the run that made the submissions with this TransID; those not yet
    // verified become pending. A score once verified stays so.
    virtual ReplayResult addReplay(std::int32_t transId, const std::string& body) = 0;
    // Takes the oldest queued replay (or one whose claimant never finished); nothing when the
    // queue is empty. Several servers on one database never take the same replay at once.
    virtual std::optional<ReplayJob> claimReplay() = 0;
    // Records the verdicts of a claimed replay. A rejection leaves a submission pending while
    // another replay of its TransID is still queued, and never undoes a verification.
    virtual void finishReplay(const ReplayJob& job, const std::vector<Verdict>& verdicts) = 0;
    virtual std::vector<StoredReplay> replays() = 0;

    virtual std::string backendName() const = 0;
};

// Throws std::runtime_error when the database cannot be opened or prepared.
std::unique_ptr<ScoreStore> openSqliteStore(const std::string& path);
// `conninfo`: a libpq connection URI ("postgresql://user@host:port/db") or key=value string.
std::unique_ptr<ScoreStore> openPostgresStore(const std::string& conninfo);
// "postgresql://..." or "postgres://..." selects PostgreSQL; anything else is an SQLite file.
std::unique_ptr<ScoreStore> openStore(const std::string& db);

}  // namespace zorvan::scores
