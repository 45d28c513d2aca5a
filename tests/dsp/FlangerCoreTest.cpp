// The flanger core: routines, mix and output ramps, clamps, width, flush, and each routine
// against the literal model.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "dsp/FlangerCore.h"
#include "tests/dsp/LiteralReference.h"
#include "tests/support/TestSignals.h"

namespace flanger::dsp {
namespace {

// Runs a core over channel buffers of one length.
struct Buffers {
    explicit Buffers(int n, float value = 0.0f)
        : left(static_cast<size_t>(n), value), right(static_cast<size_t>(n), value) {}
    std::vector<float> left, right;
    float* pointers[2] = {nullptr, nullptr};
    float** get() {
        pointers[0] = left.data();
        pointers[1] = right.data();
        return pointers;
    }
};

class FlangerCoreTest : public ::testing::Test {
protected:
    FlangerCore core{2, 44100, 2, 512};
};

TEST_F(FlangerCoreTest, ConstructionSettings) {
    EXPECT_EQ(core.routine(), FlangerCore::Routine::Stereo);
    EXPECT_EQ(core.feedbackGain(), 0.3f);
    EXPECT_EQ(core.left().delaySpan(), 265);  // setDelay(0.2): 10 ms, clamped to the circle
    EXPECT_EQ(core.wet().targetValue(), 0.5f);
    EXPECT_EQ(core.wet().value(), 0.0f);  // every ramp starts at 0
    EXPECT_EQ(core.output().value(), 0.0f);
    EXPECT_EQ(core.stereoWidth().factor(), 2.0f);
}

TEST(FlangerCoreRoutines, ChosenFromTheChannelCounts) {
    EXPECT_EQ(FlangerCore(1, 44100, 1, 64).routine(), FlangerCore::Routine::Mono);
    EXPECT_EQ(FlangerCore(1, 44100, 2, 64).routine(), FlangerCore::Routine::MonoToStereo);
    EXPECT_EQ(FlangerCore(2, 44100, 2, 64).routine(), FlangerCore::Routine::Stereo);
    EXPECT_EQ(FlangerCore(2, 44100, 1, 64).routine(), FlangerCore::Routine::Stereo);
    EXPECT_EQ(FlangerCore(0, 44100, 2, 64).routine(), FlangerCore::Routine::Stereo);
    // One input with neither one nor two outputs falls back to the mono routine.
    EXPECT_EQ(FlangerCore(1, 44100, 0, 64).routine(), FlangerCore::Routine::Mono);
    EXPECT_EQ(FlangerCore(1, 44100, 3, 64).routine(), FlangerCore::Routine::MonoToStereo);
}

TEST_F(FlangerCoreTest, FeedbackIsClampedToZeroToPoint9) {
    core.setFeedback(1.0f);
    EXPECT_EQ(core.feedbackGain(), 0.9f);
    core.setFeedback(-0.5f);
    EXPECT_EQ(core.feedbackGain(), 0.0f);
    core.setFeedback(NAN);
    EXPECT_EQ(core.feedbackGain(), 0.0f);
    core.setFeedback(0.42f);
    EXPECT_EQ(core.feedbackGain(), 0.42f);
}

TEST_F(FlangerCoreTest, DepthIsClampedAndTheRightLineSweepsDeeper) {
    core.setDepth(0.95f);
    EXPECT_EQ(core.left().sweepDepth(), 0.9f);
    EXPECT_EQ(core.right().sweepDepth(), 0.9f * 1.1f);
    EXPECT_NEAR(core.right().sweepDepth(), 0.99f, 1e-6f);
    core.setDepth(0.5f);
    EXPECT_EQ(core.left().sweepDepth(), 0.5f);
    EXPECT_EQ(core.right().sweepDepth(), 0.55f);
    core.setDepth(-1.0f);
    EXPECT_EQ(core.left().sweepDepth(), 0.0f);
    core.setDepth(NAN);
    EXPECT_EQ(core.right().sweepDepth(), 0.0f);
}

TEST_F(FlangerCoreTest, FirstBlockAfterSetOutputIsSilentThenGainRisesToOne) {
    core.setMix(0.0f);  // dry only, so the output shows the gain
    core.setOutput(1.0f);
    Buffers in(512, 1.0f), out(512, 9.0f);
    core.process(in.get(), out.get(), 512, false);
    for (int i = 0; i < 512; ++i) EXPECT_EQ(out.left[i], 0.0f);
    EXPECT_EQ(core.output().value(), 0.005f);  // one tick taken by the test
    core.process(in.get(), out.get(), 512, false);
    EXPECT_TRUE(core.output().settled());
    EXPECT_EQ(core.output().stepsTaken(), 200);
    reference::Ramp literal;
    literal.setTarget(1.0f);
    for (int i = 0; i < 200; ++i) literal.tick();
    EXPECT_EQ(core.output().value(), literal.current);
    EXPECT_NEAR(core.output().value(), 1.0f, 1e-5f);
}

TEST_F(FlangerCoreTest, OutputAtOrBelowThresholdDeliversExactZeros) {
    core.setOutput(0.004f);
    Buffers in(512, 1.0f), out(512, 3.0f);
    for (int block = 0; block < 3; ++block) {
        core.process(in.get(), out.get(), 512, false);
        for (int i = 0; i < 512; ++i) ASSERT_EQ(out.left[i], 0.0f);
    }
    Buffers added(512, 3.0f);
    core.process(in.get(), added.get(), 512, true);
    EXPECT_EQ(added.right[100], 3.0f);
}

TEST_F(FlangerCoreTest, MixZeroDeliversTheDrySignalTimesTheGainAndSkipsTheWidth) {
    core.setMix(0.0f);
    core.setOutput(0.5f);
    core.setWidth(0.0f);  // would fold to mono if it ran
    testing::Noise noise(1);
    Buffers in(512), out(512);
    for (int block = 0; block < 4; ++block) {
        in.left = noise.block(512);
        in.right = noise.block(512);
        core.process(in.get(), out.get(), 512, false);
    }
    ASSERT_TRUE(core.dry().settled());
    EXPECT_EQ(core.wet().value(), 0.0f);
    const float d = core.dry().value();  // 200 steps of 0.005 in single precision
    EXPECT_NEAR(d, 1.0f, 1e-5f);
    const float g = core.output().value();
    EXPECT_NEAR(g, 0.5f, 1e-5f);
    for (int i = 0; i < 512; ++i) {
        EXPECT_EQ(out.left[i], (0.0f + d * in.left[i]) * g);
        EXPECT_EQ(out.right[i], (0.0f + d * in.right[i]) * g);
        EXPECT_NEAR(out.left[i], in.left[i] * 0.5f, 1e-5f);
    }
}

TEST_F(FlangerCoreTest, MixChangeRampsFiftySamplesAndSettlesNearPoint75) {
    core.setMix(0.5f);
    Buffers in(512, 0.0f), out(512);
    core.process(in.get(), out.get(), 512, false);  // wet reaches 0.5
    core.process(in.get(), out.get(), 512, false);
    core.setMix(0.7523f);
    EXPECT_EQ(core.wet().stepCount(), 50);
    core.process(in.get(), out.get(), 49, false);
    EXPECT_FALSE(core.wet().settled());
    core.process(in.get(), out.get(), 1, false);
    EXPECT_TRUE(core.wet().settled());
    EXPECT_NEAR(core.wet().value(), 0.75f, 1e-5f);
}

TEST(FlangerCoreMonoToStereo, FeedbackZeroGivesEachLineItsOwnOutput) {
    FlangerCore core(1, 44100, 2, 256);
    reference::Core literal(1, 44100, 2, 256);
    for (auto* c : {&core}) {
        c->setFeedback(0.0f);
        c->setOutput(1.0f);
        c->setMix(0.5f);
    }
    literal.setFeedback(0.0f);
    literal.setOutput(1.0f);
    literal.setMix(0.5f);
    testing::Noise noise(6);
    for (int block = 0; block < 20; ++block) {
        Buffers in(256), out(256), expected(256);
        in.left = noise.block(256);
        core.process(in.get(), out.get(), 256, false);
        literal.process(in.get(), expected.get(), 256, false);
        for (int i = 0; i < 256; ++i) {
            ASSERT_EQ(out.left[i], expected.left[i]);
            ASSERT_EQ(out.right[i], expected.right[i]);
        }
    }
}

TEST(FlangerCoreMonoToStereo, CrossCouplingFeedsEachLineFromTheOther) {
    // An impulse, feedback 0.5, no sweep depth and span 1 (D = 1.5 on both lines).
    FlangerCore core(1, 44100, 2, 64);
    core.setFeedback(0.5f);
    core.setDepth(0.0f);
    core.setDelay(0.0f);
    Buffers in(3), out(3);
    in.left[0] = 1.0f;
    core.process(in.get(), out.get(), 3, false);
    // Sample 0 sets both states to the input; sample 1 writes them into the lines; sample 2
    // reads them back at half level (between the impulse and the silence before it) and
    // couples them: each line feeds the other at full level and itself at ±0.2.
    const double newest = 1.0f + 1e-30f;
    const double older = 1e-30f;
    const float y = static_cast<float>(newest + (older - newest) * 0.5);
    EXPECT_EQ(core.leftState(), (0.2f * y + y) * 0.5f + 0.0f);
    EXPECT_EQ(core.rightState(), (y - 0.2f * y) * 0.5f + 0.0f);
    EXPECT_NEAR(core.leftState(), 0.3f, 1e-6f);
    EXPECT_NEAR(core.rightState(), 0.2f, 1e-6f);
}

TEST(FlangerCoreFlush, StatesBelowOneSixtyThousandthAreStoredAsZero) {
    FlangerCore core(1, 44100, 1, 64);
    core.setFeedback(0.0f);
    Buffers in(64, 1.0f / 70000.0f), out(64);
    core.process(in.get(), out.get(), 64, false);
    EXPECT_EQ(core.leftState(), 0.0f);
    in.left.assign(64, 1.0f / 50000.0f);
    core.process(in.get(), out.get(), 64, false);
    EXPECT_EQ(core.leftState(), 1.0f / 50000.0f);
}

TEST(FlangerCoreWidth, FactorsZeroOneAndTwo) {
    StereoWidth width;
    float l[1], r[1];
    float* io[2] = {l, r};
    width.setWidth(0.0f);  // W = 0: both (L + R) / 2
    l[0] = 0.8f, r[0] = 0.2f;
    width.process(io, 1);
    EXPECT_NEAR(l[0], 0.5f, 1e-6f);
    EXPECT_NEAR(r[0], 0.5f, 1e-6f);
    width.setWidth(0.5f);  // W = 1: unchanged up to rounding
    l[0] = 0.8f, r[0] = 0.2f;
    width.process(io, 1);
    EXPECT_NEAR(l[0], 0.8f, 1e-6f);
    EXPECT_NEAR(r[0], 0.2f, 1e-6f);
    width.setWidth(1.0f);  // W = 2: (3L - R) / 2 and (3R - L) / 2
    EXPECT_EQ(width.factor(), 2.0f);
    l[0] = 0.8f, r[0] = 0.2f;
    width.process(io, 1);
    EXPECT_NEAR(l[0], (3.0f * 0.8f - 0.2f) / 2.0f, 1e-6f);
    EXPECT_NEAR(r[0], (3.0f * 0.2f - 0.8f) / 2.0f, 1e-6f);
    width.setWidth(NAN);
    EXPECT_EQ(width.factor(), 2.0f);
}

TEST(FlangerCoreChannels, TwoInOneOutWritesOnlyTheOneOutput) {
    FlangerCore core(2, 44100, 1, 64);
    core.setOutput(1.0f);
    Buffers in(64, 0.5f);
    std::vector<float> left(64, 0.0f);
    float* out[1] = {left.data()};
    for (int i = 0; i < 4; ++i) core.process(in.get(), out, 64, false);
    EXPECT_NE(left[63], 0.0f);
}

TEST(FlangerCoreChannels, RunsLongerThanTheBlockAreTakenInPieces) {
    FlangerCore core(1, 44100, 1, 100);
    FlangerCore twin(1, 44100, 1, 100);
    core.setOutput(1.0f);
    twin.setOutput(1.0f);
    testing::Noise noise(12);
    std::vector<float> x = noise.block(300), a(300), b(300);
    float* in[1] = {x.data()};
    float* outA[1] = {a.data()};
    core.process(in, outA, 300, false);
    for (int start = 0; start < 300; start += 100) {
        float* inB[1] = {x.data() + start};
        float* outB[1] = {b.data() + start};
        twin.process(inB, outB, 100, false);
    }
    EXPECT_EQ(a, b);
}

struct CoreCase {
    int inputs;
    int outputs;
    int rate;
};

class CoreAgainstReference : public ::testing::TestWithParam<CoreCase> {};

TEST_P(CoreAgainstReference, EveryRoutineMatchesTheLiteralModel) {
    const CoreCase c = GetParam();
    FlangerCore core(c.inputs, c.rate, c.outputs, 300);
    reference::Core literal(c.inputs, c.rate, c.outputs, 300);
    testing::Noise noise(21), settings(22);
    for (int round = 0; round < 120; ++round) {
        if (round % 10 == 0) {
            const float f = settings.uniform() * 0.5f + 0.5f;
            const float m = settings.uniform() * 0.5f + 0.5f;
            const float d = settings.uniform() * 0.5f + 0.5f;
            const float r = settings.uniform() * 0.5f + 0.5f;
            const float s = settings.uniform() * 0.5f + 0.5f;
            const float w = settings.uniform() + 1.0f;
            const float g = round == 60 ? 0.0f : settings.uniform() * 0.5f + 0.75f;
            core.setFeedback(f), literal.setFeedback(f);
            core.setMix(m), literal.setMix(m);
            core.setDepth(d), literal.setDepth(d);
            core.setDelay(d * 0.1f), literal.setDelay(d * 0.1f);
            core.setSweepRate(r), literal.setSweepRate(r);
            core.setSymmetry(s), literal.setSymmetry(s);
            core.setWidth(w), literal.setWidth(w);
            core.setOutput(g), literal.setOutput(g);
        }
        const int n = 1 + (round * 37) % 300;
        Buffers in(n), out(n, 0.125f), expected(n, 0.125f);
        in.left = noise.block(n);
        in.right = noise.block(n);
        const bool accumulate = round % 3 == 0;
        core.process(in.get(), out.get(), n, accumulate);
        literal.process(in.get(), expected.get(), n, accumulate);
        for (int i = 0; i < n; ++i) {
            ASSERT_NEAR(out.left[i], expected.left[i], 1e-6) << round << " " << i;
            ASSERT_NEAR(out.right[i], expected.right[i], 1e-6) << round << " " << i;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Routines, CoreAgainstReference,
                         ::testing::Values(CoreCase{1, 1, 44100}, CoreCase{1, 2, 44100},
                                           CoreCase{2, 2, 44100}, CoreCase{2, 2, 96000},
                                           CoreCase{1, 2, 192000}, CoreCase{2, 1, 48000}));

}  // namespace
}  // namespace flanger::dsp
