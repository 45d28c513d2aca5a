// The flanger as one VST3 object: component, audio processor, edit controller and unit info
// over one FlangerEffect, which it hosts through the effect's own interface (dispatcher,
// set-parameter, process, chunks, time info) exactly as a VST 2.x host would.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>

#include "host/VstInterface.h"
#include "module/HostedEffect.h"
#include "module/vst3/Vst3Interface.h"

namespace flanger::vst3 {

class FlangerView;

// The parameters the host sees: the effect's eleven, then the two this format's hosts expect.
inline constexpr ParamID kEffectParameterCount = 11;
inline constexpr ParamID kBypassId = 11;
inline constexpr ParamID kProgramId = 12;
inline constexpr int32_t kParameterCount = 13;
inline constexpr int32_t kProgramListId = 1;

inline constexpr uint32_t kFlangerClassWords[4] = {0x4277466C, 0x616E6765, 0x72563301, 0x9E3779B9};
inline constexpr Uid kFlangerClassId =
    makeUid(kFlangerClassWords[0], kFlangerClassWords[1], kFlangerClassWords[2], kFlangerClassWords[3]);
inline constexpr const char* kClassName = "BrackwaterFlanger";
inline constexpr const char* kClassCategory = "Audio Module Class";
inline constexpr const char* kSubCategories = "Fx|Modulation";
inline constexpr const char* kVendor = "Brackwater";  // as the effect reports it
inline constexpr const char* kInterfaceVersion = "VST 3.7";

class FlangerVst3 final : public IComponent,
                          public IAudioProcessor,
                          public IEditController,
                          public IUnitInfo {
public:
    // Null when the effect cannot be made.
    static FlangerVst3* create() noexcept;

    // FUnknown
    tresult VST3_CALL queryInterface(const TUID iid, void** object) override;
    uint32_t VST3_CALL addRef() override;
    uint32_t VST3_CALL release() override;

    // IPluginBase
    tresult VST3_CALL initialize(FUnknown* context) override;
    tresult VST3_CALL terminate() override;

    // IComponent
    tresult VST3_CALL getControllerClassId(TUID classId) override;
    tresult VST3_CALL setIoMode(int32_t mode) override;
    int32_t VST3_CALL getBusCount(int32_t type, int32_t direction) override;
    tresult VST3_CALL getBusInfo(int32_t type, int32_t direction, int32_t index, BusInfo& bus) override;
    tresult VST3_CALL getRoutingInfo(RoutingInfo& in, RoutingInfo& out) override;
    tresult VST3_CALL activateBus(int32_t type, int32_t direction, int32_t index, TBool state) override;
    tresult VST3_CALL setActive(TBool state) override;
    tresult VST3_CALL setState(IBStream* state) override;
    tresult VST3_CALL getState(IBStream* state) override;

    // IAudioProcessor
    tresult VST3_CALL setBusArrangements(SpeakerArrangement* inputs, int32_t numIns,
                                         SpeakerArrangement* outputs, int32_t numOuts) override;
    tresult VST3_CALL getBusArrangement(int32_t direction, int32_t index, SpeakerArrangement& arr) override;
    tresult VST3_CALL canProcessSampleSize(int32_t symbolicSampleSize) override;
    uint32_t VST3_CALL getLatencySamples() override;
    tresult VST3_CALL setupProcessing(ProcessSetup& setup) override;
    tresult VST3_CALL setProcessing(TBool state) override;
    tresult VST3_CALL process(ProcessData& data) override;
    uint32_t VST3_CALL getTailSamples() override;

    // IEditController
    tresult VST3_CALL setComponentState(IBStream* state) override;
    tresult VST3_CALL getParameterInfo(int32_t index, ParameterInfo& info) override;
    int32_t VST3_CALL getParameterCount() override;
    tresult VST3_CALL getParamStringByValue(ParamID id, ParamValue valueNormalized,
                                            String128 string) override;
    tresult VST3_CALL getParamValueByString(ParamID id, char16* string, ParamValue& valueNormalized) override;
    ParamValue VST3_CALL normalizedParamToPlain(ParamID id, ParamValue valueNormalized) override;
    ParamValue VST3_CALL plainParamToNormalized(ParamID id, ParamValue plainValue) override;
    ParamValue VST3_CALL getParamNormalized(ParamID id) override;
    tresult VST3_CALL setParamNormalized(ParamID id, ParamValue value) override;
    tresult VST3_CALL setComponentHandler(IComponentHandler* handler) override;
    IPlugView* VST3_CALL createView(FIDString name) override;

    // IUnitInfo
    int32_t VST3_CALL getUnitCount() override;
    tresult VST3_CALL getUnitInfo(int32_t unitIndex, UnitInfo& info) override;
    int32_t VST3_CALL getProgramListCount() override;
    tresult VST3_CALL getProgramListInfo(int32_t listIndex, ProgramListInfo& info) override;
    tresult VST3_CALL getProgramName(int32_t listId, int32_t programIndex, String128 name) override;
    tresult VST3_CALL getProgramInfo(int32_t listId, int32_t programIndex, const char* attributeId,
                                     String128 attributeValue) override;
    tresult VST3_CALL hasProgramPitchNames(int32_t listId, int32_t programIndex) override;
    tresult VST3_CALL getProgramPitchName(int32_t listId, int32_t programIndex, int16_t midiPitch,
                                          String128 name) override;
    int32_t VST3_CALL getSelectedUnit() override;
    tresult VST3_CALL selectUnit(int32_t unitId) override;
    tresult VST3_CALL getUnitByBus(int32_t type, int32_t direction, int32_t busIndex, int32_t channel,
                                   int32_t& unitId) override;
    tresult VST3_CALL setUnitProgramData(int32_t listOrUnitId, int32_t programIndex, IBStream* data) override;

    // For the view: the effect's record and the host's handler of edits.
    vst::EffectRecord* record() noexcept { return effectRecord; }
    void viewClosed(FlangerView* view) noexcept;
    // Called on the host's GUI thread from the view's timer: tells the host about values the
    // effect changed itself (a program picked in the editor).
    void flushDisplayUpdates() noexcept;

    // What the effect asks of its host.
    intptr_t answerEffect(int32_t opcode, int32_t index, intptr_t value, void* ptr, float opt) noexcept;

private:
    FlangerVst3() noexcept;
    ~FlangerVst3();
    bool open() noexcept;

    intptr_t dispatch(int32_t opcode, int32_t index = 0, intptr_t value = 0, void* ptr = nullptr,
                      float opt = 0.0f) noexcept;
    int32_t programCount() const noexcept;
    int32_t currentProgram() noexcept;
    void selectProgram(int32_t program) noexcept;
    void setEffectParameter(ParamID id, double normalised) noexcept;

    // Audio-thread parts of process().
    void collectChanges(IParameterChanges* changes, int32_t frames) noexcept;
    void applyStepped(int32_t at) noexcept;
    void applyRamps(int32_t at) noexcept;
    bool pointAt(ParamID id, int32_t index, int32_t& offset, double& value) const noexcept;
    int32_t nextChange(int32_t from, int32_t frames) const noexcept;
    void finishChanges() noexcept;
    void takeTime(const ProcessContext* context) noexcept;
    void render(float** inputs, float** outputs, int32_t frames) noexcept;

    std::atomic<uint32_t> references{1};  // writers and readers: any thread the host holds us on
    module::HostedEffect hosted;
    vst::EffectRecord* effectRecord = nullptr;  // the hosted effect's, once open

    FUnknown* hostContext = nullptr;       // GUI thread
    IComponentHandler* handler = nullptr;  // GUI thread
    FlangerView* openView = nullptr;       // GUI thread
    std::array<double, kEffectParameterCount> defaults{};

    double sampleRate = 44100.0;  // set up while processing is off
    int32_t maxBlock = 1024;
    int32_t inputChannels = 2;
    int32_t outputChannels = 2;
    bool active = false;

    // The host's bypass: its target (writer: process or the host's controller calls; reader:
    // process) and the dry/wet crossfade (audio thread).
    std::atomic<bool> bypassed{false};
    // Writers: whichever host thread picks a program or loads a state; readers: any.
    std::atomic<int32_t> shownProgram{0};
    float bypassGain = 0.0f;
    float bypassStep = 1.0f;
    // Raised where values changed other than by the host's own writes (a program, a state): the
    // next process call reports them as output changes, the view's timer as a restart. Neither
    // happens inside the host's call, where calling the host back can deadlock it.
    std::atomic<bool> displayChanged{false};
    std::atomic<bool> reportValues{false};
    void noteValuesChanged() noexcept {
        displayChanged.store(true, std::memory_order_release);
        reportValues.store(true, std::memory_order_release);
    }
    void reportValuesTo(IParameterChanges* changes) noexcept;

    // Audio thread: the time the effect asks for, where automation points stand, and scratch
    // for the dry signal and a discarded channel.
    vst::VstTimeInfo timeInfo{};
    bool timeValid = false;
    int64_t framesDone = 0;
    struct Point {
        int64_t frame = 0;
        double value = 0.0;
        bool known = false;
    };
    std::array<Point, kParameterCount> lastPoint{};
    std::array<bool, kParameterCount> rampPending{};  // a ramp's value not yet written on the grid
    int32_t blockFrames = 0;
    std::array<IParamValueQueue*, kParameterCount> queues{};
    std::array<int32_t, kParameterCount> nextPoint{};
    std::array<int32_t, kParameterCount> pointCount{};
    static constexpr int32_t kScratchFrames = 256;
    std::array<float, 2 * kScratchFrames> dry{};
    std::array<float, kScratchFrames> spare{};
};

}  // namespace flanger::vst3
