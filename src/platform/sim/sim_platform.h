#pragma once
// The simulated platform: a virtual clock that jumps straight to the next thing that can
// happen, scripted key presses, the mixer advanced offline (optionally recorded to a WAV
// file) and an event log of everything the player would hear or see. The same seed and
// script give the same log, byte for byte.

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/folder_files.h"
#include "platform/ini_settings.h"
#include "platform/ports.h"
#include "platform/replay.h"
#include "platform/replay_http.h"
#include "platform/run_timeline.h"
#include "platform/speech.h"
#include "sound/mixer.h"

namespace zorvan {

struct ScriptedKey {
    std::int64_t atMs = 0;
    int code = 0;  // virtual-key code; 0 asks the window to close
};

// Parses a key script: "AT KEY" lines, AT in virtual ms or "+delay" after the previous line,
// KEY a code or a name, or "close" for closing the window; '#' starts a comment.
// Throws std::runtime_error naming the line on a malformed one.
std::vector<ScriptedKey> parseKeyScript(std::string_view text);

// An Http port for runs without a network: every request fails as a refused connection.
class OfflineHttp final : public Http {
public:
    HttpReply get(const std::string&) override { return {false, 0, {}, "offline"}; }
    bool canConnect(const std::string&, int) override { return false; }
};

struct SimOptions {
    std::filesystem::path folder;          // the game folder of the run
    std::filesystem::path settingsFolder;  // empty: $XDG_CONFIG_HOME or ~/.config
    std::uint64_t seed = 1;
    std::int64_t untilMs = 0;              // 0: no limit
    std::vector<ScriptedKey> keys;
    std::filesystem::path logPath;         // empty: kept in memory only
    std::filesystem::path wavPath;         // empty: no recording
    Http* http = nullptr;                  // null: OfflineHttp
    // `http` answers from another thread (a real network): the run waits for a request under way
    // and takes its reply at the first moment it can, as a recorded run does. Without it, a run
    // with nothing else to do would end before the reply came.
    bool awaitReplies = false;
    std::filesystem::path dataFolder;      // the player's files; empty: the game folder itself
    // Skip over the ticks of idle timers instead of stopping at each. The log is the same;
    // only a driver that looks at the clock between pumps would see fewer, longer steps.
    bool sleepThroughIdleTimers = false;
    std::shared_ptr<ClipCache> clips;      // null: the game keeps its own
    // Record a replay of the run (kept in memory for replaySoFar(), and written to recordPath
    // when there is one).
    bool record = false;
    std::filesystem::path recordPath;
    // Play this replay instead of keys: its seed, its files put into dataFolder and
    // settingsFolder (both required), its inputs at their times. `keys` and `seed` are not used.
    const Replay* replay = nullptr;
    // Stop the run (RunTooLong) once it has taken this much real time; 0: no limit.
    std::int64_t maxRealMs = 0;
    // Not empty: the system speech cannot be reached, for this reason.
    std::string speechUnavailable;
};

class SimPlatform;

// The system speech of a simulated run: what it is told to say goes to the event log, as
// "speak TEXT" and "speak-stop". Only a game that uses the system speech talks to it, so no
// other run's log changes.
class SimSpeech final : public SystemSpeech {
public:
    SimSpeech(SimPlatform& platform, std::string unavailable)
        : platform_(platform), unavailable_(std::move(unavailable)) {}
    std::string open() override;
    bool say(std::string_view text) override;
    void stop() override;

private:
    SimPlatform& platform_;
    std::string unavailable_;
};

// The run went on for longer than SimOptions::maxRealMs of real time.
struct RunTooLong : std::runtime_error {
    using std::runtime_error::runtime_error;
};

class SimPlatform final : public Platform {
public:
    static constexpr int kRate = 48000;
    static constexpr int kFramesPerMs = kRate / 1000;

    explicit SimPlatform(SimOptions options);
    ~SimPlatform() override;

    std::int64_t nowMs() override { return timeline_.now(); }
    void idleUntil(std::int64_t deadlineMs) override;
    bool sleepsThroughIdleTimers() const override { return options_.sleepThroughIdleTimers; }
    std::optional<int> takeKey() override { return timeline_.takeKey(); }
    bool closeRequested() override { return timeline_.closeTaken(); }
    Mixer& mixer() override { return mixer_; }
    ClipCache* clipCache() override { return options_.clips.get(); }
    void setVoiceEndListener(std::function<void(std::uint32_t)> listener) override {
        voiceEnded_ = std::move(listener);
    }
    void messageBox(std::string_view title, std::string_view text, MessageIcon icon) override;
    SettingsStore& settings() override { return settings_; }
    Files& files() override { return files_; }
    Http& http() override { return timeline_.http(); }
    SystemSpeech* speech() override { return &speech_; }
    double random() override { return timeline_.random(); }
    LocalDateTime localDateTime() override;
    std::optional<std::string> replaySoFar() override { return timeline_.replaySoFar(); }
    bool logging() const override { return true; }
    void log(std::string_view event) override { timeline_.log(event); }

    // The game ended with `status`: logs it and ends the replay being recorded.
    void exited(int status);

    // For tests and the runner.
    void pressKey(int code, std::int64_t atMs);  // keeps the script in time order
    const std::vector<std::string>& lines() const { return timeline_.lines(); }
    bool timedOut() const { return timedOut_; }
    bool keysLeft() const { return timeline_.keysLeft(); }
    // Moves the clock (and the mix) forward; used by idleUntil.
    void advanceTo(std::int64_t ms);

    // The answer to the game's asking for the system speech (empty: there), `live` unless a
    // replay gives it; recorded.
    std::string speechAnswer(const std::string& live);

    // Replaying: every input of the replay was taken, and the URLs the game requested.
    bool replayInputsLeft() const { return timeline_.replayInputsLeft(); }
    const std::vector<std::string>& requestedUrls() const { return timeline_.requestedUrls(); }

private:
    SimOptions options_;
    bool timedOut_ = false;
    Mixer mixer_{kRate};
    std::function<void(std::uint32_t)> voiceEnded_;
    std::vector<std::uint32_t> ended_;
    IniSettingsStore settings_;
    FolderFiles files_;
    OfflineHttp offline_;
    RunTimeline timeline_;
    std::unique_ptr<class WavRecorder> recorder_;
    SimSpeech speech_{*this, options_.speechUnavailable};
    std::chrono::steady_clock::time_point started_ = std::chrono::steady_clock::now();
};

}  // namespace zorvan
