// The rig: loading, traced calls, test signals and the output scan.
#include "tools/validate/Rig.h"

#include "tools/validate/Categories.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <numbers>

namespace flanger::tools {

namespace {

// Names of the interface's dispatcher opcodes, 0 to 79 (those above 68 belong to later revisions
// of the interface that hosts still send).
constexpr const char* kOpcodeNames[] = {"effOpen",
                                        "effClose",
                                        "effSetProgram",
                                        "effGetProgram",
                                        "effSetProgramName",
                                        "effGetProgramName",
                                        "effGetParamLabel",
                                        "effGetParamDisplay",
                                        "effGetParamName",
                                        "effGetVu",
                                        "effSetSampleRate",
                                        "effSetBlockSize",
                                        "effMainsChanged",
                                        "effEditGetRect",
                                        "effEditOpen",
                                        "effEditClose",
                                        "effEditDraw",
                                        "effEditMouse",
                                        "effEditKey",
                                        "effEditIdle",
                                        "effEditTop",
                                        "effEditSleep",
                                        "effIdentify",
                                        "effGetChunk",
                                        "effSetChunk",
                                        "effProcessEvents",
                                        "effCanBeAutomated",
                                        "effString2Parameter",
                                        "effGetNumProgramCategories",
                                        "effGetProgramNameIndexed",
                                        "effCopyProgram",
                                        "effConnectInput",
                                        "effConnectOutput",
                                        "effGetInputProperties",
                                        "effGetOutputProperties",
                                        "effGetPlugCategory",
                                        "effGetCurrentPosition",
                                        "effGetDestinationBuffer",
                                        "effOfflineNotify",
                                        "effOfflinePrepare",
                                        "effOfflineRun",
                                        "effProcessVarIo",
                                        "effSetSpeakerArrangement",
                                        "effSetBlockSizeAndSampleRate",
                                        "effSetBypass",
                                        "effGetEffectName",
                                        "effGetErrorText",
                                        "effGetVendorString",
                                        "effGetProductString",
                                        "effGetVendorVersion",
                                        "effVendorSpecific",
                                        "effCanDo",
                                        "effGetTailSize",
                                        "effIdle",
                                        "effGetIcon",
                                        "effSetViewPosition",
                                        "effGetParameterProperties",
                                        "effKeysRequired",
                                        "effGetVstVersion",
                                        "effEditKeyDown",
                                        "effEditKeyUp",
                                        "effSetEditKnobMode",
                                        "effGetMidiProgramName",
                                        "effGetCurrentMidiProgram",
                                        "effGetMidiProgramCategory",
                                        "effHasMidiProgramsChanged",
                                        "effGetMidiKeyName",
                                        "effBeginSetProgram",
                                        "effEndSetProgram",
                                        "effGetSpeakerArrangement",
                                        "effShellGetNextPlugin",
                                        "effStartProcess",
                                        "effStopProcess",
                                        "effSetTotalSampleToProcess",
                                        "effSetPanLaw",
                                        "effBeginLoadBank",
                                        "effBeginLoadProgram",
                                        "effSetProcessPrecision",
                                        "effGetNumMidiInputChannels",
                                        "effGetNumMidiOutputChannels"};

thread_local char unnamedOpcode[24];

}  // namespace

const char* opcodeName(int32_t opcode) noexcept {
    constexpr int32_t count = static_cast<int32_t>(std::size(kOpcodeNames));
    if (opcode >= 0 && opcode < count) return kOpcodeNames[opcode];
    std::snprintf(unnamedOpcode, sizeof unnamedOpcode, "opcode %d", opcode);
    return unnamedOpcode;
}

std::string floatText(float value) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", static_cast<double>(value));
    return text;
}

void SampleScan::add(const SampleScan& other) noexcept {
    if (firstBadFrame < 0 && other.firstBadFrame >= 0) {
        firstBadFrame = other.firstBadFrame;
        firstBadChannel = other.firstBadChannel;
    }
    nonFinite += other.nonFinite;
    subnormal += other.subnormal;
    peak = std::max(peak, other.peak);
}

std::string SampleScan::describe() const {
    char text[160];
    std::snprintf(text, sizeof text,
                  "%lld non-finite and %lld subnormal samples (first: channel %d, frame %lld)",
                  static_cast<long long>(nonFinite), static_cast<long long>(subnormal), firstBadChannel,
                  static_cast<long long>(firstBadFrame));
    return text;
}

SampleScan scanSamples(const float* samples, int32_t frames, int32_t channel, int64_t frameOffset) noexcept {
    SampleScan scan;
    for (int32_t i = 0; i < frames; ++i) {
        const float s = samples[i];
        const int kind = std::fpclassify(s);
        const bool bad = kind == FP_NAN || kind == FP_INFINITE || kind == FP_SUBNORMAL;
        if (kind == FP_NAN || kind == FP_INFINITE) ++scan.nonFinite;
        if (kind == FP_SUBNORMAL) ++scan.subnormal;
        if (bad && scan.firstBadFrame < 0) {
            scan.firstBadFrame = frameOffset + i;
            scan.firstBadChannel = channel;
        }
        if (!bad) scan.peak = std::max(scan.peak, std::fabs(s));
    }
    return scan;
}

