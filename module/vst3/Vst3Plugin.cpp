// The flanger's VST3 object. Every host call is checked and answered here, then forwarded to the
// effect through its VST 2.x interface, so the effect never learns which format hosts it.
#include "module/vst3/Vst3Plugin.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <vector>

#include "effect/FlangerEffect.h"
#include "module/EditorChoice.h"
#include "module/SavedState.h"
#include "module/vst3/Vst3Text.h"
#include "module/vst3/Vst3View.h"
#include "params/FlangerParameters.h"

namespace flanger::vst3 {

namespace {

constexpr double kLowestRate = 1.0;
constexpr double kHighestRate = 768000.0;
constexpr double kBypassFadeSeconds = 0.010;

intptr_t answerTrampoline(vst::EffectRecord* record, int32_t opcode, int32_t index, intptr_t value, void* ptr,
                          float opt) {
    if (opcode == vst::audioMasterVersion) return 2400;
    auto* self = record != nullptr ? static_cast<FlangerVst3*>(record->user) : nullptr;
    return self != nullptr ? self->answerEffect(opcode, index, value, ptr, opt) : 0;
}

float clampNormalised(double value) noexcept {
    return static_cast<float>(std::clamp(value, 0.0, 1.0));
}

// Reads exactly size bytes from wherever the stream stands, however few each read brings.
bool readFully(IBStream* stream, unsigned char* to, std::size_t size) noexcept {
    std::size_t done = 0;
    while (done < size) {
        int32_t got = 0;
        const auto want = static_cast<int32_t>(std::min<std::size_t>(size - done, 1 << 20));
        if (stream->read(to + done, want, &got) != kResultOk || got <= 0 || got > want) return false;
        done += static_cast<std::size_t>(got);
    }
    return true;
}

bool writeFully(IBStream* stream, unsigned char* from, std::size_t size) noexcept {
    std::size_t done = 0;
    while (done < size) {
        int32_t put = 0;
        const auto want = static_cast<int32_t>(std::min<std::size_t>(size - done, 1 << 20));
        if (stream->write(from + done, want, &put) != kResultOk || put <= 0 || put > want) return false;
        done += static_cast<std::size_t>(put);
    }
    return true;
}

}  // namespace

FlangerVst3::FlangerVst3() noexcept = default;

FlangerVst3::~FlangerVst3() {
    if (hostContext != nullptr) hostContext->release();
    if (handler != nullptr) handler->release();
}

FlangerVst3* FlangerVst3::create() noexcept {
    auto* self = new (std::nothrow) FlangerVst3;
    if (self == nullptr) return nullptr;
    if (!self->open()) {
        self->release();
        return nullptr;
    }
    return self;
}

bool FlangerVst3::open() noexcept {
    if (!hosted.open(&answerTrampoline, this, module::editorFactory(true), sampleRate, maxBlock))
        return false;
    effectRecord = hosted.record();
    for (ParamID id = 0; id < kEffectParameterCount; ++id)
        defaults[id] = effectRecord->getParameter(effectRecord, static_cast<int32_t>(id));
    return true;
}

intptr_t FlangerVst3::dispatch(int32_t opcode, int32_t index, intptr_t value, void* ptr, float opt) noexcept {
    return hosted.dispatch(opcode, index, value, ptr, opt);
}

int32_t FlangerVst3::programCount() const noexcept {
    return hosted.programCount();
}

// The program as this object last picked or loaded it: the only paths that change it. Read from
// the audio thread too, where asking the effect would race with a pick on another thread.
int32_t FlangerVst3::currentProgram() noexcept {
    return shownProgram.load(std::memory_order_relaxed);
}

void FlangerVst3::selectProgram(int32_t program) noexcept {
    if (program < 0 || program >= programCount()) return;
    hosted.selectProgram(program);
    shownProgram.store(program, std::memory_order_relaxed);
}

void FlangerVst3::setEffectParameter(ParamID id, double normalised) noexcept {
    const float value = clampNormalised(normalised);
    const auto index = static_cast<int32_t>(id);
    // The same value again changes nothing; it is skipped so a host echoing it costs nothing.
    if (effectRecord->getParameter(effectRecord, index) == value) return;
    effectRecord->setParameter(effectRecord, index, value);
}

// ---- FUnknown

tresult FlangerVst3::queryInterface(const TUID iid, void** object) {
    if (object == nullptr) return kInvalidArgument;
    *object = nullptr;
    if (sameUid(iid, kFUnknownIid) || sameUid(iid, kPluginBaseIid) || sameUid(iid, kComponentIid))
        *object = static_cast<IComponent*>(this);
    else if (sameUid(iid, kAudioProcessorIid))
        *object = static_cast<IAudioProcessor*>(this);
    else if (sameUid(iid, kEditControllerIid))
        *object = static_cast<IEditController*>(this);
    else if (sameUid(iid, kUnitInfoIid))
        *object = static_cast<IUnitInfo*>(this);
    else
        return kNoInterface;
    addRef();
    return kResultOk;
}

uint32_t FlangerVst3::addRef() {
    return references.fetch_add(1, std::memory_order_relaxed) + 1;
}

uint32_t FlangerVst3::release() {
    const uint32_t left = references.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (left == 0) delete this;
    return left;
}

// ---- IPluginBase: hosts initialise and terminate more than once; each call stands alone.

tresult FlangerVst3::initialize(FUnknown* context) {
    if (context != nullptr) context->addRef();
    if (hostContext != nullptr) hostContext->release();
    hostContext = context;
    return kResultOk;
}

tresult FlangerVst3::terminate() {
    if (hostContext != nullptr) hostContext->release();
    hostContext = nullptr;
    if (handler != nullptr) handler->release();
    handler = nullptr;
    return kResultOk;
}

// ---- IComponent

tresult FlangerVst3::getControllerClassId(TUID classId) {
    if (classId == nullptr) return kInvalidArgument;
    // One object is both halves: the controller is this same class.
    std::memcpy(classId, kFlangerClassId.bytes, sizeof kFlangerClassId.bytes);
    return kResultOk;
}

tresult FlangerVst3::setIoMode(int32_t) {
    return kResultOk;
}

int32_t FlangerVst3::getBusCount(int32_t type, int32_t direction) {
    return type == kAudio && (direction == kInput || direction == kOutput) ? 1 : 0;
}

tresult FlangerVst3::getBusInfo(int32_t type, int32_t direction, int32_t index, BusInfo& bus) {
    if (type != kAudio || index != 0 || (direction != kInput && direction != kOutput))
        return kInvalidArgument;
    bus = BusInfo{};
    bus.mediaType = kAudio;
    bus.direction = direction;
    bus.channelCount = direction == kInput ? inputChannels : outputChannels;
    copyToUtf16(bus.name, 128, direction == kInput ? "Input" : "Output");
    bus.busType = kMain;
    bus.flags = kDefaultActive;
    return kResultOk;
}

tresult FlangerVst3::getRoutingInfo(RoutingInfo&, RoutingInfo&) {
    return kNotImplemented;
}

tresult FlangerVst3::activateBus(int32_t type, int32_t direction, int32_t index, TBool) {
    if (type != kAudio || index != 0 || (direction != kInput && direction != kOutput))
        return kInvalidArgument;
    return kResultOk;
}

tresult FlangerVst3::setActive(TBool state) {
    if ((state != 0) == active) return kResultOk;
    active = state != 0;
    if (active) {
        framesDone = 0;
        bypassGain = bypassed.load(std::memory_order_relaxed) ? 1.0f : 0.0f;
        lastPoint.fill({});
        rampPending.fill(false);
    }
    dispatch(vst::effMainsChanged, 0, active ? 1 : 0);
    return kResultOk;
}

tresult FlangerVst3::setState(IBStream* state) {
    if (state == nullptr) return kInvalidArgument;
    try {
        unsigned char header[module::kStateHeaderSize];
        if (!readFully(state, header, sizeof header)) return kResultFalse;
        const int64_t size = module::stateBodySize(header, sizeof header);
        if (size < 0) return kResultFalse;
        std::vector<unsigned char> body(static_cast<std::size_t>(size));
        if (!readFully(state, body.data(), body.size())) return kResultFalse;
        if (!module::loadState(*effectRecord, body.data(), body.size())) return kResultFalse;
        shownProgram.store(module::stateProgram(body.data(), body.size()), std::memory_order_relaxed);
        noteValuesChanged();
        return kResultOk;
    } catch (...) {
        return kResultFalse;
    }
}

tresult FlangerVst3::getState(IBStream* state) {
    if (state == nullptr) return kInvalidArgument;
    try {
        std::vector<unsigned char> saved = module::saveState(*effectRecord);
        if (saved.empty()) return kResultFalse;
        return writeFully(state, saved.data(), saved.size()) ? kResultOk : kResultFalse;
    } catch (...) {
        return kResultFalse;
    }
}

// ---- IAudioProcessor

tresult FlangerVst3::setBusArrangements(SpeakerArrangement* inputs, int32_t numIns,
                                        SpeakerArrangement* outputs, int32_t numOuts) {
    if (inputs == nullptr || outputs == nullptr || numIns != 1 || numOuts != 1 || active) return kResultFalse;
    const SpeakerArrangement in = inputs[0];
    const SpeakerArrangement out = outputs[0];
    // What the VST 2.x module takes: stereo, mono into stereo, and mono alone.
    const bool taken = (in == kArrangementStereo && out == kArrangementStereo) ||
                       (in == kArrangementMono && (out == kArrangementStereo || out == kArrangementMono));
    if (!taken) return kResultFalse;
    const int32_t ins = in == kArrangementMono ? 1 : 2;
    const int32_t outs = out == kArrangementMono ? 1 : 2;
    vst::VstSpeakerArrangement inArrangement{0, ins};
    vst::VstSpeakerArrangement outArrangement{0, outs};
    if (dispatch(vst::effSetSpeakerArrangement, 0, reinterpret_cast<intptr_t>(&inArrangement),
                 &outArrangement) == 0)
        return kResultFalse;
    inputChannels = ins;
    outputChannels = outs;
    return kResultTrue;
}

tresult FlangerVst3::getBusArrangement(int32_t direction, int32_t index, SpeakerArrangement& arr) {
    if (index != 0 || (direction != kInput && direction != kOutput)) return kInvalidArgument;
    const int32_t channels = direction == kInput ? inputChannels : outputChannels;
    arr = channels == 1 ? kArrangementMono : kArrangementStereo;
    return kResultOk;
}

tresult FlangerVst3::canProcessSampleSize(int32_t symbolicSampleSize) {
    return symbolicSampleSize == kSample32 ? kResultTrue : kResultFalse;
}

uint32_t FlangerVst3::getLatencySamples() {
    return 0;
}

uint32_t FlangerVst3::getTailSamples() {
    return static_cast<uint32_t>(std::max<intptr_t>(dispatch(vst::effGetTailSize), 0));
}

tresult FlangerVst3::setupProcessing(ProcessSetup& setup) {
    if (active) return kResultFalse;
    if (setup.symbolicSampleSize != kSample32) return kResultFalse;
    if (!(setup.sampleRate >= kLowestRate && setup.sampleRate <= kHighestRate)) return kResultFalse;
    sampleRate = setup.sampleRate;
    maxBlock = std::max(setup.maxSamplesPerBlock, 1);
    dispatch(vst::effSetSampleRate, 0, 0, nullptr, static_cast<float>(sampleRate));
    dispatch(vst::effSetBlockSize, 0, maxBlock);
    bypassStep = 1.0f / static_cast<float>(std::max(1.0, std::ceil(kBypassFadeSeconds * sampleRate)));
    return kResultOk;
}

tresult FlangerVst3::setProcessing(TBool) {
    return kResultOk;
}

// ---- IEditController

tresult FlangerVst3::setComponentState(IBStream*) {
    // The component is this object: the state is already loaded. The host learns the values from
    // the next process call (calling it back from inside this call can deadlock a host).
    noteValuesChanged();
    return kResultOk;
}

int32_t FlangerVst3::getParameterCount() {
    return kParameterCount;
}

tresult FlangerVst3::getParameterInfo(int32_t index, ParameterInfo& info) {
    if (index < 0 || index >= kParameterCount) return kInvalidArgument;
    info = ParameterInfo{};
    info.id = static_cast<ParamID>(index);
    info.unitId = kRootUnitId;
    char text[80] = {};
    if (info.id < kEffectParameterCount) {
        dispatch(vst::effGetParamName, index, 0, text);
        copyToUtf16(info.title, 128, text);
        copyToUtf16(info.shortTitle, 128, text);
        text[0] = 0;
        dispatch(vst::effGetParamLabel, index, 0, text);
        copyToUtf16(info.units, 128, text);
        const params::ParameterTable* table = hosted.effect().parameterTable();
        info.stepCount =
            params::isStepped(index) ? static_cast<int32_t>(std::lround(table->stepCount(index))) : 0;
        info.defaultNormalizedValue = defaults[info.id];
        info.flags = ParameterInfo::kCanAutomate;
    } else if (info.id == kBypassId) {
        copyToUtf16(info.title, 128, "Bypass");
        copyToUtf16(info.shortTitle, 128, "Bypass");
        info.stepCount = 1;
        info.flags = ParameterInfo::kCanAutomate | ParameterInfo::kIsBypass;
    } else {
        copyToUtf16(info.title, 128, "Program");
        copyToUtf16(info.shortTitle, 128, "Program");
        info.stepCount = programCount() - 1;
        info.flags = ParameterInfo::kCanAutomate | ParameterInfo::kIsProgramChange | ParameterInfo::kIsList;
    }
    return kResultOk;
}

tresult FlangerVst3::getParamStringByValue(ParamID id, ParamValue valueNormalized, String128 string) {
    if (string == nullptr || id >= static_cast<ParamID>(kParameterCount) || !std::isfinite(valueNormalized))
        return kInvalidArgument;
    char text[80] = {};
    try {
        if (id < kEffectParameterCount)
            hosted.displayOf(static_cast<int32_t>(id), clampNormalised(valueNormalized), text, sizeof text);
        else if (id == kBypassId)
            copyBytes(text, sizeof text, valueNormalized >= 0.5 ? "on" : "off");
        else
            dispatch(vst::effGetProgramNameIndexed,
                     static_cast<int32_t>(
                         std::lround(std::clamp(valueNormalized, 0.0, 1.0) * (programCount() - 1))),
                     0, text);
    } catch (...) {
        return kResultFalse;
    }
    text[sizeof text - 1] = 0;
    copyToUtf16(string, 128, text);
    return kResultOk;
}

tresult FlangerVst3::getParamValueByString(ParamID id, char16* string, ParamValue& valueNormalized) {
    if (string == nullptr || id >= static_cast<ParamID>(kParameterCount)) return kInvalidArgument;
    char text[128];
    if (!copyFromUtf16(text, sizeof text, string)) return kResultFalse;
    if (id < kEffectParameterCount) {
        float normalised = 0.0f;
        if (!hosted.readText(static_cast<int32_t>(id), text, normalised)) return kResultFalse;
        valueNormalized = normalised;
        return kResultOk;
    }
    if (id == kBypassId) {
        if (std::strcmp(text, "on") == 0 || std::strcmp(text, "1") == 0) {
            valueNormalized = 1.0;
            return kResultOk;
        }
        if (std::strcmp(text, "off") == 0 || std::strcmp(text, "0") == 0) {
            valueNormalized = 0.0;
            return kResultOk;
        }
        return kResultFalse;
    }
    for (int32_t p = 0; p < programCount(); ++p) {
        char name[80] = {};
        dispatch(vst::effGetProgramNameIndexed, p, 0, name);
        name[sizeof name - 1] = 0;
        if (std::strcmp(name, text) == 0) {
            valueNormalized = programCount() > 1 ? static_cast<double>(p) / (programCount() - 1) : 0.0;
            return kResultOk;
        }
    }
    return kResultFalse;
}

ParamValue FlangerVst3::normalizedParamToPlain(ParamID id, ParamValue valueNormalized) {
    const double v = std::isfinite(valueNormalized) ? std::clamp(valueNormalized, 0.0, 1.0) : 0.0;
    if (id < kEffectParameterCount)
        return hosted.effect().parameterTable()->denormalize(static_cast<int>(id), static_cast<float>(v));
    if (id == kProgramId) return std::round(v * (programCount() - 1));
    return v;
}

ParamValue FlangerVst3::plainParamToNormalized(ParamID id, ParamValue plainValue) {
    if (!std::isfinite(plainValue)) return 0.0;
    if (id < kEffectParameterCount)
        return clampNormalised(hosted.effect().parameterTable()->normalize(static_cast<int>(id),
                                                                           static_cast<float>(plainValue)));
    if (id == kProgramId)
        return programCount() > 1 ? std::clamp(plainValue / (programCount() - 1), 0.0, 1.0) : 0.0;
    return std::clamp(plainValue, 0.0, 1.0);
}

ParamValue FlangerVst3::getParamNormalized(ParamID id) {
    if (id < kEffectParameterCount) return effectRecord->getParameter(effectRecord, static_cast<int32_t>(id));
    if (id == kBypassId) return bypassed.load(std::memory_order_relaxed) ? 1.0 : 0.0;
    if (id == kProgramId)
        return programCount() > 1 ? static_cast<double>(currentProgram()) / (programCount() - 1) : 0.0;
    return 0.0;
}

tresult FlangerVst3::setParamNormalized(ParamID id, ParamValue value) {
    if (id >= static_cast<ParamID>(kParameterCount) || !std::isfinite(value)) return kInvalidArgument;
    if (id < kEffectParameterCount) {
        // The host's value moves the editor's controls; a value the effect already has is skipped.
        setEffectParameter(id, value);
    } else if (id == kBypassId) {
        bypassed.store(value >= 0.5, std::memory_order_relaxed);
    } else {
        const auto program =
            static_cast<int32_t>(std::lround(std::clamp(value, 0.0, 1.0) * (programCount() - 1)));
        if (program != currentProgram()) {
            selectProgram(program);
            noteValuesChanged();
        }
    }
    return kResultOk;
}

tresult FlangerVst3::setComponentHandler(IComponentHandler* newHandler) {
    if (newHandler != nullptr) newHandler->addRef();
    if (handler != nullptr) handler->release();
    handler = newHandler;
    return kResultOk;
}

IPlugView* FlangerVst3::createView(FIDString name) {
    if (name == nullptr || std::strcmp(name, "editor") != 0) return nullptr;
    if ((effectRecord->flags & vst::effFlagsHasEditor) == 0 || openView != nullptr) return nullptr;
    openView = FlangerView::create(this);
    return openView;
}

void FlangerVst3::viewClosed(FlangerView* view) noexcept {
    if (openView == view) openView = nullptr;
}

void FlangerVst3::flushDisplayUpdates() noexcept {
    if (displayChanged.exchange(false, std::memory_order_acq_rel) && handler != nullptr)
        handler->restartComponent(IComponentHandler::kParamValuesChanged);
}

intptr_t FlangerVst3::answerEffect(int32_t opcode, int32_t index, intptr_t value, void*, float opt) noexcept {
    switch (opcode) {
        case vst::audioMasterGetTime:
            return timeValid ? reinterpret_cast<intptr_t>(&timeInfo) : 0;
        case vst::audioMasterGetSampleRate:
            return static_cast<intptr_t>(sampleRate);
        case vst::audioMasterGetBlockSize:
            return maxBlock;
        // The editor's edits, on the host's GUI thread: to the host as gestures of its own.
        case vst::audioMasterAutomate:
            if (handler != nullptr && index >= 0 && index < static_cast<int32_t>(kEffectParameterCount))
                handler->performEdit(static_cast<ParamID>(index), static_cast<double>(opt));
            return 1;
        case vst::audioMasterBeginEdit:
            if (handler != nullptr && index >= 0 && index < static_cast<int32_t>(kEffectParameterCount))
                handler->beginEdit(static_cast<ParamID>(index));
            return 1;
        case vst::audioMasterEndEdit:
            if (handler != nullptr && index >= 0 && index < static_cast<int32_t>(kEffectParameterCount))
                handler->endEdit(static_cast<ParamID>(index));
            return 1;
        case vst::audioMasterUpdateDisplay:
            noteValuesChanged();
            return 1;
        case vst::audioMasterSizeWindow:
            return openView != nullptr && openView->resizeTo(index, static_cast<int32_t>(value)) ? 1 : 0;
        default:
            return 0;
    }
}

// ---- IUnitInfo: one unit with one list, the factory programs.

int32_t FlangerVst3::getUnitCount() {
    return 1;
}

tresult FlangerVst3::getUnitInfo(int32_t unitIndex, UnitInfo& info) {
    if (unitIndex != 0) return kInvalidArgument;
    info = UnitInfo{};
    info.id = kRootUnitId;
    info.parentUnitId = kNoParentUnitId;
    copyToUtf16(info.name, 128, "Root");
    info.programListId = kProgramListId;
    return kResultOk;
}

int32_t FlangerVst3::getProgramListCount() {
    return 1;
}

tresult FlangerVst3::getProgramListInfo(int32_t listIndex, ProgramListInfo& info) {
    if (listIndex != 0) return kInvalidArgument;
    info = ProgramListInfo{};
    info.id = kProgramListId;
    copyToUtf16(info.name, 128, "Factory Programs");
    info.programCount = programCount();
    return kResultOk;
}

tresult FlangerVst3::getProgramName(int32_t listId, int32_t programIndex, String128 name) {
    if (listId != kProgramListId || programIndex < 0 || programIndex >= programCount() || name == nullptr)
        return kInvalidArgument;
    char text[80] = {};
    dispatch(vst::effGetProgramNameIndexed, programIndex, 0, text);
    text[sizeof text - 1] = 0;
    copyToUtf16(name, 128, text);
    return kResultOk;
}

tresult FlangerVst3::getProgramInfo(int32_t, int32_t, const char*, String128) {
    return kResultFalse;
}

tresult FlangerVst3::hasProgramPitchNames(int32_t, int32_t) {
    return kResultFalse;
}

tresult FlangerVst3::getProgramPitchName(int32_t, int32_t, int16_t, String128) {
    return kResultFalse;
}

int32_t FlangerVst3::getSelectedUnit() {
    return kRootUnitId;
}

tresult FlangerVst3::selectUnit(int32_t unitId) {
    return unitId == kRootUnitId ? kResultOk : kInvalidArgument;
}

tresult FlangerVst3::getUnitByBus(int32_t type, int32_t, int32_t busIndex, int32_t, int32_t& unitId) {
    if (type != kAudio || busIndex != 0) return kInvalidArgument;
    unitId = kRootUnitId;
    return kResultOk;
}

tresult FlangerVst3::setUnitProgramData(int32_t, int32_t, IBStream*) {
    return kNotImplemented;
}

}  // namespace flanger::vst3
