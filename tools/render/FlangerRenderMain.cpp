// flanger-render: renders audio files through a VST 2.x effect (the flanger by default),
// with programs, text settings and .fxp/.fxb presets; what a user runs without a host.
#include <sndfile.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "tools/render/Render.h"
#include "tools/render/RenderFiles.h"

namespace {

using namespace flanger::tools;
namespace vst = flanger::vst;

struct Setting {
    bool byText = true;  // --set NAME=TEXT, else --param INDEX=NORMALISED
    std::string name;
    std::string text;
    int32_t index = -1;
    float normalised = 0.0f;
};

struct Options {
    bool list = false;
    std::string input;
    std::string output;
    std::string program;
    std::vector<Setting> settings;
    std::optional<double> tempo;
    int32_t block = 512;
    double tailSeconds = 0.0;
    std::string plugin;
    std::string loadFxp, loadFxb, saveFxp, saveFxb;
};

// A failure the user can act on; main prints it and exits non-zero.
struct Failure {
    std::string message;
    int exitCode = 1;
};

[[noreturn]] void fail(const std::string& message, int exitCode = 1) {
    throw Failure{message, exitCode};
}

const char* kUsage =
    "usage: flanger-render IN OUT [--program N|NAME] [--set NAME=TEXT]... [--param INDEX=NORMALISED]...\n"
    "                     [--tempo BPM] [--block N] [--tail SECONDS] [--plugin PATH]\n"
    "                     [--load-fxp FILE | --load-fxb FILE] [--save-fxp FILE | --save-fxb FILE]\n"
    "       flanger-render --list [--plugin PATH]\n"
    "Output format follows OUT's extension: .wav is 32-bit float, .flac/.aiff keep the input's sample "
    "format.\n";

bool parseNumber(const std::string& text, double& value) {
    if (text.empty()) return false;
    char* end = nullptr;
    errno = 0;
    value = std::strtod(text.c_str(), &end);
    return errno == 0 && end != nullptr && *end == '\0' && std::isfinite(value);
}

bool parseInteger(const std::string& text, long& value) {
    if (text.empty()) return false;
    char* end = nullptr;
    errno = 0;
    value = std::strtol(text.c_str(), &end, 10);
    return errno == 0 && end != nullptr && *end == '\0';
}

Options parseArguments(int argc, char** argv) {
    Options o;
    std::vector<std::string> positional;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc) fail(arg + " needs a value\n" + kUsage, 2);
            return argv[++i];
        };
        if (arg == "--list") {
            o.list = true;
        } else if (arg == "--program") {
            o.program = value();
        } else if (arg == "--set" || arg == "--param") {
            const std::string v = value();
            const size_t eq = v.find('=');
            if (eq == std::string::npos || eq == 0) fail(arg + " expects NAME=VALUE, got \"" + v + "\"", 2);
            Setting s;
            s.byText = arg == "--set";
            s.name = v.substr(0, eq);
            s.text = v.substr(eq + 1);
            if (!s.byText) {
                long index = 0;
                double normalised = 0.0;
                if (!parseInteger(s.name, index) || index < 0 || index > INT32_MAX)
                    fail("--param expects a parameter index, got \"" + s.name + "\"", 2);
                if (!parseNumber(s.text, normalised) || normalised < 0.0 || normalised > 1.0)
                    fail("--param value must be a number from 0 to 1, got \"" + s.text + "\"", 2);
                s.index = static_cast<int32_t>(index);
                s.normalised = static_cast<float>(normalised);
            }
            o.settings.push_back(s);
        } else if (arg == "--tempo") {
            double bpm = 0.0;
            const std::string v = value();
            if (!parseNumber(v, bpm) || bpm <= 0.0 || bpm > 999.0)
                fail("--tempo expects a BPM from 0 to 999, got \"" + v + "\"", 2);
            o.tempo = bpm;
        } else if (arg == "--block") {
            long n = 0;
            const std::string v = value();
            if (!parseInteger(v, n) || n < 1 || n > 65536)
                fail("--block expects 1 to 65536 frames, got \"" + v + "\"", 2);
            o.block = static_cast<int32_t>(n);
        } else if (arg == "--tail") {
            double s = 0.0;
            const std::string v = value();
            if (!parseNumber(v, s) || s < 0.0 || s > 3600.0)
                fail("--tail expects 0 to 3600 seconds, got \"" + v + "\"", 2);
            o.tailSeconds = s;
        } else if (arg == "--plugin") {
            o.plugin = value();
        } else if (arg == "--load-fxp") {
            o.loadFxp = value();
        } else if (arg == "--load-fxb") {
            o.loadFxb = value();
        } else if (arg == "--save-fxp") {
            o.saveFxp = value();
        } else if (arg == "--save-fxb") {
            o.saveFxb = value();
        } else if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            std::exit(0);
        } else if (arg.size() > 1 && arg[0] == '-') {
            fail("unknown option " + arg + "\n" + kUsage, 2);
        } else {
            positional.push_back(arg);
        }
    }
    if (!o.loadFxp.empty() && !o.loadFxb.empty()) fail("give --load-fxp or --load-fxb, not both", 2);
    if (!o.saveFxp.empty() && !o.saveFxb.empty()) fail("give --save-fxp or --save-fxb, not both", 2);
    if (o.list) {
        if (!positional.empty()) fail("--list takes no files", 2);
    } else {
        if (positional.size() != 2) fail(std::string("expected IN and OUT\n") + kUsage, 2);
        o.input = positional[0];
        o.output = positional[1];
    }
    if (o.plugin.empty()) o.plugin = defaultPluginPath();
    return o;
}

