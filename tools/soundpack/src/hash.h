#pragma once
// FNV-1a, 64 bits: a cache key, not a security measure.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace zorvan::soundpack {

class Hasher {
public:
    Hasher& add(std::string_view s) {
        for (unsigned char c : s) step(c);
        step(0xff);  // field separator, so ("ab","c") differs from ("a","bc")
        return *this;
    }
    Hasher& add(std::span<const std::uint8_t> bytes) {
        for (auto c : bytes) step(c);
        step(0xff);
        return *this;
    }
    Hasher& add(long long v) { return add(std::to_string(v)); }
    std::uint64_t value() const { return h_; }
    std::string hex() const {
        static const char* digits = "0123456789abcdef";
        std::string s(16, '0');
        for (int i = 0; i < 16; ++i) s[std::size_t(15 - i)] = digits[(h_ >> (4 * i)) & 0xf];
        return s;
    }

private:
    void step(unsigned char c) {
        h_ ^= c;
        h_ *= 0x100000001b3ULL;
    }
    std::uint64_t h_ = 0xcbf29ce484222325ULL;
};

}  // namespace zorvan::soundpack
