#include "car/car.h"

#include <algorithm>
#include <cstdio>

#include "race/race_context.h"
#include "race/random_draw.h"
#include "race/saturating.h"
#include "records/cipher.h"

namespace zorvan {

car::car(RaceContext& ctx) : ctx_(ctx) {}
car::~car() = default;

std::int16_t car::lifes() const { return ctx_.race.m_lifes; }
std::int16_t car::cartype() const { return ctx_.menus.selectedCarType; }
std::int32_t car::points() const { return ctx_.race.points; }
float car::speed() const { return ctx_.race.m_speed; }
std::int16_t car::x() const { return ctx_.race.m_x; }

bool car::tetriss() const { return ctx_.tetriss(); }

SoundBuffer& car::engineLoop() {
    return *ctx_.sound.race.playerEngineSounds.at(static_cast<std::size_t>(cartype() - 1));
}

SoundBuffer* car::badEngineLoop() {
    switch (cartype()) {
        case 1: return ctx_.sound.race.badLego.get();
        case 3:
        case 4: return ctx_.sound.race.badEngine.get();
        default: return nullptr;
    }
}

void car::initObjs() {
    inventory = std::make_unique<Inventory>(ctx_);
    inventory->inventoryReset();
}

void car::start() {
    SoundBuffer& engine = engineLoop();
    engine.setPan(position * 3000);
    engine.play(true);
    if (engineDamage > 0) {
        if (SoundBuffer* bad = badEngineLoop()) {
            bad->setPan(position * 1000);
            bad->play(true);
        }
    }
    if (brakeCharges > 0) {
        ctx_.sound.race.brakesOn->setPan(position * 1000);
        ctx_.sound.race.brakesOn->play(true);
    }
    ctx_.tmrGo.setEnabled(true);
}

void car::left() {
    if (position == -3) return;
    position = static_cast<std::int16_t>(position - 3);
    engineLoop().setPan(position * 3000);
    if (engineDamage > 0)
        if (SoundBuffer* bad = badEngineLoop()) bad->setPan(position * 1000);
    if (brakeCharges >= 1) ctx_.sound.race.brakesOn->setPan(position * 1000);
}

void car::right() {
    if (position == 3) return;
    position = static_cast<std::int16_t>(position + 3);
    engineLoop().setPan(position * 3000);
    if (engineDamage > 0)
        if (SoundBuffer* bad = badEngineLoop()) bad->setPan(position * 1000);
    if (brakeCharges >= 1) ctx_.sound.race.brakesOn->setPan(position * 1000);
}

void car::stopcar() {
    ctx_.race.hasStarted = false;
    RaceBank& race = ctx_.sound.race;
    const int type = cartype();
    if (type >= 1 && type <= 4 && race.playerEngineSounds[type - 1])
        race.playerEngineSounds[type - 1]->stop();
    if (race.badEngine) race.badEngine->stop();
    if (race.badLego) race.badLego->stop();
    if (race.brakesOn) race.brakesOn->stop();
    ctx_.tmrGo.setEnabled(false);
}

void car::wait(double seconds) {
    // Only locals from here on: the car may be released by a key handled inside the wait.
    RaceContext& ctx = ctx_;
    const std::int64_t deadline = ctx.platform.nowMs() + static_cast<std::int64_t>(seconds * 1000.0);
    ctx.loop.pumpUntil(deadline);
}

void car::reset() {
    position = 0;
    engineDamage = 0;
    brakeCharges = 0;
    const int type = cartype();
    if (type >= 1 && type <= 4 && ctx_.sound.race.playerEngineSounds[type - 1])
        ctx_.sound.race.playerEngineSounds[type - 1]->setPan(0);
    ctx_.race.m_lap = 0;
    ctx_.race.m_x = 0;
    if (onReset) onReset();
    if (inventory) inventory->inventoryReset();
}

void car::playSkidSound(std::string_view kind) {
    const int r = roundedDrawUpTo(ctx_.platform, 2);
    ctx_.sound.playWave("misc", std::string(kind) + std::to_string(r), false, 0, false);
}

void car::skid(std::string_view kind) {
    if (tetriss()) return;
    if (brakeCharges >= 1) {
        brakeCharges = static_cast<std::int16_t>(brakeCharges - 1);
        if (brakeCharges == 0) ctx_.sound.race.brakesOn->stop();
        return;
    }
    if (kind == "small") {
        if (position != 0) {
            position = 0;
        } else {
            position = roundedDrawUpTo(ctx_.platform, 2) == 1 ? -3 : 3;
        }
        engineLoop().setPan(position * 1000);
        playSkidSound("ssmall");
    } else if (kind == "large") {
        if (position != 0) {
            position = static_cast<std::int16_t>(-position);
            engineLoop().setPan(position * 1000);
        }
        playSkidSound("slarge");
    }
}

void car::randomizeSkid() {
    if (tetriss()) return;
    switch (roundedDraw(ctx_.platform, 40)) {
        case 1: case 3: case 4: case 6: case 7: case 9:
            skid("small");
            break;
        case 2: case 10: case 11: case 16: case 19: case 20:
            skid("large");
            break;
        case 21: case 23: case 24: case 27: case 30: case 31:
            ctx_.rules.randomHole();
            break;
        case 32: case 33: case 34: case 35: case 38:
            placeItem();
            break;
        default:
            break;
    }
}

void car::placeItem() {
    static constexpr std::int16_t kLanes[] = {-3, 0, 3};
    ctx_.race.itemposition = kLanes[roundedDrawUpTo(ctx_.platform, 3) - 1];
    const std::string& difficulty = ctx_.menus.difficulty;
    if (difficulty == "easy") ctx_.tmrItem.setInterval(3000);
    else if (difficulty == "normal") ctx_.tmrItem.setInterval(2500);
    else if (difficulty == "crazy") ctx_.tmrItem.setInterval(2000);
    SoundBuffer& itemOn = *ctx_.sound.race.itemOn;
    itemOn.rewind();
    itemOn.setPan(ctx_.race.itemposition * 1000);
    itemOn.play(false);
    ctx_.tmrItem.setEnabled(true);
}

void car::checkEnjen() {
    if (tetriss()) return;
    const int type = cartype();
    if (type == 2) return;
    const bool fails = type == 1 ? ctx_.race.m_lifes < 2 : ctx_.race.m_lifes < 3;
    if (!fails) return;
    SoundBuffer* bad = badEngineLoop();
    if (!bad) return;
    bad->setPan(position * 1000);
    bad->play(true);
    adjustEngine(*bad, false);
}

void car::adjustEngine(SoundBuffer& loop, bool repaired) {
    if (!repaired) {
        if (engineDamage == 0 || badEngineRate_ == 0) badEngineRate_ = loop.getFrequency();
        engineDamage = static_cast<std::int16_t>(engineDamage + 1);
    }
    // 5000 Hz lower per unrepaired failure, but never so low that the loop stops sounding
    // like an engine (or leaves the range the mixer plays).
    const std::int32_t floor = std::max(100, badEngineRate_ / kBadEngineFloorDivisor);
    loop.setFrequency(std::max(floor, badEngineRate_ - 5000 * engineDamage));
    if (!repaired) {
        ctx_.race.m_speed -= 1.2f;
        if (ctx_.race.m_speed < 0.5f) ctx_.race.m_speed = 0.5f;
    } else {
        if (engineDamage < 1) {
            loop.stop();
            loop.rewind();
        }
        ctx_.race.m_speed += 1.2f;
    }
}

// ---- inventory ----

void car::takeAction() {
    if (tetriss()) return;
    switch (inventory->inventoryIndex()) {
        case 1: shootLazer(); break;
        case 2: triggerBrakes(); break;
        case 3: repareEngin(); break;
        default: break;
    }
}

void car::speakInventory() {
    if (!tetriss()) inventory->getInventoryList();
}

void car::invdown() {
    if (!tetriss()) inventory->inventoryDown();
}

void car::invup() {
    if (!tetriss()) inventory->inventoryUp();
}

std::string car::getInventoryList() const {
    char text[32];
    std::snprintf(text, sizeof text, "%d_%d_%d", inventory->lazerRounds(), inventory->brakes(),
                  inventory->enginRepare());
    return encryptString(text, "4718250");
}

void car::addItemToInventory(std::string_view key, std::int16_t count) {
    if (key == "lazer" || key == "brakes" || key == "er") inventory->addItem(key, count);
}

void car::randomizeItem() {
    const int r = roundedDrawUpTo(ctx_.platform, 20);
    const char* name;
    if (r <= 5) {
        name = "enginrepare";
        inventory->addItem("er", 1);
    } else if (r <= 9) {
        name = "brakes";
        inventory->addItem("brakes", 1);
    } else if (r <= 12) {
        name = "extralife";
        ctx_.rules.addLife();
    } else if (r <= 14) {
        name = "lazercanon";
        inventory->addItem("lazer", 5);
    } else if (r <= 19) {
        name = "thbonus";
        ctx_.rules.addPrizePoints(1000);
    } else {
        name = "tebonus";
        ctx_.rules.addPrizePoints(10000);
    }
    ctx_.sound.playWave("speech", name, false, 0, true);
}

void car::shootLazer() {
    if (inventory->lazerRounds() < 1) {
        inventory->invError();
        return;
    }
    saturatingIncrement(ctx_.race.stats.lazerUsed);
    ctx_.sound.playWave("", "lcanon", false, position * 10, true);
    inventory->subtractItem("lazer");
    // The hit may wait, and this car may be released meanwhile: nothing of it is used after.
    ctx_.rules.lazerShot(position);
}

void car::triggerBrakes() {
    if (inventory->brakes() < 1) {
        inventory->invError();
        return;
    }
    saturatingIncrement(ctx_.race.stats.brakesUsed);
    inventory->subtractItem("brakes");
    SoundBuffer& brakesOn = *ctx_.sound.race.brakesOn;
    brakesOn.stop();
    brakesOn.setPan(position * 1000);
    brakesOn.play(true);
    brakeCharges = static_cast<std::int16_t>(brakeCharges + 5);
}

void car::repareEngin() {
    if (inventory->enginRepare() < 1) {
        inventory->invError();
        return;
    }
    if (engineDamage == 0) return;
    RaceContext& ctx = ctx_;
    const std::weak_ptr<const int> alive = life_;
    saturatingIncrement(ctx.race.stats.repairsUsed);
    engineDamage = static_cast<std::int16_t>(engineDamage - 1);
    inventory->subtractItem("er");
    inventory->inventoryPlay("eger", true, 0);
    // While "eger" was said the game may have ended, or this car been released.
    if (!ctx.race.game || alive.expired()) return;
    SoundBuffer* bad = badEngineLoop();
    if (!bad) return;
    bad->setPan(position * 1000);
    // A pause or the exit prompt that came during "eger" keeps the race silent.
    if (!ctx.race.pause && !ctx.race.inExitPrompt) bad->play(true);
    adjustEngine(*bad, true);
}

}  // namespace zorvan
