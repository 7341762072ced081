#include "platform/sdl/sdl_platform.h"

#include <SDL.h>
#include <SDL_ttf.h>

#include <chrono>
#include <clocale>
#include <ctime>
#include <deque>
#include <filesystem>
#include <iostream>
#include <random>
#include <stdexcept>

#include "platform/audio_buffer.h"
#include "platform/folder_files.h"
#include "platform/ini_settings.h"
#include "platform/keys.h"
#include "platform/sdl/http_curl.h"
#include "sound/mixer.h"

namespace zorvan {

namespace {

constexpr const char* kFontPath = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";

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
    SettingsStore& settings() override { return settings_; }
    Files& files() override { return files_; }
    Http& http() override { return http_; }
    double random() override { return std::uniform_real_distribution<double>(0.0, 1.0)(rng_); }
    LocalDateTime localDateTime() override;

private:
    void handle(const SDL_Event& event);
    void drawLabel();

    SDL_Window* window_ = nullptr;
    SDL_Renderer* renderer_ = nullptr;
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

SdlPlatform::SdlPlatform(AudioBlockObserver observer, void* observerContext)
    : observer_(observer),
      observerContext_(observerContext),
      files_(programFolder()),
      rng_(static_cast<std::uint64_t>(std::chrono::system_clock::now().time_since_epoch().count()) ^
           std::random_device{}()) {
    if (SDL_Init(SDL_INIT_VIDEO | SDL_INIT_AUDIO | SDL_INIT_EVENTS) != 0)
        throw std::runtime_error(std::string("cannot start SDL: ") + SDL_GetError());
    window_ = SDL_CreateWindow("Zorvan!", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, 480, 200,
                               SDL_WINDOW_SHOWN);
    if (!window_) throw std::runtime_error(std::string("cannot open the window: ") + SDL_GetError());
    renderer_ = SDL_CreateRenderer(window_, -1, SDL_RENDERER_SOFTWARE);
    drawLabel();

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
    if (device_ == 0)
        throw std::runtime_error(std::string("cannot open the sound device: ") + SDL_GetError());
    mixer_ = std::make_unique<Mixer>(have.freq);
    SDL_PauseAudioDevice(device_, 0);
}

SdlPlatform::~SdlPlatform() {
    if (device_) SDL_CloseAudioDevice(device_);
    if (renderer_) SDL_DestroyRenderer(renderer_);
    if (window_) SDL_DestroyWindow(window_);
    SDL_Quit();
}

void SdlPlatform::drawLabel() {
    if (!renderer_) return;
    SDL_SetRenderDrawColor(renderer_, 255, 255, 255, 255);
    SDL_RenderClear(renderer_);
    if (TTF_WasInit() || TTF_Init() == 0) {
        if (TTF_Font* font = TTF_OpenFont(kFontPath, 32)) {
            SDL_Surface* text = TTF_RenderUTF8_Blended(font, "Kestrine", SDL_Color{0, 0, 0, 255});
            if (text) {
                SDL_Texture* texture = SDL_CreateTextureFromSurface(renderer_, text);
                SDL_Rect where{(480 - text->w) / 2, (200 - text->h) / 2, text->w, text->h};
                SDL_RenderCopy(renderer_, texture, nullptr, &where);
                SDL_DestroyTexture(texture);
                SDL_FreeSurface(text);
            }
            TTF_CloseFont(font);
        }
    }
    SDL_RenderPresent(renderer_);
}

void SdlPlatform::handle(const SDL_Event& event) {
    switch (event.type) {
        case SDL_QUIT: closeRequested_ = true; break;
        case SDL_KEYDOWN:
            if (int code = virtualKey(event.key.keysym)) keys_.push_back(code);
            break;
        case SDL_WINDOWEVENT:
            if (event.window.event == SDL_WINDOWEVENT_EXPOSED) drawLabel();
            if (event.window.event == SDL_WINDOWEVENT_CLOSE) closeRequested_ = true;
            break;
        default: break;
    }
}

void SdlPlatform::idleUntil(std::int64_t deadlineMs) {
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
    SDL_Event event;
    while (SDL_PollEvent(&event)) handle(event);
    if (keys_.empty()) return std::nullopt;
    int key = keys_.front();
    keys_.pop_front();
    return key;
}

void SdlPlatform::messageBox(std::string_view title, std::string_view text, MessageIcon icon) {
    Uint32 flags = icon == MessageIcon::Critical  ? SDL_MESSAGEBOX_ERROR
                   : icon == MessageIcon::Warning ? SDL_MESSAGEBOX_WARNING
                                                  : SDL_MESSAGEBOX_INFORMATION;
    SDL_ShowSimpleMessageBox(flags, std::string(title).c_str(), std::string(text).c_str(), window_);
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

}  // namespace zorvan
