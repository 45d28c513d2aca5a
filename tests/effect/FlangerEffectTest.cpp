// The flanger effect through its own operations: programs and chunks, the factory bank,
// parameter bookkeeping, texts and text entry, legacy records and what bad input may not do.
#include <gtest/gtest.h>

#include <unistd.h>

#include <clocale>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "effect/FlangerEffect.h"
#include "host/BigEndian.h"
#include "host/EditorBase.h"
#include "params/FlangerParameters.h"
#include "tests/host/RecordingHost.h"
#include "tests/support/CommaLocale.h"

namespace flanger::effect {
namespace {

// The parameters by name (a using-enum declaration here trips clang 14).
constexpr int32_t kFeedback = params::FlangerParameters::kFeedback;
constexpr int32_t kDelay = params::FlangerParameters::kDelay;
constexpr int32_t kDepth = params::FlangerParameters::kDepth;
constexpr int32_t kSwitch = params::FlangerParameters::kSwitch;
constexpr int32_t kRate = params::FlangerParameters::kRate;
constexpr int32_t kSyncBeat = params::FlangerParameters::kSyncBeat;
constexpr int32_t kTmpSync = params::FlangerParameters::kTmpSync;
constexpr int32_t kOutput = params::FlangerParameters::kOutput;
constexpr int32_t kMix = params::FlangerParameters::kMix;
constexpr int32_t kBeatsPerCycle = params::FlangerParameters::kBeatsPerCycle;
constexpr int32_t kHostParameterCount = params::FlangerParameters::kHostParameterCount;
using testing::RecordingHost;

class WatchingEditor : public host::EditorBase {
public:
    using EditorBase::EditorBase;
    void parameterChanged(int32_t index, float value) override { changes.push_back({index, value}); }
    bool wheel(float distance) override {
        wheelDistance = distance;
        return true;
    }
    void setHostScale(int32_t percent) override { hostScale = percent; }
    std::vector<std::pair<int32_t, float>> changes;
    float wheelDistance = 0;
    int32_t hostScale = -1;
};

class FlangerEffectTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(effect.initialise()); }

    std::string text(int32_t index) {
        char buffer[128] = {};
        effect.parameterText(index, buffer);
        return buffer;
    }
    std::string name() {
        char buffer[128] = {};
        effect.currentProgramName(buffer);
        return buffer;
    }
    std::vector<unsigned char> chunk(bool preset) {
        void* data = nullptr;
        const int32_t size = effect.saveChunk(&data, preset);
        const auto* bytes = static_cast<const unsigned char*>(data);
        return {bytes, bytes + size};
    }
    // Text entry as hosts send it: effString2Parameter through the dispatcher, answered 1 or 0.
    bool enter(int32_t index, const char* value) {
        std::string copy = value;
        const intptr_t answer = effect.dispatch(vst::effString2Parameter, index, 0, copy.data(), 0.0f);
        EXPECT_TRUE(answer == 0 || answer == 1) << answer;
        return answer != 0;
    }
    float plain(int32_t index) { return effect.flangerParameters()->peekPlain(index); }

    RecordingHost host;
    FlangerEffect effect{&RecordingHost::callback};
};

TEST_F(FlangerEffectTest, StartsOnTheFactoryDefaultProgram) {
    EXPECT_EQ(effect.currentProgram(), 0);
    EXPECT_EQ(name(), "Default");
    EXPECT_FLOAT_EQ(effect.parameterValue(kFeedback), 0.5f);
    EXPECT_EQ(effect.parameterValue(kBeatsPerCycle), 1.0f);
    char vendor[64] = {};
    EXPECT_TRUE(effect.vendorText(vendor));
    EXPECT_STREQ(vendor, "Brackwater");
    const char* names[] = {"Default",    "Swirl",      "Siren", "Wide",
                           "Grand Prix", "Slow Helix", "Space", "Insect Ears"};
    for (int32_t p = 0; p < 8; ++p) {
        char buffer[64] = {};
        ASSERT_TRUE(effect.programNameByIndex(-1, p, buffer));
        EXPECT_STREQ(buffer, names[p]);
    }
    char untouched[4] = {'x', 'x', 'x', 'x'};
    EXPECT_FALSE(effect.programNameByIndex(-1, 8, untouched));
    EXPECT_FALSE(effect.programNameByIndex(-1, -1, untouched));
    EXPECT_EQ(untouched[0], 'x');
}

