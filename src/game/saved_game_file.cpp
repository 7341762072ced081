#include "game/saved_game_file.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <system_error>
#include <vector>

#include "records/cipher.h"

namespace zorvan {

namespace {

std::string joined(const std::vector<std::string>& fields, std::string_view separator) {
    std::string out;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (i > 0) out += separator;
        out += fields[i];
    }
    return out;
}

std::vector<std::string_view> split(std::string_view text, std::string_view separator) {
    std::vector<std::string_view> fields;
    for (;;) {
        const std::size_t at = text.find(separator);
        if (at == std::string_view::npos) {
            fields.push_back(text);
            return fields;
        }
        fields.push_back(text.substr(0, at));
        text.remove_prefix(at + separator.size());
    }
}

// The first `count` lines; a last line without its line end counts. Fewer: nullopt.
std::optional<std::vector<std::string_view>> firstLines(std::string_view bytes, std::size_t count) {
    std::vector<std::string_view> lines;
    while (lines.size() < count && !bytes.empty()) {
        const std::size_t end = bytes.find('\n');
        std::string_view line = bytes.substr(0, end);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        lines.push_back(line);
        bytes.remove_prefix(end == std::string_view::npos ? bytes.size() : end + 1);
    }
    if (lines.size() < count) return std::nullopt;
    return lines;
}

// Why a record was refused; None while it reads well.
struct Reader {
    SaveFault fault = SaveFault::None;

    template <typename Int>
    Int integer(std::string_view text) {
        Int value{};
        auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
        if (text.empty() || ec != std::errc() || end != text.data() + text.size()) fail(SaveFault::NotANumber);
        return value;
    }

    float decimal(std::string_view text) {
        // A comma is the decimal sign where the system writes numbers that way.
        std::string plain(text);
        for (char& c : plain)
            if (c == ',') c = '.';
        float value = 0;
        auto [end, ec] = std::from_chars(plain.data(), plain.data() + plain.size(), value,
                                         std::chars_format::general);
        if (plain.empty() || ec != std::errc() || end != plain.data() + plain.size() ||
            !std::isfinite(value))
            fail(SaveFault::NotANumber);
        return value;
    }

    void require(bool holds, SaveFault why) {
        if (!holds) fail(why);
    }
    void fail(SaveFault why) {
        if (fault == SaveFault::None) fault = why;
    }
    bool ok() const { return fault == SaveFault::None; }
};

// Splits a deciphered record and checks it has at least `fields` fields.
std::optional<std::vector<std::string_view>> fieldsOf(Reader& r, std::string_view record,
                                                      std::string_view separator, std::size_t fields) {
    auto parts = split(record, separator);
    if (parts.size() < fields) {
        r.fail(SaveFault::MissingField);
        return std::nullopt;
    }
    return parts;
}

void readProgress(Reader& r, std::string_view record, SavedProgress& p) {
    auto f = fieldsOf(r, record, kFieldSeparator, 6);
    if (!f) return;
    p.selectedCarType = r.integer<std::int16_t>((*f)[0]);
    p.levels = r.integer<std::int32_t>((*f)[1]);
    p.points = r.integer<std::int32_t>((*f)[2]);
    p.m_lifes = r.integer<std::int16_t>((*f)[3]);
    p.speed = r.integer<std::int32_t>((*f)[4]);
    p.secondSpeed = r.integer<std::int32_t>((*f)[5]);
    if (!r.ok()) return;
    r.require(p.selectedCarType >= 1 && p.selectedCarType <= 4 && p.levels >= 1 && p.levels <= kMaxSavedLevel &&
                  p.points >= 0 && p.points <= kMaxSavedPoints && p.m_lifes >= 1 && p.m_lifes <= kMaxSavedLifes &&
                  p.speed >= 1 && p.speed <= kMaxSavedInterval && p.secondSpeed >= 1 &&
                  p.secondSpeed <= kMaxSavedInterval,
              SaveFault::OutOfRange);
}

// Theme and difficulty from the front, speed and frequency from the end.
void readSettings(Reader& r, std::string_view record, SavedSettings& s) {
    auto f = fieldsOf(r, record, kFieldSeparator, 4);
    if (!f) return;
    const std::size_t n = f->size();
    s.mode = std::string((*f)[0]);
    s.difficulty = std::string((*f)[1]);
    s.m_speed = r.decimal((*f)[n - 2]);
    s.ambFrequency = r.integer<std::int32_t>((*f)[n - 1]);
    if (!r.ok()) return;
    r.require((s.mode == "tetriss" || s.mode == "arcade") &&
                  (s.difficulty == "easy" || s.difficulty == "normal" || s.difficulty == "crazy") &&
                  s.m_speed > 0 && s.m_speed <= kMaxCarSpeed && s.ambFrequency > 0,
              SaveFault::OutOfRange);
}

// Three counters from the front, the last two from the end.
void readStats(Reader& r, std::string_view record, SavedStats& s) {
    auto f = fieldsOf(r, record, "*", 5);
    if (!f) return;
    const std::size_t n = f->size();
    s.carsAvoided = r.integer<std::int32_t>((*f)[0]);
    s.carsBlasted = r.integer<std::int32_t>((*f)[1]);
    s.lazerUsed = r.integer<std::int16_t>((*f)[2]);
    s.brakesUsed = r.integer<std::int16_t>((*f)[n - 2]);
    s.repairsUsed = r.integer<std::int16_t>((*f)[n - 1]);
    if (!r.ok()) return;
    r.require(s.carsAvoided >= 0 && s.carsAvoided <= kMaxSavedCars && s.carsBlasted >= 0 &&
                  s.carsBlasted <= kMaxSavedCars && s.lazerUsed >= 0 && s.brakesUsed >= 0 && s.repairsUsed >= 0,
              SaveFault::OutOfRange);
}

void readInventory(Reader& r, std::string_view record, SavedInventory& i) {
    auto f = fieldsOf(r, record, "_", 3);
    if (!f) return;
    i.lazerRounds = r.integer<std::int16_t>((*f)[0]);
    i.brakes = r.integer<std::int16_t>((*f)[1]);
    i.enginRepare = r.integer<std::int16_t>((*f)[2]);
    if (!r.ok()) return;
    r.require(i.lazerRounds >= 0 && i.brakes >= 0 && i.enginRepare >= 0, SaveFault::OutOfRange);
}

std::string decipher(std::string_view line) { return decryptString(line, kSaveCipherKey); }
std::string encipher(std::string_view text) { return encryptString(text, kSaveCipherKey); }

}  // namespace

