// zorvan: the audio racing game in its real window with real sound.
#include <cstdio>
#include <exception>

#include "game/main_form.h"
#include "platform/sdl/sdl_platform.h"

int main() {
    std::unique_ptr<zorvan::Platform> platform;
    try {
        platform = zorvan::makeSdlPlatform();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "zorvan: %s\n", e.what());
        return 1;
    }
    try {
        zorvan::MainForm form(*platform);
        form.run();
    } catch (const zorvan::ProgramEnd& end) {
        if (end.status != 0 && !end.message.empty())
            std::fprintf(stderr, "zorvan: %s\n", end.message.c_str());
        return end.status;
    } catch (const std::exception& e) {
        platform->messageBox("Zorvan! fatal error!", e.what(), zorvan::MessageIcon::Critical);
        std::fprintf(stderr, "zorvan: %s\n", e.what());
        return 1;
    }
    return 0;
}
