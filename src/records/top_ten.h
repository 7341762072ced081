#pragma once
// The local top ten of each difficulty and the all-time high score, as values: the bytes of
// ls.dat read and made, the place rule of an insertion, the high-score comparison. Reading and
// writing the file and the settings store is the caller's business; nothing here touches them.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zorvan {

// ls.dat holds 32 scores: "easy" at positions 1-10, "normal" 11-20, "crazy" 21-30, each best
// first. Positions 31 and 32 belong to no list but are read and written with the rest.
inline constexpr int topTenTableSize = 32;
inline constexpr int topTenPlaces = 10;
using TopTenTableValues = std::array<std::int32_t, topTenTableSize>;  // [0] is position 1

// The letter of the list of a difficulty: "easy" 'a', "normal" 'b', "crazy" 'c'.
// Throws std::invalid_argument for anything else.
char topTenLetter(std::string_view difficulty);
// The table position (1, 11 or 21) of place 1 of the list 'a', 'b' or 'c'.
// Throws std::invalid_argument for any other letter.
int topTenListStart(char letter);

// Lays the scores of ls.dat's bytes over `table`: line n goes to position n (line ends CR LF,
// LF or a lone CR; blanks and tabs around the number ignored). A line that is not a decimal
// number within 32 bits leaves its position as it was, so the lists after it stay in place;
// lines past 32 are ignored; positions past the end of a short file keep their values.
void parseTopTenFile(std::string_view bytes, TopTenTableValues& table);

// The bytes of ls.dat for `table`: 32 lines, each the sign place (a blank, or '-'), the
// digits, one blank and CR LF.
std::string formatTopTenFile(const TopTenTableValues& table);

// The bytes of ls.dat after the reset entry: lists * 10 + 1 lines "0" CR LF (31 for 3 lists).
std::string clearedTopTenFile(int lists);

// A decimal number within 32 bits, with blanks or tabs around it and an optional sign.
std::optional<std::int32_t> parseScore(std::string_view text);

// The top-ten state of one game session: the table as last read, the list being worked on,
// and the place the last finished game earned.
class TopTen {
public:
    const TopTenTableValues& topTenTable() const { return table_; }

    // Reads ls.dat over the table; `lsDat` is its bytes, or nullopt when the file is missing,
    // which reads as all zeros. A file that exists but cannot be read must not come here as
    // nullopt: the next insertion would write the lists over with zeros.
    void readTopTenFile(std::optional<std::string_view> lsDat);

    // readTopTenFile, then copies the list of `letter` into places 1 to 10.
    void loadTopTenList(char letter, std::optional<std::string_view> lsDat);
    // The working list; place 1..10, or 11 for the score pushed out by the last insertion.
    std::int32_t topTenList(int place) const;

    // Enters the game's points into the list of `difficulty` ("easy", "normal", "crazy"),
    // reading ls.dat first. Points must be strictly greater than a score to take its place:
    // equal points go below it. Returns the place earned, 1..10, and sets earnedPosition; then
    // the caller writes formatTopTenFile(topTenTable()). Returns 0 when no place is earned:
    // earnedPosition is untouched and the file must not be rewritten.
    int addToTopTen(std::string_view difficulty, std::int32_t points,
                    std::optional<std::string_view> lsDat);

    // 1..10, the place of the last finished game that earned one; 0 when none since
    // clearEarnedPosition. Cleared at the start of every game, new or loaded.
    std::int16_t earnedPosition() const { return earnedPosition_; }
    void clearEarnedPosition() { earnedPosition_ = 0; }

private:
    TopTenTableValues table_{};
    std::array<std::int32_t, topTenPlaces + 1> list_{};  // [0] is place 1; [10] is place 11
    std::int16_t earnedPosition_ = 0;
};

// The all-time high score held in memory, and the text it is stored as under "highscore".
class HighScore {
public:
    std::int32_t highScore() const { return highScore_; }

    // From the stored "highscore" value: nullopt (no such entry) reads as 0, and so does a
    // value that is not a decimal number within 32 bits, so that the next beaten score
    // replaces the damaged entry instead of stopping the game.
    void loadHighScore(std::optional<std::string_view> stored);

    // True when `points` exceed the high score, which then takes their value.
    bool checkHighScore(std::int32_t points);

    // After the stored entry was deleted by the reset entry of the top-ten menu.
    void clearHighScore() { highScore_ = 0; }

    // The text stored under "highscore": the decimal number, '-' when negative, no blanks.
    static std::string settingValue(std::int32_t points);

private:
    std::int32_t highScore_ = 0;
};

}  // namespace zorvan
