#include "platform/folder_files.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <system_error>

#include "platform/data_folder.h"
#include "platform/utf8_path.h"

#ifdef _WIN32
#include "platform/win/wide.h"
#else
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace zorvan {

namespace fs = std::filesystem;

#ifdef _WIN32

namespace {

struct Handle {
    HANDLE h;
    ~Handle() {
        if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
    }
};

unsigned long processId() { return GetCurrentProcessId(); }

bool processGone(unsigned long pid) {
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    if (!process) return GetLastError() == ERROR_INVALID_PARAMETER;
    DWORD code = 0;
    const bool ended = GetExitCodeProcess(process, &code) && code != STILL_ACTIVE;
    CloseHandle(process);
    return ended;
}

std::string systemMessage(DWORD code) {
    switch (code) {
    case ERROR_ACCESS_DENIED: return "Permission denied";
    case ERROR_SHARING_VIOLATION: return "another program has it open";
    case ERROR_LOCK_VIOLATION: return "another program has locked it";
    default: return "Windows error " + std::to_string(code);
    }
}

}  // namespace

// Flushed before the rename and renamed with write-through, so that a crash or a power cut
// leaves either the old file or the new one whole.
bool writeFileAtomically(const fs::path& path, std::string_view bytes, bool synced) {
    fs::path temp = path;
    temp += ".tmp" + std::to_string(processId());
    bool ok = true;
    {
        Handle file{CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr)};
        if (file.h == INVALID_HANDLE_VALUE) return false;
        const char* p = bytes.data();
        std::size_t left = bytes.size();
        while (ok && left > 0) {
            DWORD wrote = 0;
            const DWORD chunk = static_cast<DWORD>(left < (1u << 30) ? left : (1u << 30));
            ok = WriteFile(file.h, p, chunk, &wrote, nullptr) && wrote > 0;
            p += wrote;
            left -= wrote;
        }
        ok = ok && (!synced || FlushFileBuffers(file.h));
    }
    if (ok)
        ok = MoveFileExW(temp.c_str(), path.c_str(),
                         MOVEFILE_REPLACE_EXISTING | (synced ? MOVEFILE_WRITE_THROUGH : 0)) != 0;
    if (!ok) DeleteFileW(temp.c_str());
    return ok;
}

#else

namespace {

unsigned long processId() { return static_cast<unsigned long>(::getpid()); }

bool processGone(unsigned long pid) { return ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH; }

}  // namespace

bool writeFileAtomically(const fs::path& path, std::string_view bytes, bool synced) {
    fs::path temp = path;
    temp += ".tmp" + std::to_string(::getpid());
    int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    const char* p = bytes.data();
    std::size_t left = bytes.size();
    bool ok = true;
    while (left > 0) {
        ssize_t n = ::write(fd, p, left);
        if (n < 0) {
            if (errno == EINTR) continue;
            ok = false;
            break;
        }
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    ok = ok && (!synced || ::fsync(fd) == 0);
    ok = (::close(fd) == 0) && ok;
    if (ok) ok = std::rename(temp.c_str(), path.c_str()) == 0;
    if (!ok) ::unlink(temp.c_str());
    return ok;
}

#endif

void removeStaleTemporaries(const fs::path& folder, const std::function<bool(std::string_view)>& ours) {
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        const std::size_t mark = name.rfind(".tmp");
        if (mark == std::string::npos || mark == 0 || mark + 4 == name.size()) continue;
        const std::string digits = name.substr(mark + 4);
        if (digits.size() > 9 || digits.find_first_not_of("0123456789") != std::string::npos) continue;
        if (!ours(std::string_view(name).substr(0, mark))) continue;
        std::error_code e;
        if (!it->is_regular_file(e)) continue;
        const auto pid = std::stoul(digits);
        const bool gone = pid == processId() || processGone(pid);
        const auto age = fs::file_time_type::clock::now() - fs::last_write_time(it->path(), e);
        if (gone || (!e && age > std::chrono::minutes(1))) fs::remove(it->path(), e);
    }
}

