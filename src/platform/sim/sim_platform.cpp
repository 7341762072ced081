#include "platform/sim/sim_platform.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <sstream>
#include <stdexcept>

#include "platform/data_folder.h"
#include "platform/keys.h"
#include "platform/replay_files.h"
#include "sound/version.h"

namespace zorvan {

// Streams the simulated mix into a 16-bit stereo WAV file, patching the sizes at the end.
class WavRecorder {
public:
    explicit WavRecorder(const std::filesystem::path& path) : out_(path, std::ios::binary) {
        if (!out_) throw std::runtime_error("cannot write " + path.string());
        out_.write(std::string(44, '\0').data(), 44);
    }
    ~WavRecorder() {
        std::uint32_t data = static_cast<std::uint32_t>(frames_ * 4);
        out_.seekp(0);
        out_.write("RIFF", 4);
        put32(36 + data);
        out_.write("WAVEfmt ", 8);
        put32(16);
        put16(1);
        put16(2);
        put32(SimPlatform::kRate);
        put32(SimPlatform::kRate * 4);
        put16(4);
        put16(16);
        out_.write("data", 4);
        put32(data);
    }
    void add(const float* stereo, std::size_t frames) {
        for (std::size_t i = 0; i < frames * 2; ++i) {
            float s = std::clamp(stereo[i], -1.0f, 1.0f);
            put16(static_cast<std::uint16_t>(static_cast<std::int16_t>(std::lrint(s * 32767.0f))));
        }
        frames_ += frames;
    }

private:
    void put16(std::uint16_t v) {
        char b[2] = {static_cast<char>(v & 0xff), static_cast<char>(v >> 8)};
        out_.write(b, 2);
    }
    void put32(std::uint32_t v) {
        put16(static_cast<std::uint16_t>(v & 0xffff));
        put16(static_cast<std::uint16_t>(v >> 16));
    }
    std::ofstream out_;
    std::size_t frames_ = 0;
};

std::vector<ScriptedKey> parseKeyScript(std::string_view text) {
    std::vector<ScriptedKey> keys;
    std::int64_t last = 0;
    std::istringstream in{std::string(text)};
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        if (auto hash = line.find('#'); hash != std::string::npos) line.erase(hash);
        std::istringstream words(line);
        std::string at, key, extra;
        if (!(words >> at)) continue;
        auto fail = [&](const std::string& why) {
            throw std::runtime_error("key script line " + std::to_string(number) + ": " + why);
        };
        if (!(words >> key)) fail("a key is missing after the time");
        if (words >> extra) fail("unexpected '" + extra + "'");
        bool relative = at[0] == '+';
        std::int64_t value = 0;
        try {
            std::size_t used = 0;
            value = std::stoll(at.substr(relative ? 1 : 0), &used);
            if (used != at.size() - (relative ? 1 : 0) || value < 0) fail("bad time '" + at + "'");
        } catch (const std::logic_error&) {
            fail("bad time '" + at + "'");
        }
        std::int64_t when = relative ? last + value : value;
        if (when < last) fail("time goes backwards");
        int code = 0;
        if (key != "close") {
            auto parsed = vk::parse(key);
            if (!parsed) fail("unknown key '" + key + "'");
            code = *parsed;
        }
        keys.push_back({when, code});
        last = when;
    }
    return keys;
}

SimPlatform::SimPlatform(SimOptions options)
    : options_(std::move(options)),
      settings_(options_.settingsFolder.empty() ? IniSettingsStore::defaultFolder()
                                                : options_.settingsFolder,
                false),
      files_(options_.folder, options_.dataFolder.empty() ? options_.folder : options_.dataFolder) {
    const bool record = options_.record || !options_.recordPath.empty();
    if (options_.replay) {
        if (record) throw std::invalid_argument("a replayed run is not recorded again");
        // The replay's files go where nothing else is: never over the player's own.
        if (options_.dataFolder.empty() || options_.settingsFolder.empty())
            throw std::invalid_argument("a replay needs a data folder and a settings folder of its own");
        materializeReplay(*options_.replay, options_.dataFolder, options_.settingsFolder);
    } else if (!options_.dataFolder.empty() || std::filesystem::is_directory(options_.folder / kDefaultsFolder)) {
        // A folder laid out as built (with its delivered defaults) or a data folder of its own is
        // made ready as the real game does it; a hand-made test folder is taken as it is.
        prepareDataFolder(options_.folder, options_.dataFolder.empty() ? options_.folder : options_.dataFolder);
    }
    RunTimeline::Run run;
    run.seed = options_.seed;
    run.replay = options_.replay;
    run.http = options_.http ? options_.http : &offline_;
    run.holdReplies = record || options_.awaitReplies;
    if (record) {
        run.writer = std::make_unique<ReplayWriter>(
            options_.recordPath, std::string(VersionControl::versionString), options_.seed,
            snapshotPlayerFiles(options_.dataFolder.empty() ? options_.folder : options_.dataFolder),
            snapshotSettings(options_.settingsFolder.empty() ? IniSettingsStore::defaultFolder()
                                                             : options_.settingsFolder));
    }
    timeline_.begin(std::move(run));
    if (!options_.replay)
        for (const ScriptedKey& key : options_.keys)
            timeline_.arrive(key.code == 0 ? ReplayInput::Kind::Close : ReplayInput::Kind::Key, key.atMs, key.code);
    timeline_.keepLines();
    if (!options_.logPath.empty()) timeline_.logTo(options_.logPath);
    if (!options_.wavPath.empty()) recorder_ = std::make_unique<WavRecorder>(options_.wavPath);
    files_.setSynced(false);  // atomic still, but no power cut to survive in a simulated run
    files_.setWriteListener([this](std::string_view name) { log("file " + std::string(name)); });
}