const char* signalName(SignalKind kind) noexcept {
    switch (kind) {
        case SignalKind::Silence:
            return "silence";
        case SignalKind::Sine:
            return "sine";
        case SignalKind::Noise:
            return "noise";
        case SignalKind::Impulses:
            return "impulses";
        case SignalKind::Dc:
            return "dc";
        case SignalKind::Hot:
            return "hot (+40 dBFS) noise";
        case SignalKind::Subnormal:
            return "subnormal input";
    }
    return "?";
}

TestSignal::TestSignal(SignalKind signalKind, float rateHz, uint32_t seed)
    : kind(signalKind), rate(rateHz > 1.0f && std::isfinite(rateHz) ? rateHz : 44100.0f), random(seed) {}

void TestSignal::fill(float* const* channels, int32_t channelCount, int32_t frames) noexcept {
    std::uniform_real_distribution<float> uniform(-1.0f, 1.0f);
    const double step = 2.0 * std::numbers::pi * 441.0 / rate;
    for (int32_t i = 0; i < frames; ++i) {
        float value = 0.0f;
        switch (kind) {
            case SignalKind::Silence:
                value = 0.0f;
                break;
            case SignalKind::Sine:
                value = 0.5f * static_cast<float>(std::sin(phase));
                break;
            case SignalKind::Noise:
                value = 0.5f * uniform(random);
                break;
            case SignalKind::Impulses:
                value = (position % 4410 == 0) ? 1.0f : 0.0f;
                break;
            case SignalKind::Dc:
                value = 1.0f;
                break;
            case SignalKind::Hot:
                value = 100.0f * uniform(random);
                break;
            case SignalKind::Subnormal:
                value = 1e-40f * uniform(random);
                break;
        }
        phase += step;
        if (phase > 2.0 * std::numbers::pi) phase -= 2.0 * std::numbers::pi;
        ++position;
        for (int32_t c = 0; c < channelCount; ++c) channels[c][i] = (c % 2 == 0) ? value : -0.75f * value;
    }
}

bool Rig::start(const std::string& modulePath, const RigOptions& options, Findings& findings) {
    HostOptions host;
    host.sampleRate = options.sampleRate;
    host.blockSize = options.blockSize;
    std::string error;
    CallTrace::note("loading the module and calling its entry");
    instance = PluginInstance::load(modulePath, host, &error);
    if (!instance) {
        findings.fail("cannot start the plug-in: %s", error.c_str());
        return false;
    }
    // Channel counts come from the plug-in: keep them sane before sizing anything by them.
    const int32_t ins = std::clamp(instance->inputCount(), 0, 256);
    const int32_t outs = std::clamp(instance->outputCount(), 0, 256);
    inputs = std::make_unique<GuardedChannels>(ins, options.capacityFrames);
    outputs = std::make_unique<GuardedChannels>(outs, options.capacityFrames);
    if (options.open) {
        CallTrace::note("effOpen, effSetSampleRate(%g), effSetBlockSize(%d)",
                        static_cast<double>(options.sampleRate), options.blockSize);
        instance->open();
        if (options.resume) resume();
    }
    return true;
}

intptr_t Rig::dispatch(int32_t opcode, int32_t index, intptr_t value, void* ptr, float opt) {
    CallTrace::note("%s(index %d, value %lld, ptr %s, opt %g)", opcodeName(opcode), index,
                    static_cast<long long>(value), ptr ? "buffer" : "null", static_cast<double>(opt));
    return instance->dispatch(opcode, index, value, ptr, opt);
}

void Rig::setParameter(int32_t index, float value) {
    CallTrace::note("setParameter(%d, %g)", index, static_cast<double>(value));
    instance->setParameter(index, value);
}

float Rig::getParameter(int32_t index) {
    CallTrace::note("getParameter(%d)", index);
    return instance->parameter(index);
}

void Rig::setProgram(int32_t program) {
    CallTrace::note("effBeginSetProgram/effSetProgram(%d)/effEndSetProgram", program);
    instance->setProgram(program);
}

GuardedText Rig::readText(int32_t opcode, int32_t index, size_t size) {
    constexpr unsigned char kFill = 0x7f;
    GuardedText answer;
    GuardedBlock buffer(size, kFill);
    answer.result = dispatch(opcode, index, 0, buffer.data());
    const unsigned char* data = buffer.data();
    answer.touched = std::any_of(data, data + size, [](unsigned char c) { return c != kFill; });
    if (!answer.touched) return answer;
    answer.problem = textProblem(data, size);
    const auto* end = static_cast<const unsigned char*>(std::memchr(data, 0, size));
    answer.terminated = end != nullptr;
    answer.text.assign(reinterpret_cast<const char*>(data), end ? static_cast<size_t>(end - data) : size);
    return answer;
}

void Rig::setProgramName(const std::string& name) {
    const size_t n = std::min<size_t>(name.size(), vst::kNameLength);
    GuardedBlock buffer(n + 1, 0);
    std::memcpy(buffer.data(), name.data(), n);
    dispatch(vst::effSetProgramName, 0, 0, buffer.data());
}

