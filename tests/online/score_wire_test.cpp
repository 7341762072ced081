// Reading table replies: the bounds and the records cut short.

#include <gtest/gtest.h>

#include "online/score_wire.h"

namespace zorvan {
namespace {

std::string records(int n) {
    std::string s = "zorvan\n";
    for (int i = 1; i <= n; ++i)
        s += ":" + std::to_string(i) + "@" + std::to_string(i) + ";" + std::to_string(10000 - i) + "~p" +
             std::to_string(i) + "^" + std::to_string(i % 40) + "[]\n";
    return s;
}

TEST(ScoreWireTest, NeverMoreThanAskedForNorMoreThanFiveHundred) {
    EXPECT_EQ(parseTableReply(records(600), 32767).size(), 500u);
    EXPECT_EQ(parseTableReply(records(600), 500).size(), 500u);
    EXPECT_EQ(parseTableReply(records(600), 10).size(), 10u);
    EXPECT_EQ(parseTableReply(records(3), 10).size(), 3u);
    EXPECT_TRUE(parseTableReply(records(3), 0).empty());
    EXPECT_TRUE(parseTableReply(records(3), -5).empty());
    auto r = parseTableReply(records(600), 500);
    EXPECT_EQ(r.back().score, 9500);
    EXPECT_EQ(r.back().name, "p500");
}

TEST(ScoreWireTest, ARecordCutShortEndsTheReading) {
    const std::string two = ":1@1;300~Ann^4[]:2@2;200~Bob^3[]";
    EXPECT_EQ(parseTableReply(two + ":3@3;100", 10).size(), 2u);             // no "~"
    EXPECT_EQ(parseTableReply(two + ":3@3;100~Cy", 10).size(), 2u);          // no "^"
    EXPECT_EQ(parseTableReply(two + ":3@3;100~Cy^5", 10).size(), 2u);        // no "[]"
    EXPECT_EQ(parseTableReply(two + ":3@3;100~Cy^5[", 10).size(), 2u);
    EXPECT_EQ(parseTableReply(two + ":3@3;many~Cy^5[]", 10).size(), 2u);     // score not a number
    EXPECT_EQ(parseTableReply(two + ":3@3;100~Cy^^5[]", 10).size(), 2u);     // level not a number
    EXPECT_EQ(parseTableReply(two + ":3@3;99999999999~Cy^5[]", 10).size(), 2u);  // beyond 32 bits
    EXPECT_EQ(parseTableReply(":1@1;3~x^1[]:2@2;bad~y^1[]:3@3;1~z^1[]", 10).size(), 1u);
    EXPECT_EQ(parseTableReply(two + ":3@3;100~Cy^5[]", 10).size(), 3u);
}

TEST(ScoreWireTest, TextAroundRecordsIsSkippedAndNamesKeptAsSent) {
    auto r = parseTableReply("<html>top ten\n:1@1; 300 ~Ann ~Lee^ 4 []between:2@2;-5~^0[]after", 10);
    ASSERT_EQ(r.size(), 2u);
    EXPECT_EQ(r[0].score, 300);
    EXPECT_EQ(r[0].name, "Ann ~Lee");
    EXPECT_EQ(r[0].level, 4);
    EXPECT_EQ(r[1].score, -5);
    EXPECT_EQ(r[1].name, "");
    EXPECT_TRUE(parseTableReply("zorvan\n", 10).empty());
}

TEST(ScoreWireTest, TenDigitNumbersUpToThe32BitLimitsAreRead) {
    auto r = parseTableReply(":1@1;2147483647~Top^2147483647[]:2@2;1000000000~Ten^1000000000[]"
                             ":3@3;-2147483648~Low^-2147483648[]:4@4;2147483648~Over^1[]",
                             10);
    ASSERT_EQ(r.size(), 3u);
    EXPECT_EQ(r[0].score, 2147483647);
    EXPECT_EQ(r[0].level, 2147483647);
    EXPECT_EQ(r[1].score, 1000000000);
    EXPECT_EQ(r[1].level, 1000000000);
    EXPECT_EQ(r[2].score, -2147483647 - 1);
    EXPECT_EQ(r[2].level, -2147483647 - 1);
    EXPECT_EQ(parseTableReply(":1@1; 0000000042 ~z^ 0000000007 []", 10).at(0).score, 42);
    EXPECT_EQ(findPlace(":1234@2147483647;", "1234"), 2147483647);
    EXPECT_EQ(findPlace(":1234@1000000000;", "1234"), 1000000000);
    EXPECT_EQ(findPlace(":1234@2147483648;", "1234"), 0);
}

TEST(ScoreWireTest, PlacesAreReadOnlyWhenWhole) {
    EXPECT_EQ(findPlace("x:1234@7;1500~a^1[]", "1234"), 7);
    EXPECT_EQ(findPlace(":11234@2;9~a^1[]:1234@9;5~b^1[]", "1234"), 9);
    EXPECT_EQ(findPlace(":-77@3;9~a^1[]", "-77"), 3);
    EXPECT_EQ(findPlace(":1234@;", "1234"), 0);
    EXPECT_EQ(findPlace(":1234@7x;", "1234"), 0);
    EXPECT_EQ(findPlace(":1234@99999999999;", "1234"), 0);
    EXPECT_EQ(findPlace(":1234@7", "1234"), 0);
    EXPECT_EQ(findPlace("", "1234"), 0);
}

TEST(ScoreWireTest, NumbersAsTheSettingsStoreHoldsThem) {
    EXPECT_EQ(leadingNumber("  47471"), 47471);
    EXPECT_EQ(leadingNumber("150x"), 150);
    EXPECT_EQ(leadingNumber("-12"), -12);
    EXPECT_EQ(leadingNumber("x150"), 0);
    EXPECT_EQ(leadingNumber(""), 0);
    EXPECT_GT(leadingNumber("99999999999999999999999999"), 0);  // saturates, never wraps
}

}  // namespace
}  // namespace zorvan
