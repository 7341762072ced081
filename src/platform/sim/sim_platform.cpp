#include "platform/sim/sim_platform.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <sstream>
#include <stdexcept>

#include "platform/data_folder.h"
#include "platform/keys.h"

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
      keys_(options_.keys),
      settings_(options_.settingsFolder.empty() ? IniSettingsStore::defaultFolder()
                                                : options_.settingsFolder,
                false),
      files_(options_.folder, options_.dataFolder.empty() ? options_.folder : options_.dataFolder),
      http_(options_.http ? options_.http : &offline_),
      rng_(options_.seed) {
    // A folder laid out as built (with its delivered defaults) or a data folder of its own is
    // made ready as the real game does it; a hand-made test folder is taken as it is.
    if (!options_.dataFolder.empty() || std::filesystem::is_directory(options_.folder / kDefaultsFolder))
        prepareDataFolder(options_.folder, options_.dataFolder.empty() ? options_.folder : options_.dataFolder);
    std::stable_sort(keys_.begin(), keys_.end(),
                     [](const ScriptedKey& a, const ScriptedKey& b) { return a.atMs < b.atMs; });
    if (!options_.logPath.empty()) {
        logFile_.open(options_.logPath, std::ios::binary);
        if (!logFile_) throw std::runtime_error("cannot write " + options_.logPath.string());
    }
    if (!options_.wavPath.empty()) recorder_ = std::make_unique<WavRecorder>(options_.wavPath);
    files_.setSynced(false);  // atomic still, but no power cut to survive in a simulated run
    files_.setWriteListener([this](std::string_view name) { log("file " + std::string(name)); });
}

SimPlatform::~SimPlatform() = default;

void SimPlatform::pressKey(int code, std::int64_t atMs) {
    ScriptedKey key{std::max(atMs, now_), code};
    auto pos = std::upper_bound(keys_.begin() + static_cast<std::ptrdiff_t>(nextKey_), keys_.end(), key,
                                [](const ScriptedKey& a, const ScriptedKey& b) { return a.atMs < b.atMs; });
    keys_.insert(pos, key);
}

std::optional<int> SimPlatform::takeKey() {
    while (nextKey_ < keys_.size() && keys_[nextKey_].atMs <= now_) {
        const ScriptedKey key = keys_[nextKey_++];
        if (key.code == 0) {
            log("close");
            closeRequested_ = true;
            continue;
        }
        log("key " + std::to_string(key.code));
        return key.code;
    }
    return std::nullopt;
}

void SimPlatform::advanceTo(std::int64_t ms) {
    if (ms <= now_) return;
    std::size_t frames = static_cast<std::size_t>(ms - now_) * kFramesPerMs;
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
    now_ = ms;
    if (voiceEnded_)
        for (auto voice : ended_) voiceEnded_(voice);
}

void SimPlatform::idleUntil(std::int64_t deadlineMs) {
    if (closeRequested_) return;
    std::int64_t target = deadlineMs;
    if (nextKey_ < keys_.size()) target = std::min(target, keys_[nextKey_].atMs);
    if (auto frames = mixer_.framesUntilNextEnd()) {
        auto ms = static_cast<std::int64_t>((*frames + kFramesPerMs - 1) / kFramesPerMs);
        target = std::min(target, now_ + std::max<std::int64_t>(ms, 1));
    }
    const std::int64_t limit =
        options_.untilMs > 0 ? options_.untilMs : std::numeric_limits<std::int64_t>::max();
    if (target >= limit || target == std::numeric_limits<std::int64_t>::max()) {
        // Nothing more can happen before the end of the run.
        if (limit != std::numeric_limits<std::int64_t>::max()) advanceTo(limit);
        timedOut_ = true;
        log("exit timeout");
        throw ProgramEnd{0, {}};
    }
    advanceTo(std::max(target, now_));
}

void SimPlatform::messageBox(std::string_view title, std::string_view text, MessageIcon) {
    log("msgbox \"" + std::string(title) + "\" \"" + std::string(text) + "\"");
}

double SimPlatform::random() {
    // 53 random bits: the same sequence on every machine for the same seed.
    return static_cast<double>(rng_() >> 11) * 0x1.0p-53;
}

LocalDateTime SimPlatform::localDateTime() {
    // A fixed day, so the same run writes the same report; the time of day follows the clock.
    std::int64_t seconds = now_ / 1000;
    char time[16];
    std::snprintf(time, sizeof time, "%02d:%02d:%02d", static_cast<int>((12 + seconds / 3600) % 24),
                  static_cast<int>(seconds / 60 % 60), static_cast<int>(seconds % 60));
    const int sinceMidnight = static_cast<int>((12 * 3600 + seconds) % 86400);
    return {"01/06/2026", time, sinceMidnight};
}

void SimPlatform::log(std::string_view event) {
    if (timedOut_ && event != "exit timeout") return;  // the run is over: nothing after it
    std::string line = std::to_string(now_) + ' ' + std::string(event);
    if (logFile_) logFile_ << line << '\n' << std::flush;
    lines_.push_back(std::move(line));
}

}  // namespace zorvan
