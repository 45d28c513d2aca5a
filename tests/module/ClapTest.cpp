// The CLAP module as a host drives it through the CLAP test host: the same sound as the VST 2.x
// module, parameter events where they land, states kept and refused, the factory presets, texts
// both ways, flush, and a host that offers no extensions at all.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "tests/support/TestSignals.h"
#include "tests/support/Vst2Reference.h"
#include "tools/common/ClapHost.h"
#include "tools/common/TestHost.h"
#include "tools/render/StereoRender.h"

namespace flanger {
namespace {

using clap::clap_id;
using testing::noise;
using testing::Stereo;
using tools::ClapHostOffers;
using tools::ClapPlugin;

constexpr clap_id kFeedback = 0, kDepth = 2, kSwitch = 4, kSyncBeat = 6, kMix = 10;
constexpr clap_id kParameters = 11;
constexpr int kPrograms = 8;
constexpr double kTempo = 128.0;  // not the effect's own 120: the tempo-locked programs must hear it

float largestDifference(const Stereo& a, const Stereo& b) {
    float most = 0.0f;
    for (size_t i = 0; i < a.left.size(); ++i) {
        most = std::max(most, std::fabs(a.left[i] - b.left[i]));
        most = std::max(most, std::fabs(a.right[i] - b.right[i]));
    }
    return most;
}

class ClapFlanger : public ::testing::Test {
protected:
    static std::unique_ptr<ClapPlugin> load(const ClapHostOffers& offers = {}) {
        std::string error;
        auto plugin = ClapPlugin::load(FLANGER_CLAP_MODULE, offers, &error);
        EXPECT_TRUE(plugin) << error;
        return plugin;
    }

    // As flanger-host --render starts it: the program by its key, the host's tempo, activation at
    // the rate with the announced block, then the silent preroll.
    static std::unique_ptr<ClapPlugin> started(double rate, uint32_t block, int program = -1) {
        auto plugin = load();
        if (!plugin) return nullptr;
        if (program >= 0) {
            EXPECT_TRUE(
                plugin->loadPreset(clap::kPresetLocationPlugin, nullptr, std::to_string(program).c_str()));
        }
        plugin->setTempo(kTempo);
        const auto announced = std::max<uint32_t>(block, tools::kAnnouncedBlockSize);
        EXPECT_TRUE(plugin->activate(rate, 1, announced));
        EXPECT_TRUE(plugin->startProcessing());
        render(*plugin, testing::silence(tools::kPrerollFrames), tools::kPrerollBlock);
        return plugin;
    }

    static Stereo render(ClapPlugin& plugin, const Stereo& in, uint32_t block,
                         const tools::ClapBlockEvents& events = {}) {
        Stereo out = testing::silence(static_cast<int64_t>(in.left.size()));
        EXPECT_TRUE(tools::renderStereo(plugin, in.left.data(), in.right.data(), out.left.data(),
                                        out.right.data(), static_cast<int64_t>(in.left.size()), block,
                                        events));
        return out;
    }

