#pragma once
// The software mixer behind every SoundBuffer: whole-file PCM voices with volume, pan and
// playback rate, mixed to stereo float. Used from the game thread (parameter changes) and
// from the audio callback thread (render), so every public call is safe across those two.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace zorvan {

// One decoded sound, shared read-only by every voice made from it.
struct PcmClip {
    int rate = 0;                // the file's own sample rate, Hz
    int channels = 0;            // 1 or 2
    std::vector<float> samples;  // interleaved, -1..1
    std::size_t frames() const { return channels ? samples.size() / channels : 0; }
};

// Decodes a RIFF WAVE file of 8- or 16-bit PCM, mono or stereo, any rate.
// Returns nullptr and sets `error` when the bytes are not such a file.
std::shared_ptr<const PcmClip> decodeWav(std::span<const std::uint8_t> bytes, std::string* error);

// Voices of the Music group (the menu music, the race's ambience) can be turned down apart from
// the rest; every voice is in the Effects group until told otherwise.
enum class SoundGroup : std::uint8_t { Effects, Music };

class Mixer {
public:
    using VoiceId = std::uint32_t;  // never 0, never reused within one mixer

    explicit Mixer(int deviceRate);  // output rate, Hz (44100 or 48000)
    ~Mixer();
    Mixer(const Mixer&) = delete;
    Mixer& operator=(const Mixer&) = delete;

    int deviceRate() const { return deviceRate_; }

    // Every command given to this mixer (create, release, play, stop, rewind, volume, pan,
    // frequency) is then given to `follower` too, which must have been given none of its own:
    // the same voices under the same ids, played at the follower's own rate and pace. The real
    // platform keeps its clock's mixer in step with the device's this way. Null: none.
    void setFollower(Mixer* follower) { follower_ = follower; }

    // A new voice: stopped, position 0, volume 0, pan 0, frequency = the clip's rate.
    VoiceId create(std::shared_ptr<const PcmClip> clip);
    // Fades out over 2 ms (no click) and is gone at once for every other call; unknown ids
    // are ignored.
    void release(VoiceId id);

    // Starts from the current position. On a playing voice only switches once/loop.
    void play(VoiceId id, bool loop);
    void stop(VoiceId id);    // keeps the position; the sound fades out over 2 ms
    void rewind(VoiceId id);  // position 0, playing or not

    void setVolume(VoiceId id, std::int32_t volume);  // hundredths of a dB, -10000..0
    std::int32_t volume(VoiceId id) const;
    // A silenced voice plays on, ends and reports its end as before, but is not heard; its
    // volume() is what was set. For clips whose words the system's speech says instead.
    void setSilenced(VoiceId id, bool silenced);
    bool silenced(VoiceId id) const;
    void setPan(VoiceId id, std::int32_t pan);  // -10000 left only .. 10000 right only
    std::int32_t pan(VoiceId id) const;
    void setFrequency(VoiceId id, std::int32_t hz);  // stored as given; clamped to 100..200000 when mixing
    std::int32_t frequency(VoiceId id) const;

    // Player-chosen levels applied after each voice's own volume, hundredths of a dB,
    // -10000 (silent) .. 0; the voices' own volumes stay what the game set.
    void setGroup(VoiceId id, SoundGroup group);
    void setGroupVolume(SoundGroup group, std::int32_t volume);
    std::int32_t groupVolume(SoundGroup group) const;
    void setMasterVolume(std::int32_t volume);  // every voice
    std::int32_t masterVolume() const;

    bool isPlaying(VoiceId id) const;  // a one-shot play in progress
    bool isLooping(VoiceId id) const;  // playing in a loop

    // Mixes `frames` stereo frames into `out` (interleaved L R, overwritten, not added to).
    // One-shot voices that reach their end stop, rewind to 0 and are appended to `ended`
    // (when not null), in the order they ended.
    void render(float* out, std::size_t frames, std::vector<VoiceId>* ended = nullptr);
    // The same as render without producing samples: positions move, one-shots end. Cheap.
    void advance(std::size_t frames, std::vector<VoiceId>* ended = nullptr);
    // Output frames until the first playing one-shot ends (at least 1), or nothing when no
    // one-shot plays. advance() by exactly this many frames ends that voice.
    std::optional<std::size_t> framesUntilNextEnd() const;

    // The loop that sums the voices: "scalar" (the reference), "sse2" or "avx2", all giving the
    // same output. The fastest the processor runs is used unless the environment variable
    // ZORVAN_MIXER_KERNEL names another.
    static std::vector<std::string> kernels();  // those this build and processor can run
    bool useKernel(std::string_view name);      // false when not among kernels()
    std::string kernel() const;

private:
    struct Voice;
    struct State;
    int deviceRate_;
    Mixer* follower_ = nullptr;
    std::unique_ptr<State> state_;
};

}  // namespace zorvan
