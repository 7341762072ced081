// The main form's side of the online score table: every finished game becomes the pending
// score, and main menu entry 3 submits it and says how it went.
#include "game/main_form.h"

namespace zorvan {

namespace {

std::int32_t difficultyCode(std::string_view difficulty) {
    if (difficulty == "easy") return 1;
    if (difficulty == "normal") return 2;
    if (difficulty == "crazy") return 3;
    return 0;
}

}  // namespace

void MainForm::storeGameRecord() {
    if (!scoreClient) return;
    scoreClient->storeScore("data.KSR", race.points, difficultyCode(menus.difficulty), race.levels, "", false);
}

void MainForm::scoreStuf() {
    if (!scoreClient) return;
    SoundSlot effect = sound.loadWave("sounds/menu/score_effect.wav");
    if (scoreClient->validateScore(1000) != zelkScore::kValid) {
        errorShow();
        scoreClient->wackScore("");
        return;
    }
    menus.soundBusy = true;
    scoreClient->usercountry(profileCountry);
    scoreClient->useremail(profileEmail);
    scoreClient->userName(profileName);
    menus.stopMainMenuSounds();
    if (sound.menu.music) sound.menu.music->stop();
    effect->rewind();
    effect->play(false);

    // Says the outcome once the effect has ended.
    auto sayOutcome = [&](std::string_view clip) {
        SoundSlot outcome = sound.loadWave("sounds/menu/" + std::string(clip) + ".wav");
        sound.waitWhilePlaying(effect);
        outcome->rewind();
        outcome->play(false);
        sound.waitWhilePlaying(outcome);
    };
    switch (scoreClient->sendScore(0)) {
        case zelkScore::kNotConnected: sayOutcome("score_offline"); break;
        case zelkScore::kRequestFailed: sayOutcome("score_error"); break;
        case zelkScore::kValid: {
            const std::int32_t place = scoreClient->checkScore(10);
            sayOutcome(place >= 1 ? "score_topten" : "score_success");
            if (place >= 1) {
                numbers.speakNumber(place, false);
                numbers.waitForNumberSpeech();
            }
            break;
        }
        default: break;
    }
    if (scoreClient) scoreClient->wackScore("");
    menus.soundBusy = false;
    if (sound.menu.music) sound.menu.music->play(true);
}

}  // namespace zorvan
