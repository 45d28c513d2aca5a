// The pan oscillator.
#include "dsp/PanOscillator.h"

#include <array>
#include <cmath>

namespace flanger::dsp {

const float* PanOscillator::sineTable() {
    // Built on first use (an engine's construction, never the audio thread); thread-safe.
    static const std::array<float, kTableSize> table = [] {
        std::array<float, kTableSize> t{};
        const float step = 6.2831855f / 4096.0f;
        for (int i = 0; i < kTableSize; ++i)
            t[i] = static_cast<float>(std::sin(static_cast<double>(static_cast<float>(i) * step)));
        return t;
    }();
    return table.data();
}

void PanOscillator::init(float rate) {
    sampleRate = rate;
    tableSize = static_cast<float>(kTableSize);
    phase = 0.0f;
    table = sineTable();
    setFrequency(0.5f);
}

void PanOscillator::setFrequency(float hz) {
    if (!(hz >= 0.0f) || std::isinf(hz)) hz = 0.0f;
    frequency = hz;
    increment = hz / sampleRate * tableSize;
    // Also catches a rate of 0 (an infinite or undefined increment).
    if (!(increment <= tableSize - 1.0f)) increment = hz > 0.0f ? tableSize - 1.0f : 0.0f;
}

void PanOscillator::tableValues(float* values, int count) noexcept {
    // The phase is a float recurrence with a conditional wrap: serial, and kept apart from the
    // gains, which the caller's loop computes four at a time.
    float p = phase;
    const float inc = increment;
    const float size = tableSize;
    for (int i = 0; i < count; ++i) {
        p += inc;
        if (p >= size) p -= size;
        values[i] = table[static_cast<int>(p)];
    }
    phase = p;
}

void PanOscillator::skip(int count) noexcept {
    if (count <= 0 || frequency == 0.0f) return;
    float p = phase;
    for (int i = 0; i < count; ++i) {
        p += increment;
        if (p >= tableSize) p -= tableSize;
    }
    phase = p;
}

template <bool kAdding>
void PanOscillator::run(const float* in, float* left, float* right, int count) noexcept {
    if (count <= 0) return;
    auto put = [](float* destination, int i, float value) {
        if constexpr (kAdding)
            destination[i] += value;
        else
            destination[i] = value;
    };
    if (frequency == 0.0f) {
        // Panning off: both outputs carry the full input.
        for (int i = 0; i < count; ++i) {
            const float x = in[i] + 1e-30f;
            if (left) put(left, i, x);
            if (right) put(right, i, x);
        }
        return;
    }
    alignas(16) float values[kSpan];
    for (int start = 0; start < count; start += kSpan) {
        const int n = count - start < kSpan ? count - start : kSpan;
        tableValues(values, n);
        const float* x = in + start;
        float* l = left ? left + start : nullptr;
        float* r = right ? right + start : nullptr;
        if (l && r) {
            for (int i = 0; i < n; ++i) {
                const float gain = values[i] * 0.375f + 0.5f;
                const float v = x[i];
                put(l, i, (v + 1e-30f) * gain);
                put(r, i, (v + 2e-30f) * (1.0f - gain));
            }
        } else if (l) {
            for (int i = 0; i < n; ++i) put(l, i, (x[i] + 1e-30f) * (values[i] * 0.375f + 0.5f));
        } else if (r) {
            for (int i = 0; i < n; ++i) put(r, i, (x[i] + 2e-30f) * (1.0f - (values[i] * 0.375f + 0.5f)));
        }
    }
}

void PanOscillator::process(const float* in, float* outLeft, float* outRight, int count) noexcept {
    run<false>(in, outLeft, outRight, count);
}

void PanOscillator::processAdding(const float* in, float* addLeft, float* addRight, int count) noexcept {
    run<true>(in, addLeft, addRight, count);
}

}  // namespace flanger::dsp
