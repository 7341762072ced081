#pragma once
// The system's speech: the voice, rate and language the player chose for their screen reader
// (speech-dispatcher on Linux; SAPI 5 on Windows, later). The game sends it the words of its
// recorded clips when the player asks for it.

#include <string>
#include <string_view>

namespace zorvan {

class SystemSpeech {
public:
    virtual ~SystemSpeech() = default;
    // Connects, if not connected yet. Empty when the speech can be used, else why not, in a
    // few words for stderr.
    virtual std::string open() = 0;
    // Says `text` at once, cutting off whatever is still being said: nothing queues up.
    // False when the words could not be handed over.
    virtual bool say(std::string_view text) = 0;
    // Stops what is being said.
    virtual void stop() = 0;
};

}  // namespace zorvan
