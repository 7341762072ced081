// The menu bank's load time from the generated sound pack (read, decode, create 75 voices),
// on the simulated platform so that nothing but the loading is measured.
//   cmake --build build --target bench_game && build/bench/game/bench_game
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>

#include "game/main_form.h"
#include "platform/sim/sim_platform.h"

namespace {

void MenuBankLoad(benchmark::State& state) {
    namespace fs = std::filesystem;
    zorvan::SimOptions options;
    options.folder = ZORVAN_GAME_DIR;
    options.settingsFolder = fs::temp_directory_path() / "zorvan-bench-settings";
    if (!fs::exists(options.folder / "sounds/menu/m_p.wav")) {
        state.SkipWithError("build the sound pack first (the game folder has no sounds)");
        return;
    }
    zorvan::SimPlatform platform(options);
    zorvan::MainForm form(platform);
    for (auto _ : state) {
        form.sound.loadMenuSounds();
        state.PauseTiming();
        form.sound.unloadMenuSounds();
        state.ResumeTiming();
    }
}
BENCHMARK(MenuBankLoad)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
