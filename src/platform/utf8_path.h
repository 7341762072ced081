#pragma once
// Paths to and from the program's UTF-8 strings. On Windows a std::string is taken to be in
// the ANSI code page and a path's string() is made in it, so a folder "C:\Users\Zoë" would
// be lost in a locale without "ë": every crossing goes through these instead.

#include <filesystem>
#include <string>
#include <string_view>

namespace zorvan {

inline std::filesystem::path pathFromUtf8(std::string_view utf8) {
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

inline std::string utf8Of(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

// A new empty folder "PREFIX-XXXXXX" in the system's temporary folder; empty on failure.
std::filesystem::path makeTemporaryFolder(std::string_view prefix);

}  // namespace zorvan