TEST_F(FlangerEffectTest, ChunksAreTheBigEndianRecords) {
    const auto bank = chunk(false);
    ASSERT_EQ(bank.size(), 896u);
    EXPECT_EQ(bank[0], 0x3F);
    EXPECT_EQ(bank[1], 0x00);
    EXPECT_EQ(bank[2], 0x00);
    EXPECT_EQ(bank[3], 0x00);
    EXPECT_EQ(chunk(true).size(), 112u);
    // The two Delay entries one unit above 1.0 are kept as stored.
    EXPECT_EQ(host::readBigEndianWord(bank.data() + 2 * 112 + 4), 0x3F800001u);
    EXPECT_EQ(host::readBigEndianWord(bank.data() + 7 * 112 + 4), 0x3F800001u);
    // Slot 11 holds plain beats: "Wide" 15, "Space" 8/3.
    EXPECT_EQ(host::readBigEndianFloat(bank.data() + 3 * 112 + 44), 15.0f);
    EXPECT_EQ(host::readBigEndianWord(bank.data() + 6 * 112 + 44), 0x402AAAABu);
}

TEST_F(FlangerEffectTest, BytesAfterANamesTerminatorSurviveABankRoundTrip) {
    const auto before = chunk(false);
    EXPECT_EQ(std::memcmp(before.data() + 3 * 112 + 48 + 5, "\x77\x20\x20\x20", 4), 0);
    EXPECT_EQ(std::memcmp(before.data() + 6 * 112 + 48 + 6, "uiggle", 6), 0);
    EXPECT_EQ(effect.loadChunk(before.data(), 896, false), 1);
    EXPECT_EQ(chunk(false), before);
}

TEST_F(FlangerEffectTest, EditsAndNamesSurviveSwitchingAway) {
    effect.selectProgram(7);
    effect.setParameterValue(kFeedback, 0.25f);
    effect.renameProgram("Test");
    effect.selectProgram(0);
    EXPECT_FLOAT_EQ(effect.parameterValue(kFeedback), 0.5f);
    effect.selectProgram(7);
    EXPECT_FLOAT_EQ(effect.parameterValue(kFeedback), 0.25f);
    EXPECT_EQ(name(), "Test");
    effect.renameProgram(std::string(100, 'n').c_str());
    EXPECT_EQ(name().size(), 63u);
}

TEST_F(FlangerEffectTest, DisplayTexts) {
    EXPECT_EQ(text(kDelay), "50.0");
    EXPECT_EQ(text(kSwitch), "off");
    effect.flangerParameters()->setPlain(kSyncBeat, 14.0f);
    EXPECT_EQ(text(kSyncBeat), "1/4 D");
    effect.flangerParameters()->setPlain(kSyncBeat, 99.0f);  // out of the note table: clamped
    EXPECT_EQ(text(kSyncBeat), "1/32 D");
    effect.flangerParameters()->setPlain(kSwitch, 1.0f);
    EXPECT_EQ(text(kSwitch), "on");
    EXPECT_EQ(text(kMix), "50.0");
    EXPECT_EQ(text(99), "");
}

