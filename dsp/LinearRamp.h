// The per-sample parameter smoother of the cores' gains: a linear ramp with a fixed step.
#pragma once

namespace flanger::dsp {

// A ramp moves by whole steps and stops after `steps` of them, so it can end short of its
// target by less than one step; that remainder is never made up (jumpTo reaches a value
// exactly). All arithmetic is single precision, one addition per step.
class LinearRamp final {
public:
    static constexpr float kDefaultStep = 0.005f;

    explicit LinearRamp(float stepSize = kDefaultStep) { setStepSize(stepSize); }
    virtual ~LinearRamp() = default;

    // Starts a ramp from the current value: trunc(|t - current| / stepSize) steps. A target
    // that is not finite, or that is no whole step away, takes no steps.
    virtual void setTarget(float target);
    virtual void jumpTo(float value);
    // Takes up to n steps at once (nothing for n <= 0); answers the value.
    virtual float advance(int n);
    // One step while steps remain; answers the value.
    virtual float tick() {
        if (done < steps) {
            current += increment;
            done += 1;
        }
        return current;
    }
    // Step sizes of 0 or less (and NaN) become 1.1920929e-7.
    virtual void setStepSize(float size);

    float value() const { return current; }
    float targetValue() const { return target; }
    float stepSize() const { return size; }
    float stepIncrement() const { return increment; }
    int stepCount() const { return steps; }
    int stepsTaken() const { return done; }
    // True once every step of the ramp has been taken: tick() then changes nothing.
    bool settled() const { return done >= steps; }

private:
    int steps = 0;
    int done = 0;
    float size = kDefaultStep;
    float increment = 0.0f;
    float current = 0.0f;
    float start = 0.0f;
    float target = 0.0f;
};

}  // namespace flanger::dsp
