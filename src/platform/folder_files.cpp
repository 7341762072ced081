#include "platform/folder_files.h"

#include <cerrno>
#include <cstdio>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zorvan {

namespace fs = std::filesystem;

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

namespace {

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

}  // namespace

std::optional<std::string> readWholeFile(const fs::path& path) { return readFile(path, false); }

bool FolderFiles::exists(std::string_view name) {
    std::error_code ec;
    return fs::is_regular_file(root_ / fs::path(name), ec);
}

std::optional<std::string> FolderFiles::read(std::string_view name) {
    return readFile(root_ / fs::path(name), true);
}

bool FolderFiles::write(std::string_view name, std::string_view bytes) {
    bool ok = writeFileAtomically(root_ / fs::path(name), bytes, synced_);
    if (ok && onWrite_) onWrite_(name);
    return ok;
}

bool FolderFiles::remove(std::string_view name) {
    std::error_code ec;
    fs::remove(root_ / fs::path(name), ec);
    return !ec;
}

std::string FolderFiles::absolutePath(std::string_view name) {
    return (root_ / fs::path(name)).string();
}

}  // namespace zorvan
