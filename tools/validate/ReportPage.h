// The page the checks report into, shared by the in-process run (Isolation.cpp) and the forked
// child (ChildProcess.cpp); the checks themselves report through Findings and CallTrace.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "tools/validate/Isolation.h"

namespace flanger::tools::report {

constexpr size_t kResultBytes = 64 * 1024;

// Mapped shared before a fork: the child writes; the parent reads only after the child has
// ended, so plain fields suffice except where threads meet.
struct SharedPage {
    char trace[CallTrace::kTraceSlots][CallTrace::kTraceLength];
    char label[CallTrace::kTraceSlots][32];
    std::atomic<int> crashSlot;  // writer: the crash handler; reader: parent after exit
    int crashSignal;
    uintptr_t crashAddress;
    bool crashInGuard;
    bool finished;               // the checks returned and the results below are complete
    char results[kResultBytes];  // lines "F text", "N text", "S text", "K reason" (skipped)
};

extern SharedPage localPage;  // used when not forking
extern SharedPage* page;      // where the checks report now: localPage or a child's shared page
extern thread_local int traceSlot;

void storeResults(const Findings& findings, bool finished = true);
// The outcome the stored lines give; the status too when the checks ended cleanly.
Outcome readResults(bool cleanExit);
std::string lastCalls();  // every thread's last call, for a report of a crash or a hang

// The checks in a child process of their own: ChildProcess.cpp where the system forks, and
// NoChildProcess.cpp's refusal where it does not.
Outcome runInChild(const std::function<void(Findings&)>& checks, const IsolationOptions& options);

}  // namespace flanger::tools::report
