// The flanger core: the per-sample feedback loops, then mix, width, output gain and delivery
// as whole-run passes.
#include "dsp/FlangerCore.h"

#include <algorithm>
#include <cmath>

namespace flanger::dsp {

namespace {

FlangerCore::Routine routineFor(int numInputs, int numOutputs) {
    if (numInputs != 1) return FlangerCore::Routine::Stereo;
    return numOutputs >= 2 ? FlangerCore::Routine::MonoToStereo : FlangerCore::Routine::Mono;
}

DelayPair::Coupling couplingFor(FlangerCore::Routine routine) {
    switch (routine) {
        case FlangerCore::Routine::Mono:
            return DelayPair::Coupling::Single;
        case FlangerCore::Routine::MonoToStereo:
            return DelayPair::Coupling::Crossed;
        case FlangerCore::Routine::Stereo:
            break;
    }
    return DelayPair::Coupling::Separate;
}

}  // namespace

FlangerCore::FlangerCore(int inputs, int rate, int outputs, int maxLength)
    : sampleRate(rate),
      maxBlockLength(std::clamp(maxLength, 1, kMaxBlockLength)),
      numInputs(std::max(inputs, 0)),
      numOutputs(std::max(outputs, 0)),
      width(static_cast<float>(rate)),
      kind(routineFor(inputs, outputs)),
      coupling(couplingFor(kind)) {
    lines.left().setSampleRate(sampleRate);
    lines.left().setDelaySamples(91);
    lines.right().setSampleRate(sampleRate);
    lines.right().setDelaySamples(91);
    setDelay(0.2f);
    setFeedback(0.3f);
    setMix(0.5f);
    channels = kind == Routine::Mono ? 1 : 2;
    if (kind == Routine::Mono) lines.right().releaseStore();  // set up like the left, never run
    mixLeft.assign(static_cast<size_t>(maxBlockLength), 0.0f);
    if (channels == 2) mixRight.assign(static_cast<size_t>(maxBlockLength), 0.0f);
    if (numInputs == 0) silence.assign(static_cast<size_t>(maxBlockLength), 0.0f);
    width.setWidth(1.0f);
    reset();
}

size_t FlangerCore::heapBytes() const {
    return lines.left().storeBytes() + lines.right().storeBytes() +
           (mixLeft.capacity() + mixRight.capacity() + silence.capacity()) * sizeof(float);
}

void FlangerCore::setDelay(float x) {
    lines.left().setDelayTime(x * 50.0f);
    lines.right().setDelayTime(x * 50.0f);
}

void FlangerCore::setDepth(float x) {
    if (!(x > 0.0f)) x = 0.0f;
    if (x >= kMaxDepth) x = kMaxDepth;
    lines.left().setDepth(x);
    lines.right().setDepth(x * 1.1f);
}

void FlangerCore::setFeedback(float x) {
    if (!(x > 0.0f)) x = 0.0f;
    if (x > kMaxFeedback) x = kMaxFeedback;
    feedback = x;
}

void FlangerCore::setMix(float a) {
    if (!std::isfinite(a)) return;
    wetGain.setTarget(a);
    dryGain.setTarget(1.0f - a);
}

void FlangerCore::setOutput(float g) {
    if (std::isfinite(g)) outputGain.setTarget(g);
}

void FlangerCore::setWidth(float w) {
    width.setWidth(w);
}

void FlangerCore::setSweepRate(float normalised) {
    lines.left().setSweepRate(normalised);
    lines.right().setSweepRate(normalised);
}

void FlangerCore::setSymmetry(float s) {
    lines.left().setSymmetry(s);
    lines.right().setSymmetry(s);
}

void FlangerCore::reset() {
    lines.reset();
}

void FlangerCore::process(float** in, float** out, int count, bool accumulate) noexcept {
    if (count <= 0 || !out || (numInputs > 0 && !in)) return;
    float* inputs[2] = {nullptr, nullptr};
    float* outputs[2] = {nullptr, nullptr};
    for (int start = 0; start < count; start += maxBlockLength) {
        const int n = std::min(maxBlockLength, count - start);
        for (int c = 0; c < 2; ++c) {
            const int source = numInputs >= 2 ? c : 0;
            float* channel = numInputs > 0 ? in[source] : silence.data();
            inputs[c] = channel ? channel + start : nullptr;
            outputs[c] = c < numOutputs && out[c] ? out[c] + start : nullptr;
        }
        if (!inputs[0] || (kind == Routine::Stereo && !inputs[1])) return;
        processPiece(inputs, outputs, n, accumulate);
    }
}

void FlangerCore::mix(const float* inLeft, const float* inRight, int count) noexcept {
    float* __restrict left = mixLeft.data();
    float* __restrict right = channels == 2 ? mixRight.data() : nullptr;
    if (wetGain.settled() && dryGain.settled()) {
        const float w = wetGain.value();
        const float d = dryGain.value();
        for (int i = 0; i < count; ++i) left[i] = w * left[i] + d * inLeft[i];
        if (right)
            for (int i = 0; i < count; ++i) right[i] = w * right[i] + d * inRight[i];
        return;
    }
    for (int i = 0; i < count; ++i) {
        const float w = wetGain.tick();
        const float d = dryGain.tick();
        left[i] = w * left[i] + d * inLeft[i];
        if (right) right[i] = w * right[i] + d * inRight[i];
    }
}

void FlangerCore::deliver(float* const* out, int count, bool accumulate) noexcept {
    float* sources[2] = {mixLeft.data(), channels == 2 ? mixRight.data() : nullptr};
    // The first tick decides whether the block is heard at all; an audible block then takes one
    // more tick per sample, so it advances the ramp count + 1 steps.
    const float first = outputGain.tick();
    if (!(first > 0.005f)) {
        for (int c = 0; c < channels; ++c) std::fill(sources[c], sources[c] + count, 0.0f);
    } else if (outputGain.settled()) {
        const float g = outputGain.value();
        for (int c = 0; c < channels; ++c) {
            float* __restrict destination = out[c];
            const float* __restrict source = sources[c];
            if (!destination) continue;
            if (accumulate)
                for (int i = 0; i < count; ++i) destination[i] += source[i] * g;
            else
                for (int i = 0; i < count; ++i) destination[i] = source[i] * g;
        }
        return;
    } else {
        for (int i = 0; i < count; ++i) {
            const float g = outputGain.tick();
            for (int c = 0; c < channels; ++c) sources[c][i] *= g;
        }
    }
    for (int c = 0; c < channels; ++c) {
        float* __restrict destination = out[c];
        const float* __restrict source = sources[c];
        if (!destination) continue;
        if (accumulate)
            for (int i = 0; i < count; ++i) destination[i] += source[i];
        else
            std::copy(source, source + count, destination);
    }
}

void FlangerCore::processPiece(float* const* in, float* const* out, int count, bool accumulate) noexcept {
    const float* inLeft = in[0];
    const float* inRight = kind == Routine::Stereo ? in[1] : in[0];
    lines.run(coupling, inLeft, inRight, mixLeft.data(), channels == 2 ? mixRight.data() : nullptr, count,
              feedback);
    mix(inLeft, inRight, count);
    // The whole mix, dry part included, goes through the width stage while the wet part is heard.
    if (channels == 2 && wetGain.value() > 0.01f) {
        float* io[2] = {mixLeft.data(), mixRight.data()};
        width.process(io, count);
    }
    deliver(out, count, accumulate);
}

}  // namespace flanger::dsp
