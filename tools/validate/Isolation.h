// Runs one group of checks in a forked child, so that a crash, a hang or a sanitizer abort in the
// plug-in becomes a reported failure naming the last call the validator made into it; or, where
// the system cannot fork (Windows), in this process.
#pragma once

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

// The reports are formatted by the C++ library's vsnprintf, which on mingw-w64 is its own C99
// one (%zu, %lld): the checks are held to that, not to the old Microsoft runtime's formats.
#ifdef __MINGW_PRINTF_FORMAT
#define FLANGER_PRINTF_FORMAT __MINGW_PRINTF_FORMAT
#else
#define FLANGER_PRINTF_FORMAT printf
#endif

namespace flanger::tools {

// Where a check stands, for the report. Thread-safe; each thread that calls into the plug-in
// writes its own slot (up to kTraceSlots threads).
class CallTrace {
public:
    static constexpr int kTraceSlots = 8;
    static constexpr int kTraceLength = 240;

    // Names the call about to be made on this thread (printf-style). Cheap: no allocation.
    static void note(const char* format, ...) __attribute__((format(FLANGER_PRINTF_FORMAT, 1, 2)));
    // Binds the calling thread to a slot with a label ("audio thread", "writer 1" ...).
    static void bindThread(int slot, const char* label);
    // Forgets a slot whose thread has ended: its last call no longer explains anything.
    static void clearSlot(int slot);
};

struct Outcome {
    enum class Status { Pass, Fail, Crash, Timeout, Abnormal, Skip };
    Status status = Status::Pass;
    std::vector<std::string> failures;  // the checks that failed, in order
    std::vector<std::string> notes;     // observations that are not failures
    std::string summary;                // one line on what ran (passes) or what went wrong
    std::vector<std::string> output;    // the child's last lines of stdout/stderr when it did not end well
    size_t outputLines = 0;             // how many lines the child printed (the plug-in's chatter)
};

// What a group of checks reports through; used inside the child.
class Findings {
public:
    void fail(const char* format, ...) __attribute__((format(FLANGER_PRINTF_FORMAT, 2, 3)));
    void note(const char* format, ...) __attribute__((format(FLANGER_PRINTF_FORMAT, 2, 3)));
    void summary(const char* format, ...) __attribute__((format(FLANGER_PRINTF_FORMAT, 2, 3)));
    // The checks could not run here (no editor, no display): reported as SKIP with this reason
    // unless something failed before.
    void skip(const char* format, ...) __attribute__((format(FLANGER_PRINTF_FORMAT, 2, 3)));
    size_t failureCount() const noexcept { return failures.size(); }
    // Keeps what was found so far in the report, should the checks that follow crash or hang.
    void checkpoint() const;

    std::vector<std::string> failures;
    std::vector<std::string> notes;
    std::string line;
    std::string skipped;
};

struct IsolationOptions {
    bool fork = true;  // false runs in this process (for debuggers); crashes are then fatal
    double timeoutSeconds = 300.0;
    bool captureOutput =
        true;  // keep the child's stdout/stderr (plug-in chatter, sanitizer reports) for the report
};

// Runs checks(findings) and reports how it ended.
Outcome runIsolated(const std::function<void(Findings&)>& checks, const IsolationOptions& options);

// False where there is no fork: there only options.fork = false runs anything.
bool childProcessesAvailable() noexcept;

}  // namespace flanger::tools
