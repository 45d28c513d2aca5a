// flanger-validate: a hostile-host validation suite for any VST 2.x module, VST3 bundle or CLAP
// module, and the soak run.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <string>
#include <vector>

#include "tools/common/ClapHost.h"
#include "tools/common/CommandLine.h"
#include "tools/common/Vst3Host.h"
#include "tools/validate/Categories.h"
#include "tools/validate/Soak.h"

namespace {

using namespace flanger::tools;

void usage(std::FILE* to) {
    const ValidatorBuild& build = validatorBuild();
    std::fprintf(to, "usage: flanger-validate [options] %s\n", build.moduleName);
    std::fprintf(
        to, childProcessesAvailable()
                ? "Runs every check category on the module, each in a process of its own, and prints PASS,\n"
                  "FAIL or SKIP per category (exit 0 when none failed, 1 when one did).\n"
                : "Runs every check category on the module in this process (--no-fork), and prints PASS,\n"
                  "FAIL or SKIP per category (exit 0 when none failed, 1 when one did).\n");
    std::fprintf(to, "  --category NAME   run only this category (repeatable; default: all): ");
    for (const auto& c : categories()) std::fprintf(to, "%s ", c.name);
    if (!build.linuxOnly.empty()) {
        std::fprintf(to, "\n                    (Linux-only:");
        for (const char* name : build.linuxOnly) std::fprintf(to, " %s", name);
        std::fprintf(to, ")");
    }
    const bool parts = std::any_of(categories().begin(), categories().end(),
                                   [](const Category& c) { return c.parts != nullptr; });
    if (parts) {
        std::fprintf(to,
                     "\n  --part NAME       run only this part of a category that has parts (repeatable;\n"
                     "                    default: all):");
        for (const auto& c : categories()) {
            if (c.parts != nullptr) std::fprintf(to, " %s: %s;", c.name, c.parts);
        }
    }
    if (findCategory("editor") != nullptr) {
        std::fprintf(
            to,
            "\n  --xvfb            editor checks in a private Xvfb even when DISPLAY is set (default:\n"
            "                    only without DISPLAY)\n"
            "  --editor-cycles N editor open/close cycles, 1 or more (default 1000, 200 with --quick)");
    }
    std::fprintf(to,
                 "\n  --quick           fewer repetitions, for sanitizer builds (default: off)\n"
                 "  --seed N          random seed, 0 to 4294967295 (default 1)\n"
                 "  --timeout S       seconds a category may take (default 300)\n"
                 "  --no-fork         run in this process, so a crash ends the run (%s)\n"
                 "  --show-output     let the plug-in's own output through instead of counting it (default:\n"
                 "                    counted)\n"
                 "  --soak SECONDS    instead: the soak run over SECONDS of audio (default: no soak)\n"
                 "  -h, --help        this text\n"
                 "examples:\n"
                 "%s",
                 childProcessesAvailable()
                     ? "default: a process\n                    per category"
                     : "required: a process per\n                    category is Linux-only",
                 build.examples);
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
    const CommandLine commandLine("flanger-validate", usage);
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool takesValue = arg == "--category" || arg == "--part" || arg == "--editor-cycles" ||
                                arg == "--seed" || arg == "--timeout" || arg == "--soak";
        if (takesValue && i + 1 >= argc) return commandLine.missingValue(arg);
        const char* value = takesValue ? argv[++i] : nullptr;
        if ((arg == "--xvfb" || arg == "--editor-cycles") && findCategory("editor") == nullptr)
            return commandLine.refuse(arg + " is for the editor category, which is Linux-only");
        if (arg == "--category") {
            only.emplace_back(value);
        } else if (arg == "--quick") {
            context.quick = true;
        } else if (arg == "--part") {
            context.parts.emplace_back(value);
        } else if (arg == "--xvfb") {
            context.privateDisplay = true;
        } else if (arg == "--editor-cycles") {
            const auto cycles = readInteger(value, 1, std::numeric_limits<int>::max());
            if (!cycles) return commandLine.badValue(arg, value, "a whole number of cycles, 1 or more");
            context.editorCycles = static_cast<int>(*cycles);
        } else if (arg == "--seed") {
            const auto seed = readInteger(value, 0, std::numeric_limits<uint32_t>::max());
            if (!seed) return commandLine.badValue(arg, value, "a whole number from 0 to 4294967295");
            context.seed = static_cast<uint32_t>(*seed);
        } else if (arg == "--timeout") {
            const auto seconds = readReal(value);
            if (!seconds || *seconds <= 0.0) return commandLine.badValue(arg, value, "seconds above 0");
            isolation.timeoutSeconds = *seconds;
        } else if (arg == "--soak") {
            const auto seconds = readReal(value);
            if (!seconds || *seconds <= 0.0)
                return commandLine.badValue(arg, value, "seconds of audio above 0");
            soakSeconds = *seconds;
        } else if (arg == "--no-fork") {
            isolation.fork = false;
        } else if (arg == "--show-output") {
            isolation.captureOutput = false;
        } else if (isHelpOption(arg)) {
            return commandLine.help();
        } else if (looksLikeOption(arg)) {
            return commandLine.unknownOption(arg);
        } else if (context.modulePath.empty()) {
            context.modulePath = arg;
        } else {
            return commandLine.refuse("one module at a time (" + arg + ")");
        }
    }
    if (context.modulePath.empty()) return commandLine.refuse("say which module to validate");
    validateFormat(ClapModule::isClapFile(context.modulePath) ? ModuleFormat::Clap
                   : Vst3Module::isBundle(context.modulePath) ? ModuleFormat::Vst3
                                                              : ModuleFormat::Vst2);
    for (const auto& name : only) {
        if (findCategory(name) != nullptr) continue;
        if (isLinuxOnly(name))
            std::fprintf(stderr, "flanger-validate: the %s category is Linux-only\n", name.c_str());
        else
            std::fprintf(stderr, "flanger-validate: no category %s\n", name.c_str());
        return 2;
    }
    if (isolation.fork && !childProcessesAvailable())
        return commandLine.refuse("a process per category is Linux-only: pass --no-fork");

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