void Rig::configure(float rateHz, int32_t blockSize) {
    suspend();
    CallTrace::note("effSetSampleRate(%g)", static_cast<double>(rateHz));
    instance->setSampleRate(rateHz);
    CallTrace::note("effSetBlockSize(%d)", blockSize);
    instance->setBlockSize(blockSize);
    resume();
}

void Rig::resume() {
    CallTrace::note("effMainsChanged(1)");
    instance->resume();
}

void Rig::suspend() {
    CallTrace::note("effMainsChanged(0)");
    instance->suspend();
}

bool Rig::hasMode(ProcessMode mode) const noexcept {
    const vst::EffectRecord* record = instance ? instance->record() : nullptr;
    if (record == nullptr) return false;
    if (mode == ProcessMode::Replacing)
        return record->processReplacing != nullptr && (record->flags & vst::effFlagsCanReplacing) != 0;
    return record->process != nullptr;
}

ProcessMode Rig::preferredMode() const noexcept {
    return hasMode(ProcessMode::Replacing) ? ProcessMode::Replacing : ProcessMode::Adding;
}

SampleScan Rig::process(ProcessMode mode, int32_t frames, TestSignal& signal, bool inPlace,
                        int64_t frameOffset) {
    frames = std::clamp(frames, 0, capacity());
    float** in = inputs->pointers(frames);
    signal.fill(in, inputs->channels(), frames);
    float** out = in;
    if (!inPlace) {
        outputs->fill(frames, outputBase);
        out = outputs->pointers(frames);
    } else if (inputs->channels() < outputs->channels()) {
        // In place needs as many input arrays as outputs; extra outputs get their own.
        out = outputs->pointers(frames);
        for (int32_t c = 0; c < inputs->channels(); ++c) out[c] = in[c];
    }
    if (mode == ProcessMode::Adding && inPlace)
        mode = ProcessMode::Replacing;  // adding into the input is no call a host makes
    CallTrace::note("%s(%d frames%s)", mode == ProcessMode::Replacing ? "processReplacing" : "process",
                    frames, inPlace ? ", in place" : "");
    instance->process(mode, in, out, frames);
    lastCallFrames = frames;
    lastInPlace = inPlace;
    return scanOutputs(frames, frameOffset, inPlace);
}

SampleScan Rig::processWithSample(ProcessMode mode, int32_t frames, TestSignal& signal, int32_t at,
                                  float sample) {
    frames = std::clamp(frames, 0, capacity());
    float** in = inputs->pointers(frames);
    signal.fill(in, inputs->channels(), frames);
    if (inputs->channels() > 0 && at >= 0 && at < frames) in[0][at] = sample;
    outputs->fill(frames, 0.0f);
    float** out = outputs->pointers(frames);
    CallTrace::note("%s(%d frames, sample %d of input 0 = %g)",
                    mode == ProcessMode::Replacing ? "processReplacing" : "process", frames, at,
                    static_cast<double>(sample));
    instance->process(mode, in, out, frames);
    lastCallFrames = frames;
    lastInPlace = false;
    return scanOutputs(frames, 0, false);
}

SampleScan Rig::run(ProcessMode mode, int64_t totalFrames, int32_t block, TestSignal& signal, bool inPlace) {
    SampleScan total;
    block = std::clamp(block, 1, std::max(capacity(), 1));
    for (int64_t done = 0; done < totalFrames;) {
        const auto frames = static_cast<int32_t>(std::min<int64_t>(block, totalFrames - done));
        total.add(process(mode, frames, signal, inPlace, done));
        done += frames;
    }
    return total;
}

SampleScan Rig::scanOutputs(int32_t frames, int64_t frameOffset, bool inPlace) noexcept {
    SampleScan scan;
    for (int32_t c = 0; c < outputs->channels(); ++c) {
        const float* samples =
            (inPlace && c < inputs->channels()) ? inputs->channel(c, frames) : outputs->channel(c, frames);
        scan.add(scanSamples(samples, frames, c, frameOffset));
    }
    return scan;
}

const float* Rig::lastOutput(int32_t c) noexcept {
    if (lastInPlace && c < inputs->channels()) return inputs->channel(c, lastCallFrames);
    return outputs->channel(c, lastCallFrames);
}

std::vector<float> Rig::readParameters(Findings& findings, const std::string& after) {
    std::vector<float> values;
    const int32_t count = std::clamp(instance->parameterCount(), 0, 100000);
    values.reserve(static_cast<size_t>(count));
    for (int32_t i = 0; i < count; ++i) {
        const float v = getParameter(i);
        values.push_back(v);
        if (!std::isfinite(v) || v < 0.0f || v > 1.0f)
            findings.fail("after %s: getParameter(%d) = %s, outside [0, 1]", after.c_str(), i,
                          floatText(v).c_str());
    }
    return values;
}

void Rig::close() {
    if (!instance) return;
    CallTrace::note("effClose");
    instance->close();
}

}  // namespace flanger::tools
