#include "platform/keys.h"

#include <array>
#include <cctype>
#include <charconv>
#include <utility>

namespace zorvan::vk {

namespace {

constexpr std::array<std::pair<std::string_view, int>, 20> kNames{{
    {"Backspace", Backspace}, {"Tab", Tab},       {"Enter", Enter},       {"Shift", Shift},
    {"Ctrl", Ctrl},           {"Alt", Alt},       {"Escape", Escape},     {"Space", Space},
    {"PageUp", PageUp},       {"PageDown", PageDown}, {"End", End},       {"Home", Home},
    {"Left", Left},           {"Up", Up},         {"Right", Right},       {"Down", Down},
    {"Insert", Insert},       {"Delete", Delete}, {"Esc", Escape},        {"Return", Enter},
}};

bool equalNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

}  // namespace

std::optional<int> parse(std::string_view text) {
    if (text.size() == 1) {
        char c = text[0];
        if (std::isalpha(static_cast<unsigned char>(c))) return letter(c);
        if (std::isdigit(static_cast<unsigned char>(c))) return c;
    }
    for (auto [n, code] : kNames)
        if (equalNoCase(n, text)) return code;
    if (text.size() >= 2 && (text[0] == 'F' || text[0] == 'f')) {
        int f = 0;
        auto [p, ec] = std::from_chars(text.data() + 1, text.data() + text.size(), f);
        if (ec == std::errc() && p == text.data() + text.size() && f >= 1 && f <= 24) return F1 + f - 1;
    }
    int code = 0;
    auto [p, ec] = std::from_chars(text.data(), text.data() + text.size(), code);
    if (ec == std::errc() && p == text.data() + text.size() && code > 0 && code < 256) return code;
    return std::nullopt;
}

std::string name(int code) {
    for (auto [n, c] : kNames)
        if (c == code) return std::string(n);
    if ((code >= 'A' && code <= 'Z') || (code >= '0' && code <= '9')) return std::string(1, static_cast<char>(code));
    if (code >= F1 && code <= F1 + 23) return "F" + std::to_string(code - F1 + 1);
    return "code " + std::to_string(code);
}

}  // namespace zorvan::vk
