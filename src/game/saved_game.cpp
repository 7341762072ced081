#include "game/saved_game.h"

#include "game/main_form.h"
#include "race/random_draw.h"

namespace zorvan {

namespace {
constexpr std::string_view kSettingsApp = "Kestrine";
constexpr std::string_view kSettingsSection = "zorvan";
}  // namespace

void MainForm::loadSavedGame() { savedGame.loadSavedGame(); }

std::string SavedGame::makeSaveId() {
    std::string id;
    for (int i = 0; i < kSaveIdDigits; ++i) {
        const int r = roundedDrawUpTo(form_.platform, 10);  // 10 stands for 0
        id += static_cast<char>('0' + r % 10);
    }
    return id;
}

SavedGameData SavedGame::currentGame() const {
    const MainForm& f = form_;
    SavedGameData game;
    game.progress = {f.menus.selectedCarType, f.race.levels, f.race.points, f.race.m_lifes, f.race.speed, f.race.secondSpeed};
    const auto& amb = f.sound.race.ambience;
    game.settings = {f.mode, f.menus.difficulty, f.race.m_speed, amb ? amb->getFrequency() : savedAmbFrequency};
    game.stats = {f.race.stats.carsAvoided, f.race.stats.carsBlasted, f.race.stats.lazerUsed, f.race.stats.brakesUsed,
                  f.race.stats.repairsUsed};
    if (f.player && f.player->inventory) {
        const Inventory& inv = *f.player->inventory;
        game.inventory = {inv.lazerRounds(), inv.brakes(), inv.enginRepare()};
    }
    return game;
}

void SavedGame::saveGame() {
    if (form_.race.hasSaved || !form_.player) {
        form_.errorShow();
        return;
    }
    form_.race.hasSaved = true;
    const std::string id = makeSaveId();
    const std::string bytes = formatSavedGame(id, currentGame(), form_.player->getInventoryList());
    // A file this game could not load again must not take the place of a good one.
    if (!readSavedGame(bytes, id).game || !storeSave(bytes, id)) {
        form_.race.hasSaved = false;
        form_.errorShow();
        return;
    }
    try {
        savedSound = form_.sound.loadWave("sounds/speech/saved.wav");
    } catch (const SoundLoadError&) {
        savedSound.reset();  // the save is made; only its confirmation is missing
        return;
    }
    savedSound->rewind();
    savedSound->play(false);
}

bool SavedGame::storeSave(const std::string& bytes, const std::string& saveId) {
    Files& files = form_.platform.files();
    const std::optional<std::string> previous = files.read(kSaveFile);
    if (!files.write(kSaveFile, bytes)) return false;
    // The identity goes into the store only once the file is in place; a store that refuses
    // it still holds the old identity, so the old file goes back beside it.
    if (form_.platform.settings().set(kSettingsApp, kSettingsSection, kSaveIdKey, saveId)) return true;
    if (previous) files.write(kSaveFile, *previous);
    return false;
}

void SavedGame::loadSavedGame() {
    // A prompt is being played to its end inside a wait: the menus are not to be pulled away
    // from under it.
    if (form_.menus.soundBusy) return;
    const std::string storedId =
        form_.platform.settings().get(kSettingsApp, kSettingsSection, kSaveIdKey, kSaveIdAbsent);
    const std::optional<std::string> bytes = form_.platform.files().read(kSaveFile);
    const SavedGameRead read = bytes ? readSavedGame(*bytes, storedId) : SavedGameRead{SaveFault::MissingLine, {}};
    if (!read.game) {
        form_.errorShow();
        return;
    }
    applySavedGame(*read.game);
}

void SavedGame::applySavedGame(const SavedGameData& game) {
    applyProgressRecord(game.progress);
    applySettingsRecord(game.settings);
    applyStatsRecord(game.stats);
    applyInventoryLine(game.inventory);
}

void SavedGame::applyProgressRecord(const SavedProgress& p) {
    MainForm& f = form_;
    f.menus.selectedCarType = p.selectedCarType;
    f.race.levels = p.levels;
    f.restoreScore(p.points, p.m_lifes);
    f.race.speed = p.speed;
    f.race.secondSpeed = p.secondSpeed;
}

void SavedGame::applySettingsRecord(const SavedSettings& s) {
    MainForm& f = form_;
    f.mode = s.mode;
    f.menus.difficulty = s.difficulty;
    f.race.m_speed = s.m_speed;
    savedAmbFrequency = s.ambFrequency;
    f.createObjects();
}

void SavedGame::applyStatsRecord(const SavedStats& s) {
    GameStats& stats = form_.race.stats;
    stats = GameStats{};
    stats.carsAvoided = s.carsAvoided;
    stats.carsBlasted = s.carsBlasted;
    stats.lazerUsed = s.lazerUsed;
    stats.brakesUsed = s.brakesUsed;
    stats.repairsUsed = s.repairsUsed;
}

void SavedGame::applyInventoryLine(const SavedInventory& i) {
    MainForm& f = form_;
    f.player->addItemToInventory("lazer", i.lazerRounds);
    f.player->addItemToInventory("brakes", i.brakes);
    f.player->addItemToInventory("er", i.enginRepare);
    f.race.stats.lazerCollected = i.lazerRounds;
    f.race.stats.brakesCollected = i.brakes;
    f.race.stats.repairsCollected = i.enginRepare;
    startLoadedGame();
}

void SavedGame::startLoadedGame() {
    MainForm& f = form_;
    f.menus.stopMainMenuSounds();
    f.menus.stack.closeAll();
    if (f.sound.menu.music) f.sound.menu.music->stop();
    f.sound.unloadMenuSounds();
    {
        SoundSlot loaded = f.sound.loadWave("sounds/speech/loaded.wav");
        loaded->play(false);
        f.sound.waitWhilePlaying(loaded);
    }
    f.sound.loadGameSounds();

    f.race.game = true;
    f.race.pause = false;
    f.race.inExitPrompt = false;
    f.traffic.clearRoad();
    f.race.newscore = false;
    f.race.hasSaved = false;
    f.race.hasStarted = false;
    f.carRanBeforeStop_ = false;
    f.localScores.clearEarnedPosition();
    // The distance within the level is not saved: the level starts again from its beginning.
    f.race.m_lap = 0;
    f.race.m_x = 0;

    f.tmrGo.setInterval(1000);
    f.tmrComp.setInterval(1000);
    f.tmrScomp.setInterval(1000);
    static constexpr int kRoadEventMs[] = {0, 0, 5000, 12000, 10000};  // by car type
    const int type = f.player->cartype();
    f.race.skidding = type >= 2 && type <= 4;
    if (f.race.skidding) {
        f.tmrAccelerate.setInterval(kRoadEventMs[type]);
        f.tmrAccelerate.setEnabled(true);
    }
    f.tmrComp.setEnabled(true);
    // The second car's timers get their interval too: a pause from level 6 on lets its
    // launcher run before the next level-up would have set it.
    f.ajustTimers(f.race.secondSpeed);

    f.sound.race.ambience->setFrequency(savedAmbFrequency);
    if (f.mode == "tetriss") f.sound.race.ambience->play(true);
}

}  // namespace zorvan
