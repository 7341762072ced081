// RIFF WAVE decoding. Files come from our own sound pack, but a player may drop any file into
// the sounds folder, so every size field is distrusted: chunks are walked within the bytes we
// actually have, a data chunk that claims more than is there is cut to what is there, and a
// trailing partial frame is dropped.

#include "sound/mixer.h"

#include <cstring>
#include <iterator>
#include <limits>

namespace zorvan {
namespace {

constexpr std::uint16_t kFormatPcm = 1;
constexpr std::uint16_t kFormatExtensible = 0xFFFE;

std::uint16_t le16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }
std::uint32_t le32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

bool looksLikeChunkId(const std::uint8_t* p) {
    for (int i = 0; i < 4; ++i)
        if (p[i] < 0x20 || p[i] > 0x7E) return false;
    return true;
}

// Walks the sample bytes and yields floats, so that a vector can be built from them in one
// pass of known length.
template <class Decode, std::ptrdiff_t Width>
struct Samples {
    using iterator_category = std::random_access_iterator_tag;
    using value_type = float;
    using difference_type = std::ptrdiff_t;
    using pointer = const float*;
    using reference = float;

    const std::uint8_t* at;
    Decode decode;

    float operator*() const { return decode(at); }
    Samples& operator++() {
        at += Width;
        return *this;
    }
    Samples operator++(int) {
        Samples old = *this;
        at += Width;
        return old;
    }
    Samples& operator--() {
        at -= Width;
        return *this;
    }
    Samples& operator+=(difference_type n) {
        at += n * Width;
        return *this;
    }
    difference_type operator-(const Samples& other) const { return (at - other.at) / Width; }
    bool operator==(const Samples& other) const { return at == other.at; }
    bool operator!=(const Samples& other) const { return at != other.at; }
};

std::shared_ptr<const PcmClip> fail(std::string* error, const char* what) {
    if (error) *error = what;
    return nullptr;
}

}  // namespace

std::shared_ptr<const PcmClip> decodeWav(std::span<const std::uint8_t> bytes, std::string* error) {
    const std::uint8_t* base = bytes.data();
    const std::size_t size = bytes.size();
    if (size < 12 || std::memcmp(base, "RIFF", 4) != 0 || std::memcmp(base + 8, "WAVE", 4) != 0)
        return fail(error, "not a RIFF WAVE file");

    // The RIFF size is often wrong (streamed writers leave it 0 or too large): trust the bytes.
    bool haveFormat = false;
    std::uint16_t format = 0, channels = 0, bits = 0;
    std::uint32_t rate = 0;
    const std::uint8_t* data = nullptr;
    std::size_t dataSize = 0;

    std::size_t at = 12;
    while (at + 8 <= size) {
        const std::uint8_t* header = base + at;
        const std::size_t available = size - (at + 8);
        const std::size_t claimed = le32(header + 4);
        const std::size_t body = claimed < available ? claimed : available;
        if (std::memcmp(header, "fmt ", 4) == 0 && !haveFormat) {
            if (body < 16) return fail(error, "format chunk too short");
            const std::uint8_t* f = header + 8;
            format = le16(f);
            channels = le16(f + 2);
            rate = le32(f + 4);
            bits = le16(f + 14);
            if (format == kFormatExtensible) {
                // The sub-format GUID starts with the plain format code.
                if (body < 40) return fail(error, "extensible format chunk too short");
                format = le16(f + 24);
            }
            haveFormat = true;
        } else if (std::memcmp(header, "data", 4) == 0 && !data) {
            data = header + 8;
            dataSize = body;
        }
        if (claimed >= available) break;  // the chunk runs to (or past) the end of the file
        std::size_t next = at + 8 + claimed;
        // Chunks are padded to even sizes, but some writers forget the pad byte.
        if (claimed % 2 == 1) {
            const bool paddedOk = next + 1 + 4 <= size && looksLikeChunkId(base + next + 1);
            const bool unpaddedOk = next + 4 <= size && looksLikeChunkId(base + next);
            if (paddedOk || !unpaddedOk) ++next;
        }
        at = next;
    }

    if (!haveFormat) return fail(error, "no format chunk");
    if (format != kFormatPcm) return fail(error, "not PCM (compressed or floating-point samples)");
    if (channels != 1 && channels != 2) return fail(error, "only mono and stereo are supported");
    if (bits != 8 && bits != 16) return fail(error, "only 8- and 16-bit samples are supported");
    if (rate == 0 || rate > static_cast<std::uint32_t>(std::numeric_limits<int>::max()))
        return fail(error, "invalid sample rate");
    if (!data) return fail(error, "no data chunk");

    const std::size_t bytesPerSample = bits / 8;
    const std::size_t frames = dataSize / (bytesPerSample * channels);
    const std::size_t count = frames * channels;

    auto clip = std::make_shared<PcmClip>();
    clip->rate = static_cast<int>(rate);
    clip->channels = channels;
    // Built straight from the samples: no zero-filled vector written over afterwards.
    if (bits == 8) {
        auto sample = [](const std::uint8_t* p) { return (static_cast<int>(*p) - 128) * (1.0f / 128.0f); };
        clip->samples.assign(Samples<decltype(sample), 1>{data, sample},
                             Samples<decltype(sample), 1>{data + count, sample});
    } else {
        auto sample = [](const std::uint8_t* p) { return static_cast<std::int16_t>(le16(p)) * (1.0f / 32768.0f); };
        clip->samples.assign(Samples<decltype(sample), 2>{data, sample},
                             Samples<decltype(sample), 2>{data + 2 * count, sample});
    }
    if (error) error->clear();
    return clip;
}

}  // namespace zorvan
