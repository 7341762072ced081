#include "records/local_scores.h"

#include <algorithm>

#include "game/main_form.h"
#include "records/stats_report.h"

namespace zorvan {

// The end of a game, as the race calls it.
void MainForm::addToTopTen(std::int32_t gamePoints) { localScores.addToTopTen(gamePoints); }
void MainForm::writeStatsReport() { localScores.writeStatsReport(race.endCause); }

std::optional<std::string_view> LocalScores::DataFile::content() const {
    if (state == FileState::Read) return std::string_view(bytes);
    return std::nullopt;
}

// A file that is there but cannot be read is kept apart from a missing one: taking it for
// missing would write empty lists, or a history of one game, over what it holds.
LocalScores::DataFile LocalScores::readDataFile(std::string_view name) {
    Files& files = form_.platform.files();
    if (auto bytes = files.read(name)) return {FileState::Read, std::move(*bytes)};
    if (auto why = files.unreadableReason(name); !why.empty()) {
        form_.platform.messageBox("Zorvan! error!",
                                  form_.unreadableText(name, why) + ". Nothing is written over it.",
                                  MessageIcon::Warning);
        return {FileState::Unreadable, {}};
    }
    return {files.exists(name) ? FileState::Unreadable : FileState::Missing, {}};
}

// ---- high score ------------------------------------------------------------------------------

void LocalScores::loadHighScore() {
    HighScore high;
    high.loadHighScore(form_.platform.settings().get(kSettingsApp, kSettingsSection, kHighScoreKey, "0"));
    form_.highScore = high.highScore();
}

void LocalScores::saveHighScore(std::int32_t points) {
    // Points lost after the record was beaten (a crash costs 50) must not lower it.
    const std::int32_t best = std::max(points, form_.highScore);
    form_.highScore = best;
    if (!form_.platform.settings().set(kSettingsApp, kSettingsSection, kHighScoreKey,
                                       HighScore::settingValue(best)))
        form_.fatal("dll error!", "can't save new high score");
}

void LocalScores::resetHighScore() {
    SettingsStore& store = form_.platform.settings();
    if (store.get(kSettingsApp, kSettingsSection, kHighScoreKey, "nun") == "nun") return;
    if (!store.remove(kSettingsApp, kSettingsSection, kHighScoreKey)) {
        form_.platform.messageBox("dll error!", "can't reset high score", MessageIcon::Critical);
        return;
    }
    form_.highScore = 0;
    // Otherwise closing the window would store the last game's points again.
    form_.race.newscore = false;
}

bool LocalScores::checkHighScore(std::int32_t points) {
    if (points <= form_.highScore) return false;
    form_.highScore = points;
    return true;
}

// ---- end of a game ---------------------------------------------------------------------------

int LocalScores::addToTopTen(std::int32_t points) {
    const std::string& difficulty = form_.menus.difficulty;
    if (difficulty != "easy" && difficulty != "normal" && difficulty != "crazy") return 0;
    const DataFile lsDat = readDataFile(kTopTenFile);
    if (lsDat.state == FileState::Unreadable) return 0;

    const int place = topTen_.addToTopTen(difficulty, points, lsDat.content());
    if (place == 0) return 0;
    // A place the file does not hold is not reported as earned.
    if (!form_.platform.files().write(kTopTenFile, formatTopTenFile(topTen_.topTenTable()))) return 0;
    form_.race.stats.earnedPosition = place;
    return place;
}

void LocalScores::clearEarnedPosition() {
    topTen_.clearEarnedPosition();
    form_.race.stats.earnedPosition = 0;
}

bool LocalScores::writeStatsReport(std::string_view endCause) {
    const DataFile earlier = readDataFile(kStatsFile);
    if (earlier.state == FileState::Unreadable) return false;

    const LocalDateTime now = form_.platform.localDateTime();
    const GameStats& s = form_.race.stats;
    StatsReport report;
    report.date = now.shortDate;
    report.time = now.longTime;
    report.levels = form_.race.levels;
    report.points = form_.race.points;
    report.earnedPosition = static_cast<std::int16_t>(s.earnedPosition);
    report.m_lifes = form_.race.m_lifes;
    report.mode = form_.mode;
    report.selectedCarType = form_.menus.selectedCarType;
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
    return form_.platform.files().write(kStatsFile, statsFileWithReport(report, earlier.bytes));
}

}  // namespace zorvan
