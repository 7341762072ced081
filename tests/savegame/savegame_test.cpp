// Saving a running game with F2 and loading it from the main menu, through the real game on
// the simulated platform; and what a save that fails or a damaged file leave behind.

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "game/saved_game_file.h"
#include "race/race_scenario.h"
#include "records/cipher.h"
#include "support/scenario.h"

namespace zorvan::test {
namespace {

namespace fs = std::filesystem;

std::string storedId(MainForm& form) { return form.platform.settings().get("Kestrine", "zorvan", "sgid", "nun"); }

// The state a loaded game replaces; equal when nothing of it changed.
struct Snapshot {
    std::int32_t levels, points, speed, secondSpeed;
    std::int16_t lifes, carType;
    std::string mode, difficulty;
    float carSpeed;
    GameStats stats;
    bool game, hasSaved, mainMenuActive, raceBank;
    const car* player;

    explicit Snapshot(const MainForm& f)
        : levels(f.race.levels), points(f.race.points), speed(f.race.speed), secondSpeed(f.race.secondSpeed), lifes(f.race.m_lifes),
          carType(f.menus.selectedCarType), mode(f.mode), difficulty(f.menus.difficulty), carSpeed(f.race.m_speed),
          stats(f.race.stats), game(f.race.game), hasSaved(f.race.hasSaved), mainMenuActive(f.menus.mainMenuActive()),
          raceBank(f.sound.race.ambience != nullptr), player(f.player.get()) {}

