// A small VST 2.x host for tests and tools: loads a module, answers its callback the way Linux
// hosts do, records every request, and drives the dispatcher and the process entries.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "host/VstInterface.h"
#include "tools/common/RequestLog.h"

namespace flanger::tools {

// Answers the host gives. Everything may be changed while the plug-in runs; the callback
// reads each value once per request.
class HostAnswers {
public:
    static constexpr int kPinCount = 64;  // pins beyond this get the default pin answer

    HostAnswers() noexcept;

    // audioMasterGetTime: a record with this tempo and these flags, or a null answer.
    void setTempo(double bpm) noexcept { tempo.store(bpm, std::memory_order_relaxed); }
    void setTimeFlags(int32_t flags) noexcept { timeFlags.store(flags, std::memory_order_relaxed); }
    void setNullTimeInfo(bool on) noexcept { nullTimeInfo.store(on, std::memory_order_relaxed); }
    // audioMasterPinConnected: answer for (pin, output?). 0 means connected. Pins never set
    // get the default answer (0 unless changed).
    void setPinAnswer(bool output, int pin, intptr_t answer) noexcept;
    void setDefaultPinAnswer(intptr_t answer) noexcept {
        defaultPin.store(answer, std::memory_order_relaxed);
    }
    // audioMasterIdle calls effEditIdle back from inside it, as one host does.
    void setIdleCallsEditIdle(bool on) noexcept { idleCallsEditIdle.store(on, std::memory_order_relaxed); }

    double currentTempo() const noexcept { return tempo.load(std::memory_order_relaxed); }
    int32_t currentTimeFlags() const noexcept { return timeFlags.load(std::memory_order_relaxed); }
    bool answersNullTimeInfo() const noexcept { return nullTimeInfo.load(std::memory_order_relaxed); }
    intptr_t pinAnswer(bool output, int pin) const noexcept;
    bool editIdleFromIdle() const noexcept { return idleCallsEditIdle.load(std::memory_order_relaxed); }

private:
    // Each: writer the test or tool thread, reader the callback (any thread, the audio thread too).
    std::atomic<double> tempo{120.0};
    std::atomic<int32_t> timeFlags{vst::kVstTempoValid | vst::kVstTransportPlaying};
    std::atomic<bool> nullTimeInfo{false};
    std::atomic<intptr_t> defaultPin{0};
    std::array<std::atomic<intptr_t>, kPinCount> inputPins{};
    std::array<std::atomic<intptr_t>, kPinCount> outputPins{};
    std::atomic<bool> idleCallsEditIdle{false};
};

// A text read from the plug-in into a bounded, pre-filled buffer.
struct TextAnswer {
    intptr_t result = 0;      // the dispatcher's answer
    std::string text;         // up to the terminator (or the whole buffer when there is none)
    bool terminated = false;  // a terminator was found inside the buffer
    size_t length = 0;        // characters before the terminator
    bool untouched = false;   // the plug-in wrote nothing at all
    bool overran = false;     // the plug-in wrote past the buffer (into the guard area behind it)
};

enum class ProcessMode { Replacing, Adding };

// Start-up orders seen in real hosts; every one must leave the plug-in ready to process.
enum class HostStyle {
    Plain,           // effOpen, effSetSampleRate, effSetBlockSize, effMainsChanged(1)
    ConfigureFirst,  // effIdentify, effSetBlockSizeAndSampleRate, rate, block, then effOpen, mains on
    Ardour,          // effOpen, effGetVstVersion, rate, block, automation and properties per parameter,
                     // mains on, program names by index, then a bracketed effSetProgram(0)
};

struct HostOptions {
    float sampleRate = 44100.0f;
    int32_t blockSize = 1024;
    intptr_t hostVersion = 2400;  // answer to audioMasterVersion; 0 makes plug-ins refuse to start
};

// One plug-in instance. Each instance loads the module itself (the loader counts
// references), so several instances of one module coexist. Not copyable or movable: the
// plug-in's callback finds the instance through the record's host field (resvd1), or, for a
// call with a null effect, as the instance this thread is currently calling into. A null-effect
// call from a thread the host is not calling on gets 2400 for the version and 0 otherwise, and
// is not recorded.
class PluginInstance {
public:
    // Loads the module (RTLD_NOW | RTLD_LOCAL; LoadLibrary on Windows), finds VSTPluginMain, then
    // main, and calls it.
    // Returns null and fills error on failure; error may be null.
    static std::unique_ptr<PluginInstance> load(const std::string& path, const HostOptions& options = {},
                                                std::string* error = nullptr);
    // The same from an entry already in the process (no module is opened).
    static std::unique_ptr<PluginInstance> fromEntry(vst::EntryProc entry, const HostOptions& options = {},
                                                     std::string* error = nullptr);
    ~PluginInstance();  // closes the effect if still open, then unloads the module

    PluginInstance(const PluginInstance&) = delete;
    PluginInstance& operator=(const PluginInstance&) = delete;

    vst::EffectRecord* record() noexcept { return effect; }
    const vst::EffectRecord* record() const noexcept { return effect; }
    bool isOpen() const noexcept { return effect != nullptr; }
    const std::string& path() const noexcept { return modulePath; }

    HostAnswers& answers() noexcept { return hostAnswers; }
    RequestLog& requests() noexcept { return log; }
    const RequestLog& requests() const noexcept { return log; }

