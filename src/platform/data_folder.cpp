#include "platform/data_folder.h"

#include <cstdlib>
#include <stdexcept>
#include <system_error>

#include "platform/folder_files.h"

#ifdef _WIN32
#include <shlobj.h>
#include <windows.h>
#endif

namespace zorvan {

namespace fs = std::filesystem;

bool isPlayerFile(std::string_view name) {
    for (std::string_view f : kPlayerFiles)
        if (name == f) return true;
    return false;
}

#ifdef _WIN32

fs::path windowsProgramFolder() {
    std::wstring name(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, name.data(), static_cast<DWORD>(name.size()));
        if (n == 0) return {};
        if (n < name.size()) {
            name.resize(n);
            return fs::path(name).parent_path();
        }
        name.resize(name.size() * 2);
    }
}

fs::path defaultDataFolder() {
    const fs::path program = windowsProgramFolder();
    std::error_code ec;
    if (!program.empty() && fs::is_regular_file(program / kPortableMarker, ec)) return program / "data";
    PWSTR roaming = nullptr;
    fs::path folder;
    if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_RoamingAppData, KF_FLAG_CREATE, nullptr, &roaming)))
        folder = fs::path(roaming) / "Zorvan";
    CoTaskMemFree(roaming);
    return folder;
}

#else

fs::path defaultDataFolder() {
    if (const char* x = std::getenv("XDG_DATA_HOME"); x && *x) return fs::path(x) / "zorvan";
    if (const char* h = std::getenv("HOME"); h && *h) return fs::path(h) / ".local" / "share" / "zorvan";
    return {};
}

#endif

namespace {

#ifdef _WIN32
constexpr const char* kNoDataFolder = "no folder for the player's data: Windows names no application data folder";
#else
constexpr const char* kNoDataFolder = "no folder for the player's data: neither XDG_DATA_HOME nor HOME is set";
#endif

bool sameFolder(const fs::path& a, const fs::path& b) {
    std::error_code ec;
    const bool same = fs::equivalent(a, b, ec);
    return !ec && same;
}

void copyInto(const fs::path& from, const fs::path& to) {
    const auto bytes = readWholeFile(from);
    if (!bytes) throw std::runtime_error("cannot read " + from.string());
    if (!writeFileAtomically(to, *bytes)) throw std::runtime_error("cannot write " + to.string());
}

}  // namespace

DataFolderReport prepareDataFolder(const fs::path& program, const fs::path& data) {
    if (data.empty()) throw std::runtime_error(kNoDataFolder);
    std::error_code ec;
    fs::create_directories(data, ec);
    if (ec || !fs::is_directory(data))
        throw std::runtime_error("cannot create the data folder " + data.string() + ": " + ec.message());

    DataFolderReport report;
    const bool separate = !sameFolder(program, data);
    for (std::string_view name : kPlayerFiles) {
        const fs::path target = data / name;
        if (fs::exists(target, ec)) continue;
        const fs::path old = program / name;
        if (separate && fs::is_regular_file(old, ec)) {
            copyInto(old, target);
            // A read-only program folder keeps its copy; the one in the data folder wins anyway.
            fs::remove(old, ec);
            report.moved.emplace_back(name);
            continue;
        }
        const fs::path delivered = program / kDefaultsFolder / name;
        if (fs::is_regular_file(delivered, ec)) {
            copyInto(delivered, target);
            report.seeded.emplace_back(name);
        }
    }
    return report;
}

}  // namespace zorvan
