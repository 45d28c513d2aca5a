// A small VST3 host for tests and tools: loads a bundle, creates its component and drives it the
// way real hosts do (Ardour's order on Linux), with host objects of its own that keep what the
// plug-in told them: edits, restarts, run-loop handlers, resize requests.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "module/vst3/Vst3Interface.h"

namespace flanger::tools {

// UTF-16 texts of the interface, to and from UTF-8. Reading stops at the terminator or after
// capacity units; writing always terminates and never splits a character.
std::string fromUtf16(const vst3::char16* text, size_t capacity = 128);
void toUtf16(const std::string& text, vst3::char16* out, size_t capacity = 128);
// A class ID as 32 hex digits, its four words as they are written (as hosts print it).
std::string hexUid(const char* bytes);

// Host objects live inside their owner: reference counts are kept (a test can see what the
// plug-in still holds) but never delete anything.
template <class Interface>
class HostObject : public Interface {
public:
    uint32_t VST3_CALL addRef() override { return ++references; }
    uint32_t VST3_CALL release() override { return --references; }
    uint32_t referenceCount() const noexcept { return references.load(); }

protected:
    ~HostObject() = default;
    // Answers FUnknown and the interface itself.
    vst3::tresult answer(const vst3::TUID iid, const vst3::Uid& own, void** object);

private:
    std::atomic<uint32_t> references{1};
};

template <class Interface>
vst3::tresult HostObject<Interface>::answer(const vst3::TUID iid, const vst3::Uid& own, void** object) {
    if (object == nullptr) return vst3::kInvalidArgument;
    if (vst3::sameUid(iid, vst3::kFUnknownIid) || vst3::sameUid(iid, own)) {
        addRef();
        *object = static_cast<Interface*>(this);
        return vst3::kResultOk;
    }
    *object = nullptr;
    return vst3::kNoInterface;
}

// A stream over bytes in memory. It may start at a non-zero position (Ardour hands state at 48)
// and may return short reads, as some hosts' streams do, to prove a plug-in loops.
class MemoryStream final : public HostObject<vst3::IBStream> {
public:
    MemoryStream() = default;
    explicit MemoryStream(std::vector<uint8_t> bytes, int64_t position = 0);

    void setReadLimit(int32_t bytesPerRead) noexcept { readLimit = bytesPerRead; }  // 0: no limit
    // At the end a read answers ok with no bytes, as some hosts' streams do (default: false).
    void setOkAtEnd(bool on) noexcept { okAtEnd = on; }
    // A new stream over the same bytes, at the same position, read the same way.
    std::unique_ptr<MemoryStream> replay() const;
    const std::vector<uint8_t>& bytes() const noexcept { return data; }
    std::vector<uint8_t> bytesFrom(int64_t position) const;
    int64_t position() const noexcept { return at; }
    int32_t readCalls() const noexcept { return reads; }
    bool seeked() const noexcept { return seekCalls > 0; }

    vst3::tresult VST3_CALL queryInterface(const vst3::TUID iid, void** object) override;
    vst3::tresult VST3_CALL read(void* buffer, int32_t numBytes, int32_t* numBytesRead) override;
    vst3::tresult VST3_CALL write(void* buffer, int32_t numBytes, int32_t* numBytesWritten) override;
    vst3::tresult VST3_CALL seek(int64_t pos, int32_t mode, int64_t* result) override;
    vst3::tresult VST3_CALL tell(int64_t* pos) override;

private:
    std::vector<uint8_t> data;
    int64_t at = 0;
    int32_t readLimit = 0;
    bool okAtEnd = false;
    int32_t reads = 0;
    int32_t seekCalls = 0;
};

// One parameter's points for one process call, kept in offset order (a second point at the same
// offset replaces the first).
class ParamValueQueue final : public HostObject<vst3::IParamValueQueue> {
public:
    explicit ParamValueQueue(vst3::ParamID id);
    void reset(vst3::ParamID id) noexcept;

