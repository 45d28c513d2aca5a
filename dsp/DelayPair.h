// The two swept delay lines of a core and their feedback loops, run sample by sample in one
// fused loop: per sample both lines read, write and take their next input before the next sample.
#pragma once

#include "dsp/ModulatedDelay.h"

namespace flanger::dsp {

class DelayPair {
public:
    // How the loops are wired. single: the left line alone. crossed: one input, each line fed
    // back into the other at full level and into itself at ±0.2. separate: two independent
    // loops on two inputs.
    enum class Coupling { Single, Crossed, Separate };

    // Feedback states below this magnitude are stored as exactly 0, so a decaying loop stops
    // instead of creeping into subnormal numbers.
    static constexpr float kFlushThreshold = 1.0f / 60000.0f;

    ModulatedDelay& left() { return lineLeft; }
    ModulatedDelay& right() { return lineRight; }
    const ModulatedDelay& left() const { return lineLeft; }
    const ModulatedDelay& right() const { return lineRight; }
    float leftState() const { return stateLeft; }
    float rightState() const { return stateRight; }

    // Feedback states to 0 and both lines silenced.
    void reset();

    // count samples of the loops with the given feedback gain: the lines' outputs go to wetLeft
    // (and wetRight, unless single); inRight is read only when separate. Each line's input is the
    // loop state of the previous sample, so a loop is one sample longer than its line's delay.
    void run(Coupling coupling, const float* inLeft, const float* inRight, float* wetLeft, float* wetRight,
             int count, float feedback) noexcept;

private:
    void prepareSweeps(bool both, int count, ModulatedDelay::Taps* taps) noexcept;
    template <Coupling C>
    void runCoupled(const ModulatedDelay::Taps* taps, const float* inLeft, const float* inRight,
                    float* wetLeft, float* wetRight, int count, float feedback) noexcept;
    // inFours: every read of the lines reaches at least 4 samples back, so Four reads four
    // samples at once.
    template <Coupling C, bool kTwoImages, class Four>
    void runTaps(const ModulatedDelay::Taps* taps, const float* inLeft, const float* inRight, float* wetLeft,
                 float* wetRight, int count, float feedback, bool inFours) noexcept;
    // Processors with wider lanes run the loop through this (DelayPair.cpp).
    friend struct WideLoops;

    ModulatedDelay lineLeft;
    ModulatedDelay lineRight;
    float stateLeft = 0.0f;
    float stateRight = 0.0f;
};

}  // namespace flanger::dsp
