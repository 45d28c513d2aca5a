// Threads: two threads writing parameters and a third switching programs, loading chunks and
// entering texts while the audio thread processes. Meaningful under ThreadSanitizer, which reports any race.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <limits>
#include <thread>

#include "tools/validate/Categories.h"

namespace flanger::tools {

void checkThreads(const CheckContext& context, Findings& findings) {
    Rig rig;
    if (!rig.start(context.modulePath, RigOptions{}, findings)) return;
    PluginInstance& plugin = rig.plugin();
    const int32_t count = plugin.parameterCount();
    const int32_t programs = plugin.programCount();
    const bool chunks = plugin.hasFlag(vst::effFlagsProgramChunks);
    const std::vector<uint8_t> programChunk = chunks ? plugin.chunk(true) : std::vector<uint8_t>{};
    const int blocks = context.quick ? 600 : 2000;

    std::atomic<bool> stop{false};                // writer: the audio loop; reader: the other threads
    std::atomic<int64_t> badReads{0};             // writer: the writer threads; reader: the report
    std::atomic<int64_t> writes{0}, switches{0};  // writer: the threads; reader: the report

    const float hostile[] = {std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(),
                             -1.0f, 2.0f, 1e30f};
    auto writer = [&](int slot, uint32_t seed) {
        CallTrace::bindThread(slot, slot == 1 ? "parameter writer 1" : "parameter writer 2");
        std::minstd_rand random(seed);
        std::uniform_real_distribution<float> unit(0.0f, 1.0f);
        while (!stop.load(std::memory_order_relaxed)) {
            for (int k = 0; k < 16 && count > 0; ++k) {
                const auto index = static_cast<int32_t>(random() % static_cast<uint32_t>(count));
                // Now and then a value no host should send: it must be sanitised even mid-stream.
                const float value =
                    random() % 64 == 0 ? hostile[random() % std::size(hostile)] : unit(random);
                CallTrace::note("setParameter(%d, %g) / getParameter", index, static_cast<double>(value));
                plugin.setParameter(index, value);
                const float read = plugin.parameter(index);
                if (!std::isfinite(read) || read < 0.0f || read > 1.0f)
                    badReads.fetch_add(1, std::memory_order_relaxed);
                writes.fetch_add(1, std::memory_order_relaxed);
            }
            std::this_thread::yield();
        }
    };
    std::atomic<int64_t> badTexts{0};  // writer: the program thread; reader: the report
    GuardedBlock chunkBuffer(std::max<size_t>(programChunk.size(), 1));
    GuardedBlock textBuffer(64);
    GuardedBlock entryBuffer(16);
    auto switcher = [&]() {
        CallTrace::bindThread(3, "program thread");
        std::minstd_rand random(context.seed + 3);
        while (!stop.load(std::memory_order_relaxed)) {
            if (programs > 0) {
                const auto p = static_cast<int32_t>(random() % static_cast<uint32_t>(programs));
                CallTrace::note("effBeginSetProgram/effSetProgram(%d)/effEndSetProgram", p);
                plugin.setProgram(p);
            }
            if (!programChunk.empty() && random() % 4 == 0) {
                std::memcpy(chunkBuffer.data(), programChunk.data(), programChunk.size());
                CallTrace::note("effSetChunk(program, %zu bytes)", programChunk.size());
                plugin.dispatch(vst::effSetChunk, 1, static_cast<intptr_t>(programChunk.size()),
                                chunkBuffer.data());
            }
            if (count > 0 && random() % 4 == 1) {
                static const char* const entries[] = {"50", "nan", "1e9", "", "-3"};
                const char* entry = entries[random() % std::size(entries)];
                const size_t n = std::strlen(entry) + 1;
                // The text ends at the guard page, terminator included.
                unsigned char* at = entryBuffer.data() + entryBuffer.size() - n;
                std::memcpy(at, entry, n);
                const auto index = static_cast<int32_t>(random() % static_cast<uint32_t>(count));
                CallTrace::note("effString2Parameter(%d, \"%s\")", index, entry);
                plugin.dispatch(vst::effString2Parameter, index, 0, at);
            }
            CallTrace::note("effGetParamDisplay(0)");
            textBuffer.fill(0x7f);
            plugin.dispatch(vst::effGetParamDisplay, 0, 0, textBuffer.data());
            if (!textProblem(textBuffer.data(), textBuffer.size()).empty())
                badTexts.fetch_add(1, std::memory_order_relaxed);
            switches.fetch_add(1, std::memory_order_relaxed);
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    };

    CallTrace::bindThread(0, "audio thread");
    std::thread one(writer, 1, context.seed + 1);
    std::thread two(writer, 2, context.seed + 2);
    std::thread three(switcher);
    TestSignal signal(SignalKind::Noise, 44100.0f, context.seed);
    SampleScan total;
    // At least a block count and a stretch of time, so the threads really overlap.
    const auto until =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(context.quick ? 1000 : 2000);
    int processed = 0;
    for (; processed < blocks || std::chrono::steady_clock::now() < until; ++processed)
        total.add(rig.process(rig.preferredMode(), 256, signal, processed % 2 == 1));
    stop.store(true, std::memory_order_relaxed);
    one.join();
    two.join();
    three.join();
    CallTrace::bindThread(0, "main thread");

    if (!total.clean())
        findings.fail("processing while other threads automate: %s", total.describe().c_str());
    if (badReads.load() > 0)
        findings.fail("%lld parameter reads outside [0, 1] while processing",
                      static_cast<long long>(badReads.load()));
    if (badTexts.load() > 0)
        findings.fail("%lld display texts unterminated or unprintable while processing",
                      static_cast<long long>(badTexts.load()));
    rig.readParameters(findings, "the threaded run");
    findings.summary(
        "%d blocks processed against %lld parameter writes from two threads and %lld program switches%s "
        "and text entry",
        processed, static_cast<long long>(writes.load()), static_cast<long long>(switches.load()),
        programChunk.empty() ? "" : " with chunk loads");
}

}  // namespace flanger::tools
