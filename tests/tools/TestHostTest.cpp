// The test host against the fake effect built here and against a third-party module.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <thread>
#include <vector>

#include "tests/support/AllocationCounter.h"
#include "tools/common/TestHost.h"
#include "tools/render/Render.h"

namespace {

using namespace flanger::tools;
namespace vst = flanger::vst;

constexpr int32_t kFakeId = vst::fourCharacters('F', 'a', 'k', 'e');

intptr_t fakeReport(PluginInstance& p, int32_t what) {
    return p.dispatch(vst::effVendorSpecific, what);
}

class TestHostWithFake : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        plugin = PluginInstance::load(FAKE_PLUGIN_PATH, {}, &error);
        ASSERT_NE(plugin, nullptr) << error;
    }
    std::unique_ptr<PluginInstance> plugin;
};

TEST_F(TestHostWithFake, LoadsThroughTheEntryAndAnswersTheVersionQueryWithANullEffect) {
    EXPECT_EQ(plugin->record()->magic, vst::kEffectMagic);
    EXPECT_EQ(plugin->record()->uniqueID, kFakeId);
    EXPECT_EQ(plugin->parameterCount(), 3);
    const auto versions = plugin->requests().withOpcode(vst::audioMasterVersion);
    ASSERT_EQ(versions.size(), 1u);
    EXPECT_TRUE(versions[0].nullEffect);
    EXPECT_EQ(plugin->requests().count(vst::audioMasterVersion), 1);
}

TEST(TestHostLoading, FallsBackToMainWhenVSTPluginMainIsMissing) {
    std::string error;
    auto plugin = PluginInstance::load(FAKE_MAIN_ONLY_PATH, {}, &error);
    ASSERT_NE(plugin, nullptr) << error;
    EXPECT_EQ(plugin->record()->uniqueID, kFakeId);
}

TEST(TestHostLoading, ReportsModulesThatDoNotLoadOrRefuseToStart) {
    std::string error;
    EXPECT_EQ(PluginInstance::load("/nonexistent/plugin.so", {}, &error), nullptr);
    EXPECT_NE(error.find("cannot load"), std::string::npos);

    error.clear();
    EXPECT_EQ(PluginInstance::load(FAKE_NO_ENTRY_PATH, {}, &error), nullptr);
    EXPECT_NE(error.find("neither VSTPluginMain nor main"), std::string::npos);

    HostOptions versionZero;
    versionZero.hostVersion = 0;
    error.clear();
    EXPECT_EQ(PluginInstance::load(FAKE_PLUGIN_PATH, versionZero, &error), nullptr);
    EXPECT_NE(error.find("no effect"), std::string::npos);
}

TEST_F(TestHostWithFake, OpenPassesTheConfiguredRateAndBlockSize) {
    plugin->setBlockSize(333);
    plugin->setSampleRate(48000.0f);
    EXPECT_EQ(fakeReport(*plugin, 1), 333);
    EXPECT_EQ(fakeReport(*plugin, 2), 48000);
    // The callback answers with the same values.
    EXPECT_EQ(plugin->answer(plugin->record(), vst::audioMasterGetSampleRate, 0, 0, nullptr, 0.0f), 48000);
    EXPECT_EQ(plugin->answer(plugin->record(), vst::audioMasterGetBlockSize, 0, 0, nullptr, 0.0f), 333);
}