    vst3::tresult VST3_CALL queryInterface(const vst3::TUID iid, void** object) override;
    vst3::ParamID VST3_CALL getParameterId() override { return parameter; }
    int32_t VST3_CALL getPointCount() override { return static_cast<int32_t>(points.size()); }
    vst3::tresult VST3_CALL getPoint(int32_t index, int32_t& sampleOffset, vst3::ParamValue& value) override;
    vst3::tresult VST3_CALL addPoint(int32_t sampleOffset, vst3::ParamValue value, int32_t& index) override;

private:
    struct Point {
        int32_t offset;
        double value;
    };
    vst3::ParamID parameter;
    std::vector<Point> points;
};

// The parameter changes of one process call (in or out). Queues are reused between calls.
class ParameterChanges final : public HostObject<vst3::IParameterChanges> {
public:
    ParameterChanges();
    void clear() noexcept { used = 0; }
    // Adds a point for id at offset, making the queue if it is the first point of id.
    void add(vst3::ParamID id, int32_t offset, double value);
    // The last value written to id in this call, if any.
    std::optional<double> lastValue(vst3::ParamID id);

    vst3::tresult VST3_CALL queryInterface(const vst3::TUID iid, void** object) override;
    int32_t VST3_CALL getParameterCount() override { return used; }
    vst3::IParamValueQueue* VST3_CALL getParameterData(int32_t index) override;
    vst3::IParamValueQueue* VST3_CALL addParameterData(const vst3::ParamID& id, int32_t& index) override;

private:
    std::vector<std::unique_ptr<ParamValueQueue>> queues;
    int32_t used = 0;
};

class HostApplication final : public HostObject<vst3::IHostApplication> {
public:
    vst3::tresult VST3_CALL queryInterface(const vst3::TUID iid, void** object) override;
    vst3::tresult VST3_CALL getName(vst3::String128 name) override;
    vst3::tresult VST3_CALL createInstance(vst3::TUID cid, vst3::TUID iid, void** object) override;
};

// What the plug-in reported through IComponentHandler, in order.
struct Vst3Edit {
    enum class Kind { Begin, Perform, End, Restart };
    Kind kind;
    vst3::ParamID id = 0;
    double value = 0.0;  // Perform
    int32_t flags = 0;   // Restart
};

// Records every edit and restart. Performed values also wait for the next process call, where the
// host hands them to the processor as hosts do (echoEdits, on by default).
class ComponentHandler final : public HostObject<vst3::IComponentHandler> {
public:
    std::vector<Vst3Edit> edits() const;
    void clear();
    void setEchoEdits(bool on) noexcept { echo.store(on); }
    // The values performed since the last call, oldest first.
    std::vector<std::pair<vst3::ParamID, double>> takePending();

    vst3::tresult VST3_CALL queryInterface(const vst3::TUID iid, void** object) override;
    vst3::tresult VST3_CALL beginEdit(vst3::ParamID id) override;
    vst3::tresult VST3_CALL performEdit(vst3::ParamID id, vst3::ParamValue valueNormalized) override;
    vst3::tresult VST3_CALL endEdit(vst3::ParamID id) override;
    vst3::tresult VST3_CALL restartComponent(int32_t flags) override;

private:
    mutable std::mutex lock;  // the editor's thread and the test's thread both reach these
    std::vector<Vst3Edit> log;
    std::vector<std::pair<vst3::ParamID, double>> pending;
    std::atomic<bool> echo{true};  // writer: the test; reader: performEdit
};

// The run loop Linux editors get from the frame: timers and file descriptor handlers kept in
// lists and run from runOnce(), on the caller's thread only.
class RunLoop final : public HostObject<vst3::IRunLoop> {
public:
    // Waits up to waitMs (no longer than the next timer is due) for a handler's descriptor, calls
    // the handlers of the ready descriptors, then fires every due timer once.
    void runOnce(int waitMs);
    // How long until the next timer is due, at most capMs (0 when one is due now).
    int msUntilNextTimer(int capMs) const;
    std::vector<int> descriptors() const;
    size_t timerCount() const noexcept { return timers.size(); }
    size_t handlerCount() const noexcept { return handlers.size(); }
    long timerFirings() const noexcept { return firings; }
    long handlerCalls() const noexcept { return fdCalls; }

