// The flanger as a CLAP plug-in: one FlangerEffect hosted through the effect's own interface
// (dispatcher, set-parameter, process, chunks, time info) as a VST 2.x host would, behind the
// format's plug-in table and extensions.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>

#include "host/VstInterface.h"
#include "module/HostedEffect.h"
#include "module/clap/ClapInterface.h"

namespace flanger::clap {

class ClapEditor;

inline constexpr const char* kPluginId = "urn:brackwater:flanger";  // as the LV2 URI
inline constexpr const char* kPluginName = "BrackwaterFlanger";     // as VST 2.x scanners show it
inline constexpr const char* kVendor = "Brackwater";
inline constexpr uint32_t kParameterCount = 11;

// The one plug-in's descriptor (its version string is the project's).
const clap_plugin_descriptor& flangerDescriptor() noexcept;

class FlangerClap {
public:
    // Null when the effect cannot be made.
    static const clap_plugin* create(const clap_host* host) noexcept;
    // The object behind a plug-in table the host hands back; null for a table that is not ours.
    static FlangerClap* from(const clap_plugin* plugin) noexcept;

    // For the editor, on the main thread.
    vst::EffectRecord* record() noexcept { return hosted.record(); }
    const clap_host* host() const noexcept { return hostTable; }
    // The host's extension, or null; every one may be missing.
    const void* hostExtension(const char* id) const noexcept;
    // Values the effect changed itself (a program, a state): the host is told to read them again.
    void tellHostValuesChanged() noexcept;
    // What the effect asks of its host.
    intptr_t answerEffect(int32_t opcode, int32_t index, intptr_t value, void* ptr, float opt) noexcept;

    // The table's calls, checked and forwarded here.
    bool init() noexcept;
    bool activate(double sampleRate, uint32_t maxFrames) noexcept;
    void deactivate() noexcept;
    void reset() noexcept;
    clap_process_status process(const clap_process& block) noexcept;
    const void* extension(const char* id) noexcept;
    void onMainThread() noexcept;

    bool parameterInfo(uint32_t index, clap_param_info& info) noexcept;
    bool parameterValue(clap_id id, double& value) noexcept;
    bool valueToText(clap_id id, double value, char* text, uint32_t capacity) noexcept;
    bool textToValue(clap_id id, const char* text, double& value) noexcept;
    void flush(const clap_input_events* in, const clap_output_events* out) noexcept;
    bool save(const clap_ostream& stream) noexcept;
    bool load(const clap_istream& stream) noexcept;
    bool loadPreset(uint32_t kind, const char* location, const char* key) noexcept;

    ClapEditor* editor = nullptr;  // main thread: the open editor, if any

private:
    explicit FlangerClap(const clap_host* host) noexcept;
    ~FlangerClap();
    bool open() noexcept;
    static void destroy(const clap_plugin* plugin) noexcept;

    void applyEvent(const clap_event_header& event) noexcept;
    void takeTime(const clap_event_transport* transport) noexcept;
    void sendEdits(const clap_output_events* out) noexcept;
    float normalisedOf(clap_id id, double plain) const noexcept;
    double plainOf(clap_id id, float normalised) const noexcept;

    clap_plugin table{};
    const clap_host* hostTable;
    module::HostedEffect hosted;
    vst::EffectRecord* effectRecord = nullptr;       // the hosted effect's, once open
    std::array<double, kParameterCount> defaults{};  // plain, from factory program 0

    double sampleRate = 44100.0;  // set while inactive
    int32_t maxBlock = 1024;
    bool active = false;
    // Audio thread: the host's time as the effect asks for it.
    vst::VstTimeInfo timeInfo{};
    bool timeValid = false;

    // The editor's gestures and values, from the main thread to the next process or flush: a
    // ring the main thread writes and the audio (or flushing) thread reads, never the other way.
    struct Edit {
        uint16_t type;  // kEventParamGestureBegin, kEventParamValue, kEventParamGestureEnd
        clap_id id;
        double value;  // plain
    };
    static constexpr uint32_t kEditRing = 256;
    std::array<Edit, kEditRing> edits{};
    std::atomic<uint32_t> editsWritten{0};  // writer: main thread; reader: process or flush
    std::atomic<uint32_t> editsRead{0};     // writer: process or flush; reader: main thread
    // Raised where values changed other than by the host's own events; taken on the main thread.
    std::atomic<bool> valuesChanged{false};
};

}  // namespace flanger::clap
