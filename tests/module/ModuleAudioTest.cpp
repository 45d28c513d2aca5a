// The flanger heard through its exported entry: programs and chunks at the host boundary,
// and audio in both process modes, in place, at any host block size, with and without tempo.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "host/BigEndian.h"
#include "tools/common/TestHost.h"

namespace flanger {
namespace {

using tools::PluginInstance;
using tools::ProcessMode;

class ModuleAudioTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        plugin = PluginInstance::load(FLANGER_MODULE_PATH, {}, &error);
        ASSERT_TRUE(plugin && plugin->isOpen()) << error;
        plugin->open();
    }

    static std::vector<float> noise(std::size_t frames, unsigned seed) {
        std::mt19937 random(seed);
        std::uniform_real_distribution<float> range(-0.5f, 0.5f);
        std::vector<float> samples(frames);
        for (auto& s : samples) s = range(random);
        return samples;
    }

    // Renders left/right input through the plug-in in host blocks of `block` frames.
    std::vector<float> render(PluginInstance& p, const std::vector<float>& left,
                              const std::vector<float>& right, int32_t block,
                              ProcessMode mode = ProcessMode::Replacing, bool inPlace = false) {
        const std::size_t frames = left.size();
        std::vector<float> outLeft(frames, 0.0f), outRight(frames, 0.0f);
        std::vector<float> inLeft = left, inRight = right;
        for (std::size_t at = 0; at < frames; at += static_cast<std::size_t>(block)) {
            const int32_t n =
                static_cast<int32_t>(std::min<std::size_t>(static_cast<std::size_t>(block), frames - at));
            float* ins[2] = {inLeft.data() + at, inRight.data() + at};
            float* outs[2] = {outLeft.data() + at, outRight.data() + at};
            if (inPlace) {
                EXPECT_TRUE(p.process(mode, ins, ins, n));
            } else {
                EXPECT_TRUE(p.process(mode, ins, outs, n));
            }
        }
        std::vector<float> result;
        const auto& l = inPlace ? inLeft : outLeft;
        const auto& r = inPlace ? inRight : outRight;
        for (std::size_t i = 0; i < frames; ++i) {
            result.push_back(l[i]);
            result.push_back(r[i]);
        }
        return result;
    }

    std::unique_ptr<PluginInstance> fresh() {
        auto other = PluginInstance::load(FLANGER_MODULE_PATH);
        other->open();
        return other;
    }

    std::unique_ptr<PluginInstance> plugin;
};

TEST_F(ModuleAudioTest, ProgramsAndChunksAtTheBoundary) {
    EXPECT_EQ(plugin->program(), 0);
    EXPECT_EQ(plugin->programName(), "Default");
    EXPECT_FLOAT_EQ(plugin->parameter(0), 0.5f);
    EXPECT_EQ(plugin->programNameAt(4, false), "Grand Prix");
    EXPECT_EQ(plugin->program(), 0);
    char untouched[64];
    std::memset(untouched, 'x', sizeof untouched);
    EXPECT_EQ(plugin->dispatch(vst::effGetProgramNameIndexed, 8, -1, untouched), 0);
    EXPECT_EQ(untouched[0], 'x');
    const auto bank = plugin->chunk(false);
    ASSERT_EQ(bank.size(), 896u);
    EXPECT_EQ(host::readBigEndianWord(bank.data()), 0x3F000000u);
    EXPECT_EQ(plugin->chunk(true).size(), 112u);
    EXPECT_EQ(plugin->parameterName(8), "ShapeSync");
    EXPECT_EQ(plugin->parameterLabel(1), "ms");
    EXPECT_EQ(plugin->parameterDisplay(1), "50.0");
    EXPECT_TRUE(plugin->setParameterText(1, "2,5"));
    EXPECT_EQ(plugin->parameterDisplay(1), "2.5");
    plugin->setProgram(8);
    EXPECT_EQ(plugin->program(), 0);
    plugin->setProgram(3);
    EXPECT_EQ(plugin->programName(), "Wide");
    EXPECT_EQ(plugin->parameterDisplay(4), "on");
    tools::TextAnswer vendor = plugin->text(vst::effGetVendorString, 0);
    EXPECT_EQ(vendor.result, 1);
    EXPECT_EQ(vendor.text, "Brackwater");
}

TEST_F(ModuleAudioTest, NothingIsTouchedBeforeTheEngineIsBuilt) {
    // No sample rate and no resume yet: no engine exists.
    auto plain = PluginInstance::load(FLANGER_MODULE_PATH);
    ASSERT_TRUE(plain && plain->isOpen());
    std::vector<float> left(64, 0.25f), right(64, 0.25f);
    std::vector<float> out(64, 7.0f);
    float* ins[2] = {left.data(), right.data()};
    float* outs[2] = {out.data(), out.data()};
    plain->process(ProcessMode::Replacing, ins, outs, 64);
    for (float s : out) ASSERT_EQ(s, 7.0f);
}

