// The rules of the race: points, levels and their speeds, crashes, holes, the lazer's hits
// and the end of a game.

#include <algorithm>
#include <string>

#include "game/main_form.h"
#include "game/random_draw.h"
#include "game/saturating.h"

namespace zorvan {

namespace {

// One level-up of an approach interval, ms: 40 less while it is long, then 2 less, never
// below 2.
std::int32_t shorterInterval(std::int32_t ms) {
    if (ms < 3) return ms;
    return ms >= 61 ? ms - 40 : ms - 2;
}

}  // namespace

void MainForm::addPoints(std::int32_t amount) {
    points = saturatingAdd(points, amount);
    const bool beaten = points > highScore;
    if (beaten) highScore = points;
    if (beaten && !newscore) {
        sound.playWave("", "highscore", false, 0, false);
        newscore = true;
    }
}

void MainForm::levelup(bool noLevelUp) {
    if (!noLevelUp) {
        saturatingIncrement(levels);
        addPoints(saturatingAdd(std::int32_t{0}, std::int64_t{levels} * 20));
        if (mode == "tetriss") {
            SoundBuffer& amb = *sound.race.ambience;
            amb.setFrequency(saturatingAdd(amb.getFrequency(), 1000));
        }
        if (mode == "arcade" && levels % 10 == 0 && levels >= 10 && levels <= 150) {
            startBonusRound();
            return;
        }
    }
    levelUpSound = sound.loadWave(mode == "tetriss" ? "sounds/tetriss/t_levelup.wav"
                                                    : "sounds/levelup.wav");
    levelUpSound->play(false);
    if (speed >= 3) {
        speed = shorterInterval(speed);
        ajustTimers(0);
    }
    if (levels < 6) {
        hasSaved = false;
        return;
    }
    if (secondSpeed >= 3) {
        secondSpeed = shorterInterval(secondSpeed);
        ajustTimers(secondSpeed);
    }
    tmrScomp.setEnabled(true);
    hasSaved = false;
}

void MainForm::startBonusRound() { bonus.startBonusRound(); }

bool MainForm::inCompLane() { return player && player->position == comp_position; }

bool MainForm::inSecondCarLane() {
    return player && seccar.secondCarIndex >= 1 && player->position == seccar.current().lane;
}

void MainForm::crashIntoCar() {
    m_lifes = static_cast<std::int16_t>(m_lifes - 1);
    if (player->lifes() < 1) {
        endCause = "cars";
        gameOver("");
        return;
    }
    if (mode == "tetriss") {
        sound.playWave("tetriss", "t_hit", false, player->position * 1000, false);
    } else {
        const int r = roundedDrawUpTo(platform, 4);
        crashSound = sound.loadWave("sounds/misc/c_hit" + std::to_string(r) + ".wav");
        crashSound->setPan(player->position * 1000);
        crashSound->play(false);
        player->skid("small");
        player->checkEnjen();
    }
    points = std::max(0, points - 50);
}

void MainForm::comp_crash() {
    tmrRace.setEnabled(false);
    saturatingIncrement(stats.carsBlasted);
    for (auto& slot : compCars)
        if (slot) slot->restoreComputerCar();
    player->wait(0.2);
    // A key handled during the wait may have ended the game.
    if (game && player) sound.playWave("car", "carexplode", true, player->position * 1000, false);
}

void MainForm::randomHole() {
    static constexpr std::int16_t kLanes[] = {-3, 0, 3};
    holeLane = kLanes[roundedDrawUpTo(platform, 3) - 1];
    const std::string& difficulty = menus.difficulty;
    tmrHole.setInterval(difficulty == "easy" ? 5000 : difficulty == "normal" ? 4000 : 3000);
    sound.playWave("", "hWorning", false, holeLane * 1000, false);
    tmrHole.setEnabled(true);
}

void MainForm::tmrHole_Timer() {
    tmrHole.setEnabled(false);
    if (!game || !player || player->position != holeLane) return;
    stopgame();
    // The game is over from here: keys during the fall must not pause it or end it twice.
    game = false;
    sound.playWave("", "fallhole", true, 0, false);
    endCause = "hole";
    gameOver("noSound");
}

void MainForm::gameOver(std::string_view wichStile) {
    stopgame();
    game = false;
    if (wichStile == "noSound") {
        sound.playWave("", "gameOver", true, 0, false);
    } else if (mode != "tetriss") {
        const int r = roundedDrawUpTo(platform, 4);
        crashSound = sound.loadWave("sounds/misc/crash" + std::to_string(r) + ".wav");
        crashSound->setPan(player->position * 1000);
        crashSound->play(false);
        sound.waitWhilePlaying(crashSound);
        sound.playWave("", "gameOver", true, 0, false);
    } else {
        sound.playWave("tetriss", "t_gameOver", true, 0, false);
    }
    sound.playWave("speech", "finalscore", true, 0, false);
    numbers.speakNumber(player->points(), false);
    numbers.waitForNumberSpeech();
    player->wait(1.5);
    player->reset();
    releaseRaceSounds();
    sound.unloadGameSounds();
    recordGame();
    sound.loadMenuSounds();
    menus.showMainMenu();
}

void MainForm::recordGame() {
    storeGameRecord();
    // The report comes after the top ten, so that it carries this game's place.
    addToTopTen(points);
    if (newscore) saveHighScore();
    writeStatsReport();
}

}  // namespace zorvan
