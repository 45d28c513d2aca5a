// The groups of checks the validator runs, each on its own instance(s) of the module.
#pragma once

#include <string>
#include <vector>

#include "tools/validate/Isolation.h"
#include "tools/validate/Rig.h"

namespace flanger::tools {

void checkLifecycle(const CheckContext& context, Findings& findings);
void checkOpcodes(const CheckContext& context, Findings& findings);
void checkConfiguration(const CheckContext& context, Findings& findings);
void checkParameters(const CheckContext& context, Findings& findings);
void checkAudio(const CheckContext& context, Findings& findings);
void checkState(const CheckContext& context, Findings& findings);
// Built on Linux only: the thread checks, and the editor checks on X11.
void checkThreads(const CheckContext& context, Findings& findings);
void checkEditor(const CheckContext& context, Findings& findings);

// The CLAP categories (ClapChecks.cpp and the Clap*Checks.cpp beside it); threads on Linux only.
void checkClapDescriptor(const CheckContext& context, Findings& findings);
void checkClapLifecycle(const CheckContext& context, Findings& findings);
void checkClapAudio(const CheckContext& context, Findings& findings);
void checkClapParams(const CheckContext& context, Findings& findings);
void checkClapState(const CheckContext& context, Findings& findings);
void checkClapThreads(const CheckContext& context, Findings& findings);

struct Category {
    const char* name;
    void (*run)(const CheckContext&, Findings&);  // null: not checked yet
    const char* skipReason;
    const char* parts;  // the parts --part can pick, space-separated; null when it has none
};

// This system's validator: what it checks and how its usage names things. The source file CMake
// picks per system defines it (CategoryTable.cpp on Linux, CategoryTableWindows.cpp).
struct ValidatorBuild {
    std::vector<Category> categories;
    std::vector<const char*> linuxOnly;  // categories left out here, so that asking for one is answered
    const char* moduleName;              // what the usage calls the module ("PLUGIN.so")
    const char* examples;                // the usage's example lines
};
const ValidatorBuild& validatorBuild();
// The categories for a VST3 bundle (Vst3Checks.cpp), the same on both systems.
const ValidatorBuild& vst3ValidatorBuild();
// The categories for a CLAP module (ClapChecks.cpp); its threads category is Linux-only.
const ValidatorBuild& clapValidatorBuild();

enum class ModuleFormat { Vst2, Vst3, Clap };
// Picks the format's categories for what categories() and the lookups answer from now on.
void validateFormat(ModuleFormat format);
const ValidatorBuild& activeBuild();

const std::vector<Category>& categories();
const Category* findCategory(const std::string& name);  // null when this build has none of that name
bool isLinuxOnly(const std::string& name);
bool hasPart(const Category& category, const std::string& part);

// A text the plug-in wrote into `size` bytes: empty when it is terminated inside them and made
// of printable characters (ASCII or well-formed UTF-8), otherwise what is wrong with it.
std::string textProblem(const unsigned char* data, size_t size);

// Index of the first sample that differs between two runs; -1 when they are bit-identical.
long long firstDifference(const std::vector<float>& a, const std::vector<float>& b);

}  // namespace flanger::tools
