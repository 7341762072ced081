#include "platform/utf8_path.h"

#include <random>
#include <system_error>

#ifndef _WIN32
#include <stdlib.h>
#endif

namespace zorvan {

std::filesystem::path makeTemporaryFolder(std::string_view prefix) {
    std::error_code ec;
    const std::filesystem::path base = std::filesystem::temp_directory_path(ec);
    if (ec) return {};
#ifdef _WIN32
    // create_directory fails on a name already there, so a taken name is never shared.
    std::random_device entropy;
    std::mt19937_64 draw(entropy());
    static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name(prefix);
        name += '-';
        for (int i = 0; i < 6; ++i) name += kLetters[draw() % (sizeof kLetters - 1)];
        const std::filesystem::path folder = base / pathFromUtf8(name);
        if (std::filesystem::create_directory(folder, ec)) return folder;
        if (ec && ec != std::errc::file_exists) return {};
    }
    return {};
#else
    std::string pattern = (base / (std::string(prefix) + "-XXXXXX")).string();
    if (!::mkdtemp(pattern.data())) return {};
    return pattern;
#endif
}

}  // namespace zorvan
