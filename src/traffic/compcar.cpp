#include "traffic/compcar.h"

#include "game/main_form.h"
#include "game/random_draw.h"
#include "game/saturating.h"

namespace zorvan {

std::string compcar::compcarType() const { return "cCar" + std::to_string(carType_); }

std::int16_t compcar::position() const { return form_.comp_position; }

std::int32_t compcar::randomLanePan() {
    // No redraw: 4 (a quarter of the draws near the top) also means the centre.
    switch (roundedDraw(form_.platform, 3)) {
        case 1: return -3000;
        case 3: return 3000;
        default: return 0;
    }
}

std::int16_t compcar::randomCarType() {
    return static_cast<std::int16_t>(wholeDraw(form_.platform, 4));
}

void compcar::lonchcar() {
    form_.inprog = true;
    isActive = true;
    form_.comp_position = static_cast<std::int16_t>(randomLanePan() / 1000);
    carType_ = randomCarType();
    form_.carindex = carType_;
    SoundBuffer& engine = *form_.sound.race.compEngineSounds[carType_ - 1];
    engine.setPan(form_.comp_position * 3000);
    engine.play(true);
    form_.tmrRace.setEnabled(true);
}

void compcar::restoreComputerCar() {
    for (auto& engine : form_.sound.race.compEngineSounds) {
        if (!engine) continue;
        engine->stop();
        engine->setVolume(-5000);
        engine->rewind();
    }
    form_.inprog = false;
}

// ---- the first computer car's timers, on the main form ----

void MainForm::tmrComp_Timer() {
    if (inprog) return;
    for (std::size_t i = 0; i < compCars.size(); ++i) {
        if (!compCars[i] || compCars[i]->isActive) continue;
        carinprog = static_cast<std::int16_t>(i + 1);
        compCars[i]->lonchcar();
        break;
    }
    for (auto& slot : compCars)
        if (slot) slot->isActive = false;
}

void MainForm::tmrRace_Timer() {
    if (!game || carindex < 1 || carindex > 4) return;
    SoundBuffer& engine = *sound.race.compEngineSounds[carindex - 1];
    engine.play(true);
    const std::int32_t volume = engine.getVolume();
    if (volume != 0 && volume <= -300) {
        engine.setVolume(volume + 300);
        return;
    }
    // Arrival. Handed to the fade before it is judged: a crash may end the game, and then no
    // race timer may be left running. It is counted after the judging, so the report of a game
    // that this car ended does not count it.
    tmrRace.setEnabled(false);
    tmrWoosh.setEnabled(true);
    if (inCompLane())
        crashIntoCar();
    else
        addPoints(10);
    saturatingIncrement(stats.carsAvoided);
}

void MainForm::tmrWoosh_Timer() {
    if (!game || carindex < 1 || carindex > 4) return;
    comp_passed = true;
    if (mode == "tetriss" && !passSoundOn) {
        passSoundOn = true;
        passSound = sound.loadWave("sounds/tetriss/t_pass1.wav");
        passSound->play(false);
    }
    SoundBuffer& engine = *sound.race.compEngineSounds[carindex - 1];
    const std::int32_t volume = engine.getVolume();
    if (volume < -5000) {
        engine.setVolume(-5000);
        engine.stop();
        inprog = false;
        passSoundOn = false;
        comp_passed = false;
        tmrWoosh.setEnabled(false);
    } else {
        engine.setVolume(volume - 500);
    }
}

}  // namespace zorvan
