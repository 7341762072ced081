#include "platform/replay_files.h"

#include <stdexcept>
#include <system_error>

#include "platform/data_folder.h"
#include "platform/folder_files.h"
#include "platform/ini_settings.h"

namespace zorvan {

namespace fs = std::filesystem;

std::vector<ReplaySnapshot> snapshotPlayerFiles(const fs::path& dataFolder) {
    std::vector<ReplaySnapshot> files;
    for (std::string_view name : kPlayerFiles) files.push_back({std::string(name), readWholeFile(dataFolder / name)});
    return files;
}

std::vector<ReplaySnapshot> snapshotSettings(const fs::path& settingsFolder) {
    const IniSettingsStore store(settingsFolder);
    std::vector<ReplaySnapshot> settings;
    for (std::string_view app : kReplaySettingsApps)
        settings.push_back({std::string(app), readWholeFile(store.fileOf(app))});
    return settings;
}

namespace {

void put(const fs::path& path, const std::optional<std::string>& bytes) {
    std::error_code ec;
    if (bytes) {
        if (!writeFileAtomically(path, *bytes, false)) throw std::runtime_error("cannot write " + path.string());
    } else if (fs::remove(path, ec); ec) {
        throw std::runtime_error("cannot remove " + path.string() + ": " + ec.message());
    }
}

void makeFolder(const fs::path& folder) {
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (!fs::is_directory(folder)) throw std::runtime_error("cannot create " + folder.string() + ": " + ec.message());
}

}  // namespace

void materializeReplay(const Replay& replay, const fs::path& dataFolder, const fs::path& settingsFolder) {
    makeFolder(dataFolder);
    makeFolder(settingsFolder);
    // The reader lets only known names through; a Replay made in code is held to the same.
    for (const auto& f : replay.files) {
        if (!isPlayerFile(f.name)) throw std::runtime_error("'" + f.name + "' is no player file");
        put(dataFolder / f.name, f.bytes);
    }
    const IniSettingsStore store(settingsFolder);
    for (const auto& s : replay.settings) {
        bool known = false;
        for (std::string_view app : kReplaySettingsApps) known = known || app == s.name;
        if (!known) throw std::runtime_error("'" + s.name + "' is no application with settings");
        put(store.fileOf(s.name), s.bytes);
    }
}

}  // namespace zorvan
