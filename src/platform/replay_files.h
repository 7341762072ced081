#pragma once
// The files a replay carries: the player files and the settings of the applications the game
// reads, taken as they are at the start of a run, and put back in place to replay it.

#include <filesystem>
#include <vector>

#include "platform/replay.h"

namespace zorvan {

// Every file of kPlayerFiles in `dataFolder`, as bytes or as absent, in the order of kPlayerFiles.
std::vector<ReplaySnapshot> snapshotPlayerFiles(const std::filesystem::path& dataFolder);
// The INI file of every application of kReplaySettingsApps in the settings folder (as
// IniSettingsStore lays it out), as bytes or as absent.
std::vector<ReplaySnapshot> snapshotSettings(const std::filesystem::path& settingsFolder);

// Makes `dataFolder` and `settingsFolder` hold what the replay says the run found: its
// snapshots written, and the files it says were absent removed. Creates the folders. Throws
// std::runtime_error naming what could not be written.
void materializeReplay(const Replay& replay, const std::filesystem::path& dataFolder,
                       const std::filesystem::path& settingsFolder);

}  // namespace zorvan
