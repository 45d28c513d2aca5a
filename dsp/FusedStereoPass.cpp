// The engine's usual case in one pass: the stages of FlangerCore (lines, mix, width, delivery),
// the second core and the panner, four or eight frames at a time.
#include "dsp/FusedStereoPass.h"

#include <algorithm>
#include <bit>
#include <cfloat>
#include <cstdint>
#include <cstring>

#include "dsp/FlangerCore.h"
#include "dsp/FlangerEngine.h"
#include "dsp/FourLanes.h"
#include "dsp/PanOscillator.h"

namespace flanger::dsp {

#if defined(__SSE2__)
namespace {

// Frames per step: the lines prepare their taps this many at a time.
constexpr int kSpan = 128;

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

// The compiler's own vector types: the same lane-by-lane operations whatever the width, made
// with the widest instructions of the function they are compiled into. Only pointers and the
// gains cross a call, so code built for AVX2 and code built for SSE2 never exchange a vector.
typedef float FloatsOf4 __attribute__((vector_size(16)));
typedef int32_t IntsOf4 __attribute__((vector_size(16)));
typedef float FloatsOf8 __attribute__((vector_size(32)));
typedef int32_t IntsOf8 __attribute__((vector_size(32)));

// n frames of source into a span buffer, cleaned.
template <class V, class I>
inline void cleanSpan(const float* source, float* span, int n) noexcept {
    constexpr int kLanes = sizeof(V) / sizeof(float);
    V smallest;
    V largest;
    I magnitudeBits;
    for (int lane = 0; lane < kLanes; ++lane) {
        smallest[lane] = FLT_MIN;
        largest[lane] = 1e20f;
        magnitudeBits[lane] = 0x7FFFFFFF;
    }
    int k = 0;
    for (; k + kLanes <= n; k += kLanes) {
        V x;
        std::memcpy(&x, source + k, sizeof x);
        const I bits = __builtin_bit_cast(I, x);
        const V magnitude = __builtin_bit_cast(V, bits & magnitudeBits);
        const I usable = (magnitude >= smallest) & (magnitude <= largest);
        const V clean = __builtin_bit_cast(V, bits & usable);
        std::memcpy(span + k, &clean, sizeof clean);
    }
    for (; k < n; ++k) span[k] = FlangerEngine::cleanSample(source[k]);
}

// finishOne over n frames; rows: the clean inputs left and right, the main core's line reads
// left and right, the second voice's, the panner's table values.
template <class V, bool kAccumulate, bool kWidth>
inline void finishSpan(const Gains& g, const float* const* rows, float* outLeft, float* outRight,
                       int n) noexcept {
    constexpr int kLanes = sizeof(V) / sizeof(float);
    V wet, dry, gain, root, widthFactor, voiceWet, voiceDry, voiceGain, threeEighths, half, one, tiny, tinier;
    for (int lane = 0; lane < kLanes; ++lane) {
        wet[lane] = g.wet;
        dry[lane] = g.dry;
        gain[lane] = g.gain;
        root[lane] = StereoWidth::kRoot;
        widthFactor[lane] = g.widthFactor;
        voiceWet[lane] = g.voiceWet;
        voiceDry[lane] = g.voiceDry;
        voiceGain[lane] = g.voiceGain;
        threeEighths[lane] = 0.375f;
        half[lane] = 0.5f;
        one[lane] = 1.0f;
        tiny[lane] = 1e-30f;
        tinier[lane] = 2e-30f;
    }
    int k = 0;
    for (; k + kLanes <= n; k += kLanes) {
        V xl, xr, yl, yr, yv, panValues;
        std::memcpy(&xl, rows[0] + k, sizeof xl);
        std::memcpy(&xr, rows[1] + k, sizeof xr);
        std::memcpy(&yl, rows[2] + k, sizeof yl);
        std::memcpy(&yr, rows[3] + k, sizeof yr);
        std::memcpy(&yv, rows[4] + k, sizeof yv);
        std::memcpy(&panValues, rows[5] + k, sizeof panValues);
        V left = wet * yl + dry * xl;
        V right = wet * yr + dry * xr;
        if constexpr (kWidth) {
            const V mid = (left + right) * root;
            const V side = (left - right) * root * widthFactor;
            left = (mid + side) * root;
            right = (mid - side) * root;
        }
        left = left * gain;
        right = right * gain;
        if constexpr (kAccumulate) {
            V before;
            std::memcpy(&before, outLeft + k, sizeof before);
            left = before + left;
            std::memcpy(&before, outRight + k, sizeof before);
            right = before + right;
        }
        const V voice = (voiceWet * yv + voiceDry * xl) * voiceGain;
        const V pan = panValues * threeEighths + half;
        left = left + (voice + tiny) * pan;
        right = right + (voice + tinier) * (one - pan);
        std::memcpy(outLeft + k, &left, sizeof left);
        std::memcpy(outRight + k, &right, sizeof right);
    }
    for (; k < n; ++k) finishOne<kAccumulate, kWidth>(g, rows, k, outLeft[k], outRight[k]);
}

using Clean = void (*)(const float*, float*, int) noexcept;
using Finish = void (*)(const Gains&, const float* const*, float*, float*, int) noexcept;

template <bool kAccumulate, bool kWidth>
void finishFour(const Gains& g, const float* const* rows, float* outLeft, float* outRight, int n) noexcept {
    finishSpan<FloatsOf4, kAccumulate, kWidth>(g, rows, outLeft, outRight, n);
}

void cleanFour(const float* source, float* span, int n) noexcept {
    cleanSpan<FloatsOf4, IntsOf4>(source, span, n);
}

#if defined(FLANGER_WIDE_LANES)
template <bool kAccumulate, bool kWidth>
__attribute__((target("avx2"), flatten)) void finishEight(const Gains& g, const float* const* rows,
                                                          float* outLeft, float* outRight, int n) noexcept {
    finishSpan<FloatsOf8, kAccumulate, kWidth>(g, rows, outLeft, outRight, n);
}

__attribute__((target("avx2"), flatten)) void cleanEight(const float* source, float* span, int n) noexcept {
    cleanSpan<FloatsOf8, IntsOf8>(source, span, n);
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
