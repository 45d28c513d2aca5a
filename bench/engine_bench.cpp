// Google Benchmark timings of the whole FlangerEngine (both cores and the panner), reported as
// ns per stereo frame: default parameters, tempo sync, silence after a loud signal (must cost
// what signal costs: no subnormal slowdown) and 96 kHz; plus bytes per engine instance.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "dsp/FlangerEngine.h"
#include "params/FlangerParameters.h"

namespace {

using flanger::dsp::FlangerEngine;
using flanger::params::FlangerParameters;

std::vector<float> noise(int frames, uint32_t seed) {
    std::vector<float> samples(static_cast<size_t>(frames));
    for (float& s : samples) {
        seed = seed * 1664525u + 1013904223u;
        s = static_cast<float>(static_cast<int32_t>(seed)) * 0x1p-31f * 0.5f;
    }
    return samples;
}

enum class Signal { noise, silenceAfterLoud };

void runEngine(benchmark::State& state, double rate, bool sync, Signal signal) {
    constexpr int kBlock = 512;
    FlangerParameters parameters;
    if (sync) {
        parameters.setPlain(FlangerParameters::kSwitch, 1.0f);
        parameters.setPlain(FlangerParameters::kBeatsPerCycle, 1.0f);
    }
    FlangerEngine engine(2, rate, 2, kBlock);
    engine.resume();
    engine.applyParameters(&parameters);
    engine.setTempo(120.0);
    // Two seconds of signal ahead of the measured blocks (a loud one before silence, at
    // feedback 90 % so the loop rings down through the range where subnormals would appear).
    const int blocks = static_cast<int>(rate * 2.0) / kBlock;
    std::vector<float> left = noise(kBlock * blocks, 1), right = noise(kBlock * blocks, 2);
    std::vector<float> outLeft(kBlock), outRight(kBlock);
    if (signal == Signal::silenceAfterLoud) {
        parameters.setPlain(FlangerParameters::kFeedback, 90.0f);
        engine.applyParameters(&parameters);
        for (float& s : left) s *= 2.0f;
        for (float& s : right) s *= 2.0f;
        for (int b = 0; b < blocks; ++b) {
            float* in[2] = {left.data() + b * kBlock, right.data() + b * kBlock};
            float* out[2] = {outLeft.data(), outRight.data()};
            engine.processHost(in, out, kBlock, 0);
        }
        std::fill(left.begin(), left.end(), 0.0f);
        std::fill(right.begin(), right.end(), 0.0f);
    }
    int b = 0;
    for (auto _ : state) {
        float* in[2] = {left.data() + b * kBlock, right.data() + b * kBlock};
        float* out[2] = {outLeft.data(), outRight.data()};
        engine.applyParameters(&parameters);
        engine.processHost(in, out, kBlock, 0);
        benchmark::DoNotOptimize(outLeft.data());
        benchmark::ClobberMemory();
        b = b + 1 == blocks ? 0 : b + 1;
    }
    const double frames = static_cast<double>(state.iterations()) * kBlock;
    // CPU time per stereo frame (shown with its SI prefix: "11n" is 11 ns).
    state.counters["per_stereo_frame"] =
        benchmark::Counter(frames, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.counters["realtime_x"] = benchmark::Counter(frames / rate, benchmark::Counter::kIsRate);
}

void EngineDefault44k(benchmark::State& state) {
    runEngine(state, 44100.0, false, Signal::noise);
}
void EngineSync44k(benchmark::State& state) {
    runEngine(state, 44100.0, true, Signal::noise);
}
void EngineSilenceAfterLoud44k(benchmark::State& state) {
    runEngine(state, 44100.0, false, Signal::silenceAfterLoud);
}
void EngineDefault96k(benchmark::State& state) {
    runEngine(state, 96000.0, false, Signal::noise);
}

BENCHMARK(EngineDefault44k);
BENCHMARK(EngineSync44k);
BENCHMARK(EngineSilenceAfterLoud44k);
BENCHMARK(EngineDefault96k);

// Not a timing: the bytes one engine holds (object plus heap), at the given block length and rate.
void EngineBytes(benchmark::State& state) {
    const int block = static_cast<int>(state.range(0));
    const double rate = static_cast<double>(state.range(1));
    size_t bytes = 0;
    for (auto _ : state) {
        FlangerEngine engine(2, rate, 2, block);
        bytes = sizeof(FlangerEngine) + engine.heapBytes();
        benchmark::DoNotOptimize(bytes);
    }
    state.counters["bytes_per_engine"] = static_cast<double>(bytes);
}
BENCHMARK(EngineBytes)
    ->Args({512, 44100})
    ->Args({1024, 44100})
    ->Args({1024, 48000})
    ->Args({1024, 96000})
    ->Args({1024, 192000});

}  // namespace

BENCHMARK_MAIN();
