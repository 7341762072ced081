// How fast zorvan-scores verifies a replay: virtual minutes of play per CPU second.
//   bench_verify [--minutes N] [--runs R]
// Records a game the autopilot plays by ear ("normal", arcade) for N virtual minutes (or to
// its game over), out through the exit prompts, then verifies the replay R times the way
// the server does (a child process of zorvan-scores: fork, limits, exec, the game core
// started, the replay played), and once more in-process (runReplay alone). A replay of a
// run that exits at once gives the fixed cost of starting the game core.

#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "game/main_form.h"
#include "game/replay_run.h"
#include "platform/ini_settings.h"
#include "platform/keys.h"
#include "platform/replay.h"
#include "platform/sim/sim_platform.h"
#include "support/autopilot.h"
#include "support/event_log.h"
#include "verifier.h"

namespace {

namespace fs = std::filesystem;
using namespace zorvan;

double childCpuSeconds() {
    rusage u{};
    ::getrusage(RUSAGE_CHILDREN, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

double ownCpuSeconds() {
    timespec t{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

// A recorded run: the autopilot plays up to `minutes` (0: no game at all), then leaves.
std::string record(const fs::path& dir, int minutes) {
    SimOptions o;
    o.folder = ZORVAN_GAME_DIR;
    o.dataFolder = dir / "data";
    o.settingsFolder = dir / "settings";
    o.seed = 7;
    o.record = true;
    fs::create_directories(o.dataFolder);
    fs::create_directories(o.settingsFolder);
    std::FILE* f = std::fopen((o.dataFolder / "config.dat").c_str(), "wb");
    std::fputs("Ada Lovelace\r\nnun\r\nGB\r\n", f);
    std::fclose(f);
    SimPlatform sim(o);
    MainForm form(sim);
    std::optional<int> ended;
    auto guarded = [&](const std::function<void()>& body) { return test::runUnlessEnded(ended, nullptr, body); };
    // A recording run takes a key when its clock next moves on: give each its time.
    auto press = [&](int key) {
        sim.pressKey(key, sim.nowMs());
        const std::int64_t end = sim.nowMs() + 2000;
        guarded([&] {
            while (sim.nowMs() < end) form.loop.pump();
        });
    };
    guarded([&] { form.Form_Load(); });
    if (minutes > 0) {
        for (int key : {vk::F5, vk::Enter, vk::Down, vk::Enter, vk::Down, vk::Enter}) press(key);
        test::Autopilot pilot(sim, {});
        guarded([&] {
            const std::int64_t limit = sim.nowMs() + std::int64_t{minutes} * 60000;
            while (form.race.game && sim.nowMs() < limit) {
                const std::int64_t end = sim.nowMs() + 1;
                while (sim.nowMs() < end) form.loop.pump();
                pilot.step();
            }
            if (form.race.game) {
                sim.pressKey(vk::Enter, sim.nowMs() + 300);
                sim.pressKey(vk::Escape, sim.nowMs());
            }
            const std::int64_t limit2 = sim.nowMs() + 120000;
            while (!form.menus.mainMenuActive() && sim.nowMs() < limit2) form.loop.pump();
        });
    }
    sim.pressKey(vk::Escape, sim.nowMs() + 1000);
    sim.pressKey(vk::Enter, sim.nowMs() + 2000);
    guarded([&] {
        for (;;) form.loop.pump();
    });
    sim.exited(ended.value_or(1));
    return sim.replaySoFar().value_or("");
}

void measure(const char* what, const std::string& text, int runs, const fs::path& dir) {
    std::string error;
    auto replay = parseReplay(text, &error);
    if (!replay) {
        std::fprintf(stderr, "bench_verify: the recorded replay does not read back: %s\n", error.c_str());
        std::exit(1);
    }
    const double minutes = static_cast<double>(replay->endMs) / 60000.0;

    scores::ChildLimits limits;
    double cpu = 0, wall = 0;
    for (int i = 0; i < runs; ++i) {
        const double before = childCpuSeconds();
        const auto start = std::chrono::steady_clock::now();
        scores::ReplayCheck check = scores::runReplayInChild(text, ZORVAN_SCORES_PROGRAM, ZORVAN_GAME_DIR, limits);
        wall += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        cpu += childCpuSeconds() - before;
        if (!check.ran || !check.error.empty()) {
            std::fprintf(stderr, "bench_verify: the replay did not play: %s\n", check.error.c_str());
            std::exit(1);
        }
    }
    cpu /= runs;
    wall /= runs;

    ReplayRunOptions options;
    options.gameFolder = ZORVAN_GAME_DIR;
    options.workFolder = dir / "inprocess";
    fs::remove_all(options.workFolder);
    fs::create_directories(options.workFolder);
    const double before = ownCpuSeconds();
    ReplayRunResult result = runReplay(*replay, options);
    const double inProcess = ownCpuSeconds() - before;

    rusage children{};
    ::getrusage(RUSAGE_CHILDREN, &children);
    std::printf("%-16s %6zu bytes %6.2f virtual min | child: %6.1f ms CPU %6.1f ms wall, peak %3ld MB resident"
                " | in-process: %6.1f ms CPU | %6.1f virtual min per CPU s (child)%s\n",
                what, text.size(), minutes, cpu * 1000, wall * 1000, children.ru_maxrss / 1024, inProcess * 1000,
                cpu > 0 ? minutes / cpu : 0.0, result.error.empty() ? "" : "  (did not fit!)");
}

}  // namespace

int main(int argc, char** argv) {
    int minutes = 10, runs = 5;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!std::strcmp(argv[i], "--minutes")) minutes = std::atoi(argv[i + 1]);
        else if (!std::strcmp(argv[i], "--runs")) runs = std::atoi(argv[i + 1]);
    }
    if (minutes < 1 || runs < 1) {
        std::fprintf(stderr, "usage: bench_verify [--minutes N] [--runs R]\n");
        return 2;
    }
    fs::path dir = fs::temp_directory_path() / ("zorvan-bench-verify-" + std::to_string(::getpid()));
    fs::remove_all(dir);
    const std::string empty = record(dir / "empty", 0);
    const std::string game = record(dir / "game", minutes);
    measure("start and exit", empty, runs, dir);
    measure("autopilot game", game, runs, dir);
    fs::remove_all(dir);
    return 0;
}
