#pragma once
// The ports through which the game core reaches the machine. Two adapters implement them:
// platform/sdl (a real window, keyboard, audio device, libcurl, files) and platform/sim
// (virtual clock, scripted keys, offline mix, event log). The core never talks to SDL,
// curl or the file system directly.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/gamepad.h"

namespace zorvan {

class Mixer;
class ClipCache;
class SystemSpeech;

// Ends the program from wherever it is, however deep in nested waits; caught in main().
struct ProgramEnd {
    int status = 0;           // 0 normal exit, non-zero fatal stop
    std::string message;      // one line for stderr on a fatal stop
    bool noProfile = false;   // the stop for a missing or unfilled profile
};

enum class MessageIcon { None, Information, Warning, Critical };

// Per-user store of string settings, addressed by application, section and key.
class SettingsStore {
public:
    virtual ~SettingsStore() = default;
    virtual std::string get(std::string_view app, std::string_view section, std::string_view key,
                            std::string_view fallback) = 0;
    // False when the value could not be stored (the caller tells the player).
    virtual bool set(std::string_view app, std::string_view section, std::string_view key,
                     std::string_view value) = 0;
    // False when the store could not be rewritten; removing what is not there succeeds.
    virtual bool remove(std::string_view app, std::string_view section, std::string_view key) = 0;
    // Deletes what writes to the application's store interrupted in an earlier run left behind.
    virtual void removeStaleTemporaries(std::string_view /*app*/) {}
};

// The program folder. Names are relative to it with '/' separators ("sounds/menu/m1.wav").
class Files {
public:
    virtual ~Files() = default;
    virtual bool exists(std::string_view name) = 0;  // a regular file
    virtual std::optional<std::string> read(std::string_view name) = 0;
    // Replaces the file whole through a temporary file and a rename: either the new content
    // is in place or the old one is untouched. False when it could not be written.
    virtual bool write(std::string_view name, std::string_view bytes) = 0;
    // Deletes a file; true when it is gone (or was never there).
    virtual bool remove(std::string_view name) = 0;
    virtual std::string absolutePath(std::string_view name) = 0;
    // Deletes what writes interrupted in an earlier run left behind (called at start-up).
    virtual void removeStaleTemporaries() {}
    // Why something under `name` is there but cannot be read (a folder in its place, no
    // permission, an I/O error); empty when it is missing or readable.
    virtual std::string unreadableReason(std::string_view /*name*/) { return {}; }
};

struct HttpReply {
    bool ok = false;     // a reply arrived (whatever its status)
    int status = 0;      // HTTP status when ok
    std::string body;
    std::string error;   // why nothing arrived, when !ok
};

// A request under way, so that the game thread can pump its messages meanwhile.
class HttpCall {
public:
    virtual ~HttpCall() = default;  // abandons a request still under way, without waiting for it
    virtual bool done() = 0;
    virtual void wait() = 0;         // until done
    virtual HttpReply reply() = 0;   // once done
};

// A call answered before it was handed over.
class FinishedHttpCall final : public HttpCall {
public:
    explicit FinishedHttpCall(HttpReply reply) : reply_(std::move(reply)) {}
    bool done() override { return true; }
    void wait() override {}
    HttpReply reply() override { return reply_; }

private:
    HttpReply reply_;
};

class Http {
public:
    virtual ~Http() = default;
    // GET with a connect time-out of 5 s and a whole-request time-out of 10 s.
    virtual HttpReply get(const std::string& url) = 0;
    // True when a TCP connection to the URL's host and port opens within timeoutMs.
    virtual bool canConnect(const std::string& url, int timeoutMs) = 0;
    // The same two, started and left to run; by default answered at once.
    virtual std::unique_ptr<HttpCall> startGet(const std::string& url) {
        return std::make_unique<FinishedHttpCall>(get(url));
    }
    // reply().ok tells whether the connection opened.
    virtual std::unique_ptr<HttpCall> startConnect(const std::string& url, int timeoutMs) {
        HttpReply reply;
        reply.ok = canConnect(url, timeoutMs);
        return std::make_unique<FinishedHttpCall>(std::move(reply));
    }
    // POST `body` and forget it: nothing waits for the answer, and the run goes on the same
    // whatever it is. By default nothing is sent.
    virtual void postInBackground(const std::string& /*url*/, std::string /*body*/) {}
};

// The date and time of day as the player's system writes them.
struct LocalDateTime {
    std::string shortDate;  // e.g. "07/12/2026"
    std::string longTime;   // e.g. "14:05:09"
    int secondsSinceMidnight = 0;  // the same time of day, whatever the format
};

// The race as the window shows it.
struct RaceStatus {
    std::int32_t level = 0;
    std::int32_t lifes = 0;
    std::int32_t points = 0;
    std::int16_t lane = 0;  // -3 left, 0 centre, 3 right
    bool operator==(const RaceStatus&) const = default;
};

class Platform {
public:
    virtual ~Platform() = default;

