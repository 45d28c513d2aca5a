// One engine on the audio path while other threads write parameters, load "programs" and tick
// the editor counters continuously. Run under ThreadSanitizer in CI (ctest -R Thread): it
// must finish without a report, and no change may be lost.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <thread>
#include <vector>

#include "dsp/FlangerEngine.h"
#include "params/FlangerParameters.h"
#include "tests/support/TestSignals.h"

namespace flanger::dsp {
namespace {

using params::FlangerParameters;

TEST(EngineThreadTest, ParametersWrittenWhileProcessingAreRaceFreeAndNeverLost) {
    FlangerParameters parameters;
    FlangerEngine engine(2, 44100.0, 2, 256);
    engine.resume();
    engine.applyParameters(&parameters);

    constexpr int kWrites = 20000;
    constexpr int kBlocks = 300;
    constexpr int kMostWrites = 20000000;  // a bound, whatever the scheduling
    std::atomic<bool> writerDone{false};
    std::atomic<int> blocksDone{0};
    std::thread writer([&] {
        testing::Noise noise(77);
        // Writes go on until the audio thread has run a good number of blocks among them.
        for (int i = 0;
             i < kMostWrites && (i < kWrites || blocksDone.load(std::memory_order_relaxed) < kBlocks); ++i) {
            const int index = i % FlangerParameters::kHostParameterCount;
            if (i % 3 == 0)
                parameters.setNormalized(index, noise.uniform() * 0.5f + 0.5f);
            else
                parameters.setPlain(index, parameters.denormalize(index, noise.uniform() * 0.5f + 0.5f));
            if (i % 97 == 0) {
                // A program load: raised while a batch of values goes in.
                parameters.raiseBulkLoad();
                for (int k = 0; k < FlangerParameters::kHostParameterCount; ++k)
                    parameters.setNormalized(k, parameters.peekNormalized(k));
                parameters.setPlain(FlangerParameters::kBeatsPerCycle, 0.25f + static_cast<float>(i % 8));
                parameters.lowerBulkLoad();
            }
            if (i % 53 == 0) {
                parameters.setEditorFlag(true);
                parameters.setEditorCounter(i % 3);
            }
        }
        // The last word on the rate, which processing must pick up.
        parameters.setPlain(FlangerParameters::kSwitch, 0.0f);
        parameters.setPlain(FlangerParameters::kRate, 3.25f);
        writerDone.store(true, std::memory_order_release);
    });

    testing::Noise noise(5);
    std::vector<float> left(256), right(256), outLeft(256), outRight(256);
    int blocks = 0;
    bool finite = true;
    auto processOnce = [&] {
        for (int i = 0; i < 256; ++i) {
            left[i] = noise.uniform() * 0.5f;
            right[i] = noise.uniform() * 0.5f;
        }
        float* in[2] = {left.data(), right.data()};
        float* out[2] = {outLeft.data(), outRight.data()};
        engine.setTempo(120.0 + blocks % 7);
        if (parameters.bulkLoadCount() <= 0) engine.applyParameters(&parameters);
        engine.processHost(in, out, 256, blocks % 2);
        if (parameters.editorFlag() && parameters.editorCounter() <= 0) {
            engine.parameterHook(&parameters);
            parameters.setEditorFlag(false);
        }
        for (int i = 0; i < 256; ++i)
            finite = finite && std::isfinite(outLeft[i]) && std::isfinite(outRight[i]);
        ++blocks;
        blocksDone.store(blocks, std::memory_order_relaxed);
    };
    while (!writerDone.load(std::memory_order_acquire)) processOnce();
    writer.join();
    processOnce();

    EXPECT_GE(blocks, kBlocks);
    EXPECT_TRUE(finite);
    EXPECT_FALSE(parameters.isChanged(FlangerParameters::kRate));
    EXPECT_EQ(engine.main().left().oscillator().frequencyHz(), 5.0f * (3.25f * 0.2f));
}

TEST(ParameterTableThreadTest, TakerSeesTheLastValueOfEveryWriter) {
    FlangerParameters parameters;
    parameters.clearAllChanged();
    constexpr int kValues = 50000;
    std::atomic<int> finished{0};
    auto write = [&](int index) {
        for (int v = 1; v <= kValues; ++v) parameters.setPlain(index, static_cast<float>(v));
        finished.fetch_add(1, std::memory_order_release);
    };
    std::thread first(write, FlangerParameters::kFeedback);
    std::thread second(write, FlangerParameters::kDepth);
    float lastFeedback = 0.0f, lastDepth = 0.0f;
    auto take = [&] {
        if (parameters.changedCount() <= 0) return;
        if (parameters.isChanged(FlangerParameters::kFeedback))
            lastFeedback = parameters.takePlain(FlangerParameters::kFeedback);
        if (parameters.isChanged(FlangerParameters::kDepth))
            lastDepth = parameters.takePlain(FlangerParameters::kDepth);
    };
    while (finished.load(std::memory_order_acquire) < 2) take();
    first.join();
    second.join();
    take();
    EXPECT_EQ(lastFeedback, static_cast<float>(kValues));
    EXPECT_EQ(lastDepth, static_cast<float>(kValues));
    EXPECT_EQ(parameters.changedCount(), 0);
}

TEST(ParameterTableThreadTest, ChangedCountMatchesTheFlagsAfterConcurrentMarkingAndClearing) {
    FlangerParameters parameters;
    std::atomic<bool> go{true};
    std::thread marker([&] {
        for (int i = 0; i < 100000; ++i) parameters.markChanged(i % FlangerParameters::kParameterCount);
        go.store(false, std::memory_order_release);
    });
    while (go.load(std::memory_order_acquire))
        for (int k = 0; k < FlangerParameters::kParameterCount; ++k) parameters.clearChanged(k);
    marker.join();
    int flags = 0;
    for (int k = 0; k < FlangerParameters::kParameterCount; ++k) flags += parameters.isChanged(k) ? 1 : 0;
    EXPECT_EQ(parameters.changedCount(), flags);
}

}  // namespace
}  // namespace flanger::dsp
