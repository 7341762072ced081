#include "sound/mixer.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "sound/mixer_kernels.h"

namespace zorvan {
namespace {

// Positions are source frames in 32.32 fixed point: render and advance then move every voice
// by exactly the same integer steps, so simulated time and audible time never drift apart.
constexpr int kFracBits = mix::kFracBits;
constexpr std::uint64_t kMaxFrames = std::uint64_t{1} << 31;  // keeps frames << 32 in range

constexpr std::int32_t kMinVolume = -10000, kMaxVolume = 0;  // hundredths of a dB
constexpr std::int32_t kMaxPan = 10000;                      // hundredths of a dB
constexpr std::int32_t kMinFrequency = 100, kMaxFrequency = 200000;  // Hz

// Voices are summed into planar buffers of this many frames, then limited and interleaved.
constexpr std::size_t kChunk = 512;

// Gain of an attenuation in hundredths of a dB; the bottom of the range is true silence.
float attenuationGain(std::int32_t hundredthsDb) {
    if (hundredthsDb <= kMinVolume) return 0.0f;
    return static_cast<float>(std::pow(10.0, hundredthsDb / 2000.0));
}

std::uint64_t mulMod(std::uint64_t a, std::uint64_t b, std::uint64_t m) {
#ifdef __SIZEOF_INT128__
    return static_cast<std::uint64_t>(static_cast<unsigned __int128>(a) * b % m);
#else
    std::uint64_t result = 0;
    a %= m;
    while (b) {
        if (b & 1) result = (result >= m - a) ? result - (m - a) : result + a;
        a = (a >= m - a) ? a - (m - a) : a + a;
        b >>= 1;
    }
    return result;
#endif
}

std::vector<const mix::Kernel*> usableKernels() {
    std::vector<const mix::Kernel*> all{&mix::kScalar};
    if (const mix::Kernel* k = mix::sse2Kernel()) all.push_back(k);
    if (const mix::Kernel* k = mix::avx2Kernel()) all.push_back(k);
    return all;
}

const mix::Kernel* kernelNamed(std::string_view name) {
    for (const mix::Kernel* k : usableKernels())
        if (name == k->name) return k;
    return nullptr;
}

// The fastest kernel the processor runs, unless ZORVAN_MIXER_KERNEL names another (to compare,
// or to rule one out on a suspect machine).
const mix::Kernel* defaultKernel() {
    static const mix::Kernel* chosen = [] {
        const mix::Kernel* best = usableKernels().back();
        if (const char* wanted = std::getenv("ZORVAN_MIXER_KERNEL"); wanted && *wanted) {
            if (const mix::Kernel* k = kernelNamed(wanted)) return k;
            std::fprintf(stderr, "ZORVAN_MIXER_KERNEL=%s is not available here; mixing with %s\n", wanted,
                         best->name);
        }
        return best;
    }();
    return chosen;
}

}  // namespace

struct Mixer::Voice {
    VoiceId id = 0;
    std::shared_ptr<const PcmClip> clip;
    const float* data = nullptr;
    std::uint64_t frames = 0;  // 0 for an empty or unusable clip
    int channels = 1;
    std::uint64_t pos = 0;   // source frames, 32.32
    std::uint64_t step = 0;  // source frames per output frame, 32.32, from the clamped frequency
    std::int32_t volume = 0, pan = 0, frequency = 0;
    bool playing = false, loop = false;
    SoundGroup group = SoundGroup::Effects;
    bool silenced = false;
    float gainL = 1.0f, gainR = 1.0f;      // what is applied now
    float targetL = 1.0f, targetR = 1.0f;  // what volume and pan ask for
    std::uint32_t rampLeft = 0;            // output frames until gainL/R reach the targets

    std::uint64_t end() const { return frames << kFracBits; }
    // Output frames this voice still produces before a one-shot play ends (0 = ends now).
    std::uint64_t framesToEnd() const {
        const std::uint64_t e = end();
        return pos >= e ? 0 : (e - pos + step - 1) / step;
    }
};

struct Mixer::State {
    mutable std::mutex mutex;
    std::vector<Voice> voices;  // ordered by id
    VoiceId nextId = 1;
    std::uint32_t rampFrames = 1;  // a parameter change glides over this many output frames
    std::uint32_t fadeFrames = 1;  // stop and release fade out over this many
    std::vector<std::pair<std::uint64_t, VoiceId>> endings;  // scratch, capacity >= voices
    // Stopped or released voices still fading out. Invisible to everything but the sound; a
    // finished one is cleared by the next call from the game thread, so the audio thread never
    // frees a clip.
    std::vector<Voice> tails;
    const mix::Kernel* kernel = defaultKernel();
    // Volumes of the groups and of the whole mix, and the gain each gives (hundredths of a dB).
    std::int32_t groupVolume[2] = {0, 0};
    std::int32_t masterVolume = 0;
    float groupGain[2] = {1.0f, 1.0f};
    float masterGain = 1.0f;
    alignas(32) float sumL[kChunk];
    alignas(32) float sumR[kChunk];

