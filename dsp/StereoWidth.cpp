// The width stage.
#include "dsp/StereoWidth.h"

#include <cmath>

namespace flanger::dsp {

void StereoWidth::setWidth(float w) {
    if (std::isfinite(w)) widthFactor = 2.0f * w;
}

void StereoWidth::process(float** io, int count) noexcept {
    if (count <= 0 || !io || !io[0] || !io[1]) return;
    float* __restrict left = io[0];
    float* __restrict right = io[1];
    const float c = kRoot;
    const float w = widthFactor;
    for (int i = 0; i < count; ++i) {
        const float l = left[i];
        const float r = right[i];
        const float mid = (l + r) * c;
        const float side = (l - r) * c * w;
        left[i] = (mid + side) * c;
        right[i] = (mid - side) * c;
    }
}

}  // namespace flanger::dsp