TEST_F(ModuleAudioTest, OutputIsFiniteFlangedAndAsksForTheTempoEachCall) {
    plugin->resume();
    const auto left = noise(44100, 1), right = noise(44100, 2);
    plugin->requests().clear();
    const auto out = render(*plugin, left, right, 512);
    EXPECT_EQ(plugin->requests().count(vst::audioMasterGetTime), (44100 + 511) / 512);
    double energy = 0, difference = 0;
    for (std::size_t i = 0; i < left.size(); ++i) {
        ASSERT_TRUE(std::isfinite(out[2 * i]) && std::isfinite(out[2 * i + 1]));
        energy += out[2 * i] * out[2 * i];
        difference += std::fabs(out[2 * i] - left[i]);
    }
    EXPECT_GT(energy, 100.0);
    EXPECT_GT(difference, 100.0);  // not a copy of the input
}

TEST_F(ModuleAudioTest, HostBlockSizeInPlaceAndAddingDoNotChangeTheSound) {
    const auto left = noise(20000, 3), right = noise(20000, 4);
    plugin->resume();
    const auto reference = render(*plugin, left, right, 512);
    // The gains fade in chunk by chunk, so the first few hundred frames follow the host's
    // blocks; from then on every block size must give the same samples.
    auto settled = [](const std::vector<float>& v) {
        return std::vector<float>(v.begin() + 2 * 2048, v.end());
    };
    for (int32_t block : {64, 4096, 1, 777}) {
        auto other = fresh();
        other->resume();
        EXPECT_EQ(settled(render(*other, left, right, block)), settled(reference)) << block;
    }
    auto inPlace = fresh();
    inPlace->resume();
    EXPECT_EQ(render(*inPlace, left, right, 512, ProcessMode::Replacing, true), reference);
    auto adding = fresh();
    adding->resume();
    EXPECT_EQ(render(*adding, left, right, 512, ProcessMode::Adding), reference);  // added onto silence
}

TEST_F(ModuleAudioTest, ChunkRoundTripGivesTheSameSound) {
    plugin->setProgram(6);
    plugin->setParameter(0, 0.8f);
    const auto bank = plugin->chunk(false);
    auto other = fresh();
    ASSERT_EQ(other->setChunk(bank, false), 1);
    other->setProgram(6);
    plugin->resume();
    other->resume();
    const auto left = noise(8000, 5), right = noise(8000, 6);
    EXPECT_EQ(render(*plugin, left, right, 256), render(*other, left, right, 256));
}

TEST_F(ModuleAudioTest, TempoSyncFollowsTheHostTempo) {
    plugin->setProgram(3);  // "Wide": tempo sync
    plugin->answers().setTempo(120.0);
    plugin->resume();
    const auto left = noise(20000, 7), right = noise(20000, 8);
    const auto at120 = render(*plugin, left, right, 512);
    auto other = fresh();
    other->setProgram(3);
    other->answers().setTempo(120.9);  // truncated to whole beats per minute
    other->resume();
    EXPECT_EQ(render(*other, left, right, 512), at120);
    auto faster = fresh();
    faster->setProgram(3);
    faster->answers().setTempo(180.0);
    faster->resume();
    EXPECT_NE(render(*faster, left, right, 512), at120);
    auto noTempo = fresh();
    noTempo->setProgram(3);
    noTempo->answers().setNullTimeInfo(true);
    noTempo->resume();
    for (float s : render(*noTempo, left, right, 512)) ASSERT_TRUE(std::isfinite(s));
}

TEST_F(ModuleAudioTest, OneNonFiniteSampleDoesNotPoisonTheLines) {
    plugin->resume();
    auto left = noise(44100, 9), right = noise(44100, 10);
    left[100] = NAN;
    right[200] = INFINITY;
    const auto out = render(*plugin, left, right, 512);
    for (std::size_t i = 4410; i < left.size(); ++i) {
        ASSERT_TRUE(std::isfinite(out[2 * i])) << i;
        ASSERT_TRUE(std::isfinite(out[2 * i + 1])) << i;
    }
}

TEST_F(ModuleAudioTest, SampleRateChangesRebuildAndBadRatesAreIgnored) {
    for (float rate : {0.0f, -44100.0f, NAN, INFINITY}) plugin->setSampleRate(rate);
    plugin->setSampleRate(96000.0f);
    plugin->resume();
    const auto left = noise(4096, 11), right = noise(4096, 12);
    for (float s : render(*plugin, left, right, 1024)) ASSERT_TRUE(std::isfinite(s));
    plugin->suspend();
    plugin->dispatch(vst::effSetBlockSize, 0, 0);
    plugin->dispatch(vst::effSetBlockSize, 0, -5);
    plugin->resume();
    for (float s : render(*plugin, left, right, 65536)) ASSERT_TRUE(std::isfinite(s));
}

}  // namespace
}  // namespace flanger
