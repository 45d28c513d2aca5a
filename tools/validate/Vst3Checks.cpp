// The validator's categories for a VST3 bundle: the same hostile host as for VST 2.x modules
// (lifecycles repeated, arrangements and rates a plug-in must refuse or handle, blocks of any
// size, bad audio, hostile states, calls from other threads while processing runs), driven
// through the VST3 test host.
#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <thread>
#include <vector>

#include "tools/common/Vst3Host.h"
#include "tools/validate/Categories.h"

namespace flanger::tools {

namespace {

using vst3::kResultOk;

constexpr int32_t kPreparedBlock = 512;
constexpr int32_t kLargestBlock = 8192;

std::unique_ptr<Vst3Plugin> loadPlugin(const CheckContext& context, Findings& findings) {
    std::string error;
    CallTrace::note("loading %s", context.modulePath.c_str());
    auto plugin = Vst3Plugin::load(context.modulePath, &error);
    if (!plugin) findings.fail("the bundle does not load: %s", error.c_str());
    return plugin;
}

// Stereo buffers of the largest block, filled with a signal and scanned after each call.
struct Buffers {
    std::vector<float> in[2], out[2];
    float* inputs[2];
    float* outputs[2];
    Buffers() {
        for (int c = 0; c < 2; ++c) {
            in[c].assign(kLargestBlock, 0.0f);
            out[c].assign(kLargestBlock, 0.0f);
            inputs[c] = in[c].data();
            outputs[c] = out[c].data();
        }
    }
    SampleScan run(Vst3Plugin& plugin, TestSignal& signal, int32_t frames, vst3::tresult* result = nullptr) {
        signal.fill(inputs, 2, frames);
        CallTrace::note("process(%d frames)", frames);
        const vst3::tresult answer = plugin.process(inputs, outputs, frames);
        if (result != nullptr) *result = answer;
        SampleScan scan = scanSamples(outputs[0], frames, 0, 0);
        scan.add(scanSamples(outputs[1], frames, 1, 0));
        return scan;
    }
};

void checkRuns(Vst3Plugin& plugin, const char* what, Findings& findings, int32_t block = kPreparedBlock,
               int calls = 16) {
    Buffers buffers;
    TestSignal signal(SignalKind::Noise, static_cast<float>(plugin.sampleRate()));
    for (int i = 0; i < calls; ++i) {
        vst3::tresult result = kResultOk;
        const SampleScan scan = buffers.run(plugin, signal, block, &result);
        if (result != kResultOk) findings.fail("%s: process answered %d", what, result);
        if (!scan.clean()) {
            findings.fail("%s: %s", what, scan.describe().c_str());
            return;
        }
    }
}

std::vector<double> parameterValues(Vst3Plugin& plugin) {
    std::vector<double> values;
    for (int32_t i = 0; i < plugin.parameterCount(); ++i) {
        const auto info = plugin.parameterInfo(i);
        values.push_back(info ? plugin.parameter(info->id) : -1.0);
    }
    return values;
}

void checkVst3Lifecycle(const CheckContext& context, Findings& findings) {
    const int rounds = context.quick ? 5 : 25;
    for (int round = 0; round < rounds; ++round) {
        auto plugin = loadPlugin(context, findings);
        if (!plugin) return;
        // Hosts initialise and terminate more than once (Ardour twice at load).
        CallTrace::note("terminate, initialize again");
        plugin->component()->terminate();
        if (plugin->component()->initialize(nullptr) != kResultOk)
            findings.fail("a second initialize was refused");
        for (int start = 0; start < 2; ++start) {
            CallTrace::note("start at 44.1 kHz");
            if (plugin->start(44100.0, kPreparedBlock) != kResultOk)
                findings.fail("start %d was refused", start);
            checkRuns(*plugin, "after a restart", findings, kPreparedBlock, 2);
            plugin->stop();
        }
    }
    // Two modules entered at once, and an instance that outlives a second entry's exit.
    std::string error;
    auto first = Vst3Module::load(context.modulePath, &error);
    auto second = Vst3Module::load(context.modulePath, &error);
    if (!first || !second) {
        findings.fail("the bundle does not enter twice: %s", error.c_str());
        return;
    }
    const std::vector<Vst3ClassInfo> classes = first->classes();
    auto survivor = classes.empty() ? nullptr : Vst3Plugin::create(first, classes[0].cid.data());
    second.reset();
    if (!survivor || survivor->start(48000.0, kPreparedBlock) != kResultOk)
        findings.fail("an instance does not start after the module was entered and left again");
    else
        checkRuns(*survivor, "after another entry's exit", findings, 64, 4);
    // The factory refuses what it does not make, and leaves no object behind.
    void* object = reinterpret_cast<void*>(1);
    const vst3::Uid stranger = vst3::makeUid(1, 2, 3, 4);
    if (first->factory()->createInstance(stranger.bytes, vst3::kComponentIid.bytes, &object) == kResultOk ||
        object != nullptr)
        findings.fail("the factory made an instance of a class it does not have");
    if (survivor) {
        object = reinterpret_cast<void*>(1);
        if (survivor->component()->queryInterface(stranger.bytes, &object) != vst3::kNoInterface ||
            object != nullptr)
            findings.fail("an unknown interface was not answered with no interface and a null object");
    }
    findings.summary("%d instances created, initialised twice and started twice; two entries", rounds);
}

void checkVst3Configuration(const CheckContext& context, Findings& findings) {
    auto plugin = loadPlugin(context, findings);
    if (!plugin) return;
    using namespace vst3;
    const SpeakerArrangement surround = 0x3F;  // five channels and a low-frequency one
    struct Refused {
        SpeakerArrangement in, out;
    } refused[] = {{surround, kArrangementStereo},
                   {kArrangementStereo, surround},
                   {kArrangementStereo, kArrangementMono},
                   {0, kArrangementStereo},
                   {kArrangementStereo, 0}};
    for (const auto& r : refused) {
        CallTrace::note("setBusArrangements(0x%llx, 0x%llx)", static_cast<unsigned long long>(r.in),
                        static_cast<unsigned long long>(r.out));
        if (plugin->setBusArrangements(r.in, r.out) == kResultOk)
            findings.fail("the arrangement 0x%llx -> 0x%llx was taken", static_cast<unsigned long long>(r.in),
                          static_cast<unsigned long long>(r.out));
        SpeakerArrangement now = 0;
        plugin->processor()->getBusArrangement(kOutput, 0, now);
        if (now != kArrangementStereo)
            findings.fail("a refused arrangement changed the output to 0x%llx",
                          static_cast<unsigned long long>(now));
    }
    if (plugin->processor()->canProcessSampleSize(kSample64) == kResultOk)
        findings.fail("64-bit samples are claimed");
    if (plugin->setupProcessing(44100.0, kPreparedBlock, kRealtime, kSample64) == kResultOk)
        findings.fail("a set-up for 64-bit samples was taken");

    const double handled[] = {1.0, 8000.0, 22050.0, 44100.0, 96000.0, 192000.0, 768000.0};
    const double hostile[] = {0.0,      -44100.0, std::nan(""), std::numeric_limits<double>::infinity(),
                              768001.0, 1e12};
    int refusedRates = 0;
    for (double rate : hostile) {
        CallTrace::note("setupProcessing(%g Hz)", rate);
        if (plugin->setupProcessing(rate, kPreparedBlock) != kResultOk) {
            ++refusedRates;
            continue;
        }
        if (plugin->start(rate, kPreparedBlock) == kResultOk)
            checkRuns(*plugin, "at a hostile rate", findings, 64, 2);
        plugin->stop();
    }
    for (double rate : handled) {
        CallTrace::note("start at %g Hz", rate);
        if (plugin->start(rate, kPreparedBlock) != kResultOk) {
            findings.fail("%g Hz was refused", rate);
            continue;
        }
        checkRuns(*plugin, "at a usual rate", findings, kPreparedBlock, context.quick ? 2 : 8);
        plugin->stop();
    }
    // Mono into stereo and mono alone are taken, and run.
    for (SpeakerArrangement out : {kArrangementStereo, kArrangementMono}) {
        if (plugin->setBusArrangements(kArrangementMono, out) != kResultOk) {
            findings.fail("mono into 0x%llx was refused", static_cast<unsigned long long>(out));
            continue;
        }
        plugin->setupProcessing(44100.0, kPreparedBlock);
        plugin->setActive(true);
        std::vector<float> left(kPreparedBlock, 0.25f), right(kPreparedBlock, 0.0f);
        float* ins[1] = {left.data()};
        float* outs[2] = {left.data(), right.data()};
        Vst3ProcessCall call{ins, outs, kPreparedBlock, 1, out == kArrangementMono ? 1 : 2, true};
        if (plugin->process(call) != kResultOk) findings.fail("a mono call was not answered ok");
        plugin->setActive(false);
    }
    findings.summary("5 arrangements and 64-bit samples refused; %d of 6 hostile rates refused, the rest run",
                     refusedRates);
}

void checkVst3Audio(const CheckContext& context, Findings& findings) {
    auto plugin = loadPlugin(context, findings);
    if (!plugin || plugin->start(44100.0, kPreparedBlock) != kResultOk) {
        findings.fail("the plug-in does not start");
        return;
    }
    Buffers buffers;
    // Blocks of every awkward size, to twice the prepared size and beyond.
    const int32_t sizes[] = {1, 2, 3, 31, 32, 33, 64, 511, 512, 513, 1024, 4097, kLargestBlock};
    for (SignalKind kind : {SignalKind::Sine, SignalKind::Hot, SignalKind::Subnormal, SignalKind::Impulses}) {
        TestSignal signal(kind, 44100.0f);
        for (int32_t frames : sizes) {
            const SampleScan scan = buffers.run(*plugin, signal, frames);
            if (!scan.clean())
                findings.fail("%s in %d frames: %s", signalName(kind), frames, scan.describe().c_str());
        }
    }
    // A non-finite input sample never reaches the output, then or later.
    for (float bad : {std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity()}) {
        TestSignal signal(SignalKind::Sine, 44100.0f);
        signal.fill(buffers.inputs, 2, kPreparedBlock);
        buffers.in[0][100] = bad;
        plugin->process(buffers.inputs, buffers.outputs, kPreparedBlock);
        SampleScan scan = scanSamples(buffers.outputs[0], kPreparedBlock, 0, 0);
        for (int i = 0; i < 20; ++i) scan.add(buffers.run(*plugin, signal, kPreparedBlock));
        if (!scan.clean())
            findings.fail("after a %s input sample: %s", floatText(bad).c_str(), scan.describe().c_str());
    }
    // Calls without audio still deliver their parameter changes.
    const double before = plugin->parameter(0);
    const double wanted = before > 0.5 ? 0.25 : 0.75;
    plugin->addChange(0, 0, wanted);
    CallTrace::note("process(0 frames, no buffers)");
    if (plugin->process(nullptr, nullptr, 0) != kResultOk)
        findings.fail("a call of 0 frames was not answered ok");
    if (std::fabs(plugin->parameter(0) - wanted) > 1e-6)
        findings.fail("a change in a call of 0 frames was lost (%g, wanted %g)", plugin->parameter(0),
                      wanted);
    Vst3ProcessCall noBuses{nullptr, nullptr, kPreparedBlock, 2, 2, false};
    if (plugin->process(noBuses) != kResultOk) findings.fail("a call without buses was not answered ok");
    Vst3ProcessCall nullChannels{nullptr, nullptr, kPreparedBlock, 2, 2, true};
    if (plugin->process(nullChannels) != kResultOk)
        findings.fail("a call with null channels was not answered ok");
    findings.summary("%zu block sizes from 1 to %d frames with 4 signals, bad samples, calls without audio",
                     std::size(sizes), kLargestBlock);
}

void checkVst3State(const CheckContext& context, Findings& findings) {
    auto plugin = loadPlugin(context, findings);
    if (!plugin) return;
    plugin->start(44100.0, kPreparedBlock);
    std::mt19937 random(context.seed);
    for (int32_t i = 0; i < plugin->parameterCount(); ++i)
        if (const auto info = plugin->parameterInfo(i); info && info->id < 11)
            plugin->setParameter(info->id, std::uniform_real_distribution<double>(0.0, 1.0)(random));
    vst3::tresult result = kResultOk;
    const std::vector<uint8_t> saved = plugin->state(&result);
    if (result != kResultOk || saved.empty()) {
        findings.fail("getState answered %d with %zu bytes", result, saved.size());
        return;
    }
    const std::vector<double> values = parameterValues(*plugin);
    // The same bytes back, read from where a host's stream stands and in short reads.
    if (plugin->setState(saved, 48, 7) != kResultOk)
        findings.fail("the saved state does not load at position 48");
    if (plugin->state() != saved)
        findings.fail("a state saved, loaded and saved again is not the same bytes");
    if (parameterValues(*plugin) != values) findings.fail("a state round trip changed parameter values");

    // Hostile states: refused, with nothing changed.
    std::vector<std::vector<uint8_t>> hostile = {{}, {'B', 'W', 'F', 'S'}};
    for (size_t cut : {size_t{11}, size_t{12}, saved.size() / 2, saved.size() - 1})
        hostile.emplace_back(saved.begin(), saved.begin() + cut);
    auto variant = [&](size_t at, uint8_t value) {
        std::vector<uint8_t> v = saved;
        v[at] = value;
        hostile.push_back(v);
    };
    variant(0, 'X');                  // foreign magic
    variant(4, 2);                    // a newer version
    variant(8, 0xFF);                 // a size that does not match
    variant(saved.size() - 4, 0x7F);  // a program that does not exist
    const int randoms = context.quick ? 50 : 400;
    for (int r = 0; r < randoms; ++r) {
        std::vector<uint8_t> junk(std::uniform_int_distribution<size_t>(0, 1200)(random));
        for (auto& b : junk) b = static_cast<uint8_t>(random());
        if (r % 2 == 0 && junk.size() >= 12) std::memcpy(junk.data(), saved.data(), 12);  // a valid header
        hostile.push_back(std::move(junk));
    }
    int wronglyTaken = 0;
    for (const auto& bytes : hostile) {
        CallTrace::note("setState(%zu hostile bytes)", bytes.size());
        if (plugin->setState(bytes) == kResultOk) ++wronglyTaken;
        if (plugin->state() != saved || parameterValues(*plugin) != values) {
            findings.fail("a hostile state of %zu bytes changed the plug-in", bytes.size());
            plugin->setState(saved);
        }
    }
    if (wronglyTaken > 0) findings.fail("%d hostile states were answered ok", wronglyTaken);
    checkRuns(*plugin, "after hostile states", findings, kPreparedBlock, 4);
    findings.summary("round trip byte-exact at position 48 in short reads; %zu hostile states refused",
                     hostile.size());
}

void checkVst3Threads(const CheckContext& context, Findings& findings) {
    auto plugin = loadPlugin(context, findings);
    if (!plugin || plugin->start(44100.0, kPreparedBlock) != kResultOk) {
        findings.fail("the plug-in does not start");
        return;
    }
    const std::vector<uint8_t> saved = plugin->state();
    std::atomic<bool> stop{false};
    std::atomic<long> calls{0};
    // The host's other threads: parameters, texts and states while the audio thread runs.
    std::thread writer([&] {
        CallTrace::bindThread(1, "writer");
        std::mt19937 random(context.seed);
        while (!stop.load()) {
            const auto id = static_cast<vst3::ParamID>(random() % 13);
            CallTrace::note("setParamNormalized(%u)", id);
            plugin->controller()->setParamNormalized(
                id, std::uniform_real_distribution<double>(0.0, 1.0)(random));
            vst3::String128 text{};
            plugin->controller()->getParamStringByValue(id % 11, 0.5, text);
            if (random() % 16 == 0) plugin->setState(saved);
            if (random() % 16 == 1) plugin->state();
            calls.fetch_add(1);
        }
        CallTrace::clearSlot(1);
    });
    CallTrace::bindThread(0, "audio thread");
    Buffers buffers;
    TestSignal signal(SignalKind::Noise, 44100.0f);
    SampleScan scan;
    const int blocks = context.quick ? 400 : 4000;
    for (int b = 0; b < blocks; ++b) {
        if (b % 8 == 0) plugin->addChange(static_cast<vst3::ParamID>(b % 11), b % 64, (b % 100) / 100.0);
        scan.add(buffers.run(*plugin, signal, 128));
    }
    stop.store(true);
    writer.join();
    if (!scan.clean()) findings.fail("while other threads called: %s", scan.describe().c_str());
    findings.summary("%d blocks against %ld calls from another thread", blocks, calls.load());
}

}  // namespace

const ValidatorBuild& vst3ValidatorBuild() {
    static const ValidatorBuild build = {
        {
            {"lifecycle", checkVst3Lifecycle, nullptr, nullptr},
            {"configuration", checkVst3Configuration, nullptr, nullptr},
            {"audio", checkVst3Audio, nullptr, nullptr},
            {"state", checkVst3State, nullptr, nullptr},
            {"threads", checkVst3Threads, nullptr, nullptr},
        },
        {},
        "PLUGIN.vst3",
        "  flanger-validate build/vst3/BrackwaterFlanger.vst3\n",
    };
    return build;
}

}  // namespace flanger::tools
