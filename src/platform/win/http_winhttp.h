#pragma once
// HTTP through WinHTTP, as CurlHttp does it elsewhere: a connect time-out of 5 s and a
// whole-request time-out of 10 s, each request on a thread of its own, abandoned at once
// when its call is dropped; background POSTs get a short grace at exit.

#include <memory>
#include <mutex>
#include <vector>

#include "platform/ports.h"

namespace zorvan {

class WinHttp final : public Http {
public:
    WinHttp();
    ~WinHttp() override;
    WinHttp(const WinHttp&) = delete;
    WinHttp& operator=(const WinHttp&) = delete;

    HttpReply get(const std::string& url) override;
    bool canConnect(const std::string& url, int timeoutMs) override;
    std::unique_ptr<HttpCall> startGet(const std::string& url) override;
    std::unique_ptr<HttpCall> startConnect(const std::string& url, int timeoutMs) override;
    void postInBackground(const std::string& url, std::string body) override;

    static constexpr std::size_t kMaxBackground = 4;
    static constexpr int kExitGraceMs = 2000;

private:
    void* session_ = nullptr;  // HINTERNET
    std::mutex mutex_;
    std::vector<std::unique_ptr<HttpCall>> background_;
};

}  // namespace zorvan
