// The race: its timers, a new game, pause and resume, the exit prompt, the race keys and
// the spoken reports.

#include <algorithm>
#include <cmath>

#include "game/main_form.h"
#include "game/random_draw.h"
#include "platform/keys.h"

namespace zorvan {

void MainForm::wireRaceTimers() {
    tmrGo.setHandler([this] { tmrGo_Timer(); });
    tmrComp.setHandler([this] { tmrComp_Timer(); });
    tmrRace.setHandler([this] { tmrRace_Timer(); });
    tmrWoosh.setHandler([this] { tmrWoosh_Timer(); });
    tmrScomp.setHandler([this] { seccar.tmrScomp_Timer(); });
    tmrSrace.setHandler([this] { seccar.tmrSrace_Timer(); });
    tmrSwoosh.setHandler([this] { seccar.tmrSwoosh_Timer(); });
    tmrAccelerate.setHandler([this] {
        if (player) player->randomizeSkid();
    });
    tmrHole.setHandler([this] { tmrHole_Timer(); });
    tmrItem.setHandler([this] { tmrItem_Timer(); });
}

void MainForm::createObjects() {
    player = std::make_unique<car>(*this);
    player->initObjs();
    for (auto& slot : compCars) slot = std::make_unique<compcar>(*this);
}

void MainForm::releaseObjects() {
    // Whatever of the car is still waiting on the stack checks that it lives before it
    // goes on (car::wait, Inventory::inventoryPlay).
    player.reset();
    for (auto& slot : compCars) slot.reset();
}

void MainForm::releaseRaceSounds() {
    passSound.reset();
    secondPassSound.reset();
    crashSound.reset();
    levelUpSound.reset();
    if (player && player->inventory) player->inventory->releaseSound();
}

void MainForm::releaseRace() {
    releaseRaceSounds();
    releaseObjects();
}

void MainForm::newGame() {
    game = true;
    pause = false;
    inExitPrompt = false;
    createObjects();

    inprog = false;
    comp_passed = false;
    seccar.secondCarInProgress = false;
    seccar.secondCarPassing = false;
    carindex = 0;
    seccar.secondCarIndex = 0;
    carinprog = 0;
    passSoundOn = false;
    secondPassSoundOn = false;
    carRanBeforeStop_ = false;
    stats = GameStats{};
    newscore = false;
    hasSaved = false;
    m_lap = 0;
    m_x = 0;

    sound.loadGameSounds();

    levels = 1;
    m_lifes = 5;
    points = 0;
    hasStarted = false;

    tmrGo.setInterval(1000);
    tmrComp.setInterval(1000);
    tmrScomp.setInterval(1000);

    static constexpr int kRoadEventMs[] = {0, 0, 5000, 12000, 10000};  // by car type
    const int type = player->cartype();
    skidding = type >= 2 && type <= 4;
    if (skidding) {
        tmrAccelerate.setInterval(kRoadEventMs[type]);
        tmrAccelerate.setEnabled(true);
    }

    tmrComp.setEnabled(true);

    speed = 300;
    secondSpeed = 300;
    ajustTimers(0);

    if (mode == "tetriss") {
        sound.race.ambience->setFrequency(44100);
        sound.race.ambience->play(true);
    }
}

void MainForm::ajustTimers(std::int32_t secondcar) {
    tmrRace.setInterval(speed);
    tmrWoosh.setInterval(speed);
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
    m_lap = advance(m_lap, m_speed);
    m_x = advance(m_x, m_speed);
    if (m_lap >= 51) {
        m_lap = 0;
        m_x = 0;
        levelup(false);
    }
}

void MainForm::tmrItem_Timer() {
    tmrItem.setEnabled(false);
    if (!game || !player) return;
    sound.race.itemOn->stop();
    if (player->position != itemposition) {
        SoundBuffer& itemOff = *sound.race.itemOff;
        itemOff.rewind();
        itemOff.setPan(itemposition * 1000);
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
    RaceBank& race = sound.race;
    if (race.ambience) race.ambience->stop();
    // Remembered until resumeGame: stopgame may come twice (a hole, then game over).
    carRanBeforeStop_ = carRanBeforeStop_ || hasStarted;
    if (player) player->stopcar();
    for (auto* set : {&race.compEngineSounds, &race.secondEngineSounds})
        for (auto& engine : *set)
            if (engine) engine->stop();
    if (race.itemOn) race.itemOn->stop();
    if (race.itemOff) race.itemOff->stop();
    sound.stopSpeechChannels();
}

void MainForm::resumeGame() {
    game = true;
    RaceBank& race = sound.race;
    if (mode == "tetriss") race.ambience->play(true);
    // A car that was fading when the race stopped goes on fading; it does not come back.
    if (inprog) {
        if (comp_passed) {
            if (carindex >= 1 && carindex <= 4) race.compEngineSounds[carindex - 1]->play(true);
            tmrWoosh.setEnabled(true);
        } else {
            tmrRace.setEnabled(true);
        }
    }
    tmrComp.setEnabled(true);
    if (menus.difficulty != "easy" && levels >= 6) {
        tmrScomp.setEnabled(true);
        if (seccar.secondCarInProgress) {
            if (seccar.secondCarPassing) {
                if (seccar.secondCarIndex >= 1) {
                    const int type = seccar.current().type;
                    if (type >= 1 && type <= 4) race.secondEngineSounds[type - 1]->play(true);
                }
                tmrSwoosh.setEnabled(true);
            } else {
                tmrSrace.setEnabled(true);
            }
        }
    }
    // The road events and the car come back on every difficulty and level.
    if (skidding) tmrAccelerate.setEnabled(true);
    if (carRanBeforeStop_ && player) {
        carRanBeforeStop_ = false;
        hasStarted = true;
        player->start();
    }
    carRanBeforeStop_ = false;
}

void MainForm::togglePause() {
    if (pause) {
        pause = false;
        if (mode == "tetriss") sound.playWave("tetriss", "pOut", false, 0, false);
        resumeGame();
    } else {
        pause = true;
        stopgame();
        if (player) player->stopcar();
        // After stopgame, which silences the speech channels: played before, it was cut off
        // at once and the pause went unannounced.
        if (mode == "tetriss") sound.playWave("tetriss", "pIn", false, 0, false);
    }
}

void MainForm::confirmExit() {
    key_k = 0;
    inExitPrompt = true;
    stopgame();
    sound.playWave("speech", "exitPrompt", false, 0, false);
    while (key_k == 0) {
        loop.pump();
        if (!inExitPrompt) return;
    }
    sound.stopSpeechChannels();
    if (key_k == vk::Enter) {
        game = false;
        inExitPrompt = false;
        endCause = "escape";
        recordGame();
        if (player) player->reset();
        releaseRaceSounds();
        releaseObjects();
        sound.unloadGameSounds();
        sound.loadMenuSounds();
        menus.showMainMenu();
    } else {
        inExitPrompt = false;
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
    if (!game) return false;
    const KeyMap& keys = keyMap;
    if (!pause && !inExitPrompt) {
        if (keyCode == vk::Escape) {
            confirmExit();
            return true;
        }
        if (keyCode == keys.kstart && !hasStarted) {
            hasStarted = true;
            player->start();
        }
        if (hasStarted) {
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
        if (!game) return true;
    }
    if (!inExitPrompt) {
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
    if (!game) return;
    numbers.stopNumberSpeech();
    numbers.queueClip(programPath("sounds/speech/level.wav"));
    if (game) numbers.speakNumber(levels, false);
}

void MainForm::speakLifes() {
    if (!game) return;
    numbers.stopNumberSpeech();
    numbers.speakNumber(m_lifes, false);
}

void MainForm::speakStatus() {
    if (!game) return;
    numbers.stopNumberSpeech();
    numbers.speakNumber(m_lifes, false);
    if (!game) return;
    numbers.queueClip(programPath("sounds/speech/lifesr.wav"));
    if (!game) return;
    numbers.queueClip(programPath("sounds/speech/level.wav"));
    if (!game) return;
    numbers.speakNumber(levels, false);
}

void MainForm::speakPoints() {
    if (!game) return;
    numbers.stopNumberSpeech();
    numbers.speakNumber(points, false);
    if (game) numbers.queueClip(programPath("sounds/speech/points.wav"));
}

}  // namespace zorvan
