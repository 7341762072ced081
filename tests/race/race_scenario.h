#pragma once
// Drives a race of the real game core on the simulated platform, in-process. Random draws
// can be scripted: a test that must know which lane a car takes queues the u it wants.

#include <gtest/gtest.h>

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "game/main_form.h"
#include "platform/keys.h"
#include "platform/sim/sim_platform.h"
#include "support/event_log.h"
#include "support/forwarding_platform.h"
#include "support/game_folder.h"

namespace zorvan::test {

// The simulated platform with a queue of scripted random numbers in front of its generator.
class ScriptedPlatform final : public ForwardingPlatform {
public:
    explicit ScriptedPlatform(SimOptions options) : ForwardingPlatform(sim), sim(std::move(options)) {}

    double random() override {
        ++draws;
        if (script.empty()) return sim.random();
        const double u = script.front();
        script.pop_front();
        return u;
    }

    SimPlatform sim;
    std::deque<double> script;  // the next values of random(), before the generator's
    long draws = 0;
};

// u values that give a known result of k·u + 1 rounded half to even.
constexpr double uFor(int r, int k) { return (r - 1.0) / k; }

inline std::map<std::string, int> raceClips() {
    // Clips the shared folder leaves to the tests that use them.
    return {{"sounds/misc/ssmall1.wav", 200}, {"sounds/misc/ssmall2.wav", 200},
            {"sounds/misc/slarge1.wav", 200}, {"sounds/misc/slarge2.wav", 200},
            {"sounds/eger.wav", 300}};
}

class RaceScenario {
public:
    static constexpr float kCarSpeeds[] = {0, 2.0f, 4.0f, 3.0f, 3.5f};

    explicit RaceScenario(std::uint64_t seed = 1)
        : folder(GameFolder::Sounds::Generated, raceClips()), platform(options(folder, seed)),
          form(platform) {}
    ~RaceScenario() {
        // The race's own sounds must go before the sound system.
        form.releaseRace();
    }

    // A new game as the difficulty menu starts it, without going through the menus.
    void start(int carType = 2, const std::string& difficulty = "normal",
               const std::string& mode = "arcade") {
        form.sound.initSound();
        form.keyMap.loadKeys();
        form.tmrVoss.setInterval(10);
        form.tmrVoss.setEnabled(true);
        form.menus.selectedCarType = static_cast<std::int16_t>(carType);
        form.race.m_speed = kCarSpeeds[carType];
        form.menus.difficulty = difficulty;
        form.mode = mode;
        guarded([&] { form.newGame(); });
    }

    // Start-up to the main menu; false when the program ended on the way.
    bool load() { return guarded([&] { form.Form_Load(); }); }

    // The whole way: start-up, main menu entry 1, the car, the difficulty (1 easy .. 3 crazy).
    bool startThroughMenus(int carType, int difficultyEntry, bool arcade = true) {
        if (!guarded([&] { form.Form_Load(); })) return false;
        if (arcade) press(vk::F5);  // the theme, in the main menu
        press(vk::Enter);
        for (int i = 1; i < carType; ++i) press(vk::Down);
        press(vk::Enter);
        for (int i = 1; i < difficultyEntry; ++i) press(vk::Down);
        press(vk::Enter);
        return form.race.game;
    }

    void press(int code) {
        platform.sim.pressKey(code, platform.nowMs());
        guarded([&] { form.loop.pump(); });
    }
    void pressAt(int code, std::int64_t atMs) { platform.sim.pressKey(code, atMs); }
    std::int64_t now() { return platform.nowMs(); }

    void runFor(std::int64_t ms) {
        const std::int64_t end = platform.nowMs() + ms;
        guarded([&] {
            while (platform.nowMs() < end) form.loop.pump();
        });
    }
    // Pumps until `done` holds; false when it did not within `maxMs` of virtual time.
    bool runUntil(const std::function<bool()>& done, std::int64_t maxMs = 600000) {
        const std::int64_t end = platform.nowMs() + maxMs;
        bool reached = false;
        guarded([&] {
            while (!(reached = done()) && platform.nowMs() < end) form.loop.pump();
        });
        return reached;
    }

