// The mixing loops on AVX2 and FMA, eight frames at a time. Mono voices up to twice the device
// rate read their source frames with plain loads and permutes; the others fetch the two source
// frames of each output frame together with one 64-bit gather. Only this file is compiled for
// those instructions; avx2Kernel() hands it out only when the processor has them.
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
// and the fraction, moved on by eight steps at a time with the carry done by hand. The fraction
// is kept offset by 2^31 so that a signed compare finds the carry.
struct Lanes {
    __m256i idx, frac;
    __m256i stepIdx, stepFrac;

    Lanes(std::uint64_t pos, std::uint64_t step) {
        std::int32_t i[8], f[8];
        for (int j = 0; j < 8; ++j) {
            const std::uint64_t p = pos + static_cast<std::uint64_t>(j) * step;
            i[j] = static_cast<std::int32_t>(p >> kFracBits);
            f[j] = static_cast<std::int32_t>(static_cast<std::uint32_t>(p) ^ 0x80000000u);
        }
        // Built from scalars rather than loaded from the arrays: a wide load of narrow stores
        // just made stalls.
        idx = _mm256_setr_epi32(i[0], i[1], i[2], i[3], i[4], i[5], i[6], i[7]);
        frac = _mm256_setr_epi32(f[0], f[1], f[2], f[3], f[4], f[5], f[6], f[7]);
        stepIdx = _mm256_set1_epi32(static_cast<std::int32_t>((8 * step) >> kFracBits));
        stepFrac = _mm256_set1_epi32(static_cast<std::int32_t>(static_cast<std::uint32_t>(8 * step)));
    }
    // (top 24 bits of the fraction) * 2^-24, computed as ((offset fraction >> 8) * 2^-24) + 1/2:
    // every step is exact, so this equals the reference's weight bit for bit.
    __m256 weight() const {
        return _mm256_fmadd_ps(_mm256_cvtepi32_ps(_mm256_srai_epi32(frac, 8)), _mm256_set1_ps(kWeightScale),
                               _mm256_set1_ps(0.5f));
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
        const __m256i moved = _mm256_add_epi32(frac, stepFrac);
        idx = _mm256_sub_epi32(_mm256_add_epi32(idx, stepIdx), _mm256_cmpgt_epi32(frac, moved));
        frac = moved;
    }
};

// Mono spans where eight output frames read at most 9 (Narrow: at most one source frame per
// output frame) or 17 consecutive source frames, for `blocks` blocks of eight: plain loads and
// permutes instead of gathers.
template <bool Narrow, bool Glide>
void monoNear(const float* src, Lanes& moving, float* L, float* R, std::size_t blocks, __m256& kf, float gl, float gr,
              float dl, float dr) {
    Lanes lanes = moving;  // a local copy stays in registers; the stores to L and R could alias it
    const __m256 gl0 = _mm256_set1_ps(gl), gr0 = _mm256_set1_ps(gr), dlv = _mm256_set1_ps(dl), drv = _mm256_set1_ps(dr);
    const __m256 eight = _mm256_set1_ps(8);
    const __m256i seven = _mm256_set1_epi32(7);
    for (std::size_t block = 0; block < blocks; ++block, L += 8, R += 8) {
        const __m256i base = _mm256_broadcastd_epi32(_mm256_castsi256_si128(lanes.idx));
        const __m256i rel = _mm256_sub_epi32(lanes.idx, base);
        const float* f = src + _mm256_cvtsi256_si32(lanes.idx);
        __m256 a, b;
        if constexpr (Narrow) {
            a = _mm256_permutevar8x32_ps(_mm256_loadu_ps(f), rel);
            b = _mm256_permutevar8x32_ps(_mm256_loadu_ps(f + 1), rel);
        } else {
            const __m256 high = _mm256_castsi256_ps(_mm256_cmpgt_epi32(rel, seven));
            a = _mm256_blendv_ps(_mm256_permutevar8x32_ps(_mm256_loadu_ps(f), rel),
                                 _mm256_permutevar8x32_ps(_mm256_loadu_ps(f + 8), rel), high);
            b = _mm256_blendv_ps(_mm256_permutevar8x32_ps(_mm256_loadu_ps(f + 1), rel),
                                 _mm256_permutevar8x32_ps(_mm256_loadu_ps(f + 9), rel), high);
        }
        const __m256 s = _mm256_fmadd_ps(_mm256_sub_ps(b, a), lanes.weight(), a);
        if constexpr (Glide) {
            const __m256 gL = _mm256_fmadd_ps(kf, dlv, gl0), gR = _mm256_fmadd_ps(kf, drv, gr0);
            _mm256_storeu_ps(L, _mm256_fmadd_ps(s, gL, _mm256_loadu_ps(L)));
            _mm256_storeu_ps(R, _mm256_fmadd_ps(s, gR, _mm256_loadu_ps(R)));
            kf = _mm256_add_ps(kf, eight);
        } else {
            _mm256_storeu_ps(L, _mm256_fmadd_ps(s, gl0, _mm256_loadu_ps(L)));
            _mm256_storeu_ps(R, _mm256_fmadd_ps(s, gr0, _mm256_loadu_ps(R)));
        }
        lanes.next();
    }
    if constexpr (!Glide) kf = _mm256_add_ps(kf, _mm256_set1_ps(8.0f * static_cast<float>(blocks)));
    moving = lanes;
}

