#pragma once
// A gamepad stands in for the keyboard: each button press is delivered to the game as the
// virtual key it stands for, so replays, logs and the key map need nothing of their own.

#include <array>
#include <cstddef>
#include <cstdint>

namespace zorvan {

// The buttons the game uses; the D-pad and the left stick's four directions are the same four.
enum class PadButton : std::uint8_t {
    Up, Down, Left, Right, A, B, X, Y, LeftShoulder, RightShoulder, Start, Back,
};
inline constexpr std::size_t kPadButtons = 12;

// The virtual key of each button, indexed by PadButton; 0: the button does nothing.
using PadKeys = std::array<int, kPadButtons>;

constexpr int padKey(const PadKeys& keys, PadButton button) { return keys[static_cast<std::size_t>(button)]; }

// One axis of a stick as two directions. A push counts once it passes kPress and is over only
// when the stick comes back inside kRelease, so a stick held near the threshold gives one press.
class StickAxis {
public:
    static constexpr int kPress = 16000;    // of 32767
    static constexpr int kRelease = 8000;

    // -1 (towards negative), +1 or 0: the direction newly pushed by this reading, if any.
    int update(int value) {
        int now = side_;
        if (value >= kPress) now = 1;
        else if (value <= -kPress) now = -1;
        else if (value > -kRelease && value < kRelease) now = 0;
        // Swung straight from one side to the other: a new push.
        const int pushed = now != 0 && now != side_ ? now : 0;
        side_ = now;
        return pushed;
    }
    int side() const { return side_; }

private:
    int side_ = 0;
};

}  // namespace zorvan
