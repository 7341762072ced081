#include "records/local_scores.h"

#include <algorithm>

#include "menus/menus.h"
#include "menus/program_hooks.h"
#include "records/stats_report.h"

namespace zorvan {

std::optional<std::string_view> LocalScores::DataFile::content() const {
    if (state == FileState::Read) return std::string_view(bytes);
    return std::nullopt;
}

// A file that is there but cannot be read is kept apart from a missing one: taking it for
// missing would write empty lists, or a history of one game, over what it holds.
LocalScores::DataFile LocalScores::readDataFile(std::string_view name) {
    Files& files = platform_.files();
    if (auto bytes = files.read(name)) return {FileState::Read, std::move(*bytes)};
    if (auto why = files.unreadableReason(name); !why.empty()) {
        platform_.messageBox("Zorvan! error!",
                                  hooks_.unreadableText(name, why) + ". Nothing is written over it.",
                                  MessageIcon::Warning);
        return {FileState::Unreadable, {}};
    }
    return {files.exists(name) ? FileState::Unreadable : FileState::Missing, {}};
}

// ---- high score ------------------------------------------------------------------------------

void LocalScores::loadHighScore() {
    HighScore high;
    high.loadHighScore(platform_.settings().get(kSettingsApp, kSettingsSection, kHighScoreKey, "0"));
    highScore_ = high.highScore();
}

void LocalScores::saveHighScore(std::int32_t points) {
    // Points lost after the record was beaten (a crash costs 50) must not lower it.
    const std::int32_t best = std::max(points, highScore_);
    highScore_ = best;
    if (!platform_.settings().set(kSettingsApp, kSettingsSection, kHighScoreKey,
                                       HighScore::settingValue(best)))
        hooks_.fatal("dll error!", "can't save new high score");
}

void LocalScores::resetHighScore() {
    SettingsStore& store = platform_.settings();
    if (store.get(kSettingsApp, kSettingsSection, kHighScoreKey, "nun") == "nun") return;
    if (!store.remove(kSettingsApp, kSettingsSection, kHighScoreKey)) {
        platform_.messageBox("dll error!", "can't reset high score", MessageIcon::Critical);
        return;
    }
    highScore_ = 0;
    // Otherwise closing the window would store the last game's points again.
    race_.newscore = false;
}

bool LocalScores::checkHighScore(std::int32_t points) {
    if (points <= highScore_) return false;
    highScore_ = points;
    return true;
}

// ---- end of a game ---------------------------------------------------------------------------

int LocalScores::addToTopTen(std::int32_t points) {
    const std::string& difficulty = menus_.difficulty;
    if (difficulty != "easy" && difficulty != "normal" && difficulty != "crazy") return 0;
    const DataFile lsDat = readDataFile(kTopTenFile);
    if (lsDat.state == FileState::Unreadable) return 0;

    const int place = topTen_.addToTopTen(difficulty, points, lsDat.content());
    if (place == 0) return 0;
    // A place the file does not hold is not reported as earned.
    if (!platform_.files().write(kTopTenFile, formatTopTenFile(topTen_.topTenTable()))) return 0;
    race_.stats.earnedPosition = place;
    return place;
}

void LocalScores::clearEarnedPosition() {
    topTen_.clearEarnedPosition();
    race_.stats.earnedPosition = 0;
}

bool LocalScores::writeStatsReport(std::string_view endCause) {
    const DataFile earlier = readDataFile(kStatsFile);
    if (earlier.state == FileState::Unreadable) return false;

    const LocalDateTime now = platform_.localDateTime();
    const GameStats& s = race_.stats;
    StatsReport report;
    report.date = now.shortDate;
    report.time = now.longTime;
    report.levels = race_.levels;
    report.points = race_.points;
    report.earnedPosition = static_cast<std::int16_t>(s.earnedPosition);
    report.m_lifes = race_.m_lifes;
    report.mode = mode_;
    report.selectedCarType = menus_.selectedCarType;
    report.carsAvoided = s.carsAvoided;
    report.carsBlasted = s.carsBlasted;
    report.endCause = std::string(endCause);
    report.lazerCollected = s.lazerCollected;
    report.lazerUsed = s.lazerUsed;
    report.brakesCollected = s.brakesCollected;
    report.brakesUsed = s.brakesUsed;
    report.repairsCollected = s.repairsCollected;
    report.repairsUsed = s.repairsUsed;
    // Written whole through a temporary file: a failed write leaves the old history in place.
    return platform_.files().write(kStatsFile, statsFileWithReport(report, earlier.bytes));
}

}  // namespace zorvan
