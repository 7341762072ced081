#pragma once
// The random draws of the race. u is uniform in [0, 1); k·u + 1 is rounded to the nearest
// integer with halves going to the even neighbour, so the two end values come half as often
// as the values between them. Every stated odds of the game follows from these three rules.

#include <cmath>

#include "platform/ports.h"

namespace zorvan {

// k·u + 1 rounded: 1 .. k + 1, the ends half as likely as the rest.
inline int roundedDraw(Platform& platform, int k) {
    return static_cast<int>(std::nearbyint(k * platform.random() + 1.0));
}

// roundedDraw drawn again while it exceeds k: 1 .. k, with 1 half as likely as each other.
inline int roundedDrawUpTo(Platform& platform, int k) {
    int r;
    do r = roundedDraw(platform, k);
    while (r > k);
    return r;
}

// The integer part of k·u, plus 1: 1 .. k, all equally likely.
inline int wholeDraw(Platform& platform, int k) {
    return static_cast<int>(std::floor(k * platform.random())) + 1;
}

// Rounds to the nearest integer, halves to the even neighbour (3.5 -> 4, 2.5 -> 2).
inline float roundHalfEven(float value) { return std::nearbyint(value); }

}  // namespace zorvan
