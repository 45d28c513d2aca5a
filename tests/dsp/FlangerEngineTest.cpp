// The engine: parameter application, tempo sync, chunking of host calls, channel counts, bad
// input, silence after loud input, allocation-free processing and its size.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <vector>

#if defined(__SSE__)
#include <xmmintrin.h>
#endif

#include "dsp/FlangerEngine.h"
#include "params/FlangerParameters.h"
#include "tests/support/AllocationCounter.h"
#include "tests/support/TestSignals.h"

namespace flanger::dsp {
namespace {

using params::FlangerParameters;

bool wellFormed(float v) {
    return std::isfinite(v) && (v == 0.0f || std::fabs(v) >= FLT_MIN);
}

// Host-side buffers: `channels` arrays of `frames` samples with guard zones around them, so a
// write outside the host's arrays shows up.
class HostBuffers {
public:
    static constexpr int kGuard = 64;
    static constexpr float kGuardValue = 12345.0f;

    HostBuffers(int channels, int frames, float value = 0.0f) : count(frames) {
        for (int c = 0; c < channels; ++c) {
            storage.emplace_back(static_cast<size_t>(frames + 2 * kGuard), kGuardValue);
            std::fill(storage.back().begin() + kGuard, storage.back().end() - kGuard, value);
        }
        for (auto& s : storage) pointers.push_back(s.data() + kGuard);
        pointers.push_back(nullptr);  // never read: one past the channels
    }
    float** get() { return pointers.data(); }
    float* channel(int c) { return pointers[static_cast<size_t>(c)]; }
    bool guardsIntact() const {
        for (const auto& s : storage) {
            for (int i = 0; i < kGuard; ++i)
                if (s[static_cast<size_t>(i)] != kGuardValue ||
                    s[s.size() - 1 - static_cast<size_t>(i)] != kGuardValue)
                    return false;
        }
        return true;
    }
    void fillNoise(testing::Noise& noise, float amplitude = 0.5f) {
        for (size_t c = 0; c + 1 < pointers.size(); ++c)
            for (int i = 0; i < count; ++i) pointers[c][i] = noise.uniform() * amplitude;
    }

private:
    int count;
    std::vector<std::vector<float>> storage;
    std::vector<float*> pointers;
};

class FlangerEngineTest : public ::testing::Test {
protected:
    void SetUp() override {
        engine.resume();
        engine.applyParameters(&parameters);
    }
    // Runs `blocks` blocks of noise through the engine; answers the last block's left output.
    std::vector<float> run(int blocks, int frames = 512) {
        HostBuffers in(2, frames), out(2, frames);
        for (int b = 0; b < blocks; ++b) {
            in.fillNoise(noise);
            engine.applyParameters(&parameters);
            engine.processHost(in.get(), out.get(), frames, 0);
        }
        return std::vector<float>(out.channel(0), out.channel(0) + frames);
    }

