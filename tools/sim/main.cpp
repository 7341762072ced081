// zorvan-sim: the real game core on the simulated platform.
//   zorvan-sim --folder DIR [--data DIR] [--keys FILE] [--seed N] [--until MS] [--log FILE] [--wav FILE]
//              [--record FILE]
//   zorvan-sim --folder DIR --replay FILE [--data DIR] [--log FILE]
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <string>

#include "game/main_form.h"
#include "game/replay_run.h"
#include "platform/arguments.h"
#include "platform/folder_files.h"
#include "platform/replay.h"
#include "platform/sim/sim_platform.h"
#include "platform/utf8_path.h"
#ifdef _WIN32
#include "platform/win/http_winhttp.h"
using SystemHttp = zorvan::WinHttp;
#else
#include "platform/sdl/http_curl.h"
using SystemHttp = zorvan::CurlHttp;
#endif

namespace {

int usage(const char* why) {
    std::fprintf(stderr,
                 "zorvan-sim: %s\n"
                 "usage: zorvan-sim --folder DIR [--data DIR] [--keys FILE] [--seed N] [--until MS] "
                 "[--log FILE] [--wav FILE] [--record FILE]\n"
                 "       zorvan-sim --folder DIR --replay FILE [--data DIR] [--log FILE]\n",
                 why);
    return 2;
}

// Plays a replay; its data files and settings go to `data`, or to a temporary folder.
int replay(const zorvan::SimOptions& options, const std::string& path) {
    namespace fs = std::filesystem;
    auto text = zorvan::readWholeFile(zorvan::pathFromUtf8(path));
    if (!text) return usage(("cannot read " + path).c_str());
    std::string error;
    auto replay = zorvan::parseReplay(*text, &error);
    if (!replay) {
        std::fprintf(stderr, "zorvan-sim: %s: %s\n", path.c_str(), error.c_str());
        return 1;
    }
    zorvan::ReplayRunOptions run;
    run.gameFolder = options.folder;
    run.logPath = options.logPath;
    fs::path temporary;
    if (options.dataFolder.empty()) {
        temporary = zorvan::makeTemporaryFolder("zorvan-replay");
        if (temporary.empty()) return usage("cannot make a temporary folder");
        run.workFolder = temporary;
    } else {
        run.workFolder = options.dataFolder;
    }
    const zorvan::ReplayRunResult result = zorvan::runReplay(*replay, run);
    if (!temporary.empty()) {
        std::error_code ec;
        fs::remove_all(temporary, ec);
    }
    if (!result.error.empty()) {
        std::fprintf(stderr, "zorvan-sim: %s: %s\n", path.c_str(), result.error.c_str());
        return 1;
    }
    return result.status;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args = zorvan::commandLine(argc, argv);
    argc = static_cast<int>(args.size());
    using zorvan::pathFromUtf8;
    zorvan::SimOptions options;
    std::string keysPath, replayPath;
    bool scripted = false;  // options that a replay sets itself
    try {
        for (int i = 1; i < argc; ++i) {
            std::string arg = args[i];
            auto value = [&]() -> std::string {
                if (i + 1 >= argc) throw std::invalid_argument(arg + " needs a value");
                return args[++i];
            };
            if (arg == "--folder") options.folder = pathFromUtf8(value());
            else if (arg == "--data") options.dataFolder = pathFromUtf8(value());
            else if (arg == "--keys") keysPath = value(), scripted = true;
            else if (arg == "--seed") options.seed = std::stoull(value()), scripted = true;
            else if (arg == "--until") options.untilMs = std::stoll(value()), scripted = true;
            else if (arg == "--log") options.logPath = pathFromUtf8(value());
            else if (arg == "--wav") options.wavPath = pathFromUtf8(value()), scripted = true;
            else if (arg == "--record") options.recordPath = pathFromUtf8(value()), scripted = true;
            else if (arg == "--replay") replayPath = value();
            else if (arg == "--help" || arg == "-h") return usage("runs the game headless"), 0;
            else throw std::invalid_argument("unknown option " + arg);
        }
    } catch (const std::exception& e) {
        return usage(e.what());
    }
    if (options.folder.empty()) return usage("--folder is required");
    if (!replayPath.empty()) {
        if (scripted) return usage("--replay takes only --folder, --data and --log");
        return replay(options, replayPath);
    }
    if (!keysPath.empty()) {
        auto script = zorvan::readWholeFile(pathFromUtf8(keysPath));
        if (!script) return usage(("cannot read " + keysPath).c_str());
        try {
            options.keys = zorvan::parseKeyScript(*script);
        } catch (const std::exception& e) {
            return usage(e.what());
        }
    }

    SystemHttp http;
    options.http = &http;
    options.awaitReplies = true;  // as the real game, recording or not
    options.sleepThroughIdleTimers = true;  // nothing steps this run from outside
    int status = 0;
    std::unique_ptr<zorvan::SimPlatform> platform;
    try {
        platform = std::make_unique<zorvan::SimPlatform>(options);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "zorvan-sim: %s\n", e.what());
        return 1;
    }
    try {
        zorvan::MainForm form(*platform);
        form.run();
    } catch (const zorvan::ProgramEnd& end) {
        status = end.status;
        if (status != 0 && !end.message.empty())
            std::fprintf(stderr, "zorvan-sim: %s\n", end.message.c_str());
    } catch (const std::exception& e) {
        platform->log(std::string("error ") + e.what());
        std::fprintf(stderr, "zorvan-sim: %s\n", e.what());
        status = 1;
    }
    if (!platform->timedOut()) platform->exited(status);
    return status;
}
