// flanger-validate as a process against a plug-in with one fault at a time: each fault is caught
// by the category it belongs to, with the call named; the correct plug-in passes everything.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <ostream>
#include <string>

#include "tools/common/PrivateXServer.h"

namespace {

struct ToolRun {
    int status = -1;
    std::string output;
};

ToolRun validate(const std::string& fault, const std::string& arguments) {
    setenv("FAULTY_PLUGIN_FAULT", fault.c_str(), 1);
    const std::string command = std::string(VALIDATE_TOOL) + " " + arguments + " " FAULTY_PLUGIN_PATH " 2>&1";
    ToolRun run;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return run;
    char buffer[4096];
    size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) run.output.append(buffer, n);
    const int raw = pclose(pipe);
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    unsetenv("FAULTY_PLUGIN_FAULT");
    return run;
}

bool has(const ToolRun& run, const std::string& text) {
    return run.output.find(text) != std::string::npos;
}

TEST(ValidatorToolTest, ACorrectPluginPassesEveryCategory) {
    const ToolRun run = validate("", "");
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_TRUE(has(run, "result: PASS (0 of 7 categories failed)")) << run.output;
    // Without the editor flag the editor category has nothing to check.
    EXPECT_TRUE(has(run, "editor         SKIP  (no editor: the effect's flags lack effFlagsHasEditor)"))
        << run.output;
}

bool xvfbInstalled() {
    return std::filesystem::exists("/usr/bin/Xvfb");
}

TEST(ValidatorToolTest, ACorrectEditorPassesTheEditorCategory) {
    if (!xvfbInstalled()) GTEST_SKIP() << "Xvfb is not installed";
    const ToolRun run = validate("editor", "--xvfb --editor-cycles 100 --category editor");
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_TRUE(has(run, "editor         PASS  on private Xvfb :")) << run.output;
    EXPECT_TRUE(has(run, "100 open/close cycles")) << run.output;
    EXPECT_TRUE(has(run, "null, stale and destroyed parents")) << run.output;
}

TEST(ValidatorToolTest, TheEditorOpensOnTheGivenDisplayOrAPrivateOneWhenThatFails) {
    if (!xvfbInstalled()) GTEST_SKIP() << "Xvfb is not installed";
    flanger::testing::PrivateXServer server;
    ASSERT_TRUE(server.start(true));
    setenv("DISPLAY", server.displayName().c_str(), 1);
    const ToolRun given = validate("editor", "--quick --category editor --part rect");
    setenv("DISPLAY", ":999", 1);  // no server there
    const ToolRun broken = validate("editor", "--quick --category editor --part rect");
    unsetenv("DISPLAY");
    EXPECT_EQ(given.status, 0) << given.output;
    EXPECT_TRUE(has(given, "PASS  on display " + server.displayName() + ":")) << given.output;
    EXPECT_EQ(broken.status, 0) << broken.output;
    EXPECT_TRUE(has(broken, "PASS  on private Xvfb :")) << broken.output;
    EXPECT_TRUE(has(broken, " (the display :999 cannot be opened): ")) << broken.output;
}

TEST(ValidatorToolTest, EditorPartsRunAloneAndUnknownPartsAreRefused) {
    if (!xvfbInstalled()) GTEST_SKIP() << "Xvfb is not installed";
    const ToolRun run = validate("editor", "--xvfb --category editor --part threads");
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_TRUE(has(run, "idle calls against")) << run.output;
    EXPECT_FALSE(has(run, "open/close cycles;")) << run.output;
    EXPECT_EQ(validate("editor", "--category editor --part nonsense").status, 2);
    EXPECT_EQ(validate("editor", "--category audio --part threads").status, 2);  // audio has no parts
}

struct FaultCase {
    const char* fault;
    const char* category;
    const char* expected[2];  // texts the report must contain
};

void PrintTo(const FaultCase& c, std::ostream* out) {
    *out << c.fault;
}

class ValidatorFaultTest : public ::testing::TestWithParam<FaultCase> {};

TEST_P(ValidatorFaultTest, CatchesTheFaultAndNamesIt) {
    const FaultCase& c = GetParam();
    // Only the hang gets a short timeout: a loaded machine must not turn slow checks into hangs.
    const std::string timeout = std::string(c.fault) == "hang" ? "--timeout 5 " : "";
    const bool editor = std::string(c.category) == "editor";
    if (editor && !xvfbInstalled()) GTEST_SKIP() << "Xvfb is not installed";
    const std::string options = editor ? "--xvfb --quick " : "";
    const ToolRun run = validate(c.fault, timeout + options + "--category " + c.category);
    EXPECT_EQ(run.status, 1) << run.output;
    EXPECT_TRUE(has(run, std::string(c.category)) && has(run, "FAIL")) << run.output;
    for (const char* text : c.expected)
        EXPECT_TRUE(has(run, text)) << "missing \"" << text << "\" in\n" << run.output;
}

