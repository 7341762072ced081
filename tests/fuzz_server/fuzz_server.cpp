// The score server's request handling under libFuzzer, from the query string to what is
// stored and served: the input's first byte picks the request ("u" an update, anything else
// a table request), the rest is its query string, decoded as the HTTP layer decodes it.
// Accepted submissions go into an in-memory table whose game reply and web text are then
// checked for the properties the server promises.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "../../server/text.h"
#include "../../server/wire.h"

namespace {

using namespace zorvan::scores;

void require(bool ok) {
    if (!ok) std::abort();
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// %XX becomes its byte, '+' a blank; a '%' without two hex digits stays as it is.
std::string decode(std::string_view s) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '%' && i + 2 < s.size() && hexValue(s[i + 1]) >= 0 &&
            hexValue(s[i + 2]) >= 0) {
            out += static_cast<char>(hexValue(s[i + 1]) * 16 + hexValue(s[i + 2]));
            i += 2;
        } else {
            out += s[i] == '+' ? ' ' : s[i];
        }
    }
    return out;
}

QueryParams parseQuery(std::string_view q) {
    QueryParams params;
    while (!q.empty()) {
        auto amp = q.find('&');
        std::string_view pair = q.substr(0, amp);
        auto eq = pair.find('=');
        params.emplace(decode(pair.substr(0, eq)), eq == std::string_view::npos ? "" : decode(pair.substr(eq + 1)));
        if (amp == std::string_view::npos) break;
        q.remove_prefix(amp + 1);
    }
    return params;
}

bool validUtf8WithoutControls(const std::string& s) {
    for (std::size_t i = 0; i < s.size();) {
        auto b = static_cast<unsigned char>(s[i]);
        if (b < 0x20 || b == 0x7F) return false;
        int extra = b < 0x80 ? 0 : (b & 0xE0) == 0xC0 ? 1 : (b & 0xF0) == 0xE0 ? 2 : (b & 0xF8) == 0xF0 ? 3 : -1;
        if (extra < 0 || i + static_cast<std::size_t>(extra) >= s.size() + (extra ? 0 : 1)) return false;
        for (int k = 1; k <= extra; ++k)
            if ((static_cast<unsigned char>(s[i + static_cast<std::size_t>(k)]) & 0xC0) != 0x80) return false;
        i += static_cast<std::size_t>(extra) + 1;
    }
    return true;
}

// The game's reply: a first line, then records of the grammar with one separator each.
void checkReply(const std::string& reply, std::size_t records) {
    require(reply.rfind("zorvan\n", 0) == 0);
    require(static_cast<std::size_t>(std::count(reply.begin(), reply.end(), '\n')) == records + 1);
    std::size_t at = 7;
    for (std::size_t r = 0; r < records; ++r) {
        std::size_t end = reply.find('\n', at);
        std::string_view line(reply.data() + at, end - at);
        require(line.front() == ':' && line.size() >= 2 && line.substr(line.size() - 2) == "[]");
        for (char sep : {':', '@', ';', '~', '^', '[', ']'})
            require(std::count(line.begin(), line.end(), sep) == 1);
        at = end + 1;
    }
}

std::vector<TableRow> table[10];
std::vector<std::tuple<std::int32_t, std::string>> keys;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    std::string_view in(reinterpret_cast<const char*>(data), size);
    QueryParams q = parseQuery(in.substr(1));
    if (in[0] != 'u') {
        auto v = parseView(q);
        if (auto* t = std::get_if<TableRequest>(&v)) {
            require(t->inTop >= 1 && t->inTop <= kMaxInTop && t->difficulty >= 5 && t->difficulty <= 9);
            auto& rows = table[t->difficulty];
            std::vector<TableRow> top(rows.begin(), rows.begin() + std::min<std::size_t>(rows.size(), t->inTop));
            checkReply(formatTable(top), top.size());
        }
        return 0;
    }
    auto parsed = parseUpdate(q);
    if (auto* p = std::get_if<StatsPiece>(&parsed)) {
        require(p->text.size() <= kMaxStatsPieceBytes && p->difficulty >= 5 && p->difficulty <= 9);
        return 0;
    }
    auto* s = std::get_if<Submission>(&parsed);
    if (!s) return 0;
    require(s->difficulty >= 5 && s->difficulty <= 9);
    require(!s->userName.empty() && s->userName.size() <= kMaxNameBytes);
    require(s->userEmail.size() <= kMaxEmailBytes && s->userCountry.size() <= kMaxCountryBytes);
    std::int64_t verify = 0;
    require(parseInt64(q.find("UserNameVerify")->second, verify) && verify == s->points + kVerifyOffset);

    // Stored once per TransID and name; the table keeps most points first, ties by arrival.
    if (std::find(keys.begin(), keys.end(), std::make_tuple(s->transId, s->userName)) != keys.end()) return 0;
    if (keys.size() > 2000) {
        keys.clear();
        for (auto& t : table) t.clear();
    }
    keys.emplace_back(s->transId, s->userName);
    auto& rows = table[s->difficulty];
    TableRow row{s->transId, s->points, s->userName, s->level, s->userCountry, "2026-01-01T00:00:00Z"};
    rows.insert(std::upper_bound(rows.begin(), rows.end(), row,
                                 [](const TableRow& a, const TableRow& b) { return a.points > b.points; }),
                row);
    std::vector<TableRow> top(rows.begin(), rows.begin() + std::min<std::size_t>(rows.size(), kMaxInTop));
    checkReply(formatTable(top), top.size());

    // What the web shows of it: UTF-8 text without control characters, and a link that
    // gives the stored bytes back.
    require(validUtf8WithoutControls(displayText(s->userName)));
    require(validUtf8WithoutControls(displayText(s->userCountry)));
    std::string link = percentEncode(s->userName);
    require(link.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-._~%") ==
            std::string::npos);
    require(decode(link) == s->userName);
    return 0;
}
