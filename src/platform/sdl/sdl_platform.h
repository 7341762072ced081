#pragma once
// The real platform: an SDL2 window with its keyboard and audio device, the INI settings
// store, the program folder, and libcurl for HTTP.
//
// Its clock is logical, as the simulated platform's is: it moves only while the game idles,
// paced by the real clock and never ahead of it, so that a timer ticks at its due time, a key
// counts at the time the game takes it and a one-shot sound ends at its computed end. A run
// is thereby fully given by its seed and its inputs with their times, which it records as a
// replay (platform/replay.h) in the data folder.

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <optional>
#include <string>
#include <string_view>

#include "platform/ports.h"

namespace zorvan {

struct Replay;

// Told of every block the audio device pulls, on the audio thread: when its callback began
// and what was mixed. For measuring latency; it must neither block nor allocate.
using AudioBlockObserver = void (*)(void* context, std::chrono::steady_clock::time_point began,
                                    const float* stereo, std::size_t frames);

struct SdlOptions {
    std::filesystem::path logPath;  // the event log, as zorvan-sim writes it; empty: none
    // Played back instead of the keyboard (Escape or closing the window ends it), its files in
    // a scratch data folder and settings folder made from its snapshots. Null: a run of the
    // player, recorded in the data folder's replays/ unless `record` is false.
    const Replay* replay = nullptr;
    bool record = true;
    std::filesystem::path programFolder;  // empty: the executable's folder
    AudioBlockObserver observer = nullptr;
    void* observerContext = nullptr;
};

// A failure already told to the player, on stderr and in a box: nothing more to say of it.
struct ToldFailure : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Opens the window "Zorvan!" and the default audio device. Throws std::runtime_error
// naming what failed (ToldFailure when it was told already).
std::unique_ptr<Platform> makeSdlPlatform(const SdlOptions& options);
std::unique_ptr<Platform> makeSdlPlatform();

// The rest takes a platform made by makeSdlPlatform.
// A yes/no question in the accessible box (SDL's own when that cannot run); true for yes.
bool askYesNo(Platform& platform, std::string_view title, std::string_view text);
// Runs a program of the game folder and waits for it, the window and the sound going on
// meanwhile; its exit status, or nothing when it could not run.
std::optional<int> runGameProgram(Platform& platform, const std::string& name);
bool gameHasProgram(const std::string& name);
// Not recorded.
std::unique_ptr<Platform> makeSdlPlatform(AudioBlockObserver observer, void* context);
// A new run on the same window (the game starts again after Configuration): the clock back at
// 0, fresh sounds, a new seed and, when recording, a new replay of the files as they are now.
void beginNewRun(Platform& platform);
// Ends the run: logs "exit STATUS" and writes it at the end of the replay.
void endRun(Platform& platform, int status);
// The box of a fatal error, on stderr too; not in the event log, which has the run's "error"
// line already, as zorvan-sim writes it.
void showFatalError(Platform& platform, std::string_view text);

}  // namespace zorvan
