#pragma once
// A plain HTTP GET for the server tests: the target goes out byte for byte as given.

#include <curl/curl.h>

#include <algorithm>
#include <string>
#include <string_view>

#include "text.h"

namespace zorvan::scores::test {

struct Reply {
    long status = 0;  // 0: no reply (connection failed)
    std::string body;
};

// Sends what `curl` is set up for and takes the reply; frees the handle.
inline Reply perform(CURL* curl, const std::string& url, curl_slist* headers = nullptr) {
    Reply reply;
    if (headers) curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, 30L);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION,
                     +[](char* p, size_t size, size_t n, void* out) -> size_t {
                         static_cast<std::string*>(out)->append(p, size * n);
                         return size * n;
                     });
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &reply.body);
    if (curl_easy_perform(curl) == CURLE_OK) curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &reply.status);
    curl_slist_free_all(headers);
    curl_easy_cleanup(curl);
    return reply;
}

inline Reply httpGet(const std::string& url) {
    CURL* curl = curl_easy_init();
    return curl ? perform(curl, url) : Reply{};
}

// A POST of `body`; `chunked`: sent without a Content-Length, as a stream.
inline Reply httpPost(const std::string& url, const std::string& body, bool chunked = false) {
    CURL* curl = curl_easy_init();
    if (!curl) return {};
    struct Source {
        const std::string* body;
        std::size_t at = 0;
    } source{&body};
    curl_slist* headers = curl_slist_append(nullptr, "Expect:");
    if (chunked) {
        headers = curl_slist_append(headers, "Transfer-Encoding: chunked");
        curl_easy_setopt(curl, CURLOPT_UPLOAD, 1L);
        curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, "POST");
        curl_easy_setopt(curl, CURLOPT_READFUNCTION, +[](char* p, size_t size, size_t n, void* in) -> size_t {
            auto* s = static_cast<Source*>(in);
            std::size_t k = std::min(size * n, s->body->size() - s->at);
            s->body->copy(p, k, s->at);
            s->at += k;
            return k;
        });
        curl_easy_setopt(curl, CURLOPT_READDATA, &source);
    } else {
        curl_easy_setopt(curl, CURLOPT_POSTFIELDS, body.data());
        curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
    }
    return perform(curl, url, headers);
}

// Every byte but the unreserved ones as %XX, so the server sees exactly these bytes.
inline std::string enc(std::string_view s) { return percentEncode(s); }

}  // namespace zorvan::scores::test
