#pragma once
// The HTTP side of zorvan-scores: "/update_zelk.php", "/view_zelk.php" and
// "/replay_zelk.php" (POST, a run's replay, queued for verification) over a ScoreStore.

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "score_store.h"

namespace zorvan::scores {

inline constexpr int kDefaultPort = 28517;
inline constexpr const char* kDefaultBind = "127.0.0.1";

std::size_t defaultWorkers();

class ScoreServer {
public:
    explicit ScoreServer(ScoreStore& store);
    ~ScoreServer();  // stops and joins a server started with start()
    ScoreServer(const ScoreServer&) = delete;
    ScoreServer& operator=(const ScoreServer&) = delete;

    // Binds the listening socket; port 0 takes a free one. Returns the port, or -1 when the
    // address cannot be bound.
    int bind(const std::string& address, int port);
    // Serves on the bound socket until stop(); returns false when serving failed.
    bool run();
    // run() on a thread of its own (tests and benchmarks).
    void start();
    // Safe from any thread, also before run() has got going.
    void stop();

    // Request threads; set before start() or run(). Default: defaultWorkers().
    void setWorkers(std::size_t n);
    // Only verified scores in the game's table and the web pages. Set before start() or run().
    void setVerifiedOnly(bool on);
    // Off: every table request reads the store, as before the snapshot cache (benchmarks).
    void setTableCache(bool on);
    // Answers GET `path` with `body`, as a table reply is answered: the HTTP layer's own
    // speed for a reply of that size (benchmarks).
    void addFixedReply(const std::string& path, std::string body);

    // Called after a replay was queued (from a request thread): wakes the verifier.
    void setReplayListener(std::function<void()> listener);

    // One line per request: method, target, status (the access log of the program).
    void setLogger(std::function<void(std::string_view line)> logger);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace zorvan::scores