TEST_F(TestHostWithFake, TimeInfoCarriesTheTempoAndFlagsTheCallerSetsOrIsNull) {
    plugin->open();
    plugin->resume();
    std::vector<float> buffer(16, 1.0f);
    float* channels[2] = {buffer.data(), buffer.data() + 8};

    plugin->answers().setTempo(133.7);
    plugin->process(ProcessMode::Replacing, channels, channels, 8);
    EXPECT_EQ(fakeReport(*plugin, 3), 1337);

    plugin->answers().setNullTimeInfo(true);
    plugin->answers().setTempo(90.0);
    plugin->process(ProcessMode::Replacing, channels, channels, 8);
    EXPECT_EQ(fakeReport(*plugin, 3), 1337);

    plugin->answers().setNullTimeInfo(false);
    plugin->answers().setTimeFlags(vst::kVstTransportPlaying);
    plugin->process(ProcessMode::Replacing, channels, channels, 8);
    EXPECT_EQ(fakeReport(*plugin, 3), 1337);

    plugin->answers().setTimeFlags(vst::kVstTempoValid);
    plugin->process(ProcessMode::Replacing, channels, channels, 8);
    EXPECT_EQ(fakeReport(*plugin, 3), 900);

    const auto asks = plugin->requests().withOpcode(vst::audioMasterGetTime);
    ASSERT_EQ(asks.size(), 4u);
    EXPECT_EQ(asks[0].value, vst::kVstTempoValid);
}

TEST_F(TestHostWithFake, RecordsPinQueriesWithIndexAndDirection) {
    plugin->answers().setPinAnswer(false, 1, 1);
    EXPECT_EQ(plugin->answers().pinAnswer(false, 1), 1);
    EXPECT_EQ(plugin->answers().pinAnswer(false, 0), 0);
    EXPECT_EQ(plugin->answers().pinAnswer(true, 1), 0);
    plugin->answers().setDefaultPinAnswer(1);
    plugin->answers().setPinAnswer(true, 0, 0);
    EXPECT_EQ(plugin->answers().pinAnswer(true, 0), 0);  // an explicit 0 beats the default
    EXPECT_EQ(plugin->answers().pinAnswer(true, 5), 1);
    EXPECT_EQ(plugin->answers().pinAnswer(true, 1000), 1);

    plugin->resume();
    const auto pins = plugin->requests().withOpcode(vst::audioMasterPinConnected);
    ASSERT_EQ(pins.size(), 4u);
    EXPECT_EQ(pins[0].index, 0);
    EXPECT_EQ(pins[0].value, 0);
    EXPECT_EQ(pins[1].index, 0);
    EXPECT_EQ(pins[1].value, 1);
    EXPECT_EQ(pins[3].index, 1);
}

TEST_F(TestHostWithFake, TextsAreReadThroughBoundedBuffersWithTerminationChecked) {
    const TextAnswer name = plugin->text(vst::effGetParamName, 0, 9);
    EXPECT_EQ(name.text, "Gain");
    EXPECT_TRUE(name.terminated);
    EXPECT_FALSE(name.overran);

    const TextAnswer longName = plugin->text(vst::effGetParamName, 2, 9);
    EXPECT_FALSE(longName.terminated);  // 13 characters do not fit the customary 8 + 1
    EXPECT_TRUE(longName.overran);
    EXPECT_EQ(longName.text, "Overlong ");

    const TextAnswer nothing = plugin->text(vst::effGetParamName, 7);
    EXPECT_TRUE(nothing.untouched);
    EXPECT_TRUE(nothing.text.empty());

    EXPECT_EQ(plugin->parameterLabel(0), "dB");
    EXPECT_EQ(plugin->parameterDisplay(1), "off");
    EXPECT_TRUE(plugin->setParameterText(1, "on"));
    EXPECT_EQ(plugin->parameterDisplay(1), "on");
    EXPECT_FALSE(plugin->setParameterText(0, "loud"));
    EXPECT_EQ(plugin->findParameter("invert"), 1);
    EXPECT_EQ(plugin->findParameter("Missing"), -1);
}

TEST_F(TestHostWithFake, ProgramsAreSwitchedNamedAndFound) {
    EXPECT_EQ(plugin->programNameAt(1), "Loud");
    EXPECT_EQ(plugin->findProgram("LOUD"), 1);
    EXPECT_EQ(plugin->findProgram("Quiet"), -1);
    plugin->setProgram(1);
    EXPECT_EQ(plugin->program(), 1);
    EXPECT_FLOAT_EQ(plugin->parameter(0), 1.0f);
    plugin->setProgramName(std::string(100, 'x'));
    EXPECT_EQ(plugin->programName(), std::string(63, 'x'));
    const auto requests = plugin->requests().snapshot();
    (void)requests;
}

