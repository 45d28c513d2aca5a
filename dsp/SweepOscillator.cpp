// The sweep oscillator: counter rescaling and the block form of next().
#include "dsp/SweepOscillator.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "dsp/WideLanes.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
// Processors with AVX2 take four samples per step through the same operations.
#if defined(FLANGER_WIDE_LANES)
#include <immintrin.h>
#endif

namespace flanger::dsp {

void SweepOscillator::init(int rate) {
    sampleRate = rate > 0 ? static_cast<float>(rate) : 1.0f;
    counter = 0;
    phase = 0;
    increment = kNeverSet;
    setFrequency(2.0f);
    setSymmetry(0.5f);
}

uint64_t SweepOscillator::phaseOf(uint64_t count, float inc) {
    // frac(inc) × 2^64 is an integer for every increment of 2^-40 or more (a float has 24
    // significant bits); the product modulo 2^64 is then exactly frac(count × inc) × 2^64.
    const double whole = std::floor(static_cast<double>(inc));
    const double fraction = static_cast<double>(inc) - whole;
    const uint64_t step = static_cast<uint64_t>(std::ldexp(fraction, 64));
    return count * step;
}

void SweepOscillator::setFrequency(float hz) {
    if (!(hz >= 0.0f) || std::isinf(hz)) hz = 0.0f;
    frequency = hz;
    const float newIncrement = hz / sampleRate;
    float oldIncrement = increment;
    if (std::memcmp(&increment, &kNeverSet, sizeof increment) == 0) oldIncrement = newIncrement;
    increment = newIncrement;

    if (newIncrement > 0.0f) {
        const long double scaled =
            static_cast<long double>(counter) * static_cast<long double>(oldIncrement) / newIncrement;
        // A counter that would pass 2^62 is reduced by a whole number of periods of the new
        // increment (2^k samples are a whole number of cycles when increment's lowest bit is
        // 2^-k), which leaves the phase exactly where it was.
        long double reduced = std::trunc(scaled);
        if (reduced >= 0x1p62L) {
            int exponent = 0;
            std::frexp(newIncrement, &exponent);
            const int periodBits = 24 - exponent;  // the increment's lowest bit is 2^-periodBits
            reduced = periodBits <= 0 ? 0.0L : std::fmod(reduced, std::ldexp(1.0L, std::min(periodBits, 62)));
        }
        counter = static_cast<uint64_t>(reduced);
    } else {
        counter = 0;  // a standing sweep has no phase to keep
    }
    phaseStep = phaseOf(1, newIncrement);
    phase = phaseOf(counter, newIncrement);
}

void SweepOscillator::setSymmetry(float x) {
    if (std::isnan(x)) x = 0.5f;
    if (x > 0.99f) x = 0.99f;
    if (x < 0.01f) x = 0.01f;
    turn = x * 0.96f + 0.02f;
    invTurn = 1.0f / turn;
    invRest = 1.0f / (1.0f - turn);
    turnWide = turn;
    invTurnWide = invTurn;
    invRestWide = invRest;
}

double SweepOscillator::phaseNow() const {
    return static_cast<double>(phase >> 12) * 0x1p-52;
}

void SweepOscillator::skip(int count) noexcept {
    if (count <= 0) return;
    counter += static_cast<uint64_t>(count);
    phase += phaseStep * static_cast<uint64_t>(count);
}

bool SweepOscillator::inStepWith(const SweepOscillator& other) const noexcept {
    return counter == other.counter && phase == other.phase && phaseStep == other.phaseStep &&
           turn == other.turn && invTurn == other.invTurn && invRest == other.invRest &&
           std::memcmp(&increment, &other.increment, sizeof increment) == 0;
}

#if defined(__SSE2__)
namespace {

// The SSE2 form of valueAt() for two phases: the top 52 bits become the mantissa of a double in
// [1, 2), minus 1, which is exactly the p of valueAt() without a 64-bit integer conversion.
struct TriangleKernel {
    __m128i mantissa = _mm_set1_epi64x(0x3FF0000000000000LL);
    __m128d one = _mm_set1_pd(1.0);
    __m128d half = _mm_set1_pd(0.5);
    __m128d turn;
    __m128d invTurn;
    __m128d invRest;

    TriangleKernel(double t, double it, double ir)
        : turn(_mm_set1_pd(t)), invTurn(_mm_set1_pd(it)), invRest(_mm_set1_pd(ir)) {}

