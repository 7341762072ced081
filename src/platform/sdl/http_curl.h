#pragma once
// HTTP GET through libcurl: a connect time-out of 5 s and a whole-request time-out of 10 s,
// so a dead or slow score server never holds the game longer. Each request runs on a
// thread of its own; the game thread pumps its messages until it is done, and abandoning
// it (the window closed) ends it at once.

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
};

}  // namespace zorvan
