// The gain ramp.
#include "dsp/LinearRamp.h"

#include <algorithm>
#include <climits>
#include <cmath>

namespace flanger::dsp {

void LinearRamp::setTarget(float t) {
    target = t;
    start = current;
    const float distance = t - current;
    const float stepsWanted = std::fabs(distance / size);
    // Truncation toward zero; a target that is not finite takes no steps, a huge one the most
    // an int holds.
    if (!(stepsWanted >= 1.0f) || !std::isfinite(stepsWanted))
        steps = 0;
    else if (stepsWanted >= static_cast<float>(INT_MAX))
        steps = INT_MAX;
    else
        steps = static_cast<int>(stepsWanted);
    increment = distance > 0.0f ? size : -size;
    done = 0;
}

void LinearRamp::jumpTo(float v) {
    target = current = v;
    steps = done = 0;
}

float LinearRamp::advance(int n) {
    if (n <= 0) return current;
    if (done < steps) {
        const int taken = std::min(n, steps - done);
        current += increment * static_cast<float>(taken);
        // Counted as taken, not as asked, so a long advance cannot overflow the count.
        done += taken;
    }
    return current;
}

void LinearRamp::setStepSize(float s) {
    size = s > 0.0f ? s : 1.1920929e-7f;
}

}  // namespace flanger::dsp
