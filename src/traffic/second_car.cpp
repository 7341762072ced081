#include "traffic/second_car.h"

#include "race/random_draw.h"
#include "race/saturating.h"
#include "traffic/comp_traffic.h"

namespace zorvan {

SoundBuffer& SecondCarModule::loop() {
    return *ctx_.sound.race.secondEngineSounds.at(static_cast<std::size_t>(current().type - 1));
}

std::int16_t SecondCarModule::randomSecondCarType() {
    return static_cast<std::int16_t>(roundedDrawUpTo(ctx_.platform, 4));
}

std::int32_t SecondCarModule::randomSecondCarPan() {
    static constexpr std::int32_t kPans[] = {-3000, 0, 3000};
    return kPans[roundedDrawUpTo(ctx_.platform, 3) - 1];
}

void SecondCarModule::tmrScomp_Timer() {
    if (ctx_.menus.difficulty == "easy" || secondCarInProgress) return;
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
    ctx_.tmrSrace.setEnabled(true);
}

void SecondCarModule::tmrSrace_Timer() {
    if (!ctx_.race.game || secondCarIndex < 1) return;
    secondCarInProgress = true;
    traffic_.approach(traffic_.second, loop());
}

void SecondCarModule::tmrSwoosh_Timer() {
    if (!ctx_.race.game || secondCarIndex < 1) return;
    traffic_.fade(traffic_.second, loop());
}

void SecondCarModule::explodeSecondCar() {
    saturatingIncrement(ctx_.race.stats.carsBlasted);
    for (auto& engine : ctx_.sound.race.secondEngineSounds) {
        if (!engine) continue;
        engine->setVolume(CompTraffic::kFarVolume);
        engine->stop();
    }
    RaceContext& ctx = ctx_;
    std::unique_ptr<car>& player = traffic_.player_;
    player->wait(0.2);
    // A key handled during the wait may have ended the game.
    if (ctx.race.game && player)
        ctx.sound.playWave("car", "carexplode", true, player->position * 1000, false);
}

}  // namespace zorvan