    FlangerParameters parameters;
    FlangerEngine engine{2, 44100.0, 2, 512};
    testing::Noise noise{17};
};

TEST_F(FlangerEngineTest, FirstApplyTakesEveryParameterButTheFoldedOnes) {
    EXPECT_EQ(engine.mixPercentNow(), 50.0f);
    EXPECT_EQ(engine.outputLevelNow(), 1.0f);
    EXPECT_FALSE(engine.tempoSynced());
    // SyncBeat and TmpSync are not the engine's: their flags stay raised.
    EXPECT_EQ(parameters.changedCount(), 2);
    EXPECT_TRUE(parameters.isChanged(FlangerParameters::kSyncBeat));
    EXPECT_TRUE(parameters.isChanged(FlangerParameters::kTmpSync));
}

TEST_F(FlangerEngineTest, DelayHundredDepthFiftyGiveSpans220And265) {
    parameters.setPlain(FlangerParameters::kDelay, 100.0f);
    parameters.setPlain(FlangerParameters::kDepth, 50.0f);
    engine.applyParameters(&parameters);
    EXPECT_EQ(engine.main().left().delaySpan(), 220);
    EXPECT_EQ(engine.main().right().delaySpan(), 220);
    EXPECT_EQ(engine.main().left().sweepDepth(), 0.5f);
    EXPECT_EQ(engine.main().right().sweepDepth(), 0.5f * 1.1f);
    EXPECT_EQ(engine.second().left().delaySpan(), 265);  // asks for 50 ms
    EXPECT_EQ(engine.second().left().sweepDepth(), 0.9f);
}

TEST_F(FlangerEngineTest, FeedbackFromTheTableIsCappedAtPoint9) {
    parameters.setPlain(FlangerParameters::kFeedback, 100.0f);
    engine.applyParameters(&parameters);
    EXPECT_EQ(engine.main().feedbackGain(), 0.9f);
    EXPECT_EQ(engine.second().feedbackGain(), 0.9f);
    parameters.setPlain(FlangerParameters::kFeedback, -50.0f);
    engine.applyParameters(&parameters);
    EXPECT_EQ(engine.main().feedbackGain(), 0.0f);
}

TEST_F(FlangerEngineTest, FreeRateSetsSweepsAndPanner) {
    parameters.setPlain(FlangerParameters::kRate, 2.0f);
    engine.applyParameters(&parameters);
    EXPECT_EQ(engine.main().left().oscillator().frequencyHz(), 5.0f * (2.0f * 0.2f));
    EXPECT_EQ(engine.second().left().oscillator().frequencyHz(), 5.0f * (2.0f * 0.05f));
    EXPECT_EQ(engine.pan().frequencyHz(), 2.0f * 0.2f);
}

TEST_F(FlangerEngineTest, SwitchOnTakesTheRateFromBeatsPerCycleAndTempo) {
    engine.setTempo(120.0);
    parameters.setPlain(FlangerParameters::kBeatsPerCycle, 1.0f);  // "1/4" × 1
    parameters.setPlain(FlangerParameters::kSwitch, 1.0f);
    engine.applyParameters(&parameters);
    ASSERT_TRUE(engine.tempoSynced());
    EXPECT_EQ(engine.beatsPerSecondNow(), 1.99999992f);
    const float q = 1.99999992f / 1.0f * 0.2f;
    EXPECT_EQ(engine.main().left().oscillator().frequencyHz(), 5.0f * q);
    EXPECT_NEAR(engine.main().left().oscillator().frequencyHz(), 2.0f, 1e-6f);
    // The second voice follows the formula: a twentieth of the main rate.
    EXPECT_EQ(engine.second().left().oscillator().frequencyHz(), 5.0f * (q * 0.05f));
    EXPECT_NEAR(engine.pan().frequencyHz(), 0.08f, 1e-6f);
    // Rate changes while synced are taken and ignored.
    parameters.setPlain(FlangerParameters::kRate, 4.0f);
    engine.applyParameters(&parameters);
    EXPECT_FALSE(parameters.isChanged(FlangerParameters::kRate));
    EXPECT_EQ(engine.main().left().oscillator().frequencyHz(), 5.0f * q);
}

TEST_F(FlangerEngineTest, RepeatedTempoRecomputesOnce) {
    parameters.setPlain(FlangerParameters::kSwitch, 1.0f);
    engine.applyParameters(&parameters);
    engine.setTempo(120.0);
    const uint64_t counter = engine.main().left().oscillator().sampleCounter();
    const float hz = engine.main().left().oscillator().frequencyHz();
    run(1);
    const uint64_t after = engine.main().left().oscillator().sampleCounter();
    engine.setTempo(120.0);  // the same tempo: nothing is recomputed, the counter runs on
    EXPECT_EQ(engine.main().left().oscillator().sampleCounter(), after);
    EXPECT_EQ(engine.main().left().oscillator().frequencyHz(), hz);
    EXPECT_EQ(after, counter + 512);
    engine.setTempo(90.0);
    EXPECT_NE(engine.main().left().oscillator().frequencyHz(), hz);
    engine.setTempo(-5.0);
    engine.setTempo(NAN);
    EXPECT_EQ(engine.beatsPerSecondNow(), static_cast<float>(90.0 * 0.016666666));
}

TEST_F(FlangerEngineTest, UnusableBeatsPerCycleKeepThePreviousRate) {
    parameters.setPlain(FlangerParameters::kSwitch, 1.0f);
    engine.applyParameters(&parameters);
    const float hz = engine.main().left().oscillator().frequencyHz();
    for (float bad : {0.0f, -2.0f, NAN, INFINITY}) {
        parameters.setPlain(FlangerParameters::kBeatsPerCycle, bad);
        engine.applyParameters(&parameters);
        EXPECT_EQ(engine.main().left().oscillator().frequencyHz(), hz);
        EXPECT_EQ(engine.beatsPerCycleNow(), 1.0f);
    }
    parameters.setPlain(FlangerParameters::kBeatsPerCycle, 2.0f);
    engine.applyParameters(&parameters);
    EXPECT_EQ(engine.beatsPerCycleNow(), 2.0f);
}

TEST_F(FlangerEngineTest, ShapeSyncZeroTurnsAtTheEarliestPoint) {
    EXPECT_NEAR(engine.main().left().oscillator().turningPoint(), 0.0296f, 1e-7f);
    parameters.setPlain(FlangerParameters::kShapeSync, 8.0f);
    engine.applyParameters(&parameters);
    EXPECT_EQ(engine.main().left().oscillator().turningPoint(), 0.5f);
    EXPECT_EQ(engine.second().left().oscillator().turningPoint(), 0.5f);  // never set
    parameters.setPlain(FlangerParameters::kShapeSync, 16.0f);
    engine.applyParameters(&parameters);
    EXPECT_NEAR(engine.main().left().oscillator().turningPoint(), 0.9704f, 1e-6f);
}

TEST_F(FlangerEngineTest, NewEngineIsSilentForItsFirstChunkThenFadesIn) {
    FlangerEngine fresh(2, 44100.0, 2, 512);
    FlangerParameters table;
    fresh.applyParameters(&table);
    HostBuffers in(2, 1024, 0.5f), out(2, 1024, 7.0f);
    fresh.processHost(in.get(), out.get(), 1024, 0);
    // Silence: the main core's exact zeros plus the panner's 1e-30 offset.
    for (int i = 0; i < 512; ++i) ASSERT_LT(std::fabs(out.channel(0)[i]), 1e-29f) << i;
    EXPECT_NE(out.channel(0)[700], 0.0f);
    EXPECT_NEAR(fresh.main().output().value(), 1.0f, 1e-5f);
}

TEST_F(FlangerEngineTest, MixZeroDeliversTheDrySignalWithoutTheSecondVoice) {
    parameters.setPlain(FlangerParameters::kMix, 0.0f);
    run(4);
    HostBuffers in(2, 512), out(2, 512);
    in.fillNoise(noise);
    engine.processHost(in.get(), out.get(), 512, 0);
    const float g = engine.main().output().value();
    const float d = engine.main().dry().value();
    for (int i = 0; i < 512; ++i) {
        EXPECT_EQ(out.channel(0)[i], (0.0f + d * in.channel(0)[i]) * g);
        EXPECT_EQ(out.channel(1)[i], (0.0f + d * in.channel(1)[i]) * g);
    }
}

TEST_F(FlangerEngineTest, MixAboveZeroAddsTheSecondVoice) {
    // Input on the left only: the main core's right channel stays silent (its right line hears
    // nothing), so what the right output carries is the second voice panned across.
    auto rightEnergy = [this](float mix) {
        FlangerEngine e(2, 44100.0, 2, 512);
        FlangerParameters table;
        table.setPlain(FlangerParameters::kMix, mix);
        table.setPlain(FlangerParameters::kStereo, 50.0f);  // width 1: no mid/side mixing
        e.applyParameters(&table);
        HostBuffers in(2, 512), out(2, 512);
        double energy = 0.0;
        for (int b = 0; b < 8; ++b) {
            in.fillNoise(noise);
            std::fill(in.channel(1), in.channel(1) + 512, 0.0f);
            e.processHost(in.get(), out.get(), 512, 0);
            for (int i = 0; i < 512; ++i)
                energy += static_cast<double>(out.channel(1)[i]) * out.channel(1)[i];
        }
        return energy;
    };
    EXPECT_GT(rightEnergy(1.0f), 10.0);
    EXPECT_GT(rightEnergy(100.0f), 10.0);
    EXPECT_LT(rightEnergy(0.0f), 1e-20);
}

TEST_F(FlangerEngineTest, OutputZeroDeliversSilence) {
    parameters.setPlain(FlangerParameters::kOutput, 0.0f);
    run(4);
    const std::vector<float> last = run(1);
    for (float v : last) EXPECT_EQ(v, 0.0f);
}

TEST_F(FlangerEngineTest, AddingModeAddsOnTopOfTheOutputs) {
    FlangerEngine twin(2, 44100.0, 2, 512);
    FlangerParameters table;
    twin.applyParameters(&table);
    run(2);
    testing::Noise a(5);
    HostBuffers in(2, 512), written(2, 512), added(2, 512, 0.25f);
    for (int b = 0; b < 2; ++b) {
        in.fillNoise(a);
        twin.processHost(in.get(), written.get(), 512, 0);
    }
    // A second engine in the same state, run in adding mode.
    FlangerEngine adding(2, 44100.0, 2, 512);
    FlangerParameters other;
    adding.applyParameters(&other);
    testing::Noise b2(5);
    for (int b = 0; b < 2; ++b) {
        in.fillNoise(b2);
        std::fill(added.channel(0), added.channel(0) + 512, 0.25f);
        std::fill(added.channel(1), added.channel(1) + 512, 0.25f);
        adding.processHost(in.get(), added.get(), 512, 1);
    }
    for (int i = 0; i < 512; ++i) EXPECT_NEAR(added.channel(0)[i], 0.25f + written.channel(0)[i], 1e-6f);
}

class EngineBlockSizes : public ::testing::TestWithParam<int> {};

TEST_P(EngineBlockSizes, AnyHostBlockSoundsLikeOneLongCallOnceTheRampsSettle) {
    // While a gain ramps, each call's first tick decides whether that call is heard, so the
    // split matters then; once the ramps have settled it must not.
    const int hostBlock = GetParam();
    FlangerParameters tableA, tableB;
    FlangerEngine a(2, 44100.0, 2, 256), b(2, 44100.0, 2, 256);
    a.applyParameters(&tableA);
    b.applyParameters(&tableB);
    testing::Noise noise(31);
    HostBuffers warm(2, 1024), warmOut(2, 1024);
    warm.fillNoise(noise);
    a.processHost(warm.get(), warmOut.get(), 1024, 0);
    b.processHost(warm.get(), warmOut.get(), 1024, 0);
    const int total = 256 * 9 + 17;
    HostBuffers in(2, total), outA(2, total), outB(2, total);
    in.fillNoise(noise);
    a.processHost(in.get(), outA.get(), total, 0);
    for (int start = 0; start < total; start += hostBlock) {
        const int n = std::min(hostBlock, total - start);
        float* ins[2] = {in.channel(0) + start, in.channel(1) + start};
        float* outs[2] = {outB.channel(0) + start, outB.channel(1) + start};
        b.processHost(ins, outs, n, 0);
        b.processHost(ins, outs, 0, 0);  // 0-frame calls change nothing
    }
    for (int i = 0; i < total; ++i) {
        ASSERT_EQ(outA.channel(0)[i], outB.channel(0)[i]) << i;
        ASSERT_EQ(outA.channel(1)[i], outB.channel(1)[i]) << i;
    }
    EXPECT_TRUE(outB.guardsIntact());
}

INSTANTIATE_TEST_SUITE_P(Sizes, EngineBlockSizes, ::testing::Values(1, 2, 3, 17, 255, 256, 257, 512, 1000));

TEST_F(FlangerEngineTest, ZeroFramesAndNullArraysTouchNothing) {
    HostBuffers in(2, 16, 1.0f), out(2, 16, 3.0f);
    engine.processHost(in.get(), out.get(), 0, 0);
    engine.processHost(in.get(), out.get(), -7, 0);
    engine.processHost(nullptr, out.get(), 16, 0);
    engine.processHost(in.get(), nullptr, 16, 0);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(out.channel(0)[i], 3.0f);
    EXPECT_TRUE(out.guardsIntact());
}

struct ChannelCase {
    int inputs;
    int outputs;
};

class EngineChannels : public ::testing::TestWithParam<ChannelCase> {};

TEST_P(EngineChannels, NeverReachesPastTheHostArrays) {
    const ChannelCase c = GetParam();
    FlangerEngine e(c.inputs, 44100.0, c.outputs, 128);
    FlangerParameters table;
    e.applyParameters(&table);
    const int expectedOutputs = std::clamp(c.outputs == 0 ? c.inputs : c.outputs, 0, 2);
    EXPECT_EQ(e.outputs(), expectedOutputs);
    testing::Noise noise(3);
    // Exactly as many arrays as the engine was built for; the entry after them is null.
    HostBuffers in(std::clamp(c.inputs, 0, 2), 300), out(expectedOutputs, 300);
    for (int b = 0; b < 6; ++b) {
        in.fillNoise(noise);
        e.processHost(in.get(), out.get(), 300, b % 2);
    }
    EXPECT_TRUE(in.guardsIntact());
    EXPECT_TRUE(out.guardsIntact());
    for (int ch = 0; ch < expectedOutputs; ++ch)
        for (int i = 0; i < 300; ++i) ASSERT_TRUE(wellFormed(out.channel(ch)[i]));
    if (c.inputs > 0 && expectedOutputs > 0) {
        EXPECT_NE(out.channel(0)[299], 0.0f);
    }
}

INSTANTIATE_TEST_SUITE_P(Counts, EngineChannels,
                         ::testing::Values(ChannelCase{2, 2}, ChannelCase{1, 2}, ChannelCase{1, 1},
                                           ChannelCase{2, 1}, ChannelCase{0, 2}, ChannelCase{0, 1},
                                           ChannelCase{0, 0}, ChannelCase{2, 0}, ChannelCase{1, 0},
                                           ChannelCase{5, 7}, ChannelCase{-1, -1}));

TEST_F(FlangerEngineTest, InPlaceSoundsExactlyAsSeparateArrays) {
    FlangerEngine twin(2, 44100.0, 2, 512);
    FlangerParameters table;
    twin.applyParameters(&table);
    testing::Noise a(8), b(8);
    for (int block = 0; block < 10; ++block) {
        HostBuffers in(2, 700), out(2, 700), io(2, 700);
        in.fillNoise(a);
        io.fillNoise(b);
        engine.processHost(in.get(), out.get(), 700, 0);
        twin.processHost(io.get(), io.get(), 700, 0);
        for (int i = 0; i < 700; ++i) {
            ASSERT_EQ(io.channel(0)[i], out.channel(0)[i]);
            ASSERT_EQ(io.channel(1)[i], out.channel(1)[i]);
        }
    }
}

TEST_F(FlangerEngineTest, NonFiniteInputIsSilenceAndDoesNotPoisonTheLoop) {
    FlangerEngine clean(2, 44100.0, 2, 512);
    FlangerParameters table;
    clean.applyParameters(&table);
    testing::Noise a(4), b(4);
    for (int block = 0; block < 20; ++block) {
        HostBuffers dirty(2, 512), tidy(2, 512), outDirty(2, 512), outTidy(2, 512);
        dirty.fillNoise(a);
        tidy.fillNoise(b);
        if (block == 3) {
            // One block with bad samples: in the clean twin they are silence.
            const float bad[] = {NAN, INFINITY, -INFINITY, 3e38f, 1e-40f};
            for (int k = 0; k < 5; ++k) {
                dirty.channel(k % 2)[100 + k] = bad[k];
                tidy.channel(k % 2)[100 + k] = 0.0f;
            }
        }
        engine.processHost(dirty.get(), outDirty.get(), 512, 0);
        clean.processHost(tidy.get(), outTidy.get(), 512, 0);
        for (int i = 0; i < 512; ++i) {
            ASSERT_TRUE(wellFormed(outDirty.channel(0)[i]));
            ASSERT_EQ(outDirty.channel(0)[i], outTidy.channel(0)[i]);
            ASSERT_EQ(outDirty.channel(1)[i], outTidy.channel(1)[i]);
        }
    }
}

TEST_F(FlangerEngineTest, MinuteOfSilenceAfterLoudInputStaysNormalAndFinite) {
    parameters.setPlain(FlangerParameters::kFeedback, 90.0f);
    parameters.setPlain(FlangerParameters::kMix, 100.0f);
    engine.applyParameters(&parameters);
    HostBuffers in(2, 512), out(2, 512);
    for (int b = 0; b < 100; ++b) {
        in.fillNoise(noise, 1.0f);
        engine.processHost(in.get(), out.get(), 512, 0);
    }
    std::fill(in.channel(0), in.channel(0) + 512, 0.0f);
    std::fill(in.channel(1), in.channel(1) + 512, 0.0f);
    for (int b = 0; b < 44100 * 60 / 512; ++b) {
        engine.processHost(in.get(), out.get(), 512, 0);
        for (int c = 0; c < 2; ++c)
            for (int i = 0; i < 512; ++i)
                ASSERT_TRUE(wellFormed(out.channel(c)[i])) << b << " " << i << " " << out.channel(c)[i];
    }
    // Decayed to the floor the 1e-30 offsets keep, not into subnormal numbers.
    EXPECT_LT(std::fabs(out.channel(0)[511]), 1e-20f);
    EXPECT_EQ(engine.main().leftState(), 0.0f);
    EXPECT_EQ(engine.main().rightState(), 0.0f);
}

TEST(FlangerEngineConstruction, BadBlockLengthsAndRatesAreClamped) {
    FlangerEngine zeroBlock(2, 44100.0, 2, 0);
    EXPECT_EQ(zeroBlock.blockLength(), 1);
    FlangerEngine negativeBlock(2, 44100.0, 2, -100);
    EXPECT_EQ(negativeBlock.blockLength(), 1);
    for (double rate : {0.0, -48000.0, static_cast<double>(NAN), static_cast<double>(INFINITY)}) {
        FlangerEngine e(2, rate, 2, 64);
        EXPECT_TRUE(e.sampleRateHz() == 44100.0 || e.sampleRateHz() == FlangerBlock::kMaxSampleRate) << rate;
    }
    EXPECT_FALSE(FlangerBlock::supportsSampleRate(0.0));
    EXPECT_FALSE(FlangerBlock::supportsSampleRate(NAN));
    EXPECT_TRUE(FlangerBlock::supportsSampleRate(44100.0));
    FlangerEngine slow(2, 50.0, 2, 64);  // maxDelay would round to 0
    EXPECT_EQ(slow.main().left().maxDelaySamples(), 1);
    FlangerParameters table;
    slow.applyParameters(&table);
    HostBuffers in(2, 1000, 0.5f), out(2, 1000);
    slow.processHost(in.get(), out.get(), 1000, 0);
    slow.processHost(in.get(), out.get(), 1000, 0);
    zeroBlock.applyParameters(&table);
    zeroBlock.processHost(in.get(), out.get(), 1000, 0);
    for (int i = 0; i < 1000; ++i) EXPECT_TRUE(wellFormed(out.channel(0)[i]));
    FlangerEngine fast(2, 400000.0, 2, 64);
    EXPECT_EQ(fast.main().left().maxDelaySamples(), 2400);
}

TEST_F(FlangerEngineTest, NonFiniteParameterValuesAreTakenAndIgnored) {
    for (int index = 0; index < FlangerParameters::kParameterCount; ++index) parameters.setPlain(index, NAN);
    engine.applyParameters(&parameters);
    EXPECT_EQ(engine.mixPercentNow(), 50.0f);
    EXPECT_EQ(engine.outputLevelNow(), 1.0f);
    const std::vector<float> last = run(3);
    for (float v : last) EXPECT_TRUE(wellFormed(v));
}

TEST_F(FlangerEngineTest, ResumeAndSuspendClearOnlyTheMainCore) {
    run(4);
    engine.suspend();
    EXPECT_EQ(engine.main().leftState(), 0.0f);
    EXPECT_EQ(engine.main().left().history(1), 0.0f);
    EXPECT_NE(engine.second().left().history(1), 0.0f);
    EXPECT_EQ(engine.latency(), 0);
    EXPECT_EQ(engine.queryIndexed(3), 0);
    engine.parameterHook(&parameters);  // does nothing
}

TEST_F(FlangerEngineTest, ClearingTheHistorySilencesBothVoicesAndKeepsTheSweeps) {
    run(4);
    const double sweep = engine.main().left().oscillator().phaseNow();
    engine.clearHistory();
    EXPECT_EQ(engine.main().left().history(1), 0.0f);
    EXPECT_EQ(engine.second().left().history(1), 0.0f);
    EXPECT_EQ(engine.main().left().oscillator().phaseNow(), sweep);
}

TEST_F(FlangerEngineTest, TinyInputsNeverGiveSubnormalOutputs) {
    // Small gains on normal but tiny samples would land in the subnormal range; processing runs
    // with such results flushed, whatever mode the host's thread is in.
    // Dry only (the lines' 1e-30 offsets would otherwise lift everything), 1 % output gain.
    parameters.setPlain(FlangerParameters::kMix, 0.0f);
    parameters.setPlain(FlangerParameters::kOutput, 1.0f);
    engine.applyParameters(&parameters);
    HostBuffers in(2, 512), out(2, 512);
    for (int b = 0; b < 20; ++b) {
        for (int c = 0; c < 2; ++c)
            for (int i = 0; i < 512; ++i)
                in.channel(c)[i] = (noise.uniform() + 1.5f) * 2e-38f * (c ? -1.0f : 1.0f);
        engine.processHost(in.get(), out.get(), 512, 0);
        for (int c = 0; c < 2; ++c)
            for (int i = 0; i < 512; ++i) ASSERT_TRUE(wellFormed(out.channel(c)[i])) << out.channel(c)[i];
    }
}

#if defined(__SSE__)
TEST_F(FlangerEngineTest, ProcessingRestoresTheCallersFloatingPointMode) {
    const unsigned before = _mm_getcsr();
    run(2);
    EXPECT_EQ(_mm_getcsr(), before);
}
#endif

TEST_F(FlangerEngineTest, ProcessingAllocatesNothing) {
    HostBuffers in(2, 2048), out(2, 2048);
    in.fillNoise(noise);
    testing::AllocationScope scope;
    for (int b = 0; b < 50; ++b) {
        parameters.setPlain(FlangerParameters::kRate, static_cast<float>(b % 5));
        parameters.setPlain(FlangerParameters::kSwitch, static_cast<float>(b % 2));
        parameters.setPlain(FlangerParameters::kMix, static_cast<float>(b * 2));
        engine.setTempo(100.0 + b);
        engine.applyParameters(&parameters);
        engine.processHost(in.get(), out.get(), 1 + (b * 97) % 2048, b % 2);
        engine.processHost(in.get(), in.get(), 512, 0);
    }
    engine.suspend();
    engine.resume();
    EXPECT_EQ(scope.allocations(), 0);
}

TEST(FlangerEngineMemory, StaysUnder64KiBAtBlockSize1024) {
    testing::AllocationScope scope;
    FlangerEngine engine(2, 44100.0, 2, 1024);
    const int64_t heap = scope.bytes();
    const size_t total = sizeof(FlangerEngine) + static_cast<size_t>(heap);
    EXPECT_GE(static_cast<size_t>(heap), engine.heapBytes());
    EXPECT_LT(total, 64u * 1024u);
    RecordProperty("bytesPerEngine", static_cast<int>(total));
}

}  // namespace
}  // namespace flanger::dsp
