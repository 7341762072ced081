#include "online/score_wire.h"

#include <algorithm>
#include <array>
#include <limits>

namespace zorvan {

namespace {

bool unreserved(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
           c == '_' || c == '~';
}

bool isBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view trimBlanks(std::string_view s) {
    while (!s.empty() && isBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && isBlank(s.back())) s.remove_suffix(1);
    return s;
}

void appendParam(std::string& url, std::string_view key, std::string_view value) {
    url += key;
    url += percentEncode(value);
}

}  // namespace

std::string percentEncode(std::string_view value) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(value.size() * 3);
    for (char ch : value) {
        auto c = static_cast<unsigned char>(ch);
        if (unreserved(c)) {
            out += ch;
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
    }
    return out;
}

std::string filterWords(std::string_view text) {
    static constexpr std::array<std::string_view, 6> kWords = {"fuck", "bitch", "shit", "bastard", "asshole",
                                                               "ass hole"};
    std::string out(text);
    for (std::string_view word : kWords) {
        std::size_t at = 0;
        while ((at = out.find(word, at)) != std::string::npos) {
            out.replace(at, word.size(), "****");
            at += 4;
        }
    }
    return out;
}

std::string submissionUrl(std::string_view base, const SubmissionFields& f) {
    std::string url(base);
    appendParam(url, "/update_zelk.php?GameName=", kScoreGameName);
    appendParam(url, "&UserName=", f.userName);
    appendParam(url, "&UserEmail=", f.userEmail);
    appendParam(url, "&UserCountry=", f.userCountry);
    appendParam(url, "&GameID=", kScoreGameId);
    appendParam(url, "&TransID=", f.transactionId);
    appendParam(url, "&UserScore=", f.storedScore);
    appendParam(url, "&UserNameVerify=", std::to_string(f.points + kVerifyOffset));
    appendParam(url, "&GameDifficulty=", f.difficultyDigit);
    appendParam(url, "&GameLevel=", f.gameLevel);
    return url;
}

std::string replayUrl(std::string_view base, std::string_view transactionId) {
    std::string url(base);
    appendParam(url, "/replay_zelk.php?TransID=", transactionId);
    return url;
}

std::string tableUrl(std::string_view base, std::int64_t inTop, std::string_view difficultyDigit) {
    std::string url(base);
    appendParam(url, "/view_zelk.php?InTop=", std::to_string(inTop));
    appendParam(url, "&GameName=", kScoreGameName);
    appendParam(url, "&GameID=", kScoreGameId);
    appendParam(url, "&GameDifficulty=", difficultyDigit);
    return url;
}

std::string statsUrl(std::string_view base, std::int64_t points, std::string_view piece,
                     std::string_view transactionId, std::string_view storedScore,
                     std::string_view difficultyDigit) {
    std::string url(base);
    appendParam(url, "/update_zelk.php?UserNameVerify=", std::to_string(points + kVerifyOffset));
    url += "&stats=y";
    appendParam(url, "&StatText=", piece);
    appendParam(url, "&GameName=", kScoreGameName);
    appendParam(url, "&GameID=", kScoreGameId);
    appendParam(url, "&TransID=", transactionId);
    appendParam(url, "&UserScore=", storedScore);
    appendParam(url, "&GameDifficulty=", difficultyDigit);
    return url;
}

bool parseWholeNumber(std::string_view text, std::int32_t& out) {
    text = trimBlanks(text);
    bool negative = false;
    if (!text.empty() && (text[0] == '-' || text[0] == '+')) {
        negative = text[0] == '-';
        text.remove_prefix(1);
    }
    if (text.empty() || text.size() > 10) return false;
    std::int64_t v = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + (c - '0');
    }
    if (negative) v = -v;
    if (v < std::numeric_limits<std::int32_t>::min() || v > std::numeric_limits<std::int32_t>::max()) return false;
    out = static_cast<std::int32_t>(v);
    return true;
}

std::int64_t leadingNumber(std::string_view text) {
    while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
    bool negative = false;
    if (!text.empty() && (text[0] == '-' || text[0] == '+')) {
        negative = text[0] == '-';
        text.remove_prefix(1);
    }
    constexpr std::int64_t kLimit = std::numeric_limits<std::int64_t>::max() / 10 - 9;
    std::int64_t v = 0;
    for (char c : text) {
        if (c < '0' || c > '9') break;
        if (v < kLimit) v = v * 10 + (c - '0');
    }
    return negative ? -v : v;
}

std::vector<RemoteRecord> parseTableReply(std::string_view reply, int maxRecords) {
    std::vector<RemoteRecord> records;
    const int limit = std::min(maxRecords, kMaxRemoteRecords);
    std::size_t from = 0;
    while (static_cast<int>(records.size()) < limit) {
        std::size_t semi = reply.find(';', from);
        if (semi == std::string_view::npos) break;
        std::size_t tilde = reply.find('~', semi + 1);
        if (tilde == std::string_view::npos) break;
        std::size_t caret = reply.find('^', tilde + 1);
        if (caret == std::string_view::npos) break;
        std::size_t close = reply.find("[]", caret + 1);
        if (close == std::string_view::npos) break;
        RemoteRecord r;
        if (!parseWholeNumber(reply.substr(semi + 1, tilde - semi - 1), r.score)) break;
        if (!parseWholeNumber(reply.substr(caret + 1, close - caret - 1), r.level)) break;
        r.name = std::string(reply.substr(tilde + 1, caret - tilde - 1));
        records.push_back(std::move(r));
        from = close;
    }
    return records;
}

std::int32_t findPlace(std::string_view reply, std::string_view transactionId) {
    std::string key = ":" + std::string(transactionId) + "@";
    std::size_t at = reply.find(key);
    if (at == std::string_view::npos) return 0;
    std::size_t placeFrom = at + key.size();
    std::size_t semi = reply.find(';', placeFrom);
    std::int32_t place = 0;
    if (semi == std::string_view::npos || !parseWholeNumber(reply.substr(placeFrom, semi - placeFrom), place))
        return 0;
    return place;
}

}  // namespace zorvan
