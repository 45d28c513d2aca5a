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
void checkThreads(const CheckContext& context, Findings& findings);
void checkEditor(const CheckContext& context, Findings& findings);

struct Category {
    const char* name;
    void (*run)(const CheckContext&, Findings&);  // null: not checked yet
    const char* skipReason;
    const char* parts;  // the parts --part can pick, space-separated; null when it has none
};

const std::vector<Category>& categories();
bool hasPart(const Category& category, const std::string& part);

// A text the plug-in wrote into `size` bytes: empty when it is terminated inside them and made
// of printable characters (ASCII or well-formed UTF-8), otherwise what is wrong with it.
std::string textProblem(const unsigned char* data, size_t size);

// Index of the first sample that differs between two runs; -1 when they are bit-identical.
long long firstDifference(const std::vector<float>& a, const std::vector<float>& b);

}  // namespace flanger::tools
