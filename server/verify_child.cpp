// zorvan-scores as a verification child: reads one replay on stdin, plays it through the game
// core headless, and writes what the run submitted on stdout (see verifier.h). Started by the
// server with its processor time and memory bounded; whatever a replay does to it stays here.

#include "verify_child.h"

#include <sys/resource.h>

#include <cstdio>
#include <filesystem>
#include <iostream>
#include <iterator>
#include <new>
#include <string>

#include "game/replay_run.h"
#include "platform/ini_settings.h"
#include "platform/replay.h"
#include "platform/replay_files.h"
#include "verifier.h"

namespace zorvan::scores {
namespace {

namespace fs = std::filesystem;

// The pending score the run's settings held at its start ("rgsv" of the game's own store).
std::optional<std::string> pendingAtStart(const Replay& replay, const fs::path& folder) {
    fs::path data = folder / "data", settings = folder / "settings";
    materializeReplay(replay, data, settings);
    IniSettingsStore store(settings, false);
    std::string v = store.get("zorvan", "installation", "rgsv", "0");
    std::error_code ec;
    fs::remove_all(data, ec);
    fs::remove_all(settings, ec);
    if (v == "0" || v.empty()) return std::nullopt;
    return v;
}

ReplayCheck check(const std::string& text, const fs::path& game, const fs::path& work) {
    ReplayCheck c;
    std::string error;
    std::optional<Replay> replay = parseReplay(text, &error);
    if (!replay) {
        c.error = "not a replay: " + error;
        return c;
    }
    c.pendingAtStart = pendingAtStart(*replay, work / "start");
    ReplayRunOptions options;
    options.gameFolder = game;
    options.workFolder = work / "run";
    fs::create_directories(options.workFolder);
    // Stop a little before the processor limit would kill the child, so the reason is the run's.
    rlimit cpu{};
    if (::getrlimit(RLIMIT_CPU, &cpu) == 0 && cpu.rlim_cur != RLIM_INFINITY)
        options.maxRealMs = static_cast<std::int64_t>(cpu.rlim_cur) * 900;
    ReplayRunResult result = runReplay(*replay, options);
    c.ran = true;
    c.error = result.error;
    for (const std::string& url : result.requestedUrls)
        if (url.find("/update_zelk.php?") != std::string::npos) c.submissionUrls.push_back(url);
    return c;
}

}  // namespace

int verifyChildMain(int argc, char** argv) {
    fs::path game, work;
    for (int i = 2; i + 1 < argc; i += 2) {
        std::string a = argv[i];
        if (a == "--game") game = argv[i + 1];
        else if (a == "--work") work = argv[i + 1];
    }
    if (game.empty() || work.empty()) return 2;
    ReplayCheck c;
    try {
        std::string text;
        char buf[65536];
        std::size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, stdin)) > 0) {
            text.append(buf, n);
            if (text.size() > kMaxReplayBytes) break;  // parseReplay refuses it
        }
        c = check(text, game, work);
    } catch (const std::bad_alloc&) {
        c = ReplayCheck{};
        c.error = "it needed more memory than a replay may have";
    } catch (const std::exception& e) {
        c = ReplayCheck{};
        c.error = e.what();
    }
    std::string report = formatReplayCheck(c);
    std::fwrite(report.data(), 1, report.size(), stdout);
    std::fflush(stdout);
    return 0;
}

}  // namespace zorvan::scores
