#pragma once
// Decoded sound files kept for the whole run: the race loads each engine thrice, and number
// clips, playWave's clips and whole banks come back again and again. Clips that no buffer holds
// stay up to a budget of bytes; past it the least recently used go.

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "sound/mixer.h"

namespace zorvan {

class ClipCache {
public:
    static constexpr std::size_t kDefaultKeepBytes = 24u << 20;

    explicit ClipCache(std::size_t keepUnusedBytes = kDefaultKeepBytes) : keepUnusedBytes_(keepUnusedBytes) {}
    ClipCache(const ClipCache&) = delete;
    ClipCache& operator=(const ClipCache&) = delete;

    // The clip stored under `key` (a file's whole path), or null.
    std::shared_ptr<const PcmClip> find(const std::string& key);
    void store(const std::string& key, std::shared_ptr<const PcmClip> clip);

private:
    void dropUnused();

    struct Entry {
        std::shared_ptr<const PcmClip> clip;
        std::uint64_t lastUse = 0;
    };
    std::size_t keepUnusedBytes_;
    std::map<std::string, Entry> entries_;
    std::uint64_t uses_ = 0;
};

}  // namespace zorvan
