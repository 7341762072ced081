#include "platform/sdl/sdl_platform.h"

#define SDL_MAIN_HANDLED  // main() is the program's own, on every system
#include <SDL.h>
#include <SDL_ttf.h>

#include <array>
#include <chrono>
#include <clocale>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <limits>
#include <map>
#include <random>
#include <sstream>
#include <stdexcept>

#ifdef _WIN32
#include "platform/win/wide.h"
#else
#include <unistd.h>
#endif

#include "platform/captions.h"
#include "platform/data_folder.h"
#include "platform/audio_buffer.h"
#include "platform/folder_files.h"
#include "platform/ini_settings.h"
#include "platform/keys.h"
#include "platform/sdl/child_program.h"
#include "platform/replay.h"
#include "platform/replay_files.h"
#include "platform/replay_http.h"
#include "platform/run_timeline.h"
#include "platform/utf8_path.h"
#ifdef _WIN32
#include "platform/win/http_winhttp.h"
#else
#include "platform/sdl/http_curl.h"
#endif
#include "platform/speech.h"
#ifdef ZORVAN_HAVE_SPEECHD
#include "platform/sdl/speechd_speech.h"
#endif
#include "sound/mixer.h"
#include "sound/version.h"

namespace zorvan {

namespace {

#ifdef _WIN32
// Windows has no DejaVu: the game brings its own, beside the program.
constexpr const char* kFontFile = "DejaVuSans.ttf";
using SystemHttp = WinHttp;
#else
constexpr const char* kFontPath = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
using SystemHttp = CurlHttp;
#endif
constexpr const char* kMessageHelper = "zorvan-message";
constexpr const char* kCaptionTable = "captions.tsv";
// The window at its first size; text grows with it and never falls below these pixel sizes.
constexpr int kWindowWidth = 720, kWindowHeight = 400;
constexpr int kLabelPx = 32, kCaptionPx = 44, kStatusPx = 36;

// SDL key to Windows virtual-key code, 0 for keys the game has no code for.
int virtualKey(const SDL_Keysym& key) {
    const SDL_Keycode k = key.sym;
    if (k >= SDLK_a && k <= SDLK_z) return 'A' + (k - SDLK_a);
    if (k >= SDLK_0 && k <= SDLK_9) return '0' + (k - SDLK_0);
    if (k >= SDLK_F1 && k <= SDLK_F12) return vk::F1 + (k - SDLK_F1);
    if (k >= SDLK_KP_1 && k <= SDLK_KP_9) return 97 + (k - SDLK_KP_1);
    switch (k) {
        case SDLK_KP_0: return 96;
        case SDLK_KP_MULTIPLY: return 106;
        case SDLK_KP_PLUS: return 107;
        case SDLK_KP_MINUS: return 109;
        case SDLK_KP_PERIOD: return 110;
        case SDLK_KP_DIVIDE: return 111;
        case SDLK_KP_ENTER: return vk::Enter;
        case SDLK_BACKSPACE: return vk::Backspace;
        case SDLK_TAB: return vk::Tab;
        case SDLK_RETURN: return vk::Enter;
        case SDLK_LSHIFT:
        case SDLK_RSHIFT: return vk::Shift;
        case SDLK_LCTRL:
        case SDLK_RCTRL: return vk::Ctrl;
        case SDLK_LALT:
        case SDLK_RALT: return vk::Alt;
        case SDLK_PAUSE: return 19;
        case SDLK_CAPSLOCK: return 20;
        case SDLK_ESCAPE: return vk::Escape;
        case SDLK_SPACE: return vk::Space;
        case SDLK_PAGEUP: return vk::PageUp;
        case SDLK_PAGEDOWN: return vk::PageDown;
        case SDLK_END: return vk::End;
        case SDLK_HOME: return vk::Home;
        case SDLK_LEFT: return vk::Left;
        case SDLK_UP: return vk::Up;
        case SDLK_RIGHT: return vk::Right;
        case SDLK_DOWN: return vk::Down;
        case SDLK_INSERT: return vk::Insert;
        case SDLK_DELETE: return vk::Delete;
        case SDLK_SEMICOLON: return 186;
        case SDLK_EQUALS: return 187;
        case SDLK_COMMA: return 188;
        case SDLK_MINUS: return 189;
        case SDLK_PERIOD: return 190;
        case SDLK_SLASH: return 191;
        case SDLK_BACKQUOTE: return 192;
        case SDLK_LEFTBRACKET: return 219;
        case SDLK_BACKSLASH: return 220;
        case SDLK_RIGHTBRACKET: return 221;
        case SDLK_QUOTE: return 222;
        default: return 0;
    }
}

// The system speech, its words also in the event log as the simulated platform writes them, and
// whether it could be reached in the replay (a replay played back takes that answer, and its
// run goes on as the recorded one did whatever this machine's speech does, as in zorvan-sim).
class LoggedSpeech final : public SystemSpeech {
public:
    LoggedSpeech(Platform& platform, std::unique_ptr<SystemSpeech> speech,
                 std::function<std::string(std::string_view)> answer, bool replaying)
        : platform_(platform), speech_(std::move(speech)), answer_(std::move(answer)), replaying_(replaying) {}
    std::string open() override { return answer_(speech_->open()); }
    bool say(std::string_view text) override {
        if (!speech_->say(text) && !replaying_) return false;
        platform_.log("speak " + std::string(text));
        return true;
    }
    void stop() override {
        speech_->stop();
        platform_.log("speak-stop");
    }

private:
    Platform& platform_;
    std::unique_ptr<SystemSpeech> speech_;
    std::function<std::string(std::string_view)> answer_;
    bool replaying_;
};

class SdlPlatform final : public Platform {
public:
    static constexpr int kLogicalRate = 48000;  // the simulated platform's
    static constexpr int kFramesPerMs = kLogicalRate / 1000;

