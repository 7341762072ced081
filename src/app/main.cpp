// zorvan: the audio racing game in its real window with real sound.
#include <cstdio>
#include <exception>

#include "game/main_form.h"
#include "game/profile.h"
#include "platform/sdl/sdl_platform.h"

namespace {

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

int main() {
    std::unique_ptr<zorvan::Platform> platform;
    try {
        platform = zorvan::makeSdlPlatform();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "zorvan: %s\n", e.what());
        return 1;
    }
    for (;;) {
        try {
            zorvan::MainForm form(*platform);
            form.run();
        } catch (const zorvan::ProgramEnd& end) {
            if (end.noProfile && offerConfiguration(*platform)) continue;
            if (end.status != 0 && !end.message.empty())
                std::fprintf(stderr, "zorvan: %s\n", end.message.c_str());
            return end.status;
        } catch (const std::exception& e) {
            // The box writes its text to stderr too.
            platform->messageBox("Zorvan! fatal error!", e.what(), zorvan::MessageIcon::Critical);
            return 1;
        }
    }
}
