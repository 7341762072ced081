#pragma once
// The second computer car: launched on "normal" and "crazy" from level 6 on, on its own
// timers and with its own set of engine loops, so it can be on the road together with the
// first one. It sits closer to the centre of the stereo field (lane x 1000).

#include <array>
#include <cstdint>

namespace zorvan {

struct RaceContext;
class CompTraffic;
class SoundBuffer;

struct SecondCar {
    bool active = false;    // launch-slot flag
    std::int16_t lane = 0;  // -3, 0 or 3
    std::int32_t pan = 0;   // -3000, 0 or 3000
    std::int16_t type = 0;  // 1..4
};

class SecondCarModule {
public:
    SecondCarModule(RaceContext& ctx, CompTraffic& traffic) : ctx_(ctx), traffic_(traffic) {}
    SecondCarModule(const SecondCarModule&) = delete;
    SecondCarModule& operator=(const SecondCarModule&) = delete;

    std::array<SecondCar, 3> secondCars{};  // records 1..3 at indexes 0..2
    std::int16_t secondCarIndex = 0;        // record in use, 1..3; 0 = none
    bool secondCarInProgress = false;       // a second car is on the road
    bool secondCarPassing = false;          // it has arrived and is fading away

    const SecondCar& current() const { return secondCars.at(static_cast<std::size_t>(secondCarIndex - 1)); }

    void tmrScomp_Timer();  // the launcher
    void tmrSrace_Timer();  // one approach step
    void tmrSwoosh_Timer(); // one fade step
    void launchSecondCar();
    void setupSecondCar();
    void explodeSecondCar();  // the lazer hit it

private:
    std::int16_t randomSecondCarType();
    std::int32_t randomSecondCarPan();
    SoundBuffer& loop();  // the engine loop of the car on the road

    RaceContext& ctx_;
    CompTraffic& traffic_;
};

}  // namespace zorvan
