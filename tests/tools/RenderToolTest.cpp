// flanger-render as a user runs it: whole processes on real files, through the fake effect
// and, when it is built, the flanger module.
#include <gtest/gtest.h>

#include <sndfile.h>
#include <unistd.h>
#include <algorithm>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tools/render/RenderFiles.h"

namespace {

namespace fs = std::filesystem;
using namespace flanger::tools;
namespace vst = flanger::vst;

struct Audio {
    int rate = 0;
    int channels = 0;
    int format = 0;
    std::vector<float> samples;  // interleaved
    sf_count_t frames() const { return channels ? static_cast<sf_count_t>(samples.size()) / channels : 0; }
};

void writeAudio(const fs::path& path, int rate, int channels, sf_count_t frames, int format) {
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = channels;
    info.format = format;
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    ASSERT_NE(f, nullptr) << sf_strerror(nullptr);
    std::vector<float> data(static_cast<size_t>(frames * channels));
    for (sf_count_t i = 0; i < frames; ++i)
        for (int c = 0; c < channels; ++c)
            data[static_cast<size_t>(i * channels + c)] =
                0.5f * std::sin(0.01f * static_cast<float>(i) * static_cast<float>(c + 1)) *
                (c == 0 ? 1.0f : -0.8f);
    sf_writef_float(f, data.data(), frames);
    sf_close(f);
}

Audio readAudio(const fs::path& path) {
    Audio a;
    SF_INFO info{};
    SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
    if (!f) return a;
    a.rate = info.samplerate;
    a.channels = info.channels;
    a.format = info.format;
    a.samples.resize(static_cast<size_t>(info.frames * info.channels));
    sf_readf_float(f, a.samples.data(), info.frames);
    sf_close(f);
    return a;
}

std::vector<char> fileBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class RenderTool : public ::testing::Test {
protected:
    void SetUp() override {
        folder =
            fs::temp_directory_path() / ("render-tool-" + std::to_string(getpid()) + "-" +
                                         ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(folder);
        fs::create_directories(folder);
        writeAudio(folder / "stereo.wav", 44100, 2, 20000, SF_FORMAT_WAV | SF_FORMAT_FLOAT);
    }
    void TearDown() override { fs::remove_all(folder); }

    // Runs flanger-render with these arguments; stderr is kept in `errors`.
    int run(const std::string& arguments) {
        const fs::path err = folder / "stderr.txt";
        const fs::path out = folder / "stdout.txt";
        const std::string command = std::string("'") + RENDER_TOOL + "' " + arguments + " >'" + out.string() +
                                    "' 2>'" + err.string() + "'";
        const int status = std::system(command.c_str());
        const auto e = fileBytes(err);
        const auto o = fileBytes(out);
        errors.assign(e.begin(), e.end());
        output.assign(o.begin(), o.end());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    std::string path(const std::string& leaf) const {
        std::string quoted(1, '\'');
        quoted += (folder / leaf).string();
        quoted += '\'';
        return quoted;
    }
    std::string fake() const { return std::string(" --plugin '") + FAKE_PLUGIN_PATH + "'"; }

    // Nothing but the files a test made itself: no temporaries left behind.
    bool noTemporaries() const {
        for (const auto& entry : fs::directory_iterator(folder)) {
            if (entry.path().filename().string().find(".part") != std::string::npos) return false;
        }
        return true;
    }

    fs::path folder;
    std::string errors;
    std::string output;
};

TEST_F(RenderTool, RendersThroughThePluginWithNormalisedValues) {
    ASSERT_EQ(run(path("stereo.wav") + " " + path("out.wav") + fake() + " --param 0=0.25"), 0) << errors;
    const Audio in = readAudio(folder / "stereo.wav");
    const Audio out = readAudio(folder / "out.wav");
    EXPECT_EQ(out.format, SF_FORMAT_WAV | SF_FORMAT_FLOAT);
    ASSERT_EQ(out.channels, 2);
    ASSERT_EQ(out.samples.size(), in.samples.size());
    for (size_t i = 0; i < in.samples.size(); ++i) ASSERT_EQ(out.samples[i], in.samples[i] * 0.5f) << i;
    EXPECT_NE(output.find("20000 frames"), std::string::npos) << output;
    EXPECT_NE(output.find("real time"), std::string::npos);
    EXPECT_EQ(errors.find('\r'), std::string::npos);  // no progress bar when stderr is not a terminal
}

TEST_F(RenderTool, MonoInputIsRenderedThroughBothInputsToStereo) {
    writeAudio(folder / "mono.flac", 48000, 1, 5000, SF_FORMAT_FLAC | SF_FORMAT_PCM_16);
    ASSERT_EQ(run(path("mono.flac") + " " + path("out.flac") + fake() + " --set Invert=on --no-dither"), 0)
        << errors;
    const Audio in = readAudio(folder / "mono.flac");
    const Audio out = readAudio(folder / "out.flac");
    EXPECT_EQ(out.format, SF_FORMAT_FLAC | SF_FORMAT_PCM_16);  // the input's sample format
    EXPECT_EQ(out.rate, 48000);
    ASSERT_EQ(out.channels, 2);
    ASSERT_EQ(out.frames(), in.frames());
    for (sf_count_t i = 0; i < in.frames(); ++i) {
        ASSERT_NEAR(out.samples[static_cast<size_t>(2 * i)], -in.samples[static_cast<size_t>(i)], 1e-4f);
        ASSERT_EQ(out.samples[static_cast<size_t>(2 * i)], out.samples[static_cast<size_t>(2 * i + 1)]);
    }
}

// 16-bit input is read as integers: every value, the extremes included, must reach the plug-in
// as the float the library itself reads, in stereo and mono files and in both byte orders.
TEST_F(RenderTool, SixteenBitInputReachesThePluginAsTheLibrarysFloats) {
    std::vector<short> ramp(65536 * 2);
    for (int i = 0; i < 65536; ++i) {
        ramp[static_cast<size_t>(2 * i)] = static_cast<short>(i - 32768);
        ramp[static_cast<size_t>(2 * i + 1)] = static_cast<short>(32767 - i);
    }
    for (const int channels : {2, 1}) {
        for (const int major : {SF_FORMAT_WAV, SF_FORMAT_AIFF}) {
            SF_INFO info{};
            info.samplerate = 44100;
            info.channels = channels;
            info.format = major | SF_FORMAT_PCM_16;
            const fs::path input = folder / (major == SF_FORMAT_WAV ? "ramp.wav" : "ramp.aiff");
            SNDFILE* f = sf_open(input.c_str(), SFM_WRITE, &info);
            ASSERT_NE(f, nullptr) << sf_strerror(nullptr);
            sf_write_short(f, ramp.data(), static_cast<sf_count_t>(ramp.size()));
            sf_close(f);
            ASSERT_EQ(run(path(input.filename().string()) + " " + path("out.wav") + fake() +
                          " --param 0=0.5 --float"),
                      0)
                << errors;  // gain 1
            const Audio in = readAudio(input);
            const Audio out = readAudio(folder / "out.wav");
            ASSERT_EQ(out.frames(), in.frames());
            for (sf_count_t i = 0; i < in.frames(); ++i) {
                for (int c = 0; c < 2; ++c) {
                    const float expected =
                        in.samples[static_cast<size_t>(i * channels + (channels == 2 ? c : 0))];
                    ASSERT_EQ(out.samples[static_cast<size_t>(2 * i + c)], expected) << channels << " " << i;
                }
            }
        }
    }
}

TEST_F(RenderTool, TailAddsSilentInputAfterTheEnd) {
    ASSERT_EQ(run(path("stereo.wav") + " " + path("out.wav") + fake() + " --tail 0.5"), 0) << errors;
    EXPECT_EQ(readAudio(folder / "out.wav").frames(), 20000 + 22050);
}

TEST_F(RenderTool, HostBlockSizeDoesNotChangeTheOutput) {
    ASSERT_EQ(run(path("stereo.wav") + " " + path("a.wav") + fake() + " --block 1"), 0) << errors;
    ASSERT_EQ(run(path("stereo.wav") + " " + path("b.wav") + fake() + " --block 4096"), 0) << errors;
    ASSERT_EQ(run(path("stereo.wav") + " " + path("c.wav") + fake() + " --block 777"), 0) << errors;
    EXPECT_EQ(fileBytes(folder / "a.wav"), fileBytes(folder / "b.wav"));
    EXPECT_EQ(fileBytes(folder / "a.wav"), fileBytes(folder / "c.wav"));
}

// A typo is a refusal (exit 2) before anything is written; a render that fails exits 1.
TEST_F(RenderTool, FailuresExitNonZeroAndLeaveNoOutput) {
    writeAudio(folder / "slow.wav", 4000, 2, 100, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    writeAudio(folder / "quad.wav", 44100, 4, 100, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    const std::string render = path("stereo.wav") + " " + path("out.wav") + fake();
    const struct {
        std::string arguments;
        const char* message;
        int exitCode;
    } cases[] = {
        {path("missing.wav") + " " + path("out.wav") + fake(), "cannot open", 1},
        {render + " --set Nothing=1", "unknown parameter", 2},
        {render + " --set Gain=loud", "Gain cannot be \"loud\"; give it as --list shows it, e.g. \"0.50 dB\"",
         2},
        {render + " --set Gain", "NAME=VALUE", 2},
        {render + " --program Quiet", "unknown program", 2},
        {render + " --program 2", "no program 2", 2},
        {render + " --param 9=0.5", "no parameter 9", 2},
        {render + " --param 0=1.5", "from 0 to 1", 2},
        {render + " --automate Gain=1:0.5,0.5:0.2", "must not go back", 2},
        {render + " --automate Gain=1:x", "Gain cannot be \"x\"", 2},
        {render + " --program-at 1:Quiet", "unknown program", 2},
        {render + " --bits 8", "--bits expects 16, 24 or 32", 2},
        {render + " --gain loud", "--gain expects decibels", 2},
        {render + " --tempo 1000", "a BPM from 0 to 999", 2},
        {render + " --save-fxp " + path("no/such/folder/p.fxp"), "cannot create a file in", 2},
        {path("stereo.wav") + " " + path("out.flac") + fake() + " --float", "FLAC holds at most 24-bit", 2},
        {path("stereo.wav") + " " + path("out.wav") + " --plugin /nonexistent.so", "does not load", 1},
        {path("stereo.wav") + " " + path("out.wav") + " --plugin '" + FAKE_NO_ENTRY_PATH + "'",
         "does not load", 1},
        {path("slow.wav") + " " + path("out.wav") + fake(), "unsupported sample rate", 1},
        {path("quad.wav") + " " + path("out.wav") + fake(), "channels", 1},
        {path("stereo.wav") + " " + path("out.xyz") + fake(), "output format", 2},
        {render + " --load-fxp " + path("missing.fxp"), "cannot open", 1},
        {render + " --block 0", "--block", 2},
        {path("stereo.wav") + fake(), "expected IN and OUT", 2},
        {render + " --bogus", "unknown option", 2},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(run(c.arguments), c.exitCode) << c.arguments << "\n" << errors;
        EXPECT_NE(errors.find(c.message), std::string::npos) << c.arguments << "\n" << errors;
        EXPECT_EQ(std::count(errors.begin(), errors.end(), '\n'), 1) << "one clear line: " << errors;
        EXPECT_FALSE(fs::exists(folder / "out.wav")) << c.arguments;
        EXPECT_TRUE(noTemporaries()) << c.arguments;
    }
    ASSERT_EQ(run("--help"), 0);
    EXPECT_NE(output.find("--automate NAME=T:V"), std::string::npos) << output;
    EXPECT_NE(output.find("examples:"), std::string::npos) << output;
}

TEST_F(RenderTool, BadInputFilesAreRefusedAndTheInputIsNeverOverwritten) {
    writeAudio(folder / "eight.wav", 44100, 8, 100, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    writeAudio(folder / "high.wav", 384000, 2, 100, SF_FORMAT_WAV | SF_FORMAT_FLOAT);
    writeAudio(folder / "none.wav", 44100, 2, 0, SF_FORMAT_WAV | SF_FORMAT_FLOAT);
    { std::ofstream(folder / "empty.wav"); }
    {
        const auto whole = fileBytes(folder / "stereo.wav");
        std::ofstream cut(folder / "cut.wav", std::ios::binary);
        cut.write(whole.data(), static_cast<std::streamsize>(whole.size() / 2));
    }
    const auto original = fileBytes(folder / "stereo.wav");
    {
        auto bytes = original;
        const std::string whole(bytes.begin(), bytes.end());
        const size_t rate = whole.find("fmt ") + 12;
        std::fill(bytes.begin() + static_cast<std::ptrdiff_t>(rate),
                  bytes.begin() + static_cast<std::ptrdiff_t>(rate + 4), 0);
        std::ofstream(folder / "rate0.wav", std::ios::binary)
            .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }
    const struct {
        std::string arguments;
        const char* message;
    } cases[] = {
        {path("empty.wav") + " " + path("out.wav") + fake(), "cannot open"},
        {path("none.wav") + " " + path("out.wav") + fake(), "no audio frames"},
        {path("rate0.wav") + " " + path("out.wav") + fake(), "its header gives no sample rate (0 Hz)"},
        {path("cut.wav") + " " + path("out.wav") + fake(), "truncated"},
        {path("eight.wav") + " " + path("out.wav") + fake(), "channels"},
        {path("high.wav") + " " + path("out.wav") + fake(), "unsupported sample rate"},
        {path("stereo.wav") + " " + path("stereo.wav") + fake(), "it is the input file"},
        {path("stereo.wav") + " '" + (folder / "." / "stereo.wav").string() + "'" + fake(),
         "it is the input file"},
        {path("stereo.wav") + " " + path("no/such/folder/out.wav") + fake(), "cannot create"},
    };
    for (const auto& c : cases) {
        EXPECT_NE(run(c.arguments), 0) << c.arguments;
        EXPECT_NE(errors.find(c.message), std::string::npos) << c.arguments << "\n" << errors;
        EXPECT_EQ(std::count(errors.begin(), errors.end(), '\n'), 1) << "one clear line: " << errors;
        EXPECT_FALSE(fs::exists(folder / "out.wav")) << c.arguments;
        EXPECT_TRUE(noTemporaries()) << c.arguments;
    }
    EXPECT_EQ(fileBytes(folder / "stereo.wav"), original);
}

TEST_F(RenderTool, OutputsThatAreNoOrdinaryFileAreWrittenIntoOrRefused) {
    // A full device behind the output's name: the write error is reported, and the name still
    // leads to the device (a temporary renamed over it would have replaced it).
    fs::create_symlink("/dev/full", folder / "full.wav");
    EXPECT_NE(run(path("stereo.wav") + " " + path("full.wav") + fake()), 0);
    EXPECT_NE(errors.find("No space left on device"), std::string::npos) << errors;
    EXPECT_EQ(std::count(errors.begin(), errors.end(), '\n'), 1) << "one clear line: " << errors;
    EXPECT_TRUE(fs::is_symlink(folder / "full.wav"));
    EXPECT_EQ(fs::read_symlink(folder / "full.wav"), "/dev/full");
    EXPECT_TRUE(noTemporaries());

    fs::create_symlink("/dev/null", folder / "null.wav");
    EXPECT_EQ(run(path("stereo.wav") + " " + path("null.wav") + fake()), 0) << errors;
    EXPECT_TRUE(fs::is_symlink(folder / "null.wav"));

    fs::create_directory(folder / "taken.wav");
    EXPECT_NE(run(path("stereo.wav") + " " + path("taken.wav") + fake()), 0);
    EXPECT_NE(errors.find("it is a folder"), std::string::npos) << errors;
    EXPECT_TRUE(fs::is_directory(folder / "taken.wav"));

    // A folder nobody may create files in, root included.
    EXPECT_NE(run(path("stereo.wav") + " /proc/out.wav" + fake()), 0);
    EXPECT_NE(errors.find("cannot create a file in /proc"), std::string::npos) << errors;
    EXPECT_TRUE(noTemporaries());
}

TEST_F(RenderTool, AFailedRenderKeepsTheOldOutputFile) {
    { std::ofstream(folder / "out.wav") << "previous"; }
    EXPECT_NE(run(path("stereo.wav") + " " + path("out.wav") + fake() + " --set Nothing=1"), 0);
    EXPECT_EQ(fileBytes(folder / "out.wav"), std::vector<char>({'p', 'r', 'e', 'v', 'i', 'o', 'u', 's'}));
}

TEST_F(RenderTool, SavedProgramsAndBanksReloadToIdenticalOutput) {
    const std::string in = path("stereo.wav");
    ASSERT_EQ(run(in + " " + path("first.wav") + fake() + " --program Loud --set Gain=0.3 --save-fxp " +
                  path("p.fxp")),
              0)
        << errors;
    ASSERT_EQ(run(in + " " + path("again.wav") + fake() + " --program 1 --load-fxp " + path("p.fxp")), 0)
        << errors;
    EXPECT_EQ(fileBytes(folder / "first.wav"), fileBytes(folder / "again.wav"));
    // Without the preset the output differs, so the comparison above means something.
    ASSERT_EQ(run(in + " " + path("plain.wav") + fake() + " --program 1"), 0) << errors;
    EXPECT_NE(fileBytes(folder / "first.wav"), fileBytes(folder / "plain.wav"));

    ASSERT_EQ(run(in + " " + path("bank.wav") + fake() +
                  " --program 1 --param 2=0.5 --set Gain=0.1 --save-fxb " + path("b.fxb")),
              0)
        << errors;
    ASSERT_EQ(run(in + " " + path("bank-again.wav") + fake() + " --load-fxb " + path("b.fxb")), 0) << errors;
    EXPECT_EQ(fileBytes(folder / "bank.wav"), fileBytes(folder / "bank-again.wav"));

    // A program file is not a bank, and a file that is no preset is refused with its reason.
    EXPECT_NE(run(in + " " + path("x.wav") + fake() + " --load-fxb " + path("p.fxp")), 0);
    EXPECT_NE(errors.find("use --load-fxp"), std::string::npos) << errors;
    EXPECT_NE(run(in + " " + path("x.wav") + fake() + " --load-fxp " + in), 0);
    EXPECT_NE(errors.find("CcnK"), std::string::npos) << errors;
    EXPECT_FALSE(fs::exists(folder / "x.wav"));
}

TEST_F(RenderTool, RefusesPresetsOfAnotherPlugin) {
    auto bytes = fileBytes(folder / "stereo.wav");
    ASSERT_EQ(run(path("stereo.wav") + " " + path("o.wav") + fake() + " --save-fxp " + path("p.fxp")), 0)
        << errors;
    auto preset = fileBytes(folder / "p.fxp");
    preset[16] = 'X';  // the plug-in id
    std::ofstream(folder / "other.fxp", std::ios::binary)
        .write(preset.data(), static_cast<std::streamsize>(preset.size()));
    EXPECT_NE(run(path("stereo.wav") + " " + path("out.wav") + fake() + " --load-fxp " + path("other.fxp")),
              0);
    EXPECT_NE(errors.find("another plug-in"), std::string::npos) << errors;
}

TEST_F(RenderTool, ListShowsParametersWithRangesAndPrograms) {
    ASSERT_EQ(run(std::string("--list") + fake()), 0) << errors;
    EXPECT_NE(output.find("Gain"), std::string::npos) << output;
    EXPECT_NE(output.find("[off .. on]"), std::string::npos) << output;
    EXPECT_NE(output.find("Loud"), std::string::npos) << output;
}

struct ProgressSeen : RenderProgress {
    int64_t done = 0, total = 0;
    bool finished = false;
    void update(int64_t d, int64_t t) override {
        done = d;
        total = t;
    }
    void finish() override { finished = true; }
};

TEST_F(RenderTool, LibraryRendersAFileAndItsTailIntoACompleteOutput) {
    std::string error;
    auto plugin = PluginInstance::load(FAKE_PLUGIN_PATH, {}, &error);
    ASSERT_NE(plugin, nullptr) << error;
    prepareForRender(*plugin, 44100.0f, 300);
    plugin->setParameter(0, 0.25f);  // gain 0.5
    const std::string in = (folder / "stereo.wav").string();
    EXPECT_THROW(FileRender(in, in), RenderError);

    FileRender job(in, (folder / "out.wav").string());
    EXPECT_EQ(job.channels(), 2);
    EXPECT_EQ(job.inputFrames(), 20000);
    ProgressSeen progress;
    RenderJob settings;
    settings.hostBlock = 300;
    settings.tailFrames = 1000;
    settings.progress = &progress;
    const RenderResult result = job.run(*plugin, settings);
    EXPECT_EQ(result.frames, 21000);
    EXPECT_EQ(progress.done, 21000);
    EXPECT_EQ(progress.total, 21000);
    EXPECT_TRUE(progress.finished);
    const Audio before = readAudio(in);
    const Audio out = readAudio(folder / "out.wav");
    ASSERT_EQ(out.frames(), 21000);
    for (size_t i = 0; i < out.samples.size(); ++i)
        ASSERT_EQ(out.samples[i], i < before.samples.size() ? before.samples[i] * 0.5f : 0.0f) << i;
    EXPECT_TRUE(noTemporaries());
}

// Both kinds of preset file: the fake keeps chunks, its variant plain values.
TEST_F(RenderTool, LibraryPresetFilesRestoreProgramsAndBanks) {
    for (const std::string module : {FAKE_PLUGIN_PATH, FAKE_VALUES_PATH}) {
        SCOPED_TRACE(module);
        auto load = [&] {
            std::string error;
            auto plugin = PluginInstance::load(module, {}, &error);
            EXPECT_NE(plugin, nullptr) << error;
            if (plugin) prepareForRender(*plugin, 44100.0f, 512);
            return plugin;
        };
        auto values = [](PluginInstance& plugin) {
            std::vector<float> v;
            for (int32_t i = 0; i < plugin.parameterCount(); ++i) v.push_back(plugin.parameter(i));
            return v;
        };
        auto source = load();
        ASSERT_NE(source, nullptr);
        std::vector<std::vector<float>> programs;
        for (int32_t p = 0; p < source->programCount(); ++p) {
            source->setProgram(p);
            for (int32_t i = 0; i < source->parameterCount(); ++i)
                source->setParameter(i, static_cast<float>((p * 7 + i * 3) % 10) / 10.0f + 0.05f);
            programs.push_back(values(*source));
        }
        const int32_t last = source->programCount() - 1;
        source->setProgram(last);
        source->setProgramName("Round trip");
        const std::string program = (folder / "p.fxp").string(), bank = (folder / "b.fxb").string();
        saveProgramFile(*source, program);
        saveBankFile(*source, bank);
        EXPECT_EQ(source->program(), last);  // saving a bank of values visits every program

        auto target = load();
        ASSERT_NE(target, nullptr);
        const bool names = !target->hasFlag(vst::effFlagsProgramChunks);  // the fake's chunks hold no names
        loadBankFile(*target, bank);
        EXPECT_EQ(target->program(), last);
        if (names) {
            EXPECT_EQ(target->programName(), "Round trip");
        }
        for (int32_t p = 0; p < target->programCount(); ++p) {
            target->setProgram(p);
            EXPECT_EQ(values(*target), programs[static_cast<size_t>(p)]) << "program " << p;
        }
        target->setProgram(0);
        loadProgramFile(*target, program);
        EXPECT_EQ(values(*target), programs.back());
        if (names) {
            EXPECT_EQ(target->programName(), "Round trip");
        }
        EXPECT_THROW(loadProgramFile(*target, bank), RenderError);
    }
}

// What sox says reading a file: nothing, for a file written as other programs expect.
std::string soxComplaints(const fs::path& file) {
    const std::string command = "sox '" + file.string() + "' -n 2>&1";
    std::string said;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[256];
        while (std::fgets(buffer, sizeof buffer, pipe)) said += buffer;
        pclose(pipe);
    }
    return said;
}

TEST_F(RenderTool, OutputFormatFollowsTheInputOrTheRequestAndSoxReadsEveryFileCleanly) {
    writeAudio(folder / "s16.wav", 44100, 2, 5000, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    writeAudio(folder / "s24.aiff", 44100, 2, 5000, SF_FORMAT_AIFF | SF_FORMAT_PCM_24);
    const bool sox = std::system("command -v sox >/dev/null 2>&1") == 0;
    const struct {
        const char* input;
        const char* output;
        const char* options;
        int format;
        const char* note;
    } cases[] = {
        {"s16.wav", "a.wav", "", SF_FORMAT_WAV | SF_FORMAT_PCM_16, nullptr},
        {"s16.wav", "b.wav", " --bits 24", SF_FORMAT_WAV | SF_FORMAT_PCM_24, nullptr},
        {"s16.wav", "c.wav", " --bits 32", SF_FORMAT_WAV | SF_FORMAT_PCM_32, nullptr},
        {"s16.wav", "d.wav", " --float", SF_FORMAT_WAV | SF_FORMAT_FLOAT, nullptr},
        {"stereo.wav", "e.wav", "", SF_FORMAT_WAV | SF_FORMAT_FLOAT, nullptr},
        {"s24.aiff", "f.aiff", "", SF_FORMAT_AIFF | SF_FORMAT_PCM_24, nullptr},
        {"s16.wav", "g.aiff", " --float", SF_FORMAT_AIFF | SF_FORMAT_FLOAT, nullptr},
        {"s24.aiff", "h.flac", " --bits 16", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, nullptr},
        {"stereo.wav", "i.flac", "", SF_FORMAT_FLAC | SF_FORMAT_PCM_24, "FLAC holds at most 24-bit integers"},
    };
    for (const auto& c : cases) {
        ASSERT_EQ(run(path(c.input) + " " + path(c.output) + fake() + " --param 0=0.25" + c.options), 0)
            << errors;
        const Audio out = readAudio(folder / c.output);
        EXPECT_EQ(out.format, c.format) << c.output;
        EXPECT_EQ(out.frames(), readAudio(folder / c.input).frames()) << c.output;
        if (c.note) {
            EXPECT_NE(errors.find(c.note), std::string::npos) << errors;
        } else {
            EXPECT_EQ(errors, "") << c.output;
        }
        if (sox) {
            EXPECT_EQ(soxComplaints(folder / c.output), "") << c.output;
        }
    }
}

TEST_F(RenderTool, IntegerOutputThatClipsIsCountedAndTheGainAppliesAfterTheEffect) {
    // Gain 2 from the effect and +3 dB after it: a 0.5 sine peaks at +9 dBFS.
    const std::string loud = fake() + " --param 0=1 --gain 3";
    ASSERT_EQ(run(path("stereo.wav") + " " + path("float.wav") + loud), 0) << errors;
    EXPECT_EQ(errors, "") << "float output keeps overs without a word";
    ASSERT_EQ(run(path("stereo.wav") + " " + path("int.wav") + loud + " --bits 24"), 0) << errors;
    const Audio in = readAudio(folder / "stereo.wav");
    const Audio overs = readAudio(folder / "float.wav");
    const float gain = 2.0f * std::pow(10.0f, 3.0f / 20.0f);
    float peak = 0.0f;
    long clipped = 0;
    for (size_t i = 0; i < in.samples.size(); ++i) {
        ASSERT_NEAR(overs.samples[i], in.samples[i] * gain, 1e-5f) << i;
        peak = std::max(peak, std::fabs(overs.samples[i]));
        clipped += std::fabs(overs.samples[i]) > 1.0f;
    }
    char expected[128];
    std::snprintf(expected, sizeof expected,
                  "flanger-render: %ld samples clipped, peak %+.1f dBFS; lower --gain or use --float\n",
                  clipped, 20.0 * std::log10(peak));
    EXPECT_EQ(errors, expected);
    EXPECT_GT(clipped, 1000);
}

TEST(Dither, ErrorStaysWithinOneAndAHalfStepsAndIsWhite) {
    TpdfDither dither(12345);
    constexpr int kSamples = 1 << 16;
    std::vector<double> error(kSamples);
    double power = 0.0;
    for (int i = 0; i < kSamples; ++i) {
        // A quiet sine of three steps: without dither its error would follow the signal.
        const float x = 3.0f / 32768.0f * std::sin(0.0123f * static_cast<float>(i));
        bool clipped = true;
        const int16_t q = quantise16(x, dither.next(), clipped);
        EXPECT_FALSE(clipped);
        error[static_cast<size_t>(i)] = static_cast<double>(q) - static_cast<double>(x) * 32768.0;
        ASSERT_LE(std::fabs(error[static_cast<size_t>(i)]), 1.5) << i;
        power += error[static_cast<size_t>(i)] * error[static_cast<size_t>(i)];
    }
    power /= kSamples;
    EXPECT_NEAR(power, 0.25, 0.01);  // rounding (1/12) and triangular dither (1/6)
    // A flat spectrum is an autocorrelation of nothing but the first lag.
    for (int lag = 1; lag <= 64; ++lag) {
        double sum = 0.0;
        for (int i = lag; i < kSamples; ++i)
            sum += error[static_cast<size_t>(i)] * error[static_cast<size_t>(i - lag)];
        EXPECT_LT(std::fabs(sum / (kSamples - lag) / power), 0.02) << "lag " << lag;
    }
    bool clipped = false;
    EXPECT_EQ(quantise16(1.5f, 0.0f, clipped), 32767);
    EXPECT_TRUE(clipped);
    EXPECT_EQ(quantise16(-1.0f, 0.0f, clipped), -32768);
    EXPECT_FALSE(clipped);
}

// The fake effect's output is its input times twice the Gain value: the output shows exactly
// which value was written when.
TEST_F(RenderTool, AutomationWritesRampsEveryThirtyTwoFramesAndStepsAtTheirPoints) {
    const std::string automate =
        fake() + " --automate Gain=0.1:0.2,0.3:0.8 --automate Invert=0.2:off,0.35:on";
    ASSERT_EQ(run(path("stereo.wav") + " " + path("a.wav") + automate + " --block 1000"), 0) << errors;
    ASSERT_EQ(run(path("stereo.wav") + " " + path("b.wav") + automate + " --block 64"), 0) << errors;
    EXPECT_EQ(fileBytes(folder / "a.wav"), fileBytes(folder / "b.wav"));
    const Audio in = readAudio(folder / "stereo.wav");
    const Audio out = readAudio(folder / "a.wav");
    const int64_t f0 = 4410, f1 = 13230, invertAt = 15435;
    for (int64_t f = 0; f < in.frames(); ++f) {
        // The last write at or before f: the first point's value before it, the last after.
        const int64_t written = f <= f0 ? f0 : f >= f1 ? f1 : std::max(f0, f - f % 32);
        const double t = static_cast<double>(written - f0) / static_cast<double>(f1 - f0);
        const auto value = static_cast<float>(0.2 + (0.8 - 0.2) * t);
        const float gain = value * 2.0f * (f >= invertAt ? -1.0f : 1.0f);
        for (int c = 0; c < 2; ++c) {
            const auto i = static_cast<size_t>(2 * f + c);
            ASSERT_NEAR(out.samples[i], in.samples[i] * gain, 1e-6f) << "frame " << f;
        }
    }
    // A program change lands on its frame: program "Loud" is gain 2, inverted.
    ASSERT_EQ(run(path("stereo.wav") + " " + path("p.wav") + fake() + " --program-at 0.25:Loud"), 0)
        << errors;
    const Audio switched = readAudio(folder / "p.wav");
    for (size_t i = 0; i < in.samples.size(); ++i)
        ASSERT_EQ(switched.samples[i], in.samples[i] * (i < 2 * 11025 ? 1.0f : -2.0f)) << i;
}

TEST_F(RenderTool, ManyFilesOnThreadsRenderToTheSameBytesAndAFailureSparesTheOthers) {
    writeAudio(folder / "one.wav", 44100, 2, 30000, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    writeAudio(folder / "two.aiff", 48000, 1, 20000, SF_FORMAT_AIFF | SF_FORMAT_PCM_24);
    { std::ofstream(folder / "broken.wav") << "no sound"; }
    const std::string inputs = " " + path("one.wav") + " " + path("broken.wav") + " " + path("two.aiff") +
                               " " + path("stereo.wav") + fake() + " --param 0=0.4";
    EXPECT_EQ(run("--out-dir " + path("j1") + " -j 1" + inputs), 1);
    EXPECT_NE(errors.find("broken.wav: cannot open"), std::string::npos) << errors;
    EXPECT_NE(output.find("3 of 4 files rendered"), std::string::npos) << output;
    EXPECT_EQ(run("--out-dir " + path("j3") + " -j 3" + inputs), 1);
    for (const char* leaf : {"one.wav", "two.aiff", "stereo.wav"}) {
        ASSERT_TRUE(fs::exists(folder / "j1" / leaf)) << leaf;
        EXPECT_EQ(fileBytes(folder / "j1" / leaf), fileBytes(folder / "j3" / leaf)) << leaf;
    }
    EXPECT_FALSE(fs::exists(folder / "j1" / "broken.wav"));
    // One instance per file: the same as rendering each alone, from a stream as well.
    ASSERT_EQ(run("- " + path("alone.wav") + fake() + " --param 0=0.4 < " + path("one.wav")), 0) << errors;
    EXPECT_EQ(fileBytes(folder / "alone.wav"), fileBytes(folder / "j1" / "one.wav"));
    // The same name twice would overwrite one render with another.
    fs::create_directory(folder / "again");
    writeAudio(folder / "again" / "one.wav", 44100, 2, 100, SF_FORMAT_WAV | SF_FORMAT_FLOAT);
    EXPECT_EQ(run("--out-dir " + path("j4") + " " + path("one.wav") + " " + path("again/one.wav") + fake()),
              2);
    EXPECT_NE(errors.find("would both be written"), std::string::npos) << errors;
}

// The flanger itself, once its module is built.
class RenderFlanger : public RenderTool {
protected:
    void SetUp() override {
        if (!fs::exists(FLANGER_MODULE_PATH)) GTEST_SKIP() << "the flanger module is not built";
        RenderTool::SetUp();
        writeAudio(folder / "long.wav", 44100, 2, 3 * 44100, SF_FORMAT_WAV | SF_FORMAT_PCM_24);
    }
    std::string flanger() const { return std::string(" --plugin '") + FLANGER_MODULE_PATH + "'"; }
};

TEST_F(RenderFlanger, ListsTheFactoryProgramsAndParameters) {
    ASSERT_EQ(run(std::string("--list") + flanger()), 0) << errors;
    for (const char* name : {"Feedback", "SyncBeat", "Mix", "Default", "Grand Prix", "Insect Ears"})
        EXPECT_NE(output.find(name), std::string::npos) << name << "\n" << output;
}

TEST_F(RenderFlanger, NonFiniteSamplesInAFloatFileLeaveTheOutputClean) {
    SF_INFO info{};
    info.samplerate = 8000;
    info.channels = 1;
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    std::vector<float> samples(8000);
    for (size_t i = 0; i < samples.size(); ++i) samples[i] = 0.5f * std::sin(0.05f * static_cast<float>(i));
    samples[100] = NAN;
    samples[101] = INFINITY;
    samples[102] = -INFINITY;
    SNDFILE* f = sf_open((folder / "bad.wav").c_str(), SFM_WRITE, &info);
    ASSERT_NE(f, nullptr);
    sf_writef_float(f, samples.data(), static_cast<sf_count_t>(samples.size()));
    sf_close(f);
    ASSERT_EQ(run(path("bad.wav") + " " + path("out.wav") + flanger()), 0) << errors;
    const Audio out = readAudio(folder / "out.wav");
    ASSERT_EQ(out.channels, 2);
    ASSERT_EQ(out.frames(), 8000);
    for (float s : out.samples) ASSERT_TRUE(std::isfinite(s));
}

TEST_F(RenderFlanger, IsDeterministicAndIndependentOfTheHostBlockSize) {
    const std::string in = path("long.wav");
    ASSERT_EQ(run(in + " " + path("a.wav") + flanger() + " --block 64"), 0) << errors;
    ASSERT_EQ(run(in + " " + path("b.wav") + flanger() + " --block 512"), 0) << errors;
    ASSERT_EQ(run(in + " " + path("c.wav") + flanger() + " --block 4096"), 0) << errors;
    ASSERT_EQ(run(in + " " + path("d.wav") + flanger() + " --block 512"), 0) << errors;
    EXPECT_EQ(fileBytes(folder / "b.wav"), fileBytes(folder / "d.wav"));
    EXPECT_EQ(fileBytes(folder / "a.wav"), fileBytes(folder / "b.wav"));
    EXPECT_EQ(fileBytes(folder / "a.wav"), fileBytes(folder / "c.wav"));
    // A peak chunk would stamp the time of writing, so renders a second apart would differ.
    const auto bytes = fileBytes(folder / "a.wav");
    const std::string header(bytes.begin(), bytes.begin() + std::min<std::size_t>(bytes.size(), 256));
    EXPECT_EQ(header.find("PEAK"), std::string::npos);
}

TEST_F(RenderFlanger, NoteNamesAreReadInAnyCaseAndSpacing) {
    const std::string in = path("long.wav") + flanger() + " --gain -6 --set Switch=on --set SyncBeat=";
    ASSERT_EQ(run(in + "1/8d " + path("a.wav")), 0) << errors;
    ASSERT_EQ(run(in + "'1/8 D' " + path("b.wav")), 0) << errors;
    ASSERT_EQ(run(in + "1/8 " + path("c.wav")), 0) << errors;
    EXPECT_EQ(errors, "") << "the flanger's own text entry needs no read-back";
    EXPECT_EQ(fileBytes(folder / "a.wav"), fileBytes(folder / "b.wav"));
    EXPECT_NE(fileBytes(folder / "a.wav"), fileBytes(folder / "c.wav"));
    EXPECT_EQ(run(in + "1/8x " + path("d.wav")), 2);
    EXPECT_NE(errors.find("SyncBeat cannot be \"1/8x\"; give it as --list shows it, e.g. \"1/1 beat\", from "
                          "1/1 beat to 1/32 D beat"),
              std::string::npos)
        << errors;
}

TEST_F(RenderFlanger, TextSettingsSurviveAProgramFileRoundTrip) {
    const std::string in = path("long.wav");
    ASSERT_EQ(run(in + " " + path("set.wav") + flanger() +
                  " --program Swirl --set Feedback=70 --set Switch=on --set 'SyncBeat=1/8 D' --tempo 133 "
                  "--save-fxp " +
                  path("p.fxp")),
              0)
        << errors;
    ASSERT_EQ(run(in + " " + path("loaded.wav") + flanger() + " --tempo 133 --load-fxp " + path("p.fxp")), 0)
        << errors;
    EXPECT_EQ(fileBytes(folder / "set.wav"), fileBytes(folder / "loaded.wav"));
    ASSERT_EQ(run(in + " " + path("swirl.wav") + flanger() + " --program Swirl --tempo 133"), 0) << errors;
    EXPECT_NE(fileBytes(folder / "set.wav"), fileBytes(folder / "swirl.wav"));
}

}  // namespace
