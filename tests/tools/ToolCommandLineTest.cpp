// Every tool's command line as a user meets it: --help prints the usage with examples and does
// nothing else; an unknown option, a missing value or a mistyped number exits 2 with one line and
// the usage on standard error, and does nothing either.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

struct Tool {
    const char* name;
    const char* path;
    std::vector<const char*> refused;  // argument lists, as a shell reads them
};

std::vector<Tool> tools() {
    std::vector<Tool> all = {
        {"flanger-host",
         HOST_TOOL,
         {"--frobnicate", "--info", "--editor m.so --seconds", "--editor m.so --seconds 1x", "-q m.so"}},
        {"flanger-screenshot", SCREENSHOT_TOOL, {"--bogus", "-x out.png"}},
        {"flanger-validate",
         VALIDATE_TOOL,
         {"--bogus m.so", "--seed 1x m.so", "--editor-cycles abc m.so", "--timeout m.so", "m.so --seed"}},
        {"flanger-demo", DEMO_TOOL, {"--bogus", "--out", "--plugin"}},
#ifdef INSTRUCTIONS_TOOL
        {"flanger_instructions", INSTRUCTIONS_TOOL, {"--bogus", "--sync extra"}},
        {"flanger_present_count", PRESENT_COUNT_TOOL, {"--bogus 1", "1x", ""}},
#endif
    };
    return all;
}

struct ToolRun {
    int status = -1;
    std::string output;
    std::string errors;
    std::vector<fs::path> leftInFolder;  // what the run wrote where it ran
};

// Runs the tool in an empty folder of its own.
ToolRun run(const Tool& tool, const std::string& arguments) {
    const fs::path folder =
        fs::path(::testing::TempDir()) / ("cli-" + std::to_string(getpid()) + "-" + tool.name);
    fs::remove_all(folder);
    fs::create_directories(folder);
    const fs::path errors = folder.parent_path() / (folder.filename().string() + ".err");
    const std::string command = "cd '" + folder.string() + "' && exec '" + tool.path + "' " + arguments +
                                " 2>'" + errors.string() + "'";
    ToolRun result;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return result;
    char buffer[4096];
    for (size_t n = 0; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) result.output.append(buffer, n);
    const int raw = pclose(pipe);
    result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    std::ifstream in(errors);
    std::stringstream text;
    text << in.rdbuf();
    result.errors = text.str();
    for (const auto& entry : fs::directory_iterator(folder)) result.leftInFolder.push_back(entry.path());
    fs::remove_all(folder);
    fs::remove(errors);
    return result;
}

class ToolCommandLine : public ::testing::TestWithParam<Tool> {};

TEST_P(ToolCommandLine, HelpPrintsUsageOptionsAndExamplesAndDoesNothingElse) {
    for (const char* help : {"--help", "-h"}) {
        const ToolRun r = run(GetParam(), help);
        EXPECT_EQ(r.status, 0) << help << "\n" << r.errors;
        EXPECT_NE(r.output.find("usage:"), std::string::npos) << r.output;
        EXPECT_NE(r.output.find("default"), std::string::npos) << r.output;
        EXPECT_NE(r.output.find("examples:"), std::string::npos) << r.output;
        EXPECT_EQ(r.errors, "");
        EXPECT_TRUE(r.leftInFolder.empty()) << r.leftInFolder.front();
    }
}

TEST_P(ToolCommandLine, RefusesUnknownOptionsMissingValuesAndMistypedNumbers) {
    const std::string prefix = std::string(GetParam().name) + ": ";
    for (const char* arguments : GetParam().refused) {
        const ToolRun r = run(GetParam(), arguments);
        EXPECT_EQ(r.status, 2) << arguments << "\n" << r.errors;
        EXPECT_EQ(r.errors.rfind(prefix, 0), 0u) << arguments << "\n" << r.errors;
        // One line, then the usage.
        EXPECT_EQ(r.errors.find("\nusage:"), r.errors.find('\n')) << arguments << "\n" << r.errors;
        EXPECT_EQ(r.output, "") << arguments;
        EXPECT_TRUE(r.leftInFolder.empty()) << arguments << ": " << r.leftInFolder.front();
    }
}

INSTANTIATE_TEST_SUITE_P(EveryTool, ToolCommandLine, ::testing::ValuesIn(tools()),
                         [](const ::testing::TestParamInfo<Tool>& tool) {
                             std::string name = tool.param.name;
                             for (char& c : name)
                                 if (c == '-') c = '_';
                             return name;
                         });

}  // namespace
