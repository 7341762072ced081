#include "platform/sdl/child_program.h"

#include <cerrno>
#include <chrono>
#include <thread>

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace zorvan {

std::optional<int> runAndWait(const std::filesystem::path& program, const std::vector<std::string>& args,
                              const std::function<void()>& pump) {
    if (::access(program.c_str(), X_OK) != 0) return std::nullopt;
    std::vector<std::string> strings{program.string()};
    strings.insert(strings.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& s : strings) argv.push_back(s.data());
    argv.push_back(nullptr);

    pid_t pid = 0;
    if (::posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv.data(), environ) != 0) return std::nullopt;
    for (;;) {
        int status = 0;
        const pid_t done = ::waitpid(pid, &status, WNOHANG);
        if (done == pid) {
            if (WIFEXITED(status)) return WEXITSTATUS(status);
            return std::nullopt;
        }
        if (done < 0 && errno != EINTR) return std::nullopt;
        if (pump) pump();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

}  // namespace zorvan
