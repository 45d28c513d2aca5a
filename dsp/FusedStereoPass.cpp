// The engine's usual case in one pass: the stages of FlangerCore (lines, mix, width, delivery),
// the second core and the panner, four or eight frames at a time.
#include "dsp/FusedStereoPass.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdint>

#include "dsp/FlangerCore.h"
#include "dsp/FourLanes.h"
#include "dsp/PanOscillator.h"

namespace flanger::dsp {

#if defined(__SSE2__)
namespace {

// Frames per step: the lines prepare their taps this many at a time.
constexpr int kSpan = 128;

// What the engine takes as it is (FlangerEngine's cleanSample): zero, or a normal number no
// larger than 1e20.
inline float cleanOne(float x) noexcept {
    const float magnitude = std::fabs(x);
    return magnitude >= FLT_MIN && magnitude <= 1e20f ? x : 0.0f;
}

// The gains after the lines, all at rest: the main core's and the second voice's.
struct Gains {
    float wet, dry, gain, widthFactor;
    float voiceWet, voiceDry, voiceGain;
};

// One frame after the lines: the main core's mix, width (while its wet part is heard) and
// output gain (added to what out holds when accumulating), the second voice's gains and the
// panner on top. The vector forms below make these operations lane by lane.
template <bool kAccumulate, bool kWidth>
inline void finishOne(const Gains& g, const float* const* rows, int k, float& outLeft,
                      float& outRight) noexcept {
    const float c = StereoWidth::kRoot;
    const float xl = rows[0][k];
    float left = g.wet * rows[2][k] + g.dry * xl;
    float right = g.wet * rows[3][k] + g.dry * rows[1][k];
    if constexpr (kWidth) {
        const float mid = (left + right) * c;
        const float side = (left - right) * c * g.widthFactor;
        left = (mid + side) * c;
        right = (mid - side) * c;
    }
    left = left * g.gain;
    right = right * g.gain;
    if constexpr (kAccumulate) {
        left = outLeft + left;
        right = outRight + right;
    }
    const float voice = (g.voiceWet * rows[4][k] + g.voiceDry * xl) * g.voiceGain;
    const float pan = rows[5][k] * 0.375f + 0.5f;
    outLeft = left + (voice + 1e-30f) * pan;
    outRight = right + (voice + 2e-30f) * (1.0f - pan);
}

// Four float lanes (SSE2).
struct Four {
    using V = __m128;
    static constexpr int kWidth = 4;
    static V load(const float* p) noexcept { return _mm_loadu_ps(p); }
    static void store(float* p, V v) noexcept { _mm_storeu_ps(p, v); }
    static V set(float x) noexcept { return _mm_set1_ps(x); }
    static V add(V a, V b) noexcept { return _mm_add_ps(a, b); }
    static V sub(V a, V b) noexcept { return _mm_sub_ps(a, b); }
    static V mul(V a, V b) noexcept { return _mm_mul_ps(a, b); }
    static V clean(V x) noexcept {
        const V magnitude = _mm_and_ps(x, _mm_castsi128_ps(_mm_set1_epi32(0x7FFFFFFF)));
        const V usable = _mm_and_ps(_mm_cmpge_ps(magnitude, _mm_set1_ps(FLT_MIN)),
                                    _mm_cmple_ps(magnitude, _mm_set1_ps(1e20f)));
        return _mm_and_ps(usable, x);
    }
};

#if defined(FLANGER_WIDE_LANES)
#define FLANGER_AVX2 __attribute__((target("avx2")))
// Eight float lanes, where the processor has AVX2.
struct Eight {
    struct V {  // a struct, so that no function outside the AVX2 ones passes a bare vector
        __m256 all;
    };
    static constexpr int kWidth = 8;
    FLANGER_AVX2 static V load(const float* p) noexcept { return {_mm256_loadu_ps(p)}; }
    FLANGER_AVX2 static void store(float* p, V v) noexcept { _mm256_storeu_ps(p, v.all); }
    FLANGER_AVX2 static V set(float x) noexcept { return {_mm256_set1_ps(x)}; }
    FLANGER_AVX2 static V add(V a, V b) noexcept { return {_mm256_add_ps(a.all, b.all)}; }
    FLANGER_AVX2 static V sub(V a, V b) noexcept { return {_mm256_sub_ps(a.all, b.all)}; }
    FLANGER_AVX2 static V mul(V a, V b) noexcept { return {_mm256_mul_ps(a.all, b.all)}; }
    FLANGER_AVX2 static V clean(V x) noexcept {
        const __m256 magnitude = _mm256_and_ps(x.all, _mm256_castsi256_ps(_mm256_set1_epi32(0x7FFFFFFF)));
        const __m256 usable = _mm256_and_ps(_mm256_cmp_ps(magnitude, _mm256_set1_ps(FLT_MIN), _CMP_GE_OQ),
                                            _mm256_cmp_ps(magnitude, _mm256_set1_ps(1e20f), _CMP_LE_OQ));
        return {_mm256_and_ps(usable, x.all)};
    }
};
#undef FLANGER_AVX2
#endif

// n frames of source into a span buffer, cleaned.
template <class F>
inline void cleanSpan(const float* source, float* span, int n) noexcept {
    int k = 0;
    for (; k + F::kWidth <= n; k += F::kWidth) F::store(span + k, F::clean(F::load(source + k)));
    for (; k < n; ++k) span[k] = cleanOne(source[k]);
}

// finishOne over n frames; rows: the clean inputs left and right, the main core's line reads
// left and right, the second voice's, the panner's table values.
template <class F, bool kAccumulate, bool kWidth>
inline void finishSpan(const Gains& g, const float* const* rows, float* outLeft, float* outRight,
                       int n) noexcept {
    using V = typename F::V;
    const V wet = F::set(g.wet);
    const V dry = F::set(g.dry);
    const V gain = F::set(g.gain);
    const V root = F::set(StereoWidth::kRoot);
    const V widthFactor = F::set(g.widthFactor);
    const V voiceWet = F::set(g.voiceWet);
    const V voiceDry = F::set(g.voiceDry);
    const V voiceGain = F::set(g.voiceGain);
    int k = 0;
    for (; k + F::kWidth <= n; k += F::kWidth) {
        const V xl = F::load(rows[0] + k);
        V left = F::add(F::mul(wet, F::load(rows[2] + k)), F::mul(dry, xl));
        V right = F::add(F::mul(wet, F::load(rows[3] + k)), F::mul(dry, F::load(rows[1] + k)));
        if constexpr (kWidth) {
            const V mid = F::mul(F::add(left, right), root);
            const V side = F::mul(F::mul(F::sub(left, right), root), widthFactor);
            left = F::mul(F::add(mid, side), root);
            right = F::mul(F::sub(mid, side), root);
        }
        left = F::mul(left, gain);
        right = F::mul(right, gain);
        if constexpr (kAccumulate) {
            left = F::add(F::load(outLeft + k), left);
            right = F::add(F::load(outRight + k), right);
        }
        const V voice =
            F::mul(F::add(F::mul(voiceWet, F::load(rows[4] + k)), F::mul(voiceDry, xl)), voiceGain);
        const V pan = F::add(F::mul(F::load(rows[5] + k), F::set(0.375f)), F::set(0.5f));
        F::store(outLeft + k, F::add(left, F::mul(F::add(voice, F::set(1e-30f)), pan)));
        F::store(outRight + k,
                 F::add(right, F::mul(F::add(voice, F::set(2e-30f)), F::sub(F::set(1.0f), pan))));
    }
    for (; k < n; ++k) finishOne<kAccumulate, kWidth>(g, rows, k, outLeft[k], outRight[k]);
}

using Clean = void (*)(const float*, float*, int) noexcept;
using Finish = void (*)(const Gains&, const float* const*, float*, float*, int) noexcept;

template <bool kAccumulate, bool kWidth>
void finishFour(const Gains& g, const float* const* rows, float* outLeft, float* outRight, int n) noexcept {
    finishSpan<Four, kAccumulate, kWidth>(g, rows, outLeft, outRight, n);
}

void cleanFour(const float* source, float* span, int n) noexcept {
    cleanSpan<Four>(source, span, n);
}

#if defined(FLANGER_WIDE_LANES)
template <bool kAccumulate, bool kWidth>
__attribute__((target("avx2"), flatten)) void finishEight(const Gains& g, const float* const* rows,
                                                          float* outLeft, float* outRight, int n) noexcept {
    finishSpan<Eight, kAccumulate, kWidth>(g, rows, outLeft, outRight, n);
}

__attribute__((target("avx2"), flatten)) void cleanEight(const float* source, float* span, int n) noexcept {
    cleanSpan<Eight>(source, span, n);
}
#endif

// The finishing loop for these settings, on the widest lanes the processor has.
Finish finishFor(bool wide, bool accumulate, bool width) noexcept {
#if defined(FLANGER_WIDE_LANES)
    if (wide) {
        if (accumulate) return width ? finishEight<true, true> : finishEight<true, false>;
        return width ? finishEight<false, true> : finishEight<false, false>;
    }
#else
    (void)wide;
#endif
    if (accumulate) return width ? finishFour<true, true> : finishFour<true, false>;
    return width ? finishFour<false, true> : finishFour<false, false>;
}

Clean cleanFor(bool wide) noexcept {
#if defined(FLANGER_WIDE_LANES)
    if (wide) return cleanEight;
#else
    (void)wide;
#endif
    return cleanFour;
}

// Whether [a, a + n) and [b, b + n) are the same array or lie apart: each span is read whole
// before it is written, which is safe for those two cases only.
bool sameOrApart(const float* a, const float* b, int n) {
    return a == b || a + n <= b || b + n <= a;
}

}  // namespace
#endif

bool FusedStereoPass::run(FlangerCore& main, FlangerCore& second, PanOscillator& panner, float* const* in,
                          float* const* out, int count, bool accumulate) noexcept {
#if defined(__SSE2__)
    if (count <= 0 || count > main.maxBlockLength || !in || !out || !in[0] || !in[1] || !out[0] || !out[1])
        return false;
    for (int i = 0; i < 2; ++i)
        for (int o = 0; o < 2; ++o)
            if (!sameOrApart(in[i], out[o], count)) return false;
    if (!sameOrApart(out[0], out[1], count) || out[0] == out[1]) return false;
    if (main.kind != FlangerCore::Routine::Stereo || main.numOutputs < 2 ||
        second.kind != FlangerCore::Routine::Mono || panner.frequency == 0.0f)
        return false;
    for (const LinearRamp* ramp : {&main.wetGain, &main.dryGain, &main.outputGain, &second.wetGain,
                                   &second.dryGain, &second.outputGain})
        if (!ramp->settled()) return false;
    // A voice that is not heard is written as silence by its delivery: that case stays there.
    if (!(main.outputGain.value() > 0.005f) || !(second.outputGain.value() > 0.005f)) return false;

    const Gains g{main.wetGain.value(),     main.dryGain.value(),   main.outputGain.value(),
                  main.width.factor(),      second.wetGain.value(), second.dryGain.value(),
                  second.outputGain.value()};
    const bool wide = haveWideLanes();
    const Clean clean = cleanFor(wide);
    const Finish finish = finishFor(wide, accumulate, main.wetGain.value() > 0.01f);
    alignas(32) float inputs[2][kSpan];
    alignas(32) float wet[3][kSpan];
    alignas(32) float pan[kSpan];
    const float* const rows[6] = {inputs[0], inputs[1], wet[0], wet[1], wet[2], pan};
    for (int start = 0; start < count; start += kSpan) {
        const int n = std::min(kSpan, count - start);
        clean(in[0] + start, inputs[0], n);
        clean(in[1] + start, inputs[1], n);
        main.lines.run(main.coupling, inputs[0], inputs[1], wet[0], wet[1], n, main.feedback);
        second.lines.run(second.coupling, inputs[0], nullptr, wet[2], nullptr, n, second.feedback);
        panner.tableValues(pan, n);
        finish(g, rows, out[0] + start, out[1] + start, n);
    }
    return true;
#else
    (void)main, (void)second, (void)panner, (void)in, (void)out, (void)count, (void)accumulate;
    return false;
#endif
}

}  // namespace flanger::dsp