    Voice* find(VoiceId id) {
        auto it = std::lower_bound(voices.begin(), voices.end(), id,
                                   [](const Voice& v, VoiceId key) { return v.id < key; });
        return it != voices.end() && it->id == id ? &*it : nullptr;
    }
    const Voice* find(VoiceId id) const { return const_cast<State*>(this)->find(id); }

    void updateGains(Voice& v) const {
        // Folded into the voice's own gains, so the kernels sum exactly as before.
        const float g = v.silenced ? 0.0f
                                   : attenuationGain(v.volume) * groupGain[static_cast<int>(v.group)] * masterGain;
        v.targetL = g * (v.pan > 0 ? attenuationGain(-v.pan) : 1.0f);
        v.targetR = g * (v.pan < 0 ? attenuationGain(v.pan) : 1.0f);
        if (v.playing && (v.targetL != v.gainL || v.targetR != v.gainR)) {
            v.rampLeft = rampFrames;  // glide, so a moving engine sound does not crackle
        } else {
            v.gainL = v.targetL;
            v.gainR = v.targetR;
            v.rampLeft = 0;
        }
    }

    void updateAllGains() {
        for (Voice& v : voices) updateGains(v);
    }

    void finish(Voice& v) {
        v.playing = false;
        v.loop = false;
        v.pos = 0;
        v.gainL = v.targetL;
        v.gainR = v.targetR;
        v.rampLeft = 0;
    }

    // What a playing voice sounds like goes on as a tail gliding to silence; the voice itself
    // stops at once, so its position and state are exactly those of an instant stop.
    void fadeOut(const Voice& v) {
        if (!v.playing || v.frames == 0 || (v.gainL == 0.0f && v.gainR == 0.0f && v.rampLeft == 0)) return;
        Voice tail = v;
        tail.id = 0;
        tail.targetL = tail.targetR = 0.0f;
        tail.rampLeft = fadeFrames;
        tails.push_back(std::move(tail));
    }

    // Hands the clips of finished tails to the caller, to be freed outside the lock.
    void sweepTails(std::vector<std::shared_ptr<const PcmClip>>& freed) {
        auto dead = std::remove_if(tails.begin(), tails.end(), [&](Voice& t) {
            if (t.playing) return false;
            freed.push_back(std::move(t.clip));
            return true;
        });
        tails.erase(dead, tails.end());
    }

    // Brings a position that reached the end back into the clip. False when a one-shot ended.
    static bool settle(Voice& v) {
        const std::uint64_t e = v.end();
        if (v.pos < e) return true;
        if (!v.loop) return false;
        v.pos = e ? v.pos % e : 0;
        return true;
    }

