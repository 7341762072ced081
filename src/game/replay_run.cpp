#include "game/replay_run.h"

#include <algorithm>

#include "game/main_form.h"
#include "platform/sim/sim_platform.h"
#include "sound/version.h"

namespace zorvan {

ReplayRunResult runReplay(const Replay& replay, const ReplayRunOptions& options) {
    ReplayRunResult result;
    if (replay.format != kReplayFormat) {
        result.error = "replay format " + std::to_string(replay.format) + ", this program plays format " +
                       std::to_string(kReplayFormat);
        return result;
    }
    if (replay.programVersion != VersionControl::versionString) {
        result.error = "the replay was made by version " + replay.programVersion + ", this is version " +
                       std::string(VersionControl::versionString);
        return result;
    }

    SimOptions sim;
    sim.folder = options.gameFolder;
    sim.dataFolder = options.workFolder;
    sim.settingsFolder = options.workFolder / "settings";
    sim.logPath = options.logPath;
    sim.sleepThroughIdleTimers = true;
    sim.clips = options.clips;
    sim.replay = &replay;
    sim.maxRealMs = options.maxRealMs;
    // A run that exited stops there; one cut short goes on for the grace after its last input.
    sim.untilMs = replay.endMs + (replay.exitStatus ? 1 : std::max<std::int64_t>(options.graceMs, 1));

    std::unique_ptr<SimPlatform> platform;
    try {
        platform = std::make_unique<SimPlatform>(sim);
    } catch (const std::exception& e) {
        result.error = e.what();
        return result;
    }
    bool exited = false;
    try {
        MainForm form(*platform);
        form.run();
    } catch (const ProgramEnd& end) {
        result.status = end.status;
        exited = !platform->timedOut();
    } catch (const ReplayMismatch& e) {
        if (!e.pastEnd) result.error = e.what();
    } catch (const RunTooLong& e) {
        result.error = e.what();
    } catch (const std::exception& e) {
        platform->log(std::string("error ") + e.what());
        result.error = std::string("the run failed: ") + e.what();
        result.status = 1;
    }
    if (exited) platform->exited(result.status);
    result.log = platform->lines();
    result.requestedUrls = platform->requestedUrls();
    if (!result.error.empty()) return result;

    const std::int64_t end = platform->nowMs();
    if (platform->replayInputsLeft()) {
        result.error = "the run ended at " + std::to_string(end) + " before the replay's inputs did";
    } else if (replay.exitStatus) {
        if (!exited)
            result.error = "the replay exits at " + std::to_string(replay.endMs) + ", the run went on";
        else if (result.status != *replay.exitStatus || end != replay.endMs)
            result.error = "the run exited with status " + std::to_string(result.status) + " at " +
                           std::to_string(end) + ", the replay with status " + std::to_string(*replay.exitStatus) +
                           " at " + std::to_string(replay.endMs);
        else
            result.finished = true;
    }
    return result;
}

}  // namespace zorvan
