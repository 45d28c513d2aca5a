// The checks in a forked child, so that a crash, a hang or a sanitizer abort becomes a report;
// the crash handler and the capture of the child's output.
#include <signal.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "tools/validate/GuardedMemory.h"
#include "tools/validate/ReportPage.h"

namespace flanger::tools {

bool childProcessesAvailable() noexcept {
    return true;
}

namespace report {

namespace {

void crashHandler(int signal, siginfo_t* info, void*) {
    page->crashSlot.store(traceSlot, std::memory_order_relaxed);
    page->crashSignal = signal;
    page->crashAddress = info != nullptr ? reinterpret_cast<uintptr_t>(info->si_addr) : 0;
    page->crashInGuard = info != nullptr && isGuardAddress(page->crashAddress);
    // Die by the same signal so the parent sees how it ended.
    struct sigaction fallback {};
    fallback.sa_handler = SIG_DFL;
    sigemptyset(&fallback.sa_mask);
    sigaction(signal, &fallback, nullptr);
    raise(signal);
}

void installCrashHandlers() {
    struct sigaction action {};
    action.sa_sigaction = crashHandler;
    action.sa_flags = SA_SIGINFO | SA_ONSTACK;
    sigemptyset(&action.sa_mask);
    for (int signal : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT, SIGTRAP})
        sigaction(signal, &action, nullptr);
}

// Counts the child's lines; keeps the last ones when they may explain how it ended.
void readCapture(FILE* capture, Outcome& outcome, bool keepTail) {
    constexpr size_t kTail = 12;
    std::rewind(capture);
    char line[512];
    std::vector<std::string> tail;
    std::vector<std::string> summaries;
    while (std::fgets(line, sizeof line, capture) != nullptr) {
        const size_t n = std::strlen(line);
        if (n > 0 && line[n - 1] != '\n' && !std::feof(capture)) continue;  // the rest of a long line
        ++outcome.outputLines;
        if (!keepTail) continue;
        std::string text(line, n > 0 && line[n - 1] == '\n' ? n - 1 : n);
        // Sanitizer verdicts are kept whatever follows them; the rest only as the tail.
        if (text.find("SUMMARY: ") != std::string::npos && summaries.size() < kTail)
            summaries.push_back(text);
        tail.push_back(std::move(text));
        if (tail.size() > kTail) tail.erase(tail.begin());
    }
    for (auto& text : tail) {
        if (std::find(summaries.begin(), summaries.end(), text) == summaries.end())
            summaries.push_back(std::move(text));
    }
    outcome.output = std::move(summaries);
}

}  // namespace

Outcome runInChild(const std::function<void(Findings&)>& checks, const IsolationOptions& options) {
    void* shared =
        mmap(nullptr, sizeof(SharedPage), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    if (shared == MAP_FAILED) {
        Outcome outcome;
        outcome.status = Outcome::Status::Abnormal;
        outcome.summary = std::string("cannot map the report page: ") + std::strerror(errno);
        return outcome;
    }
    page = static_cast<SharedPage*>(shared);
    std::memset(shared, 0, sizeof(SharedPage));
    page->crashSlot.store(-1, std::memory_order_relaxed);
    std::fflush(nullptr);
    FILE* capture = options.captureOutput ? std::tmpfile() : nullptr;

    const pid_t child = fork();
    if (child == 0) {
        if (capture != nullptr) {
            dup2(fileno(capture), STDOUT_FILENO);
            dup2(fileno(capture), STDERR_FILENO);
        }
        traceSlot = 0;
        installCrashHandlers();
        Findings findings;
        checks(findings);
        storeResults(findings);
        std::fflush(nullptr);
        // exit, not _exit: sanitizers give their verdict (exit status) at exit.
        std::exit(0);
    }

    Outcome outcome;
    if (child < 0) {
        outcome.status = Outcome::Status::Abnormal;
        outcome.summary = std::string("cannot fork: ") + std::strerror(errno);
        munmap(shared, sizeof(SharedPage));
        page = &localPage;
        if (capture != nullptr) std::fclose(capture);
        return outcome;
    }

    int status = 0;
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::duration<double>(options.timeoutSeconds);
    bool timedOut = false;
    for (;;) {
        const pid_t done = waitpid(child, &status, WNOHANG);
        if (done == child) break;
        if (done < 0 && errno != EINTR) break;
        if (std::chrono::steady_clock::now() > deadline) {
            kill(child, SIGKILL);
            waitpid(child, &status, 0);
            timedOut = true;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }

    const bool cleanExit = !timedOut && WIFEXITED(status) && WEXITSTATUS(status) == 0 && page->finished;
    outcome = readResults(cleanExit);
    if (timedOut) {
        outcome.status = Outcome::Status::Timeout;
        char text[128];
        std::snprintf(text, sizeof text, "no answer within %.0f s; last call: ", options.timeoutSeconds);
        outcome.summary = text + lastCalls();
    } else if (WIFSIGNALED(status)) {
        outcome.status = Outcome::Status::Crash;
        const int slot = page->crashSlot.load(std::memory_order_relaxed);
        std::string where = lastCalls();
        if (slot >= 0 && page->trace[slot][0] != '\0') {
            where = std::string(page->label[slot][0] ? page->label[slot] : "main thread") + ": " +
                    page->trace[slot];
        }
        char text[256];
        if (page->crashSignal != 0 && page->crashInGuard) {
            std::snprintf(text, sizeof text,
                          "%s at 0x%lx, in the guard page behind a buffer the plug-in was given",
                          strsignal(WTERMSIG(status)), static_cast<unsigned long>(page->crashAddress));
        } else if (page->crashSignal != 0 && (WTERMSIG(status) == SIGSEGV || WTERMSIG(status) == SIGBUS)) {
            std::snprintf(text, sizeof text, "%s at 0x%lx", strsignal(WTERMSIG(status)),
                          static_cast<unsigned long>(page->crashAddress));
        } else {
            std::snprintf(text, sizeof text, "%s", strsignal(WTERMSIG(status)));
        }
        outcome.summary = page->finished ? std::string("crashed after the checks finished (at exit): ") + text
                                         : std::string("crashed: ") + text + " during " + where;
    } else if (!cleanExit) {
        outcome.status = Outcome::Status::Abnormal;
        const int code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        outcome.summary = "the check process exited with status " + std::to_string(code) +
                          (page->finished ? " after the checks finished (a sanitizer report?)"
                                          : " before the checks finished; last call: " + lastCalls());
    }
    if (capture != nullptr) {
        readCapture(capture, outcome,
                    outcome.status != Outcome::Status::Pass && outcome.status != Outcome::Status::Fail &&
                        outcome.status != Outcome::Status::Skip);
        std::fclose(capture);
    }
    munmap(shared, sizeof(SharedPage));
    page = &localPage;
    return outcome;
}

}  // namespace report

}  // namespace flanger::tools
