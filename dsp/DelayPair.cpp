// The fused per-sample loop over both lines of a core.
#include "dsp/DelayPair.h"

#include <algorithm>
#include <cmath>

namespace flanger::dsp {

namespace {

inline float flush(float state) {
    return std::fabs(state) < DelayPair::kFlushThreshold ? 0.0f : state;
}

}  // namespace

void DelayPair::reset() {
    stateLeft = stateRight = 0.0f;
    lineLeft.clear();
    lineRight.clear();
}

void DelayPair::prepareSweeps(bool both, int count) noexcept {
    if (!both) {
        lineLeft.prepare(count);
        return;
    }
    // Both lines sweep alike unless their oscillators were set apart: then one sweep serves both.
    if (lineRight.sweep.inStepWith(lineLeft.sweep)) {
        const SweepTaps taps[2] = {lineLeft.taps(), lineRight.taps()};
        lineLeft.sweep.fillTaps(taps, 2, count);
        lineRight.sweep.skip(count);
    } else {
        lineLeft.prepare(count);
        lineRight.prepare(count);
    }
}

template <DelayPair::Coupling C, bool kTwoImages>
void DelayPair::runTaps(const float* inLeft, const float* inRight, float* wetLeft, float* wetRight, int count,
                        float feedback) noexcept {
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
        const int32_t* offsetL = lineLeft.tapOffset + k0;
        const int32_t* offsetR = lineRight.tapOffset + k0;
        const double* fractionL = lineLeft.tapFraction + k0;
        const double* fractionR = lineRight.tapFraction + k0;
        const float* xl = inLeft + k0;
        const float* xr = (C == Coupling::Separate ? inRight : inLeft) + k0;
        float* wetL = wetLeft + k0;
        float* wetR = kSingle ? nullptr : wetRight + k0;
        for (int k = 0; k < run; ++k) {
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

void DelayPair::run(Coupling coupling, const float* inLeft, const float* inRight, float* wetLeft,
                    float* wetRight, int count, float feedback) noexcept {
    for (int start = 0; start < count; start += ModulatedDelay::kTapSpan) {
        const int n = std::min(ModulatedDelay::kTapSpan, count - start);
        prepareSweeps(coupling != Coupling::Single, n);
        const float* xl = inLeft + start;
        const float* xr = coupling == Coupling::Separate ? inRight + start : nullptr;
        float* wl = wetLeft + start;
        float* wr = coupling == Coupling::Single ? nullptr : wetRight + start;
        // Circles under 8 samples (rates under about 1.3 kHz) keep more images of the circle.
        const bool twoImages = lineLeft.copies == 2 && lineRight.copies == 2;
        switch (coupling) {
            case Coupling::Single:
                twoImages ? runTaps<Coupling::Single, true>(xl, xr, wl, wr, n, feedback)
                          : runTaps<Coupling::Single, false>(xl, xr, wl, wr, n, feedback);
                break;
            case Coupling::Crossed:
                twoImages ? runTaps<Coupling::Crossed, true>(xl, xr, wl, wr, n, feedback)
                          : runTaps<Coupling::Crossed, false>(xl, xr, wl, wr, n, feedback);
                break;
            case Coupling::Separate:
                twoImages ? runTaps<Coupling::Separate, true>(xl, xr, wl, wr, n, feedback)
                          : runTaps<Coupling::Separate, false>(xl, xr, wl, wr, n, feedback);
                break;
        }
    }
}

}  // namespace flanger::dsp
