// zorvan-soundpack: makes the game's sounds and delivers its data files.
//
//   zorvan-soundpack --manifest FILE --game DIR --cache DIR [--data DIR] [--jobs N]
//   zorvan-soundpack --manifest FILE --render PATH --out FILE [--cache DIR]

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <string>

#include "hash.h"
#include "pack.h"

namespace sp = zorvan::soundpack;

namespace {

int usage() {
    std::cerr << "usage: zorvan-soundpack --manifest FILE --game DIR --cache DIR [--data DIR] [--jobs N]\n"
                 "       zorvan-soundpack --manifest FILE --render PATH --out FILE [--cache DIR]\n";
    return 2;
}

// Any change to the generator's code changes the executable, and so every clip's key.
std::string selfFingerprint() {
    return sp::Hasher().add(sp::readFileBytes("/proc/self/exe")).hex();
}

}  // namespace

int main(int argc, char** argv) {
    sp::PackOptions o;
    std::string render, out;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc) throw std::runtime_error(a + " needs a value");
            return argv[++i];
        };
        try {
            if (a == "--manifest") o.manifestPath = value();
            else if (a == "--game") o.gameDir = value();
            else if (a == "--cache") o.cacheDir = value();
            else if (a == "--data") o.dataDir = value();
            else if (a == "--jobs") o.jobs = std::stoi(value());
            else if (a == "--render") render = value();
            else if (a == "--out") out = value();
            else return usage();
        } catch (const std::exception& e) {
            std::cerr << "zorvan-soundpack: " << e.what() << "\n";
            return usage();
        }
    }
    if (o.manifestPath.empty()) return usage();
    try {
        if (!render.empty()) {
            if (out.empty()) return usage();
            if (o.cacheDir.empty()) o.cacheDir = std::filesystem::temp_directory_path() / "zorvan-soundpack-cache";
            for (const auto& c : sp::loadManifest(o.manifestPath)) {
                if (c.path != render) continue;
                sp::SpeechSynth speech(o.cacheDir, o.voice);
                if (!sp::writeIfDifferent(out, sp::encodeWav16(sp::renderClip(c, speech)))) std::cout << out << " unchanged\n";
                return 0;
            }
            std::cerr << "zorvan-soundpack: the manifest has no " << render << "\n";
            return 1;
        }
        if (o.gameDir.empty() || o.cacheDir.empty()) return usage();
        o.fingerprint = selfFingerprint();
        o.log = [](const std::string& line) { std::cout << "soundpack: " << line << "\n" << std::flush; };
        const auto start = std::chrono::steady_clock::now();
        const sp::PackReport r = sp::buildPack(o);
        const double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        for (const auto& d : r.dataDelivered) std::cout << "soundpack: delivered " << d << "\n";
        char line[256];
        std::snprintf(line, sizeof line,
                      "soundpack: %zu clips, %.1f MB: %zu made, %zu from cache, %zu written, %zu stale removed, %.1f s\n",
                      r.clips, double(r.bytes) / 1e6, r.made, r.fromCache, r.written, r.removed, secs);
        std::cout << line;
        return 0;
    } catch (const std::exception& e) {
        std::cerr << "zorvan-soundpack: " << e.what() << "\n";
        return 1;
    }
}
