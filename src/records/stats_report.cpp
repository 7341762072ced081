#include "records/stats_report.h"

namespace zorvan {
namespace {

const char* carLine(int selectedCarType) {
    switch (selectedCarType) {
    case 1: return "car used in game: Lego car";
    case 2: return "car used in game: Zorvan car";
    case 3: return "car used in game: Electryc jip";
    case 4: return "car used in game: Electric car";
    }
    return nullptr;
}

const char* endLine(std::string_view endCause) {
    if (endCause == "escape") return "you ended the game by pressing escape";
    if (endCause == "hole") return "you lost the game by falling into a hole";
    if (endCause == "cars") return "you lost the game as a result of a crash";
    return nullptr;
}

}  // namespace

std::string statsReportText(const StatsReport& r) {
    using std::to_string;
    std::string text;
    const auto line = [&text](std::string_view s) {
        text += s;
        text += "\r\n";
    };

    line("***Statistics for game played on " + r.date + " at  " + r.time);
    line("");
    line("");
    line("final level: " + to_string(r.levels));
    std::string score = "final score: " + to_string(r.points);
    if (r.earnedPosition > 0)
        score += " ; this earns position " + to_string(r.earnedPosition) + " in local top ten";
    line(score);
    line("lifes left: " + to_string(r.m_lifes));
    line("game mode: " + r.mode);
    if (const char* car = carLine(r.selectedCarType)) line(car);
    line("cars avoided: " + to_string(r.carsAvoided));
    if (const char* end = endLine(r.endCause)) line(end);
    line("you collected a total of " + to_string(r.lazerCollected) +
         " lazer rounds for your canon, and made use of " + to_string(r.lazerUsed) + " of them");
    if (r.carsBlasted > 0)
        line("you blasted " + to_string(r.carsBlasted) + " cars to bits using your canon!");
    else
        line("you didn't manege to targget any car with your lazer canon");
    line("you collected a total of " + to_string(r.brakesCollected) + " brakes, and made use of " +
         to_string(r.brakesUsed) + " of them");
    line("you collected a total of " + to_string(r.repairsCollected) +
         " engine repares for your car, and made use of " + to_string(r.repairsUsed) + " of them");
    line("");
    line("");
    return text;
}

std::string statsFileWithReport(const StatsReport& report, std::string_view earlier) {
    std::string bytes = statsReportText(report);
    bytes += earlier;
    return bytes;
}

}  // namespace zorvan
