// The score client against a scripted HTTP port: the pending score and its checks, the
// exact requests, and the reading of replies.

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <tuple>

#include "online_fixture.h"

namespace zorvan::test {
namespace {

const std::string kBase = "http://127.0.0.1:28517";

TEST_F(OnlineTest, A150PointEasyGameIsStoredAndSubmittedWithItsCheckValues) {
    platform->advanceTo(3'723'000);  // the simulated clock reads 13:02:03
    pending(150, 1, 4);
    EXPECT_EQ(rgsv(), "1509");
    EXPECT_EQ(get("zorvan", "installation", "rgsv2"), "1");
    EXPECT_EQ(get("zorvan", "settings", "gameLev"), "4");
    EXPECT_EQ(get("zorvan", "keyboard", "identify"), std::to_string(13 * 3600 + 2 * 60 + 3 + 4271));
    EXPECT_EQ(setupInfo(), "2797");
    EXPECT_FALSE(fileExists("data.KSR"));  // no statistics text, no file

    EXPECT_EQ(client->validateScore(0), 0);
    profile();
    platform->advanceTo(3'800'123);
    EXPECT_EQ(client->sendScore(0), 0);
    EXPECT_EQ(client->transactionId(), "3800123");
    ASSERT_EQ(http.urls.size(), 1u);
    EXPECT_EQ(http.urls[0], kBase +
                                "/update_zelk.php?GameName=zorvan&UserName=Ann%20Smith&UserEmail=ann%40example.org"
                                "&UserCountry=nl&GameID=48zr517&TransID=3800123&UserScore=1509&UserNameVerify=688"
                                "&GameDifficulty=9&GameLevel=4");
    EXPECT_EQ(http.connectChecks, std::vector<std::string>{kBase + " 2000"});
}

TEST_F(OnlineTest, DifficultiesGiveTheirDigitsAndOthersNone) {
    pending(1200, 2);
    EXPECT_EQ(rgsv(), "12008");
    pending(1200, 3);
    EXPECT_EQ(rgsv(), "12007");
    pending(1200, 5);
    EXPECT_EQ(rgsv(), "12005");
    pending(1200, 0);
    EXPECT_EQ(rgsv(), "1200");
    EXPECT_EQ(get("zorvan", "installation", "rgsv2"), "0");
}

TEST_F(OnlineTest, HandEditedScoresFailTheirCheck) {
    pending(1500);
    set("zorvan", "installation", "rgsv", "99999");
    EXPECT_EQ(client->validateScore(1000), 2);
    EXPECT_EQ(client->sendScore(0), 2);

    pending(1500);
    set("zorvan", "keyboard", "identify", "4270");
    EXPECT_EQ(client->validateScore(1000), 2);
    set("zorvan", "keyboard", "identify", "soon");
    EXPECT_EQ(client->validateScore(1000), 2);
    set("zorvan", "keyboard", "identify", " 4271 extra");  // leading number counts
    EXPECT_EQ(client->validateScore(1000), 0);

    set("w32csp", "settings", "setupInfo", "4147");  // 1500 + 2647 = 4147
    EXPECT_EQ(client->validateScore(1000), 0);
    set("w32csp", "settings", "setupInfo", "4148");
    EXPECT_EQ(client->validateScore(1000), 2);
    platform->settings().remove("w32csp", "settings", "setupInfo");  // reads "0"
    EXPECT_EQ(client->validateScore(1000), 2);
    EXPECT_TRUE(http.urls.empty());
    EXPECT_TRUE(http.connectChecks.empty());
}

TEST_F(OnlineTest, ZeroPointsStoreNothingAndCheatingStoresFifty) {
    EXPECT_EQ(client->validateScore(0), 1);  // nothing stored yet: every entry reads "0"
    pending(1500);
    ASSERT_TRUE(client->storeScore("data.KSR", 0, 2, 9, "", false));
    EXPECT_EQ(rgsv(), "15009");
    EXPECT_EQ(setupInfo(), "4147");

    ASSERT_TRUE(client->storeScore("data.KSR", 0, 2, 9, "", true));
    EXPECT_EQ(rgsv(), "508");
    EXPECT_EQ(setupInfo(), "2697");
    EXPECT_EQ(client->validateScore(50), 0);
}

TEST_F(OnlineTest, BelowTheCutoffAnswers3AndWackScoreEmptiesEverything) {
    pending(999);
    EXPECT_EQ(client->validateScore(1000), 3);
    EXPECT_EQ(client->sendScore(1000), 3);
    EXPECT_TRUE(http.urls.empty());
    client->wackScore("");
    for (auto [app, section, key] : {std::tuple{"zorvan", "installation", "rgsv"},
                                     {"zorvan", "installation", "rgsv2"},
                                     {"zorvan", "settings", "gameLev"},
                                     {"zorvan", "keyboard", "identify"},
                                     {"w32csp", "settings", "setupInfo"}})
        EXPECT_EQ(get(app, section, key), "0") << key;
    EXPECT_EQ(client->validateScore(1000), 1);

    pending(1000);
    EXPECT_EQ(client->validateScore(1000), 0);
}

TEST_F(OnlineTest, NamesAreFilteredCaseSensitively) {
    EXPECT_EQ(filterWords("shit"), "****");
    EXPECT_EQ(filterWords("Shit"), "Shit");
    EXPECT_EQ(filterWords("bullshit bastards"), "bull**** ****s");
    EXPECT_EQ(filterWords("fuckfuck"), "********");
    EXPECT_EQ(filterWords("ass hole asshole"), "**** ****");

    pending(1500);
    profile();
    client->userName("Shit shit");
    client->useremail("shit@example.org");
    ASSERT_EQ(client->sendScore(0), 0);
    EXPECT_NE(http.urls[0].find("&UserName=Shit%20%2A%2A%2A%2A&UserEmail=%2A%2A%2A%2A%40example.org&"),
              std::string::npos)
        << http.urls[0];
    EXPECT_EQ(client->userName(), "Shit shit");  // the property keeps what it was given
}

TEST_F(OnlineTest, EveryValueIsPercentEncodedSoNoParameterCanBeAdded) {
    pending(1500);
    profile();
    std::string name;
    for (int b = 0; b < 256; ++b) name += static_cast<char>(b);
    client->userName(name);
    client->usercountry("nl&UserScore=999999");
    set("zorvan", "settings", "gameLev", "4&GameDifficulty=7");
    ASSERT_EQ(client->sendScore(0), 0);
    const std::string& url = http.urls[0];

    std::string encodedName;
    for (int b = 0; b < 256; ++b) {
        unsigned char c = static_cast<unsigned char>(b);
        if (std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~') {
            encodedName += static_cast<char>(c);
        } else {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%%%02X", c);
            encodedName += hex;
        }
    }
    EXPECT_NE(url.find("&UserName=" + encodedName + "&UserEmail="), std::string::npos);
    EXPECT_NE(url.find("&UserCountry=nl%26UserScore%3D999999&"), std::string::npos);
    EXPECT_NE(url.find("&GameLevel=4%26GameDifficulty%3D7"), std::string::npos);
    // Exactly the ten keys of a submission.
    EXPECT_EQ(std::count(url.begin(), url.end(), '&'), 9);
    EXPECT_EQ(std::count(url.begin(), url.end(), '='), 10);
    EXPECT_EQ(url.find_first_of(" \"<>\\^`{|}"), std::string::npos);
}

TEST_F(OnlineTest, SubmissionFailuresAreReportedNotSwallowed) {
    pending(1500);
    profile();
    http.online = false;
    EXPECT_EQ(client->sendScore(0), 4);
    EXPECT_TRUE(http.urls.empty());

    http.online = true;
    http.answer("error: database down", 500);
    EXPECT_EQ(client->sendScore(0), 5);
    http.answer("bad request", 400);
    EXPECT_EQ(client->sendScore(0), 5);
    http.refuse();
    EXPECT_EQ(client->sendScore(0), 5);
    http.answer("stored\n");
    EXPECT_EQ(client->sendScore(0), 0);
    EXPECT_EQ(http.urls.size(), 4u);
}

TEST_F(OnlineTest, TwoRecordsAreReadAndAThirdIsNotThere) {
    http.answer("zorvan\n:55@1;4000~Ann Smith^12[]\n:66@2;2500~Bob^7[]\n");
    EXPECT_EQ(client->obtainRemoteData(10, 1), 0);
    EXPECT_EQ(http.urls[0], kBase + "/view_zelk.php?InTop=10&GameName=zorvan&GameID=48zr517&GameDifficulty=9");
    EXPECT_EQ(client->numReturned(), 2);
    EXPECT_EQ(client->obtainScore(1), 4000);
    EXPECT_EQ(client->obtainName(1), "Ann Smith");
    EXPECT_EQ(client->obtainLevel(1), 12);
    EXPECT_EQ(client->obtainScore(2), 2500);
    EXPECT_EQ(client->obtainName(2), "Bob");
    EXPECT_EQ(client->obtainLevel(2), 7);
    EXPECT_EQ(client->obtainScore(3), 0);
    EXPECT_EQ(client->obtainName(3), "");
    EXPECT_EQ(client->obtainLevel(3), 0);
    for (int outside : {-1, 0, 501, 100000}) {
        EXPECT_EQ(client->obtainScore(outside), 0);
        EXPECT_EQ(client->obtainName(outside), "");
    }

    // A later request that fails forgets the records.
    http.refuse();
    EXPECT_EQ(client->obtainRemoteData(10, 3), -1);
    EXPECT_EQ(http.urls[1], kBase + "/view_zelk.php?InTop=10&GameName=zorvan&GameID=48zr517&GameDifficulty=7");
    EXPECT_EQ(client->numReturned(), 0);
    EXPECT_EQ(client->obtainScore(1), 0);
    http.answer("");
    EXPECT_EQ(client->obtainRemoteData(10, 2), -1);
    http.answer("zorvan\n", 500);
    EXPECT_EQ(client->obtainRemoteData(10, 2), -1);
    http.answer("zorvan\n");  // an empty table is an answer
    EXPECT_EQ(client->obtainRemoteData(10, 2), 0);
    EXPECT_EQ(client->numReturned(), 0);
}

TEST_F(OnlineTest, ATenDigitScoreAndLevelAreReadWhole) {
    http.answer("zorvan\n:55@1;2147483647~Ann^1000000000[]\n:66@2;1000000000~Bob^7[]\n");
    EXPECT_EQ(client->obtainRemoteData(10, 1), 0);
    EXPECT_EQ(client->numReturned(), 2);
    EXPECT_EQ(client->obtainScore(1), 2147483647);
    EXPECT_EQ(client->obtainLevel(1), 1000000000);
    EXPECT_EQ(client->obtainScore(2), 1000000000);
}

TEST_F(OnlineTest, TheSubmissionsPlaceIsFoundByItsTransId) {
    pending(1500);
    profile();
    platform->advanceTo(1234);
    ASSERT_EQ(client->sendScore(0), 0);
    ASSERT_EQ(client->transactionId(), "1234");

    http.answer("zorvan\n:99@1;9000~A^1[]\n:12345@6;1600~B^1[]\n:1234@7;1500~Ann^4[]\n");
    EXPECT_EQ(client->checkScore(10), 7);
    EXPECT_EQ(http.urls[1], kBase + "/view_zelk.php?InTop=10&GameName=zorvan&GameID=48zr517&GameDifficulty=9");

    http.answer(":1234@7;");
    EXPECT_EQ(client->checkScore(10), 7);
    http.answer("zorvan\n:99@1;9000~A^1[]\n");
    EXPECT_EQ(client->checkScore(10), 0);   // not among them
    http.answer(":1234@seven;1500~Ann^4[]");
    EXPECT_EQ(client->checkScore(10), 0);   // a place that is not a number
    http.answer(":1234@7");
    EXPECT_EQ(client->checkScore(10), 0);   // cut short before its ";"
    http.answer("");
    EXPECT_EQ(client->checkScore(10), -1);  // no answer
    http.refuse();
    EXPECT_EQ(client->checkScore(10), -1);
    http.answer(":1234@7;", 503);
    EXPECT_EQ(client->checkScore(10), -1);
}

TEST_F(OnlineTest, CheckScoreBeforeAnySubmissionFindsNothing) {
    http.answer(":@3;1~x^1[]");
    EXPECT_EQ(client->checkScore(10), 0);
}

TEST_F(OnlineTest, TransIdIsTheTickCountAsSigned32Bits) {
    pending(1500);
    profile();
    platform->advanceTo(2'147'483'648LL + 5);
    ASSERT_EQ(client->sendScore(0), 0);
    EXPECT_EQ(client->transactionId(), "-2147483643");
}

TEST_F(OnlineTest, StatisticsGoInPiecesOfAThousandCharacters) {
    pending(1500);
    profile();
    platform->advanceTo(77);
    ASSERT_EQ(client->sendScore(0), 0);
    http.urls.clear();

    writeFile("s1000.txt", std::string(1000, 'a'));
    EXPECT_EQ(client->sendStats("s1000.txt"), 0);
    ASSERT_EQ(http.urls.size(), 1u);
    EXPECT_EQ(http.urls[0], kBase + "/update_zelk.php?UserNameVerify=2038&stats=y&StatText=" + std::string(1000, 'a') +
                                "&GameName=zorvan&GameID=48zr517&TransID=77&UserScore=15009&GameDifficulty=9");

    http.urls.clear();
    writeFile("s1001.txt", std::string(1000, 'a') + "b");
    EXPECT_EQ(client->sendStats("s1001.txt"), 0);
    ASSERT_EQ(http.urls.size(), 2u);
    EXPECT_NE(http.urls[0].find("StatText=" + std::string(1000, 'a') + "&"), std::string::npos);
    EXPECT_NE(http.urls[1].find("StatText=b&"), std::string::npos);
    EXPECT_EQ(pumps, 3);  // the window's messages after every piece

    http.urls.clear();
    writeFile("empty.txt", "   ");
    EXPECT_EQ(client->sendStats("empty.txt"), 0);
    ASSERT_EQ(http.urls.size(), 1u);
    EXPECT_NE(http.urls[0].find("&StatText=&"), std::string::npos);

    http.urls.clear();
    writeFile("lines.txt", "  one\r\ntwo & three\r\n  ");
    EXPECT_EQ(client->sendStats("lines.txt"), 0);
    ASSERT_EQ(http.urls.size(), 1u);
    // Only blanks are trimmed: the last line end stays, as a "<br>".
    EXPECT_NE(http.urls[0].find("&StatText=one%3Cbr%3Etwo%20%26%20three%3Cbr%3E&"), std::string::npos)
        << http.urls[0];
}

TEST_F(OnlineTest, StatisticsThatCannotBeSentSayWhy) {
    writeFile("s.txt", "report");
    EXPECT_EQ(client->sendStats("s.txt"), 1);  // no pending score
    EXPECT_EQ(client->sendStats("missing.txt"), 5);
    pending(1500);
    set("w32csp", "settings", "setupInfo", "1");
    EXPECT_EQ(client->sendStats("s.txt"), 2);
    pending(1500);
    writeFile("long.txt", std::string(32768, 'x'));
    EXPECT_EQ(client->sendStats("long.txt"), 5);
    writeFile("limit.txt", std::string(32767, 'x'));
    http.online = false;
    EXPECT_EQ(client->sendStats("limit.txt"), 4);
    EXPECT_TRUE(http.urls.empty());

    http.online = true;
    EXPECT_EQ(client->sendStats("limit.txt"), 0);
    EXPECT_EQ(http.urls.size(), 33u);
    http.urls.clear();
    http.answer("stats stored\n");
    http.answer("no such submission\n", 404);
    EXPECT_EQ(client->sendStats("limit.txt"), 5);
    EXPECT_EQ(http.urls.size(), 2u);  // stops at the first failed piece
}

TEST_F(OnlineTest, CancelStopsTheUploadBeforeItsNextPiece) {
    pending(1500);
    writeFile("s.txt", std::string(2500, 'x'));
    onPump = [this] { client->cancelOp(); };
    EXPECT_EQ(client->sendStats("s.txt"), 5);
    EXPECT_EQ(http.urls.size(), 1u);
    onPump = nullptr;
    EXPECT_EQ(client->sendStats("s.txt"), 0);  // a new upload starts afresh
    EXPECT_EQ(http.urls.size(), 4u);
}

TEST_F(OnlineTest, TransferStatesArePassedOn) {
    std::vector<std::pair<int, bool>> seen;
    client->setStateChangedListener([&](int state) { seen.push_back({state, client->stillWorking()}); });
    http.duringRequest = [&] { EXPECT_TRUE(client->stillWorking()); };
    http.answer("zorvan\n");
    client->obtainRemoteData(10, 1);
    http.refuse();
    client->obtainRemoteData(10, 1);
    client->cnt_StateChanged(8);
    EXPECT_EQ(seen, (std::vector<std::pair<int, bool>>{{5, true}, {12, false}, {5, true}, {11, false}, {8, false}}));
    EXPECT_FALSE(client->stillWorking());
}

TEST_F(OnlineTest, StatisticsTextGoesToItsFileAndWackScoreDeletesIt) {
    ASSERT_TRUE(client->storeScore("data.KSR", 1500, 1, 3, "  level 3, 1500 points  ", false));
    EXPECT_EQ(platform->files().read("data.KSR"), std::optional<std::string>("level 3, 1500 points\r\n"));
    client->wackScore("data.KSR");
    EXPECT_FALSE(fileExists("data.KSR"));
    EXPECT_EQ(rgsv(), "0");
    client->wackScore("data.KSR");  // already gone: nothing to do
}

TEST_F(OnlineTest, TheServerAddressComesFromTheSettingsStore) {
    EXPECT_EQ(client->serverAddress(), kBase);
    set("Kestrine", "zorvan", "scoreserver", "http://scores.example.org:8080/");
    zelkScore other(*platform, nullptr);
    EXPECT_EQ(other.serverAddress(), "http://scores.example.org:8080");
    http.answer("zorvan\n");
    other.obtainRemoteData(5, 2);
    EXPECT_EQ(http.urls.back(),
              "http://scores.example.org:8080/view_zelk.php?InTop=5&GameName=zorvan&GameID=48zr517&GameDifficulty=8");
}

}  // namespace
}  // namespace zorvan::test
