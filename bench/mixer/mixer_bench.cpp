// The mixer against OpenAL Soft's loopback device on the same scenes of 1, 8, 64 and 256
// pitched, panned voices, each of our mixing kernels side by side, plus the cost of loading a
// menu bank's worth of WAV files and of advancing simulated time. Both mixers run their output
// limiter. After the runs, a table gives ns per output frame per voice and our throughput
// against OpenAL Soft's; see README.md for the command.
//
//   bench_mixer --benchmark_filter='Mix'     the mixers (counters ns_frame_voice, x_realtime)
//   bench_mixer --benchmark_filter='Bank'    decoding 75 files
//   bench_mixer --benchmark_filter='Advance' one simulated 1 ms step with 20 voices

#include <benchmark/benchmark.h>

#include <al.h>
#include <alc.h>
#include <alext.h>

#include <cmath>
#include <cstdio>
#include <map>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <random>
#include <stdexcept>

#include <time.h>

#include "sound/mixer.h"

namespace {

using zorvan::Mixer;
using zorvan::PcmClip;

constexpr int kDeviceRate = 48000;
constexpr int kMaxVoices = 256;
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

// The scene both mixers play: up to 256 voices over 8 mono 16-bit clips of 2 to 4 s, every
// voice resampled at its own rate and panned, half of them looping and the others restarted
// when they end. A run with n voices plays the first n.
struct Scene {
    std::vector<std::vector<std::int16_t>> pcm;
    std::vector<int> rates;
    std::vector<VoiceSetup> voices;

