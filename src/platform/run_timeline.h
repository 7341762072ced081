#pragma once
// The timeline of one run, as both platforms keep it: the logical clock, the seeded random
// draw, the inputs from outside and when the game takes them, the replay being written or
// played back (HTTP replies, dates, late wake-ups and the system speech's answer included),
// and the event log's lines.
//
// A platform moves the clock (after its mixer) and decides how time passes: the simulated one
// jumps, the real one waits for its clock. Everything a run takes from outside goes through
// here, so that a replay made by one platform plays the same on the other.

#include <cstdint>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <limits>
#include <memory>
#include <optional>
#include <random>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ports.h"
#include "platform/replay.h"
#include "platform/replay_http.h"

namespace zorvan {

// The run a replay drives went somewhere the replay does not follow: the replay does not fit
// this game (or was forged). Thrown from inside the run, out of the game's handlers.
struct ReplayMismatch : std::runtime_error {
    explicit ReplayMismatch(const std::string& why, bool pastEnd = false) : std::runtime_error(why), pastEnd(pastEnd) {}
    // The run needs more than a replay cut short has, after taking all of it: the replay
    // fits as far as it goes.
    bool pastEnd;
};

class RunTimeline {
public:
    static constexpr std::int64_t kNever = std::numeric_limits<std::int64_t>::max();
    // A real clock this far beyond the time the game idled for is a late wake-up, which moves
    // the logical clock to the real one; less is jitter, absorbed.
    static constexpr std::int64_t kLateMs = 20;

    struct Run {
        std::uint64_t seed = 0;               // not used when replaying: the replay's
        const Replay* replay = nullptr;       // play this back instead of taking inputs
        Http* http = nullptr;                 // the network of a run not played back
        // Replies wait for their admission, as keys do (a recorded run, or one whose network
        // answers from another thread); else the game has the network as it is.
        bool holdReplies = false;
        // Keys wait for their admission when the clock moves (always when recording, replaying
        // or holding replies); else a key is the game's as soon as its time has come.
        bool admitting = false;
        std::unique_ptr<ReplayWriter> writer;  // null: not recorded
    };

    RunTimeline();
    RunTimeline(const RunTimeline&) = delete;
    RunTimeline& operator=(const RunTimeline&) = delete;

    // Starts a run: the clock at 0, the generator seeded, nothing pending. The log goes on.
    void begin(Run run);

    // The clock, which only the platform moves, and never back.
    std::int64_t now() const { return now_; }
    void moveTo(std::int64_t ms);

    // 53 random bits from the seed: the same sequence on every machine and platform.
    double random();

    // The event log: "TIME EVENT" lines, to a file and, when kept, in memory.
    void logTo(const std::filesystem::path& path);  // throws std::runtime_error when it cannot
    void keepLines() { keepLines_ = true; }
    bool logging() const { return keepLines_ || logFile_.is_open(); }
    void log(std::string_view event);
    // The run's last line: nothing is logged after it.
    void logLast(std::string_view event);
    const std::vector<std::string>& lines() const { return lines_; }

    // Something from outside came at `atMs` (of the real clock, or of a script): kept in time
    // order after what came before it, until admitted.
    void arrive(ReplayInput::Kind kind, std::int64_t atMs, int key = 0);
    bool pending(ReplayInput::Kind kind) const;
    bool keysLeft() const { return !arrivals_.empty() || !admitted_.empty(); }
    // The earliest time the clock can move to for what came in: never the present, which
    // the game may have seen already. kNever when nothing is waiting.
    std::int64_t nextArrivalAt() const;
    // Not admitting: when the next key is the game's (the present when one is due already).
    std::int64_t nextKeyAt() const;
    bool admitting() const { return run_.admitting; }
    // Admits, at the present, what came in by then: in the order it came, recorded.
    void admitArrivals();
    // Admits every reply to have come in by now, recorded.
    void admitReplies();
    RecordingHttp* heldReplies() { return recordingHttp_.get(); }

    // The next key the game takes: admitted ones first, logged. A close is logged and ends the
    // taking; closeTaken() says so from then on.
    std::optional<int> takeKey();
    bool closeTaken() const { return closeTaken_; }

    // The clock reached the target at `realMs` of the real clock: where it goes. A late
    // wake-up takes the real time and is recorded.
    std::int64_t wokeAt(std::int64_t target, std::int64_t realMs);

    // Playing back. Where the clock goes from here for a game idling toward `target`, and
    // whether that is a recorded late wake-up (which goes beyond the target). Throws
    // ReplayMismatch when the next input is at a time the run has passed already.
    struct ReplayStep {
        std::int64_t at;
        bool wake;
    };
    bool replaying() const { return run_.replay != nullptr; }
    ReplayStep replayStep(std::int64_t target) const;
    // After the clock moved to a replay step: takes the wake-up and admits the inputs of now.
    void replayArrived(const ReplayStep& step);
    // Every input of the replay was taken.
    bool replayInputsLeft() const;
    const std::vector<std::string>& requestedUrls() const { return replayHttp_->requestedUrls(); }

    // Asked for on demand, answered by the replay when there is one, else by `live`, recorded.
    // A replay without (more) of them, or with one at another time, throws ReplayMismatch.
    LocalDateTime localDateTime(const std::function<LocalDateTime()>& live);
    std::string speechAnswer(const std::string& live);

    Http& http() { return *http_; }
    std::optional<std::string> replaySoFar() const;
    // Logs "exit STATUS" and ends the replay being written.
    void exited(int status);

private:
    struct Arrival {
        ReplayInput::Kind kind;
        std::int64_t atMs;
        int key;
    };
    const ReplayInput* nextReplayed() const;
    void takeReplayed();
    // Replaying: the next input of `kind` from `cursor` on, taken; null when there is none.
    const ReplayInput* nextOnDemand(std::size_t& cursor, ReplayInput::Kind kind);
    ReplayInput inputNow(ReplayInput::Kind kind) const;
    void record(const ReplayInput& input);

    Run run_;
    std::int64_t now_ = 0;
    std::mt19937_64 rng_;
    std::deque<Arrival> arrivals_;  // came in, not admitted yet (not taken yet, unless admitting)
    std::deque<int> admitted_;      // keys admitted, not taken yet; 0 for a close
    bool closeTaken_ = false;
    std::unique_ptr<RecordingHttp> recordingHttp_;
    std::unique_ptr<ReplayHttp> replayHttp_ = std::make_unique<ReplayHttp>();
    Http* http_ = nullptr;
    std::size_t nextInput_ = 0;   // replaying: the next input that is not asked for on demand
    std::size_t nextDate_ = 0;    // replaying: the next date
    std::size_t nextSpeech_ = 0;  // replaying: the next answer about the system speech
    std::ofstream logFile_;
    bool keepLines_ = false;
    bool logClosed_ = false;
    std::vector<std::string> lines_;
};

}  // namespace zorvan
