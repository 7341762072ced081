#include "records/top_ten.h"

#include <gtest/gtest.h>

#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

namespace zorvan {
namespace {

std::string lsDat(const TopTenTableValues& table) { return formatTopTenFile(table); }

std::vector<std::string> lines(const std::string& bytes) {
    std::vector<std::string> result;
    std::size_t start = 0;
    while (start < bytes.size()) {
        const auto end = bytes.find("\r\n", start);
        EXPECT_NE(end, std::string::npos) << "unterminated line";
        if (end == std::string::npos) break;
        result.push_back(bytes.substr(start, end - start));
        start = end + 2;
    }
    return result;
}

const std::string zeros32 = lsDat({});

TEST(TopTenFile, WritesSignPlaceDigitsAndTrailingBlank) {
    TopTenTableValues table{};
    table[0] = 1250;
    table[1] = -50;
    table[2] = std::numeric_limits<std::int32_t>::min();
    table[31] = std::numeric_limits<std::int32_t>::max();
    const auto written = lines(formatTopTenFile(table));
    ASSERT_EQ(written.size(), 32u);
    EXPECT_EQ(written[0], " 1250 ");
    EXPECT_EQ(written[1], "-50 ");
    EXPECT_EQ(written[2], "-2147483648 ");
    EXPECT_EQ(written[3], " 0 ");
    EXPECT_EQ(written[31], " 2147483647 ");
    TopTenTableValues back{};
    back.fill(9);
    parseTopTenFile(formatTopTenFile(table), back);
    EXPECT_EQ(back, table);
}

TEST(TopTenFile, ResetContentIsPlainZeros) {
    const auto reset = lines(clearedTopTenFile(3));
    EXPECT_EQ(reset, std::vector<std::string>(31, "0"));
    EXPECT_EQ(clearedTopTenFile(3).size(), 31u * 3);
    EXPECT_EQ(lines(clearedTopTenFile(1)).size(), 11u);
}

TEST(TopTenFile, ReadsEitherFormAndAnyLineEnd) {
    TopTenTableValues table{};
    parseTopTenFile(" 7 \r\n-3 \r\n 12 \r\n", table);
    EXPECT_EQ(table[0], 7);
    EXPECT_EQ(table[1], -3);
    EXPECT_EQ(table[2], 12);

    TopTenTableValues lf{};
    parseTopTenFile("5\n\t6\t\n+7\r8", lf);
    EXPECT_EQ((std::vector<std::int32_t>(lf.begin(), lf.begin() + 5)),
              (std::vector<std::int32_t>{5, 6, 7, 8, 0}));
}

TEST(TopTenFile, ShortFileLeavesTheRestAsItWas) {
    TopTenTableValues table{};
    table.fill(4);
    parseTopTenFile(clearedTopTenFile(3), table);
    for (int i = 0; i < 31; ++i) EXPECT_EQ(table[i], 0) << "position " << i + 1;
    EXPECT_EQ(table[31], 4);
}

TEST(TopTenFile, DamagedLinesKeepTheirPlaceAndExtraLinesAreIgnored) {
    TopTenTableValues table{};
    table.fill(-1);
    std::string bytes = "100\r\nabc\r\n\r\n12x\r\n99999999999\r\n+-3\r\n- 4\r\n 80 \r\n";
    for (int i = 9; i <= 40; ++i) bytes += std::to_string(i) + "\r\n";
    parseTopTenFile(bytes, table);
    EXPECT_EQ(table[0], 100);
    for (int i = 1; i <= 6; ++i) EXPECT_EQ(table[i], -1) << "position " << i + 1;
    EXPECT_EQ(table[7], 80);
    EXPECT_EQ(table[8], 9);
    EXPECT_EQ(table[31], 32);  // 33 to 40 go nowhere
}

TEST(TopTen, ZeroPointsOnAnEmptyListEarnNothing) {
    TopTen topTen;
    EXPECT_EQ(topTen.addToTopTen("normal", 40, zeros32), 1);
    EXPECT_EQ(topTen.addToTopTen("easy", 0, zeros32), 0);
    EXPECT_EQ(topTen.earnedPosition(), 1);  // untouched by the game that earned nothing
    EXPECT_EQ(topTen.addToTopTen("easy", -50, zeros32), 0);
}

TEST(TopTen, EqualPointsGoBelow) {
    TopTen topTen;
    EXPECT_EQ(topTen.addToTopTen("easy", 1, zeros32), 1);
    const std::string first = formatTopTenFile(topTen.topTenTable());
    EXPECT_EQ(first.substr(0, 8), " 1 \r\n 0 ");
    EXPECT_EQ(topTen.addToTopTen("easy", 1, first), 2);
    EXPECT_EQ(topTen.earnedPosition(), 2);
    EXPECT_EQ(formatTopTenFile(topTen.topTenTable()).substr(0, 15), " 1 \r\n 1 \r\n 0 \r\n");
}

TEST(TopTen, TenthScoreIsTheBarToBeat) {
    TopTenTableValues table{};
    for (int i = 0; i < 10; ++i) table[20 + i] = 100 - 10 * i;  // crazy: 100, 90, ..., 10
    TopTen topTen;
    EXPECT_EQ(topTen.addToTopTen("crazy", 10, lsDat(table)), 0);
    EXPECT_EQ(topTen.earnedPosition(), 0);

    EXPECT_EQ(topTen.addToTopTen("crazy", 11, lsDat(table)), 10);
    EXPECT_EQ(topTen.topTenList(10), 11);
    EXPECT_EQ(topTen.topTenList(11), 10);  // pushed out, never stored
    EXPECT_EQ(topTen.topTenTable()[29], 11);
    EXPECT_EQ(topTen.topTenTable()[30], 0);

    EXPECT_EQ(topTen.addToTopTen("crazy", 1000, lsDat(table)), 1);
    EXPECT_EQ(topTen.topTenList(1), 1000);
    EXPECT_EQ(topTen.topTenList(2), 100);
    EXPECT_EQ(topTen.topTenList(10), 20);
    EXPECT_EQ(topTen.topTenList(11), 10);
}

TEST(TopTen, InsertionIntoNormalChangesOnlyLines11To20) {
    TopTenTableValues table{};
    for (int i = 0; i < 32; ++i) table[i] = 1000 - i;  // every position distinct and sorted
    for (int i = 10; i < 20; ++i) table[i] = 500 - 10 * (i - 10);  // 500, 490, ..., 410
    const std::string before = lsDat(table);

    TopTen topTen;
    EXPECT_EQ(topTen.addToTopTen("normal", 475, before), 4);
    const auto oldLines = lines(before);
    const auto newLines = lines(formatTopTenFile(topTen.topTenTable()));
    ASSERT_EQ(newLines.size(), 32u);
    for (int i = 0; i < 32; ++i) {
        if (i >= 10 && i < 20) continue;
        EXPECT_EQ(newLines[i], oldLines[i]) << "line " << i + 1;
    }
    const std::vector<std::string> normal(newLines.begin() + 10, newLines.begin() + 20);
    EXPECT_EQ(normal, (std::vector<std::string>{" 500 ", " 490 ", " 480 ", " 475 ", " 470 ",
                                                " 460 ", " 450 ", " 440 ", " 430 ", " 420 "}));
}

TEST(TopTen, InsertionAfterResetWritesAll32Lines) {
    TopTen topTen;
    TopTenTableValues earlier{};
    earlier.fill(300);
    topTen.readTopTenFile(lsDat(earlier));  // position 32 in memory: 300

    EXPECT_EQ(topTen.addToTopTen("crazy", 5, clearedTopTenFile(3)), 1);
    const auto written = lines(formatTopTenFile(topTen.topTenTable()));
    ASSERT_EQ(written.size(), 32u);
    for (int i = 0; i < 31; ++i) EXPECT_EQ(written[i], i == 20 ? " 5 " : " 0 ") << "line " << i + 1;
    EXPECT_EQ(written[31], " 300 ");
}

TEST(TopTen, MissingFileReadsAsAllZeros) {
    TopTen topTen;
    TopTenTableValues earlier{};
    earlier.fill(300);
    topTen.readTopTenFile(lsDat(earlier));

    EXPECT_EQ(topTen.addToTopTen("easy", 0, std::nullopt), 0);
    EXPECT_EQ(topTen.addToTopTen("easy", 20, std::nullopt), 1);
    TopTenTableValues expected{};
    expected[0] = 20;
    EXPECT_EQ(formatTopTenFile(topTen.topTenTable()), lsDat(expected));
}

TEST(TopTen, BrowsedListComesFromTheFile) {
    TopTenTableValues table{};
    for (int i = 0; i < 32; ++i) table[i] = i + 1;
    TopTen topTen;
    topTen.loadTopTenList('b', lsDat(table));
    for (int place = 1; place <= 10; ++place) EXPECT_EQ(topTen.topTenList(place), 10 + place);
    topTen.loadTopTenList('c', lsDat(table));
    EXPECT_EQ(topTen.topTenList(1), 21);
    EXPECT_EQ(topTen.topTenList(10), 30);
    EXPECT_THROW(topTen.topTenList(0), std::out_of_range);
    EXPECT_THROW(topTen.topTenList(12), std::out_of_range);
}

TEST(TopTen, UnknownListsAreRejected) {
    TopTen topTen;
    EXPECT_THROW(topTen.addToTopTen("hard", 10, zeros32), std::invalid_argument);
    EXPECT_THROW(topTen.loadTopTenList('d', zeros32), std::invalid_argument);
    EXPECT_EQ(topTen.topTenTable(), TopTenTableValues{});
}

TEST(HighScore, OnlyAStrictlyHigherScoreCounts) {
    HighScore high;
    high.loadHighScore("120");
    EXPECT_FALSE(high.checkHighScore(120));
    EXPECT_EQ(high.highScore(), 120);
    EXPECT_TRUE(high.checkHighScore(121));
    EXPECT_EQ(high.highScore(), 121);
    EXPECT_FALSE(high.checkHighScore(0));
    high.clearHighScore();
    EXPECT_FALSE(high.checkHighScore(0));
    EXPECT_TRUE(high.checkHighScore(10));
}

TEST(HighScore, MissingOrDamagedEntryReadsAsZero) {
    HighScore high;
    high.loadHighScore(" 4500 ");
    EXPECT_EQ(high.highScore(), 4500);
    high.loadHighScore(std::nullopt);
    EXPECT_EQ(high.highScore(), 0);
    high.loadHighScore("4500");
    high.loadHighScore("lots");
    EXPECT_EQ(high.highScore(), 0);
    high.loadHighScore("12abc");
    EXPECT_EQ(high.highScore(), 0);
    high.loadHighScore("99999999999");
    EXPECT_EQ(high.highScore(), 0);
    high.loadHighScore("-30");
    EXPECT_EQ(high.highScore(), -30);
}

TEST(HighScore, StoredAsPlainDecimal) {
    EXPECT_EQ(HighScore::settingValue(4510), "4510");
    EXPECT_EQ(HighScore::settingValue(-40), "-40");
    HighScore high;
    high.loadHighScore(HighScore::settingValue(std::numeric_limits<std::int32_t>::max()));
    EXPECT_EQ(high.highScore(), std::numeric_limits<std::int32_t>::max());
}

}  // namespace
}  // namespace zorvan
