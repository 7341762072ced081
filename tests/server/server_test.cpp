// zorvan-scores over HTTP on loopback, the same cases on both storage backends.

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <thread>

#include "backend_fixture.h"
#include "wire.h"

namespace zorvan::scores::test {
namespace {

using ServerTest = BackendTest;

std::string record(std::int32_t tid, int place, std::int64_t points, const std::string& name, int level) {
    return ":" + std::to_string(tid) + "@" + std::to_string(place) + ";" + std::to_string(points) + "~" + name + "^" +
           std::to_string(level) + "[]\n";
}

TEST_P(ServerTest, TableIsBestFirstWithPlacesFromOne) {
    ASSERT_EQ(update(submission(11, "Ann", 1500, 9, 4)).status, 200);
    ASSERT_EQ(update(submission(12, "Bob", 9000, 9, 12)).status, 200);
    ASSERT_EQ(update(submission(13, "Cy", 4000, 9, 7)).status, 200);

    Reply r = view(table(10, 9));
    EXPECT_EQ(r.status, 200);
    EXPECT_EQ(r.body, "zorvan\n" + record(12, 1, 9000, "Bob", 12) + record(13, 2, 4000, "Cy", 7) +
                          record(11, 3, 1500, "Ann", 4));
}

TEST_P(ServerTest, TiesGoToTheEarlierSubmission) {
    ASSERT_EQ(update(submission(30, "Late", 2000, 8)).status, 200);
    ASSERT_EQ(update(submission(20, "Early", 1000, 8)).status, 200);
    ASSERT_EQ(update(submission(10, "Later", 1000, 8)).status, 200);
    ASSERT_EQ(update(submission(5, "Latest", 1000, 8)).status, 200);

    EXPECT_EQ(view(table(10, 8)).body, "zorvan\n" + record(30, 1, 2000, "Late", 3) + record(20, 2, 1000, "Early", 3) +
                                           record(10, 3, 1000, "Later", 3) + record(5, 4, 1000, "Latest", 3));
}

TEST_P(ServerTest, EachDifficultyHasItsOwnTable) {
    ASSERT_EQ(update(submission(1, "Easy", 1000, 9)).status, 200);
    ASSERT_EQ(update(submission(2, "Normal", 5000, 8)).status, 200);
    ASSERT_EQ(update(submission(3, "Crazy", 7000, 7)).status, 200);

    EXPECT_EQ(view(table(10, 9)).body, "zorvan\n" + record(1, 1, 1000, "Easy", 3));
    EXPECT_EQ(view(table(10, 8)).body, "zorvan\n" + record(2, 1, 5000, "Normal", 3));
    EXPECT_EQ(view(table(10, 7)).body, "zorvan\n" + record(3, 1, 7000, "Crazy", 3));
    // An empty table still answers, so the game can tell it from a failed request.
    EXPECT_EQ(view(table(10, 6)).body, "zorvan\n");
}

// The digits 9, 8, 7 (easy, normal, crazy) and 6, 5 (difficulty numbers 4 and 5) are all
// the README allows: each is stored, has its own table and takes statistics.
TEST_P(ServerTest, EveryDifficultyDigitTheReadmeAllowsIsAccepted) {
    for (int digit = 5; digit <= 9; ++digit) {
        Query q = submission(digit, "D" + std::to_string(digit), 100 * digit, digit, digit);
        Reply r = update(q);
        EXPECT_EQ(r.status, 200) << digit;
        EXPECT_EQ(r.body, "stored\n") << digit;
        EXPECT_EQ(update(statsPiece(digit, 100 * digit, digit, "s")).status, 200) << digit;
    }
    for (int digit = 5; digit <= 9; ++digit)
        EXPECT_EQ(view(table(10, digit)).body, "zorvan\n" + record(digit, 1, 100 * digit, "D" + std::to_string(digit), digit))
            << digit;
    auto all = store->all();
    ASSERT_EQ(all.size(), 5u);
    for (const auto& s : all) {
        EXPECT_EQ(s.difficulty, s.transId);
        EXPECT_EQ(s.stats, "s");
    }
    // Digits beside them are refused, on both kinds of request.
    for (const char* digit : {"0", "1", "4"}) {
        Query q = submission(50, "X", 100, 9);
        q[6].second = std::string("100") + digit;
        q[8].second = digit;
        EXPECT_EQ(update(q).status, 400) << digit;
        Query t = table(10, 9);
        t[3].second = digit;
        EXPECT_EQ(view(t).status, 400) << digit;
    }
    EXPECT_EQ(store->all().size(), 5u);
}

TEST_P(ServerTest, RefusedSubmissionsStoreNothing) {
    struct Case {
        const char* what;
        std::function<void(Query&)> spoil;
    };
    auto set = [](const char* key, std::string value) {
        return [=](Query& q) {
            for (auto& [k, v] : q)
                if (k == key) v = value;
        };
    };
    auto drop = [](const char* key) {
        return [=](Query& q) { std::erase_if(q, [&](const auto& kv) { return kv.first == key; }); };
    };
    const std::vector<Case> cases = {
        {"another game", set("GameName", "zorvan2")},
        {"another game id", set("GameID", "48zr518")},
        {"check value off by one", set("UserNameVerify", "2039")},
        {"difficulty digit not the score's", set("GameDifficulty", "8")},
        {"difficulty digit out of range", [set](Query& q) {
             set("UserScore", "15004")(q);
             set("GameDifficulty", "4")(q);
         }},
        {"score without points", [set](Query& q) {
             set("UserScore", "9")(q);
             set("UserNameVerify", "538")(q);
         }},
        {"score not a number", set("UserScore", "15x09")},
        {"score beyond 32 bits", [set](Query& q) {
             set("UserScore", "21474836489")(q);
             set("UserNameVerify", "2147484186")(q);
         }},
        {"TransID with leading zero", set("TransID", "0777")},
        {"TransID not a number", set("TransID", "12a")},
        {"TransID beyond 32 bits", set("TransID", "2147483648")},
        {"level not a number", set("GameLevel", "four")},
        {"empty name", set("UserName", "")},
        {"name too long", set("UserName", std::string(kMaxNameBytes + 1, 'n'))},
        {"e-mail too long", set("UserEmail", std::string(kMaxEmailBytes + 1, 'e'))},
        {"country too long", set("UserCountry", std::string(kMaxCountryBytes + 1, 'c'))},
        {"missing name", drop("UserName")},
        {"missing check value", drop("UserNameVerify")},
        {"missing level", drop("GameLevel")},
        {"score key twice", [](Query& q) { q.push_back({"UserScore", "99999"}); }},
        {"stats flag not y", [](Query& q) { q.push_back({"stats", "yes"}); }},
    };
    for (const Case& c : cases) {
        Query q = submission(1234, "Ann", 1500, 9);
        c.spoil(q);
        Reply r = update(q);
        EXPECT_EQ(r.status, 400) << c.what;
        EXPECT_NE(r.body.find("bad request"), std::string::npos) << c.what;
    }
    EXPECT_TRUE(store->all().empty());
    // The same submission unspoilt is accepted: the cases above failed for their one fault.
    EXPECT_EQ(update(submission(1234, "Ann", 1500, 9)).status, 200);
    EXPECT_EQ(store->all().size(), 1u);
}

TEST_P(ServerTest, SameTransIdAndNameIsStoredOnce) {
    EXPECT_EQ(update(submission(1234, "Ann", 1500, 9)).status, 200);
    Reply again = update(submission(1234, "Ann", 1500, 9));
    EXPECT_EQ(again.status, 200);
    EXPECT_EQ(again.body, "already stored\n");
    // Another player who happened to draw the same TransID is somebody else.
    EXPECT_EQ(update(submission(1234, "Bea", 1200, 9)).status, 200);

    auto all = store->all();
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(all[0].userName, "Ann");
    EXPECT_EQ(all[1].userName, "Bea");
    EXPECT_EQ(view(table(10, 9)).body, "zorvan\n" + record(1234, 1, 1500, "Ann", 3) + record(1234, 2, 1200, "Bea", 3));
}

TEST_P(ServerTest, InTopIsBoundedToOneToFiveHundred) {
    for (int i = 0; i < 510; ++i) ASSERT_EQ(store->add({i, "p" + std::to_string(i), "", "", 1000 + i, 7, 1}), AddResult::Stored);

    for (const char* bad : {"0", "501", "-1", "ten", "", "1e2"}) {
        Query q = table(10, 7);
        q[0].second = bad;
        EXPECT_EQ(view(q).status, 400) << "InTop=" << bad;
    }
    Reply one = view(table(1, 7));
    EXPECT_EQ(one.body, "zorvan\n" + record(509, 1, 1509, "p509", 1));
    Reply most = view(table(500, 7));
    EXPECT_EQ(std::count(most.body.begin(), most.body.end(), '\n'), 501);
    EXPECT_NE(most.body.find(":10@500;1010~p10^1[]\n"), std::string::npos);
    EXPECT_EQ(most.body.find(":9@"), std::string::npos);
}

TEST_P(ServerTest, TableRequestsAreChecked) {
    auto spoilt = [](int index, std::string value) {
        Query q = table(10, 9);
        q[static_cast<std::size_t>(index)].second = std::move(value);
        return q;
    };
    EXPECT_EQ(view(spoilt(1, "other")).status, 400);
    EXPECT_EQ(view(spoilt(2, "48zr516")).status, 400);
    EXPECT_EQ(view(spoilt(3, "4")).status, 400);
    EXPECT_EQ(view(spoilt(3, "99")).status, 400);
    EXPECT_EQ(view({{"InTop", "10"}, {"GameName", "zorvan"}, {"GameID", "48zr517"}}).status, 400);
    EXPECT_EQ(raw("/view_zelk.php").status, 400);
    EXPECT_EQ(raw("/index.php").status, 404);
    // A request line longer than the server reads is refused, not truncated.
    EXPECT_GE(raw("/view_zelk.php?InTop=10&x=" + std::string(10000, 'a')).status, 400);
}

TEST_P(ServerTest, NameWithEveryByteValueIsKeptAndServedSafely) {
    std::string name;
    for (int b = 0; b < 256; ++b) name += static_cast<char>(b);
    ASSERT_EQ(name.size(), kMaxNameBytes);
    ASSERT_EQ(update(submission(77, name, 3000, 9, 5)).status, 200);
    // A name trying to fake a record of its own, with a place for somebody else's TransID.
    ASSERT_EQ(update(submission(78, "x:555@1;9~y^1[]", 2000, 9, 5)).status, 200);

    auto all = store->all();
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(all[0].userName, name);
    EXPECT_EQ(all[1].userName, "x:555@1;9~y^1[]");

    Reply r = view(table(10, 9));
    ASSERT_EQ(r.status, 200);
    EXPECT_EQ(r.body, "zorvan\n" + record(77, 1, 3000, servedName(name), 5) + record(78, 2, 2000, "x?555?1?9?y?1??", 5));
    EXPECT_EQ(r.body.find(":555@"), std::string::npos);
    // Exactly the grammar's own separators remain.
    EXPECT_EQ(std::count(r.body.begin(), r.body.end(), '^'), 2);
    EXPECT_EQ(std::count(r.body.begin(), r.body.end(), ':'), 2);
}

TEST_P(ServerTest, EmailIsStoredButNeverServed) {
    Query q = submission(5, "Ann", 1500, 9);
    q[2].second = "secret.address@example.org";
    q[3].second = "be";
    ASSERT_EQ(update(q).status, 200);
    auto all = store->all();
    ASSERT_EQ(all.size(), 1u);
    EXPECT_EQ(all[0].userEmail, "secret.address@example.org");
    EXPECT_EQ(all[0].userCountry, "be");
    Reply r = view(table(500, 9));
    EXPECT_EQ(r.body.find("secret"), std::string::npos);
    EXPECT_EQ(r.body.find("example.org"), std::string::npos);
}

TEST_P(ServerTest, StatisticsPiecesAppendToTheirSubmission) {
    ASSERT_EQ(update(submission(40, "Ann", 1500, 9)).status, 200);
    ASSERT_EQ(update(submission(41, "Bob", 1500, 9)).status, 200);
    std::string first(1000, 'a');
    std::string second = std::string("b<br>\0c", 7);
    EXPECT_EQ(update(statsPiece(40, 1500, 9, first)).status, 200);
    EXPECT_EQ(update(statsPiece(40, 1500, 9, second)).status, 200);
    EXPECT_EQ(update(statsPiece(40, 1500, 9, "")).status, 200);

    auto all = store->all();
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(all[0].stats, first + second);
    EXPECT_EQ(all[1].stats, "");

    // Pieces that do not belong to a stored submission, or do not check, change nothing.
    EXPECT_EQ(update(statsPiece(39, 1500, 9, "x")).status, 404);
    EXPECT_EQ(update(statsPiece(40, 1400, 9, "x")).status, 404);
    Query wrongCheck = statsPiece(40, 1500, 9, "x");
    wrongCheck[0].second = "1500";
    EXPECT_EQ(update(wrongCheck).status, 400);
    EXPECT_EQ(update(statsPiece(40, 1500, 9, std::string(kMaxStatsPieceBytes + 1, 'z'))).status, 400);
    EXPECT_EQ(store->all()[0].stats, first + second);
}

TEST_P(ServerTest, StatisticsNeverGrowBeyondTheirLimit) {
    ASSERT_EQ(update(submission(50, "Ann", 1500, 9)).status, 200);
    std::string piece(1000, 's');
    std::size_t sent = 0;
    while (sent + piece.size() <= kMaxStatsBytes) {
        ASSERT_EQ(update(statsPiece(50, 1500, 9, piece)).status, 200);
        sent += piece.size();
    }
    EXPECT_EQ(update(statsPiece(50, 1500, 9, piece)).status, 400);
    std::string rest(kMaxStatsBytes - sent, 'r');
    EXPECT_EQ(update(statsPiece(50, 1500, 9, rest)).status, 200);
    EXPECT_EQ(update(statsPiece(50, 1500, 9, "!")).status, 400);
    EXPECT_EQ(store->all()[0].stats.size(), kMaxStatsBytes);
}

TEST_P(ServerTest, ConcurrentSubmissionsAreAllStored) {
    constexpr int kThreads = 8, kEach = 25;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < kEach; ++i) {
                int tid = t * 1000 + i;
                EXPECT_EQ(update(submission(tid, "t" + std::to_string(t), 100 + tid, 8)).status, 200);
                EXPECT_EQ(view(table(10, 8)).status, 200);
            }
        });
    }
    for (auto& th : threads) th.join();
    EXPECT_EQ(store->all().size(), static_cast<std::size_t>(kThreads * kEach));
    Reply r = view(table(1, 8));
    EXPECT_EQ(r.body, "zorvan\n" + record(7024, 1, 7124, "t7", 3));
}

TEST_P(ServerTest, NegativeAndLargestNumbersRoundTrip) {
    ASSERT_EQ(update(submission(-2147483647 - 1, "Min", 2147483647, 9, -5)).status, 200);
    ASSERT_EQ(update(submission(2147483647, "Neg", -20, 9, 2147483647)).status, 200);
    EXPECT_EQ(view(table(10, 9)).body, "zorvan\n" + record(-2147483647 - 1, 1, 2147483647, "Min", -5) +
                                           record(2147483647, 2, -20, "Neg", 2147483647));
}

INSTANTIATE_TEST_SUITE_P(Backends, ServerTest, ::testing::Values("sqlite", "postgresql"), backendName);

}  // namespace
}  // namespace zorvan::scores::test