    bool operator==(const Snapshot& o) const {
        return levels == o.levels && points == o.points && speed == o.speed && secondSpeed == o.secondSpeed &&
               lifes == o.lifes && carType == o.carType && mode == o.mode && difficulty == o.difficulty &&
               std::memcmp(&carSpeed, &o.carSpeed, sizeof carSpeed) == 0 &&
               std::memcmp(&stats, &o.stats, sizeof stats) == 0 && game == o.game && hasSaved == o.hasSaved &&
               mainMenuActive == o.mainMenuActive && raceBank == o.raceBank && player == o.player;
    }
};

// A race on "crazy" in "arcade" with the "Electryc jip", started through the menus, then
// given a level, points, items and statistics of a game well under way.
void startShapedGame(RaceScenario& s) {
    ASSERT_TRUE(s.startThroughMenus(3, 3, true));
    MainForm& f = s.form;
    f.tmrAccelerate.setEnabled(false);
    f.race.levels = 17;
    f.restoreScore(12345, 3);
    f.race.speed = 30;
    f.race.secondSpeed = 40;
    f.ajustTimers(f.race.secondSpeed);
    f.race.m_speed = 2.3f;
    f.player->addItemToInventory("lazer", 10);
    f.player->addItemToInventory("brakes", 3);
    f.player->addItemToInventory("er", 2);
    f.race.stats.carsAvoided = 77;
    f.race.stats.carsBlasted = 5;
    f.race.stats.lazerUsed = 4;
    f.race.stats.brakesUsed = 2;
    f.race.stats.repairsUsed = 1;
}

// Escape and Enter at the exit prompt: the game ends and the main menu opens.
void leaveToMenu(RaceScenario& s) {
    s.pressAt(vk::Enter, s.now() + 300);
    s.press(vk::Escape);
    ASSERT_TRUE(s.runUntil([&] { return s.form.menus.mainMenuActive(); }, 60000));
    ASSERT_FALSE(s.form.race.game);
}

// Makes the next rewrite of `file` fail: the temporary file it is written through cannot be made.
struct BlockedWrite {
    fs::path dir;
    explicit BlockedWrite(const fs::path& file) : dir(file.string() + ".tmp" + std::to_string(::getpid())) {
        fs::create_directories(dir / "in-the-way");
    }
    ~BlockedWrite() { fs::remove_all(dir); }
};

TEST(SaveAndLoad, ALoadedGameResumesWhereItWasSavedWithTheCarStanding) {
    RaceScenario s;
    startShapedGame(s);
    const auto saveAt = s.mark();
    s.press(vk::F2);
    EXPECT_TRUE(s.form.race.hasSaved);
    EXPECT_TRUE(s.has("file savegame.dat", saveAt));
    EXPECT_TRUE(s.has("play sounds/speech/saved.wav once", saveAt));
    EXPECT_FALSE(s.has("load sounds/err.wav", saveAt));
    EXPECT_TRUE(isSaveId(storedId(s.form)));
    EXPECT_TRUE(s.form.race.game) << "the race goes on";

    leaveToMenu(s);
    EXPECT_NE(s.form.race.stats.earnedPosition, 0) << "the left game took a place in the top ten";
    // The menus change the theme and the choices before the load.
    s.press(vk::F5);
    ASSERT_EQ(s.form.mode, "tetriss");
    s.form.menus.difficulty = "easy";
    s.form.menus.selectedCarType = 1;
    s.form.race.m_speed = 2.0f;
    s.form.race.levels = 1;
    s.form.restoreScore(0, s.form.race.m_lifes);

    const auto loadAt = s.mark();
    s.press(vk::F2);
    MainForm& f = s.form;
    ASSERT_TRUE(f.race.game) << s.dump(loadAt);
    EXPECT_TRUE(s.has("play sounds/speech/loaded.wav once", loadAt));
    EXPECT_FALSE(s.has("load sounds/err.wav", loadAt));
    EXPECT_FALSE(f.menus.mainMenuActive());
    EXPECT_TRUE(f.sound.menu.music == nullptr) << "the menu bank is let go";
    EXPECT_TRUE(f.sound.race.ambience != nullptr);

    EXPECT_EQ(f.race.levels, 17);
    EXPECT_EQ(f.race.points, 12345);
    EXPECT_EQ(f.race.m_lifes, 3);
    EXPECT_EQ(f.race.speed, 30);
    EXPECT_EQ(f.race.secondSpeed, 40);
    EXPECT_EQ(f.tmrRace.interval(), 30);
    EXPECT_EQ(f.tmrWoosh.interval(), 30);
    EXPECT_EQ(f.tmrSrace.interval(), 40);
    EXPECT_EQ(f.mode, "arcade");
    EXPECT_EQ(f.menus.difficulty, "crazy");
    EXPECT_EQ(f.race.m_speed, 2.3f);
    EXPECT_EQ(f.menus.selectedCarType, 3);
    EXPECT_EQ(f.player->inventory->lazerRounds(), 10);
    EXPECT_EQ(f.player->inventory->brakes(), 3);
    EXPECT_EQ(f.player->inventory->enginRepare(), 2);
    EXPECT_EQ(f.race.stats.carsAvoided, 77);
    EXPECT_EQ(f.race.stats.carsBlasted, 5);
    EXPECT_EQ(f.race.stats.lazerUsed, 4);
    EXPECT_EQ(f.race.stats.brakesUsed, 2);
    EXPECT_EQ(f.race.stats.repairsUsed, 1);
    EXPECT_EQ(f.race.stats.lazerCollected, 10);
    EXPECT_EQ(f.race.stats.brakesCollected, 3);
    EXPECT_EQ(f.race.stats.repairsCollected, 2);
    EXPECT_EQ(f.race.stats.earnedPosition, 0);

    EXPECT_FALSE(f.race.hasSaved);
    EXPECT_FALSE(f.race.hasStarted);
    EXPECT_FALSE(f.tmrGo.enabled());
    EXPECT_FALSE(s.looping(s.playerEngine()));
    EXPECT_EQ(f.race.m_lap, 0);
    EXPECT_TRUE(f.race.skidding);
    EXPECT_EQ(f.tmrAccelerate.interval(), 12000);
    EXPECT_TRUE(f.tmrComp.enabled());
    EXPECT_FALSE(f.tmrScomp.enabled());

    // The player starts the car and the race runs on.
    s.press(f.keyMap.kstart);
    EXPECT_TRUE(f.race.hasStarted);
    EXPECT_TRUE(f.tmrGo.enabled());
    EXPECT_TRUE(s.looping(s.playerEngine()));
    // Items picked up later add to the restored counts.
    f.player->addItemToInventory("lazer", 5);
    EXPECT_EQ(f.race.stats.lazerCollected, 15);
}

TEST(SaveAndLoad, TheThemeAndTheBackgroundLoopOfATetrissGameComeBack) {
    RaceScenario s;
    ASSERT_TRUE(s.startThroughMenus(2, 1, false));
    ASSERT_EQ(s.form.mode, "tetriss");
    for (int i = 0; i < 3; ++i) s.form.levelup(false);
    ASSERT_EQ(s.form.sound.race.ambience->getFrequency(), 44100 + 3000);
    s.press(vk::F2);
    leaveToMenu(s);
    s.press(vk::F5);
    ASSERT_EQ(s.form.mode, "arcade");
    s.press(vk::F2);
    ASSERT_TRUE(s.form.race.game);
    EXPECT_EQ(s.form.mode, "tetriss");
    EXPECT_EQ(s.form.menus.difficulty, "easy");
    EXPECT_EQ(s.form.race.levels, 4);
    EXPECT_EQ(s.form.sound.race.ambience->getFrequency(), 44100 + 3000);
    EXPECT_TRUE(s.looping(*s.form.sound.race.ambience));
}

TEST(SaveAndLoad, OneSavePerLevelAndAFailedOneMayBeTriedAgain) {
    RaceScenario s;
    startShapedGame(s);
    s.press(vk::F2);
    const std::string first = s.folder.read("savegame.dat");
    const std::string firstId = storedId(s.form);

    // A second F2 in the same level only says no.
    auto at = s.mark();
    s.press(vk::F2);
    EXPECT_TRUE(s.has("play sounds/err.wav once", at));
    EXPECT_FALSE(s.has("file savegame.dat", at));
    EXPECT_FALSE(s.has("load sounds/speech/saved.wav", at));
    EXPECT_EQ(s.folder.read("savegame.dat"), first);

    // The next level may be saved again, also paused. This time the file cannot be written:
    // the error sound, the old saved game untouched, and the player may try again.
    s.form.levelup(false);
    EXPECT_FALSE(s.form.race.hasSaved);
    s.press(s.form.keyMap.kpause);
    ASSERT_TRUE(s.form.race.pause);
    {
        BlockedWrite blocked(s.folder.game() / "savegame.dat");
        at = s.mark();
        s.press(vk::F2);
        EXPECT_TRUE(s.has("play sounds/err.wav once", at));
        EXPECT_FALSE(s.has("load sounds/speech/saved.wav", at));
        EXPECT_FALSE(s.form.race.hasSaved);
        EXPECT_EQ(s.folder.read("savegame.dat"), first);
        EXPECT_EQ(storedId(s.form), firstId);
    }
    at = s.mark();
    s.press(vk::F2);
    EXPECT_TRUE(s.has("play sounds/speech/saved.wav once", at));
    EXPECT_TRUE(s.form.race.hasSaved);
    EXPECT_NE(s.folder.read("savegame.dat"), first);
    EXPECT_NE(storedId(s.form), firstId);
    EXPECT_EQ(decryptString(s.folder.read("savegame.dat").substr(0, 9), "4718250"), storedId(s.form));
}

TEST(SaveAndLoad, AStoreThatRefusesTheIdentityLeavesTheOldSavedGameLoadable) {
    RaceScenario s;
    startShapedGame(s);
    s.press(vk::F2);
    const std::string first = s.folder.read("savegame.dat");
    const std::string firstId = storedId(s.form);
    s.form.levelup(false);
    s.form.restoreScore(s.form.race.points + 1000, s.form.race.m_lifes);
    {
        BlockedWrite blocked(s.folder.settings() / "Kestrine.ini");
        const auto at = s.mark();
        s.press(vk::F2);
        EXPECT_TRUE(s.has("play sounds/err.wav once", at));
        EXPECT_FALSE(s.has("load sounds/speech/saved.wav", at));
        EXPECT_FALSE(s.form.race.hasSaved);
        EXPECT_EQ(storedId(s.form), firstId);
        EXPECT_EQ(s.folder.read("savegame.dat"), first) << "the old file was put back";
    }
    leaveToMenu(s);
    s.press(vk::F2);
    ASSERT_TRUE(s.form.race.game);
    EXPECT_EQ(s.form.race.levels, 17);
    EXPECT_EQ(s.form.race.points, 12345);
}

TEST(SaveAndLoad, MainMenuEntryTwoLoadsAndAFileFromAnotherSaveIsRefused) {
    RaceScenario s;
    startShapedGame(s);
    s.press(vk::F2);
    const std::string older = s.folder.read("savegame.dat");
    s.form.levelup(false);
    s.press(vk::F2);
    leaveToMenu(s);

    // The older file is no longer the last save made here.
    const std::string newer = s.folder.read("savegame.dat");
    s.folder.write("savegame.dat", older);
    const Snapshot before(s.form);
    auto at = s.mark();
    s.press(vk::F2);
    EXPECT_TRUE(s.has("play sounds/err.wav once", at));
    EXPECT_TRUE(Snapshot(s.form) == before);

    s.folder.write("savegame.dat", newer);
    s.press(vk::Down);
    at = s.mark();
    s.press(vk::Enter);
    ASSERT_TRUE(s.form.race.game) << s.dump(at);
    EXPECT_EQ(s.form.race.levels, 18);
}

TEST(SaveAndLoad, WithoutAnIdentityInTheStoreNoFileLoads) {
    Scenario s;
    ASSERT_TRUE(s.load());
    SavedGameData game;
    game.settings = {"arcade", "normal", 4.0f, 22050};
    s.folder.write("savegame.dat", formatSavedGame("123456789", game));
    const Snapshot before(s.form);
    auto at = s.mark();
    s.press(vk::F2);
    EXPECT_TRUE(s.has("play sounds/err.wav once", at));
    EXPECT_FALSE(s.has("load sounds/speech/loaded.wav", at));
    EXPECT_TRUE(Snapshot(s.form) == before);
    EXPECT_TRUE(s.form.menus.mainMenuActive());

    // No file at all: the same answer.
    s.folder.remove("savegame.dat");
    ASSERT_TRUE(s.form.platform.settings().set("Kestrine", "zorvan", "sgid", "123456789"));
    at = s.mark();
    s.press(vk::F2);
    EXPECT_TRUE(s.has("play sounds/err.wav once", at));
    EXPECT_TRUE(Snapshot(s.form) == before);

    // With both in place it loads.
    s.folder.write("savegame.dat", formatSavedGame("123456789", game));
    s.press(vk::F2);
    EXPECT_TRUE(s.form.race.game);
    EXPECT_EQ(s.form.menus.difficulty, "normal");
    s.form.releaseRace();
}

TEST(SaveAndLoad, ADamagedFileLeavesTheStateAsItWas) {
    const std::string id = "555000111";
    const auto enc = [](const std::string& plain) { return encryptString(plain, "4718250") + "\r\n"; };
    const std::string settings = enc("arcade[`?crazy[`?2.3[`?8000");
    const std::string progress = enc("3[`?17[`?12345[`?3[`?30[`?40");
    const std::string inventory = enc("10_3_2");
    const std::string stats = enc("77*5*4*2*1");
    const std::string identity = enc(id);
    struct Case {
        const char* what;
        std::string file;
    };
    const std::vector<Case> cases = {
        {"a missing line", identity + settings + progress + inventory},
        {"a missing field in the settings", identity + enc("arcade[`?crazy[`?2.3") + progress + inventory + stats},
        {"a missing field in the progress", identity + settings + enc("3[`?17[`?12345[`?3[`?30") + inventory + stats},
        {"a missing count in the inventory", identity + settings + progress + enc("10_3") + stats},
        {"a missing field in the statistics", identity + settings + progress + inventory + enc("77*5*4*2")},
        {"not a number in the progress", identity + settings + enc("3[`?17[`?many[`?3[`?30[`?40") + inventory + stats},
        {"not a number in the statistics", identity + settings + progress + inventory + enc("77*5*4*2*x")},
        {"not a number in the inventory", identity + settings + progress + enc("10_3_?") + stats},
        {"not a number as speed", identity + enc("arcade[`?crazy[`?zoom[`?8000") + progress + inventory + stats},
        {"the wrong identity", enc("555000112") + settings + progress + inventory + stats},
        {"a car type no game has", identity + settings + enc("9[`?17[`?12345[`?3[`?30[`?40") + inventory + stats},
        {"plain text", "hello\r\n"},
        {"nothing", ""},
    };
    Scenario s;
    ASSERT_TRUE(s.load());
    ASSERT_TRUE(s.form.platform.settings().set("Kestrine", "zorvan", "sgid", id));
    // What the last game left in memory, which a refused load must not touch.
    s.form.race.levels = 4;
    s.form.restoreScore(999, 2);
    s.form.mode = "tetriss";
    s.form.menus.difficulty = "easy";
    s.form.menus.selectedCarType = 2;
    s.form.race.m_speed = 4.0f;
    s.form.race.stats.carsAvoided = 12;
    const Snapshot before(s.form);
    for (const Case& c : cases) {
        s.folder.write("savegame.dat", c.file);
        const auto at = s.mark();
        s.press(vk::F2);
        EXPECT_TRUE(s.has("play sounds/err.wav once", at)) << c.what;
        EXPECT_FALSE(s.has("load sounds/speech/loaded.wav", at)) << c.what;
        EXPECT_TRUE(Snapshot(s.form) == before) << c.what;
    }
    // The same pieces put together rightly load.
    s.folder.write("savegame.dat", identity + settings + progress + inventory + stats);
    s.press(vk::F2);
    ASSERT_TRUE(s.form.race.game);
    EXPECT_EQ(s.form.race.points, 12345);
    EXPECT_EQ(s.form.race.m_speed, 2.3f);
    s.form.releaseRace();
}

TEST(SaveAndLoad, F2IsIgnoredWhileAMenuPromptIsPlayedToItsEnd) {
    RaceScenario s;
    startShapedGame(s);
    s.press(vk::F2);
    leaveToMenu(s);
    const auto at = s.mark();
    s.pressAt(vk::F2, s.now() + 20);
    s.press(vk::F5);  // the theme is said with the menus waiting
    EXPECT_FALSE(s.form.race.game);
    EXPECT_TRUE(s.form.menus.mainMenuActive());
    EXPECT_FALSE(s.has("load sounds/speech/loaded.wav", at));
    s.press(vk::F2);
    EXPECT_TRUE(s.form.race.game);
}

TEST(SaveAndLoad, TheSaveIdentityIsNineDigitsDrawnAnewEachTime) {
    RaceScenario s;
    // 10u + 1 rounded, half to even: u = 0.95 gives 10, which stands for 0; u = 0.99 gives 11,
    // which is drawn again.
    s.platform.script = {0.0, 0.95, uFor(5, 10), uFor(9, 10), 0.99, uFor(2, 10), uFor(3, 10), uFor(4, 10),
                         uFor(7, 10), 0.0};
    EXPECT_EQ(s.form.savedGame.makeSaveId(), "105923471");
    EXPECT_EQ(s.platform.draws, 10);
    EXPECT_TRUE(isSaveId(s.form.savedGame.makeSaveId()));
}

}  // namespace
}  // namespace zorvan::test
