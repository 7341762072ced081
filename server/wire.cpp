#include "wire.h"

#include <charconv>
#include <limits>
#include <optional>

namespace zorvan::scores {
namespace {

constexpr std::int64_t kInt32Min = std::numeric_limits<std::int32_t>::min();
constexpr std::int64_t kInt32Max = std::numeric_limits<std::int32_t>::max();

// The one value of a key; nullopt when it is missing, and `dup` set when it repeats (a
// repeated key could let one value override another, so such a request is refused).
std::optional<std::string> single(const QueryParams& q, std::string_view key, bool& dup) {
    auto [lo, hi] = q.equal_range(std::string(key));
    if (lo == hi) return std::nullopt;
    if (std::next(lo) != hi) {
        dup = true;
        return std::nullopt;
    }
    return lo->second;
}

struct Reader {
    const QueryParams& q;
    std::string error;

    std::optional<std::string> need(std::string_view key, std::size_t maxBytes) {
        if (!error.empty()) return std::nullopt;
        bool dup = false;
        auto v = single(q, key, dup);
        if (dup) {
            error = std::string(key) + " given more than once";
        } else if (!v) {
            error = std::string(key) + " missing";
        } else if (v->size() > maxBytes) {
            error = std::string(key) + " too long";
            v.reset();
        }
        return v;
    }

    bool fail(std::string why) {
        if (error.empty()) error = std::move(why);
        return false;
    }
};

bool isDifficultyDigit(std::string_view s) { return s.size() == 1 && s[0] >= '5' && s[0] <= '9'; }

// Checks GameName, GameID, UserScore, UserNameVerify and GameDifficulty, which a submission
// and a statistics piece share.
bool readScore(Reader& r, std::int64_t& points, int& difficulty) {
    auto name = r.need("GameName", 32);
    auto id = r.need("GameID", 32);
    auto score = r.need("UserScore", 24);
    auto verify = r.need("UserNameVerify", 24);
    auto digit = r.need("GameDifficulty", 8);
    if (!r.error.empty()) return false;
    if (*name != kGameName || *id != kGameId) return r.fail("not this game");
    if (!isDifficultyDigit(*digit)) return r.fail("GameDifficulty is not a difficulty digit");
    if (score->size() < 2 || score->back() != (*digit)[0])
        return r.fail("UserScore does not end in GameDifficulty");
    if (!parseInt64(std::string_view(*score).substr(0, score->size() - 1), points) || points < kInt32Min ||
        points > kInt32Max)
        return r.fail("UserScore is not a score");
    std::int64_t check = 0;
    if (!parseInt64(*verify, check) || check != points + kVerifyOffset) return r.fail("UserNameVerify does not match");
    difficulty = (*digit)[0] - '0';
    return true;
}

}  // namespace

bool parseInt64(std::string_view text, std::int64_t& out) {
    if (text.empty() || text.size() > 20) return false;
    std::size_t digitsFrom = text[0] == '-' ? 1 : 0;
    if (digitsFrom == text.size()) return false;
    for (std::size_t i = digitsFrom; i < text.size(); ++i)
        if (text[i] < '0' || text[i] > '9') return false;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
    return ec == std::errc() && end == text.data() + text.size();
}

bool parseCanonicalInt32(std::string_view text, std::int32_t& out) {
    std::int64_t v = 0;
    if (!parseInt64(text, v) || v < kInt32Min || v > kInt32Max) return false;
    std::string_view digits = text[0] == '-' ? text.substr(1) : text;
    if (digits.size() > 1 && digits[0] == '0') return false;
    if (text[0] == '-' && v == 0) return false;
    out = static_cast<std::int32_t>(v);
    return true;
}

std::variant<Submission, StatsPiece, BadRequest> parseUpdate(const QueryParams& q) {
    Reader r{q, {}};
    bool dup = false;
    auto stats = single(q, "stats", dup);
    if (dup) return BadRequest{"stats given more than once"};
    if (stats && *stats != "y") return BadRequest{"stats must be y"};

    std::int64_t points = 0;
    int difficulty = 0;
    bool scoreOk = readScore(r, points, difficulty);
    auto trans = r.need("TransID", 12);
    if (!scoreOk || !r.error.empty()) return BadRequest{r.error};
    std::int32_t transId = 0;
    if (!parseCanonicalInt32(*trans, transId)) return BadRequest{"TransID is not a number"};

    if (stats) {
        auto text = r.need("StatText", kMaxStatsPieceBytes);
        if (!text) return BadRequest{r.error};
        return StatsPiece{transId, points, difficulty, std::move(*text)};
    }

    auto user = r.need("UserName", kMaxNameBytes);
    auto email = r.need("UserEmail", kMaxEmailBytes);
    auto country = r.need("UserCountry", kMaxCountryBytes);
    auto level = r.need("GameLevel", 12);
    if (!r.error.empty()) return BadRequest{r.error};
    if (user->empty()) return BadRequest{"UserName is empty"};
    std::int64_t lv = 0;
    if (!parseInt64(*level, lv) || lv < kInt32Min || lv > kInt32Max) return BadRequest{"GameLevel is not a number"};

    Submission s;
    s.transId = transId;
    s.userName = std::move(*user);
    s.userEmail = std::move(*email);
    s.userCountry = std::move(*country);
    s.points = points;
    s.difficulty = difficulty;
    s.level = static_cast<std::int32_t>(lv);
    return s;
}

std::variant<TableRequest, BadRequest> parseView(const QueryParams& q) {
    Reader r{q, {}};
    auto inTop = r.need("InTop", 8);
    auto name = r.need("GameName", 32);
    auto id = r.need("GameID", 32);
    auto digit = r.need("GameDifficulty", 8);
    if (!r.error.empty()) return BadRequest{r.error};
    if (*name != kGameName || *id != kGameId) return BadRequest{"not this game"};
    if (!isDifficultyDigit(*digit)) return BadRequest{"GameDifficulty is not a difficulty digit"};
    std::int64_t n = 0;
    if (!parseInt64(*inTop, n) || n < 1 || n > kMaxInTop) return BadRequest{"InTop must be 1 to 500"};
    return TableRequest{static_cast<int>(n), (*digit)[0] - '0'};
}

std::string servedName(std::string_view name) {
    std::string out(name);
    for (char& c : out) {
        auto b = static_cast<unsigned char>(c);
        if (b < 0x20 || b == 0x7f || c == ':' || c == '@' || c == ';' || c == '~' || c == '^' || c == '[' ||
            c == ']')
            c = '?';
    }
    return out;
}

std::string formatTable(const std::vector<TableRow>& rows) {
    std::string out = "zorvan\n";
    int place = 0;
    for (const TableRow& row : rows) {
        ++place;
        out += ':';
        out += std::to_string(row.transId);
        out += '@';
        out += std::to_string(place);
        out += ';';
        out += std::to_string(row.points);
        out += '~';
        out += servedName(row.userName);
        out += '^';
        out += std::to_string(row.level);
        out += "[]\n";
    }
    return out;
}

}  // namespace zorvan::scores
