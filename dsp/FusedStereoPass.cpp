// The engine's usual case in one pass: the stages of FlangerCore (lines, mix, width, delivery),
// the second core and the panner, four frames at a time.
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

// The samples the engine takes as they are (FlangerEngine's cleanSample), four at once.
inline __m128 cleanFour(__m128 x) noexcept {
    const __m128 magnitude = _mm_and_ps(x, _mm_castsi128_ps(_mm_set1_epi32(0x7FFFFFFF)));
    const __m128 usable = _mm_and_ps(_mm_cmpge_ps(magnitude, _mm_set1_ps(FLT_MIN)),
                                     _mm_cmple_ps(magnitude, _mm_set1_ps(1e20f)));
    return _mm_and_ps(usable, x);
}

// n frames (a multiple of 4, or fewer than 4 at the end) of source into a span buffer, cleaned.
void cleanInto(const float* source, float* span, int n) noexcept {
    int k = 0;
    for (; k + 4 <= n; k += 4) _mm_store_ps(span + k, cleanFour(_mm_loadu_ps(source + k)));
    if (k < n) {
        alignas(16) float rest[4] = {};
        std::copy(source + k, source + n, rest);
        _mm_store_ps(span + k, cleanFour(_mm_load_ps(rest)));
    }
}

// What the stages after the lines need, broadcast once per chunk.
struct Gains {
    __m128 wet, dry, gain, widthFactor;  // the main core's, at rest
    __m128 voiceWet, voiceDry, voiceGain;
    bool widthOn;
};

// One group of four frames after the lines: the main core's mix, width (while its wet part is
// heard) and output gain into previous (added when accumulate), the second voice's gains and
// the panner on top.
inline void finishFour(const Gains& g, __m128 xl, __m128 xr, __m128 yl, __m128 yr, __m128 yv,
                       __m128 panValues, bool accumulate, __m128& outLeft, __m128& outRight) noexcept {
    const __m128 root = _mm_set1_ps(StereoWidth::kRoot);
    __m128 left = _mm_add_ps(_mm_mul_ps(g.wet, yl), _mm_mul_ps(g.dry, xl));
    __m128 right = _mm_add_ps(_mm_mul_ps(g.wet, yr), _mm_mul_ps(g.dry, xr));
    if (g.widthOn) {
        const __m128 mid = _mm_mul_ps(_mm_add_ps(left, right), root);
        const __m128 side = _mm_mul_ps(_mm_mul_ps(_mm_sub_ps(left, right), root), g.widthFactor);
        left = _mm_mul_ps(_mm_add_ps(mid, side), root);
        right = _mm_mul_ps(_mm_sub_ps(mid, side), root);
    }
    left = _mm_mul_ps(left, g.gain);
    right = _mm_mul_ps(right, g.gain);
    if (accumulate) {
        left = _mm_add_ps(outLeft, left);
        right = _mm_add_ps(outRight, right);
    }
    const __m128 voice =
        _mm_mul_ps(_mm_add_ps(_mm_mul_ps(g.voiceWet, yv), _mm_mul_ps(g.voiceDry, xl)), g.voiceGain);
    const __m128 pan = _mm_add_ps(_mm_mul_ps(panValues, _mm_set1_ps(0.375f)), _mm_set1_ps(0.5f));
    outLeft = _mm_add_ps(left, _mm_mul_ps(_mm_add_ps(voice, _mm_set1_ps(1e-30f)), pan));
    outRight = _mm_add_ps(
        right, _mm_mul_ps(_mm_add_ps(voice, _mm_set1_ps(2e-30f)), _mm_sub_ps(_mm_set1_ps(1.0f), pan)));
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

    const Gains g{_mm_set1_ps(main.wetGain.value()),      _mm_set1_ps(main.dryGain.value()),
                  _mm_set1_ps(main.outputGain.value()),   _mm_set1_ps(main.width.factor()),
                  _mm_set1_ps(second.wetGain.value()),    _mm_set1_ps(second.dryGain.value()),
                  _mm_set1_ps(second.outputGain.value()), main.wetGain.value() > 0.01f};
    alignas(16) float inputs[2][kSpan];
    alignas(16) float wet[3][kSpan];
    alignas(16) float pan[kSpan];
    for (int start = 0; start < count; start += kSpan) {
        const int n = std::min(kSpan, count - start);
        cleanInto(in[0] + start, inputs[0], n);
        cleanInto(in[1] + start, inputs[1], n);
        main.lines.run(main.coupling, inputs[0], inputs[1], wet[0], wet[1], n, main.feedback);
        second.lines.run(second.coupling, inputs[0], nullptr, wet[2], nullptr, n, second.feedback);
        panner.tableValues(pan, n);
        float* outLeft = out[0] + start;
        float* outRight = out[1] + start;
        int k = 0;
        for (; k + 4 <= n; k += 4) {
            __m128 left = accumulate ? _mm_loadu_ps(outLeft + k) : _mm_setzero_ps();
            __m128 right = accumulate ? _mm_loadu_ps(outRight + k) : _mm_setzero_ps();
            finishFour(g, _mm_load_ps(inputs[0] + k), _mm_load_ps(inputs[1] + k), _mm_load_ps(wet[0] + k),
                       _mm_load_ps(wet[1] + k), _mm_load_ps(wet[2] + k), _mm_load_ps(pan + k), accumulate,
                       left, right);
            _mm_storeu_ps(outLeft + k, left);
            _mm_storeu_ps(outRight + k, right);
        }
        if (k < n) {
            // The last frames of the chunk, in lanes padded with silence.
            alignas(16) float rest[8][4] = {};
            const float* sources[6] = {inputs[0], inputs[1], wet[0], wet[1], wet[2], pan};
            for (int row = 0; row < 6; ++row) std::copy(sources[row] + k, sources[row] + n, rest[row]);
            std::copy(outLeft + k, outLeft + n, rest[6]);
            std::copy(outRight + k, outRight + n, rest[7]);
            __m128 left = _mm_load_ps(rest[6]);
            __m128 right = _mm_load_ps(rest[7]);
            finishFour(g, _mm_load_ps(rest[0]), _mm_load_ps(rest[1]), _mm_load_ps(rest[2]),
                       _mm_load_ps(rest[3]), _mm_load_ps(rest[4]), _mm_load_ps(rest[5]), accumulate, left,
                       right);
            _mm_store_ps(rest[6], left);
            _mm_store_ps(rest[7], right);
            std::copy(rest[6], rest[6] + (n - k), outLeft + k);
            std::copy(rest[7], rest[7] + (n - k), outRight + k);
        }
    }
    return true;
#else
    (void)main, (void)second, (void)panner, (void)in, (void)out, (void)count, (void)accumulate;
    return false;
#endif
}

}  // namespace flanger::dsp
