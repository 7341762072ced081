#include "platform/run_timeline.h"

#include <algorithm>

#include "platform/utf8_path.h"

namespace zorvan {

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

// The key an arrival hands to the game; a close is key 0.
int keyOf(ReplayInput::Kind kind, int key) { return kind == ReplayInput::Kind::Close ? 0 : key; }

}  // namespace

RunTimeline::RunTimeline() = default;

void RunTimeline::begin(Run run) {
    run_ = std::move(run);
    now_ = 0;
    rng_.seed(run_.replay ? run_.replay->seed : run_.seed);
    arrivals_.clear();
    admitted_.clear();
    closeTaken_ = false;
    // Requests of an earlier run are abandoned with its game.
    recordingHttp_.reset();
    replayHttp_ = std::make_unique<ReplayHttp>();
    nextInput_ = nextDate_ = nextSpeech_ = 0;
    if (run_.replay) {
        http_ = replayHttp_.get();
        run_.admitting = true;
    } else {
        http_ = run_.http;
        if (run_.holdReplies) {
            recordingHttp_ = std::make_unique<RecordingHttp>(*run_.http);
            http_ = recordingHttp_.get();
        }
        run_.admitting = run_.admitting || run_.holdReplies || run_.writer;
    }
}

void RunTimeline::moveTo(std::int64_t ms) {
    if (ms > now_) now_ = ms;
}

double RunTimeline::random() { return static_cast<double>(rng_() >> 11) * 0x1.0p-53; }

void RunTimeline::logTo(const std::filesystem::path& path) {
    logFile_.open(path, std::ios::binary | std::ios::trunc);
    if (!logFile_) throw std::runtime_error("cannot write " + utf8Of(path));
}

void RunTimeline::log(std::string_view event) {
    if (logClosed_) return;
    std::string line = std::to_string(now_) + ' ' + std::string(event);
    if (logFile_.is_open()) logFile_ << line << '\n' << std::flush;
    if (keepLines_) lines_.push_back(std::move(line));
}

void RunTimeline::logLast(std::string_view event) {
    log(event);
    logClosed_ = true;
}

void RunTimeline::arrive(ReplayInput::Kind kind, std::int64_t atMs, int key) {
    const auto pos = std::upper_bound(arrivals_.begin(), arrivals_.end(), atMs,
                                      [](std::int64_t at, const Arrival& a) { return at < a.atMs; });
    arrivals_.insert(pos, Arrival{kind, atMs, key});
}

bool RunTimeline::pending(ReplayInput::Kind kind) const {
    return std::any_of(arrivals_.begin(), arrivals_.end(), [kind](const Arrival& a) { return a.kind == kind; });
}

std::int64_t RunTimeline::nextArrivalAt() const {
    if (arrivals_.empty()) return kNever;
    return std::max(arrivals_.front().atMs, now_ + 1);
}

std::int64_t RunTimeline::nextKeyAt() const {
    if (!admitted_.empty()) return now_;
    return arrivals_.empty() ? kNever : arrivals_.front().atMs;
}

void RunTimeline::admitArrivals() {
    while (!arrivals_.empty() && arrivals_.front().atMs <= now_) {
        const Arrival a = arrivals_.front();
        arrivals_.pop_front();
        if (a.kind == ReplayInput::Kind::HttpReply) {
            admitReplies();
            continue;
        }
        ReplayInput input = inputNow(a.kind);
        input.key = a.key;
        admitted_.push_back(keyOf(a.kind, a.key));
        record(input);
    }
}

void RunTimeline::admitReplies() {
    if (recordingHttp_)
        for (const ReplayInput& reply : recordingHttp_->admit(now_)) record(reply);
}

std::optional<int> RunTimeline::takeKey() {
    if (!run_.admitting)
        while (!arrivals_.empty() && arrivals_.front().atMs <= now_) {
            admitted_.push_back(keyOf(arrivals_.front().kind, arrivals_.front().key));
            arrivals_.pop_front();
        }
    while (!admitted_.empty()) {
        const int key = admitted_.front();
        admitted_.pop_front();
        if (key == 0) {
            log("close");
            closeTaken_ = true;
            continue;
        }
        log("key " + std::to_string(key));
        return key;
    }
    return std::nullopt;
}

std::int64_t RunTimeline::wokeAt(std::int64_t target, std::int64_t realMs) {
    if (realMs - target <= kLateMs) return target;
    ReplayInput wake = inputNow(ReplayInput::Kind::Wake);
    wake.fromMs = now_;
    wake.atMs = realMs;
    record(wake);
    return realMs;
}

const ReplayInput* RunTimeline::nextReplayed() const {
    if (!run_.replay) return nullptr;
    const auto& inputs = run_.replay->inputs;
    std::size_t i = nextInput_;
    while (i < inputs.size() && ReplayInput::onDemand(inputs[i].kind)) ++i;
    return i < inputs.size() ? &inputs[i] : nullptr;
}

