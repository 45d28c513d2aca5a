// Programs, chunks, the factory bank and the configuration check.
#include "host/PluginBase.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "host/BigEndian.h"
#include "host/EditorBase.h"
#include "params/ParameterTable.h"
#include "text/TextCopy.h"

namespace flanger::host {

using text::copyText;

namespace {

constexpr int32_t kWheelIndex = vst::fourCharacters('s', 't', 'C', 'A');
constexpr intptr_t kWheelValue = vst::fourCharacters('W', 'h', 'e', 'e');
constexpr int32_t kScaleIndex = vst::fourCharacters('P', 'r', 'e', 'S');
constexpr intptr_t kScaleValue = vst::fourCharacters('A', 'e', 'C', 's');
constexpr char kScalingCapability[] = "supportsViewDpiScaling";

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return 0;
}

}  // namespace

PluginBase::PluginBase(vst::HostCallback host, int32_t inputCount, int32_t outputCount, int32_t uniqueId,
                       int32_t hostParameters, int32_t values, int32_t programs)
    : ExtendedEffect(host, programs, hostParameters),
      hostParameterCount(hostParameters),
      valuesPerProgram(values),
      programCount(programs),
      nameSlot(values),
      activeInputs(inputCount),
      activeOutputs(outputCount) {
    setInputCount(inputCount);
    setOutputCount(outputCount);
    setUniqueId(uniqueId);
    setCanMono(true);
    setCanReplace(true);
    setProgramsAreChunks(true);
    currentProgramIndex = 0;
}

unsigned char* PluginBase::programData(int32_t program) {
    return hasProgram(program) ? rows[static_cast<std::size_t>(program)] : nullptr;
}

void PluginBase::setParameterValue(int32_t index, float value) {
    if (parameters == nullptr) return;
    float shown = value;
    if (index < hostParameterCount) {
        parameters->setNormalized(index, value);
        shown = parameters->normalize(index, parameters->denormalize(index, value));
    } else {
        parameters->setPlain(index, value);
    }
    if (attachedEditor != nullptr) attachedEditor->parameterChanged(index, shown);
}

float PluginBase::parameterValue(int32_t index) {
    if (parameters == nullptr) return 0.0f;
    return index < hostParameterCount ? parameters->peekNormalized(index) : parameters->peekPlain(index);
}

void PluginBase::setParameterFromEditor(int32_t index, float value) {
    // Hosts record switch-like parameters as jumps: send the old value first, then the new one.
    if (parameters != nullptr && parameters->stepCount(index) < 5.0f)
        callHost(vst::audioMasterAutomate, index, 0, nullptr, parameters->takeNormalized(index));
    EffectBase::setParameterFromEditor(index, value);
}

void PluginBase::noteHostBlock(int32_t frames) noexcept {
    // A larger block is only recorded here; rebuilding on the audio thread would allocate. Only
    // the atomic size is written: what setBlockSize remembers belongs to the other threads.
    if (frames > blockFrames.load(std::memory_order_relaxed))
        blockFrames.store(frames, std::memory_order_relaxed);
}

void PluginBase::processAdding(float** inputs, float** outputs, int32_t frames) {
    noteHostBlock(frames);
    if (engineReady) processAudio(inputs, outputs, frames, true);
}

void PluginBase::processReplacing(float** inputs, float** outputs, int32_t frames) {
    noteHostBlock(frames);
    if (engineReady) processAudio(inputs, outputs, frames, false);
}

void PluginBase::processAudio(float**, float**, int32_t, bool) {}

void PluginBase::selectProgram(int32_t program) {
    if (!hasProgram(program)) return;
    storeProgram(currentProgramIndex);
    loadProgram(program);
    currentProgramIndex = program;
}

void PluginBase::renameProgram(const char* text) {
    unsigned char* data = programData(currentProgramIndex);
    if (data == nullptr || text == nullptr) return;
    copyText(reinterpret_cast<char*>(data + programSize - nameSize), text, nameSize - 1);
}

void PluginBase::programNameAt(char* text, int32_t program) {
    if (text == nullptr) return;
    const unsigned char* data = programData(program);
    if (data == nullptr) {
        text[0] = 0;
        return;
    }
    // A name loaded from a chunk may lack its terminator: never read past the name field.
    copyText(text, reinterpret_cast<const char*>(data + programSize - nameSize), nameSize - 1);
}

