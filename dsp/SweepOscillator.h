// The sweep of one delay line: a triangle in [-0.5, +0.5] with a movable turning point,
// computed from a sample counter so that its phase survives changes of frequency.
#pragma once

#include <cstdint>

namespace flanger::dsp {

// Where fillTaps delivers the sweep of one delay line: the delay of sample k is
// D = (L × depth + 1) × halfSpan + 1 (double precision, L the sweep value rounded to float, as
// ((L × depth + 1) × 0.5) × span + 1 since halving is exact); offset[k] = base - trunc(D) and
// fraction[k] = D - trunc(D).
struct SweepTaps {
    double depth;
    double halfSpan;
    int32_t base;
    int32_t* offset;
    double* fraction;
};

// The phase of sample k is p = frac(counter × increment), with increment = frequency / rate
// in single precision. The counter is 64 bits wide, so it neither wraps (that would take 13
// million years at 44.1 kHz) nor overflows when a drop in frequency scales it up. Beside it the
// oscillator keeps p itself as an exact 64-bit binary fraction (phase = p × 2^64): an
// increment is a float, so counter × increment is an exact binary fraction and
// phase += phaseStep each sample is exact, with the wrap at 1.0 free. That replaces a
// high-precision remainder per sample by one integer addition.
class SweepOscillator {
public:
    static constexpr float kNeverSet = -1.0f;  // increment before the first frequency

    // counter 0, 2 Hz, turning point 0.5. A rate of 0 or less (or NaN) is taken as 1 Hz.
    void init(int sampleRate);
    // Keeps the phase: counter = trunc(counter × old / new), at extended precision. A frequency
    // that is negative or not finite is taken as 0, which holds the sweep at its start (+0.5)
    // and restarts it from there.
    void setFrequency(float hz);
    // x clamped to [0.01, 0.99] (NaN reads as 0.5); turn = x × 0.96 + 0.02.
    void setSymmetry(float x);

    float next() noexcept {
        const float value = valueAt(phase);
        phase += phaseStep;
        counter += 1;
        return value;
    }
    // The next `count` values, exactly as `count` calls of next().
    void fill(float* out, int count) noexcept;
    // The next `count` values turned into delay taps for `lineCount` (1 or 2) lines at once.
    void fillTaps(const SweepTaps* lines, int lineCount, int count) noexcept;
    // Advances by `count` samples without producing values.
    void skip(int count) noexcept;
    // True when both produce the same values from here on.
    bool inStepWith(const SweepOscillator& other) const noexcept;

    uint64_t sampleCounter() const { return counter; }
    float sampleRateHz() const { return sampleRate; }
    float frequencyHz() const { return frequency; }
    float cyclesPerSample() const { return increment; }
    float turningPoint() const { return turn; }
    // The phase of the next value, in [0, 1).
    double phaseNow() const;

    // Exact binary phase of counter × increment, as used by next(); for tests of the rescaling.
    static uint64_t phaseOf(uint64_t counter, float increment);

private:
    float valueAt(uint64_t fixedPhase) const noexcept {
        // The top 52 bits of the phase hold every bit an increment of 2^-40 or more can set, so p
        // is exact for every sweep above a microhertz. Then the triangle, in double precision.
        const double p = static_cast<double>(fixedPhase >> 12) * 0x1p-52;
        const double value = p < turnWide ? 0.5 - p * invTurnWide : (p - turnWide) * invRestWide - 0.5;
        return static_cast<float>(value);
    }

    uint64_t counter = 0;
    float sampleRate = 44100.0f;
    float frequency = 0.0f;
    float increment = kNeverSet;
    float turn = 0.5f;
    float invTurn = 2.0f;
    float invRest = 2.0f;
    uint64_t phase = 0;      // frac(counter × increment) × 2^64
    uint64_t phaseStep = 0;  // frac(increment) × 2^64
    double turnWide = 0.5;   // turn, invTurn, invRest widened once for the per-sample code
    double invTurnWide = 2.0;
    double invRestWide = 2.0;
};

}  // namespace flanger::dsp
