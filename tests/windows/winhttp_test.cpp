// The WinHTTP client against servers on loopback: a reply is read whole, a server that never
// answers is abandoned at once when its call is dropped, and what is not http or https is
// refused before anything is sent.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "platform/win/http_winhttp.h"

namespace zorvan {
namespace {

using Clock = std::chrono::steady_clock;

// A loopback server that answers each connection with `reply` (or, when empty, never).
class LoopbackServer {
public:
    explicit LoopbackServer(std::string reply) : reply_(std::move(reply)) {
        WSADATA wsa;
        WSAStartup(MAKEWORD(2, 2), &wsa);
        listener_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        listen(listener_, 4);
        int size = sizeof address;
        getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size);
        port_ = ntohs(address.sin_port);
        worker_ = std::thread([this] { serve(); });
    }
    ~LoopbackServer() {
        stop_ = true;
        closesocket(listener_);
        worker_.join();
        WSACleanup();
    }
    std::string url(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(port_) + path; }
    std::string received() const { return received_; }

private:
    void serve() {
        while (!stop_) {
            SOCKET client = accept(listener_, nullptr, nullptr);
            if (client == INVALID_SOCKET) return;
            char buffer[4096];
            const int n = recv(client, buffer, sizeof buffer, 0);
            if (n > 0) received_.assign(buffer, static_cast<std::size_t>(n));
            if (reply_.empty()) {
                while (!stop_) std::this_thread::sleep_for(std::chrono::milliseconds(20));
            } else {
                send(client, reply_.data(), static_cast<int>(reply_.size()), 0);
            }
            closesocket(client);
        }
    }

    std::string reply_;
    SOCKET listener_ = INVALID_SOCKET;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::string received_;
    std::thread worker_;
};

TEST(WinHttp, AReplyIsReadWholeWithItsStatus) {
    LoopbackServer server("HTTP/1.1 404 Not Found\r\nContent-Length: 5\r\nConnection: close\r\n\r\nnope!");
    WinHttp http;
    const HttpReply reply = http.get(server.url("/api/table?d=1&n=10"));
    ASSERT_TRUE(reply.ok) << reply.error;
    EXPECT_EQ(reply.status, 404);
    EXPECT_EQ(reply.body, "nope!");
    EXPECT_NE(server.received().find("GET /api/table?d=1&n=10 HTTP/1.1"), std::string::npos) << server.received();
    EXPECT_TRUE(http.canConnect(server.url("/"), 2000));
}

TEST(WinHttp, DroppingACallToASilentServerEndsItAtOnce) {
    LoopbackServer server("");
    WinHttp http;
    auto call = http.startGet(server.url("/"));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_FALSE(call->done());
    const auto began = Clock::now();
    call.reset();
    EXPECT_LT(Clock::now() - began, std::chrono::seconds(2));
}

TEST(WinHttp, OnlyTheWebIsReachedAndAClosedPortFailsSoon) {
    WinHttp http;
    const HttpReply file = http.get("file:///C:/windows/win.ini");
    EXPECT_FALSE(file.ok);
    EXPECT_NE(file.error.find("not an http or https address"), std::string::npos) << file.error;
    // Port 9 on loopback: nothing listens, the connection is refused.
    const auto began = Clock::now();
    EXPECT_FALSE(http.get("http://127.0.0.1:9/").ok);
    EXPECT_FALSE(http.canConnect("http://127.0.0.1:9/", 1000));
    EXPECT_LT(Clock::now() - began, std::chrono::seconds(8));
}

}  // namespace
}  // namespace zorvan
