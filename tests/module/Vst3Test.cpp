// The VST3 bundle as a host drives it through the VST3 test host: the same sound as the VST 2.x
// module, automation where it lands, bypass without a click, states kept and refused, calls with
// no audio, and texts both ways.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <numbers>
#include <optional>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "tests/support/TestSignals.h"
#include "tests/support/Vst2Reference.h"
#include "tools/common/TestHost.h"
#include "tools/common/Vst3Host.h"
#include "tools/render/StereoRender.h"

namespace flanger {
namespace {

using tools::PluginInstance;
using tools::Vst3Plugin;

constexpr vst3::ParamID kFeedback = 0, kDepth = 2, kSwitch = 4, kMix = 10, kBypass = 11, kProgram = 12;
constexpr int kPrograms = 8;

using testing::noise;
using testing::Stereo;

// Largest difference between neighbouring samples over [from, to): how steep the signal gets.
float largestStep(const std::vector<float>& s, size_t from, size_t to) {
    float step = 0.0f;
    for (size_t i = std::max<size_t>(from, 1); i < std::min(to, s.size()); ++i)
        step = std::max(step, std::fabs(s[i] - s[i - 1]));
    return step;
}

float largestDifference(const Stereo& a, const Stereo& b) {
    float most = 0.0f;
    for (size_t i = 0; i < a.left.size(); ++i) {
        most = std::max(most, std::fabs(a.left[i] - b.left[i]));
        most = std::max(most, std::fabs(a.right[i] - b.right[i]));
    }
    return most;
}

class Vst3Bundle : public ::testing::Test {
protected:
    std::unique_ptr<Vst3Plugin> load() {
        std::string error;
        auto plugin = Vst3Plugin::load(FLANGER_VST3_BUNDLE, &error);
        EXPECT_TRUE(plugin) << error;
        return plugin;
    }

    // As flanger-host --render starts a bundle: rate and announced block, stereo, the program,
    // then activation and the silent preroll.
    std::unique_ptr<Vst3Plugin> started(double rate, int32_t block, int program = -1) {
        auto plugin = load();
        if (!plugin) return nullptr;
        EXPECT_EQ(plugin->setupProcessing(rate, std::max(block, tools::kAnnouncedBlockSize)),
                  vst3::kResultOk);
        EXPECT_EQ(plugin->setBusArrangements(vst3::kArrangementStereo, vst3::kArrangementStereo),
                  vst3::kResultOk);
        if (program >= 0) plugin->setParameter(kProgram, program / double(kPrograms - 1));
        EXPECT_EQ(plugin->setActive(true), vst3::kResultOk);
        plugin->setProcessing(true);
        Stereo silence{std::vector<float>(tools::kPrerollFrames), std::vector<float>(tools::kPrerollFrames)};
        render(*plugin, silence, tools::kPrerollBlock);
        return plugin;
    }

    static Stereo render(Vst3Plugin& plugin, const Stereo& in, int32_t block,
                         const tools::BlockChanges& changes = {}) {
        Stereo out{std::vector<float>(in.left.size()), std::vector<float>(in.left.size())};
        EXPECT_TRUE(tools::renderStereo(plugin, in.left.data(), in.right.data(), out.left.data(),
                                        out.right.data(), static_cast<int64_t>(in.left.size()), block,
                                        changes));
        return out;
    }

