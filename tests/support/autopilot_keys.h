#pragma once
// The keys of a game worth submitting: the autopilot plays "normal" arcade by ear in-process,
// from the start, and leaves through the exit prompt once the score passes the 1000 points a
// submission needs. Its keys with their times, then main menu entry 3 (the score to the
// server) and the exit, make a key script that zorvan-sim plays with the same seed and files
// to the same game, on Linux or on Windows.

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <utility>

#include "game/main_form.h"
#include "platform/ini_settings.h"
#include "platform/keys.h"
#include "platform/sim/sim_platform.h"
#include "support/autopilot.h"
#include "support/event_log.h"

namespace zorvan::test {

inline const std::string kAutopilotProfile = "Ada Lovelace\r\nnun\r\nGB\r\n";

// The player's files a run of the key script starts from: the profile, and `server` as the
// score server.
inline void prepareAutopilotPlayer(const std::filesystem::path& data, const std::filesystem::path& settings,
                                   const std::string& server) {
    std::filesystem::create_directories(data);
    std::filesystem::create_directories(settings);
    std::ofstream(data / "config.dat", std::ios::binary) << kAutopilotProfile;
    IniSettingsStore(settings).set("Kestrine", "zorvan", "scoreserver", server);
}

// Plays with the game folder `folder` and `seed`, keeping the pilot's files in `dir`. Returns
// the key script ("MS KEYCODE" lines), or sets `error` and returns "".
inline std::string autopilotKeyScript(const std::filesystem::path& folder, std::uint64_t seed,
                                      const std::filesystem::path& dir, const std::string& server,
                                      std::string& error) {
    SimOptions o;
    o.folder = folder;
    o.dataFolder = dir / "pilot-data";
    o.settingsFolder = dir / "pilot-settings";
    o.seed = seed;
    prepareAutopilotPlayer(o.dataFolder, o.settingsFolder, server);
    SimPlatform sim(o);
    MainForm form(sim);
    std::optional<int> ended;
    auto press = [&](int key) {
        sim.pressKey(key, sim.nowMs());
        runUnlessEnded(ended, nullptr, [&] { form.loop.pump(); });
    };
    if (!runUnlessEnded(ended, nullptr, [&] { form.Form_Load(); })) return error = "the game ended at start", "";
    for (int key : {vk::F5, vk::Enter, vk::Down, vk::Enter, vk::Down, vk::Enter}) press(key);
    if (!form.race.game) return error = "no race started", "";
    Autopilot pilot(sim, {});
    runUnlessEnded(ended, nullptr, [&] {
        const std::int64_t limit = sim.nowMs() + 20 * 60 * 1000;
        while (form.race.game && sim.nowMs() < limit) {
            const std::int64_t end = sim.nowMs() + 1;
            while (sim.nowMs() < end) form.loop.pump();
            pilot.step();
            if (form.race.points >= 1200 && form.tmrComp.enabled()) {
                sim.pressKey(vk::Enter, sim.nowMs() + 300);
                sim.pressKey(vk::Escape, sim.nowMs());
                break;
            }
        }
        const std::int64_t limit2 = sim.nowMs() + 120000;
        while (!form.menus.mainMenuActive() && sim.nowMs() < limit2) form.loop.pump();
    });
    if (!form.menus.mainMenuActive()) return error = "the game did not come back to the main menu", "";
    if (IniSettingsStore(o.settingsFolder).get("zorvan", "installation", "rgsv", "0") == "0")
        return error = "the game left no score to submit", "";
    std::string script;
    std::int64_t last = 0;
    for (const std::string& line : sim.lines()) {
        auto space = line.find(' ');
        if (line.compare(space + 1, 4, "key ") != 0) continue;
        script += line.substr(0, space) + " " + line.substr(space + 5) + "\n";
        last = std::stoll(line.substr(0, space));
    }
    // Main menu entry 3 sends the score; then out through the exit prompt.
    last = std::max(last, sim.nowMs()) + 2000;
    for (auto [delay, key] : {std::pair{0, 40}, {500, 40}, {500, 13}, {20000, 27}, {1000, 13}}) {
        last += delay;
        script += std::to_string(last) + " " + std::to_string(key) + "\n";
    }
    return script;
}

}  // namespace zorvan::test
