#pragma once
// The game's counters (points, levels, lifes, items, statistics) stop at the limits of
// their types instead of overflowing, however long a game runs or whatever a file held.

#include <algorithm>
#include <cstdint>
#include <limits>

namespace zorvan {

template <typename Int>
constexpr Int saturatingAdd(Int value, std::int64_t amount) {
    constexpr std::int64_t lo = std::numeric_limits<Int>::min();
    constexpr std::int64_t hi = std::numeric_limits<Int>::max();
    amount = std::clamp<std::int64_t>(amount, lo - hi, hi - lo);  // the sum below stays in range
    return static_cast<Int>(std::clamp<std::int64_t>(static_cast<std::int64_t>(value) + amount, lo, hi));
}

template <typename Int>
constexpr void saturatingIncrement(Int& value) {
    value = saturatingAdd(value, 1);
}

}  // namespace zorvan
