// What the CLAP categories drive: the module as the CLAP test host loads it, a host table that
// counts what it is asked, event lists and streams that can misbehave on purpose, and one plug-in
// instance through its raw tables with guarded stereo buffers around each process call.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "module/clap/ClapInterface.h"
#include "tools/common/ClapHost.h"
#include "tools/validate/GuardedMemory.h"
#include "tools/validate/Isolation.h"
#include "tools/validate/Rig.h"

namespace flanger::tools::claprig {

using namespace flanger::clap;

inline constexpr double kRate = 44100.0;
inline constexpr uint32_t kLargestBlock = 16384;
inline constexpr size_t kTextCapacity = 256;  // what hosts commonly give value_to_text

std::string versionText(const clap_version& v);
bool factoryComplete(const clap_plugin_factory* factory);

// The module as a host holds it while plug-ins live (the test host's: the entry initialised), with
// a complete plug-in factory and the first plug-in's id. Dropping the last copy deinitialises the
// entry and closes the file.
class Module {
public:
    // Null, with a failure recorded, when any step fails.
    static std::unique_ptr<Module> load(const std::string& path, Findings& findings);

    const clap_plugin_entry& entry() const noexcept { return loaded->entry(); }
    const clap_plugin_factory& factory() const noexcept { return *loaded->pluginFactory(); }
    const std::string& pluginId() const noexcept { return firstId; }
    ClapModule& module() noexcept { return *loaded; }

private:
    Module() = default;
    std::shared_ptr<ClapModule> loaded;
    std::string firstId;
};

// The host table instances are made with. Every request is counted; unless bare (a scanner's
// host), the extensions hosts commonly offer are answered. Any thread may call, hence atomics.
struct Host {
    explicit Host(bool bareHost);
    Host(const Host&) = delete;
    Host& operator=(const Host&) = delete;
    static Host& of(const clap_host* host) { return *static_cast<Host*>(host->hostData); }

    clap_host table{};
    bool bare;
    // Writers: the plug-in, on any thread; readers: the checks.
    std::atomic<long> callbacks{0}, restarts{0}, processes{0};
    std::atomic<long> rescans{0}, flushRequests{0}, dirty{0};
    std::atomic<long> presetsLoaded{0}, presetErrors{0};
};

// Any event the checks send, in room enough for the largest.
union EventSlot {
    clap_event_header header;
    clap_event_param_value value;
    clap_event_param_gesture gesture;
    clap_event_transport transport;
};

EventSlot valueEvent(clap_id id, uint32_t time, double value);

// The input events of one call, in the order added: ordinary checks add them in time order as
// hosts must; hostile ones need not. nullEntries makes get answer null for odd indices.
class EventList {
public:
    EventList();
    EventList(const EventList&) = delete;
    EventList& operator=(const EventList&) = delete;
    void add(const EventSlot& event) { events.push_back(event); }
    void value(clap_id id, uint32_t time, double v) { add(valueEvent(id, time, v)); }
    void clear() noexcept { events.clear(); }
    size_t size() const noexcept { return events.size(); }
    const clap_input_events* table() const noexcept { return &list; }
    bool nullEntries = false;

private:
    static uint32_t CLAP_CALL count(const clap_input_events* list);
    static const clap_event_header* CLAP_CALL at(const clap_input_events* list, uint32_t index);
    std::vector<EventSlot> events;
    clap_input_events list;
};

// Where the plug-in's output events go: counted, and refused when the host's queue is "full".
class EventSink {
public:
    EventSink();
    EventSink(const EventSink&) = delete;
    EventSink& operator=(const EventSink&) = delete;
    const clap_output_events* table() const noexcept { return &list; }
    bool refuse = false;
    long pushed = 0;

private:
    static bool CLAP_CALL push(const clap_output_events* list, const clap_event_header* event);
    clap_output_events list;
};

// A stream over memory as hosts' streams behave: at most `chunk` bytes a call (0: all asked),
// and from byte failAt on (when not negative) an error.
class InputStream {
public:
    explicit InputStream(const std::vector<uint8_t>& source, uint64_t chunkBytes = 0, int64_t failFrom = -1);
    InputStream(const InputStream&) = delete;
    InputStream& operator=(const InputStream&) = delete;
    const clap_istream* table() const noexcept { return &stream; }

private:
    static int64_t CLAP_CALL read(const clap_istream* stream, void* buffer, uint64_t size);
    std::vector<uint8_t> bytes;
    uint64_t chunk;
    int64_t failAt;
    uint64_t at = 0;
    clap_istream stream;
};

// The output side: at most `chunk` bytes a call, an error from byte failAt on, or (stuck) no
// progress at all: 0 bytes a call, up to a budget, then errors, so a plug-in that loops on 0
// cannot hang the check.
class OutputStream {
public:
    static constexpr long kStuckBudget = 10000;
    explicit OutputStream(uint64_t chunkBytes = 0, int64_t failFrom = -1, bool stuckStream = false);
    OutputStream(const OutputStream&) = delete;
    OutputStream& operator=(const OutputStream&) = delete;
    const clap_ostream* table() const noexcept { return &stream; }
    const std::vector<uint8_t>& bytes() const noexcept { return written; }
    long calls = 0;

private:
    static int64_t CLAP_CALL write(const clap_ostream* stream, const void* buffer, uint64_t size);
    uint64_t chunk;
    int64_t failAt;
    bool stuck;
    std::vector<uint8_t> written;
    clap_ostream stream;
};

inline bool statusKnown(clap_process_status status) {
    return status >= kProcessError && status <= kProcessSleep;
}
inline bool processed(clap_process_status status) {
    return status != kProcessError && statusKnown(status);
}

// A plug-in made by the factory and initialised, with the extensions it offers (null where it
// offers none, or one with a null function). Dropping it stops processing, deactivates and
// destroys, in hosts' order. Every call is traced.
class Instance {
public:
    // Null, with a failure recorded, when the factory or init refuses.
    static std::unique_ptr<Instance> create(Module& module, Findings& findings, bool bareHost = false);
    ~Instance();
    Instance(const Instance&) = delete;
    Instance& operator=(const Instance&) = delete;

