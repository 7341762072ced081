#pragma once
// A platform that hands everything to a simulated one, for tests that replace one port
// (scripted random numbers, files or settings that fail on demand) and keep the rest.

#include <functional>
#include <string>

#include "platform/sim/sim_platform.h"

namespace zorvan::test {

class ForwardingPlatform : public Platform {
public:
    explicit ForwardingPlatform(SimPlatform& target) : target_(target) {}

    std::int64_t nowMs() override { return target_.nowMs(); }
    void idleUntil(std::int64_t deadlineMs) override { target_.idleUntil(deadlineMs); }
    std::optional<int> takeKey() override { return target_.takeKey(); }
    bool closeRequested() override { return target_.closeRequested(); }
    Mixer& mixer() override { return target_.mixer(); }
    void setVoiceEndListener(std::function<void(std::uint32_t)> listener) override {
        target_.setVoiceEndListener(std::move(listener));
    }
    void messageBox(std::string_view title, std::string_view text, MessageIcon icon) override {
        target_.messageBox(title, text, icon);
    }
    SettingsStore& settings() override { return target_.settings(); }
    Files& files() override { return target_.files(); }
    Http& http() override { return target_.http(); }
    double random() override { return target_.random(); }
    LocalDateTime localDateTime() override { return target_.localDateTime(); }
    bool logging() const override { return true; }
    void log(std::string_view event) override { target_.log(event); }

private:
    SimPlatform& target_;
};

}  // namespace zorvan::test
