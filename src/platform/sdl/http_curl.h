#pragma once
// HTTP GET through libcurl: a connect time-out of 5 s and a whole-request time-out of 10 s,
// so a dead or slow score server never holds the game longer.

#include "platform/ports.h"

namespace zorvan {

class CurlHttp final : public Http {
public:
    CurlHttp();
    ~CurlHttp() override;
    CurlHttp(const CurlHttp&) = delete;
    CurlHttp& operator=(const CurlHttp&) = delete;

    HttpReply get(const std::string& url) override;
    bool canConnect(const std::string& url, int timeoutMs) override;
};

}  // namespace zorvan
