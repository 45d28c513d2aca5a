// A small CLAP host for tests and tools: loads a .clap file, creates its plug-in with a host table of
// ours whose extensions can each be withheld (a scanner offers none), drives it as hosts do and
// keeps what the plug-in asked of the host: rescans, flushes, resizes, timers, descriptors.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "module/clap/ClapInterface.h"

namespace flanger::tools {

// The host extensions our host table answers; each may be switched off.
struct ClapHostOffers {
    bool params = true;
    bool state = true;
    bool gui = true;
    bool timers = true;
    bool fds = true;  // POSIX only: never offered on Windows
    bool presetLoad = true;
    // Qtractor's scanner: no host extension at all.
    static ClapHostOffers none() { return {false, false, false, false, false, false}; }
};

struct ClapDescriptor {
    std::string id, name, vendor, url, manualUrl, supportUrl, version, description;
    std::vector<std::string> features;
    clap::clap_version clapVersion{};
};

// One preset as a discovery provider listed it, with the location it was found in.
struct ClapPreset {
    std::string name;
    std::optional<std::string> loadKey;
    uint32_t locationKind = clap::kPresetLocationFile;
    std::optional<std::string> location;  // none: inside the plug-in
    uint32_t flags = 0;
    std::vector<std::string> pluginIds;
};

struct ClapPresetLocation {
    std::string name;
    uint32_t kind = clap::kPresetLocationFile;
    std::optional<std::string> location;
    uint32_t flags = 0;
};

// What every provider of a discovery factory declared and listed.
struct ClapPresetListing {
    std::vector<std::string> providers;  // their ids
    std::vector<ClapPresetLocation> locations;
    std::vector<std::string> fileExtensions;
    std::vector<ClapPreset> presets;
    std::vector<std::string> errors;  // what providers reported through the receiver
};

// A loaded .clap file: the binary opened, its entry's init called (it must answer true) and its
// factories. Unloading calls deinit and closes the binary.
class ClapModule {
public:
    static std::shared_ptr<ClapModule> load(const std::string& path, std::string* error = nullptr);
    ~ClapModule();
    ClapModule(const ClapModule&) = delete;
    ClapModule& operator=(const ClapModule&) = delete;

    // A path that names a CLAP module: its name ends in ".clap".
    static bool isClapFile(const std::string& path);

    const std::string& path() const noexcept { return file; }
    const clap::clap_plugin_entry& entry() const noexcept { return *entryTable; }
    const clap::clap_plugin_factory* pluginFactory() const noexcept { return plugins; }
    // The preset discovery factory (its current id, else the draft's), or null.
    const clap::clap_preset_discovery_factory* presetFactory() const noexcept { return presetDiscovery; }
    std::vector<ClapDescriptor> descriptors() const;
    // Every provider created with an indexer of ours, initialised, asked for the presets of each
    // location it declared, and destroyed.
    ClapPresetListing presets() const;

private:
    ClapModule() = default;

    std::string file;
    void* library = nullptr;
    const clap::clap_plugin_entry* entryTable = nullptr;
    bool initialised = false;
    const clap::clap_plugin_factory* plugins = nullptr;
    const clap::clap_preset_discovery_factory* presetDiscovery = nullptr;
};

// An event as a host keeps it: room for every event this project sends or takes.
union ClapEvent {
    clap::clap_event_header header;
    clap::clap_event_param_value value;
    clap::clap_event_param_gesture gesture;
    clap::clap_event_transport transport;
};

// The input events of one process or flush call, kept in time order (events at one time in the
// order they were added), as the format requires of hosts.
class ClapInputEvents {
public:
    ClapInputEvents();
    void clear() noexcept { events.clear(); }
    void addValue(clap::clap_id id, uint32_t time, double value);
    void addGesture(clap::clap_id id, uint32_t time, bool begin);
    void add(const ClapEvent& event);  // its header's time places it
    size_t size() const noexcept { return events.size(); }
    const clap::clap_input_events* table() const noexcept { return &list; }

private:
    static uint32_t CLAP_CALL sizeOf(const clap::clap_input_events* list);
    static const clap::clap_event_header* CLAP_CALL get(const clap::clap_input_events* list, uint32_t index);

