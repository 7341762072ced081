// Minutes of race the simulated platform plays per second of wall time: a whole game on
// "normal" in the "arcade" theme, played by ear by the autopilot from the difficulty menu to
// level 14 and out through the exit prompt (or to game over), bonus round included.
//   cmake --build build --target bench_race && build/bench/race/bench_race
// The counter sim_minutes is virtual minutes of play per wall-clock second. With
// ZORVAN_RACE_LOGS=DIR each game's event log goes to DIR/game-SEED.log, to check that a change
// leaves every game the same.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "game/main_form.h"
#include "platform/keys.h"
#include "platform/sim/sim_platform.h"
#include "sound/clip_cache.h"
#include "support/autopilot.h"
#include "support/game_folder.h"

namespace {

using namespace zorvan;

// One game; returns the virtual ms it lasted.
std::int64_t playOneGame(std::uint64_t seed, test::GameFolder& folder, const std::shared_ptr<ClipCache>& clips) {
    SimOptions options;
    options.clips = clips;
    options.folder = folder.game();
    options.settingsFolder = folder.settings();
    options.seed = seed;
    if (const char* logs = std::getenv("ZORVAN_RACE_LOGS"))
        options.logPath = std::filesystem::path(logs) / ("game-" + std::to_string(seed) + ".log");
    SimPlatform sim(options);
    MainForm form(sim);
    std::int64_t started = 0;
    try {
        form.Form_Load();
        auto press = [&](int key) {
            sim.pressKey(key, sim.nowMs());
            form.loop.pump();
        };
        press(vk::F5);  // "arcade"
        press(vk::Enter);
        press(vk::Down);  // the Zorvan car
        press(vk::Enter);
        press(vk::Down);  // "normal"
        press(vk::Enter);
        started = sim.nowMs();
        test::Autopilot pilot(sim, {});
        while (form.race.game) {
            form.loop.pump();
            pilot.step();
            if (form.race.levels >= 14 && form.tmrComp.enabled()) {
                sim.pressKey(vk::Enter, sim.nowMs() + 300);
                press(vk::Escape);
            }
        }
        form.releaseRace();
    } catch (const ProgramEnd&) {
    }
    return sim.nowMs() - started;
}

void AutopilotGame(benchmark::State& state) {
    test::GameFolder folder;
    std::int64_t playedMs = 0;
    std::uint64_t seed = 7;
    // Sounds are decoded once for the run, as zorvan-sim decodes them once for its game.
    auto clips = std::make_shared<ClipCache>(std::size_t{1} << 30);
    for (auto _ : state) playedMs += playOneGame(seed++, folder, clips);
    state.counters["sim_minutes"] =
        benchmark::Counter(static_cast<double>(playedMs) / 60000.0, benchmark::Counter::kIsRate);
    state.counters["game_minutes"] =
        benchmark::Counter(static_cast<double>(playedMs) / 60000.0, benchmark::Counter::kAvgIterations);
}
BENCHMARK(AutopilotGame)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
