// Configuration: absurd and extreme sample rates and block sizes, calls larger than announced,
// 0-frame calls and processing switched on and off in every order.
#include <cmath>
#include <limits>

#include "tools/validate/Categories.h"

namespace flanger::tools {

namespace {

constexpr int32_t kCapacity = 65536;

void expectClean(Findings& findings, const SampleScan& scan, const std::string& what) {
    if (!scan.clean()) findings.fail("%s: %s", what.c_str(), scan.describe().c_str());
}

void sampleRates(Rig& rig, Findings& findings) {
    const float rates[] = {0.0f,      std::numeric_limits<float>::quiet_NaN(),
                           -44100.0f, std::numeric_limits<float>::infinity(),
                           1.0f,      50.0f,
                           8000.0f,   11025.0f,
                           22050.0f,  32000.0f,
                           44100.0f,  48000.0f,
                           88200.0f,  96000.0f,
                           176400.0f, 192000.0f,
                           384000.0f};
    for (float rate : rates) {
        rig.configure(rate, 512);
        // A quarter of a second at the rate (a fixed length for the absurd ones).
        const int64_t frames = std::isfinite(rate) && rate >= 8000.0f ? static_cast<int64_t>(rate / 4) : 8192;
        TestSignal signal(SignalKind::Noise, rate);
        expectClean(findings, rig.run(rig.preferredMode(), frames, 512, signal),
                    "sample rate " + floatText(rate) + ", 512-frame calls");
    }
    // Changed while processing runs, as some hosts do.
    rig.configure(44100.0f, 512);
    rig.dispatch(vst::effSetSampleRate, 0, 0, nullptr, 96000.0f);
    TestSignal signal(SignalKind::Sine, 96000.0f);
    expectClean(findings, rig.run(rig.preferredMode(), 24000, 512, signal),
                "sample rate 96000 set while resumed");
    rig.dispatch(vst::effSetBlockSizeAndSampleRate, 0, 256, nullptr, 22050.0f);
    expectClean(findings, rig.run(rig.preferredMode(), 8192, 256, signal),
                "effSetBlockSizeAndSampleRate(256, 22050) while resumed");
}

void blockSizes(Rig& rig, Findings& findings) {
    const int32_t announced[] = {-5, 0, 1, 64, 65536};
    for (int32_t block : announced) {
        rig.configure(44100.0f, block);
        TestSignal signal(SignalKind::Noise, 44100.0f);
        // Calls of the announced size, of twice and of eight times it, and far beyond it.
        const int32_t sizes[] = {std::max(block, 1),
                                 std::clamp(2 * block, 1, kCapacity),
                                 std::clamp(8 * block, 1, kCapacity),
                                 4096,
                                 1,
                                 7,
                                 kCapacity};
        for (int32_t frames : sizes) {
            const SampleScan scan = rig.process(rig.preferredMode(), frames, signal);
            expectClean(findings, scan,
                        "block size " + std::to_string(block) + " announced, a call of " +
                            std::to_string(frames) + " frames");
        }
    }
    // Block size changed while resumed, then a larger call.
    rig.configure(44100.0f, 128);
    rig.dispatch(vst::effSetBlockSize, 0, 32);
    TestSignal signal(SignalKind::Noise, 44100.0f);
    expectClean(findings, rig.process(rig.preferredMode(), 2048, signal),
                "block size 32 set while resumed, 2048 frames");
}

void zeroFrames(Rig& rig, Findings& findings) {
    rig.configure(44100.0f, 512);
    TestSignal signal(SignalKind::Noise, 44100.0f);
    for (ProcessMode mode : {ProcessMode::Replacing, ProcessMode::Adding}) {
        if (!rig.hasMode(mode)) continue;
        for (int i = 0; i < 100; ++i) rig.process(mode, 0, signal);
        expectClean(findings, rig.run(mode, 8192, 512, signal), "after 100 0-frame calls");
    }
}

void mainsOrders(Rig& rig, Findings& findings) {
    rig.configure(44100.0f, 512);
    TestSignal signal(SignalKind::Noise, 44100.0f);
    // Sequences of effMainsChanged values, each followed by processing (even while suspended:
    // hosts do that too).
    const std::vector<std::vector<int>> orders = {
        {1, 1, 1}, {0, 0, 0}, {0, 1, 0, 1}, {1, 0, 0, 1, 1}, {0, 1}};
    for (const auto& order : orders) {
        std::string text;
        for (int on : order) {
            rig.dispatch(vst::effMainsChanged, 0, on);
            text += on ? "on " : "off ";
            expectClean(findings, rig.run(rig.preferredMode(), 2048, 512, signal), "mains " + text);
        }
    }
    rig.configure(44100.0f, 512);
    expectClean(findings, rig.run(rig.preferredMode(), 44100, 512, signal),
                "a second after the mains sequences");
}

}  // namespace

void checkConfiguration(const CheckContext& context, Findings& findings) {
    RigOptions options;
    options.capacityFrames = kCapacity;
    Rig rig;
    if (!rig.start(context.modulePath, options, findings)) return;
    sampleRates(rig, findings);
    blockSizes(rig, findings);
    zeroFrames(rig, findings);
    mainsOrders(rig, findings);
    findings.summary(
        "17 sample rates (0, nan, -44100, inf, 1 ... 384000), block sizes -5 ... 65536 with calls up to "
        "65536 frames, 0-frame calls, mains on/off in any order");
}

}  // namespace flanger::tools