    static std::vector<double> allParameters(Vst3Plugin& plugin) {
        std::vector<double> values;
        for (vst3::ParamID id = 0; id <= kProgram; ++id) values.push_back(plugin.parameter(id));
        return values;
    }
};

TEST_F(Vst3Bundle, FactoryProgramsSoundAsTheVst2ModuleByteForByte) {
    struct Setting {
        double rate;
        int32_t block;
    };
    for (const Setting setting : {Setting{44100.0, 512}, Setting{96000.0, 64}}) {
        // A second of audio: the programs' sweeps move through at least one cycle of 1 Hz.
        const Stereo in = noise(static_cast<int>(setting.rate), 11);
        Stereo first;
        for (int program = 0; program < kPrograms; ++program) {
            SCOPED_TRACE("program " + std::to_string(program) + " at " + std::to_string(setting.rate) +
                         " Hz in blocks of " + std::to_string(setting.block));
            auto plugin = started(setting.rate, setting.block, program);
            ASSERT_TRUE(plugin);
            const Stereo heard = render(*plugin, in, setting.block);
            EXPECT_TRUE(heard ==
                        testing::renderVst2(FLANGER_MODULE_PATH, in, setting.rate, setting.block, program));
            if (program == 0) {
                first = heard;
            } else {
                EXPECT_FALSE(heard == first) << "the Program parameter changed nothing";
            }
        }
    }
}

TEST_F(Vst3Bundle, AutomationSoundsTheSameAtAnyHostBlockSize) {
    // Points off the 32-frame grid and off both block sizes' boundaries, ramps across many
    // blocks, and a switch that jumps inside a block.
    tools::Vst3Automation automation;
    automation.add(kDepth, 1001, 0.1);
    automation.add(kDepth, 30011, 0.9);
    automation.add(kFeedback, 5003, 0.2);
    automation.add(kFeedback, 12345, 0.8);
    automation.add(kFeedback, 20007, 0.3);
    automation.add(kMix, 7777, 0.3);
    automation.add(kMix, 40001, 0.7);
    automation.add(kSwitch, 15013, 0.0);
    automation.add(kSwitch, 15013, 1.0);
    const Stereo in = noise(44100, 5);

    auto large = started(44100.0, 1024);
    auto still = started(44100.0, 1024);
    ASSERT_TRUE(large && still);
    const Stereo inLarge = render(*large, in, 1024, automation.asChanges());
    EXPECT_GT(largestDifference(inLarge, render(*still, in, 1024)), 0.05f) << "the automation was not heard";
    // Small blocks, and odd ones whose calls never start on the 32-frame grid.
    for (const int32_t block : {64, 37}) {
        auto small = started(44100.0, block);
        ASSERT_TRUE(small);
        EXPECT_TRUE(render(*small, in, block, automation.asChanges()) == inLarge) << "in blocks of " << block;
    }
    EXPECT_NEAR(large->parameter(kDepth), 0.9, 1e-6);
    EXPECT_EQ(large->parameter(kSwitch), 1.0);
}

TEST_F(Vst3Bundle, BypassCrossfadesToTheDryInputWithinTenMillisecondsWithoutAClickAndBack) {
    constexpr int kFrames = 44100 * 2;
    constexpr int32_t kBlock = 512;
    constexpr int64_t kOn = 20 * kBlock + 200;  // inside a block, as Ardour's enable button lands
    constexpr int64_t kOff = 60 * kBlock + 333;
    constexpr int64_t kFade = 441;  // 10 ms at 44.1 kHz
    // Tones, not noise: a hard switch between wet and dry is then a step far steeper than either.
    Stereo in{std::vector<float>(kFrames), std::vector<float>(kFrames)};
    for (int i = 0; i < kFrames; ++i) {
        in.left[static_cast<size_t>(i)] =
            0.5f * static_cast<float>(std::sin(2 * std::numbers::pi * 220.0 * i / 44100));
        in.right[static_cast<size_t>(i)] =
            0.5f * static_cast<float>(std::sin(2 * std::numbers::pi * 330.0 * i / 44100));
    }
    auto wetPlugin = started(44100.0, kBlock);
    auto plugin = started(44100.0, kBlock);
    ASSERT_TRUE(wetPlugin && plugin);
    const Stereo wet = render(*wetPlugin, in, kBlock);
    const Stereo heard =
        render(*plugin, in, kBlock, [&](int64_t start, int32_t frames, tools::ParameterChanges& c) {
            for (const auto& [at, value] : {std::pair{kOn, 1.0}, std::pair{kOff, 0.0}})
                if (at >= start && at < start + frames)
                    c.add(kBypass, static_cast<int32_t>(at - start), value);
        });

    for (const auto& [side, dry, wetSide] :
         {std::tuple{&heard.left, &in.left, &wet.left}, std::tuple{&heard.right, &in.right, &wet.right}}) {
        const auto on = static_cast<size_t>(kOn), off = static_cast<size_t>(kOff),
                   fade = static_cast<size_t>(kFade);
        EXPECT_TRUE(std::equal(side->begin(), side->begin() + kOn, wetSide->begin()))
            << "bypassed before its offset";
        EXPECT_TRUE(std::equal(side->begin() + kOn + kFade, side->begin() + kOff, dry->begin() + kOn + kFade))
            << "not the dry input 10 ms after bypass";
        // The effect runs on under the bypass, so it comes back as if it had never left.
        EXPECT_TRUE(std::equal(side->begin() + kOff + kFade, side->end(), wetSide->begin() + kOff + kFade))
            << "not the wet sound 10 ms after bypass was switched off";
        // No click: no step in either fade steeper than the wet or the dry signal has on its own
        // (a switch between them would be many times that).
        const float steepest =
            std::max(largestStep(*wetSide, 0, wetSide->size()), largestStep(*dry, 0, dry->size()));
        EXPECT_LE(largestStep(*side, on - 1, on + fade + 1), steepest);
        EXPECT_LE(largestStep(*side, off - 1, off + fade + 1), steepest);
    }
    EXPECT_EQ(plugin->parameter(kBypass), 0.0);
}

TEST_F(Vst3Bundle, StateRoundTripsByteExactFromAnyPositionAndThroughShortReads) {
    auto source = load();
    ASSERT_TRUE(source);
    const std::vector<uint8_t> defaults = source->state();
    source->setParameter(kProgram, 3 / 7.0);
    source->setParameter(kFeedback, 0.25);
    source->setParameter(kDepth, 0.8);
    vst3::tresult result = vst3::kResultFalse;
    const std::vector<uint8_t> saved = source->state(&result);
    ASSERT_EQ(result, vst3::kResultOk);
    ASSERT_GE(saved.size(), 12u);
    EXPECT_EQ(std::string(saved.begin(), saved.begin() + 4), "BWFS");
    EXPECT_EQ(saved[4] | saved[5] << 8 | saved[6] << 16 | saved[7] << 24, 1);
    EXPECT_EQ(saved[8] | saved[9] << 8 | saved[10] << 16 | saved[11] << 24,
              static_cast<int>(saved.size() - 12));
    EXPECT_NE(saved, defaults);
    // Written from where the host's stream stands, as Ardour's does at 48.
    EXPECT_EQ(source->state(nullptr, 48), saved);

    struct Delivery {
        int64_t position;
        int32_t readLimit;
    };
    for (const Delivery d : {Delivery{0, 0}, Delivery{48, 0}, Delivery{0, 7}, Delivery{48, 1}}) {
        SCOPED_TRACE("at " + std::to_string(d.position) + ", reads of " + std::to_string(d.readLimit));
        auto target = load();
        ASSERT_TRUE(target);
        EXPECT_EQ(target->setState(saved, d.position, d.readLimit), vst3::kResultOk);
        EXPECT_EQ(target->state(), saved);
        EXPECT_EQ(allParameters(*target), allParameters(*source));
    }
}

TEST_F(Vst3Bundle, EmptyShortForeignCorruptAndNewerStatesAreRefusedWithNothingChanged) {
    auto plugin = load();
    ASSERT_TRUE(plugin);
    const std::vector<uint8_t> good = plugin->state();
    plugin->setParameter(kProgram, 5 / 7.0);
    plugin->setParameter(kMix, 0.3);
    const std::vector<uint8_t> before = plugin->state();
    const std::vector<double> values = allParameters(*plugin);

    auto withWord = [&good](size_t at, uint32_t word) {
        std::vector<uint8_t> bytes = good;
        for (int i = 0; i < 4; ++i)
            bytes[at + static_cast<size_t>(i)] = static_cast<uint8_t>(word >> (8 * i));
        return bytes;
    };
    const auto size = static_cast<uint32_t>(good.size() - 12);
    std::vector<uint8_t> shortBank = withWord(8, size - 1);
    shortBank.erase(shortBank.begin() + 20);  // a bank one byte short, its size field agreeing
    testing::Noise random(9);
    std::vector<uint8_t> garbage(good.size());
    for (uint8_t& b : garbage) b = static_cast<uint8_t>(random.uniform() * 127 + 128);
    std::vector<uint8_t> foreign = good;
    std::memcpy(foreign.data(), "XYZW", 4);
    const std::vector<std::pair<const char*, std::vector<uint8_t>>> refused = {
        {"empty", {}},
        {"magic only", std::vector<uint8_t>(good.begin(), good.begin() + 4)},
        {"header only", std::vector<uint8_t>(good.begin(), good.begin() + 12)},
        {"cut in half",
         std::vector<uint8_t>(good.begin(), good.begin() + static_cast<long>(good.size() / 2))},
        {"one byte short", std::vector<uint8_t>(good.begin(), good.end() - 1)},
        {"foreign magic", foreign},
        {"a bare VST 2.x bank", std::vector<uint8_t>(good.begin() + 12, good.end() - 4)},
        {"size beyond the data", withWord(8, size + 100)},
        {"size short of the data", withWord(8, size - 4)},
        {"bank of a wrong length", shortBank},
        {"version 0", withWord(4, 0)},
        {"newer version", withWord(4, 2)},
        {"random bytes", garbage},
    };
    for (const auto& [what, bytes] : refused) {
        SCOPED_TRACE(what);
        EXPECT_NE(plugin->setState(bytes), vst3::kResultOk);
        // Also from a stream that reads short and answers ok with nothing at its end, where a
        // reader that loops until it has all it wants never ends.
        tools::MemoryStream stingy(bytes);
        stingy.setReadLimit(5);
        stingy.setOkAtEnd(true);
        EXPECT_NE(plugin->setState(stingy), vst3::kResultOk);
        EXPECT_EQ(allParameters(*plugin), values);
        EXPECT_EQ(plugin->state(), before);
    }
}

TEST_F(Vst3Bundle, CallsWithoutFramesOrBuffersApplyTheirChangesAndAnswerOk) {
    auto plugin = started(44100.0, 512);
    ASSERT_TRUE(plugin);
    plugin->addChange(kFeedback, 0, 0.25);
    EXPECT_EQ(plugin->process(nullptr, nullptr, 0), vst3::kResultOk);
    EXPECT_NEAR(plugin->parameter(kFeedback), 0.25, 1e-6);

    plugin->addChange(kDepth, 10, 0.75);
    EXPECT_EQ(plugin->process(nullptr, nullptr, 64), vst3::kResultOk);
    EXPECT_NEAR(plugin->parameter(kDepth), 0.75, 1e-6);

    tools::Vst3ProcessCall noBuses;
    noBuses.buses = false;
    plugin->addChange(kMix, 0, 0.2);
    EXPECT_EQ(plugin->process(noBuses), vst3::kResultOk);
    EXPECT_NEAR(plugin->parameter(kMix), 0.2, 1e-6);

    // Audio still flows afterwards.
    const Stereo in = noise(512, 3);
    const Stereo out = render(*plugin, in, 512);
    EXPECT_FALSE(out == in);
    EXPECT_TRUE(std::all_of(out.left.begin(), out.left.end(), [](float s) { return std::isfinite(s); }));
}

TEST_F(Vst3Bundle, TextsAreTheVst2DisplaysBothWaysAndNonsenseChangesNothing) {
    auto plugin = load();
    auto vst2 = PluginInstance::load(FLANGER_MODULE_PATH);
    ASSERT_TRUE(plugin && vst2);
    vst2->open();
    for (vst3::ParamID id = 0; id <= kMix; ++id) {
        for (const float value : {0.0f, 0.13f, 0.5f, 0.77f, 1.0f}) {
            SCOPED_TRACE("parameter " + std::to_string(id) + " at " + std::to_string(value));
            vst2->setParameter(static_cast<int32_t>(id), value);
            const std::string shown = vst2->parameterDisplay(static_cast<int32_t>(id));
            EXPECT_EQ(plugin->display(id, value), shown);
            const std::optional<double> read = plugin->valueFromText(id, shown);
            ASSERT_TRUE(read);
            ASSERT_TRUE(vst2->setParameterText(static_cast<int32_t>(id), shown));
            EXPECT_EQ(static_cast<float>(*read), vst2->parameter(static_cast<int32_t>(id)));
        }
    }
    EXPECT_EQ(plugin->display(kProgram, 4 / 7.0), "Grand Prix");
    EXPECT_EQ(plugin->valueFromText(kProgram, "Grand Prix"), 4 / 7.0);

    const std::vector<double> values = allParameters(*plugin);
    const std::vector<uint8_t> state = plugin->state();
    for (vst3::ParamID id = 0; id <= kProgram; ++id) {
        for (const char* text : {"nonsense", "", "nan", "1e999"}) {
            SCOPED_TRACE(std::to_string(id) + " \"" + text + "\"");
            EXPECT_FALSE(plugin->valueFromText(id, text));
        }
    }
    EXPECT_EQ(allParameters(*plugin), values);
    EXPECT_EQ(plugin->state(), state);
}

}  // namespace
}  // namespace flanger
