// The mixer against OpenAL Soft's loopback device on the same 64-voice scene, plus the cost of
// loading a menu bank's worth of WAV files and of advancing simulated time.
//
//   bench_mixer --benchmark_filter='Mix'     real-time factors (counter x_realtime)
//   bench_mixer --benchmark_filter='Bank'    decoding 75 files
//   bench_mixer --benchmark_filter='Advance' one simulated 1 ms step with 20 voices

#include <benchmark/benchmark.h>

#include <al.h>
#include <alc.h>
#include <alext.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <random>
#include <stdexcept>

#include "sound/mixer.h"

namespace {

using zorvan::Mixer;
using zorvan::PcmClip;

constexpr int kDeviceRate = 48000;
constexpr int kVoices = 64;
constexpr int kClips = 8;
constexpr std::size_t kBlock = 480;  // one 10 ms device buffer

// An engine-like tone: a few harmonics and some noise, 16-bit.
std::vector<std::int16_t> makePcm(int rate, double seconds, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> noise(-0.05, 0.05);
    const double base = 60.0 + 20.0 * (seed % 7);
    std::vector<std::int16_t> pcm(static_cast<std::size_t>(rate * seconds));
    for (std::size_t i = 0; i < pcm.size(); ++i) {
        const double t = static_cast<double>(i) / rate;
        double s = 0;
        for (int h = 1; h <= 5; ++h) s += std::sin(2 * std::numbers::pi * base * h * t) / (h + 1);
        pcm[i] = static_cast<std::int16_t>(std::lround(std::clamp(0.5 * s + noise(rng), -1.0, 1.0) * 32767));
    }
    return pcm;
}

void put16(std::vector<std::uint8_t>& v, std::uint16_t x) {
    v.push_back(static_cast<std::uint8_t>(x));
    v.push_back(static_cast<std::uint8_t>(x >> 8));
}
void put32(std::vector<std::uint8_t>& v, std::uint32_t x) {
    put16(v, static_cast<std::uint16_t>(x));
    put16(v, static_cast<std::uint16_t>(x >> 16));
}

std::vector<std::uint8_t> wavBytes(const std::vector<std::int16_t>& pcm, int rate) {
    std::vector<std::uint8_t> b{'R', 'I', 'F', 'F'};
    put32(b, static_cast<std::uint32_t>(36 + 2 * pcm.size()));
    b.insert(b.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    put32(b, 16);
    put16(b, 1);
    put16(b, 1);
    put32(b, static_cast<std::uint32_t>(rate));
    put32(b, static_cast<std::uint32_t>(rate * 2));
    put16(b, 2);
    put16(b, 16);
    b.insert(b.end(), {'d', 'a', 't', 'a'});
    put32(b, static_cast<std::uint32_t>(2 * pcm.size()));
    for (auto s : pcm) put16(b, static_cast<std::uint16_t>(s));
    return b;
}

std::shared_ptr<const PcmClip> decode(const std::vector<std::uint8_t>& bytes) {
    std::string error;
    auto clip = zorvan::decodeWav(bytes, &error);
    if (!clip) throw std::runtime_error("decodeWav: " + error);
    return clip;
}

struct VoiceSetup {
    int clip;
    std::int32_t frequency;  // Hz
    std::int32_t volume;     // hundredths of a dB
    std::int32_t pan;        // hundredths of a dB
    bool loop;
};

// The scene both mixers play: 64 voices over 8 mono 16-bit clips of 2 to 4 s, every voice
// resampled at its own rate, half of them looping and the others restarted when they end.
struct Scene {
    std::vector<std::vector<std::int16_t>> pcm;
    std::vector<int> rates;
    std::vector<VoiceSetup> voices;

    Scene() {
        for (int c = 0; c < kClips; ++c) {
            rates.push_back(c % 2 ? 44100 : 22050);
            pcm.push_back(makePcm(rates.back(), 2.0 + 0.25 * c, 100 + static_cast<unsigned>(c)));
        }
        for (int i = 0; i < kVoices; ++i) {
            const int c = i % kClips;
            const double golden = std::fmod(i * 0.6180339887, 1.0);
            VoiceSetup v;
            v.clip = c;
            v.frequency = static_cast<std::int32_t>(rates[c] * (0.55 + 1.8 * golden)) + 17 * i;
            v.volume = -((i * 97) % 3000);
            v.pan = (i * 1237) % 16001 - 8000;
            v.loop = i % 2 == 0;
            voices.push_back(v);
        }
    }
};

const Scene& scene() {
    static const Scene s;
    return s;
}

void reportMix(benchmark::State& state, const std::vector<float>& out) {
    double sum = 0;
    for (float s : out) sum += static_cast<double>(s) * s;
    // Seconds of audio per second of CPU time on this thread.
    state.counters["x_realtime"] = benchmark::Counter(
        static_cast<double>(state.iterations()) * kBlock / kDeviceRate, benchmark::Counter::kIsRate);
    state.counters["rms"] = std::sqrt(sum / static_cast<double>(out.size()));
}

void BM_MixZorvan(benchmark::State& state) {
    const Scene& sc = scene();
    std::vector<std::shared_ptr<const PcmClip>> clips;
    for (int c = 0; c < kClips; ++c) clips.push_back(decode(wavBytes(sc.pcm[c], sc.rates[c])));
    Mixer mixer(kDeviceRate);
    for (const auto& v : sc.voices) {
        const auto id = mixer.create(clips[v.clip]);
        mixer.setFrequency(id, v.frequency);
        mixer.setVolume(id, v.volume);
        mixer.setPan(id, v.pan);
        mixer.play(id, v.loop);
    }
    std::vector<float> out(2 * kBlock);
    std::vector<Mixer::VoiceId> ended;
    ended.reserve(kVoices);
    for (auto _ : state) {
        mixer.render(out.data(), kBlock, &ended);
        for (auto id : ended) mixer.play(id, false);
        ended.clear();
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    reportMix(state, out);
}
BENCHMARK(BM_MixZorvan)->Unit(benchmark::kMicrosecond);

template <typename F>
F alcProc(ALCdevice* device, const char* name) {
    auto p = reinterpret_cast<F>(alcGetProcAddress(device, name));
    if (!p) throw std::runtime_error(std::string("OpenAL Soft lacks ") + name);
    return p;
}

// range(0): 0 = OpenAL Soft's default resampler, 1 = its linear resampler (what ours does).
void BM_MixOpenALSoft(benchmark::State& state) {
    const Scene& sc = scene();
    auto openLoopback = alcProc<LPALCLOOPBACKOPENDEVICESOFT>(nullptr, "alcLoopbackOpenDeviceSOFT");
    auto renderSamples = alcProc<LPALCRENDERSAMPLESSOFT>(nullptr, "alcRenderSamplesSOFT");
    ALCdevice* device = openLoopback(nullptr);
    if (!device) {
        state.SkipWithError("alcLoopbackOpenDeviceSOFT failed");
        return;
    }
    const ALCint attrs[] = {ALC_FORMAT_CHANNELS_SOFT, ALC_STEREO_SOFT, ALC_FORMAT_TYPE_SOFT, ALC_FLOAT_SOFT,
                            ALC_FREQUENCY, kDeviceRate, ALC_HRTF_SOFT, ALC_FALSE,
                            // Our mixer has no limiter: leave it out of OpenAL's figure too.
                            ALC_OUTPUT_LIMITER_SOFT, ALC_FALSE, ALC_MONO_SOURCES, 2 * kVoices, 0};
    ALCcontext* context = alcCreateContext(device, attrs);
    if (!context || !alcMakeContextCurrent(context)) {
        state.SkipWithError("alcCreateContext failed");
        alcCloseDevice(device);
        return;
    }
    ALint resampler = alGetInteger(AL_DEFAULT_RESAMPLER_SOFT);
    if (state.range(0) == 1) {
        const ALint count = alGetInteger(AL_NUM_RESAMPLERS_SOFT);
        auto nameOf = reinterpret_cast<LPALGETSTRINGISOFT>(alGetProcAddress("alGetStringiSOFT"));
        for (ALint i = 0; nameOf && i < count; ++i)
            if (std::string(nameOf(AL_RESAMPLER_NAME_SOFT, i)) == "Linear") resampler = i;
    }
    if (auto nameOf = reinterpret_cast<LPALGETSTRINGISOFT>(alGetProcAddress("alGetStringiSOFT")))
        state.SetLabel(std::string("resampler: ") + nameOf(AL_RESAMPLER_NAME_SOFT, resampler));

    ALuint buffers[kClips];
    alGenBuffers(kClips, buffers);
    for (int c = 0; c < kClips; ++c)
        alBufferData(buffers[c], AL_FORMAT_MONO16, sc.pcm[c].data(),
                     static_cast<ALsizei>(sc.pcm[c].size() * sizeof(std::int16_t)), sc.rates[c]);
    ALuint sources[kVoices];
    alGenSources(kVoices, sources);
    for (int i = 0; i < kVoices; ++i) {
        const VoiceSetup& v = sc.voices[i];
        const ALuint s = sources[i];
        alSourcei(s, AL_BUFFER, static_cast<ALint>(buffers[v.clip]));
        alSourcei(s, AL_SOURCE_RELATIVE, AL_TRUE);
        alSourcef(s, AL_ROLLOFF_FACTOR, 0.0f);
        const double angle = v.pan / 10000.0 * std::numbers::pi / 2;  // -90 left .. 90 degrees right
        alSource3f(s, AL_POSITION, static_cast<float>(std::sin(angle)), 0.0f, static_cast<float>(-std::cos(angle)));
        alSourcef(s, AL_GAIN, static_cast<float>(std::pow(10.0, v.volume / 2000.0)));
        alSourcef(s, AL_PITCH, static_cast<float>(v.frequency) / static_cast<float>(sc.rates[v.clip]));
        alSourcei(s, AL_LOOPING, v.loop ? AL_TRUE : AL_FALSE);
        alSourcei(s, AL_SOURCE_RESAMPLER_SOFT, resampler);
        alSourcePlay(s);
    }
    if (alGetError() != AL_NO_ERROR) state.SkipWithError("OpenAL setup failed");

    std::vector<float> out(2 * kBlock);
    for (auto _ : state) {
        renderSamples(device, out.data(), static_cast<ALCsizei>(kBlock));
        for (int i = 1; i < kVoices; i += 2) {  // the one-shots, restarted as ours are
            ALint playing = 0;
            alGetSourcei(sources[i], AL_SOURCE_STATE, &playing);
            if (playing == AL_STOPPED) alSourcePlay(sources[i]);
        }
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    reportMix(state, out);

    alDeleteSources(kVoices, sources);
    alDeleteBuffers(kClips, buffers);
    alcMakeContextCurrent(nullptr);
    alcDestroyContext(context);
    alcCloseDevice(device);
}
BENCHMARK(BM_MixOpenALSoft)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

// The menu bank: 75 files of 1 to 3 s, 22050 Hz mono 16-bit.
std::vector<std::vector<std::uint8_t>> menuBankFiles() {
    std::vector<std::vector<std::uint8_t>> files;
    for (int i = 0; i < 75; ++i) {
        const double seconds = 1.0 + std::fmod(i * 0.37, 2.0);
        files.push_back(wavBytes(makePcm(22050, seconds, static_cast<unsigned>(i)), 22050));
    }
    return files;
}

void BM_BankDecode75(benchmark::State& state) {
    const auto files = menuBankFiles();
    std::int64_t bytes = 0;
    for (const auto& f : files) bytes += static_cast<std::int64_t>(f.size());
    for (auto _ : state)
        for (const auto& f : files) benchmark::DoNotOptimize(decode(f));
    state.SetBytesProcessed(state.iterations() * bytes);
}
BENCHMARK(BM_BankDecode75)->Unit(benchmark::kMillisecond);

// The same from files in a temporary folder (warm in the page cache), read whole and decoded.
void BM_BankLoad75FromFiles(benchmark::State& state) {
    const auto dir = std::filesystem::temp_directory_path() /
                     ("zorvan-bench-mixer-" + std::to_string(std::random_device{}()));
    std::filesystem::create_directories(dir);
    std::vector<std::filesystem::path> paths;
    std::int64_t bytes = 0;
    int n = 0;
    for (const auto& f : menuBankFiles()) {
        paths.push_back(dir / ("clip" + std::to_string(n++) + ".wav"));
        std::ofstream(paths.back(), std::ios::binary).write(reinterpret_cast<const char*>(f.data()),
                                                           static_cast<std::streamsize>(f.size()));
        bytes += static_cast<std::int64_t>(f.size());
    }
    for (auto _ : state) {
        for (const auto& p : paths) {
            std::ifstream in(p, std::ios::binary | std::ios::ate);
            std::vector<std::uint8_t> data(static_cast<std::size_t>(in.tellg()));
            in.seekg(0);
            in.read(reinterpret_cast<char*>(data.data()), static_cast<std::streamsize>(data.size()));
            benchmark::DoNotOptimize(decode(data));
        }
    }
    state.SetBytesProcessed(state.iterations() * bytes);
    std::filesystem::remove_all(dir);
}
BENCHMARK(BM_BankLoad75FromFiles)->Unit(benchmark::kMillisecond);

// One step of simulated time (1 ms) with a race's worth of voices.
void BM_AdvanceSimulated(benchmark::State& state) {
    const Scene& sc = scene();
    std::vector<std::shared_ptr<const PcmClip>> clips;
    for (int c = 0; c < kClips; ++c) clips.push_back(decode(wavBytes(sc.pcm[c], sc.rates[c])));
    Mixer mixer(kDeviceRate);
    for (int i = 0; i < 20; ++i) {
        const auto& v = sc.voices[i];
        const auto id = mixer.create(clips[v.clip]);
        mixer.setFrequency(id, v.frequency);
        mixer.play(id, v.loop);
    }
    std::vector<Mixer::VoiceId> ended;
    ended.reserve(kVoices);
    for (auto _ : state) {
        benchmark::DoNotOptimize(mixer.framesUntilNextEnd());
        mixer.advance(kDeviceRate / 1000, &ended);
        for (auto id : ended) mixer.play(id, false);
        ended.clear();
    }
}
BENCHMARK(BM_AdvanceSimulated)->Unit(benchmark::kNanosecond);

}  // namespace

BENCHMARK_MAIN();
