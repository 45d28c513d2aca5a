// The swept delay line: circle sizes, spans, interpolation, wrap, in place, per-line rates; and
// the fused loop of a pair of lines against the lines run alone.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "dsp/DelayPair.h"
#include "dsp/ModulatedDelay.h"
#include "tests/dsp/LiteralReference.h"
#include "tests/support/TestSignals.h"

namespace flanger::dsp {
namespace {

struct RateCase {
    int rate;
    int maxDelay;
};

class MaxDelayPerRate : public ::testing::TestWithParam<RateCase> {};

TEST_P(MaxDelayPerRate, IsSixMillisecondsRounded) {
    ModulatedDelay line;
    EXPECT_EQ(line.setSampleRate(GetParam().rate), 1);
    EXPECT_EQ(line.maxDelaySamples(), GetParam().maxDelay);
    line.setDelaySamples(1 << 20);
    EXPECT_EQ(line.delaySpan(), GetParam().maxDelay);
}

INSTANTIATE_TEST_SUITE_P(Rates, MaxDelayPerRate,
                         ::testing::Values(RateCase{44100, 265}, RateCase{48000, 288}, RateCase{96000, 576},
                                           RateCase{192000, 1152}, RateCase{384000, 2304},
                                           RateCase{768000, 4608}, RateCase{8000, 48}, RateCase{100, 1},
                                           RateCase{50, 1}, RateCase{0, 1}, RateCase{-44100, 1}));

class ModulatedDelayTest : public ::testing::Test {
protected:
    void SetUp() override { line.setSampleRate(44100); }
    ModulatedDelay line;
};

TEST_F(ModulatedDelayTest, SetSampleRateRestoresTheDefaults) {
    EXPECT_EQ(line.delaySpan(), 66);
    EXPECT_EQ(line.sweepDepth(), 0.75f);
    EXPECT_EQ(line.oscillator().frequencyHz(), 2.5f);  // rate 0.5
    EXPECT_EQ(line.writePosition(), 0);
}

TEST_F(ModulatedDelayTest, TenMillisecondsAreClampedToTheCircle) {
    line.setDelaySamples(441);
    EXPECT_EQ(line.delaySpan(), 265);
    line.setDelayTime(10.0f);
    EXPECT_EQ(line.delaySpan(), 265);
    line.setDelayTime(5.0f);
    EXPECT_EQ(line.delaySpan(), 220);  // trunc(44100 × 5 × 0.001)
    line.setDelaySamples(0);
    EXPECT_EQ(line.delaySpan(), 1);
    line.setDelayTime(NAN);
    EXPECT_EQ(line.delaySpan(), 1);
    line.setDelayTime(-3.0f);
    EXPECT_EQ(line.delaySpan(), 1);
}

TEST_F(ModulatedDelayTest, RateOfZeroOrLessBecomesTheSlowestSweep) {
    line.setSweepRate(0.0f);
    EXPECT_EQ(line.oscillator().frequencyHz(), 5.0f * 0.001f);
    line.setSweepRate(-1.0f);
    EXPECT_EQ(line.oscillator().frequencyHz(), 5.0f * 0.001f);
    line.setSweepRate(NAN);
    EXPECT_EQ(line.oscillator().frequencyHz(), 5.0f * 0.001f);
    line.setSweepRate(1.0f);
    EXPECT_EQ(line.oscillator().frequencyHz(), 5.0f);
}

TEST_F(ModulatedDelayTest, DepthZeroAndSpanOneGiveTheMeanOfTheTwoPreviousInputs) {
    line.setDepth(0.0f);
    line.setDelaySamples(1);
    testing::Noise noise(2);
    std::vector<float> in = noise.block(2000), out(2000);
    line.process(in.data(), out.data(), 2000);
    for (int k = 2; k < 2000; ++k) {
        const double b0 = in[k - 1] + 1e-30f;
        const double b1 = in[k - 2] + 1e-30f;
        EXPECT_EQ(out[k], static_cast<float>(b0 + (b1 - b0) * 0.5)) << k;
    }
}

TEST_F(ModulatedDelayTest, ClearedLineIsSilentUntilTheFirstSampleComesWithinReach) {
    line.setDepth(0.0f);
    line.setDelaySamples(100);  // D = 51 for every sample
    std::vector<float> in(200, 1.0f), out(200);
    line.process(in.data(), out.data(), 200);
    for (int k = 0; k < 51; ++k) EXPECT_EQ(out[k], 0.0f) << k;
    EXPECT_GT(out[51], 0.5f);
}

TEST_F(ModulatedDelayTest, ImpulseLeavesAfterTheSetDelay) {
    line.setDepth(0.0f);
    line.setDelaySamples(40);  // D = 21
    std::vector<float> in(100, 0.0f), out(100);
    in[0] = 1.0f;
    line.process(in.data(), out.data(), 100);
    for (int k = 0; k < 100; ++k) {
        if (k == 21)
            EXPECT_NEAR(out[k], 1.0f, 1e-6f);
        else
            EXPECT_LT(std::fabs(out[k]), 1e-20f) << k;
    }
}

TEST_F(ModulatedDelayTest, CountOfZeroOrLessWritesNothing) {
    std::vector<float> in(10, 1.0f), out(10, 7.0f);
    line.process(in.data(), out.data(), 0);
    line.process(in.data(), out.data(), -4);
    EXPECT_EQ(line.writePosition(), 0);
    EXPECT_EQ(line.oscillator().sampleCounter(), 0u);
    EXPECT_EQ(out[0], 7.0f);
}

TEST_F(ModulatedDelayTest, RunAcrossTheEndOfTheCircleHasNoGap) {
    line.setDepth(0.0f);
    line.setDelaySamples(2);  // D = 2: out[k] = in[k - 2]
    std::vector<float> in(600), out(600);
    for (int k = 0; k < 600; ++k) in[k] = static_cast<float>(k + 1);
    line.process(in.data(), out.data(), 250);
    line.process(in.data() + 250, out.data() + 250, 350);  // crosses 265 and 530
    for (int k = 2; k < 600; ++k) EXPECT_EQ(out[k], in[k - 2]) << k;
    EXPECT_EQ(line.writePosition(), 600 % 265);
    EXPECT_EQ(line.history(1), 600.0f);
    EXPECT_EQ(line.history(265), 336.0f);
}

TEST_F(ModulatedDelayTest, InPlaceEqualsOutOfPlace) {
    ModulatedDelay other = line;
    testing::Noise noise(4);
    std::vector<float> a = noise.block(3000), b = a, out(3000);
    line.process(a.data(), a.data(), 3000);
    other.process(b.data(), out.data(), 3000);
    for (int k = 0; k < 3000; ++k) EXPECT_EQ(a[k], out[k]);
}

TEST_F(ModulatedDelayTest, ClearKeepsTheSettingsAndTheSweep) {
    std::vector<float> in(300, 1.0f), out(300);
    line.setDelaySamples(30);
    line.process(in.data(), out.data(), 300);
    const uint64_t counter = line.oscillator().sampleCounter();
    const int position = line.writePosition();
    line.clear();
    EXPECT_EQ(line.history(1), 0.0f);
    EXPECT_EQ(line.delaySpan(), 30);
    EXPECT_EQ(line.writePosition(), position);
    EXPECT_EQ(line.oscillator().sampleCounter(), counter);
}

TEST_F(ModulatedDelayTest, DepthIsBoundedSoReadsStayInTheCircle) {
    line.setDepth(5.0f);
    EXPECT_EQ(line.sweepDepth(), 1.0f);
    line.setDepth(-5.0f);
    EXPECT_EQ(line.sweepDepth(), -1.0f);
    line.setDepth(NAN);
    EXPECT_EQ(line.sweepDepth(), 0.0f);
    line.setDepth(1.0f);
    line.setDelaySamples(265);
    line.setSweepRate(1.0f);
    std::vector<float> in(44100, 0.5f), out(44100);
    line.process(in.data(), out.data(), 44100);
    for (float v : out) ASSERT_LE(std::fabs(v), 0.5f + 1e-6f);
}

TEST(ModulatedDelayRates, LinesAtDifferentRatesDoNotDisturbEachOther) {
    ModulatedDelay a, b;
    a.setSampleRate(44100);
    b.setSampleRate(192000);
    EXPECT_EQ(a.maxDelaySamples(), 265);
    EXPECT_EQ(b.maxDelaySamples(), 1152);
    a.setDelaySamples(1000);
    EXPECT_EQ(a.delaySpan(), 265);
    b.setDelaySamples(1000);
    EXPECT_EQ(b.delaySpan(), 1000);
}

class LineAgainstReference : public ::testing::TestWithParam<int> {};

TEST_P(LineAgainstReference, MatchesTheLiteralLineThroughSettingChanges) {
    const int rate = GetParam();
    ModulatedDelay line;
    reference::Line literal;
    line.setSampleRate(rate);
    literal.setSampleRate(rate);
    testing::Noise noise(8);
    testing::Noise settings(9);
    double worst = 0.0;
    for (int round = 0; round < 60; ++round) {
        const float rateValue = settings.uniform() * 0.5f + 0.5f;
        const float depth = settings.uniform() * 0.5f + 0.5f;
        const float ms = (settings.uniform() * 0.5f + 0.5f) * 6.0f;
        const float symmetry = settings.uniform() * 0.5f + 0.5f;
        line.setSweepRate(rateValue);
        literal.setSweepRate(rateValue);
        line.setDepth(depth);
        literal.setDepth(depth);
        line.setDelayTime(ms);
        literal.setDelayTime(ms);
        line.setSymmetry(symmetry);
        literal.oscillator.setSymmetry(symmetry);
        const int n = 1 + round * 97;
        std::vector<float> in = noise.block(n), out(n), literalOut(n);
        line.process(in.data(), out.data(), n);
        literal.process(in.data(), literalOut.data(), n);
        for (int k = 0; k < n; ++k) {
            worst = std::max(worst, std::fabs(static_cast<double>(out[k]) - literalOut[k]));
            ASSERT_NEAR(out[k], literalOut[k], 1e-6) << round << " " << k;
        }
    }
    EXPECT_LT(worst, 1e-6);
}

INSTANTIATE_TEST_SUITE_P(Rates, LineAgainstReference,
                         ::testing::Values(44100, 48000, 96000, 192000, 400000, 1000, 100));

struct PairCase {
    DelayPair::Coupling coupling;
    int rate;
    bool sweepsApart;  // the right line at another sweep rate: each line prepares its own taps
};

class PairAgainstLines : public ::testing::TestWithParam<PairCase> {};

// Without feedback each loop of the pair is its line fed the input one sample late, flushed as a
// loop state is, so the fused loop must match the lines run alone bit for bit: across wraps and
// tap spans, with one sweep for both or one each, and on small circles with extra images.
TEST_P(PairAgainstLines, FusedLoopMatchesTheLinesRunAlone) {
    const PairCase c = GetParam();
    const bool twoLines = c.coupling != DelayPair::Coupling::Single;
    DelayPair pair;
    ModulatedDelay alone[2];
    for (ModulatedDelay* line : {&pair.left(), &pair.right(), &alone[0], &alone[1]}) {
        line->setSampleRate(c.rate);
        line->setDepth(0.9f);
        line->setDelayTime(4.0f);
    }
    if (c.sweepsApart) pair.right().setSweepRate(0.9f), alone[1].setSweepRate(0.9f);
    const auto flushed = [](float x) { return std::fabs(x) < DelayPair::kFlushThreshold ? 0.0f : x; };
    testing::Noise noise(31);
    float stateLeft = 0.0f, stateRight = 0.0f;
    for (int round = 0; round < 40; ++round) {
        const int n = 1 + round * 23;
        const std::vector<float> inLeft = noise.block(n), inRight = noise.block(n);
        const std::vector<float>& feedRight = c.coupling == DelayPair::Coupling::Separate ? inRight : inLeft;
        std::vector<float> wetLeft(n), wetRight(n), lateLeft(n), lateRight(n), expectLeft(n), expectRight(n);
        for (int k = 0; k < n; ++k) {
            lateLeft[k] = stateLeft;
            lateRight[k] = stateRight;
            stateLeft = flushed(inLeft[k]);
            if (twoLines) stateRight = flushed(feedRight[k]);
        }
        pair.run(c.coupling, inLeft.data(), inRight.data(), wetLeft.data(), wetRight.data(), n, 0.0f);
        alone[0].process(lateLeft.data(), expectLeft.data(), n);
        if (twoLines) alone[1].process(lateRight.data(), expectRight.data(), n);
        for (int k = 0; k < n; ++k) {
            ASSERT_EQ(wetLeft[k], expectLeft[k]) << round << " " << k;
            ASSERT_EQ(wetRight[k], expectRight[k]) << round << " " << k;  // single: both stay 0
        }
    }
    EXPECT_EQ(pair.leftState(), stateLeft);
    EXPECT_EQ(pair.rightState(), stateRight);
}

INSTANTIATE_TEST_SUITE_P(Couplings, PairAgainstLines,
                         ::testing::Values(PairCase{DelayPair::Coupling::Separate, 44100, false},
                                           PairCase{DelayPair::Coupling::Separate, 44100, true},
                                           PairCase{DelayPair::Coupling::Crossed, 48000, false},
                                           PairCase{DelayPair::Coupling::Single, 1000, false},
                                           PairCase{DelayPair::Coupling::Separate, 1000, true}));

}  // namespace
}  // namespace flanger::dsp
