// The gain ramp: whole steps, the remainder that is never made up, exact jumps.
#include <gtest/gtest.h>

#include <cmath>

#include "dsp/LinearRamp.h"
#include "tests/dsp/LiteralReference.h"

namespace flanger::dsp {
namespace {

class LinearRampTest : public ::testing::Test {
protected:
    LinearRamp ramp;
};

TEST_F(LinearRampTest, StartsAtZeroWithTheDefaultStep) {
    EXPECT_EQ(ramp.value(), 0.0f);
    EXPECT_EQ(ramp.stepSize(), 0.005f);
    EXPECT_EQ(ramp.tick(), 0.0f);
}

TEST_F(LinearRampTest, FromHalfToPoint7523TakesFiftyTicksAndStaysNearPoint75) {
    ramp.jumpTo(0.5f);
    ramp.setTarget(0.7523f);
    EXPECT_EQ(ramp.stepCount(), 50);
    reference::Ramp literal;
    literal.current = 0.5f;
    literal.setTarget(0.7523f);
    float previous = ramp.value();
    for (int i = 0; i < 50; ++i) {
        const float v = ramp.tick();
        EXPECT_GT(v, previous);
        EXPECT_EQ(v, literal.tick());  // bit for bit
        previous = v;
    }
    const float settled = ramp.value();
    for (int i = 0; i < 100; ++i) EXPECT_EQ(ramp.tick(), settled);
    // The single-precision sum lands within 1e-5 of 0.75; the remainder to 0.7523 stays.
    EXPECT_NEAR(settled, 0.75f, 1e-5f);
    EXPECT_LT(settled, 0.7523f);
    EXPECT_TRUE(ramp.settled());
}

TEST_F(LinearRampTest, TargetEqualToValueTakesNoSteps) {
    ramp.jumpTo(0.3f);
    ramp.setTarget(0.3f);
    EXPECT_EQ(ramp.stepCount(), 0);
    EXPECT_EQ(ramp.tick(), 0.3f);
}

TEST_F(LinearRampTest, AdvanceTakesOnlyTheStepsLeft) {
    ramp.setTarget(0.0251f);  // five whole steps of 0.005
    ASSERT_EQ(ramp.stepCount(), 5);
    ramp.tick();
    ramp.tick();  // 3 steps left
    const float before = ramp.value();
    const float after = ramp.advance(7);
    EXPECT_EQ(after, before + 0.005f * 3.0f);
    EXPECT_TRUE(ramp.settled());
    EXPECT_EQ(ramp.advance(7), after);
}

TEST_F(LinearRampTest, AdvanceOfZeroOrLessDoesNothing) {
    ramp.setTarget(1.0f);
    EXPECT_EQ(ramp.advance(0), 0.0f);
    EXPECT_EQ(ramp.advance(-3), 0.0f);
    EXPECT_EQ(ramp.stepsTaken(), 0);
}

TEST_F(LinearRampTest, FallingRampStepsDown) {
    ramp.jumpTo(1.0f);
    ramp.setTarget(0.0f);
    EXPECT_EQ(ramp.stepIncrement(), -0.005f);
    EXPECT_LT(ramp.tick(), 1.0f);
}

TEST_F(LinearRampTest, JumpToReachesAValueExactly) {
    ramp.setTarget(0.7523f);
    ramp.tick();
    ramp.jumpTo(0.7523f);
    EXPECT_EQ(ramp.value(), 0.7523f);
    EXPECT_EQ(ramp.targetValue(), 0.7523f);
    EXPECT_EQ(ramp.stepCount(), 0);
    EXPECT_EQ(ramp.tick(), 0.7523f);
}

TEST_F(LinearRampTest, NonPositiveStepSizeBecomesTheSmallestStep) {
    ramp.setStepSize(0.0f);
    EXPECT_EQ(ramp.stepSize(), 1.1920929e-7f);
    ramp.setStepSize(-1.0f);
    EXPECT_EQ(ramp.stepSize(), 1.1920929e-7f);
    ramp.setStepSize(NAN);
    EXPECT_EQ(ramp.stepSize(), 1.1920929e-7f);
    ramp.setStepSize(0.25f);
    EXPECT_EQ(ramp.stepSize(), 0.25f);
}

TEST_F(LinearRampTest, UnusableTargetsTakeNoSteps) {
    ramp.setTarget(NAN);
    EXPECT_EQ(ramp.stepCount(), 0);
    ramp.setTarget(INFINITY);
    EXPECT_EQ(ramp.tick(), ramp.value());
    EXPECT_TRUE(std::isfinite(ramp.value()));
    ramp.setTarget(1e30f);
    EXPECT_GT(ramp.stepCount(), 1000000);  // huge but bounded
}

TEST_F(LinearRampTest, GainFromZeroToOneTakesTwoHundredSteps) {
    ramp.setTarget(1.0f);
    EXPECT_EQ(ramp.stepCount(), 200);
    for (int i = 0; i < 200; ++i) ramp.tick();
    EXPECT_NEAR(ramp.value(), 1.0f, 1e-5f);
    EXPECT_TRUE(ramp.settled());
}

}  // namespace
}  // namespace flanger::dsp
