#pragma once
// Says the game's version on V in the main menu: "version", then "1", "point", "2", each
// clip played to its end before the next.

#include <array>
#include <string_view>

#include "sound/sound_system.h"

namespace zorvan {

class VersionControl {
public:
    static constexpr std::string_view versionString = "1.2";

    explicit VersionControl(SoundSystem& sound) : sound_(sound) {}
    VersionControl(const VersionControl&) = delete;
    VersionControl& operator=(const VersionControl&) = delete;

    // The last step of loading and of releasing the menu bank. Loading throws
    // SoundLoadError on a missing or undecodable clip.
    void loadVersionSounds();
    void unloadVersionSounds();
    // Returns when everything was said; does nothing while another clip is played to its
    // end (soundBusy).
    void announceVersion();

private:
    // False when the clip is gone: the menu bank was released during the announcement.
    bool sayVersionCharacter(char c);
    bool playToEnd(SoundSlot& clip);

    SoundSystem& sound_;
    SoundSlot versionWord_;                        // sounds/vControl/version.wav
    SoundSlot pointWord_;                          // sounds/vControl/point.wav
    std::array<SoundSlot, 10> versionDigitSounds_;  // sounds/vControl/0.wav .. 9.wav
};

}  // namespace zorvan
