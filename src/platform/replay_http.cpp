#include "platform/replay_http.h"

#include <algorithm>
#include <stdexcept>

namespace zorvan {

namespace {

[[noreturn]] void refuseBlocking() {
    throw std::logic_error("a recorded or replayed run takes HTTP replies only through startGet and startConnect");
}

[[noreturn]] void refuseEarlyWait() {
    throw std::logic_error("waiting for an HTTP request that the platform has not admitted yet");
}

}  // namespace

struct RecordingHttp::Call {
    std::uint32_t number = 0;
    std::unique_ptr<HttpCall> inner;  // reset when the game abandons the request
    bool admitted = false;
    HttpReply reply;
};

namespace {

class HeldCall final : public HttpCall {
public:
    explicit HeldCall(std::shared_ptr<RecordingHttp::Call> call) : call_(std::move(call)) {}
    ~HeldCall() override { call_->inner.reset(); }
    bool done() override { return call_->admitted; }
    void wait() override {
        if (!call_->admitted) refuseEarlyWait();
    }
    HttpReply reply() override { return call_->reply; }

private:
    std::shared_ptr<RecordingHttp::Call> call_;
};

}  // namespace

HttpReply RecordingHttp::get(const std::string&) { refuseBlocking(); }
bool RecordingHttp::canConnect(const std::string&, int) { refuseBlocking(); }

std::unique_ptr<HttpCall> RecordingHttp::startGet(const std::string& url) { return track(inner_.startGet(url)); }

std::unique_ptr<HttpCall> RecordingHttp::startConnect(const std::string& url, int timeoutMs) {
    return track(inner_.startConnect(url, timeoutMs));
}

std::unique_ptr<HttpCall> RecordingHttp::track(std::unique_ptr<HttpCall> inner) {
    auto call = std::make_shared<Call>();
    call->number = ++started_;
    call->inner = std::move(inner);
    underWay_.push_back(call);
    return std::make_unique<HeldCall>(std::move(call));
}

void RecordingHttp::prune() {
    std::erase_if(underWay_, [](const std::shared_ptr<Call>& c) { return c->admitted || !c->inner; });
}

bool RecordingHttp::waiting() {
    prune();
    return !underWay_.empty();
}

bool RecordingHttp::arrived() {
    prune();
    return std::any_of(underWay_.begin(), underWay_.end(), [](const auto& c) { return c->inner->done(); });
}

void RecordingHttp::waitForArrival() {
    prune();
    if (!underWay_.empty() && !arrived()) underWay_.front()->inner->wait();
}

std::vector<ReplayInput> RecordingHttp::admit(std::int64_t atMs) {
    prune();
    std::vector<ReplayInput> inputs;
    for (auto& call : underWay_) {
        if (!call->inner->done()) continue;
        call->inner->wait();
        call->reply = call->inner->reply();
        call->admitted = true;
        ReplayInput in;
        in.kind = ReplayInput::Kind::HttpReply;
        in.atMs = atMs;
        in.call = call->number;
        in.reply = call->reply;
        inputs.push_back(std::move(in));
    }
    prune();
    return inputs;
}

struct ReplayHttp::Call {
    bool answered = false;
    HttpReply reply;
};

namespace {

class ReplayedCall final : public HttpCall {
public:
    explicit ReplayedCall(std::shared_ptr<ReplayHttp::Call> call) : call_(std::move(call)) {}
    bool done() override { return call_->answered; }
    void wait() override {
        if (!call_->answered) refuseEarlyWait();
    }
    HttpReply reply() override { return call_->reply; }

private:
    std::shared_ptr<ReplayHttp::Call> call_;
};

}  // namespace

HttpReply ReplayHttp::get(const std::string&) { refuseBlocking(); }
bool ReplayHttp::canConnect(const std::string&, int) { refuseBlocking(); }

std::unique_ptr<HttpCall> ReplayHttp::startGet(const std::string& url) { return track(url); }
std::unique_ptr<HttpCall> ReplayHttp::startConnect(const std::string& url, int) { return track(url); }

std::unique_ptr<HttpCall> ReplayHttp::track(const std::string& url) {
    calls_.push_back(std::make_shared<Call>());
    urls_.push_back(url);
    return std::make_unique<ReplayedCall>(calls_.back());
}

bool ReplayHttp::answer(std::uint32_t number, HttpReply reply) {
    if (number == 0 || number > calls_.size() || calls_[number - 1]->answered) return false;
    calls_[number - 1]->reply = std::move(reply);
    calls_[number - 1]->answered = true;
    return true;
}

}  // namespace zorvan