namespace {

#ifdef _WIN32

std::optional<std::string> readFile(const fs::path& path, bool regularOnly) {
    Handle file{CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)};
    if (file.h == INVALID_HANDLE_VALUE) return std::nullopt;
    const bool regular = GetFileType(file.h) == FILE_TYPE_DISK;
    if (regularOnly && !regular) return std::nullopt;
    std::string bytes;
    LARGE_INTEGER size{};
    if (regular && GetFileSizeEx(file.h, &size)) bytes.reserve(static_cast<std::size_t>(size.QuadPart));
    char chunk[65536];
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(file.h, chunk, sizeof chunk, &got, nullptr)) {
            if (GetLastError() == ERROR_BROKEN_PIPE) break;
            return std::nullopt;
        }
        if (got == 0) break;
        bytes.append(chunk, got);
    }
    return bytes;
}

#else

// One read of the size the file has (sounds are read whole, many times a game), then on to
// the end in case it grew meanwhile or is a pipe. Regular files only when `regularOnly`.
std::optional<std::string> readFile(const fs::path& path, bool regularOnly) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    struct stat info {};
    if (::fstat(fd, &info) != 0) return std::nullopt;
    if (regularOnly && !S_ISREG(info.st_mode)) return std::nullopt;
    std::string bytes(S_ISREG(info.st_mode) ? static_cast<std::size_t>(info.st_size) : 0, '\0');
    std::size_t got = 0;
    while (got < bytes.size()) {
        const ssize_t n = ::read(fd, bytes.data() + got, bytes.size() - got);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return std::nullopt;
        if (n == 0) break;
        got += static_cast<std::size_t>(n);
    }
    if (got < bytes.size()) {  // it shrank meanwhile
        bytes.resize(got);
        return bytes;
    }
    char chunk[4096];  // it grew meanwhile, or is a pipe
    for (;;) {
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return std::nullopt;
        if (n == 0) break;
        bytes.append(chunk, static_cast<std::size_t>(n));
    }
    return bytes;
}

#endif

}  // namespace

std::optional<std::string> readWholeFile(const fs::path& path) { return readFile(path, false); }

fs::path FolderFiles::pathOf(std::string_view name) const {
    return (isPlayerFile(name) ? data_ : root_) / fs::path(name);
}

bool FolderFiles::exists(std::string_view name) {
    std::error_code ec;
    return fs::is_regular_file(pathOf(name), ec);
}

std::optional<std::string> FolderFiles::read(std::string_view name) {
    return readFile(pathOf(name), true);
}

bool FolderFiles::write(std::string_view name, std::string_view bytes) {
    bool ok = writeFileAtomically(pathOf(name), bytes, synced_);
    if (ok && onWrite_) onWrite_(name);
    return ok;
}

bool FolderFiles::remove(std::string_view name) {
    std::error_code ec;
    fs::remove(pathOf(name), ec);
    return !ec;
}

// Writes go to the data folder, which holds the game's own files only, so every "NAME.tmpPID"
// in it is ours.
void FolderFiles::removeStaleTemporaries() {
    zorvan::removeStaleTemporaries(data_, [](std::string_view) { return true; });
}

std::string FolderFiles::absolutePath(std::string_view name) {
    return utf8Of(pathOf(name));
}

std::string FolderFiles::unreadableReason(std::string_view name) {
    const fs::path path = pathOf(name);
#ifdef _WIN32
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD code = GetLastError();
        return code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND ? std::string() : systemMessage(code);
    }
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) return "it is a folder, not a file";
    Handle file{CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)};
    if (file.h == INVALID_HANDLE_VALUE) return systemMessage(GetLastError());
    return {};
#else
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0)
        return errno == ENOENT ? std::string() : std::strerror(errno);
    if (S_ISDIR(info.st_mode)) return "it is a folder, not a file";
    if (!S_ISREG(info.st_mode)) return "it is not a regular file";
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return std::strerror(errno);
    ::close(fd);
    return {};
#endif
}

}  // namespace zorvan
