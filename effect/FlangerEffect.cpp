// The flanger effect: engine lifecycle, both process entries, parameter bookkeeping, texts
// and chunk loading (current and legacy records).
#include "effect/FlangerEffect.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <new>
#include <optional>
#include <vector>

#include "dsp/FlangerEngine.h"
#include "effect/FactoryBank.h"
#include "host/BigEndian.h"
#include "host/EditorBase.h"
#include "params/FlangerParameters.h"
#include "params/NoteTable.h"
#include "params/ParameterText.h"
#include "text/NumberText.h"
#include "text/TextCopy.h"

namespace flanger::effect {

namespace {

// The parameters by name (a using-enum declaration here trips clang 14).
constexpr int32_t kFeedback = params::FlangerParameters::kFeedback;
constexpr int32_t kDelay = params::FlangerParameters::kDelay;
constexpr int32_t kDepth = params::FlangerParameters::kDepth;
constexpr int32_t kStereo = params::FlangerParameters::kStereo;
constexpr int32_t kSwitch = params::FlangerParameters::kSwitch;
constexpr int32_t kRate = params::FlangerParameters::kRate;
constexpr int32_t kSyncBeat = params::FlangerParameters::kSyncBeat;
constexpr int32_t kTmpSync = params::FlangerParameters::kTmpSync;
constexpr int32_t kShapeSync = params::FlangerParameters::kShapeSync;
constexpr int32_t kOutput = params::FlangerParameters::kOutput;
constexpr int32_t kMix = params::FlangerParameters::kMix;
constexpr int32_t kBeatsPerCycle = params::FlangerParameters::kBeatsPerCycle;
constexpr int32_t kParameterCount = params::FlangerParameters::kParameterCount;
constexpr int32_t kHostParameterCount = params::FlangerParameters::kHostParameterCount;

constexpr int32_t kUniqueId = vst::fourCharacters('K', 'Z', 'T', 'M');
constexpr float kNormalisedSlack = 1.000001f;

}  // namespace

FlangerEffect::FlangerEffect(vst::HostCallback host, host::EditorFactory editorFactory)
    : PluginBase(host, 2, 2, kUniqueId, kHostParameterCount, kParameterCount, kProgramCount),
      makeEditor(editorFactory) {}

FlangerEffect::~FlangerEffect() {
    engineReady.store(false, std::memory_order_release);
    engine.reset();
    // The base's program code reads the table through this pointer until the end.
    parameters = nullptr;
    table.reset();
}

bool FlangerEffect::initialise() {
    initialised = true;
    table = std::make_unique<params::FlangerParameters>();
    parameters = table.get();
    createEditor();
    createProgramTable();
    return true;
}

void FlangerEffect::loadFactoryBank() {
    loadBankText(kFactoryBank, kFactoryBankDigits);
}

void FlangerEffect::createEditor() {
    // The editor attaches itself and the effect owns it. Without a factory (tests of the effect
    // alone, batch renders) the effect has no editor.
    if (makeEditor != nullptr) makeEditor(this);
}

void FlangerEffect::createEngine(int32_t numInputs, int32_t sampleRate, int32_t numOutputs, int32_t frames) {
    if (!initialised) {
        engine.reset();
        return;
    }
    engine =
        std::make_unique<dsp::FlangerEngine>(numInputs, static_cast<double>(sampleRate), numOutputs, frames);
}

void FlangerEffect::rebuildEngine() {
    if (engineReady.load(std::memory_order_acquire)) {
        engineReady.store(false, std::memory_order_release);
        engine.reset();
    }
    try {
        createEngine(activeInputs, static_cast<int32_t>(std::trunc(sampleRate())), activeOutputs,
                     blockSize());
    } catch (const std::bad_alloc&) {
        engine.reset();
    }
    if (engine != nullptr) {
        engine->resume();
        storeInitialDelay(engine->latency());
        engine->applyParameters(table.get());
        engineReady.store(true, std::memory_order_release);
    }
    if (table != nullptr) table->refreshAll();
}

void FlangerEffect::resume() {
    if (configurationChanged()) rebuildEngine();
    if (engine != nullptr) engine->resume();
}

void FlangerEffect::clearHistory() noexcept {
    if (engineReady.load(std::memory_order_acquire)) engine->clearHistory();
}

void FlangerEffect::suspend() {
    if (engine != nullptr) engine->suspend();
}

void FlangerEffect::processAdding(float** inputs, float** outputs, int32_t frames) {
    process(inputs, outputs, frames, true);
}

void FlangerEffect::processReplacing(float** inputs, float** outputs, int32_t frames) {
    process(inputs, outputs, frames, false);
}

void FlangerEffect::process(float** inputs, float** outputs, int32_t frames, bool adding) noexcept {
    noteHostBlock(frames);
    if (!initialised || !engineReady.load(std::memory_order_acquire)) return;
    if (inputs == nullptr || outputs == nullptr || frames <= 0) return;
    // A host that hands fewer channel buffers than it connected gets its outputs untouched.
    for (int32_t c = 0; c < activeInputs; ++c)
        if (inputs[c] == nullptr) return;
    for (int32_t c = 0; c < std::max(activeOutputs, 0); ++c)
        if (outputs[c] == nullptr) return;
    if (const vst::VstTimeInfo* time = timeInfo(vst::kVstTempoValid);
        time != nullptr && (time->flags & vst::kVstTempoValid) != 0 && std::isfinite(time->tempo))
        engine->setTempo(std::trunc(time->tempo));
    if (table->bulkLoadCount() <= 0) engine->applyParameters(table.get());
    engine->processHost(inputs, outputs, frames, adding ? 1 : 0);
    if (table->editorFlag() && table->editorCounter() <= 0) {
        engine->parameterHook(table.get());
        table->setEditorFlag(false);
    }
}

void FlangerEffect::setParameterValue(int32_t index, float value) {
    if (!initialised || index < 0 || index >= kParameterCount) return;
    // Hosts and song files can send anything: NaN is no value, the rest is held to the range.
    if (std::isnan(value)) return;
    host::EditorBase* editor = attachedEditor;
    if (index >= kHostParameterCount) {
        value = std::clamp(value, table->minimum(index), table->maximum(index));
        table->setPlain(index, value);
        if (editor != nullptr) editor->parameterChanged(index, value);
        return;
    }
    value = std::clamp(value, 0.0f, 1.0f);
    const bool sync = table->peekPlain(kSwitch) == 1.0f;
    if (index == kSyncBeat || index == kTmpSync) {
        table->setNormalized(index, value);
        params::storeBeatsPerCycle(*table);
        if (sync && editor != nullptr) editor->parameterChanged(index, value);
    } else if (index == kRate) {
        table->setNormalized(kRate, value);
        if (!sync && editor != nullptr) editor->parameterChanged(index, value);
    } else {
        table->setNormalized(index, value);
        if (editor != nullptr) editor->parameterChanged(index, value);
    }
}

float FlangerEffect::parameterValue(int32_t index) {
    const float v = PluginBase::parameterValue(index);
    // Hosts are promised 0 … 1; the table's step rounding can land a hair above 1.
    return index < kHostParameterCount ? std::clamp(v, 0.0f, 1.0f) : v;
}

void FlangerEffect::parameterText(int32_t index, char* text) {
    if (text == nullptr) return;
    text[0] = 0;
    if (table == nullptr || index < 0 || index >= kParameterCount) return;
    const float v = table->peekPlain(index);
    if (index == kSwitch) {
        std::strcpy(text, v == 0.0f ? "off" : "on");
    } else if (index == kSyncBeat) {
        std::strcpy(text, params::noteNames[params::noteIndex(v)]);
    } else {
        // One decimal, independent of the process locale.
        char buffer[64];
        const auto result = std::to_chars(buffer, buffer + sizeof buffer - 1, v, std::chars_format::fixed, 1);
        *(result.ec == std::errc() ? result.ptr : buffer) = 0;
        text::copyText(text, buffer, 63);
    }
}

bool FlangerEffect::textToParameter(int32_t index, char* text) {
    if (text == nullptr) return true;
    if (table == nullptr || index < 0 || index >= kHostParameterCount) return false;
    // Text that does not read is refused and the value stays: read as 0 it would, say, mute the
    // output on a typo, and the host could not tell.
    const std::optional<float> plain = params::readParameterText(*table, index, text, &text::readQuantity);
    if (!plain) return false;
    table->setPlain(index, *plain);
    if (index == kSyncBeat || index == kTmpSync) params::storeBeatsPerCycle(*table);
    return true;
}

bool FlangerEffect::vendorText(char* text) {
    if (text == nullptr) return false;
    text::copyText(text, "Brackwater", vst::kVendorTextLength);
    return true;
}

void FlangerEffect::sanitiseRecord(unsigned char* program) const {
    for (int32_t i = 0; i < kParameterCount; ++i) {
        unsigned char* slot = program + 4 * i;
        float v = host::readBigEndianFloat(slot);
        if (i < kHostParameterCount) {
            // Within rounding of the range a value is kept as stored, so programs round-trip bit
            // for bit (two factory programs store Delay one unit above 1.0).
            if (std::isnan(v))
                v = table->normalize(i, table->defaultValue(i));
            else if (v < 0.0f || v > kNormalisedSlack)
                v = std::clamp(v, 0.0f, 1.0f);
        } else {
            v = std::isnan(v) ? table->defaultValue(i) : std::clamp(v, table->minimum(i), table->maximum(i));
        }
        host::writeBigEndianFloat(slot, v);
    }
    unsigned char* name = program + 4 * kParameterCount;
    if (std::memchr(name, 0, static_cast<std::size_t>(nameSize)) == nullptr) name[nameSize - 1] = 0;
}

void FlangerEffect::convertLegacyRecord(const unsigned char* legacy, unsigned char* out) const {
    auto legacyWord = [&](int i) { return host::readBigEndianWord(legacy + 4 * i); };
    auto put = [&](int slot, uint32_t word) { host::writeBigEndianWord(out + 4 * slot, word); };
    auto putFloat = [&](int slot, float v) { host::writeBigEndianFloat(out + 4 * slot, v); };
    float sync = host::readBigEndianFloat(legacy + 4 * 6);
    if (!std::isfinite(sync)) sync = 0.0f;
    put(kFeedback, legacyWord(4));
    put(kDelay, legacyWord(1));
    put(kDepth, legacyWord(2));
    put(kStereo, legacyWord(5));
    putFloat(kSwitch, sync != 0.0f ? 1.0f : 0.0f);
    put(kRate, legacyWord(3));
    // The old layout's note list had 22 entries; fold it onto the 18 of today.
    int a = static_cast<int>(std::trunc(std::clamp(sync, 0.0f, 1.0f) * 21.0f + 0.5f));
    a = a < 9 ? a - 2 : (a < 16 ? a - 3 : a - 4);
    a = std::clamp(a, 0, params::kNoteCount - 1);
    putFloat(kSyncBeat, static_cast<float>(a) / 17.0f);
    put(kTmpSync, legacyWord(8));
    put(kShapeSync, legacyWord(7));
    putFloat(kOutput, 1.0f);
    put(kMix, legacyWord(0));
    put(kBeatsPerCycle, legacyWord(9));
    std::memcpy(out + 4 * kParameterCount, legacy + 40, static_cast<std::size_t>(nameSize));
}

int32_t FlangerEffect::loadChunk(const void* data, int32_t size, bool isPreset) {
    if (data == nullptr || table == nullptr || rows.empty() || programSize != kRecordSize) return 0;
    const auto* bytes = static_cast<const unsigned char*>(data);
    const int32_t records = isPreset ? 1 : kProgramCount;
    // Chunks come from song files: everything is checked on a copy before any program changes.
    std::vector<unsigned char> converted(static_cast<std::size_t>(records * kRecordSize));
    if (size == records * kRecordSize) {
        std::memcpy(converted.data(), bytes, converted.size());
    } else if (size == records * kLegacyRecordSize) {
        for (int32_t r = 0; r < records; ++r)
            convertLegacyRecord(bytes + r * kLegacyRecordSize, converted.data() + r * kRecordSize);
    } else {
        return 0;
    }
    for (int32_t r = 0; r < records; ++r) sanitiseRecord(converted.data() + r * kRecordSize);
    unsigned char* target = isPreset ? programData(currentProgramIndex) : programData(0);
    std::memcpy(target, converted.data(), converted.size());
    loadProgram(currentProgramIndex);
    return 1;
}

}  // namespace flanger::effect
