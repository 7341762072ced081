// libFuzzer target: the settings store reading an INI file that a player edited by hand or a
// crash cut short. The input is the file; its last byte picks the entry that is set and then
// removed, and the value set is the bytes before it (up to 24, any byte). Setting and removing
// one entry must give that entry back (or the fallback) and must not change what any other
// entry of the file reads as.
//
// The store's files live in memory here (the file functions below stand in for
// folder_files.cpp), so that the campaign reaches millions of inputs; the real files are
// the business of the store's own tests.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/folder_files.h"
#include "platform/ini_settings.h"

namespace zorvan {

namespace {
std::map<std::filesystem::path, std::string>& memoryFiles() {
    static std::map<std::filesystem::path, std::string> files;
    return files;
}
}  // namespace

std::optional<std::string> readWholeFile(const std::filesystem::path& path) {
    const auto it = memoryFiles().find(path);
    if (it == memoryFiles().end()) return std::nullopt;
    return it->second;
}

bool writeFileAtomically(const std::filesystem::path& path, std::string_view bytes, bool /*synced*/) {
    memoryFiles()[path] = std::string(bytes);
    return true;
}

// Files in memory leave no temporaries behind.
void removeStaleTemporaries(const std::filesystem::path&, const std::function<bool(std::string_view)>&) {}

}  // namespace zorvan

namespace {

namespace fs = std::filesystem;

constexpr std::string_view kApp = "zorvan-fuzz-ini-in-memory";
constexpr std::string_view kMissing = "\x01missing";

void require(bool holds) {
    if (!holds) std::abort();
}

// A folder that is there, so that the store has nothing to create; its file is in memory.
const fs::path kFolder = fs::temp_directory_path();

// The section and key of the first lines that look like entries: what a reader might be asked.
std::vector<std::pair<std::string, std::string>> entriesOf(std::string_view text) {
    std::vector<std::pair<std::string, std::string>> found;
    std::string section;
    while (!text.empty() && found.size() < 6) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
            section = line.substr(1, line.size() - 2);
        } else if (const std::size_t eq = line.find('='); eq != std::string_view::npos) {
            found.emplace_back(section, std::string(line.substr(0, eq)));
        }
    }
    return found;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    require(zorvan::unescapeIniValue(zorvan::escapeIniValue(bytes)) == bytes);
    if (size == 0) return 0;

    const std::string_view text = bytes.substr(0, size - 1);
    static constexpr std::pair<std::string_view, std::string_view> kTargets[] = {
        {"zorvan", "highscore"}, {"zorvan", "savegame"}, {"other", "x"}, {"", "k"}};
    const std::string_view section = kTargets[data[size - 1] % 4].first;
    const std::string_view key = kTargets[data[size - 1] % 4].second;
    const std::string value(text.substr(text.size() > 24 ? text.size() - 24 : 0));

    zorvan::memoryFiles()[kFolder / (std::string(kApp) + ".ini")] = std::string(text);
    zorvan::IniSettingsStore store(kFolder);
    auto others = entriesOf(text);
    std::erase_if(others, [&](const auto& e) { return e.first == section && e.second == key; });
    std::vector<std::string> before;
    for (const auto& [s, k] : others) before.push_back(store.get(kApp, s, k, kMissing));

    require(store.set(kApp, section, key, value));
    require(store.get(kApp, section, key, kMissing) == value);
    for (std::size_t i = 0; i < others.size(); ++i)
        require(store.get(kApp, others[i].first, others[i].second, kMissing) == before[i]);

    require(store.remove(kApp, section, key));
    require(store.get(kApp, section, key, kMissing) == kMissing);
    for (std::size_t i = 0; i < others.size(); ++i)
        require(store.get(kApp, others[i].first, others[i].second, kMissing) == before[i]);
    return 0;
}
