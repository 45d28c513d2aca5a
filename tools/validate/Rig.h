// What every group of checks drives: one plug-in instance with guarded channel buffers, traced
// calls, test signals and the scan of the outputs for non-finite and subnormal samples.
#pragma once

#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "tools/common/TestHost.h"
#include "tools/validate/GuardedMemory.h"
#include "tools/validate/Isolation.h"

namespace flanger::tools {

const char* opcodeName(int32_t opcode) noexcept;  // "effGetParamDisplay", or "opcode 93"

// Formats a float the way the report shows it ("nan", "-inf", "1e+30", "0.25").
std::string floatText(float value);

struct SampleScan {
    int64_t nonFinite = 0;
    int64_t subnormal = 0;
    float peak = 0.0f;
    int32_t firstBadChannel = -1;
    int64_t firstBadFrame = -1;

    void add(const SampleScan& other) noexcept;
    bool clean() const noexcept { return nonFinite == 0 && subnormal == 0; }
    std::string describe() const;  // "3 non-finite, 0 subnormal (first: channel 1, frame 17)"
};

SampleScan scanSamples(const float* samples, int32_t frames, int32_t channel, int64_t frameOffset) noexcept;

enum class SignalKind { Silence, Sine, Noise, Impulses, Dc, Hot, Subnormal };
const char* signalName(SignalKind kind) noexcept;

// A deterministic test signal, continuous across blocks; channel c is a variant of channel 0.
class TestSignal {
public:
    TestSignal(SignalKind kind, float rateHz, uint32_t seed = 1);
    void fill(float* const* channels, int32_t channelCount, int32_t frames) noexcept;

private:
    SignalKind kind;
    float rate;
    double phase = 0.0;
    int64_t position = 0;
    std::minstd_rand random;
};

// A text read through a pre-filled buffer that ends at a guard page.
struct GuardedText {
    intptr_t result = 0;
    bool touched = false;    // the plug-in wrote into the buffer
    bool terminated = true;  // a terminator lies inside the buffer (or nothing was written)
    std::string text;        // up to the terminator, when there is one
    std::string problem;     // empty when terminated and printable (or untouched)
};

struct RigOptions {
    float sampleRate = 44100.0f;
    int32_t blockSize = 512;
    int32_t capacityFrames = 8192;  // the largest call the buffers allow
    bool open = true;               // effOpen and the configuration at load
    bool resume = true;
};

class Rig {
public:
    // Loads and prepares; false (with a failure recorded) when the module does not load.
    bool start(const std::string& modulePath, const RigOptions& options, Findings& findings);

    PluginInstance& plugin() noexcept { return *instance; }
    bool loaded() const noexcept { return instance != nullptr; }
    int32_t capacity() const noexcept { return inputs ? inputs->capacity() : 0; }
    GuardedChannels& inputBuffers() noexcept { return *inputs; }
    GuardedChannels& outputBuffers() noexcept { return *outputs; }

    // Traced calls into the plug-in.
    intptr_t dispatch(int32_t opcode, int32_t index = 0, intptr_t value = 0, void* ptr = nullptr,
                      float opt = 0.0f);
    void setParameter(int32_t index, float value);
    float getParameter(int32_t index);
    void setProgram(int32_t program);  // bracketed by begin/end as hosts do
    GuardedText readText(int32_t opcode, int32_t index, size_t size = 64);
    void setProgramName(const std::string& name);     // at most 63 characters, in a guarded buffer
    void configure(float rateHz, int32_t blockSize);  // suspend, rate, block size, resume
    void resume();
    void suspend();

    // The replacing entry when the plug-in has one (and the flag), else the adding entry.
    ProcessMode preferredMode() const noexcept;
    bool hasMode(ProcessMode mode) const noexcept;

    // One process call of `frames` (<= capacity) frames with the signal as input. Outputs start
    // at the output base (0 by default, so adding equals replacing for a correct plug-in). in-place passes
    // the input buffers as outputs too. The scan of the outputs is returned; frameOffset positions it.
    SampleScan process(ProcessMode mode, int32_t frames, TestSignal& signal, bool inPlace = false,
                       int64_t frameOffset = 0);
    // Like process, but with the given sample in channel 0 at frame `at`.
    SampleScan processWithSample(ProcessMode mode, int32_t frames, TestSignal& signal, int32_t at,
                                 float sample);
    // Runs `totalFrames` through blocks of `block` frames; returns the combined scan.
    SampleScan run(ProcessMode mode, int64_t totalFrames, int32_t block, TestSignal& signal,
                   bool inPlace = false);
    // What the output buffers hold before each call (0 unless a check of the adding entry sets it).
    void setOutputBase(float value) noexcept { outputBase = value; }
    // The output samples of the last call (channel c).
    const float* lastOutput(int32_t c) noexcept;
    int32_t lastFrames() const noexcept { return lastCallFrames; }

    // Every parameter read once; those outside [0, 1] or not finite become failures.
    std::vector<float> readParameters(Findings& findings, const std::string& after);

    void close();

private:
    SampleScan scanOutputs(int32_t frames, int64_t frameOffset, bool inPlace) noexcept;

    std::unique_ptr<PluginInstance> instance;
    std::unique_ptr<GuardedChannels> inputs;
    std::unique_ptr<GuardedChannels> outputs;
    int32_t lastCallFrames = 0;
    float outputBase = 0.0f;
    bool lastInPlace = false;
};

// Everything a group of checks gets.
struct CheckContext {
    std::string modulePath;
    uint32_t seed = 1;
    bool quick = false;              // fewer repetitions (sanitizer builds)
    std::vector<std::string> parts;  // --part: only these parts of a category with parts; empty: all
    bool privateDisplay = false;     // editor checks in a private Xvfb even when DISPLAY is set
    int editorCycles = 0;            // editor open/close cycles; 0: the category's own count

    bool wants(const char* part) const {
        if (parts.empty()) return true;
        for (const auto& p : parts) {
            if (p == part) return true;
        }
        return false;
    }
};

}  // namespace flanger::tools
