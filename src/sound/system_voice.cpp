#include "sound/system_voice.h"

#include <cstdio>

#include "platform/ports.h"
#include "platform/speech.h"
#include "sound/sound_system.h"

namespace zorvan {

namespace {

constexpr std::string_view kApp = "Kestrine", kSection = "zorvan";

}  // namespace

void SystemVoice::start() {
    const std::string stored = sound_.platform().settings().get(kApp, kSection, kKey, "recorded");
    if (stored != "system") {
        if (stored != "recorded")
            std::fprintf(stderr, "zorvan: speech=%s in the settings is neither \"recorded\" nor \"system\": the recorded voice speaks\n",
                         stored.c_str());
        return;
    }
    if (connect()) {
        on_ = true;
        return;
    }
    // Said once, then the game goes on as if the choice were "recorded"; the choice is kept
    // for the next start.
    sound_.playWave("speech", "no_system_speech", true, 0, false);
}

void SystemVoice::toggle() {
    if (!sound_.holdMainMenu) return;
    sound_.holdMainMenu([this] {
        SoundSlot& music = sound_.menu.music;
        if (music) music->setVolume(-800);
        std::string_view said = "no_system_speech";
        if (on_ || connect()) {
            on_ = !on_;
            said = on_ ? "system_speech" : "recorded_speech";
            if (!sound_.platform().settings().set(kApp, kSection, kKey, on_ ? "system" : "recorded"))
                std::fprintf(stderr, "zorvan: the speech setting could not be stored; it holds until the game ends\n");
        }
        // In the new mode: the system speech says "The system voice is on".
        sound_.playWave("speech", said, true, 0, false);
        if (music) music->setVolume(0);
    });
}

bool SystemVoice::connect() {
    SystemSpeech* speech = sound_.platform().speech();
    const std::string why = speech ? speech->open() : "this build of the game has no system speech";
    if (!why.empty()) {
        std::fprintf(stderr, "zorvan: the system speech cannot be used (%s); the recorded voice speaks\n", why.c_str());
        return false;
    }
    if (!tableRead_) {
        tableRead_ = true;
        if (auto text = sound_.platform().files().read(kTable)) words_ = Captions::parseTable(*text);
        if (words_.empty())
            std::fprintf(stderr, "zorvan: %s is missing from the game folder: the recorded voice speaks\n",
                         std::string(kTable).c_str());
    }
    return true;
}

std::string SystemVoice::wordsOf(std::string_view path) const {
    auto it = words_.find(path);
    return it == words_.end() ? std::string() : it->second;
}

void SystemVoice::clipStarted(SoundBuffer& clip) {
    if (!on_ && !clip.silenced_) return;
    auto it = on_ ? words_.find(clip.path()) : words_.end();
    const bool silenced = it != words_.end();
    if (silenced != clip.silenced_) {
        sound_.platform().mixer().setSilenced(clip.number(), silenced);
        clip.silenced_ = silenced;
    }
    if (!silenced) return;
    const std::string& text = clip.spokenAs() ? *clip.spokenAs() : it->second;
    if (text.empty()) {
        // The rest of the words said before it: stopping this clip stops them.
        if (speaking_) speaking_ = clip.number();
        return;
    }
    say(text, clip.number());
}

void SystemVoice::say(const std::string& text, std::uint32_t voice) {
    SystemSpeech* speech = sound_.platform().speech();
    if (speech && speech->say(text)) {
        speaking_ = voice;
        return;
    }
    // The speech went away mid-run: the recorded voice takes over from this clip on, with
    // nothing else about the run changed.
    std::fprintf(stderr, "zorvan: the system speech stopped taking words; the recorded voice speaks\n");
    on_ = false;
    speaking_.reset();
    for (SoundBuffer* buffer : sound_.liveBuffers())
        if (buffer->silenced_) {
            sound_.platform().mixer().setSilenced(buffer->number(), false);
            buffer->silenced_ = false;
        }
}

void SystemVoice::clipStopped(const SoundBuffer& clip) {
    if (!speaking_ || *speaking_ != clip.number() || !sound_.platform().mixer().isPlaying(clip.number())) return;
    speaking_.reset();
    if (SystemSpeech* speech = sound_.platform().speech()) speech->stop();
}

}  // namespace zorvan
