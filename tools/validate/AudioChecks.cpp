// Audio: every program with ordinary and extreme signals, both process entries, in place and
// not, with and without flush-to-zero, long silent tails and random automation: outputs finite
// and free of subnormals. A single NaN or inf input sample must be gone from the output a
// second later.
#include <xmmintrin.h>

#include <algorithm>
#include <cmath>
#include <limits>

#include "tools/validate/Categories.h"

namespace flanger::tools {

namespace {

constexpr float kRate = 44100.0f;

// The host's flush-to-zero and denormals-are-zero state for one scope.
class FlushToZero {
public:
    explicit FlushToZero(bool on) : saved(_mm_getcsr()) {
        _mm_setcsr(on ? (saved | 0x8040u) : (saved & ~0x8040u));
    }
    ~FlushToZero() { _mm_setcsr(saved); }
    FlushToZero(const FlushToZero&) = delete;
    FlushToZero& operator=(const FlushToZero&) = delete;

private:
    unsigned saved;
};

void expectClean(Findings& findings, const SampleScan& scan, const std::string& what) {
    if (!scan.clean()) findings.fail("%s: %s", what.c_str(), scan.describe().c_str());
}

const char* modeName(ProcessMode mode) {
    return mode == ProcessMode::Replacing ? "processReplacing" : "process";
}

void signalsPerProgram(Rig& rig, const CheckContext& context, Findings& findings, int32_t programs) {
    const SignalKind kinds[] = {SignalKind::Silence,  SignalKind::Sine, SignalKind::Noise,
                                SignalKind::Impulses, SignalKind::Dc,   SignalKind::Hot};
    const int64_t length = context.quick ? 4410 : 11025;
    for (int32_t p = 0; p < std::max(programs, 1); ++p) {
        if (programs > 0) rig.setProgram(p);
        for (ProcessMode mode : {ProcessMode::Replacing, ProcessMode::Adding}) {
            if (!rig.hasMode(mode)) continue;
            for (bool inPlace : {false, true}) {
                if (inPlace && mode == ProcessMode::Adding) continue;
                for (SignalKind kind : kinds) {
                    TestSignal signal(kind, kRate, context.seed);
                    char what[160];
                    std::snprintf(what, sizeof what, "program %d, %s, %s%s", p, signalName(kind),
                                  modeName(mode), inPlace ? " in place" : "");
                    expectClean(findings, rig.run(mode, length, 333, signal, inPlace), what);
                }
            }
        }
        // Noise, then a long silence: the tails (feedback, delay lines) must not go subnormal.
        TestSignal noise(SignalKind::Noise, kRate, context.seed);
        rig.run(rig.preferredMode(), 22050, 512, noise);
        TestSignal silence(SignalKind::Silence, kRate);
        char what[96];
        std::snprintf(what, sizeof what, "program %d, 3 s of silence after noise", p);
        expectClean(findings, rig.run(rig.preferredMode(), context.quick ? 44100 : 132300, 512, silence),
                    what);
    }
}

void flushToZeroAndSubnormalInput(Rig& rig, const CheckContext& context, Findings& findings) {
    for (bool ftz : {true, false}) {
        const FlushToZero mode(ftz);
        TestSignal noise(SignalKind::Noise, kRate, context.seed);
        expectClean(findings, rig.run(rig.preferredMode(), 22050, 512, noise),
                    ftz ? "noise with flush-to-zero on" : "noise with flush-to-zero off");
        TestSignal tiny(SignalKind::Subnormal, kRate, context.seed);
        const SampleScan scan = rig.run(rig.preferredMode(), 22050, 512, tiny);
        if (scan.nonFinite != 0)
            findings.fail("subnormal input%s: %s", ftz ? " with flush-to-zero" : "", scan.describe().c_str());
        else if (scan.subnormal != 0 && !ftz)
            findings.note("subnormal input passes %lld subnormal samples through",
                          static_cast<long long>(scan.subnormal));
    }
}

void randomAutomation(Rig& rig, const CheckContext& context, Findings& findings) {
    std::minstd_rand random(context.seed);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    std::uniform_int_distribution<int32_t> frames(1, 1024);
    const int32_t count = rig.plugin().parameterCount();
    TestSignal noise(SignalKind::Noise, kRate, context.seed);
    SampleScan total;
    for (int64_t done = 0; done < 88200;) {
        for (int k = 0; k < 3 && count > 0; ++k)
            rig.setParameter(static_cast<int32_t>(random() % static_cast<uint32_t>(count)), unit(random));
        const int32_t n = frames(random);
        total.add(rig.process(rig.preferredMode(), n, noise, false, done));
        done += n;
    }
    expectClean(findings, total, "2 s of noise with random automation and block sizes 1-1024");
}

// One special sample, then the output must be clean from one second on.
void specialSamples(Rig& rig, const CheckContext& context, Findings& findings, int32_t programs) {
    constexpr float inf = std::numeric_limits<float>::infinity();
    const float specials[] = {std::numeric_limits<float>::quiet_NaN(), inf, -inf};
    for (int32_t p = 0; p < std::max(programs, 1); ++p) {
        for (float special : specials) {
            if (programs > 0) rig.setProgram(p);
            TestSignal noise(SignalKind::Noise, kRate, context.seed);
            rig.run(rig.preferredMode(), 4096, 512, noise);
            rig.processWithSample(rig.preferredMode(), 512, noise, 100, special);
            // Let one second pass, recording the last bad frame, then demand a clean half second.
            int64_t lastBad = -1;
            int64_t done = 412;  // frames after the special sample
            while (done < static_cast<int64_t>(kRate)) {
                const SampleScan scan = rig.process(rig.preferredMode(), 512, noise, false, done);
                if (scan.nonFinite > 0) lastBad = done;
                done += 512;
            }
            const SampleScan after = rig.run(rig.preferredMode(), 22050, 512, noise);
            char what[128];
            std::snprintf(what, sizeof what,
                          "program %d: one %s input sample, output from 1 s to 1.5 s after it", p,
                          floatText(special).c_str());
            expectClean(findings, after, what);
            if (after.clean() && lastBad > static_cast<int64_t>(kRate / 2))
                findings.note("%s: non-finite output until about frame %lld after the sample", what,
                              static_cast<long long>(lastBad));
            if (!after.clean()) {
                // Leave the next case a clean instance.
                rig.suspend();
                rig.resume();
            }
        }
    }
}

// One fresh instance's output for a fixed run of noise in varying block sizes.
std::vector<float> renderFresh(const CheckContext& context, Findings& findings, ProcessMode mode,
                               bool inPlace, float base) {
    Rig rig;
    RigOptions options;
    options.capacityFrames = 1024;
    if (!rig.start(context.modulePath, options, findings)) return {};
    rig.setOutputBase(base);
    TestSignal noise(SignalKind::Noise, kRate, context.seed);
    std::minstd_rand random(context.seed);
    std::vector<float> out;
    for (int block = 0; block < 200; ++block) {
        const auto frames = static_cast<int32_t>(1 + random() % 1024);
        rig.process(mode, frames, noise, inPlace);
        for (int32_t c = 0; c < std::min(rig.plugin().outputCount(), 2); ++c) {
            const float* samples = rig.lastOutput(c);
            for (int32_t i = 0; i < frames; ++i) out.push_back(samples[i] - base);
        }
    }
    return out;
}

// The three ways of calling must sound the same: replacing, replacing in place, and adding
// into outputs that already hold something.
void entryEquivalence(Rig& probe, const CheckContext& context, Findings& findings) {
    if (!probe.hasMode(ProcessMode::Replacing)) return;
    const std::vector<float> reference = renderFresh(context, findings, ProcessMode::Replacing, false, 0.0f);
    const std::vector<float> inPlace = renderFresh(context, findings, ProcessMode::Replacing, true, 0.0f);
    const long long diff = firstDifference(reference, inPlace);
    if (diff >= 0)
        findings.fail(
            "processReplacing in place (inputs = outputs) differs from separate buffers from output sample "
            "%lld on (%g instead of %g)",
            diff, static_cast<double>(inPlace[static_cast<size_t>(diff)]),
            static_cast<double>(reference[static_cast<size_t>(diff)]));
    if (!probe.hasMode(ProcessMode::Adding)) return;
    const std::vector<float> added = renderFresh(context, findings, ProcessMode::Adding, false, 0.25f);
    for (size_t i = 0; i < std::min(added.size(), reference.size()); ++i) {
        // Adding 0.25 and taking it away again rounds; anything beyond that is no addition.
        if (std::fabs(added[i] - reference[i]) > 1e-6f + 1e-6f * std::fabs(reference[i])) {
            // An entry that overwrites loses the host's mix in every host that still calls it.
            const bool overwrites =
                std::fabs(added[i] + 0.25f - reference[i]) <= 1e-6f + 1e-6f * std::fabs(reference[i]);
            if (overwrites)
                findings.fail(
                    "process (the adding entry) overwrites the outputs instead of adding to them "
                    "(from sample %zu on)",
                    i);
            else
                findings.fail(
                    "process (adding) into outputs holding 0.25 is not 0.25 + processReplacing's output "
                    "from sample %zu on (%g instead of %g)",
                    i, static_cast<double>(added[i]) + 0.25, static_cast<double>(reference[i]) + 0.25);
            break;
        }
    }
}

}  // namespace

void checkAudio(const CheckContext& context, Findings& findings) {
    Rig rig;
    RigOptions options;
    options.sampleRate = kRate;
    if (!rig.start(context.modulePath, options, findings)) return;
    const FlushToZero host(false);  // subnormals show up only without flush-to-zero
    const int32_t programs = std::min(rig.plugin().programCount(), context.quick ? 4 : 8);
    {
        TestSignal noise(SignalKind::Noise, kRate, context.seed);
        const SampleScan first = rig.run(rig.preferredMode(), 22050, 512, noise);
        if (first.peak == 0.0f)
            findings.note("the output is silent for noise input");
        else
            findings.note("output peak for noise of peak 0.5: %g", static_cast<double>(first.peak));
    }
    entryEquivalence(rig, context, findings);
    signalsPerProgram(rig, context, findings, programs);
    flushToZeroAndSubnormalInput(rig, context, findings);
    randomAutomation(rig, context, findings);
    specialSamples(rig, context, findings, programs);
    findings.summary(
        "replacing = in place = adding, %d programs x 6 signals x process entries, silent tails, "
        "flush-to-zero on/off, random automation, NaN/inf input samples",
        std::max(programs, 1));
}

}  // namespace flanger::tools
