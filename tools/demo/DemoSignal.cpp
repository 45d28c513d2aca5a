// Synthesis of the demo signal. A fixed-seed generator stands in for every random choice,
// so the demo renders byte-identically everywhere.
#include "tools/demo/DemoSignal.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>

namespace flanger::tools {

namespace {

class Noise {
public:
    explicit Noise(uint32_t seed) : state(seed) {}
    float next() {
        // xorshift32: plenty for noise bursts and identical on every platform.
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return static_cast<float>(state) / 2147483648.0f - 1.0f;
    }

private:
    uint32_t state;
};

struct Mixer {
    StereoSignal& out;
    void add(size_t at, float sample, float pan) {
        if (at >= out.left.size()) return;
        // Equal-power pan, pan in -1 .. 1.
        const double angle = (pan + 1.0) * std::numbers::pi / 4.0;
        out.left[at] += sample * static_cast<float>(std::cos(angle));
        out.right[at] += sample * static_cast<float>(std::sin(angle));
    }
};

// One plucked string (Karplus-Strong): a noise burst circulating in a delay line of one period,
// averaged on every pass so the high partials die first.
void pluck(Mixer& mix, int rate, size_t start, double frequency, double seconds, float level, float pan,
           Noise& noise) {
    const auto period = static_cast<size_t>(std::max(2.0, std::round(rate / frequency)));
    std::vector<float> line(period);
    for (float& s : line) s = noise.next() * level;
    const auto length = static_cast<size_t>(seconds * rate);
    size_t position = 0;
    for (size_t i = 0; i < length; ++i) {
        const size_t nextPosition = (position + 1) % period;
        const float out = line[position];
        line[position] = 0.4985f * (line[position] + line[nextPosition]);
        position = nextPosition;
        // A short fade at the end so a cut-off string does not click.
        const float fade = i + 256 > length ? static_cast<float>(length - i) / 256.0f : 1.0f;
        mix.add(start + i, out * fade, pan);
    }
}

void kick(Mixer& mix, int rate, size_t start) {
    const auto length = static_cast<size_t>(0.45 * rate);
    double phase = 0.0;
    for (size_t i = 0; i < length; ++i) {
        const double t = static_cast<double>(i) / rate;
        const double frequency = 45.0 + 110.0 * std::exp(-t / 0.04);
        phase += 2.0 * std::numbers::pi * frequency / rate;
        mix.add(start + i, static_cast<float>(0.9 * std::sin(phase) * std::exp(-t / 0.16)), 0.0f);
    }
}

void snare(Mixer& mix, int rate, size_t start, Noise& noise) {
    const auto length = static_cast<size_t>(0.3 * rate);
    float previous = 0.0f;
    for (size_t i = 0; i < length; ++i) {
        const double t = static_cast<double>(i) / rate;
        const float n = noise.next();
        const float bright = n - 0.7f * previous;  // tilt the noise up
        previous = n;
        const double body = std::sin(2.0 * std::numbers::pi * 185.0 * t) * std::exp(-t / 0.04);
        mix.add(start + i, static_cast<float>(0.35 * bright * std::exp(-t / 0.07) + 0.3 * body), -0.1f);
    }
}

void hat(Mixer& mix, int rate, size_t start, float level, Noise& noise) {
    const auto length = static_cast<size_t>(0.06 * rate);
    float previous = 0.0f;
    for (size_t i = 0; i < length; ++i) {
        const double t = static_cast<double>(i) / rate;
        const float n = noise.next();
        const float high = n - previous;  // first difference: only the top end remains
        previous = n;
        mix.add(start + i, static_cast<float>(level * high * std::exp(-t / 0.015)), 0.35f);
    }
}

}  // namespace

StereoSignal makeDemoSignal(int sampleRate, double seconds) {
    StereoSignal signal;
    signal.sampleRate = sampleRate;
    const auto frames = static_cast<size_t>(seconds * sampleRate);
    signal.left.assign(frames, 0.0f);
    signal.right.assign(frames, 0.0f);
    Mixer mix{signal};
    Noise noise(0x1234567u);

    const double beat = 60.0 / kDemoTempoBpm;
    const auto at = [&](double time) { return static_cast<size_t>(time * sampleRate); };

    // E, A, B, E: one strum per bar, strings 18 ms apart, low strings left, high strings right.
    const double chords[4][6] = {
        {82.41, 123.47, 164.81, 207.65, 246.94, 329.63},
        {110.00, 164.81, 220.00, 277.18, 329.63, 440.00},
        {123.47, 185.00, 246.94, 311.13, 369.99, 493.88},
        {82.41, 123.47, 164.81, 207.65, 246.94, 329.63},
    };
    const int bars = static_cast<int>(seconds / (4 * beat));
    for (int bar = 0; bar < bars; ++bar) {
        const double start = bar * 4 * beat;
        for (int s = 0; s < 6; ++s) {
            pluck(mix, sampleRate, at(start + 0.018 * s), chords[bar % 4][s], 4 * beat, 0.28f,
                  -0.7f + 0.28f * static_cast<float>(s), noise);
        }
        // An upstroke on the off-beat of beat 3, quieter and quicker.
        for (int s = 5; s >= 2; --s) {
            pluck(mix, sampleRate, at(start + 2.5 * beat + 0.012 * (5 - s)), chords[bar % 4][s], 1.5 * beat,
                  0.14f, -0.7f + 0.28f * static_cast<float>(s), noise);
        }
    }

    const int beats = static_cast<int>(seconds / beat);
    for (int b = 0; b < beats; ++b) {
        const double t = b * beat;
        if (b % 4 == 0 || b % 4 == 2) kick(mix, sampleRate, at(t));
        if (b % 4 == 1 || b % 4 == 3) snare(mix, sampleRate, at(t), noise);
        if (b % 8 == 7) kick(mix, sampleRate, at(t + 0.5 * beat));
        hat(mix, sampleRate, at(t), 0.22f, noise);
        hat(mix, sampleRate, at(t + 0.5 * beat), 0.12f, noise);
    }

    float peak = 0.0f;
    for (size_t i = 0; i < frames; ++i)
        peak = std::max({peak, std::fabs(signal.left[i]), std::fabs(signal.right[i])});
    if (peak > 0.0f) {
        const float gain = 0.8f / peak;
        for (size_t i = 0; i < frames; ++i) {
            signal.left[i] *= gain;
            signal.right[i] *= gain;
        }
    }
    return signal;
}

}  // namespace flanger::tools
