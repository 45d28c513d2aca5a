// Parameters: hostile values and indices through setParameter, reads that must stay finite in
// [0, 1], bounded display texts, and nonsense text entry.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "tools/validate/Categories.h"

namespace flanger::tools {

namespace {

constexpr size_t kTextBytes = 64;

// A parameter text through a pre-filled 64-byte buffer at a guard page; failures name the call.
// Texts longer than the interface's customary 8 characters are counted, not failed: hosts give
// larger buffers and most plug-ins use them.
int64_t longTexts = 0;
std::string firstLongText;

void checkParameterText(Rig& rig, Findings& findings, int32_t opcode, int32_t index,
                        const std::string& after) {
    const GuardedText text = rig.readText(opcode, index, kTextBytes);
    if (!text.problem.empty())
        findings.fail("%s(%d) after %s: %s", opcodeName(opcode), index, after.c_str(), text.problem.c_str());
    else if (text.text.size() > static_cast<size_t>(vst::kParameterTextLength) && longTexts++ == 0)
        firstLongText =
            std::string(opcodeName(opcode)) + "(" + std::to_string(index) + ") \"" + text.text + "\"";
}

bool sameBits(const std::vector<float>& a, const std::vector<float>& b) {
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(float)) == 0;
}

}  // namespace

void checkParameters(const CheckContext& context, Findings& findings) {
    Rig rig;
    if (!rig.start(context.modulePath, RigOptions{}, findings)) return;
    const int32_t count = std::min(rig.plugin().parameterCount(), 4096);
    constexpr float inf = std::numeric_limits<float>::infinity();
    const float hostile[] = {std::numeric_limits<float>::quiet_NaN(),
                             -std::numeric_limits<float>::quiet_NaN(),
                             inf,
                             -inf,
                             -1.0f,
                             2.0f,
                             1e30f,
                             -1e30f,
                             1e-40f,
                             -0.0f};
    const float ordinary[] = {0.0f, 0.25f, 0.5f, 1.0f};
    int64_t texts = 0;
    for (int32_t i = 0; i < count; ++i) {
        for (float v : hostile) {
            rig.setParameter(i, v);
            const std::string after = "setParameter(" + std::to_string(i) + ", " + floatText(v) + ")";
            const float read = rig.getParameter(i);
            if (!std::isfinite(read) || read < 0.0f || read > 1.0f)
                findings.fail("%s: getParameter(%d) = %s", after.c_str(), i, floatText(read).c_str());
            checkParameterText(rig, findings, vst::effGetParamDisplay, i, after);
            ++texts;
        }
        for (float v : ordinary) {
            rig.setParameter(i, v);
            const float read = rig.getParameter(i);
            if (!std::isfinite(read) || read < 0.0f || read > 1.0f)
                findings.fail("setParameter(%d, %g): getParameter(%d) = %s", i, static_cast<double>(v), i,
                              floatText(read).c_str());
            checkParameterText(rig, findings, vst::effGetParamDisplay, i, "setParameter " + floatText(v));
        }
        checkParameterText(rig, findings, vst::effGetParamName, i, "the hostile values");
        checkParameterText(rig, findings, vst::effGetParamLabel, i, "the hostile values");
        texts += 2;
    }

    // Out-of-range indices change nothing and read as a finite value in [0, 1].
    const std::vector<float> before = rig.readParameters(findings, "the value sweep");
    const int32_t outside[] = {-1,
                               count,
                               count + 1,
                               1 << 30,
                               std::numeric_limits<int32_t>::min(),
                               std::numeric_limits<int32_t>::max()};
    for (int32_t index : outside) {
        for (float v : {0.5f, 1.0f, std::numeric_limits<float>::quiet_NaN()}) rig.setParameter(index, v);
        const float read = rig.getParameter(index);
        if (!std::isfinite(read) || read < 0.0f || read > 1.0f)
            findings.fail("getParameter(%d) out of range = %s", index, floatText(read).c_str());
        for (int32_t opcode : {vst::effGetParamDisplay, vst::effGetParamName, vst::effGetParamLabel})
            checkParameterText(rig, findings, opcode, index, "out-of-range setParameter");
        rig.dispatch(vst::effString2Parameter, index, 0, nullptr);
        GuardedBlock entry(4, 0);
        std::memcpy(entry.data(), "0.5", 4);
        rig.dispatch(vst::effString2Parameter, index, 0, entry.data());
    }
    if (!sameBits(before, rig.readParameters(findings, "out-of-range indices")))
        findings.fail("setParameter or effString2Parameter with an out-of-range index changed a parameter");

    // Nonsense text entry; each text ends right at a guard page (the terminator is the last byte).
    const std::string nonsense[] = {"",
                                    "-50",
                                    "1e9",
                                    "-1e9",
                                    "nan",
                                    "-nan",
                                    "inf",
                                    "-inf",
                                    "1/0",
                                    "0x7fffffff",
                                    std::string(30, '9'),
                                    std::string(300, '1'),
                                    "\xff\xfe\xc3\x28",
                                    "  ",
                                    "on",
                                    "off",
                                    "1/4 T",
                                    "%s%s%n",
                                    "12abc"};
    for (int32_t i = 0; i < count; ++i) {
        rig.dispatch(vst::effString2Parameter, i, 0, nullptr);
        for (const std::string& entry : nonsense) {
            GuardedBlock text(entry.size() + 1, 0);
            std::memcpy(text.data(), entry.c_str(), entry.size() + 1);
            rig.dispatch(vst::effString2Parameter, i, 0, text.data());
            const float read = rig.getParameter(i);
            if (!std::isfinite(read) || read < 0.0f || read > 1.0f)
                findings.fail("effString2Parameter(%d, \"%.40s\"): getParameter(%d) = %s", i, entry.c_str(),
                              i, floatText(read).c_str());
            checkParameterText(rig, findings, vst::effGetParamDisplay, i,
                               "text entry \"" + entry.substr(0, 40) + "\"");
        }
    }

    if (longTexts > 0)
        findings.note("%lld parameter texts are longer than 8 characters (first: %s)",
                      static_cast<long long>(longTexts), firstLongText.c_str());

    // The audio after all of it.
    TestSignal signal(SignalKind::Noise, 44100.0f, context.seed);
    const SampleScan scan = rig.run(rig.preferredMode(), 44100, 512, signal);
    if (!scan.clean())
        findings.fail("a second of audio after the parameter checks: %s", scan.describe().c_str());
    findings.summary(
        "%d parameters: 14 values each, 6 out-of-range indices, %zu nonsense texts, %lld texts read", count,
        std::size(nonsense), static_cast<long long>(texts));
}

}  // namespace flanger::tools
