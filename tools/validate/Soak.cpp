// The soak loop. Block times are measured around the process call only, so restarts and the
// validator's own work do not count.
#include "tools/validate/Soak.h"

#include <algorithm>
#include <chrono>
#include <random>
#include <vector>

#include "tools/validate/Rig.h"

namespace flanger::tools {

bool runSoak(const std::string& modulePath, const SoakOptions& options, SoakResult& result,
             std::string& error) {
    RigOptions rigOptions;
    rigOptions.sampleRate = options.sampleRate;
    rigOptions.blockSize = options.blockSize;
    rigOptions.capacityFrames = options.blockSize;
    Findings startup;
    Rig rig;
    if (!rig.start(modulePath, rigOptions, startup)) {
        error = startup.failures.empty() ? "cannot start" : startup.failures.front();
        return false;
    }
    PluginInstance& plugin = rig.plugin();
    const int32_t count = plugin.parameterCount();
    const int32_t programs = plugin.programCount();
    const ProcessMode mode = rig.preferredMode();
    const auto rate = static_cast<int64_t>(options.sampleRate);
    const auto totalFrames = static_cast<int64_t>(options.audioSeconds * options.sampleRate);

    std::minstd_rand random(options.seed);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    const SignalKind program[] = {SignalKind::Noise,    SignalKind::Sine,  SignalKind::Silence,
                                  SignalKind::Impulses, SignalKind::Noise, SignalKind::Silence,
                                  SignalKind::Dc,       SignalKind::Hot};
    TestSignal signal(SignalKind::Noise, options.sampleRate, options.seed);
    size_t segment = 0;

    std::vector<int64_t> blockNanos;
    blockNanos.reserve(static_cast<size_t>(totalFrames / options.blockSize + 1));
    int64_t nextSwitch = rate, nextTempo = rate * 17 / 10, nextRestart = rate * 10, nextSegment = rate * 2;
    const auto started = std::chrono::steady_clock::now();
    for (int64_t done = 0; done < totalFrames;) {
        if (done >= nextSegment) {
            // Two-second segments of different material, silences included for the tails.
            segment = (segment + 1) % std::size(program);
            signal =
                TestSignal(program[segment], options.sampleRate, options.seed + static_cast<uint32_t>(done));
            nextSegment += rate * 2;
        }
        if (done >= nextSwitch && programs > 0) {
            rig.setProgram(static_cast<int32_t>(random() % static_cast<uint32_t>(programs)));
            ++result.programSwitches;
            nextSwitch += rate;
        }
        if (done >= nextTempo) {
            HostAnswers& answers = plugin.answers();
            const uint32_t pick = static_cast<uint32_t>(random()) % 16u;
            answers.setNullTimeInfo(pick == 0);
            answers.setTimeFlags(pick == 1 ? vst::kVstTransportPlaying
                                           : (vst::kVstTempoValid | vst::kVstTransportPlaying |
                                              (pick == 2 ? vst::kVstTransportChanged : 0)));
            answers.setTempo(20.0 + 280.0 * unit(random));
            ++result.tempoChanges;
            nextTempo += rate * 17 / 10;
        }
        if (done >= nextRestart) {
            rig.suspend();
            rig.resume();
            ++result.restarts;
            nextRestart += rate * 10;
        }
        for (int k = 0; k < 2 && count > 0; ++k)
            rig.setParameter(static_cast<int32_t>(random() % static_cast<uint32_t>(count)), unit(random));

        const auto frames = static_cast<int32_t>(std::min<int64_t>(options.blockSize, totalFrames - done));
        float** in = rig.inputBuffers().pointers(frames);
        signal.fill(in, rig.inputBuffers().channels(), frames);
        float** out = rig.outputBuffers().pointers(frames);
        rig.outputBuffers().fill(frames, 0.0f);
        const auto before = std::chrono::steady_clock::now();
        plugin.process(mode, in, out, frames);
        const auto after = std::chrono::steady_clock::now();
        if (frames == options.blockSize)
            blockNanos.push_back(
                std::chrono::duration_cast<std::chrono::nanoseconds>(after - before).count());
        for (int32_t c = 0; c < rig.outputBuffers().channels(); ++c) {
            const SampleScan scan = scanSamples(out[c], frames, c, done);
            result.nonFinite += scan.nonFinite;
            result.subnormal += scan.subnormal;
        }
        done += frames;
        result.frames = done;
        result.samples += static_cast<int64_t>(frames) * rig.outputBuffers().channels();
    }
    result.wallSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    if (!blockNanos.empty()) {
        auto middle = blockNanos.begin() + static_cast<std::ptrdiff_t>(blockNanos.size() / 2);
        std::nth_element(blockNanos.begin(), middle, blockNanos.end());
        result.medianBlockMicros = static_cast<double>(*middle) / 1000.0;
        result.slowestBlockMicros =
            static_cast<double>(*std::max_element(blockNanos.begin(), blockNanos.end())) / 1000.0;
        auto high = blockNanos.begin() + static_cast<std::ptrdiff_t>((blockNanos.size() - 1) * 999 / 1000);
        std::nth_element(blockNanos.begin(), high, blockNanos.end());
        result.p999BlockMicros = static_cast<double>(*high) / 1000.0;
    }
    rig.close();
    return true;
}

void soakChecks(const std::string& modulePath, const SoakOptions& options, Findings& findings) {
    SoakResult result;
    std::string error;
    if (!runSoak(modulePath, options, result, error)) {
        findings.fail("%s", error.c_str());
        return;
    }
    findings.note("audio: %.1f s at %.0f Hz in %d-frame blocks, processed in %.2f s (%.0fx real time)",
                  options.audioSeconds, static_cast<double>(options.sampleRate), options.blockSize,
                  result.wallSeconds,
                  result.wallSeconds > 0 ? options.audioSeconds / result.wallSeconds : 0.0);
    findings.note("samples processed: %lld (%lld frames)", static_cast<long long>(result.samples),
                  static_cast<long long>(result.frames));
    findings.note("non-finite samples: %lld", static_cast<long long>(result.nonFinite));
    findings.note("subnormal samples: %lld", static_cast<long long>(result.subnormal));
    findings.note("block time: median %.2f us, slowest %.2f us, slowest/median %.1f",
                  result.medianBlockMicros, result.slowestBlockMicros,
                  result.medianBlockMicros > 0 ? result.slowestBlockMicros / result.medianBlockMicros : 0.0);
    findings.note("block time 99.9th percentile %.2f us (%.1f x median)", result.p999BlockMicros,
                  result.medianBlockMicros > 0 ? result.p999BlockMicros / result.medianBlockMicros : 0.0);
    findings.note("program switches %lld, tempo changes %lld, restarts %lld",
                  static_cast<long long>(result.programSwitches), static_cast<long long>(result.tempoChanges),
                  static_cast<long long>(result.restarts));
    if (result.nonFinite != 0 || result.subnormal != 0)
        findings.fail("%lld non-finite and %lld subnormal output samples",
                      static_cast<long long>(result.nonFinite), static_cast<long long>(result.subnormal));
    findings.summary("soak of %.0f s of audio", options.audioSeconds);
}

}  // namespace flanger::tools
