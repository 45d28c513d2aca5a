// The CLAP plug-in interface as far as this project uses it, declared here from the format's
// public documentation: the entry, the plug-in factory, the plug-in and host tables, events and
// the extensions we offer or ask for. Plain C layouts (tables of function pointers in declared
// order), shared by the wrapper and our test host.
#pragma once

#include <cstddef>
#include <cstdint>

namespace flanger::clap {

// The calling convention the format names: the C one, which x86-64 Windows and Linux each have
// only one of.
#define CLAP_CALL

using clap_id = uint32_t;
inline constexpr clap_id kInvalidId = UINT32_MAX;
inline constexpr std::size_t kNameSize = 256;
inline constexpr std::size_t kPathSize = 1024;

struct clap_version {
    uint32_t major;
    uint32_t minor;
    uint32_t revision;
};
inline constexpr clap_version kClapVersion{1, 2, 2};
// Hosts and plug-ins of the 1.x line understand each other; 0.x was the unstable drafts.
constexpr bool versionIsCompatible(const clap_version& v) noexcept {
    return v.major >= 1;
}

struct clap_host;
struct clap_plugin;

// ---- entry and factory

struct clap_plugin_entry {
    clap_version clapVersion;
    bool(CLAP_CALL* init)(const char* pluginPath);
    void(CLAP_CALL* deinit)();
    const void*(CLAP_CALL* getFactory)(const char* factoryId);
};

inline constexpr const char* kPluginFactoryId = "clap.plugin-factory";

struct clap_plugin_descriptor {
    clap_version clapVersion;
    const char* id;
    const char* name;
    const char* vendor;
    const char* url;
    const char* manualUrl;
    const char* supportUrl;
    const char* version;
    const char* description;
    const char* const* features;  // null-terminated
};

struct clap_plugin_factory {
    uint32_t(CLAP_CALL* getPluginCount)(const clap_plugin_factory* factory);
    const clap_plugin_descriptor*(CLAP_CALL* getPluginDescriptor)(const clap_plugin_factory* factory,
                                                                  uint32_t index);
    const clap_plugin*(CLAP_CALL* createPlugin)(const clap_plugin_factory* factory, const clap_host* host,
                                                const char* pluginId);
};

// ---- host and plug-in

struct clap_host {
    clap_version clapVersion;
    void* hostData;
    const char* name;
    const char* vendor;
    const char* url;
    const char* version;
    const void*(CLAP_CALL* getExtension)(const clap_host* host, const char* extensionId);
    void(CLAP_CALL* requestRestart)(const clap_host* host);
    void(CLAP_CALL* requestProcess)(const clap_host* host);
    void(CLAP_CALL* requestCallback)(const clap_host* host);
};

using clap_process_status = int32_t;
inline constexpr clap_process_status kProcessError = 0;
inline constexpr clap_process_status kProcessContinue = 1;
inline constexpr clap_process_status kProcessContinueIfNotQuiet = 2;
inline constexpr clap_process_status kProcessTail = 3;
inline constexpr clap_process_status kProcessSleep = 4;

struct clap_process;

struct clap_plugin {
    const clap_plugin_descriptor* desc;
    void* pluginData;
    bool(CLAP_CALL* init)(const clap_plugin* plugin);
    void(CLAP_CALL* destroy)(const clap_plugin* plugin);
    bool(CLAP_CALL* activate)(const clap_plugin* plugin, double sampleRate, uint32_t minFrames,
                              uint32_t maxFrames);
    void(CLAP_CALL* deactivate)(const clap_plugin* plugin);
    bool(CLAP_CALL* startProcessing)(const clap_plugin* plugin);
    void(CLAP_CALL* stopProcessing)(const clap_plugin* plugin);
    void(CLAP_CALL* reset)(const clap_plugin* plugin);
    clap_process_status(CLAP_CALL* process)(const clap_plugin* plugin, const clap_process* process);
    const void*(CLAP_CALL* getExtension)(const clap_plugin* plugin, const char* id);
    void(CLAP_CALL* onMainThread)(const clap_plugin* plugin);
};

// ---- events

inline constexpr uint16_t kCoreEventSpace = 0;

struct clap_event_header {
    uint32_t size;  // of the whole event, header included
    uint32_t time;  // frame offset in the block
    uint16_t spaceId;
    uint16_t type;
    uint32_t flags;
};

enum : uint16_t {
    kEventNoteOn = 0,
    kEventNoteOff = 1,
    kEventNoteChoke = 2,
    kEventNoteEnd = 3,
    kEventNoteExpression = 4,
    kEventParamValue = 5,
    kEventParamMod = 6,
    kEventParamGestureBegin = 7,
    kEventParamGestureEnd = 8,
    kEventTransport = 9,
    kEventMidi = 10,
    kEventMidiSysex = 11,
    kEventMidi2 = 12,
};

inline constexpr uint32_t kEventIsLive = 1u << 0;
inline constexpr uint32_t kEventDontRecord = 1u << 1;

struct clap_event_param_value {
    clap_event_header header;
    clap_id paramId;
    void* cookie;
    int32_t noteId;
    int16_t portIndex;
    int16_t channel;
    int16_t key;
    double value;
};

struct clap_event_param_gesture {
    clap_event_header header;
    clap_id paramId;
};

// Beats and seconds as fixed point with 31 fractional bits.
using clap_beattime = int64_t;
using clap_sectime = int64_t;
inline constexpr double kBeatTimeFactor = static_cast<double>(int64_t{1} << 31);
inline constexpr double kSecTimeFactor = static_cast<double>(int64_t{1} << 31);

enum : uint32_t {
    kTransportHasTempo = 1u << 0,
    kTransportHasBeatsTimeline = 1u << 1,
    kTransportHasSecondsTimeline = 1u << 2,
    kTransportHasTimeSignature = 1u << 3,
    kTransportIsPlaying = 1u << 4,
    kTransportIsRecording = 1u << 5,
    kTransportIsLoopActive = 1u << 6,
    kTransportIsWithinPreRoll = 1u << 7,
};

struct clap_event_transport {
    clap_event_header header;
    uint32_t flags;
    clap_beattime songPosBeats;
    clap_sectime songPosSeconds;
    double tempo;
    double tempoInc;
    clap_beattime loopStartBeats;
    clap_beattime loopEndBeats;
    clap_sectime loopStartSeconds;
    clap_sectime loopEndSeconds;
    clap_beattime barStart;
    int32_t barNumber;
    uint16_t tsigNum;
    uint16_t tsigDenom;
};

struct clap_input_events {
    void* ctx;
    uint32_t(CLAP_CALL* size)(const clap_input_events* list);
    const clap_event_header*(CLAP_CALL* get)(const clap_input_events* list, uint32_t index);
};

struct clap_output_events {
    void* ctx;
    bool(CLAP_CALL* tryPush)(const clap_output_events* list, const clap_event_header* event);
};

// ---- processing

struct clap_audio_buffer {
    float** data32;
    double** data64;
    uint32_t channelCount;
    uint32_t latency;
    uint64_t constantMask;
};

struct clap_process {
    int64_t steadyTime;
    uint32_t framesCount;
    const clap_event_transport* transport;
    const clap_audio_buffer* audioInputs;
    clap_audio_buffer* audioOutputs;
    uint32_t audioInputsCount;
    uint32_t audioOutputsCount;
    const clap_input_events* inEvents;
    const clap_output_events* outEvents;
};

// ---- extensions

inline constexpr const char* kExtAudioPorts = "clap.audio-ports";
inline constexpr const char* kPortStereo = "stereo";
inline constexpr const char* kPortMono = "mono";
enum : uint32_t {
    kAudioPortIsMain = 1u << 0,
    kAudioPortSupports64Bits = 1u << 1,
    kAudioPortPrefers64Bits = 1u << 2,
    kAudioPortRequiresCommonSampleSize = 1u << 3,
};
struct clap_audio_port_info {
    clap_id id;
    char name[kNameSize];
    uint32_t flags;
    uint32_t channelCount;
    const char* portType;
    clap_id inPlacePair;
};
struct clap_plugin_audio_ports {
    uint32_t(CLAP_CALL* count)(const clap_plugin* plugin, bool isInput);
    bool(CLAP_CALL* get)(const clap_plugin* plugin, uint32_t index, bool isInput, clap_audio_port_info* info);
};

inline constexpr const char* kExtParams = "clap.params";
enum : uint32_t {
    kParamIsStepped = 1u << 0,
    kParamIsPeriodic = 1u << 1,
    kParamIsHidden = 1u << 2,
    kParamIsReadonly = 1u << 3,
    kParamIsBypass = 1u << 4,
    kParamIsAutomatable = 1u << 5,
    kParamIsAutomatablePerNoteId = 1u << 6,
    kParamIsAutomatablePerKey = 1u << 7,
    kParamIsAutomatablePerChannel = 1u << 8,
    kParamIsAutomatablePerPort = 1u << 9,
    kParamIsModulatable = 1u << 10,
    kParamRequiresProcess = 1u << 15,
    kParamIsEnum = 1u << 16,
};
struct clap_param_info {
    clap_id id;
    uint32_t flags;
    void* cookie;
    char name[kNameSize];
    char module[kPathSize];
    double minValue;
    double maxValue;
    double defaultValue;
};
struct clap_plugin_params {
    uint32_t(CLAP_CALL* count)(const clap_plugin* plugin);
    bool(CLAP_CALL* getInfo)(const clap_plugin* plugin, uint32_t paramIndex, clap_param_info* info);
    bool(CLAP_CALL* getValue)(const clap_plugin* plugin, clap_id paramId, double* value);
    bool(CLAP_CALL* valueToText)(const clap_plugin* plugin, clap_id paramId, double value, char* text,
                                 uint32_t capacity);
    bool(CLAP_CALL* textToValue)(const clap_plugin* plugin, clap_id paramId, const char* text, double* value);
    void(CLAP_CALL* flush)(const clap_plugin* plugin, const clap_input_events* in,
                           const clap_output_events* out);
};
enum : uint32_t {
    kParamRescanValues = 1u << 0,
    kParamRescanText = 1u << 1,
    kParamRescanInfo = 1u << 2,
    kParamRescanAll = 1u << 3,
};
struct clap_host_params {
    void(CLAP_CALL* rescan)(const clap_host* host, uint32_t flags);
    void(CLAP_CALL* clear)(const clap_host* host, clap_id paramId, uint32_t flags);
    void(CLAP_CALL* requestFlush)(const clap_host* host);
};

inline constexpr const char* kExtState = "clap.state";
struct clap_istream {
    void* ctx;
    // Bytes read (fewer than asked is allowed), 0 at the end, -1 on error.
    int64_t(CLAP_CALL* read)(const clap_istream* stream, void* buffer, uint64_t size);
};
struct clap_ostream {
    void* ctx;
    // Bytes written (fewer than asked is allowed), -1 on error.
    int64_t(CLAP_CALL* write)(const clap_ostream* stream, const void* buffer, uint64_t size);
};
struct clap_plugin_state {
    bool(CLAP_CALL* save)(const clap_plugin* plugin, const clap_ostream* stream);
    bool(CLAP_CALL* load)(const clap_plugin* plugin, const clap_istream* stream);
};
struct clap_host_state {
    void(CLAP_CALL* markDirty)(const clap_host* host);
};

inline constexpr const char* kExtLatency = "clap.latency";
struct clap_plugin_latency {
    uint32_t(CLAP_CALL* get)(const clap_plugin* plugin);
};

inline constexpr const char* kExtGui = "clap.gui";
inline constexpr const char* kWindowApiX11 = "x11";
inline constexpr const char* kWindowApiWin32 = "win32";
struct clap_window {
    const char* api;
    union {
        void* cocoa;
        unsigned long x11;
        void* win32;
        void* ptr;
    };
};
struct clap_gui_resize_hints {
    bool canResizeHorizontally;
    bool canResizeVertically;
    bool preserveAspectRatio;
    uint32_t aspectRatioWidth;
    uint32_t aspectRatioHeight;
};
struct clap_plugin_gui {
    bool(CLAP_CALL* isApiSupported)(const clap_plugin* plugin, const char* api, bool isFloating);
    bool(CLAP_CALL* getPreferredApi)(const clap_plugin* plugin, const char** api, bool* isFloating);
    bool(CLAP_CALL* create)(const clap_plugin* plugin, const char* api, bool isFloating);
    void(CLAP_CALL* destroy)(const clap_plugin* plugin);
    bool(CLAP_CALL* setScale)(const clap_plugin* plugin, double scale);
    bool(CLAP_CALL* getSize)(const clap_plugin* plugin, uint32_t* width, uint32_t* height);
    bool(CLAP_CALL* canResize)(const clap_plugin* plugin);
    bool(CLAP_CALL* getResizeHints)(const clap_plugin* plugin, clap_gui_resize_hints* hints);
    bool(CLAP_CALL* adjustSize)(const clap_plugin* plugin, uint32_t* width, uint32_t* height);
    bool(CLAP_CALL* setSize)(const clap_plugin* plugin, uint32_t width, uint32_t height);
    bool(CLAP_CALL* setParent)(const clap_plugin* plugin, const clap_window* window);
    bool(CLAP_CALL* setTransient)(const clap_plugin* plugin, const clap_window* window);
    void(CLAP_CALL* suggestTitle)(const clap_plugin* plugin, const char* title);
    bool(CLAP_CALL* show)(const clap_plugin* plugin);
    bool(CLAP_CALL* hide)(const clap_plugin* plugin);
};
struct clap_host_gui {
    void(CLAP_CALL* resizeHintsChanged)(const clap_host* host);
    bool(CLAP_CALL* requestResize)(const clap_host* host, uint32_t width, uint32_t height);
    bool(CLAP_CALL* requestShow)(const clap_host* host);
    bool(CLAP_CALL* requestHide)(const clap_host* host);
    void(CLAP_CALL* closed)(const clap_host* host, bool wasDestroyed);
};

inline constexpr const char* kExtTimerSupport = "clap.timer-support";
struct clap_plugin_timer_support {
    void(CLAP_CALL* onTimer)(const clap_plugin* plugin, clap_id timerId);
};
struct clap_host_timer_support {
    bool(CLAP_CALL* registerTimer)(const clap_host* host, uint32_t periodMs, clap_id* timerId);
    bool(CLAP_CALL* unregisterTimer)(const clap_host* host, clap_id timerId);
};

inline constexpr const char* kExtPosixFdSupport = "clap.posix-fd-support";
enum : uint32_t {
    kFdRead = 1u << 0,
    kFdWrite = 1u << 1,
    kFdError = 1u << 2,
};
struct clap_plugin_posix_fd_support {
    void(CLAP_CALL* onFd)(const clap_plugin* plugin, int fd, uint32_t flags);
};
struct clap_host_posix_fd_support {
    bool(CLAP_CALL* registerFd)(const clap_host* host, int fd, uint32_t flags);
    bool(CLAP_CALL* modifyFd)(const clap_host* host, int fd, uint32_t flags);
    bool(CLAP_CALL* unregisterFd)(const clap_host* host, int fd);
};

// Presets: the factory programs, offered by a discovery factory and loaded by key.
inline constexpr const char* kExtPresetLoad = "clap.preset-load";
inline constexpr const char* kExtPresetLoadCompat = "clap.preset-load.draft/2";
inline constexpr uint32_t kPresetLocationFile = 0;
inline constexpr uint32_t kPresetLocationPlugin = 1;
struct clap_plugin_preset_load {
    bool(CLAP_CALL* fromLocation)(const clap_plugin* plugin, uint32_t locationKind, const char* location,
                                  const char* loadKey);
};
struct clap_host_preset_load {
    void(CLAP_CALL* onError)(const clap_host* host, uint32_t locationKind, const char* location,
                             const char* loadKey, int32_t osError, const char* message);
    void(CLAP_CALL* loaded)(const clap_host* host, uint32_t locationKind, const char* location,
                            const char* loadKey);
};

inline constexpr const char* kPresetDiscoveryFactoryId = "clap.preset-discovery-factory/2";
inline constexpr const char* kPresetDiscoveryFactoryIdCompat = "clap.preset-discovery-factory/draft-2";
enum : uint32_t {
    kPresetIsFactoryContent = 1u << 0,
    kPresetIsUserContent = 1u << 1,
    kPresetIsDemoContent = 1u << 2,
    kPresetIsFavorite = 1u << 3,
};
using clap_timestamp = uint64_t;
struct clap_universal_plugin_id {
    const char* abi;  // "clap"
    const char* id;
};
struct clap_preset_discovery_metadata_receiver {
    void* receiverData;
    void(CLAP_CALL* onError)(const clap_preset_discovery_metadata_receiver* receiver, int32_t osError,
                             const char* message);
    bool(CLAP_CALL* beginPreset)(const clap_preset_discovery_metadata_receiver* receiver, const char* name,
                                 const char* loadKey);
    void(CLAP_CALL* addPluginId)(const clap_preset_discovery_metadata_receiver* receiver,
                                 const clap_universal_plugin_id* pluginId);
    void(CLAP_CALL* setSoundpackId)(const clap_preset_discovery_metadata_receiver* receiver, const char* id);
    void(CLAP_CALL* setFlags)(const clap_preset_discovery_metadata_receiver* receiver, uint32_t flags);
    void(CLAP_CALL* addCreator)(const clap_preset_discovery_metadata_receiver* receiver, const char* creator);
    void(CLAP_CALL* setDescription)(const clap_preset_discovery_metadata_receiver* receiver,
                                    const char* text);
    void(CLAP_CALL* setTimestamps)(const clap_preset_discovery_metadata_receiver* receiver,
                                   clap_timestamp created, clap_timestamp modified);
    void(CLAP_CALL* addFeature)(const clap_preset_discovery_metadata_receiver* receiver, const char* feature);
    void(CLAP_CALL* addExtraInfo)(const clap_preset_discovery_metadata_receiver* receiver, const char* key,
                                  const char* value);
};
struct clap_preset_discovery_filetype {
    const char* name;
    const char* description;
    const char* fileExtension;
};
struct clap_preset_discovery_location {
    uint32_t flags;
    const char* name;
    uint32_t kind;
    const char* location;  // null for presets inside the plug-in
};
struct clap_preset_discovery_soundpack {
    uint32_t flags;
    const char* id;
    const char* name;
    const char* description;
    const char* homepageUrl;
    const char* vendor;
    const char* imagePath;
    clap_timestamp releaseTimestamp;
};
struct clap_preset_discovery_indexer {
    clap_version clapVersion;
    const char* name;
    const char* vendor;
    const char* url;
    const char* version;
    void* indexerData;
    bool(CLAP_CALL* declareFiletype)(const clap_preset_discovery_indexer* indexer,
                                     const clap_preset_discovery_filetype* filetype);
    bool(CLAP_CALL* declareLocation)(const clap_preset_discovery_indexer* indexer,
                                     const clap_preset_discovery_location* location);
    bool(CLAP_CALL* declareSoundpack)(const clap_preset_discovery_indexer* indexer,
                                      const clap_preset_discovery_soundpack* soundpack);
    const void*(CLAP_CALL* getExtension)(const clap_preset_discovery_indexer* indexer, const char* id);
};
struct clap_preset_discovery_provider_descriptor {
    clap_version clapVersion;
    const char* id;
    const char* name;
    const char* vendor;
};
struct clap_preset_discovery_provider {
    const clap_preset_discovery_provider_descriptor* desc;
    void* providerData;
    bool(CLAP_CALL* init)(const clap_preset_discovery_provider* provider);
    void(CLAP_CALL* destroy)(const clap_preset_discovery_provider* provider);
    bool(CLAP_CALL* getMetadata)(const clap_preset_discovery_provider* provider, uint32_t locationKind,
                                 const char* location,
                                 const clap_preset_discovery_metadata_receiver* receiver);
    const void*(CLAP_CALL* getExtension)(const clap_preset_discovery_provider* provider, const char* id);
};
struct clap_preset_discovery_factory {
    uint32_t(CLAP_CALL* count)(const clap_preset_discovery_factory* factory);
    const clap_preset_discovery_provider_descriptor*(CLAP_CALL* getDescriptor)(
        const clap_preset_discovery_factory* factory, uint32_t index);
    const clap_preset_discovery_provider*(CLAP_CALL* create)(const clap_preset_discovery_factory* factory,
                                                             const clap_preset_discovery_indexer* indexer,
                                                             const char* providerId);
};

// The layouts hosts compiled against: pinned where a wrong size would go unnoticed.
static_assert(sizeof(clap_version) == 12);
static_assert(sizeof(clap_event_header) == 16);
static_assert(offsetof(clap_event_param_value, value) == 48 && sizeof(clap_event_param_value) == 56);
static_assert(sizeof(clap_event_transport) == 104);
static_assert(sizeof(clap_audio_buffer) == 32);
static_assert(sizeof(clap_process) == 64);
static_assert(sizeof(clap_param_info) == 8 + 8 + 256 + 1024 + 24);
static_assert(offsetof(clap_audio_port_info, portType) == 272 && sizeof(clap_audio_port_info) == 288);
static_assert(sizeof(clap_plugin) == 96 && sizeof(clap_host) == 88);
static_assert(sizeof(clap_window) == 16);

}  // namespace flanger::clap