    // The two values, rounded to float (as next() answers them) and widened again.
    __m128 values(__m128i phases) const {
        const __m128d p =
            _mm_sub_pd(_mm_castsi128_pd(_mm_or_si128(_mm_srli_epi64(phases, 12), mantissa)), one);
        const __m128d falling = _mm_sub_pd(half, _mm_mul_pd(p, invTurn));
        const __m128d rising = _mm_sub_pd(_mm_mul_pd(_mm_sub_pd(p, turn), invRest), half);
        const __m128d isFalling = _mm_cmplt_pd(p, turn);
        return _mm_cvtpd_ps(_mm_or_pd(_mm_and_pd(isFalling, falling), _mm_andnot_pd(isFalling, rising)));
    }
};

// One line's tap parameters, broadcast once per run and held in registers (a SweepTaps read
// through a pointer would be reloaded after every store, since the stores could alias it).
struct TapWriter {
    __m128d depth;
    __m128d halfSpan;
    __m128i base;
    int32_t* offset;
    double* fraction;

    explicit TapWriter(const SweepTaps& line)
        : depth(_mm_set1_pd(line.depth)),
          halfSpan(_mm_set1_pd(line.halfSpan)),
          base(_mm_set1_epi32(line.base)),
          offset(line.offset),
          fraction(line.fraction) {}

    void store(__m128d sweep, __m128d one, int k) const {
        const __m128d delay =
            _mm_add_pd(_mm_mul_pd(_mm_add_pd(_mm_mul_pd(sweep, depth), one), halfSpan), one);
        const __m128i whole = _mm_cvttpd_epi32(delay);
        _mm_storeu_pd(fraction + k, _mm_sub_pd(delay, _mm_cvtepi32_pd(whole)));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(offset + k), _mm_sub_epi32(base, whole));
    }
};

}  // namespace
#endif

#if defined(FLANGER_WIDE_LANES)
namespace {

// Asked once while the module loads, so the audio thread never meets a guarded first call.
const bool kAvx2 = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") != 0;
}();

}  // namespace

bool haveWideLanes() noexcept {
    return kAvx2;
}

namespace {

// TriangleKernel and TapWriter on four lanes: the same operations in the same order (the target
// adds AVX2 only, no fused multiply-adds), so the taps are bit for bit those of two lanes.
struct WideTriangleKernel {
    __m256i mantissa;
    __m256d one;
    __m256d half;
    __m256d turn;
    __m256d invTurn;
    __m256d invRest;

    __attribute__((target("avx2"))) WideTriangleKernel(double t, double it, double ir)
        : mantissa(_mm256_set1_epi64x(0x3FF0000000000000LL)),
          one(_mm256_set1_pd(1.0)),
          half(_mm256_set1_pd(0.5)),
          turn(_mm256_set1_pd(t)),
          invTurn(_mm256_set1_pd(it)),
          invRest(_mm256_set1_pd(ir)) {}

    // The four values, rounded to float (as next() answers them) and widened again.
    __attribute__((target("avx2"))) __m256d values(__m256i phases) const {
        const __m256d p =
            _mm256_sub_pd(_mm256_castsi256_pd(_mm256_or_si256(_mm256_srli_epi64(phases, 12), mantissa)), one);
        const __m256d falling = _mm256_sub_pd(half, _mm256_mul_pd(p, invTurn));
        const __m256d rising = _mm256_sub_pd(_mm256_mul_pd(_mm256_sub_pd(p, turn), invRest), half);
        const __m256d isFalling = _mm256_cmp_pd(p, turn, _CMP_LT_OS);
        return _mm256_cvtps_pd(_mm256_cvtpd_ps(_mm256_blendv_pd(rising, falling, isFalling)));
    }
};

struct WideTapWriter {
    __m256d depth;
    __m256d halfSpan;
    __m128i base;
    int32_t* offset;
    double* fraction;

    __attribute__((target("avx2"))) explicit WideTapWriter(const SweepTaps& line)
        : depth(_mm256_set1_pd(line.depth)),
          halfSpan(_mm256_set1_pd(line.halfSpan)),
          base(_mm_set1_epi32(line.base)),
          offset(line.offset),
          fraction(line.fraction) {}

