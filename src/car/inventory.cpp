#include "car/inventory.h"

#include <memory>
#include <string>

#include "race/race_context.h"
#include "race/saturating.h"

namespace zorvan {

void Inventory::addItem(std::string_view key, std::int16_t count) {
    GameStats& stats = ctx_.race.stats;
    if (key == "lazer") {
        lazerRounds_ = saturatingAdd(lazerRounds_, count);
        stats.lazerCollected = saturatingAdd(stats.lazerCollected, count);
    } else if (key == "brakes") {
        brakes_ = saturatingAdd(brakes_, count);
        stats.brakesCollected = saturatingAdd(stats.brakesCollected, count);
    } else if (key == "er") {
        enginRepare_ = saturatingAdd(enginRepare_, count);
        stats.repairsCollected = saturatingAdd(stats.repairsCollected, count);
    }
}

void Inventory::subtractItem(std::string_view key) {
    std::int16_t* count = key == "lazer" ? &lazerRounds_
                          : key == "brakes" ? &brakes_
                          : key == "er" ? &enginRepare_
                                        : nullptr;
    if (!count) return;
    *count = static_cast<std::int16_t>(*count - 1);
    if (*count < 0) *count = 0;
}

void Inventory::inventoryReset() {
    lazerRounds_ = 0;
    brakes_ = 0;
    enginRepare_ = 0;
}

void Inventory::getInventoryList() {
    ctx_.numbers.stopNumberSpeech();
    if (lazerRounds_ == 0 && brakes_ == 0 && enginRepare_ == 0) {
        inventoryPlay("err", false, 0);
        return;
    }
    const std::int16_t counts[] = {lazerRounds_, brakes_, enginRepare_};
    for (int i = 0; i < 3; ++i) {
        if (counts[i] <= 0) continue;
        ctx_.numbers.speakNumber(counts[i], false);
        ctx_.numbers.queueClip(ctx_.platform.files().absolutePath("sounds/inv" + std::to_string(i + 1) + ".wav"));
    }
}

void Inventory::inventoryDown() {
    if (inventoryIndex_ == 3) return;
    ++inventoryIndex_;
    if (inventoryIndex_ >= 1 && inventoryIndex_ <= 3)
        inventoryPlay("inv" + std::to_string(inventoryIndex_), false, 0);
}

void Inventory::inventoryUp() {
    if (inventoryIndex_ <= 1) return;
    --inventoryIndex_;
    inventoryPlay("inv" + std::to_string(inventoryIndex_), false, 0);
}

void Inventory::inventoryPlay(std::string_view name, bool wait, std::int32_t pan) {
    if (!ctx_.race.game) return;
    sound_.reset();
    sound_ = ctx_.sound.loadWave("sounds/" + std::string(name) + ".wav");
    sound_->setPan(pan);
    sound_->play(false);
    if (!wait) return;
    // The inventory may be released by a key handled inside the wait (the exit prompt):
    // look at it only while it lives.
    RaceContext& ctx = ctx_;
    std::weak_ptr<const int> alive = life_;
    while (!alive.expired() && sound_ && sound_->isPlaying()) ctx.loop.pump();
}

void Inventory::invError() { inventoryPlay("err", false, 0); }

}  // namespace zorvan
