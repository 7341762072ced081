#pragma once
// The saved game: F2 in a race saves it, once per level; main menu entry 2 and F2 in the main
// menu load it. One saved game exists at a time, savegame.dat in the program folder, tied by
// the identity "sgid" of the settings store to the last save made here.

#include <string>

#include "game/saved_game_file.h"
#include "sound/sound_system.h"

namespace zorvan {

class MainForm;

class SavedGame {
public:
    explicit SavedGame(MainForm& form) : form_(form) {}
    SavedGame(const SavedGame&) = delete;
    SavedGame& operator=(const SavedGame&) = delete;

    // F2 while a game runs. A second save in one level, or one that could not be written,
    // answers with the error sound; only a save that is in place says "saved", and a failed one
    // leaves the previous saved game loadable and lets the player try again in this level.
    void saveGame();
    // Nine random digits, a new one for every save.
    std::string makeSaveId();
    // Main menu entry 2 and F2 there. The file is checked whole first: a file that is missing,
    // damaged or not the last save made here answers with the error sound and changes nothing.
    void loadSavedGame();

    // What the running game would write now (the car's inventory included).
    SavedGameData currentGame() const;
    // Puts a checked saved game in place of the running state and starts its race: the four
    // records in the order the game has always applied them, the last one starting the race.
    void applySavedGame(const SavedGameData& game);
    void applyProgressRecord(const SavedProgress& progress);
    void applySettingsRecord(const SavedSettings& settings);  // and new car objects
    void applyStatsRecord(const SavedStats& stats);
    void applyInventoryLine(const SavedInventory& inventory);  // ends with startLoadedGame
    void startLoadedGame();

    SoundSlot savedSound;                   // speech/saved.wav, played over the race
    std::int32_t savedAmbFrequency = 44100; // Hz, from the file until the race starts

private:
    // Writes the file and then the identity; false (with the old saved game still in place)
    // when either could not be stored.
    bool storeSave(const std::string& bytes, const std::string& saveId);

    MainForm& form_;
};

}  // namespace zorvan
