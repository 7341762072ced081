// The race: its timers, a new game, pause and resume, the exit prompt, the race keys and
// the spoken reports.

#include <algorithm>
#include <cmath>

#include "game/main_form.h"
#include "race/random_draw.h"
#include "platform/keys.h"

namespace zorvan {

void MainForm::wireRaceTimers() {
    tmrGo.setHandler([this] { tmrGo_Timer(); });
    tmrComp.setHandler([this] { traffic.tmrComp_Timer(); });
    tmrRace.setHandler([this] { traffic.tmrRace_Timer(); });
    tmrWoosh.setHandler([this] { traffic.tmrWoosh_Timer(); });
    tmrScomp.setHandler([this] { traffic.seccar.tmrScomp_Timer(); });
    tmrSrace.setHandler([this] { traffic.seccar.tmrSrace_Timer(); });
    tmrSwoosh.setHandler([this] { traffic.seccar.tmrSwoosh_Timer(); });
    tmrAccelerate.setHandler([this] {
        if (player) player->randomizeSkid();
    });
    tmrHole.setHandler([this] { tmrHole_Timer(); });
    tmrItem.setHandler([this] { tmrItem_Timer(); });
}

void MainForm::createObjects() {
    player = std::make_unique<car>(raceContext);
    player->onReset = [this] { traffic.carReset(); };
    player->initObjs();
    traffic.createCars();
}

void MainForm::releaseObjects() {
    // Whatever of the car is still waiting on the stack checks that it lives before it
    // goes on (car::wait, Inventory::inventoryPlay).
    player.reset();
    traffic.releaseCars();
}

void MainForm::releaseRaceSounds() {
    traffic.releaseSounds();
    crashSound.reset();
    levelUpSound.reset();
    if (player && player->inventory) player->inventory->releaseSound();
}

void MainForm::releaseRace() {
    releaseRaceSounds();
    releaseObjects();
}

void MainForm::newGame() {
    race.game = true;
    race.pause = false;
    race.inExitPrompt = false;
    createObjects();

    traffic.clearRoad();
    carRanBeforeStop_ = false;
    race.stats = GameStats{};
    race.newscore = false;
    race.hasSaved = false;
    race.m_lap = 0;
    race.m_x = 0;

    sound.loadGameSounds();

    race.levels = 1;
    setLifes(race, 5);
    setPoints(race, 0);
    race.hasStarted = false;

    tmrGo.setInterval(1000);
    tmrComp.setInterval(1000);
    tmrScomp.setInterval(1000);

    static constexpr int kRoadEventMs[] = {0, 0, 5000, 12000, 10000};  // by car type
    const int type = player->cartype();
    race.skidding = type >= 2 && type <= 4;
    if (race.skidding) {
        tmrAccelerate.setInterval(kRoadEventMs[type]);
        tmrAccelerate.setEnabled(true);
    }

    tmrComp.setEnabled(true);

    race.speed = 300;
    race.secondSpeed = 300;
    ajustTimers(0);

    if (mode == "tetriss") {
        sound.race.ambience->setFrequency(44100);
        sound.race.ambience->play(true);
    }
}

void MainForm::ajustTimers(std::int32_t secondcar) {
    tmrRace.setInterval(race.speed);
    tmrWoosh.setInterval(race.speed);
    if (secondcar > 0) {
        tmrSrace.setInterval(secondcar);
        tmrSwoosh.setInterval(secondcar);
    }
}

namespace {

// The distance after one second at `speed`, rounded half to even. A car creeps on by at
// least 1 while it moves at all: rounding alone would hold a car at the lowest speed, 0.5,
// on an even distance for good.
std::int16_t advance(std::int16_t distance, float speed) {
    auto next = static_cast<std::int16_t>(roundHalfEven(static_cast<float>(distance) + speed));
    if (speed > 0 && next <= distance) next = static_cast<std::int16_t>(distance + 1);
    return next;
}

}  // namespace

void MainForm::tmrGo_Timer() {
    race.m_lap = advance(race.m_lap, race.m_speed);
    race.m_x = advance(race.m_x, race.m_speed);
    if (race.m_lap >= 51) {
        race.m_lap = 0;
        race.m_x = 0;
        levelup(false);
    }
}

void MainForm::tmrItem_Timer() {
    tmrItem.setEnabled(false);
    if (!race.game || !player) return;
    sound.race.itemOn->stop();
    if (player->position != race.itemposition) {
        SoundBuffer& itemOff = *sound.race.itemOff;
        itemOff.rewind();
        itemOff.setPan(race.itemposition * 1000);
        itemOff.play(false);
    } else {
        player->randomizeItem();
    }
}

void MainForm::stopgame() {
    numbers.stopNumberSpeech();
    for (Timer* timer : {&tmrWoosh, &tmrSwoosh, &tmrRace, &tmrSrace, &tmrComp, &tmrScomp,
                         &tmrAccelerate, &tmrHole, &tmrItem})
        timer->setEnabled(false);
    RaceBank& bank = sound.race;
    if (bank.ambience) bank.ambience->stop();
    // Remembered until resumeGame: stopgame may come twice (a hole, then game over).
    carRanBeforeStop_ = carRanBeforeStop_ || race.hasStarted;
    if (player) player->stopcar();
    for (auto* set : {&bank.compEngineSounds, &bank.secondEngineSounds})
        for (auto& engine : *set)
            if (engine) engine->stop();
    if (bank.itemOn) bank.itemOn->stop();
    if (bank.itemOff) bank.itemOff->stop();
    sound.stopSpeechChannels();
}

void MainForm::resumeGame() {
    race.game = true;
    RaceBank& bank = sound.race;
    if (mode == "tetriss") bank.ambience->play(true);
    // A car that was fading when the race stopped goes on fading; it does not come back.
    if (traffic.inprog) {
        if (traffic.comp_passed) {
            if (traffic.carindex >= 1 && traffic.carindex <= 4) bank.compEngineSounds[traffic.carindex - 1]->play(true);
            tmrWoosh.setEnabled(true);
        } else {
            tmrRace.setEnabled(true);
        }
    }
    tmrComp.setEnabled(true);
    if (menus.difficulty != "easy" && race.levels >= 6) {
        tmrScomp.setEnabled(true);
        if (traffic.seccar.secondCarInProgress) {
            if (traffic.seccar.secondCarPassing) {
                if (traffic.seccar.secondCarIndex >= 1) {
                    const int type = traffic.seccar.current().type;
                    if (type >= 1 && type <= 4) bank.secondEngineSounds[type - 1]->play(true);
                }
                tmrSwoosh.setEnabled(true);
            } else {
                tmrSrace.setEnabled(true);
            }
        }
    }
    // The road events and the car come back on every difficulty and level.
    if (race.skidding) tmrAccelerate.setEnabled(true);
    if (carRanBeforeStop_ && player) {
        carRanBeforeStop_ = false;
        race.hasStarted = true;
        player->start();
    }
    carRanBeforeStop_ = false;
}

void MainForm::togglePause() {
    if (race.pause) {
        race.pause = false;
        if (mode == "tetriss") sound.playWave("tetriss", "pOut", false, 0, false);
        resumeGame();
    } else {
        race.pause = true;
        stopgame();
        if (player) player->stopcar();
        // After stopgame, which silences the speech channels: played before, it was cut off
        // at once and the pause went unannounced.
        if (mode == "tetriss") sound.playWave("tetriss", "pIn", false, 0, false);
    }
}

void MainForm::confirmExit() {
    key_k = 0;
    race.inExitPrompt = true;
    stopgame();
    sound.playWave("speech", "exitPrompt", false, 0, false);
    while (key_k == 0) {
        loop.pump();
        if (!race.inExitPrompt) return;
    }
    sound.stopSpeechChannels();
    if (key_k == vk::Enter) {
        race.game = false;
        race.inExitPrompt = false;
        race.endCause = "escape";
        recordGame();
        if (player) player->reset();
        releaseRaceSounds();
        releaseObjects();
        sound.unloadGameSounds();
        sound.loadMenuSounds();
        menus.showMainMenu();
    } else {
        race.inExitPrompt = false;
        resumeGame();
    }
}

void MainForm::ambienceKey(int keyCode) {
    if (mode != "tetriss" || !sound.race.ambience) return;
    SoundBuffer& amb = *sound.race.ambience;
    const std::int32_t volume = amb.getVolume();
    switch (keyCode) {
        case vk::F5: amb.setVolume(-9000); break;
        case vk::F6:
            if (volume != -9000) amb.setVolume(std::max(-9000, volume - 500));
            break;
        case vk::F7:
            if (volume != 0) amb.setVolume(std::min(0, volume + 500));
            break;
        case vk::F8: amb.setVolume(0); break;
        default: break;
    }
}

bool MainForm::raceKeyDown(int keyCode) {
    if (bonus.bonusKeyDown(keyCode)) return true;
    if (!race.game) return false;
    const KeyMap& keys = keyMap;
    if (!race.pause && !race.inExitPrompt) {
        if (keyCode == vk::Escape) {
            confirmExit();
            return true;
        }
        if (keyCode == keys.kstart && !race.hasStarted) {
            race.hasStarted = true;
            player->start();
        }
        if (race.hasStarted) {
            const bool crazy = menus.difficulty == "crazy";
            if (keyCode == keys.kright) crazy ? player->left() : player->right();
            else if (keyCode == keys.kleft) crazy ? player->right() : player->left();
        }
        if (keyCode >= vk::F5 && keyCode <= vk::F8) ambienceKey(keyCode);
        if (keyCode == keys.kstop) player->stopcar();
        else if (keyCode == vk::PageUp) player->invup();
        else if (keyCode == vk::PageDown) player->invdown();
        else if (keyCode == keys.kinventory) player->speakInventory();
        else if (keyCode == keys.kaction) player->takeAction();
        // The action may have ended the game while it waited.
        if (!race.game) return true;
    }
    if (!race.inExitPrompt) {
        if (keyCode == keys.klifes) speakLifes();
        else if (keyCode == keys.kpause) togglePause();
        else if (keyCode == keys.klevel) speakLevel();
        else if (keyCode == keys.kscore) speakPoints();
        else if (keyCode == keys.kstats) speakStatus();
        else if (keyCode == 'H') speakHighScore();
        else if (keyCode == vk::F2) savedGame.saveGame();
    }
    return true;
}

// ---- spoken reports ----

void MainForm::speakLevel() {
    if (!race.game) return;
    numbers.stopNumberSpeech();
    numbers.queueClip(programPath("sounds/speech/level.wav"));
    if (race.game) numbers.speakNumber(race.levels, false);
}

void MainForm::speakLifes() {
    if (!race.game) return;
    numbers.stopNumberSpeech();
    numbers.speakNumber(race.m_lifes, false);
}

void MainForm::speakStatus() {
    if (!race.game) return;
    numbers.stopNumberSpeech();
    numbers.speakNumber(race.m_lifes, false);
    if (!race.game) return;
    numbers.queueClip(programPath("sounds/speech/lifesr.wav"));
    if (!race.game) return;
    numbers.queueClip(programPath("sounds/speech/level.wav"));
    if (!race.game) return;
    numbers.speakNumber(race.levels, false);
}

void MainForm::speakPoints() {
    if (!race.game) return;
    numbers.stopNumberSpeech();
    numbers.speakNumber(race.points, false);
    if (race.game) numbers.queueClip(programPath("sounds/speech/points.wav"));
}

}  // namespace zorvan
