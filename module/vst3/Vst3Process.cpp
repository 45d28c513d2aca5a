// The VST3 object's audio thread: the host's parameter changes applied where they land (ramps on
// a grid counted from the start of processing, stepped values at their own offsets), the host's
// time handed to the effect, and the bypass crossfade around the effect's own processing.
#include <algorithm>
#include <cmath>

#include "module/vst3/Vst3Plugin.h"
#include "params/FlangerParameters.h"

namespace flanger::vst3 {

namespace {

// Automation ramps are written on a grid of this many frames, counted from the start of
// processing, so where a host cuts its blocks never changes what is heard.
constexpr int64_t kRampGrid = 32;
// The most points read from one queue in one block; a host sending more is cut, not trusted.
constexpr int32_t kMostPoints = 1 << 16;

bool isSteppedId(ParamID id) noexcept {
    return id >= kEffectParameterCount || params::isStepped(static_cast<int>(id));
}

}  // namespace

void FlangerVst3::takeTime(const ProcessContext* context) noexcept {
    timeValid = context != nullptr;
    if (!timeValid) return;
    timeInfo = vst::VstTimeInfo{};
    timeInfo.sampleRate = sampleRate;
    timeInfo.samplePos = static_cast<double>(context->projectTimeSamples);
    timeInfo.ppqPos = context->projectTimeMusic;
    timeInfo.timeSigNumerator = context->timeSigNumerator;
    timeInfo.timeSigDenominator = context->timeSigDenominator;
    if ((context->state & ProcessContext::kTempoValid) != 0 && std::isfinite(context->tempo)) {
        timeInfo.tempo = context->tempo;
        timeInfo.flags |= vst::kVstTempoValid;
    }
    if ((context->state & ProcessContext::kPlaying) != 0) timeInfo.flags |= vst::kVstTransportPlaying;
}

void FlangerVst3::collectChanges(IParameterChanges* changes, int32_t frames) noexcept {
    queues.fill(nullptr);
    pointCount.fill(0);
    nextPoint.fill(0);
    blockFrames = std::max(frames, 0);
    if (changes == nullptr) return;
    const int32_t count = std::min(changes->getParameterCount(), kMostPoints);
    for (int32_t i = 0; i < count; ++i) {
        IParamValueQueue* queue = changes->getParameterData(i);
        if (queue == nullptr) continue;
        const ParamID id = queue->getParameterId();
        if (id >= static_cast<ParamID>(kParameterCount)) continue;
        queues[id] = queue;
        pointCount[id] = std::clamp(queue->getPointCount(), 0, kMostPoints);
        if (!isSteppedId(id) && pointCount[id] > 0) {
            rampPending[id] = true;
            // A ramp with nothing known before it starts from where the value stands.
            if (!lastPoint[id].known)
                lastPoint[id] = {framesDone,
                                 effectRecord->getParameter(effectRecord, static_cast<int32_t>(id)), true};
        }
    }
}

bool FlangerVst3::pointAt(ParamID id, int32_t index, int32_t& offset, double& value) const noexcept {
    offset = 0;
    value = 0.0;
    if (queues[id]->getPoint(index, offset, value) != kResultOk || !std::isfinite(value)) return false;
    offset = std::clamp(offset, 0, std::max(blockFrames - 1, 0));
    value = std::clamp(value, 0.0, 1.0);
    return true;
}

void FlangerVst3::applyStepped(int32_t at) noexcept {
    for (ParamID id = 0; id < static_cast<ParamID>(kParameterCount); ++id) {
        if (queues[id] == nullptr || !isSteppedId(id)) continue;
        while (nextPoint[id] < pointCount[id]) {
            int32_t offset = 0;
            double value = 0.0;
            const bool valid = pointAt(id, nextPoint[id], offset, value);
            if (valid && offset > at) break;
            ++nextPoint[id];
            if (!valid) continue;
            if (id == kBypassId)
                bypassed.store(value >= 0.5, std::memory_order_relaxed);
            else if (id == kProgramId) {
                const auto program = static_cast<int32_t>(std::lround(value * (programCount() - 1)));
                if (program != currentProgram()) {
                    selectProgram(program);
                    noteValuesChanged();
                }
            } else
                setEffectParameter(id, value);
        }
    }
}

void FlangerVst3::applyRamps(int32_t at) noexcept {
    const int64_t now = framesDone + at;
    for (ParamID id = 0; id < kEffectParameterCount; ++id) {
        if (!rampPending[id] || isSteppedId(id)) continue;
        Point& last = lastPoint[id];
        bool ahead = false;
        int32_t offset = 0;
        double value = 0.0;
        while (queues[id] != nullptr && nextPoint[id] < pointCount[id]) {
            if (!pointAt(id, nextPoint[id], offset, value)) {
                ++nextPoint[id];
                continue;
            }
            if (framesDone + offset > now) {
                ahead = true;
                break;
            }
            last = {framesDone + offset, value, true};
            ++nextPoint[id];
        }
        double target = last.value;
        if (ahead && framesDone + offset > last.frame) {
            const double t =
                static_cast<double>(now - last.frame) / static_cast<double>(framesDone + offset - last.frame);
            target = last.value + (value - last.value) * t;
        }
        setEffectParameter(id, target);
        if (!ahead) rampPending[id] = false;
    }
}

int32_t FlangerVst3::nextChange(int32_t from, int32_t frames) const noexcept {
    int32_t next = frames;
    bool ramping = false;
    for (ParamID id = 0; id < static_cast<ParamID>(kParameterCount); ++id) {
        if (!isSteppedId(id)) {
            ramping = ramping || rampPending[id];
            continue;
        }
        if (queues[id] == nullptr || nextPoint[id] >= pointCount[id]) continue;
        int32_t offset = 0;
        double value = 0.0;
        if (pointAt(id, nextPoint[id], offset, value) && offset > from) next = std::min(next, offset);
    }
    if (ramping) {
        const int64_t now = framesDone + from;
        const int64_t toGrid = kRampGrid - now % kRampGrid;
        next = static_cast<int32_t>(std::min<int64_t>(next, from + toGrid));
    }
    return next;
}

void FlangerVst3::finishChanges() noexcept {
    // Points the audio did not reach (a call without audio, or offsets past its end) still count:
    // stepped ones apply now, a ramp's last point waits for the next grid frame.
    applyStepped(INT32_MAX);
    for (ParamID id = 0; id < kEffectParameterCount; ++id) {
        if (queues[id] == nullptr || isSteppedId(id)) continue;
        for (; nextPoint[id] < pointCount[id]; ++nextPoint[id]) {
            int32_t offset = 0;
            double value = 0.0;
            if (pointAt(id, nextPoint[id], offset, value)) lastPoint[id] = {framesDone + offset, value, true};
        }
    }
    queues.fill(nullptr);
}

void FlangerVst3::render(float** inputs, float** outputs, int32_t frames) noexcept {
    for (int32_t done = 0; done < frames;) {
        const int32_t n = std::min(frames - done, kScratchFrames);
        float* in[2] = {inputs[0] + done, inputs[1] + done};
        float* out[2] = {outputs[0] + done, outputChannels > 1 ? outputs[1] + done : spare.data()};
        const bool bypassing = bypassed.load(std::memory_order_relaxed);
        const bool fading = bypassing || bypassGain > 0.0f;
        if (fading) {
            // Outputs may be the inputs' buffers: the dry signal is kept before the effect writes.
            std::copy_n(in[0], n, dry.data());
            std::copy_n(in[1], n, dry.data() + kScratchFrames);
        }
        effectRecord->processReplacing(effectRecord, in, out, n);
        if (fading) {
            const float target = bypassing ? 1.0f : 0.0f;
            for (int32_t i = 0; i < n; ++i) {
                bypassGain = bypassGain < target ? std::min(bypassGain + bypassStep, target)
                                                 : std::max(bypassGain - bypassStep, target);
                for (int32_t c = 0; c < outputChannels; ++c) {
                    const float d = dry[static_cast<std::size_t>(c * kScratchFrames + i)];
                    if (bypassGain >= 1.0f) {
                        out[c][i] = d;  // fully bypassed: the host's own samples, untouched
                    } else {
                        const float safe = std::isfinite(d) ? d : 0.0f;
                        out[c][i] += (safe - out[c][i]) * bypassGain;
                    }
                }
            }
        }
        done += n;
    }
}

tresult FlangerVst3::process(ProcessData& data) {
    takeTime(data.processContext);
    const int32_t frames = data.numSamples;
    collectChanges(data.inputParameterChanges, frames);
    if (data.outputs != nullptr && data.numOutputs > 0) data.outputs[0].silenceFlags = 0;

    float* in[2] = {};
    float* out[2] = {};
    bool audio = frames > 0 && data.symbolicSampleSize == kSample32 && data.numInputs >= 1 &&
                 data.numOutputs >= 1 && data.inputs != nullptr && data.outputs != nullptr &&
                 data.inputs[0].numChannels >= inputChannels &&
                 data.outputs[0].numChannels >= outputChannels &&
                 data.inputs[0].channelBuffers32 != nullptr && data.outputs[0].channelBuffers32 != nullptr;
    if (audio) {
        in[0] = data.inputs[0].channelBuffers32[0];
        in[1] = inputChannels > 1 ? data.inputs[0].channelBuffers32[1] : in[0];
        out[0] = data.outputs[0].channelBuffers32[0];
        out[1] = outputChannels > 1 ? data.outputs[0].channelBuffers32[1] : out[0];
        audio = in[0] != nullptr && in[1] != nullptr && out[0] != nullptr && out[1] != nullptr;
    }
    if (audio) {
        for (int32_t at = 0; at < frames;) {
            applyStepped(at);
            if ((framesDone + at) % kRampGrid == 0) applyRamps(at);
            const int32_t end = std::max(nextChange(at, frames), at + 1);
            float* partIn[2] = {in[0] + at, in[1] + at};
            float* partOut[2] = {out[0] + at, out[1] + at};
            render(partIn, partOut, end - at);
            at = end;
        }
    }
    finishChanges();
    if (!audio) {
        // Nothing was heard: the changes of a call without audio hold from now on.
        for (ParamID id = 0; id < kEffectParameterCount; ++id) {
            if (!rampPending[id]) continue;
            setEffectParameter(id, lastPoint[id].value);
            rampPending[id] = false;
        }
    }
    if (reportValues.exchange(false, std::memory_order_acq_rel)) reportValuesTo(data.outputParameterChanges);
    if (frames > 0) framesDone += frames;
    return kResultOk;
}

// The values a program or a state set, handed back as the host reads a processor's own changes.
void FlangerVst3::reportValuesTo(IParameterChanges* changes) noexcept {
    if (changes == nullptr) return;
    for (ParamID id = 0; id < static_cast<ParamID>(kParameterCount); ++id) {
        if (id == kBypassId) continue;  // the host's own
        int32_t index = 0;
        IParamValueQueue* queue = changes->addParameterData(id, index);
        if (queue != nullptr) queue->addPoint(0, getParamNormalized(id), index);
    }
}

}  // namespace flanger::vst3
