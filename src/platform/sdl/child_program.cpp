#include "platform/sdl/child_program.h"

#include <cerrno>
#include <chrono>
#include <thread>

#ifdef _WIN32
#include "platform/win/wide.h"
#else
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;
#endif

namespace zorvan {

#ifdef _WIN32

namespace {

// One argument as the C runtime's parser reads it back: quoted, with the backslashes before
// a quote doubled.
void appendQuoted(std::wstring& line, const std::wstring& arg) {
    line += L'"';
    std::size_t backslashes = 0;
    for (wchar_t c : arg) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        line.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        line += c;
    }
    line.append(backslashes * 2, L'\\');
    line += L'"';
}

}  // namespace

std::optional<int> runAndWait(const std::filesystem::path& program, const std::vector<std::string>& args,
                              const std::function<void()>& pump) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(program, ec)) return std::nullopt;
    std::wstring line;
    appendQuoted(line, program.wstring());
    for (const auto& arg : args) {
        line += L' ';
        appendQuoted(line, widen(arg));
    }
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        program.parent_path().c_str(), &startup, &process))
        return std::nullopt;
    CloseHandle(process.hThread);
    while (WaitForSingleObject(process.hProcess, 20) == WAIT_TIMEOUT)
        if (pump) pump();
    DWORD code = 0;
    const bool known = GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hProcess);
    if (!known) return std::nullopt;
    return static_cast<int>(code);
}

#else

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

#endif

}  // namespace zorvan