    explicit SdlPlatform(const SdlOptions& options);
    ~SdlPlatform() override;

    std::int64_t nowMs() override { return timeline_.now(); }
    void idleUntil(std::int64_t deadlineMs) override;
    bool sleepsThroughIdleTimers() const override { return true; }
    std::optional<int> takeKey() override;
    void setPadKeys(std::function<PadKeys()> source) override { padKeys_ = std::move(source); }
    bool closeRequested() override { return timeline_.closeTaken() || quit_; }
    Mixer& mixer() override { return *mixer_; }
    void setVoiceEndListener(std::function<void(std::uint32_t)> listener) override {
        voiceEnded_ = std::move(listener);
    }
    void messageBox(std::string_view title, std::string_view text, MessageIcon icon) override;
    void soundStarted(std::string_view path, std::uint32_t voice) override;
    void soundStopped(std::uint32_t voice) override;
    void showRaceStatus(const std::optional<RaceStatus>& status) override;
    SystemSpeech* speech() override { return speech_.get(); }
    SettingsStore& settings() override { return *settings_; }
    Files& files() override { return *files_; }
    Http& http() override { return timeline_.http(); }
    double random() override { return timeline_.random(); }
    LocalDateTime localDateTime() override;
    std::optional<std::string> replaySoFar() override { return timeline_.replaySoFar(); }
    bool logging() const override { return timeline_.logging(); }
    void log(std::string_view event) override { timeline_.log(event); }

    // The accessible box (zorvan-message), SDL's own when it cannot run. With `question`,
    // Yes and No; true for Yes (and for OK).
    bool showBox(std::string_view title, std::string_view text, MessageIcon icon, bool question);
    // Runs a program of the game folder; the window is redrawn and the sound plays meanwhile.
    std::optional<int> runProgram(const std::string& name, const std::vector<std::string>& args);
    void beginRun();
    void endRun(int status);
    // Whether the system speech is there (empty) or why not: `live`, recorded, unless a replay
    // played back gives the answer.
    std::string speechAnswer(std::string_view live);

private:
    std::int64_t realMs() const { return static_cast<std::int64_t>(SDL_GetTicks64()) - origin_; }
    void handle(const SDL_Event& event);
    // Gamepads plugged in or out, and their buttons and left stick as the keys they stand for.
    // True when the event was one of a gamepad.
    bool handlePad(const SDL_Event& event);
    void padPressed(PadButton button);
    // Takes the window's events and the answers that came in, without blocking.
    void collect();
    // Sleeps until the real clock reaches `realTarget` or an event comes, whichever is first.
    void sleepUntil(std::int64_t realTarget);
    void moveTo(std::int64_t ms);
    void idleLive(std::int64_t target);
    void idleReplaying(std::int64_t target);
    void drawLabel();
    void openSound();
    void noticeCaptionEnd();
    // Window events while another program has the keyboard; keys meant for it are dropped.
    void pumpWhileWaiting();

    SdlOptions options_;
    const Replay* replay_;
    SDL_Window* window_ = nullptr;
    TTF_Font* labelFont_ = nullptr;
    TTF_Font* captionFont_ = nullptr;
    TTF_Font* statusFont_ = nullptr;
    int fontScale_ = 0;  // percent of the smallest sizes the fonts now have
    Captions captions_;
    std::optional<RaceStatus> raceStatus_;
    SDL_AudioDeviceID device_ = 0;
    int deviceRate_ = 48000;
    // The core's mixer, moved with the logical clock; every command it takes is forwarded to
    // the device's, which the audio callback renders.
    std::unique_ptr<Mixer> mixer_;
    std::unique_ptr<Mixer> deviceMixer_;
    std::function<void(std::uint32_t)> voiceEnded_;
    std::vector<Mixer::VoiceId> ended_;

