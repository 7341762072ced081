#pragma once
// The player's items: lazer rounds for the canon, brakes that absorb skids, engine repairs.
// Worked with four keys (previous, next, speak, use); silent and inert in the "tetriss" theme.

#include <cstdint>
#include <memory>
#include <string_view>

#include "sound/sound_system.h"

namespace zorvan {

struct RaceContext;

class Inventory {
public:
    explicit Inventory(RaceContext& ctx) : ctx_(ctx) {}
    Inventory(const Inventory&) = delete;
    Inventory& operator=(const Inventory&) = delete;

    std::int16_t lazerRounds() const { return lazerRounds_; }
    std::int16_t brakes() const { return brakes_; }
    std::int16_t enginRepare() const { return enginRepare_; }
    // 1 lazer canon, 2 brakes, 3 engine repair; 0 until the player first selects.
    std::int16_t inventoryIndex() const { return inventoryIndex_; }

    // key "lazer", "brakes" or "er"; any other key changes nothing. Raises the item's
    // collected counter by the same count.
    void addItem(std::string_view key, std::int16_t count);
    void subtractItem(std::string_view key);  // never below 0
    void inventoryReset();                    // counts to 0; the selection stays
    void getInventoryList();                  // speaks the counts through the number queue
    void inventoryDown();
    void inventoryUp();
    // Plays sounds/<name>.wav once, only while a game runs; with wait, pumps until it ends.
    // pan: -10000 left .. 10000 right.
    void inventoryPlay(std::string_view name, bool wait, std::int32_t pan);
    void invError();
    // Lets go of the sound last played, so no race sound outlives the game.
    void releaseSound() { sound_.reset(); }

private:
    RaceContext& ctx_;
    std::int16_t lazerRounds_ = 0;
    std::int16_t brakes_ = 0;
    std::int16_t enginRepare_ = 0;
    std::int16_t inventoryIndex_ = 0;
    SoundSlot sound_;  // the sound last played by inventoryPlay
    std::shared_ptr<const int> life_ = std::make_shared<const int>(0);  // expires with this
};

}  // namespace zorvan
