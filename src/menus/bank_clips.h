#pragma once
// The few ways the menus handle a bank clip. A slot can be empty when a nested key handler
// released the menu bank during a wait (a game was started or loaded meanwhile); every
// helper then does nothing, so code that resumes after a wait cannot touch a released clip.

#include "sound/sound_system.h"

namespace zorvan::clips {

// Stop and rewind, only when a one-shot play is in progress.
inline void silence(SoundSlot& clip) {
    if (clip && clip->isPlaying()) {
        clip->stop();
        clip->rewind();
    }
}

// Play once from where it stands: a stopped clip was rewound when it was stopped, and one
// that played to its end is back at its start.
inline void playOnce(SoundSlot& clip) {
    if (clip) clip->play(false);
}

// From the beginning, whether it is playing or not.
inline void replay(SoundSlot& clip) {
    if (clip) {
        clip->rewind();
        clip->play(false);
    }
}

// From the beginning after cutting off a play in progress.
inline void restart(SoundSlot& clip) {
    if (clip) {
        clip->stop();
        clip->rewind();
        clip->play(false);
    }
}

}  // namespace zorvan::clips
