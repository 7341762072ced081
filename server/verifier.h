#pragma once
// Verification of stored scores: a replay taken from the queue is played through the game
// core in a child process of its own (no sound device, its processor time, memory and wall
// time bounded), and each submission of its TransID is marked verified when the replayed run
// made that very submission, else rejected with the reason.

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "score_store.h"

namespace zorvan::scores {

// What the replayed run did, as far as verification cares.
struct ReplayCheck {
    bool ran = false;   // false: it could not be played to the end; `error` says why
    std::string error;
    std::vector<std::string> submissionUrls;   // every "/update_zelk.php" request it made
    std::optional<std::string> pendingAtStart;  // the pending score its settings began with
    bool cancelled = false;  // the server is stopping: no verdict, the replay is taken up again
};

using ReplayRunner = std::function<ReplayCheck(const std::string& replay)>;

struct ChildLimits {
    // A 15-minute game takes about 0.07 s and 64 MiB of address space (bench/verify).
    int cpuSeconds = 20;
    std::uint64_t memoryBytes = 512ull << 20;   // address space
    int wallSeconds = 0;                        // 0: twice the processor time and 10 s more
    const std::atomic<bool>* cancel = nullptr;  // raised: the child is killed at once
};

// The private flag that makes zorvan-scores a verification child (see verify_child.cpp).
inline constexpr const char* kVerifyChildFlag = "--verify-replay-child";

// Runs `program` (zorvan-scores) as a verification child: the replay on its stdin, the
// game folder and an empty work folder as arguments, the limits set between fork and exec.
// Whatever the child does (crash, hang, endless output), the answer comes back in time.
ReplayCheck runReplayInChild(const std::string& replay, const std::filesystem::path& program,
                             const std::filesystem::path& gameFolder, const ChildLimits& limits);

// The verdict on each submission of the job from what its replayed run did.
std::vector<Verdict> judge(const ReplayJob& job, const ReplayCheck& check);

// The child's report on stdout, and its reading by the parent (a line protocol; nothing the
// child writes is trusted beyond it).
std::string formatReplayCheck(const ReplayCheck& check);
ReplayCheck parseReplayCheck(std::string_view text);

// Worker threads that take replays from the store's queue and verify them. Several servers
// on one PostgreSQL database share the queue; each replay is verified once.
class Verifier {
public:
    Verifier(ScoreStore& store, ReplayRunner runner, std::function<void(std::string_view)> log = {});
    ~Verifier();  // stops and joins
    Verifier(const Verifier&) = delete;
    Verifier& operator=(const Verifier&) = delete;

    void start(std::size_t workers);
    void stop();
    // A replay was queued through this server: a sleeping worker looks at once (others'
    // replays are found by looking every second).
    void wake();
    // Claims one replay and verifies it; false when the queue was empty.
    bool verifyOne();
    // Raised by stop(), for runners that can give up a replay under way.
    const std::atomic<bool>& stopping() const { return cancel_; }

private:
    void work();

    ScoreStore& store_;
    ReplayRunner runner_;
    std::function<void(std::string_view)> log_;
    std::mutex mutex_;
    std::condition_variable wakeUp_;
    std::uint64_t wakes_ = 0;
    bool stopping_ = false;
    std::atomic<bool> cancel_{false};
    std::vector<std::thread> workers_;
};

}  // namespace zorvan::scores