std::string speedText(float speed) {
    char text[64];
    auto [end, ec] = std::to_chars(text, text + sizeof text, speed);
    if (ec != std::errc()) return "0";
    return std::string(text, end);
}

std::string settingsRecord(const SavedSettings& s) {
    return joined({s.mode, s.difficulty, speedText(s.m_speed), std::to_string(s.ambFrequency)},
                  kFieldSeparator);
}

std::string progressRecord(const SavedProgress& p) {
    return joined({std::to_string(p.selectedCarType), std::to_string(p.levels), std::to_string(p.points),
                   std::to_string(p.m_lifes), std::to_string(p.speed), std::to_string(p.secondSpeed)},
                  kFieldSeparator);
}

std::string statsRecord(const SavedStats& s) {
    return joined({std::to_string(s.carsAvoided), std::to_string(s.carsBlasted), std::to_string(s.lazerUsed),
                   std::to_string(s.brakesUsed), std::to_string(s.repairsUsed)},
                  "*");
}

std::string inventoryRecord(const SavedInventory& i) {
    return joined({std::to_string(i.lazerRounds), std::to_string(i.brakes), std::to_string(i.enginRepare)}, "_");
}

std::string formatSavedGame(std::string_view saveId, const SavedGameData& game, std::string_view inventoryLine) {
    std::string out;
    for (const std::string& line : {encipher(saveId), encipher(settingsRecord(game.settings)),
                                    encipher(progressRecord(game.progress)), std::string(inventoryLine),
                                    encipher(statsRecord(game.stats))}) {
        out += line;
        out += "\r\n";
    }
    return out;
}

std::string formatSavedGame(std::string_view saveId, const SavedGameData& game) {
    return formatSavedGame(saveId, game, encipher(inventoryRecord(game.inventory)));
}

bool isSaveId(std::string_view text) {
    if (text.size() != static_cast<std::size_t>(kSaveIdDigits)) return false;
    for (char c : text)
        if (c < '0' || c > '9') return false;
    return true;
}

SavedGameRead readSavedGame(std::string_view fileBytes, std::string_view storedId) {
    auto lines = firstLines(fileBytes, 5);
    if (!lines) return {SaveFault::MissingLine, std::nullopt};
    // Without an identity in the store no file is this machine's last save.
    if (!isSaveId(storedId) || decipher((*lines)[0]) != storedId) return {SaveFault::WrongIdentity, std::nullopt};

    Reader r;
    SavedGameData game;
    readSettings(r, decipher((*lines)[1]), game.settings);
    readProgress(r, decipher((*lines)[2]), game.progress);
    readInventory(r, decipher((*lines)[3]), game.inventory);
    readStats(r, decipher((*lines)[4]), game.stats);
    if (!r.ok()) return {r.fault, std::nullopt};
    return {SaveFault::None, std::move(game)};
}

}  // namespace zorvan
