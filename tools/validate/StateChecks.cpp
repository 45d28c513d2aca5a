// State: bank and program chunks round trip to bit-identical audio; chunks of wrong sizes, null
// and garbage leave the plug-in sane; program switches mid-stream.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "tools/validate/Categories.h"

namespace flanger::tools {

namespace {

constexpr int32_t kBlock = 512;
constexpr int kBlocks = 40;

// What must not change when a chunk is refused.
struct Snapshot {
    std::vector<float> parameters;
    int32_t program = 0;
    std::vector<std::string> names;
    std::vector<uint8_t> bank;
    bool operator==(const Snapshot& other) const {
        return parameters.size() == other.parameters.size() &&
               std::memcmp(parameters.data(), other.parameters.data(), parameters.size() * sizeof(float)) ==
                   0 &&
               program == other.program && names == other.names && bank == other.bank;
    }
};

Snapshot snapshot(Rig& rig, Findings& findings, const std::string& after) {
    Snapshot s;
    s.parameters = rig.readParameters(findings, after);
    s.program = static_cast<int32_t>(rig.dispatch(vst::effGetProgram));
    const int32_t programs = std::min(rig.plugin().programCount(), 128);
    for (int32_t p = 0; p < programs; ++p) {
        const GuardedText name = rig.readText(vst::effGetProgramNameIndexed, p, 64);
        // Names are the host's 8-bit text, whatever a chunk held: only the terminator is demanded.
        if (!name.terminated)
            findings.fail("after %s: effGetProgramNameIndexed(%d): %s", after.c_str(), p,
                          name.problem.c_str());
        s.names.push_back(name.text);
    }
    if (rig.plugin().hasFlag(vst::effFlagsProgramChunks)) {
        CallTrace::note("effGetChunk(bank)");
        s.bank = rig.plugin().chunk(false);
    }
    return s;
}

std::vector<float> render(Rig& rig, uint32_t seed) {
    TestSignal signal(SignalKind::Noise, 44100.0f, seed);
    std::vector<float> out;
    for (int b = 0; b < kBlocks; ++b) {
        rig.process(rig.preferredMode(), kBlock, signal);
        for (int32_t c = 0; c < std::min(rig.plugin().outputCount(), 2); ++c) {
            const float* samples = rig.lastOutput(c);
            out.insert(out.end(), samples, samples + kBlock);
        }
    }
    return out;
}

// A chunk handed over in a guarded buffer of exactly its size.
intptr_t loadChunk(Rig& rig, const std::vector<uint8_t>& data, bool program, intptr_t size) {
    GuardedBlock block(data.size(), 0);
    if (!data.empty()) std::memcpy(block.data(), data.data(), data.size());
    return rig.dispatch(vst::effSetChunk, program ? 1 : 0, size, data.empty() ? nullptr : block.data());
}

void setRandomState(Rig& rig, std::minstd_rand& random) {
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    for (int32_t i = 0; i < rig.plugin().parameterCount(); ++i) rig.setParameter(i, unit(random));
}

void roundTrips(const CheckContext& context, Findings& findings) {
    for (bool program : {false, true}) {
        const char* kind = program ? "program" : "bank";
        std::minstd_rand random(context.seed + (program ? 1 : 0));
        Rig source;
        if (!source.start(context.modulePath, RigOptions{}, findings)) return;
        const int32_t programs = source.plugin().programCount();
        if (programs > 1) {
            source.setProgram(1);
            setRandomState(source, random);
            source.setProgramName("Validator one");
            source.setProgram(programs - 1);
        }
        setRandomState(source, random);
        CallTrace::note("effGetChunk(%s)", kind);
        const std::vector<uint8_t> chunk = source.plugin().chunk(program);
        if (chunk.empty()) {
            findings.fail("effGetChunk(%s) gave no data although the plug-in announces chunks", kind);
            return;
        }
        const Snapshot expected = snapshot(source, findings, std::string("setting a random ") + kind);
        const std::vector<float> expectedAudio = render(source, context.seed);

        Rig target;
        if (!target.start(context.modulePath, RigOptions{}, findings)) return;
        if (program && programs > 1) target.setProgram(programs - 1);
        if (loadChunk(target, chunk, program, static_cast<intptr_t>(chunk.size())) == 0) {
            findings.fail("effSetChunk(%s) refused the plug-in's own %zu-byte chunk", kind, chunk.size());
            continue;
        }
        // A bank does not say which program is current; hosts restore that separately.
        if (!program && programs > 1) target.setProgram(programs - 1);
        const Snapshot loaded = snapshot(target, findings, std::string("loading a ") + kind + " chunk");
        if (std::memcmp(loaded.parameters.data(), expected.parameters.data(),
                        std::min(loaded.parameters.size(), expected.parameters.size()) * sizeof(float)) != 0)
            findings.fail("after a %s chunk round trip the parameters differ", kind);
        if (!program && loaded.names != expected.names)
            findings.fail("after a bank round trip the program names differ");
        const long long diff = firstDifference(expectedAudio, render(target, context.seed));
        if (diff >= 0)
            findings.fail("after a %s chunk round trip the output differs from sample %lld on", kind, diff);
        CallTrace::note("effGetChunk(%s) after loading", kind);
        if (target.plugin().chunk(program) != chunk)
            findings.note("the %s chunk read back after loading differs from the one loaded", kind);
    }
}

// Every wrong size refused with nothing changed, or accepted with a sane state; null refused.
void wrongSizes(const CheckContext& context, Findings& findings) {
    Rig rig;
    if (!rig.start(context.modulePath, RigOptions{}, findings)) return;
    std::minstd_rand random(context.seed);
    setRandomState(rig, random);
    for (bool program : {false, true}) {
        const char* kind = program ? "program" : "bank";
        CallTrace::note("effGetChunk(%s)", kind);
        const std::vector<uint8_t> own = rig.plugin().chunk(program);
        const Snapshot before = snapshot(rig, findings, "setting a random state");
        // Null data and sizes that are no size at all must be refused.
        for (intptr_t size : {intptr_t{0}, intptr_t{-1}, intptr_t{std::numeric_limits<int32_t>::min()},
                              static_cast<intptr_t>(own.size())}) {
            const intptr_t answer = rig.dispatch(vst::effSetChunk, program ? 1 : 0, size, nullptr);
            if (answer != 0)
                findings.fail("effSetChunk(%s, size %lld, null data) answered %lld", kind,
                              static_cast<long long>(size), static_cast<long long>(answer));
        }
        for (intptr_t size : {intptr_t{0}, intptr_t{-1}, intptr_t{-112}}) {
            const intptr_t answer = loadChunk(rig, own, program, size);
            if (answer != 0)
                findings.fail("effSetChunk(%s, size %lld) with data answered %lld", kind,
                              static_cast<long long>(size), static_cast<long long>(answer));
        }
        if (!(snapshot(rig, findings, "refused chunks") == before))
            findings.fail("a refused %s chunk (null data or size <= 0) changed the state", kind);

        // Truncated and padded copies of the plug-in's own chunk, every size up to 64 bytes past it.
        const size_t limit = own.size() + 64;
        const size_t step = own.size() > 4096 ? own.size() / 256 : 1;
        std::vector<size_t> accepted;
        for (size_t size = 1; size <= limit; size += step) {
            if (size == own.size()) continue;
            std::vector<uint8_t> data(size);
            for (size_t i = 0; i < size; ++i)
                data[i] = i < own.size() ? own[i] : static_cast<uint8_t>(random());
            const intptr_t answer = loadChunk(rig, data, program, static_cast<intptr_t>(size));
            const std::string after = std::string("a ") + std::to_string(size) + "-byte " + kind + " chunk";
            if (answer == 0) {
                if (!(snapshot(rig, findings, after) == before))
                    findings.fail("%s was refused but changed the state", after.c_str());
                continue;
            }
            accepted.push_back(size);
            rig.readParameters(findings, after);
            TestSignal signal(SignalKind::Noise, 44100.0f, context.seed);
            const SampleScan scan = rig.run(rig.preferredMode(), 4096, 512, signal);
            if (!scan.clean()) findings.fail("after %s: %s", after.c_str(), scan.describe().c_str());
            loadChunk(rig, own, program, static_cast<intptr_t>(own.size()));  // back to the state before
        }
        if (!accepted.empty()) {
            std::string sizes;
            for (size_t i = 0; i < accepted.size() && i < 12; ++i)
                sizes += (i ? ", " : "") + std::to_string(accepted[i]);
            findings.note("accepts %zu %s chunk sizes other than its own %zu: %s%s", accepted.size(), kind,
                          own.size(), sizes.c_str(), accepted.size() > 12 ? " ..." : "");
        }
    }
}

// A garbage 4-byte word: special floats in either byte order, or plain random bytes.
uint32_t garbageWord(std::minstd_rand& random) {
    static const float specials[] = {std::numeric_limits<float>::quiet_NaN(),
                                     std::numeric_limits<float>::infinity(),
                                     -std::numeric_limits<float>::infinity(),
                                     1e30f,
                                     -1e30f,
                                     -1.0f,
                                     2.0f,
                                     1e-40f,
                                     std::numeric_limits<float>::max()};
    const uint32_t pick = static_cast<uint32_t>(random()) % 12u;
    if (pick >= std::size(specials))
        return static_cast<uint32_t>(random()) ^ (static_cast<uint32_t>(random()) << 16);
    uint32_t bits = 0;
    std::memcpy(&bits, &specials[pick], sizeof bits);
    return (random() & 1) ? __builtin_bswap32(bits) : bits;
}

void garbageChunks(const CheckContext& context, Findings& findings) {
    Rig rig;
    if (!rig.start(context.modulePath, RigOptions{}, findings)) return;
    std::minstd_rand random(context.seed);
    const int rounds = context.quick ? 60 : 200;
    for (bool program : {false, true}) {
        const char* kind = program ? "program" : "bank";
        CallTrace::note("effGetChunk(%s)", kind);
        const std::vector<uint8_t> own = rig.plugin().chunk(program);
        for (int round = 0; round < rounds; ++round) {
            std::vector<uint8_t> data = own;
            if (round % 2 == 0) {
                for (auto& byte : data) byte = static_cast<uint8_t>(random());
            } else {
                for (size_t i = 0; i + 4 <= data.size(); i += 4) {
                    if (random() % 3 != 0) continue;
                    const uint32_t word = garbageWord(random);
                    std::memcpy(&data[i], &word, 4);
                }
            }
            const intptr_t answer = loadChunk(rig, data, program, static_cast<intptr_t>(data.size()));
            const std::string after = std::string("random bytes in a ") + std::to_string(data.size()) +
                                      "-byte " + kind + " chunk (round " + std::to_string(round) +
                                      ", answer " + std::to_string(answer) + ")";
            snapshot(rig, findings, after);
            for (int32_t i = 0; i < std::min(rig.plugin().parameterCount(), 4096); ++i) {
                const GuardedText text = rig.readText(vst::effGetParamDisplay, i);
                if (!text.problem.empty())
                    findings.fail("after %s: effGetParamDisplay(%d): %s", after.c_str(), i,
                                  text.problem.c_str());
            }
            TestSignal signal(SignalKind::Noise, 44100.0f, context.seed + static_cast<uint32_t>(round));
            const SampleScan scan = rig.run(rig.preferredMode(), 4096, 512, signal);
            if (!scan.clean()) {
                findings.fail("after %s: %s", after.c_str(), scan.describe().c_str());
                rig.suspend();
                rig.resume();
            }
        }
        loadChunk(rig, own, program, static_cast<intptr_t>(own.size()));
    }
}

void programSwitches(const CheckContext& context, Findings& findings) {
    Rig rig;
    if (!rig.start(context.modulePath, RigOptions{}, findings)) return;
    const int32_t programs = rig.plugin().programCount();
    if (programs <= 0) return;
    std::minstd_rand random(context.seed);
    TestSignal signal(SignalKind::Noise, 44100.0f, context.seed);
    SampleScan total;
    for (int block = 0; block < 400; ++block) {
        if (block % 3 == 0) {
            const auto p = static_cast<int32_t>(random() % static_cast<uint32_t>(programs));
            if (block % 2 == 0) {
                rig.setProgram(p);
            } else {
                rig.dispatch(vst::effSetProgram, 0, p);  // unbracketed, as some hosts do
            }
            if (rig.dispatch(vst::effGetProgram) != p)
                findings.fail("effSetProgram(%d) mid-stream: effGetProgram answers %lld", p,
                              static_cast<long long>(rig.dispatch(vst::effGetProgram)));
        }
        if (block % 50 == 0) {
            const auto current = static_cast<int32_t>(rig.dispatch(vst::effGetProgram));
            for (intptr_t bad : {intptr_t{-1}, static_cast<intptr_t>(programs), intptr_t{1} << 30}) {
                rig.dispatch(vst::effSetProgram, 0, bad);
                if (rig.dispatch(vst::effGetProgram) != current)
                    findings.fail("effSetProgram(%lld) changed the program from %d",
                                  static_cast<long long>(bad), current);
            }
        }
        total.add(rig.process(rig.preferredMode(), 256, signal));
    }
    if (!total.clean()) findings.fail("program switches mid-stream: %s", total.describe().c_str());
    rig.readParameters(findings, "program switches mid-stream");
}

}  // namespace

void checkState(const CheckContext& context, Findings& findings) {
    {
        Rig probe;
        if (!probe.start(context.modulePath, RigOptions{}, findings)) return;
        if (!probe.plugin().hasFlag(vst::effFlagsProgramChunks)) {
            findings.note("the plug-in keeps no chunks (effFlagsProgramChunks clear): program switches only");
            probe.close();
            programSwitches(context, findings);
            findings.summary("program switches mid-stream (no chunks)");
            return;
        }
    }
    roundTrips(context, findings);
    wrongSizes(context, findings);
    garbageChunks(context, findings);
    programSwitches(context, findings);
    findings.summary(
        "bank and program round trips, null and every wrong size, %d garbage chunks of each kind, "
        "program switches mid-stream",
        context.quick ? 60 : 200);
}

}  // namespace flanger::tools
