#pragma once
// HTTP in a recorded or replayed run. Both number the requests 1, 2, ... in the order started
// (startGet and startConnect alike), and a request is done only when the platform says so,
// inside idleUntil, as it does with keys: so the game sees each reply at a logical time that
// the replay keeps. Only the started forms are served; the blocking get() and canConnect()
// would take a reply at no logical time and throw std::logic_error. So does wait() on a
// request that is not done yet: the game pumps until done() before it waits.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/ports.h"
#include "platform/replay.h"

namespace zorvan {

// Passes the requests on to a real Http, and holds each reply back until the platform admits it.
class RecordingHttp final : public Http {
public:
    explicit RecordingHttp(Http& inner) : inner_(inner) {}

    HttpReply get(const std::string& url) override;
    bool canConnect(const std::string& url, int timeoutMs) override;
    std::unique_ptr<HttpCall> startGet(const std::string& url) override;
    std::unique_ptr<HttpCall> startConnect(const std::string& url, int timeoutMs) override;
    void postInBackground(const std::string& url, std::string body) override {
        inner_.postInBackground(url, std::move(body));
    }

    // A request is under way and not admitted (nor abandoned by the game): something will
    // still come in, so the platform must not take the run for idle for ever.
    bool waiting();
    // A request under way has its reply (or its failure) from the real Http.
    bool arrived();
    // Blocks until a request under way has its reply; the simulated platform, which lets no
    // real time pass, calls it. Returns at once when nothing is under way.
    void waitForArrival();
    // Every request whose reply has arrived turns done, in the order started, stamped atMs;
    // the inputs to record.
    std::vector<ReplayInput> admit(std::int64_t atMs);

    struct Call;  // a request under way

private:
    std::unique_ptr<HttpCall> track(std::unique_ptr<HttpCall> inner);
    void prune();

    Http& inner_;
    std::uint32_t started_ = 0;
    std::vector<std::shared_ptr<Call>> underWay_;
};

// Answers from a replay: nothing goes out. Request n turns done when the platform hands it
// the reply the replay recorded for it, at the time the replay says.
class ReplayHttp final : public Http {
public:
    HttpReply get(const std::string& url) override;
    bool canConnect(const std::string& url, int timeoutMs) override;
    std::unique_ptr<HttpCall> startGet(const std::string& url) override;
    std::unique_ptr<HttpCall> startConnect(const std::string& url, int timeoutMs) override;
    // Nothing is sent from a replay; the run goes on the same whatever the answer would be.
    void postInBackground(const std::string&, std::string) override {}

    // Hands request `number` its reply. False when the game has not started that request (or
    // it was answered already): the replay does not fit the run.
    bool answer(std::uint32_t number, HttpReply reply);
    std::uint32_t started() const { return static_cast<std::uint32_t>(calls_.size()); }
    // The URL of every request, in the order started (of a connection test: the server's).
    const std::vector<std::string>& requestedUrls() const { return urls_; }

    struct Call;

private:
    std::unique_ptr<HttpCall> track(const std::string& url);
    std::vector<std::shared_ptr<Call>> calls_;
    std::vector<std::string> urls_;
};

}  // namespace zorvan
