// The bytes of keys.dat, apart from the menu so that a reader of the file alone can use them.

#include <charconv>
#include <limits>

#include "menus/key_map.h"

namespace zorvan {

namespace {

std::string_view trimBlanks(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

std::optional<std::int16_t> parseCode(std::string_view text) {
    text = trimBlanks(text);
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    long value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc{} || end != text.data() + text.size()) return std::nullopt;
    if (value < std::numeric_limits<std::int16_t>::min() || value > std::numeric_limits<std::int16_t>::max())
        return std::nullopt;
    return static_cast<std::int16_t>(value);
}

}  // namespace

std::optional<KeyCodes> parseKeysFile(std::string_view bytes) {
    KeyCodes codes{};
    std::size_t read = 0;
    while (read < codes.size() && !bytes.empty()) {
        const std::size_t eol = bytes.find('\n');
        std::string_view line = bytes.substr(0, eol);
        bytes = eol == std::string_view::npos ? std::string_view{} : bytes.substr(eol + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        auto code = parseCode(line);
        if (!code) return std::nullopt;
        codes[read++] = *code;
    }
    if (read < codes.size()) return std::nullopt;
    return codes;
}

std::string formatKeysFile(const KeyCodes& codes) {
    std::string out;
    for (std::int16_t code : codes) {
        const int value = code;
        out += value < 0 ? '-' : ' ';
        out += std::to_string(value < 0 ? -value : value);
        out += " \r\n";
    }
    return out;
}

}  // namespace zorvan
