// The flanger's effect class: owns the parameter table and the signal path, processes the
// host's audio, keeps the tempo-sync entry in step, and answers parameter texts and chunks.
#pragma once

#include <memory>

#include "host/EditorBase.h"
#include "host/PluginBase.h"
#include "params/FlangerParameters.h"

namespace flanger::dsp {
class FlangerEngine;
}

namespace flanger::effect {

class FlangerEffect : public host::PluginBase {
public:
    // editorFactory (from module/) makes the effect's editor; null: the effect has no editor.
    explicit FlangerEffect(vst::HostCallback host, host::EditorFactory editorFactory = nullptr);
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
    // On the audio thread: every delay line of both voices silenced, the sweeps and settings kept.
    void clearHistory() noexcept;
    void postInitialise() override {}
    void loadFactoryBank() override;

    virtual void createEditor();
    virtual void createEngine(int32_t numInputs, int32_t sampleRate, int32_t numOutputs, int32_t blockSize);

    params::FlangerParameters* flangerParameters() const { return table.get(); }

    static constexpr int32_t kProgramCount = 8;
    static constexpr int32_t kRecordSize = 112;  // twelve floats and a 64-byte name
    static constexpr int32_t kLegacyRecordSize = 104;

private:
    void process(float** inputs, float** outputs, int32_t frames, bool adding) noexcept;
    // Makes one program record safe to load: finite values within their ranges, a terminated name.
    void sanitiseRecord(unsigned char* program) const;
    void convertLegacyRecord(const unsigned char* legacy, unsigned char* record) const;

    std::unique_ptr<params::FlangerParameters> table;
    host::EditorFactory makeEditor = nullptr;
    std::unique_ptr<dsp::FlangerEngine> engine;
    bool initialised = false;
};

}  // namespace flanger::effect
