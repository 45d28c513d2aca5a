// The lowest effect class: owns the effect record handed to the host, answers dispatcher
// opcodes 0 to 24, forwards the record's entry functions, and formats numbers for hosts.
#pragma once

#include <atomic>
#include <cstdint>

#include "host/VstInterface.h"

namespace flanger::host {

class EditorBase;

class EffectBase {
public:
    EffectBase(vst::HostCallback host, int32_t programCount, int32_t parameterCount);
    virtual ~EffectBase();
    EffectBase(const EffectBase&) = delete;
    EffectBase& operator=(const EffectBase&) = delete;

    // The object behind a record, or null when the record is not one of ours.
    static EffectBase* fromRecord(vst::EffectRecord* record) noexcept;
    vst::EffectRecord* effectRecord() { return &record; }
    const vst::EffectRecord& recordFields() const { return record; }

    // Slots in the order hosts-facing code relies on; defaults as the base answers them.
    virtual void setParameterValue(int32_t index, float value);
    virtual float parameterValue(int32_t index);
    virtual void setParameterFromEditor(int32_t index, float value);
    virtual void processAdding(float** inputs, float** outputs, int32_t frames) = 0;
    virtual void processReplacing(float** inputs, float** outputs, int32_t frames);
    virtual intptr_t dispatch(int32_t opcode, int32_t index, intptr_t value, void* ptr, float opt);
    virtual void onOpen() {}
    virtual void onClose() {}
    virtual int32_t currentProgram() { return currentProgramIndex; }
    virtual void selectProgram(int32_t program) { currentProgramIndex = program; }
    virtual void renameProgram(const char* text);
    virtual void currentProgramName(char* text);
    virtual void parameterUnit(int32_t index, char* text);
    virtual void parameterText(int32_t index, char* text);
    virtual void parameterName(int32_t index, char* text);
    virtual float vuLevel() { return 0.0f; }
    virtual int32_t saveChunk(void** data, bool isPreset);
    virtual int32_t loadChunk(const void* data, int32_t size, bool isPreset);
    virtual void setSampleRate(float rate) { sampleRateHz = rate; }
    virtual void setBlockSize(int32_t frames) { blockFrames = frames; }
    virtual void suspend() {}
    virtual void resume() {}
    virtual void setUniqueId(int32_t id) { record.uniqueID = id; }
    virtual void setInputCount(int32_t count) { record.numInputs = count; }
    virtual void setOutputCount(int32_t count) { record.numOutputs = count; }
    virtual void setHasVu(bool on) { setFlag(vst::effFlagsHasVu, on); }
    virtual void setHasClip(bool on) { setFlag(vst::effFlagsHasClip, on); }
    virtual void setCanMono(bool on) { setFlag(vst::effFlagsCanMono, on); }
    virtual void setCanReplace(bool on) { setFlag(vst::effFlagsCanReplacing, on); }
    virtual void setProgramsAreChunks(bool on) { setFlag(vst::effFlagsProgramChunks, on); }
    virtual void setRealQualities(int32_t n) { record.realQualities = n; }
    virtual void setOffQualities(int32_t n) { record.offQualities = n; }
    virtual void storeInitialDelay(int32_t frames) { record.initialDelay = frames; }
    virtual float sampleRate() { return sampleRateHz; }
    virtual int32_t blockSize() { return blockFrames; }
    virtual intptr_t hostVersion();
    virtual intptr_t hostCurrentId();
    virtual intptr_t hostIdle();
    virtual bool inputPinConnected(int32_t input);
    virtual bool outputPinConnected(int32_t output);
    // Number-to-text conversions for host displays; each writes at most 8 characters and a zero.
    virtual void gainToText(float value, char* text);
    virtual void samplesToHzText(float samples, char* text);
    virtual void samplesToMsText(float samples, char* text);
    virtual void floatToText(float value, char* text);
    virtual void intToText(float value, char* text);

    EditorBase* editorPointer() const { return attachedEditor; }
    // The editor constructor stores itself here; the effect owns and destroys it.
    void attachEditor(EditorBase* editor);
    int32_t programCount() const { return programTotal; }
    int32_t parameterCount() const { return parameterTotal; }

protected:
    void setFlag(int32_t bit, bool on);
    // Sends one request to the host; 0 without a callback.
    intptr_t callHost(int32_t opcode, int32_t index = 0, intptr_t value = 0, void* ptr = nullptr,
                      float opt = 0.0f);

    float sampleRateHz = 44100.0f;
    EditorBase* attachedEditor = nullptr;
    vst::HostCallback hostCallback;
    int32_t programTotal;
    int32_t parameterTotal;
    int32_t currentProgramIndex = 0;
    // Writer: the dispatcher, and the audio thread when a host sends a larger block; reader: both.
    std::atomic<int32_t> blockFrames{1024};
    vst::EffectRecord record;
};

// The record's five entry functions: check what the host passed, then forward.
intptr_t dispatchEntry(vst::EffectRecord* record, int32_t opcode, int32_t index, intptr_t value, void* ptr,
                       float opt) noexcept;
void processEntry(vst::EffectRecord* record, float** inputs, float** outputs, int32_t frames) noexcept;
void processReplacingEntry(vst::EffectRecord* record, float** inputs, float** outputs,
                           int32_t frames) noexcept;
void setParameterEntry(vst::EffectRecord* record, int32_t index, float value) noexcept;
float getParameterEntry(vst::EffectRecord* record, int32_t index) noexcept;

}  // namespace flanger::host
