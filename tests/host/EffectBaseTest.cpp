// The dispatcher's answers, the record entries and the request defaults of the effect base.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

#include "host/EditorBase.h"
#include "host/ExtendedEffect.h"
#include "tests/host/RecordingHost.h"

namespace flanger::host {
namespace {

using testing::RecordingHost;

class TestEffect : public ExtendedEffect {
public:
    explicit TestEffect(vst::HostCallback host, bool* destroyed = nullptr)
        : ExtendedEffect(host, 4, 3), destroyedFlag(destroyed) {}
    ~TestEffect() override {
        if (destroyedFlag != nullptr) *destroyedFlag = true;
    }
    void processAdding(float**, float**, int32_t frames) override { lastFrames = frames; }
    void parameterName(int32_t, char* text) override { std::strcpy(text, longText.c_str()); }
    void parameterText(int32_t, char* text) override { std::strcpy(text, longText.c_str()); }
    void renameProgram(const char* text) override { renamed = text; }
    bool textToParameter(int32_t, char* text) override {
        parsed = text == nullptr ? "<null>" : text;
        return true;
    }
    void setParameterValue(int32_t index, float value) override {
        lastIndex = index;
        lastValue = value;
    }

    std::string longText = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-more-than-63";
    std::string renamed;
    std::string parsed;
    int32_t lastFrames = -1;
    int32_t lastIndex = -1;
    float lastValue = 0;
    bool* destroyedFlag;
};

class KeyEditor : public EditorBase {
public:
    using EditorBase::EditorBase;
    int32_t keyDown(const vst::VstKeyCode& key) override {
        last = key;
        return 1;
    }
    vst::VstKeyCode last{};
};

class EffectBaseTest : public ::testing::Test {
protected:
    intptr_t dispatch(int32_t opcode, int32_t index = 0, intptr_t value = 0, void* ptr = nullptr,
                      float opt = 0) {
        return effect->effectRecord()->dispatcher(effect->effectRecord(), opcode, index, value, ptr, opt);
    }
    RecordingHost host;
    TestEffect* effect = new TestEffect(&RecordingHost::callback);
    void TearDown() override {
        if (effect != nullptr) dispatch(vst::effClose);
    }
};

TEST_F(EffectBaseTest, FreshRecordCarriesTheBaseDefaults) {
    const vst::EffectRecord& r = effect->recordFields();
    EXPECT_EQ(r.magic, 0x56737450);
    EXPECT_EQ(r.numPrograms, 4);
    EXPECT_EQ(r.numParams, 3);
    EXPECT_EQ(r.numInputs, 1);
    EXPECT_EQ(r.numOutputs, 2);
    EXPECT_EQ(r.flags, 0);
    EXPECT_EQ(r.uniqueID, 0x4E6F4566);
    EXPECT_EQ(r.version, 1);
    EXPECT_EQ(r.ioRatio, 1.0f);
    EXPECT_EQ(r.object, effect);
    const char zeros[60] = {};
    EXPECT_EQ(std::memcmp(r.future, zeros, sizeof zeros), 0);
}

TEST_F(EffectBaseTest, FixedAnswers) {
    EXPECT_EQ(dispatch(vst::effIdentify), 0x4E764566);
    EXPECT_EQ(dispatch(vst::effGetVstVersion), 2200);
    EXPECT_EQ(dispatch(vst::effKeysRequired), 1);
    EXPECT_EQ(dispatch(vst::effGetCurrentMidiProgram), -1);
    EXPECT_EQ(dispatch(vst::effGetVu), 0);
    EXPECT_EQ(dispatch(vst::effCanBeAutomated, 2), 1);
    EXPECT_EQ(dispatch(vst::effGetNumProgramCategories), 1);
    EXPECT_EQ(dispatch(vst::effConnectInput, 0, 1), 1);
    EXPECT_EQ(dispatch(vst::effSetBlockSizeAndSampleRate, 0, 256, nullptr, 48000.0f), 1);
    EXPECT_EQ(effect->blockSize(), 256);
    EXPECT_EQ(effect->sampleRate(), 48000.0f);
    char text[] = "receiveVstTimeInfo";
    EXPECT_EQ(dispatch(vst::effCanDo, 0, 0, text), 0);
    char other[] = "plugAsChannelInsert";
    EXPECT_EQ(dispatch(vst::effCanDo, 0, 0, other), 0);
    EXPECT_EQ(dispatch(vst::effCanDo), 0);
}

TEST_F(EffectBaseTest, OpcodesOutsideTheTableAnswerZero) {
    for (int32_t opcode : {69, 70, 127, 1000, -1, -100, INT32_MIN, INT32_MAX}) {
        char buffer[64] = {};
        EXPECT_EQ(dispatch(opcode, 0, 0, buffer, 0), 0) << opcode;
        EXPECT_EQ(buffer[0], 0);
    }
}

TEST_F(EffectBaseTest, SetProgramIgnoresValuesOutsideTheProgramCount) {
    dispatch(vst::effSetProgram, 0, 2);
    EXPECT_EQ(dispatch(vst::effGetProgram), 2);
    dispatch(vst::effSetProgram, 0, 4);
    dispatch(vst::effSetProgram, 0, -1);
    dispatch(vst::effSetProgram, 0, intptr_t{1} << 40);
    EXPECT_EQ(dispatch(vst::effGetProgram), 2);
}

TEST_F(EffectBaseTest, TextAnswersAreBoundedAndNullBuffersUntouched) {
    char buffer[128];
    std::memset(buffer, 'x', sizeof buffer);
    dispatch(vst::effGetParamDisplay, 0, 0, buffer);
    EXPECT_EQ(std::string(buffer), "ABCDEFGH");
    EXPECT_EQ(buffer[9], 'x');
    std::memset(buffer, 'x', sizeof buffer);
    dispatch(vst::effGetParamName, 0, 0, buffer);
    EXPECT_EQ(std::strlen(buffer), 63u);
    EXPECT_EQ(buffer[64], 'x');
    // Null text pointers and bad indices write nothing and answer 0.
    for (int32_t opcode : {vst::effGetParamDisplay, vst::effGetParamName, vst::effGetParamLabel,
                           vst::effGetProgramName, vst::effGetVendorString, vst::effGetProgramNameIndexed,
                           vst::effGetChunk, vst::effEditGetRect, vst::effSetProgramName}) {
        EXPECT_EQ(dispatch(opcode, 0, 0, nullptr), 0) << opcode;
    }
    std::memset(buffer, 'x', sizeof buffer);
    dispatch(vst::effGetParamDisplay, 3, 0, buffer);
    EXPECT_EQ(buffer[0], 0);
    dispatch(vst::effGetParamName, -1, 0, buffer);
    EXPECT_EQ(buffer[0], 0);
}

TEST_F(EffectBaseTest, HostTextsAreReadWithinTheirLimits) {
    char name[100];
    std::memset(name, 'n', sizeof name);  // no terminator at all
    dispatch(vst::effSetProgramName, 0, 0, name);
    EXPECT_EQ(effect->renamed.size(), 63u);
    // Text entry works on a copy: a read-only host string is never written to.
    static const char readOnly[] = "2,5";
    EXPECT_EQ(dispatch(vst::effString2Parameter, 0, 0, const_cast<char*>(readOnly)), 1);
    EXPECT_EQ(effect->parsed, "2,5");
    EXPECT_EQ(dispatch(vst::effString2Parameter, 0, 0, nullptr), 1);
    EXPECT_EQ(effect->parsed, "<null>");
}

TEST_F(EffectBaseTest, EditorOpcodesWithoutAnEditorDoNothing) {
    EXPECT_EQ(dispatch(vst::effEditOpen, 0, 0, reinterpret_cast<void*>(1234)), 0);
    vst::ERect* rect = reinterpret_cast<vst::ERect*>(1);
    EXPECT_EQ(dispatch(vst::effEditGetRect, 0, 0, &rect), 0);
    EXPECT_EQ(dispatch(vst::effEditIdle), 0);
    EXPECT_EQ(dispatch(vst::effEditClose), 0);
    EXPECT_EQ(dispatch(vst::effEditKeyDown, 65, 0x1234, nullptr, 3.9f), 0);
    EXPECT_EQ(dispatch(vst::effSetEditKnobMode, 0, 1), 0);
}

TEST_F(EffectBaseTest, KeyDownPacksTheHostArguments) {
    auto* editor = new KeyEditor(effect);
    effect->attachEditor(editor);
    EXPECT_EQ(effect->recordFields().flags & vst::effFlagsHasEditor, vst::effFlagsHasEditor);
    EXPECT_EQ(dispatch(vst::effEditKeyDown, 65, 0x1234, nullptr, 3.9f), 1);
    EXPECT_EQ(editor->last.character, 65);
    EXPECT_EQ(editor->last.virt, 0x34);
    EXPECT_EQ(editor->last.modifier, 3);
    // A modifier no integer can hold carries no bits instead of undefined behaviour.
    dispatch(vst::effEditKeyDown, 1, 2, nullptr, NAN);
    EXPECT_EQ(editor->last.modifier, 0);
    dispatch(vst::effEditKeyDown, 1, 2, nullptr, 1e30f);
    EXPECT_EQ(editor->last.modifier, 0);
}

TEST_F(EffectBaseTest, CloseAnswersOneAndDestroysTheObject) {
    bool destroyed = false;
    auto* other = new TestEffect(&RecordingHost::callback, &destroyed);
    vst::EffectRecord* record = other->effectRecord();
    EXPECT_EQ(record->dispatcher(record, vst::effClose, 0, 0, nullptr, 0), 1);
    EXPECT_TRUE(destroyed);
}

TEST_F(EffectBaseTest, EntriesRejectWhatTheHostGetsWrong) {
    vst::EffectRecord* record = effect->effectRecord();
    EXPECT_EQ(dispatchEntry(nullptr, vst::effIdentify, 0, 0, nullptr, 0), 0);
    vst::EffectRecord forged{};
    EXPECT_EQ(dispatchEntry(&forged, vst::effIdentify, 0, 0, nullptr, 0), 0);
    float left[4] = {}, right[4] = {};
    float* channels[2] = {left, right};
    record->processReplacing(record, channels, channels, 0);
    record->processReplacing(record, nullptr, channels, 4);
    record->process(record, channels, nullptr, 4);
    EXPECT_EQ(effect->lastFrames, -1);
    record->process(record, channels, channels, 4);
    EXPECT_EQ(effect->lastFrames, 4);
    record->setParameter(record, -1, 0.5f);
    EXPECT_EQ(effect->lastIndex, -1);
    EXPECT_EQ(record->getParameter(record, -5), 0.0f);
}

TEST_F(EffectBaseTest, AutomationFromTheEditorIsSentToTheHost) {
    effect->setParameterFromEditor(2, 0.25f);
    EXPECT_EQ(effect->lastIndex, 2);
    ASSERT_EQ(host.count(vst::audioMasterAutomate), 1);
    EXPECT_EQ(host.requests.back().index, 2);
    EXPECT_EQ(host.requests.back().opt, 0.25f);
}

TEST_F(EffectBaseTest, RequestsFollowTheHostsAnswers) {
    host.answers[vst::audioMasterVersion] = 0;
    EXPECT_EQ(effect->hostVersion(), 1);
    host.inputPinAnswers[0] = 0;
    host.inputPinAnswers[1] = 1;
    EXPECT_TRUE(effect->inputPinConnected(0));
    EXPECT_FALSE(effect->inputPinConnected(1));
    const auto before = host.requests.size();
    EXPECT_FALSE(effect->hostFileDialog(nullptr));
    EXPECT_EQ(host.requests.size(), before);
    effect->reportEditStart(5);
    EXPECT_EQ(host.requests.back().opcode, vst::audioMasterBeginEdit);
    EXPECT_EQ(host.requests.back().index, 5);
    EXPECT_EQ(effect->timeInfo(0x400), nullptr);
    EXPECT_EQ(host.requests.back().value, 0x400);
}

TEST(EffectBaseWithoutHost, RequestsAnswerTheirDefaultsAndSendNothing) {
    TestEffect effect(nullptr);
    EXPECT_EQ(effect.hostVersion(), 1);
    EXPECT_TRUE(effect.inputPinConnected(0));
    EXPECT_TRUE(effect.outputPinConnected(1));
    EXPECT_EQ(effect.timeInfo(0x400), nullptr);
    EXPECT_EQ(effect.refreshSampleRate(), 44100.0f);
    EXPECT_EQ(effect.refreshBlockSize(), 1024);
    EXPECT_FALSE(effect.reportEditEnd(1));
    effect.setParameterFromEditor(1, 0.5f);
    EXPECT_EQ(effect.lastIndex, 1);
}

class TextConversionTest : public ::testing::Test {
protected:
    std::string text(void (EffectBase::*convert)(float, char*), float value) {
        char buffer[32];
        std::memset(buffer, 'x', sizeof buffer);
        (effect.*convert)(value, buffer);
        EXPECT_LE(std::strlen(buffer), 8u);
        return buffer;
    }
    TestEffect effect{nullptr};
};

TEST_F(TextConversionTest, FloatToTextTruncatesIntoEightCharacters) {
    EXPECT_EQ(text(&EffectBase::floatToText, 1.5f), "1.500000");
    EXPECT_EQ(text(&EffectBase::floatToText, 0.0f), "0.000000");
    EXPECT_EQ(text(&EffectBase::floatToText, -2.5f), "-2.50000");
    EXPECT_EQ(text(&EffectBase::floatToText, 123.456f), "123.4560");
    EXPECT_EQ(text(&EffectBase::floatToText, 1e9f), " Huge!  ");
    EXPECT_EQ(text(&EffectBase::floatToText, -1e7f), " Huge!  ");
    EXPECT_EQ(text(&EffectBase::floatToText, NAN), " Huge!  ");
    EXPECT_EQ(text(&EffectBase::floatToText, 100.0f), "100.0000");
}

TEST_F(TextConversionTest, IntegerGainAndTimeTexts) {
    EXPECT_EQ(text(&EffectBase::intToText, 42.0f), "     42");
    EXPECT_EQ(text(&EffectBase::intToText, 100000000.0f), " Huge!  ");
    EXPECT_EQ(text(&EffectBase::intToText, -12345678.0f), "-1234567");
    EXPECT_EQ(text(&EffectBase::gainToText, 1.0f), "0.000000");
    EXPECT_EQ(text(&EffectBase::gainToText, 0.0f), "  -oo   ");
    EXPECT_EQ(text(&EffectBase::gainToText, -1.0f), "  -oo   ");
    EXPECT_EQ(text(&EffectBase::samplesToMsText, 441.0f), "10.00000");
    EXPECT_EQ(text(&EffectBase::samplesToHzText, 0.0f), "0.000000");
    EXPECT_EQ(text(&EffectBase::samplesToHzText, 441.0f), "100.0000");
}

}  // namespace
}  // namespace flanger::host
