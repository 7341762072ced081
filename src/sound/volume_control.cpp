#include "sound/volume_control.h"

#include <charconv>
#include <cstdio>

#include "platform/keys.h"
#include "platform/ports.h"

namespace zorvan {

namespace {

constexpr std::string_view kApp = "Kestrine", kSection = "sound";

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
    return s;
}

}  // namespace

namespace volume {

std::optional<std::int32_t> parse(std::string_view text, bool offAllowed) {
    text = trimmed(text);
    if (text == "off") return offAllowed ? std::optional<std::int32_t>(kOff) : std::nullopt;
    int db = 0;
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, db);
    if (text.empty() || ec != std::errc() || ptr != end) return std::nullopt;
    if (db > 0 || db * 100 < kLowest || (db * 100) % kStep != 0) return std::nullopt;
    return db * 100;
}

std::string format(std::int32_t level) {
    if (level <= kOff) return "off";
    return std::to_string(level / 100);
}

std::optional<std::int32_t> step(std::int32_t level, int direction, bool offAllowed) {
    if (direction < 0) {
        if (level <= kOff) return std::nullopt;
        if (level <= kLowest) return offAllowed ? std::optional<std::int32_t>(kOff) : std::nullopt;
        return level - kStep;
    }
    if (level >= 0) return std::nullopt;
    if (level <= kOff) return kLowest;
    return level + kStep;
}

}  // namespace volume

void VolumeControl::load() {
    SettingsStore& store = sound_.platform().settings();
    auto read = [&](std::string_view key, bool offAllowed) -> std::int32_t {
        const std::string text = store.get(kApp, kSection, key, "");
        if (text.empty()) return 0;
        if (auto level = volume::parse(text, offAllowed)) return *level;
        std::fprintf(stderr, "zorvan: [sound] %.*s=%s is not a volume (0, -3, -6 ... -30%s); using 0\n",
                     static_cast<int>(key.size()), key.data(), text.c_str(), offAllowed ? " or off" : "");
        return 0;
    };
    music_ = read("music", true);
    master_ = read("master", false);
    // A run that never touched the volumes logs nothing new.
    if (music_ != 0) apply(true);
    if (master_ != 0) apply(false);
}

void VolumeControl::apply(bool isMusic) {
    Platform& p = sound_.platform();
    if (isMusic) p.mixer().setGroupVolume(SoundGroup::Music, music_);
    else p.mixer().setMasterVolume(master_);
    if (p.logging()) p.log(std::string("group ") + (isMusic ? "music " : "master ") + std::to_string(isMusic ? music_ : master_));
}

void VolumeControl::keyDown(int key) {
    if (key < vk::F9 || key > vk::F12) return;
    const bool isMusic = key == vk::F9 || key == vk::F10;
    const int direction = key == vk::F9 || key == vk::F11 ? -1 : 1;
    std::int32_t& level = isMusic ? music_ : master_;
    const auto next = volume::step(level, direction, isMusic);
    if (!next) {
        confirm(error_, "sounds/err.wav", SoundGroup::Effects);
        return;
    }
    level = *next;
    apply(isMusic);
    // Stored at once: a crash or a killed game keeps what the player chose.
    sound_.platform().settings().set(kApp, kSection, isMusic ? "music" : "master", volume::format(level));
    confirm(tick_, "sounds/volume.wav", isMusic ? SoundGroup::Music : SoundGroup::Effects);
}

void VolumeControl::confirm(SoundSlot& slot, std::string_view path, SoundGroup group) {
    if (!slot) {
        try {
            slot = sound_.loadWave(path);
        } catch (const SoundLoadError& e) {
            std::fprintf(stderr, "zorvan: %s\n", e.what());
            return;
        }
    }
    sound_.platform().mixer().setGroup(slot->number(), group);
    slot->stop();
    slot->rewind();
    slot->play(false);
}

}  // namespace zorvan
