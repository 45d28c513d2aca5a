// A literal, slow model of the signal path, written straight from the algorithm descriptions:
// a 32-bit-float sample store per line with a wrap test on every read, the sweep phase as an
// extended-precision remainder per sample, every per-sample step in its stated order and
// precision. The product's engine must stay within 1e-6 of it on every output sample.
#pragma once

#include <cstdint>
#include <vector>

namespace flanger::params {
class ParameterTable;
}

namespace flanger::reference {

struct Ramp {
    int steps = 0;
    int done = 0;
    float stepSize = 0.005f;
    float increment = 0.0f;
    float current = 0.0f;
    float start = 0.0f;
    float target = 0.0f;

    void setTarget(float t);
    float tick();
};

struct Sweep {
    uint64_t counter = 0;  // 64 bits wide: no wrap, no overflow on a drop in frequency
    float sampleRate = 0.0f;
    float frequency = 0.0f;
    float increment = -1.0f;
    float turn = 0.5f;
    float invTurn = 2.0f;
    float invRest = 2.0f;

    void init(int rate);
    void setFrequency(float hz);
    void setSymmetry(float x);
    float next();
};

struct Pan {
    float sampleRate = 0.0f;
    float frequency = 0.0f;
    float phase = 0.0f;
    float tableSize = 4096.0f;
    float increment = 0.0f;
    std::vector<float> table;

    void init(float rate);
    void setFrequency(float hz);
    void process(const float* in, float* outLeft, float* outRight, int count);
};

struct Line {
    std::vector<float> buffer;
    int sampleRate = 0;
    int maxDelay = 256;
    int writeIndex = 0;
    int delaySamples = 66;
    float depth = 0.75f;
    Sweep oscillator;

    void setSampleRate(int rate);
    void setSweepRate(float normalised);
    void setDepth(float d);
    void setDelayTime(float ms);
    void setDelaySamples(int n);
    void process(const float* in, float* out, int count);
};

struct Core {
    enum Routine { mono, monoToStereo, stereo };

    Core(int numInputs, int sampleRate, int numOutputs, int maxBlockLength);
    void setDelay(float x);
    void setDepth(float x);
    void setFeedback(float x);
    void setMix(float a);
    void setOutput(float g);
    void setWidth(float w);
    void setSweepRate(float normalised);
    void setSymmetry(float s);
    void reset();
    void process(float** in, float** out, int count, bool accumulate);

    int sampleRate;
    int numOutputs;
    float feedback = 0.0f;
    Ramp wetGain, dryGain, outputGain;
    Line lineLeft, lineRight;
    float stateLeft = 0.0f;
    float stateRight = 0.0f;
    std::vector<float> mix[2];
    float widthFactor = 2.0f;
    Routine routine;
};

// The engine with every decision of the product: input cleaning, the input copy, channel
// counts clamped to 0 … 2, the clamps of feedback and depth, beats per cycle that never divide
// by zero, and non-finite parameter values ignored.
struct Engine {
    Engine(int numInputs, double sampleRate, int numOutputs, int maxBlockLength);
    void applyParameters(params::ParameterTable* table);
    void setTempo(double bpm);
    void processHost(float** in, float** out, int count, int accumulate);
    void resume() { mainCore.reset(); }

    int numInputs;
    int numOutputs;
    int maxBlockLength;
    double sampleRate;
    int accumulate = 0;
    float beatsPerCycle = 1.0f;
    float mixPercent = 0.0f;
    float outputLevel = 0.0f;
    float beatsPerSecond = 1.0f;
    bool tempoSync = false;
    Core mainCore;
    Core secondCore;
    Pan panner;
    std::vector<float> copy[2];
    std::vector<float> voice[2];

private:
    void processChunk(float** in, float** out, int n);
    void setSweepRates(float mainSweep, float secondSweep, float panHz);
};

}  // namespace flanger::reference
