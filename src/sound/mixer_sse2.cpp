// The mixing loops on SSE2, which every x86-64 processor has: four frames at a time. SSE2 has
// no gather, so the two source frames of each output frame are fetched with one 64-bit load.
#include "sound/mixer_kernels.h"

#if defined(__SSE2__)
#include <emmintrin.h>

namespace zorvan::mix {
namespace {

// The four-lane part of a span; returns the frames it did (a multiple of 4).
std::size_t mono4(const float* src, std::uint64_t pos, std::uint64_t step, float* L, float* R, std::size_t n,
                  float gl, float gr, float dl, float dr) {
    const __m128 scale = _mm_set1_ps(kWeightScale);
    __m128 kf = _mm_setr_ps(0, 1, 2, 3);
    const __m128 four = _mm_set1_ps(4);
    const __m128 gl0 = _mm_set1_ps(gl), gr0 = _mm_set1_ps(gr), dlv = _mm_set1_ps(dl), drv = _mm_set1_ps(dr);
    std::size_t k = 0;
    for (; k + 4 <= n; k += 4) {
        const std::uint64_t p0 = pos, p1 = p0 + step, p2 = p1 + step, p3 = p2 + step;
        pos = p3 + step;
        const __m128i q01 = _mm_unpacklo_epi64(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(src + (p0 >> kFracBits))),
                                               _mm_loadl_epi64(reinterpret_cast<const __m128i*>(src + (p1 >> kFracBits))));
        const __m128i q23 = _mm_unpacklo_epi64(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(src + (p2 >> kFracBits))),
                                               _mm_loadl_epi64(reinterpret_cast<const __m128i*>(src + (p3 >> kFracBits))));
        const __m128 a = _mm_shuffle_ps(_mm_castsi128_ps(q01), _mm_castsi128_ps(q23), 0x88);
        const __m128 b = _mm_shuffle_ps(_mm_castsi128_ps(q01), _mm_castsi128_ps(q23), 0xDD);
        const __m128i fr = _mm_setr_epi32(static_cast<int>(static_cast<std::uint32_t>(p0) >> 8),
                                          static_cast<int>(static_cast<std::uint32_t>(p1) >> 8),
                                          static_cast<int>(static_cast<std::uint32_t>(p2) >> 8),
                                          static_cast<int>(static_cast<std::uint32_t>(p3) >> 8));
        const __m128 w = _mm_mul_ps(_mm_cvtepi32_ps(fr), scale);
        const __m128 s = _mm_add_ps(a, _mm_mul_ps(_mm_sub_ps(b, a), w));
        const __m128 gL = _mm_add_ps(gl0, _mm_mul_ps(kf, dlv));
        const __m128 gR = _mm_add_ps(gr0, _mm_mul_ps(kf, drv));
        _mm_storeu_ps(L + k, _mm_add_ps(_mm_loadu_ps(L + k), _mm_mul_ps(s, gL)));
        _mm_storeu_ps(R + k, _mm_add_ps(_mm_loadu_ps(R + k), _mm_mul_ps(s, gR)));
        kf = _mm_add_ps(kf, four);
    }
    return k;
}

std::size_t stereo4(const float* src, std::uint64_t pos, std::uint64_t step, float* L, float* R, std::size_t n,
                    float gl, float gr, float dl, float dr) {
    const __m128 scale = _mm_set1_ps(kWeightScale);
    __m128 kf = _mm_setr_ps(0, 1, 2, 3);
    const __m128 four = _mm_set1_ps(4);
    const __m128 gl0 = _mm_set1_ps(gl), gr0 = _mm_set1_ps(gr), dlv = _mm_set1_ps(dl), drv = _mm_set1_ps(dr);
    std::size_t k = 0;
    for (; k + 4 <= n; k += 4) {
        const std::uint64_t p0 = pos, p1 = p0 + step, p2 = p1 + step, p3 = p2 + step;
        pos = p3 + step;
        // Each load holds l r of the frame and l r of the next one; transposed, the rows are
        // the four left samples, the four right ones, then the same of the next frames.
        __m128 f0 = _mm_loadu_ps(src + 2 * (p0 >> kFracBits));
        __m128 f1 = _mm_loadu_ps(src + 2 * (p1 >> kFracBits));
        __m128 f2 = _mm_loadu_ps(src + 2 * (p2 >> kFracBits));
        __m128 f3 = _mm_loadu_ps(src + 2 * (p3 >> kFracBits));
        _MM_TRANSPOSE4_PS(f0, f1, f2, f3);
        const __m128i fr = _mm_setr_epi32(static_cast<int>(static_cast<std::uint32_t>(p0) >> 8),
                                          static_cast<int>(static_cast<std::uint32_t>(p1) >> 8),
                                          static_cast<int>(static_cast<std::uint32_t>(p2) >> 8),
                                          static_cast<int>(static_cast<std::uint32_t>(p3) >> 8));
        const __m128 w = _mm_mul_ps(_mm_cvtepi32_ps(fr), scale);
        const __m128 l = _mm_add_ps(f0, _mm_mul_ps(_mm_sub_ps(f2, f0), w));
        const __m128 r = _mm_add_ps(f1, _mm_mul_ps(_mm_sub_ps(f3, f1), w));
        const __m128 gL = _mm_add_ps(gl0, _mm_mul_ps(kf, dlv));
        const __m128 gR = _mm_add_ps(gr0, _mm_mul_ps(kf, drv));
        _mm_storeu_ps(L + k, _mm_add_ps(_mm_loadu_ps(L + k), _mm_mul_ps(l, gL)));
        _mm_storeu_ps(R + k, _mm_add_ps(_mm_loadu_ps(R + k), _mm_mul_ps(r, gR)));
        kf = _mm_add_ps(kf, four);
    }
    return k;
}

