#pragma once
// The player's car: its lane, the engine loop and the loops that follow it from lane to
// lane (damaged engine, brakes), skids, engine failures and repairs, the random road
// events, and the way into the inventory. Lifes, points, speed and distance are the race
// state's; the car reads them there and changes lifes and points only through the rules.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "car/inventory.h"
#include "sound/sound_system.h"

namespace zorvan {

struct RaceContext;

class car {
public:
    explicit car(RaceContext& ctx);
    ~car();
    car(const car&) = delete;
    car& operator=(const car&) = delete;

    // The lowest playback rate of the damaged-engine loop, as a share of the file's own
    // rate: two octaves down it is still heard as an engine.
    static constexpr int kBadEngineFloorDivisor = 4;

    std::int16_t position = 0;      // lane: -3 left, 0 centre, 3 right
    std::int16_t engineDamage = 0;  // failures not yet repaired; 0 = healthy engine
    std::int16_t brakeCharges = 0;  // skids the brakes will still absorb; 0 = brakes off
    std::unique_ptr<Inventory> inventory;  // made by initObjs
    // Called by reset: the traffic clears what of the road belongs to the player's car.
    std::function<void()> onReset;

    std::int16_t lifes() const;
    std::int16_t cartype() const;  // 1..4, the type chosen in the menu
    std::int32_t points() const;
    float speed() const;
    std::int16_t x() const;

    void initObjs();
    void start();
    void left();
    void right();
    void stopcar();
    // Lets keys and ticks run for `seconds` on the monotonic clock.
    void wait(double seconds);
    void reset();
    void skid(std::string_view kind);  // "small" or "large"
    void checkEnjen();                 // after a crash cost a life
    void randomizeSkid();              // the road event of a tmrAccelerate tick

    // Inventory.
    void takeAction();
    void speakInventory();
    void invdown();
    void invup();
    std::string getInventoryList() const;  // "lazer_brakes_repairs", enciphered
    void addItemToInventory(std::string_view key, std::int16_t count);
    void randomizeItem();
    void shootLazer();
    void triggerBrakes();
    void repareEngin();

private:
    bool tetriss() const;
    SoundBuffer& engineLoop();
    SoundBuffer* badEngineLoop();  // null for the type that never fails
    void adjustEngine(SoundBuffer& loop, bool repaired);
    void placeItem();
    void playSkidSound(std::string_view kind);

    RaceContext& ctx_;
    std::shared_ptr<const int> life_ = std::make_shared<const int>(0);  // expires with this
    std::int32_t badEngineRate_ = 0;  // the damaged-engine file's own rate, Hz; 0 = not read yet
};

}  // namespace zorvan
