// The bundled demo signal: a strummed guitar-like chord progression and a drum loop, made
// from simple synthesis (plucked-string delay lines, swept sines, filtered noise).
#pragma once

#include <vector>

namespace flanger::tools {

struct StereoSignal {
    int sampleRate = 44100;
    std::vector<float> left;
    std::vector<float> right;
};

constexpr double kDemoTempoBpm = 120.0;

// Deterministic: the same arguments give the same samples on every run. Peak at 0.8.
StereoSignal makeDemoSignal(int sampleRate = 44100, double seconds = 8.0);

}  // namespace flanger::tools
