#pragma once
// The player's data files live in a per-user folder, apart from the program folder, which may
// be read-only (an installed game) or wiped (a rebuild, a deleted checkout).

#include <array>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace zorvan {

// The files the game and Configuration read and rewrite for the player.
inline constexpr std::array<std::string_view, 5> kPlayerFiles = {"config.dat", "keys.dat", "ls.dat",
                                                                  "stats.txt", "savegame.dat"};
bool isPlayerFile(std::string_view name);

// Where the program folder keeps the data files delivered with the game.
inline constexpr std::string_view kDefaultsFolder = "defaults";

// A file of this name beside the program makes it portable: on Windows its data and
// settings then live in a folder "data" beside it.
inline constexpr std::string_view kPortableMarker = "portable.txt";

// $XDG_DATA_HOME/zorvan, else ~/.local/share/zorvan; empty when neither variable is set.
// On Windows: %APPDATA%\Zorvan (the roaming application data folder), or "data" beside the
// program when it is portable.
std::filesystem::path defaultDataFolder();
#ifdef _WIN32
// The folder of the running program.
std::filesystem::path windowsProgramFolder();
#endif

struct DataFolderReport {
    std::vector<std::string> moved;   // taken over from the program folder of an earlier build
    std::vector<std::string> seeded;  // copied from the delivered defaults
};

// Makes `data` ready for a run: creates it, moves over the player files an earlier build kept
// in the program folder, and seeds the ones still missing from program/defaults. A file the
// data folder already has is never replaced, so the move happens once and loses nothing: an
// old file is deleted only after its copy is in place. When `data` is the program folder
// itself only the seeding applies. Throws std::runtime_error naming what failed.
DataFolderReport prepareDataFolder(const std::filesystem::path& program, const std::filesystem::path& data);

}  // namespace zorvan
