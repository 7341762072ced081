#include "records/cipher.h"

namespace zorvan {
namespace {

// Only ASCII letters: upper-casing other bytes would depend on the machine's code page, and a
// text enciphered on one machine must decipher on another.
unsigned upperAscii(unsigned char c) { return (c >= 'a' && c <= 'z') ? c - ('a' - 'A') : c; }

std::string shift(std::string_view text, std::string_view key, bool forward) {
    if (key.empty()) return std::string(text);
    std::string result(text.size(), '\0');
    for (std::size_t i = 0; i < text.size(); ++i) {
        const unsigned c = static_cast<unsigned char>(text[i]);
        const unsigned k = upperAscii(static_cast<unsigned char>(key[(i + 1) % key.size()]));
        const unsigned code = forward ? c + k : c + 256 - k;
        result[i] = static_cast<char>(static_cast<unsigned char>(code % 256));
    }
    return result;
}

}  // namespace

std::string encryptString(std::string_view text, std::string_view key) {
    return shift(text, key, true);
}

std::string decryptString(std::string_view text, std::string_view key) {
    return shift(text, key, false);
}

}  // namespace zorvan
