#pragma once
// The sound layer of the game: SoundBuffer (one WAV file loaded whole and playable at once),
// the three bank groups with their own lifetimes (menu, race, bonus), and playWave, the
// one-shot player on two speech channels.

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/event_loop.h"
#include "sound/clip_cache.h"
#include "sound/mixer.h"
#include "sound/system_voice.h"

namespace zorvan {

class SoundSystem;
class Platform;

// A sound file that is missing or cannot be decoded.
class SoundLoadError : public std::runtime_error {
public:
    explicit SoundLoadError(const std::string& path, const std::string& why)
        : std::runtime_error("cannot load sound file " + path + ": " + why), path_(path) {}
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

class SoundBuffer {
public:
    ~SoundBuffer();  // releases the voice; a sound that plays falls silent
    SoundBuffer(const SoundBuffer&) = delete;
    SoundBuffer& operator=(const SoundBuffer&) = delete;

    void play(bool looping);  // on a playing buffer only switches once/loop
    void stop();              // keeps the position
    void rewind();            // position 0, playing or not
    void setVolume(std::int32_t volume);  // hundredths of a dB, -10000 silent .. 0 the file's level
    std::int32_t getVolume() const;
    void setPan(std::int32_t pan);  // -10000 left only .. 10000 right only, hundredths of a dB
    std::int32_t getPan() const;
    void setFrequency(std::int32_t hz);  // playback rate, samples per second
    std::int32_t getFrequency() const;
    bool isPlaying() const;  // a one-shot play in progress

    const std::string& path() const { return path_; }  // relative to the program folder
    std::uint32_t number() const { return voice_; }     // "#N" of the event log

    // What the system speech says for this clip instead of the file's words; empty: nothing,
    // the clip goes on with the words said before it (the rest of a number said whole).
    void speakAs(std::string words) { spokenAs_ = std::move(words); }
    const std::optional<std::string>& spokenAs() const { return spokenAs_; }

private:
    friend class SoundSystem;
    SoundBuffer(SoundSystem& system, Mixer::VoiceId voice, std::string path)
        : system_(system), voice_(voice), path_(std::move(path)) {}
    void log(std::string_view what, std::string_view detail = {}) const;

    SoundSystem& system_;
    Mixer::VoiceId voice_;
    std::string path_;
    std::optional<std::string> spokenAs_;
    bool silenced_ = false;  // its words go to the system speech
    friend class SystemVoice;
};

// A bank entry: empty before its group is loaded and after it is released.
using SoundSlot = std::unique_ptr<SoundBuffer>;

struct MenuBank {
    SoundSlot mainPrompt;                  // menu/m_p.wav
    SoundSlot carPrompt;                   // menu/c_p.wav
    std::array<SoundSlot, 4> carEntries;   // menu/c1..c4.wav, index 0 = entry 1
    std::array<SoundSlot, 8> mainEntries;  // menu/m1..m8.wav
    SoundSlot click;                       // menu/m_click.wav
    SoundSlot music;                       // menu/music.wav, looping under every menu
    SoundSlot test;                        // menu/test.wav, main entry 7
    SoundSlot farewell;                    // ext.wav
    SoundSlot difficultyPrompt;            // menu/dp.wav
    std::array<SoundSlot, 3> difficultyEntries;  // menu/d1..d3.wav
    SoundSlot keyPrompt;                   // menu/kp.wav
    SoundSlot keyPressPrompt;              // menu/kk.wav
    SoundSlot keyConfirm;                  // menu/kkk.wav
    std::array<SoundSlot, 13> keyEntries;  // menu/k1..k13.wav
    SoundSlot reset;                       // menu/reset.wav
    SoundSlot topTenPrompt;                // menu/lp.wav
    std::array<SoundSlot, 4> topTenEntries;  // menu/ls1..ls4.wav
    SoundSlot topTenListPrompt;            // menu/lpp.wav
    SoundSlot lgPrompt;                    // lgs/lgp.wav
    std::array<SoundSlot, 3> lgEntries;    // lgs/lg1..lg3.wav
    std::array<SoundSlot, 4> ltEntries;    // lgs/lt1..lt4.wav
    std::array<SoundSlot, 10> laEntries;   // lgs/la1..la10.wav
};

struct RaceBank {
    SoundSlot ambience;                            // amb.wav
    std::array<SoundSlot, 4> playerEngineSounds;   // car/1..4.wav, index = car type - 1
    std::array<SoundSlot, 4> compEngineSounds;
    std::array<SoundSlot, 4> secondEngineSounds;
    SoundSlot itemOn;                              // itemon.wav
    SoundSlot itemOff;                             // itemoff.wav
    SoundSlot brakesOn;                            // brkon.wav, looping while brakes are ready
    SoundSlot badEngine;                           // bad_enjen.wav
    SoundSlot badLego;                             // bad_lego.wav
};

struct BonusBank {
    SoundSlot announcement;                      // bonus/bonusround.wav
    std::array<SoundSlot, 4> bonusTargetSounds;  // bonus/b1..b4.wav
    SoundSlot gun;                               // bonus/gun.wav
    SoundSlot hit;                               // bonus/bget.wav
};

class SoundSystem {
public:
    SoundSystem(Platform& platform, EventLoop& loop);
    ~SoundSystem();
    SoundSystem(const SoundSystem&) = delete;
    SoundSystem& operator=(const SoundSystem&) = delete;

