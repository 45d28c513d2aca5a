// Every dispatcher opcode 0 to 127 with hostile indices and values, no pointer and small
// guarded buffers; text answers must be terminated and printable. Afterwards the plug-in must
// still configure and process cleanly.
#include <algorithm>
#include <cstring>
#include <set>

#include "tools/validate/Categories.h"

namespace flanger::tools {

namespace {

// How an opcode uses ptr (and, for a few, value), so each gets buffers of the right kind:
// handing a 64-byte text buffer to an opcode that fills a 128-byte record would be the
// validator's fault, not the plug-in's.
enum class PointerUse { Record, TextOut, TextIn, SizedData, ValueIsPointer, OfflineTask };

PointerUse pointerUse(int32_t opcode) {
    switch (opcode) {
        case vst::effGetProgramName:
        case vst::effGetParamLabel:
        case vst::effGetParamDisplay:
        case vst::effGetParamName:
        case vst::effGetProgramNameIndexed:
        case vst::effGetEffectName:
        case vst::effGetErrorText:
        case vst::effGetVendorString:
        case vst::effGetProductString:
        case 70:  // effShellGetNextPlugin
            return PointerUse::TextOut;
        case vst::effSetProgramName:
        case vst::effString2Parameter:
        case vst::effCanDo:
            return PointerUse::TextIn;
        case vst::effSetChunk:
            return PointerUse::SizedData;
        case vst::effSetSpeakerArrangement:
        case 69:  // effGetSpeakerArrangement
            return PointerUse::ValueIsPointer;
        case vst::effOfflineNotify:
        case vst::effOfflinePrepare:
        case vst::effOfflineRun:
            return PointerUse::OfflineTask;
        default:
            return PointerUse::Record;
    }
}

const char* inputText(int32_t opcode) {
    switch (opcode) {
        case vst::effSetProgramName:
            return "A program name of sixty-three characters, exactly at the limit.";
        case vst::effString2Parameter:
            return "0.5";
        default:
            return "receiveVstTimeInfo";
    }
}

constexpr size_t kTextBytes = 64;
constexpr size_t kRecordBytes = 512;
constexpr size_t kOfflineBytes = 4096;  // the offline task record is larger than 512 bytes
constexpr unsigned char kFill = 0x7f;

}  // namespace

void checkOpcodes(const CheckContext& context, Findings& findings) {
    Rig rig;
    if (!rig.start(context.modulePath, RigOptions{}, findings)) return;
    PluginInstance& plugin = rig.plugin();
    const std::set<int32_t> indexSet = {
        -1,     0, plugin.parameterCount(), plugin.programCount(), plugin.inputCount(), plugin.outputCount(),
        1 << 30};
    const std::vector<int32_t> indices(indexSet.begin(), indexSet.end());
    const intptr_t values[] = {0, 1, -1};

    long long calls = 0;
    std::set<int32_t> unknownAnswered;
    for (int32_t opcode = 0; opcode < 128; ++opcode) {
        // effClose ends the instance; effEditOpen needs a real parent window (editor checks).
        if (opcode == vst::effClose || opcode == vst::effEditOpen) continue;
        const PointerUse use = pointerUse(opcode);
        for (int32_t index : indices) {
            for (intptr_t value : values) {
                for (int variant = 0; variant < 2; ++variant) {
                    GuardedBlock text(kTextBytes, kFill);
                    GuardedBlock record(use == PointerUse::OfflineTask ? kOfflineBytes : kRecordBytes, 0);
                    void* ptr = nullptr;
                    intptr_t passedValue = value;
                    if (variant == 1) {
                        if (use == PointerUse::TextOut) {
                            ptr = text.data();
                        } else if (use == PointerUse::TextIn) {
                            // Terminated in the last byte, so reading it all stays inside.
                            const char* input = inputText(opcode);
                            const size_t n = std::min(std::strlen(input), kTextBytes - 1);
                            text.fill(' ');
                            std::memcpy(text.data() + (kTextBytes - 1 - n), input, n);
                            text.data()[kTextBytes - 1] = 0;
                            ptr = text.data() + (kTextBytes - 1 - n);
                        } else {
                            ptr = record.data();
                        }
                    }
                    // value is a pointer for these: 0 or a zeroed record, never 1 or -1.
                    if (use == PointerUse::ValueIsPointer)
                        passedValue = value == 0 ? 0 : reinterpret_cast<intptr_t>(record.data());
                    const intptr_t answer = rig.dispatch(opcode, index, passedValue, ptr, 0.0f);
                    ++calls;
                    if (opcode >= 80 && answer != 0) unknownAnswered.insert(opcode);
                    if (use == PointerUse::TextOut && variant == 1) {
                        const bool touched = std::any_of(text.data(), text.data() + kTextBytes,
                                                         [](unsigned char c) { return c != kFill; });
                        if (!touched) continue;
                        const std::string problem = textProblem(text.data(), kTextBytes);
                        if (!problem.empty())
                            findings.fail("%s(index %d, value %lld) with a %zu-byte buffer: text %s",
                                          opcodeName(opcode), index, static_cast<long long>(value),
                                          kTextBytes, problem.c_str());
                    }
                }
            }
        }
    }
    for (int32_t opcode : unknownAnswered) findings.note("%s answers non-zero", opcodeName(opcode));

    // Still usable: a normal configuration, program 0 and a second of noise.
    rig.configure(44100.0f, 512);
    rig.dispatch(vst::effSetBypass, 0, 0);
    if (plugin.programCount() > 0) rig.setProgram(0);
    TestSignal signal(SignalKind::Noise, 44100.0f, context.seed);
    const SampleScan scan = rig.run(rig.preferredMode(), 44100, 512, signal);
    if (!scan.clean())
        findings.fail("after the opcode sweep and a fresh configuration: %s", scan.describe().c_str());
    rig.readParameters(findings, "the opcode sweep");
    findings.summary("%lld dispatcher calls over opcodes 0-127 (not effClose, effEditOpen)", calls);
}

}  // namespace flanger::tools
