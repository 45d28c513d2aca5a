// flanger-host --info and --render as a user runs them.
#include <gtest/gtest.h>
#include <sndfile.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/TestSignals.h"
#include "tools/render/Render.h"

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

std::vector<char> fileBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The raw render is the comparison the Windows build is held to, so it must be flanger-render's
// sound to the bit: the same start, preroll and block cutting, here with small blocks and a tempo.
TEST(FlangerHostTool, RawRenderIsFlangerRendersSoundAndRefusesBadInput) {
    const auto folder =
        std::filesystem::temp_directory_path() / ("flanger-host-render-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    flanger::testing::Noise noise(7);
    const std::vector<float> left = noise.block(20000, 0.5f), right = noise.block(20000, 0.5f);
    std::vector<float> interleaved;
    for (size_t i = 0; i < left.size(); ++i) interleaved.insert(interleaved.end(), {left[i], right[i]});
    std::ofstream(folder / "in.f32", std::ios::binary)
        .write(reinterpret_cast<const char*>(interleaved.data()),
               static_cast<std::streamsize>(interleaved.size() * sizeof(float)));
    std::string error;
    ASSERT_TRUE(flanger::tools::writeStereoWav((folder / "in.wav").string(), left, right, 44100, &error))
        << error;

    const std::string settings = " --program 4 --block 64 --tempo 128";
    int status = -1;
    capture(std::string("'") + HOST_TOOL + "' --render '" + FLANGER_MODULE_PATH + "' '" +
                (folder / "in.f32").string() + "' '" + (folder / "out.f32").string() + "'" + settings,
            status);
    ASSERT_EQ(status, 0);
    capture(std::string("'") + RENDER_TOOL + "' --plugin '" + FLANGER_MODULE_PATH + "' --float" + settings +
                " '" + (folder / "in.wav").string() + "' '" + (folder / "out.wav").string() + "' >/dev/null",
            status);
    ASSERT_EQ(status, 0);
    SF_INFO info{};
    SNDFILE* rendered = sf_open((folder / "out.wav").c_str(), SFM_READ, &info);
    ASSERT_NE(rendered, nullptr);
    std::vector<float> expected(static_cast<size_t>(info.frames) * 2);
    EXPECT_EQ(sf_readf_float(rendered, expected.data(), info.frames), info.frames);
    sf_close(rendered);
    const std::vector<char> raw = fileBytes(folder / "out.f32");
    ASSERT_EQ(raw.size(), expected.size() * sizeof(float));
    EXPECT_EQ(std::memcmp(raw.data(), expected.data(), raw.size()), 0);

    // Half a frame, a program the plug-in lacks, an option it does not know: refused, nothing written.
    std::ofstream(folder / "odd.f32", std::ios::binary).write("123456", 6);
    const std::string start = std::string("'") + HOST_TOOL + "' --render '" + FLANGER_MODULE_PATH + "' ";
    capture(
        start + "'" + (folder / "odd.f32").string() + "' '" + (folder / "x.f32").string() + "' 2>/dev/null",
        status);
    EXPECT_NE(status, 0);
    capture(start + "'" + (folder / "in.f32").string() + "' '" + (folder / "x.f32").string() +
                "' --program 8 2>/dev/null",
            status);
    EXPECT_NE(status, 0);
    capture(start + "'" + (folder / "in.f32").string() + "' '" + (folder / "x.f32").string() +
                "' --gain 3 2>/dev/null",
            status);
    EXPECT_NE(status, 0);
    EXPECT_FALSE(std::filesystem::exists(folder / "x.f32"));
    std::filesystem::remove_all(folder);
}

}  // namespace
