#include "platform/folder_files.h"

#include "platform/data_folder.h"

#include <cstdio>
#include <fstream>
#include <sstream>
#include <system_error>

#include <fcntl.h>
#include <unistd.h>

namespace zorvan {

namespace fs = std::filesystem;

bool writeFileAtomically(const fs::path& path, std::string_view bytes) {
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
    ok = ok && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    if (ok) ok = std::rename(temp.c_str(), path.c_str()) == 0;
    if (!ok) ::unlink(temp.c_str());
    return ok;
}

std::optional<std::string> readWholeFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::ostringstream out;
    out << in.rdbuf();
    if (in.bad()) return std::nullopt;
    return std::move(out).str();
}

fs::path FolderFiles::pathOf(std::string_view name) const {
    return (isPlayerFile(name) ? data_ : root_) / fs::path(name);
}

bool FolderFiles::exists(std::string_view name) {
    std::error_code ec;
    return fs::is_regular_file(pathOf(name), ec);
}

std::optional<std::string> FolderFiles::read(std::string_view name) {
    if (!exists(name)) return std::nullopt;
    return readWholeFile(pathOf(name));
}

bool FolderFiles::write(std::string_view name, std::string_view bytes) {
    bool ok = writeFileAtomically(pathOf(name), bytes);
    if (ok && onWrite_) onWrite_(name);
    return ok;
}

bool FolderFiles::remove(std::string_view name) {
    std::error_code ec;
    fs::remove(pathOf(name), ec);
    return !ec;
}

std::string FolderFiles::absolutePath(std::string_view name) {
    return pathOf(name).string();
}

}  // namespace zorvan
