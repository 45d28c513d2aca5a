// The product's engine against the literal model, sample by sample over long runs: every
// routine, sample rates, parameter changes mid-run (rates, shape, delay, depth), tempo sync on
// and off, host blocks that vary, in place and adding.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "dsp/FlangerEngine.h"
#include "params/FlangerParameters.h"
#include "tests/dsp/LiteralReference.h"
#include "tests/support/TestSignals.h"

namespace flanger::dsp {
namespace {

using params::FlangerParameters;

struct Scenario {
    std::string name;
    int inputs;
    int outputs;
    double rate;
    int blockLength;
    double seconds;
    bool inPlace;
    int accumulate;
    // Called every 0.5 s with the step number; changes both tables alike.
    std::function<void(int step, params::ParameterTable& table, double& bpm)> change;
};

std::ostream& operator<<(std::ostream& out, const Scenario& s) {
    return out << s.name;
}

class EngineAgainstReference : public ::testing::TestWithParam<Scenario> {};

TEST_P(EngineAgainstReference, StaysWithinOneMillionthOnEverySample) {
    const Scenario& s = GetParam();
    FlangerParameters productTable;
    FlangerParameters referenceTable;
    FlangerEngine engine(s.inputs, s.rate, s.outputs, s.blockLength);
    reference::Engine model(s.inputs, s.rate, s.outputs, s.blockLength);
    engine.resume();
    model.resume();

    testing::Noise noise(7);
    testing::Noise sizes(99);
    const int totalFrames = static_cast<int>(s.rate * s.seconds);
    const int stepFrames = static_cast<int>(s.rate * 0.5);
    std::vector<float> in[2], outProduct[2], outModel[2];
    double bpm = 120.0;
    double worst = 0.0;
    double energy = 0.0;
    long long compared = 0;
    int nextStep = 0;
    for (int done = 0; done < totalFrames;) {
        if (done >= nextStep * stepFrames) {
            if (s.change) {
                s.change(nextStep, productTable, bpm);
                s.change(nextStep, referenceTable, bpm);
            }
            ++nextStep;
        }
        // Host blocks from 1 to 2.5 times the engine's block length, varying call to call.
        const int frames = 1 + static_cast<int>((sizes.uniform() * 0.5f + 0.5f) * 2.5f * s.blockLength);
        for (int c = 0; c < 2; ++c) {
            in[c] = noise.block(frames, 0.5f);
            // Adding mode starts from a known non-zero output.
            outProduct[c].assign(static_cast<size_t>(frames), s.accumulate ? 0.25f : 0.0f);
            outModel[c] = outProduct[c];
        }
        engine.setTempo(bpm);
        model.setTempo(bpm);
        engine.applyParameters(&productTable);
        model.applyParameters(&referenceTable);

        float* modelIn[2] = {in[0].data(), in[1].data()};
        float* modelOut[2] = {outModel[0].data(), outModel[1].data()};
        model.processHost(modelIn, modelOut, frames, s.accumulate);
        if (s.inPlace) {
            for (int c = 0; c < 2; ++c) {
                if (c < s.inputs && c < s.outputs && !s.accumulate) outProduct[c] = in[c];
            }
        }
        std::vector<float> inCopy[2] = {in[0], in[1]};
        float* productIn[2] = {inCopy[0].data(), inCopy[1].data()};
        float* productOut[2] = {outProduct[0].data(), outProduct[1].data()};
        if (s.inPlace && !s.accumulate) {
            for (int c = 0; c < 2 && c < s.inputs && c < s.outputs; ++c) productIn[c] = productOut[c];
        }
        engine.processHost(productIn, productOut, frames, s.accumulate);
        const int checked = s.outputs == 0 ? s.inputs : s.outputs;
        for (int c = 0; c < checked && c < 2; ++c) {
            for (int i = 0; i < frames; ++i) {
                const double difference = std::fabs(static_cast<double>(outProduct[c][i]) - outModel[c][i]);
                worst = std::max(worst, difference);
                energy += static_cast<double>(outModel[c][i]) * outModel[c][i];
                ASSERT_LE(difference, 1e-6) << "channel " << c << " frame " << done + i;
                ++compared;
            }
        }
        done += frames;
    }
    EXPECT_GT(compared, static_cast<long long>(totalFrames) - 1);
    // The comparison is of real signal, not of silence.
    if (s.inputs > 0) {
        EXPECT_GT(std::sqrt(energy / static_cast<double>(compared)), 0.01);
    }
    RecordProperty("worstDifference", std::to_string(worst));
    std::printf("%s: %lld samples, rms %.4f, worst difference %.3g\n", s.name.c_str(), compared,
                std::sqrt(energy / static_cast<double>(compared)), worst);
}

void freeSweepChanges(int step, params::ParameterTable& t, double&) {
    // Rate, shape, delay, depth and feedback move every half second.
    const float rates[] = {1.0f, 4.3f, 0.05f, 2.5f, 0.0f, 5.0f, 0.7f};
    t.setPlain(FlangerParameters::kRate, rates[step % 7]);
    t.setPlain(FlangerParameters::kShapeSync, static_cast<float>((step * 5) % 17));
    t.setPlain(FlangerParameters::kDelay, 5.0f + static_cast<float>((step * 37) % 96));
    t.setPlain(FlangerParameters::kDepth, static_cast<float>((step * 29) % 101));
    t.setPlain(FlangerParameters::kFeedback, static_cast<float>((step * 41) % 101));
    t.setPlain(FlangerParameters::kMix, static_cast<float>((step * 23) % 101));
    t.setPlain(FlangerParameters::kStereo, static_cast<float>((step * 13) % 101));
}

void syncChanges(int step, params::ParameterTable& t, double& bpm) {
    // Sync on and off, note lengths and tempi changing.
    t.setPlain(FlangerParameters::kSwitch, step % 4 == 3 ? 0.0f : 1.0f);
    const float beats[] = {1.0f, 0.25f, 4.0f, 2.6666667f, 0.1875f, 15.0f};
    t.setPlain(FlangerParameters::kBeatsPerCycle, beats[step % 6]);
    t.setPlain(FlangerParameters::kRate, static_cast<float>(step % 5));
    t.setPlain(FlangerParameters::kShapeSync, static_cast<float>((step * 3) % 17));
    const double tempi[] = {120.0, 133.0, 60.0, 174.0, 90.0};
    bpm = tempi[step % 5];
}

void defaults(int, params::ParameterTable&, double&) {}

const Scenario kScenarios[] = {
    {"StereoDefaults44k", 2, 2, 44100.0, 512, 20.0, false, 0, defaults},
    {"StereoFreeChanges44k", 2, 2, 44100.0, 512, 20.0, false, 0, freeSweepChanges},
    {"StereoSync48k", 2, 2, 48000.0, 256, 20.0, false, 0, syncChanges},
    {"StereoInPlace96k", 2, 2, 96000.0, 1024, 10.0, true, 0, freeSweepChanges},
    {"StereoAdding192k", 2, 2, 192000.0, 333, 5.0, false, 1, freeSweepChanges},
    {"MonoToStereo44k", 1, 2, 44100.0, 512, 20.0, false, 0, freeSweepChanges},
    {"MonoToStereoSync44k", 1, 2, 44100.0, 100, 10.0, false, 1, syncChanges},
    {"Mono44k", 1, 1, 44100.0, 512, 20.0, false, 0, freeSweepChanges},
    {"MonoInPlace22k", 1, 1, 22050.0, 64, 10.0, true, 0, syncChanges},
    {"StereoToMono44k", 2, 1, 44100.0, 512, 10.0, false, 0, freeSweepChanges},
    {"NoInputs44k", 0, 2, 44100.0, 512, 2.0, false, 0, freeSweepChanges},
    {"TinyCircle1000Hz", 2, 2, 1000.0, 16, 20.0, false, 0, freeSweepChanges},
};

INSTANTIATE_TEST_SUITE_P(LongRuns, EngineAgainstReference, ::testing::ValuesIn(kScenarios),
                         [](const ::testing::TestParamInfo<Scenario>& param) { return param.param.name; });

}  // namespace
}  // namespace flanger::dsp
