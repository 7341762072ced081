#pragma once
// Drives the real game core on the simulated platform, in-process: a fresh game folder,
// start-up to the main menu, keys in, the event log out.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "game/main_form.h"
#include "platform/keys.h"
#include "platform/sim/sim_platform.h"
#include "support/event_log.h"
#include "support/game_folder.h"

namespace zorvan::test {

class Scenario {
public:
    explicit Scenario(GameFolder::Sounds sounds = GameFolder::Sounds::Generated,
                      const std::map<std::string, int>& clipMs = {})
        : Scenario(nullptr, sounds, clipMs) {}
    // `http` reaches a real server for the online scores; null: no network at all.
    explicit Scenario(Http* http, GameFolder::Sounds sounds = GameFolder::Sounds::Generated,
                      const std::map<std::string, int>& clipMs = {})
        : folder(sounds, clipMs), platform(options(folder, http)), form(platform) {}

    // Start-up to the main menu; false when the program ended on the way.
    bool load() { return guarded([&] { form.Form_Load(); }); }

    // A key pressed now, delivered with everything it sets off: a handler that waits for a
    // sound returns only when it has ended.
    void press(int code) {
        platform.pressKey(code, platform.nowMs());
        guarded([&] { form.loop.pump(); });
    }
    // A key that will arrive later, typically during a wait set off by the next press().
    void pressAt(int code, std::int64_t atMs) { platform.pressKey(code, atMs); }
    std::int64_t now() { return platform.nowMs(); }

    // Lets virtual time run on for `ms`: sounds end, timers tick, scheduled keys arrive.
    void runFor(std::int64_t ms) {
        const std::int64_t end = platform.nowMs() + ms;
        guarded([&] {
            while (platform.nowMs() < end) form.loop.pump();
        });
    }

    // The position in the event log from which events() reads.
    std::size_t mark() const { return platform.lines().size(); }

    // Log lines from `from` on, without the time in front and the "#N" buffer number behind:
    // "play sounds/menu/m2.wav once".
    std::vector<std::string> events(std::size_t from = 0) const { return eventsFrom(platform.lines(), from); }

    // Events from `from` on that concern sounds being played, stopped or rewound.
    std::vector<std::string> soundEvents(std::size_t from = 0) const {
        std::vector<std::string> out;
        for (auto& e : events(from))
            if (e.rfind("play ", 0) == 0 || e.rfind("stop ", 0) == 0 || e.rfind("rewind ", 0) == 0)
                out.push_back(e);
        return out;
    }

    bool has(const std::string& event, std::size_t from = 0) const { return indexOf(event, from).has_value(); }

    // Index (in events(0) numbering) of the first event equal to `event` at or after `from`.
    std::optional<std::size_t> indexOf(const std::string& event, std::size_t from = 0) const {
        const auto& lines = platform.lines();
        for (std::size_t i = from; i < lines.size(); ++i)
            if (bareEvent(lines[i]) == event) return i;
        return std::nullopt;
    }

    // Asserts that the events occur in this order (others may come between them), from
    // `from` on; returns the index of the last one.
    std::size_t expectInOrder(const std::vector<std::string>& sequence, std::size_t from = 0) const {
        std::size_t at = from;
        for (const auto& event : sequence) {
            auto found = indexOf(event, at);
            EXPECT_TRUE(found.has_value()) << "missing, or out of order: \"" << event << "\"\n" << dump(from);
            if (!found) return at;
            at = *found + 1;
        }
        return at - 1;
    }

    std::string dump(std::size_t from = 0) const { return dumpFrom(platform.lines(), from); }

    GameFolder folder;
    SimPlatform platform;
    MainForm form;
    std::optional<int> exitStatus;  // set when the program ended
    std::string exitMessage;

private:
    static SimOptions options(const GameFolder& folder, Http* http) {
        SimOptions o;
        o.folder = folder.game();
        o.settingsFolder = folder.settings();
        o.http = http;
        return o;
    }


    bool guarded(const std::function<void()>& body) { return runUnlessEnded(exitStatus, &exitMessage, body); }
};

}  // namespace zorvan::test