    const clap_plugin* plugin() const noexcept { return table; }

    // Activates (deactivating first) and starts processing, as a host before its first block.
    bool activate(double rate, uint32_t minFrames, uint32_t maxFrames);
    void deactivate();
    void reset();
    // The audio thread's half of a host that activates on the main thread.
    void startProcessing();
    void stopProcessing();

    std::vector<clap_param_info> parameters() const;  // every info the plug-in answers
    std::optional<double> value(clap_id id) const;
    std::vector<double> values(const std::vector<clap_param_info>& infos) const;  // NaN where refused
    void flush(const EventList& events);
    // The whole state through a stream of `chunk` bytes a call; nothing when save answered false.
    std::optional<std::vector<uint8_t>> save(uint64_t chunk = 0) const;
    bool load(const std::vector<uint8_t>& bytes, uint64_t chunk = 0, int64_t failAt = -1) const;
    // value_to_text into `capacity` bytes that end at a guard page: the text, or nothing when
    // refused; what is wrong with a text given goes to problem (the text is then empty).
    std::optional<std::string> text(clap_id id, double v, std::string* problem = nullptr,
                                    size_t capacity = kTextCapacity) const;
    // text_to_value with the text ending at a guard page.
    std::optional<double> parse(clap_id id, const std::string& text) const;
    bool loadPreset(uint32_t kind, const char* location, const char* key) const;

    Host host;
    const clap_plugin_params* params = nullptr;
    const clap_plugin_state* state = nullptr;
    const clap_plugin_audio_ports* ports = nullptr;
    const clap_plugin_latency* latency = nullptr;
    const clap_plugin_preset_load* presetLoad = nullptr;
    std::vector<std::string> incomplete;  // extensions offered with a null function

private:
    explicit Instance(bool bareHost) : host(bareHost) {}
    template <class Table, class Complete>
    const Table* extension(const char* id, Complete complete);

    const clap_plugin* table = nullptr;
    bool active = false;
    bool processing = false;
};

// Stereo buffers ending at guard pages, the process structure around them, and one call's events
// and transport. A call of n frames gets the last n samples of each channel.
class Block {
public:
    explicit Block(uint32_t capacityFrames);
    Block(const Block&) = delete;
    Block& operator=(const Block&) = delete;