INSTANTIATE_TEST_SUITE_P(
    Faults, ValidatorFaultTest,
    ::testing::Values(
        FaultCase{"overrun", "audio", {"guard page behind a buffer", "processReplacing("}},
        FaultCase{"nan-param", "parameters", {"setParameter(0, nan): getParameter(0) = nan", "failed check"}},
        FaultCase{
            "unterminated-display", "opcodes", {"effGetParamDisplay", "not terminated within 64 bytes"}},
        FaultCase{
            "crosstalk", "audio", {"processReplacing in place (inputs = outputs) differs", "failed check"}},
        FaultCase{"adding-overwrites", "audio", {"overwrites the outputs instead of adding", "failed check"}},
        FaultCase{
            "nan-stuck", "audio", {"one nan input sample, output from 1 s to 1.5 s after it", "non-finite"}},
        FaultCase{"subnormal", "audio", {"3 s of silence after noise", "subnormal samples"}},
        FaultCase{"half-load", "state", {"chunk was refused but changed the state", "failed check"}},
        // Sanitizer builds stop at the null store themselves: a crash or a sanitizer exit, same call.
        FaultCase{
            "no-null-check", "opcodes", {"opcodes        FAIL", "effGetChunk(index -1, value 0, ptr null"}},
        FaultCase{"hang", "configuration", {"no answer within 5 s", "effSetSampleRate(0)"}},
        FaultCase{"editor-leaks-window",
                  "editor",
                  {"1 window left under the parent after effEditClose",
                   "left under the parent after 200 open/close"}},
        // As above: a crash, or a sanitizer's exit, in the same call.
        FaultCase{"editor-null-parent", "editor", {"editor         FAIL", "effEditOpen(parent 0x0 = null"}},
        FaultCase{
            "editor-x-error",
            "editor",
            {"an X error reached the host's error handler (Xlib's default one ends the host): BadWindow",
             "X_GetWindowAttributes"}},
        FaultCase{"editor-leaks-connection",
                  "editor",
                  {"200 more open file descriptors after 200 open/close cycles", "-> socket:"}},
        FaultCase{"editor-bad-rect",
                  "editor",
                  {"effEditGetRect before effEditOpen: 200 x -20 at (0, 0) is no editor size",
                   "effEditGetRect after effEditOpen: 200 x -20"}},
        FaultCase{"editor-keeps-handler",
                  "editor",
                  {"after effEditClose (cycle 1 of 200): the process's X error handler is the function at",
                   "libflanger_faulty_plugin.so, not the host's"}}),
    [](const ::testing::TestParamInfo<FaultCase>& param) {
        std::string name = param.param.fault;
        for (char& ch : name) ch = ch == '-' ? '_' : ch;
        return name;
    });

// Only a ThreadSanitizer build sees the race; elsewhere this fault is invisible by nature.
TEST(ValidatorToolTest, AThreadSanitizerReportFailsTheThreadCategory) {
#if defined(__SANITIZE_THREAD__)
    const ToolRun run = validate("race", "--quick --category threads");
    EXPECT_EQ(run.status, 1) << run.output;
    EXPECT_TRUE(has(run, "SUMMARY: ThreadSanitizer: data race")) << run.output;
#else
    GTEST_SKIP() << "not a ThreadSanitizer build";
#endif
}

// The CI's valgrind job over editor cycles, shown to fail on an editor that leaks at every open.
TEST(ValidatorToolTest, TheEditorLeakCheckFindsMemoryLostAtEveryOpen) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "valgrind cannot run sanitizer builds";
#else
    if (!xvfbInstalled() || !std::filesystem::exists("/usr/bin/valgrind"))
        GTEST_SKIP() << "needs Xvfb and valgrind";
    setenv("FAULTY_PLUGIN_FAULT", "editor-leaks-memory", 1);
    const std::string command =
        std::string(LEAK_CHECK_SCRIPT) + " " VALIDATE_TOOL " " FAULTY_PLUGIN_PATH " 10 2>&1";
    ToolRun run;
    if (FILE* pipe = popen(command.c_str(), "r"); pipe != nullptr) {
        char buffer[4096];
        for (size_t n = 0; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
            run.output.append(buffer, n);
        const int raw = pclose(pipe);
        run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    }
    unsetenv("FAULTY_PLUGIN_FAULT");
    EXPECT_EQ(run.status, 1) << run.output;
    EXPECT_TRUE(has(run, "are definitely lost in loss record")) << run.output;
    EXPECT_TRUE(has(run, "libflanger_faulty_plugin.so")) << run.output;  // the frames name the module
    EXPECT_TRUE(has(run, "10 editor open/close cycles under memcheck")) << run.output;
#endif
}

// The editor idling while the audio thread automates: a value the editor reads without
// synchronisation is a race there.
TEST(ValidatorToolTest, AThreadSanitizerReportFailsTheEditorThreads) {
#if defined(__SANITIZE_THREAD__)
    if (!xvfbInstalled()) GTEST_SKIP() << "Xvfb is not installed";
    const ToolRun run = validate("editor-race", "--quick --xvfb --category editor --part threads");
    EXPECT_EQ(run.status, 1) << run.output;
    EXPECT_TRUE(has(run, "SUMMARY: ThreadSanitizer: data race")) << run.output;
    EXPECT_TRUE(has(run, "effEditIdle")) << run.output;
#else
    GTEST_SKIP() << "not a ThreadSanitizer build";
#endif
}

TEST(ValidatorToolTest, RefusesUnknownCategoriesAndMissingModules) {
    EXPECT_EQ(validate("", "--category nonsense").status, 2);
    const std::string command = std::string(VALIDATE_TOOL) + " /nonexistent/module.so >/dev/null 2>&1";
    const int raw = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(raw));
    EXPECT_EQ(WEXITSTATUS(raw), 1);
}

TEST(ValidatorToolTest, SoakCountsSamplesAndBadOnes) {
    const ToolRun clean = validate("", "--soak 5");
    EXPECT_EQ(clean.status, 0) << clean.output;
    EXPECT_TRUE(has(clean, "samples processed: 441000 (220500 frames)")) << clean.output;
    EXPECT_TRUE(has(clean, "non-finite samples: 0")) << clean.output;
    EXPECT_TRUE(has(clean, "slowest/median")) << clean.output;
    const ToolRun bad = validate("subnormal", "--soak 5");
    EXPECT_EQ(bad.status, 1) << bad.output;
}

}  // namespace
