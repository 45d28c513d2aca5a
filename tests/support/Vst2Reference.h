// The sound every other format of the plug-in is held to: the VST 2.x module rendered as
// flanger-host --render renders it, over deterministic stereo noise.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/TestSignals.h"
#include "tools/common/TestHost.h"
#include "tools/render/StereoRender.h"

namespace flanger::testing {

struct Stereo {
    std::vector<float> left, right;
    bool operator==(const Stereo&) const = default;
};

inline Stereo noise(int frames, uint32_t seed) {
    Noise source(seed);
    return {source.block(frames, 0.5f), source.block(frames, 0.5f)};
}

inline Stereo silence(int64_t frames) {
    return {std::vector<float>(static_cast<size_t>(frames)), std::vector<float>(static_cast<size_t>(frames))};
}

// The module at modulePath with the program set after the rate and announced block, then the
// preroll and calls of block frames; the host's tempo is bpm.
inline Stereo renderVst2(const char* modulePath, const Stereo& in, double rate, int32_t block, int program,
                         double bpm = 120.0) {
    tools::HostOptions options;
    options.sampleRate = static_cast<float>(rate);
    options.blockSize = std::max(block, tools::kAnnouncedBlockSize);
    std::string error;
    auto plugin = tools::PluginInstance::load(modulePath, options, &error);
    EXPECT_TRUE(plugin) << error;
    Stereo out = silence(static_cast<int64_t>(in.left.size()));
    if (!plugin) return out;
    plugin->answers().setTempo(bpm);
    tools::prepareForRender(*plugin, options.sampleRate, block);
    plugin->setProgram(program);
    tools::StereoRenderer renderer(*plugin, block);
    plugin->resume();
    tools::preroll(*plugin);
    renderer.process(in.left.data(), in.right.data(), out.left.data(), out.right.data(),
                     static_cast<int64_t>(in.left.size()));
    return out;
}

}  // namespace flanger::testing