    // Monotonic milliseconds since the platform started.
    virtual std::int64_t nowMs() = 0;
    // Waits until a key is pending, a one-shot sound ends, the program is asked to close,
    // or the clock reaches deadlineMs, whichever comes first. The simulated platform jumps
    // its clock instead of waiting.
    virtual void idleUntil(std::int64_t deadlineMs) = 0;
    // True: the loop does not wake up for the ticks of idle timers (Timer::setIdleWhen), so an
    // idle game sleeps. False: it wakes for every tick, for drivers that step a simulated run
    // from outside and look at the clock between pumps.
    virtual bool sleepsThroughIdleTimers() const { return false; }
    // The next pending key press (Windows virtual-key code), in the order pressed.
    virtual std::optional<int> takeKey() = 0;
    // Where a gamepad button press turns into a key: asked at each press, on the game thread,
    // so it follows the key map and the game's state. Platforms without gamepads ignore it.
    virtual void setPadKeys(std::function<PadKeys()> /*source*/) {}
    // The window was closed, or SIGINT/SIGTERM arrived.
    virtual bool closeRequested() = 0;

    virtual Mixer& mixer() = 0;
    // Decoded sounds to share between the games of one process (a benchmark plays many);
    // null: each game keeps its own.
    virtual ClipCache* clipCache() { return nullptr; }
    // Called (on the game thread) for every one-shot voice that reached its end; only the
    // simulated platform reports them, for its event log.
    virtual void setVoiceEndListener(std::function<void(std::uint32_t voice)> listener) = 0;

    virtual void messageBox(std::string_view title, std::string_view text, MessageIcon icon) = 0;
    // What is heard, for the captions of the real window: a sound starts, or stops before its
    // end (stopped or released). Nothing is logged: the event log already says what plays.
    virtual void soundStarted(std::string_view /*path*/, std::uint32_t /*voice*/) {}
    virtual void soundStopped(std::uint32_t /*voice*/) {}
    // The running race, or nothing between games; told about every 10 ms.
    virtual void showRaceStatus(const std::optional<RaceStatus>& /*status*/) {}
    // The system's speech (platform/speech.h); null where the platform has none.
    virtual SystemSpeech* speech() { return nullptr; }
    virtual SettingsStore& settings() = 0;
    virtual Files& files() = 0;
    virtual Http& http() = 0;
    // Uniform in [0, 1); one generator per run, seeded once.
    virtual double random() = 0;
    virtual LocalDateTime localDateTime() = 0;
    // The replay of this run so far (see platform/replay.h), when the run records one.
    virtual std::optional<std::string> replaySoFar() { return std::nullopt; }

    // The event log of a simulated run. logging() is false on the real platform, so callers
    // can skip building lines nobody reads.
    virtual bool logging() const { return false; }
    virtual void log(std::string_view /*event*/) {}
};

}  // namespace zorvan
