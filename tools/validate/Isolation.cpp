// The report the checks make through Findings and CallTrace, and the run in this process; the
// run in a child process of its own is the system's (ChildProcess.cpp, NoChildProcess.cpp).
#include "tools/validate/Isolation.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "tools/validate/ReportPage.h"

namespace flanger::tools {

namespace report {

SharedPage localPage{};
SharedPage* page = &localPage;
thread_local int traceSlot = 0;

namespace {

constexpr int kMaxLines = 400;

void appendLine(std::string& out, char kind, const std::string& text) {
    out += kind;
    out += ' ';
    for (char c : text) out += (c == '\n') ? ' ' : c;
    out += '\n';
}

}  // namespace

void storeResults(const Findings& findings, bool finished) {
    std::string out;
    int lines = 0;
    for (const auto& f : findings.failures) {
        if (++lines > kMaxLines) break;
        appendLine(out, 'F', f);
    }
    if (findings.failures.size() > kMaxLines)
        appendLine(out, 'F', "... and " + std::to_string(findings.failures.size() - kMaxLines) + " more");
    for (const auto& n : findings.notes) {
        if (++lines > 2 * kMaxLines) break;
        appendLine(out, 'N', n);
    }
    appendLine(out, 'S', findings.line);
    if (!findings.skipped.empty()) appendLine(out, 'K', findings.skipped);
    if (out.size() >= kResultBytes) out.resize(kResultBytes - 1);
    std::memcpy(page->results, out.c_str(), out.size() + 1);
    page->finished = finished;
}

Outcome readResults(bool cleanExit) {
    Outcome outcome;
    std::string skipped;
    const char* cursor = page->results;
    while (*cursor != '\0') {
        const char* end = std::strchr(cursor, '\n');
        if (end == nullptr) end = cursor + std::strlen(cursor);
        const std::string text(cursor + std::min<ptrdiff_t>(2, end - cursor), end);
        if (*cursor == 'F') outcome.failures.push_back(text);
        if (*cursor == 'N') outcome.notes.push_back(text);
        if (*cursor == 'S') outcome.summary = text;
        if (*cursor == 'K') skipped = text;
        cursor = *end == '\0' ? end : end + 1;
    }
    if (cleanExit) outcome.status = outcome.failures.empty() ? Outcome::Status::Pass : Outcome::Status::Fail;
    if (cleanExit && outcome.failures.empty() && !skipped.empty()) {
        outcome.status = Outcome::Status::Skip;
        outcome.summary = "(" + skipped + ")";
    }
    return outcome;
}

std::string lastCalls() {
    std::string out;
    for (int s = 0; s < CallTrace::kTraceSlots; ++s) {
        if (page->trace[s][0] == '\0') continue;
        if (!out.empty()) out += "; ";
        if (page->label[s][0] != '\0') out += std::string(page->label[s]) + ": ";
        out += page->trace[s];
    }
    return out.empty() ? "(no call yet)" : out;
}

}  // namespace report

namespace {

std::string formatted(const char* format, va_list args) {
    char buffer[1024];
    std::vsnprintf(buffer, sizeof buffer, format, args);
    return buffer;
}

}  // namespace

using report::page;
using report::traceSlot;

void CallTrace::note(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::vsnprintf(page->trace[traceSlot], kTraceLength, format, args);
    va_end(args);
}

void CallTrace::bindThread(int slot, const char* label) {
    traceSlot = (slot >= 0 && slot < kTraceSlots) ? slot : kTraceSlots - 1;
    std::snprintf(page->label[traceSlot], sizeof page->label[traceSlot], "%s", label);
    page->trace[traceSlot][0] = '\0';
}

void CallTrace::clearSlot(int slot) {
    if (slot < 0 || slot >= kTraceSlots || slot == traceSlot) return;
    page->trace[slot][0] = '\0';
    page->label[slot][0] = '\0';
}

void Findings::checkpoint() const {
    report::storeResults(*this, false);
}

void Findings::fail(const char* format, ...) {
    va_list args;
    va_start(args, format);
    failures.push_back(formatted(format, args));
    va_end(args);
}

void Findings::note(const char* format, ...) {
    va_list args;
    va_start(args, format);
    notes.push_back(formatted(format, args));
    va_end(args);
}

void Findings::summary(const char* format, ...) {
    va_list args;
    va_start(args, format);
    line = formatted(format, args);
    va_end(args);
}

void Findings::skip(const char* format, ...) {
    va_list args;
    va_start(args, format);
    skipped = formatted(format, args);
    va_end(args);
}

Outcome runIsolated(const std::function<void(Findings&)>& checks, const IsolationOptions& options) {
    if (options.fork) return report::runInChild(checks, options);
    page = &report::localPage;
    std::memset(static_cast<void*>(page), 0, sizeof *page);
    traceSlot = 0;
    Findings findings;
    checks(findings);
    report::storeResults(findings);
    return report::readResults(true);
}

}  // namespace flanger::tools
