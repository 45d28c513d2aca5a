// Record setup, opcodes 0 to 24, the record's entry functions and the number-to-text helpers.
#include "host/EffectBase.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <exception>

#include "host/EditorBase.h"
#include "text/TextCopy.h"

namespace flanger::host {

using text::copyText;

namespace {

constexpr int kScratchText = 256;
constexpr int32_t kIdentify = vst::fourCharacters('N', 'v', 'E', 'f');
constexpr int32_t kDefaultUniqueId = vst::fourCharacters('N', 'o', 'E', 'f');

}  // namespace

EffectBase::EffectBase(vst::HostCallback callback, int32_t programCount, int32_t parameterCount)
    : hostCallback(callback), programTotal(programCount), parameterTotal(parameterCount) {
    std::memset(&record, 0, sizeof(record));
    record.magic = vst::kEffectMagic;
    record.dispatcher = &dispatchEntry;
    record.process = &processEntry;
    record.setParameter = &setParameterEntry;
    record.getParameter = &getParameterEntry;
    record.numPrograms = programCount;
    record.numParams = parameterCount;
    record.numInputs = 1;
    record.numOutputs = 2;
    record.ioRatio = 1.0f;
    record.object = this;
    record.uniqueID = kDefaultUniqueId;
    record.version = 1;
    record.processReplacing = &processReplacingEntry;
}

EffectBase::~EffectBase() {
    delete attachedEditor;
    attachedEditor = nullptr;
    // A host holding a stale pointer then finds no object behind the record.
    record.object = nullptr;
    record.magic = 0;
}

EffectBase* EffectBase::fromRecord(vst::EffectRecord* effect) noexcept {
    if (effect == nullptr || effect->magic != vst::kEffectMagic) return nullptr;
    return static_cast<EffectBase*>(effect->object);
}

void EffectBase::attachEditor(EditorBase* editor) {
    if (editor == attachedEditor) return;
    delete attachedEditor;
    attachedEditor = editor;
    setFlag(vst::effFlagsHasEditor, editor != nullptr);
}

void EffectBase::setFlag(int32_t bit, bool on) {
    if (on)
        record.flags |= bit;
    else
        record.flags &= ~bit;
}

intptr_t EffectBase::callHost(int32_t opcode, int32_t index, intptr_t value, void* ptr, float opt) {
    if (hostCallback == nullptr) return 0;
    return hostCallback(&record, opcode, index, value, ptr, opt);
}

void EffectBase::setParameterValue(int32_t, float) {}
float EffectBase::parameterValue(int32_t) {
    return 0.0f;
}

void EffectBase::setParameterFromEditor(int32_t index, float value) {
    setParameterValue(index, value);
    callHost(vst::audioMasterAutomate, index, 0, nullptr, value);
}

void EffectBase::processReplacing(float**, float**, int32_t) {}

void EffectBase::renameProgram(const char*) {}
void EffectBase::currentProgramName(char* text) {
    if (text != nullptr) text[0] = 0;
}
void EffectBase::parameterUnit(int32_t, char* text) {
    if (text != nullptr) text[0] = 0;
}
void EffectBase::parameterText(int32_t, char* text) {
    if (text != nullptr) text[0] = 0;
}
void EffectBase::parameterName(int32_t, char* text) {
    if (text != nullptr) text[0] = 0;
}
int32_t EffectBase::saveChunk(void**, bool) {
    return 0;
}
int32_t EffectBase::loadChunk(const void*, int32_t, bool) {
    return 0;
}

intptr_t EffectBase::dispatch(int32_t opcode, int32_t index, intptr_t value, void* ptr, float opt) {
    // Text answers are produced into a scratch buffer first, then copied into the host's
    // buffer within the interface's customary limits, so no operation can overrun it.
    char scratch[kScratchText] = {};
    auto answerText = [&](int limit) {
        if (ptr != nullptr) copyText(static_cast<char*>(ptr), scratch, limit);
    };
    switch (opcode) {
        case vst::effOpen:
            onOpen();
            return 0;
        case vst::effClose:
            onClose();
            return 0;
        case vst::effSetProgram:
            if (value >= 0 && value < programTotal) selectProgram(static_cast<int32_t>(value));
            return 0;
        case vst::effGetProgram:
            return currentProgram();
        case vst::effSetProgramName:
            if (ptr != nullptr) {
                // Host names need not be terminated: read no more than a name can hold.
                copyText(scratch, static_cast<const char*>(ptr), vst::kNameLength);
                renameProgram(scratch);
            }
            return 0;
        case vst::effGetProgramName:
            if (ptr == nullptr) return 0;
            currentProgramName(scratch);
            answerText(vst::kNameLength);
            return 0;
        case vst::effGetParamLabel:
            if (ptr == nullptr) return 0;
            if (index >= 0 && index < parameterTotal) parameterUnit(index, scratch);
            answerText(vst::kParameterTextLength);
            return 0;
        case vst::effGetParamDisplay:
            if (ptr == nullptr) return 0;
            if (index >= 0 && index < parameterTotal) parameterText(index, scratch);
            answerText(vst::kParameterTextLength);
            return 0;
        case vst::effGetParamName:
            if (ptr == nullptr) return 0;
            if (index >= 0 && index < parameterTotal) parameterName(index, scratch);
            answerText(vst::kNameLength);
            return 0;
        case vst::effGetVu: {
            const float level = vuLevel();
            if (!std::isfinite(level) || std::fabs(level) > 65536.0f) return 0;
            return static_cast<intptr_t>(level * 32767.0);
        }
        case vst::effSetSampleRate:
            setSampleRate(opt);
            return 0;
        case vst::effSetBlockSize:
            if (value >= INT32_MIN && value <= INT32_MAX) setBlockSize(static_cast<int32_t>(value));
            return 0;
        case vst::effMainsChanged:
            if (value == 0)
                suspend();
            else
                resume();
            return 0;
        case vst::effEditGetRect:
            if (attachedEditor == nullptr || ptr == nullptr) return 0;
            return attachedEditor->editorRect(static_cast<vst::ERect**>(ptr));
        case vst::effEditOpen:
            if (attachedEditor == nullptr) return 0;
            return attachedEditor->open(ptr);
        case vst::effEditClose:
            if (attachedEditor != nullptr) attachedEditor->close();
            return 0;
        case vst::effEditIdle:
            if (attachedEditor != nullptr) attachedEditor->idle();
            return 0;
        case vst::effIdentify:
            return kIdentify;
        case vst::effGetChunk: {
            if (ptr == nullptr) return 0;
            void* data = nullptr;
            const int32_t size = saveChunk(&data, index != 0);
            *static_cast<void**>(ptr) = data;
            return size;
        }
        case vst::effSetChunk:
            if (value < 0 || value > INT32_MAX) return 0;
            return loadChunk(ptr, static_cast<int32_t>(value), index != 0);
        default:
            return 0;
    }
}

intptr_t EffectBase::hostVersion() {
    if (hostCallback == nullptr) return 1;
    const intptr_t answer = callHost(vst::audioMasterVersion);
    return answer == 0 ? 1 : answer;
}
intptr_t EffectBase::hostCurrentId() {
    return callHost(vst::audioMasterCurrentId);
}
intptr_t EffectBase::hostIdle() {
    return callHost(vst::audioMasterIdle);
}
bool EffectBase::inputPinConnected(int32_t input) {
    if (hostCallback == nullptr) return true;
    return callHost(vst::audioMasterPinConnected, input, 0) == 0;
}
bool EffectBase::outputPinConnected(int32_t output) {
    if (hostCallback == nullptr) return true;
    return callHost(vst::audioMasterPinConnected, output, 1) == 0;
}

void EffectBase::gainToText(float value, char* text) {
    if (text == nullptr) return;
    if (value > 0.0f)
        floatToText(static_cast<float>(20.0 * std::log10(value)), text);
    else
        copyText(text, "  -oo   ", 8);
}

void EffectBase::samplesToHzText(float samples, char* text) {
    if (samples == 0.0f)
        floatToText(0.0f, text);
    else
        floatToText(sampleRate() / samples, text);
}

void EffectBase::samplesToMsText(float samples, char* text) {
    floatToText(samples * 1000.0f / sampleRate(), text);
}

void EffectBase::floatToText(float value, char* text) {
    if (text == nullptr) return;
    const bool negative = value < 0.0f;
    double v = std::fabs(static_cast<double>(value));
    // NaN compares false everywhere; it is no number a display can show.
    if (!(v <= (negative ? 9999999.0 : 99999999.0))) {
        copyText(text, " Huge!  ", 8);
        return;
    }
    // Built right to left into the end of a small buffer.
    char buffer[32] = {};
    int at = 16;
    int used = negative ? 1 : 0;
    double remaining = std::floor(v);
    buffer[--at] = '.';
    buffer[--at] = static_cast<char>('0' + static_cast<int>(std::fmod(remaining, 10.0)));
    remaining *= 0.1;
    used += 2;
    while (remaining >= 1.0 && used < 8) {
        buffer[--at] = static_cast<char>('0' + static_cast<int>(std::fmod(remaining, 10.0)));
        remaining *= 0.1;
        used += 1;
    }
    if (negative) buffer[--at] = '-';
    char out[16] = {};
    const int integerLength = 16 - at;
    std::memcpy(out, buffer + at, static_cast<std::size_t>(integerLength));
    if (used < 8) {
        const int digits = 8 - used;
        double m = std::fmod(v, 1.0) * std::pow(10.0, digits);
        for (int k = digits - 1; k >= 0; --k) {
            const int digit = m > 0.0 ? static_cast<int>(std::fmod(m, 10.0)) : 0;
            out[integerLength + k] = static_cast<char>('0' + digit);
            m *= 0.1;
        }
        out[integerLength + digits] = 0;
    }
    copyText(text, out, 8);
}

void EffectBase::intToText(float value, char* text) {
    if (text == nullptr) return;
    if (!(value < 100000000.0f) || !std::isfinite(value) || value < -2147483648.0f) {
        copyText(text, " Huge!  ", 8);
        return;
    }
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%7d", static_cast<int>(value));
    copyText(text, buffer, 8);
}

// Entry functions. Nothing may throw into the host: every call is fenced.
intptr_t dispatchEntry(vst::EffectRecord* record, int32_t opcode, int32_t index, intptr_t value, void* ptr,
                       float opt) noexcept {
    EffectBase* effect = EffectBase::fromRecord(record);
    if (effect == nullptr) return 0;
    try {
        const intptr_t answer = effect->dispatch(opcode, index, value, ptr, opt);
        if (opcode == vst::effClose) {
            delete effect;
            return 1;
        }
        return answer;
    } catch (...) {
        if (opcode == vst::effClose) {
            delete effect;
            return 1;
        }
        return 0;
    }
}

void processEntry(vst::EffectRecord* record, float** inputs, float** outputs, int32_t frames) noexcept {
    EffectBase* effect = EffectBase::fromRecord(record);
    if (effect == nullptr || inputs == nullptr || outputs == nullptr || frames <= 0) return;
    try {
        effect->processAdding(inputs, outputs, frames);
    } catch (...) {
    }
}

void processReplacingEntry(vst::EffectRecord* record, float** inputs, float** outputs,
                           int32_t frames) noexcept {
    EffectBase* effect = EffectBase::fromRecord(record);
    if (effect == nullptr || inputs == nullptr || outputs == nullptr || frames <= 0) return;
    try {
        effect->processReplacing(inputs, outputs, frames);
    } catch (...) {
    }
}

void setParameterEntry(vst::EffectRecord* record, int32_t index, float value) noexcept {
    EffectBase* effect = EffectBase::fromRecord(record);
    if (effect == nullptr || index < 0) return;
    try {
        effect->setParameterValue(index, value);
    } catch (...) {
    }
}

float getParameterEntry(vst::EffectRecord* record, int32_t index) noexcept {
    EffectBase* effect = EffectBase::fromRecord(record);
    if (effect == nullptr || index < 0) return 0.0f;
    try {
        return effect->parameterValue(index);
    } catch (...) {
        return 0.0f;
    }
}

}  // namespace flanger::host
