// The flanger core: the per-sample feedback loops, then mix, width, output gain and delivery
// as whole-run passes.
#include "dsp/FlangerCore.h"

#include <algorithm>
#include <cmath>

namespace flanger::dsp {

namespace {

inline float flush(float state) {
    return std::fabs(state) < FlangerCore::kFlushThreshold ? 0.0f : state;
}

FlangerCore::Routine routineFor(int numInputs, int numOutputs) {
    if (numInputs != 1) return FlangerCore::Routine::stereo;
    return numOutputs >= 2 ? FlangerCore::Routine::monoToStereo : FlangerCore::Routine::mono;
}

}  // namespace

FlangerCore::FlangerCore(int inputs, int rate, int outputs, int maxLength)
    : sampleRate(rate),
      maxBlockLength(std::clamp(maxLength, 1, kMaxBlockLength)),
      numInputs(std::max(inputs, 0)),
      numOutputs(std::max(outputs, 0)),
      width(static_cast<float>(rate)),
      kind(routineFor(inputs, outputs)) {
    lineLeft.setSampleRate(sampleRate);
    lineLeft.setDelaySamples(91);
    lineRight.setSampleRate(sampleRate);
    lineRight.setDelaySamples(91);
    setDelay(0.2f);
    setFeedback(0.3f);
    setMix(0.5f);
    channels = kind == Routine::mono ? 1 : 2;
    if (kind == Routine::mono) lineRight.releaseStore();  // set up like the left, never run
    mixLeft.assign(static_cast<size_t>(maxBlockLength), 0.0f);
    if (channels == 2) mixRight.assign(static_cast<size_t>(maxBlockLength), 0.0f);
    if (numInputs == 0) silence.assign(static_cast<size_t>(maxBlockLength), 0.0f);
    width.setWidth(1.0f);
    reset();
}

size_t FlangerCore::heapBytes() const {
    return lineLeft.storeBytes() + lineRight.storeBytes() +
           (mixLeft.capacity() + mixRight.capacity() + silence.capacity()) * sizeof(float);
}

void FlangerCore::setDelay(float x) {
    lineLeft.setDelayTime(x * 50.0f);
    lineRight.setDelayTime(x * 50.0f);
}

void FlangerCore::setDepth(float x) {
    if (!(x > 0.0f)) x = 0.0f;
    if (x >= kMaxDepth) x = kMaxDepth;
    lineLeft.setDepth(x);
    lineRight.setDepth(x * 1.1f);
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

void FlangerCore::setRate(float x) {
    lineLeft.setRate(x);
    lineRight.setRate(x);
}

void FlangerCore::setSymmetry(float s) {
    lineLeft.setSymmetry(s);
    lineRight.setSymmetry(s);
}

void FlangerCore::reset() {
    stateLeft = stateRight = 0.0f;
    lineLeft.clear();
    lineRight.clear();
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
        if (!inputs[0] || (kind == Routine::stereo && !inputs[1])) return;
        processPiece(inputs, outputs, n, accumulate);
    }
}

void FlangerCore::prepareSweeps(int count) noexcept {
    if (kind == Routine::mono) {
        lineLeft.prepare(count);
        return;
    }
    // Both lines sweep alike unless their oscillators were set apart: then one sweep serves both.
    SweepOscillator& right = lineRight.oscillator();
    if (right.inStepWith(lineLeft.oscillator())) {
        const SweepTaps both[2] = {lineLeft.taps(), lineRight.taps()};
        lineLeft.oscillator().fillTaps(both, 2, count);
        right.skip(count);
    } else {
        lineLeft.prepare(count);
        lineRight.prepare(count);
    }
}

template <FlangerCore::Routine R, bool kTwoImages>
void FlangerCore::runLines(const float* inLeft, const float* inRight, int offset, int count) noexcept {
    constexpr bool kMono = R == Routine::mono;
    const float fb = feedback;
    float sl = stateLeft;
    float sr = stateRight;
    const int circleLeft = lineLeft.maxDelaySamples();
    const int circleRight = lineRight.maxDelaySamples();
    const int imagesLeft = lineLeft.images();
    const int imagesRight = lineRight.images();
    for (int k0 = 0; k0 < count;) {
        // A run ends where a circle wraps, so inside it the write slots just move up by one.
        int run = std::min(count - k0, lineLeft.samplesBeforeWrap());
        if constexpr (!kMono) run = std::min(run, lineRight.samplesBeforeWrap());
        float* __restrict slotL = lineLeft.writeSlot();
        float* __restrict slotR = kMono ? nullptr : lineRight.writeSlot();
        const int32_t* offsetL = lineLeft.tapOffsets() + k0;
        const int32_t* offsetR = lineRight.tapOffsets() + k0;
        const double* fractionL = lineLeft.tapFractions() + k0;
        const double* fractionR = lineRight.tapFractions() + k0;
        const float* xl = inLeft + offset + k0;
        const float* xr = (R == Routine::stereo ? inRight : inLeft) + offset + k0;
        float* wetL = mixLeft.data() + offset + k0;
        float* wetR = kMono ? nullptr : mixRight.data() + offset + k0;
        for (int k = 0; k < run; ++k) {
            // Read before write; each line's input is the state of the previous sample, so the
            // loop is one sample longer than the line's delay.
            const float yl = ModulatedDelay::interpolate(slotL + k, offsetL[k], fractionL[k]);
            const float inputL = sl + 1e-30f;
            slotL[k] = inputL;
            slotL[k + circleLeft] = inputL;
            if constexpr (!kTwoImages)
                for (int image = 2; image < imagesLeft; ++image) slotL[k + image * circleLeft] = inputL;
            if constexpr (kMono) {
                sl = flush(yl * fb + xl[k]);
                wetL[k] = yl;
            } else {
                const float yr = ModulatedDelay::interpolate(slotR + k, offsetR[k], fractionR[k]);
                const float inputR = sr + 1e-30f;
                slotR[k] = inputR;
                slotR[k + circleRight] = inputR;
                if constexpr (!kTwoImages)
                    for (int image = 2; image < imagesRight; ++image) slotR[k + image * circleRight] = inputR;
                if constexpr (R == Routine::monoToStereo) {
                    // Cross-coupled: each line feeds the other at full level and itself at ±0.2.
                    sl = flush((0.2f * yl + yr) * fb + xl[k]);
                    sr = flush((yl - 0.2f * yr) * fb + xl[k]);
                } else {
                    sl = flush(yl * fb + xl[k]);
                    sr = flush(yr * fb + xr[k]);
                }
                wetL[k] = yl;
                wetR[k] = yr;
            }
        }
        lineLeft.advance(run);
        if constexpr (!kMono) lineRight.advance(run);
        k0 += run;
    }
    stateLeft = sl;
    stateRight = sr;
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
    const float* inRight = kind == Routine::stereo ? in[1] : in[0];
    for (int start = 0; start < count; start += ModulatedDelay::kTapSpan) {
        const int n = std::min(ModulatedDelay::kTapSpan, count - start);
        prepareSweeps(n);
        // Circles under 8 samples (rates under about 1.3 kHz) keep more images of the circle.
        const bool twoImages = lineLeft.images() == 2 && lineRight.images() == 2;
        switch (kind) {
            case Routine::mono:
                twoImages ? runLines<Routine::mono, true>(inLeft, inRight, start, n)
                          : runLines<Routine::mono, false>(inLeft, inRight, start, n);
                break;
            case Routine::monoToStereo:
                twoImages ? runLines<Routine::monoToStereo, true>(inLeft, inRight, start, n)
                          : runLines<Routine::monoToStereo, false>(inLeft, inRight, start, n);
                break;
            case Routine::stereo:
                twoImages ? runLines<Routine::stereo, true>(inLeft, inRight, start, n)
                          : runLines<Routine::stereo, false>(inLeft, inRight, start, n);
                break;
        }
    }
    mix(inLeft, inRight, count);
    // The whole mix, dry part included, goes through the width stage while the wet part is heard.
    if (channels == 2 && wetGain.value() > 0.01f) {
        float* io[2] = {mixLeft.data(), mixRight.data()};
        width.process(io, count);
    }
    deliver(out, count, accumulate);
}

}  // namespace flanger::dsp