TEST_F(TestHostWithFake, ChunksComeBackAsCopiesAndLoadBack) {
    const std::vector<uint8_t> bank = plugin->chunk(false);
    const std::vector<uint8_t> program = plugin->chunk(true);
    EXPECT_EQ(bank.size(), 24u);
    EXPECT_EQ(program.size(), 12u);
    EXPECT_EQ(bank[0], 0x3F);  // 0.5 big-endian
    plugin->setParameter(0, 0.125f);
    EXPECT_EQ(plugin->setChunk(program, true), 1);
    EXPECT_FLOAT_EQ(plugin->parameter(0), 0.5f);
    EXPECT_EQ(plugin->setChunk(std::vector<uint8_t>(5), true), 0);
}

TEST_F(TestHostWithFake, SpeakerArrangementPassesChannelCounts) {
    EXPECT_EQ(plugin->setSpeakerArrangement(2, 2), 1);
    EXPECT_EQ(plugin->setSpeakerArrangement(1, 2), 0);
}

class TestHostProcessing : public TestHostWithFake, public ::testing::WithParamInterface<int32_t> {};

TEST_P(TestHostProcessing, ReplacingAddingAndInPlaceGiveTheEffectsGain) {
    const int32_t frames = GetParam();
    plugin->open();
    plugin->resume();
    plugin->setParameter(0, 0.25f);  // gain 0.5
    const auto n = static_cast<size_t>(std::max(frames, 1));
    std::vector<float> inL(n, 1.0f), inR(n, -1.0f), outL(n, 7.0f), outR(n, 7.0f);
    float* ins[2] = {inL.data(), inR.data()};
    float* outs[2] = {outL.data(), outR.data()};

    ASSERT_TRUE(plugin->process(ProcessMode::Replacing, ins, outs, frames));
    if (frames > 0) {
        EXPECT_FLOAT_EQ(outL[n - 1], 0.5f);
        EXPECT_FLOAT_EQ(outR[0], -0.5f);
    }
    ASSERT_TRUE(plugin->process(ProcessMode::Adding, ins, outs, frames));
    if (frames > 0) {
        EXPECT_FLOAT_EQ(outL[0], 1.0f);
    }
    ASSERT_TRUE(plugin->process(ProcessMode::Replacing, ins, ins, frames));
    if (frames > 0) {
        EXPECT_FLOAT_EQ(inR[n - 1], -0.5f);
    }
    EXPECT_EQ(plugin->processedFrames(), 3 * static_cast<int64_t>(frames));
}

INSTANTIATE_TEST_SUITE_P(BlockSizes, TestHostProcessing, ::testing::Values(0, 1, 7, 512, 5000));

// Consumed inputs go to the plug-in as they are; the copying entry after it hands over copies
// again, never the arrays of an earlier consuming call.
TEST_F(TestHostWithFake, StereoRendererReadsConsumedInputsInPlaceAndCopiesOtherwise) {
    plugin->open();
    plugin->resume();
    plugin->setParameter(0, 0.25f);  // gain 0.5
    StereoRenderer renderer(*plugin, 300);
    const size_t n = 1000;  // three whole calls and a short one
    std::vector<float> inL(n, 1.0f), inR(n, -1.0f), outL(n, 7.0f), outR(n, 7.0f);
    renderer.processConsuming(inL.data(), inR.data(), outL.data(), outR.data(), static_cast<int64_t>(n));
    EXPECT_EQ(std::count(outL.begin(), outL.end(), 0.5f), static_cast<std::ptrdiff_t>(n));
    EXPECT_EQ(std::count(outR.begin(), outR.end(), -0.5f), static_cast<std::ptrdiff_t>(n));

    std::fill(inL.begin(), inL.end(), 100.0f);
    std::vector<float> left(n, 2.0f), right(n, -2.0f);
    renderer.process(left.data(), right.data(), left.data(), right.data(), static_cast<int64_t>(n));
    EXPECT_EQ(std::count(left.begin(), left.end(), 1.0f), static_cast<std::ptrdiff_t>(n));
    EXPECT_EQ(std::count(right.begin(), right.end(), -1.0f), static_cast<std::ptrdiff_t>(n));
}

