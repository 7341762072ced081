// libFuzzer target: ls.dat and the stored high score, whatever their bytes. The first four
// bytes are the points of a finished game, the fifth picks its difficulty, the rest is ls.dat.
// A table read is written back and reads the same; an insertion earns a place 1..10 or none,
// and a place only for points above the score that was there.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "records/top_ten.h"

namespace {

void require(bool holds) {
    if (!holds) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 5) return 0;
    std::int32_t points = 0;
    std::memcpy(&points, data, 4);
    static constexpr std::string_view kDifficulties[] = {"easy", "normal", "crazy"};
    const std::string_view difficulty = kDifficulties[data[4] % 3];
    const std::string_view lsDat(reinterpret_cast<const char*>(data + 5), size - 5);

    zorvan::TopTenTableValues table;
    table.fill(7);
    zorvan::parseTopTenFile(lsDat, table);
    zorvan::TopTenTableValues again;
    again.fill(-1);
    zorvan::parseTopTenFile(zorvan::formatTopTenFile(table), again);
    require(again == table);

    zorvan::TopTen topTen;
    topTen.readTopTenFile(lsDat);
    const zorvan::TopTenTableValues before = topTen.topTenTable();
    const int place = topTen.addToTopTen(difficulty, points, lsDat);
    require(place >= 0 && place <= zorvan::topTenPlaces);
    const int start = zorvan::topTenListStart(zorvan::topTenLetter(difficulty)) - 1;
    if (place == 0) {
        require(topTen.earnedPosition() == 0);
    } else {
        require(topTen.earnedPosition() == place);
        require(topTen.topTenTable()[start + place - 1] == points);
        require(points > before[start + place - 1]);
        for (int i = 0; i < zorvan::topTenTableSize; ++i)
            if (i < start || i >= start + zorvan::topTenPlaces) require(topTen.topTenTable()[i] == before[i]);
    }

    // The high score is stored as text in the settings store: the same bytes, read as that.
    zorvan::HighScore high;
    high.loadHighScore(lsDat);
    const auto stored = zorvan::HighScore::settingValue(high.highScore());
    zorvan::HighScore reread;
    reread.loadHighScore(stored);
    require(reread.highScore() == high.highScore());
    if (const auto score = zorvan::parseScore(lsDat)) require(*score == high.highScore());
    return 0;
}
