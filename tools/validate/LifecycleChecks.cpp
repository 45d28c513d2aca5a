// Lifecycle: calls before effOpen, a hundred open/close cycles, and two instances at different
// sample rates processed interleaved, each of which must sound exactly as it does alone.
#include <cstring>

#include "tools/validate/Categories.h"

namespace flanger::tools {

namespace {

void callsBeforeOpen(const CheckContext& context, Findings& findings) {
    RigOptions options;
    options.open = false;
    for (int round = 0; round < 2; ++round) {
        Rig rig;
        if (!rig.start(context.modulePath, options, findings)) return;
        // What hosts send before effOpen, and some things they should not.
        rig.dispatch(vst::effIdentify);
        rig.dispatch(vst::effGetVstVersion);
        rig.dispatch(vst::effSetSampleRate, 0, 0, nullptr, 48000.0f);
        rig.dispatch(vst::effSetBlockSize, 0, 256);
        rig.dispatch(vst::effGetPlugCategory);
        rig.dispatch(vst::effMainsChanged, 0, 0);
        GuardedBlock text(64, 0x7f);
        rig.dispatch(vst::effGetParamDisplay, 0, 0, text.data());
        void* chunk = nullptr;
        rig.dispatch(vst::effGetChunk, 0, 0, &chunk);
        rig.getParameter(0);
        if (rig.plugin().parameterCount() > 0) rig.setParameter(0, 0.5f);
        if (round == 0) {
            rig.close();  // closed without ever being opened
            continue;
        }
        rig.dispatch(vst::effOpen);
        rig.configure(44100.0f, 512);
        TestSignal signal(SignalKind::Noise, 44100.0f, context.seed);
        const SampleScan scan = rig.run(rig.preferredMode(), 44100, 512, signal);
        if (!scan.clean())
            findings.fail("after calls before effOpen, then effOpen: %s", scan.describe().c_str());
        rig.close();
    }
}

void openCloseCycles(const CheckContext& context, Findings& findings) {
    // The first half unloads the module each time; the second keeps it loaded by a keeper.
    std::unique_ptr<Rig> keeper;
    for (int cycle = 0; cycle < 100; ++cycle) {
        if (cycle == 50) {
            keeper = std::make_unique<Rig>();
            if (!keeper->start(context.modulePath, RigOptions{}, findings)) return;
        }
        RigOptions options;
        options.resume = cycle % 2 == 1;
        options.capacityFrames = 512;
        Rig rig;
        if (!rig.start(context.modulePath, options, findings)) {
            findings.fail("open/close cycle %d: the module did not start again", cycle);
            return;
        }
        if (options.resume) {
            TestSignal signal(SignalKind::Sine, 44100.0f);
            const SampleScan scan = rig.run(rig.preferredMode(), 2048, 512, signal);
            if (!scan.clean()) {
                findings.fail("open/close cycle %d: %s", cycle, scan.describe().c_str());
                return;
            }
            rig.suspend();
        }
        rig.close();
    }
}

struct Track {
    Rig rig;
    TestSignal signal;
    std::vector<float> output;
    float rate;
    Track(float rateHz, uint32_t seed) : signal(SignalKind::Noise, rateHz, seed), rate(rateHz) {}
};

bool startTrack(Track& track, const CheckContext& context, Findings& findings) {
    RigOptions options;
    options.sampleRate = track.rate;
    options.blockSize = 512;
    options.capacityFrames = 512;
    return track.rig.start(context.modulePath, options, findings);
}

void stepTrack(Track& track) {
    track.rig.process(track.rig.preferredMode(), 512, track.signal);
    for (int32_t c = 0; c < track.rig.plugin().outputCount() && c < 2; ++c) {
        const float* out = track.rig.lastOutput(c);
        track.output.insert(track.output.end(), out, out + 512);
    }
}

void interleavedInstances(const CheckContext& context, Findings& findings) {
    constexpr int kBlocks = 200;
    Track aloneA(44100.0f, 7), aloneB(96000.0f, 8);
    if (!startTrack(aloneA, context, findings) || !startTrack(aloneB, context, findings)) return;
    // Alone: each runs its blocks with the other idle.
    for (int b = 0; b < kBlocks; ++b) stepTrack(aloneA);
    aloneA.rig.close();
    for (int b = 0; b < kBlocks; ++b) stepTrack(aloneB);
    aloneB.rig.close();

    Track a(44100.0f, 7), b(96000.0f, 8);
    if (!startTrack(a, context, findings) || !startTrack(b, context, findings)) return;
    for (int i = 0; i < kBlocks; ++i) {
        stepTrack(a);
        stepTrack(b);
    }
    const long long diffA = firstDifference(aloneA.output, a.output);
    const long long diffB = firstDifference(aloneB.output, b.output);
    if (diffA >= 0)
        findings.fail(
            "the 44100 Hz instance interleaved with a 96000 Hz one differs from itself alone from "
            "output sample %lld on",
            diffA);
    if (diffB >= 0)
        findings.fail(
            "the 96000 Hz instance interleaved with a 44100 Hz one differs from itself alone from "
            "output sample %lld on",
            diffB);
}

}  // namespace

void checkLifecycle(const CheckContext& context, Findings& findings) {
    callsBeforeOpen(context, findings);
    openCloseCycles(context, findings);
    interleavedInstances(context, findings);
    findings.summary(
        "calls before effOpen, 100 open/close cycles, two instances interleaved at 44100 and 96000 Hz");
}

}  // namespace flanger::tools
