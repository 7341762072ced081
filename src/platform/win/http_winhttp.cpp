#include "platform/win/http_winhttp.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <winhttp.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

#include "platform/win/wide.h"

namespace zorvan {

namespace {

constexpr int kConnectTimeoutMs = 5000;
constexpr int kRequestTimeoutMs = 10000;
constexpr std::size_t kMaxReply = 4 * 1024 * 1024;

using Clock = std::chrono::steady_clock;

struct Target {
    bool ok = false;
    bool secure = false;
    std::wstring host;
    INTERNET_PORT port = 0;
    std::wstring path;  // with the query
};

// Only http and https, as on the other systems: the address comes from a settings file.
Target parseUrl(const std::string& url) {
    Target t;
    const std::wstring wide = widen(url);
    URL_COMPONENTS parts{};
    parts.dwStructSize = sizeof parts;
    parts.dwHostNameLength = static_cast<DWORD>(-1);
    parts.dwUrlPathLength = static_cast<DWORD>(-1);
    parts.dwExtraInfoLength = static_cast<DWORD>(-1);
    parts.dwSchemeLength = static_cast<DWORD>(-1);
    if (!WinHttpCrackUrl(wide.c_str(), static_cast<DWORD>(wide.size()), 0, &parts)) return t;
    if (parts.nScheme != INTERNET_SCHEME_HTTP && parts.nScheme != INTERNET_SCHEME_HTTPS) return t;
    t.secure = parts.nScheme == INTERNET_SCHEME_HTTPS;
    t.host.assign(parts.lpszHostName, parts.dwHostNameLength);
    t.port = parts.nPort;
    t.path.assign(parts.lpszUrlPath, parts.dwUrlPathLength);
    if (parts.lpszExtraInfo) t.path.append(parts.lpszExtraInfo, parts.dwExtraInfoLength);
    if (t.path.empty()) t.path = L"/";
    t.ok = !t.host.empty();
    return t;
}

std::string errorText(DWORD code) {
    switch (code) {
    case ERROR_WINHTTP_TIMEOUT: return "timed out";
    case ERROR_WINHTTP_CANNOT_CONNECT: return "could not connect to the server";
    case ERROR_WINHTTP_NAME_NOT_RESOLVED: return "could not resolve the host name";
    case ERROR_WINHTTP_CONNECTION_ERROR: return "the connection was reset";
    case ERROR_WINHTTP_OPERATION_CANCELLED: return "abandoned";
    case ERROR_WINHTTP_INVALID_SERVER_RESPONSE: return "the server's reply is not HTTP";
    default: return "HTTP error " + std::to_string(code);
    }
}

// A call on a thread of its own. Dropping it closes its request handle and leaves the thread
// to end by itself: WinHTTP does not always give up a blocking call at once, and the game
// must not wait for it. What the thread touches is shared with it, so it outlives the call.
class WinHttpCall final : public HttpCall {
public:
    WinHttpCall(HINTERNET session, const std::string& url, bool connectOnly, int timeoutMs,
                bool post = false, std::string body = {})
        : state_(std::make_shared<State>()) {
        State& s = *state_;
        s.session = session;
        s.connectOnly = connectOnly;
        s.timeoutMs = timeoutMs;
        s.post = post;
        s.body = std::move(body);
        s.target = parseUrl(url);
        if (!s.target.ok) {
            s.reply.error = "not an http or https address: " + url;
            s.done = true;
            return;
        }
        worker_ = std::thread([state = state_] { state->connectOnly ? state->connect() : state->transfer(); });
    }
    ~WinHttpCall() override {
        if (!worker_.joinable()) return;
        if (state_->done) {
            worker_.join();
            return;
        }
        state_->abandon();
        worker_.detach();
    }
    WinHttpCall(const WinHttpCall&) = delete;
    WinHttpCall& operator=(const WinHttpCall&) = delete;

    bool done() override { return state_->done.load(std::memory_order_acquire); }
    void wait() override {
        if (worker_.joinable()) worker_.join();
    }
    HttpReply reply() override {
        wait();
        return state_->reply;
    }

private:
    struct State {
        HINTERNET session = nullptr;
        bool connectOnly = false;
        int timeoutMs = 0;
        bool post = false;
        std::string body;
        Target target;
        std::mutex handles;
        HINTERNET connection = nullptr;
        HINTERNET request = nullptr;
        HttpReply reply;
        std::atomic<bool> abandoned{false};
        std::atomic<bool> done{false};

        ~State() {
            if (request) WinHttpCloseHandle(request);
            if (connection) WinHttpCloseHandle(connection);
        }

        void abandon() {
            abandoned = true;
            std::lock_guard lock(handles);
            if (request) WinHttpCloseHandle(request), request = nullptr;
        }

        void finish() { done.store(true, std::memory_order_release); }

        void fail(const std::string& why) {
            reply.error = abandoned ? "abandoned" : why;
            finish();
        }

