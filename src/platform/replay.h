#pragma once
// A replay: everything a run of the game takes from outside, so that the game core, given it,
// plays the same run again to the sample. The seed, the player's files and settings as they
// were at start, then every input at the logical time the game took it. Written as the run
// goes (each line flushed, so a crash still leaves it), read back by `zorvan-sim --replay`,
// `zorvan --replay` and the score server, which replays a run before it trusts its score.
//
// A small versioned text file; its format is described in the README.

#include <array>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ports.h"

namespace zorvan {

inline constexpr int kReplayFormat = 1;
inline constexpr std::size_t kMaxReplayBytes = 1u << 20;  // the server takes no more
inline constexpr std::string_view kReplaysFolder = "replays";  // in the data folder
inline constexpr int kReplaysKept = 100;
// The applications whose settings a run reads, and so the replay carries.
inline constexpr std::array<std::string_view, 3> kReplaySettingsApps = {"zorvan", "w32csp", "Kestrine"};

// A file as the run found it at start: its bytes, or nothing when it was not there.
struct ReplaySnapshot {
    std::string name;  // a player file ("config.dat"), or an application's settings ("zorvan")
    std::optional<std::string> bytes;
};

// One thing the run took from outside, at the logical time it took it.
struct ReplayInput {
    enum class Kind {
        Key,        // a key press: `key`
        Close,      // the window was closed or the process asked to end
        HttpReply,  // request number `call` (1, 2, ... in the order started) was answered: `reply`
        Wake,       // the machine woke late: the clock jumped from `fromMs` to `atMs`
        Date,       // the date and time of day the game read: `date`
        Speech,     // the game asked for the system speech: `speechError`, empty when it was there
    };
    // Read when the game asks for them, not at their time: dates and the system speech.
    static bool onDemand(Kind kind) { return kind == Kind::Date || kind == Kind::Speech; }
    Kind kind = Kind::Key;
    std::int64_t atMs = 0;
    int key = 0;
    std::uint32_t call = 0;
    HttpReply reply;
    std::int64_t fromMs = 0;
    LocalDateTime date;
    std::string speechError;
};

struct Replay {
    int format = kReplayFormat;
    std::string programVersion;
    std::uint64_t seed = 0;
    std::vector<ReplaySnapshot> files;     // the player files
    std::vector<ReplaySnapshot> settings;  // the settings store, one entry per application
    std::vector<ReplayInput> inputs;       // in the order taken; times never go back
    std::optional<int> exitStatus;         // nothing: the run was cut short (or is still going)
    std::int64_t endMs = 0;                // the clock at exit, else at the last input
};

// Reads a replay. Nothing, with the reason in `error`, when the text is not a replay of a
// format this program knows, is longer than kMaxReplayBytes, or contradicts itself (times that
// go back, an unknown kind of input, a value out of range). A replay without its exit line is
// read as cut short, and so is one whose last line lacks its line end (the writer was stopped
// in the middle of it): that line is dropped.
std::optional<Replay> parseReplay(std::string_view text, std::string* error);

// Writes a replay as the run goes: the start at once, then each input as it is taken, every
// line flushed to the file (when there is one) and kept in memory for replaySoFar().
class ReplayWriter {
public:
    // `path` empty: kept in memory only. Throws std::runtime_error when the file cannot be made.
    ReplayWriter(const std::filesystem::path& path, const std::string& programVersion, std::uint64_t seed,
                 const std::vector<ReplaySnapshot>& files, const std::vector<ReplaySnapshot>& settings);
    ReplayWriter(const ReplayWriter&) = delete;
    ReplayWriter& operator=(const ReplayWriter&) = delete;

    void input(const ReplayInput& input);
    void exit(int status, std::int64_t atMs);
    const std::string& text() const { return text_; }  // everything written so far

private:
    void write(const std::string& line);
    std::ofstream file_;
    std::string text_;
};

// The replay file for a new run in `dataFolder`/replays, named by its start time so that
// names sort by age; the oldest beyond kReplaysKept are removed. Creates the folder.
std::filesystem::path newReplayPath(const std::filesystem::path& dataFolder);

}  // namespace zorvan
