#include "records/stats_report.h"

#include <gtest/gtest.h>

#include <string>

namespace zorvan {
namespace {

StatsReport sampleGame() {
    StatsReport r;
    r.date = "07/12/2025";
    r.time = "14:03:09";
    r.levels = 4;
    r.points = 1250;
    r.earnedPosition = 3;
    r.m_lifes = 0;
    r.mode = "tetriss";
    r.selectedCarType = 2;
    r.carsAvoided = 118;
    r.carsBlasted = 6;
    r.endCause = "cars";
    r.lazerCollected = 9;
    r.lazerUsed = 7;
    r.brakesCollected = 2;
    r.brakesUsed = 1;
    r.repairsCollected = 3;
    r.repairsUsed = 0;
    return r;
}

// The line of the report that starts with `prefix`, or "" when there is none.
std::string lineStarting(const std::string& text, const std::string& prefix) {
    const auto at = text.find("\r\n" + prefix);
    if (at == std::string::npos) return "";
    return text.substr(at + 2, text.find("\r\n", at + 2) - at - 2);
}

TEST(StatsReport, ExactTextOfAGameThatEarnedAPlace) {
    EXPECT_EQ(statsReportText(sampleGame()),
              "***Statistics for game played on 07/12/2025 at  14:03:09\r\n"
              "\r\n"
              "\r\n"
              "final level: 4\r\n"
              "final score: 1250 ; this earns position 3 in local top ten\r\n"
              "lifes left: 0\r\n"
              "game mode: tetriss\r\n"
              "car used in game: Zorvan car\r\n"
              "cars avoided: 118\r\n"
              "you lost the game as a result of a crash\r\n"
              "you collected a total of 9 lazer rounds for your canon, and made use of 7 of them\r\n"
              "you blasted 6 cars to bits using your canon!\r\n"
              "you collected a total of 2 brakes, and made use of 1 of them\r\n"
              "you collected a total of 3 engine repares for your car, and made use of 0 of them\r\n"
              "\r\n"
              "\r\n");
}

TEST(StatsReport, NoPlaceNoBlastNegativeScore) {
    StatsReport r = sampleGame();
    r.earnedPosition = 0;
    r.points = -50;
    r.carsBlasted = 0;
    r.mode = "arcade";
    const std::string text = statsReportText(r);
    EXPECT_EQ(lineStarting(text, "final score"), "final score: -50");
    EXPECT_EQ(lineStarting(text, "you "), "you lost the game as a result of a crash");
    EXPECT_NE(text.find("\r\nyou didn't manege to targget any car with your lazer canon\r\n"),
              std::string::npos);
    EXPECT_EQ(lineStarting(text, "game mode"), "game mode: arcade");
    r.carsBlasted = -1;
    EXPECT_NE(statsReportText(r).find("you didn't manege"), std::string::npos);
    r.earnedPosition = 10;
    EXPECT_EQ(lineStarting(statsReportText(r), "final score"),
              "final score: -50 ; this earns position 10 in local top ten");
}

TEST(StatsReport, EveryCarTypeAndEndCause) {
    StatsReport r = sampleGame();
    const char* cars[] = {"", "Lego car", "Zorvan car", "Electryc jip", "Electric car", ""};
    for (int type = 0; type <= 5; ++type) {
        r.selectedCarType = type;
        const std::string line = lineStarting(statsReportText(r), "car used in game: ");
        EXPECT_EQ(line, *cars[type] ? std::string("car used in game: ") + cars[type] : "") << type;
    }
    const std::string full = statsReportText(sampleGame());
    r.selectedCarType = 7;
    EXPECT_EQ(statsReportText(r).size(), full.size() - std::string("car used in game: Zorvan car\r\n").size());

    const std::pair<const char*, const char*> ends[] = {
        {"escape", "you ended the game by pressing escape"},
        {"hole", "you lost the game by falling into a hole"},
        {"cars", "you lost the game as a result of a crash"},
        {"", "you collected a total of 9 lazer rounds"},
        {"Escape", "you collected a total of 9 lazer rounds"},
    };
    r = sampleGame();
    for (const auto& [cause, line] : ends) {
        r.endCause = cause;
        EXPECT_EQ(lineStarting(statsReportText(r), "you ").substr(0, std::string(line).size()), line)
            << cause;
    }
}

TEST(StatsReport, DateAndTimeAreWrittenAsTheyCome) {
    StatsReport r = sampleGame();
    r.date = "Sunday, 7 December, 2025";
    r.time = "2:03:09 PM";
    const std::string heading =
        "***Statistics for game played on Sunday, 7 December, 2025 at  2:03:09 PM\r\n\r\n\r\n";
    EXPECT_EQ(statsReportText(r).substr(0, heading.size()), heading);
}

TEST(StatsReport, NewestFirstHistoryKept) {
    const StatsReport first = sampleGame();
    StatsReport second = sampleGame();
    second.time = "14:20:00";
    second.earnedPosition = 0;
    second.endCause = "hole";

    const std::string once = statsFileWithReport(first, "");
    EXPECT_EQ(once, statsReportText(first));
    const std::string twice = statsFileWithReport(second, once);
    EXPECT_EQ(twice, statsReportText(second) + statsReportText(first));
    // The second report ends in two empty lines, right before the first report's heading.
    EXPECT_NE(twice.find("of 0 of them\r\n\r\n\r\n***Statistics for game played on 07/12/2025 at  14:03:09"),
              std::string::npos);
    EXPECT_GT(twice.find("this earns position"), statsReportText(second).size());
}

TEST(StatsReport, EarlierContentIsKeptByteForByte) {
    std::string history = "a note in LF\nno final line end, and bytes \xE9\xFF";
    for (int i = 0; i < 40000; ++i) history += "\r\nline " + std::to_string(i);
    const std::string bytes = statsFileWithReport(sampleGame(), history);
    EXPECT_EQ(bytes.substr(0, statsReportText(sampleGame()).size()), statsReportText(sampleGame()));
    EXPECT_EQ(bytes.substr(statsReportText(sampleGame()).size()), history);
}

}  // namespace
}  // namespace zorvan