    void initSound();
    void shutdownSound();

    // A new buffer from a file of the program folder ("sounds/err.wav", "Kestrine.KSR"):
    // stopped, position 0, volume 0, pan 0, the file's rate. Throws SoundLoadError.
    SoundSlot loadWave(std::string_view path);

    void loadMenuSounds();  // ends with the version clips
    void unloadMenuSounds();
    void loadGameSounds();
    void unloadGameSounds();  // also empties both speech channels
    void loadBonusSounds();
    void unloadBonusSounds();

    // Plays sounds/<folder>/<name>.wav (sounds/<name>.wav with an empty folder) once on
    // speech channel A, or B when secondChannel; with wait, pumps events until it ends.
    // Clears key_k first. Never fails: a missing file leaves the channel as it was.
    void playWave(std::string_view folder, std::string_view name, bool wait, std::int32_t pan,
                  bool secondChannel);
    // Stops whichever speech channel holds a sound.
    void stopSpeechChannels();
    // Pumps events until the buffer's one-shot play has ended (or the slot is empty).
    void waitWhilePlaying(const SoundSlot& buffer);

    MenuBank menu;
    RaceBank race;
    BonusBank bonus;
    SoundSlot speechChannelA;
    SoundSlot speechChannelB;
    SystemVoice voice;  // the recorded voice's words in the system's speech, as an option

    Platform& platform() { return platform_; }
    EventLoop& loop() { return loop_; }

    // Set by the game that owns this sound system. forgetKey clears the last key pressed
    // (playWave does, before it plays). holdMainMenu runs its argument with the main menu
    // held: nothing when a clip is already being played to its end over the menu, else the
    // menu's clips stopped and its keys ignored until the argument returns. menuSoundsLoaded
    // and menuSoundsUnloaded end loadMenuSounds and unloadMenuSounds.
    std::function<void()> forgetKey;
    std::function<void(const std::function<void()>&)> holdMainMenu;
    std::function<void()> menuSoundsLoaded, menuSoundsUnloaded;
    std::vector<SoundBuffer*> liveBuffers() const;  // every buffer not yet released

private:
    friend class SoundBuffer;
    void forget(Mixer::VoiceId voice);
    void voiceEnded(std::uint32_t voice);
    std::shared_ptr<const PcmClip> decode(const std::string& path);

    Platform& platform_;
    EventLoop& loop_;
    bool open_ = false;
    std::unordered_map<Mixer::VoiceId, SoundBuffer*> live_;
    ClipCache clips_;  // unless the platform brings one that outlives the game
};

}  // namespace zorvan
