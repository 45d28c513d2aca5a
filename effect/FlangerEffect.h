// The flanger's effect class: owns the parameter table and the signal path, processes the
// host's audio, keeps the tempo-sync entry in step, and answers parameter texts and chunks.
#pragma once

#include <memory>

#include "effect/FlangerParameters.h"
#include "host/PluginBase.h"

namespace flanger::dsp {
class FlangerEngine;
}

namespace flanger::effect {

// Parameter indices by name, for the effect and whoever drives it.
inline constexpr int32_t kFeedback = FlangerParameters::kFeedback;
inline constexpr int32_t kDelay = FlangerParameters::kDelay;
inline constexpr int32_t kDepth = FlangerParameters::kDepth;
inline constexpr int32_t kStereo = FlangerParameters::kStereo;
inline constexpr int32_t kSwitch = FlangerParameters::kSwitch;
inline constexpr int32_t kRate = FlangerParameters::kRate;
inline constexpr int32_t kSyncBeat = FlangerParameters::kSyncBeat;
inline constexpr int32_t kTmpSync = FlangerParameters::kTmpSync;
inline constexpr int32_t kShapeSync = FlangerParameters::kShapeSync;
inline constexpr int32_t kOutput = FlangerParameters::kOutput;
inline constexpr int32_t kMix = FlangerParameters::kMix;
inline constexpr int32_t kBeatsPerCycle = FlangerParameters::kBeatsPerCycle;
inline constexpr int32_t kParameterCount = FlangerParameters::kParameterCount;
inline constexpr int32_t kHostParameterCount = FlangerParameters::kHostParameterCount;

class FlangerEffect : public host::PluginBase {
public:
    explicit FlangerEffect(vst::HostCallback host);
    ~FlangerEffect() override;

    void setParameterValue(int32_t index, float value) override;
    float parameterValue(int32_t index) override;
    void processAdding(float** inputs, float** outputs, int32_t frames) override;
    void processReplacing(float** inputs, float** outputs, int32_t frames) override;
    void parameterText(int32_t index, char* text) override;
    int32_t loadChunk(const void* data, int32_t size, bool isPreset) override;
    void suspend() override;
    void resume() override;
    bool textToParameter(int32_t index, char* text) override;
    bool vendorText(char* text) override;
    bool initialise() override;
    void rebuildEngine() override;
    void postInitialise() override {}

    virtual void createEditor();
    virtual void createEngine(int32_t numInputs, int32_t sampleRate, int32_t numOutputs, int32_t blockSize);

    FlangerParameters* flangerParameters() const { return table.get(); }
    dsp::FlangerEngine* flangerEngine() const { return engine.get(); }
    bool isInitialised() const { return initialised; }

    static constexpr int32_t kProgramCount = 8;
    static constexpr int32_t kRecordSize = 112;  // twelve floats and a 64-byte name
    static constexpr int32_t kLegacyRecordSize = 104;

private:
    void process(float** inputs, float** outputs, int32_t frames, bool adding) noexcept;
    // Makes one program record safe to load: finite values within their ranges, a terminated name.
    void sanitiseRecord(unsigned char* program) const;
    void convertLegacyRecord(const unsigned char* legacy, unsigned char* record) const;

    std::unique_ptr<FlangerParameters> table;
    std::unique_ptr<dsp::FlangerEngine> engine;
    bool initialised = false;
};

}  // namespace flanger::effect
