#include "sound/clip_cache.h"

#include <algorithm>
#include <vector>

namespace zorvan {

std::shared_ptr<const PcmClip> ClipCache::find(const std::string& key) {
    auto it = entries_.find(key);
    if (it == entries_.end()) return nullptr;
    it->second.lastUse = ++uses_;
    return it->second.clip;
}

void ClipCache::store(const std::string& key, std::shared_ptr<const PcmClip> clip) {
    entries_[key] = Entry{std::move(clip), ++uses_};
    dropUnused();
}

void ClipCache::dropUnused() {
    // Unused: only this cache holds them.
    std::vector<std::map<std::string, Entry>::iterator> unused;
    std::size_t bytes = 0;
    for (auto it = entries_.begin(); it != entries_.end(); ++it) {
        if (it->second.clip.use_count() > 1) continue;
        unused.push_back(it);
        bytes += it->second.clip->samples.size() * sizeof(float);
    }
    if (bytes <= keepUnusedBytes_) return;
    std::sort(unused.begin(), unused.end(), [](auto a, auto b) { return a->second.lastUse < b->second.lastUse; });
    for (auto it : unused) {
        if (bytes <= keepUnusedBytes_) break;
        bytes -= it->second.clip->samples.size() * sizeof(float);
        entries_.erase(it);
    }
}

}  // namespace zorvan
