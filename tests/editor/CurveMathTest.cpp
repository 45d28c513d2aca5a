// The modulation curves' arithmetic: cycles by rate and by note (all 18), columns per cycle, the
// rise and fall within each cycle, the comb factor and colour, and inputs a table may hold that
// the formulas cannot take (NaN, infinities, out of range, no width or height, short buffers).
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "editor/CurveMath.h"
#include "editor/ModulationDisplay.h"
#include "params/FlangerParameters.h"
#include "params/NoteTable.h"

namespace flanger::editor {
namespace {

constexpr int kWidth = 196;
constexpr int kHeight = 74;
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

CurveParameters freeRate(float rate, float depth = 100.0f, float shape = 0.0f) {
    CurveParameters p;
    p.rate = rate;
    p.depth = depth;
    p.shapeSync = shape;
    return p;
}

std::vector<float> sweepColumns(const CurveParameters& p) {
    std::vector<float> out;
    for (int x = 0; x < kWidth - 1; ++x) out.push_back(sweepCurveAt(p, kWidth, kHeight, x));
    return out;
}

TEST(SweepCycles, FreeModeShowsTheWholeHertzPlusOne) {
    EXPECT_EQ(sweepCycles(freeRate(0.0f)), 1);
    EXPECT_EQ(sweepCycles(freeRate(0.99f)), 1);
    EXPECT_EQ(sweepCycles(freeRate(1.0f)), 2);
    EXPECT_EQ(sweepCycles(freeRate(2.7f)), 3);
    EXPECT_EQ(sweepCycles(freeRate(5.0f)), 6);
    CurveParameters halfOn = freeRate(2.7f);
    halfOn.switchValue = 0.99f;  // trunc(Switch) decides
    EXPECT_EQ(sweepCycles(halfOn), 3);
}

TEST(SweepCycles, ColumnsPerCycleAreOneFewerForOneAndTwoCycles) {
    EXPECT_EQ(sweepCycleColumns(kWidth, 1), 194);
    EXPECT_EQ(sweepCycleColumns(kWidth, 2), 96);
    EXPECT_EQ(sweepCycleColumns(kWidth, 3), 64);
    EXPECT_EQ(sweepCycleColumns(kWidth, 6), 32);  // 32.67 − 0.5, in floating point
    EXPECT_EQ(sweepCycleColumns(kWidth, 18), 10);
    EXPECT_EQ(sweepCycleColumns(0, 1), 0);
    EXPECT_EQ(sweepCycleColumns(1, 1), 0);
    EXPECT_EQ(sweepCycleColumns(kWidth, 0), 194);
}

struct NoteCase {
    int syncBeat;
    const char* name;
    int cycles;
};

std::ostream& operator<<(std::ostream& out, const NoteCase& c) {
    return out << c.name;
}

class SyncCycles : public ::testing::TestWithParam<NoteCase> {};

TEST_P(SyncCycles, FollowTheNotesRankFromLongestToShortest) {
    const NoteCase& c = GetParam();
    ASSERT_STREQ(params::noteNames[c.syncBeat], c.name);
    CurveParameters p;
    p.switchValue = 1.0f;
    p.syncBeat = static_cast<float>(c.syncBeat);
    p.depth = 100.0f;
    EXPECT_EQ(sweepCycles(p), c.cycles);
    // Every cycle starts at 0 on its boundary column and none starts past the last one.
    const int w = sweepCycleColumns(kWidth, c.cycles);
    for (int j = 0; j <= c.cycles; ++j) EXPECT_EQ(sweepCurveAt(p, kWidth, kHeight, j * w), 0.0f) << j;
    EXPECT_GT(sweepCurveAt(p, kWidth, kHeight, 1), 0.0f);
    for (int x = c.cycles * w + 1; x < kWidth; ++x) EXPECT_EQ(sweepCurveAt(p, kWidth, kHeight, x), 0.0f) << x;
}

INSTANTIATE_TEST_SUITE_P(
    AllNotes, SyncCycles,
    ::testing::Values(NoteCase{12, "1/1 D", 1}, NoteCase{0, "1/1", 2}, NoteCase{13, "1/2 D", 3},
                      NoteCase{6, "1/1 T", 4}, NoteCase{1, "1/2", 5}, NoteCase{14, "1/4 D", 6},
                      NoteCase{7, "1/2 T", 7}, NoteCase{2, "1/4", 8}, NoteCase{15, "1/8 D", 9},
                      NoteCase{8, "1/4 T", 10}, NoteCase{3, "1/8", 11}, NoteCase{16, "1/16 D", 12},
                      NoteCase{9, "1/8 T", 13}, NoteCase{4, "1/16", 14}, NoteCase{17, "1/32 D", 15},
                      NoteCase{10, "1/16 T", 16}, NoteCase{5, "1/32", 17}, NoteCase{11, "1/32 T", 18}));

TEST(SyncCycles, NoteIndexOutsideTheTableIsGuarded) {
    CurveParameters p;
    p.switchValue = 1.0f;
    p.syncBeat = 17.9f;  // "1/32 D"
    EXPECT_EQ(sweepCycles(p), 15);
    p.syncBeat = 400.0f;  // clamped to the last note
    EXPECT_EQ(sweepCycles(p), 15);
    p.syncBeat = -3.0f;  // the first note, "1/1"
    EXPECT_EQ(sweepCycles(p), 2);
    p.syncBeat = kNaN;
    EXPECT_EQ(sweepCycles(p), 2);
}

TEST(SweepCurve, RateTwoPointSevenGivesThreeCyclesOfSixtyFourColumns) {
    const std::vector<float> curve = sweepColumns(freeRate(2.7f, 100.0f, 8.0f));
    // r = trunc(64 × 8 ÷ 16) = 32: the peak half-way through each cycle.
    for (int j = 0; j < 3; ++j) {
        EXPECT_EQ(curve[static_cast<std::size_t>(j * 64)], 0.0f) << j;
        EXPECT_FLOAT_EQ(curve[static_cast<std::size_t>(j * 64 + 32)], 1.0f) << j;
        EXPECT_FLOAT_EQ(curve[static_cast<std::size_t>(j * 64 + 16)], 0.5f) << j;
        EXPECT_FLOAT_EQ(curve[static_cast<std::size_t>(j * 64 + 48)], 0.5f) << j;
    }
    EXPECT_EQ(curve[192], 0.0f);
    EXPECT_EQ(curve[193], 0.0f);
    EXPECT_EQ(curve[194], 0.0f);
}

TEST(SweepCurve, ShapeZeroJumpsUpAfterEachBoundaryAndFallsToItsEnd) {
    const std::vector<float> curve = sweepColumns(freeRate(1.0f));  // n = 2, w = 96
    EXPECT_EQ(curve[0], 0.0f);
    EXPECT_FLOAT_EQ(curve[1], 95.0f / 96.0f);
    EXPECT_FLOAT_EQ(curve[48], 0.5f);
    EXPECT_EQ(curve[96], 0.0f);
    EXPECT_FLOAT_EQ(curve[97], 95.0f / 96.0f);
    EXPECT_EQ(curve[192], 0.0f);
    for (std::size_t x = 2; x < 96; ++x) EXPECT_LT(curve[x], curve[x - 1]) << x;
}

TEST(SweepCurve, ShapeSixteenRisesForTheWholeCycleToThePeakOnItsLastColumn) {
    const std::vector<float> curve = sweepColumns(freeRate(3.0f, 100.0f, 16.0f));  // n = 4, w = 48
    for (int j = 1; j <= 4; ++j) {
        EXPECT_FLOAT_EQ(curve[static_cast<std::size_t>(j * 48)], 1.0f) << j;
        EXPECT_FLOAT_EQ(curve[static_cast<std::size_t>(j * 48 - 24)], 0.5f) << j;
    }
    EXPECT_FLOAT_EQ(curve[49], 1.0f / 48.0f);  // the next cycle starts again from 0
    EXPECT_EQ(curve[193], 0.0f);
}

TEST(SweepCurve, DepthScalesThePeakAndZeroDepthIsFlat) {
    for (float x : sweepColumns(freeRate(2.0f, 0.0f, 8.0f))) EXPECT_EQ(x, 0.0f);
    const std::vector<float> half = sweepColumns(freeRate(1.0f, 50.0f, 8.0f));
    EXPECT_FLOAT_EQ(half[48], 0.5f);
}

TEST(SweepCurve, NoWidthNoHeightOrNegativeColumnsGiveZero) {
    const CurveParameters p = freeRate(1.0f);
    EXPECT_EQ(sweepCurveAt(p, 0, kHeight, 1), 0.0f);
    EXPECT_EQ(sweepCurveAt(p, kWidth, 0, 1), 0.0f);
    EXPECT_EQ(sweepCurveAt(p, -5, -5, 1), 0.0f);
    EXPECT_EQ(sweepCurveAt(p, kWidth, kHeight, -1), 0.0f);
    // Two columns: one cycle of no columns, nothing to divide by.
    for (int x = 0; x < 3; ++x) EXPECT_EQ(sweepCurveAt(p, 2, kHeight, x), 0.0f) << x;
}

TEST(SweepCurve, ValuesATableMayHoldAreTakenIntoTheirRanges) {
    const float odd[] = {kNaN, kInf, -kInf, 1e30f, -1e30f, 250.0f, -7.0f};
    for (float v : odd) {
        CurveParameters p;
        p.feedback = p.delay = p.depth = p.switchValue = p.rate = p.syncBeat = p.shapeSync = v;
        for (int x = 0; x < kWidth; ++x) {
            const float s = sweepCurveAt(p, kWidth, kHeight, x);
            EXPECT_TRUE(std::isfinite(s)) << v << " at " << x;
            EXPECT_GE(s, 0.0f) << v << " at " << x;
            EXPECT_LE(s, 1.0f) << v << " at " << x;
            EXPECT_TRUE(std::isfinite(combFactorAt(v, x))) << v;
        }
    }
    // An out-of-range depth draws as the full height, not beyond the display.
    EXPECT_FLOAT_EQ(sweepCurveAt(freeRate(1.0f, 400.0f, 8.0f), kWidth, kHeight, 48), 1.0f);
    // A rate beyond the range shows the maximum's six cycles.
    EXPECT_EQ(sweepCycles(freeRate(900.0f)), 6);
    EXPECT_EQ(sweepCycles(freeRate(kNaN)), 1);
}

TEST(CombCurve, FactorIsTheSquaredSineOfTheDelayScaledColumn) {
    EXPECT_EQ(combFactorAt(50.0f, 0), 0.0f);
    const double s = std::sin((110.0 - 50.0) * 7 / 150.0);
    EXPECT_FLOAT_EQ(combFactorAt(50.0f, 7), static_cast<float>(s * s));
    const double dense = std::sin((110.0 - static_cast<double>(0.001f)) * 7 / 150.0);
    EXPECT_FLOAT_EQ(combFactorAt(0.001f, 7), static_cast<float>(dense * dense));
    EXPECT_FLOAT_EQ(combFactorAt(-20.0f, 7),
                    static_cast<float>(dense * dense));  // below the range: its minimum
}

TEST(CombCurve, ColourRunsFromDimAtNoFeedbackToBrightAtFull) {
    EXPECT_EQ(combCurveColor(0.0f), (gui::Color{65, 137, 138, 0}));
    EXPECT_EQ(combCurveColor(100.0f), (gui::Color{145, 227, 238, 0}));
    EXPECT_EQ(combCurveColor(50.0f), (gui::Color{105, 182, 188, 0}));
    EXPECT_EQ(combCurveColor(kNaN), (gui::Color{65, 137, 138, 0}));
    EXPECT_EQ(combCurveColor(-kInf), (gui::Color{65, 137, 138, 0}));
    EXPECT_EQ(combCurveColor(1000.0f), (gui::Color{145, 227, 238, 0}));
}

TEST(ComputeCurves, CombIsTheSweepUnderTheFactorAndTheLastColumnIsZero) {
    CurveParameters p = freeRate(2.7f, 80.0f, 5.0f);
    p.delay = 33.0f;
    std::vector<float> sweep(kWidth, -1.0f), comb(kWidth, -1.0f);
    computeCurves(p, kWidth, kHeight, sweep, comb);
    for (int x = 0; x < kWidth - 1; ++x) {
        const auto i = static_cast<std::size_t>(x);
        EXPECT_EQ(sweep[i], sweepCurveAt(p, kWidth, kHeight, x)) << x;
        EXPECT_EQ(comb[i], combFactorAt(33.0f, x) * sweep[i]) << x;
    }
    EXPECT_EQ(sweep[kWidth - 1], 0.0f);
    EXPECT_EQ(comb[kWidth - 1], 0.0f);
}

TEST(ComputeCurves, WritesOnlyWhatBothBuffersHold) {
    std::vector<float> sweep(10, -1.0f), comb(kWidth + 5, -1.0f);
    computeCurves(freeRate(1.0f), kWidth, kHeight, sweep, comb);
    EXPECT_NE(sweep[9], -1.0f);
    EXPECT_NE(comb[9], -1.0f);
    EXPECT_EQ(comb[10], -1.0f);
    computeCurves(freeRate(1.0f), 0, kHeight, sweep, comb);  // no width: nothing at all
    computeCurves(freeRate(1.0f), kWidth, kHeight, {}, comb);
}

TEST(ComputeCurves, ReadsThePlainValuesFromTheParameterTable) {
    params::FlangerParameters table;
    table.setPlain(params::FlangerParameters::kFeedback, 12.0f);
    table.setPlain(params::FlangerParameters::kDelay, 3.5f);
    table.setPlain(params::FlangerParameters::kDepth, 77.0f);
    table.setPlain(params::FlangerParameters::kSwitch, 1.0f);
    table.setPlain(params::FlangerParameters::kRate, 4.0f);
    table.setPlain(params::FlangerParameters::kSyncBeat, 8.0f);
    table.setPlain(params::FlangerParameters::kShapeSync, 9.0f);
    const CurveParameters p = curveParametersFrom(table);
    EXPECT_EQ(p.feedback, 12.0f);
    EXPECT_EQ(p.delay, 3.5f);
    EXPECT_EQ(p.depth, 77.0f);
    EXPECT_EQ(p.switchValue, 1.0f);
    EXPECT_EQ(p.rate, 4.0f);
    EXPECT_EQ(p.syncBeat, 8.0f);
    EXPECT_EQ(p.shapeSync, 9.0f);
}

TEST(LoadModulationCurves, SetsTheCombColourAndLoadsBothCurvesIntoTheDisplay) {
    ModulationDisplay display({11, 41, 11 + kWidth, 41 + kHeight}, nullptr, 21, nullptr, 3);
    display.markDirty(false);
    CurveParameters p = freeRate(1.0f, 100.0f, 8.0f);
    p.feedback = 0.0f;
    std::vector<float> sweep(kWidth), comb(kWidth);
    loadModulationCurves(display, p, kWidth, kHeight, sweep, comb);
    EXPECT_EQ(display.curveColor(1), (gui::Color{65, 137, 138, 0}));
    EXPECT_EQ(display.curveColor(0), gui::colors::white);
    EXPECT_TRUE(display.needsRedraw());
    EXPECT_FLOAT_EQ(display.curveOffset(0, 48), -73.0f);
    EXPECT_FLOAT_EQ(display.curveOffset(1, 48), -73.0f * comb[48]);
    EXPECT_EQ(display.curveOffset(0, kWidth - 1), 0.0f);
}

}  // namespace
}  // namespace flanger::editor
