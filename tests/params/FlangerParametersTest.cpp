// The flanger's twelve entries and their normalisation, TEST_P over every entry.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "params/FlangerParameters.h"
#include "params/NoteTable.h"

namespace flanger::params {
namespace {

struct EntryCase {
    int index;
    const char* name;
    const char* unit;
    float defaultValue;
    float minimum;
    float maximum;
    float step;
};

std::ostream& operator<<(std::ostream& out, const EntryCase& c) {
    return out << c.index;
}

const EntryCase kEntries[] = {
    {FlangerParameters::kFeedback, "Feedback", "%", 50.0f, 0.0f, 100.0f, 1.0f},
    {FlangerParameters::kDelay, "Delay", "ms", 50.0f, 0.001f, 100.0f, 0.001f},
    {FlangerParameters::kDepth, "Depth", "%", 50.0f, 0.0f, 100.0f, 1.0f},
    {FlangerParameters::kStereo, "Stereo", "%", 50.0f, 0.0f, 100.0f, 1.0f},
    {FlangerParameters::kSwitch, "Switch", "", 0.0f, 0.0f, 1.0f, 1.0f},
    {FlangerParameters::kRate, "Rate", "Hz", 1.0f, 0.0f, 5.0f, 0.01f},
    {FlangerParameters::kSyncBeat, "SyncBeat", "beat", 0.0f, 0.0f, 17.0f, 1.0f},
    {FlangerParameters::kTmpSync, "TmpSync", "x", 1.0f, 1.0f, 10.0f, 1.0f},
    {FlangerParameters::kShapeSync, "ShapeSync", "", 0.0f, 0.0f, 16.0f, 1.0f},
    {FlangerParameters::kOutput, "Output", "%", 100.0f, 0.0f, 100.0f, 1.0f},
    {FlangerParameters::kMix, "Mix", "%", 50.0f, 0.0f, 100.0f, 1.0f},
    {FlangerParameters::kBeatsPerCycle, "", "", 1.0f, 0.083333336f, 60.0f, 0.0f},
};

class FlangerParameterEntry : public ::testing::TestWithParam<EntryCase> {
protected:
    FlangerParameters parameters;
};

TEST_P(FlangerParameterEntry, HasItsNameUnitDefaultRangeStepAndStorage) {
    const EntryCase& c = GetParam();
    EXPECT_STREQ(parameters.name(c.index), c.name);
    EXPECT_STREQ(parameters.unit(c.index), c.unit);
    EXPECT_EQ(parameters.peekPlain(c.index), c.defaultValue);
    EXPECT_EQ(parameters.defaultValue(c.index), c.defaultValue);
    EXPECT_EQ(parameters.minimum(c.index), c.minimum);
    EXPECT_EQ(parameters.maximum(c.index), c.maximum);
    EXPECT_EQ(parameters.step(c.index), c.step);
    EXPECT_EQ(parameters.storageSize(c.index), 4);
    EXPECT_FALSE(parameters.hasByteBlock(c.index));
    EXPECT_TRUE(parameters.isChanged(c.index));
    EXPECT_TRUE(parameters.notifies(c.index));
}

TEST_P(FlangerParameterEntry, NormalisedEndsGiveTheRange) {
    const EntryCase& c = GetParam();
    parameters.setNormalized(c.index, 0.0f);
    EXPECT_NEAR(parameters.peekPlain(c.index), c.minimum, 1e-6f);
    parameters.setNormalized(c.index, 1.0f);
    EXPECT_NEAR(parameters.peekPlain(c.index), c.maximum, 1e-4f);
    EXPECT_NEAR(parameters.peekNormalized(c.index), 1.0f, 1e-6f);
}

INSTANTIATE_TEST_SUITE_P(AllTwelve, FlangerParameterEntry, ::testing::ValuesIn(kEntries));

class FlangerParametersTest : public ::testing::Test {
protected:
    FlangerParameters parameters;
};

TEST_F(FlangerParametersTest, TwelveEntriesElevenForTheHostAllFlagged) {
    EXPECT_EQ(parameters.count(), 12);
    EXPECT_EQ(FlangerParameters::kHostParameterCount, 11);
    EXPECT_EQ(parameters.changedCount(), 12);
}

TEST_F(FlangerParametersTest, SwitchTurnsOnFromHalfway) {
    parameters.setNormalized(FlangerParameters::kSwitch, 0.49f);
    EXPECT_EQ(parameters.peekPlain(FlangerParameters::kSwitch), 0.0f);
    parameters.setNormalized(FlangerParameters::kSwitch, 0.5f);
    EXPECT_EQ(parameters.peekPlain(FlangerParameters::kSwitch), 1.0f);
}

TEST_F(FlangerParametersTest, DelayEndsAreHundredAndOneThousandth) {
    parameters.setNormalized(FlangerParameters::kDelay, 1.0f);
    // The single-precision steps land one unit in the last place above 100 (so the value reads
    // back normalised just above 1.0, as in saved programs); the arithmetic is what counts.
    const float steps = parameters.stepCount(FlangerParameters::kDelay);
    const float literal = std::floor(1.0f * steps + 0.5f) * 0.001f + 0.001f;
    EXPECT_EQ(parameters.peekPlain(FlangerParameters::kDelay), literal);
    EXPECT_NEAR(parameters.peekPlain(FlangerParameters::kDelay), 100.0f, 1e-5f);
    parameters.setNormalized(FlangerParameters::kDelay, 0.0f);
    EXPECT_EQ(parameters.peekPlain(FlangerParameters::kDelay), 0.001f);
    // Stored as a float: just under 99999 steps.
    EXPECT_LT(parameters.stepCount(FlangerParameters::kDelay), 99999.0f);
    EXPECT_GT(parameters.stepCount(FlangerParameters::kDelay), 99998.9f);
    EXPECT_EQ(parameters.stepCount(FlangerParameters::kRate), 500.0f);
}

TEST_F(FlangerParametersTest, BeatsPerCycleIsContinuous) {
    parameters.setNormalized(FlangerParameters::kBeatsPerCycle, 0.5f);
    EXPECT_EQ(parameters.peekPlain(FlangerParameters::kBeatsPerCycle),
              0.083333336f + (60.0f - 0.083333336f) * 0.5f);
    EXPECT_EQ(parameters.stepCount(FlangerParameters::kBeatsPerCycle), 0.0f);
}

TEST_F(FlangerParametersTest, OutputHundredNormalisesToOne) {
    EXPECT_EQ(parameters.peekNormalized(FlangerParameters::kOutput), 1.0f);
}

class SyncBeatSteps : public ::testing::TestWithParam<int> {};

TEST_P(SyncBeatSteps, EveryNoteIsReachedFromItsNormalisedValue) {
    FlangerParameters parameters;
    const int note = GetParam();
    parameters.setNormalized(FlangerParameters::kSyncBeat, static_cast<float>(note) / 17.0f);
    EXPECT_EQ(parameters.peekPlain(FlangerParameters::kSyncBeat), static_cast<float>(note));
    EXPECT_EQ(params::noteIndex(parameters.peekPlain(FlangerParameters::kSyncBeat)), note);
}

INSTANTIATE_TEST_SUITE_P(AllNotes, SyncBeatSteps, ::testing::Range(0, params::kNoteCount));

TEST_F(FlangerParametersTest, TmpSyncStepsFromOneToTen) {
    for (int m = 1; m <= 10; ++m) {
        parameters.setNormalized(FlangerParameters::kTmpSync, static_cast<float>(m - 1) / 9.0f);
        EXPECT_EQ(parameters.peekPlain(FlangerParameters::kTmpSync), static_cast<float>(m));
    }
}

}  // namespace
}  // namespace flanger::params
