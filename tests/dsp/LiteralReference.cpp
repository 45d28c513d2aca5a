// The literal model: one step at a time, as the algorithms are written.
#include "tests/dsp/LiteralReference.h"

#include <algorithm>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstring>

#include "params/ParameterTable.h"

namespace flanger::reference {

void Ramp::setTarget(float t) {
    target = t;
    start = current;
    const float d = t - current;
    const float n = std::fabs(d / stepSize);
    steps = n >= 1.0f ? (n >= 2147483648.0f ? INT_MAX : static_cast<int>(n)) : 0;
    increment = d > 0.0f ? stepSize : -stepSize;
    done = 0;
}

float Ramp::tick() {
    if (done < steps) {
        current += increment;
        done += 1;
    }
    return current;
}

void Sweep::init(int rate) {
    sampleRate = static_cast<float>(rate);
    counter = 0;
    increment = -1.0f;
    setFrequency(2.0f);
    setSymmetry(0.5f);
}

void Sweep::setFrequency(float hz) {
    if (!(hz >= 0.0f) || std::isinf(hz)) hz = 0.0f;
    frequency = hz;
    const float marker = -1.0f;
    float old = increment;
    if (std::memcmp(&increment, &marker, sizeof marker) == 0) old = hz / sampleRate;
    const float fresh = hz / sampleRate;
    increment = fresh;
    if (fresh > 0.0f) {
        long double c = std::trunc(static_cast<long double>(counter) * old / fresh);
        if (c >= 0x1p62L) {
            int exponent = 0;
            std::frexp(fresh, &exponent);
            const int bits = 24 - exponent;
            c = bits <= 0 ? 0.0L : std::fmod(c, std::ldexp(1.0L, std::min(bits, 62)));
        }
        counter = static_cast<uint64_t>(c);
    } else {
        counter = 0;
    }
}

void Sweep::setSymmetry(float x) {
    if (std::isnan(x)) x = 0.5f;
    if (x > 0.99f) x = 0.99f;
    if (x < 0.01f) x = 0.01f;
    turn = x * 0.96f + 0.02f;
    invTurn = 1.0f / turn;
    invRest = 1.0f / (1.0f - turn);
}

float Sweep::next() {
    const long double p = std::fmod(static_cast<long double>(counter) * increment, 1.0L);
    counter += 1;
    if (p < turn) return static_cast<float>(0.5L - p * invTurn);
    return static_cast<float>((p - turn) * invRest - 0.5L);
}

void Pan::init(float rate) {
    sampleRate = rate;
    tableSize = 4096.0f;
    phase = 0.0f;
    table.resize(4096);
    const float s = 6.2831855f / 4096.0f;
    for (int i = 0; i < 4096; ++i)
        table[i] = static_cast<float>(std::sin(static_cast<double>(static_cast<float>(i) * s)));
    setFrequency(0.5f);
}

void Pan::setFrequency(float hz) {
    if (!(hz >= 0.0f) || std::isinf(hz)) hz = 0.0f;
    frequency = hz;
    increment = hz / sampleRate * tableSize;
    if (!(increment <= tableSize - 1.0f)) increment = hz > 0.0f ? tableSize - 1.0f : 0.0f;
}

void Pan::process(const float* in, float* outLeft, float* outRight, int count) {
    for (int i = 0; i < count; ++i) {
        const float x = in[i];
        if (frequency == 0.0f) {
            outLeft[i] = x + 1e-30f;
            outRight[i] = x + 1e-30f;
            continue;
        }
        phase += increment;
        if (phase >= tableSize) phase -= tableSize;
        const float p = table[static_cast<int>(phase)] * 0.375f + 0.5f;
        outLeft[i] = (x + 1e-30f) * p;
        outRight[i] = (x + 2e-30f) * (1.0f - p);
    }
}

void Line::setSampleRate(int rate) {
    sampleRate = rate;
    maxDelay = std::max(static_cast<int>(rate * 0.006 + 0.5), 1);
    buffer.assign(static_cast<size_t>(maxDelay), 0.0f);
    writeIndex = 0;
    oscillator.init(std::max(rate, 1));
    setSweepRate(0.5f);
    depth = 0.75f;
    setDelaySamples(66);
}

void Line::setSweepRate(float normalised) {
    if (!(normalised > 0.0f)) normalised = 0.001f;
    oscillator.setFrequency(5.0f * normalised);
}

void Line::setDepth(float d) {
    depth = std::isnan(d) ? 0.0f : std::clamp(d, -1.0f, 1.0f);
}

void Line::setDelayTime(float ms) {
    const double n = static_cast<double>(static_cast<float>(sampleRate) * ms) * 0.001;
    delaySamples = !(n >= 1.0) ? 1 : (n >= maxDelay ? maxDelay : static_cast<int>(n));
}

void Line::setDelaySamples(int n) {
    delaySamples = n < 1 ? 1 : (n > maxDelay ? maxDelay : n);
}

void Line::process(const float* in, float* out, int count) {
    int k = 0;
    while (count > 0) {
        const int run = std::min(count, maxDelay - writeIndex);
        for (int j = 0; j < run; ++j, ++k) {
            const float x = in[k] + 1e-30f;
            const float L = oscillator.next();
            const long double D = ((static_cast<long double>(L) * depth + 1) * 0.5L) * delaySamples + 1;
            const int n = static_cast<int>(D);
            const long double frac = D - n;
            int i0 = writeIndex - n;
            while (i0 < 0) i0 += maxDelay;
            int i1 = writeIndex - n - 1;
            while (i1 < 0) i1 += maxDelay;
            const long double y = buffer[i0] + (static_cast<long double>(buffer[i1]) - buffer[i0]) * frac;
            buffer[writeIndex] = x;
            out[k] = static_cast<float>(y);
            writeIndex += 1;
        }
        if (writeIndex >= maxDelay) writeIndex -= maxDelay;
        count -= run;
    }
}

Core::Core(int numInputs, int rate, int outputs, int maxBlockLength) : sampleRate(rate), numOutputs(outputs) {
    lineLeft.setSampleRate(rate);
    lineLeft.setDelaySamples(91);
    lineRight.setSampleRate(rate);
    lineRight.setDelaySamples(91);
    setDelay(0.2f);
    setFeedback(0.3f);
    setMix(0.5f);
    routine = numInputs != 1 ? stereo : (outputs >= 2 ? monoToStereo : mono);
    mix[0].assign(static_cast<size_t>(maxBlockLength), 0.0f);
    mix[1].assign(static_cast<size_t>(maxBlockLength), 0.0f);
    setWidth(1.0f);
    reset();
}

void Core::setDelay(float x) {
    lineLeft.setDelayTime(x * 50.0f);
    lineRight.setDelayTime(x * 50.0f);
}

void Core::setDepth(float x) {
    if (!(x > 0.0f)) x = 0.0f;
    if (x >= 0.9f) x = 0.9f;
    lineLeft.setDepth(x);
    lineRight.setDepth(x * 1.1f);
}

void Core::setFeedback(float x) {
    feedback = !(x > 0.0f) ? 0.0f : (x > 0.9f ? 0.9f : x);
}

void Core::setMix(float a) {
    if (!std::isfinite(a)) return;
    wetGain.setTarget(a);
    dryGain.setTarget(1.0f - a);
}

void Core::setOutput(float g) {
    if (std::isfinite(g)) outputGain.setTarget(g);
}

void Core::setWidth(float w) {
    if (std::isfinite(w)) widthFactor = 2.0f * w;
}

void Core::setSweepRate(float normalised) {
    lineLeft.setSweepRate(normalised);
    lineRight.setSweepRate(normalised);
}

void Core::setSymmetry(float s) {
    lineLeft.oscillator.setSymmetry(s);
    lineRight.oscillator.setSymmetry(s);
}

void Core::reset() {
    stateLeft = stateRight = 0.0f;
    std::fill(lineLeft.buffer.begin(), lineLeft.buffer.end(), 0.0f);
    std::fill(lineRight.buffer.begin(), lineRight.buffer.end(), 0.0f);
}

namespace {

float flushed(float s) {
    return std::fabs(s) < 1.6666666666666667e-05 ? 0.0f : s;
}

}  // namespace

void Core::process(float** in, float** out, int count, bool accumulate) {
    float w = 0.0f;
    for (int i = 0; i < count; ++i) {
        if (routine == mono) {
            const float x = in[0][i];
            float y;
            lineLeft.process(&stateLeft, &y, 1);
            stateLeft = flushed(y * feedback + x);
            w = wetGain.tick();
            const float d = dryGain.tick();
            mix[0][i] = w * y + d * x;
        } else if (routine == monoToStereo) {
            const float x = in[0][i];
            float yL, yR;
            lineLeft.process(&stateLeft, &yL, 1);
            lineRight.process(&stateRight, &yR, 1);
            stateLeft = flushed((0.2f * yL + yR) * feedback + x);
            stateRight = flushed((yL - 0.2f * yR) * feedback + x);
            w = wetGain.tick();
            const float d = dryGain.tick();
            mix[0][i] = w * yL + d * x;
            mix[1][i] = w * yR + d * x;
        } else {
            const float xL = in[0][i];
            const float xR = in[1][i];
            float yL, yR;
            lineLeft.process(&stateLeft, &yL, 1);
            lineRight.process(&stateRight, &yR, 1);
            stateLeft = flushed(yL * feedback + xL);
            stateRight = flushed(yR * feedback + xR);
            w = wetGain.tick();
            const float d = dryGain.tick();
            mix[0][i] = w * yL + d * xL;
            mix[1][i] = w * yR + d * xR;
        }
    }
    const int channels = routine == mono ? 1 : 2;
    if (channels == 2 && w > 0.01f) {
        const float c = 0.7071067811865f;
        for (int i = 0; i < count; ++i) {
            const float L = mix[0][i];
            const float R = mix[1][i];
            const float M = (L + R) * c;
            const float S = (L - R) * c * widthFactor;
            mix[0][i] = (M + S) * c;
            mix[1][i] = (M - S) * c;
        }
    }
    const float g = outputGain.tick();
    if (g > 0.005f) {
        for (int i = 0; i < count; ++i) {
            const float gi = outputGain.tick();
            for (int c = 0; c < channels; ++c) mix[c][i] *= gi;
        }
    } else {
        for (int c = 0; c < channels; ++c) std::fill(mix[c].begin(), mix[c].begin() + count, 0.0f);
    }
    for (int c = 0; c < channels && c < numOutputs; ++c) {
        for (int i = 0; i < count; ++i) {
            if (accumulate)
                out[c][i] += mix[c][i];
            else
                out[c][i] = mix[c][i];
        }
    }
}

namespace {

int channelCount(int n) {
    return n < 0 ? 0 : (n > 2 ? 2 : n);
}
double rateFor(double rate) {
    return !(rate >= 1.0) ? 44100.0 : std::min(rate, 1536000.0);
}
int blockFor(int n) {
    return n < 1 ? 1 : (n > 65536 ? 65536 : n);
}
int outputsFor(int inputs, int outputs) {
    return channelCount(outputs) == 0 ? channelCount(inputs) : channelCount(outputs);
}

}  // namespace

Engine::Engine(int inputs, double rate, int outputs, int blockLength)
    : numInputs(channelCount(inputs)),
      numOutputs(outputsFor(inputs, outputs)),
      maxBlockLength(blockFor(blockLength)),
      sampleRate(rateFor(rate)),
      mainCore(numInputs, static_cast<int>(sampleRate), numOutputs, maxBlockLength),
      secondCore(1, static_cast<int>(sampleRate), 1, maxBlockLength) {
    mainCore.setDelay(0.001f);
    mainCore.setMix(1.0f);
    mainCore.setFeedback(0.9f);
    secondCore.setMix(1.0f);
    for (auto& v : copy) v.assign(static_cast<size_t>(maxBlockLength), 0.0f);
    for (auto& v : voice) v.assign(static_cast<size_t>(maxBlockLength), 0.0f);
    panner.init(static_cast<float>(sampleRate));
    panner.setFrequency(0.2f);
}

void Engine::setSweepRates(float mainSweep, float secondSweep, float panHz) {
    mainCore.setSweepRate(mainSweep);
    secondCore.setSweepRate(secondSweep);
    panner.setFrequency(panHz);
}

void Engine::applyParameters(params::ParameterTable* t) {
    if (t->changedCount() <= 0) return;
    auto good = [](float b) { return std::isfinite(b) && b > 0.0f; };
    if (t->isChanged(10)) {
        const float m = t->takePlain(10);
        if (std::isfinite(m)) {
            mixPercent = m;
            secondCore.setMix(m < 0.01f ? 0.0f : 1.0f);
            mainCore.setMix(m * 0.01f);
        }
    }
    if (t->isChanged(4)) {
        tempoSync = t->takePlain(4) == 1.0f;
        if (tempoSync) {
            const float b = t->peekPlain(11);
            if (good(b)) {
                beatsPerCycle = b;
                const float q = beatsPerSecond / b * 0.2f;
                setSweepRates(q, q * 0.05f, q * 0.2f);
            }
        } else {
            const float r = t->peekPlain(5);
            if (std::isfinite(r)) {
                const float q = r * 0.2f;
                setSweepRates(q, r * 0.05f, q);
            }
        }
    }
    if (t->isChanged(9)) {
        const float g = t->takePlain(9) * 0.01f;
        if (std::isfinite(g)) {
            outputLevel = g;
            mainCore.setOutput(g);
            secondCore.setOutput(g);
        }
    }
    if (t->isChanged(1)) {
        const float d = t->takePlain(1);
        if (std::isfinite(d)) {
            mainCore.setDelay(d * 0.001f);
            secondCore.setDelay(d * 0.01f);
        }
    }
    if (t->isChanged(2)) {
        const float p = t->takePlain(2);
        if (std::isfinite(p)) {
            mainCore.setDepth(p * 0.01f);
            secondCore.setDepth(p * 0.05f);
        }
    }
    if (t->isChanged(0)) {
        const float f = t->takePlain(0) * 0.01f;
        if (std::isfinite(f)) {
            mainCore.setFeedback(f);
            secondCore.setFeedback(f);
        }
    }
    if (t->isChanged(5)) {
        const float r = t->takePlain(5);
        if (!tempoSync && std::isfinite(r)) {
            const float q = r * 0.2f;
            setSweepRates(q, r * 0.05f, q);
        }
    }
    if (t->isChanged(3)) {
        const float w = t->takePlain(3) * 0.01f;
        if (std::isfinite(w)) mainCore.setWidth(w);
    }
    if (t->isChanged(11)) {
        const float b = t->takePlain(11);
        if (good(b)) {
            beatsPerCycle = b;
            if (tempoSync) {
                const float q = beatsPerSecond / b * 0.2f;
                setSweepRates(q, q * 0.05f, q * 0.2f);
            }
        }
    }
    if (t->isChanged(8)) {
        const float s = t->takePlain(8) * 0.0625f;
        if (std::isfinite(s)) mainCore.setSymmetry(s == 0.0f ? 0.01f : s);
    }
}

void Engine::setTempo(double bpm) {
    if (!(bpm >= 0.0) || !std::isfinite(bpm)) return;
    const float bps = static_cast<float>(bpm * 0.016666666);
    if (bps == beatsPerSecond) return;
    beatsPerSecond = bps;
    if (tempoSync) {
        const float q = bps / beatsPerCycle * 0.2f;
        setSweepRates(q, q * 0.05f, q * 0.2f);
    }
}

void Engine::processChunk(float** in, float** out, int n) {
    for (int c = 0; c < 2; ++c) {
        for (int i = 0; i < n; ++i) {
            float x = 0.0f;
            if (c < numInputs && in[c]) x = in[c][i];
            const float a = std::fabs(x);
            copy[c][i] = (a >= FLT_MIN && a <= 1e20f) ? x : 0.0f;
        }
    }
    float* ins[2] = {copy[0].data(), copy[1].data()};
    float* voices[2] = {voice[0].data(), voice[1].data()};
    mainCore.process(ins, out, n, accumulate != 0);
    secondCore.process(ins, voices, n, false);
    panner.process(voice[0].data(), voice[0].data(), voice[1].data(), n);
    if (mixPercent > 0.005f && outputLevel > 0.005f)
        for (int c = 0; c < numOutputs; ++c)
            for (int i = 0; i < n; ++i) out[c][i] += voice[c][i];
}

void Engine::processHost(float** in, float** out, int count, int adding) {
    if (count <= 0 || !in || !out) return;
    accumulate = adding;
    for (int start = 0; start < count;) {
        const int n = std::min(count - start, maxBlockLength);
        float* ins[2] = {nullptr, nullptr};
        float* outs[2] = {nullptr, nullptr};
        for (int c = 0; c < numInputs; ++c) ins[c] = in[c] + start;
        for (int c = 0; c < numOutputs; ++c) outs[c] = out[c] + start;
        processChunk(ins, outs, n);
        start += n;
    }
}

}  // namespace flanger::reference