TEST_F(FlangerEffectTest, TextEntryReadsNumbersAndNoteNames) {
    EXPECT_TRUE(enter(kDelay, "2,5"));
    EXPECT_EQ(plain(kDelay), 2.5f);
    EXPECT_TRUE(enter(kSyncBeat, "1/8 T"));
    EXPECT_EQ(plain(kSyncBeat), 9.0f);
    EXPECT_FLOAT_EQ(plain(kBeatsPerCycle), 1.0f / 3.0f);
    EXPECT_FALSE(enter(kSyncBeat, "1/9"));  // no such note: refused, nothing changes
    EXPECT_EQ(plain(kSyncBeat), 9.0f);
    EXPECT_TRUE(enter(kSyncBeat, "1/8d"));
    EXPECT_EQ(text(kSyncBeat), "1/8 D");
    EXPECT_FLOAT_EQ(plain(kBeatsPerCycle), 0.75f);
    EXPECT_TRUE(enter(kSyncBeat, " 1/16 t "));
    EXPECT_EQ(text(kSyncBeat), "1/16 T");
    EXPECT_TRUE(enter(kSyncBeat, "3.4"));  // the index as a number, to the nearest note
    EXPECT_EQ(text(kSyncBeat), "1/8");
    EXPECT_TRUE(enter(kTmpSync, "3"));
    EXPECT_EQ(plain(kTmpSync), 3.0f);
    EXPECT_FLOAT_EQ(plain(kBeatsPerCycle), 1.5f);
    EXPECT_TRUE(enter(kTmpSync, "2.6 X"));
    EXPECT_EQ(plain(kTmpSync), 3.0f);
    EXPECT_TRUE(enter(kRate, "2,5 Hz"));
    EXPECT_EQ(plain(kRate), 2.5f);
    EXPECT_TRUE(enter(kDelay, "7.5ms"));
    EXPECT_EQ(plain(kDelay), 7.5f);
    const std::pair<const char*, float> switchWords[] = {{"on", 1.0f}, {"off", 0.0f},  {"YES", 1.0f},
                                                         {"no", 0.0f}, {"True", 1.0f}, {"false", 0.0f},
                                                         {"1", 1.0f},  {"0", 0.0f}};
    for (const auto& [word, on] : switchWords) {
        EXPECT_TRUE(enter(kSwitch, word)) << word;
        EXPECT_EQ(plain(kSwitch), on) << word;
    }
    EXPECT_TRUE(enter(kSwitch, "0.5"));  // whole steps only: the engine must agree with "on"
    EXPECT_EQ(plain(kSwitch), 1.0f);
    EXPECT_EQ(text(kSwitch), "on");
    EXPECT_TRUE(enter(kFeedback, "  70 %"));
    EXPECT_EQ(plain(kFeedback), 70.0f);
    EXPECT_TRUE(enter(kFeedback, "60%"));
    EXPECT_EQ(plain(kFeedback), 60.0f);
    // Text that does not read leaves the value as it was, so a typo cannot mute the track.
    for (const char* junk : {"abc", "", "  ", "12abc", "50 Hz", "50 %%", "1/8 T", "maybe"}) {
        EXPECT_FALSE(enter(kOutput, junk)) << junk;
        EXPECT_EQ(plain(kOutput), 100.0f) << junk;
    }
    EXPECT_FALSE(enter(kSwitch, "o n"));
    EXPECT_EQ(plain(kSwitch), 1.0f);
}

TEST_F(FlangerEffectTest, TextEntryIsHeldToEachRange) {
    EXPECT_TRUE(enter(kFeedback, "-50"));
    EXPECT_EQ(plain(kFeedback), 0.0f);
    EXPECT_TRUE(enter(kRate, "1e9"));
    EXPECT_EQ(plain(kRate), 5.0f);
    EXPECT_TRUE(enter(kTmpSync, "0"));
    EXPECT_EQ(plain(kTmpSync), 1.0f);
    EXPECT_GT(plain(kBeatsPerCycle), 0.0f);
    EXPECT_TRUE(enter(kDelay, "0"));
    EXPECT_FLOAT_EQ(plain(kDelay), 0.001f);
    EXPECT_FALSE(enter(kMix, "1e999"));
    EXPECT_EQ(plain(kMix), 50.0f);  // infinite: refused
    for (const char* junk : {"nan", "inf", "-inf", "NaN"}) {
        EXPECT_FALSE(enter(kMix, junk));
        EXPECT_EQ(plain(kMix), 50.0f) << junk;
    }
    EXPECT_TRUE(effect.textToParameter(kMix, nullptr));
    EXPECT_FALSE(enter(11, "5"));
    EXPECT_FALSE(enter(-1, "5"));
}

TEST_F(FlangerEffectTest, NumbersIgnoreTheProcessLocale) {
    const testing::CommaLocale comma;
    if (!comma.selected()) GTEST_SKIP() << "no locale with a decimal comma can be made here";
    ASSERT_STREQ(std::localeconv()->decimal_point, ",");
    EXPECT_TRUE(enter(kDelay, "2.5"));
    EXPECT_EQ(plain(kDelay), 2.5f);
    EXPECT_EQ(text(kDelay), "2.5");
    EXPECT_TRUE(enter(kDelay, "7,25"));
    EXPECT_EQ(plain(kDelay), 7.25f);
}

