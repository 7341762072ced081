#pragma once
// The file of the saved game, savegame.dat: five enciphered lines, CR LF after each.
//
//   1  the save identity (nine digits)
//   2  settings: mode [`? difficulty [`? car speed [`? background loop frequency
//   3  progress: car type [`? level [`? points [`? lifes [`? interval [`? second interval
//   4  inventory: lazer rounds _ brakes _ engine repairs
//   5  statistics: cars avoided * cars blasted * lazer used * brakes used * repairs used
//
// Pure functions of bytes, no game state: the reader checks a file whole and gives either a
// complete saved game or the reason it refused, never half of one.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zorvan {

inline constexpr std::string_view kSaveFile = "savegame.dat";
inline constexpr std::string_view kSaveCipherKey = "4718250";
// The settings-store entry that ties the file to the last save made here.
inline constexpr std::string_view kSaveIdKey = "sgid";
inline constexpr std::string_view kSaveIdAbsent = "nun";  // what the store gives without one
inline constexpr std::string_view kFieldSeparator = "[`?";  // records 2 and 3
inline constexpr int kSaveIdDigits = 9;

// What a game can reach in practice, with room to play on without any sum running over:
// a file beyond them was not written by a game.
inline constexpr std::int32_t kMaxSavedLevel = 100000;
inline constexpr std::int32_t kMaxSavedPoints = 999999999;
inline constexpr std::int16_t kMaxSavedLifes = 1000;
inline constexpr std::int32_t kMaxSavedInterval = 300;  // a new game's; level-ups only shorten it
inline constexpr std::int32_t kMaxSavedCars = 999999999;  // cars avoided, cars blasted

struct SavedProgress {
    std::int16_t selectedCarType = 1;  // 1..4
    std::int32_t levels = 1;           // 1..kMaxSavedLevel
    std::int32_t points = 0;           // 0..kMaxSavedPoints
    std::int16_t m_lifes = 5;          // 1..kMaxSavedLifes
    std::int32_t speed = 300;          // approach interval of the first car, ms, 1..kMaxSavedInterval
    std::int32_t secondSpeed = 300;    // the same for the second car
};

struct SavedSettings {
    std::string mode = "tetriss";      // "tetriss" or "arcade"
    std::string difficulty = "easy";   // "easy", "normal" or "crazy"
    float m_speed = 2.0f;              // distance per second; finite, above 0, at most kMaxCarSpeed
    std::int32_t ambFrequency = 44100; // Hz of the background loop, above 0
};

struct SavedStats {
    std::int32_t carsAvoided = 0, carsBlasted = 0;  // 0..kMaxSavedCars
    std::int16_t lazerUsed = 0, brakesUsed = 0, repairsUsed = 0;
};

struct SavedInventory {
    std::int16_t lazerRounds = 0, brakes = 0, enginRepare = 0;
};

struct SavedGameData {
    SavedProgress progress;
    SavedSettings settings;
    SavedStats stats;
    SavedInventory inventory;
};

// A car speed the race can take without its distance counter running over.
inline constexpr float kMaxCarSpeed = 10000.0f;

enum class SaveFault {
    None,
    MissingLine,    // fewer than five lines
    WrongIdentity,  // line 1 is not the identity in the store, or the store holds none
    MissingField,   // a record with too few fields
    NotANumber,     // a field that does not convert to its type
    OutOfRange,     // a value no game can have (car type 7, no lifes, an unknown theme...)
};

struct SavedGameRead {
    SaveFault fault = SaveFault::None;
    std::optional<SavedGameData> game;  // set exactly when fault is None
};

// The plain records, before enciphering.
std::string settingsRecord(const SavedSettings& settings);
std::string progressRecord(const SavedProgress& progress);
std::string statsRecord(const SavedStats& stats);
std::string inventoryRecord(const SavedInventory& inventory);  // "5_0_2"

// The speed as text that reads back to the very same float ("2.3", "0.5", "4").
std::string speedText(float speed);

// The whole file. inventoryLine is line 4 as the player car gives it (already enciphered);
// encryptString(inventoryRecord(...), kSaveCipherKey) is the same thing.
std::string formatSavedGame(std::string_view saveId, const SavedGameData& game,
                            std::string_view inventoryLine);
std::string formatSavedGame(std::string_view saveId, const SavedGameData& game);

// Reads a whole file against the identity held in the settings store. Lines end in CR LF or
// LF; lines after the fifth are not read. Numbers are decimal, a minus sign allowed; the
// speed takes a decimal point or comma.
SavedGameRead readSavedGame(std::string_view fileBytes, std::string_view storedId);

// Nine decimal digits.
bool isSaveId(std::string_view text);

}  // namespace zorvan
