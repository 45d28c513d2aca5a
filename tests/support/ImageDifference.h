// Pixel-by-pixel difference of two pictures of one size, without a test framework: the golden
// comparison of the drawing tests and the editor grab of the host trial use it alike.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdlib>

#include "platform/Surface.h"

namespace flanger::testing {

struct ImageDifference {
    int over = 0;              // pixels whose largest channel difference is above the tolerance
    int worst = 0;             // the largest channel difference anywhere
    platform::Surface marked;  // the picture dimmed, with the pixels over the tolerance in magenta
};

// The largest of the three channel differences of two pixels.
inline int channelDifference(std::uint32_t a, std::uint32_t b) {
    return std::max({std::abs(platform::redOf(a) - platform::redOf(b)),
                     std::abs(platform::greenOf(a) - platform::greenOf(b)),
                     std::abs(platform::blueOf(a) - platform::blueOf(b))});
}

// Both pictures must have the same size.
inline ImageDifference differenceOf(const platform::Surface& actual, const platform::Surface& expected,
                                    int channelTolerance) {
    ImageDifference result;
    result.marked = platform::Surface(actual.width(), actual.height());
    for (int y = 0; y < actual.height(); ++y) {
        for (int x = 0; x < actual.width(); ++x) {
            const std::uint32_t a = actual.pixel(x, y);
            const int d = channelDifference(a, expected.pixel(x, y));
            result.worst = std::max(result.worst, d);
            if (d > channelTolerance) {
                ++result.over;
                result.marked.setPixel(x, y, 0xFF00FF);
            } else {
                result.marked.setPixel(x, y, (a >> 2) & 0x3F3F3F);  // dimmed, so differences stand out
            }
        }
    }
    return result;
}

}  // namespace flanger::testing