    __attribute__((target("avx2"))) void store(__m256d sweep, __m256d one, int k) const {
        const __m256d delay =
            _mm256_add_pd(_mm256_mul_pd(_mm256_add_pd(_mm256_mul_pd(sweep, depth), one), halfSpan), one);
        const __m128i whole = _mm256_cvttpd_epi32(delay);
        // delay - trunc(delay) is the delay minus its whole part converted back, without a conversion.
        _mm256_storeu_pd(fraction + k, _mm256_sub_pd(delay, _mm256_round_pd(delay, _MM_FROUND_TO_ZERO |
                                                                                       _MM_FROUND_NO_EXC)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(offset + k), _mm_sub_epi32(base, whole));
    }
};

// Taps of the first count − count % 4 samples from the given phase; answers how many it made.
__attribute__((target("avx2"))) int fillTapsByFour(const SweepTaps* lines, int lineCount, int count,
                                                   uint64_t phase, uint64_t step, double turn, double invTurn,
                                                   double invRest) noexcept {
    const WideTriangleKernel kernel(turn, invTurn, invRest);
    const __m256i step4 = _mm256_set1_epi64x(static_cast<long long>(step * 4));
    __m256i phases =
        _mm256_set_epi64x(static_cast<long long>(phase + 3 * step), static_cast<long long>(phase + 2 * step),
                          static_cast<long long>(phase + step), static_cast<long long>(phase));
    const __m256d one = _mm256_set1_pd(1.0);
    const WideTapWriter first(lines[0]);
    int k = 0;
    if (lineCount == 1) {
        for (; k + 4 <= count; k += 4) {
            first.store(kernel.values(phases), one, k);
            phases = _mm256_add_epi64(phases, step4);
        }
    } else {
        const WideTapWriter second(lines[1]);
        for (; k + 4 <= count; k += 4) {
            const __m256d sweep = kernel.values(phases);
            first.store(sweep, one, k);
            second.store(sweep, one, k);
            phases = _mm256_add_epi64(phases, step4);
        }
    }
    return k;
}

}  // namespace
#endif

namespace {

inline void storeTap(const SweepTaps& line, float sweep, int k) {
    const double delay = (static_cast<double>(sweep) * line.depth + 1.0) * line.halfSpan + 1.0;
    const int whole = static_cast<int>(delay);
    line.fraction[k] = delay - whole;
    line.offset[k] = line.base - whole;
}

}  // namespace

void SweepOscillator::fillTaps(const SweepTaps* lines, int lineCount, int count) noexcept {
    if (count <= 0 || lineCount <= 0) return;
    int k = 0;
#if defined(FLANGER_WIDE_LANES)
    if (haveWideLanes()) {
        k = fillTapsByFour(lines, lineCount, count, phase, phaseStep, turnWide, invTurnWide, invRestWide);
        skip(k);
    }
#endif
#if defined(__SSE2__)
    const int pairsFrom = k;
    const TriangleKernel kernel(turnWide, invTurnWide, invRestWide);
    const __m128i step2 = _mm_set1_epi64x(static_cast<long long>(phaseStep * 2));
    __m128i phases = _mm_set_epi64x(static_cast<long long>(phase + phaseStep), static_cast<long long>(phase));
    const __m128d one = _mm_set1_pd(1.0);
    const TapWriter first(lines[0]);
    if (lineCount == 1) {
        for (; k + 2 <= count; k += 2) {
            first.store(_mm_cvtps_pd(kernel.values(phases)), one, k);
            phases = _mm_add_epi64(phases, step2);
        }
    } else {
        const TapWriter second(lines[1]);
        for (; k + 2 <= count; k += 2) {
            const __m128d sweep = _mm_cvtps_pd(kernel.values(phases));
            first.store(sweep, one, k);
            second.store(sweep, one, k);
            phases = _mm_add_epi64(phases, step2);
        }
    }
    skip(k - pairsFrom);
#endif
    for (; k < count; ++k) {
        const float sweep = next();
        for (int line = 0; line < lineCount; ++line) storeTap(lines[line], sweep, k);
    }
}

void SweepOscillator::fill(float* out, int count) noexcept {
    if (count <= 0) return;
    int k = 0;
#if defined(__SSE2__)
    const TriangleKernel kernel(turnWide, invTurnWide, invRestWide);
    const __m128i step2 = _mm_set1_epi64x(static_cast<long long>(phaseStep * 2));
    __m128i phases = _mm_set_epi64x(static_cast<long long>(phase + phaseStep), static_cast<long long>(phase));
    for (; k + 2 <= count; k += 2) {
        _mm_storel_pi(reinterpret_cast<__m64*>(out + k), kernel.values(phases));
        phases = _mm_add_epi64(phases, step2);
    }
    skip(k);
#endif
    for (; k < count; ++k) out[k] = next();
}

}  // namespace flanger::dsp