void PluginBase::currentProgramName(char* text) {
    programNameAt(text, currentProgramIndex);
}

bool PluginBase::programNameByIndex(int32_t, int32_t index, char* text) {
    if (text == nullptr || !hasProgram(index)) return false;
    programNameAt(text, index);
    return true;
}

void PluginBase::parameterName(int32_t index, char* text) {
    if (text == nullptr) return;
    copyText(text, parameters != nullptr ? parameters->name(index) : "", vst::kNameLength);
}

void PluginBase::parameterUnit(int32_t index, char* text) {
    if (text == nullptr) return;
    copyText(text, parameters != nullptr ? parameters->unit(index) : "", vst::kNameLength);
}

void PluginBase::parameterText(int32_t index, char* text) {
    if (text == nullptr) return;
    floatToText(parameters != nullptr ? parameters->peekPlain(index) : 0.0f, text);
}

int32_t PluginBase::saveChunk(void** data, bool isPreset) {
    if (data == nullptr || rows.empty()) return 0;
    storeProgram(currentProgramIndex);
    if (isPreset) {
        *data = programData(currentProgramIndex);
        return programSize;
    }
    *data = programData(0);
    return programSize * programCount;
}

int32_t PluginBase::loadChunk(const void* data, int32_t size, bool isPreset) {
    if (data == nullptr || size <= 0 || rows.empty()) return 0;
    const int32_t area = isPreset ? programSize : programSize * programCount;
    unsigned char* target = isPreset ? programData(currentProgramIndex) : programData(0);
    std::memcpy(target, data, static_cast<std::size_t>(std::min(size, area)));
    loadProgram(currentProgramIndex);
    return 0;
}

void PluginBase::setSampleRate(float rate) {
    // Rates no signal path can run at are not taken at all.
    if (!std::isfinite(rate) || rate <= 0.0f) return;
    rememberedSampleRate = sampleRateHz;
    sampleRateHz = rate;
    rebuildEngine();
    if (attachedEditor != nullptr) attachedEditor->sampleRateChanged(rate);
}

void PluginBase::setBlockSize(int32_t frames) {
    if (frames <= 0) return;
    if (frames != blockSize()) {
        rememberedBlockSize = blockSize();
        blockFrames = frames;
    }
}

bool PluginBase::applySpeakerArrangement(vst::VstSpeakerArrangement*, vst::VstSpeakerArrangement* output) {
    if (output == nullptr) return false;
    // The host's arrays hold only as many channels as the record announces.
    const int32_t channels =
        std::clamp(output->numChannels, 0, std::min(record.numInputs, record.numOutputs));
    activeInputs = channels;
    activeOutputs = channels;
    speakerArrangementChanged = true;
    return true;
}

bool PluginBase::vendorText(char* text) {
    if (text != nullptr) copyText(text, "ZUK", vst::kVendorTextLength);
    return true;
}

intptr_t PluginBase::vendorMessage(int32_t index, intptr_t value, void*, float opt) {
    if (wheelForwarding && attachedEditor != nullptr && index == kWheelIndex && value == kWheelValue)
        return attachedEditor->wheel(opt) ? 1 : 0;
    if (index == kScaleIndex && value == kScaleValue) {
        // A factor that is not trusted changes nothing: the editor keeps the scale it has.
        const int32_t percent = hostScalePercent(opt);
        if (attachedEditor == nullptr || percent == 0) return 0;
        attachedEditor->setHostScale(percent);
        return 1;
    }
    return 0;
}

int32_t PluginBase::answerCapability(const char* text) {
    // Compared no further than our own text's terminator: the host's may be unterminated.
    if (text != nullptr && attachedEditor != nullptr &&
        std::strncmp(text, kScalingCapability, sizeof kScalingCapability) == 0)
        return 1;
    return ExtendedEffect::answerCapability(text);
}

bool PluginBase::initialise() {
    postInitialise();
    return true;
}

