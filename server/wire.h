#pragma once
// The game's wire format, server side: the query of a submission, a statistics piece and a
// table request, checked strictly; and the table reply. Independent of the HTTP layer.

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "score_store.h"

namespace zorvan::scores {

inline constexpr std::string_view kGameName = "zorvan";
inline constexpr std::string_view kGameId = "48zr517";
inline constexpr std::int64_t kVerifyOffset = 538;  // UserNameVerify = points + 538

// Decoded query parameters, as the HTTP layer hands them over (a key may repeat).
using QueryParams = std::multimap<std::string, std::string>;

struct BadRequest {
    std::string why;
};

struct StatsPiece {
    std::int32_t transId = 0;
    std::int64_t points = 0;
    int difficulty = 0;
    std::string text;
};

struct TableRequest {
    int inTop = 0;       // 1..kMaxInTop
    int difficulty = 0;  // the difficulty digit, 5..9
};

// "/update_zelk.php": a submission, or with stats=y a statistics piece.
std::variant<Submission, StatsPiece, BadRequest> parseUpdate(const QueryParams& q);
// "/view_zelk.php".
std::variant<TableRequest, BadRequest> parseView(const QueryParams& q);

// The reply to a table request: a first line naming the game (so an empty table is not an
// empty reply, which the client reads as a failed request), then one record per line,
// ":" transId "@" place ";" points "~" name "^" level "[]", places from 1.
std::string formatTable(const std::vector<TableRow>& rows);

// The name as served: bytes that would break the reply's grammar (":@;~^[]") and control
// bytes become '?'. The stored name is never changed.
std::string servedName(std::string_view name);

// Strict decimal: an optional '-', then digits only, within the range of the result.
bool parseInt64(std::string_view text, std::int64_t& out);
// Decimal as the game writes it: no leading zeros, no "-0".
bool parseCanonicalInt32(std::string_view text, std::int32_t& out);

}  // namespace zorvan::scores
