#include "traffic/compcar.h"

#include "race/random_draw.h"
#include "traffic/comp_traffic.h"

namespace zorvan {

std::string compcar::compcarType() const { return "cCar" + std::to_string(carType_); }

std::int16_t compcar::position() const { return traffic_.comp_position; }

std::int32_t compcar::randomLanePan() {
    // No redraw: 4 (a quarter of the draws near the top) also means the centre.
    switch (roundedDraw(ctx_.platform, 3)) {
        case 1: return -3000;
        case 3: return 3000;
        default: return 0;
    }
}

std::int16_t compcar::randomCarType() {
    return static_cast<std::int16_t>(wholeDraw(ctx_.platform, 4));
}

void compcar::lonchcar() {
    traffic_.inprog = true;
    isActive = true;
    traffic_.comp_position = static_cast<std::int16_t>(randomLanePan() / 1000);
    carType_ = randomCarType();
    traffic_.carindex = carType_;
    SoundBuffer& engine = *ctx_.sound.race.compEngineSounds[carType_ - 1];
    engine.setPan(traffic_.comp_position * 3000);
    engine.play(true);
    ctx_.tmrRace.setEnabled(true);
}

void compcar::restoreComputerCar() {
    for (auto& engine : ctx_.sound.race.compEngineSounds) {
        if (!engine) continue;
        engine->stop();
        engine->setVolume(CompTraffic::kFarVolume);
        engine->rewind();
    }
    traffic_.inprog = false;
}

}  // namespace zorvan
