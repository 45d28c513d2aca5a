// The swept delay line.
#include "dsp/ModulatedDelay.h"

#include <algorithm>
#include <cmath>

namespace flanger::dsp {

int ModulatedDelay::setSampleRate(int rate) {
    sampleRate = rate;
    maxDelay = std::max(static_cast<int>(static_cast<double>(rate) * 0.006 + 0.5), 1);
    // With |depth| ≤ 1 a read reaches at most 0.75 × maxDelay + 2 samples back; two images of
    // the circle cover that from 8 samples up, smaller circles (rates under about 1.3 kHz) take
    // as many images as needed.
    copies = maxDelay >= 8 ? 2 : 10 / maxDelay + 2;
    store.assign(static_cast<size_t>(copies) * static_cast<size_t>(maxDelay), 0.0f);
    writeIndex = 0;
    sweep.init(std::max(rate, 1));
    setSweepRate(0.5f);
    depth = 0.75f;
    setDelaySamples(66);
    return 1;
}

void ModulatedDelay::setSweepRate(float normalised) {
    if (!(normalised > 0.0f)) normalised = 0.001f;
    sweep.setFrequency(5.0f * normalised);
}

void ModulatedDelay::setDepth(float d) {
    if (std::isnan(d)) d = 0.0f;
    depth = std::clamp(d, -1.0f, 1.0f);
}

void ModulatedDelay::setDelayTime(float ms) {
    const double samples = static_cast<double>(static_cast<float>(sampleRate) * ms) * 0.001;
    if (!(samples >= 1.0))
        delaySamples = 1;
    else if (samples >= static_cast<double>(maxDelay))
        delaySamples = maxDelay;
    else
        delaySamples = static_cast<int>(samples);
}

void ModulatedDelay::setDelaySamples(int n) {
    delaySamples = std::clamp(n, 1, maxDelay);
}

void ModulatedDelay::setSymmetry(float s) {
    sweep.setSymmetry(s);
}

void ModulatedDelay::releaseStore() {
    std::vector<float>().swap(store);
}

void ModulatedDelay::clear() {
    std::fill(store.begin(), store.end(), 0.0f);
}

float ModulatedDelay::history(int age) const {
    if (store.empty() || age < 1) return 0.0f;
    const int slot = ((writeIndex - age) % maxDelay + maxDelay) % maxDelay;
    return store[static_cast<size_t>(slot)];
}

void ModulatedDelay::process(const float* in, float* out, int count) noexcept {
    if (count < 1 || store.empty()) return;
    Taps taps;
    for (int start = 0; start < count; start += kTapSpan) {
        const int n = std::min(kTapSpan, count - start);
        prepare(n, taps);
        for (int k = 0; k < n; ++k) {
            const float x = in[start + k];
            const float y = readTap(taps, k);
            write(x);
            out[start + k] = y;
        }
    }
}

}  // namespace flanger::dsp
