#pragma once
// The option to hear the game's words in the system's speech (the player's screen-reader
// voice, at their rate) instead of the recorded voice: settings store "Kestrine", section
// "zorvan", key "speech", "recorded" (the default) or "system".
//
// With "system", a clip of words only still plays, so every wait, timer and end stays as it
// is, but silenced in the mixer; its words go to the system's speech instead, each new one
// cutting off the last. Clips that mix words with sounds (the speaker test, the sounds the
// game teaches, jingles) are heard as recorded: silencing them would take the sound away.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/captions.h"

namespace zorvan {

class SoundBuffer;
class SoundSystem;

class SystemVoice {
public:
    static constexpr std::string_view kKey = "speech";
    // The words of every clip of words only, written into the game folder by the build.
    static constexpr std::string_view kTable = "spoken.tsv";

    explicit SystemVoice(SoundSystem& sound) : sound_(sound) {}

    // At start-up, with the main menu's sounds loaded: takes up the stored choice. When the
    // system speech cannot be reached the recorded voice says so and the game goes on with it.
    void start();
    // The main menu's key: switches, stores the choice and says the new mode in its own voice.
    void toggle();
    bool on() const { return on_; }

    // What the system speech says for a clip's file, empty for a clip it does not say.
    std::string wordsOf(std::string_view path) const;

    // Told by every SoundBuffer: a play starts; a voice that plays is stopped or released.
    void clipStarted(SoundBuffer& clip);
    void clipStopped(const SoundBuffer& clip);

private:
    // Connects and reads the words; false (with stderr told why) when the speech cannot be used.
    bool connect();
    void say(const std::string& text, std::uint32_t voice);

    SoundSystem& sound_;
    bool on_ = false;
    bool tableRead_ = false;
    Captions::Table words_;
    std::optional<std::uint32_t> speaking_;  // the voice whose words are being said
};

}  // namespace zorvan