    vst3::tresult VST3_CALL queryInterface(const vst3::TUID iid, void** object) override;
    vst3::tresult VST3_CALL registerEventHandler(vst3::IEventHandler* handler, int fd) override;
    vst3::tresult VST3_CALL unregisterEventHandler(vst3::IEventHandler* handler) override;
    vst3::tresult VST3_CALL registerTimer(vst3::ITimerHandler* handler, uint64_t milliseconds) override;
    vst3::tresult VST3_CALL unregisterTimer(vst3::ITimerHandler* handler) override;

private:
    struct Handler {
        vst3::IEventHandler* handler;
        int fd;
        uint64_t serial;
    };
    struct Timer {
        vst3::ITimerHandler* handler;
        int64_t periodMs;
        int64_t dueMs;
        uint64_t serial;
    };
    bool stillRegistered(uint64_t serial) const;

    // A handler may unregister itself or others from inside its call: entries carry a serial
    // and each call first checks its entry is still there.
    std::vector<Handler> handlers;
    std::vector<Timer> timers;
    uint64_t nextSerial = 1;
    long firings = 0;
    long fdCalls = 0;
};

// The frame an editor is attached to: records resize requests and takes each, telling the view
// its new size (onSize) from inside the request as hosts do; answers IRunLoop on Linux.
class PlugFrame final : public HostObject<vst3::IPlugFrame> {
public:
    explicit PlugFrame(RunLoop& loop) : runLoop(loop) {}
    vst3::ViewRect lastResize() const noexcept { return requested; }
    int resizeRequests() const noexcept { return resizes; }

    vst3::tresult VST3_CALL queryInterface(const vst3::TUID iid, void** object) override;
    vst3::tresult VST3_CALL resizeView(vst3::IPlugView* view, vst3::ViewRect* newSize) override;

private:
    RunLoop& runLoop;
    vst3::ViewRect requested{};
    int resizes = 0;
};

struct Vst3ClassInfo {
    std::array<char, 16> cid{};
    int32_t cardinality = 0;
    std::string category;
    std::string name;
    // From IPluginFactory2 or 3 when the factory has them.
    bool extended = false;
    uint32_t classFlags = 0;
    std::string subCategories;
    std::string vendor;
    std::string version;
    std::string sdkVersion;
};

struct Vst3FactoryInfo {
    std::string vendor, url, email;
    int32_t flags = 0;
};

// A loaded bundle: the binary opened, its entry called (ModuleEntry / InitDll, which must answer
// true) and its factory. Unloading releases the factory, calls the exit and closes the binary.
class Vst3Module {
public:
    static std::shared_ptr<Vst3Module> load(const std::string& bundle, std::string* error = nullptr);
    ~Vst3Module();
    Vst3Module(const Vst3Module&) = delete;
    Vst3Module& operator=(const Vst3Module&) = delete;

    // The binary inside a bundle folder: Contents/x86_64-linux/STEM.so (x86_64-win/STEM.vst3).
    static std::string binaryPathOf(const std::string& bundle);
    // A path that names a bundle: a folder whose name ends in ".vst3".
    static bool isBundle(const std::string& path);

    const std::string& bundlePath() const noexcept { return bundle; }
    const std::string& binaryPath() const noexcept { return binary; }
    vst3::IPluginFactory* factory() const noexcept { return pluginFactory; }
    vst3::IPluginFactory3* factory3() const noexcept { return pluginFactory3; }
    Vst3FactoryInfo factoryInfo() const;
    std::vector<Vst3ClassInfo> classes() const;

private:
    Vst3Module() = default;