std::unique_ptr<PluginInstance> loadPlugin(const std::string& path, float rate, int32_t block) {
    HostOptions options;
    options.sampleRate = rate;
    options.blockSize = std::max(block, kAnnouncedBlockSize);
    std::string error;
    auto plugin = PluginInstance::load(path, options, &error);
    if (!plugin) fail("the plug-in does not load: " + error);
    if (plugin->inputCount() < 1 || plugin->outputCount() < 1)
        fail(path + " is not an effect with audio inputs and outputs (" +
             std::to_string(plugin->inputCount()) + " in, " + std::to_string(plugin->outputCount()) +
             " out)");
    return plugin;
}

void listPlugin(const Options& o) {
    auto plugin = loadPlugin(o.plugin, 44100.0f, o.block);
    prepareForRender(*plugin, 44100.0f, o.block);
    std::printf("%s: %d in, %d out, %d parameters, %d programs\n", o.plugin.c_str(), plugin->inputCount(),
                plugin->outputCount(), plugin->parameterCount(), plugin->programCount());
    std::printf("parameters (index, name, value, range, unit):\n");
    for (int32_t i = 0; i < plugin->parameterCount(); ++i) {
        const float now = plugin->parameter(i);
        const std::string display = plugin->parameterDisplay(i);
        plugin->setParameter(i, 0.0f);
        const std::string low = plugin->parameterDisplay(i);
        plugin->setParameter(i, 1.0f);
        const std::string high = plugin->parameterDisplay(i);
        plugin->setParameter(i, now);
        std::printf("  %3d %-12s %-8s [%s .. %s] %s  (normalised %.4f)\n", i,
                    plugin->parameterName(i).c_str(), display.c_str(), low.c_str(), high.c_str(),
                    plugin->parameterLabel(i).c_str(), static_cast<double>(now));
    }
    std::printf("programs:\n");
    for (int32_t i = 0; i < plugin->programCount(); ++i)
        std::printf("  %3d %s\n", i, plugin->programNameAt(i).c_str());
}

void selectProgram(PluginInstance& plugin, const std::string& which) {
    long index = -1;
    if (parseInteger(which, index)) {
        if (index < 0 || index >= plugin.programCount())
            fail("no program " + which + " (the plug-in has " + std::to_string(plugin.programCount()) + ")");
    } else {
        index = plugin.findProgram(which);
        if (index < 0) fail("unknown program \"" + which + "\" (see --list)");
    }
    plugin.setProgram(static_cast<int32_t>(index));
}

void applySettings(PluginInstance& plugin, const std::vector<Setting>& settings) {
    for (const Setting& s : settings) {
        if (s.byText) {
            const int32_t index = plugin.findParameter(s.name);
            if (index < 0) fail("unknown parameter \"" + s.name + "\" (see --list)");
            if (!plugin.setParameterText(index, s.text))
                fail("the plug-in refused the text \"" + s.text + "\" for " + s.name);
            // Plug-ins may accept text they do not understand (as 0, or as no change): show what it
            // became so a typo does not pass unnoticed.
            std::fprintf(stderr, "flanger-render: %s = %s %s (from \"%s\")\n",
                         plugin.parameterName(index).c_str(), plugin.parameterDisplay(index).c_str(),
                         plugin.parameterLabel(index).c_str(), s.text.c_str());
        } else {
            if (s.index >= plugin.parameterCount())
                fail("no parameter " + std::to_string(s.index) + " (the plug-in has " +
                     std::to_string(plugin.parameterCount()) + ")");
            plugin.setParameter(s.index, s.normalised);
        }
    }
}

