#pragma once
// HTTP GET through libcurl: a connect time-out of 5 s and a whole-request time-out of 10 s,
// so a dead or slow score server never holds the game longer. Each request runs on a
// thread of its own; the game thread pumps its messages until it is done, and abandoning
// it (the window closed) ends it at once. Background POSTs run the same way; at exit they
// get a short grace to finish, then are abandoned.

#include <memory>
#include <mutex>
#include <vector>

#include "platform/ports.h"

namespace zorvan {

class CurlHttp final : public Http {
public:
    CurlHttp();
    ~CurlHttp() override;  // every call it started must be gone by then
    CurlHttp(const CurlHttp&) = delete;
    CurlHttp& operator=(const CurlHttp&) = delete;

    HttpReply get(const std::string& url) override;
    bool canConnect(const std::string& url, int timeoutMs) override;
    std::unique_ptr<HttpCall> startGet(const std::string& url) override;
    std::unique_ptr<HttpCall> startConnect(const std::string& url, int timeoutMs) override;
    void postInBackground(const std::string& url, std::string body) override;

    // At most this many background POSTs run at once; more are not sent.
    static constexpr std::size_t kMaxBackground = 4;
    // How long the destructor lets background POSTs under way finish.
    static constexpr int kExitGraceMs = 2000;

private:
    std::mutex mutex_;
    std::vector<std::unique_ptr<HttpCall>> background_;
};

}  // namespace zorvan
