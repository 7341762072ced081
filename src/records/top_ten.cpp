#include "records/top_ten.h"

#include <charconv>
#include <stdexcept>

namespace zorvan {
namespace {

bool isBlank(char c) { return c == ' ' || c == '\t'; }

// Splits at CR LF, LF or a lone CR; calls `line` for each line, the last one even without a
// line end, but not for the nothing after a final line end.
template <typename F>
void forEachLine(std::string_view bytes, F&& line) {
    std::size_t start = 0;
    while (start < bytes.size()) {
        std::size_t end = start;
        while (end < bytes.size() && bytes[end] != '\r' && bytes[end] != '\n') ++end;
        line(bytes.substr(start, end - start));
        if (end < bytes.size() && bytes[end] == '\r' && end + 1 < bytes.size() && bytes[end + 1] == '\n')
            ++end;
        start = end + 1;
    }
}

}  // namespace

std::optional<std::int32_t> parseScore(std::string_view text) {
    while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
        if (!text.empty() && text.front() == '-') return std::nullopt;
    }
    std::int32_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

char topTenLetter(std::string_view difficulty) {
    if (difficulty == "easy") return 'a';
    if (difficulty == "normal") return 'b';
    if (difficulty == "crazy") return 'c';
    throw std::invalid_argument("no top-ten list for difficulty \"" + std::string(difficulty) + "\"");
}

int topTenListStart(char letter) {
    switch (letter) {
    case 'a': return 1;
    case 'b': return 11;
    case 'c': return 21;
    }
    throw std::invalid_argument(std::string("no top-ten list '") + letter + "'");
}

void parseTopTenFile(std::string_view bytes, TopTenTableValues& table) {
    std::size_t position = 0;
    forEachLine(bytes, [&](std::string_view line) {
        if (position < table.size()) {
            if (const auto score = parseScore(line)) table[position] = *score;
        }
        ++position;
    });
}

std::string formatTopTenFile(const TopTenTableValues& table) {
    std::string bytes;
    bytes.reserve(table.size() * 14);
    for (const std::int32_t score : table) {
        if (score >= 0) bytes += ' ';
        bytes += std::to_string(score);
        bytes += " \r\n";
    }
    return bytes;
}

std::string clearedTopTenFile(int lists) {
    std::string bytes;
    for (int i = 0; i < lists * topTenPlaces + 1; ++i) bytes += "0\r\n";
    return bytes;
}

void TopTen::readTopTenFile(std::optional<std::string_view> lsDat) {
    if (!lsDat) {
        table_.fill(0);
        return;
    }
    parseTopTenFile(*lsDat, table_);
}

void TopTen::loadTopTenList(char letter, std::optional<std::string_view> lsDat) {
    const int start = topTenListStart(letter) - 1;
    readTopTenFile(lsDat);
    for (int place = 0; place < topTenPlaces; ++place) list_[place] = table_[start + place];
}

std::int32_t TopTen::topTenList(int place) const {
    if (place < 1 || place > topTenPlaces + 1) throw std::out_of_range("top-ten place out of range");
    return list_[place - 1];
}

int TopTen::addToTopTen(std::string_view difficulty, std::int32_t points,
                        std::optional<std::string_view> lsDat) {
    const char letter = topTenLetter(difficulty);
    loadTopTenList(letter, lsDat);

    int place = 0;  // 0-based below
    while (place < topTenPlaces && !(points > list_[place])) ++place;
    if (place == topTenPlaces) return 0;

    for (int k = topTenPlaces; k > place; --k) list_[k] = list_[k - 1];
    list_[place] = points;

    const int start = topTenListStart(letter) - 1;
    for (int i = 0; i < topTenPlaces; ++i) table_[start + i] = list_[i];
    earnedPosition_ = static_cast<std::int16_t>(place + 1);
    return place + 1;
}

void HighScore::loadHighScore(std::optional<std::string_view> stored) {
    highScore_ = stored ? parseScore(*stored).value_or(0) : 0;
}

bool HighScore::checkHighScore(std::int32_t points) {
    if (points <= highScore_) return false;
    highScore_ = points;
    return true;
}

std::string HighScore::settingValue(std::int32_t points) { return std::to_string(points); }

}  // namespace zorvan