SimPlatform::~SimPlatform() = default;

void SimPlatform::pressKey(int code, std::int64_t atMs) {
    timeline_.arrive(code == 0 ? ReplayInput::Kind::Close : ReplayInput::Kind::Key, std::max(atMs, nowMs()), code);
}

void SimPlatform::advanceTo(std::int64_t ms) {
    if (ms <= nowMs()) return;
    std::size_t frames = static_cast<std::size_t>(ms - nowMs()) * kFramesPerMs;
    ended_.clear();
    if (recorder_) {
        float buffer[2 * 1024];
        while (frames > 0) {
            std::size_t n = std::min<std::size_t>(frames, 1024);
            mixer_.render(buffer, n, &ended_);
            recorder_->add(buffer, n);
            frames -= n;
        }
    } else {
        mixer_.advance(frames, &ended_);
    }
    timeline_.moveTo(ms);
    if (voiceEnded_)
        for (auto voice : ended_) voiceEnded_(voice);
}

void SimPlatform::idleUntil(std::int64_t deadlineMs) {
    if (closeRequested()) return;
    const std::int64_t now = nowMs();
    if (options_.maxRealMs > 0 &&
        std::chrono::steady_clock::now() - started_ > std::chrono::milliseconds(options_.maxRealMs))
        throw RunTooLong("the run took more than " + std::to_string(options_.maxRealMs) + " ms of real time, at " +
                         std::to_string(now) + " ms of its own");
    RunTimeline::ReplayStep step{deadlineMs, false};
    if (timeline_.replaying()) step = timeline_.replayStep(deadlineMs);
    std::int64_t target = step.at;
    if (!step.wake) {
        // A replay's inputs are in the step already; a run that admits what comes in waits for
        // the next arrival; a plain script for its next key.
        if (!timeline_.admitting()) {
            target = std::min(target, timeline_.nextKeyAt());
        } else if (!timeline_.replaying()) {
            target = std::min(target, timeline_.nextArrivalAt());
            if (RecordingHttp* held = timeline_.heldReplies(); held && held->waiting()) {
                // No real time passes here: the reply comes in at the first moment it can.
                held->waitForArrival();
                target = std::min(target, now + 1);
            }
        }
        if (auto frames = mixer_.framesUntilNextEnd()) {
            auto ms = static_cast<std::int64_t>((*frames + kFramesPerMs - 1) / kFramesPerMs);
            target = std::min(target, now + std::max<std::int64_t>(ms, 1));
        }
    }
    const std::int64_t limit = options_.untilMs > 0 ? options_.untilMs : RunTimeline::kNever;
    if (target >= limit || target == RunTimeline::kNever) {
        // Nothing more can happen before the end of the run.
        if (limit != RunTimeline::kNever) advanceTo(limit);
        timedOut_ = true;
        timeline_.logLast("exit timeout");
        throw ProgramEnd{0, {}};
    }
    if (target <= now) return;
    advanceTo(target);
    if (timeline_.replaying()) {
        timeline_.replayArrived(step);
    } else if (timeline_.admitting()) {
        timeline_.admitArrivals();
        timeline_.admitReplies();
    }
}

void SimPlatform::messageBox(std::string_view title, std::string_view text, MessageIcon) {
    log("msgbox \"" + std::string(title) + "\" \"" + std::string(text) + "\"");
}

LocalDateTime SimPlatform::localDateTime() {
    return timeline_.localDateTime([this] {
        // A fixed day, so the same run writes the same report; the time of day follows the clock.
        const std::int64_t seconds = nowMs() / 1000;
        char time[16];
        std::snprintf(time, sizeof time, "%02d:%02d:%02d", static_cast<int>((12 + seconds / 3600) % 24),
                      static_cast<int>(seconds / 60 % 60), static_cast<int>(seconds % 60));
        const int sinceMidnight = static_cast<int>((12 * 3600 + seconds) % 86400);
        return LocalDateTime{"01/06/2026", time, sinceMidnight};
    });
}

void SimPlatform::exited(int status) { timeline_.exited(status); }

std::string SimSpeech::open() {
    unavailable_ = platform_.speechAnswer(unavailable_);
    return unavailable_;
}

bool SimSpeech::say(std::string_view text) {
    if (!unavailable_.empty()) return false;
    platform_.log("speak " + std::string(text));
    return true;
}

void SimSpeech::stop() {
    if (unavailable_.empty()) platform_.log("speak-stop");
}

std::string SimPlatform::speechAnswer(const std::string& live) { return timeline_.speechAnswer(live); }

}  // namespace zorvan