void PluginBase::createProgramTable() {
    if (parameters == nullptr || programCount <= 0 || valuesPerProgram <= 0) return;
    slotSizes.assign(static_cast<std::size_t>(valuesPerProgram), 0);
    int32_t sum = 0;
    for (int32_t i = 0; i < valuesPerProgram; ++i) {
        slotSizes[static_cast<std::size_t>(i)] = std::max(0, parameters->storageSize(i));
        sum += slotSizes[static_cast<std::size_t>(i)];
    }
    programSize = sum + nameSize;
    tableBlock.assign(static_cast<std::size_t>(programSize) * static_cast<std::size_t>(programCount), 0);
    rows.resize(static_cast<std::size_t>(programCount));
    for (int32_t k = 0; k < programCount; ++k)
        rows[static_cast<std::size_t>(k)] = tableBlock.data() + static_cast<std::size_t>(k) * programSize;
    for (int32_t k = 0; k < programCount; ++k) {
        storeProgram(k);
        char name[32];
        std::snprintf(name, sizeof name, "Init %d", k + 1);
        copyText(reinterpret_cast<char*>(programData(k) + programSize - nameSize), name, nameSize - 1);
    }
    loadFactoryBank();
    if (attachedEditor != nullptr) selectProgram(0);
}

void PluginBase::storeProgram(int32_t program) {
    unsigned char* data = programData(program);
    if (data == nullptr || parameters == nullptr) return;
    for (int32_t i = 0; i < valuesPerProgram; ++i) {
        const int32_t size = slotSizes[static_cast<std::size_t>(i)];
        if (!parameters->hasByteBlock(i)) {
            writeBigEndianFloat(data, parameterValue(i));
        } else if (size > 0) {
            parameters->getBytes(i, data, size, 0);
            if (size % 4 == 0)
                for (int32_t w = 0; w < size; w += 4) {
                    uint32_t word;
                    std::memcpy(&word, data + w, 4);
                    writeBigEndianWord(data + w, word);
                }
        }
        data += size;
    }
}

void PluginBase::loadProgram(int32_t program) {
    const unsigned char* data = programData(program);
    if (data == nullptr || parameters == nullptr) return;
    parameters->raiseBulkLoad();
    std::vector<unsigned char> block;
    for (int32_t i = 0; i < valuesPerProgram; ++i) {
        const int32_t size = slotSizes[static_cast<std::size_t>(i)];
        if (!parameters->hasByteBlock(i)) {
            setParameterValue(i, readBigEndianFloat(data));
        } else if (size > 0) {
            block.assign(data, data + size);
            if (size % 4 == 0)
                for (int32_t w = 0; w < size; w += 4) {
                    const uint32_t word = readBigEndianWord(block.data() + w);
                    std::memcpy(block.data() + w, &word, 4);
                }
            parameters->setBytes(i, block.data(), size, 0);
            if (attachedEditor != nullptr) attachedEditor->dataParameterChanged(i, block.data(), size, 0);
        }
        data += size;
    }
    parameters->lowerBulkLoad();
}

void PluginBase::loadFactoryBank() {}

void PluginBase::loadBankText(const char* hexDigits, std::size_t digitCount) {
    const int32_t n = programCount * programSize;
    if (hexDigits == nullptr || digitCount != 2 * static_cast<std::size_t>(n)) return;
    std::vector<unsigned char> bytes(static_cast<std::size_t>(n) + 3, 0);
    std::size_t out = 0;
    for (std::size_t i = 0; i < digitCount; i += 2)
        bytes[out++] = static_cast<unsigned char>(hexDigit(hexDigits[i]) * 16 + hexDigit(hexDigits[i + 1]));
    loadChunk(bytes.data(), n, false);
}

int32_t PluginBase::connectedInputCount() {
    if (record.numInputs == 1) return 1;
    int32_t count = 0;
    for (int32_t i = 0; i < record.numInputs; ++i)
        if (inputPinConnected(i)) count = i + 1;
    return count;
}

int32_t PluginBase::connectedOutputCount() {
    if (record.numOutputs == 1) return 1;
    int32_t count = 0;
    for (int32_t i = 0; i < record.numOutputs; ++i)
        if (outputPinConnected(i)) count = i + 1;
    return count;
}

bool PluginBase::configurationChanged() {
    const int32_t ins = connectedInputCount();
    const int32_t outs = connectedOutputCount();
    if (engineReady && ins == activeInputs && outs == activeOutputs && !speakerArrangementChanged &&
        sampleRateHz == rememberedSampleRate && blockSize() == rememberedBlockSize)
        return false;
    activeInputs = ins;
    rememberedSampleRate = sampleRateHz;
    rememberedBlockSize = blockSize();
    speakerArrangementChanged = false;
    activeOutputs = outs;
    return true;
}

}  // namespace flanger::host
