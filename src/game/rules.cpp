// The rules of the race: points, levels and their speeds, crashes, holes, the lazer's hits
// and the end of a game.

#include <algorithm>
#include <string>

#include "game/main_form.h"
#include "race/random_draw.h"
#include "race/saturating.h"

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
    setPoints(race, saturatingAdd(race.points.value(), amount));
    const bool beaten = race.points > highScore;
    if (beaten) highScore = race.points;
    if (beaten && !race.newscore) {
        sound.playWave("", "highscore", false, 0, false);
        race.newscore = true;
    }
}

void MainForm::addPrizePoints(std::int32_t amount) {
    setPoints(race, saturatingAdd(race.points.value(), amount));
}

void MainForm::addLife() { setLifes(race, saturatingAdd(race.m_lifes.value(), 1)); }

void MainForm::restoreScore(std::int32_t points, std::int16_t lifes) {
    setPoints(race, points);
    setLifes(race, lifes);
}

void MainForm::levelup(bool noLevelUp) {
    if (!noLevelUp) {
        saturatingIncrement(race.levels);
        addPoints(saturatingAdd(std::int32_t{0}, std::int64_t{race.levels} * 20));
        if (mode == "tetriss") {
            SoundBuffer& amb = *sound.race.ambience;
            amb.setFrequency(saturatingAdd(amb.getFrequency(), 1000));
        }
        if (mode == "arcade" && race.levels % 10 == 0 && race.levels >= 10 && race.levels <= 150) {
            startBonusRound();
            return;
        }
    }
    levelUpSound = sound.loadWave(mode == "tetriss" ? "sounds/tetriss/t_levelup.wav"
                                                    : "sounds/levelup.wav");
    levelUpSound->play(false);
    if (race.speed >= 3) {
        race.speed = shorterInterval(race.speed);
        ajustTimers(0);
    }
    if (race.levels < 6) {
        race.hasSaved = false;
        return;
    }
    if (race.secondSpeed >= 3) {
        race.secondSpeed = shorterInterval(race.secondSpeed);
        ajustTimers(race.secondSpeed);
    }
    tmrScomp.setEnabled(true);
    race.hasSaved = false;
}

void MainForm::startBonusRound() { bonus.startBonusRound(); }

void MainForm::crashIntoCar() {
    setLifes(race, static_cast<std::int16_t>(race.m_lifes - 1));
    if (player->lifes() < 1) {
        race.endCause = "cars";
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
    setPoints(race, std::max(0, race.points - 50));
}

void MainForm::lazerShot(std::int16_t lane) { traffic.lazerShot(lane); }

void MainForm::randomHole() {
    static constexpr std::int16_t kLanes[] = {-3, 0, 3};
    race.holeLane = kLanes[roundedDrawUpTo(platform, 3) - 1];
    const std::string& difficulty = menus.difficulty;
    tmrHole.setInterval(difficulty == "easy" ? 5000 : difficulty == "normal" ? 4000 : 3000);
    sound.playWave("", "hWorning", false, race.holeLane * 1000, false);
    tmrHole.setEnabled(true);
}

void MainForm::tmrHole_Timer() {
    tmrHole.setEnabled(false);
    if (!race.game || !player || player->position != race.holeLane) return;
    stopgame();
    // The game is over from here: keys during the fall must not pause it or end it twice.
    race.game = false;
    sound.playWave("", "fallhole", true, 0, false);
    race.endCause = "hole";
    gameOver("noSound");
}

void MainForm::gameOver(std::string_view wichStile) {
    stopgame();
    race.game = false;
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
    addToTopTen(race.points);
    if (race.newscore) saveHighScore();
    writeStatsReport();
}

}  // namespace zorvan
