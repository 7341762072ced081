// A score server that takes connections and never answers: prints its port, then writes one
// line to stdout for every connection it holds, until it is killed.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <vector>

int main() {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(fd, 16) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) != 0)
        return 1;
    std::printf("%d\n", ntohs(a.sin_port));
    std::fflush(stdout);
    std::vector<int> held;
    for (;;) {
        int c = ::accept(fd, nullptr, nullptr);
        if (c < 0) continue;
        held.push_back(c);
        std::printf("connection %zu\n", held.size());
        std::fflush(stdout);
    }
}
