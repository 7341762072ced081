#include "web.h"

#include <ctemplate/template.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <optional>
#include <variant>
#include <vector>

namespace zorvan::scores {
namespace {

constexpr const char* kTemplateKey = "zorvan-scores/page.tpl";
constexpr const char kPageTemplate[] =
#include "page_template.inc"
    ;

constexpr const char* kHtml = "text/html; charset=utf-8";
constexpr const char* kJson = "application/json";

struct Difficulty {
    int digit;
    const char* key;    // as in URLs and JSON
    const char* label;  // as shown
};
constexpr Difficulty kTables[] = {{9, "easy", "Easy"}, {8, "normal", "Normal"}, {7, "crazy", "Crazy"}};

// Digits 6 and 5 (difficulty numbers 4 and 5) are accepted from the game but have no table
// of their own on the web; a player's page still lists them.
std::string labelOfDigit(int digit) {
    for (const auto& d : kTables)
        if (d.digit == digit) return d.label;
    return "Difficulty " + std::to_string(10 - digit);
}

const Difficulty* tableOfDigit(int digit) {
    for (const auto& d : kTables)
        if (d.digit == digit) return &d;
    return nullptr;
}

void ensureTemplate() {
    static std::once_flag once;
    std::call_once(once, [] {
        ctemplate::StringToTemplateCache(kTemplateKey, kPageTemplate, sizeof kPageTemplate - 1,
                                         ctemplate::STRIP_BLANK_LINES);
    });
}

std::shared_ptr<const std::string> render(const ctemplate::TemplateDictionary& dict) {
    auto out = std::make_shared<std::string>();
    if (!ctemplate::ExpandTemplate(kTemplateKey, ctemplate::STRIP_BLANK_LINES, &dict, out.get()))
        throw std::runtime_error("page template failed to expand");
    return out;
}

struct Error {
    int status;
    std::string heading;
    std::string message;
};

struct TableQuery {
    const Difficulty* table = nullptr;
    std::int64_t offset = 0;
    int limit = kWebPageRows;
};

// The one value of a key: nullopt when missing; an error when it repeats.
std::optional<std::string> one(const QueryParams& q, const std::string& key, std::optional<Error>& err) {
    auto [lo, hi] = q.equal_range(key);
    if (lo == hi) return std::nullopt;
    if (std::next(lo) != hi) {
        err = Error{400, "Bad request", key + " is given more than once."};
        return std::nullopt;
    }
    return lo->second;
}

std::variant<TableQuery, Error> readTableQuery(const QueryParams& q) {
    std::optional<Error> err;
    auto difficulty = one(q, "difficulty", err);
    auto offset = one(q, "offset", err);
    auto limit = one(q, "limit", err);
    if (err) return *err;
    TableQuery t;
    if (!difficulty) return Error{400, "Bad request", "Say which table: difficulty=easy, normal or crazy."};
    t.table = tableOfDigit(digitOfDifficulty(*difficulty));
    if (!t.table)
        return Error{404, "No such table", "There is no table named \"" + displayText(*difficulty) +
                                               "\". The tables are easy, normal and crazy."};
    if (offset && (!parseInt64(*offset, t.offset) || t.offset < 0 || t.offset > kMaxOffset))
        return Error{400, "Bad request", "offset must be a whole number from 0 to " + std::to_string(kMaxOffset) + "."};
    std::int64_t n = kWebPageRows;
    if (limit && (!parseInt64(*limit, n) || n < 1 || n > kMaxInTop))
        return Error{400, "Bad request", "limit must be a whole number from 1 to " + std::to_string(kMaxInTop) + "."};
    t.limit = static_cast<int>(n);
    return t;
}

struct Slice {
    std::vector<TableRow> rows;
    bool more = false;
};

std::string tableHref(const char* path, const Difficulty& d, std::int64_t offset, int limit) {
    std::string h = std::string(path) + "?difficulty=" + d.key;
    if (offset > 0) h += "&offset=" + std::to_string(offset);
    if (limit != kWebPageRows) h += "&limit=" + std::to_string(limit);
    return h;
}

std::string places(std::int64_t from, std::int64_t to) {
    return "places " + std::to_string(from) + " to " + std::to_string(to);
}

// `current`: the table shown, if any; `home`: the front page is shown.
void addNav(ctemplate::TemplateDictionary& dict, const Difficulty* current, bool home = false) {
    auto* all = dict.AddSectionDictionary("NAV");
    all->SetValue("HREF", "/");
    all->SetValue("LABEL", "All tables");
    if (home) all->ShowSection("CURRENT");
    for (const auto& d : kTables) {
        auto* item = dict.AddSectionDictionary("NAV");
        item->SetValue("HREF", tableHref("/table", d, 0, kWebPageRows));
        item->SetValue("LABEL", d.label);
        if (current == &d) item->ShowSection("CURRENT");
    }
}

// Said in words, so it reads the same to a screen reader and without colour.
const char* verificationLabel(Verification v) {
    switch (v) {
    case Verification::Verified: return "Verified";
    case Verification::Pending: return "Being checked";
    case Verification::Rejected: return "Rejected";
    case Verification::Unverified: break;
    }
    return "Not verified";
}

void setDate(ctemplate::TemplateDictionary& row, const std::string& date) {
    row.SetValue("DATE", date);
    row.SetValue("DAY", date.substr(0, 10));
}

// One table with its paging links; `heading` adds an h2 (the front page shows three).
void addTable(ctemplate::TemplateDictionary& dict, const Difficulty& d, const Slice& s, std::int64_t offset,
              int limit, bool heading) {
    auto* t = dict.AddSectionDictionary("TABLE");
    if (heading) {
        auto* h = t->AddSectionDictionary("SUBHEADING");
        h->SetValue("ID", d.key);
        h->SetValue("TEXT", d.label);
    }
    if (s.rows.empty()) {
        t->AddSectionDictionary("EMPTY")->SetValue(
            "TEXT", offset == 0 ? std::string("No scores on ") + d.key + " yet."
                                : "The " + std::string(d.key) + " table has no place " + std::to_string(offset + 1) + ".");
    } else {
        auto* rows = t->AddSectionDictionary("ROWS");
        rows->SetValue("ID", d.key);
        rows->SetValue("CAPTION", std::string(d.label) + ", " +
                                      places(offset + 1, offset + static_cast<std::int64_t>(s.rows.size())) +
                                      ", best first");
        std::int64_t place = offset;
        for (const TableRow& r : s.rows) {
            auto* row = rows->AddSectionDictionary("ROW");
            row->SetValue("PLACE", std::to_string(++place));
            row->SetValue("NAME", displayText(r.userName));
            row->SetValue("NAME_QUERY", percentEncode(r.userName));
            row->SetValue("COUNTRY", displayText(r.userCountry));
            row->SetValue("POINTS", std::to_string(r.points));
            row->SetValue("LEVEL", std::to_string(r.level));
            setDate(*row, r.date);
            row->SetValue("VERIFIED", verificationLabel(r.verification));
        }
    }
    if (offset > 0 || s.more) {
        auto* pages = t->AddSectionDictionary("PAGES");
        pages->SetValue("LABEL", std::string("Pages of the ") + d.key + " table");
        if (offset > 0) {
            std::int64_t from = std::max<std::int64_t>(0, offset - limit);
            auto* l = pages->AddSectionDictionary("LINK");
            l->SetValue("HREF", tableHref("/table", d, from, limit));
            l->SetValue("REL", "prev");
            l->SetValue("TEXT", "Previous: " + places(from + 1, from + std::min<std::int64_t>(limit, offset - from)));
        }
        if (s.more) {
            auto* l = pages->AddSectionDictionary("LINK");
            l->SetValue("HREF", tableHref("/table", d, offset + limit, limit));
            l->SetValue("REL", "next");
            l->SetValue("TEXT", "Next: " + places(offset + limit + 1, offset + 2 * limit));
        }
    }
}

std::shared_ptr<const std::string> errorPage(const Error& e) {
    ensureTemplate();
    ctemplate::TemplateDictionary dict("error");
    dict.SetValue("TITLE", e.heading);
    dict.SetValue("HEADING", e.heading);
    addNav(dict, nullptr);
    dict.AddSectionDictionary("MESSAGE")->SetValue("TEXT", e.message);
    auto* back = dict.AddSectionDictionary("BACK");
    back->SetValue("HREF", "/");
    back->SetValue("LABEL", "All tables");
    return render(dict);
}

WebReply htmlError(const Error& e) { return {e.status, kHtml, errorPage(e)}; }

WebReply jsonError(const Error& e) {
    nlohmann::json j = {{"error", e.message}};
    return {e.status, kJson, std::make_shared<const std::string>(j.dump())};
}

}  // namespace

int digitOfDifficulty(std::string_view name) {
    for (const auto& d : kTables)
        if (name == d.key) return d.digit;
    return 0;
}

WebPages::WebPages(ScoreStore& store, TableCache& cache) : store_(store), cache_(cache) { ensureTemplate(); }

std::shared_ptr<const std::string> WebPages::cached(const std::string& key, std::uint64_t stamp) {
    std::lock_guard lock(mutex_);
    auto it = pages_.find(key);
    return it != pages_.end() && it->second.stamp >= stamp ? it->second.body : nullptr;
}

void WebPages::keep(const std::string& key, std::uint64_t stamp, const std::shared_ptr<const std::string>& body) {
    std::lock_guard lock(mutex_);
    Cached& c = pages_[key];
    if (!c.body || c.stamp < stamp) c = {stamp, body};
}

namespace {
// Rows from `offset` on: from the snapshot when they lie within it, else from the store.
Slice sliceOf(ScoreStore& store, TableCache& cache, const Difficulty& d, std::int64_t offset, int limit,
              std::uint64_t stamp) {
    Slice s;
    if (offset + limit <= kMaxInTop) {
        auto snap = cache.get(d.digit, stamp);
        auto from = std::min(snap->rows.size(), static_cast<std::size_t>(offset));
        auto to = std::min(snap->rows.size(), static_cast<std::size_t>(offset + limit));
        s.rows.assign(snap->rows.begin() + static_cast<std::ptrdiff_t>(from),
                      snap->rows.begin() + static_cast<std::ptrdiff_t>(to));
        s.more = snap->rows.size() > to;
    } else {
        s.rows = store.page(d.digit, offset, limit + 1);
        s.more = s.rows.size() > static_cast<std::size_t>(limit);
        if (s.more) s.rows.pop_back();
    }
    return s;
}

// Only the pages every visitor asks for are kept, so the number of kept pages is bounded.
bool keepable(const TableQuery& t) {
    return t.limit == kWebPageRows && t.offset % kWebPageRows == 0 && t.offset + t.limit <= kMaxInTop;
}
}  // namespace

WebReply WebPages::home() {
    std::uint64_t stamp = store_.changeStamp();
    if (auto page = cached("/", stamp)) return {200, kHtml, page};
    ctemplate::TemplateDictionary dict("home");
    dict.SetValue("TITLE", "Tables");
    dict.SetValue("HEADING", "zorvan online scores");
    addNav(dict, nullptr, true);
    dict.AddSectionDictionary("MESSAGE")->SetValue(
        "TEXT", std::string("The best scores sent from the game, one table per difficulty. Choose a name for that "
                            "player's games. The Replay column says whether the server replayed the game and found "
                            "the score earned.") +
                    (verifiedOnly_ ? " Only verified scores are listed." : ""));
    for (const auto& d : kTables) addTable(dict, d, sliceOf(store_, cache_, d, 0, kWebPageRows, stamp), 0, kWebPageRows, true);
    auto page = render(dict);
    keep("/", stamp, page);
    return {200, kHtml, page};
}

WebReply WebPages::table(const QueryParams& q) {
    auto parsed = readTableQuery(q);
    if (auto* e = std::get_if<Error>(&parsed)) return htmlError(*e);
    const TableQuery& t = std::get<TableQuery>(parsed);
    std::uint64_t stamp = store_.changeStamp();
    std::string key = tableHref("/table", *t.table, t.offset, t.limit);
    if (keepable(t))
        if (auto page = cached(key, stamp)) return {200, kHtml, page};
    Slice s = sliceOf(store_, cache_, *t.table, t.offset, t.limit, stamp);
    std::string title = std::string(t.table->label) + " table, " +
                        (s.rows.empty() ? "no place " + std::to_string(t.offset + 1)
                                        : places(t.offset + 1, t.offset + static_cast<std::int64_t>(s.rows.size())));
    ctemplate::TemplateDictionary dict("table");
    dict.SetValue("TITLE", title);
    dict.SetValue("HEADING", title);
    addNav(dict, t.table);
    addTable(dict, *t.table, s, t.offset, t.limit, false);
    auto page = render(dict);
    if (keepable(t)) keep(key, stamp, page);
    return {200, kHtml, page};
}

WebReply WebPages::player(const QueryParams& q) {
    std::optional<Error> err;
    auto name = one(q, "name", err);
    if (err) return htmlError(*err);
    if (!name || name->empty()) return htmlError({400, "Bad request", "Give a player name: /player?name=..."});
    std::vector<PlayerGame> best;
    if (name->size() <= kMaxNameBytes) best = store_.playerBest(*name);
    std::string shown = displayText(*name);
    if (best.empty()) return htmlError({404, "No such player", "No scores were sent under the name \"" + shown + "\"."});
    auto recent = store_.playerRecent(*name, kRecentGames);

    ctemplate::TemplateDictionary dict("player");
    dict.SetValue("TITLE", "Player " + shown);
    dict.SetValue("HEADING", "Player " + shown);
    addNav(dict, nullptr);
    auto* b = dict.AddSectionDictionary("BEST");
    b->SetValue("NAME", shown);
    for (const PlayerGame& g : best) {
        auto* row = b->AddSectionDictionary("ROW");
        row->SetValue("DIFFICULTY", labelOfDigit(g.difficulty));
        const Difficulty* d = tableOfDigit(g.difficulty);
        // A place on a table of the web links to the page that shows it.
        std::int64_t pageStart = (g.place - 1) / kWebPageRows * kWebPageRows;
        row->SetValue("TABLE_HREF", d ? tableHref("/table", *d, pageStart, kWebPageRows) : std::string("/"));
        row->SetValue("PLACE", std::to_string(g.place));
        row->SetValue("POINTS", std::to_string(g.points));
        row->SetValue("LEVEL", std::to_string(g.level));
        row->SetValue("COUNTRY", displayText(g.userCountry));
        setDate(*row, g.date);
        row->SetValue("VERIFIED", verificationLabel(g.verification));
    }
    auto* r = dict.AddSectionDictionary("RECENT");
    r->SetValue("NAME", shown);
    for (const PlayerGame& g : recent) {
        auto* row = r->AddSectionDictionary("ROW");
        row->SetValue("DIFFICULTY", labelOfDigit(g.difficulty));
        row->SetValue("POINTS", std::to_string(g.points));
        row->SetValue("LEVEL", std::to_string(g.level));
        row->SetValue("COUNTRY", displayText(g.userCountry));
        setDate(*row, g.date);
        row->SetValue("VERIFIED", verificationLabel(g.verification));
    }
    return {200, kHtml, render(dict)};
}

WebReply WebPages::apiTable(const QueryParams& q) {
    auto parsed = readTableQuery(q);
    if (auto* e = std::get_if<Error>(&parsed)) return jsonError(*e);
    const TableQuery& t = std::get<TableQuery>(parsed);
    std::uint64_t stamp = store_.changeStamp();
    std::string key = tableHref("/api/table", *t.table, t.offset, t.limit);
    if (keepable(t))
        if (auto body = cached(key, stamp)) return {200, kJson, body};
    Slice s = sliceOf(store_, cache_, *t.table, t.offset, t.limit, stamp);
    nlohmann::json rows = nlohmann::json::array();
    std::int64_t place = t.offset;
    for (const TableRow& r : s.rows) {
        rows.push_back({{"place", ++place},
                        {"name", displayText(r.userName)},
                        {"country", displayText(r.userCountry)},
                        {"points", r.points},
                        {"level", r.level},
                        {"date", r.date},
                        {"verification", verificationName(r.verification)}});
    }
    nlohmann::json j = {{"difficulty", t.table->key}, {"offset", t.offset}, {"limit", t.limit}, {"rows", std::move(rows)}};
    j["next"] = s.more ? nlohmann::json(tableHref("/api/table", *t.table, t.offset + t.limit, t.limit)) : nlohmann::json();
    j["previous"] = t.offset > 0 ? nlohmann::json(tableHref("/api/table", *t.table,
                                                             std::max<std::int64_t>(0, t.offset - t.limit), t.limit))
                                 : nlohmann::json();
    auto body = std::make_shared<const std::string>(j.dump());
    if (keepable(t)) keep(key, stamp, body);
    return {200, kJson, body};
}

WebReply WebPages::serverError() {
    return htmlError({500, "Scores unavailable", "The score tables cannot be read right now. Please try again later."});
}

WebReply WebPages::notFound() {
    return htmlError({404, "Not found", "There is no page at this address."});
}

}  // namespace zorvan::scores
