// Says N messages through the game's speech-dispatcher adapter, GAP ms apart, and prints for
// each the time it was handed over (ns since the epoch) and its text, for speech_latency.sh to
// set against the time the module got it.
//   speech_latency N GAP_MS
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "platform/sdl/speechd_speech.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: speech_latency N GAP_MS\n");
        return 2;
    }
    const int count = std::atoi(argv[1]);
    const int gapMs = std::atoi(argv[2]);
    auto speech = zorvan::makeSpeechdSpeech();
    if (const std::string why = speech->open(); !why.empty()) {
        std::fprintf(stderr, "speech_latency: %s\n", why.c_str());
        return 1;
    }
    for (int i = 0; i < count; ++i) {
        const std::string text = "Message " + std::to_string(i) + " of the game.";
        const auto sent = std::chrono::system_clock::now().time_since_epoch();
        if (!speech->say(text)) {
            std::fprintf(stderr, "speech_latency: message %d was refused\n", i);
            return 1;
        }
        std::printf("%lld %s\n", static_cast<long long>(std::chrono::duration_cast<std::chrono::nanoseconds>(sent).count()),
                    text.c_str());
        std::this_thread::sleep_for(std::chrono::milliseconds(gapMs));
    }
    return 0;
}
