#pragma once
// The player's own volumes: the music (menu music and the race's ambience) and the whole game,
// turned with F9/F10 and F11/F12 in 3 dB steps, kept in the settings store ([sound] music= and
// master=, in dB) and applied by the mixer after every sound's own volume.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "sound/sound_system.h"

namespace zorvan {

namespace volume {

// Levels in hundredths of a dB: 0, -300 .. -3000, and for the music also kOff.
inline constexpr std::int32_t kStep = 300, kLowest = -3000, kOff = -10000;

// "0", "-3" .. "-30" (blanks around allowed), and "off" where off is allowed; nothing else.
std::optional<std::int32_t> parse(std::string_view text, bool offAllowed);
std::string format(std::int32_t level);  // "-6", "0", "off"
// The level one step down (direction -1) or up (+1); nothing at the end of the range.
std::optional<std::int32_t> step(std::int32_t level, int direction, bool offAllowed);

}  // namespace volume

class VolumeControl {
public:
    explicit VolumeControl(SoundSystem& sound) : sound_(sound) {}
    VolumeControl(const VolumeControl&) = delete;
    VolumeControl& operator=(const VolumeControl&) = delete;

    // Reads both levels from the settings store and gives them to the mixer. A value that is
    // not a level counts as 0 and is reported on stderr, once each.
    void load();
    // F9 music down, F10 music up, F11 the whole game down, F12 up; other keys are ignored.
    void keyDown(int key);

    std::int32_t music() const { return music_; }
    std::int32_t master() const { return master_; }

private:
    void apply(bool isMusic);
    // Plays a short clip, loaded the first time; a clip that cannot be loaded is skipped.
    void confirm(SoundSlot& slot, std::string_view path, SoundGroup group);

    SoundSystem& sound_;
    std::int32_t music_ = 0;
    std::int32_t master_ = 0;
    SoundSlot tick_;   // sounds/volume.wav, at the level just set
    SoundSlot error_;  // sounds/err.wav, at the end of the range
};

}  // namespace zorvan
