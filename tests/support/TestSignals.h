// Deterministic test signals: the same noise on every machine and every run.
#pragma once

#include <cstdint>
#include <vector>

namespace flanger::testing {

// A 32-bit linear congruential generator; uniform() answers values in [-1, 1).
class Noise {
public:
    explicit Noise(uint32_t seed = 1) : state(seed) {}
    float uniform() {
        state = state * 1664525u + 1013904223u;
        return static_cast<float>(static_cast<int32_t>(state)) * 0x1p-31f;
    }
    std::vector<float> block(int count, float amplitude = 1.0f) {
        std::vector<float> samples(static_cast<size_t>(count > 0 ? count : 0));
        for (float& s : samples) s = uniform() * amplitude;
        return samples;
    }

private:
    uint32_t state;
};

}  // namespace flanger::testing
