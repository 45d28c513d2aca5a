// Where the system cannot fork (Windows): no child process, so the command line asks for
// --no-fork and a run that still asks for a child is answered, not attempted.
#include "tools/validate/ReportPage.h"

namespace flanger::tools {

bool childProcessesAvailable() noexcept {
    return false;
}

Outcome report::runInChild(const std::function<void(Findings&)>&, const IsolationOptions&) {
    Outcome outcome;
    outcome.status = Outcome::Status::Abnormal;
    outcome.summary = "a process per category is Linux-only: run the checks in this process (--no-fork)";
    return outcome;
}

}  // namespace flanger::tools
