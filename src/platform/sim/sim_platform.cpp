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
      keys_(options_.replay ? std::vector<ScriptedKey>{} : options_.keys),
      settings_(options_.settingsFolder.empty() ? IniSettingsStore::defaultFolder()
                                                : options_.settingsFolder,
                false),
      files_(options_.folder, options_.dataFolder.empty() ? options_.folder : options_.dataFolder),
      http_(options_.http ? options_.http : &offline_),
      rng_(options_.replay ? options_.replay->seed : options_.seed) {
    const bool record = options_.record || !options_.recordPath.empty();
    if (options_.replay) {
        if (record) throw std::invalid_argument("a replayed run is not recorded again");
        // The replay's files go where nothing else is: never over the player's own.
        if (options_.dataFolder.empty() || options_.settingsFolder.empty())
            throw std::invalid_argument("a replay needs a data folder and a settings folder of its own");
        materializeReplay(*options_.replay, options_.dataFolder, options_.settingsFolder);
        http_ = &replayHttp_;
    } else if (!options_.dataFolder.empty() || std::filesystem::is_directory(options_.folder / kDefaultsFolder)) {
        // A folder laid out as built (with its delivered defaults) or a data folder of its own is
        // made ready as the real game does it; a hand-made test folder is taken as it is.
        prepareDataFolder(options_.folder, options_.dataFolder.empty() ? options_.folder : options_.dataFolder);
    }
    std::stable_sort(keys_.begin(), keys_.end(),
                     [](const ScriptedKey& a, const ScriptedKey& b) { return a.atMs < b.atMs; });
    if (record || (options_.awaitReplies && !options_.replay)) {
        recordingHttp_ = std::make_unique<RecordingHttp>(*http_);
        http_ = recordingHttp_.get();
    }
    if (record) {
        writer_ = std::make_unique<ReplayWriter>(
            options_.recordPath, std::string(VersionControl::versionString), options_.seed,
            snapshotPlayerFiles(options_.dataFolder.empty() ? options_.folder : options_.dataFolder),
            snapshotSettings(options_.settingsFolder.empty() ? IniSettingsStore::defaultFolder()
                                                             : options_.settingsFolder));
    }
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
    const std::size_t from = admitting() ? admitted_ : nextKey_;
    auto pos = std::upper_bound(keys_.begin() + static_cast<std::ptrdiff_t>(from), keys_.end(), key,
                                [](const ScriptedKey& a, const ScriptedKey& b) { return a.atMs < b.atMs; });
    keys_.insert(pos, key);
}

