// Key to sound on the real platform: SDL key events go through the game's own event loop
// (EventLoop on the SDL platform, waiting in SDL_WaitEventTimeout), the key handler starts a
// click on the mixer, and the audio device's callback reports the first block that carries it.
//   bench_latency [--presses N] [--hold-ms MS]
// The device is the game's: SDL_AUDIODRIVER chooses the driver (dummy, disk, pulseaudio) and
// the settings store's audiobuffer its buffer. Prints one line of figures (times in ms):
//   driver=dummy rate=48000 buffer=256 presses=40 key_to_mix_median=... key_to_mix_p90=...
//   key_to_mix_max=...
//   key_to_mix_min=... event_to_handled_median=... event_to_handled_max=...
// key_to_mix: from the key handler's start to the start of the callback that mixes the first
// sample of the click. event_to_handled: from the key event being queued to the handler.
#include <SDL.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "platform/event_loop.h"
#include "platform/sdl/sdl_platform.h"
#include "sound/mixer.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Probe {
    std::atomic<bool> armed{false};
    std::atomic<Clock::rep> handledAt{0};
    std::atomic<Clock::rep> mixedAt{0};
    std::atomic<int> offsetFrames{0};
    std::atomic<int> blockFrames{0};
};

void onBlock(void* context, Clock::time_point began, const float* stereo, std::size_t frames) {
    auto* probe = static_cast<Probe*>(context);
    probe->blockFrames.store(static_cast<int>(frames), std::memory_order_relaxed);
    if (!probe->armed.load(std::memory_order_acquire)) return;
    for (std::size_t i = 0; i < frames; ++i) {
        if (stereo[2 * i] != 0.0f || stereo[2 * i + 1] != 0.0f) {
            probe->offsetFrames.store(static_cast<int>(i));
            probe->mixedAt.store(began.time_since_epoch().count());
            probe->armed.store(false, std::memory_order_release);
            return;
        }
    }
}

double ms(Clock::rep ticks) {
    return std::chrono::duration<double, std::milli>(Clock::duration(ticks)).count();
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

double percentile90(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, v.size() * 9 / 10)];
}

}  // namespace

int main(int argc, char** argv) {
    int presses = 40;
    int holdMs = 0;
    for (int i = 1; i + 1 < argc; i += 2) {
        std::string arg = argv[i];
        if (arg == "--presses") presses = std::max(1, std::atoi(argv[i + 1]));
        else if (arg == "--hold-ms") holdMs = std::max(0, std::atoi(argv[i + 1]));
        else {
            std::fprintf(stderr, "usage: bench_latency [--presses N] [--hold-ms MS]\n");
            return 2;
        }
    }

    Probe probe;
    std::unique_ptr<zorvan::Platform> platform;
    try {
        platform = zorvan::makeSdlPlatform(&onBlock, &probe);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_latency: %s\n", e.what());
        return 1;
    }
    zorvan::Mixer& mixer = platform->mixer();
    // A 20 ms click at the device's rate: loud from its first sample on.
    auto clip = std::make_shared<zorvan::PcmClip>();
    clip->rate = mixer.deviceRate();
    clip->channels = 1;
    clip->samples.assign(static_cast<std::size_t>(clip->rate / 50), 0.25f);
    const auto voice = mixer.create(clip);

    zorvan::EventLoop loop(*platform);
    std::vector<double> keyToMix, eventToHandled;
    std::atomic<Clock::rep> pushedAt{0};
    int handled = 0;
    auto collect = [&] {  // the press before, once its click was mixed
        if (probe.armed.load(std::memory_order_acquire) || probe.mixedAt.load() == 0) return;
        keyToMix.push_back(ms(probe.mixedAt.load() - probe.handledAt.load()));
        probe.mixedAt.store(0);
    };
    loop.setKeyHandler([&](int) {
        const auto now = Clock::now().time_since_epoch().count();
        eventToHandled.push_back(ms(now - pushedAt.load()));
        collect();
        probe.handledAt.store(now);
        probe.mixedAt.store(0);
        probe.armed.store(true, std::memory_order_release);
        mixer.rewind(voice);
        mixer.play(voice, false);
        ++handled;
    });

    // Presses at random moments, so that they fall anywhere in the device's period.
    std::atomic<bool> stop{false};
    std::thread keyboard([&] {
        std::mt19937 rng(12345);
        std::uniform_int_distribution<int> gapUs(60000, 110000);
        std::this_thread::sleep_for(std::chrono::milliseconds(1000));  // the device runs steadily
        for (int i = 0; i < presses && !stop; ++i) {
            SDL_Event event{};
            event.type = SDL_KEYDOWN;
            event.key.state = SDL_PRESSED;
            event.key.keysym.sym = SDLK_SPACE;
            event.key.keysym.scancode = SDL_SCANCODE_SPACE;
            pushedAt.store(Clock::now().time_since_epoch().count());
            SDL_PushEvent(&event);
            std::this_thread::sleep_for(std::chrono::microseconds(gapUs(rng)));
        }
    });

    const auto deadline = Clock::now() + std::chrono::milliseconds(2000 + presses * 150);
    try {
        while (handled < presses && Clock::now() < deadline) loop.pump();
    } catch (const zorvan::ProgramEnd&) {
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    collect();
    // Keeps the stream open for the sound server's report.
    std::this_thread::sleep_for(std::chrono::milliseconds(holdMs));
    stop = true;
    keyboard.join();
    if (keyToMix.empty()) {
        std::fprintf(stderr, "bench_latency: no press reached the mix\n");
        return 1;
    }
    std::printf("driver=%s rate=%d buffer=%d presses=%zu key_to_mix_median=%.2f key_to_mix_p90=%.2f "
                "key_to_mix_max=%.2f key_to_mix_min=%.2f event_to_handled_median=%.3f event_to_handled_max=%.3f\n",
                SDL_GetCurrentAudioDriver(), mixer.deviceRate(), probe.blockFrames.load(), keyToMix.size(),
                median(keyToMix), percentile90(keyToMix), *std::max_element(keyToMix.begin(), keyToMix.end()),
                *std::min_element(keyToMix.begin(), keyToMix.end()), median(eventToHandled),
                *std::max_element(eventToHandled.begin(), eventToHandled.end()));
    return 0;
}
