#pragma once
// The top of each table kept in memory, with the game's reply already formatted, until the
// store's change stamp moves. A table request then costs a lookup and a copy.

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "score_store.h"

namespace zorvan::scores {

struct TableSnapshot {
    std::uint64_t stamp = 0;
    // The best kCachedRows rows: one more than the longest reply, so a page of the web table
    // can tell whether anything follows.
    std::vector<TableRow> rows;
    std::string reply;              // formatTable of the first kMaxInTop rows
    std::vector<std::size_t> ends;  // ends[n]: the length of the reply that holds n records

    static constexpr int kCachedRows = kMaxInTop + 1;
    // The reply to a request for the best `inTop` (1..kMaxInTop): a prefix of `reply`.
    std::string_view replyFor(int inTop) const;
};

class TableCache {
public:
    explicit TableCache(ScoreStore& store) : store_(store) {}

    // The snapshot of one difficulty digit (0..9) at least as new as `stamp`, a value of
    // the store's changeStamp() read before this call.
    std::shared_ptr<const TableSnapshot> get(int difficulty, std::uint64_t stamp);

private:
    ScoreStore& store_;
    std::mutex mutex_;
    std::shared_ptr<const TableSnapshot> slots_[10];
};

}  // namespace zorvan::scores
