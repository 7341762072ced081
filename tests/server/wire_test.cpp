// The server's reading of the wire format, without HTTP or storage.

#include <gtest/gtest.h>

#include "wire.h"

namespace zorvan::scores {
namespace {

QueryParams params(std::initializer_list<std::pair<const std::string, std::string>> kv) { return QueryParams(kv); }

TEST(WireTest, CanonicalTransIdsOnly) {
    std::int32_t v = 0;
    EXPECT_TRUE(parseCanonicalInt32("0", v));
    EXPECT_EQ(v, 0);
    EXPECT_TRUE(parseCanonicalInt32("-2147483648", v));
    EXPECT_EQ(v, -2147483647 - 1);
    EXPECT_TRUE(parseCanonicalInt32("2147483647", v));
    for (const char* bad : {"", "-", "-0", "00", "01", "+1", " 1", "1 ", "2147483648", "-2147483649", "1.0", "0x10"})
        EXPECT_FALSE(parseCanonicalInt32(bad, v)) << '"' << bad << '"';
}

TEST(WireTest, SubmissionIsReadWithItsDigitAndCheckValue) {
    auto p = parseUpdate(params({{"GameName", "zorvan"},
                                 {"UserName", "Ann B"},
                                 {"UserEmail", "nun"},
                                 {"UserCountry", "de"},
                                 {"GameID", "48zr517"},
                                 {"TransID", "1234"},
                                 {"UserScore", "1509"},
                                 {"UserNameVerify", "688"},
                                 {"GameDifficulty", "9"},
                                 {"GameLevel", "2"},
                                 {"Unknown", "ignored"}}));
    auto* s = std::get_if<Submission>(&p);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->transId, 1234);
    EXPECT_EQ(s->userName, "Ann B");
    EXPECT_EQ(s->points, 150);
    EXPECT_EQ(s->difficulty, 9);
    EXPECT_EQ(s->level, 2);
}

TEST(WireTest, StatsPieceNeedsNoNameButTheSameChecks) {
    auto p = parseUpdate(params({{"UserNameVerify", "688"},
                                 {"stats", "y"},
                                 {"StatText", "line<br>line"},
                                 {"GameName", "zorvan"},
                                 {"GameID", "48zr517"},
                                 {"TransID", "-5"},
                                 {"UserScore", "1509"},
                                 {"GameDifficulty", "9"}}));
    auto* piece = std::get_if<StatsPiece>(&p);
    ASSERT_NE(piece, nullptr);
    EXPECT_EQ(piece->transId, -5);
    EXPECT_EQ(piece->points, 150);
    EXPECT_EQ(piece->text, "line<br>line");

    auto missing = parseUpdate(params({{"UserNameVerify", "688"}, {"stats", "y"}, {"GameName", "zorvan"},
                                       {"GameID", "48zr517"}, {"TransID", "5"}, {"UserScore", "1509"},
                                       {"GameDifficulty", "9"}}));
    ASSERT_TRUE(std::holds_alternative<BadRequest>(missing));
    EXPECT_EQ(std::get<BadRequest>(missing).why, "StatText missing");
}

TEST(WireTest, EmptyTableIsStillAReply) { EXPECT_EQ(formatTable({}), "zorvan\n"); }

TEST(WireTest, ServedNameKeepsEverythingButSeparatorsAndControls) {
    EXPECT_EQ(servedName("Ann-Marie O'Neil"), "Ann-Marie O'Neil");
    EXPECT_EQ(servedName("\xe9l\xe8ve"), "\xe9l\xe8ve");
    EXPECT_EQ(servedName(std::string("a:b@c;d~e^f[g]h\ni\0j\x7f", 20)), "a?b?c?d?e?f?g?h?i?j?");
}

}  // namespace
}  // namespace zorvan::scores