    std::string bundle;
    std::string binary;
    void* library = nullptr;
    bool entered = false;
    vst3::IPluginFactory* pluginFactory = nullptr;
    vst3::IPluginFactory2* pluginFactory2 = nullptr;
    vst3::IPluginFactory3* pluginFactory3 = nullptr;
};

struct Vst3ParameterInfo {
    vst3::ParamID id = 0;
    std::string title, shortTitle, units;
    int32_t stepCount = 0;
    double defaultValue = 0.0;
    int32_t unitId = 0;
    int32_t flags = 0;
};

// One process call as a host may make it. Null channel arrays are passed as null (some hosts do
// on a zero-frame call); buses = false passes no buses at all.
struct Vst3ProcessCall {
    float** inputs = nullptr;
    float** outputs = nullptr;
    int32_t frames = 0;
    int32_t inputChannels = 2;
    int32_t outputChannels = 2;
    bool buses = true;
};

// One component instance with its controller (the component itself when it answers
// IEditController, as Ardour asks first; else the controller class, created and initialised).
class Vst3Plugin {
public:
    // The first class of category "Audio Module Class" in the bundle.
    static std::unique_ptr<Vst3Plugin> load(const std::string& bundle, std::string* error = nullptr);
    static std::unique_ptr<Vst3Plugin> create(std::shared_ptr<Vst3Module> module, const char* cid,
                                              std::string* error = nullptr);
    // Closes the editor, stops processing, terminates and releases everything, in hosts' order.
    ~Vst3Plugin();
    Vst3Plugin(const Vst3Plugin&) = delete;
    Vst3Plugin& operator=(const Vst3Plugin&) = delete;

    Vst3Module& module() noexcept { return *owner; }
    vst3::IComponent* component() noexcept { return componentObject; }
    vst3::IAudioProcessor* processor() noexcept { return processorObject; }
    vst3::IEditController* controller() noexcept { return controllerObject; }
    vst3::IUnitInfo* unitInfo() noexcept { return unitInfoObject; }
    bool controllerIsComponent() const noexcept { return singleObject; }
    ComponentHandler& handler() noexcept { return componentHandler; }
    RunLoop& runLoop() noexcept { return loop; }
    PlugFrame& frame() noexcept { return plugFrame; }
    const std::string& name() const noexcept { return className; }

    // Set-up, each answering the plug-in's result.
    vst3::tresult setupProcessing(double sampleRate, int32_t maxBlock, int32_t mode = vst3::kRealtime,
                                  int32_t sampleSize = vst3::kSample32);
    vst3::tresult setBusArrangements(vst3::SpeakerArrangement input, vst3::SpeakerArrangement output);
    vst3::tresult setActive(bool on);
    vst3::tresult setProcessing(bool on);
    // setupProcessing, stereo in and out, the main buses activated, setActive, setProcessing; the
    // first result that is not ok, else ok.
    vst3::tresult start(double sampleRate, int32_t maxBlock);
    void stop();  // setProcessing(false), setActive(false), where they are on
    double sampleRate() const noexcept { return rate; }

    // The process context handed with every call (null when disabled). Its time advances by the
    // frames processed, counted from the first call as a VST 2.x host counts them.
    void setTempo(double bpm) noexcept { tempo = bpm; }
    void setTempoValid(bool on) noexcept { tempoValid = on; }
    void setPlaying(bool on) noexcept { playing = on; }
    void setContext(bool on) noexcept { withContext = on; }
    int64_t processedFrames() const noexcept { return framesDone; }
    // Process calls run with subnormals flushed to zero (FTZ and DAZ), as many hosts' audio threads do.
    void setFlushSubnormals(bool on) noexcept { flushSubnormals = on; }

    // Points for the next process call only.
    void addChange(vst3::ParamID id, int32_t offset, double value) { inChanges.add(id, offset, value); }
    ParameterChanges& nextChanges() noexcept { return inChanges; }
    // What the plug-in wrote into the output changes during the last call.
    ParameterChanges& outputChanges() noexcept { return outChanges; }
    vst3::tresult process(float** inputs, float** outputs, int32_t frames);
    vst3::tresult process(const Vst3ProcessCall& call);

    // Parameters through the controller.
    int32_t parameterCount();
    std::optional<Vst3ParameterInfo> parameterInfo(int32_t index);
    std::vector<Vst3ParameterInfo> parameters();
    // The id of the parameter with this title (exact, then ignoring case), or nothing.
    std::optional<vst3::ParamID> findParameter(const std::string& title);
    double parameter(vst3::ParamID id);
    vst3::tresult setParameter(vst3::ParamID id, double normalised);
    std::optional<std::string> display(vst3::ParamID id, double normalised);
    std::optional<double> valueFromText(vst3::ParamID id, const std::string& text);

    // Programs: the names in the first program list of IUnitInfo (none without it).
    std::vector<std::string> programNames();

