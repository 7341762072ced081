// A soak of random play: the autopilot races while random keys fall in between (pause, exit
// prompt, menus, theme, saved game, key map...), on every car, difficulty and theme. Whatever
// happens the program may only end normally; when it ends (Escape in the main menu) it is
// started again on the same folder. Under the sanitizer build it runs for two virtual hours
// in all, so that any fault of memory or arithmetic on a rarely taken path stops it.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <random>
#include <string>

#include "game/main_form.h"
#include "platform/keys.h"
#include "platform/sim/sim_platform.h"
#include "support/autopilot.h"
#include "support/game_folder.h"

#ifndef ZORVAN_SOAK_SECONDS
#define ZORVAN_SOAK_SECONDS 30  // virtual seconds per car, difficulty and theme
#endif

// ZORVAN_SOAK_SECONDS in the environment makes a longer (or shorter) soak.
std::int64_t soakSeconds() {
    const char* text = std::getenv("ZORVAN_SOAK_SECONDS");
    return text && *text ? std::atoll(text) : ZORVAN_SOAK_SECONDS;
}

namespace zorvan::test {
namespace {

// The keys a player might hit, the game's own ones several times over.
constexpr int kKeys[] = {vk::Up,     vk::Down,   vk::Left,     vk::Right,    vk::Enter,  vk::Escape, vk::Ctrl,
                         vk::Shift,  vk::Tab,    vk::PageUp,   vk::PageDown, vk::Home,   vk::End,    vk::Space,
                         vk::F1,     vk::F2,     vk::F5,       vk::F6,       vk::F7,     vk::F8,     vk::F12,
                         vk::Alt,    vk::Insert, vk::Delete,   vk::Backspace, 'L',       'I',        'P',
                         'M',        'H',        'V',          'S',          '1',        '0',        186,
                         vk::Left,   vk::Right,  vk::Up,       vk::Ctrl,     vk::PageDown, vk::Enter, vk::Escape};

struct Played {
    int starts = 0;         // times the program was started
    int races = 0;          // races begun
    std::int64_t raceMs = 0;  // virtual time spent in a race
    int randomKeys = 0;
};

// Plays `budgetMs` of virtual time with one car, difficulty (1..3) and theme.
Played soak(int car, int difficulty, bool arcade, std::int64_t budgetMs) {
    Played run;
    GameFolder folder(GameFolder::Sounds::Generated);  // short tones: loading and mixing stay cheap
    std::mt19937_64 rng(static_cast<std::uint64_t>(car * 100 + difficulty * 10 + arcade));
    std::uniform_int_distribution<int> pickKey(0, static_cast<int>(std::size(kKeys)) - 1);
    std::uniform_int_distribution<int> gapMs(300, 6000);
    std::int64_t spent = 0;
    while (spent < budgetMs) {
        SimOptions options;
        options.folder = folder.game();
        options.settingsFolder = folder.settings();
        options.seed = rng();
        SimPlatform sim(options);
        MainForm form(sim);
        ++run.starts;
        const std::int64_t begin = sim.nowMs();
        auto press = [&](int key) {
            sim.pressKey(key, sim.nowMs());
            form.loop.pump();
        };
        try {
            form.Form_Load();
            Autopilot::Options steering;
            steering.swapSteering = difficulty == 3;
            std::optional<Autopilot> pilot;
            // The random keys of this start, and the window closed when its share of the
            // budget is spent, are given to the platform ahead of time: a wait nested in the
            // game (the exit prompt, a pause) takes them as a player's keys, where a key pressed
            // from this loop would never come.
            const std::int64_t endAt = begin + (budgetMs - spent);
            for (std::int64_t at = sim.nowMs() + gapMs(rng); at < endAt; at += gapMs(rng)) {
                sim.pressKey(kKeys[pickKey(rng)], at);
                ++run.randomKeys;
            }
            sim.pressKey(0, endAt);
            std::int64_t idleSince = sim.nowMs();
            while (spent + (sim.nowMs() - begin) < budgetMs) {
                const std::int64_t before = sim.nowMs();
                form.loop.pump();
                if (form.race.game) {
                    if (!pilot) {
                        ++run.races;
                        pilot.emplace(sim, steering);
                    }
                    run.raceMs += sim.nowMs() - before;
                    pilot->step();
                    idleSince = sim.nowMs();
                } else if (pilot.reset(); sim.nowMs() - idleSince > 5000) {
                    // Out of the race for a while: back to the main menu and into a new race.
                    idleSince = sim.nowMs();
                    if (form.menus.mainMenuActive()) {
                        if ((form.mode == "arcade") != arcade) press(vk::F5);
                        press(vk::Home);
                        press(vk::Enter);
                        press(vk::Home);
                        for (int i = 1; i < car; ++i) press(vk::Down);
                        press(vk::Enter);
                        press(vk::Home);
                        for (int i = 1; i < difficulty; ++i) press(vk::Down);
                        press(vk::Enter);
                    } else {
                        press(vk::Escape);
                    }
                }
            }
            spent += sim.nowMs() - begin;
        } catch (const ProgramEnd& end) {
            spent += sim.nowMs() - begin;
            EXPECT_EQ(end.status, 0) << end.message << "\n(car " << car << ", difficulty " << difficulty
                                     << (arcade ? ", arcade" : ", tetriss") << ")";
            if (end.status != 0) return run;
        }
    }
    return run;
}

class Soak : public ::testing::TestWithParam<int> {};

TEST_P(Soak, RandomKeysAndTheAutopilotOnEveryDifficultyAndTheme) {
    const int car = GetParam();
    Played total;
    for (int difficulty = 1; difficulty <= 3; ++difficulty)
        for (bool arcade : {false, true}) {
            const Played run = soak(car, difficulty, arcade, soakSeconds() * 1000);
            std::printf("car %d, difficulty %d, %s: %d starts, %d races, %lld s racing, %d random keys\n", car,
                        difficulty, arcade ? "arcade" : "tetriss", run.starts, run.races,
                        static_cast<long long>(run.raceMs / 1000), run.randomKeys);
            std::fflush(stdout);
            EXPECT_GE(run.races, 1) << "difficulty " << difficulty << (arcade ? " arcade" : " tetriss");
            total.starts += run.starts;
            total.races += run.races;
            total.raceMs += run.raceMs;
            total.randomKeys += run.randomKeys;
        }
    RecordProperty("starts", total.starts);
    RecordProperty("races", total.races);
    RecordProperty("raceSeconds", static_cast<int>(total.raceMs / 1000));
    RecordProperty("randomKeys", total.randomKeys);
    std::printf("car %d in all: %d starts, %d races, %lld s racing, %d random keys\n", car, total.starts, total.races,
                static_cast<long long>(total.raceMs / 1000), total.randomKeys);
}

INSTANTIATE_TEST_SUITE_P(EveryCar, Soak, ::testing::Values(1, 2, 3, 4));

}  // namespace
}  // namespace zorvan::test
