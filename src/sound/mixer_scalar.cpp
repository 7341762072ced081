// The reference mixing loops, in plain C++: every other kernel must give the same output.
#include <cmath>

#include "sound/mixer_kernels.h"

namespace zorvan::mix {
namespace {

float weight(std::uint64_t pos) {
    return static_cast<float>(static_cast<std::uint32_t>(pos) >> 8) * kWeightScale;
}

void mono(const float* src, const float*, std::uint64_t pos, std::uint64_t step, float* L, float* R, std::size_t n,
          float gl, float gr, float dl, float dr) {
    if (dl == 0.0f && dr == 0.0f) {  // no glide: the same sums, fewer operations
        for (std::size_t k = 0; k < n; ++k, pos += step) {
            const float* f = src + (pos >> kFracBits);
            const float s = f[0] + (f[1] - f[0]) * weight(pos);
            L[k] += s * gl;
            R[k] += s * gr;
        }
        return;
    }
    for (std::size_t k = 0; k < n; ++k, pos += step) {
        const float* f = src + (pos >> kFracBits);
        const float s = f[0] + (f[1] - f[0]) * weight(pos);
        const float kf = static_cast<float>(k);
        L[k] += s * (gl + kf * dl);
        R[k] += s * (gr + kf * dr);
    }
}

void stereo(const float* src, const float*, std::uint64_t pos, std::uint64_t step, float* L, float* R, std::size_t n,
            float gl, float gr, float dl, float dr) {
    for (std::size_t k = 0; k < n; ++k, pos += step) {
        const float* f = src + 2 * (pos >> kFracBits);
        const float w = weight(pos);
        const float l = f[0] + (f[2] - f[0]) * w;
        const float r = f[1] + (f[3] - f[1]) * w;
        const float kf = static_cast<float>(k);
        L[k] += l * (gl + kf * dl);
        R[k] += r * (gr + kf * dr);
    }
}

// Slope 1 at the knee, so nothing quieter changes; louder stays louder.
float underFullScale(float x) {
    const float m = std::fabs(x);
    if (m <= kKnee) return x;
    const float over = (m - kKnee) / (1.0f - kKnee);
    return std::copysign(kKnee + (1.0f - kKnee) * over / (1.0f + over), x);
}

void limit(const float* L, const float* R, float* out, std::size_t n) {
    for (std::size_t k = 0; k < n; ++k) {
        out[2 * k] = underFullScale(L[k]);
        out[2 * k + 1] = underFullScale(R[k]);
    }
}

}  // namespace

const Kernel kScalar{"scalar", mono, stereo, limit};

}  // namespace zorvan::mix
