#include "platform/sdl/speechd_speech.h"

#include <libspeechd.h>

#include <csignal>
#include <cstdlib>
#include <string>

#if defined(__SANITIZE_ADDRESS__)
#define ZORVAN_LEAK_CHECKED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ZORVAN_LEAK_CHECKED 1
#endif
#endif
#ifdef ZORVAN_LEAK_CHECKED
#include <sanitizer/lsan_interface.h>
#endif

namespace zorvan {

namespace {

class SpeechdSpeech final : public SystemSpeech {
public:
    ~SpeechdSpeech() override {
        if (connection_) spd_close(connection_);
    }

    std::string open() override {
        if (connection_) return {};
        // A speech-dispatcher that goes away mid-run must not take the game with it: writing
        // to its closed socket then fails instead of raising SIGPIPE.
        std::signal(SIGPIPE, SIG_IGN);
        char* error = nullptr;
        {
#ifdef ZORVAN_LEAK_CHECKED
            // libspeechd never frees the texts it builds for a connection that fails, and they
            // hold no frame a suppression could name: the library's own leak, not ours.
            __lsan::ScopedDisabler notOurs;
#endif
            connection_ = spd_open2("zorvan", "game", nullptr, SPD_MODE_SINGLE, nullptr, 1, &error);
        }
        if (connection_) return {};
        std::string why = error && *error ? error : "speech-dispatcher does not answer";
        std::free(error);
        return "speech-dispatcher: " + why;
    }

    bool say(std::string_view text) override {
        if (!connection_) return false;
        // A new message cuts off this game's last one instead of queueing behind it; other
        // programs' speech is left alone.
        spd_cancel(connection_);
        const std::string words(text);
        return spd_say(connection_, SPD_MESSAGE, words.c_str()) >= 0;
    }

    void stop() override {
        if (connection_) spd_cancel(connection_);
    }

private:
    SPDConnection* connection_ = nullptr;
};

}  // namespace

std::unique_ptr<SystemSpeech> makeSpeechdSpeech() { return std::make_unique<SpeechdSpeech>(); }

}  // namespace zorvan
