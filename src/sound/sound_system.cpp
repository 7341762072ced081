#include "sound/sound_system.h"

#include <span>

#include "platform/ports.h"

namespace zorvan {

// ---- SoundBuffer ----

SoundBuffer::~SoundBuffer() {
    log("release");
    system_.voice.clipStopped(*this);
    system_.platform().soundStopped(voice_);
    system_.platform().mixer().release(voice_);
    system_.forget(voice_);
}

void SoundBuffer::log(std::string_view what, std::string_view detail) const {
    Platform& p = system_.platform();
    if (!p.logging()) return;
    std::string line(what);
    line += ' ';
    line += path_;
    if (!detail.empty()) {
        line += ' ';
        line += detail;
    }
    line += " #" + std::to_string(voice_);
    p.log(line);
}

void SoundBuffer::play(bool looping) {
    log("play", looping ? "loop" : "once");
    system_.voice.clipStarted(*this);
    system_.platform().mixer().play(voice_, looping);
    system_.platform().soundStarted(path_, voice_);
}

void SoundBuffer::stop() {
    log("stop");
    system_.voice.clipStopped(*this);
    system_.platform().soundStopped(voice_);
    system_.platform().mixer().stop(voice_);
}

void SoundBuffer::rewind() {
    log("rewind");
    system_.platform().mixer().rewind(voice_);
}

void SoundBuffer::setVolume(std::int32_t volume) {
    log("volume", std::to_string(volume));
    system_.platform().mixer().setVolume(voice_, volume);
}

std::int32_t SoundBuffer::getVolume() const { return system_.platform().mixer().volume(voice_); }

void SoundBuffer::setPan(std::int32_t pan) {
    log("pan", std::to_string(pan));
    system_.platform().mixer().setPan(voice_, pan);
}

std::int32_t SoundBuffer::getPan() const { return system_.platform().mixer().pan(voice_); }

void SoundBuffer::setFrequency(std::int32_t hz) {
    log("freq", std::to_string(hz));
    system_.platform().mixer().setFrequency(voice_, hz);
}

std::int32_t SoundBuffer::getFrequency() const { return system_.platform().mixer().frequency(voice_); }

bool SoundBuffer::isPlaying() const { return system_.platform().mixer().isPlaying(voice_); }

// ---- SoundSystem ----

namespace {

template <std::size_t N>
void releaseAll(std::array<SoundSlot, N>& slots) {
    for (auto& slot : slots) slot.reset();
}

}  // namespace

SoundSystem::SoundSystem(Platform& platform, EventLoop& loop) : voice(*this), platform_(platform), loop_(loop) {}

SoundSystem::~SoundSystem() {
    // Buffers must go before the map that they unregister from.
    speechChannelA.reset();
    speechChannelB.reset();
    bonus = {};
    race = {};
    menu = {};
}

void SoundSystem::initSound() {
    open_ = true;
    platform_.setVoiceEndListener([this](std::uint32_t voice) { voiceEnded(voice); });
}

void SoundSystem::shutdownSound() {
    platform_.setVoiceEndListener(nullptr);
    open_ = false;
}

void SoundSystem::voiceEnded(std::uint32_t voice) {
    auto it = live_.find(voice);
    if (it != live_.end()) it->second->log("end");
}

void SoundSystem::forget(Mixer::VoiceId voice) { live_.erase(voice); }

std::vector<SoundBuffer*> SoundSystem::liveBuffers() const {
    std::vector<SoundBuffer*> buffers;
    for (const auto& [voice, buffer] : live_) buffers.push_back(buffer);
    return buffers;
}

std::shared_ptr<const PcmClip> SoundSystem::decode(const std::string& path) {
    ClipCache& cache = platform_.clipCache() ? *platform_.clipCache() : clips_;
    const std::string key = platform_.files().absolutePath(path);
    if (auto clip = cache.find(key)) return clip;
    auto bytes = platform_.files().read(path);
    if (!bytes) throw SoundLoadError(path, "the file is missing or unreadable");
    std::string error;
    auto clip = decodeWav(
        std::span(reinterpret_cast<const std::uint8_t*>(bytes->data()), bytes->size()), &error);
    if (!clip) throw SoundLoadError(path, error);
    cache.store(key, clip);
    return clip;
}

SoundSlot SoundSystem::loadWave(std::string_view path) {
    std::string name(path);
    auto clip = decode(name);
    auto voice = platform_.mixer().create(std::move(clip));
    // The player turns these two down apart from the rest.
    if (name == "sounds/menu/music.wav" || name == "sounds/amb.wav")
        platform_.mixer().setGroup(voice, SoundGroup::Music);
    SoundSlot buffer(new SoundBuffer(*this, voice, name));
    live_[voice] = buffer.get();
    if (platform_.logging()) platform_.log("load " + name + " #" + std::to_string(voice));
    return buffer;
}

void SoundSystem::loadMenuSounds() {
    auto load = [this](SoundSlot& slot, const std::string& path) { slot = loadWave(path); };
    auto numbered = [&](auto& slots, const std::string& prefix) {
        for (std::size_t i = 0; i < slots.size(); ++i)
            load(slots[i], prefix + std::to_string(i + 1) + ".wav");
    };
    load(menu.mainPrompt, "sounds/menu/m_p.wav");
    load(menu.carPrompt, "sounds/menu/c_p.wav");
    numbered(menu.carEntries, "sounds/menu/c");
    numbered(menu.mainEntries, "sounds/menu/m");
    load(menu.click, "sounds/menu/m_click.wav");
    load(menu.music, "sounds/menu/music.wav");
    load(menu.test, "sounds/menu/test.wav");
    load(menu.farewell, "sounds/ext.wav");
    load(menu.difficultyPrompt, "sounds/menu/dp.wav");
    numbered(menu.difficultyEntries, "sounds/menu/d");
    load(menu.keyPrompt, "sounds/menu/kp.wav");
    load(menu.keyPressPrompt, "sounds/menu/kk.wav");
    load(menu.keyConfirm, "sounds/menu/kkk.wav");
    numbered(menu.keyEntries, "sounds/menu/k");
    load(menu.reset, "sounds/menu/reset.wav");
    load(menu.topTenPrompt, "sounds/menu/lp.wav");
    numbered(menu.topTenEntries, "sounds/menu/ls");
    load(menu.topTenListPrompt, "sounds/menu/lpp.wav");
    load(menu.lgPrompt, "sounds/lgs/lgp.wav");
    numbered(menu.lgEntries, "sounds/lgs/lg");
    numbered(menu.ltEntries, "sounds/lgs/lt");
    numbered(menu.laEntries, "sounds/lgs/la");
    if (menuSoundsLoaded) menuSoundsLoaded();
}

void SoundSystem::unloadMenuSounds() {
    menu = {};
    if (menuSoundsUnloaded) menuSoundsUnloaded();
}

void SoundSystem::loadGameSounds() {
    race.ambience = loadWave("sounds/amb.wav");
    for (auto* set : {&race.playerEngineSounds, &race.compEngineSounds, &race.secondEngineSounds}) {
        const std::int32_t volume = set == &race.playerEngineSounds ? -2000 : -5000;
        for (std::size_t i = 0; i < set->size(); ++i) {
            (*set)[i] = loadWave("sounds/car/" + std::to_string(i + 1) + ".wav");
            (*set)[i]->setVolume(volume);
        }
    }
    race.itemOn = loadWave("sounds/itemon.wav");
    race.itemOff = loadWave("sounds/itemoff.wav");
    race.brakesOn = loadWave("sounds/brkon.wav");
    race.badEngine = loadWave("sounds/bad_enjen.wav");
    race.badLego = loadWave("sounds/bad_lego.wav");
}

void SoundSystem::unloadGameSounds() {
    race = {};
    speechChannelA.reset();
    speechChannelB.reset();
}

void SoundSystem::loadBonusSounds() {
    bonus.announcement = loadWave("sounds/bonus/bonusround.wav");
    for (std::size_t i = 0; i < bonus.bonusTargetSounds.size(); ++i)
        bonus.bonusTargetSounds[i] = loadWave("sounds/bonus/b" + std::to_string(i + 1) + ".wav");
    bonus.gun = loadWave("sounds/bonus/gun.wav");
    bonus.hit = loadWave("sounds/bonus/bget.wav");
}

void SoundSystem::unloadBonusSounds() { bonus = {}; }

void SoundSystem::playWave(std::string_view folder, std::string_view name, bool wait,
                           std::int32_t pan, bool secondChannel) {
    if (forgetKey) forgetKey();
    std::string path = "sounds/";
    if (!folder.empty()) {
        path += folder;
        path += '/';
    }
    path += name;
    path += ".wav";
    SoundSlot& channel = secondChannel ? speechChannelB : speechChannelA;
    try {
        channel = loadWave(path);  // the old clip is cut off
    } catch (const SoundLoadError&) {
        // A missing clip never stops the game, and replaying the channel's previous clip
        // would tell the player something false: it stays silent.
        return;
    }
    channel->setPan(pan);
    channel->play(false);
    if (wait) waitWhilePlaying(channel);
}

void SoundSystem::stopSpeechChannels() {
    if (speechChannelA) speechChannelA->stop();
    if (speechChannelB) speechChannelB->stop();
}

void SoundSystem::waitWhilePlaying(const SoundSlot& buffer) {
    while (buffer && buffer->isPlaying()) loop_.pump();
}

}  // namespace zorvan