    struct Pad {
        SDL_GameController* controller = nullptr;
        StickAxis x, y;
    };
    std::map<SDL_JoystickID, Pad> pads_;
    std::function<PadKeys()> padKeys_;

    std::int64_t origin_ = 0;  // SDL ticks at logical 0
    bool quit_ = false;  // playing a replay back: the player ended it

    std::filesystem::path dataFolder_;
    // Playing back: the run's own data and settings, removed with the platform (also when
    // making it fails half-way).
    struct Scratch {
        std::filesystem::path path;
        ~Scratch() {
            std::error_code ignored;
            if (!path.empty()) std::filesystem::remove_all(path, ignored);
        }
    } scratch_;
    std::unique_ptr<IniSettingsStore> settings_;
    std::unique_ptr<FolderFiles> files_;
    SystemHttp curl_;
    RunTimeline timeline_;  // its clock paced here by the real one; holds requests of curl_
    std::unique_ptr<SystemSpeech> speech_;  // null in a build without one
};

std::filesystem::path programFolder() {
    char* base = SDL_GetBasePath();
    std::filesystem::path folder = base ? pathFromUtf8(base) : std::filesystem::path(".");
    SDL_free(base);
    return folder;
}

// Another program of the game folder, by the name it has on Linux.
std::filesystem::path programPath(const std::string& name) {
#ifdef _WIN32
    return programFolder() / pathFromUtf8(name + ".exe");
#else
    return programFolder() / name;
#endif
}

Captions::Table loadCaptionTable() {
    std::ifstream in(programFolder() / kCaptionTable, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return Captions::parseTable(text.str());
}

// The player's data folder, created, taken over from an earlier build and seeded as needed.
std::filesystem::path preparedDataFolder(const std::filesystem::path& program) {
    std::filesystem::path data = defaultDataFolder();
    prepareDataFolder(program, data);
    return data;
}

// A fresh folder under the system's temporary folder, for a replay's files and settings.
std::filesystem::path scratchFolder() {
    std::filesystem::path folder = makeTemporaryFolder("zorvan-replay");
    if (folder.empty()) throw std::runtime_error("cannot make a folder for the replay's files");
    return folder;
}

SdlPlatform::SdlPlatform(const SdlOptions& options) : options_(options), replay_(options.replay) {
    const std::filesystem::path program = options.programFolder.empty() ? programFolder() : options.programFolder;
    std::filesystem::path settingsFolder = IniSettingsStore::defaultFolder();
    if (replay_) {
        // Never the player's own files: the run writes where it likes.
        scratch_.path = scratchFolder();
        dataFolder_ = scratch_.path / "data";
        settingsFolder = scratch_.path / "settings";
        materializeReplay(*replay_, dataFolder_, settingsFolder);
    } else {
        dataFolder_ = preparedDataFolder(program);
    }
    settings_ = std::make_unique<IniSettingsStore>(settingsFolder);
    files_ = std::make_unique<FolderFiles>(program, dataFolder_);
    if (!options_.logPath.empty()) {
        timeline_.logTo(options_.logPath);
        files_->setWriteListener([this](std::string_view name) { log("file " + std::string(name)); });
    }

    // The window is drawn in software on its own surface: no GL stack is loaded for it.
    SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
    SDL_SetMainReady();
    if (SDL_Init(SDL_INIT_VIDEO | SDL_INIT_EVENTS) != 0)
        throw std::runtime_error(std::string("cannot start SDL: ") + SDL_GetError());
    window_ = SDL_CreateWindow("Zorvan!", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, kWindowWidth,
                               kWindowHeight, SDL_WINDOW_SHOWN | SDL_WINDOW_RESIZABLE);
    if (!window_) throw std::runtime_error(std::string("cannot open the window: ") + SDL_GetError());
    if (TTF_Init() == 0) {
#ifdef _WIN32
        const std::string fontPath = utf8Of(program / kFontFile);  // SDL opens files by UTF-8 names
        const char* kFontPath = fontPath.c_str();
#endif
        labelFont_ = TTF_OpenFont(kFontPath, kLabelPx);
        captionFont_ = TTF_OpenFont(kFontPath, kCaptionPx);
        statusFont_ = TTF_OpenFont(kFontPath, kStatusPx);
        for (TTF_Font* font : {labelFont_, captionFont_, statusFont_})
            if (font) TTF_SetFontWrappedAlign(font, TTF_WRAPPED_ALIGN_CENTER);
    }
    captions_ = Captions(loadCaptionTable());
#ifdef ZORVAN_HAVE_SPEECHD
    speech_ = std::make_unique<LoggedSpeech>(*this, makeSpeechdSpeech(),
                                             [this](std::string_view live) { return speechAnswer(live); },
                                             replay_ != nullptr);
#endif
    drawLabel();
    // Without gamepad support the keyboard still plays the whole game.
    if (SDL_InitSubSystem(SDL_INIT_GAMECONTROLLER) != 0)
        std::fprintf(stderr, "zorvan: gamepads cannot be used: %s\n", SDL_GetError());
    openSound();
    beginRun();
}

void SdlPlatform::beginRun() {
    // The sounds of an earlier run are gone with its game; the device mixer is swapped while
    // the callback cannot run.
    auto logical = std::make_unique<Mixer>(kLogicalRate);
    auto device = std::make_unique<Mixer>(deviceRate_);
    logical->setFollower(device.get());
    if (device_) SDL_LockAudioDevice(device_);
    std::swap(deviceMixer_, device);
    if (device_) SDL_UnlockAudioDevice(device_);
    mixer_ = std::move(logical);
    device.reset();

    RunTimeline::Run run;
    run.replay = replay_;
    run.http = &curl_;
    run.holdReplies = true;  // replies come on the network's threads, keys between the game's steps
    run.admitting = true;
    if (!replay_) {
        run.seed = static_cast<std::uint64_t>(std::chrono::system_clock::now().time_since_epoch().count()) ^
                   (static_cast<std::uint64_t>(std::random_device{}()) << 32 | std::random_device{}());
        if (options_.record) {
            try {
                run.writer = std::make_unique<ReplayWriter>(
                    newReplayPath(dataFolder_), std::string(VersionControl::versionString), run.seed,
                    snapshotPlayerFiles(dataFolder_), snapshotSettings(IniSettingsStore::defaultFolder()));
            } catch (const std::exception& e) {
                // The game plays on unrecorded rather than not at all.
                std::fprintf(stderr, "zorvan: this run is not recorded: %s\n", e.what());
            }
        }
    }
    timeline_.begin(std::move(run));
    origin_ = static_cast<std::int64_t>(SDL_GetTicks64());
}

void SdlPlatform::endRun(int status) { timeline_.exited(status); }

void SdlPlatform::openSound() {
    // Said in plain words, on stderr and then in a box: without sound the game cannot be
    // played, and the line must be there while the box waits (a box may not show, or not be read).
    auto noSound = [this](const std::string& why) {
        const char* driver = SDL_getenv("SDL_AUDIODRIVER");
        std::string text = "no sound output could be opened (" + why +
                           "). Check that the sound server (PipeWire or PulseAudio) is running, that "
                           "an output device is connected, switched on and not muted, and ";
#ifdef _WIN32
        (void)driver;
        text = "no sound output could be opened (" + why +
               "). Check in the Windows sound settings that an output device is connected, switched on, "
               "not muted and chosen as the default.";
#else
        text += driver ? "that SDL_AUDIODRIVER (now \"" + std::string(driver) +
                             "\") names a driver that works here, or unset it."
                       : "set SDL_AUDIODRIVER to try another sound system (pipewire, pulseaudio or alsa).";
#endif
        std::fprintf(stderr, "zorvan: %s\n", text.c_str());
        showBox("Zorvan! no sound", text, MessageIcon::Critical, false);
        throw ToldFailure(text);
    };
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) noSound(std::string("SDL says: ") + SDL_GetError());

    SDL_AudioSpec want{}, have{};
    want.freq = 48000;
    want.format = AUDIO_F32SYS;
    want.channels = 2;
    // 256 frames unless the player asks for more: a key press is heard within about 5 ms.
    want.samples = static_cast<Uint16>(audioBufferFrames(*settings_, std::cerr));
    want.userdata = this;
    want.callback = [](void* self, Uint8* stream, int len) noexcept {
        auto* platform = static_cast<SdlPlatform*>(self);
        const auto began = platform->options_.observer ? std::chrono::steady_clock::now()
                                               : std::chrono::steady_clock::time_point{};
        auto* out = reinterpret_cast<float*>(stream);
        const std::size_t frames = static_cast<std::size_t>(len) / (2 * sizeof(float));
        platform->deviceMixer_->render(out, frames);
        if (platform->options_.observer) platform->options_.observer(platform->options_.observerContext, began, out, frames);
    };
    device_ = SDL_OpenAudioDevice(nullptr, 0, &want, &have, SDL_AUDIO_ALLOW_FREQUENCY_CHANGE);
    if (device_ == 0) {
        const char* driver = SDL_GetCurrentAudioDriver();
        noSound(std::string("SDL says: ") + SDL_GetError() + "; audio driver " + (driver ? driver : "none"));
    }
    deviceRate_ = have.freq;
    deviceMixer_ = std::make_unique<Mixer>(deviceRate_);
    SDL_PauseAudioDevice(device_, 0);
}

SdlPlatform::~SdlPlatform() {
    for (auto& [id, pad] : pads_) SDL_GameControllerClose(pad.controller);
    if (device_) SDL_CloseAudioDevice(device_);
    for (TTF_Font* font : {labelFont_, captionFont_, statusFont_})
        if (font) TTF_CloseFont(font);
    if (TTF_WasInit()) TTF_Quit();
    if (window_) SDL_DestroyWindow(window_);
    SDL_Quit();
}

namespace {

const char* laneName(std::int16_t lane) {
    return lane < 0 ? "left" : lane > 0 ? "right" : "centre";
}

SDL_Surface* renderText(TTF_Font* font, const std::string& text, int width) {
    if (!font || text.empty()) return nullptr;
    return TTF_RenderUTF8_Blended_Wrapped(font, text.c_str(), SDL_Color{0, 0, 0, 255},
                                          static_cast<Uint32>(std::max(width, 1)));
}

// Blits `text` (freed here), centred, with its top at `y`; returns the y below it.
int blitText(SDL_Surface* target, SDL_Surface* text, int y) {
    if (!text) return y;
    SDL_Rect where{(target->w - text->w) / 2, y, text->w, text->h};
    SDL_BlitSurface(text, nullptr, target, &where);
    y += text->h;
    SDL_FreeSurface(text);
    return y;
}

}  // namespace

// Black on white, the largest contrast there is: the label, the words being said, and during
// a race what a sighted helper asks first. Nothing of it is heard.
void SdlPlatform::drawLabel() {
    SDL_Surface* surface = SDL_GetWindowSurface(window_);
    if (!surface) return;
    // Text grows with the window (a partially sighted player enlarges it), never below its
    // smallest size.
    const int scale = std::max(100, std::min(surface->w * 100 / kWindowWidth, surface->h * 100 / kWindowHeight));
    if (scale != fontScale_) {
        if (labelFont_) TTF_SetFontSize(labelFont_, kLabelPx * scale / 100);
        if (captionFont_) TTF_SetFontSize(captionFont_, kCaptionPx * scale / 100);
        if (statusFont_) TTF_SetFontSize(statusFont_, kStatusPx * scale / 100);
        fontScale_ = scale;
    }
    SDL_FillRect(surface, nullptr, SDL_MapRGB(surface->format, 255, 255, 255));
    const int margin = 16 * scale / 100;
    const int width = surface->w - 2 * margin;
    int y = blitText(surface, renderText(labelFont_, "Kestrine", width), margin);
    y = blitText(surface, renderText(captionFont_, captions_.text(), width), y + margin);
    if (raceStatus_) {
        const RaceStatus& r = *raceStatus_;
        // No-break spaces keep each name with its value when the line wraps.
        const std::string nbsp = "\u00a0";
        const std::string line = "Level" + nbsp + std::to_string(r.level) + "   Lifes" + nbsp +
                                 std::to_string(r.lifes) + "   Points" + nbsp + std::to_string(r.points) +
                                 "   Lane:" + nbsp + laneName(r.lane);
        // At the bottom, unless the words above need the room.
        if (SDL_Surface* text = renderText(statusFont_, line, width))
            blitText(surface, text, std::max(y + margin, surface->h - margin - text->h));
    }
    SDL_UpdateWindowSurface(window_);
}

void SdlPlatform::soundStarted(std::string_view path, std::uint32_t voice) {
    if (captions_.started(path, voice, nowMs())) drawLabel();
}

void SdlPlatform::soundStopped(std::uint32_t voice) {
    // Called before the voice stops: one that already ended by itself is not cut short.
    if (mixer_ && mixer_->isPlaying(voice)) captions_.interrupted(voice);
}

void SdlPlatform::showRaceStatus(const std::optional<RaceStatus>& status) {
    if (status == raceStatus_) return;
    raceStatus_ = status;
    drawLabel();
}

void SdlPlatform::noticeCaptionEnd() {
    if (auto voice = captions_.speaking(); voice && !mixer_->isPlaying(*voice))
        captions_.ended(*voice, nowMs());
}

bool SdlPlatform::handlePad(const SDL_Event& event) {
    switch (event.type) {
        case SDL_CONTROLLERDEVICEADDED: {
            SDL_GameController* controller = SDL_GameControllerOpen(event.cdevice.which);
            if (!controller) {
                std::fprintf(stderr, "zorvan: cannot use the gamepad just plugged in: %s\n", SDL_GetError());
                return true;
            }
            const SDL_JoystickID id = SDL_JoystickInstanceID(SDL_GameControllerGetJoystick(controller));
            // Added twice (at start-up and by its event): keep the one already open.
            if (!pads_.emplace(id, Pad{controller, {}, {}}).second) SDL_GameControllerClose(controller);
            return true;
        }
        case SDL_CONTROLLERDEVICEREMOVED:
            if (auto it = pads_.find(event.cdevice.which); it != pads_.end()) {
                SDL_GameControllerClose(it->second.controller);
                pads_.erase(it);
            }
            return true;
        case SDL_CONTROLLERBUTTONDOWN: {
            if (replay_) return true;  // the replay has the game's keys
            switch (event.cbutton.button) {
                case SDL_CONTROLLER_BUTTON_DPAD_UP: padPressed(PadButton::Up); break;
                case SDL_CONTROLLER_BUTTON_DPAD_DOWN: padPressed(PadButton::Down); break;
                case SDL_CONTROLLER_BUTTON_DPAD_LEFT: padPressed(PadButton::Left); break;
                case SDL_CONTROLLER_BUTTON_DPAD_RIGHT: padPressed(PadButton::Right); break;
                case SDL_CONTROLLER_BUTTON_A: padPressed(PadButton::A); break;
                case SDL_CONTROLLER_BUTTON_B: padPressed(PadButton::B); break;
                case SDL_CONTROLLER_BUTTON_X: padPressed(PadButton::X); break;
                case SDL_CONTROLLER_BUTTON_Y: padPressed(PadButton::Y); break;
                case SDL_CONTROLLER_BUTTON_LEFTSHOULDER: padPressed(PadButton::LeftShoulder); break;
                case SDL_CONTROLLER_BUTTON_RIGHTSHOULDER: padPressed(PadButton::RightShoulder); break;
                case SDL_CONTROLLER_BUTTON_START: padPressed(PadButton::Start); break;
                case SDL_CONTROLLER_BUTTON_BACK: padPressed(PadButton::Back); break;
                default: break;
            }
            return true;
        }
        case SDL_CONTROLLERAXISMOTION: {
            auto it = pads_.find(event.caxis.which);
            if (it == pads_.end()) return true;
            if (event.caxis.axis == SDL_CONTROLLER_AXIS_LEFTX) {
                const int pushed = it->second.x.update(event.caxis.value);
                if (pushed && !replay_) padPressed(pushed < 0 ? PadButton::Left : PadButton::Right);
            } else if (event.caxis.axis == SDL_CONTROLLER_AXIS_LEFTY) {
                // SDL's y grows downwards.
                const int pushed = it->second.y.update(event.caxis.value);
                if (pushed && !replay_) padPressed(pushed < 0 ? PadButton::Up : PadButton::Down);
            }
            return true;
        }
        default: return false;
    }
}

void SdlPlatform::padPressed(PadButton button) {
    if (!padKeys_) return;
    if (const int code = padKey(padKeys_(), button)) timeline_.arrive(ReplayInput::Kind::Key, realMs(), code);
}

void SdlPlatform::handle(const SDL_Event& event) {
    if (handlePad(event)) return;
    const bool closing = event.type == SDL_QUIT ||
                         (event.type == SDL_WINDOWEVENT && event.window.event == SDL_WINDOWEVENT_CLOSE);
    if (event.type == SDL_WINDOWEVENT && (event.window.event == SDL_WINDOWEVENT_EXPOSED ||
                                          event.window.event == SDL_WINDOWEVENT_SIZE_CHANGED))
        drawLabel();
    if (replay_) {
        // The replay has the game's keys; the player's only end it.
        if (closing || (event.type == SDL_KEYDOWN && event.key.keysym.sym == SDLK_ESCAPE)) quit_ = true;
        return;
    }
    if (closing) {
        // Closing the window brings both events: one close.
        if (!timeline_.pending(ReplayInput::Kind::Close)) timeline_.arrive(ReplayInput::Kind::Close, realMs());
    } else if (event.type == SDL_KEYDOWN) {
        if (int code = virtualKey(event.key.keysym)) timeline_.arrive(ReplayInput::Kind::Key, realMs(), code);
    }
}

void SdlPlatform::collect() {
    SDL_Event event;
    while (SDL_PollEvent(&event)) handle(event);
    if (replay_) return;
    // One arrival stands for every reply in by the time it is admitted.
    if (!timeline_.pending(ReplayInput::Kind::HttpReply) && timeline_.heldReplies()->arrived())
        timeline_.arrive(ReplayInput::Kind::HttpReply, realMs());
}

void SdlPlatform::sleepUntil(std::int64_t realTarget) {
    std::int64_t wait = realTarget - realMs();
    if (wait <= 0) return;
    // A request ends on a thread of its own, which does not wake this one: look now and then.
    const bool inFlight = !replay_ && timeline_.heldReplies()->waiting();
    wait = std::min<std::int64_t>(wait, inFlight ? 5 : 1000);
    SDL_Event event;
    if (SDL_WaitEventTimeout(&event, static_cast<int>(wait))) handle(event);
}

void SdlPlatform::moveTo(std::int64_t ms) {
    if (ms <= nowMs()) return;
    ended_.clear();
    mixer_->advance(static_cast<std::size_t>(ms - nowMs()) * kFramesPerMs, &ended_);
    timeline_.moveTo(ms);
    // The device plays slightly ahead and has usually ended these already; if not, it follows
    // the clock, so that playing the sound again starts it over there too.
    for (Mixer::VoiceId voice : ended_) {
        deviceMixer_->stop(voice);
        deviceMixer_->rewind(voice);
    }
    if (voiceEnded_)
        for (Mixer::VoiceId voice : ended_) voiceEnded_(voice);
}

// The clock moves only here: to the time something from outside is admitted (when it came, but
// always after the present and never beyond the target), else to the target once the real
// clock has reached it; a late wake-up takes the real time and is recorded.
void SdlPlatform::idleUntil(std::int64_t deadlineMs) {
    noticeCaptionEnd();
    if (closeRequested()) return;
    std::int64_t target = deadlineMs;
    if (auto frames = mixer_->framesUntilNextEnd()) {
        const auto ms = static_cast<std::int64_t>((*frames + kFramesPerMs - 1) / kFramesPerMs);
        target = std::min(target, nowMs() + std::max<std::int64_t>(ms, 1));
    }
    if (replay_) idleReplaying(target);
    else if (target > nowMs()) idleLive(target);
}

void SdlPlatform::idleLive(std::int64_t target) {
    for (;;) {
        collect();
        const std::int64_t real = realMs();
        if (const std::int64_t at = timeline_.nextArrivalAt(); at <= target) {
            if (real >= at) {
                moveTo(at);
                timeline_.admitArrivals();
                return;
            }
            sleepUntil(at);
            continue;
        }
        if (real >= target) {
            moveTo(timeline_.wokeAt(target, real));
            return;
        }
        sleepUntil(target);
    }
}

void SdlPlatform::idleReplaying(std::int64_t target) {
    const RunTimeline::ReplayStep step = timeline_.replayStep(target);
    if (!step.wake && step.at <= nowMs()) return;
    // At the pace the run had, however long the game took meanwhile.
    for (;;) {
        collect();
        if (quit_) return;
        if (realMs() >= step.at) break;
        sleepUntil(step.at);
    }
    moveTo(step.at);
    timeline_.replayArrived(step);
}

std::optional<int> SdlPlatform::takeKey() {
    noticeCaptionEnd();
    collect();
    return timeline_.takeKey();
}

void SdlPlatform::messageBox(std::string_view title, std::string_view text, MessageIcon icon) {
    log("msgbox \"" + std::string(title) + "\" \"" + std::string(text) + "\"");
    std::fprintf(stderr, "zorvan: %.*s: %.*s\n", static_cast<int>(title.size()), title.data(),
                 static_cast<int>(text.size()), text.data());
    showBox(title, text, icon, false);
}

bool SdlPlatform::showBox(std::string_view title, std::string_view text, MessageIcon icon, bool question) {
#ifdef _WIN32
    // Windows' own box: screen readers read it as it is, so no helper program is needed.
    UINT flags = (question ? MB_YESNO : MB_OK) | MB_SETFOREGROUND | MB_TOPMOST;
    flags |= icon == MessageIcon::Critical      ? MB_ICONERROR
             : icon == MessageIcon::Warning     ? MB_ICONWARNING
             : icon == MessageIcon::Information ? MB_ICONINFORMATION
                                                : 0;
    const int answer = MessageBoxW(nullptr, widen(text).c_str(), widen(title).c_str(), flags);
    if (window_) SDL_RaiseWindow(window_);
    return question ? answer == IDYES : true;
#else
    const char* iconName = icon == MessageIcon::Critical      ? "critical"
                           : icon == MessageIcon::Warning     ? "warning"
                           : icon == MessageIcon::Information ? "information"
                                                              : "none";
    std::vector<std::string> args{"--icon", iconName};
    if (question) args.push_back("--question");
    args.emplace_back(title);
    args.emplace_back(text);
    const auto answer = runProgram(kMessageHelper, args);
    if (answer && (*answer == 0 || (question && *answer == 1))) return *answer == 0;

    // The helper could not run (no Qt, no display it can use): SDL's box, which a screen
    // reader may not read, is better than none.
    const std::string titleText(title), bodyText(text);
    Uint32 flags = icon == MessageIcon::Critical  ? SDL_MESSAGEBOX_ERROR
                   : icon == MessageIcon::Warning ? SDL_MESSAGEBOX_WARNING
                                                  : SDL_MESSAGEBOX_INFORMATION;
    if (!question) {
        if (SDL_ShowSimpleMessageBox(flags, titleText.c_str(), bodyText.c_str(), window_) != 0)
            std::fprintf(stderr, "zorvan: cannot show a message box: %s\n", SDL_GetError());
        return true;
    }
    const SDL_MessageBoxButtonData buttons[] = {
        {SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT, 1, "Yes"},
        {SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT, 0, "No"},
    };
    const SDL_MessageBoxData data{flags, window_, titleText.c_str(), bodyText.c_str(), 2, buttons, nullptr};
    int pressed = 0;
    return SDL_ShowMessageBox(&data, &pressed) == 0 && pressed == 1;
#endif
}

std::optional<int> SdlPlatform::runProgram(const std::string& name, const std::vector<std::string>& args) {
    auto status = runAndWait(programPath(name), args, [this] { pumpWhileWaiting(); });
    if (window_) SDL_RaiseWindow(window_);
    return status;
}

void SdlPlatform::pumpWhileWaiting() {
    SDL_Event event;
    while (SDL_PollEvent(&event)) {
        if (event.type == SDL_KEYDOWN || event.type == SDL_CONTROLLERBUTTONDOWN) continue;
        handle(event);
    }
    if (mixer_) noticeCaptionEnd();
}

std::string SdlPlatform::speechAnswer(std::string_view live) { return timeline_.speechAnswer(std::string(live)); }

LocalDateTime SdlPlatform::localDateTime() {
    return timeline_.localDateTime([] {
        std::setlocale(LC_TIME, "");
        std::time_t now = std::time(nullptr);
        std::tm local{};
#ifdef _WIN32
        localtime_s(&local, &now);
#else
        localtime_r(&now, &local);
#endif
        char date[64], time[64];
        std::strftime(date, sizeof date, "%x", &local);
        std::strftime(time, sizeof time, "%X", &local);
        return LocalDateTime{date, time, local.tm_hour * 3600 + local.tm_min * 60 + local.tm_sec};
    });
}

}  // namespace

std::unique_ptr<Platform> makeSdlPlatform(const SdlOptions& options) { return std::make_unique<SdlPlatform>(options); }

std::unique_ptr<Platform> makeSdlPlatform() { return makeSdlPlatform(SdlOptions{}); }

std::unique_ptr<Platform> makeSdlPlatform(AudioBlockObserver observer, void* context) {
    SdlOptions options;
    options.record = false;
    options.observer = observer;
    options.observerContext = context;
    return makeSdlPlatform(options);
}

void beginNewRun(Platform& platform) { dynamic_cast<SdlPlatform&>(platform).beginRun(); }

void endRun(Platform& platform, int status) { dynamic_cast<SdlPlatform&>(platform).endRun(status); }

void showFatalError(Platform& platform, std::string_view text) {
    constexpr std::string_view title = "Zorvan! fatal error!";
    std::fprintf(stderr, "zorvan: %.*s: %.*s\n", static_cast<int>(title.size()), title.data(),
                 static_cast<int>(text.size()), text.data());
    dynamic_cast<SdlPlatform&>(platform).showBox(title, text, MessageIcon::Critical, false);
}

bool askYesNo(Platform& platform, std::string_view title, std::string_view text) {
    return dynamic_cast<SdlPlatform&>(platform).showBox(title, text, MessageIcon::Information, true);
}

std::optional<int> runGameProgram(Platform& platform, const std::string& name) {
    return dynamic_cast<SdlPlatform&>(platform).runProgram(name, {});
}

bool gameHasProgram(const std::string& name) {
#ifdef _WIN32
    std::error_code ec;
    return std::filesystem::is_regular_file(programPath(name), ec);
#else
    return ::access(programPath(name).c_str(), X_OK) == 0;
#endif
}

}  // namespace zorvan
