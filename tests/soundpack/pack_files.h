#pragma once
// Shared by the sound-pack tests: where things are, the list of sounds the game asks for, and
// the pack's files decoded once.

#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "audio.h"
#include "manifest.h"

namespace packtest {

namespace fs = std::filesystem;
namespace sp = zorvan::soundpack;

inline fs::path gameDir() { return ZORVAN_GAME_DIR; }
inline fs::path sourceDir() { return ZORVAN_SOURCE_DIR; }
inline fs::path manifestPath() { return sourceDir() / "tools/soundpack/manifest.tsv"; }
inline fs::path dataSourceDir() { return sourceDir() / "tools/soundpack/data"; }

inline const std::vector<sp::Clip>& manifest() {
    static const std::vector<sp::Clip> clips = sp::loadManifest(manifestPath().string());
    return clips;
}

// required_sounds.txt by section name ("menu bank", "playWave", ...), in file order.
inline const std::map<std::string, std::vector<std::string>>& requiredSounds() {
    static const auto sections = [] {
        std::map<std::string, std::vector<std::string>> s;
        std::ifstream in(sourceDir() / "tests/soundpack/required_sounds.txt");
        std::string line, current;
        while (std::getline(in, line)) {
            if (line.rfind("# [", 0) == 0) {
                current = line.substr(3, line.find(']') - 3);
                s[current];
            } else if (!line.empty() && line[0] != '#') {
                s[current].push_back(line);
            }
        }
        return s;
    }();
    return sections;
}

inline std::string readText(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

// The pack's file at `relative`, decoded once per test run.
inline const sp::WavFile& packFile(const std::string& relative) {
    static std::map<std::string, std::unique_ptr<sp::WavFile>> cache;
    auto& slot = cache[relative];
    if (!slot) slot = std::make_unique<sp::WavFile>(sp::readWavFile((gameDir() / relative).string()));
    return *slot;
}

}  // namespace packtest
