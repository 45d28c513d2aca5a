// The slow sine that pans the second voice between the outputs: a 4096-entry table read at a
// truncated phase, left gain p in [0.125, 0.875] and right gain 1 - p.
#pragma once

namespace flanger::dsp {

class PanOscillator {
public:
    static constexpr int kTableSize = 4096;

    // phase 0, the table, then 0.5 Hz.
    void init(float sampleRate);
    // increment = hz / rate × 4096, at most 4095 table units per sample. A frequency that is
    // negative or not finite is taken as 0, which switches panning off (both outputs full).
    void setFrequency(float hz);
    // outLeft = (in + 1e-30) × p, outRight = (in + 2e-30) × (1 - p). in may be outLeft.
    void process(const float* in, float* outLeft, float* outRight, int count) noexcept;
    // The same results added into addLeft and addRight (either may be null: not written), as
    // process() into scratch arrays followed by the additions would give.
    void processAdding(const float* in, float* addLeft, float* addRight, int count) noexcept;
    // Advances the phase as process() would, producing nothing.
    void skip(int count) noexcept;

    float frequencyHz() const { return frequency; }
    float phaseNow() const { return phase; }
    float unitsPerSample() const { return increment; }
    // One sine cycle: table[i] = sin(i × (6.2831855f / 4096)), the argument in single precision.
    // Built once and shared by every oscillator, since it never depends on the rate.
    static const float* sineTable();

private:
    friend class FusedStereoPass;  // takes the table values inside its own loop

    static constexpr int kSpan = 64;
    // The table values of the next count ≤ kSpan samples; advances the phase.
    void tableValues(float* values, int count) noexcept;
    template <bool kAdding>
    void run(const float* in, float* left, float* right, int count) noexcept;

    float sampleRate = 44100.0f;
    float frequency = 0.0f;
    float phase = 0.0f;
    float tableSize = static_cast<float>(kTableSize);
    float increment = 0.0f;
    const float* table = nullptr;
};

}  // namespace flanger::dsp