    // The raw dispatcher; answers 0 once closed.
    intptr_t dispatch(int32_t opcode, int32_t index = 0, intptr_t value = 0, void* ptr = nullptr,
                      float opt = 0.0f);

    // The usual start: effOpen, sample rate, block size (the configured ones).
    void open();
    // Opens, configures and resumes in the given host's order.
    void startLike(HostStyle style);
    void setSampleRate(float rateHz);   // also what audioMasterGetSampleRate answers from now on
    void setBlockSize(int32_t frames);  // also what audioMasterGetBlockSize answers
    float sampleRate() const noexcept { return rate.load(std::memory_order_relaxed); }
    int32_t blockSize() const noexcept { return block.load(std::memory_order_relaxed); }
    void resume() { dispatch(vst::effMainsChanged, 0, 1); }
    void suspend() { dispatch(vst::effMainsChanged, 0, 0); }
    // effClose; the record is invalid afterwards. Answers the dispatcher's result.
    intptr_t close();

    int32_t parameterCount() const noexcept { return effect ? effect->numParams : 0; }
    int32_t programCount() const noexcept { return effect ? effect->numPrograms : 0; }
    int32_t inputCount() const noexcept { return effect ? effect->numInputs : 0; }
    int32_t outputCount() const noexcept { return effect ? effect->numOutputs : 0; }
    int32_t flags() const noexcept { return effect ? effect->flags : 0; }
    bool hasFlag(int32_t flag) const noexcept { return (flags() & flag) != 0; }

    float parameter(int32_t index);
    void setParameter(int32_t index, float normalised);

    // Texts through a buffer of bufferSize bytes, pre-filled so termination can be checked,
    // followed by a guard area that shows writes past the end.
    TextAnswer text(int32_t opcode, int32_t index, size_t bufferSize = 256, intptr_t value = 0);
    std::string parameterName(int32_t index) { return text(vst::effGetParamName, index).text; }
    std::string parameterLabel(int32_t index) { return text(vst::effGetParamLabel, index).text; }
    std::string parameterDisplay(int32_t index) { return text(vst::effGetParamDisplay, index).text; }
    // effString2Parameter with a private copy of the text (plug-ins may edit it). True when accepted.
    bool setParameterText(int32_t index, const std::string& value);
    // Index of the parameter with this name: exact first, then ignoring case; -1 if none.
    int32_t findParameter(const std::string& name);

    int32_t program() { return static_cast<int32_t>(dispatch(vst::effGetProgram)); }
    // effBeginSetProgram, effSetProgram, effEndSetProgram, as hosts bracket it.
    void setProgram(int32_t program);
    std::string programName() { return text(vst::effGetProgramName, 0).text; }
    void setProgramName(const std::string& name);  // at most 63 characters are passed
    // effGetProgramNameIndexed; when the plug-in answers 0, falls back to switching programs
    // (and switching back) if allowSwitching is set.
    std::string programNameAt(int32_t program, bool allowSwitching = true);
    int32_t findProgram(const std::string& name);  // -1 if none

    // effGetChunk: a copy of the plug-in's chunk (empty when it has none).
    std::vector<uint8_t> chunk(bool presetOnly);
    // effSetChunk with a private copy of the data; answers the dispatcher's result.
    intptr_t setChunk(std::span<const uint8_t> data, bool presetOnly);

    // effSetSpeakerArrangement with simple arrangements of these channel counts.
    intptr_t setSpeakerArrangement(int32_t inputChannels, int32_t outputChannels);

    // One call of a process entry. Replacing needs the plug-in's processReplacing entry and
    // answers false when it is missing; the adding entry answers false when null. inputs and
    // outputs must hold numInputs and numOutputs buffers of frames samples each; they may be
    // the same buffers (in place).
    bool process(ProcessMode mode, float** inputs, float** outputs, int32_t frames) noexcept;
    // Process calls run with subnormals flushed to zero (FTZ and DAZ), as many hosts' audio
    // threads do. The caller's floating-point mode is restored after each call.
    void setFlushSubnormals(bool on) noexcept { flushSubnormals.store(on, std::memory_order_relaxed); }
    // Frames processed so far through process(); the time info's sample position.
    int64_t processedFrames() const noexcept { return framesDone.load(std::memory_order_relaxed); }

    // Used by the callback trampoline.
    intptr_t answer(vst::EffectRecord* from, int32_t opcode, int32_t index, intptr_t value, void* ptr,
                    float opt) noexcept;

private:
    PluginInstance(void* library, std::string path, const HostOptions& options);
    bool start(vst::EntryProc entry, std::string* error);

    void* library = nullptr;
    std::string modulePath;
    vst::EffectRecord* effect = nullptr;
    HostAnswers hostAnswers;
    RequestLog log;
    std::atomic<float> rate;             // writer: setSampleRate; reader: the callback
    std::atomic<int32_t> block;          // writer: setBlockSize; reader: the callback
    std::atomic<int64_t> framesDone{0};  // writer: process(); reader: the callback, tests
    intptr_t versionAnswer;
    std::atomic<bool> flushSubnormals{false};  // writer: the test; reader: process()
    std::atomic<bool> inIdle{false};           // writer/reader: the idle answer, against re-entry
};

}  // namespace flanger::tools