    Scene() {
        for (int c = 0; c < kClips; ++c) {
            rates.push_back(c % 2 ? 44100 : 22050);
            pcm.push_back(makePcm(rates.back(), 2.0 + 0.25 * c, 100 + static_cast<unsigned>(c)));
        }
        for (int i = 0; i < kMaxVoices; ++i) {
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

std::int64_t threadCpuNs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<std::int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec;
}

void reportMix(benchmark::State& state, const std::vector<float>& out, int voices, std::int64_t cpuNs) {
    double sum = 0;
    for (float v : out) sum += static_cast<double>(v) * v;
    // Seconds of audio per second of CPU time on this thread.
    state.counters["x_realtime"] = benchmark::Counter(
        static_cast<double>(state.iterations()) * kBlock / kDeviceRate, benchmark::Counter::kIsRate);
    // CPU time per output frame per voice, in ns.
    state.counters["ns_frame_voice"] =
        static_cast<double>(cpuNs) / (static_cast<double>(state.iterations()) * kBlock * voices);
    state.counters["rms"] = std::sqrt(sum / static_cast<double>(out.size()));
}

const char* const kKernelNames[] = {"scalar", "sse2", "avx2"};

// range(0): the kernel (0 scalar, the reference and the loop we had; 1 SSE2; 2 AVX2+FMA);
// range(1): voices.
void BM_MixZorvan(benchmark::State& state) {
    const Scene& sc = scene();
    const char* kernel = kKernelNames[state.range(0)];
    const int voices = static_cast<int>(state.range(1));
    std::vector<std::shared_ptr<const PcmClip>> clips;
    for (int c = 0; c < kClips; ++c) clips.push_back(decode(wavBytes(sc.pcm[c], sc.rates[c])));
    Mixer mixer(kDeviceRate);
    if (!mixer.useKernel(kernel)) {
        state.SkipWithError((std::string(kernel) + " is not available on this processor").c_str());
        return;
    }
    state.SetLabel(kernel);
    for (int i = 0; i < voices; ++i) {
        const VoiceSetup& v = sc.voices[i];
        const auto id = mixer.create(clips[v.clip]);
        mixer.setFrequency(id, v.frequency);
        mixer.setVolume(id, v.volume);
        mixer.setPan(id, v.pan);
        mixer.play(id, v.loop);
    }
    std::vector<float> out(2 * kBlock);
    std::vector<Mixer::VoiceId> ended;
    ended.reserve(kMaxVoices);
    const std::int64_t start = threadCpuNs();
    for (auto _ : state) {
        mixer.render(out.data(), kBlock, &ended);
        for (auto id : ended) mixer.play(id, false);
        ended.clear();
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    reportMix(state, out, voices, threadCpuNs() - start);
}
BENCHMARK(BM_MixZorvan)
    ->ArgsProduct({{0, 1, 2}, {1, 8, 64, 256}})
    ->ArgNames({"kernel", "voices"})
    ->Unit(benchmark::kMicrosecond);

// A press of a volume key: the music group's level changed under 256 playing voices, half
// of them music. Every voice's gains are worked out again, on the game thread, under the lock
// the audio callback takes.
void BM_GroupVolume256(benchmark::State& state) {
    const Scene& sc = scene();
    std::vector<std::shared_ptr<const PcmClip>> clips;
    for (int c = 0; c < kClips; ++c) clips.push_back(decode(wavBytes(sc.pcm[c], sc.rates[c])));
    Mixer mixer(kDeviceRate);
    for (int i = 0; i < kMaxVoices; ++i) {
        const VoiceSetup& v = sc.voices[i];
        const auto id = mixer.create(clips[v.clip]);
        if (i % 2) mixer.setGroup(id, zorvan::SoundGroup::Music);
        mixer.setVolume(id, v.volume);
        mixer.setPan(id, v.pan);
        mixer.play(id, true);
    }
    std::int32_t level = 0;
    for (auto _ : state) {
        level = level == -300 ? -600 : -300;
        mixer.setGroupVolume(zorvan::SoundGroup::Music, level);
    }
}
BENCHMARK(BM_GroupVolume256)->Unit(benchmark::kNanosecond);

template <typename F>
F alcProc(ALCdevice* device, const char* name) {
    auto p = reinterpret_cast<F>(alcGetProcAddress(device, name));
    if (!p) throw std::runtime_error(std::string("OpenAL Soft lacks ") + name);
    return p;
}

// range(0): 0 = OpenAL Soft's default resampler, 1 = its linear resampler (what ours does);
// range(1): voices.
void BM_MixOpenALSoft(benchmark::State& state) {
    const Scene& sc = scene();
    const int voices = static_cast<int>(state.range(1));
    auto openLoopback = alcProc<LPALCLOOPBACKOPENDEVICESOFT>(nullptr, "alcLoopbackOpenDeviceSOFT");
    auto renderSamples = alcProc<LPALCRENDERSAMPLESSOFT>(nullptr, "alcRenderSamplesSOFT");
    ALCdevice* device = openLoopback(nullptr);
    if (!device) {
        state.SkipWithError("alcLoopbackOpenDeviceSOFT failed");
        return;
    }
    const ALCint attrs[] = {ALC_FORMAT_CHANNELS_SOFT, ALC_STEREO_SOFT, ALC_FORMAT_TYPE_SOFT, ALC_FLOAT_SOFT,
                            ALC_FREQUENCY, kDeviceRate, ALC_HRTF_SOFT, ALC_FALSE,
                            // Our mixer bends loud sums under full scale: OpenAL's limiter does the same work.
                            ALC_OUTPUT_LIMITER_SOFT, ALC_TRUE, ALC_MONO_SOURCES, 2 * kMaxVoices, 0};
    ALCcontext* context = alcCreateContext(device, attrs);
    if (!context || !alcMakeContextCurrent(context)) {
        state.SkipWithError("alcCreateContext failed");
        alcCloseDevice(device);
        return;
    }
    ALCint limiter = 0;
    alcGetIntegerv(device, ALC_OUTPUT_LIMITER_SOFT, 1, &limiter);
    if (limiter != ALC_TRUE) state.SkipWithError("OpenAL Soft did not turn its limiter on");
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
    std::vector<ALuint> sources(static_cast<std::size_t>(voices));
    alGenSources(voices, sources.data());
    for (int i = 0; i < voices; ++i) {
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
    const std::int64_t start = threadCpuNs();
    for (auto _ : state) {
        renderSamples(device, out.data(), static_cast<ALCsizei>(kBlock));
        for (int i = 1; i < voices; i += 2) {  // the one-shots, restarted as ours are
            ALint playing = 0;
            alGetSourcei(sources[i], AL_SOURCE_STATE, &playing);
            if (playing == AL_STOPPED) alSourcePlay(sources[i]);
        }
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    reportMix(state, out, voices, threadCpuNs() - start);

    alDeleteSources(voices, sources.data());
    alDeleteBuffers(kClips, buffers);
    alcMakeContextCurrent(nullptr);
    alcDestroyContext(context);
    alcCloseDevice(device);
}
BENCHMARK(BM_MixOpenALSoft)
    ->ArgsProduct({{0, 1}, {1, 8, 64, 256}})
    ->ArgNames({"resampler", "voices"})
    ->Unit(benchmark::kMicrosecond);

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
    ended.reserve(kMaxVoices);
    for (auto _ : state) {
        benchmark::DoNotOptimize(mixer.framesUntilNextEnd());
        mixer.advance(kDeviceRate / 1000, &ended);
        for (auto id : ended) mixer.play(id, false);
        ended.clear();
    }
}
BENCHMARK(BM_AdvanceSimulated)->Unit(benchmark::kNanosecond);

// Collects the mixers' figures as they are printed, for the table at the end.
class TableReporter : public benchmark::ConsoleReporter {
public:
    // name ("scalar", "sse2", "avx2", "OpenAL Soft default", "OpenAL Soft linear") -> voices -> ns
    std::map<std::string, std::map<int, double>> ns;

    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.error_occurred || run.run_type != Run::RT_Iteration) continue;
            const auto counter = run.counters.find("ns_frame_voice");
            if (counter == run.counters.end()) continue;
            const std::string name = run.benchmark_name();
            const int voices = std::stoi(name.substr(name.rfind("voices:") + 7));
            std::string what;
            if (name.rfind("BM_MixZorvan", 0) == 0)
                what = kKernelNames[std::stoi(name.substr(name.find("kernel:") + 7))];
            else
                what = name.find("resampler:0") != std::string::npos ? "OpenAL Soft default" : "OpenAL Soft linear";
            ns[what][voices] = counter->second.value;
        }
    }
};

void printTable(const TableReporter& reporter) {
    const auto& ns = reporter.ns;
    if (ns.empty()) return;
    std::printf("\nns per output frame per voice (CPU time; 480-frame blocks at %d Hz, both limiters on)\n", kDeviceRate);
    std::printf("%-22s", "");
    for (int voices : {1, 8, 64, 256}) std::printf("%12d", voices);
    std::printf("\n");
    const char* rows[] = {"OpenAL Soft default", "OpenAL Soft linear", "scalar", "sse2", "avx2"};
    for (const char* row : rows) {
        const auto it = ns.find(row);
        if (it == ns.end()) continue;
        std::printf("%-22s", row);
        for (int voices : {1, 8, 64, 256}) {
            const auto v = it->second.find(voices);
            if (v == it->second.end()) std::printf("%12s", "-"); else std::printf("%12.3f", v->second);
        }
        std::printf("\n");
    }
    for (const char* peer : {"OpenAL Soft default", "OpenAL Soft linear"}) {
        const auto p = ns.find(peer);
        if (p == ns.end()) continue;
        std::printf("\nthroughput against %s (x faster)\n", peer);
        for (const char* kernel : kKernelNames) {
            const auto k = ns.find(kernel);
            if (k == ns.end()) continue;
            std::printf("%-22s", kernel);
            for (int voices : {1, 8, 64, 256}) {
                const auto a = p->second.find(voices), b = k->second.find(voices);
                if (a == p->second.end() || b == k->second.end()) std::printf("%12s", "-");
                else std::printf("%11.2fx", a->second / b->second);
            }
            std::printf("\n");
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    TableReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    printTable(reporter);
    benchmark::Shutdown();
    return 0;
}
