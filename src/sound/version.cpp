#include "sound/version.h"

#include <string>


namespace zorvan {

void VersionControl::loadVersionSounds() {
    versionWord_ = sound_.loadWave("sounds/vControl/version.wav");
    pointWord_ = sound_.loadWave("sounds/vControl/point.wav");
    for (std::size_t digit = 0; digit < versionDigitSounds_.size(); ++digit)
        versionDigitSounds_[digit] =
            sound_.loadWave("sounds/vControl/" + std::to_string(digit) + ".wav");
    // The system speech says the version whole, as it says numbers.
    versionWord_->speakAs("Version " + std::string(versionString));
    pointWord_->speakAs("");
    for (auto& digit : versionDigitSounds_) digit->speakAs("");
}

void VersionControl::unloadVersionSounds() {
    versionWord_.reset();
    pointWord_.reset();
    for (auto& digit : versionDigitSounds_) digit.reset();
}

void VersionControl::announceVersion() {
    // Held, so a nested announcement cannot free the menu under the clip that held it.
    if (!sound_.holdMainMenu) return;
    sound_.holdMainMenu([this] {
        // Not rewound: a clip that played to its end is back at its start.
        bool going = playToEnd(versionWord_);
        for (char c : versionString) {
            if (!going) break;
            going = sayVersionCharacter(c);
        }
    });
}

bool VersionControl::sayVersionCharacter(char c) {
    if (c == '.') return playToEnd(pointWord_);
    if (c >= '0' && c <= '9') return playToEnd(versionDigitSounds_[static_cast<std::size_t>(c - '0')]);
    return true;
}

bool VersionControl::playToEnd(SoundSlot& clip) {
    if (!clip) return false;
    clip->play(false);
    sound_.waitWhilePlaying(clip);
    return true;
}

}  // namespace zorvan
