// The note table of tempo sync: names, lengths in beats, and the index a "SyncBeat" value reads as.
#include <gtest/gtest.h>

#include <cmath>

#include "params/NoteTable.h"

namespace flanger::params {
namespace {

class NoteTableTest : public ::testing::TestWithParam<int> {};

TEST_P(NoteTableTest, EachNoteHasItsNameAndLength) {
    const int i = GetParam();
    const char* names[] = {"1/1",   "1/2",   "1/4",   "1/8",   "1/16",   "1/32",
                           "1/1 T", "1/2 T", "1/4 T", "1/8 T", "1/16 T", "1/32 T",
                           "1/1 D", "1/2 D", "1/4 D", "1/8 D", "1/16 D", "1/32 D"};
    EXPECT_STREQ(noteNames[i], names[i]);
    const float straight = 4.0f / static_cast<float>(1 << (i % 6));
    const float expected = i < 6 ? straight : (i < 12 ? straight * 2.0f / 3.0f : straight * 1.5f);
    EXPECT_NEAR(noteBeats[i], expected, 1e-6f);
    EXPECT_EQ(noteIndex(static_cast<float>(i)), i);
    EXPECT_EQ(noteIndex(static_cast<float>(i) + 0.9f), i);
}

INSTANTIATE_TEST_SUITE_P(AllEighteen, NoteTableTest, ::testing::Range(0, kNoteCount));

TEST(NoteTable, BeatsAreTheStatedFloats) {
    EXPECT_EQ(noteBeats[6], 2.6666667f);
    EXPECT_EQ(noteBeats[11], 0.083333336f);
    EXPECT_EQ(noteBeats[17], 0.1875f);
}

TEST(NoteTable, IndexIsClampedToTheTable) {
    EXPECT_EQ(noteIndex(-0.5f), 0);
    EXPECT_EQ(noteIndex(-2.0f), 0);
    EXPECT_EQ(noteIndex(17.5f), 17);
    EXPECT_EQ(noteIndex(1e30f), 17);
    EXPECT_EQ(noteIndex(INFINITY), 17);
    EXPECT_EQ(noteIndex(-INFINITY), 0);
    EXPECT_EQ(noteIndex(NAN), 0);
}

}  // namespace
}  // namespace flanger::params
