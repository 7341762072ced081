#include "platform/sdl/http_curl.h"

#include <curl/curl.h>

namespace zorvan {

namespace {

std::size_t collect(char* data, std::size_t size, std::size_t count, void* out) {
    static_cast<std::string*>(out)->append(data, size * count);
    return size * count;
}

constexpr long kConnectTimeoutMs = 5000;
constexpr long kRequestTimeoutMs = 10000;
constexpr curl_off_t kMaxReply = 4 * 1024 * 1024;  // a table of 500 records is far smaller

}  // namespace

CurlHttp::CurlHttp() { curl_global_init(CURL_GLOBAL_DEFAULT); }
CurlHttp::~CurlHttp() { curl_global_cleanup(); }

HttpReply CurlHttp::get(const std::string& url) {
    HttpReply reply;
    CURL* curl = curl_easy_init();
    if (!curl) {
        reply.error = "cannot start the HTTP client";
        return reply;
    }
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    // The address comes from a settings file: nothing but the web, never file:// and the like.
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, kConnectTimeoutMs);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, kRequestTimeoutMs);
    curl_easy_setopt(curl, CURLOPT_MAXFILESIZE_LARGE, kMaxReply);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, collect);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &reply.body);
    CURLcode code = curl_easy_perform(curl);
    if (code == CURLE_OK) {
        long status = 0;
        curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
        reply.ok = true;
        reply.status = static_cast<int>(status);
    } else {
        reply.error = curl_easy_strerror(code);
        reply.body.clear();
    }
    curl_easy_cleanup(curl);
    return reply;
}

bool CurlHttp::canConnect(const std::string& url, int timeoutMs) {
    CURL* curl = curl_easy_init();
    if (!curl) return false;
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_CONNECT_ONLY, 1L);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(timeoutMs));
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, static_cast<long>(timeoutMs));
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    bool ok = curl_easy_perform(curl) == CURLE_OK;
    curl_easy_cleanup(curl);
    return ok;
}

}  // namespace zorvan
