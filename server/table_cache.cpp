#include "table_cache.h"

#include <algorithm>

#include "wire.h"

namespace zorvan::scores {

std::string_view TableSnapshot::replyFor(int inTop) const {
    std::size_t n = std::min(ends.size() - 1, static_cast<std::size_t>(std::max(inTop, 0)));
    return std::string_view(reply).substr(0, ends[n]);
}

std::shared_ptr<const TableSnapshot> TableCache::get(int difficulty, std::uint64_t stamp) {
    {
        std::lock_guard lock(mutex_);
        const auto& s = slots_[difficulty];
        if (s && s->stamp >= stamp) return s;
    }
    // Built outside the lock: requests of other difficulties go on meanwhile. Two threads
    // may build the same snapshot after a submission; the newer one stays.
    auto snap = std::make_shared<TableSnapshot>();
    snap->stamp = stamp;
    snap->rows = store_.page(difficulty, 0, TableSnapshot::kCachedRows);
    std::vector<TableRow> shown(snap->rows.begin(),
                                snap->rows.begin() + std::min<std::size_t>(snap->rows.size(), kMaxInTop));
    snap->reply = formatTable(shown);
    // Served names hold no line break, so every '\n' ends a line.
    for (std::size_t i = 0; i < snap->reply.size(); ++i)
        if (snap->reply[i] == '\n') snap->ends.push_back(i + 1);
    std::lock_guard lock(mutex_);
    auto& s = slots_[difficulty];
    if (!s || s->stamp < snap->stamp) s = snap;
    return s->stamp >= snap->stamp ? s : snap;
}

}  // namespace zorvan::scores
