// The signal path the effect owns: the main core on the host's channels plus a mono second
// core whose wet voice a slow sine pans between the outputs. It takes changed parameters from
// the table, follows the host tempo and cuts host calls into chunks of its block length.
#pragma once

#include <cfloat>
#include <cmath>
#include <cstddef>
#include <vector>

#include "dsp/FlangerBlock.h"
#include "dsp/FlangerCore.h"
#include "dsp/PanOscillator.h"

namespace flanger::dsp {

// Threads: every operation runs on the audio thread inside the effect's processing call, except
// construction and destruction (the effect rebuilds the engine while processing is stopped).
// Nothing here allocates after construction.
//
// Input samples that are not finite, beyond ±1e20, or subnormal are taken as silence on entry,
// so one bad sample from a host never poisons the feedback loops and the lines (a NaN would
// otherwise stay in them for the rest of the session). The input is copied before the main core
// writes, so processing in place sounds exactly as with separate arrays. processHost runs with
// subnormal results flushed to zero (restoring the host's mode on return).
class FlangerEngine : public FlangerBlock {
public:
    FlangerEngine(int numInputs, double sampleRate, int numOutputs, int maxBlockLength);
    ~FlangerEngine() override;

    void processChunk(float** in, float** out, int count) noexcept override;
    // Takes every flagged entry and sets both cores and the panner. Values that are not finite
    // are taken and ignored; a beats-per-cycle value ≤ 0 or not finite keeps the previous rate.
    void applyParameters(params::ParameterTable* table) noexcept override;
    // The host tempo in beats per minute; negative or non-finite tempi are ignored, and a
    // repeated tempo costs nothing.
    virtual void setTempo(double bpm) noexcept;
    // Silences both voices' delay lines and feedback, keeping the sweeps where they are and every
    // setting: a host's full reset, which a restart (resume, clearing the main voice only) is not.
    void clearHistory() noexcept;

    // A sample the signal path takes as it is: zero, or a normal number no larger than 1e20.
    // Anything else (NaN, infinities, absurd magnitudes, subnormals) is taken as silence.
    static float cleanSample(float x) noexcept {
        const float magnitude = std::fabs(x);
        return magnitude >= FLT_MIN && magnitude <= 1e20f ? x : 0.0f;
    }

    float beatsPerCycleNow() const { return beatsPerCycle; }
    float mixPercentNow() const { return mixPercent; }
    float outputLevelNow() const { return outputLevel; }
    float beatsPerSecondNow() const { return beatsPerSecond; }
    bool tempoSynced() const { return tempoSync; }
    const FlangerCore& second() const { return secondCore; }
    const PanOscillator& pan() const { return panner; }
    // Heap bytes this engine holds (buffers and lines), beside sizeof(FlangerEngine).
    size_t heapBytes() const;

private:
    void setSweepRates(float mainSweep, float secondSweep, float panHz) noexcept;
    void setSyncedSweepRates() noexcept;
    void copyInputs(float* const* in, int count) noexcept;

    float beatsPerCycle = 1.0f;
    float mixPercent = 0.0f;
    float outputLevel = 0.0f;
    float beatsPerSecond = 1.0f;
    bool tempoSync = false;
    std::vector<float> inputLeft;  // the chunk's input, cleaned of non-finite samples
    std::vector<float> inputRight;
    std::vector<float> voiceLeft;  // the second voice before the panner
    FlangerCore secondCore;
    PanOscillator panner;
};

}  // namespace flanger::dsp