TEST_F(TestHostWithFake, AnsweringTimeRequestsDuringProcessingAllocatesNothing) {
    plugin->open();
    plugin->resume();
    std::vector<float> buffer(2 * 64, 0.25f);
    float* channels[2] = {buffer.data(), buffer.data() + 64};
    flanger::testing::AllocationScope scope;
    for (int i = 0; i < 200; ++i) plugin->process(ProcessMode::Replacing, channels, channels, 64);
    EXPECT_EQ(scope.allocations(), 0);
    EXPECT_EQ(plugin->requests().count(vst::audioMasterGetTime), 200);
}

TEST(TestHostInstances, EachInstanceAnswersAndRecordsOnlyItsOwnRequests) {
    auto a = PluginInstance::load(FAKE_PLUGIN_PATH);
    auto b = PluginInstance::load(FAKE_PLUGIN_PATH);
    ASSERT_TRUE(a && b);
    a->answers().setTempo(100.0);
    b->answers().setTempo(150.0);
    a->resume();
    b->resume();
    std::vector<float> bufA(64, 1.0f), bufB(64, 1.0f);
    float* chA[2] = {bufA.data(), bufA.data() + 32};
    float* chB[2] = {bufB.data(), bufB.data() + 32};
    std::thread ta([&] {
        for (int i = 0; i < 500; ++i) a->process(ProcessMode::Replacing, chA, chA, 32);
    });
    std::thread tb([&] {
        for (int i = 0; i < 300; ++i) b->process(ProcessMode::Replacing, chB, chB, 32);
    });
    ta.join();
    tb.join();
    EXPECT_EQ(fakeReport(*a, 3), 1000);
    EXPECT_EQ(fakeReport(*b, 3), 1500);
    EXPECT_EQ(a->requests().count(vst::audioMasterGetTime), 500);
    EXPECT_EQ(b->requests().count(vst::audioMasterGetTime), 300);
    // Closing one instance leaves the other (and the shared module) working.
    EXPECT_EQ(a->close(), 1);
    EXPECT_FALSE(a->isOpen());
    EXPECT_EQ(a->dispatch(vst::effGetProgram), 0);
    EXPECT_EQ(b->programNameAt(0), "Unity");
}

TEST(RequestLogTest, CountsStayExactWhenTheLogIsFullAndUnderConcurrentAppends) {
    auto log = std::make_unique<RequestLog>();
    constexpr int kThreads = 4;
    constexpr int kEach = static_cast<int>(RequestLog::kCapacity / 2);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&log, t] {
            for (int i = 0; i < kEach; ++i)
                log->append(HostRequest{vst::audioMasterGetTime, t, i, 0.0f, false, false});
        });
    }
    for (auto& th : threads) th.join();
    EXPECT_EQ(log->count(vst::audioMasterGetTime), int64_t{kThreads} * kEach);
    EXPECT_EQ(log->snapshot().size(), RequestLog::kCapacity);
    EXPECT_EQ(log->dropped(), int64_t{kThreads} * kEach - static_cast<int64_t>(RequestLog::kCapacity));

    log->clear();
    EXPECT_EQ(log->total(), 0);
    log->append(HostRequest{1000, 1, 2, 0.5f, true, false});
    EXPECT_EQ(log->count(1000), 1);
    ASSERT_EQ(log->snapshot().size(), 1u);
    EXPECT_FLOAT_EQ(log->snapshot()[0].opt, 0.5f);
}