    std::vector<ClapEvent> events;
    clap::clap_input_events list{};
};

// What the plug-in pushed to the host: the parameter values and gestures it reported, in order.
struct ClapEdit {
    enum class Kind { Begin, Value, End, Other };
    Kind kind = Kind::Other;
    clap::clap_id id = clap::kInvalidId;
    double value = 0.0;  // Value: plain
    uint32_t time = 0;
};

// Takes every event a process or flush call pushes (refusing only malformed ones) and keeps the
// parameter ones as edits until cleared.
class ClapOutputEvents {
public:
    ClapOutputEvents();
    std::vector<ClapEdit> edits() const { return log; }
    void clear() noexcept { log.clear(); }
    long pushed() const noexcept { return pushes; }
    const clap::clap_output_events* table() const noexcept { return &list; }

private:
    static bool CLAP_CALL tryPush(const clap::clap_output_events* list, const clap::clap_event_header* event);

    std::vector<ClapEdit> log;
    long pushes = 0;
    clap::clap_output_events list{};
};

// A stream over bytes in memory that hands over at most chunkBytes per call (0: all asked), as
// hosts' streams may, to prove a plug-in loops.
class ClapInputStream {
public:
    explicit ClapInputStream(std::span<const uint8_t> bytes, uint64_t chunkBytes = 0);
    const clap::clap_istream* table() const noexcept { return &stream; }
    int32_t reads() const noexcept { return calls; }
    uint64_t position() const noexcept { return at; }

private:
    static int64_t CLAP_CALL read(const clap::clap_istream* stream, void* buffer, uint64_t size);

    std::vector<uint8_t> data;
    uint64_t at = 0;
    uint64_t chunk = 0;
    int32_t calls = 0;
    clap::clap_istream stream{};
};

class ClapOutputStream {
public:
    explicit ClapOutputStream(uint64_t chunkBytes = 0);
    const clap::clap_ostream* table() const noexcept { return &stream; }
    const std::vector<uint8_t>& bytes() const noexcept { return data; }
    int32_t writes() const noexcept { return calls; }

private:
    static int64_t CLAP_CALL write(const clap::clap_ostream* stream, const void* buffer, uint64_t size);

    std::vector<uint8_t> data;
    uint64_t chunk = 0;
    int32_t calls = 0;
    clap::clap_ostream stream{};
};

// What the plug-in asked of the host through the host table and its extensions, in counts and
// the last arguments. Any thread may ask (request_callback and request_process from the audio
// thread too), so everything is kept under one lock.
class ClapHostRequests {
public:
    struct PresetReport {
        bool loaded = false;  // false: on_error
        uint32_t kind = 0;
        std::optional<std::string> location, loadKey;
        int32_t osError = 0;
        std::string message;
    };
    struct Counts {
        long restarts = 0, processes = 0, callbacks = 0;
        long rescans = 0, clears = 0, flushes = 0;
        uint32_t rescanFlags = 0;  // every rescan's flags, or-ed
        long dirty = 0;
        long resizeHintChanges = 0, resizes = 0, shows = 0, hides = 0, closes = 0;
        uint32_t resizeWidth = 0, resizeHeight = 0;  // the last request
        bool closedDestroyed = false;                // the last closed()'s argument
        long extensionQueries = 0;
    };

    Counts counts() const;
    std::vector<PresetReport> presetReports() const;
    std::vector<std::string> extensionsAsked() const;  // each id once, in the order first asked
    void clear();

    // For the host table.
    void note(const std::function<void(Counts&)>& change);
    void notePreset(PresetReport report);
    void noteExtension(const char* id);

private:
    mutable std::mutex lock;
    Counts now;
    std::vector<PresetReport> presets;
    std::vector<std::string> asked;
};

// Timers and descriptors the plug-in registered, run from runOnce() on the caller's thread (the
// main thread) only.
class ClapRunLoop {
public:
    // The plug-in the handlers call; set once it is created.
    void attach(const clap::clap_plugin* plugin) noexcept { target = plugin; }

