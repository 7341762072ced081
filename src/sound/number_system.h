#pragma once
// Speaks numbers by queueing short clips ("12", "thousand", "40", "5") and playing them one
// after another from the 10 ms timer, so speaking never blocks the game. Whole speech files
// can be queued too, so "level" and the number are heard as one phrase.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "sound/sound_system.h"

namespace zorvan {

class NumberSystem {
public:
    static constexpr int kQueueSize = 50;

    explicit NumberSystem(SoundSystem& sound) : sound_(sound) {}

    // Appends the clips that say value (0 or more; nine digits or more say nothing).
    void speakNumber(std::int32_t value, bool digitByDigit);
    // A clip name ("7", "thousand") or a whole path of a WAV file. Past 50 entries the
    // extra ones are dropped.
    void queueClip(std::string_view entry);
    void stopNumberSpeech();
    void numberSpeechTick();
    void waitForNumberSpeech();

    int speechQueueCount() const { return count_; }
    std::string_view queued(int index) const { return queue_[index]; }  // 0 = next
    bool speaking() const;

private:
    void dropFirstClip();
    void speakNumberClips(std::int32_t value, bool digitByDigit);
    std::string pathOf(std::string_view entry) const;
    void playFirst();
    // With the system speech: the words of the whole queue, numbers whole, said as one message
    // when its first clip starts.
    std::string phraseOfQueue() const;
    void sayUnits();
    void sayTens();
    void sayHundreds();
    void sayGroup(int digits, std::string_view word);
    void sayThousands(int digits);  // digits of the thousands group: 1, 2 or 3
    void sayMillions(int digits);
    char takeDigit();

    SoundSystem& sound_;
    std::array<std::string, kQueueSize> queue_;
    // What the system speech says for each entry: nothing, the clip's own words; the whole
    // number on a number's first clip, and "" on its others.
    std::array<std::optional<std::string>, kQueueSize> said_;
    int count_ = 0;
    int phraseLeft_ = 0;  // clips still to play of the message being said
    SoundSlot numberClip_;
    bool numberClipCreated_ = false;
    std::string numberDigits_;
};

}  // namespace zorvan
