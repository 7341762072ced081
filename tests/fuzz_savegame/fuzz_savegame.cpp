// libFuzzer target for the saved-game reader. Whatever the bytes, the reader must not crash or
// hang, and must give either a complete saved game that the game can run and that reads back
// the same, or a refusal with nothing at all: never part of a game.
//
// The first byte chooses how the rest is used. Odd: as plain lines that are enciphered line by
// line before reading, so that mutations reach the records behind the cipher (the cipher is a
// bijection of each line's bytes, so every file can still be reached). Even: as the file itself.

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "game/saved_game_file.h"
#include "records/cipher.h"

namespace {

constexpr std::string_view kStoredId = "123456789";

void require(bool holds) {
    if (!holds) std::abort();
}

std::string encipherLines(std::string_view plain) {
    std::string file;
    while (!plain.empty()) {
        const std::size_t end = plain.find('\n');
        file += zorvan::encryptString(plain.substr(0, end), zorvan::kSaveCipherKey);
        file += "\r\n";
        plain.remove_prefix(end == std::string_view::npos ? plain.size() : end + 1);
    }
    return file;
}

bool runnable(const zorvan::SavedGameData& g) {
    const auto& p = g.progress;
    const auto& s = g.settings;
    const auto& t = g.stats;
    const auto& i = g.inventory;
    return p.selectedCarType >= 1 && p.selectedCarType <= 4 && p.levels >= 1 && p.points >= 0 &&
           p.m_lifes >= 1 && p.speed >= 1 && p.secondSpeed >= 1 && (s.mode == "tetriss" || s.mode == "arcade") &&
           (s.difficulty == "easy" || s.difficulty == "normal" || s.difficulty == "crazy") &&
           std::isfinite(s.m_speed) && s.m_speed > 0 && s.m_speed <= zorvan::kMaxCarSpeed && s.ambFrequency > 0 &&
           t.carsAvoided >= 0 && t.carsBlasted >= 0 && t.lazerUsed >= 0 && t.brakesUsed >= 0 && t.repairsUsed >= 0 &&
           i.lazerRounds >= 0 && i.brakes >= 0 && i.enginRepare >= 0;
}

bool same(const zorvan::SavedGameData& a, const zorvan::SavedGameData& b) {
    return a.progress.selectedCarType == b.progress.selectedCarType && a.progress.levels == b.progress.levels &&
           a.progress.points == b.progress.points && a.progress.m_lifes == b.progress.m_lifes &&
           a.progress.speed == b.progress.speed && a.progress.secondSpeed == b.progress.secondSpeed &&
           a.settings.mode == b.settings.mode && a.settings.difficulty == b.settings.difficulty &&
           std::memcmp(&a.settings.m_speed, &b.settings.m_speed, sizeof(float)) == 0 &&
           a.settings.ambFrequency == b.settings.ambFrequency && a.stats.carsAvoided == b.stats.carsAvoided &&
           a.stats.carsBlasted == b.stats.carsBlasted && a.stats.lazerUsed == b.stats.lazerUsed &&
           a.stats.brakesUsed == b.stats.brakesUsed && a.stats.repairsUsed == b.stats.repairsUsed &&
           a.inventory.lazerRounds == b.inventory.lazerRounds && a.inventory.brakes == b.inventory.brakes &&
           a.inventory.enginRepare == b.inventory.enginRepare;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::string_view rest(reinterpret_cast<const char*>(data + 1), size - 1);
    const std::string file = (data[0] & 1) ? encipherLines(rest) : std::string(rest);

    const zorvan::SavedGameRead read = zorvan::readSavedGame(file, kStoredId);
    require((read.fault == zorvan::SaveFault::None) == read.game.has_value());
    if (!read.game) return 0;
    // Another identity, or none in the store, never opens the same bytes.
    require(zorvan::readSavedGame(file, "123456780").fault == zorvan::SaveFault::WrongIdentity);
    require(zorvan::readSavedGame(file, zorvan::kSaveIdAbsent).fault == zorvan::SaveFault::WrongIdentity);

    require(runnable(*read.game));
    const zorvan::SavedGameRead again = zorvan::readSavedGame(zorvan::formatSavedGame(kStoredId, *read.game), kStoredId);
    require(again.game.has_value() && same(*again.game, *read.game));
    return 0;
}