    // Waits up to waitMs (no longer than the next timer is due) for a registered descriptor,
    // reports the ready ones to the plug-in, then fires every due timer once.
    void runOnce(int waitMs);
    int msUntilNextTimer(int capMs) const;
    std::vector<int> descriptors() const;
    size_t timerCount() const noexcept { return timers.size(); }
    size_t descriptorCount() const noexcept { return fds.size(); }
    long timerFirings() const noexcept { return firings; }
    long descriptorCalls() const noexcept { return fdCalls; }

    // The host extensions' calls.
    bool registerTimer(uint32_t periodMs, clap::clap_id* id);
    bool unregisterTimer(clap::clap_id id);
    bool registerFd(int fd, uint32_t flags);
    bool modifyFd(int fd, uint32_t flags);
    bool unregisterFd(int fd);

private:
    struct Timer {
        clap::clap_id id;
        int64_t periodMs;
        int64_t dueMs;
    };
    struct Descriptor {
        int fd;
        uint32_t flags;
    };

    const clap::clap_plugin* target = nullptr;
    std::vector<Timer> timers;
    std::vector<Descriptor> fds;
    clap::clap_id nextTimerId = 1;
    long firings = 0;
    long fdCalls = 0;
};

// One process call as a host may make it. Null channel arrays are passed as null; ports = false
// passes no audio ports at all.
struct ClapProcessCall {
    float** inputs = nullptr;
    float** outputs = nullptr;
    uint32_t frames = 0;
    uint32_t inputChannels = 2;
    uint32_t outputChannels = 2;
    bool ports = true;
};

struct ClapPortInfo {
    clap::clap_id id = 0;
    std::string name;
    uint32_t flags = 0;
    uint32_t channelCount = 0;
    std::string portType;
    clap::clap_id inPlacePair = clap::kInvalidId;
};

struct ClapParamInfo {
    clap::clap_id id = 0;
    uint32_t flags = 0;
    std::string name, module;
    double minValue = 0.0, maxValue = 0.0, defaultValue = 0.0;
};

// One plug-in instance: created, initialised, and on destruction its editor closed, processing
// stopped, deactivated and destroyed, in hosts' order.
class ClapPlugin {
public:
    // The module's first plug-in.
    static std::unique_ptr<ClapPlugin> load(const std::string& path, const ClapHostOffers& offers = {},
                                            std::string* error = nullptr);
    static std::unique_ptr<ClapPlugin> create(std::shared_ptr<ClapModule> module, const std::string& id,
                                              const ClapHostOffers& offers = {},
                                              std::string* error = nullptr);
    ~ClapPlugin();
    ClapPlugin(const ClapPlugin&) = delete;
    ClapPlugin& operator=(const ClapPlugin&) = delete;

    ClapModule& module() noexcept { return *owner; }
    const clap::clap_plugin* plugin() const noexcept { return table; }
    const clap::clap_host* hostTable() const noexcept { return &host; }
    const std::string& name() const noexcept { return pluginName; }
    const ClapHostOffers& offers() const noexcept { return offered; }
    ClapHostRequests& requests() noexcept { return asked; }
    ClapRunLoop& runLoop() noexcept { return loop; }
    // The plug-in's extension, or null.
    const void* extension(const char* id) const;
    template <class Table>
    const Table* extension(const char* id) const {
        return static_cast<const Table*>(extension(id));
    }

    // Life: each answers the plug-in's result.
    bool activate(double sampleRate, uint32_t minFrames, uint32_t maxFrames);
    void deactivate();
    bool startProcessing();
    void stopProcessing();
    bool start(double sampleRate, uint32_t maxFrames);  // activate and start processing
    void stop();                                        // stop processing and deactivate, where on
    bool isActive() const noexcept { return active; }
    bool isProcessing() const noexcept { return processing; }
    double sampleRate() const noexcept { return rate; }

    // The transport handed with every call (none when disabled): tempo, playing, and song
    // positions that advance by the frames processed.
    void setTempo(double bpm) noexcept { tempo = bpm; }
    void setPlaying(bool on) noexcept { playing = on; }
    void setTransport(bool on) noexcept { withTransport = on; }
    int64_t processedFrames() const noexcept { return framesDone; }

