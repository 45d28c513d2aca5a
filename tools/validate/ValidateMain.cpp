// flanger-validate: a hostile-host validation suite for any VST 2.x module, and the soak run.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "tools/validate/Categories.h"
#include "tools/validate/Soak.h"

namespace {

using namespace flanger::tools;

void usage() {
    std::fprintf(stderr,
                 "usage: flanger-validate [options] PLUGIN.so\n"
                 "  --category NAME   run only this category (repeatable): ");
    for (const auto& c : categories()) std::fprintf(stderr, "%s ", c.name);
    std::fprintf(stderr,
                 "\n  --part NAME       run only this part of a category that has parts (repeatable):");
    for (const auto& c : categories()) {
        if (c.parts != nullptr) std::fprintf(stderr, " %s: %s;", c.name, c.parts);
    }
    std::fprintf(stderr,
                 "\n  --xvfb            editor checks in a private Xvfb even when DISPLAY is set (without\n"
                 "                    DISPLAY they always use one)\n"
                 "  --editor-cycles N editor open/close cycles (default 1000, 200 with --quick)\n"
                 "  --quick           fewer repetitions (for sanitizer builds)\n"
                 "  --seed N          random seed (default 1)\n"
                 "  --timeout S       seconds a category may take (default 300)\n"
                 "  --no-fork         run in this process (a crash ends the run)\n"
                 "  --show-output     let the plug-in's own output through instead of counting it\n"
                 "  --soak SECONDS    instead: the soak run over SECONDS of audio\n");
}

const char* statusWord(Outcome::Status status) {
    switch (status) {
        case Outcome::Status::Pass:
            return "PASS";
        case Outcome::Status::Fail:
            return "FAIL";
        case Outcome::Status::Crash:
            return "FAIL";
        case Outcome::Status::Timeout:
            return "FAIL";
        case Outcome::Status::Abnormal:
            return "FAIL";
        case Outcome::Status::Skip:
            return "SKIP";
    }
    return "FAIL";
}

void print(const char* name, const Outcome& outcome) {
    std::printf("%-14s %s  %s\n", name, statusWord(outcome.status), outcome.summary.c_str());
    if (outcome.status == Outcome::Status::Fail)
        std::printf("%-14s       %zu failed check%s:\n", "", outcome.failures.size(),
                    outcome.failures.size() == 1 ? "" : "s");
    constexpr size_t kShown = 25;
    for (size_t i = 0; i < outcome.failures.size() && i < kShown; ++i)
        std::printf("%-14s       - %s\n", "", outcome.failures[i].c_str());
    if (outcome.failures.size() > kShown)
        std::printf("%-14s       - ... and %zu more\n", "", outcome.failures.size() - kShown);
    for (const auto& n : outcome.notes) std::printf("%-14s       note: %s\n", "", n.c_str());
    if (!outcome.output.empty()) {
        std::printf("%-14s       its last output lines:\n", "");
        for (const auto& line : outcome.output) std::printf("%-14s       | %s\n", "", line.c_str());
    } else if (outcome.outputLines > 0) {
        std::printf("%-14s       note: the plug-in printed %zu lines (not shown; --show-output shows them)\n",
                    "", outcome.outputLines);
    }
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    CheckContext context;
    IsolationOptions isolation;
    std::vector<std::string> only;
    double soakSeconds = -1.0;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&](const char* what) -> const char* {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "flanger-validate: %s needs a value\n", what);
                std::exit(2);
            }
            return argv[++i];
        };
        if (arg == "--category")
            only.emplace_back(value("--category"));
        else if (arg == "--quick")
            context.quick = true;
        else if (arg == "--part")
            context.parts.emplace_back(value("--part"));
        else if (arg == "--xvfb")
            context.privateDisplay = true;
        else if (arg == "--editor-cycles")
            context.editorCycles = std::max(1, std::atoi(value("--editor-cycles")));
        else if (arg == "--seed")
            context.seed = static_cast<uint32_t>(std::strtoul(value("--seed"), nullptr, 10));
        else if (arg == "--timeout")
            isolation.timeoutSeconds = std::atof(value("--timeout"));
        else if (arg == "--no-fork")
            isolation.fork = false;
        else if (arg == "--show-output")
            isolation.captureOutput = false;
        else if (arg == "--soak")
            soakSeconds = std::atof(value("--soak"));
        else if (arg == "--help" || arg == "-h") {
            usage();
            return 0;
        } else if (!arg.empty() && arg[0] == '-') {
            std::fprintf(stderr, "flanger-validate: unknown option %s\n", arg.c_str());
            usage();
            return 2;
        } else if (context.modulePath.empty()) {
            context.modulePath = arg;
        } else {
            std::fprintf(stderr, "flanger-validate: one module at a time (%s)\n", arg.c_str());
            return 2;
        }
    }
    if (context.modulePath.empty()) {
        usage();
        return 2;
    }
    for (const auto& name : only) {
        bool known = false;
        for (const auto& c : categories()) known = known || name == c.name;
        if (!known) {
            std::fprintf(stderr, "flanger-validate: no category %s\n", name.c_str());
            return 2;
        }
    }

    for (const auto& part : context.parts) {
        bool known = false;
        for (const auto& c : categories()) {
            const bool chosen = only.empty() || std::find(only.begin(), only.end(), c.name) != only.end();
            known = known || (chosen && hasPart(c, part));
        }
        if (!known) {
            std::fprintf(stderr, "flanger-validate: no part %s in the chosen categories\n", part.c_str());
            return 2;
        }
    }

    if (soakSeconds >= 0.0) {
        SoakOptions soak;
        soak.audioSeconds = soakSeconds;
        soak.seed = context.seed;
        isolation.timeoutSeconds = std::max(isolation.timeoutSeconds, soakSeconds * 2.0 + 60.0);
        std::printf("flanger-validate --soak: %s\n", context.modulePath.c_str());
        const Outcome outcome =
            runIsolated([&](Findings& f) { soakChecks(context.modulePath, soak, f); }, isolation);
        print("soak", outcome);
        return outcome.status == Outcome::Status::Pass ? 0 : 1;
    }

    std::printf("flanger-validate: %s (seed %u%s)\n", context.modulePath.c_str(), context.seed,
                context.quick ? ", quick" : "");
    int failed = 0, ran = 0;
    for (const auto& category : categories()) {
        if (!only.empty() && std::find(only.begin(), only.end(), category.name) == only.end()) continue;
        if (category.run == nullptr) {
            std::printf("%-14s SKIP  (%s)\n", category.name, category.skipReason);
            continue;
        }
        const Outcome outcome = runIsolated([&](Findings& f) { category.run(context, f); }, isolation);
        print(category.name, outcome);
        if (outcome.status == Outcome::Status::Skip) continue;  // found at run time: no editor, no display
        ++ran;
        if (outcome.status != Outcome::Status::Pass) ++failed;
    }
    std::printf("result: %s (%d of %d categories failed)\n", failed ? "FAIL" : "PASS", failed, ran);
    return failed ? 1 : 0;
}
