#include "traffic/second_car.h"

#include "game/main_form.h"
#include "game/random_draw.h"
#include "game/saturating.h"

namespace zorvan {

SoundBuffer& SecondCarModule::loop() {
    return *form_.sound.race.secondEngineSounds.at(static_cast<std::size_t>(current().type - 1));
}

std::int16_t SecondCarModule::randomSecondCarType() {
    return static_cast<std::int16_t>(roundedDrawUpTo(form_.platform, 4));
}

std::int32_t SecondCarModule::randomSecondCarPan() {
    static constexpr std::int32_t kPans[] = {-3000, 0, 3000};
    return kPans[roundedDrawUpTo(form_.platform, 3) - 1];
}

void SecondCarModule::tmrScomp_Timer() {
    if (form_.menus.difficulty == "easy" || secondCarInProgress) return;
    launchSecondCar();
}

void SecondCarModule::launchSecondCar() {
    secondCarInProgress = true;
    for (std::size_t i = 0; i < secondCars.size(); ++i) {
        if (secondCars[i].active) continue;
        secondCars[i].active = true;
        secondCarIndex = static_cast<std::int16_t>(i + 1);
        setupSecondCar();
        break;
    }
    for (auto& record : secondCars) record.active = false;
}

void SecondCarModule::setupSecondCar() {
    SecondCar& record = secondCars.at(static_cast<std::size_t>(secondCarIndex - 1));
    record.type = randomSecondCarType();
    record.pan = randomSecondCarPan();
    record.lane = static_cast<std::int16_t>(record.pan / 1000);
    loop().setPan(record.pan);
    // The loop starts with the first approach tick.
    form_.tmrSrace.setEnabled(true);
}

void SecondCarModule::tmrSrace_Timer() {
    if (!form_.game || secondCarIndex < 1) return;
    secondCarInProgress = true;
    SoundBuffer& engine = loop();
    engine.play(true);
    const std::int32_t volume = engine.getVolume();
    if (volume != 0 && volume <= -300) {
        engine.setVolume(volume + 300);
        return;
    }
    // Arrival: handed to the fade first and counted last, as for the first car.
    form_.tmrSrace.setEnabled(false);
    form_.tmrSwoosh.setEnabled(true);
    if (form_.inSecondCarLane())
        form_.crashIntoCar();
    else
        form_.addPoints(10);
    saturatingIncrement(form_.stats.carsAvoided);
}

void SecondCarModule::tmrSwoosh_Timer() {
    if (!form_.game || secondCarIndex < 1) return;
    secondCarPassing = true;
    if (form_.mode == "tetriss" && !form_.secondPassSoundOn) {
        form_.secondPassSoundOn = true;
        form_.secondPassSound = form_.sound.loadWave("sounds/tetriss/t_pass1.wav");
        form_.secondPassSound->play(false);
    }
    SoundBuffer& engine = loop();
    const std::int32_t volume = engine.getVolume();
    if (volume < -5000) {
        engine.setVolume(-5000);
        engine.stop();
        secondCarInProgress = false;
        form_.secondPassSoundOn = false;
        secondCarPassing = false;
        form_.tmrSwoosh.setEnabled(false);
    } else {
        engine.setVolume(volume - 500);
    }
}

void SecondCarModule::explodeSecondCar() {
    ++form_.stats.carsBlasted;
    for (auto& engine : form_.sound.race.secondEngineSounds) {
        if (!engine) continue;
        engine->setVolume(-5000);
        engine->stop();
    }
    MainForm& form = form_;
    form.player->wait(0.2);
    // A key handled during the wait may have ended the game.
    if (form.game && form.player)
        form.sound.playWave("car", "carexplode", true, form.player->position * 1000, false);
}

}  // namespace zorvan
