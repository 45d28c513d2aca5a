// Four samples at a time through the delay lines' arithmetic, for the loops that run four samples
// at once. Every operation is the per-sample one, in the same order,
// on lanes, so the results are bit for bit those of the code sample by sample. The double-precision
// parts come in two widths: PairLanes (two SSE2 registers, any x86-64) and QuadLanes (one AVX2
// register, where haveWideLanes() says so; its members carry the AVX2 target, so they are inlined
// only into functions compiled for it).
#pragma once

#include <cstdint>

#include "dsp/WideLanes.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#if defined(FLANGER_WIDE_LANES)
#include <immintrin.h>
#endif

namespace flanger::dsp::lanes {

// Feedback states below this magnitude are stored as exactly 0 (DelayPair::kFlushThreshold).
constexpr float kFlushThreshold = 1.0f / 60000.0f;

// The samples a line's reads blend, for samples at[j], j = 0 … 3: b0 = at[j + offset[j]] and its
// older neighbour b1 = at[j + offset[j] - 1], adjacent, so one 8-byte load brings both.
inline void readPairs(const float* at, const int32_t* offset, __m128& b0, __m128& b1) noexcept {
    auto pair = [at, offset](int j) {
        return _mm_castsi128_ps(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(at + j + offset[j] - 1)));
    };
    const __m128 first = _mm_movelh_ps(pair(0), pair(1));  // b1, b0 of samples 0 and 1
    const __m128 second = _mm_movelh_ps(pair(2), pair(3));
    b0 = _mm_shuffle_ps(first, second, _MM_SHUFFLE(3, 1, 3, 1));
    b1 = _mm_shuffle_ps(first, second, _MM_SHUFFLE(2, 0, 2, 0));
}

// |state| < threshold ? 0 : state, on four lanes.
inline __m128 flushFour(__m128 states) noexcept {
    const __m128 magnitude = _mm_and_ps(states, _mm_castsi128_ps(_mm_set1_epi32(0x7FFFFFFF)));
    return _mm_andnot_ps(_mm_cmplt_ps(magnitude, _mm_set1_ps(kFlushThreshold)), states);
}

// What a line stores for four samples: the state of the sample before each (previous[3] for the
// first), + 1e-30.
inline __m128 lineInputs(__m128 previous, __m128 states) noexcept {
    const __m128 edge = _mm_shuffle_ps(previous, states, _MM_SHUFFLE(0, 0, 3, 3));
    return _mm_add_ps(_mm_shuffle_ps(edge, states, _MM_SHUFFLE(2, 1, 2, 0)), _mm_set1_ps(1e-30f));
}

// A line's four inputs into both images of its circle.
inline void storeImages(float* slot, int circle, __m128 inputs) noexcept {
    _mm_storeu_ps(slot, inputs);
    _mm_storeu_ps(slot + circle, inputs);
}

inline float lastLane(__m128 v) noexcept {
    return _mm_cvtss_f32(_mm_shuffle_ps(v, v, _MM_SHUFFLE(3, 3, 3, 3)));
}

// float(b0 + (b1 - b0) × fraction[j]) in double precision, lane j. Only 128-bit vectors and
// pointers cross these calls, so they keep one calling convention whether or not the compiler
// inlines them into code built for AVX2.
struct PairLanes {
    static __m128 blend(__m128 b0, __m128 b1, const double* fraction) noexcept {
        const __m128d lowNewer = _mm_cvtps_pd(b0);
        const __m128d highNewer = _mm_cvtps_pd(_mm_movehl_ps(b0, b0));
        const __m128d low =
            _mm_add_pd(lowNewer, _mm_mul_pd(_mm_sub_pd(_mm_cvtps_pd(b1), lowNewer), _mm_loadu_pd(fraction)));
        const __m128d high =
            _mm_add_pd(highNewer, _mm_mul_pd(_mm_sub_pd(_mm_cvtps_pd(_mm_movehl_ps(b1, b1)), highNewer),
                                             _mm_loadu_pd(fraction + 2)));
        return _mm_movelh_ps(_mm_cvtpd_ps(low), _mm_cvtpd_ps(high));
    }
};

#if defined(FLANGER_WIDE_LANES)
struct QuadLanes {
    __attribute__((target("avx2"))) static __m128 blend(__m128 b0, __m128 b1,
                                                        const double* fraction) noexcept {
        const __m256d newer = _mm256_cvtps_pd(b0);
        return _mm256_cvtpd_ps(_mm256_add_pd(
            newer, _mm256_mul_pd(_mm256_sub_pd(_mm256_cvtps_pd(b1), newer), _mm256_loadu_pd(fraction))));
    }
};
#endif

}  // namespace flanger::dsp::lanes

#endif
