// Opcodes 25 to 68 and the extended host requests.
#include "host/ExtendedEffect.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "host/EditorBase.h"
#include "text/TextCopy.h"

namespace flanger::host {

using text::copyText;

vst::VstKeyCode keyCodeFrom(int32_t index, intptr_t value, float opt) noexcept {
    vst::VstKeyCode key{};
    key.character = index;
    key.virt = static_cast<uint8_t>(value & 0xFF);
    // The modifier travels as a float; a value no integer can hold carries no modifier bits.
    const float truncated = std::trunc(opt);
    const int64_t bits =
        (std::isfinite(truncated) && std::fabs(truncated) < 1e9f) ? static_cast<int64_t>(truncated) : 0;
    key.modifier = static_cast<uint8_t>(bits & 0xFF);
    return key;
}

intptr_t ExtendedEffect::dispatch(int32_t opcode, int32_t index, intptr_t value, void* ptr, float opt) {
    char scratch[256] = {};
    switch (opcode) {
        case vst::effProcessEvents:
            return takeEvents(ptr);
        case vst::effCanBeAutomated:
            return canBeAutomated(index) ? 1 : 0;
        case vst::effString2Parameter: {
            if (ptr == nullptr) return textToParameter(index, nullptr) ? 1 : 0;
            // Work on a bounded copy: the host's text may be read-only or unterminated.
            copyText(scratch, static_cast<const char*>(ptr), static_cast<int>(sizeof scratch) - 1);
            return textToParameter(index, scratch) ? 1 : 0;
        }
        case vst::effGetNumProgramCategories:
            return programCategoryCount();
        case vst::effGetProgramNameIndexed: {
            if (ptr == nullptr) return 0;
            const int32_t category =
                (value >= INT32_MIN && value <= INT32_MAX) ? static_cast<int32_t>(value) : -1;
            if (!programNameByIndex(category, index, scratch)) return 0;
            copyText(static_cast<char*>(ptr), scratch, vst::kNameLength);
            return 1;
        }
        case vst::effCopyProgram:
            return duplicateProgram(index) ? 1 : 0;
        case vst::effConnectInput:
            connectInput(index, value != 0);
            return 1;
        case vst::effConnectOutput:
            connectOutput(index, value != 0);
            return 1;
        case vst::effGetInputProperties:
            return ptr != nullptr && inputProperties(index, ptr) ? 1 : 0;
        case vst::effGetOutputProperties:
            return ptr != nullptr && outputProperties(index, ptr) ? 1 : 0;
        case vst::effGetPlugCategory:
            return plugCategory();
        case vst::effGetCurrentPosition:
            return currentPosition();
        case vst::effGetDestinationBuffer:
            return reinterpret_cast<intptr_t>(destinationBuffer());
        case vst::effOfflineNotify:
            return offlineNotice(ptr, value, index != 0) ? 1 : 0;
        case vst::effOfflinePrepare:
            return offlinePrep(ptr, value) ? 1 : 0;
        case vst::effOfflineRun:
            return offlineExecute(ptr, value) ? 1 : 0;
        case vst::effProcessVarIo:
            return processVarIo(ptr) ? 1 : 0;
        case vst::effSetSpeakerArrangement:
            return applySpeakerArrangement(reinterpret_cast<vst::VstSpeakerArrangement*>(value),
                                           static_cast<vst::VstSpeakerArrangement*>(ptr))
                       ? 1
                       : 0;
        case vst::effSetBlockSizeAndSampleRate:
            if (value >= INT32_MIN && value <= INT32_MAX)
                storeBlockSizeAndRate(static_cast<int32_t>(value), opt);
            return 1;
        case vst::effSetBypass:
            return bypass(value != 0) ? 1 : 0;
        case vst::effGetEffectName:
        case vst::effGetErrorText:
        case vst::effGetProductString:
            return 0;
        case vst::effGetVendorString:
            if (ptr == nullptr) return 0;
            if (!vendorText(scratch)) return 0;
            copyText(static_cast<char*>(ptr), scratch, vst::kVendorTextLength);
            return 1;
        case vst::effGetVendorVersion:
            return vendorVersion();
        case vst::effVendorSpecific:
            return vendorMessage(index, value, ptr, opt);
        case vst::effCanDo:
            return answerCapability(static_cast<const char*>(ptr));
        case vst::effGetTailSize:
            return tailSize();
        case vst::effIdle:
            return effectIdle();
        case vst::effGetIcon:
            return reinterpret_cast<intptr_t>(icon());
        case vst::effSetViewPosition:
            return moveView(index, static_cast<int32_t>(value)) ? 1 : 0;
        case vst::effGetParameterProperties:
            return ptr != nullptr && parameterProperties(index, ptr) ? 1 : 0;
        case vst::effKeysRequired:
            return needsKeys() ? 0 : 1;
        case vst::effGetVstVersion:
            return interfaceVersion();
        // Hosts keep a key answered 0; any other answer, −1 included, reads as used.
        case vst::effEditKeyDown:
            if (attachedEditor == nullptr) return 0;
            return std::max<int32_t>(attachedEditor->keyDown(keyCodeFrom(index, value, opt)), 0);
        case vst::effEditKeyUp:
            if (attachedEditor == nullptr) return 0;
            return std::max<int32_t>(attachedEditor->keyUp(keyCodeFrom(index, value, opt)), 0);
        case vst::effSetEditKnobMode:
            if (attachedEditor == nullptr) return 0;
            return attachedEditor->selectKnobMode(value);
        case vst::effGetMidiProgramName:
            return midiProgramName(index, ptr);
        case vst::effGetCurrentMidiProgram:
            return currentMidiProgram(index, ptr);
        case vst::effGetMidiProgramCategory:
            return midiProgramCategory(index, ptr);
        case vst::effHasMidiProgramsChanged:
            return midiProgramsChanged(index) ? 1 : 0;
        case vst::effGetMidiKeyName:
            return midiKeyName(index, ptr) ? 1 : 0;
        case vst::effBeginSetProgram:
            return programLoadStart() ? 1 : 0;
        case vst::effEndSetProgram:
            return programLoadEnd() ? 1 : 0;
        default:
            return EffectBase::dispatch(opcode, index, value, ptr, opt);
    }
}

intptr_t ExtendedEffect::requestEvents(intptr_t filter) {
    return callHost(vst::audioMasterWantMidi, 0, filter);
}
vst::VstTimeInfo* ExtendedEffect::timeInfo(intptr_t filter) {
    return reinterpret_cast<vst::VstTimeInfo*>(callHost(vst::audioMasterGetTime, 0, filter));
}
intptr_t ExtendedEffect::hostTempoAt(intptr_t position) {
    return callHost(vst::audioMasterTempoAt, 0, position);
}
intptr_t ExtendedEffect::hostAutomatableCount() {
    return callHost(vst::audioMasterGetNumAutomatableParameters);
}
intptr_t ExtendedEffect::hostParameterQuantization() {
    return callHost(vst::audioMasterGetParameterQuantization);
}
bool ExtendedEffect::notifyIoChanged() {
    return callHost(vst::audioMasterIOChanged) != 0;
}
bool ExtendedEffect::requestIdle() {
    return callHost(vst::audioMasterNeedIdle) != 0;
}
bool ExtendedEffect::requestWindowSize(int32_t width, int32_t height) {
    return callHost(vst::audioMasterSizeWindow, width, height) != 0;
}
float ExtendedEffect::refreshSampleRate() {
    if (hostCallback != nullptr) {
        const intptr_t rate = callHost(vst::audioMasterGetSampleRate);
        if (rate > 0) sampleRateHz = static_cast<float>(rate);
    }
    return sampleRateHz;
}
int32_t ExtendedEffect::refreshBlockSize() {
    if (hostCallback != nullptr) {
        const intptr_t frames = callHost(vst::audioMasterGetBlockSize);
        if (frames > 0 && frames <= INT32_MAX) blockFrames = static_cast<int32_t>(frames);
    }
    return blockFrames;
}
intptr_t ExtendedEffect::hostInputLatency() {
    return callHost(vst::audioMasterGetInputLatency);
}
intptr_t ExtendedEffect::hostOutputLatency() {
    return callHost(vst::audioMasterGetOutputLatency);
}
intptr_t ExtendedEffect::previousPlug(int32_t) {
    return callHost(vst::audioMasterGetPreviousPlug);
}
intptr_t ExtendedEffect::nextPlug(int32_t) {
    return callHost(vst::audioMasterGetNextPlug);
}
intptr_t ExtendedEffect::hostWillReplace() {
    return callHost(vst::audioMasterWillReplaceOrAccumulate);
}
intptr_t ExtendedEffect::hostProcessLevel() {
    return callHost(vst::audioMasterGetCurrentProcessLevel);
}
intptr_t ExtendedEffect::hostAutomationState() {
    return callHost(vst::audioMasterGetAutomationState);
}
bool ExtendedEffect::hostOfflineRead(void* task, intptr_t option, bool readSource) {
    return callHost(vst::audioMasterOfflineRead, readSource ? 1 : 0, option, task) != 0;
}
bool ExtendedEffect::hostOfflineWrite(void* task, intptr_t option) {
    return callHost(vst::audioMasterOfflineWrite, 0, option, task) != 0;
}
bool ExtendedEffect::hostOfflineStart(void* files, intptr_t count, int32_t newCount) {
    return callHost(vst::audioMasterOfflineStart, newCount, count, files) != 0;
}
bool ExtendedEffect::offlinePass() {
    return callHost(vst::audioMasterOfflineGetCurrentPass) != 0;
}
bool ExtendedEffect::offlineMetaPass() {
    return callHost(vst::audioMasterOfflineGetCurrentMetaPass) != 0;
}
void ExtendedEffect::setOutputSampleRate(float rate) {
    callHost(vst::audioMasterSetOutputSampleRate, 0, 0, nullptr, rate);
}
vst::VstSpeakerArrangement* ExtendedEffect::hostInputArrangement() {
    return reinterpret_cast<vst::VstSpeakerArrangement*>(
        callHost(vst::audioMasterGetInputSpeakerArrangement));
}
vst::VstSpeakerArrangement* ExtendedEffect::hostOutputArrangement() {
    return reinterpret_cast<vst::VstSpeakerArrangement*>(callHost(vst::audioMasterGetSpeakerArrangement));
}
bool ExtendedEffect::hostVendorText(char* text) {
    return callHost(vst::audioMasterGetVendorString, 0, 0, text) != 0;
}
bool ExtendedEffect::hostProductText(char* text) {
    return callHost(vst::audioMasterGetProductString, 0, 0, text) != 0;
}
intptr_t ExtendedEffect::hostVendorVersion() {
    return callHost(vst::audioMasterGetVendorVersion);
}
intptr_t ExtendedEffect::hostVendorMessage(int32_t a, intptr_t b, void* ptr, float opt) {
    return callHost(vst::audioMasterVendorSpecific, a, b, ptr, opt);
}
bool ExtendedEffect::hostCanDo(const char* text) {
    return callHost(vst::audioMasterCanDo, 0, 0, const_cast<char*>(text)) != 0;
}
intptr_t ExtendedEffect::hostLanguage() {
    return callHost(vst::audioMasterGetLanguage);
}
intptr_t ExtendedEffect::openHostWindow(void* window) {
    return callHost(vst::audioMasterOpenWindow, 0, 0, window);
}
bool ExtendedEffect::closeHostWindow(void* window) {
    return callHost(vst::audioMasterCloseWindow, 0, 0, window) != 0;
}
void* ExtendedEffect::hostDirectory() {
    return reinterpret_cast<void*>(callHost(vst::audioMasterGetDirectory));
}
bool ExtendedEffect::requestDisplayUpdate() {
    return callHost(vst::audioMasterUpdateDisplay) != 0;
}
bool ExtendedEffect::speakerArrangement(vst::VstSpeakerArrangement** input,
                                        vst::VstSpeakerArrangement** output) {
    if (input != nullptr) *input = nullptr;
    if (output != nullptr) *output = nullptr;
    return false;
}
void ExtendedEffect::storeBlockSizeAndRate(int32_t frames, float rate) {
    // Stored as given, but a size or rate no engine can be built for is not taken at all.
    if (frames > 0) blockFrames = frames;
    if (std::isfinite(rate) && rate > 0.0f) sampleRateHz = rate;
}
bool ExtendedEffect::reportEditStart(int32_t index) {
    return callHost(vst::audioMasterBeginEdit, index) != 0;
}
bool ExtendedEffect::reportEditEnd(int32_t index) {
    return callHost(vst::audioMasterEndEdit, index) != 0;
}
bool ExtendedEffect::hostFileDialog(void* request) {
    if (request == nullptr) return false;
    return callHost(vst::audioMasterOpenFileSelector, 0, 0, request) != 0;
}

}  // namespace flanger::host
