// zorvan: the audio racing game in its real window with real sound.
//   zorvan [--log FILE] [--replay FILE]
#include <cstdio>
#include <exception>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "game/main_form.h"
#include "game/profile.h"
#include "platform/arguments.h"
#include "platform/folder_files.h"
#include "platform/replay.h"
#include "platform/sdl/sdl_platform.h"
#include "platform/utf8_path.h"

namespace {

int usage(const std::string& why) {
    std::fprintf(stderr,
                 "zorvan: %s\n"
                 "usage: zorvan [--log FILE] [--replay FILE]\n"
                 "  --log FILE     write the event log of the run, as zorvan-sim does\n"
                 "  --replay FILE  play a recorded run back (Escape ends it); its files are\n"
                 "                 written to a scratch folder, never to yours\n",
                 why.c_str());
    return 2;
}

// After the spoken configuration error: Configuration, when it is beside the game, fills the
// profile in, and the game starts again once the profile is complete.
bool offerConfiguration(zorvan::Platform& platform) {
    if (!zorvan::gameHasProgram("Configuration")) return false;
    if (!zorvan::askYesNo(platform, "Zorvan! no player profile",
                          "The game needs your profile (your name, e-mail address and country) "
                          "before it starts. Open Configuration now? The game starts again when "
                          "you have saved your profile."))
        return false;
    if (!zorvan::runGameProgram(platform, "Configuration")) return false;
    auto bytes = platform.files().read("config.dat");
    return bytes && zorvan::parseProfile(*bytes).status == zorvan::ProfileStatus::Ok;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args = zorvan::commandLine(argc, argv);
    argc = static_cast<int>(args.size());
    zorvan::SdlOptions options;
    std::optional<zorvan::Replay> replay;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = args[i];
        if (arg == "--help" || arg == "-h") return usage("plays the game"), 0;
        if (arg != "--log" && arg != "--replay") return usage("unknown option " + arg);
        if (i + 1 >= argc) return usage(arg + " needs a file");
        const std::string value = args[++i];
        if (arg == "--log") {
            options.logPath = zorvan::pathFromUtf8(value);
            continue;
        }
        const auto text = zorvan::readWholeFile(zorvan::pathFromUtf8(value));
        if (!text) return usage("cannot read " + value);
        std::string error;
        replay = zorvan::parseReplay(*text, &error);
        if (!replay) return usage(value + " is not a replay this game can play: " + error);
    }
    if (replay) options.replay = &*replay;

    std::unique_ptr<zorvan::Platform> platform;
    try {
        platform = zorvan::makeSdlPlatform(options);
    } catch (const zorvan::ToldFailure&) {
        return 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "zorvan: %s\n", e.what());
        return 1;
    }
    for (;;) {
        int status = 0;
        try {
            zorvan::MainForm form(*platform);
            form.run();
        } catch (const zorvan::ProgramEnd& end) {
            status = end.status;
            if (end.noProfile && !replay && offerConfiguration(*platform)) {
                zorvan::endRun(*platform, status);
                zorvan::beginNewRun(*platform);
                continue;
            }
            if (end.status != 0 && !end.message.empty())
                std::fprintf(stderr, "zorvan: %s\n", end.message.c_str());
        } catch (const std::exception& e) {
            platform->log(std::string("error ") + e.what());
            zorvan::showFatalError(*platform, e.what());
            status = 1;
        }
        zorvan::endRun(*platform, status);
        return status;
    }
}
