#pragma once
// Builds WAV files in memory, including deliberately broken ones.

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace zorvan::test {

class WavBuilder {
public:
    WavBuilder& format(std::uint16_t channels, std::uint32_t rate, std::uint16_t bits, std::uint16_t code = 1) {
        std::vector<std::uint8_t> f;
        put16(f, code);
        put16(f, channels);
        put32(f, rate);
        put32(f, rate * channels * (bits / 8));
        put16(f, static_cast<std::uint16_t>(channels * (bits / 8)));
        put16(f, bits);
        return chunk("fmt ", f);
    }
    WavBuilder& data(const std::vector<std::uint8_t>& bytes) { return chunk("data", bytes); }
    WavBuilder& data16(const std::vector<std::int16_t>& samples) {
        std::vector<std::uint8_t> b;
        for (auto s : samples) put16(b, static_cast<std::uint16_t>(s));
        return data(b);
    }
    // A chunk whose size field may lie; pad adds the even-size pad byte for odd bodies.
    WavBuilder& chunk(const char* id, const std::vector<std::uint8_t>& body, bool pad = true,
                      std::int64_t claimedSize = -1) {
        body_.insert(body_.end(), id, id + 4);
        put32(body_, static_cast<std::uint32_t>(claimedSize >= 0 ? claimedSize : static_cast<std::int64_t>(body.size())));
        body_.insert(body_.end(), body.begin(), body.end());
        if (pad && body.size() % 2) body_.push_back(0);
        return *this;
    }
    WavBuilder& riffSize(std::uint32_t size) {
        riffSize_ = size;
        fixedRiffSize_ = true;
        return *this;
    }
    std::vector<std::uint8_t> bytes() const {
        std::vector<std::uint8_t> out{'R', 'I', 'F', 'F'};
        put32(out, fixedRiffSize_ ? riffSize_ : static_cast<std::uint32_t>(body_.size() + 4));
        out.insert(out.end(), {'W', 'A', 'V', 'E'});
        out.insert(out.end(), body_.begin(), body_.end());
        return out;
    }

    static void put16(std::vector<std::uint8_t>& v, std::uint16_t x) {
        v.push_back(static_cast<std::uint8_t>(x));
        v.push_back(static_cast<std::uint8_t>(x >> 8));
    }
    static void put32(std::vector<std::uint8_t>& v, std::uint32_t x) {
        for (int i = 0; i < 4; ++i) v.push_back(static_cast<std::uint8_t>(x >> (8 * i)));
    }

private:
    std::vector<std::uint8_t> body_;
    std::uint32_t riffSize_ = 0;
    bool fixedRiffSize_ = false;
};

}  // namespace zorvan::test
