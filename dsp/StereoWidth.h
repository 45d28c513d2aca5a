// The mid/side width stage of the main core: W = 0 folds to mono, 1 leaves the image as it is,
// 2 doubles the side signal.
#pragma once

namespace flanger::dsp {

class StereoWidth {
public:
    static constexpr float kRoot = 0.7071067811865f;  // 1/sqrt(2): M and S keep the level

    explicit StereoWidth(float rateHz = 44100.0f) : sampleRate(rateHz) {}

    // widthFactor = 2 × w (non-finite requests are ignored).
    void setWidth(float w);
    // In place on io[0] (left) and io[1] (right): M = (L + R) c, S = (L - R) c W,
    // L' = (M + S) c, R' = (M - S) c.
    void process(float** io, int count) noexcept;

    float factor() const { return widthFactor; }
    float sampleRateHz() const { return sampleRate; }  // kept, though the width does not depend on it

private:
    float sampleRate;
    float widthFactor = 2.0f;
};

}  // namespace flanger::dsp
