#pragma once
// A computer car: heard only as its engine loop in one of the three lanes, louder with every
// approach tick until it arrives, passes or hits the player, and fades away. The traffic
// keeps three of them as launch slots and one is on the road at a time; the lane, the type
// and the progress of the car on the road are the traffic's (comp_position, carindex,
// inprog, comp_passed).

#include <cstdint>
#include <string>

namespace zorvan {

struct RaceContext;
class CompTraffic;

class compcar {
public:
    compcar(RaceContext& ctx, CompTraffic& traffic) : ctx_(ctx), traffic_(traffic) {}
    compcar(const compcar&) = delete;
    compcar& operator=(const compcar&) = delete;

    std::string compcarType() const;  // "cCar" and the type number
    std::int16_t position() const;    // the lane of the car on the road
    std::int16_t carType() const { return carType_; }  // 1..4; 0 before the first launch

    bool isActive = false;  // launch-slot flag

    void lonchcar();
    // Silences and rewinds every computer-car loop; the road is free again.
    void restoreComputerCar();

private:
    std::int32_t randomLanePan();  // -3000, 0 or 3000
    std::int16_t randomCarType();  // 1..4

    RaceContext& ctx_;
    CompTraffic& traffic_;
    std::int16_t carType_ = 0;
};

}  // namespace zorvan
