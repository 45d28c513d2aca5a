// Golden-image comparison shared by the drawing tests: exact by default, a stated slack where
// anti-aliased text is involved. FLANGER_REGENERATE_GOLDENS=1 rewrites the goldens; on a
// mismatch the actual picture and a diff (differences in magenta) go to actualDir.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/Surface.h"
#include "tools/screenshot/PngFile.h"

namespace flanger::test {

struct GoldenTolerance {
    int channel = 0;  // largest per-channel difference that counts as equal
    int pixels = 0;   // pixels allowed beyond it (text rendering only)
};

inline void expectMatchesGolden(const platform::Surface& actual, const std::filesystem::path& goldenDir,
                                const std::filesystem::path& actualDir, const std::string& name,
                                GoldenTolerance tolerance = {}) {
    const std::filesystem::path golden = goldenDir / (name + ".png");
    const char* regenerate = std::getenv("FLANGER_REGENERATE_GOLDENS");
    if (regenerate != nullptr && std::string(regenerate) == "1") {
        ASSERT_TRUE(tools::writePng(golden.string(), actual));
        GTEST_SKIP() << "regenerated " << golden;
    }
    const auto expected = tools::readPng(golden.string());
    ASSERT_TRUE(expected.has_value()) << "missing golden " << golden << " (FLANGER_REGENERATE_GOLDENS=1 writes it)";
    ASSERT_EQ(expected->width(), actual.width());
    ASSERT_EQ(expected->height(), actual.height());
    platform::Surface diff(actual.width(), actual.height());
    int over = 0;
    int worst = 0;
    for (int y = 0; y < actual.height(); ++y) {
        for (int x = 0; x < actual.width(); ++x) {
            const std::uint32_t a = actual.pixel(x, y), e = expected->pixel(x, y);
            const int d = std::max({std::abs(platform::redOf(a) - platform::redOf(e)),
                                    std::abs(platform::greenOf(a) - platform::greenOf(e)),
                                    std::abs(platform::blueOf(a) - platform::blueOf(e))});
            worst = std::max(worst, d);
            if (d > tolerance.channel) {
                ++over;
                diff.setPixel(x, y, 0xFF00FF);
            } else {
                // Dimmed copy of the picture so the differences stand out.
                diff.setPixel(x, y, (a >> 2) & 0x3F3F3F);
            }
        }
    }
    if (over > tolerance.pixels) {
        std::filesystem::create_directories(actualDir);
        tools::writePng((actualDir / (name + "-actual.png")).string(), actual);
        tools::writePng((actualDir / (name + "-diff.png")).string(), diff);
        ADD_FAILURE() << name << ": " << over << " pixels differ (worst channel difference " << worst << "); see "
                      << actualDir.string();
    }
}

}  // namespace flanger::test