    static std::vector<double> allValues(const ClapPlugin& plugin) {
        std::vector<double> values;
        for (clap_id id = 0; id < kParameters; ++id) values.push_back(plugin.value(id).value_or(-1.0));
        return values;
    }
};

TEST_F(ClapFlanger, FactoryProgramsSoundAsTheVst2ModuleByteForByteAtTheHostsTempo) {
    struct Setting {
        double rate;
        uint32_t block;
    };
    for (const Setting setting : {Setting{44100.0, 512}, Setting{96000.0, 64}}) {
        const Stereo in = noise(static_cast<int>(setting.rate), 11);
        for (int program = 0; program < kPrograms; ++program) {
            SCOPED_TRACE("program " + std::to_string(program) + " at " + std::to_string(setting.rate) +
                         " Hz in blocks of " + std::to_string(setting.block));
            auto plugin = started(setting.rate, setting.block, program);
            ASSERT_TRUE(plugin);
            EXPECT_TRUE(render(*plugin, in, setting.block) ==
                        testing::renderVst2(FLANGER_MODULE_PATH, in, setting.rate,
                                            static_cast<int32_t>(setting.block), program, kTempo));
        }
    }
}

TEST_F(ClapFlanger, ParameterEventsAtOddOffsetsSoundTheSameInOddBlocksAsInLargeOnes) {
    // Plain values at frames off every block grid; a switch into tempo sync inside a block.
    struct Point {
        int64_t frame;
        clap_id id;
        double value;
    };
    const std::vector<Point> points = {
        {1001, kDepth, 10.0},  {5003, kFeedback, 20.0}, {7777, kMix, 30.0},   {12345, kFeedback, 80.0},
        {15013, kSwitch, 1.0}, {20007, kSyncBeat, 5.0}, {30011, kDepth, 90.0}};
    auto events = [&points](int64_t start, uint32_t frames, tools::ClapInputEvents& list) {
        for (const Point& p : points)
            if (p.frame >= start && p.frame < start + frames)
                list.addValue(p.id, static_cast<uint32_t>(p.frame - start), p.value);
    };
    const Stereo in = noise(44100, 5);

    auto large = started(44100.0, 1024);
    auto still = started(44100.0, 1024);
    ASSERT_TRUE(large && still);
    const Stereo inLarge = render(*large, in, 1024, events);
    EXPECT_GT(largestDifference(inLarge, render(*still, in, 1024)), 0.05f) << "the events were not heard";
    for (const uint32_t block : {37u, 1u}) {
        auto small = started(44100.0, block);
        ASSERT_TRUE(small);
        EXPECT_TRUE(render(*small, in, block, events) == inLarge) << "in blocks of " << block;
        EXPECT_EQ(allValues(*small), allValues(*large));
    }
    EXPECT_EQ(large->value(kDepth), 90.0);
    EXPECT_EQ(large->value(kSwitch), 1.0);
}

TEST_F(ClapFlanger, StateRoundTripsByteExactThroughShortReadsAndWrites) {
    auto source = load();
    ASSERT_TRUE(source);
    const auto defaults = source->saveState();
    ASSERT_TRUE(source->loadPreset(clap::kPresetLocationPlugin, nullptr, "3"));
    source->addValue(kFeedback, 0, 25.0);
    source->addValue(kDepth, 0, 80.0);
    ASSERT_TRUE(source->flush());
    const auto saved = source->saveState();
    ASSERT_TRUE(saved && defaults);
    ASSERT_GE(saved->size(), 12u);
    EXPECT_EQ(std::string(saved->begin(), saved->begin() + 4), "BWFS");
    EXPECT_NE(*saved, *defaults);
    EXPECT_EQ(source->saveState(1), saved) << "written a byte at a time";

    for (const uint64_t chunk : {0u, 1u, 7u}) {
        SCOPED_TRACE("reads of " + std::to_string(chunk));
        auto target = load();
        ASSERT_TRUE(target);
        EXPECT_TRUE(target->loadState(*saved, chunk));
        EXPECT_EQ(target->saveState(), saved);
        EXPECT_EQ(allValues(*target), allValues(*source));
        // The host hears of the new values on its main thread, to show them.
        target->runLoopOnce();
        const auto asked = target->requests().counts();
        EXPECT_GE(asked.rescans, 1);
        EXPECT_NE(asked.rescanFlags & clap::kParamRescanValues, 0u);
    }
}

TEST_F(ClapFlanger, EmptyShortForeignAndRandomStatesAreRefusedWithNothingChanged) {
    auto plugin = load();
    ASSERT_TRUE(plugin);
    const std::vector<uint8_t> good = plugin->saveState().value_or(std::vector<uint8_t>{});
    ASSERT_GE(good.size(), 16u);
    ASSERT_TRUE(plugin->loadPreset(clap::kPresetLocationPlugin, nullptr, "5"));
    plugin->addValue(kMix, 0, 30.0);
    plugin->flush();
    const auto before = plugin->saveState();
    const std::vector<double> values = allValues(*plugin);

    auto withWord = [&good](size_t at, uint32_t word) {
        std::vector<uint8_t> bytes = good;
        for (int i = 0; i < 4; ++i)
            bytes[at + static_cast<size_t>(i)] = static_cast<uint8_t>(word >> (8 * i));
        return bytes;
    };
    const auto size = static_cast<uint32_t>(good.size() - 12);
    testing::Noise random(9);
    std::vector<uint8_t> garbage(good.size());
    for (uint8_t& b : garbage) b = static_cast<uint8_t>(random.uniform() * 127 + 128);
    std::vector<uint8_t> foreign = good;
    std::memcpy(foreign.data(), "XYZW", 4);
    const std::vector<std::pair<const char*, std::vector<uint8_t>>> refused = {
        {"empty", {}},
        {"magic only", std::vector<uint8_t>(good.begin(), good.begin() + 4)},
        {"header only", std::vector<uint8_t>(good.begin(), good.begin() + 12)},
        {"one byte short", std::vector<uint8_t>(good.begin(), good.end() - 1)},
        {"foreign magic", foreign},
        {"size beyond the data", withWord(8, size + 100)},
        {"newer version", withWord(4, 2)},
        {"random bytes", garbage},
    };
    for (const auto& [what, bytes] : refused) {
        for (const uint64_t chunk : {0u, 5u}) {
            SCOPED_TRACE(std::string(what) + ", reads of " + std::to_string(chunk));
            EXPECT_FALSE(plugin->loadState(bytes, chunk));
            EXPECT_EQ(allValues(*plugin), values);
            EXPECT_EQ(plugin->saveState(), before);
        }
    }
}

TEST_F(ClapFlanger, PresetDiscoveryListsTheEightProgramsAndTheirKeysLoadThem) {
    auto vst2 = tools::PluginInstance::load(FLANGER_MODULE_PATH);
    auto plugin = load();
    ASSERT_TRUE(vst2 && plugin);
    vst2->open();
    const tools::ClapPresetListing listing = plugin->module().presets();
    EXPECT_EQ(listing.providers.size(), 1u);
    ASSERT_EQ(listing.locations.size(), 1u);
    EXPECT_EQ(listing.locations[0].kind, clap::kPresetLocationPlugin);
    EXPECT_FALSE(listing.locations[0].location);
    EXPECT_TRUE(listing.errors.empty());
    ASSERT_EQ(listing.presets.size(), static_cast<size_t>(kPrograms));
    for (int i = 0; i < kPrograms; ++i) {
        const tools::ClapPreset& preset = listing.presets[static_cast<size_t>(i)];
        EXPECT_EQ(preset.name, vst2->programNameAt(i));
        EXPECT_EQ(preset.loadKey, std::to_string(i));
        EXPECT_EQ(preset.pluginIds, std::vector<std::string>{"clap:urn:brackwater:flanger"});
    }

    // Program 3's values, as the VST 2.x module shows them.
    ASSERT_TRUE(plugin->loadPreset(clap::kPresetLocationPlugin, nullptr, "3"));
    vst2->setProgram(3);
    for (clap_id id = 0; id < kParameters; ++id) {
        SCOPED_TRACE("parameter " + std::to_string(id));
        EXPECT_EQ(plugin->valueToText(id, plugin->value(id).value_or(-1.0)),
                  vst2->parameterDisplay(static_cast<int32_t>(id)));
    }
    auto reports = plugin->requests().presetReports();
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_TRUE(reports[0].loaded);
    EXPECT_EQ(reports[0].loadKey, "3");
    EXPECT_FALSE(reports[0].location);

    // Keys it does not have, or a file location, change nothing and are reported as errors.
    const auto state = plugin->saveState();
    plugin->requests().clear();
    EXPECT_FALSE(plugin->loadPreset(clap::kPresetLocationPlugin, nullptr, "8"));
    EXPECT_FALSE(plugin->loadPreset(clap::kPresetLocationPlugin, nullptr, "-1"));
    EXPECT_FALSE(plugin->loadPreset(clap::kPresetLocationPlugin, nullptr, "3x"));
    EXPECT_FALSE(plugin->loadPreset(clap::kPresetLocationPlugin, nullptr, nullptr));
    EXPECT_FALSE(plugin->loadPreset(clap::kPresetLocationFile, "/tmp/3", "3"));
    EXPECT_EQ(plugin->saveState(), state);
    reports = plugin->requests().presetReports();
    EXPECT_EQ(reports.size(), 5u);
    EXPECT_TRUE(std::none_of(reports.begin(), reports.end(), [](const auto& r) { return r.loaded; }));
}

TEST_F(ClapFlanger, TextsAreTheVst2DisplaysBothWaysAndARefusalAnswersFalse) {
    auto plugin = load();
    auto vst2 = tools::PluginInstance::load(FLANGER_MODULE_PATH);
    ASSERT_TRUE(plugin && vst2);
    vst2->open();
    for (clap_id id = 0; id < kParameters; ++id) {
        for (const float normalised : {0.0f, 0.13f, 0.5f, 0.77f, 1.0f}) {
            SCOPED_TRACE("parameter " + std::to_string(id) + " at " + std::to_string(normalised));
            vst2->setParameter(static_cast<int32_t>(id), normalised);
            const std::string shown = vst2->parameterDisplay(static_cast<int32_t>(id));
            const std::optional<double> plain = plugin->textToValue(id, shown);
            ASSERT_TRUE(plain);
            EXPECT_EQ(plugin->valueToText(id, *plain), shown);
        }
    }
    EXPECT_EQ(plugin->valueToText(kSwitch, 1.0), "on");

    const std::vector<double> values = allValues(*plugin);
    const auto state = plugin->saveState();
    for (clap_id id = 0; id < kParameters; ++id) {
        for (const char* text : {"nonsense", "", "nan", "1e999"}) {
            SCOPED_TRACE(std::to_string(id) + " \"" + text + "\"");
            EXPECT_FALSE(plugin->textToValue(id, text));
        }
    }
    EXPECT_FALSE(plugin->textToValue(kParameters, "50"));
    EXPECT_FALSE(plugin->valueToText(kParameters, 50.0));
    EXPECT_FALSE(plugin->valueToText(kDepth, std::nan("")));
    EXPECT_EQ(allValues(*plugin), values);
    EXPECT_EQ(plugin->saveState(), state);
}

TEST_F(ClapFlanger, FlushAppliesValuesWhileInactiveAndWhileActive) {
    auto plugin = load();
    ASSERT_TRUE(plugin);
    plugin->addValue(kFeedback, 0, 25.0);
    plugin->addValue(kSwitch, 0, 1.0);
    ASSERT_TRUE(plugin->flush());
    EXPECT_EQ(plugin->value(kFeedback), 25.0);
    EXPECT_EQ(plugin->value(kSwitch), 1.0);

    ASSERT_TRUE(plugin->activate(48000.0, 1, 512));
    plugin->addValue(kDepth, 0, 75.0);
    ASSERT_TRUE(plugin->flush());
    EXPECT_EQ(plugin->value(kDepth), 75.0);

    // What was flushed is heard.
    ASSERT_TRUE(plugin->startProcessing());
    auto untouched = load();
    ASSERT_TRUE(untouched && untouched->start(48000.0, 512));
    const Stereo in = noise(4800, 2);
    EXPECT_GT(largestDifference(render(*plugin, in, 512), render(*untouched, in, 512)), 0.05f);
}

// Qtractor's scanner offers no host extension at all: the plug-in still describes itself, and
// activates and processes, with events, for a host that cannot hear about anything.
TEST_F(ClapFlanger, ScansActivatesAndProcessesForAHostWithoutExtensions) {
    auto plugin = load(ClapHostOffers::none());
    ASSERT_TRUE(plugin);
    const auto descriptors = plugin->module().descriptors();
    ASSERT_EQ(descriptors.size(), 1u);
    EXPECT_EQ(descriptors[0].id, "urn:brackwater:flanger");
    EXPECT_EQ(descriptors[0].name, "BrackwaterFlanger");
    EXPECT_EQ(descriptors[0].vendor, "Brackwater");
    EXPECT_EQ(descriptors[0].features, (std::vector<std::string>{"audio-effect", "flanger", "stereo"}));

    for (const bool input : {true, false}) {
        const auto ports = plugin->audioPorts(input);
        ASSERT_EQ(ports.size(), 1u);
        EXPECT_EQ(ports[0].channelCount, 2u);
        EXPECT_EQ(ports[0].portType, "stereo");
        EXPECT_EQ(ports[0].flags, clap::kAudioPortIsMain) << "main, 32-bit only";
        EXPECT_EQ(ports[0].inPlacePair, 0u);
    }
    const auto parameters = plugin->parameters();
    ASSERT_EQ(parameters.size(), kParameters);
    const char* names[] = {"Feedback", "Delay",   "Depth",     "Stereo", "Switch", "Rate",
                           "SyncBeat", "TmpSync", "ShapeSync", "Output", "Mix"};
    for (clap_id id = 0; id < kParameters; ++id) {
        const auto& info = parameters[id];
        EXPECT_EQ(info.id, id);
        EXPECT_EQ(info.name, names[id]);
        const bool stepped = id == kSwitch || id == kSyncBeat || id == 7 || id == 8;
        EXPECT_EQ((info.flags & clap::kParamIsStepped) != 0, stepped) << info.name;
        EXPECT_EQ(info.flags & clap::kParamIsBypass, 0u) << "hosts bypass CLAP plug-ins themselves";
        EXPECT_EQ(plugin->value(id), info.defaultValue) << info.name << ": defaults are program 0's";
    }
    EXPECT_EQ(plugin->latency(), 0u);

    ASSERT_TRUE(plugin->start(44100.0, 256));
    plugin->addValue(kDepth, 17, 60.0);
    const Stereo in = noise(256, 4);
    Stereo out = testing::silence(256);
    float* ins[2] = {const_cast<float*>(in.left.data()), const_cast<float*>(in.right.data())};
    float* outs[2] = {out.left.data(), out.right.data()};
    EXPECT_NE(plugin->process(ins, outs, 256), clap::kProcessError);
    EXPECT_EQ(plugin->value(kDepth), 60.0);
    EXPECT_TRUE(std::all_of(out.left.begin(), out.left.end(), [](float s) { return std::isfinite(s); }));
    EXPECT_FALSE(out == in);
    // A preset and a state still load when the host cannot be told.
    EXPECT_TRUE(plugin->loadPreset(clap::kPresetLocationPlugin, nullptr, "2"));
    const auto state = plugin->saveState();
    ASSERT_TRUE(state);
    EXPECT_TRUE(plugin->loadState(*state));
    plugin->runLoopOnce();
}

// Hosts may load a module twice (a scanner and the session, in one process): each init has its
// deinit, and the later load works on after the earlier is gone.
TEST_F(ClapFlanger, ASecondLoadOfTheModuleOutlivesTheFirst) {
    std::string error;
    auto first = tools::ClapModule::load(FLANGER_CLAP_MODULE, &error);
    auto second = tools::ClapModule::load(FLANGER_CLAP_MODULE, &error);
    ASSERT_TRUE(first && second) << error;
    auto early = ClapPlugin::create(first, "urn:brackwater:flanger");
    ASSERT_TRUE(early);
    early.reset();
    first.reset();
    auto plugin = ClapPlugin::create(second, "urn:brackwater:flanger");
    ASSERT_TRUE(plugin && plugin->start(44100.0, 64));
    EXPECT_EQ(second->presets().presets.size(), static_cast<size_t>(kPrograms));
    const Stereo out = render(*plugin, noise(640, 8), 64);
    EXPECT_TRUE(std::all_of(out.left.begin(), out.left.end(), [](float s) { return std::isfinite(s); }));
    EXPECT_FALSE(ClapPlugin::create(second, "urn:someone:else"));
}

}  // namespace
}  // namespace flanger