        void transfer() {
            const auto deadline = Clock::now() + std::chrono::milliseconds(kRequestTimeoutMs);
            auto left = [&] {
                const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
                return static_cast<int>(ms > 1 ? ms : 1);
            };
            HINTERNET open = nullptr;
            {
                std::lock_guard lock(handles);
                if (abandoned) return fail("abandoned");
                connection = WinHttpConnect(session, target.host.c_str(), target.port, 0);
                if (connection)
                    request = WinHttpOpenRequest(connection, post ? L"POST" : L"GET", target.path.c_str(), nullptr,
                                                 WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES,
                                                 target.secure ? WINHTTP_FLAG_SECURE : 0);
                open = request;
            }
            if (!open) return fail(errorText(GetLastError()));
            WinHttpSetTimeouts(open, kConnectTimeoutMs, kConnectTimeoutMs, left(), left());
            DWORD noRedirects = WINHTTP_DISABLE_REDIRECTS;
            WinHttpSetOption(open, WINHTTP_OPTION_DISABLE_FEATURE, &noRedirects, sizeof noRedirects);
            const wchar_t* headers =
                post ? L"Content-Type: text/plain; charset=utf-8\r\n" : WINHTTP_NO_ADDITIONAL_HEADERS;
            const BOOL sent = WinHttpSendRequest(open, headers, post ? static_cast<DWORD>(-1L) : 0,
                                                 post ? body.data() : WINHTTP_NO_REQUEST_DATA,
                                                 static_cast<DWORD>(body.size()), static_cast<DWORD>(body.size()), 0);
            if (!sent || !WinHttpReceiveResponse(open, nullptr)) return fail(errorText(GetLastError()));
            DWORD status = 0, size = sizeof status;
            WinHttpQueryHeaders(open, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                                WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX);
            std::string bytes;
            for (;;) {
                if (abandoned) return fail("abandoned");
                WinHttpSetTimeouts(open, kConnectTimeoutMs, kConnectTimeoutMs, left(), left());
                char chunk[16384];
                DWORD got = 0;
                if (!WinHttpReadData(open, chunk, sizeof chunk, &got)) return fail(errorText(GetLastError()));
                if (got == 0) break;
                if (got > kMaxReply - bytes.size()) return fail("the reply is larger than 4 MiB");
                bytes.append(chunk, got);
                if (Clock::now() >= deadline) return fail("timed out");
            }
            reply.ok = true;
            reply.status = static_cast<int>(status);
            reply.body = std::move(bytes);
            finish();
        }

        // Only whether a TCP connection opens, as curl's CONNECT_ONLY.
        void connect() {
            const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
            const std::string host = narrow(target.host);
            const std::string port = std::to_string(target.port);
            addrinfo hints{};
            hints.ai_socktype = SOCK_STREAM;
            addrinfo* found = nullptr;
            if (getaddrinfo(host.c_str(), port.c_str(), &hints, &found) != 0 || !found)
                return fail("could not resolve the host name");
            bool connected = false;
            for (addrinfo* a = found; a && !connected && !abandoned && Clock::now() < deadline; a = a->ai_next) {
                SOCKET s = socket(a->ai_family, a->ai_socktype, a->ai_protocol);
                if (s == INVALID_SOCKET) continue;
                u_long nonBlocking = 1;
                ioctlsocket(s, FIONBIO, &nonBlocking);
                if (::connect(s, a->ai_addr, static_cast<int>(a->ai_addrlen)) == 0) connected = true;
                while (!connected && !abandoned && WSAGetLastError() == WSAEWOULDBLOCK && Clock::now() < deadline) {
                    fd_set writable, failed;
                    FD_ZERO(&writable);
                    FD_ZERO(&failed);
                    FD_SET(s, &writable);
                    FD_SET(s, &failed);
                    timeval slice{0, 50000};
                    if (select(0, nullptr, &writable, &failed, &slice) < 0) break;
                    if (FD_ISSET(s, &failed)) break;
                    if (FD_ISSET(s, &writable)) connected = true;
                    WSASetLastError(WSAEWOULDBLOCK);
                }
                closesocket(s);
            }
            freeaddrinfo(found);
            if (!connected) return fail(Clock::now() >= deadline ? "timed out" : "could not connect to the server");
            reply.ok = true;
            finish();
        }
    };

    std::shared_ptr<State> state_;
    std::thread worker_;
};

}  // namespace

WinHttp::WinHttp() {
    WSADATA wsa;
    WSAStartup(MAKEWORD(2, 2), &wsa);
    session_ = WinHttpOpen(L"zorvan", WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, WINHTTP_NO_PROXY_NAME,
                           WINHTTP_NO_PROXY_BYPASS, 0);
}

WinHttp::~WinHttp() {
    const auto until = Clock::now() + std::chrono::milliseconds(kExitGraceMs);
    {
        std::lock_guard lock(mutex_);
        for (auto& call : background_)
            while (!call->done() && Clock::now() < until) std::this_thread::sleep_for(std::chrono::milliseconds(5));
        background_.clear();
    }
    if (session_) WinHttpCloseHandle(session_);
    WSACleanup();
}

void WinHttp::postInBackground(const std::string& url, std::string body) {
    std::lock_guard lock(mutex_);
    std::erase_if(background_, [](const std::unique_ptr<HttpCall>& call) { return call->done(); });
    if (background_.size() >= kMaxBackground) return;
    background_.push_back(std::make_unique<WinHttpCall>(session_, url, false, kRequestTimeoutMs, true, std::move(body)));
}

std::unique_ptr<HttpCall> WinHttp::startGet(const std::string& url) {
    return std::make_unique<WinHttpCall>(session_, url, false, kRequestTimeoutMs);
}

std::unique_ptr<HttpCall> WinHttp::startConnect(const std::string& url, int timeoutMs) {
    return std::make_unique<WinHttpCall>(session_, url, true, timeoutMs);
}

HttpReply WinHttp::get(const std::string& url) { return startGet(url)->reply(); }

bool WinHttp::canConnect(const std::string& url, int timeoutMs) { return startConnect(url, timeoutMs)->reply().ok; }

}  // namespace zorvan
