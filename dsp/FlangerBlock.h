// The main flanger core on the host's channels, cut into chunks by the block framework: the
// base the engine builds on.
#pragma once

#include "dsp/AudioBlock.h"
#include "dsp/FlangerCore.h"

namespace flanger::params {
class ParameterTable;
}

namespace flanger::dsp {

// The main core alone, on the block framework.
class FlangerBlock : public ChunkedAudioBlock {
public:
    // Channel counts are clamped to 0 … 2 (numOutputs 0 becomes numInputs); maxBlockLength to
    // 1 … 65536; a sample rate that is not finite, or below 1 Hz, is taken as 44100 Hz and one
    // above kMaxSampleRate as that. The main core gets setDelay(0.001), setMix(1), setFeedback(0.9).
    FlangerBlock(int numInputs, double sampleRate, int numOutputs, int maxBlockLength);
    ~FlangerBlock() override;

    static constexpr double kMaxSampleRate = 1536000.0;
    // Rates an engine is built for as given: finite, at least 1 Hz, at most kMaxSampleRate.
    static bool supportsSampleRate(double sampleRate);

    void processChunk(float** in, float** out, int count) noexcept override;
    virtual void applyParameters(params::ParameterTable* table) noexcept;
    // Called by the effect when the editor has gone quiet; does nothing.
    virtual void parameterHook(params::ParameterTable* table) noexcept;
    virtual int latency() const noexcept { return 0; }
    // Both clear the main core's lines and feedback states (the second voice keeps its own).
    virtual void resume() noexcept;
    virtual void suspend() noexcept;
    // Reserved query with an argument: answers 0.
    virtual int queryIndexed(int) const noexcept { return 0; }
    // The host's call: count frames, added into out when accumulate ≠ 0, else written. Reads
    // only in[0 … numInputs) and writes only out[0 … numOutputs); nothing at all for count ≤ 0
    // or a null pointer array (a null channel reads as silence / is not written).
    virtual void processHost(float** in, float** out, int count, int accumulate) noexcept;

    double sampleRateHz() const { return sampleRate; }
    int inputs() const { return numInputs; }
    int outputs() const { return numOutputs; }
    const FlangerCore& main() const { return mainCore; }

protected:
    double sampleRate;
    int accumulate = 0;
    FlangerCore mainCore;
};

}  // namespace flanger::dsp
