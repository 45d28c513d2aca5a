// The fused per-sample loop over both lines of a core.
#include "dsp/DelayPair.h"

#include <algorithm>
#include <cmath>

#include "dsp/FourLanes.h"

namespace flanger::dsp {

namespace {

inline float flush(float state) {
    return std::fabs(state) < DelayPair::kFlushThreshold ? 0.0f : state;
}

#if defined(__SSE2__)
using lanes::flushFour;
using lanes::lineInputs;
using lanes::PairLanes;
using lanes::storeImages;
static_assert(lanes::kFlushThreshold == DelayPair::kFlushThreshold);

// interpolate() of samples at[j], j = 0 … 3, their taps read from the prepared arrays.
template <class Lanes>
inline __m128 readFour(const float* at, const int32_t* offset, const double* fraction) noexcept {
    __m128 b0;
    __m128 b1;
    lanes::readPairs(at, offset, b0, b1);
    return Lanes::blend(b0, b1, fraction);
}
#else
struct PairLanes {};
#endif

}  // namespace

void DelayPair::reset() {
    stateLeft = stateRight = 0.0f;
    lineLeft.clear();
    lineRight.clear();
}

void DelayPair::prepareSweeps(bool both, int count, ModulatedDelay::Taps* taps) noexcept {
    if (!both) {
        lineLeft.prepare(count, taps[0]);
        return;
    }
    // Both lines sweep alike unless their oscillators were set apart: then one sweep serves both.
    if (lineRight.sweep.inStepWith(lineLeft.sweep)) {
        const SweepTaps targets[2] = {lineLeft.tapsInto(taps[0]), lineRight.tapsInto(taps[1])};
        lineLeft.sweep.fillTaps(targets, 2, count);
        lineRight.sweep.skip(count);
    } else {
        lineLeft.prepare(count, taps[0]);
        lineRight.prepare(count, taps[1]);
    }
}

template <DelayPair::Coupling C, bool kTwoImages, class Lanes>
void DelayPair::runTaps(const ModulatedDelay::Taps* taps, const float* inLeft, const float* inRight,
                        float* wetLeft, float* wetRight, int count, float feedback, bool inFours) noexcept {
    constexpr bool kSingle = C == Coupling::Single;
    const float fb = feedback;
    float sl = stateLeft;
    float sr = stateRight;
    const int circleLeft = lineLeft.maxDelay;
    const int circleRight = lineRight.maxDelay;
    const int imagesLeft = lineLeft.copies;
    const int imagesRight = lineRight.copies;
    for (int k0 = 0; k0 < count;) {
        // A run ends where a circle wraps, so inside it the write slots just move up by one.
        int run = std::min(count - k0, circleLeft - lineLeft.writeIndex);
        if constexpr (!kSingle) run = std::min(run, circleRight - lineRight.writeIndex);
        float* __restrict slotL = lineLeft.store.data() + lineLeft.writeIndex;
        float* __restrict slotR = kSingle ? nullptr : lineRight.store.data() + lineRight.writeIndex;
        const int32_t* offsetL = taps[0].offset + k0;
        const int32_t* offsetR = taps[1].offset + k0;
        const double* fractionL = taps[0].fraction + k0;
        const double* fractionR = taps[1].fraction + k0;
        const float* xl = inLeft + k0;
        const float* xr = (C == Coupling::Separate ? inRight : inLeft) + k0;
        float* wetL = wetLeft + k0;
        float* wetR = kSingle ? nullptr : wetRight + k0;
        int k = 0;
#if defined(__SSE2__)
        if (kTwoImages && inFours && run >= 4) {
            const __m128 fbs = _mm_set1_ps(fb);
            __m128 previousL = _mm_set1_ps(sl);
            __m128 previousR = _mm_set1_ps(sr);
            for (; k + 4 <= run; k += 4) {
                const __m128 yl = readFour<Lanes>(slotL + k, offsetL + k, fractionL + k);
                const __m128 x = _mm_loadu_ps(xl + k);
                __m128 statesL;
                if constexpr (kSingle) {
                    statesL = flushFour(_mm_add_ps(_mm_mul_ps(yl, fbs), x));
                } else {
                    const __m128 yr = readFour<Lanes>(slotR + k, offsetR + k, fractionR + k);
                    __m128 statesR;
                    if constexpr (C == Coupling::Crossed) {
                        const __m128 fifth = _mm_set1_ps(0.2f);
                        statesL =
                            flushFour(_mm_add_ps(_mm_mul_ps(_mm_add_ps(_mm_mul_ps(fifth, yl), yr), fbs), x));
                        statesR =
                            flushFour(_mm_add_ps(_mm_mul_ps(_mm_sub_ps(yl, _mm_mul_ps(fifth, yr)), fbs), x));
                    } else {
                        statesL = flushFour(_mm_add_ps(_mm_mul_ps(yl, fbs), x));
                        statesR = flushFour(_mm_add_ps(_mm_mul_ps(yr, fbs), _mm_loadu_ps(xr + k)));
                    }
                    storeImages(slotR + k, circleRight, lineInputs(previousR, statesR));
                    _mm_storeu_ps(wetR + k, yr);
                    previousR = statesR;
                }
                storeImages(slotL + k, circleLeft, lineInputs(previousL, statesL));
                _mm_storeu_ps(wetL + k, yl);
                previousL = statesL;
            }
            sl = lanes::lastLane(previousL);
            sr = lanes::lastLane(previousR);
        }
#endif
        for (; k < run; ++k) {
            // Read before write; each line's input is the state of the previous sample.
            const float yl = ModulatedDelay::interpolate(slotL + k, offsetL[k], fractionL[k]);
            const float inputL = sl + 1e-30f;
            slotL[k] = inputL;
            slotL[k + circleLeft] = inputL;
            if constexpr (!kTwoImages)
                for (int image = 2; image < imagesLeft; ++image) slotL[k + image * circleLeft] = inputL;
            if constexpr (kSingle) {
                sl = flush(yl * fb + xl[k]);
                wetL[k] = yl;
            } else {
                const float yr = ModulatedDelay::interpolate(slotR + k, offsetR[k], fractionR[k]);
                const float inputR = sr + 1e-30f;
                slotR[k] = inputR;
                slotR[k + circleRight] = inputR;
                if constexpr (!kTwoImages)
                    for (int image = 2; image < imagesRight; ++image) slotR[k + image * circleRight] = inputR;
                if constexpr (C == Coupling::Crossed) {
                    sl = flush((0.2f * yl + yr) * fb + xl[k]);
                    sr = flush((yl - 0.2f * yr) * fb + xl[k]);
                } else {
                    sl = flush(yl * fb + xl[k]);
                    sr = flush(yr * fb + xr[k]);
                }
                wetL[k] = yl;
                wetR[k] = yr;
            }
        }
        lineLeft.advance(run);
        if constexpr (!kSingle) lineRight.advance(run);
        k0 += run;
    }
    stateLeft = sl;
    stateRight = sr;
}

#if defined(FLANGER_WIDE_LANES)
// The loops with four-lane reads, compiled for AVX2 with everything they call inlined.
struct WideLoops {
    template <DelayPair::Coupling C>
    __attribute__((target("avx2"), flatten)) static void run(DelayPair& pair,
                                                             const ModulatedDelay::Taps* taps,
                                                             const float* inLeft, const float* inRight,
                                                             float* wetLeft, float* wetRight, int count,
                                                             float feedback) noexcept {
        pair.runTaps<C, true, lanes::QuadLanes>(taps, inLeft, inRight, wetLeft, wetRight, count, feedback,
                                                true);
    }
};
#endif

template <DelayPair::Coupling C>
void DelayPair::runCoupled(const ModulatedDelay::Taps* taps, const float* inLeft, const float* inRight,
                           float* wetLeft, float* wetRight, int count, float feedback) noexcept {
    // Circles under 8 samples (rates under about 1.3 kHz) keep more images of the circle.
    const bool twoImages = lineLeft.copies == 2 && (C == Coupling::Single || lineRight.copies == 2);
    // Lines that reach at least 4 samples back whatever the sweep does run four samples at once.
    const bool inFours =
        lineLeft.shortestReach() >= 4 && (C == Coupling::Single || lineRight.shortestReach() >= 4);
#if defined(FLANGER_WIDE_LANES)
    if (twoImages && inFours && haveWideLanes()) {
        WideLoops::run<C>(*this, taps, inLeft, inRight, wetLeft, wetRight, count, feedback);
        return;
    }
#endif
    if (twoImages)
        runTaps<C, true, PairLanes>(taps, inLeft, inRight, wetLeft, wetRight, count, feedback, inFours);
    else
        runTaps<C, false, PairLanes>(taps, inLeft, inRight, wetLeft, wetRight, count, feedback, inFours);
}

void DelayPair::run(Coupling coupling, const float* inLeft, const float* inRight, float* wetLeft,
                    float* wetRight, int count, float feedback) noexcept {
    ModulatedDelay::Taps taps[2];
    for (int start = 0; start < count; start += ModulatedDelay::kTapSpan) {
        const int n = std::min(ModulatedDelay::kTapSpan, count - start);
        prepareSweeps(coupling != Coupling::Single, n, taps);
        const float* xl = inLeft + start;
        const float* xr = coupling == Coupling::Separate ? inRight + start : nullptr;
        float* wl = wetLeft + start;
        float* wr = coupling == Coupling::Single ? nullptr : wetRight + start;
        switch (coupling) {
            case Coupling::Single:
                runCoupled<Coupling::Single>(taps, xl, xr, wl, wr, n, feedback);
                break;
            case Coupling::Crossed:
                runCoupled<Coupling::Crossed>(taps, xl, xr, wl, wr, n, feedback);
                break;
            case Coupling::Separate:
                runCoupled<Coupling::Separate>(taps, xl, xr, wl, wr, n, feedback);
                break;
        }
    }
}

}  // namespace flanger::dsp
