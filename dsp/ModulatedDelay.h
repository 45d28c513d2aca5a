// One channel of the flanger: a circular delay line of at most 6 ms, its read position swept by
// its own oscillator and read with linear interpolation. Wet signal only: feedback and mixing
// belong to the core.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "dsp/SweepOscillator.h"

namespace flanger::dsp {

// Delay of sample k: D = ((L × depth + 1) × 0.5) × delaySamples + 1 samples (double precision),
// L the sweep value; y = b0 + (b1 - b0) × frac between the samples trunc(D) and trunc(D) + 1
// back. The read comes before the write and D ≥ 1, so the newest sample a read reaches is the
// one written on the previous sample. Every written sample carries +1e-30, which keeps the line
// and the core's feedback path out of the subnormal range.
//
// The circle holds maxDelay = round(rate × 6 ms) samples (at least 1). It belongs to the line,
// so lines at different rates never disturb each other, and the store is sized from the rate
// at setSampleRate: 6 ms fits at any rate. The store keeps the circle twice over (each sample
// is written at w and at w + maxDelay; more copies on circles under 8 samples), so a read never
// needs a wrap test: the read offsets are computed for a run of samples ahead (prepare),
// which vectorises, and the per-sample part is two loads, a blend and two stores.
class ModulatedDelay {
public:
    ModulatedDelay() = default;

    // Sizes the store for the rate (allocates: never called while processing), clears the line,
    // restarts the sweep (2 Hz, triangle) and sets the defaults: sweep rate 0.5, depth 0.75, span 66.
    // Returns 1.
    int setSampleRate(int rate);
    // The sweep runs at 5 × normalised Hz; normalised ≤ 0 (or NaN) becomes 0.001 (0.005 Hz).
    void setSweepRate(float normalised);
    // Stored as given, except that |d| is bounded by 1 (NaN reads as 0), which keeps every
    // read inside the circle; the core clamps tighter (0.9, or 0.99 on its right line).
    void setDepth(float d);
    // Span = trunc(rate × ms × 0.001) samples, then clamped as setDelaySamples (NaN → 1).
    void setDelayTime(float ms);
    // Clamped to [1, maxDelay].
    void setDelaySamples(int n);
    void setSymmetry(float s);
    // Silences the history; keeps the settings, the write position and the sweep.
    void clear();
    // Frees the store of a line that will never process (the right line of a mono core);
    // process() then does nothing until the next setSampleRate.
    void releaseStore();
    // The delayed signal of in[0 … count) into out; nothing for count < 1. in may equal out.
    void process(const float* in, float* out, int count) noexcept;

    int sampleRateHz() const { return sampleRate; }
    int maxDelaySamples() const { return maxDelay; }
    int delaySpan() const { return delaySamples; }
    float sweepDepth() const { return depth; }
    int writePosition() const { return writeIndex; }
    const SweepOscillator& oscillator() const { return sweep; }
    size_t storeBytes() const { return store.capacity() * sizeof(float); }
    // The sample written `age` samples ago (1 = the newest); for tests.
    float history(int age) const;

    static constexpr int kTapSpan = 128;  // samples prepared at once
    // The read offsets of one run: scratch on the processing call's stack, so a line holds none.
    struct Taps {
        alignas(32) int32_t offset[kTapSpan];
        alignas(32) double fraction[kTapSpan];
    };

private:
    // The pair runs both lines of a core in one loop over these internals.
    friend class DelayPair;

    // prepare(n, taps) sweeps the next n ≤ kTapSpan samples into read offsets (the pair prepares
    // two lines from one sweep through tapsInto() when their oscillators run in step). Then, for
    // k = 0 … n-1 in order: readTap(taps, k) answers the delayed sample and write(x) stores the
    // line's input (+1e-30) and advances.
    void prepare(int count, Taps& into) noexcept {
        const SweepTaps target = tapsInto(into);
        sweep.fillTaps(&target, 1, count);
    }
    SweepTaps tapsInto(Taps& into) noexcept {
        // Offsets are relative to the write position: the image (copies - 1) circles ahead,
        // minus trunc(D), lies inside the store for every write position.
        return SweepTaps{depth, 0.5 * delaySamples, (copies - 1) * maxDelay, into.offset, into.fraction};
    }
    // The fewest whole samples back any read can reach with this span and depth, whatever the
    // sweep (|L| ≤ 0.5, with room for its rounding): trunc(D) is never below it.
    int shortestReach() const noexcept {
        const double shortest =
            (1.0 - 0.500001 * std::fabs(static_cast<double>(depth))) * 0.5 * delaySamples + 1.0;
        return static_cast<int>(shortest - 1e-9);
    }
    float readTap(const Taps& taps, int k) const noexcept {
        return interpolate(store.data() + writeIndex, taps.offset[k], taps.fraction[k]);
    }
    void write(float x) noexcept {
        float* slot = store.data() + writeIndex;
        for (int copy = 0; copy < copies; ++copy) slot[copy * maxDelay] = x + 1e-30f;
        advance(1);
    }
    void advance(int n) noexcept {
        writeIndex += n;
        while (writeIndex >= maxDelay) writeIndex -= maxDelay;
    }
    // y = b0 + (b1 - b0) × frac with b0 = at[offset], b1 = at[offset - 1].
    static float interpolate(const float* at, int32_t offset, double fraction) noexcept {
        const double b0 = at[offset];
        const double b1 = at[offset - 1];
        return static_cast<float>(b0 + (b1 - b0) * fraction);
    }

    std::vector<float> store;
    int sampleRate = 0;
    int maxDelay = 256;
    int copies = 2;  // images of the circle in the store
    int writeIndex = 0;
    int delaySamples = 66;
    float depth = 0.75f;
    SweepOscillator sweep;
};

}  // namespace flanger::dsp