// The last frames of a span go through the reference loop, with the gains moved on to where the
// vector part stopped: the same sums in the same order.
void mono(const float* src, const float*, std::uint64_t pos, std::uint64_t step, float* L, float* R, std::size_t n,
          float gl, float gr, float dl, float dr) {
    const std::size_t k = mono4(src, pos, step, L, R, n, gl, gr, dl, dr);
    for (std::size_t j = k; j < n; ++j) {
        const std::uint64_t p = pos + j * step;
        const float* f = src + (p >> kFracBits);
        const float w = static_cast<float>(static_cast<std::uint32_t>(p) >> 8) * kWeightScale;
        const float s = f[0] + (f[1] - f[0]) * w;
        const float kf = static_cast<float>(j);
        L[j] += s * (gl + kf * dl);
        R[j] += s * (gr + kf * dr);
    }
}

void stereo(const float* src, const float*, std::uint64_t pos, std::uint64_t step, float* L, float* R, std::size_t n,
            float gl, float gr, float dl, float dr) {
    const std::size_t k = stereo4(src, pos, step, L, R, n, gl, gr, dl, dr);
    for (std::size_t j = k; j < n; ++j) {
        const std::uint64_t p = pos + j * step;
        const float* f = src + 2 * (p >> kFracBits);
        const float w = static_cast<float>(static_cast<std::uint32_t>(p) >> 8) * kWeightScale;
        const float kf = static_cast<float>(j);
        L[j] += (f[0] + (f[2] - f[0]) * w) * (gl + kf * dl);
        R[j] += (f[1] + (f[3] - f[1]) * w) * (gr + kf * dr);
    }
}

__m128 bend(__m128 x) {
    const __m128 sign = _mm_set1_ps(-0.0f);
    const __m128 knee = _mm_set1_ps(kKnee), room = _mm_set1_ps(1.0f - kKnee), one = _mm_set1_ps(1.0f);
    const __m128 m = _mm_andnot_ps(sign, x);
    const __m128 over = _mm_div_ps(_mm_sub_ps(m, knee), room);
    const __m128 y = _mm_add_ps(knee, _mm_div_ps(_mm_mul_ps(room, over), _mm_add_ps(one, over)));
    const __m128 bent = _mm_or_ps(y, _mm_and_ps(sign, x));
    const __m128 above = _mm_cmpgt_ps(m, knee);
    return _mm_or_ps(_mm_and_ps(above, bent), _mm_andnot_ps(above, x));
}

void limit(const float* L, const float* R, float* out, std::size_t n) {
    std::size_t k = 0;
    for (; k + 4 <= n; k += 4) {
        const __m128 l = bend(_mm_loadu_ps(L + k)), r = bend(_mm_loadu_ps(R + k));
        _mm_storeu_ps(out + 2 * k, _mm_unpacklo_ps(l, r));
        _mm_storeu_ps(out + 2 * k + 4, _mm_unpackhi_ps(l, r));
    }
    if (k < n) kScalar.limit(L + k, R + k, out + 2 * k, n - k);
}

const Kernel kSse2{"sse2", mono, stereo, limit};

}  // namespace

const Kernel* sse2Kernel() { return &kSse2; }

}  // namespace zorvan::mix

#else

namespace zorvan::mix {
const Kernel* sse2Kernel() { return nullptr; }
}  // namespace zorvan::mix

#endif