    // One call of `frames` frames with the signal as input (or, with none, the input as it
    // stands); then the events are cleared and the outputs scanned. frameOffset places the scan.
    clap_process_status run(Instance& instance, TestSignal* signal, uint32_t frames, bool inPlace = false,
                            int64_t frameOffset = 0);
    clap_process_status run(Instance& instance, TestSignal& signal, uint32_t frames, bool inPlace = false,
                            int64_t frameOffset = 0) {
        return run(instance, &signal, frames, inPlace, frameOffset);
    }
    const float* output(int32_t c) noexcept;
    float* input(int32_t c, uint32_t frames) noexcept {
        return inputs.channel(c, static_cast<int32_t>(frames));
    }
    // The last call's output, interleaved, appended to out.
    void append(std::vector<float>& out);
    const SampleScan& scan() const noexcept { return lastScan; }
    int64_t unwritten() const noexcept { return lastUnwritten; }
    bool constantLie() const noexcept { return falseConstant; }
    GuardedChannels& inputChannels() noexcept { return inputs; }
    GuardedChannels& outputChannels() noexcept { return outputs; }

    EventList events;
    EventSink sink;
    const clap_event_transport* transport = nullptr;

private:
    GuardedChannels inputs, outputs;
    int64_t steadyTime = 0;
    uint32_t lastFrames = 0;
    bool lastInPlace = false;
    SampleScan lastScan;
    int64_t lastUnwritten = 0;
    bool falseConstant = false;  // a channel flagged constant that is not
};

// What one call's answer and output say is wrong, or empty.
std::string callProblem(Block& block, clap_process_status status);

// How a render calls: its length, block sizes and events (placed by the call's first frame).
struct RenderPlan {
    int64_t frames = 8192;
    std::function<uint32_t(int64_t done)> block;  // null: 512 frames a call
    std::function<void(int64_t start, uint32_t frames, EventList& events)> events;
    bool inPlace = false;
    SignalKind signal = SignalKind::Noise;
    uint32_t seed = 1;
};

// The plan's output on an active instance, interleaved (frame f at 2f and 2f + 1). The first
// problem of a call is reported under `what`, once.
std::vector<float> render(Instance& instance, Block& block, const RenderPlan& plan, double rate,
                          Findings& findings, const char* what);
// The plan on a fresh instance at 44.1 kHz; before runs first (to set it up, say).
std::vector<float> renderFresh(Module& module, const RenderPlan& plan, Findings& findings, const char* what,
                               const std::function<void(Instance&)>& before = {});
// The first frame at which two interleaved renders differ; -1 when they are bit-identical.
long long firstDifferentFrame(const std::vector<float>& a, const std::vector<float>& b);

// A value anywhere in the parameter's range, whole for stepped ones.
double randomValue(const clap_param_info& info, std::mt19937& random);
// Random values for every parameter through flush, as a host restoring automation sets them.
void randomise(Instance& instance, const std::vector<clap_param_info>& infos, std::mt19937& random);
// Equal as a host sees it: within a millionth of the range (plug-ins keep values as floats).
bool sameValue(double a, double b, const clap_param_info& info);
// The value an event set, up to the plug-in's own resolution (values held to a display's
// digits, say): within a hundredth of the range. A lost event lands further away.
bool closeTo(double a, double b, const clap_param_info& info);
bool inRange(double v, const clap_param_info& info);

// The load keys of the presets inside the plug-in its discovery factory lists, and what is wrong
// with the listing (a provider's errors, presets without names or keys).
struct Discovery {
    std::vector<std::string> keys;
    std::vector<std::string> problems;
};
Discovery discoverPresets(Module& module);

// A descriptor's or preset's text: required ones there and not empty; any given one terminated
// and printable. Empty when right.
std::string fieldProblem(const char* text, bool required);
inline std::string field(const char* text) {
    return text != nullptr ? text : "";
}

// The host's flush-to-zero mode off for the whole check: subnormals only show without it.
void denormalsVisible();

}  // namespace flanger::tools::claprig