TEST_F(FlangerEffectTest, SyncBookkeepingAndWhatTheEditorIsTold) {
    auto* editor = new WatchingEditor(&effect);
    effect.attachEditor(editor);
    effect.setParameterValue(kSwitch, 1.0f);
    editor->changes.clear();
    effect.setParameterValue(kRate, 0.8f);
    EXPECT_FLOAT_EQ(plain(kRate), 4.0f);
    EXPECT_TRUE(editor->changes.empty());  // the knob shows SyncBeat now
    effect.setParameterValue(kTmpSync, 2.0f / 9.0f);
    EXPECT_EQ(plain(kTmpSync), 3.0f);
    effect.setParameterValue(kSyncBeat, 2.0f / 17.0f);
    EXPECT_EQ(plain(kSyncBeat), 2.0f);
    EXPECT_EQ(plain(kBeatsPerCycle), 3.0f);
    EXPECT_EQ(editor->changes.size(), 2u);
    effect.setParameterValue(kBeatsPerCycle, 2.5f);
    EXPECT_EQ(plain(kBeatsPerCycle), 2.5f);
    // Host values that are no value, or outside 0 … 1, do not reach the table as they are.
    effect.setParameterValue(kFeedback, NAN);
    EXPECT_FLOAT_EQ(effect.parameterValue(kFeedback), 0.5f);
    effect.setParameterValue(kFeedback, 7.0f);
    EXPECT_EQ(effect.parameterValue(kFeedback), 1.0f);
    effect.setParameterValue(kFeedback, -1e30f);
    EXPECT_EQ(effect.parameterValue(kFeedback), 0.0f);
    effect.setParameterValue(kBeatsPerCycle, 0.0f);
    EXPECT_GT(plain(kBeatsPerCycle), 0.0f);
    effect.setParameterValue(12, 0.5f);
    effect.setParameterValue(-3, 0.5f);
}

TEST_F(FlangerEffectTest, WheelTurnsReachTheEditorOnlyWithTheRightKey) {
    EXPECT_EQ(effect.vendorMessage(0x73744341, 0x57686565, nullptr, 1.0f), 0);  // no editor yet
    auto* editor = new WatchingEditor(&effect);
    effect.attachEditor(editor);
    EXPECT_EQ(effect.vendorMessage(0x73744341, 0x57686565, nullptr, 1.0f), 1);
    EXPECT_EQ(editor->wheelDistance, 1.0f);
    EXPECT_EQ(effect.vendorMessage(0x73744342, 0x57686565, nullptr, 2.0f), 0);
    EXPECT_EQ(effect.vendorMessage(0x73744341, 0, nullptr, 2.0f), 0);
    EXPECT_EQ(editor->wheelDistance, 1.0f);
}

TEST_F(FlangerEffectTest, TheHostsScaleFactorReachesTheEditorWhenItIsOne) {
    constexpr int32_t kScale = 0x50726553;    // 'PreS'
    constexpr intptr_t kFactor = 0x41654373;  // 'AeCs'
    char capability[] = "supportsViewDpiScaling";
    EXPECT_EQ(effect.dispatch(vst::effCanDo, 0, 0, capability, 0.0f), 0);  // nothing to scale yet
    EXPECT_EQ(effect.vendorMessage(kScale, kFactor, nullptr, 2.0f), 0);
    auto* editor = new WatchingEditor(&effect);
    effect.attachEditor(editor);
    EXPECT_EQ(effect.dispatch(vst::effCanDo, 0, 0, capability, 0.0f), 1);
    char longer[] = "supportsViewDpiScalingToo";
    EXPECT_EQ(effect.dispatch(vst::effCanDo, 0, 0, longer, 0.0f), 0);

    EXPECT_EQ(effect.dispatch(vst::effVendorSpecific, kScale, kFactor, nullptr, 1.5f), 1);
    EXPECT_EQ(editor->hostScale, 150);
    EXPECT_EQ(effect.vendorMessage(kScale, kFactor, nullptr, 175.0f), 1);  // sent as percent
    EXPECT_EQ(editor->hostScale, 175);
    // Factors no display has leave the scale as it was.
    for (float untrusted : {0.0f, 0.5f, -2.0f, 9.0f, NAN, INFINITY}) {
        EXPECT_EQ(effect.vendorMessage(kScale, kFactor, nullptr, untrusted), 0) << untrusted;
        EXPECT_EQ(editor->hostScale, 175);
    }
    EXPECT_EQ(effect.vendorMessage(kScale, 0, nullptr, 2.0f), 0);
    EXPECT_EQ(editor->hostScale, 175);
    // The wheel still arrives under its own key.
    EXPECT_EQ(effect.vendorMessage(0x73744341, 0x57686565, nullptr, 1.0f), 1);
}

TEST_F(FlangerEffectTest, ConfigurationFollowsPinsAndArrangements) {
    host.inputPinAnswers[0] = 0;
    host.inputPinAnswers[1] = 1;
    EXPECT_EQ(effect.connectedInputCount(), 1);
    host.inputPinAnswers[1] = 0;
    EXPECT_EQ(effect.connectedInputCount(), 2);
    effect.resume();
    EXPECT_FALSE(effect.configurationChanged());
    vst::VstSpeakerArrangement mono{0, 1};
    EXPECT_TRUE(effect.applySpeakerArrangement(&mono, &mono));
    EXPECT_EQ(effect.inputsInUse(), 1);
    EXPECT_EQ(effect.outputsInUse(), 1);
    EXPECT_TRUE(effect.configurationChanged());
    EXPECT_FALSE(effect.applySpeakerArrangement(&mono, nullptr));
    vst::VstSpeakerArrangement many{0, 64};
    EXPECT_TRUE(effect.applySpeakerArrangement(&many, &many));
    EXPECT_EQ(effect.outputsInUse(), 2);  // never more than the host's arrays hold
}