    // Events for the next process or flush call only.
    ClapInputEvents& nextEvents() noexcept { return inEvents; }
    void addValue(clap::clap_id id, uint32_t time, double value) { inEvents.addValue(id, time, value); }
    // What the plug-in pushed, over every process and flush call since cleared.
    ClapOutputEvents& outputEvents() noexcept { return outEvents; }
    clap::clap_process_status process(float** inputs, float** outputs, uint32_t frames);
    clap::clap_process_status process(const ClapProcessCall& call);
    // params.flush with the next events, as hosts do while not processing. False without params.
    bool flush();

    // Ports and parameters.
    std::vector<ClapPortInfo> audioPorts(bool input) const;
    std::vector<ClapParamInfo> parameters() const;
    std::optional<clap::clap_id> findParameter(const std::string& name) const;  // exact, then any case
    std::optional<double> value(clap::clap_id id) const;
    std::optional<std::string> valueToText(clap::clap_id id, double value) const;
    std::optional<double> textToValue(clap::clap_id id, const std::string& text) const;
    std::optional<uint32_t> latency() const;

    // State through streams that move at most chunkBytes per call (0: all asked). Nothing when the
    // plug-in has no state or its save answered false.
    std::optional<std::vector<uint8_t>> saveState(uint64_t chunkBytes = 0) const;
    bool loadState(std::span<const uint8_t> bytes, uint64_t chunkBytes = 0) const;

    // preset-load's from_location (location null for presets inside the plug-in).
    bool loadPreset(uint32_t kind, const char* location, const char* loadKey) const;

    // The editor, embedded: create (x11 or win32, the system's), set_parent, can_resize,
    // get_resize_hints, get_size and show, as Qtractor asks. False and a message when a step fails.
    static const char* windowApi() noexcept;
    bool hasEditor() const;
    bool openEditor(void* parent, std::string* error = nullptr);
    // The size the editor gives: of the open one, else of one created for the question.
    bool editorSize(int& width, int& height);
    bool editorOpen() const noexcept { return guiCreated; }
    void closeEditor();  // hide, destroy
    // One pass of the host's main thread: descriptors and timers, a requested callback
    // (on_main_thread), and a requested flush while not processing.
    void runLoopOnce(int waitMs = 0);

private:
    ClapPlugin(std::shared_ptr<ClapModule> module, const ClapHostOffers& offers);

    static ClapPlugin* from(const clap::clap_host* host);
    static const void* CLAP_CALL hostExtension(const clap::clap_host* host, const char* id);
    static void CLAP_CALL requestRestart(const clap::clap_host* host);
    static void CLAP_CALL requestProcess(const clap::clap_host* host);
    static void CLAP_CALL requestCallback(const clap::clap_host* host);
    void fillTransport();

    std::shared_ptr<ClapModule> owner;
    ClapHostOffers offered;
    std::string pluginName;
    clap::clap_host host{};
    const clap::clap_plugin* table = nullptr;
    bool initialised = false;
    mutable ClapHostRequests asked;
    ClapRunLoop loop;
    ClapInputEvents inEvents;
    ClapOutputEvents outEvents;
    clap::clap_event_transport transport{};
    // Writers: request_callback and request_flush from any thread; reader: runLoopOnce.
    std::atomic<bool> callbackPending{false};
    std::atomic<bool> flushPending{false};

    bool active = false;
    bool processing = false;
    bool guiCreated = false;
    bool guiShown = false;
    double rate = 44100.0;
    double tempo = 120.0;
    bool playing = true;
    bool withTransport = true;
    int64_t framesDone = 0;

    friend struct ClapHostTables;
};

// Events for one process call: start is the call's first frame within the render.
using ClapBlockEvents = std::function<void(int64_t start, uint32_t frames, ClapInputEvents& events)>;

// Feeds stereo audio through the plug-in in calls of at most hostBlock frames, the input copied
// into buffers of the host's own and the output written straight into out (which may be in).
// False when a call answered an error (the rest is still rendered).
bool renderStereo(ClapPlugin& plugin, const float* inLeft, const float* inRight, float* outLeft,
                  float* outRight, int64_t frames, uint32_t hostBlock, const ClapBlockEvents& events = {});

}  // namespace flanger::tools
