#pragma once
// Process numbers for tests of what a process leaves behind, on either system, and whether
// taking a permission away stops this process.

#include <string>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace zorvan::test {

#ifdef _WIN32

// A process held suspended for as long as the object lives.
class LivingProcess {
public:
    LivingProcess() {
        wchar_t line[] = L"cmd.exe /c exit 0";
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        if (CreateProcessW(nullptr, line, nullptr, nullptr, FALSE, CREATE_SUSPENDED | CREATE_NO_WINDOW, nullptr,
                           nullptr, &startup, &info_))
            CloseHandle(info_.hThread);
    }
    ~LivingProcess() {
        if (!info_.hProcess) return;
        TerminateProcess(info_.hProcess, 0);
        WaitForSingleObject(info_.hProcess, 5000);
        CloseHandle(info_.hProcess);
    }
    std::string id() const { return std::to_string(info_.dwProcessId); }

private:
    PROCESS_INFORMATION info_{};
};

inline std::string endedProcessId() {
    LivingProcess* p = new LivingProcess;
    const std::string id = p->id();
    delete p;
    return id;
}

inline std::string ownProcessId() { return std::to_string(GetCurrentProcessId()); }

inline bool permissionsStopUs() { return false; }  // the bits are only a read-only attribute

#else

class LivingProcess {
public:
    std::string id() const { return std::to_string(::getppid()); }
};

inline std::string endedProcessId() {
    pid_t child = ::fork();
    if (child == 0) ::_exit(0);
    ::waitpid(child, nullptr, 0);
    return std::to_string(child);
}

inline std::string ownProcessId() { return std::to_string(::getpid()); }

inline bool permissionsStopUs() { return ::geteuid() != 0; }  // root reads and writes anyway

#endif

}  // namespace zorvan::test