class LegacyChunkTest : public FlangerEffectTest {
protected:
    std::vector<unsigned char> legacyRecord(float syncValue) {
        std::vector<unsigned char> record(104, 0);
        const float values[10] = {0.3f, 0.4f, 0.6f, 0.7f, 0.8f, 0.9f, syncValue, 0.25f, 1.0f / 9.0f, 2.0f};
        for (int i = 0; i < 10; ++i) host::writeBigEndianFloat(record.data() + 4 * i, values[i]);
        std::memcpy(record.data() + 40, "Old one", 8);
        return record;
    }
};

TEST_F(LegacyChunkTest, OldRecordsAreConvertedFieldByField) {
    auto record = legacyRecord(0.0f);
    EXPECT_EQ(effect.loadChunk(record.data(), 104, true), 1);
    EXPECT_EQ(plain(kSwitch), 0.0f);
    EXPECT_FLOAT_EQ(effect.parameterValue(kFeedback), 0.8f);
    EXPECT_FLOAT_EQ(effect.parameterValue(kMix), 0.3f);
    EXPECT_FLOAT_EQ(effect.parameterValue(kRate), 0.7f);
    EXPECT_EQ(effect.parameterValue(kOutput), 1.0f);
    EXPECT_EQ(plain(kBeatsPerCycle), 2.0f);
    EXPECT_EQ(name(), "Old one");
    record = legacyRecord(10.0f / 21.0f);
    EXPECT_EQ(effect.loadChunk(record.data(), 104, true), 1);
    EXPECT_EQ(plain(kSwitch), 1.0f);
    EXPECT_EQ(plain(kSyncBeat), 7.0f);
    std::vector<unsigned char> bank;
    for (int i = 0; i < 8; ++i) {
        auto r = legacyRecord(static_cast<float>(i) / 21.0f);  // 0 and 1/21 fold below the table
        bank.insert(bank.end(), r.begin(), r.end());
    }
    EXPECT_EQ(effect.loadChunk(bank.data(), 832, false), 1);
    EXPECT_GE(plain(kSyncBeat), 0.0f);
}

TEST_F(FlangerEffectTest, ChunksOfAnyOtherSizeChangeNothing) {
    const auto before = chunk(false);
    std::vector<unsigned char> junk(2000, 0x7F);
    for (int32_t size : {0, 1, 103, 105, 111, 113, 831, 833, 895, 897, 1792, -1}) {
        EXPECT_EQ(effect.loadChunk(junk.data(), size, false), 0) << size;
        EXPECT_EQ(effect.loadChunk(junk.data(), size, true), 0) << size;
    }
    EXPECT_EQ(effect.loadChunk(nullptr, 896, false), 0);
    EXPECT_EQ(effect.loadChunk(junk.data(), 896, true), 0);  // a bank is no program
    EXPECT_EQ(chunk(false), before);
}

TEST_F(FlangerEffectTest, HostileChunkValuesAreSanitised) {
    std::vector<unsigned char> record(112, 0xFF);  // every float a NaN, the name unterminated
    host::writeBigEndianFloat(record.data() + 4 * kDelay, 1e30f);
    host::writeBigEndianFloat(record.data() + 4 * kDepth, -INFINITY);
    host::writeBigEndianFloat(record.data() + 44, 0.0f);
    EXPECT_EQ(effect.loadChunk(record.data(), 112, true), 1);
    for (int32_t i = 0; i < kHostParameterCount; ++i) {
        const float v = effect.parameterValue(i);
        EXPECT_TRUE(v >= 0.0f && v <= 1.0f) << i;
    }
    EXPECT_EQ(effect.parameterValue(kDelay), 1.0f);
    EXPECT_EQ(effect.parameterValue(kDepth), 0.0f);
    EXPECT_FLOAT_EQ(plain(kFeedback), 50.0f);  // NaN: the default
    EXPECT_GT(plain(kBeatsPerCycle), 0.0f);
    EXPECT_EQ(name().size(), 63u);
}

}  // namespace
}  // namespace flanger::effect
