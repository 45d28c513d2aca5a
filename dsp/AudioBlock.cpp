// The block framework: pointer bookkeeping and chunking.
#include "dsp/AudioBlock.h"

#include <algorithm>

namespace flanger::dsp {

namespace {

std::unique_ptr<float* []> pointerArray(int count) {
    // At least one slot, so the arrays are never null; value-initialised to null pointers.
    return std::unique_ptr<float*[]>(new float*[static_cast<size_t>(std::max(count, 1))]());
}

}  // namespace

AudioBlock::AudioBlock(int inputs, int outputs, int maxLength, float rate)
    : numInputs(std::max(inputs, 0)),
      numOutputs(std::max(outputs, 0)),
      sampleRate(rate),
      maxBlockLength(maxLength),
      inputPointers(pointerArray(numInputs)),
      outputPointers(pointerArray(numOutputs)) {}

AudioBlock::~AudioBlock() = default;

void AudioBlock::processFrame(float* in, float* out) noexcept {
    for (int i = 0; i < numInputs; ++i) inputPointers[i] = in ? in + i : nullptr;
    for (int j = 0; j < numOutputs; ++j) outputPointers[j] = out ? out + j : nullptr;
    process(inputPointers.get(), outputPointers.get(), 1);
}

void AudioBlock::processFrameInPlace(float* io) noexcept {
    processFrame(io, io);
}

void AudioBlock::processBlock(float** in, float** out) noexcept {
    process(in, out, maxBlockLength);
}

void AudioBlock::processBlockInPlace(float** io) noexcept {
    process(io, io, maxBlockLength);
}

void AudioBlock::process(float**, float**, int) noexcept {}

void AudioBlock::processInPlace(float** io, int count) noexcept {
    process(io, io, count);
}

void AudioBlock::processRange(float** in, int inOffset, float** out, int outOffset, int count) noexcept {
    if (!in || !out) return;
    for (int i = 0; i < numInputs; ++i) inputPointers[i] = in[i] ? in[i] + inOffset : nullptr;
    for (int j = 0; j < numOutputs; ++j) outputPointers[j] = out[j] ? out[j] + outOffset : nullptr;
    process(inputPointers.get(), outputPointers.get(), count);
}

ChunkedAudioBlock::ChunkedAudioBlock(int inputs, int maxLength, int outputs)
    : AudioBlock(inputs, outputs, maxLength, -1.0f),
      chunkInputs(pointerArray(numInputs)),
      chunkOutputs(pointerArray(numOutputs)) {}

void ChunkedAudioBlock::process(float** in, float** out, int count) noexcept {
    if (count <= 0 || (numInputs > 0 && !in) || (numOutputs > 0 && !out)) return;
    // A maximum of 0 or less would never advance: such a block works frame by frame.
    const int chunk = std::max(maxBlockLength, 1);
    for (int start = 0; start < count;) {
        for (int i = 0; i < numInputs; ++i) chunkInputs[i] = in[i] ? in[i] + start : nullptr;
        for (int j = 0; j < numOutputs; ++j) chunkOutputs[j] = out[j] ? out[j] + start : nullptr;
        const int n = std::min(count - start, chunk);
        processChunk(chunkInputs.get(), chunkOutputs.get(), n);
        start += n;
    }
}

void ChunkedAudioBlock::processChunk(float**, float**, int) noexcept {}

}  // namespace flanger::dsp
