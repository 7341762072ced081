#include "sound/mixer.h"

#include <algorithm>
#include <cmath>

namespace zorvan {
namespace {

// Positions are source frames in 32.32 fixed point: render and advance then move every voice
// by exactly the same integer steps, so simulated time and audible time never drift apart.
constexpr int kFracBits = 32;
constexpr std::uint64_t kOne = std::uint64_t{1} << kFracBits;
constexpr float kFracScale = 1.0f / 4294967296.0f;
constexpr std::uint64_t kMaxFrames = std::uint64_t{1} << 31;  // keeps frames << 32 in range

constexpr std::int32_t kMinVolume = -10000, kMaxVolume = 0;  // hundredths of a dB
constexpr std::int32_t kMaxPan = 10000;                      // hundredths of a dB
constexpr std::int32_t kMinFrequency = 100, kMaxFrequency = 200000;  // Hz

// Gain of an attenuation in hundredths of a dB; the bottom of the range is true silence.
float attenuationGain(std::int32_t hundredthsDb) {
    if (hundredthsDb <= kMinVolume) return 0.0f;
    return static_cast<float>(std::pow(10.0, hundredthsDb / 2000.0));
}

// Sums above the knee bend towards full scale instead of being cut flat by the device: a
// crash, its skid, the car that hit and a level-up may all sound at once. Slope 1 at the knee,
// so nothing quieter changes; louder stays louder.
constexpr float kKnee = 0.9f;
float underFullScale(float x) {
    const float m = std::fabs(x);
    if (m <= kKnee) return x;
    const float over = (m - kKnee) / (1.0f - kKnee);
    return std::copysign(kKnee + (1.0f - kKnee) * over / (1.0f + over), x);
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

// Mixes n output frames from the interior of a clip, where frame idx + 1 always exists.
// Gains move by dl/dr per frame (zero outside a ramp).
template <int Channels, bool Ramp>
void mixInterior(const float* src, std::uint64_t pos, std::uint64_t step, float* out, std::size_t n,
                 float gl, float gr, float dl, float dr) {
    for (std::size_t k = 0; k < n; ++k) {
        const std::size_t idx = static_cast<std::size_t>(pos >> kFracBits);
        const float frac = static_cast<float>(static_cast<std::uint32_t>(pos)) * kFracScale;
        if constexpr (Channels == 1) {
            const float a = src[idx], b = src[idx + 1];
            const float s = a + (b - a) * frac;
            out[2 * k] += s * gl;
            out[2 * k + 1] += s * gr;
        } else {
            const float* f = src + 2 * idx;
            const float l = f[0] + (f[2] - f[0]) * frac;
            const float r = f[1] + (f[3] - f[1]) * frac;
            out[2 * k] += l * gl;
            out[2 * k + 1] += r * gr;
        }
        if constexpr (Ramp) {
            gl += dl;
            gr += dr;
        }
        pos += step;
    }
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
    std::vector<std::pair<std::uint64_t, VoiceId>> endings;  // scratch, capacity >= voices

    Voice* find(VoiceId id) {
        auto it = std::lower_bound(voices.begin(), voices.end(), id,
                                   [](const Voice& v, VoiceId key) { return v.id < key; });
        return it != voices.end() && it->id == id ? &*it : nullptr;
    }
    const Voice* find(VoiceId id) const { return const_cast<State*>(this)->find(id); }

    void updateGains(Voice& v) const {
        const float g = attenuationGain(v.volume);
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

    void finish(Voice& v) {
        v.playing = false;
        v.loop = false;
        v.pos = 0;
        v.gainL = v.targetL;
        v.gainR = v.targetR;
        v.rampLeft = 0;
    }

    // Brings a position that reached the end back into the clip. False when a one-shot ended.
    static bool settle(Voice& v) {
        const std::uint64_t e = v.end();
        if (v.pos < e) return true;
        if (!v.loop) return false;
        v.pos = e ? v.pos % e : 0;
        return true;
    }

    // Returns the output frame at which a one-shot ended, or frames when it did not.
    std::size_t renderVoice(Voice& v, float* out, std::size_t frames);
    void reportEndings(std::vector<VoiceId>* ended);
};

std::size_t Mixer::State::renderVoice(Voice& v, float* out, std::size_t frames) {
    std::size_t done = 0;
    if (v.frames == 0) return v.loop ? frames : 0;
    if (!settle(v)) return 0;
    const std::uint64_t interiorEnd = (v.frames - 1) << kFracBits;
    while (done < frames) {
        std::size_t n = frames - done;
        float dl = 0.0f, dr = 0.0f;
        if (v.rampLeft) {
            n = std::min<std::size_t>(n, v.rampLeft);
            dl = (v.targetL - v.gainL) / static_cast<float>(v.rampLeft);
            dr = (v.targetR - v.gainR) / static_cast<float>(v.rampLeft);
        }
        float* o = out + 2 * done;
        if (v.pos < interiorEnd) {
            n = static_cast<std::size_t>(
                std::min<std::uint64_t>(n, (interiorEnd - v.pos + v.step - 1) / v.step));
            if (v.channels == 1) {
                if (v.rampLeft)
                    mixInterior<1, true>(v.data, v.pos, v.step, o, n, v.gainL, v.gainR, dl, dr);
                else
                    mixInterior<1, false>(v.data, v.pos, v.step, o, n, v.gainL, v.gainR, 0, 0);
            } else {
                if (v.rampLeft)
                    mixInterior<2, true>(v.data, v.pos, v.step, o, n, v.gainL, v.gainR, dl, dr);
                else
                    mixInterior<2, false>(v.data, v.pos, v.step, o, n, v.gainL, v.gainR, 0, 0);
            }
            v.pos += n * v.step;
        } else {
            // The last frame: it leads into frame 0 on a loop, into silence on a one-shot.
            n = 1;
            const float frac = static_cast<float>(static_cast<std::uint32_t>(v.pos)) * kFracScale;
            const std::size_t last = static_cast<std::size_t>(v.frames - 1);
            for (int c = 0; c < 2; ++c) {
                const int ch = v.channels == 1 ? 0 : c;
                const float a = v.data[last * v.channels + ch];
                const float b = v.loop ? v.data[ch] : 0.0f;
                o[c] += (a + (b - a) * frac) * (c == 0 ? v.gainL : v.gainR);
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
}

Mixer::~Mixer() = default;

Mixer::VoiceId Mixer::create(std::shared_ptr<const PcmClip> clip) {
    Voice v;
    if (clip && (clip->channels == 1 || clip->channels == 2)) {
        v.channels = clip->channels;
        v.frames = std::min<std::uint64_t>(clip->frames(), kMaxFrames);
        v.data = clip->samples.data();
        v.frequency = clip->rate;
    }
    v.clip = std::move(clip);
    std::lock_guard lock(state_->mutex);
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
    std::shared_ptr<const PcmClip> last;  // the clip may be freed here, outside the lock
    {
        std::lock_guard lock(state_->mutex);
        auto& vs = state_->voices;
        auto it = std::lower_bound(vs.begin(), vs.end(), id, [](const Voice& v, VoiceId key) { return v.id < key; });
        if (it == vs.end() || it->id != id) return;
        last = std::move(it->clip);
        vs.erase(it);
    }
}

void Mixer::play(VoiceId id, bool loop) {
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
    std::lock_guard lock(state_->mutex);
    if (Voice* v = state_->find(id)) {
        v->playing = false;
        v->loop = false;
    }
}

void Mixer::rewind(VoiceId id) {
    std::lock_guard lock(state_->mutex);
    if (Voice* v = state_->find(id)) v->pos = 0;
}

void Mixer::setVolume(VoiceId id, std::int32_t volume) {
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

void Mixer::setPan(VoiceId id, std::int32_t pan) {
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
    std::fill(out, out + 2 * frames, 0.0f);
    std::lock_guard lock(state_->mutex);
    for (Voice& v : state_->voices) {
        if (!v.playing) continue;
        const std::size_t at = state_->renderVoice(v, out, frames);
        if (at < frames || (!v.loop && v.pos >= v.end())) {
            state_->finish(v);
            state_->endings.emplace_back(at, v.id);
        }
    }
    state_->reportEndings(ended);
    for (float* sample = out; sample != out + 2 * frames; ++sample) *sample = underFullScale(*sample);
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

}  // namespace zorvan
