// flanger-host --info as a user runs it.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>

namespace {

// Runs the command and returns its standard output; the exit status goes to `status`.
std::string capture(const std::string& command, int& status) {
    std::string out;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return out;
    char buffer[4096];
    size_t n = 0;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
    status = pclose(pipe);
    return out;
}

TEST(FlangerHostTool, InfoPrintsRecordParametersProgramsAndChunkSizes) {
    int status = -1;
    const std::string out =
        capture(std::string("'") + HOST_TOOL + "' --info '" + FAKE_PLUGIN_PATH + "'", status);
    EXPECT_EQ(status, 0);
    for (const char* expected :
         {"magic            0x56737450", "uniqueID         0x46616B65 'Fake'", "numParams        3",
          "numInputs        2", "flags            48 (0x30) replacing chunks", "Invert", "off", "Unity",
          "Loud", "chunk bytes      bank 24, program 12", "vendor           Fake Vendor"})
        EXPECT_NE(out.find(expected), std::string::npos) << expected << "\n" << out;
}

TEST(FlangerHostTool, FailsClearlyForAModuleThatDoesNotLoadOrBadArguments) {
    int status = 0;
    capture(std::string("'") + HOST_TOOL + "' --info /nonexistent.so 2>/dev/null", status);
    EXPECT_NE(status, 0);
    capture(std::string("'") + HOST_TOOL + "' 2>/dev/null", status);
    EXPECT_NE(status, 0);
}

}  // namespace
