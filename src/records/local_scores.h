#pragma once
// The records of the running program: the local top ten of each difficulty in ls.dat, the
// all-time high score in the settings store, the spoken top-ten menu and list, and the
// statistics report that heads stats.txt at the end of every game.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "menus/spoken_menu.h"
#include "race/race_state.h"
#include "records/top_ten.h"

namespace zorvan {

class Menus;
class NumberSystem;
class Platform;
class SoundSystem;
struct ProgramHooks;

class LocalScores {
public:
    // The settings-store entry of the all-time high score.
    static constexpr std::string_view kSettingsApp = "Kestrine";
    static constexpr std::string_view kSettingsSection = "zorvan";
    static constexpr std::string_view kHighScoreKey = "highscore";
    static constexpr std::string_view kTopTenFile = "ls.dat";
    static constexpr std::string_view kStatsFile = "stats.txt";

    // The race, the high score and the theme are the program's; the records read and set them.
    LocalScores(Platform& platform, SoundSystem& sound, NumberSystem& numbers, Menus& menus, ProgramHooks& hooks,
                RaceState& race, std::int32_t& highScore, const std::string& mode);
    LocalScores(const LocalScores&) = delete;
    LocalScores& operator=(const LocalScores&) = delete;

    // ---- The high score (highScore_ holds it in memory) ----
    // A missing entry, or one that is not a number, reads as 0.
    void loadHighScore();
    // Stores the points of a game that beat the high score. A store that refuses it ends the
    // program with a message box. The stored record never goes down: when the game lost points
    // after beating it, the best score reached (highScore_) is stored instead.
    void saveHighScore(std::int32_t points);
    // Deletes the stored entry and zeroes the high score in memory; with no entry nothing
    // changes. A store that refuses shows a message box and the game goes on.
    void resetHighScore();
    // True when the points beat the high score, which then takes their value.
    bool checkHighScore(std::int32_t points);

    // ---- The end of a game ----
    // Enters the points into the list of menus.difficulty and rewrites ls.dat; sets
    // race.stats.earnedPosition to the place earned. Returns the place, 1..10, or 0 when none
    // was earned or the list could not be read or written (ls.dat is then left as it was).
    int addToTopTen(std::int32_t points);
    // Zeroes race.stats.earnedPosition; a new or loaded game calls it.
    void clearEarnedPosition();
    // Puts the report of the game that has just ended at the head of stats.txt; endCause is
    // "cars", "hole" or "escape". Returns false when nothing was written: the file could not be
    // read (its history is kept rather than overwritten) or not be written.
    bool writeStatsReport(std::string_view endCause);

    // ---- The top-ten menu (main menu entry 4) and the browsing of one list ----
    void openTopTenMenu();
    void topTenMenuPrevious();
    void topTenMenuNext();
    void topTenMenuJump(std::string_view direction);  // "up" or "down"
    void topTenMenuSelect();
    void stopTopTenMenuSounds();
    void openTopTenList();
    void topTenListPrevious();
    void topTenListNext();
    void stopTopTenListPrompt();
    // Leaves a list: Left for the top-ten menu, Enter or Escape for the main menu.
    void leaveTopTenList(bool toMainMenu);

    const TopTen& topTen() const { return topTen_; }

    bool topTenMenuActive() const;
    bool topTenListActive() const;
    std::int16_t topTenMenuIndex = 0;  // 1..5: easy, normal, crazy, clear all, back
    std::int16_t topTenListIndex = 0;  // 1..10, the place being heard
    char topTenListLetter = 0;         // 'a', 'b' or 'c' while a list is browsed

private:
    enum class FileState { Missing, Read, Unreadable };
    struct DataFile {
        FileState state = FileState::Missing;
        std::string bytes;
        // What the pure core takes: nullopt for a missing file.
        std::optional<std::string_view> content() const;
    };
    DataFile readDataFile(std::string_view name);

    void playTopTenMenuEntry(std::int16_t entry);
    void chooseList(char letter);
    void clearAllLists();

    static constexpr std::int16_t kTopTenMenuEntries = 5, kTopTenListPlaces = topTenPlaces;

    Platform& platform_;
    SoundSystem& sound_;
    NumberSystem& numbers_;
    Menus& menus_;
    ProgramHooks& hooks_;
    RaceState& race_;  // the fields a finished game leaves in the records
    std::int32_t& highScore_;
    const std::string& mode_;
    TopTen topTen_;

public:
    // Declared after the indexes they move through.
    SpokenMenu topTenMenu, topTenList;
};

}  // namespace zorvan