    std::size_t mark() const { return platform.sim.lines().size(); }
    // Log lines from `from` on, without the time and the buffer number.
    std::vector<std::string> events(std::size_t from = 0) const { return eventsFrom(platform.sim.lines(), from); }
    int count(const std::string& event, std::size_t from = 0) const {
        int n = 0;
        for (auto& e : events(from)) n += e == event;
        return n;
    }
    int countPrefix(const std::string& prefix, std::size_t from = 0) const {
        int n = 0;
        for (auto& e : events(from)) n += e.rfind(prefix, 0) == 0;
        return n;
    }
    bool has(const std::string& event, std::size_t from = 0) const { return count(event, from) > 0; }
    // The events of one buffer from `from` on, without time and number: "volume sounds/car/3.wav -4700".
    std::vector<std::string> eventsOf(const SoundBuffer& buffer, std::size_t from = 0) const {
        std::vector<std::string> out;
        const std::string tag = " #" + std::to_string(buffer.number());
        const auto& lines = platform.sim.lines();
        for (std::size_t i = from; i < lines.size(); ++i)
            if (lines[i].size() > tag.size() && lines[i].compare(lines[i].size() - tag.size(), tag.size(), tag) == 0)
                out.push_back(bareEvent(lines[i]));
        return out;
    }
    // What the number queue said from `from` on, in order: "5", "speech/level", "inv1".
    std::vector<std::string> spoken(std::size_t from = 0) const {
        std::vector<std::string> out;
        for (auto& e : events(from)) {
            if (e.rfind("play sounds/", 0) != 0 || e.size() < 9 || e.compare(e.size() - 9, 9, ".wav once") != 0) continue;
            std::string clip = e.substr(12, e.size() - 12 - 9);
            if (clip.rfind("numbers/", 0) == 0) clip.erase(0, 8);
            else if (clip.rfind("speech/", 0) != 0 && clip.rfind("inv", 0) != 0) continue;
            out.push_back(clip);
        }
        return out;
    }
    // Virtual ms of the first event equal to `event` from `from` on; -1 when none.
    std::int64_t timeOf(const std::string& event, std::size_t from = 0) const {
        const auto& lines = platform.sim.lines();
        for (std::size_t i = from; i < lines.size(); ++i)
            if (bareEvent(lines[i]) == event) return std::stoll(lines[i].substr(0, lines[i].find(' ')));
        return -1;
    }
    std::string dump(std::size_t from = 0) const { return dumpFrom(platform.sim.lines(), from); }

    // The race bank's engine loops.
    SoundBuffer& compEngine(int type) { return *form.sound.race.compEngineSounds[type - 1]; }
    SoundBuffer& secondEngine(int type) { return *form.sound.race.secondEngineSounds[type - 1]; }
    SoundBuffer& playerEngine() {
        return *form.sound.race.playerEngineSounds[form.menus.selectedCarType - 1];
    }
    bool looping(SoundBuffer& b) { return platform.mixer().isLooping(b.number()); }

    // The race timers: none may run once a game is over.
    std::vector<Timer*> raceTimers() {
        auto& f = form;
        return {&f.tmrGo, &f.tmrComp, &f.tmrRace, &f.tmrWoosh, &f.tmrScomp, &f.tmrSrace,
                &f.tmrSwoosh, &f.tmrAccelerate, &f.tmrHole, &f.tmrItem};
    }
    std::string runningRaceTimers() {
        std::string names;
        for (Timer* t : raceTimers())
            if (t->enabled()) names += t->name() + " ";
        return names;
    }

    GameFolder folder;
    ScriptedPlatform platform;
    MainForm form;
    std::optional<int> exitStatus;

private:
    static SimOptions options(const GameFolder& folder, std::uint64_t seed) {
        SimOptions o;
        o.folder = folder.game();
        o.settingsFolder = folder.settings();
        o.seed = seed;
        return o;
    }
    bool guarded(const std::function<void()>& body) { return runUnlessEnded(exitStatus, nullptr, body); }
};

}  // namespace zorvan::test