std::optional<int> SimPlatform::takeKey() {
    const std::size_t end = admitting() ? admitted_ : keys_.size();
    while (nextKey_ < end && keys_[nextKey_].atMs <= now_) {
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

namespace {

std::string describe(const ReplayInput& in) {
    switch (in.kind) {
        case ReplayInput::Kind::Key: return "key " + std::to_string(in.key) + " at " + std::to_string(in.atMs);
        case ReplayInput::Kind::Close: return "close at " + std::to_string(in.atMs);
        case ReplayInput::Kind::HttpReply:
            return "reply to request " + std::to_string(in.call) + " at " + std::to_string(in.atMs);
        case ReplayInput::Kind::Wake: return "late wake-up at " + std::to_string(in.fromMs);
        case ReplayInput::Kind::Date: return "date at " + std::to_string(in.atMs);
        case ReplayInput::Kind::Speech: return "speech at " + std::to_string(in.atMs);
    }
    return "input";
}

}  // namespace

const ReplayInput* SimPlatform::nextReplayed() const {
    if (!options_.replay) return nullptr;
    const auto& inputs = options_.replay->inputs;
    std::size_t i = nextInput_;
    while (i < inputs.size() && ReplayInput::onDemand(inputs[i].kind)) ++i;
    return i < inputs.size() ? &inputs[i] : nullptr;
}

void SimPlatform::takeReplayed() {
    const auto& inputs = options_.replay->inputs;
    while (nextInput_ < inputs.size() && ReplayInput::onDemand(inputs[nextInput_].kind)) ++nextInput_;
    ++nextInput_;
}

bool SimPlatform::replayInputsLeft() const {
    if (!options_.replay) return false;
    if (nextReplayed()) return true;
    const auto& inputs = options_.replay->inputs;
    for (std::size_t i = nextDate_; i < inputs.size(); ++i)
        if (inputs[i].kind == ReplayInput::Kind::Date) return true;
    for (std::size_t i = nextSpeech_; i < inputs.size(); ++i)
        if (inputs[i].kind == ReplayInput::Kind::Speech) return true;
    return false;
}

// The earliest time at which idleUntil can admit an input; max when none will come.
std::int64_t SimPlatform::nextInputAt() {
    std::int64_t at = std::numeric_limits<std::int64_t>::max();
    if (const ReplayInput* in = nextReplayed()) {
        const std::int64_t when = in->kind == ReplayInput::Kind::Wake ? in->fromMs : in->atMs;
        // Inputs come in only as the clock moves on to their time: one at or before the time
        // the run is at now can no longer come in where the replay says.
        if (when < now_ || (when == now_ && in->kind != ReplayInput::Kind::Wake))
            throw ReplayMismatch("the replay has a " + describe(*in) + ", the run was at " + std::to_string(now_) +
                                 " already");
        return when;
    }
    if (admitted_ < keys_.size()) at = std::max(keys_[admitted_].atMs, now_ + 1);
    if (recordingHttp_ && recordingHttp_->waiting()) {
        // No real time passes here: the reply comes in at the first moment it can.
        recordingHttp_->waitForArrival();
        at = now_ + 1;
    }
    return at;
}

void SimPlatform::admit() {
    if (options_.replay) {
        for (const ReplayInput* in = nextReplayed(); in && in->atMs == now_ && in->kind != ReplayInput::Kind::Wake;
             in = nextReplayed()) {
            if (in->kind == ReplayInput::Kind::Key) keys_.push_back({now_, in->key});
            if (in->kind == ReplayInput::Kind::Close) keys_.push_back({now_, 0});
            if (in->kind == ReplayInput::Kind::HttpReply && !replayHttp_.answer(in->call, in->reply))
                throw ReplayMismatch("the replay has a " + describe(*in) + ", the run had made " +
                                     std::to_string(replayHttp_.started()) + " requests or answered it already");
            takeReplayed();
        }
        admitted_ = keys_.size();
        return;
    }
    for (; admitted_ < keys_.size() && keys_[admitted_].atMs <= now_; ++admitted_) {
        ReplayInput in;
        in.atMs = now_;
        in.kind = keys_[admitted_].code == 0 ? ReplayInput::Kind::Close : ReplayInput::Kind::Key;
        in.key = keys_[admitted_].code;
        if (writer_) writer_->input(in);
    }
    if (recordingHttp_)
        for (const auto& in : recordingHttp_->admit(now_))
            if (writer_) writer_->input(in);
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
    if (options_.maxRealMs > 0 &&
        std::chrono::steady_clock::now() - started_ > std::chrono::milliseconds(options_.maxRealMs))
        throw RunTooLong("the run took more than " + std::to_string(options_.maxRealMs) + " ms of real time, at " +
                         std::to_string(now_) + " ms of its own");
    std::int64_t target = deadlineMs;
    // The recorded machine woke late here: its clock jumped over everything due, so this one does.
    const ReplayInput* next = nextReplayed();
    const bool wake = next && next->kind == ReplayInput::Kind::Wake && next->fromMs == now_;
    if (wake) {
        target = next->atMs;
    } else {
        if (admitting()) target = std::min(target, nextInputAt());
        else if (nextKey_ < keys_.size()) target = std::min(target, keys_[nextKey_].atMs);
        if (auto frames = mixer_.framesUntilNextEnd()) {
            auto ms = static_cast<std::int64_t>((*frames + kFramesPerMs - 1) / kFramesPerMs);
            target = std::min(target, now_ + std::max<std::int64_t>(ms, 1));
        }
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
    if (target <= now_) return;
    advanceTo(target);
    if (wake) takeReplayed();
    if (admitting()) admit();
}

void SimPlatform::messageBox(std::string_view title, std::string_view text, MessageIcon) {
    log("msgbox \"" + std::string(title) + "\" \"" + std::string(text) + "\"");
}

double SimPlatform::random() {
    // 53 random bits: the same sequence on every machine for the same seed.
    return static_cast<double>(rng_() >> 11) * 0x1.0p-53;
}

LocalDateTime SimPlatform::localDateTime() {
    if (options_.replay) {
        const auto& inputs = options_.replay->inputs;
        while (nextDate_ < inputs.size() && inputs[nextDate_].kind != ReplayInput::Kind::Date) ++nextDate_;
        if (nextDate_ == inputs.size())
            throw ReplayMismatch("the run reads the date at " + std::to_string(now_) + ", the replay has no more dates",
                                 !options_.replay->exitStatus && !nextReplayed());
        const ReplayInput& in = inputs[nextDate_++];
        if (in.atMs != now_)
            throw ReplayMismatch("the run reads the date at " + std::to_string(now_) + ", the replay at " +
                                 std::to_string(in.atMs));
        return in.date;
    }
    // A fixed day, so the same run writes the same report; the time of day follows the clock.
    std::int64_t seconds = now_ / 1000;
    char time[16];
    std::snprintf(time, sizeof time, "%02d:%02d:%02d", static_cast<int>((12 + seconds / 3600) % 24),
                  static_cast<int>(seconds / 60 % 60), static_cast<int>(seconds % 60));
    const int sinceMidnight = static_cast<int>((12 * 3600 + seconds) % 86400);
    LocalDateTime date{"01/06/2026", time, sinceMidnight};
    if (writer_) {
        ReplayInput in;
        in.kind = ReplayInput::Kind::Date;
        in.atMs = now_;
        in.date = date;
        writer_->input(in);
    }
    return date;
}

std::optional<std::string> SimPlatform::replaySoFar() {
    if (!writer_) return std::nullopt;
    return writer_->text();
}

void SimPlatform::exited(int status) {
    log("exit " + std::to_string(status));
    if (writer_) writer_->exit(status, now_);
}

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

std::string SimPlatform::speechAnswer(const std::string& live) {
    if (options_.replay) {
        const auto& inputs = options_.replay->inputs;
        while (nextSpeech_ < inputs.size() && inputs[nextSpeech_].kind != ReplayInput::Kind::Speech) ++nextSpeech_;
        if (nextSpeech_ == inputs.size())
            throw ReplayMismatch("the run asks for the system speech at " + std::to_string(now_) +
                                     ", the replay has no more answers",
                                 !replayInputsLeft());
        return inputs[nextSpeech_++].speechError;
    }
    if (writer_) {
        ReplayInput in;
        in.kind = ReplayInput::Kind::Speech;
        in.atMs = now_;
        in.speechError = live;
        writer_->input(in);
    }
    return live;
}

void SimPlatform::log(std::string_view event) {
    if (timedOut_ && event != "exit timeout") return;  // the run is over: nothing after it
    std::string line = std::to_string(now_) + ' ' + std::string(event);
    if (logFile_) logFile_ << line << '\n' << std::flush;
    lines_.push_back(std::move(line));
}

}  // namespace zorvan