// The output's container from its extension; WAV is always 32-bit float, the others keep the
// input's sample format when they can hold it.
int outputFormat(const std::string& path, int inputFormat, int channels, int rate) {
    const size_t dot = path.find_last_of('.');
    std::string extension = dot == std::string::npos ? "" : path.substr(dot + 1);
    for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    int major = 0;
    if (extension == "wav" || extension == "wave") return SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    if (extension == "flac")
        major = SF_FORMAT_FLAC;
    else if (extension == "aif" || extension == "aiff")
        major = SF_FORMAT_AIFF;
    else
        fail("cannot tell the output format from \"" + path + "\" (use .wav, .flac or .aiff)", 2);
    SF_INFO check{};
    check.channels = channels;
    check.samplerate = rate;
    check.format = major | (inputFormat & SF_FORMAT_SUBMASK);
    if (sf_format_check(&check)) return check.format;
    return major | SF_FORMAT_PCM_24;
}

// A bar on stderr when it is a terminal.
class Progress : public RenderProgress {
public:
    Progress() : shown(isatty(STDERR_FILENO) == 1) {}
    void update(int64_t done, int64_t total) override {
        if (!shown || total <= 0) return;
        const int percent = static_cast<int>(done * 100 / total);
        if (percent == last) return;
        last = percent;
        const int width = 40;
        const int filled = percent * width / 100;
        std::fprintf(stderr, "\r[%.*s%*s] %3d%%", filled, "########################################",
                     width - filled, "", percent);
        std::fflush(stderr);
    }
    void finish() override {
        if (shown && last >= 0) std::fputs("\r\033[K", stderr);
    }

private:
    bool shown;
    int last = -1;
};

int render(const Options& o) {
    FileRender job(o.input, o.output);
    const int format = outputFormat(o.output, job.inputFormat(), 2, job.sampleRate());

    const auto rate = static_cast<float>(job.sampleRate());
    auto plugin = loadPlugin(o.plugin, rate, o.block);
    plugin->answers().setTempo(o.tempo.value_or(120.0));
    plugin->answers().setTimeFlags(vst::kVstTempoValid | vst::kVstTransportPlaying);
    prepareForRender(*plugin, rate, o.block);
    if (!o.loadFxb.empty()) loadBankFile(*plugin, o.loadFxb);
    if (!o.program.empty()) selectProgram(*plugin, o.program);
    if (!o.loadFxp.empty()) loadProgramFile(*plugin, o.loadFxp);
    applySettings(*plugin, o.settings);
    const std::string programName = plugin->programName();

    const auto tailFrames = static_cast<int64_t>(std::llround(o.tailSeconds * job.sampleRate()));
    Progress progress;
    const RenderResult result = job.run(*plugin, format, o.block, tailFrames, &progress);
    // Presets are saved once the audio is safely written, so a failed render leaves no files.
    if (!o.saveFxp.empty()) saveProgramFile(*plugin, o.saveFxp);
    if (!o.saveFxb.empty()) saveBankFile(*plugin, o.saveFxb);
    plugin->close();

    const double audioSeconds = static_cast<double>(result.frames) / job.sampleRate();
    std::printf(
        "flanger-render: %s -> %s: %lld frames (%.2f s at %d Hz, %s in), program \"%s\", %.3f s, %.1fx real "
        "time\n",
        o.input.c_str(), o.output.c_str(), static_cast<long long>(result.frames), audioSeconds,
        job.sampleRate(), job.channels() == 1 ? "mono" : "stereo", programName.c_str(), result.seconds,
        result.seconds > 0.0 ? audioSeconds / result.seconds : 0.0);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        const Options o = parseArguments(argc, argv);
        if (o.list) {
            listPlugin(o);
            return 0;
        }
        return render(o);
    } catch (const Failure& f) {
        std::fprintf(stderr, "flanger-render: %s\n", f.message.c_str());
        return f.exitCode;
    } catch (const std::exception& e) {  // RenderError from the library among them
        std::fprintf(stderr, "flanger-render: %s\n", e.what());
        return 1;
    }
}
