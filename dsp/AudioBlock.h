// The base of every processing block: channel counts, maximum run length, and the ways of
// calling its one processing operation (frames, whole blocks, in place, with offsets).
// ChunkedAudioBlock cuts runs of any length into chunks of at most maxBlockLength.
#pragma once

#include <memory>

namespace flanger::dsp {

class AudioBlock {
public:
    // Negative channel counts read as 0.
    AudioBlock(int numInputs, int numOutputs, int maxBlockLength, float sampleRate);
    virtual ~AudioBlock();

    AudioBlock(const AudioBlock&) = delete;
    AudioBlock& operator=(const AudioBlock&) = delete;

    // One interleaved frame: in[i] is input channel i, out[j] output channel j.
    virtual void processFrame(float* in, float* out) noexcept;
    virtual void processFrameInPlace(float* io) noexcept;
    // maxBlockLength frames.
    virtual void processBlock(float** in, float** out) noexcept;
    virtual void processBlockInPlace(float** io) noexcept;
    // The processing operation; does nothing here.
    virtual void process(float** in, float** out, int count) noexcept;
    virtual void processInPlace(float** io, int count) noexcept;
    // Reads in[i][inOffset …] and writes out[j][outOffset …].
    virtual void processRange(float** in, int inOffset, float** out, int outOffset, int count) noexcept;
    // Reserved query and operation: answer 0 and do nothing.
    virtual int query() const noexcept { return 0; }
    virtual void idle() noexcept {}

    int inputCount() const { return numInputs; }
    int outputCount() const { return numOutputs; }
    int blockLength() const { return maxBlockLength; }
    float blockSampleRate() const { return sampleRate; }

protected:
    int numInputs;
    int numOutputs;
    float sampleRate;  // -1 until a derived block sets it; derived blocks keep their own rate
    int maxBlockLength;
    std::unique_ptr<float*[]> inputPointers;  // scratch for processFrame and processRange
    std::unique_ptr<float*[]> outputPointers;
};

class ChunkedAudioBlock : public AudioBlock {
public:
    ChunkedAudioBlock(int numInputs, int maxBlockLength, int numOutputs);

    // Calls processChunk on consecutive chunks of at most maxBlockLength frames; nothing for
    // count <= 0. A null channel pointer stays null in the chunks.
    void process(float** in, float** out, int count) noexcept override;
    virtual void processChunk(float** in, float** out, int count) noexcept;

private:
    std::unique_ptr<float*[]> chunkInputs;
    std::unique_ptr<float*[]> chunkOutputs;
};

}  // namespace flanger::dsp
