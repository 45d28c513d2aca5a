// The main core on the block framework: channel and rate clamps, and the host's call.
#include "dsp/FlangerBlock.h"

#include <algorithm>

#include "dsp/DenormalGuard.h"

namespace flanger::dsp {

namespace {

int clampChannels(int count) {
    return std::clamp(count, 0, 2);
}

double usableRate(double rate) {
    if (!(rate >= 1.0)) return 44100.0;  // also NaN
    return std::min(rate, FlangerBlock::kMaxSampleRate);
}

int blockLengthFor(int maxBlockLength) {
    return std::clamp(maxBlockLength, 1, FlangerCore::kMaxBlockLength);
}

}  // namespace

bool FlangerBlock::supportsSampleRate(double rate) {
    return rate >= 1.0 && rate <= kMaxSampleRate;
}

FlangerBlock::FlangerBlock(int inputs, double rate, int outputs, int blockLength)
    : ChunkedAudioBlock(clampChannels(inputs), blockLengthFor(blockLength),
                        clampChannels(outputs) == 0 ? clampChannels(inputs) : clampChannels(outputs)),
      sampleRate(usableRate(rate)),
      mainCore(numInputs, static_cast<int>(sampleRate), numOutputs, maxBlockLength) {
    mainCore.setDelay(0.001f);
    mainCore.setMix(1.0f);
    mainCore.setFeedback(0.9f);
}

FlangerBlock::~FlangerBlock() = default;

void FlangerBlock::processChunk(float** in, float** out, int count) noexcept {
    mainCore.process(in, out, count, accumulate != 0);
}

void FlangerBlock::applyParameters(params::ParameterTable*) noexcept {}

void FlangerBlock::parameterHook(params::ParameterTable*) noexcept {}

void FlangerBlock::resume() noexcept {
    mainCore.reset();
}

void FlangerBlock::suspend() noexcept {
    mainCore.reset();
}

void FlangerBlock::processHost(float** in, float** out, int count, int adding) noexcept {
    if (count <= 0 || !in || !out) return;
    DenormalGuard guard;
    accumulate = adding;
    process(in, out, count);
}

}  // namespace flanger::dsp