// A third-party module from Debian, so the host is not only checked against our own code.
TEST(TestHostThirdParty, DrivesADebianStereoEffect) {
    const char* path = "/usr/lib/vst/PingPongPan-vst.so";
    if (!std::filesystem::exists(path)) GTEST_SKIP() << path << " is not installed (package dpf-plugins-vst)";
    std::string error;
    auto plugin = PluginInstance::load(path, {}, &error);
    ASSERT_NE(plugin, nullptr) << error;
    EXPECT_EQ(plugin->inputCount(), 2);
    EXPECT_EQ(plugin->outputCount(), 2);
    EXPECT_TRUE(plugin->hasFlag(vst::effFlagsCanReplacing));
    EXPECT_EQ(plugin->parameterName(0), "Frequency");
    EXPECT_GE(plugin->requests().count(vst::audioMasterVersion), 1);
    plugin->open();
    plugin->resume();
    std::vector<float> inL(1024), inR(1024), outL(1024, 9.0f), outR(1024, 9.0f);
    for (size_t i = 0; i < inL.size(); ++i) inL[i] = inR[i] = 0.5f * std::sin(0.05f * static_cast<float>(i));
    float* ins[2] = {inL.data(), inR.data()};
    float* outs[2] = {outL.data(), outR.data()};
    for (int32_t frames : {1, 100, 923}) {
        ASSERT_TRUE(plugin->process(ProcessMode::Replacing, ins, outs, frames));
    }
    double energy = 0.0;
    for (size_t i = 0; i < 923; ++i) {
        ASSERT_TRUE(std::isfinite(outL[i]) && std::isfinite(outR[i]));
        energy += outL[i] * outL[i] + outR[i] * outR[i];
    }
    EXPECT_GT(energy, 1.0);
    plugin->suspend();
    EXPECT_NO_THROW(plugin->close());
}

}  // namespace

namespace {

TEST_F(TestHostWithFake, NullEffectCallsDuringAHostCallAreAnsweredAndRecordedForThatInstance) {
    plugin->requests().clear();
    EXPECT_EQ(fakeReport(*plugin, 7), 2400);
    EXPECT_EQ(plugin->requests().count(vst::audioMasterVersion), 1);
}

TEST_F(TestHostWithFake, IdleCanCallEditIdleBackFromInsideIt) {
    fakeReport(*plugin, 5);
    EXPECT_EQ(fakeReport(*plugin, 6), 0);
    plugin->answers().setIdleCallsEditIdle(true);
    fakeReport(*plugin, 5);
    EXPECT_EQ(fakeReport(*plugin, 6), 1);
    EXPECT_EQ(plugin->requests().count(vst::audioMasterIdle), 2);
}

}  // namespace

namespace {

class TestHostStartOrders : public TestHostWithFake, public ::testing::WithParamInterface<HostStyle> {};

TEST_P(TestHostStartOrders, LeaveThePluginConfiguredAndResumed) {
    plugin->setBlockSize(256);
    plugin->setSampleRate(96000.0f);
    plugin->startLike(GetParam());
    EXPECT_EQ(fakeReport(*plugin, 1), 256);
    EXPECT_EQ(fakeReport(*plugin, 2), 96000);
    EXPECT_EQ(fakeReport(*plugin, 4), 1);
    std::vector<float> buffer(64, 1.0f);
    float* channels[2] = {buffer.data(), buffer.data() + 32};
    EXPECT_TRUE(plugin->process(ProcessMode::Replacing, channels, channels, 32));
}

INSTANTIATE_TEST_SUITE_P(Hosts, TestHostStartOrders,
                         ::testing::Values(HostStyle::Plain, HostStyle::ConfigureFirst, HostStyle::Ardour));

}  // namespace

namespace {

TEST_F(TestHostWithFake, CanProcessWithSubnormalsFlushedAndRestoresTheCallersMode) {
    plugin->open();
    plugin->resume();
    const float tiny = 1e-39f;  // subnormal
    std::vector<float> in(8, tiny), out(8, 1.0f);
    float* ins[2] = {in.data(), in.data() + 4};
    float* outs[2] = {out.data(), out.data() + 4};
    plugin->process(ProcessMode::Replacing, ins, outs, 4);
    EXPECT_EQ(out[0], tiny);  // gain 1.0 at the default
    plugin->setFlushSubnormals(true);
    plugin->process(ProcessMode::Replacing, ins, outs, 4);
    EXPECT_EQ(out[0], 0.0f);
    volatile float still = tiny;
    EXPECT_EQ(still * 1.0f, tiny);  // this thread's own mode is untouched
}

}  // namespace
