// The demo signal's properties and the demo run through the fake effect.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "tools/demo/DemoSignal.h"

namespace {

using namespace flanger::tools;
namespace fs = std::filesystem;

TEST(DemoSignalTest, IsEightSecondsOfStereoAtFixedPeakAndDeterministic) {
    const StereoSignal a = makeDemoSignal();
    ASSERT_EQ(a.left.size(), 8u * 44100u);
    ASSERT_EQ(a.right.size(), a.left.size());
    float peak = 0.0f;
    double difference = 0.0;
    for (size_t i = 0; i < a.left.size(); ++i) {
        ASSERT_TRUE(std::isfinite(a.left[i]) && std::isfinite(a.right[i]));
        peak = std::max({peak, std::fabs(a.left[i]), std::fabs(a.right[i])});
        difference += std::fabs(a.left[i] - a.right[i]);
    }
    EXPECT_FLOAT_EQ(peak, 0.8f);
    EXPECT_GT(difference / static_cast<double>(a.left.size()), 1e-3);  // panned, not two equal channels
    const StereoSignal b = makeDemoSignal();
    EXPECT_EQ(a.left, b.left);
    EXPECT_EQ(a.right, b.right);
}

TEST(DemoSignalTest, EveryBeatHasSound) {
    const StereoSignal s = makeDemoSignal();
    const auto beat = static_cast<size_t>(s.sampleRate * 60.0 / kDemoTempoBpm);
    for (size_t start = 0; start + beat <= s.left.size(); start += beat) {
        double energy = 0.0;
        for (size_t i = start; i < start + beat; ++i)
            energy += s.left[i] * s.left[i] + s.right[i] * s.right[i];
        EXPECT_GT(energy / static_cast<double>(beat), 1e-4) << "beat at frame " << start;
    }
}

TEST(DemoSignalTest, FollowsTheSampleRate) {
    EXPECT_EQ(makeDemoSignal(48000, 2.0).left.size(), 96000u);
}

TEST(DemoRun, WritesTheDrySignalAndOneFilePerProgram) {
    const fs::path folder = fs::temp_directory_path() / ("demo-run-" + std::to_string(getpid()));
    fs::remove_all(folder);
    const fs::path log = fs::temp_directory_path() / ("demo-run-" + std::to_string(getpid()) + ".txt");
    const std::string command = std::string("'") + DEMO_TOOL + "' --plugin '" + FAKE_PLUGIN_PATH +
                                "' --out '" + folder.string() + "' >'" + log.string() + "'";
    ASSERT_EQ(std::system(command.c_str()), 0);
    EXPECT_TRUE(fs::exists(folder / "dry.wav"));
    EXPECT_TRUE(fs::exists(folder / "0-unity.wav"));
    EXPECT_TRUE(fs::exists(folder / "1-loud.wav"));
    std::ifstream in(log);
    const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 3) << text;
    fs::remove_all(folder);
    fs::remove(log);
}

}  // namespace
