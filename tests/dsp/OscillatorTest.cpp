// The sweep and pan oscillators and the note table.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "dsp/PanOscillator.h"
#include "dsp/SweepOscillator.h"
#include "tests/dsp/LiteralReference.h"
#include "tests/support/TestSignals.h"

namespace flanger::dsp {
namespace {

class SweepOscillatorTest : public ::testing::Test {
protected:
    void SetUp() override { sweep.init(44100); }
    SweepOscillator sweep;
};

TEST_F(SweepOscillatorTest, FreshSweepStartsAtPlusHalf) {
    EXPECT_EQ(sweep.next(), 0.5f);
    EXPECT_EQ(sweep.frequencyHz(), 2.0f);
    EXPECT_EQ(sweep.turningPoint(), 0.5f);
}

TEST_F(SweepOscillatorTest, QuarterIncrementGivesTheTriangleCorners) {
    SweepOscillator s;
    s.init(4);
    s.setFrequency(1.0f);  // 1 Hz at 4 Hz: increment 0.25
    ASSERT_EQ(s.cyclesPerSample(), 0.25f);
    const float expected[] = {0.5f, 0.0f, -0.5f, 0.0f, 0.5f};
    for (float e : expected) EXPECT_EQ(s.next(), e);
}

TEST_F(SweepOscillatorTest, DoublingTheFrequencyHalvesTheCounterAndKeepsThePhase) {
    for (int i = 0; i < 1001; ++i) sweep.next();
    const double phaseBefore = sweep.phaseNow();
    sweep.setFrequency(4.0f);
    EXPECT_EQ(sweep.sampleCounter(), 500u);  // trunc(1001 / 2)
    // The phase moves back by at most the truncated half sample.
    EXPECT_NEAR(sweep.phaseNow(), phaseBefore, sweep.cyclesPerSample());
    reference::Sweep literal;
    literal.init(44100);
    for (int i = 0; i < 1001; ++i) literal.next();
    literal.setFrequency(4.0f);
    for (int i = 0; i < 1000; ++i) EXPECT_EQ(sweep.next(), literal.next());
}

TEST_F(SweepOscillatorTest, SymmetryClampsAndMapsToTheTurningPoint) {
    sweep.setSymmetry(0.01f);
    EXPECT_EQ(sweep.turningPoint(), 0.01f * 0.96f + 0.02f);
    EXPECT_NEAR(sweep.turningPoint(), 0.0296f, 1e-7f);
    sweep.setSymmetry(0.0f);
    EXPECT_NEAR(sweep.turningPoint(), 0.0296f, 1e-7f);
    sweep.setSymmetry(0.5f);
    EXPECT_EQ(sweep.turningPoint(), 0.5f);
    sweep.setSymmetry(1.0f);  // ShapeSync 16
    EXPECT_NEAR(sweep.turningPoint(), 0.9704f, 1e-6f);
    sweep.setSymmetry(NAN);
    EXPECT_EQ(sweep.turningPoint(), 0.5f);
}

TEST_F(SweepOscillatorTest, FillGivesTheSameValuesAsNext) {
    SweepOscillator other = sweep;
    sweep.setSymmetry(0.3f);
    other.setSymmetry(0.3f);
    std::vector<float> block(1001);
    sweep.fill(block.data(), 1001);
    for (float v : block) EXPECT_EQ(v, other.next());
    EXPECT_EQ(sweep.sampleCounter(), other.sampleCounter());
    EXPECT_TRUE(sweep.inStepWith(other));
}

// The vector paths (four lanes where the processor has AVX2, then two, then one) give exactly
// the taps the formula gives from next(), for every run length the core prepares.
TEST_F(SweepOscillatorTest, FillTapsGivesTheTapsOfNextBitForBit) {
    constexpr int kSpan = 64;
    std::vector<int32_t> offsets[2] = {std::vector<int32_t>(kSpan), std::vector<int32_t>(kSpan)};
    std::vector<double> fractions[2] = {std::vector<double>(kSpan), std::vector<double>(kSpan)};
    const SweepTaps lines[2] = {{0.9, 0.5 * 441, 512, offsets[0].data(), fractions[0].data()},
                                {0.99, 0.5 * 13, 130, offsets[1].data(), fractions[1].data()}};
    for (float symmetry : {0.5f, 0.01f, 0.73f}) {
        for (float hz : {0.3f, 2.0f, 517.0f}) {
            sweep.setSymmetry(symmetry);
            sweep.setFrequency(hz);
            SweepOscillator other = sweep;
            for (int lineCount = 1; lineCount <= 2; ++lineCount) {
                for (int count = 1; count <= kSpan; ++count) {
                    sweep.fillTaps(lines, lineCount, count);
                    for (int k = 0; k < count; ++k) {
                        const double value = other.next();
                        for (int line = 0; line < lineCount; ++line) {
                            const double delay =
                                (value * lines[line].depth + 1.0) * lines[line].halfSpan + 1.0;
                            const int whole = static_cast<int>(delay);
                            ASSERT_EQ(offsets[line][k], lines[line].base - whole)
                                << hz << " " << count << " " << k;
                            ASSERT_EQ(fractions[line][k], delay - whole) << hz << " " << count << " " << k;
                        }
                    }
                    ASSERT_TRUE(sweep.inStepWith(other));
                }
            }
        }
    }
}

TEST_F(SweepOscillatorTest, SkipAdvancesLikeNext) {
    SweepOscillator other = sweep;
    sweep.skip(777);
    for (int i = 0; i < 777; ++i) other.next();
    EXPECT_TRUE(sweep.inStepWith(other));
    EXPECT_EQ(sweep.next(), other.next());
}

TEST_F(SweepOscillatorTest, NegativeAndNonFiniteFrequenciesStandStill) {
    for (float bad : {-1.0f, NAN, INFINITY}) {
        sweep.setFrequency(bad);
        EXPECT_EQ(sweep.frequencyHz(), 0.0f);
        EXPECT_EQ(sweep.next(), 0.5f);
        EXPECT_EQ(sweep.next(), 0.5f);
    }
    sweep.setFrequency(1.0f);
    EXPECT_EQ(sweep.next(), 0.5f);  // restarts from the beginning of a cycle
}

TEST_F(SweepOscillatorTest, LargeFrequencyDropKeepsThePhaseWithoutOverflow) {
    // 5 Hz for 30 minutes, then the slowest sweep (0.005 Hz): the rescaled counter passes 32 bits.
    sweep.setFrequency(5.0f);
    sweep.skip(44100 * 1800);
    double before = sweep.phaseNow();
    sweep.setFrequency(0.005f);
    EXPECT_GT(sweep.sampleCounter(), uint64_t{1} << 32);
    EXPECT_NEAR(sweep.phaseNow(), before, sweep.cyclesPerSample());
    // After 2^40 samples (290 days) a drop to 1 µHz would pass 2^62: whole periods are taken off.
    sweep.setFrequency(5.0f);
    for (int i = 0; i < 1024; ++i) sweep.skip(1 << 30);  // 2^40 samples
    before = sweep.phaseNow();
    sweep.setFrequency(1e-6f);
    EXPECT_LT(sweep.sampleCounter(), uint64_t{1} << 62);
    EXPECT_NEAR(sweep.phaseNow(), before, 1e-6);
    const float v = sweep.next();
    EXPECT_GE(v, -0.5f);
    EXPECT_LE(v, 0.5f);
}

TEST_F(SweepOscillatorTest, CounterDoesNotWrapAfterTwoToThe32Samples) {
    SweepOscillator s;
    s.init(44100);
    s.setFrequency(1.0f);
    s.skip(1 << 30);
    s.skip(1 << 30);
    s.skip(1 << 30);
    s.skip(1 << 30);
    s.skip(10);
    EXPECT_EQ(s.sampleCounter(), (uint64_t{1} << 32) + 10);
    // The phase is frac(counter × increment), as it would be without any wrap.
    const long double expected =
        std::fmod(static_cast<long double>(s.sampleCounter()) * s.cyclesPerSample(), 1.0L);
    EXPECT_NEAR(s.phaseNow(), static_cast<double>(expected), 1e-12);
}

struct SweepCase {
    int rate;
    float symmetry;
};

class SweepAgainstReference : public ::testing::TestWithParam<SweepCase> {};

TEST_P(SweepAgainstReference, MatchesTheLiteralRemainderThroughFrequencyChanges) {
    const SweepCase c = GetParam();
    SweepOscillator sweep;
    reference::Sweep literal;
    sweep.init(c.rate);
    literal.init(c.rate);
    sweep.setSymmetry(c.symmetry);
    literal.setSymmetry(c.symmetry);
    testing::Noise noise(3);
    std::vector<float> block(997);
    for (int round = 0; round < 40; ++round) {
        const float hz = round % 7 == 6 ? 0.005f : (noise.uniform() * 0.5f + 0.5f) * 5.0f;
        sweep.setFrequency(hz);
        literal.setFrequency(hz);
        ASSERT_EQ(sweep.sampleCounter(), literal.counter);
        sweep.fill(block.data(), static_cast<int>(block.size()));
        for (size_t i = 0; i < block.size(); ++i) ASSERT_EQ(block[i], literal.next()) << round << " " << i;
        for (int i = 0; i < c.rate / 4; ++i) ASSERT_EQ(sweep.next(), literal.next());
    }
}

INSTANTIATE_TEST_SUITE_P(RatesAndShapes, SweepAgainstReference,
                         ::testing::Values(SweepCase{44100, 0.5f}, SweepCase{48000, 0.01f},
                                           SweepCase{96000, 0.99f}, SweepCase{192000, 0.3125f},
                                           SweepCase{22050, 0.75f}, SweepCase{8000, 0.0625f}));

class PanOscillatorTest : public ::testing::Test {
protected:
    void SetUp() override { pan.init(44100.0f); }
    PanOscillator pan;
};

TEST_F(PanOscillatorTest, TableHoldsOneSineCycle) {
    const float* table = PanOscillator::sineTable();
    EXPECT_EQ(table[0], 0.0f);
    EXPECT_NEAR(table[1024], 1.0f, 1e-6f);
    EXPECT_NEAR(table[3072], -1.0f, 1e-6f);
    EXPECT_EQ(table[1], static_cast<float>(std::sin(static_cast<double>(6.2831855f / 4096.0f))));
}

TEST_F(PanOscillatorTest, StartsAtHalfAHertz) {
    EXPECT_EQ(pan.frequencyHz(), 0.5f);
    EXPECT_EQ(pan.unitsPerSample(), 0.5f / 44100.0f * 4096.0f);
}

TEST_F(PanOscillatorTest, IncrementIsCappedAt4095UnitsPerSample) {
    pan.setFrequency(44100.0f * 4095.0f / 4096.0f + 10.0f);
    EXPECT_EQ(pan.unitsPerSample(), 4095.0f);
    pan.setFrequency(1e9f);
    EXPECT_EQ(pan.unitsPerSample(), 4095.0f);
}

TEST_F(PanOscillatorTest, GainsSumToOneAndStayWithinRange) {
    pan.setFrequency(3.0f);
    std::vector<float> in(20000, 1.0f), left(20000), right(20000);
    pan.process(in.data(), left.data(), right.data(), 20000);
    for (int i = 0; i < 20000; ++i) {
        EXPECT_GE(left[i], 0.125f - 1e-6f);
        EXPECT_LE(left[i], 0.875f + 1e-6f);
        EXPECT_NEAR(left[i] + right[i], 1.0f, 1e-6f);
    }
}

TEST_F(PanOscillatorTest, FrequencyZeroPassesTheFullInputToBoth) {
    pan.setFrequency(0.0f);
    float in[3] = {0.5f, -0.25f, 0.0f};
    float left[3], right[3];
    pan.process(in, left, right, 3);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(left[i], in[i] + 1e-30f);
        EXPECT_EQ(right[i], in[i] + 1e-30f);
    }
    EXPECT_EQ(pan.phaseNow(), 0.0f);
    pan.setFrequency(-3.0f);
    EXPECT_EQ(pan.frequencyHz(), 0.0f);
    pan.setFrequency(NAN);
    EXPECT_EQ(pan.frequencyHz(), 0.0f);
}

TEST_F(PanOscillatorTest, MatchesTheLiteralModelInPlace) {
    reference::Pan literal;
    literal.init(44100.0f);
    pan.setFrequency(0.3f);
    literal.setFrequency(0.3f);
    testing::Noise noise(11);
    for (int round = 0; round < 50; ++round) {
        std::vector<float> a = noise.block(3001), b = a, right(3001), literalRight(3001);
        pan.process(a.data(), a.data(), right.data(), 3001);
        literal.process(b.data(), b.data(), literalRight.data(), 3001);
        for (int i = 0; i < 3001; ++i) {
            ASSERT_EQ(a[i], b[i]);
            ASSERT_EQ(right[i], literalRight[i]);
        }
    }
    EXPECT_EQ(pan.phaseNow(), literal.phase);
}

TEST_F(PanOscillatorTest, AddingAndSkippingMatchProcessing) {
    PanOscillator adding = pan, skipping = pan;
    testing::Noise noise(5);
    std::vector<float> in = noise.block(5000), left(5000), right(5000);
    std::vector<float> sumLeft(5000, 0.25f), sumRight(5000, -0.25f);
    pan.process(in.data(), left.data(), right.data(), 5000);
    adding.processAdding(in.data(), sumLeft.data(), sumRight.data(), 5000);
    skipping.skip(5000);
    for (int i = 0; i < 5000; ++i) {
        EXPECT_EQ(sumLeft[i], 0.25f + left[i]);
        EXPECT_EQ(sumRight[i], -0.25f + right[i]);
    }
    EXPECT_EQ(adding.phaseNow(), pan.phaseNow());
    EXPECT_EQ(skipping.phaseNow(), pan.phaseNow());
}

}  // namespace
}  // namespace flanger::dsp
