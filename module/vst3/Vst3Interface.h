// The VST3 plug-in interface as far as this module and its test host use it, declared here from
// the interface's public documentation: every interface a table of functions after
// queryInterface, addRef and release (a C++ class of pure virtual functions, whose table the
// compilers on both systems lay out that way), the IDs, the structures and the constants.
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(_WIN32)
#define VST3_CALL __stdcall
#pragma pack(push, 16)
#else
#define VST3_CALL
#endif

namespace flanger::vst3 {

using tresult = int32_t;
using TBool = uint8_t;
using char16 = char16_t;
using String128 = char16[128];
using ParamID = uint32_t;
using ParamValue = double;
using SpeakerArrangement = uint64_t;
using FIDString = const char*;
using TUID = char[16];

#if defined(_WIN32)
inline constexpr tresult kNoInterface = static_cast<tresult>(0x80004002L);
inline constexpr tresult kResultOk = 0;
inline constexpr tresult kResultFalse = 1;
inline constexpr tresult kInvalidArgument = static_cast<tresult>(0x80070057L);
inline constexpr tresult kNotImplemented = static_cast<tresult>(0x80004001L);
#else
inline constexpr tresult kNoInterface = -1;
inline constexpr tresult kResultOk = 0;
inline constexpr tresult kResultFalse = 1;
inline constexpr tresult kInvalidArgument = 2;
inline constexpr tresult kNotImplemented = 3;
#endif
inline constexpr tresult kResultTrue = kResultOk;

// An interface or class ID, written as four 32-bit words. Linux keeps all 16 bytes in the
// written order; Windows keeps it as a COM GUID, whose first word and two halves of the second
// are little-endian.
struct Uid {
    char bytes[16];
};

constexpr Uid makeUid(uint32_t a, uint32_t b, uint32_t c, uint32_t d) noexcept {
    Uid id{};
    auto put = [&id](int at, uint32_t word, bool little) {
        for (int i = 0; i < 4; ++i) {
            const int shift = little ? 8 * i : 24 - 8 * i;
            id.bytes[at + i] = static_cast<char>((word >> shift) & 0xFF);
        }
    };
#if defined(_WIN32)
    put(0, a, true);
    id.bytes[4] = static_cast<char>((b >> 16) & 0xFF);
    id.bytes[5] = static_cast<char>((b >> 24) & 0xFF);
    id.bytes[6] = static_cast<char>(b & 0xFF);
    id.bytes[7] = static_cast<char>((b >> 8) & 0xFF);
#else
    put(0, a, false);
    put(4, b, false);
#endif
    put(8, c, false);
    put(12, d, false);
    return id;
}

inline bool sameUid(const char* bytes, const Uid& id) noexcept {
    if (bytes == nullptr) return false;
    for (int i = 0; i < 16; ++i)
        if (bytes[i] != id.bytes[i]) return false;
    return true;
}

inline constexpr Uid kFUnknownIid = makeUid(0x00000000, 0x00000000, 0xC0000000, 0x00000046);
inline constexpr Uid kPluginBaseIid = makeUid(0x22888DDB, 0x156E45AE, 0x8358B348, 0x08190625);
inline constexpr Uid kPluginFactoryIid = makeUid(0x7A4D811C, 0x52114A1F, 0xAED9D2EE, 0x0B43BF9F);
inline constexpr Uid kPluginFactory2Iid = makeUid(0x0007B650, 0xF24B4C0B, 0xA464EDB9, 0xF00B2ABB);
inline constexpr Uid kPluginFactory3Iid = makeUid(0x4555A2AB, 0xC1234E57, 0x9B122910, 0x36878931);
inline constexpr Uid kComponentIid = makeUid(0xE831FF31, 0xF2D54301, 0x928EBBEE, 0x25697802);
inline constexpr Uid kAudioProcessorIid = makeUid(0x42043F99, 0xB7DA453C, 0xA569E79D, 0x9AAEC33D);
inline constexpr Uid kEditControllerIid = makeUid(0xDCD7BBE3, 0x7742448D, 0xA874AACC, 0x979C759E);
inline constexpr Uid kComponentHandlerIid = makeUid(0x93A0BEA3, 0x0BD045DB, 0x8E890B0C, 0xC1E46AC6);
inline constexpr Uid kHostApplicationIid = makeUid(0x58E595CC, 0xDB2D4969, 0x8B6AAF8C, 0x36A664E5);
inline constexpr Uid kPlugViewIid = makeUid(0x5BC32507, 0xD06049EA, 0xA6151B52, 0x2B755B29);
inline constexpr Uid kPlugFrameIid = makeUid(0x367FAF01, 0xAFA94693, 0x8D4DA2A0, 0xED0882A3);
inline constexpr Uid kRunLoopIid = makeUid(0x18C35366, 0x97764F1A, 0x9C5B8385, 0x7A871389);
inline constexpr Uid kEventHandlerIid = makeUid(0x561E65C9, 0x13A0496F, 0x813A2C35, 0x654D7983);
inline constexpr Uid kTimerHandlerIid = makeUid(0x10BDD94F, 0x41424774, 0x821FAD8F, 0xECA72CA9);
inline constexpr Uid kContentScaleIid = makeUid(0x65ED9690, 0x8AC44525, 0x8AADEF7A, 0x72EA703F);
inline constexpr Uid kBStreamIid = makeUid(0xC3BF6EA2, 0x30994752, 0x9B6BF990, 0x1EE33E9B);
inline constexpr Uid kParameterChangesIid = makeUid(0xA4779663, 0x0BB64A56, 0xB44384A8, 0x466FEB9D);
inline constexpr Uid kParamValueQueueIid = makeUid(0x01263A18, 0xED074F6F, 0x98C9D356, 0x4686F9BA);
inline constexpr Uid kUnitInfoIid = makeUid(0x3D4BD6B5, 0x913A4FD2, 0xA886E768, 0xA5EB92C1);
inline constexpr Uid kConnectionPointIid = makeUid(0x70A4156F, 0x6E6E4026, 0x989148BF, 0xAA60D8D1);

// Interfaces: destructors are protected and not virtual, so the function tables hold exactly
// the declared functions, in order.
class FUnknown {
public:
    virtual tresult VST3_CALL queryInterface(const TUID iid, void** object) = 0;
    virtual uint32_t VST3_CALL addRef() = 0;
    virtual uint32_t VST3_CALL release() = 0;

protected:
    ~FUnknown() = default;
};

class IBStream : public FUnknown {
public:
    enum SeekMode { kIBSeekSet = 0, kIBSeekCur, kIBSeekEnd };
    virtual tresult VST3_CALL read(void* buffer, int32_t numBytes, int32_t* numBytesRead) = 0;
    virtual tresult VST3_CALL write(void* buffer, int32_t numBytes, int32_t* numBytesWritten) = 0;
    virtual tresult VST3_CALL seek(int64_t pos, int32_t mode, int64_t* result) = 0;
    virtual tresult VST3_CALL tell(int64_t* pos) = 0;

protected:
    ~IBStream() = default;
};

class IPluginBase : public FUnknown {
public:
    virtual tresult VST3_CALL initialize(FUnknown* context) = 0;
    virtual tresult VST3_CALL terminate() = 0;

protected:
    ~IPluginBase() = default;
};

struct PFactoryInfo {
    enum { kNoFlags = 0, kUnicode = 1 << 4 };
    char vendor[64];
    char url[256];
    char email[128];
    int32_t flags;
};

inline constexpr int32_t kManyInstances = 0x7FFFFFFF;

struct PClassInfo {
    TUID cid;
    int32_t cardinality;
    char category[32];
    char name[64];
};

struct PClassInfo2 {
    TUID cid;
    int32_t cardinality;
    char category[32];
    char name[64];
    uint32_t classFlags;
    char subCategories[128];
    char vendor[64];
    char version[64];
    char sdkVersion[64];
};

struct PClassInfoW {
    TUID cid;
    int32_t cardinality;
    char category[32];
    char16 name[64];
    uint32_t classFlags;
    char subCategories[128];
    char16 vendor[64];
    char16 version[64];
    char16 sdkVersion[64];
};

class IPluginFactory : public FUnknown {
public:
    virtual tresult VST3_CALL getFactoryInfo(PFactoryInfo* info) = 0;
    virtual int32_t VST3_CALL countClasses() = 0;
    virtual tresult VST3_CALL getClassInfo(int32_t index, PClassInfo* info) = 0;
    virtual tresult VST3_CALL createInstance(FIDString cid, FIDString iid, void** object) = 0;

protected:
    ~IPluginFactory() = default;
};

class IPluginFactory2 : public IPluginFactory {
public:
    virtual tresult VST3_CALL getClassInfo2(int32_t index, PClassInfo2* info) = 0;

protected:
    ~IPluginFactory2() = default;
};

class IPluginFactory3 : public IPluginFactory2 {
public:
    virtual tresult VST3_CALL getClassInfoUnicode(int32_t index, PClassInfoW* info) = 0;
    virtual tresult VST3_CALL setHostContext(FUnknown* context) = 0;

protected:
    ~IPluginFactory3() = default;
};

enum MediaTypes : int32_t { kAudio = 0, kEvent = 1 };
enum BusDirections : int32_t { kInput = 0, kOutput = 1 };
enum BusTypes : int32_t { kMain = 0, kAux = 1 };
inline constexpr uint32_t kDefaultActive = 1;

struct BusInfo {
    int32_t mediaType;
    int32_t direction;
    int32_t channelCount;
    String128 name;
    int32_t busType;
    uint32_t flags;
};

struct RoutingInfo {
    int32_t mediaType;
    int32_t busIndex;
    int32_t channel;
};

class IComponent : public IPluginBase {
public:
    virtual tresult VST3_CALL getControllerClassId(TUID classId) = 0;
    virtual tresult VST3_CALL setIoMode(int32_t mode) = 0;
    virtual int32_t VST3_CALL getBusCount(int32_t type, int32_t direction) = 0;
    virtual tresult VST3_CALL getBusInfo(int32_t type, int32_t direction, int32_t index, BusInfo& bus) = 0;
    virtual tresult VST3_CALL getRoutingInfo(RoutingInfo& in, RoutingInfo& out) = 0;
    virtual tresult VST3_CALL activateBus(int32_t type, int32_t direction, int32_t index, TBool state) = 0;
    virtual tresult VST3_CALL setActive(TBool state) = 0;
    virtual tresult VST3_CALL setState(IBStream* state) = 0;
    virtual tresult VST3_CALL getState(IBStream* state) = 0;

protected:
    ~IComponent() = default;
};

inline constexpr SpeakerArrangement kSpeakerL = 1 << 0;
inline constexpr SpeakerArrangement kSpeakerR = 1 << 1;
inline constexpr SpeakerArrangement kSpeakerM = 1 << 19;
inline constexpr SpeakerArrangement kArrangementMono = kSpeakerM;
inline constexpr SpeakerArrangement kArrangementStereo = kSpeakerL | kSpeakerR;

enum SymbolicSampleSizes : int32_t { kSample32 = 0, kSample64 = 1 };
enum ProcessModes : int32_t { kRealtime = 0, kPrefetch = 1, kOffline = 2 };

struct ProcessSetup {
    int32_t processMode;
    int32_t symbolicSampleSize;
    int32_t maxSamplesPerBlock;
    double sampleRate;
};

struct AudioBusBuffers {
    int32_t numChannels;
    uint64_t silenceFlags;
    union {
        float** channelBuffers32;
        double** channelBuffers64;
    };
};

class IParamValueQueue : public FUnknown {
public:
    virtual ParamID VST3_CALL getParameterId() = 0;
    virtual int32_t VST3_CALL getPointCount() = 0;
    virtual tresult VST3_CALL getPoint(int32_t index, int32_t& sampleOffset, ParamValue& value) = 0;
    virtual tresult VST3_CALL addPoint(int32_t sampleOffset, ParamValue value, int32_t& index) = 0;

protected:
    ~IParamValueQueue() = default;
};

class IParameterChanges : public FUnknown {
public:
    virtual int32_t VST3_CALL getParameterCount() = 0;
    virtual IParamValueQueue* VST3_CALL getParameterData(int32_t index) = 0;
    virtual IParamValueQueue* VST3_CALL addParameterData(const ParamID& id, int32_t& index) = 0;

protected:
    ~IParameterChanges() = default;
};

struct Chord {
    uint8_t keyNote;
    uint8_t rootNote;
    int16_t chordMask;
};

struct FrameRate {
    uint32_t framesPerSecond;
    uint32_t flags;
};

struct ProcessContext {
    enum StatesAndFlags : uint32_t { kPlaying = 1 << 1, kTempoValid = 1 << 10 };
    uint32_t state;
    double sampleRate;
    int64_t projectTimeSamples;
    int64_t systemTime;
    int64_t continousTimeSamples;
    double projectTimeMusic;
    double barPositionMusic;
    double cycleStartMusic;
    double cycleEndMusic;
    double tempo;
    int32_t timeSigNumerator;
    int32_t timeSigDenominator;
    Chord chord;
    int32_t smpteOffsetSubframes;
    FrameRate frameRate;
    int32_t samplesToNextClock;
};

class IEventList;

struct ProcessData {
    int32_t processMode;
    int32_t symbolicSampleSize;
    int32_t numSamples;
    int32_t numInputs;
    int32_t numOutputs;
    AudioBusBuffers* inputs;
    AudioBusBuffers* outputs;
    IParameterChanges* inputParameterChanges;
    IParameterChanges* outputParameterChanges;
    IEventList* inputEvents;
    IEventList* outputEvents;
    ProcessContext* processContext;
};

class IAudioProcessor : public FUnknown {
public:
    virtual tresult VST3_CALL setBusArrangements(SpeakerArrangement* inputs, int32_t numIns,
                                                 SpeakerArrangement* outputs, int32_t numOuts) = 0;
    virtual tresult VST3_CALL getBusArrangement(int32_t direction, int32_t index,
                                                SpeakerArrangement& arr) = 0;
    virtual tresult VST3_CALL canProcessSampleSize(int32_t symbolicSampleSize) = 0;
    virtual uint32_t VST3_CALL getLatencySamples() = 0;
    virtual tresult VST3_CALL setupProcessing(ProcessSetup& setup) = 0;
    virtual tresult VST3_CALL setProcessing(TBool state) = 0;
    virtual tresult VST3_CALL process(ProcessData& data) = 0;
    virtual uint32_t VST3_CALL getTailSamples() = 0;

protected:
    ~IAudioProcessor() = default;
};

struct ParameterInfo {
    enum ParameterFlags : int32_t {
        kNoFlags = 0,
        kCanAutomate = 1 << 0,
        kIsReadOnly = 1 << 1,
        kIsList = 1 << 3,
        kIsHidden = 1 << 4,
        kIsProgramChange = 1 << 15,
        kIsBypass = 1 << 16
    };
    ParamID id;
    String128 title;
    String128 shortTitle;
    String128 units;
    int32_t stepCount;
    ParamValue defaultNormalizedValue;
    int32_t unitId;
    int32_t flags;
};

class IComponentHandler : public FUnknown {
public:
    enum RestartFlags : int32_t { kReloadComponent = 1 << 0, kParamValuesChanged = 1 << 2 };
    virtual tresult VST3_CALL beginEdit(ParamID id) = 0;
    virtual tresult VST3_CALL performEdit(ParamID id, ParamValue valueNormalized) = 0;
    virtual tresult VST3_CALL endEdit(ParamID id) = 0;
    virtual tresult VST3_CALL restartComponent(int32_t flags) = 0;

protected:
    ~IComponentHandler() = default;
};

class IHostApplication : public FUnknown {
public:
    virtual tresult VST3_CALL getName(String128 name) = 0;
    virtual tresult VST3_CALL createInstance(TUID cid, TUID iid, void** object) = 0;

protected:
    ~IHostApplication() = default;
};

struct ViewRect {
    int32_t left;
    int32_t top;
    int32_t right;
    int32_t bottom;
};

inline constexpr const char* kPlatformTypeX11EmbedWindowID = "X11EmbedWindowID";
inline constexpr const char* kPlatformTypeHWND = "HWND";

class IPlugView;

class IPlugFrame : public FUnknown {
public:
    virtual tresult VST3_CALL resizeView(IPlugView* view, ViewRect* newSize) = 0;

protected:
    ~IPlugFrame() = default;
};

class IPlugView : public FUnknown {
public:
    virtual tresult VST3_CALL isPlatformTypeSupported(FIDString type) = 0;
    virtual tresult VST3_CALL attached(void* parent, FIDString type) = 0;
    virtual tresult VST3_CALL removed() = 0;
    virtual tresult VST3_CALL onWheel(float distance) = 0;
    virtual tresult VST3_CALL onKeyDown(char16 key, int16_t keyCode, int16_t modifiers) = 0;
    virtual tresult VST3_CALL onKeyUp(char16 key, int16_t keyCode, int16_t modifiers) = 0;
    virtual tresult VST3_CALL getSize(ViewRect* size) = 0;
    virtual tresult VST3_CALL onSize(ViewRect* newSize) = 0;
    virtual tresult VST3_CALL onFocus(TBool state) = 0;
    virtual tresult VST3_CALL setFrame(IPlugFrame* frame) = 0;
    virtual tresult VST3_CALL canResize() = 0;
    virtual tresult VST3_CALL checkSizeConstraint(ViewRect* rect) = 0;

protected:
    ~IPlugView() = default;
};

class IPlugViewContentScaleSupport : public FUnknown {
public:
    virtual tresult VST3_CALL setContentScaleFactor(float factor) = 0;

protected:
    ~IPlugViewContentScaleSupport() = default;
};

class IEventHandler : public FUnknown {
public:
    virtual void VST3_CALL onFDIsSet(int fd) = 0;

protected:
    ~IEventHandler() = default;
};

class ITimerHandler : public FUnknown {
public:
    virtual void VST3_CALL onTimer() = 0;

protected:
    ~ITimerHandler() = default;
};

class IRunLoop : public FUnknown {
public:
    virtual tresult VST3_CALL registerEventHandler(IEventHandler* handler, int fd) = 0;
    virtual tresult VST3_CALL unregisterEventHandler(IEventHandler* handler) = 0;
    virtual tresult VST3_CALL registerTimer(ITimerHandler* handler, uint64_t milliseconds) = 0;
    virtual tresult VST3_CALL unregisterTimer(ITimerHandler* handler) = 0;

protected:
    ~IRunLoop() = default;
};

class IEditController : public IPluginBase {
public:
    virtual tresult VST3_CALL setComponentState(IBStream* state) = 0;
    virtual tresult VST3_CALL setState(IBStream* state) = 0;
    virtual tresult VST3_CALL getState(IBStream* state) = 0;
    virtual int32_t VST3_CALL getParameterCount() = 0;
    virtual tresult VST3_CALL getParameterInfo(int32_t index, ParameterInfo& info) = 0;
    virtual tresult VST3_CALL getParamStringByValue(ParamID id, ParamValue valueNormalized,
                                                    String128 string) = 0;
    virtual tresult VST3_CALL getParamValueByString(ParamID id, char16* string,
                                                    ParamValue& valueNormalized) = 0;
    virtual ParamValue VST3_CALL normalizedParamToPlain(ParamID id, ParamValue valueNormalized) = 0;
    virtual ParamValue VST3_CALL plainParamToNormalized(ParamID id, ParamValue plainValue) = 0;
    virtual ParamValue VST3_CALL getParamNormalized(ParamID id) = 0;
    virtual tresult VST3_CALL setParamNormalized(ParamID id, ParamValue value) = 0;
    virtual tresult VST3_CALL setComponentHandler(IComponentHandler* handler) = 0;
    virtual IPlugView* VST3_CALL createView(FIDString name) = 0;

protected:
    ~IEditController() = default;
};

inline constexpr int32_t kRootUnitId = 0;
inline constexpr int32_t kNoParentUnitId = -1;
inline constexpr int32_t kNoProgramListId = -1;

struct UnitInfo {
    int32_t id;
    int32_t parentUnitId;
    String128 name;
    int32_t programListId;
};

struct ProgramListInfo {
    int32_t id;
    String128 name;
    int32_t programCount;
};

class IUnitInfo : public FUnknown {
public:
    virtual int32_t VST3_CALL getUnitCount() = 0;
    virtual tresult VST3_CALL getUnitInfo(int32_t unitIndex, UnitInfo& info) = 0;
    virtual int32_t VST3_CALL getProgramListCount() = 0;
    virtual tresult VST3_CALL getProgramListInfo(int32_t listIndex, ProgramListInfo& info) = 0;
    virtual tresult VST3_CALL getProgramName(int32_t listId, int32_t programIndex, String128 name) = 0;
    virtual tresult VST3_CALL getProgramInfo(int32_t listId, int32_t programIndex, const char* attributeId,
                                             String128 attributeValue) = 0;
    virtual tresult VST3_CALL hasProgramPitchNames(int32_t listId, int32_t programIndex) = 0;
    virtual tresult VST3_CALL getProgramPitchName(int32_t listId, int32_t programIndex, int16_t midiPitch,
                                                  String128 name) = 0;
    virtual int32_t VST3_CALL getSelectedUnit() = 0;
    virtual tresult VST3_CALL selectUnit(int32_t unitId) = 0;
    virtual tresult VST3_CALL getUnitByBus(int32_t type, int32_t direction, int32_t busIndex, int32_t channel,
                                           int32_t& unitId) = 0;
    virtual tresult VST3_CALL setUnitProgramData(int32_t listOrUnitId, int32_t programIndex,
                                                 IBStream* data) = 0;

protected:
    ~IUnitInfo() = default;
};

// The layouts every caller relies on, the same on both systems.
static_assert(sizeof(PFactoryInfo) == 452);
static_assert(sizeof(PClassInfo) == 116);
static_assert(offsetof(PClassInfo2, classFlags) == 116 && sizeof(PClassInfo2) == 440);
static_assert(offsetof(PClassInfoW, classFlags) == 180 && sizeof(PClassInfoW) == 696);
static_assert(offsetof(BusInfo, name) == 12 && offsetof(BusInfo, busType) == 268 && sizeof(BusInfo) == 276);
static_assert(offsetof(ProcessSetup, sampleRate) == 16 && sizeof(ProcessSetup) == 24);
static_assert(offsetof(AudioBusBuffers, silenceFlags) == 8 &&
              offsetof(AudioBusBuffers, channelBuffers32) == 16 && sizeof(AudioBusBuffers) == 24);
static_assert(offsetof(ProcessData, inputs) == 24 && offsetof(ProcessData, processContext) == 72 &&
              sizeof(ProcessData) == 80);
static_assert(offsetof(ProcessContext, sampleRate) == 8 && offsetof(ProcessContext, tempo) == 72 &&
              offsetof(ProcessContext, timeSigNumerator) == 80 && offsetof(ProcessContext, chord) == 88 &&
              offsetof(ProcessContext, frameRate) == 96 &&
              offsetof(ProcessContext, samplesToNextClock) == 104 && sizeof(ProcessContext) == 112);
static_assert(offsetof(ParameterInfo, title) == 4 && offsetof(ParameterInfo, units) == 516 &&
              offsetof(ParameterInfo, stepCount) == 772 &&
              offsetof(ParameterInfo, defaultNormalizedValue) == 776 &&
              offsetof(ParameterInfo, flags) == 788 && sizeof(ParameterInfo) == 792);
static_assert(offsetof(UnitInfo, name) == 8 && offsetof(UnitInfo, programListId) == 264 &&
              sizeof(UnitInfo) == 268);
static_assert(offsetof(ProgramListInfo, programCount) == 260 && sizeof(ProgramListInfo) == 264);
static_assert(sizeof(ViewRect) == 16);

}  // namespace flanger::vst3

#if defined(_WIN32)
#pragma pack(pop)
#endif
