// The extended effect class: opcodes 25 to 68 and the remaining host requests, each with the
// default answer an effect gives when it does not override it.
#pragma once

#include <cstdint>

#include "host/EffectBase.h"

namespace flanger::host {

class ExtendedEffect : public EffectBase {
public:
    ExtendedEffect(vst::HostCallback host, int32_t programCount, int32_t parameterCount)
        : EffectBase(host, programCount, parameterCount) {}

    intptr_t dispatch(int32_t opcode, int32_t index, intptr_t value, void* ptr, float opt) override;

    virtual EditorBase* editor() { return attachedEditor; }
    virtual intptr_t requestEvents(intptr_t filter);
    virtual vst::VstTimeInfo* timeInfo(intptr_t filter);
    virtual intptr_t hostTempoAt(intptr_t position);
    virtual int32_t takeEvents(void* /*events*/) { return 0; }
    virtual intptr_t hostAutomatableCount();
    virtual intptr_t hostParameterQuantization();
    virtual bool canBeAutomated(int32_t /*index*/) { return true; }
    virtual bool textToParameter(int32_t /*index*/, char* /*text*/) { return false; }
    virtual float channelParameter(int32_t /*channel*/, int32_t /*index*/) { return 0.0f; }
    virtual int32_t programCategoryCount() { return 1; }
    virtual bool programNameByIndex(int32_t /*category*/, int32_t /*index*/, char* /*text*/) { return false; }
    virtual bool duplicateProgram(int32_t /*destination*/) { return false; }
    virtual bool notifyIoChanged();
    virtual bool requestIdle();
    virtual bool requestWindowSize(int32_t width, int32_t height);
    virtual float refreshSampleRate();
    virtual int32_t refreshBlockSize();
    virtual intptr_t hostInputLatency();
    virtual intptr_t hostOutputLatency();
    virtual intptr_t previousPlug(int32_t input);
    virtual intptr_t nextPlug(int32_t output);
    virtual void connectInput(int32_t /*index*/, bool /*on*/) {}
    virtual void connectOutput(int32_t /*index*/, bool /*on*/) {}
    virtual bool inputProperties(int32_t /*index*/, void* /*properties*/) { return false; }
    virtual bool outputProperties(int32_t /*index*/, void* /*properties*/) { return false; }
    virtual int32_t plugCategory() { return (record.flags & vst::effFlagsIsSynth) != 0 ? 2 : 0; }
    virtual intptr_t hostWillReplace();
    virtual intptr_t hostProcessLevel();
    virtual intptr_t hostAutomationState();
    virtual void setWantsAsync(bool on) { setFlag(vst::effFlagsExtIsAsync, on); }
    virtual void setHasExternalBuffer(bool on) { setFlag(vst::effFlagsExtHasBuffer, on); }
    virtual int32_t currentPosition() { return 0; }
    virtual float* destinationBuffer() { return nullptr; }
    virtual bool hostOfflineRead(void* task, intptr_t option, bool readSource);
    virtual bool hostOfflineWrite(void* task, intptr_t option);
    virtual bool hostOfflineStart(void* files, intptr_t count, int32_t newCount);
    virtual bool offlinePass();
    virtual bool offlineMetaPass();
    virtual bool offlineNotice(void* /*files*/, intptr_t /*count*/, bool /*start*/) { return false; }
    virtual bool offlinePrep(void* /*task*/, intptr_t /*count*/) { return false; }
    virtual bool offlineExecute(void* /*task*/, intptr_t /*count*/) { return false; }
    virtual int32_t offlinePassCount() { return 0; }
    virtual int32_t offlineMetaPassCount() { return 0; }
    virtual void setOutputSampleRate(float rate);
    virtual vst::VstSpeakerArrangement* hostInputArrangement();
    virtual vst::VstSpeakerArrangement* hostOutputArrangement();
    virtual bool hostVendorText(char* text);
    virtual bool hostProductText(char* text);
    virtual intptr_t hostVendorVersion();
    virtual intptr_t hostVendorMessage(int32_t a, intptr_t b, void* ptr, float opt);
    virtual bool hostCanDo(const char* text);
    virtual void setIsSynth(bool on) { setFlag(vst::effFlagsIsSynth, on); }
    virtual void setNoSoundInStop(bool on) { setFlag(vst::effFlagsNoSoundInStop, on); }
    virtual intptr_t hostLanguage();
    virtual intptr_t openHostWindow(void* window);
    virtual bool closeHostWindow(void* window);
    virtual void* hostDirectory();
    virtual bool requestDisplayUpdate();
    virtual bool processVarIo(void* /*io*/) { return false; }
    virtual bool applySpeakerArrangement(vst::VstSpeakerArrangement* /*input*/,
                                         vst::VstSpeakerArrangement* /*output*/) {
        return false;
    }
    virtual bool speakerArrangement(vst::VstSpeakerArrangement** input, vst::VstSpeakerArrangement** output);
    virtual void storeBlockSizeAndRate(int32_t frames, float rate);
    virtual bool bypass(bool /*on*/) { return false; }
    virtual bool effectName(char* /*text*/) { return false; }
    virtual bool errorText(char* /*text*/) { return false; }
    virtual bool vendorText(char* /*text*/) { return false; }
    virtual bool productText(char* /*text*/) { return false; }
    virtual int32_t vendorVersion() { return 0; }
    virtual intptr_t vendorMessage(int32_t /*a*/, intptr_t /*b*/, void* /*ptr*/, float /*opt*/) { return 0; }
    virtual int32_t answerCapability(const char* /*text*/) { return 0; }
    virtual void* icon() { return nullptr; }
    virtual bool moveView(int32_t /*x*/, int32_t /*y*/) { return false; }
    virtual int32_t tailSize() { return 0; }
    virtual int32_t effectIdle() { return 0; }
    virtual bool parameterProperties(int32_t /*index*/, void* /*properties*/) { return false; }
    virtual bool needsKeys() { return false; }
    virtual int32_t interfaceVersion() { return 2200; }
    virtual int32_t midiProgramName(int32_t /*channel*/, void* /*name*/) { return 0; }
    virtual int32_t currentMidiProgram(int32_t /*channel*/, void* /*name*/) { return -1; }
    virtual int32_t midiProgramCategory(int32_t /*channel*/, void* /*category*/) { return 0; }
    virtual bool midiProgramsChanged(int32_t /*channel*/) { return false; }
    virtual bool midiKeyName(int32_t /*channel*/, void* /*keyName*/) { return false; }
    virtual bool programLoadStart() { return false; }
    virtual bool programLoadEnd() { return false; }
    virtual bool reportEditStart(int32_t index);
    virtual bool reportEditEnd(int32_t index);
    virtual bool hostFileDialog(void* request);
};

// The host's key code as the editor receives it from effEditKeyDown/effEditKeyUp.
vst::VstKeyCode keyCodeFrom(int32_t index, intptr_t value, float opt) noexcept;

}  // namespace flanger::host
