// The general parameter table: normalisation, steps, changed-flag bookkeeping, byte blocks,
// bad indices, and the counters the effect and the editor share through it.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "params/ParameterTable.h"

namespace flanger::params {
namespace {

class ParameterTableTest : public ::testing::Test {
protected:
    void SetUp() override {
        table.declareParameter(0, 0.0f, -1.0f, 1.0f, 0.5f, "u", "Stepped");
        table.declareParameter(1, 2.0f, 0.0f, 10.0f, 0.0f, "Hz", "Continuous");
        table.declareParameter(2, 0.5f, 0.0f, 1.0f, 0.1f, "", "Quiet", false);
        table.declareParameter(3, 0.0f, 0.0f, 1.0f, 1.0f, "", "Block", true, 16);
    }
    ParameterTable table{4};
};

TEST_F(ParameterTableTest, DeclarationStoresTheEntry) {
    EXPECT_EQ(table.count(), 4);
    EXPECT_STREQ(table.name(1), "Continuous");
    EXPECT_STREQ(table.unit(1), "Hz");
    EXPECT_EQ(table.peekPlain(1), 2.0f);
    EXPECT_EQ(table.defaultValue(1), 2.0f);
    EXPECT_EQ(table.minimum(0), -1.0f);
    EXPECT_EQ(table.maximum(0), 1.0f);
    EXPECT_EQ(table.step(0), 0.5f);
    EXPECT_EQ(table.stepCount(0), 4.0f);
    EXPECT_EQ(table.stepCount(1), 0.0f);
    EXPECT_FALSE(table.notifies(2));
}

TEST_F(ParameterTableTest, LongTextsAreCutAt63Characters) {
    const std::string longName(100, 'n');
    table.declareParameter(1, 0.0f, 0.0f, 1.0f, 0.0f, nullptr, longName.c_str());
    EXPECT_EQ(std::strlen(table.name(1)), 63u);
    EXPECT_STREQ(table.unit(1), "");
}

TEST_F(ParameterTableTest, SteppedDenormalisationRoundsToSteps) {
    EXPECT_EQ(table.denormalize(0, 0.25f), -0.5f);
    EXPECT_EQ(table.denormalize(0, 0.5f), 0.0f);
    EXPECT_EQ(table.denormalize(0, 1.0f), 1.0f);
    EXPECT_EQ(table.denormalize(0, 0.0f), -1.0f);
    EXPECT_FALSE(std::signbit(table.denormalize(0, 0.5f)));  // a result below the step is exactly 0
}

TEST_F(ParameterTableTest, ContinuousDenormalisationIsLinear) {
    EXPECT_EQ(table.denormalize(1, 0.25f), 2.5f);
    table.setNormalized(1, 0.5f);
    EXPECT_EQ(table.peekPlain(1), 5.0f);
    EXPECT_EQ(table.peekNormalized(1), 0.5f);
}

TEST_F(ParameterTableTest, NormaliseUsesTheRange) {
    EXPECT_EQ(table.normalize(0, 0.0f), 0.5f);
    EXPECT_EQ(table.normalize(1, 10.0f), 1.0f);
    EXPECT_EQ(table.normalize(2, 0.3f), 0.3f);  // range exactly 1: scale exactly 1
}

TEST_F(ParameterTableTest, ValuesAreNotClamped) {
    table.setPlain(1, 55.0f);
    EXPECT_EQ(table.peekPlain(1), 55.0f);
    table.setPlain(1, -3.0f);
    EXPECT_EQ(table.peekPlain(1), -3.0f);
}

TEST_F(ParameterTableTest, DeclaredEntriesArriveFlaggedExceptQuietOnes) {
    EXPECT_TRUE(table.isChanged(0));
    EXPECT_TRUE(table.isChanged(1));
    EXPECT_FALSE(table.isChanged(2));
    EXPECT_EQ(table.changedCount(), 3);
}

TEST_F(ParameterTableTest, MarkingTwiceCountsOnceAndClearingAnUnflaggedEntryChangesNothing) {
    table.clearAllChanged();
    EXPECT_EQ(table.changedCount(), 0);
    table.markChanged(1);
    table.markChanged(1);
    EXPECT_EQ(table.changedCount(), 1);
    table.clearChanged(0);
    EXPECT_EQ(table.changedCount(), 1);
    table.clearChanged(1);
    table.clearChanged(1);
    EXPECT_EQ(table.changedCount(), 0);
}

TEST_F(ParameterTableTest, TakeClearsTheFlagAndPeekDoesNot) {
    table.clearAllChanged();
    table.setPlain(1, 4.0f);
    EXPECT_EQ(table.changedCount(), 1);
    EXPECT_EQ(table.peekPlain(1), 4.0f);
    EXPECT_TRUE(table.isChanged(1));
    EXPECT_EQ(table.takePlain(1), 4.0f);
    EXPECT_FALSE(table.isChanged(1));
    table.setNormalized(1, 1.0f);
    EXPECT_EQ(table.takeNormalized(1), 1.0f);
    EXPECT_EQ(table.changedCount(), 0);
}

TEST_F(ParameterTableTest, QuietEntriesNeverRaiseTheirFlag) {
    table.setPlain(2, 0.9f);
    EXPECT_FALSE(table.isChanged(2));
    EXPECT_EQ(table.takePlain(2), 0.9f);
    table.refreshAll();
    EXPECT_FALSE(table.isChanged(2));
    EXPECT_EQ(table.changedCount(), 3);
}

TEST_F(ParameterTableTest, RefreshAllFlagsEveryNotifyingEntryAgain) {
    table.clearAllChanged();
    table.refreshAll();
    EXPECT_EQ(table.changedCount(), 3);
    EXPECT_TRUE(table.isChanged(3));
}

TEST_F(ParameterTableTest, ByteBlocksAreBoundedAndFlagged) {
    EXPECT_TRUE(table.hasByteBlock(3));
    EXPECT_FALSE(table.hasByteBlock(1));
    EXPECT_EQ(table.storageSize(3), 16);
    table.clearAllChanged();
    const unsigned char data[20] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20};
    table.setBytes(3, data, 0, 0);  // length 0: the whole block
    EXPECT_TRUE(table.isChanged(3));
    unsigned char back[20] = {};
    EXPECT_EQ(table.getBytes(3, back, 0, 0), 16);
    EXPECT_EQ(std::memcmp(back, data, 16), 0);
    EXPECT_EQ(back[16], 0);
    table.setBytes(3, data, 20, 10);  // only 6 bytes fit
    EXPECT_EQ(table.getBytes(3, back, 20, 10), 6);
    EXPECT_EQ(back[0], 1);
    EXPECT_EQ(table.takeBytes(3, back, 4, 0), 4);
    EXPECT_FALSE(table.isChanged(3));
    EXPECT_EQ(table.getBytes(3, back, 4, 16), 0);
    EXPECT_EQ(table.getBytes(3, back, -1, 0), 0);
    EXPECT_EQ(table.getBytes(1, back, 4, 0), 0);  // a float entry has no block
    EXPECT_EQ(table.getBytes(3, nullptr, 4, 0), 0);
}

TEST_F(ParameterTableTest, NegativeStorageSizesReadAsZero) {
    table.declareParameter(1, 0.0f, 0.0f, 1.0f, 0.0f, "", "Odd", true, -8);
    EXPECT_EQ(table.storageSize(1), 0);
    EXPECT_TRUE(table.hasByteBlock(1));
    unsigned char byte = 0;
    EXPECT_EQ(table.getBytes(1, &byte, 1, 0), 0);
}

TEST_F(ParameterTableTest, BadIndicesAreIgnoredAndAnswerZero) {
    for (int bad : {-1, 4, 1000, -1000}) {
        table.setPlain(bad, 3.0f);
        table.setNormalized(bad, 0.5f);
        table.markChanged(bad);
        table.clearChanged(bad);
        EXPECT_EQ(table.peekPlain(bad), 0.0f);
        EXPECT_EQ(table.takePlain(bad), 0.0f);
        EXPECT_EQ(table.peekNormalized(bad), 0.0f);
        EXPECT_EQ(table.takeNormalized(bad), 0.0f);
        EXPECT_FALSE(table.isChanged(bad));
        EXPECT_EQ(table.defaultValue(bad), 0.0f);
        EXPECT_EQ(table.normalize(bad, 1.0f), 0.0f);
        EXPECT_EQ(table.denormalize(bad, 1.0f), 0.0f);
        EXPECT_STREQ(table.name(bad), "");
        EXPECT_STREQ(table.unit(bad), "");
        EXPECT_EQ(table.storageSize(bad), 0);
        EXPECT_FALSE(table.hasByteBlock(bad));
        unsigned char byte = 7;
        table.setBytes(bad, &byte, 1, 0);
        EXPECT_EQ(table.getBytes(bad, &byte, 1, 0), 0);
        EXPECT_EQ(byte, 7);
    }
    ParameterEntry stray;
    stray.index = 9;
    table.declareEntry(stray);
    EXPECT_EQ(table.changedCount(), 3);
}

TEST_F(ParameterTableTest, UndeclaredEntriesAreDefaultEntries) {
    ParameterTable fresh(3);
    EXPECT_EQ(fresh.changedCount(), 3);  // every default entry is flagged
    EXPECT_EQ(fresh.stepCount(0), 100.0f);
    EXPECT_EQ(fresh.step(0), 0.1f);
    EXPECT_EQ(fresh.maximum(0), 1.0f);
    EXPECT_EQ(fresh.denormalize(0, 0.37f), std::floor(0.37f * 100.0f + 0.5f) * 0.1f);
    ParameterTable none(-4);
    EXPECT_EQ(none.count(), 0);
}

TEST_F(ParameterTableTest, EmptyRangeNormalisesToZero) {
    table.declareParameter(1, 3.0f, 3.0f, 3.0f, 0.0f, "", "Fixed");
    EXPECT_EQ(table.normalize(1, 3.0f), 0.0f);
    EXPECT_EQ(table.denormalize(1, 0.7f), 3.0f);
}

TEST_F(ParameterTableTest, BulkLoadCountNeverGoesBelowZero) {
    EXPECT_EQ(table.bulkLoadCount(), 0);
    table.raiseBulkLoad();
    table.raiseBulkLoad();
    EXPECT_EQ(table.bulkLoadCount(), 2);
    table.lowerBulkLoad();
    table.lowerBulkLoad();
    table.lowerBulkLoad();
    EXPECT_EQ(table.bulkLoadCount(), 0);
}

TEST_F(ParameterTableTest, EditorFlagAndCounterStartTrueAndZero) {
    EXPECT_TRUE(table.editorFlag());
    EXPECT_EQ(table.editorCounter(), 0);
    table.setEditorFlag(false);
    table.setEditorCounter(5);
    EXPECT_FALSE(table.editorFlag());
    EXPECT_EQ(table.editorCounter(), 5);
}

}  // namespace
}  // namespace flanger::params
