// The web pages and JSON of zorvan-scores over HTTP, on both storage backends.

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <regex>
#include <thread>

#include "backend_fixture.h"
#include "web.h"
#include "wire.h"

namespace zorvan::scores::test {
namespace {

using WebTest = BackendTest;

std::size_t count(const std::string& haystack, const std::string& needle) {
    std::size_t n = 0;
    for (auto at = haystack.find(needle); at != std::string::npos; at = haystack.find(needle, at + 1)) ++n;
    return n;
}

// The rows of the body of the page's tables, in order.
std::size_t rows(const std::string& page) { return count(page, "<tr><td class=\"num\">"); }

// Fills one table straight through the store: `n` rows, points n, n-1, ... 1.
void fill(ScoreStore& store, int digit, int n, int firstTransId = 0) {
    for (int i = 0; i < n; ++i)
        ASSERT_EQ(store.add({firstTransId + i, "p" + std::to_string(i), "hidden@example.org", "nl", n - i, digit, 1}),
                  AddResult::Stored);
}

TEST_P(WebTest, HostileNamesAreEscapedAndAddressesNeverShown) {
    const std::vector<std::string> names = {
        "<script>alert(1)</script>", "\"double\" 'single'", "Tom & Jerry", "x:1@2;3~4^5[]", "Caf\xe9",
        std::string("bell\x07 nul\0", 10), "<img src=x onerror=alert(1)>"};
    int tid = 100;
    for (const auto& name : names) {
        Query q = submission(tid, name, 5000 - tid, 9);
        q[2].second = "secret-" + std::to_string(tid) + "@example.org";
        q[3].second = "<b>&";
        ASSERT_EQ(update(q).status, 200) << name;
        ++tid;
    }
    std::vector<std::string> pages = {raw("/").body, raw("/table?difficulty=easy").body};
    for (const auto& name : names) pages.push_back(raw("/player?name=" + enc(name)).body);
    for (const std::string& page : pages) {
        EXPECT_EQ(page.find("<script"), std::string::npos);
        EXPECT_EQ(page.find("<img"), std::string::npos);
        EXPECT_EQ(page.find("<b>"), std::string::npos);
        EXPECT_EQ(page.find("secret"), std::string::npos);
        EXPECT_EQ(page.find("example.org"), std::string::npos);
        EXPECT_EQ(page.find('\x07'), std::string::npos);
        EXPECT_EQ(page.find('\0'), std::string::npos);
    }
    const std::string& table = pages[1];
    EXPECT_NE(table.find(">&lt;script&gt;alert(1)&lt;/script&gt;</a>"), std::string::npos);
    EXPECT_NE(table.find(">&quot;double&quot; &#39;single&#39;</a>"), std::string::npos);
    EXPECT_NE(table.find(">Tom &amp; Jerry</a>"), std::string::npos);
    // The web shows the name as typed: the reply grammar's characters are only the game's concern.
    EXPECT_NE(table.find(">x:1@2;3~4^5[]</a>"), std::string::npos);
    EXPECT_NE(table.find(">Caf\xc3\xa9</a>"), std::string::npos);  // Windows-1252 read as such
    EXPECT_NE(table.find(">bell\xef\xbf\xbd nul\xef\xbf\xbd</a>"), std::string::npos);
    EXPECT_NE(table.find("<td>&lt;b&gt;&amp;</td>"), std::string::npos);
    // Each name links to its own page, and that page finds the stored bytes again.
    EXPECT_NE(table.find("href=\"/player?name=Tom%20%26%20Jerry\""), std::string::npos);
    for (std::size_t i = 0; i < names.size(); ++i)
        EXPECT_EQ(raw("/player?name=" + enc(names[i])).status, 200) << names[i];

    auto json = nlohmann::json::parse(raw("/api/table?difficulty=easy").body);
    ASSERT_EQ(json["rows"].size(), names.size());
    EXPECT_EQ(json["rows"][0]["name"], names[0]);
    EXPECT_EQ(json["rows"][1]["name"], names[1]);
    EXPECT_EQ(json["rows"][4]["name"], "Caf\xc3\xa9");
    EXPECT_EQ(json["rows"][0]["country"], "<b>&");
    EXPECT_EQ(json.dump().find("secret"), std::string::npos);
}

TEST_P(WebTest, TablesArePagedByTheHundred) {
    fill(*store, 9, 250);
    std::string home = raw("/").body;
    EXPECT_EQ(rows(home), 100u);
    EXPECT_NE(home.find("<caption id=\"caption-easy\">Easy, places 1 to 100, best first</caption>"), std::string::npos);
    EXPECT_NE(home.find("<a href=\"/table?difficulty=easy&amp;offset=100\" rel=\"next\">Next: places 101 to 200</a>"),
              std::string::npos);
    EXPECT_NE(home.find("No scores on normal yet."), std::string::npos);

    Reply second = raw("/table?difficulty=easy&offset=100");
    EXPECT_EQ(second.status, 200);
    EXPECT_EQ(rows(second.body), 100u);
    EXPECT_NE(second.body.find("<td class=\"num\">101</td><th scope=\"row\"><a href=\"/player?name=p100\">p100</a>"),
              std::string::npos);
    EXPECT_NE(second.body.find("rel=\"prev\">Previous: places 1 to 100</a>"), std::string::npos);
    EXPECT_NE(second.body.find("rel=\"next\">Next: places 201 to 300</a>"), std::string::npos);

    Reply last = raw("/table?difficulty=easy&offset=200");
    EXPECT_EQ(rows(last.body), 50u);
    EXPECT_EQ(last.body.find("rel=\"next\""), std::string::npos);
    EXPECT_NE(last.body.find("<h1>Easy table, places 201 to 250</h1>"), std::string::npos);
    Reply past = raw("/table?difficulty=easy&offset=250");
    EXPECT_EQ(past.status, 200);
    EXPECT_NE(past.body.find("<h1>Easy table, no place 251</h1>"), std::string::npos);
    EXPECT_EQ(rows(past.body), 0u);
    EXPECT_NE(past.body.find("The easy table has no place 251."), std::string::npos);
    EXPECT_NE(past.body.find("rel=\"prev\""), std::string::npos);

    Reply odd = raw("/table?difficulty=easy&offset=5&limit=3");
    EXPECT_EQ(rows(odd.body), 3u);
    EXPECT_NE(odd.body.find("<td class=\"num\">6</td>"), std::string::npos);
    EXPECT_NE(odd.body.find("rel=\"prev\">Previous: places 3 to 5</a>"), std::string::npos);

    for (const char* bad : {"offset=-1", "offset=x", "offset=", "offset=1000000001", "limit=0", "limit=501",
                            "limit=10&limit=20", "offset=1e3"}) {
        Reply r = raw(std::string("/table?difficulty=easy&") + bad);
        EXPECT_EQ(r.status, 400) << bad;
        EXPECT_NE(r.body.find("<h1>Bad request</h1>"), std::string::npos) << bad;
        EXPECT_EQ(raw(std::string("/api/table?difficulty=easy&") + bad).status, 400) << bad;
    }
}

TEST_P(WebTest, PagesBeyondTheSnapshotComeFromTheStoreInTheSameOrder) {
    fill(*store, 8, 620);
    std::vector<nlohmann::json> rowsSeen;
    for (std::string next = "/api/table?difficulty=normal&limit=70"; !next.empty();) {
        Reply r = raw(next);
        ASSERT_EQ(r.status, 200) << next;
        auto j = nlohmann::json::parse(r.body);
        for (auto& row : j["rows"]) rowsSeen.push_back(row);
        next = j["next"].is_null() ? "" : j["next"].get<std::string>();
        ASSERT_LT(rowsSeen.size(), 700u);
    }
    ASSERT_EQ(rowsSeen.size(), 620u);
    for (std::size_t i = 0; i < rowsSeen.size(); ++i) {
        EXPECT_EQ(rowsSeen[i]["place"], i + 1);
        EXPECT_EQ(rowsSeen[i]["points"], 620 - static_cast<int>(i));
    }
    Reply deep = raw("/table?difficulty=normal&offset=600");
    EXPECT_EQ(rows(deep.body), 20u);
    EXPECT_NE(deep.body.find("<td class=\"num\">601</td>"), std::string::npos);
}

TEST_P(WebTest, UnknownTablesNamesAndPagesAreReadable404s) {
    fill(*store, 9, 3);
    struct Case {
        std::string target, says;
    };
    for (const Case& c : std::vector<Case>{{"/table?difficulty=hard", "There is no table named &quot;hard&quot;"},
                                           {"/table?difficulty=9", "There is no table named &quot;9&quot;"},
                                           {"/player?name=Nobody%3Ci%3E", "under the name &quot;Nobody&lt;i&gt;&quot;"},
                                           {"/player?name=" + std::string(300, 'n'), "No such player"},
                                           {"/index.html", "There is no page at this address."}}) {
        Reply r = raw(c.target);
        EXPECT_EQ(r.status, 404) << c.target;
        EXPECT_NE(r.body.find(c.says), std::string::npos) << c.target << "\n" << r.body;
        EXPECT_EQ(count(r.body, "<h1>"), 1u) << c.target;
        EXPECT_NE(r.body.find("<a href=\"/\">All tables</a>"), std::string::npos) << c.target;
    }
    EXPECT_EQ(raw("/player").status, 400);
    EXPECT_EQ(raw("/player?name=").status, 400);
    EXPECT_EQ(raw("/table").status, 400);
    Reply api = raw("/api/table?difficulty=hard");
    EXPECT_EQ(api.status, 404);
    EXPECT_TRUE(nlohmann::json::parse(api.body)["error"].is_string());
}

TEST_P(WebTest, JsonHasOneShapeForEveryPage) {
    ASSERT_EQ(update(submission(7, "Ann", 1500, 7, 12)).status, 200);
    ASSERT_EQ(update(submission(8, "Bob", 900, 7, 4)).status, 200);
    Reply r = raw("/api/table?difficulty=crazy&offset=0&limit=1");
    ASSERT_EQ(r.status, 200);
    auto j = nlohmann::json::parse(r.body);
    EXPECT_EQ(j["difficulty"], "crazy");
    EXPECT_EQ(j["offset"], 0);
    EXPECT_EQ(j["limit"], 1);
    EXPECT_EQ(j["next"], "/api/table?difficulty=crazy&offset=1&limit=1");
    EXPECT_TRUE(j["previous"].is_null());
    ASSERT_EQ(j["rows"].size(), 1u);
    const auto& row = j["rows"][0];
    EXPECT_EQ(row.size(), 7u);
    EXPECT_EQ(row["verification"], "unverified");
    EXPECT_EQ(row["place"], 1);
    EXPECT_EQ(row["name"], "Ann");
    EXPECT_EQ(row["country"], "nl");
    EXPECT_EQ(row["points"], 1500);
    EXPECT_EQ(row["level"], 12);
    EXPECT_TRUE(std::regex_match(row["date"].get<std::string>(),
                                 std::regex(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ)")));
    auto second = nlohmann::json::parse(raw(j["next"].get<std::string>()).body);
    EXPECT_EQ(second["rows"][0]["place"], 2);
    EXPECT_EQ(second["rows"][0]["name"], "Bob");
    EXPECT_TRUE(second["next"].is_null());
    EXPECT_EQ(second["previous"], "/api/table?difficulty=crazy&limit=1");

    auto empty = nlohmann::json::parse(raw("/api/table?difficulty=easy").body);
    EXPECT_EQ(empty["rows"], nlohmann::json::array());
    EXPECT_EQ(empty["limit"], 100);
}

TEST_P(WebTest, PagesAndTheGamesReplyFollowEverySubmission) {
    fill(*store, 9, 10);
    // Read everything once, so each answer is a kept one.
    std::string page = raw("/table?difficulty=easy").body;
    std::string reply = view(table(500, 9)).body;
    raw("/");
    raw("/api/table?difficulty=easy");
    ASSERT_EQ(update(submission(999, "Newcomer", 100, 9)).status, 200);
    EXPECT_NE(raw("/").body.find(">Newcomer</a>"), std::string::npos);
    EXPECT_NE(raw("/table?difficulty=easy").body.find(">Newcomer</a>"), std::string::npos);
    EXPECT_NE(raw("/api/table?difficulty=easy").body.find("\"Newcomer\""), std::string::npos);
    EXPECT_NE(view(table(500, 9)).body.find(":999@1;100~Newcomer^3[]"), std::string::npos);
    // A submission stored by another writer of the store (here: straight through it).
    ASSERT_EQ(store->add({1000, "Direct", "", "", 200, 9, 1}), AddResult::Stored);
    EXPECT_NE(view(table(1, 9)).body.find("~Direct^"), std::string::npos);
    EXPECT_NE(raw("/table?difficulty=easy").body.find(">Direct</a>"), std::string::npos);
    // Every length of the game's reply is the one built from the store.
    for (int n : {1, 2, 11, 12, 13, 500}) EXPECT_EQ(view(table(n, 9)).body, formatTable(store->top(9, n))) << n;
}

TEST_P(WebTest, PlayerPageShowsBestPerDifficultyAndRecentGames) {
    fill(*store, 9, 5);  // p0 .. p4 with 5 .. 1 points
    for (int i = 0; i < 25; ++i) ASSERT_EQ(update(submission(500 + i, "Ann", 10 + i, i % 2 ? 9 : 7, i)).status, 200);
    ASSERT_EQ(update(submission(600, "Ann", 3, 5, 2)).status, 200);  // difficulty number 5
    Reply r = raw("/player?name=Ann");
    ASSERT_EQ(r.status, 200);
    EXPECT_NE(r.body.find("<h1>Player Ann</h1>"), std::string::npos);
    // Best easy game: 33 points (i = 23), first place; best crazy: 34 points (i = 24).
    EXPECT_NE(r.body.find("<tr><th scope=\"row\"><a href=\"/table?difficulty=easy\">Easy</a></th>"
                          "<td class=\"num\">1</td><td class=\"num\">33</td><td class=\"num\">23</td>"),
              std::string::npos);
    EXPECT_NE(r.body.find("<a href=\"/table?difficulty=crazy\">Crazy</a></th><td class=\"num\">1</td>"
                          "<td class=\"num\">34</td>"),
              std::string::npos);
    EXPECT_NE(r.body.find(">Difficulty 5</a></th><td class=\"num\">1</td><td class=\"num\">3</td>"), std::string::npos);
    // Twenty recent games, the newest first.
    auto recent = r.body.substr(r.body.find("<h2 id=\"recent\">"));
    EXPECT_EQ(count(recent, "<tr><th scope=\"row\"><time"), static_cast<std::size_t>(kRecentGames));
    EXPECT_LT(recent.find("<td>Difficulty 5</td><td class=\"num\">3</td>"),
              recent.find("<td>Crazy</td><td class=\"num\">34</td>"));
    // The oldest game (10 points at level 0) is not listed.
    EXPECT_EQ(recent.find("<td class=\"num\">10</td><td class=\"num\">0</td>"), std::string::npos);
    EXPECT_NE(recent.find("<td class=\"num\">16</td><td class=\"num\">6</td>"), std::string::npos);

    // A place further down links to the page that holds it.
    fill(*store, 8, 150, 10000);
    ASSERT_EQ(update(submission(700, "Low", 0, 8)).status, 200);
    EXPECT_NE(raw("/player?name=Low").body.find("<a href=\"/table?difficulty=normal&amp;offset=100\">Normal</a></th>"
                                                "<td class=\"num\">151</td>"),
              std::string::npos);
}

TEST_P(WebTest, EveryPageIsOneDocumentWithLandmarksAndASkipLink) {
    fill(*store, 9, 3);
    for (std::string t : {"/", "/table?difficulty=easy", "/player?name=p0", "/nowhere"}) {
        std::string page = raw(t).body;
        EXPECT_EQ(page.rfind("<!DOCTYPE html>\n<html lang=\"en\">", 0), 0u) << t;
        EXPECT_EQ(count(page, "<h1>"), 1u) << t;
        EXPECT_EQ(count(page, "<main id=\"main\" tabindex=\"-1\">"), 1u) << t;
        EXPECT_EQ(count(page, "<header>"), 1u) << t;
        EXPECT_GE(count(page, "<nav "), 1u) << t;
        // The skip link is the first thing in the body.
        EXPECT_NE(page.find("<body>\n<a class=\"skip\" href=\"#main\">"), std::string::npos) << t;
        EXPECT_EQ(page.find("<script"), std::string::npos) << t;
        // Only the front page is marked as the current one in the navigation.
        EXPECT_EQ(page.find("<a href=\"/\" aria-current=\"page\">") != std::string::npos, t == "/") << t;
    }
}

INSTANTIATE_TEST_SUITE_P(Backends, WebTest, ::testing::Values("sqlite", "postgresql"), backendName);

// Another program writing the same SQLite file (here: a second store with connections of
// its own) is seen by the kept table within a moment.
TEST(SqliteSnapshot, AnotherWriterOfTheSameFileIsSeen) {
    auto folder = std::filesystem::temp_directory_path() / ("zorvan-scores-two-writers-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    std::string path = (folder / "scores.db").string();
    {
        auto served = openSqliteStore(path);
        auto other = openSqliteStore(path);
        ScoreServer server(*served);
        int port = server.bind("127.0.0.1", 0);
        ASSERT_GT(port, 0);
        server.start();
        std::string base = "http://127.0.0.1:" + std::to_string(port);
        ASSERT_EQ(httpGet(base + target("/update_zelk.php", submission(1, "Here", 100, 9))).status, 200);
        EXPECT_EQ(httpGet(base + target("/view_zelk.php", table(10, 9))).body, "zorvan\n:1@1;100~Here^3[]\n");
        ASSERT_EQ(other->add({2, "There", "", "", 200, 9, 4}), AddResult::Stored);
        bool seen = false;
        for (int i = 0; i < 50 && !seen; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            seen = httpGet(base + target("/view_zelk.php", table(10, 9))).body ==
                   "zorvan\n:2@1;200~There^4[]\n:1@2;100~Here^3[]\n";
        }
        EXPECT_TRUE(seen);
        EXPECT_NE(httpGet(base + "/table?difficulty=easy").body.find(">There</a>"), std::string::npos);
    }
    std::filesystem::remove_all(folder);
}

TEST(DisplayText, KeepsUtf8AndReadsAnythingElseAsWindows1252) {
    EXPECT_EQ(displayText("plain"), "plain");
    EXPECT_EQ(displayText("Caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x8f\x81"), "Caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x8f\x81");
    EXPECT_EQ(displayText("Caf\xe9 \x80"), "Caf\xc3\xa9 \xe2\x82\xac");
    EXPECT_EQ(displayText("\x81"), "\xef\xbf\xbd");  // undefined in the code page
    EXPECT_EQ(displayText(std::string("a\0b\x1f\x7f", 5)), "a\xef\xbf\xbd" "b\xef\xbf\xbd\xef\xbf\xbd");
    // Malformed UTF-8 is not UTF-8: overlong '/', a lone surrogate, a cut sequence.
    EXPECT_EQ(displayText("\xc0\xaf"), "\xc3\x80\xc2\xaf");
    EXPECT_EQ(displayText("\xed\xa0\x80"), "\xc3\xad\xc2\xa0\xe2\x82\xac");
    EXPECT_EQ(displayText("\xe2\x82"), "\xc3\xa2\xe2\x80\x9a");
    EXPECT_EQ(percentEncode("a b&c/\xe9"), "a%20b%26c%2F%E9");
    EXPECT_EQ(digitOfDifficulty("easy"), 9);
    EXPECT_EQ(digitOfDifficulty("normal"), 8);
    EXPECT_EQ(digitOfDifficulty("crazy"), 7);
    EXPECT_EQ(digitOfDifficulty("Easy"), 0);
}

}  // namespace
}  // namespace zorvan::scores::test