    // Adds the voice into the planar sums. Returns the output frame at which a one-shot
    // ended, or frames when it did not.
    std::size_t renderVoice(Voice& v, float* L, float* R, std::size_t frames);
    void renderTails(std::size_t frames);
    void advanceTails(std::size_t frames);
    void reportEndings(std::vector<VoiceId>* ended);
};

std::size_t Mixer::State::renderVoice(Voice& v, float* L, float* R, std::size_t frames) {
    std::size_t done = 0;
    if (v.frames == 0) return v.loop ? frames : 0;
    if (!settle(v)) return 0;
    const std::uint64_t interiorEnd = (v.frames - 1) << kFracBits;
    const mix::SpanFn span = v.channels == 1 ? kernel->mono : kernel->stereo;
    while (done < frames) {
        std::size_t n = frames - done;
        float dl = 0.0f, dr = 0.0f;
        if (v.rampLeft) {
            n = std::min<std::size_t>(n, v.rampLeft);
            dl = (v.targetL - v.gainL) / static_cast<float>(v.rampLeft);
            dr = (v.targetR - v.gainR) / static_cast<float>(v.rampLeft);
        }
        if (v.pos < interiorEnd) {
            n = static_cast<std::size_t>(
                std::min<std::uint64_t>(n, (interiorEnd - v.pos + v.step - 1) / v.step));
            span(v.data, v.data + v.frames * v.channels, v.pos, v.step, L + done, R + done, n, v.gainL, v.gainR, dl, dr);
            v.pos += n * v.step;
        } else {
            // The last frame: it leads into frame 0 on a loop, into silence on a one-shot.
            n = 1;
            const float w = static_cast<float>(static_cast<std::uint32_t>(v.pos) >> 8) * mix::kWeightScale;
            const std::size_t last = static_cast<std::size_t>(v.frames - 1);
            for (int c = 0; c < 2; ++c) {
                const int ch = v.channels == 1 ? 0 : c;
                const float a = v.data[last * v.channels + ch];
                const float b = v.loop ? v.data[ch] : 0.0f;
                (c == 0 ? L : R)[done] += (a + (b - a) * w) * (c == 0 ? v.gainL : v.gainR);
            }
            v.pos += v.step;
        }
        done += n;
        if (v.rampLeft) {
            v.rampLeft -= static_cast<std::uint32_t>(n);
            v.gainL = v.rampLeft ? v.gainL + dl * static_cast<float>(n) : v.targetL;
            v.gainR = v.rampLeft ? v.gainR + dr * static_cast<float>(n) : v.targetR;
        }
        if (!settle(v)) return done;
    }
    return frames;
}

void Mixer::State::renderTails(std::size_t frames) {
    for (Voice& t : tails) {
        if (!t.playing) continue;
        const std::size_t n = std::min<std::size_t>(frames, t.rampLeft);
        const std::size_t at = renderVoice(t, sumL, sumR, n);
        if (at < n || t.rampLeft == 0 || (!t.loop && t.pos >= t.end())) t.playing = false;
    }
}

// Nothing is heard while time is only advanced, but a tail that outlives the step must go on
// from where it would have been.
void Mixer::State::advanceTails(std::size_t frames) {
    for (Voice& t : tails) {
        if (!t.playing) continue;
        if (frames >= t.rampLeft) {
            t.playing = false;
            continue;
        }
        const float left = static_cast<float>(t.rampLeft);
        t.gainL -= t.gainL * static_cast<float>(frames) / left;
        t.gainR -= t.gainR * static_cast<float>(frames) / left;
        t.rampLeft -= static_cast<std::uint32_t>(frames);
        t.pos += frames * t.step;
        if (!settle(t)) t.playing = false;
    }
}

void Mixer::State::reportEndings(std::vector<VoiceId>* ended) {
    // Insertion sort: no allocation, and only a handful of voices end in one call.
    for (std::size_t i = 1; i < endings.size(); ++i)
        for (std::size_t j = i; j > 0 && endings[j] < endings[j - 1]; --j) std::swap(endings[j], endings[j - 1]);
    if (ended)
        for (const auto& e : endings) ended->push_back(e.second);
    endings.clear();
}

Mixer::Mixer(int deviceRate) : deviceRate_(deviceRate > 0 ? deviceRate : 48000), state_(std::make_unique<State>()) {
    state_->rampFrames = static_cast<std::uint32_t>(std::max(1, deviceRate_ / 200));  // 5 ms
    state_->fadeFrames = static_cast<std::uint32_t>(std::max(1, deviceRate_ / 500));  // 2 ms
}

Mixer::~Mixer() = default;

Mixer::VoiceId Mixer::create(std::shared_ptr<const PcmClip> clip) {
    if (follower_) follower_->create(clip);
    Voice v;
    if (clip && (clip->channels == 1 || clip->channels == 2)) {
        v.channels = clip->channels;
        v.frames = std::min<std::uint64_t>(clip->frames(), kMaxFrames);
        v.data = clip->samples.data();
        v.frequency = clip->rate;
    }
    v.clip = std::move(clip);
    std::vector<std::shared_ptr<const PcmClip>> freed;  // destroyed after the lock is released
    std::lock_guard lock(state_->mutex);
    state_->sweepTails(freed);
    v.id = state_->nextId++;
    const std::int32_t hz = std::clamp(v.frequency, kMinFrequency, kMaxFrequency);
    v.step = ((static_cast<std::uint64_t>(hz) << kFracBits) + deviceRate_ / 2) / static_cast<std::uint64_t>(deviceRate_);
    state_->updateGains(v);
    state_->voices.push_back(std::move(v));
    // render() collects endings here and must not allocate.
    if (state_->endings.capacity() < state_->voices.size()) state_->endings.reserve(state_->voices.size() * 2);
    return state_->voices.back().id;
}

void Mixer::release(VoiceId id) {
    if (follower_) follower_->release(id);
    std::vector<std::shared_ptr<const PcmClip>> freed;  // clips may be freed here, outside the lock
    std::lock_guard lock(state_->mutex);
    state_->sweepTails(freed);
    auto& vs = state_->voices;
    auto it = std::lower_bound(vs.begin(), vs.end(), id, [](const Voice& v, VoiceId key) { return v.id < key; });
    if (it == vs.end() || it->id != id) return;
    state_->fadeOut(*it);  // the tail keeps the clip until it is silent
    freed.push_back(std::move(it->clip));
    vs.erase(it);
}

void Mixer::play(VoiceId id, bool loop) {
    if (follower_) follower_->play(id, loop);
    std::lock_guard lock(state_->mutex);
    Voice* v = state_->find(id);
    if (!v) return;
    if (!v->playing) {
        v->playing = true;
        v->gainL = v->targetL;
        v->gainR = v->targetR;
        v->rampLeft = 0;
    }
    v->loop = loop;
}

void Mixer::stop(VoiceId id) {
    if (follower_) follower_->stop(id);
    std::vector<std::shared_ptr<const PcmClip>> freed;
    std::lock_guard lock(state_->mutex);
    state_->sweepTails(freed);
    if (Voice* v = state_->find(id)) {
        state_->fadeOut(*v);
        v->playing = false;
        v->loop = false;
    }
}

void Mixer::rewind(VoiceId id) {
    if (follower_) follower_->rewind(id);
    std::lock_guard lock(state_->mutex);
    if (Voice* v = state_->find(id)) v->pos = 0;
}

void Mixer::setVolume(VoiceId id, std::int32_t volume) {
    if (follower_) follower_->setVolume(id, volume);
    std::lock_guard lock(state_->mutex);
    if (Voice* v = state_->find(id)) {
        v->volume = std::clamp(volume, kMinVolume, kMaxVolume);
        state_->updateGains(*v);
    }
}

std::int32_t Mixer::volume(VoiceId id) const {
    std::lock_guard lock(state_->mutex);
    const Voice* v = state_->find(id);
    return v ? v->volume : 0;
}

void Mixer::setSilenced(VoiceId id, bool silenced) {
    if (follower_) follower_->setSilenced(id, silenced);
    std::lock_guard lock(state_->mutex);
    if (Voice* v = state_->find(id); v && v->silenced != silenced) {
        v->silenced = silenced;
        state_->updateGains(*v);
    }
}

bool Mixer::silenced(VoiceId id) const {
    std::lock_guard lock(state_->mutex);
    const Voice* v = state_->find(id);
    return v && v->silenced;
}

void Mixer::setPan(VoiceId id, std::int32_t pan) {
    if (follower_) follower_->setPan(id, pan);
    std::lock_guard lock(state_->mutex);
    if (Voice* v = state_->find(id)) {
        v->pan = std::clamp(pan, -kMaxPan, kMaxPan);
        state_->updateGains(*v);
    }
}

std::int32_t Mixer::pan(VoiceId id) const {
    std::lock_guard lock(state_->mutex);
    const Voice* v = state_->find(id);
    return v ? v->pan : 0;
}

void Mixer::setFrequency(VoiceId id, std::int32_t hz) {
    if (follower_) follower_->setFrequency(id, hz);
    std::lock_guard lock(state_->mutex);
    if (Voice* v = state_->find(id)) {
        v->frequency = hz;
        const std::int32_t clamped = std::clamp(hz, kMinFrequency, kMaxFrequency);
        v->step = ((static_cast<std::uint64_t>(clamped) << kFracBits) + deviceRate_ / 2) /
                  static_cast<std::uint64_t>(deviceRate_);
    }
}

std::int32_t Mixer::frequency(VoiceId id) const {
    std::lock_guard lock(state_->mutex);
    const Voice* v = state_->find(id);
    return v ? v->frequency : 0;
}

void Mixer::setGroup(VoiceId id, SoundGroup group) {
    if (follower_) follower_->setGroup(id, group);
    std::lock_guard lock(state_->mutex);
    if (Voice* v = state_->find(id)) {
        v->group = group;
        state_->updateGains(*v);
    }
}

void Mixer::setGroupVolume(SoundGroup group, std::int32_t volume) {
    if (follower_) follower_->setGroupVolume(group, volume);
    std::lock_guard lock(state_->mutex);
    const int g = static_cast<int>(group);
    state_->groupVolume[g] = std::clamp(volume, kMinVolume, kMaxVolume);
    state_->groupGain[g] = attenuationGain(state_->groupVolume[g]);
    state_->updateAllGains();
}

std::int32_t Mixer::groupVolume(SoundGroup group) const {
    std::lock_guard lock(state_->mutex);
    return state_->groupVolume[static_cast<int>(group)];
}

void Mixer::setMasterVolume(std::int32_t volume) {
    if (follower_) follower_->setMasterVolume(volume);
    std::lock_guard lock(state_->mutex);
    state_->masterVolume = std::clamp(volume, kMinVolume, kMaxVolume);
    state_->masterGain = attenuationGain(state_->masterVolume);
    state_->updateAllGains();
}

std::int32_t Mixer::masterVolume() const {
    std::lock_guard lock(state_->mutex);
    return state_->masterVolume;
}

bool Mixer::isPlaying(VoiceId id) const {
    std::lock_guard lock(state_->mutex);
    const Voice* v = state_->find(id);
    return v && v->playing && !v->loop;
}

bool Mixer::isLooping(VoiceId id) const {
    std::lock_guard lock(state_->mutex);
    const Voice* v = state_->find(id);
    return v && v->playing && v->loop;
}

void Mixer::render(float* out, std::size_t frames, std::vector<VoiceId>* ended) {
    std::lock_guard lock(state_->mutex);
    State& s = *state_;
    std::size_t done = 0;
    do {
        const std::size_t n = std::min(frames - done, kChunk);
        std::fill(s.sumL, s.sumL + n, 0.0f);
        std::fill(s.sumR, s.sumR + n, 0.0f);
        for (Voice& v : s.voices) {
            if (!v.playing) continue;
            const std::size_t at = s.renderVoice(v, s.sumL, s.sumR, n);
            if (at < n || (!v.loop && v.pos >= v.end())) {
                s.finish(v);
                s.endings.emplace_back(done + at, v.id);
            }
        }
        s.renderTails(n);
        s.kernel->limit(s.sumL, s.sumR, out + 2 * done, n);
        done += n;
    } while (done < frames);
    s.reportEndings(ended);
}

void Mixer::advance(std::size_t frames, std::vector<VoiceId>* ended) {
    std::lock_guard lock(state_->mutex);
    for (Voice& v : state_->voices) {
        if (!v.playing) continue;
        v.gainL = v.targetL;
        v.gainR = v.targetR;
        v.rampLeft = 0;
        if (v.loop) {
            const std::uint64_t e = v.end();
            if (e) v.pos = (v.pos % e + mulMod(frames, v.step, e)) % e;
            continue;
        }
        const std::uint64_t left = v.framesToEnd();
        if (frames >= left) {
            state_->finish(v);
            state_->endings.emplace_back(left, v.id);
        } else {
            v.pos += frames * v.step;
        }
    }
    state_->advanceTails(frames);
    state_->reportEndings(ended);
}

std::optional<std::size_t> Mixer::framesUntilNextEnd() const {
    std::lock_guard lock(state_->mutex);
    std::optional<std::size_t> first;
    for (const Voice& v : state_->voices) {
        if (!v.playing || v.loop) continue;
        const std::size_t left = static_cast<std::size_t>(std::max<std::uint64_t>(1, v.framesToEnd()));
        if (!first || left < *first) first = left;
    }
    return first;
}

std::vector<std::string> Mixer::kernels() {
    std::vector<std::string> names;
    for (const mix::Kernel* k : usableKernels()) names.emplace_back(k->name);
    return names;
}

bool Mixer::useKernel(std::string_view name) {
    const mix::Kernel* k = kernelNamed(name);
    if (!k) return false;
    std::lock_guard lock(state_->mutex);
    state_->kernel = k;
    return true;
}

std::string Mixer::kernel() const {
    std::lock_guard lock(state_->mutex);
    return state_->kernel->name;
}

}  // namespace zorvan
