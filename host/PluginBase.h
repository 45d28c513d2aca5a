// The plug-in base: eight stored programs in one table, big-endian program and bank chunks,
// the factory bank, the host's parameter calls mapped onto the parameter table, and the
// configuration check that tells the effect when to rebuild its signal path.
#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

#include "host/ExtendedEffect.h"

namespace flanger::params {
class ParameterTable;
}

namespace flanger::host {

class PluginBase : public ExtendedEffect {
public:
    PluginBase(vst::HostCallback host, int32_t inputCount, int32_t outputCount, int32_t uniqueId,
               int32_t hostParameterCount, int32_t valuesPerProgram, int32_t programCount);
    ~PluginBase() override = default;

    void setParameterValue(int32_t index, float value) override;
    float parameterValue(int32_t index) override;
    void setParameterFromEditor(int32_t index, float value) override;
    void processAdding(float** inputs, float** outputs, int32_t frames) override;
    void processReplacing(float** inputs, float** outputs, int32_t frames) override;
    void selectProgram(int32_t program) override;
    void renameProgram(const char* text) override;
    void currentProgramName(char* text) override;
    void parameterName(int32_t index, char* text) override;
    void parameterUnit(int32_t index, char* text) override;
    void parameterText(int32_t index, char* text) override;
    int32_t saveChunk(void** data, bool isPreset) override;
    int32_t loadChunk(const void* data, int32_t size, bool isPreset) override;
    void setSampleRate(float rate) override;
    void setBlockSize(int32_t frames) override;
    bool programNameByIndex(int32_t category, int32_t index, char* text) override;
    bool applySpeakerArrangement(vst::VstSpeakerArrangement* input,
                                 vst::VstSpeakerArrangement* output) override;
    int32_t plugCategory() override { return vst::kPlugCategEffect; }
    bool vendorText(char* text) override;
    // The wheel ('stCA' 'Whee') and the host's scale factor ('PreS' 'AeCs') for the editor.
    intptr_t vendorMessage(int32_t index, intptr_t value, void* ptr, float opt) override;
    // "supportsViewDpiScaling": hosts send their scale factor only to an effect that says so.
    int32_t answerCapability(const char* text) override;

    virtual void processAudio(float** inputs, float** outputs, int32_t frames, bool accumulate);
    virtual void programNameAt(char* text, int32_t program);
    virtual bool initialise();
    virtual void createProgramTable();
    virtual void rebuildEngine() = 0;
    virtual void postInitialise() = 0;
    virtual void storeProgram(int32_t program);
    virtual void loadProgram(int32_t program);
    // Loads the effect's factory programs after the table is made; the base has none.
    virtual void loadFactoryBank();
    virtual int32_t connectedInputCount();
    virtual int32_t connectedOutputCount();
    virtual bool configurationChanged();

    params::ParameterTable* parameterTable() const { return parameters; }
    int32_t programRecordSize() const { return programSize; }
    int32_t inputsInUse() const { return activeInputs; }
    int32_t outputsInUse() const { return activeOutputs; }

protected:
    // Called first by every process entry with the host's block: a larger one is recorded.
    void noteHostBlock(int32_t frames) noexcept;
    // Loads a bank given as the hexadecimal digits of its chunk; a text of any other length
    // than the whole table's is ignored.
    void loadBankText(const char* hexDigits, std::size_t digitCount);
    // Data of program n's row (its record in chunk form), or null outside the table.
    unsigned char* programData(int32_t program);
    bool hasProgram(int32_t program) const { return program >= 0 && program < programCount && !rows.empty(); }

    int32_t hostParameterCount;
    int32_t valuesPerProgram;
    int32_t programCount;
    int32_t nameSlot;
    int32_t nameSize = 64;
    int32_t programSize = 0;
    // The whole program table in one block: row list, per-row slot pointers, then the data.
    std::vector<unsigned char> tableBlock;
    std::vector<unsigned char*> rows;  // view into tableBlock, one entry per program
    std::vector<int32_t> slotSizes;
    params::ParameterTable* parameters = nullptr;
    int32_t rememberedBlockSize = 0;
    int32_t activeInputs;
    int32_t activeOutputs;
    float rememberedSampleRate = 0.0f;
    bool speakerArrangementChanged = false;
    // Writer: rebuildEngine (dispatcher thread), after the engine exists (release); reader: processing
    // (acquire).
    std::atomic<bool> engineReady{false};
    bool wheelForwarding = true;
};

}  // namespace flanger::host
