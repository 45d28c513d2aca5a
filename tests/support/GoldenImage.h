// Golden-image comparison shared by the drawing tests: exact by default, a stated slack where
// anti-aliased text is involved. FLANGER_REGENERATE_GOLDENS=1 rewrites the goldens; on a
// mismatch the actual picture and a diff (differences in magenta) go to actualDir.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/Surface.h"
#include "tests/support/ImageDifference.h"
#include "tools/common/PngFile.h"

namespace flanger::testing {

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
    ASSERT_TRUE(expected.has_value())
        << "missing golden " << golden << " (FLANGER_REGENERATE_GOLDENS=1 writes it)";
    ASSERT_EQ(expected->width(), actual.width());
    ASSERT_EQ(expected->height(), actual.height());
    const ImageDifference difference = differenceOf(actual, *expected, tolerance.channel);
    if (difference.over > tolerance.pixels) {
        std::filesystem::create_directories(actualDir);
        tools::writePng((actualDir / (name + "-actual.png")).string(), actual);
        tools::writePng((actualDir / (name + "-diff.png")).string(), difference.marked);
        ADD_FAILURE() << name << ": " << difference.over << " pixels differ (worst channel difference "
                      << difference.worst << "); see " << actualDir.string();
    }
}

}  // namespace flanger::testing