void RunTimeline::takeReplayed() {
    const auto& inputs = run_.replay->inputs;
    while (nextInput_ < inputs.size() && ReplayInput::onDemand(inputs[nextInput_].kind)) ++nextInput_;
    ++nextInput_;
}

bool RunTimeline::replayInputsLeft() const {
    if (!run_.replay) return false;
    if (nextReplayed()) return true;
    const auto& inputs = run_.replay->inputs;
    auto anyFrom = [&inputs](std::size_t cursor, ReplayInput::Kind kind) {
        return std::any_of(inputs.begin() + static_cast<std::ptrdiff_t>(std::min(cursor, inputs.size())),
                           inputs.end(), [kind](const ReplayInput& in) { return in.kind == kind; });
    };
    return anyFrom(nextDate_, ReplayInput::Kind::Date) || anyFrom(nextSpeech_, ReplayInput::Kind::Speech);
}

RunTimeline::ReplayStep RunTimeline::replayStep(std::int64_t target) const {
    const ReplayInput* in = nextReplayed();
    if (!in) return {target, false};
    const bool wake = in->kind == ReplayInput::Kind::Wake;
    // The recorded machine woke late here: its clock jumped over everything due, so this one does.
    if (wake && in->fromMs == now_) return {in->atMs, true};
    // Inputs come in only as the clock moves on to their time: one at or before the time the
    // run is at now can no longer come in where the replay says.
    const std::int64_t when = wake ? in->fromMs : in->atMs;
    if (when < now_ || (when == now_ && !wake))
        throw ReplayMismatch("the replay has a " + describe(*in) + ", the run was at " + std::to_string(now_) +
                             " already");
    return {std::min(target, when), false};
}

void RunTimeline::replayArrived(const ReplayStep& step) {
    if (step.wake) takeReplayed();
    for (const ReplayInput* in = nextReplayed(); in && in->atMs == now_ && in->kind != ReplayInput::Kind::Wake;
         in = nextReplayed()) {
        if (in->kind == ReplayInput::Kind::Key || in->kind == ReplayInput::Kind::Close)
            admitted_.push_back(keyOf(in->kind, in->key));
        if (in->kind == ReplayInput::Kind::HttpReply && !replayHttp_->answer(in->call, in->reply))
            throw ReplayMismatch("the replay has a " + describe(*in) + ", the run had made " +
                                 std::to_string(replayHttp_->started()) + " requests or answered it already");
        takeReplayed();
    }
}

LocalDateTime RunTimeline::localDateTime(const std::function<LocalDateTime()>& live) {
    if (run_.replay) {
        const ReplayInput* in = nextOnDemand(nextDate_, ReplayInput::Kind::Date);
        if (!in)
            throw ReplayMismatch("the run reads the date at " + std::to_string(now_) + ", the replay has no more dates",
                                 !run_.replay->exitStatus && !nextReplayed());
        if (in->atMs != now_)
            throw ReplayMismatch("the run reads the date at " + std::to_string(now_) + ", the replay at " +
                                 std::to_string(in->atMs));
        return in->date;
    }
    ReplayInput in = inputNow(ReplayInput::Kind::Date);
    in.date = live();
    record(in);
    return in.date;
}

std::string RunTimeline::speechAnswer(const std::string& live) {
    if (run_.replay) {
        const ReplayInput* in = nextOnDemand(nextSpeech_, ReplayInput::Kind::Speech);
        if (!in)
            throw ReplayMismatch("the run asks for the system speech at " + std::to_string(now_) +
                                     ", the replay has no more answers",
                                 !replayInputsLeft());
        return in->speechError;
    }
    ReplayInput in = inputNow(ReplayInput::Kind::Speech);
    in.speechError = live;
    record(in);
    return live;
}

std::optional<std::string> RunTimeline::replaySoFar() const {
    if (!run_.writer) return std::nullopt;
    return run_.writer->text();
}

void RunTimeline::exited(int status) {
    log("exit " + std::to_string(status));
    if (run_.writer) run_.writer->exit(status, now_);
}

const ReplayInput* RunTimeline::nextOnDemand(std::size_t& cursor, ReplayInput::Kind kind) {
    const auto& inputs = run_.replay->inputs;
    while (cursor < inputs.size() && inputs[cursor].kind != kind) ++cursor;
    return cursor < inputs.size() ? &inputs[cursor++] : nullptr;
}

ReplayInput RunTimeline::inputNow(ReplayInput::Kind kind) const {
    ReplayInput input;
    input.kind = kind;
    input.atMs = now_;
    return input;
}

void RunTimeline::record(const ReplayInput& input) {
    if (run_.writer) run_.writer->input(input);
}

}  // namespace zorvan