// Pairs of floats at src[2 * index] .. for four lanes each, as frames a (even) and b (odd).
void pairs(const float* src, __m128i first, __m128i second, __m256& a, __m256& b) {
    const __m256 p0 = _mm256_castsi256_ps(_mm256_i32gather_epi64(reinterpret_cast<const long long*>(src), first, 4));
    const __m256 p1 = _mm256_castsi256_ps(_mm256_i32gather_epi64(reinterpret_cast<const long long*>(src), second, 4));
    a = _mm256_shuffle_ps(p0, p1, 0x88);
    b = _mm256_shuffle_ps(p0, p1, 0xDD);
}

void mono(const float* src, const float* end, std::uint64_t pos, std::uint64_t step, float* L, float* R, std::size_t n,
          float gl, float gr, float dl, float dr) {
    src += pos >> kFracBits;
    pos &= 0xFFFFFFFFu;
    Lanes lanes(pos, step);
    const __m256 gl0 = _mm256_set1_ps(gl), gr0 = _mm256_set1_ps(gr), dlv = _mm256_set1_ps(dl), drv = _mm256_set1_ps(dr);
    const __m256 eight = _mm256_set1_ps(8);
    __m256 kf = _mm256_setr_ps(0, 1, 2, 3, 4, 5, 6, 7);
    std::size_t k = 0;
    // Up to twice the device rate, eight output frames read at most 17 consecutive source
    // frames; as long as those lie inside the clip, loads and permutes replace the gathers.
    if (step < (std::uint64_t{2} << kFracBits)) {
        const bool narrow = step <= (std::uint64_t{1} << kFracBits);
        const std::uint64_t window = narrow ? 9 : 17;
        const std::uint64_t readable = static_cast<std::uint64_t>(end - src);
        std::size_t blocks = 0;
        if (readable >= window) {
            const std::uint64_t limit = (readable - window + 1) << kFracBits;  // first lane's position stays under
            // (No std::min here: a template instantiated in this file could end up used by all.)
            const std::uint64_t fit = pos < limit ? (limit - 1 - pos) / (8 * step) + 1 : 0;
            blocks = static_cast<std::size_t>(fit < n / 8 ? fit : n / 8);
        }
        const bool glide = dl != 0.0f || dr != 0.0f;
        if (narrow)
            (glide ? monoNear<true, true> : monoNear<true, false>)(src, lanes, L, R, blocks, kf, gl, gr, dl, dr);
        else
            (glide ? monoNear<false, true> : monoNear<false, false>)(src, lanes, L, R, blocks, kf, gl, gr, dl, dr);
        k = 8 * blocks;
    }
    Lanes g = lanes;  // not address-taken, so kept in registers
    for (; k + 8 <= n; k += 8) {
        __m128i first, second;
        g.split(first, second);
        __m256 a, b;
        pairs(src, first, second, a, b);
        const __m256 s = _mm256_fmadd_ps(_mm256_sub_ps(b, a), g.weight(), a);
        const __m256 gL = _mm256_fmadd_ps(kf, dlv, gl0), gR = _mm256_fmadd_ps(kf, drv, gr0);
        _mm256_storeu_ps(L + k, _mm256_fmadd_ps(s, gL, _mm256_loadu_ps(L + k)));
        _mm256_storeu_ps(R + k, _mm256_fmadd_ps(s, gR, _mm256_loadu_ps(R + k)));
        kf = _mm256_add_ps(kf, eight);
        g.next();
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

void stereo(const float* src, const float*, std::uint64_t pos, std::uint64_t step, float* L, float* R, std::size_t n,
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
