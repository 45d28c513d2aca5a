// One complete flanger: two swept delay lines in a feedback loop, a ramped wet/dry mix, the
// mid/side width stage and a ramped output gain. Routines for 1 in/1 out (mono), 1 in/2 out
// (mono to stereo, with cross-coupled feedback) and 2 in/2 out (stereo).
#pragma once

#include <cstddef>
#include <vector>

#include "dsp/DelayPair.h"
#include "dsp/LinearRamp.h"
#include "dsp/StereoWidth.h"

namespace flanger::dsp {

// Threads: everything runs on the audio thread; the setters are called by the engine at the
// start of a processing call. process() never allocates.
class FlangerCore {
public:
    enum class Routine { Mono, MonoToStereo, Stereo };

    static constexpr float kMaxFeedback = 0.9f;  // keeps the loop stable
    static constexpr float kMaxDepth = 0.9f;     // the right line sweeps 1.1 times as deep: 0.99
    static constexpr int kMaxBlockLength = 1 << 16;

    // numInputs ≠ 1: stereo (with 0 inputs it hears silence); 1 in and 2 or more out:
    // monoToStereo; 1 in and 1 or 0 out: mono. It writes at most 2 (mono: 1) output channels,
    // and never more than numOutputs. maxBlockLength is clamped to 1 … 65536.
    FlangerCore(int numInputs, int sampleRate, int numOutputs, int maxBlockLength);

    // Both lines: span x × 50 ms (clamped by the lines to 1 … maxDelay samples).
    void setDelay(float x);
    // Clamped to 0 … 0.9 (NaN → 0); left line x, right line x × 1.1.
    void setDepth(float x);
    // Clamped to 0 … 0.9 (NaN → 0).
    void setFeedback(float x);
    // Ramps: wet to a, dry to 1 - a. Non-finite requests are ignored, as for output and width.
    void setMix(float a);
    void setOutput(float g);
    void setWidth(float w);
    // Both lines' sweeps run at 5 × normalised Hz.
    void setSweepRate(float normalised);
    void setSymmetry(float s);
    // Feedback states to 0 and both lines silenced.
    void reset();

    // count frames of in[0] (and in[1] for stereo) into out: added when accumulate, else written.
    // Runs longer than maxBlockLength are taken in pieces. A null output channel is skipped.
    void process(float** in, float** out, int count, bool accumulate) noexcept;

    Routine routine() const { return kind; }
    int blockLength() const { return maxBlockLength; }
    float feedbackGain() const { return feedback; }
    float leftState() const { return lines.leftState(); }
    float rightState() const { return lines.rightState(); }
    const LinearRamp& wet() const { return wetGain; }
    const LinearRamp& dry() const { return dryGain; }
    const LinearRamp& output() const { return outputGain; }
    const ModulatedDelay& left() const { return lines.left(); }
    const ModulatedDelay& right() const { return lines.right(); }
    const StereoWidth& stereoWidth() const { return width; }
    // Heap bytes held: the lines' stores and the mix buffers.
    size_t heapBytes() const;

private:
    // The engine's one-pass case reads the stages' settings and runs their lines.
    friend class FusedStereoPass;

    void processPiece(float* const* in, float* const* out, int count, bool accumulate) noexcept;
    void mix(const float* inLeft, const float* inRight, int count) noexcept;
    void deliver(float* const* out, int count, bool accumulate) noexcept;

    int sampleRate;
    float feedback = 0.0f;
    LinearRamp wetGain{LinearRamp::kDefaultStep};
    LinearRamp dryGain{LinearRamp::kDefaultStep};
    LinearRamp outputGain{LinearRamp::kDefaultStep};
    DelayPair lines;
    int maxBlockLength;
    int numInputs;
    int numOutputs;
    int channels;                // channels the routine produces: 1 or 2
    std::vector<float> mixLeft;  // the core's output before delivery; the lines' output first
    std::vector<float> mixRight;
    std::vector<float> silence;  // input of a core built without inputs
    StereoWidth width;
    Routine kind;
    DelayPair::Coupling coupling;
};

}  // namespace flanger::dsp
