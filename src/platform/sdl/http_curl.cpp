#include "platform/sdl/http_curl.h"

#include <curl/curl.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <string>
#include <thread>

namespace zorvan {

namespace {

constexpr long kConnectTimeoutMs = 5000;
constexpr long kRequestTimeoutMs = 10000;
constexpr std::size_t kMaxReply = 4 * 1024 * 1024;  // a table of 500 records is far smaller

struct Body {
    std::string bytes;
    bool tooLarge = false;
};

// libcurl's size limit holds only for sizes the server announces; a reply streamed without
// one is cut here. Nothing may throw through curl's C frames: returning less than was
// given ends the transfer with a write error instead.
std::size_t collect(char* data, std::size_t size, std::size_t count, void* out) noexcept {
    Body& body = *static_cast<Body*>(out);
    const std::size_t n = size * count;
    if (n > kMaxReply - body.bytes.size()) {
        body.tooLarge = true;
        return 0;
    }
    try {
        body.bytes.append(data, n);
    } catch (...) {
        return 0;
    }
    return n;
}

// One transfer on a thread of its own, driven through a multi handle so that abandoning it
// wakes the thread at once instead of after curl's next time-out.
class CurlCall final : public HttpCall {
public:
    // `postBody`: sent as the body of a POST; the call keeps it while curl reads it.
    CurlCall(CURL* easy, bool connectOnly, std::string postBody = {}, bool post = false)
        : easy_(easy), connectOnly_(connectOnly), multi_(curl_multi_init()), postBody_(std::move(postBody)) {
        if (easy_ && post) {
            curl_easy_setopt(easy_, CURLOPT_POST, 1L);
            curl_easy_setopt(easy_, CURLOPT_POSTFIELDS, postBody_.data());
            curl_easy_setopt(easy_, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(postBody_.size()));
            // No round trip waiting for "100 Continue" before the body.
            headers_ = curl_slist_append(nullptr, "Expect:");
            headers_ = curl_slist_append(headers_, "Content-Type: text/plain; charset=utf-8");
            curl_easy_setopt(easy_, CURLOPT_HTTPHEADER, headers_);
        }
        if (!easy_ || !multi_) {
            reply_.error = "cannot start the HTTP client";
            done_ = true;
            return;
        }
        curl_easy_setopt(easy_, CURLOPT_WRITEFUNCTION, collect);
        curl_easy_setopt(easy_, CURLOPT_WRITEDATA, &body_);
        curl_multi_add_handle(multi_, easy_);
        worker_ = std::thread([this] { transfer(); });
    }
    ~CurlCall() override {
        abandoned_ = true;
        if (multi_) curl_multi_wakeup(multi_);
        if (worker_.joinable()) worker_.join();
        if (multi_ && easy_) curl_multi_remove_handle(multi_, easy_);
        if (easy_) curl_easy_cleanup(easy_);
        if (multi_) curl_multi_cleanup(multi_);
        curl_slist_free_all(headers_);
    }
    CurlCall(const CurlCall&) = delete;
    CurlCall& operator=(const CurlCall&) = delete;

    bool done() override { return done_.load(std::memory_order_acquire); }
    void wait() override {
        if (worker_.joinable()) worker_.join();
    }
    HttpReply reply() override {
        wait();
        return reply_;
    }

private:
    void transfer() {
        int running = 1;
        while (!abandoned_) {
            if (curl_multi_perform(multi_, &running) != CURLM_OK || running == 0) break;
            if (curl_multi_poll(multi_, nullptr, 0, 1000, nullptr) != CURLM_OK) break;
        }
        CURLcode code = CURLE_ABORTED_BY_CALLBACK;
        int left = 0;
        while (CURLMsg* msg = curl_multi_info_read(multi_, &left))
            if (msg->msg == CURLMSG_DONE) code = msg->data.result;
        if (code == CURLE_OK) {
            long status = 0;
            if (!connectOnly_) curl_easy_getinfo(easy_, CURLINFO_RESPONSE_CODE, &status);
            reply_.ok = true;
            reply_.status = static_cast<int>(status);
            reply_.body = std::move(body_.bytes);
        } else if (body_.tooLarge || code == CURLE_FILESIZE_EXCEEDED) {
            reply_.error = "the reply is larger than 4 MiB";
        } else {
            reply_.error = abandoned_ ? "abandoned" : curl_easy_strerror(code);
        }
        done_.store(true, std::memory_order_release);
    }

    CURL* easy_;
    bool connectOnly_;
    CURLM* multi_;
    std::string postBody_;
    curl_slist* headers_ = nullptr;
    Body body_;
    HttpReply reply_;
    std::atomic<bool> abandoned_{false};
    std::atomic<bool> done_{false};
    std::thread worker_;
};

CURL* baseHandle(const std::string& url, long connectTimeoutMs, long timeoutMs) {
    CURL* curl = curl_easy_init();
    if (!curl) return nullptr;
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    // The address comes from a settings file: nothing but the web, never file:// and the like.
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, connectTimeoutMs);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, timeoutMs);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    return curl;
}

}  // namespace

CurlHttp::CurlHttp() { curl_global_init(CURL_GLOBAL_DEFAULT); }

CurlHttp::~CurlHttp() {
    // A POST still under way gets a moment to finish; the program's exit never waits longer.
    auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(kExitGraceMs);
    {
        std::lock_guard lock(mutex_);
        for (auto& call : background_)
            while (!call->done() && std::chrono::steady_clock::now() < until)
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
        background_.clear();  // abandons what is left
    }
    curl_global_cleanup();
}

void CurlHttp::postInBackground(const std::string& url, std::string body) {
    std::lock_guard lock(mutex_);
    std::erase_if(background_, [](const std::unique_ptr<HttpCall>& call) { return call->done(); });
    if (background_.size() >= kMaxBackground) return;
    CURL* curl = baseHandle(url, kConnectTimeoutMs, kRequestTimeoutMs);
    if (curl) curl_easy_setopt(curl, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(kMaxReply));
    background_.push_back(std::make_unique<CurlCall>(curl, false, std::move(body), true));
}

std::unique_ptr<HttpCall> CurlHttp::startGet(const std::string& url) {
    CURL* curl = baseHandle(url, kConnectTimeoutMs, kRequestTimeoutMs);
    if (curl) curl_easy_setopt(curl, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(kMaxReply));
    return std::make_unique<CurlCall>(curl, false);
}

std::unique_ptr<HttpCall> CurlHttp::startConnect(const std::string& url, int timeoutMs) {
    CURL* curl = baseHandle(url, timeoutMs, timeoutMs);
    if (curl) curl_easy_setopt(curl, CURLOPT_CONNECT_ONLY, 1L);
    return std::make_unique<CurlCall>(curl, true);
}

HttpReply CurlHttp::get(const std::string& url) { return startGet(url)->reply(); }

bool CurlHttp::canConnect(const std::string& url, int timeoutMs) {
    return startConnect(url, timeoutMs)->reply().ok;
}

}  // namespace zorvan
