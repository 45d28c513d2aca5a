// CLAP audio: in place and out of place alike, every signal in blocks of 1 to 16384 frames, silent
// tails and subnormal input, rates from 1 kHz to 768 kHz, reset and re-activation as good as a
// fresh instance, null and fuzzed transports, and the calls a careless host makes.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "tools/validate/Categories.h"
#include "tools/validate/ClapRig.h"

namespace flanger::tools {

namespace {

using namespace claprig;

// Out of place and in place (the ports pair in place) from fresh instances: the same output.
void basicProcessing(Module& module, const CheckContext& context, Findings& findings) {
    RenderPlan plan;
    plan.frames = 44100;
    plan.seed = context.seed;
    const std::vector<float> apart = renderFresh(module, plan, findings, "out of place");
    plan.inPlace = true;
    const std::vector<float> inPlace = renderFresh(module, plan, findings, "in place");
    if (const long long at = firstDifferentFrame(apart, inPlace); at >= 0)
        findings.fail("in place (outputs = inputs) sounds different from separate buffers from frame %lld on",
                      at);
    float peak = 0.0f;
    for (float s : apart) peak = std::max(peak, std::fabs(s));
    if (peak == 0.0f) findings.note("the output is silent for noise input");
}

// Every signal through blocks of every size up to the largest; noise then silence, whose tail
// must not turn subnormal; subnormal input, which must stay finite.
void signalsAndDenormals(Instance& instance, Block& block, const CheckContext& context, Findings& findings) {
    const uint32_t sizes[] = {1,    2,    3,    4,    7,    8,    16,    31,   32,  33,
                              64,   100,  127,  128,  255,  256,  511,   512,  513, 1000,
                              1024, 2048, 4095, 4096, 4097, 8192, 16383, 16384};
    const SignalKind kinds[] = {SignalKind::Sine,     SignalKind::Noise, SignalKind::Hot,
                                SignalKind::Impulses, SignalKind::Dc,    SignalKind::Silence};
    for (SignalKind kind : kinds) {
        TestSignal signal(kind, static_cast<float>(kRate), context.seed);
        for (uint32_t frames : sizes) {
            const clap_process_status status = block.run(instance, signal, frames);
            if (const std::string problem = callProblem(block, status); !problem.empty()) {
                findings.fail("%s in a call of %u frames: %s", signalName(kind), frames, problem.c_str());
                break;
            }
        }
    }
    // Noise, then three seconds of silence: feedback and delay lines fade without subnormals.
    RenderPlan noise;
    noise.frames = 22050;
    render(instance, block, noise, kRate, findings, "noise");
    RenderPlan silence;
    silence.frames = context.quick ? 44100 : 132300;
    silence.signal = SignalKind::Silence;
    render(instance, block, silence, kRate, findings, "3 s of silence after noise");
    // Subnormal input may pass through the dry path; it must never turn into inf or NaN.
    TestSignal tiny(SignalKind::Subnormal, static_cast<float>(kRate), context.seed);
    SampleScan scan;
    for (int i = 0; i < 40; ++i) {
        block.run(instance, tiny, 512, false, i * 512);
        scan.add(block.scan());
    }
    if (scan.nonFinite > 0)
        findings.fail("subnormal input: %s", scan.describe().c_str());
    else if (scan.subnormal > 0)
        findings.note("subnormal input passes %lld subnormal samples through",
                      static_cast<long long>(scan.subnormal));
}

// Activated at every rate from 1 kHz to 768 kHz, a tenth of a second each.
void sampleRates(Instance& instance, Findings& findings) {
    const double rates[] = {1000.0,  8000.0,  11025.0,  16000.0,  22050.0,  32000.0,  44100.0,  48000.0,
                            88200.0, 96000.0, 176400.0, 192000.0, 352800.0, 384000.0, 705600.0, 768000.0};
    Block block(4096);
    for (double rate : rates) {
        if (!instance.activate(rate, 1, 4096)) {
            findings.fail("activate at %g Hz was refused", rate);
            continue;
        }
        RenderPlan plan;
        plan.frames = std::max<int64_t>(4096, static_cast<int64_t>(rate / 10));
        const std::string what = "at " + std::to_string(static_cast<long>(rate)) + " Hz";
        render(instance, block, plan, rate, findings, what.c_str());
    }
    instance.deactivate();
}

// Random block sizes, and whether a host's way of cutting its blocks changes the sound: a
// plug-in that renders per block (a sweep stepped once a call, say) does.
void randomBlocks(Module& module, const CheckContext& context, Findings& findings) {
    RenderPlan even;
    even.frames = context.quick ? 44100 : 88200;
    even.seed = context.seed;
    const std::vector<float> reference = renderFresh(module, even, findings, "blocks of 512");
    std::mt19937 random(context.seed);
    RenderPlan uneven = even;
    uneven.block = [&](int64_t) {
        // Mostly small and odd, now and then the largest a host may pass.
        const uint32_t pick = random() % 8;
        return pick == 0 ? kLargestBlock : 1 + random() % (pick < 4 ? 64u : 2048u);
    };
    const std::vector<float> cut =
        renderFresh(module, uneven, findings, "random block sizes from 1 to 16384");
    // Not a fault in itself: a plug-in may step its smoothing once a call, by design.
    if (const long long at = firstDifferentFrame(reference, cut); at >= 0)
        findings.note(
            "random block sizes sound different from blocks of 512 from frame %lld on: the sound "
            "depends on where the host cuts its blocks",
            at);
}

// reset leaves nothing of what was heard before: silence in is silence out at once. A new
// activation, at the same settings or after others, starts afresh: the output is a fresh
// instance's. (reset need not restart a plug-in's free-running sweeps, so it is not held to that.)
void resetAndReactivate(Module& module, const CheckContext& context, Findings& findings) {
    RenderPlan plan;
    plan.frames = 22050;
    plan.seed = context.seed;
    const std::vector<float> fresh = renderFresh(module, plan, findings, "a fresh instance");
    auto instance = Instance::create(module, findings);
    if (!instance || !instance->activate(kRate, 1, kLargestBlock)) return;
    Block block(kLargestBlock);
    RenderPlan hot;
    hot.frames = 30000;
    hot.signal = SignalKind::Hot;
    render(*instance, block, hot, kRate, findings, "hot noise before a reset");
    instance->reset();
    RenderPlan quiet = plan;
    quiet.signal = SignalKind::Silence;
    const std::vector<float> after =
        render(*instance, block, quiet, kRate, findings, "silence after a reset");
    for (std::size_t i = 0; i < after.size(); ++i) {
        if (std::fabs(after[i]) > 1e-6f) {
            findings.fail("after reset, silence in gives %g at frame %zu: what was heard before still sounds",
                          static_cast<double>(after[i]), i / 2);
            break;
        }
    }
    const struct {
        const char* what;
        std::function<void()> restart;
    } restarts[] = {
        {"after deactivate and activate at the same settings",
         [&] { instance->activate(kRate, 1, kLargestBlock); }},
        {"after an activation at 48 kHz and one back at 44.1 kHz",
         [&] {
             instance->activate(48000.0, 1, 64);
             render(*instance, block, hot, 48000.0, findings, "at 48 kHz in between");
             instance->activate(kRate, 1, kLargestBlock);
         }},
    };
    for (const auto& r : restarts) {
        render(*instance, block, hot, kRate, findings, "hot noise before a restart");
        r.restart();
        const std::vector<float> again = render(*instance, block, plan, kRate, findings, r.what);
        if (const long long at = firstDifferentFrame(fresh, again); at >= 0)
            findings.fail("%s the output differs from a fresh instance's from frame %lld on (%g, fresh %g)",
                          r.what, at, static_cast<double>(again[static_cast<size_t>(2 * at)]),
                          static_cast<double>(fresh[static_cast<size_t>(2 * at)]));
    }
}

// A transport no host should send, fuzzed: tempos of every kind, signatures of zero, positions
// at the ends of their range. The parameters move as well, so a tempo-synced mode meets it.
clap_event_transport fuzzedTransport(std::mt19937& random) {
    const double tempos[] = {120.0,
                             0.0,
                             -120.0,
                             1e-9,
                             1e9,
                             std::nan(""),
                             std::numeric_limits<double>::infinity(),
                             -std::numeric_limits<double>::infinity(),
                             4e-320,
                             300.0};
    const int64_t positions[] = {0, 1, -1, INT64_MAX, INT64_MIN, int64_t{1} << 40};
    clap_event_transport t{};
    t.header = {sizeof t, 0, kCoreEventSpace, kEventTransport, 0};
    t.flags = random() & 0xFF;
    t.songPosBeats = positions[random() % std::size(positions)];
    t.songPosSeconds = positions[random() % std::size(positions)];
    t.tempo = tempos[random() % std::size(tempos)];
    t.tempoInc = tempos[random() % std::size(tempos)];
    t.loopStartBeats = positions[random() % std::size(positions)];
    t.loopEndBeats = positions[random() % std::size(positions)];
    t.barStart = positions[random() % std::size(positions)];
    t.barNumber = static_cast<int32_t>(random());
    t.tsigNum = static_cast<uint16_t>(random() % 3 == 0 ? 0 : random());
    t.tsigDenom = static_cast<uint16_t>(random() % 3 == 0 ? 0 : random());
    return t;
}

void transports(Instance& instance, const CheckContext& context, Findings& findings) {
    instance.activate(kRate, 1, 1024);
    Block block(1024);
    RenderPlan plain;
    plain.frames = 22050;
    render(instance, block, plain, kRate, findings, "without a transport");
    const std::vector<clap_param_info> infos = instance.parameters();
    std::mt19937 random(context.seed);
    clap_event_transport transport{};
    block.transport = &transport;
    TestSignal signal(SignalKind::Noise, static_cast<float>(kRate), context.seed);
    const int calls = context.quick ? 400 : 2000;
    for (int i = 0; i < calls; ++i) {
        transport = fuzzedTransport(random);
        if (i % 16 == 0)
            for (const auto& info : infos) block.events.value(info.id, 0, randomValue(info, random));
        // The transport as an event inside the block, as hosts send tempo changes.
        if (i % 3 == 0) {
            EventSlot slot{};
            slot.transport = fuzzedTransport(random);
            slot.transport.header.time = 100;
            block.events.add(slot);
        }
        const auto frames = static_cast<uint32_t>(1 + random() % 1024);
        const clap_process_status status = block.run(instance, signal, frames);
        if (const std::string problem = callProblem(block, status); !problem.empty()) {
            findings.fail("with a fuzzed transport (flags 0x%x, tempo %g, signature %u/%u): %s",
                          transport.flags, transport.tempo, transport.tsigNum, transport.tsigDenom,
                          problem.c_str());
            break;
        }
    }
    block.transport = nullptr;
    instance.deactivate();
}

// Calls a careless host makes: no audio, null buffers, too few channels, no structure at all.
// None may crash or touch memory it was not given; a call without usable audio must not claim
// to have processed it, and a call of 0 frames must still take its events.
void hostileCalls(Instance& instance, Findings& findings) {
    instance.activate(kRate, 1, 512);
    Block block(512);
    float** in = block.inputChannels().pointers(512);
    float** out = block.outputChannels().pointers(512);
    float* nulls[2] = {nullptr, nullptr};
    EventList events;
    EventSink sink;
    struct Case {
        const char* what;
        uint32_t frames;
        float** in;
        float** out;
        uint32_t channels;
        uint32_t ports;
    } cases[] = {
        {"no audio ports", 512, in, out, 2, 0},     {"null channel arrays", 512, nullptr, nullptr, 2, 1},
        {"null channels", 512, nulls, nulls, 2, 1}, {"null output channels", 512, in, nulls, 2, 1},
        {"0 channels", 512, in, out, 0, 1},
    };
    for (const Case& c : cases) {
        const clap_audio_buffer audioIn{c.in, nullptr, c.channels, 0, 0};
        clap_audio_buffer audioOut{c.out, nullptr, c.channels, 0, 0};
        const clap_process call{0,
                                c.frames,
                                nullptr,
                                c.ports ? &audioIn : nullptr,
                                c.ports ? &audioOut : nullptr,
                                c.ports,
                                c.ports,
                                events.table(),
                                sink.table()};
        CallTrace::note("plugin.process(%u frames, %s)", c.frames, c.what);
        const clap_process_status status = instance.plugin()->process(instance.plugin(), &call);
        if (status != kProcessError)
            findings.fail("a call of %u frames with %s was answered %d, not an error", c.frames, c.what,
                          status);
    }
    CallTrace::note("plugin.process(null)");
    if (instance.plugin()->process(instance.plugin(), nullptr) != kProcessError)
        findings.fail("a call with a null process structure was not answered with an error");
    // One channel where the port has two: the plug-in may process it or refuse it, not more.
    {
        const clap_audio_buffer audioIn{in, nullptr, 1, 0, 0};
        clap_audio_buffer audioOut{out, nullptr, 1, 0, 0};
        const clap_process call{0, 512, nullptr, &audioIn, &audioOut, 1, 1, events.table(), sink.table()};
        CallTrace::note("plugin.process(512 frames, 1 channel)");
        if (!statusKnown(instance.plugin()->process(instance.plugin(), &call)))
            findings.fail("a call with 1 channel was answered with no status the format has");
    }
    // No audio at all, but an event: it must be taken.
    const std::vector<clap_param_info> infos = instance.parameters();
    if (!infos.empty()) {
        const clap_param_info& info = infos[0];
        const double wanted = sameValue(instance.value(info.id).value_or(0.0), info.maxValue, info)
                                  ? info.minValue
                                  : info.maxValue;
        events.value(info.id, 0, wanted);
        const clap_process call{0, 0, nullptr, nullptr, nullptr, 0, 0, events.table(), sink.table()};
        CallTrace::note("plugin.process(0 frames, no audio, 1 event)");
        const clap_process_status status = instance.plugin()->process(instance.plugin(), &call);
        if (!processed(status)) findings.fail("a call of 0 frames without audio was answered %d", status);
        const double now = instance.value(info.id).value_or(std::nan(""));
        if (!closeTo(now, wanted, info))
            findings.fail("a value event in a call of 0 frames was lost (%g, wanted %g)", now, wanted);
    }
    // A refusing output queue and events that cannot be read.
    block.sink.refuse = true;
    block.events.nullEntries = true;
    for (int i = 0; i < 4; ++i) block.events.value(0, 0, infos.empty() ? 0.0 : infos[0].defaultValue);
    TestSignal signal(SignalKind::Noise, static_cast<float>(kRate));
    if (const std::string problem = callProblem(block, block.run(instance, signal, 512)); !problem.empty())
        findings.fail("with null entries in the event list and a full output queue: %s", problem.c_str());
    // A NaN or inf input sample is gone from the output within a second.
    for (float bad : {std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity()}) {
        TestSignal noise(SignalKind::Noise, static_cast<float>(kRate));
        noise.fill(block.inputChannels().pointers(512), 2, 512);
        block.input(0, 512)[100] = bad;
        block.run(instance, nullptr, 512);
        for (int i = 0; i < 90; ++i) block.run(instance, noise, 512);
        SampleScan later;
        for (int i = 0; i < 20; ++i) {
            block.run(instance, noise, 512);
            later.add(block.scan());
        }
        if (!later.clean())
            findings.fail("one %s input sample: output 1 s to 1.2 s later: %s", floatText(bad).c_str(),
                          later.describe().c_str());
    }
    instance.deactivate();
}

}  // namespace

void checkClapAudio(const CheckContext& context, Findings& findings) {
    denormalsVisible();
    auto module = Module::load(context.modulePath, findings);
    if (!module) return;
    basicProcessing(*module, context, findings);
    auto instance = Instance::create(*module, findings);
    if (!instance) return;
    if (!instance->activate(kRate, 1, kLargestBlock)) {
        findings.fail("activate at 44.1 kHz for up to %u frames was refused", kLargestBlock);
        return;
    }
    Block block(kLargestBlock);
    signalsAndDenormals(*instance, block, context, findings);
    sampleRates(*instance, findings);
    randomBlocks(*module, context, findings);
    resetAndReactivate(*module, context, findings);
    transports(*instance, context, findings);
    hostileCalls(*instance, findings);
    findings.summary(
        "in place = out of place; 6 signals in 28 block sizes to 16384; silent tails and subnormal "
        "input; 16 rates from 1 kHz to 768 kHz; random block sizes; reset silent, re-activation = "
        "fresh; null and fuzzed transports; hostile calls");
}

}  // namespace flanger::tools
