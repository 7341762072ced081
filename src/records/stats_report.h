#pragma once
// The report of one finished game that heads stats.txt, newest first, the history below it.

#include <cstdint>
#include <string>
#include <string_view>

namespace zorvan {

// What the report says about the game that has just ended.
struct StatsReport {
    std::string date;  // today, in the system's short date format, written as it comes
    std::string time;  // now, in the system's long time format
    std::int32_t levels = 0;
    std::int32_t points = 0;
    std::int16_t earnedPosition = 0;  // place in the local top ten, 1..10; 0 when none
    std::int16_t m_lifes = 0;
    std::string mode;          // sound theme: "tetriss" or "arcade"
    int selectedCarType = 0;   // 1..4; any other value writes no car line
    std::int32_t carsAvoided = 0;
    std::int32_t carsBlasted = 0;
    std::string endCause;      // "cars", "hole" or "escape"; any other value writes no line
    std::int16_t lazerCollected = 0;
    std::int16_t lazerUsed = 0;
    std::int16_t brakesCollected = 0;
    std::int16_t brakesUsed = 0;
    std::int16_t repairsCollected = 0;
    std::int16_t repairsUsed = 0;
};

// The report's lines, each ended by CR LF, the two empty lines after it included.
std::string statsReportText(const StatsReport& report);

// The new content of stats.txt: the report, then the earlier content byte for byte (empty
// when the file did not exist). However long the history, none of it is dropped.
std::string statsFileWithReport(const StatsReport& report, std::string_view earlier);

}  // namespace zorvan
