#pragma once
// A one-thread HTTP stub on loopback: answers every request with a fixed reply, or accepts
// connections and never answers (a server that hangs), or follows its reply with a stream of
// filler bytes for as long as the client reads (a server that never stops).

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace zorvan::test {

class StubServer {
public:
    // `reply` is the whole HTTP response; empty: never answer. With `streamBytes`, that many
    // filler bytes follow it (the client may stop reading sooner).
    explicit StubServer(std::string reply, std::size_t streamBytes = 0)
        : reply_(std::move(reply)), streamBytes_(streamBytes) {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        ::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
        ::listen(fd_, 16);
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len);
        port_ = ntohs(a.sin_port);
        thread_ = std::thread([this] { serve(); });
    }
    ~StubServer() {
        stop_ = true;
        thread_.join();
        for (int c : held_) ::close(c);
        ::close(fd_);
    }
    std::string base() const { return "http://127.0.0.1:" + std::to_string(port_); }
    int requests() const { return requests_; }
    std::size_t streamed() const { return streamed_; }

    static std::string status(int code, const std::string& body) {
        return "HTTP/1.1 " + std::to_string(code) + " Stub\r\nContent-Length: " + std::to_string(body.size()) +
               "\r\nConnection: close\r\n\r\n" + body;
    }

private:
    void serve() {
        while (!stop_) {
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, 50) <= 0) continue;
            int c = ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
            if (c < 0) continue;
            std::string request;
            char buf[4096];
            while (request.find("\r\n\r\n") == std::string::npos) {
                pollfd q{c, POLLIN, 0};
                if (::poll(&q, 1, 1000) <= 0) break;
                ssize_t n = ::recv(c, buf, sizeof buf, 0);
                if (n <= 0) break;
                request.append(buf, static_cast<std::size_t>(n));
            }
            ++requests_;
            if (reply_.empty()) {
                held_.push_back(c);  // keep it open and silent
                continue;
            }
            ::send(c, reply_.data(), reply_.size(), MSG_NOSIGNAL);
            const std::string filler(64 * 1024, 'x');
            while (!stop_ && streamed_ < streamBytes_) {
                pollfd q{c, POLLOUT, 0};
                if (::poll(&q, 1, 1000) <= 0) break;
                ssize_t n = ::send(c, filler.data(), std::min(filler.size(), streamBytes_ - streamed_), MSG_NOSIGNAL);
                if (n <= 0) break;
                streamed_ += static_cast<std::size_t>(n);
            }
            ::close(c);
        }
    }

    std::string reply_;
    std::size_t streamBytes_ = 0;
    std::atomic<std::size_t> streamed_{0};
    int fd_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<int> requests_{0};
    std::vector<int> held_;
    std::thread thread_;
};

}  // namespace zorvan::test
