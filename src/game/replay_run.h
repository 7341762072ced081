#pragma once
// Plays a replay through the game core on the simulated platform, with no sound device:
// `zorvan-sim --replay` and the score server's verification.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/replay.h"

namespace zorvan {

class ClipCache;

struct ReplayRunOptions {
    std::filesystem::path gameFolder;  // the program folder the run was made with (its sounds)
    // An empty folder: the run's data files go into it, its settings into its "settings".
    std::filesystem::path workFolder;
    std::filesystem::path logPath;     // empty: the event log is kept in memory only
    // Stop after this much virtual time beyond the replay's last input (a run cut short would
    // otherwise go on in its menus for ever); 0: no limit beyond the replay's own end.
    std::int64_t graceMs = 60000;
    std::shared_ptr<ClipCache> clips;  // null: the run decodes its own
    // Stop a run that takes longer than this much real time (a forged replay can ask for
    // years of play); 0: no limit. The reason is then in `error`.
    std::int64_t maxRealMs = 0;
};

struct ReplayRunResult {
    int status = 0;                         // the game's exit status
    bool finished = false;                  // it exited as the replay says it did
    std::vector<std::string> log;           // the event log, line by line
    std::vector<std::string> requestedUrls; // every request the game made, in order
    std::string error;                      // why the replay does not fit this game, if it does not
};

// Throws nothing for a bad replay: the reason is in `error`. A replay cut short fits as far as it
// goes: the run stops `graceMs` after its last input, or earlier where it needs an input the
// replay no longer has (a date), with `finished` false and no error.
ReplayRunResult runReplay(const Replay& replay, const ReplayRunOptions& options);

}  // namespace zorvan