    // The component's state. getState writes into a stream that may already hold bytes (Ardour's
    // stands at 48): the result is what the plug-in wrote after them.
    std::vector<uint8_t> state(vst3::tresult* result = nullptr, int64_t startPosition = 0);
    // setState from a stream that stands at startPosition after as many filler bytes, and reads at
    // most readLimit bytes per call (0: all asked). A separate controller also gets it through
    // setComponentState, as hosts do.
    vst3::tresult setState(std::span<const uint8_t> bytes, int64_t startPosition = 0, int32_t readLimit = 0);
    // setState from a stream of the caller's; a separate controller gets a copy of it from the
    // position it stood at.
    vst3::tresult setState(MemoryStream& stream);

    // The editor: createView("editor"), the system's platform type asked, setFrame, attached to
    // parent (an X11 window ID, or an HWND). False and a message when any step fails.
    bool openEditor(void* parent, std::string* error = nullptr);
    bool editorSize(int& width, int& height);
    // The host's scale factor through the open view's IPlugViewContentScaleSupport: the view's
    // answer, kNoInterface when it has none, kResultFalse without an open view.
    vst3::tresult setEditorScale(float factor);
    void closeEditor();  // removed(), setFrame(null), release
    vst3::IPlugView* view() noexcept { return plugView; }
    void runLoopOnce(int waitMs = 0) { loop.runOnce(waitMs); }

private:
    Vst3Plugin(std::shared_ptr<Vst3Module> module, vst3::IComponent* component, std::string name);
    bool connect(std::string* error);
    void fillContext();

    std::shared_ptr<Vst3Module> owner;
    std::string className;
    HostApplication hostApplication;
    ComponentHandler componentHandler;
    RunLoop loop;
    PlugFrame plugFrame{loop};
    ParameterChanges inChanges;
    ParameterChanges outChanges;
    vst3::ProcessContext context{};

    vst3::IComponent* componentObject = nullptr;
    vst3::IAudioProcessor* processorObject = nullptr;
    vst3::IEditController* controllerObject = nullptr;
    vst3::IUnitInfo* unitInfoObject = nullptr;
    vst3::IPlugView* plugView = nullptr;
    bool singleObject = false;
    bool componentInitialised = false;
    bool controllerInitialised = false;
    bool active = false;
    bool processing = false;
    bool editorAttached = false;

    double rate = 44100.0;
    int32_t processMode = vst3::kRealtime;
    double tempo = 120.0;
    bool tempoValid = true;
    bool playing = true;
    bool withContext = true;
    bool flushSubnormals = false;
    int64_t framesDone = 0;
};

// Points for one process call: start is the call's first frame within the render.
using BlockChanges = std::function<void(int64_t start, int32_t frames, ParameterChanges& changes)>;

// Feeds stereo audio through the plug-in in calls of at most hostBlock frames, the input copied
// into buffers of the host's own and the output written straight into out (which may be in).
// Answers false when a call did not answer ok (the rest is still rendered).
bool renderStereo(Vst3Plugin& plugin, const float* inLeft, const float* inRight, float* outLeft,
                  float* outRight, int64_t frames, int32_t hostBlock, const BlockChanges& changes = {});

// Piecewise-linear automation lanes, written as hosts write a curve: every call up to a lane's
// last point gets the lane's value at its first and last frame and on both sides of each point
// inside it, so the plug-in's interpolation between points follows the curve whatever the block
// size. A lane holds its first value before its first point and its last after its last; two
// points at one frame make a jump there.
class Vst3Automation {
public:
    void add(vst3::ParamID id, int64_t frame, double value);  // in time order per parameter
    void pointsFor(int64_t start, int32_t frames, ParameterChanges& changes) const;
    BlockChanges asChanges() const {
        return [this](int64_t s, int32_t n, ParameterChanges& c) { pointsFor(s, n, c); };
    }

private:
    struct Point {
        int64_t frame;
        double value;
    };
    struct Lane {
        vst3::ParamID id;
        std::vector<Point> points;
        double valueAt(int64_t frame) const;
    };
    std::vector<Lane> lanes;
};

}  // namespace flanger::tools
