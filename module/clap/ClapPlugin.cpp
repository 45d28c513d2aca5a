// The flanger's CLAP plug-in. Every host call comes through a static trampoline that checks the
// table it was given, then to the object, which forwards to the effect through its VST 2.x
// interface, so the effect never learns which format hosts it.
#include "module/clap/ClapPlugin.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

#include "effect/FlangerEffect.h"
#include "module/EditorChoice.h"
#include "module/SavedState.h"
#include "module/clap/ClapEditor.h"
#include "params/FlangerParameters.h"

namespace flanger::clap {

namespace {

constexpr double kLowestRate = 1.0;
constexpr double kHighestRate = 768000.0;

constexpr const char* kFeatures[] = {"audio-effect", "flanger", "stereo", nullptr};

const clap_plugin_descriptor kDescriptor{
    kClapVersion,
    kPluginId,
    kPluginName,
    kVendor,
    "",
    "",
    "",
    FLANGER_VERSION,
    "A stereo flanger with a second, panned voice and a tempo-locked sweep",
    kFeatures};

intptr_t answerTrampoline(vst::EffectRecord* record, int32_t opcode, int32_t index, intptr_t value, void* ptr,
                          float opt) {
    if (opcode == vst::audioMasterVersion) return 2400;
    auto* self = record != nullptr ? static_cast<FlangerClap*>(record->user) : nullptr;
    return self != nullptr ? self->answerEffect(opcode, index, value, ptr, opt) : 0;
}

// A C string into a fixed field, cut and always terminated.
void copyText(char* to, std::size_t capacity, const char* from) noexcept {
    if (to == nullptr || capacity == 0) return;
    std::snprintf(to, capacity, "%s", from != nullptr ? from : "");
}

// ---- the plug-in table's trampolines: a table not ours, or a null one, gets the safe answer

bool CLAP_CALL pluginInit(const clap_plugin* plugin) {
    FlangerClap* self = FlangerClap::from(plugin);
    return self != nullptr && self->init();
}

bool CLAP_CALL pluginActivate(const clap_plugin* plugin, double rate, uint32_t, uint32_t maxFrames) {
    FlangerClap* self = FlangerClap::from(plugin);
    return self != nullptr && self->activate(rate, maxFrames);
}

void CLAP_CALL pluginDeactivate(const clap_plugin* plugin) {
    if (FlangerClap* self = FlangerClap::from(plugin)) self->deactivate();
}

bool CLAP_CALL pluginStartProcessing(const clap_plugin* plugin) {
    return FlangerClap::from(plugin) != nullptr;
}

void CLAP_CALL pluginStopProcessing(const clap_plugin*) {}

void CLAP_CALL pluginReset(const clap_plugin* plugin) {
    if (FlangerClap* self = FlangerClap::from(plugin)) self->reset();
}

clap_process_status CLAP_CALL pluginProcess(const clap_plugin* plugin, const clap_process* block) {
    FlangerClap* self = FlangerClap::from(plugin);
    if (self == nullptr || block == nullptr) return kProcessError;
    return self->process(*block);
}

const void* CLAP_CALL pluginExtension(const clap_plugin* plugin, const char* id) {
    FlangerClap* self = FlangerClap::from(plugin);
    return self != nullptr && id != nullptr ? self->extension(id) : nullptr;
}

void CLAP_CALL pluginOnMainThread(const clap_plugin* plugin) {
    if (FlangerClap* self = FlangerClap::from(plugin)) self->onMainThread();
}

// ---- extensions

uint32_t CLAP_CALL portCount(const clap_plugin* plugin, bool) {
    return FlangerClap::from(plugin) != nullptr ? 1 : 0;
}

bool CLAP_CALL portGet(const clap_plugin* plugin, uint32_t index, bool isInput, clap_audio_port_info* info) {
    if (FlangerClap::from(plugin) == nullptr || index != 0 || info == nullptr) return false;
    *info = clap_audio_port_info{};
    info->id = 0;
    copyText(info->name, sizeof info->name, isInput ? "Input" : "Output");
    info->flags = kAudioPortIsMain;
    info->channelCount = 2;
    info->portType = kPortStereo;
    info->inPlacePair = 0;  // the other direction's port 0
    return true;
}

const clap_plugin_audio_ports kAudioPorts{portCount, portGet};

uint32_t CLAP_CALL paramCount(const clap_plugin* plugin) {
    return FlangerClap::from(plugin) != nullptr ? kParameterCount : 0;
}

bool CLAP_CALL paramInfo(const clap_plugin* plugin, uint32_t index, clap_param_info* info) {
    FlangerClap* self = FlangerClap::from(plugin);
    return self != nullptr && info != nullptr && self->parameterInfo(index, *info);
}

bool CLAP_CALL paramValue(const clap_plugin* plugin, clap_id id, double* value) {
    FlangerClap* self = FlangerClap::from(plugin);
    return self != nullptr && value != nullptr && self->parameterValue(id, *value);
}

bool CLAP_CALL paramValueToText(const clap_plugin* plugin, clap_id id, double value, char* text,
                                uint32_t capacity) {
    FlangerClap* self = FlangerClap::from(plugin);
    return self != nullptr && text != nullptr && capacity > 0 && self->valueToText(id, value, text, capacity);
}

bool CLAP_CALL paramTextToValue(const clap_plugin* plugin, clap_id id, const char* text, double* value) {
    FlangerClap* self = FlangerClap::from(plugin);
    return self != nullptr && text != nullptr && value != nullptr && self->textToValue(id, text, *value);
}

void CLAP_CALL paramFlush(const clap_plugin* plugin, const clap_input_events* in,
                          const clap_output_events* out) {
    if (FlangerClap* self = FlangerClap::from(plugin)) self->flush(in, out);
}

const clap_plugin_params kParams{paramCount,       paramInfo,        paramValue,
                                 paramValueToText, paramTextToValue, paramFlush};

bool CLAP_CALL stateSave(const clap_plugin* plugin, const clap_ostream* stream) {
    FlangerClap* self = FlangerClap::from(plugin);
    return self != nullptr && stream != nullptr && stream->write != nullptr && self->save(*stream);
}

bool CLAP_CALL stateLoad(const clap_plugin* plugin, const clap_istream* stream) {
    FlangerClap* self = FlangerClap::from(plugin);
    return self != nullptr && stream != nullptr && stream->read != nullptr && self->load(*stream);
}

const clap_plugin_state kState{stateSave, stateLoad};

uint32_t CLAP_CALL latencyGet(const clap_plugin*) {
    return 0;
}

const clap_plugin_latency kLatency{latencyGet};

bool CLAP_CALL presetFromLocation(const clap_plugin* plugin, uint32_t kind, const char* location,
                                  const char* key) {
    FlangerClap* self = FlangerClap::from(plugin);
    return self != nullptr && self->loadPreset(kind, location, key);
}

const clap_plugin_preset_load kPresetLoad{presetFromLocation};

// Reads exactly size bytes, however few each read brings; false at an early end or an error.
bool readFully(const clap_istream& stream, unsigned char* to, std::size_t size) noexcept {
    std::size_t done = 0;
    while (done < size) {
        const int64_t got = stream.read(&stream, to + done, size - done);
        if (got <= 0 || static_cast<uint64_t>(got) > size - done) return false;
        done += static_cast<std::size_t>(got);
    }
    return true;
}

bool writeFully(const clap_ostream& stream, const unsigned char* from, std::size_t size) noexcept {
    std::size_t done = 0;
    while (done < size) {
        const int64_t put = stream.write(&stream, from + done, size - done);
        if (put <= 0 || static_cast<uint64_t>(put) > size - done) return false;
        done += static_cast<std::size_t>(put);
    }
    return true;
}

}  // namespace

const clap_plugin_descriptor& flangerDescriptor() noexcept {
    return kDescriptor;
}

FlangerClap::FlangerClap(const clap_host* host) noexcept : hostTable(host) {
    table.desc = &kDescriptor;
    table.pluginData = this;
    table.init = pluginInit;
    table.destroy = destroy;
    table.activate = pluginActivate;
    table.deactivate = pluginDeactivate;
    table.startProcessing = pluginStartProcessing;
    table.stopProcessing = pluginStopProcessing;
    table.reset = pluginReset;
    table.process = pluginProcess;
    table.getExtension = pluginExtension;
    table.onMainThread = pluginOnMainThread;
}

FlangerClap::~FlangerClap() {
    delete editor;  // closes the effect's editor before the effect goes
}

const clap_plugin* FlangerClap::create(const clap_host* host) noexcept {
    if (host == nullptr) return nullptr;
    auto* self = new (std::nothrow) FlangerClap(host);
    if (self == nullptr) return nullptr;
    if (!self->open()) {
        delete self;
        return nullptr;
    }
    return &self->table;
}

FlangerClap* FlangerClap::from(const clap_plugin* plugin) noexcept {
    if (plugin == nullptr || plugin->desc != &kDescriptor || plugin->pluginData == nullptr) return nullptr;
    return static_cast<FlangerClap*>(plugin->pluginData);
}

void FlangerClap::destroy(const clap_plugin* plugin) noexcept {
    delete from(plugin);
}

bool FlangerClap::open() noexcept {
    if (!hosted.open(&answerTrampoline, this, module::editorFactory(), sampleRate, maxBlock)) return false;
    effectRecord = hosted.record();
    for (clap_id id = 0; id < kParameterCount; ++id)
        defaults[id] = plainOf(id, effectRecord->getParameter(effectRecord, static_cast<int32_t>(id)));
    return true;
}

const void* FlangerClap::hostExtension(const char* id) const noexcept {
    if (hostTable->getExtension == nullptr) return nullptr;
    return hostTable->getExtension(hostTable, id);
}

float FlangerClap::normalisedOf(clap_id id, double plain) const noexcept {
    const auto index = static_cast<int>(id);
    const params::ParameterTable* ranges = hosted.effect().parameterTable();
    const double held = std::clamp(plain, static_cast<double>(ranges->minimum(index)),
                                   static_cast<double>(ranges->maximum(index)));
    return std::clamp(ranges->normalize(index, static_cast<float>(held)), 0.0f, 1.0f);
}

// Held to the range the host was given: the table's float arithmetic can land a hair outside it
// (0.001 + 1 × 99.999 is 100.0000076).
double FlangerClap::plainOf(clap_id id, float normalised) const noexcept {
    const auto index = static_cast<int>(id);
    const params::ParameterTable* ranges = hosted.effect().parameterTable();
    const double plain = ranges->denormalize(index, std::clamp(normalised, 0.0f, 1.0f));
    return std::clamp(plain, static_cast<double>(ranges->minimum(index)),
                      static_cast<double>(ranges->maximum(index)));
}

// ---- lifecycle

bool FlangerClap::init() noexcept {
    return true;
}

bool FlangerClap::activate(double rate, uint32_t maxFrames) noexcept {
    if (active || !(rate >= kLowestRate && rate <= kHighestRate) || maxFrames == 0) return false;
    sampleRate = rate;
    maxBlock = static_cast<int32_t>(std::min<uint32_t>(maxFrames, INT32_MAX));
    hosted.dispatch(vst::effSetSampleRate, 0, 0, nullptr, static_cast<float>(sampleRate));
    hosted.dispatch(vst::effSetBlockSize, 0, maxBlock);
    hosted.dispatch(vst::effMainsChanged, 0, 1);
    active = true;
    return true;
}

void FlangerClap::deactivate() noexcept {
    if (!active) return;
    hosted.dispatch(vst::effMainsChanged, 0, 0);
    active = false;
}

void FlangerClap::reset() noexcept {
    // Nothing heard before may sound after: both voices' lines are cleared (a VST 2.x restart
    // clears the main voice's only). The sweeps run on freely, as the effect's always do.
    if (active) hosted.effect().clearHistory();
}

const void* FlangerClap::extension(const char* id) noexcept {
    if (std::strcmp(id, kExtAudioPorts) == 0) return &kAudioPorts;
    if (std::strcmp(id, kExtParams) == 0) return &kParams;
    if (std::strcmp(id, kExtState) == 0) return &kState;
    if (std::strcmp(id, kExtLatency) == 0) return &kLatency;
    if (std::strcmp(id, kExtPresetLoad) == 0 || std::strcmp(id, kExtPresetLoadCompat) == 0)
        return &kPresetLoad;
    return editorExtension(id);
}

void FlangerClap::onMainThread() noexcept {
    if (!valuesChanged.exchange(false, std::memory_order_acq_rel)) return;
    if (const auto* params = static_cast<const clap_host_params*>(hostExtension(kExtParams));
        params != nullptr && params->rescan != nullptr)
        params->rescan(hostTable, kParamRescanValues | kParamRescanText);
}

void FlangerClap::tellHostValuesChanged() noexcept {
    valuesChanged.store(true, std::memory_order_release);
    // Answered (or not) later on the main thread; the editor's timer tells the host as well.
    if (hostTable->requestCallback != nullptr) hostTable->requestCallback(hostTable);
}

// ---- processing

void FlangerClap::takeTime(const clap_event_transport* transport) noexcept {
    timeValid = transport != nullptr;
    if (!timeValid) return;
    timeInfo = vst::VstTimeInfo{};
    timeInfo.sampleRate = sampleRate;
    if ((transport->flags & kTransportHasSecondsTimeline) != 0)
        timeInfo.samplePos = static_cast<double>(transport->songPosSeconds) / kSecTimeFactor * sampleRate;
    if ((transport->flags & kTransportHasBeatsTimeline) != 0)
        timeInfo.ppqPos = static_cast<double>(transport->songPosBeats) / kBeatTimeFactor;
    if ((transport->flags & kTransportHasTimeSignature) != 0) {
        timeInfo.timeSigNumerator = transport->tsigNum;
        timeInfo.timeSigDenominator = transport->tsigDenom;
    }
    if ((transport->flags & kTransportHasTempo) != 0 && std::isfinite(transport->tempo)) {
        timeInfo.tempo = transport->tempo;
        timeInfo.flags |= vst::kVstTempoValid;
    }
    if ((transport->flags & kTransportIsPlaying) != 0) timeInfo.flags |= vst::kVstTransportPlaying;
}

void FlangerClap::applyEvent(const clap_event_header& event) noexcept {
    if (event.spaceId != kCoreEventSpace || event.type != kEventParamValue ||
        event.size < sizeof(clap_event_param_value))
        return;
    const auto& change = reinterpret_cast<const clap_event_param_value&>(event);
    if (change.paramId >= kParameterCount || !std::isfinite(change.value)) return;
    const auto index = static_cast<int32_t>(change.paramId);
    const float value = normalisedOf(change.paramId, change.value);
    // The same value again changes nothing; skipped so a host echoing it costs nothing.
    if (effectRecord->getParameter(effectRecord, index) != value)
        effectRecord->setParameter(effectRecord, index, value);
}

void FlangerClap::sendEdits(const clap_output_events* out) noexcept {
    const uint32_t written = editsWritten.load(std::memory_order_acquire);
    uint32_t read = editsRead.load(std::memory_order_relaxed);
    for (; read != written; ++read) {
        const Edit& edit = edits[read % kEditRing];
        if (out == nullptr || out->tryPush == nullptr) continue;
        if (edit.type == kEventParamValue) {
            clap_event_param_value value{};
            value.header = {sizeof value, 0, kCoreEventSpace, kEventParamValue, 0};
            value.paramId = edit.id;
            value.noteId = -1;
            value.portIndex = -1;
            value.channel = -1;
            value.key = -1;
            value.value = edit.value;
            out->tryPush(out, &value.header);
        } else {
            clap_event_param_gesture gesture{};
            gesture.header = {sizeof gesture, 0, kCoreEventSpace, edit.type, 0};
            gesture.paramId = edit.id;
            out->tryPush(out, &gesture.header);
        }
    }
    editsRead.store(read, std::memory_order_release);
}

clap_process_status FlangerClap::process(const clap_process& block) noexcept {
    takeTime(block.transport);
    const uint32_t frames = block.framesCount;
    const clap_input_events* in = block.inEvents;
    const uint32_t eventCount = in != nullptr && in->size != nullptr && in->get != nullptr ? in->size(in) : 0;

    float* inputs[2] = {};
    float* outputs[2] = {};
    bool audio = frames > 0 && block.audioInputsCount >= 1 && block.audioOutputsCount >= 1 &&
                 block.audioInputs != nullptr && block.audioOutputs != nullptr &&
                 block.audioInputs[0].channelCount >= 2 && block.audioOutputs[0].channelCount >= 2 &&
                 block.audioInputs[0].data32 != nullptr && block.audioOutputs[0].data32 != nullptr;
    if (audio) {
        inputs[0] = block.audioInputs[0].data32[0];
        inputs[1] = block.audioInputs[0].data32[1];
        outputs[0] = block.audioOutputs[0].data32[0];
        outputs[1] = block.audioOutputs[0].data32[1];
        audio =
            inputs[0] != nullptr && inputs[1] != nullptr && outputs[0] != nullptr && outputs[1] != nullptr;
    }
    // Each event at its own frame: the block is cut there, so a value lands on the frame the host
    // gave it, not at the start of the block it happened to fall in.
    uint32_t done = 0;
    for (uint32_t e = 0; e <= eventCount; ++e) {
        const clap_event_header* event = e < eventCount ? in->get(in, e) : nullptr;
        if (e < eventCount && event == nullptr) continue;
        const uint32_t at = event != nullptr ? std::min(std::max(event->time, done), frames) : frames;
        if (audio && at > done) {
            float* partIn[2] = {inputs[0] + done, inputs[1] + done};
            float* partOut[2] = {outputs[0] + done, outputs[1] + done};
            effectRecord->processReplacing(effectRecord, partIn, partOut, static_cast<int32_t>(at - done));
            done = at;
        }
        if (event != nullptr) applyEvent(*event);
    }
    sendEdits(block.outEvents);
    if (frames > 0 && !audio) return kProcessError;
    if (audio) block.audioOutputs[0].constantMask = 0;
    return kProcessContinue;
}

void FlangerClap::flush(const clap_input_events* in, const clap_output_events* out) noexcept {
    const uint32_t count = in != nullptr && in->size != nullptr && in->get != nullptr ? in->size(in) : 0;
    for (uint32_t e = 0; e < count; ++e)
        if (const clap_event_header* event = in->get(in, e)) applyEvent(*event);
    sendEdits(out);
}

// ---- parameters

bool FlangerClap::parameterInfo(uint32_t index, clap_param_info& info) noexcept {
    if (index >= kParameterCount) return false;
    info = clap_param_info{};
    info.id = index;
    info.flags = kParamIsAutomatable;
    if (params::isStepped(static_cast<int>(index))) info.flags |= kParamIsStepped;
    char name[80] = {};
    hosted.dispatch(vst::effGetParamName, static_cast<int32_t>(index), 0, name);
    name[sizeof name - 1] = 0;
    copyText(info.name, sizeof info.name, name);
    const params::ParameterTable* ranges = hosted.effect().parameterTable();
    info.minValue = ranges->minimum(static_cast<int>(index));
    info.maxValue = ranges->maximum(static_cast<int>(index));
    info.defaultValue = defaults[index];
    return true;
}

bool FlangerClap::parameterValue(clap_id id, double& value) noexcept {
    if (id >= kParameterCount) return false;
    value = plainOf(id, effectRecord->getParameter(effectRecord, static_cast<int32_t>(id)));
    return true;
}

bool FlangerClap::valueToText(clap_id id, double value, char* text, uint32_t capacity) noexcept {
    if (id >= kParameterCount || !std::isfinite(value)) return false;
    return hosted.displayOf(static_cast<int32_t>(id), normalisedOf(id, value), text, capacity);
}

bool FlangerClap::textToValue(clap_id id, const char* text, double& value) noexcept {
    float normalised = 0.0f;
    if (id >= kParameterCount || !hosted.readText(static_cast<int32_t>(id), text, normalised)) return false;
    value = plainOf(id, normalised);
    return true;
}

// ---- state and presets

bool FlangerClap::save(const clap_ostream& stream) noexcept {
    try {
        const std::vector<unsigned char> saved = module::saveState(*effectRecord);
        return !saved.empty() && writeFully(stream, saved.data(), saved.size());
    } catch (...) {
        return false;
    }
}

bool FlangerClap::load(const clap_istream& stream) noexcept {
    try {
        unsigned char header[module::kStateHeaderSize];
        if (!readFully(stream, header, sizeof header)) return false;
        const int64_t size = module::stateBodySize(header, sizeof header);
        if (size < 0) return false;
        std::vector<unsigned char> body(static_cast<std::size_t>(size));
        if (!readFully(stream, body.data(), body.size())) return false;
        if (!module::loadState(*effectRecord, body.data(), body.size())) return false;
        // On the main thread: the host reads the new values now, not when (or if) it calls back.
        valuesChanged.store(true, std::memory_order_release);
        onMainThread();
        return true;
    } catch (...) {
        return false;
    }
}

bool FlangerClap::loadPreset(uint32_t kind, const char* location, const char* key) noexcept {
    const auto* host = static_cast<const clap_host_preset_load*>(hostExtension(kExtPresetLoad));
    if (host == nullptr)
        host = static_cast<const clap_host_preset_load*>(hostExtension(kExtPresetLoadCompat));
    // The factory programs live in the plug-in: the key is the program's index, written plainly.
    int32_t program = -1;
    if (kind == kPresetLocationPlugin && key != nullptr && key[0] >= '0' && key[0] <= '9' &&
        std::strlen(key) <= 3) {
        program = 0;
        for (const char* c = key; *c != 0; ++c) {
            if (*c < '0' || *c > '9') {
                program = -1;
                break;
            }
            program = program * 10 + (*c - '0');
        }
    }
    if (program < 0 || program >= hosted.programCount()) {
        if (host != nullptr && host->onError != nullptr)
            host->onError(hostTable, kind, location, key, 0, "no such factory program");
        return false;
    }
    hosted.selectProgram(program);
    valuesChanged.store(true, std::memory_order_release);
    onMainThread();
    if (host != nullptr && host->loaded != nullptr) host->loaded(hostTable, kind, location, key);
    return true;
}

// ---- the effect's requests

intptr_t FlangerClap::answerEffect(int32_t opcode, int32_t index, intptr_t value, void*, float opt) noexcept {
    switch (opcode) {
        case vst::audioMasterGetTime:
            return timeValid ? reinterpret_cast<intptr_t>(&timeInfo) : 0;
        case vst::audioMasterGetSampleRate:
            return static_cast<intptr_t>(sampleRate);
        case vst::audioMasterGetBlockSize:
            return maxBlock;
        // The editor's edits, on the main thread: queued for the host's next process or flush.
        case vst::audioMasterAutomate:
        case vst::audioMasterBeginEdit:
        case vst::audioMasterEndEdit: {
            if (index < 0 || index >= static_cast<int32_t>(kParameterCount)) return 0;
            const uint32_t written = editsWritten.load(std::memory_order_relaxed);
            if (written - editsRead.load(std::memory_order_acquire) >= kEditRing) return 0;  // full: dropped
            const auto id = static_cast<clap_id>(index);
            const uint16_t type = opcode == vst::audioMasterAutomate    ? kEventParamValue
                                  : opcode == vst::audioMasterBeginEdit ? kEventParamGestureBegin
                                                                        : kEventParamGestureEnd;
            edits[written % kEditRing] = {type, id, type == kEventParamValue ? plainOf(id, opt) : 0.0};
            editsWritten.store(written + 1, std::memory_order_release);
            if (const auto* params = static_cast<const clap_host_params*>(hostExtension(kExtParams));
                params != nullptr && params->requestFlush != nullptr)
                params->requestFlush(hostTable);
            return 1;
        }
        case vst::audioMasterUpdateDisplay:
            tellHostValuesChanged();
            return 1;
        case vst::audioMasterSizeWindow:
            return editor != nullptr && editor->resizeTo(index, static_cast<int32_t>(value)) ? 1 : 0;
        default:
            return 0;
    }
}

}  // namespace flanger::clap
