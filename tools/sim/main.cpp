// zorvan-sim: the real game core on the simulated platform.
//   zorvan-sim --folder DIR [--data DIR] [--keys FILE] [--seed N] [--until MS] [--log FILE] [--wav FILE]
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>

#include "game/main_form.h"
#include "platform/folder_files.h"
#include "platform/sdl/http_curl.h"
#include "platform/sim/sim_platform.h"

namespace {

int usage(const char* why) {
    std::fprintf(stderr,
                 "zorvan-sim: %s\n"
                 "usage: zorvan-sim --folder DIR [--data DIR] [--keys FILE] [--seed N] [--until MS] "
                 "[--log FILE] [--wav FILE]\n",
                 why);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    zorvan::SimOptions options;
    std::string keysPath;
    try {
        for (int i = 1; i < argc; ++i) {
            std::string arg = argv[i];
            auto value = [&]() -> std::string {
                if (i + 1 >= argc) throw std::invalid_argument(arg + " needs a value");
                return argv[++i];
            };
            if (arg == "--folder") options.folder = value();
            else if (arg == "--data") options.dataFolder = value();
            else if (arg == "--keys") keysPath = value();
            else if (arg == "--seed") options.seed = std::stoull(value());
            else if (arg == "--until") options.untilMs = std::stoll(value());
            else if (arg == "--log") options.logPath = value();
            else if (arg == "--wav") options.wavPath = value();
            else if (arg == "--help" || arg == "-h") return usage("runs the game headless"), 0;
            else throw std::invalid_argument("unknown option " + arg);
        }
    } catch (const std::exception& e) {
        return usage(e.what());
    }
    if (options.folder.empty()) return usage("--folder is required");
    if (!keysPath.empty()) {
        auto script = zorvan::readWholeFile(keysPath);
        if (!script) return usage(("cannot read " + keysPath).c_str());
        try {
            options.keys = zorvan::parseKeyScript(*script);
        } catch (const std::exception& e) {
            return usage(e.what());
        }
    }

    zorvan::CurlHttp http;
    options.http = &http;
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
    if (!platform->timedOut()) platform->log("exit " + std::to_string(status));
    return status;
}
