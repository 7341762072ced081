#include "traffic/comp_traffic.h"

#include "race/saturating.h"

namespace zorvan {

CompTraffic::CompTraffic(RaceContext& ctx, std::unique_ptr<car>& player)
    : seccar(ctx, *this),
      first{ctx.tmrRace, ctx.tmrWoosh, inprog, comp_passed, passSound, passSoundOn, &CompTraffic::inCompLane},
      second{ctx.tmrSrace, ctx.tmrSwoosh, seccar.secondCarInProgress, seccar.secondCarPassing,
             secondPassSound, secondPassSoundOn, &CompTraffic::inSecondCarLane},
      ctx_(ctx),
      player_(player) {}

void CompTraffic::createCars() {
    for (auto& slot : compCars) slot = std::make_unique<compcar>(ctx_, *this);
}

void CompTraffic::releaseCars() {
    for (auto& slot : compCars) slot.reset();
}

void CompTraffic::releaseSounds() {
    passSound.reset();
    secondPassSound.reset();
}

void CompTraffic::clearRoad() {
    inprog = false;
    comp_passed = false;
    seccar.secondCarInProgress = false;
    seccar.secondCarPassing = false;
    carindex = 0;
    seccar.secondCarIndex = 0;
    carinprog = 0;
    passSoundOn = false;
    secondPassSoundOn = false;
}

void CompTraffic::carReset() {
    inprog = false;
    carindex = 0;
    seccar.secondCarInProgress = false;
    seccar.secondCarIndex = 0;
}

bool CompTraffic::inCompLane() const { return player_ && player_->position == comp_position; }

bool CompTraffic::inSecondCarLane() const {
    return player_ && seccar.secondCarIndex >= 1 && player_->position == seccar.current().lane;
}

void CompTraffic::tmrComp_Timer() {
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

void CompTraffic::tmrRace_Timer() {
    if (!ctx_.race.game || carindex < 1 || carindex > 4) return;
    approach(first, *ctx_.sound.race.compEngineSounds[carindex - 1]);
}

void CompTraffic::tmrWoosh_Timer() {
    if (!ctx_.race.game || carindex < 1 || carindex > 4) return;
    fade(first, *ctx_.sound.race.compEngineSounds[carindex - 1]);
}

void CompTraffic::approach(Lane& lane, SoundBuffer& engine) {
    engine.play(true);
    const std::int32_t volume = engine.getVolume();
    if (volume != 0 && volume <= -kApproachStep) {
        engine.setVolume(volume + kApproachStep);
        return;
    }
    // Arrival. Handed to the fade before it is judged: a crash may end the game, and then no
    // race timer may be left running. It is counted after the judging, so the report of a game
    // that this car ended does not count it.
    lane.approachTimer.setEnabled(false);
    lane.fadeTimer.setEnabled(true);
    if ((this->*lane.inLane)())
        ctx_.rules.crashIntoCar();
    else
        ctx_.rules.addPoints(10);
    saturatingIncrement(ctx_.race.stats.carsAvoided);
}

void CompTraffic::fade(Lane& lane, SoundBuffer& engine) {
    lane.passing = true;
    if (ctx_.tetriss() && !lane.passSoundOn) {
        lane.passSoundOn = true;
        lane.passSound = ctx_.sound.loadWave("sounds/tetriss/t_pass1.wav");
        lane.passSound->play(false);
    }
    const std::int32_t volume = engine.getVolume();
    if (volume < kFarVolume) {
        engine.setVolume(kFarVolume);
        engine.stop();
        lane.onRoad = false;
        lane.passSoundOn = false;
        lane.passing = false;
        lane.fadeTimer.setEnabled(false);
    } else {
        engine.setVolume(volume - kFadeStep);
    }
}

void CompTraffic::comp_crash() {
    ctx_.tmrRace.setEnabled(false);
    saturatingIncrement(ctx_.race.stats.carsBlasted);
    for (auto& slot : compCars)
        if (slot) slot->restoreComputerCar();
    RaceContext& ctx = ctx_;
    player_->wait(0.2);
    // A key handled during the wait may have ended the game.
    if (ctx.race.game && player_) ctx.sound.playWave("car", "carexplode", true, player_->position * 1000, false);
}

void CompTraffic::lazerShot(std::int16_t lane) {
    if (seccar.secondCarInProgress && !seccar.secondCarPassing && seccar.secondCarIndex >= 1 &&
        seccar.current().lane == lane) {
        ctx_.tmrSrace.setEnabled(false);
        seccar.explodeSecondCar();  // waits: keys and ticks run meanwhile
        seccar.secondCarInProgress = false;
    }
    // The wait above may have ended the game.
    if (!ctx_.race.game) return;
    if (inprog && !comp_passed && comp_position == lane) comp_crash();
}

}  // namespace zorvan
