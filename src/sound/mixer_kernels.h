#pragma once
// The inner loops of the mixer, one set per instruction set. The control code in mixer.cpp cuts
// every voice into spans where nothing but the position and a linear gain moves, and hands each
// span to one of these. Kept free of inline functions: the AVX2 set is compiled for another
// processor, and an inline function instantiated there could be picked by the linker for all.

#include <cstddef>
#include <cstdint>

namespace zorvan::mix {

// Positions are source frames in 32.32 fixed point. The interpolation weight is the top 24 bits
// of the fraction, so every kernel converts it to float exactly and they all agree.
constexpr int kFracBits = 32;
constexpr float kWeightScale = 1.0f / 16777216.0f;  // 2^-24

// The limiter's knee: sums above it bend towards full scale.
constexpr float kKnee = 0.9f;

// Adds n resampled frames of a clip (interleaved, 1 or 2 channels, ending before `end`) into the
// planar sums L and R. Frame k reads source frame idx = (pos + k * step) >> 32 and the one after
// it, both inside the clip; its gains are gl + k * dl and gr + k * dr.
using SpanFn = void (*)(const float* src, const float* end, std::uint64_t pos, std::uint64_t step, float* L,
                        float* R, std::size_t n, float gl, float gr, float dl, float dr);
// Bends the planar sums under full scale and interleaves them into out (L R L R ...).
using LimitFn = void (*)(const float* L, const float* R, float* out, std::size_t n);

struct Kernel {
    const char* name;
    SpanFn mono;
    SpanFn stereo;
    LimitFn limit;
};

extern const Kernel kScalar;  // the reference the others are tested against
// Null where the build or the processor lacks the instructions.
const Kernel* sse2Kernel();
const Kernel* avx2Kernel();

}  // namespace zorvan::mix
