// The mixing loops on AVX2 and FMA: eight frames at a time, the two source frames of each
// output frame fetched together by one 64-bit gather. Only this file is compiled for those
// instructions; avx2Kernel() hands it out only when the processor has them.
#include "sound/mixer_kernels.h"

#if (defined(__x86_64__) || defined(__i386__)) && (defined(__GNUC__) || defined(__clang__))
#define ZORVAN_MIX_AVX2 1

#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx2,fma"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx2,fma")
#endif
#include <immintrin.h>

namespace zorvan::mix {
namespace {

// Eight lanes of position, split into the whole source frame (relative to the span's first)
// and the fraction, moved on by eight steps at a time with the carry done by hand.
struct Lanes {
    __m256i idx, frac;
    __m256i stepIdx, stepFrac;

    Lanes(std::uint64_t pos, std::uint64_t step) {
        alignas(32) std::int32_t i[8];
        alignas(32) std::uint32_t f[8];
        for (int j = 0; j < 8; ++j) {
            const std::uint64_t p = pos + static_cast<std::uint64_t>(j) * step;
            i[j] = static_cast<std::int32_t>(p >> kFracBits);
            f[j] = static_cast<std::uint32_t>(p);
        }
        idx = _mm256_load_si256(reinterpret_cast<const __m256i*>(i));
        frac = _mm256_load_si256(reinterpret_cast<const __m256i*>(f));
        stepIdx = _mm256_set1_epi32(static_cast<std::int32_t>((8 * step) >> kFracBits));
        stepFrac = _mm256_set1_epi32(static_cast<std::int32_t>(static_cast<std::uint32_t>(8 * step)));
    }
    __m256 weight() const {
        return _mm256_mul_ps(_mm256_cvtepi32_ps(_mm256_srli_epi32(frac, 8)), _mm256_set1_ps(kWeightScale));
    }
    // The source frames of lanes 0 1 4 5 and 2 3 6 7: after the gathers, shuffle_ps puts them
    // back in order.
    void split(__m128i& first, __m128i& second) const {
        const __m256i order = _mm256_setr_epi32(0, 1, 4, 5, 2, 3, 6, 7);
        const __m256i p = _mm256_permutevar8x32_epi32(idx, order);
        first = _mm256_castsi256_si128(p);
        second = _mm256_extracti128_si256(p, 1);
    }
    void next() {
        const __m256i bias = _mm256_set1_epi32(static_cast<std::int32_t>(0x80000000u));
        const __m256i moved = _mm256_add_epi32(frac, stepFrac);
        const __m256i carry = _mm256_cmpgt_epi32(_mm256_xor_si256(frac, bias), _mm256_xor_si256(moved, bias));
        idx = _mm256_sub_epi32(_mm256_add_epi32(idx, stepIdx), carry);
        frac = moved;
    }
};

// Pairs of floats at src[2 * index] .. for four lanes each, as frames a (even) and b (odd).
void pairs(const float* src, __m128i first, __m128i second, __m256& a, __m256& b) {
    const __m256 p0 = _mm256_castsi256_ps(_mm256_i32gather_epi64(reinterpret_cast<const long long*>(src), first, 4));
    const __m256 p1 = _mm256_castsi256_ps(_mm256_i32gather_epi64(reinterpret_cast<const long long*>(src), second, 4));
    a = _mm256_shuffle_ps(p0, p1, 0x88);
    b = _mm256_shuffle_ps(p0, p1, 0xDD);
}

void mono(const float* src, std::uint64_t pos, std::uint64_t step, float* L, float* R, std::size_t n,
          float gl, float gr, float dl, float dr) {
    src += pos >> kFracBits;
    pos &= 0xFFFFFFFFu;
    Lanes lanes(pos, step);
    const __m256 gl0 = _mm256_set1_ps(gl), gr0 = _mm256_set1_ps(gr), dlv = _mm256_set1_ps(dl), drv = _mm256_set1_ps(dr);
    const __m256 eight = _mm256_set1_ps(8);
    __m256 kf = _mm256_setr_ps(0, 1, 2, 3, 4, 5, 6, 7);
    std::size_t k = 0;
    for (; k + 8 <= n; k += 8) {
        __m128i first, second;
        lanes.split(first, second);
        __m256 a, b;
        pairs(src, first, second, a, b);
        const __m256 s = _mm256_fmadd_ps(_mm256_sub_ps(b, a), lanes.weight(), a);
        const __m256 gL = _mm256_fmadd_ps(kf, dlv, gl0), gR = _mm256_fmadd_ps(kf, drv, gr0);
        _mm256_storeu_ps(L + k, _mm256_fmadd_ps(s, gL, _mm256_loadu_ps(L + k)));
        _mm256_storeu_ps(R + k, _mm256_fmadd_ps(s, gR, _mm256_loadu_ps(R + k)));
        kf = _mm256_add_ps(kf, eight);
        lanes.next();
    }
    for (; k < n; ++k) {
        const std::uint64_t p = pos + k * step;
        const float* f = src + (p >> kFracBits);
        const float w = static_cast<float>(static_cast<std::uint32_t>(p) >> 8) * kWeightScale;
        const float s = f[0] + (f[1] - f[0]) * w;
        const float kk = static_cast<float>(k);
        L[k] += s * (gl + kk * dl);
        R[k] += s * (gr + kk * dr);
    }
}

void stereo(const float* src, std::uint64_t pos, std::uint64_t step, float* L, float* R, std::size_t n,
            float gl, float gr, float dl, float dr) {
    src += 2 * (pos >> kFracBits);
    pos &= 0xFFFFFFFFu;
    Lanes lanes(pos, step);
    const __m256 gl0 = _mm256_set1_ps(gl), gr0 = _mm256_set1_ps(gr), dlv = _mm256_set1_ps(dl), drv = _mm256_set1_ps(dr);
    const __m256 eight = _mm256_set1_ps(8);
    __m256 kf = _mm256_setr_ps(0, 1, 2, 3, 4, 5, 6, 7);
    std::size_t k = 0;
    for (; k + 8 <= n; k += 8) {
        __m128i first, second;
        lanes.split(first, second);
        first = _mm_slli_epi32(first, 1);
        second = _mm_slli_epi32(second, 1);
        __m256 la, ra, lb, rb;
        pairs(src, first, second, la, ra);
        pairs(src + 2, first, second, lb, rb);
        const __m256 w = lanes.weight();
        const __m256 l = _mm256_fmadd_ps(_mm256_sub_ps(lb, la), w, la);
        const __m256 r = _mm256_fmadd_ps(_mm256_sub_ps(rb, ra), w, ra);
        const __m256 gL = _mm256_fmadd_ps(kf, dlv, gl0), gR = _mm256_fmadd_ps(kf, drv, gr0);
        _mm256_storeu_ps(L + k, _mm256_fmadd_ps(l, gL, _mm256_loadu_ps(L + k)));
        _mm256_storeu_ps(R + k, _mm256_fmadd_ps(r, gR, _mm256_loadu_ps(R + k)));
        kf = _mm256_add_ps(kf, eight);
        lanes.next();
    }
    for (; k < n; ++k) {
        const std::uint64_t p = pos + k * step;
        const float* f = src + 2 * (p >> kFracBits);
        const float w = static_cast<float>(static_cast<std::uint32_t>(p) >> 8) * kWeightScale;
        const float kk = static_cast<float>(k);
        L[k] += (f[0] + (f[2] - f[0]) * w) * (gl + kk * dl);
        R[k] += (f[1] + (f[3] - f[1]) * w) * (gr + kk * dr);
    }
}

__m256 bend(__m256 x) {
    const __m256 sign = _mm256_set1_ps(-0.0f);
    const __m256 knee = _mm256_set1_ps(kKnee), room = _mm256_set1_ps(1.0f - kKnee), one = _mm256_set1_ps(1.0f);
    const __m256 m = _mm256_andnot_ps(sign, x);
    const __m256 over = _mm256_div_ps(_mm256_sub_ps(m, knee), room);
    const __m256 y = _mm256_add_ps(knee, _mm256_div_ps(_mm256_mul_ps(room, over), _mm256_add_ps(one, over)));
    return _mm256_blendv_ps(x, _mm256_or_ps(y, _mm256_and_ps(sign, x)), _mm256_cmp_ps(m, knee, _CMP_GT_OQ));
}

void limit(const float* L, const float* R, float* out, std::size_t n) {
    std::size_t k = 0;
    for (; k + 8 <= n; k += 8) {
        const __m256 l = bend(_mm256_loadu_ps(L + k)), r = bend(_mm256_loadu_ps(R + k));
        const __m256 lo = _mm256_unpacklo_ps(l, r), hi = _mm256_unpackhi_ps(l, r);
        _mm256_storeu_ps(out + 2 * k, _mm256_permute2f128_ps(lo, hi, 0x20));
        _mm256_storeu_ps(out + 2 * k + 8, _mm256_permute2f128_ps(lo, hi, 0x31));
    }
    if (k < n) kScalar.limit(L + k, R + k, out + 2 * k, n - k);
}

const Kernel kAvx2{"avx2", mono, stereo, limit};

}  // namespace
}  // namespace zorvan::mix

#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif
#endif

namespace zorvan::mix {

// Outside the target region: this runs on processors without AVX2.
const Kernel* avx2Kernel() {
#ifdef ZORVAN_MIX_AVX2
    static const bool usable = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
    return usable ? &kAvx2 : nullptr;
#else
    return nullptr;
#endif
}

}  // namespace zorvan::mix
