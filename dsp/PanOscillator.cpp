// The pan oscillator.
#include "dsp/PanOscillator.h"

#include <array>
#include <bit>
#include <cmath>
#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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
    // Inside one binade of the phase (its spacing u fixed) and short of the wrap, every addition
    // adds the same r, inc rounded to a multiple of u, unless inc lies exactly halfway between two
    // multiples (the rounding then follows the phase's last bit). There the phases are exactly
    // p + j × r, with no chain from one to the next.
    if (p >= 1.0f && inc > 0.0f) {
        const uint32_t exponent = std::bit_cast<uint32_t>(p) & 0x7F800000u;
        const float spacing = std::bit_cast<float>(exponent - (23u << 23));
        const float top = std::bit_cast<float>(exponent + (1u << 23));  // the binade's end, ≤ size
        const float r = (p + inc) - p;                                  // exact: both multiples of u
        const float units = inc / spacing;                              // exact: a power of two
        const bool halfway = units - std::floor(units) == 0.5f;
        if (!halfway && static_cast<double>(p) + static_cast<double>(count) * r < static_cast<double>(top)) {
            int i = 0;
#if defined(__SSE2__)
            __m128 phases =
                _mm_add_ps(_mm_set1_ps(p), _mm_mul_ps(_mm_set1_ps(r), _mm_setr_ps(1.0f, 2.0f, 3.0f, 4.0f)));
            const __m128 step = _mm_set1_ps(4.0f * r);
            for (; i + 4 <= count; i += 4) {
                alignas(16) int32_t index[4];
                _mm_store_si128(reinterpret_cast<__m128i*>(index), _mm_cvttps_epi32(phases));
                for (int j = 0; j < 4; ++j) values[i + j] = table[index[j]];
                phases = _mm_add_ps(phases, step);
            }
#endif
            for (; i < count; ++i) values[i] = table[static_cast<int>(p + static_cast<float>(i + 1) * r)];
            phase = p + static_cast<float>(count) * r;
            return;
        }
    }
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
