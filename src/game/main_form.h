#pragma once
// The main form: the game's root object. It lives for the whole run, owns every module of
// the game and the state of the running game (race), carries the timers that drive the race,
// receives every key press, and implements the rules of the race that the car, the traffic
// and the bonus round call.

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/event_loop.h"
#include "platform/ports.h"
#include "sound/sound_system.h"
#include "sound/number_system.h"
#include "sound/version.h"
#include "sound/volume_control.h"
#include "menus/menus.h"
#include "menus/key_map.h"
#include "menus/program_hooks.h"
#include "online/zelk_score.h"
#include "records/local_scores.h"
#include "game/saved_game.h"
#include "race/race_context.h"
#include "race/race_rules.h"
#include "race/race_state.h"
#include "traffic/bonus.h"
#include "car/car.h"
#include "traffic/comp_traffic.h"

namespace zorvan {

class MainForm final : public RaceRules {
public:
    explicit MainForm(Platform& platform);
    ~MainForm();
    MainForm(const MainForm&) = delete;
    MainForm& operator=(const MainForm&) = delete;

    // Start-up to the main menu, then the message loop until the program ends.
    [[noreturn]] void run();
    // Start-up only (Form_Load): returns with the main menu open.
    void Form_Load();
    void Form_KeyDown(int keyCode);
    // The last words of the program when its window is closed or it is told to end.
    void Form_Unload();

    void exitGame();
    void errorShow();
    void shower(std::string_view wichErr);
    void toggleTheme();
    void speakHighScore();
    void speakLevel();
    void speakLifes();
    void speakStatus();
    void speakPoints() override;
    // Forward to localScores; saveHighScore stores `points` (a store that refuses it ends
    // the program with a message box).
    void loadHighScore();
    void saveHighScore();

    // Main menu entries owned by the saved game, the online scores and the top ten.
    void loadSavedGame();
    void scoreStuf();  // submits the pending score and speaks the outcome
    void openTopTenMenu();
    // Hands a finished game to the score client as its pending score.
    void storeGameRecord();

    // ---- The race: game/race.cpp and the modules of car/ and traffic/ ----
    // Sets the handlers of the race timers; called once by the constructor.
    void wireRaceTimers();
    // Keys while a bonus round or a game runs (bonus, racing, paused, exit prompt).
    // False when neither is on, so the menus get the key.
    bool raceKeyDown(int keyCode);
    // F9 to F12 in the menus, a race, a pause or a bonus round, unless the key map gives the
    // key to a game action there; false when the key is left to the others.
    bool volumeKeyDown(int keyCode);
    void newGame();


    void createObjects();
    void releaseObjects();
    // Lets go of every sound and object of the race; safe at any time, also mid-race.
    void releaseRace();
    void ajustTimers(std::int32_t secondcar);  // ms; 0 leaves the second car's timers
    void stopgame() override;
    void resumeGame() override;
    void togglePause();
    void confirmExit();
    void tmrGo_Timer();
    void tmrHole_Timer();
    void tmrItem_Timer();

    // ---- The rules: game/rules.cpp ----
    void levelup(bool noLevelUp) override;
    void addPoints(std::int32_t amount) override;
    void addPrizePoints(std::int32_t amount) override;
    void addLife() override;
    void restoreScore(std::int32_t points, std::int16_t lifes) override;
    void crashIntoCar() override;
    void lazerShot(std::int16_t lane) override;
    void randomHole() override;
    void gameOver(std::string_view wichStile) override;  // "noSound" or anything else
    void startBonusRound();
    // The records of a finished game: its place in the local top ten of its difficulty
    // (ls.dat, earnedPosition) and its report, for endCause, at the head of stats.txt.
    void addToTopTen(std::int32_t gamePoints);
    void writeStatsReport();

private:
    void ambienceKey(int keyCode);
    // Tells the window what a sighted helper should see of the race.
    void showRaceStatus();
    // What a finished game leaves: its top-ten place, a beaten high score, its report.
    void recordGame();
    void releaseRaceSounds();
    // The car ran when the race was stopped: resumeGame starts it again.
    bool carRanBeforeStop_ = false;
    friend class SavedGame;  // a loaded game starts from a clean race

public:

    // Ends the program now; status 0 is a normal exit.
    [[noreturn]] void endProgram(int status, const std::string& message = {});
    // A fatal stop reported to the player: a message box, then the end with status 1.
    [[noreturn]] void fatal(const std::string& title, const std::string& text);
    // "NAME cannot be read: REASON (PATH)", for a data file that is there but unreadable.
    std::string unreadableText(std::string_view name, std::string_view reason);

    Platform& platform;
    EventLoop loop;

    // Stopping the program and naming unreadable files, for the modules below this form.
    ProgramHooks hooks;

    // Modules, in the order they are built.
    SoundSystem sound;     // sound device, banks, playWave
    NumberSystem numbers;  // the spoken-number queue
    VersionControl version;
    Menus menus;           // main, car, difficulty and lg menus; soundBusy
    KeyMap keyMap;         // the eleven game keys and the key-map menu
    LocalScores localScores;  // top ten, high score, top-ten menu, statistics report
    BonusRound bonus;         // the shooting round of every tenth level in "arcade"
    SavedGame savedGame;      // savegame.dat: F2 in a race, main menu entry 2
    VolumeControl volume;     // the player's music and master volumes, F9 to F12
    std::unique_ptr<zelkScore> scoreClient;  // from start-up to exitGame

    // Timers, all disabled with interval 0 at start.
    Timer& tmrVoss;
    Timer& tmrGo;
    Timer& tmrComp;
    Timer& tmrRace;
    Timer& tmrWoosh;
    Timer& tmrScomp;
    Timer& tmrSrace;
    Timer& tmrSwoosh;
    Timer& tmrAccelerate;
    Timer& tmrHole;
    Timer& tmrItem;
    Timer& tmrBonus;
    Timer& tmrBstart;

    // The state of the running game; points and lifes change only through the rules.
    RaceState race;
    std::int16_t key_k = 0;          // the last key pressed; 0 = none since cleared
    std::string mode = "tetriss";    // sound theme: "tetriss" or "arcade"

    // What the car, the traffic and the bonus round are given instead of this form.
    RaceContext raceContext;

    std::int32_t highScore = 0;  // the all-time high score

    // The profile read from config.dat.
    std::string profileName, profileEmail, profileCountry;

    // ---- The race's objects and sounds: declared after the modules, so they go first ----
    // The game's objects: made by createObjects for every new game, let go by releaseObjects.
    std::unique_ptr<car> player;
    CompTraffic traffic;  // the computer cars, their state and their timers' handlers
    // Sounds the rules load for themselves (crash, level-up).
    SoundSlot crashSound, levelUpSound;

    // The whole program folder path of a file ("sounds/speech/level.wav"), as the speech
    // queue takes full paths.
    std::string programPath(std::string_view name);

private:
    // What the menus' entries and the records' waits do in the game.
    void wireMenus();
    void getTheSettings();
    void playOpeningSound(SoundSlot sound);
};

}  // namespace zorvan
