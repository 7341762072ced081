#include "platform/sdl/sdl_platform.h"

#include <SDL.h>
#include <SDL_ttf.h>

#include <chrono>
#include <clocale>
#include <cstdio>
#include <ctime>
#include <deque>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <random>
#include <sstream>
#include <stdexcept>

#include <unistd.h>

#include "platform/captions.h"
#include "platform/data_folder.h"
#include "platform/audio_buffer.h"
#include "platform/folder_files.h"
#include "platform/ini_settings.h"
#include "platform/keys.h"
#include "platform/sdl/child_program.h"
#include "platform/sdl/http_curl.h"
#include "sound/mixer.h"

namespace zorvan {

namespace {

constexpr const char* kFontPath = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
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

class SdlPlatform final : public Platform {
public:
    SdlPlatform(AudioBlockObserver observer, void* observerContext);
    ~SdlPlatform() override;

    std::int64_t nowMs() override { return static_cast<std::int64_t>(SDL_GetTicks64()); }
    void idleUntil(std::int64_t deadlineMs) override;
    bool sleepsThroughIdleTimers() const override { return true; }
    std::optional<int> takeKey() override;
    bool closeRequested() override { return closeRequested_; }
    Mixer& mixer() override { return *mixer_; }
    void setVoiceEndListener(std::function<void(std::uint32_t)>) override {}
    void messageBox(std::string_view title, std::string_view text, MessageIcon icon) override;
    void soundStarted(std::string_view path, std::uint32_t voice) override;
    void soundStopped(std::uint32_t voice) override;
    void showRaceStatus(const std::optional<RaceStatus>& status) override;
    SettingsStore& settings() override { return settings_; }
    Files& files() override { return files_; }
    Http& http() override { return http_; }
    double random() override { return std::uniform_real_distribution<double>(0.0, 1.0)(rng_); }
    LocalDateTime localDateTime() override;

    // The accessible box (zorvan-message), SDL's own when it cannot run. With `question`,
    // Yes and No; true for Yes (and for OK).
    bool showBox(std::string_view title, std::string_view text, MessageIcon icon, bool question);
    // Runs a program of the game folder; the window is redrawn and the sound plays meanwhile.
    std::optional<int> runProgram(const std::string& name, const std::vector<std::string>& args);

private:
    void handle(const SDL_Event& event);
    void drawLabel();
    void openSound();
    void noticeCaptionEnd();
    // Window events while another program has the keyboard; keys meant for it are dropped.
    void pumpWhileWaiting();

