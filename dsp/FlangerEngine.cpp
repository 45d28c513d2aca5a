// The flanger engine: parameter application, tempo follow, and the chunk that runs both cores
// and the panner.
#include "dsp/FlangerEngine.h"

#include <algorithm>
#include <cmath>

#include "dsp/FusedStereoPass.h"
#include "params/FlangerParameters.h"

namespace flanger::dsp {

using params::FlangerParameters;

FlangerEngine::FlangerEngine(int inputs, double rate, int outputs, int blockLength)
    : FlangerBlock(inputs, rate, outputs, blockLength),
      inputLeft(static_cast<size_t>(maxBlockLength), 0.0f),
      inputRight(static_cast<size_t>(maxBlockLength), 0.0f),
      voiceLeft(static_cast<size_t>(maxBlockLength), 0.0f),
      secondCore(1, static_cast<int>(sampleRate), 1, maxBlockLength) {
    secondCore.setMix(1.0f);
    panner.init(static_cast<float>(sampleRate));
    panner.setFrequency(0.2f);
}

FlangerEngine::~FlangerEngine() = default;

size_t FlangerEngine::heapBytes() const {
    return mainCore.heapBytes() + secondCore.heapBytes() +
           (inputLeft.capacity() + inputRight.capacity() + voiceLeft.capacity()) * sizeof(float);
}

void FlangerEngine::copyInputs(float* const* in, int count) noexcept {
    float* copies[2] = {inputLeft.data(), inputRight.data()};
    for (int c = 0; c < 2; ++c) {
        float* __restrict destination = copies[c];
        const float* __restrict source = c < numInputs ? in[c] : nullptr;
        if (source) {
            for (int i = 0; i < count; ++i) destination[i] = cleanSample(source[i]);
        } else if (c < numInputs) {
            std::fill(destination, destination + count, 0.0f);  // a null channel is silence
        }
        // Channels the engine was built without stay zero from construction.
    }
}

void FlangerEngine::processChunk(float** in, float** out, int count) noexcept {
    // The second voice is added on top in both modes, while the effect is heard at all.
    const bool panned = mixPercent > 0.005f && outputLevel > 0.005f;
    if (panned && numInputs == 2 && numOutputs == 2 &&
        FusedStereoPass::run(mainCore, secondCore, panner, in, out, count, accumulate != 0))
        return;
    copyInputs(in, count);
    float* inputs[2] = {inputLeft.data(), inputRight.data()};
    float* voice[2] = {voiceLeft.data(), nullptr};  // the second core writes one channel
    mainCore.process(inputs, out, count, accumulate != 0);
    secondCore.process(inputs, voice, count, false);
    // The panner adds straight into the outputs, as panning into voice buffers and adding would.
    if (panned)
        panner.processAdding(voiceLeft.data(), numOutputs > 0 ? out[0] : nullptr,
                             numOutputs > 1 ? out[1] : nullptr, count);
    else
        panner.skip(count);
}

void FlangerEngine::setSweepRates(float mainSweep, float secondSweep, float panHz) noexcept {
    mainCore.setSweepRate(mainSweep);
    secondCore.setSweepRate(secondSweep);
    panner.setFrequency(panHz);
}

void FlangerEngine::setSyncedSweepRates() noexcept {
    // One main sweep per beatsPerCycle beats; the second voice at a twentieth of that rate, the
    // pan cycle 25 main cycles long.
    const float q = beatsPerSecond / beatsPerCycle * 0.2f;
    setSweepRates(q, q * 0.05f, q * 0.2f);
}

void FlangerEngine::applyParameters(params::ParameterTable* table) noexcept {
    if (!table || table->changedCount() <= 0) return;
    auto changed = [table](int index) { return table->isChanged(index); };
    auto usableBeats = [](float beats) { return std::isfinite(beats) && beats > 0.0f; };

    if (changed(FlangerParameters::kMix)) {
        const float m = table->takePlain(FlangerParameters::kMix);
        if (std::isfinite(m)) {
            mixPercent = m;
            secondCore.setMix(m < 0.01f ? 0.0f : 1.0f);
            mainCore.setMix(m * 0.01f);
        }
    }
    if (changed(FlangerParameters::kSwitch)) {
        tempoSync = table->takePlain(FlangerParameters::kSwitch) == 1.0f;
        if (tempoSync) {
            const float b = table->peekPlain(FlangerParameters::kBeatsPerCycle);
            if (usableBeats(b)) {
                beatsPerCycle = b;
                setSyncedSweepRates();
            }
        } else {
            const float r = table->peekPlain(FlangerParameters::kRate);
            if (std::isfinite(r)) setSweepRates(r * 0.2f, r * 0.05f, r * 0.2f);
        }
    }
    if (changed(FlangerParameters::kOutput)) {
        const float g = table->takePlain(FlangerParameters::kOutput) * 0.01f;
        if (std::isfinite(g)) {
            outputLevel = g;
            mainCore.setOutput(g);
            secondCore.setOutput(g);
        }
    }
    if (changed(FlangerParameters::kDelay)) {
        const float d = table->takePlain(FlangerParameters::kDelay);
        if (std::isfinite(d)) {
            mainCore.setDelay(d * 0.001f);
            secondCore.setDelay(d * 0.01f);
        }
    }
    if (changed(FlangerParameters::kDepth)) {
        const float p = table->takePlain(FlangerParameters::kDepth);
        if (std::isfinite(p)) {
            mainCore.setDepth(p * 0.01f);
            secondCore.setDepth(p * 0.05f);
        }
    }
    if (changed(FlangerParameters::kFeedback)) {
        const float f = table->takePlain(FlangerParameters::kFeedback) * 0.01f;
        if (std::isfinite(f)) {
            mainCore.setFeedback(f);
            secondCore.setFeedback(f);
        }
    }
    if (changed(FlangerParameters::kRate)) {
        const float r = table->takePlain(FlangerParameters::kRate);
        // In sync mode the flag is consumed and the value ignored.
        if (!tempoSync && std::isfinite(r)) setSweepRates(r * 0.2f, r * 0.05f, r * 0.2f);
    }
    if (changed(FlangerParameters::kStereo)) {
        const float w = table->takePlain(FlangerParameters::kStereo) * 0.01f;
        if (std::isfinite(w)) mainCore.setWidth(w);
    }
    if (changed(FlangerParameters::kBeatsPerCycle)) {
        const float b = table->takePlain(FlangerParameters::kBeatsPerCycle);
        if (usableBeats(b)) {
            beatsPerCycle = b;
            if (tempoSync) setSyncedSweepRates();
        }
    }
    if (changed(FlangerParameters::kShapeSync)) {
        const float s = table->takePlain(FlangerParameters::kShapeSync) * 0.0625f;
        // ShapeSync 0 turns at the earliest point the sweep allows, not at 0.
        if (std::isfinite(s)) mainCore.setSymmetry(s == 0.0f ? 0.01f : s);
    }
    // "SyncBeat" and "TmpSync" are folded into beats per cycle by the effect; their flags stay.
}

void FlangerEngine::setTempo(double bpm) noexcept {
    if (!(bpm >= 0.0) || !std::isfinite(bpm)) return;
    const float bps = static_cast<float>(bpm * 0.016666666);
    if (bps == beatsPerSecond) return;
    beatsPerSecond = bps;
    if (tempoSync) setSyncedSweepRates();
}

void FlangerEngine::clearHistory() noexcept {
    mainCore.reset();
    secondCore.reset();
}

}  // namespace flanger::dsp
