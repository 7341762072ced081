#pragma once
// Windows virtual-key codes: the game, keys.dat and the key scripts all speak them.

#include <optional>
#include <string>
#include <string_view>

namespace zorvan::vk {

constexpr int Backspace = 8, Tab = 9, Enter = 13, Shift = 16, Ctrl = 17, Alt = 18, Escape = 27,
              Space = 32, PageUp = 33, PageDown = 34, End = 35, Home = 36, Left = 37, Up = 38,
              Right = 39, Down = 40, Insert = 45, Delete = 46, F1 = 112, F2 = 113, F5 = 116,
              F6 = 117, F7 = 118, F8 = 119, F9 = 120, F10 = 121, F11 = 122, F12 = 123;

constexpr int letter(char c) { return c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c; }

// "Up", "F5", "a", "7" (the digit key) or a decimal code ("13").
std::optional<int> parse(std::string_view name);
// A readable name for logs and messages ("Enter", "F5", "A", "code 186").
std::string name(int code);

}  // namespace zorvan::vk