    SDL_Window* window_ = nullptr;
    TTF_Font* labelFont_ = nullptr;
    TTF_Font* captionFont_ = nullptr;
    TTF_Font* statusFont_ = nullptr;
    int fontScale_ = 0;  // percent of the smallest sizes the fonts now have
    Captions captions_;
    std::optional<RaceStatus> raceStatus_;
    SDL_AudioDeviceID device_ = 0;
    std::unique_ptr<Mixer> mixer_;
    AudioBlockObserver observer_;
    void* observerContext_;
    std::deque<int> keys_;
    bool closeRequested_ = false;
    IniSettingsStore settings_{IniSettingsStore::defaultFolder()};
    FolderFiles files_;
    CurlHttp http_;
    std::mt19937_64 rng_;
};

std::filesystem::path programFolder() {
    char* base = SDL_GetBasePath();
    std::filesystem::path folder = base ? base : ".";
    SDL_free(base);
    return folder;
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

SdlPlatform::SdlPlatform(AudioBlockObserver observer, void* observerContext)
    : observer_(observer),
      observerContext_(observerContext),
      files_(programFolder(), preparedDataFolder(programFolder())),
      rng_(static_cast<std::uint64_t>(std::chrono::system_clock::now().time_since_epoch().count()) ^
           std::random_device{}()) {
    // The window is drawn in software on its own surface: no GL stack is loaded for it.
    SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
    if (SDL_Init(SDL_INIT_VIDEO | SDL_INIT_EVENTS) != 0)
        throw std::runtime_error(std::string("cannot start SDL: ") + SDL_GetError());
    window_ = SDL_CreateWindow("Zorvan!", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, kWindowWidth,
                               kWindowHeight, SDL_WINDOW_SHOWN | SDL_WINDOW_RESIZABLE);
    if (!window_) throw std::runtime_error(std::string("cannot open the window: ") + SDL_GetError());
    if (TTF_Init() == 0) {
        labelFont_ = TTF_OpenFont(kFontPath, kLabelPx);
        captionFont_ = TTF_OpenFont(kFontPath, kCaptionPx);
        statusFont_ = TTF_OpenFont(kFontPath, kStatusPx);
        for (TTF_Font* font : {labelFont_, captionFont_, statusFont_})
            if (font) TTF_SetFontWrappedAlign(font, TTF_WRAPPED_ALIGN_CENTER);
    }
    captions_ = Captions(loadCaptionTable());
    drawLabel();
    openSound();
}

void SdlPlatform::openSound() {
    // Said in plain words, in a box and on stderr: without sound the game cannot be played.
    auto noSound = [this](const std::string& why) {
        const char* driver = SDL_getenv("SDL_AUDIODRIVER");
        std::string text = "no sound output could be opened (" + why +
                           "). Check that the sound server (PipeWire or PulseAudio) is running, that "
                           "an output device is connected, switched on and not muted, and ";
        text += driver ? "that SDL_AUDIODRIVER (now \"" + std::string(driver) +
                             "\") names a driver that works here, or unset it."
                       : "set SDL_AUDIODRIVER to try another sound system (pipewire, pulseaudio or alsa).";
        showBox("Zorvan! no sound", text, MessageIcon::Critical, false);
        throw std::runtime_error(text);
    };
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) noSound(std::string("SDL says: ") + SDL_GetError());

    SDL_AudioSpec want{}, have{};
    want.freq = 48000;
    want.format = AUDIO_F32SYS;
    want.channels = 2;
    // 256 frames unless the player asks for more: a key press is heard within about 5 ms.
    want.samples = static_cast<Uint16>(audioBufferFrames(settings_, std::cerr));
    want.userdata = this;
    want.callback = [](void* self, Uint8* stream, int len) noexcept {
        auto* platform = static_cast<SdlPlatform*>(self);
        const auto began = platform->observer_ ? std::chrono::steady_clock::now()
                                               : std::chrono::steady_clock::time_point{};
        auto* out = reinterpret_cast<float*>(stream);
        const std::size_t frames = static_cast<std::size_t>(len) / (2 * sizeof(float));
        platform->mixer_->render(out, frames);
        if (platform->observer_) platform->observer_(platform->observerContext_, began, out, frames);
    };
    device_ = SDL_OpenAudioDevice(nullptr, 0, &want, &have, SDL_AUDIO_ALLOW_FREQUENCY_CHANGE);
    if (device_ == 0) {
        const char* driver = SDL_GetCurrentAudioDriver();
        noSound(std::string("SDL says: ") + SDL_GetError() + "; audio driver " + (driver ? driver : "none"));
    }
    mixer_ = std::make_unique<Mixer>(have.freq);
    SDL_PauseAudioDevice(device_, 0);
}

SdlPlatform::~SdlPlatform() {
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

void SdlPlatform::handle(const SDL_Event& event) {
    switch (event.type) {
        case SDL_QUIT: closeRequested_ = true; break;
        case SDL_KEYDOWN:
            if (int code = virtualKey(event.key.keysym)) keys_.push_back(code);
            break;
        case SDL_WINDOWEVENT:
            if (event.window.event == SDL_WINDOWEVENT_EXPOSED ||
                event.window.event == SDL_WINDOWEVENT_SIZE_CHANGED)
                drawLabel();
            if (event.window.event == SDL_WINDOWEVENT_CLOSE) closeRequested_ = true;
            break;
        default: break;
    }
}

void SdlPlatform::idleUntil(std::int64_t deadlineMs) {
    noticeCaptionEnd();
    std::int64_t wait = deadlineMs - nowMs();
    if (auto frames = mixer_->framesUntilNextEnd()) {
        // The audio thread ends the sound; look again shortly after it should have.
        const std::int64_t ms = static_cast<std::int64_t>(*frames * 1000 / mixer_->deviceRate()) + 1;
        wait = std::min(wait, ms);
    }
    if (wait <= 0) return;
    wait = std::min<std::int64_t>(wait, 1000);
    SDL_Event event;
    if (SDL_WaitEventTimeout(&event, static_cast<int>(wait))) handle(event);
}

std::optional<int> SdlPlatform::takeKey() {
    noticeCaptionEnd();
    SDL_Event event;
    while (SDL_PollEvent(&event)) handle(event);
    if (keys_.empty()) return std::nullopt;
    int key = keys_.front();
    keys_.pop_front();
    return key;
}

void SdlPlatform::messageBox(std::string_view title, std::string_view text, MessageIcon icon) {
    std::fprintf(stderr, "zorvan: %.*s: %.*s\n", static_cast<int>(title.size()), title.data(),
                 static_cast<int>(text.size()), text.data());
    showBox(title, text, icon, false);
}

bool SdlPlatform::showBox(std::string_view title, std::string_view text, MessageIcon icon, bool question) {
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
}

std::optional<int> SdlPlatform::runProgram(const std::string& name, const std::vector<std::string>& args) {
    auto status = runAndWait(programFolder() / name, args, [this] { pumpWhileWaiting(); });
    if (window_) SDL_RaiseWindow(window_);
    return status;
}

void SdlPlatform::pumpWhileWaiting() {
    SDL_Event event;
    while (SDL_PollEvent(&event)) {
        if (event.type == SDL_KEYDOWN) continue;
        handle(event);
    }
    if (mixer_) noticeCaptionEnd();
}

LocalDateTime SdlPlatform::localDateTime() {
    std::setlocale(LC_TIME, "");
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char date[64], time[64];
    std::strftime(date, sizeof date, "%x", &local);
    std::strftime(time, sizeof time, "%X", &local);
    return {date, time, local.tm_hour * 3600 + local.tm_min * 60 + local.tm_sec};
}

}  // namespace

std::unique_ptr<Platform> makeSdlPlatform() { return std::make_unique<SdlPlatform>(nullptr, nullptr); }

std::unique_ptr<Platform> makeSdlPlatform(AudioBlockObserver observer, void* context) {
    return std::make_unique<SdlPlatform>(observer, context);
}

bool askYesNo(Platform& platform, std::string_view title, std::string_view text) {
    return dynamic_cast<SdlPlatform&>(platform).showBox(title, text, MessageIcon::Information, true);
}

std::optional<int> runGameProgram(Platform& platform, const std::string& name) {
    return dynamic_cast<SdlPlatform&>(platform).runProgram(name, {});
}

bool gameHasProgram(const std::string& name) {
    return ::access((programFolder() / name).c_str(), X_OK) == 0;
}

}  // namespace zorvan
