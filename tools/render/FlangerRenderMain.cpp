// flanger-render: renders audio files through a VST 2.x effect (the flanger by default), with
// programs, text settings, automation and .fxp/.fxb presets; one file, or many on every core.
#include <sndfile.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "tools/render/Render.h"
#include "tools/render/RenderFiles.h"

namespace {

using namespace flanger::tools;
namespace vst = flanger::vst;
namespace fs = std::filesystem;

// A failure the user can act on; main prints it and exits with its code (2: the command line
// asked for something that cannot be done, 1: the render failed).
struct Failure {
    std::string message;
    int exitCode = 1;
};

[[noreturn]] void fail(const std::string& message, int exitCode = 1) {
    throw Failure{message, exitCode};
}

// NAME=VALUE, as --set, --param and --automate take it.
struct Assignment {
    std::string name;
    std::string value;
};

struct Setting {
    bool byText = true;  // --set NAME=TEXT, else --param INDEX=NORMALISED
    Assignment assignment;
    int32_t index = -1;
    float normalised = 0.0f;
};

struct AutomationPoint {
    double seconds = 0.0;
    std::string text;  // in the parameter's display units
};

struct Automation {
    std::string name;
    std::vector<AutomationPoint> points;
};

struct ProgramAt {
    double seconds = 0.0;
    std::string program;
};

struct Options {
    bool list = false;
    std::vector<std::string> inputs;
    std::string output;
    std::string outDir;
    std::string format;  // extension for --out-dir outputs
    unsigned jobs = 0;   // 0: one per core
    std::string program;
    std::vector<Setting> settings;
    std::vector<Automation> automations;
    std::vector<ProgramAt> programChanges;
    std::optional<double> tempo;
    int32_t block = 512;
    double tailSeconds = 0.0;
    double gainDb = 0.0;
    SampleRequest samples = SampleRequest::FollowInput;
    bool dither = true;
    std::string plugin;
    bool ownModule = true;  // the flanger: it refuses text it cannot read, so no read-back is echoed
    std::string loadFxp, loadFxb, saveFxp, saveFxb;
};

const char* kUsage =
    "usage: flanger-render IN OUT [options]\n"
    "       flanger-render --out-dir DIR IN... [options]\n"
    "       flanger-render --list [--plugin PATH]\n"
    "\n"
    "Renders IN through the effect into OUT (WAV, FLAC or AIFF, from OUT's extension). IN may be\n"
    "- for a stream on standard input (WAV, AIFF, AU or raw formats the library reads as a stream).\n"
    "\n"
    "Settings (applied in this order: bank, program, program file, --set/--param):\n"
    "  --program N|NAME         factory or bank program (default: the plug-in's current, 0)\n"
    "  --set NAME=TEXT          a parameter as --list shows it: Feedback=70, SyncBeat=1/8d, Switch=on\n"
    "  --param INDEX=VALUE      a parameter's normalised value, 0 to 1\n"
    "  --load-fxp FILE          a program file; --load-fxb FILE a bank file (default: none)\n"
    "  --save-fxp FILE          saves the program after the render; --save-fxb FILE the bank\n"
    "  --tempo BPM              host tempo, 0 to 999 (default 120)\n"
    "Over time (seconds from the start of IN; values as --set takes them):\n"
    "  --automate NAME=T:V,...  ramps NAME linearly through the points, written every 32 frames;\n"
    "                           stepped parameters jump at each point (repeatable; default none)\n"
    "  --program-at T:N|NAME    switches program at T seconds (repeatable; default none)\n"
    "Output:\n"
    "  --bits 16|24|32          integer samples (default: the input's sample format)\n"
    "  --float                  32-bit float samples (WAV and AIFF only)\n"
    "  --gain DB                gain after the effect, -100 to 40 dB (default 0)\n"
    "  --no-dither              no TPDF dither on 16-bit output (default: dither)\n"
    "  --tail SECONDS           silence rendered after IN ends, 0 to 3600 (default 0)\n"
    "  --block N                frames per process call, 1 to 65536 (default 512)\n"
    "Many files:\n"
    "  --out-dir DIR            renders every IN to DIR/NAME (DIR is made if missing)\n"
    "  --format EXT             wav, flac or aiff for --out-dir outputs (default: IN's extension)\n"
    "  -j N                     files rendered at once, 1 to 256 (default: one per core)\n"
    "Other:\n"
    "  --plugin PATH            a VST 2.x module (default: the flanger built beside this tool)\n"
    "  --list                   parameters with their ranges, and programs\n"
    "  -h, --help               this text\n"
    "\n"
    "examples:\n"
    "  flanger-render in.wav out.wav --program \"Grand Prix\" --set Feedback=70 --bits 24\n"
    "  flanger-render --out-dir flanged -j 2 --automate Mix=0:0,10:100 --format flac takes/*.wav\n";

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

Assignment readAssignment(const std::string& option, const std::string& text) {
    const size_t eq = text.find('=');
    if (eq == std::string::npos || eq == 0) fail(option + " expects NAME=VALUE, got \"" + text + "\"", 2);
    return {text.substr(0, eq), text.substr(eq + 1)};
}

double readSeconds(const std::string& option, const std::string& text) {
    double seconds = 0.0;
    if (!parseNumber(text, seconds) || seconds < 0.0 || seconds > 86400.0)
        fail(option + " expects a time from 0 to 86400 seconds, got \"" + text + "\"", 2);
    return seconds;
}

Automation readAutomation(const std::string& text) {
    const Assignment a = readAssignment("--automate", text);
    Automation automation{a.name, {}};
    size_t from = 0;
    while (from <= a.value.size()) {
        const size_t comma = std::min(a.value.find(',', from), a.value.size());
        const std::string point = a.value.substr(from, comma - from);
        const size_t colon = point.find(':');
        if (colon == std::string::npos)
            fail(
                "--automate expects NAME=TIME:VALUE,TIME:VALUE..., got \"" + point + "\" in \"" + text + "\"",
                2);
        const double seconds = readSeconds("--automate", point.substr(0, colon));
        if (!automation.points.empty() && seconds < automation.points.back().seconds)
            fail("--automate " + a.name + ": the times must not go back (" + point + ")", 2);
        automation.points.push_back({seconds, point.substr(colon + 1)});
        from = comma + 1;
    }
    return automation;
}

Options parseArguments(int argc, char** argv) {
    Options o;
    std::vector<std::string> positional;
    bool bitsGiven = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc) fail(arg + " needs a value (see --help)", 2);
            return argv[++i];
        };
        auto number = [&](double low, double high, const char* what) {
            double v = 0.0;
            const std::string text = value();
            if (!parseNumber(text, v) || v < low || v > high)
                fail(arg + " expects " + what + ", got \"" + text + "\"", 2);
            return v;
        };
        if (arg == "--list") {
            o.list = true;
        } else if (arg == "--program") {
            o.program = value();
        } else if (arg == "--set" || arg == "--param") {
            Setting s;
            s.byText = arg == "--set";
            s.assignment = readAssignment(arg, value());
            if (!s.byText) {
                long index = 0;
                double normalised = 0.0;
                if (!parseInteger(s.assignment.name, index) || index < 0 || index > INT32_MAX)
                    fail("--param expects a parameter index, got \"" + s.assignment.name + "\"", 2);
                if (!parseNumber(s.assignment.value, normalised) || normalised < 0.0 || normalised > 1.0)
                    fail("--param value must be a number from 0 to 1, got \"" + s.assignment.value + "\"", 2);
                s.index = static_cast<int32_t>(index);
                s.normalised = static_cast<float>(normalised);
            }
            o.settings.push_back(s);
        } else if (arg == "--automate") {
            o.automations.push_back(readAutomation(value()));
        } else if (arg == "--program-at") {
            const std::string v = value();
            const size_t colon = v.find(':');
            if (colon == std::string::npos || colon + 1 == v.size())
                fail("--program-at expects TIME:PROGRAM, got \"" + v + "\"", 2);
            o.programChanges.push_back(
                {readSeconds("--program-at", v.substr(0, colon)), v.substr(colon + 1)});
        } else if (arg == "--tempo") {
            o.tempo = number(0.0, 999.0, "a BPM from 0 to 999");
        } else if (arg == "--block") {
            const double frames = number(1, 65536, "1 to 65536 frames");
            if (frames != std::floor(frames)) fail("--block expects a whole number of frames", 2);
            o.block = static_cast<int32_t>(frames);
        } else if (arg == "--tail") {
            o.tailSeconds = number(0.0, 3600.0, "0 to 3600 seconds");
        } else if (arg == "--gain") {
            o.gainDb = number(-100.0, 40.0, "decibels from -100 to 40");
        } else if (arg == "--bits") {
            const std::string v = value();
            if (bitsGiven) fail("give --bits or --float once", 2);
            bitsGiven = true;
            if (v == "16")
                o.samples = SampleRequest::Pcm16;
            else if (v == "24")
                o.samples = SampleRequest::Pcm24;
            else if (v == "32")
                o.samples = SampleRequest::Pcm32;
            else
                fail("--bits expects 16, 24 or 32, got \"" + v + "\" (--float for float samples)", 2);
        } else if (arg == "--float") {
            if (bitsGiven) fail("give --bits or --float once", 2);
            bitsGiven = true;
            o.samples = SampleRequest::Float;
        } else if (arg == "--no-dither") {
            o.dither = false;
        } else if (arg == "--out-dir") {
            o.outDir = value();
        } else if (arg == "--format") {
            o.format = value();
            if (containerOf("x." + o.format) == 0)
                fail("--format expects wav, flac or aiff, got \"" + o.format + "\"", 2);
        } else if (arg == "-j" || arg == "--jobs") {
            const std::string v = value();
            long n = 0;
            if (!parseInteger(v, n) || n < 1 || n > 256)
                fail(arg + " expects 1 to 256 files at once, got \"" + v + "\"", 2);
            o.jobs = static_cast<unsigned>(n);
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
            fail("unknown option " + arg + " (see --help)", 2);
        } else {
            positional.push_back(arg);
        }
    }
    if (!o.loadFxp.empty() && !o.loadFxb.empty()) fail("give --load-fxp or --load-fxb, not both", 2);
    if (!o.saveFxp.empty() && !o.saveFxb.empty()) fail("give --save-fxp or --save-fxb, not both", 2);
    if (o.list) {
        if (!positional.empty()) fail("--list takes no files", 2);
    } else if (!o.outDir.empty()) {
        if (positional.empty()) fail("--out-dir needs at least one input file (see --help)", 2);
        if (std::find(positional.begin(), positional.end(), "-") != positional.end())
            fail("standard input (-) is read only as the one input of IN OUT", 2);
        if (!o.saveFxp.empty() || !o.saveFxb.empty())
            fail("--save-fxp and --save-fxb take one render, not --out-dir", 2);
        o.inputs = positional;
    } else {
        if (positional.size() != 2) fail("expected IN and OUT (see --help)", 2);
        if (!o.format.empty()) fail("--format is for --out-dir; OUT's extension gives its format", 2);
        o.inputs = {positional[0]};
        o.output = positional[1];
    }
    const std::string own = defaultPluginPath();
    if (o.plugin.empty()) o.plugin = own;
    std::error_code error;
    o.ownModule = o.plugin == own || fs::equivalent(o.plugin, own, error);
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

// "value unit", without a trailing space when the parameter has no unit.
std::string withUnit(const std::string& value, const std::string& unit) {
    return unit.empty() ? value : value + " " + unit;
}

struct ParameterView {
    std::string display, low, high, unit;
};

// What --list shows of a parameter; its value is left as it was.
ParameterView viewParameter(PluginInstance& plugin, int32_t i) {
    ParameterView view;
    const float now = plugin.parameter(i);
    view.display = plugin.parameterDisplay(i);
    view.unit = plugin.parameterLabel(i);
    plugin.setParameter(i, 0.0f);
    view.low = plugin.parameterDisplay(i);
    plugin.setParameter(i, 1.0f);
    view.high = plugin.parameterDisplay(i);
    plugin.setParameter(i, now);
    return view;
}

void listPlugin(const Options& o) {
    auto plugin = loadPlugin(o.plugin, 44100.0f, o.block);
    prepareForRender(*plugin, 44100.0f, o.block);
    std::printf("%s: %d in, %d out, %d parameters, %d programs\n", o.plugin.c_str(), plugin->inputCount(),
                plugin->outputCount(), plugin->parameterCount(), plugin->programCount());
    std::printf("parameters (index, name, value, range, unit):\n");
    for (int32_t i = 0; i < plugin->parameterCount(); ++i) {
        const ParameterView v = viewParameter(*plugin, i);
        std::printf("  %3d %-12s %-8s [%s .. %s] %s  (normalised %.4f)\n", i,
                    plugin->parameterName(i).c_str(), v.display.c_str(), v.low.c_str(), v.high.c_str(),
                    v.unit.c_str(), static_cast<double>(plugin->parameter(i)));
    }
    std::printf("programs:\n");
    for (int32_t i = 0; i < plugin->programCount(); ++i)
        std::printf("  %3d %s\n", i, plugin->programNameAt(i).c_str());
}

int32_t programIndex(PluginInstance& plugin, const std::string& which) {
    long index = -1;
    if (parseInteger(which, index)) {
        if (index < 0 || index >= plugin.programCount())
            fail("no program " + which + " (the plug-in has " + std::to_string(plugin.programCount()) + ")",
                 2);
    } else {
        index = plugin.findProgram(which);
        if (index < 0) fail("unknown program \"" + which + "\" (see --list)", 2);
    }
    return static_cast<int32_t>(index);
}

int32_t parameterIndex(PluginInstance& plugin, const std::string& name) {
    const int32_t index = plugin.findParameter(name);
    if (index < 0) fail("unknown parameter \"" + name + "\" (see --list)", 2);
    return index;
}

// Sets a parameter from its text, or exits 2 saying what the plug-in reads.
void setFromText(PluginInstance& plugin, int32_t index, const std::string& option, const std::string& text) {
    const ParameterView before = viewParameter(plugin, index);
    if (plugin.setParameterText(index, text)) return;
    fail(option + ": " + plugin.parameterName(index) + " cannot be \"" + text +
             "\"; give it as --list shows it, e.g. \"" + withUnit(before.display, before.unit) + "\", from " +
             withUnit(before.low, before.unit) + " to " + withUnit(before.high, before.unit),
         2);
}

// Stepped, for automation: what the plug-in shows takes few values across its range (a switch,
// a note menu, a whole multiple), so moving it between points would only sweep through neighbours.
bool looksStepped(PluginInstance& plugin, int32_t index) {
    const float now = plugin.parameter(index);
    std::set<std::string> shown;
    constexpr int kProbes = 129;
    for (int p = 0; p < kProbes; ++p) {
        plugin.setParameter(index, static_cast<float>(p) / (kProbes - 1));
        shown.insert(plugin.parameterDisplay(index));
    }
    plugin.setParameter(index, now);
    return shown.size() <= 32;
}

void applySettings(PluginInstance& plugin, const Options& o, bool echo) {
    for (const Setting& s : o.settings) {
        if (s.byText) {
            const int32_t index = parameterIndex(plugin, s.assignment.name);
            setFromText(plugin, index, "--set", s.assignment.value);
            // Another plug-in may take text it does not understand (as 0, or as no change):
            // show what it became so a typo does not pass unnoticed.
            if (echo)
                std::fprintf(stderr, "flanger-render: %s = %s (from \"%s\")\n",
                             plugin.parameterName(index).c_str(),
                             withUnit(plugin.parameterDisplay(index), plugin.parameterLabel(index)).c_str(),
                             s.assignment.value.c_str());
        } else {
            if (s.index >= plugin.parameterCount())
                fail("no parameter " + std::to_string(s.index) + " (the plug-in has " +
                         std::to_string(plugin.parameterCount()) + ")",
                     2);
            plugin.setParameter(s.index, s.normalised);
        }
    }
}

Timeline buildTimeline(PluginInstance& plugin, const Options& o, int sampleRate) {
    Timeline timeline;
    auto frameOf = [sampleRate](double seconds) {
        return static_cast<int64_t>(std::llround(seconds * sampleRate));
    };
    for (const ProgramAt& p : o.programChanges)
        timeline.addProgramChange(frameOf(p.seconds), programIndex(plugin, p.program));
    for (const Automation& a : o.automations) {
        const int32_t index = parameterIndex(plugin, a.name);
        const float now = plugin.parameter(index);
        std::vector<Timeline::Point> points;
        for (const AutomationPoint& p : a.points) {
            setFromText(plugin, index, "--automate", p.text);
            points.push_back({frameOf(p.seconds), plugin.parameter(index)});
        }
        plugin.setParameter(index, now);
        timeline.addLane(index, looksStepped(plugin, index), std::move(points));
    }
    return timeline;
}

// Loads and sets up one instance for a render at this rate.
struct Configured {
    std::unique_ptr<PluginInstance> plugin;
    Timeline timeline;
};

Configured configure(const Options& o, int sampleRate, bool echo) {
    const auto rate = static_cast<float>(sampleRate);
    Configured c;
    c.plugin = loadPlugin(o.plugin, rate, o.block);
    PluginInstance& plugin = *c.plugin;
    plugin.answers().setTempo(o.tempo.value_or(120.0));
    plugin.answers().setTimeFlags(vst::kVstTempoValid | vst::kVstTransportPlaying);
    prepareForRender(plugin, rate, o.block);
    if (!o.loadFxb.empty()) loadBankFile(plugin, o.loadFxb);
    if (!o.program.empty()) plugin.setProgram(programIndex(plugin, o.program));
    if (!o.loadFxp.empty()) loadProgramFile(plugin, o.loadFxp);
    applySettings(plugin, o, echo);
    c.timeline = buildTimeline(plugin, o, sampleRate);
    return c;
}

// A bar on stderr when it is a terminal.
class Progress : public RenderProgress {
public:
    Progress() : shown(isatty(STDERR_FILENO) == 1) {}
    void update(int64_t done, int64_t total) override {
        if (!shown || total <= 0) return;
        const int percent = static_cast<int>(std::min<int64_t>(done * 100 / total, 100));
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

std::string describeFormat(int format) {
    const char* container = (format & SF_FORMAT_TYPEMASK) == SF_FORMAT_FLAC   ? "FLAC"
                            : (format & SF_FORMAT_TYPEMASK) == SF_FORMAT_AIFF ? "AIFF"
                                                                              : "WAV";
    switch (format & SF_FORMAT_SUBMASK) {
        case SF_FORMAT_PCM_16:
            return std::string("16-bit ") + container;
        case SF_FORMAT_PCM_24:
            return std::string("24-bit ") + container;
        case SF_FORMAT_PCM_32:
            return std::string("32-bit ") + container;
        case SF_FORMAT_FLOAT:
            return std::string("float ") + container;
        case SF_FORMAT_DOUBLE:
            return std::string("double ") + container;
        default:
            return container;
    }
}

std::mutex printing;

void tell(const std::string& line) {
    const std::lock_guard<std::mutex> lock(printing);
    std::fprintf(stderr, "flanger-render: %s\n", line.c_str());
}

struct FileDone {
    int64_t frames = 0;
    int sampleRate = 0;
    double seconds = 0.0;
};

// Renders one file; loading and setting up are serialised (modules may not expect two threads
// in their entry at once), the rendering itself is not.
FileDone renderFile(const Options& o, const std::string& input, const std::string& output, bool batch) {
    static std::mutex loading;
    FileRender job(input, output);
    const int container = containerOf(output);
    if (container == 0)
        fail("cannot tell the output format from \"" + output + "\" (use .wav, .flac or .aiff)", 2);
    const FormatChoice choice = chooseOutputFormat(container, job.inputFormat(), o.samples);
    if (choice.format == 0) fail(choice.note, 2);
    const std::string prefix = batch ? output + ": " : "";
    if (!choice.note.empty()) tell(prefix + choice.note);

    std::unique_lock<std::mutex> lock(loading);
    Configured c = configure(o, job.sampleRate(), !o.ownModule && !batch);
    const std::string programName = c.plugin->programName();
    lock.unlock();

    Progress progress;
    RenderJob render;
    render.format = choice.format;
    render.stage.gainDb = o.gainDb;
    render.stage.dither = o.dither;
    render.hostBlock = o.block;
    render.tailFrames = static_cast<int64_t>(std::llround(o.tailSeconds * job.sampleRate()));
    render.timeline = &c.timeline;
    render.progress = batch ? nullptr : &progress;
    const RenderResult result = job.run(*c.plugin, render);
    // Presets are saved once the audio is safely written, so a failed render leaves no files.
    if (!o.saveFxp.empty()) saveProgramFile(*c.plugin, o.saveFxp);
    if (!o.saveFxb.empty()) saveBankFile(*c.plugin, o.saveFxb);
    c.plugin->close();

    if (result.levels.clipped > 0) {
        char line[160];
        std::snprintf(line, sizeof line, "%lld samples clipped, peak %+.1f dBFS; lower --gain or use --float",
                      static_cast<long long>(result.levels.clipped),
                      20.0 * std::log10(static_cast<double>(result.levels.peak)));
        tell(prefix + line);
    }
    const double audioSeconds = static_cast<double>(result.frames) / job.sampleRate();
    const double speed = result.seconds > 0.0 ? audioSeconds / result.seconds : 0.0;
    {
        const std::lock_guard<std::mutex> print(printing);
        std::printf(
            "flanger-render: %s -> %s: %lld frames (%.2f s at %d Hz, %s in), %s, program \"%s\", %.3f s, "
            "%.1fx real time\n",
            job.inputName().c_str(), output.c_str(), static_cast<long long>(result.frames), audioSeconds,
            job.sampleRate(), job.channels() == 1 ? "mono" : "stereo", describeFormat(choice.format).c_str(),
            programName.c_str(), result.seconds, speed);
        std::fflush(stdout);
    }
    return {result.frames, job.sampleRate(), result.seconds};
}

// A preset path is tried before the render, so a render is not spent on a file that cannot be saved.
void checkWritable(const std::string& path) {
    if (path.empty()) return;
    PendingFile probe(path);
    if (!probe.valid()) fail(probe.error(), 2);
}

std::string outputIn(const Options& o, const std::string& input) {
    fs::path leaf = fs::path(input).filename();
    if (!o.format.empty()) leaf.replace_extension(o.format);
    return (fs::path(o.outDir) / leaf).string();
}

int renderBatch(const Options& o) {
    std::error_code error;
    fs::create_directories(o.outDir, error);
    if (!fs::is_directory(o.outDir))
        fail("cannot make the folder " + o.outDir + (error ? ": " + error.message() : ""), 2);
    std::map<std::string, std::string> outputs;  // output -> input
    for (const std::string& input : o.inputs) {
        const std::string output = outputIn(o, input);
        if (containerOf(output) == 0)
            fail("cannot tell the output format of " + input + " (use --format wav, flac or aiff)", 2);
        const auto [at, fresh] = outputs.emplace(output, input);
        if (!fresh) fail(at->second + " and " + input + " would both be written to " + output, 2);
    }
    {
        // The settings are the same for every file: a typo is refused once, before anything runs.
        Configured check = configure(o, 44100, !o.ownModule);
        check.plugin->close();
    }
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    const unsigned workers =
        std::min<unsigned>(o.jobs ? o.jobs : cores, static_cast<unsigned>(o.inputs.size()));
    std::atomic<size_t> next{0};
    std::atomic<int> failed{0};
    std::atomic<int64_t> audioMilliseconds{0};
    const auto started = std::chrono::steady_clock::now();
    auto work = [&] {
        for (size_t i; (i = next.fetch_add(1)) < o.inputs.size();) {
            const std::string& input = o.inputs[i];
            try {
                const FileDone d = renderFile(o, input, outputIn(o, input), true);
                audioMilliseconds +=
                    static_cast<int64_t>(1000.0 * static_cast<double>(d.frames) / d.sampleRate);
            } catch (const Failure& f) {
                tell(input + ": " + f.message);
                ++failed;
            } catch (const std::exception& e) {
                tell(input + ": " + e.what());
                ++failed;
            }
        }
    };
    std::vector<std::thread> threads;
    for (unsigned t = 1; t < workers; ++t) threads.emplace_back(work);
    work();
    for (std::thread& t : threads) t.join();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    const double audio = static_cast<double>(audioMilliseconds.load()) / 1000.0;
    std::printf(
        "flanger-render: %zu of %zu files rendered into %s (%.1f s of audio) in %.2f s with %u at once, "
        "%.1fx "
        "real time%s\n",
        o.inputs.size() - static_cast<size_t>(failed.load()), o.inputs.size(), o.outDir.c_str(), audio,
        seconds, workers, seconds > 0.0 ? audio / seconds : 0.0, failed.load() > 0 ? "; failures above" : "");
    return failed.load() > 0 ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        const Options o = parseArguments(argc, argv);
        if (o.list) {
            listPlugin(o);
            return 0;
        }
        if (!o.outDir.empty()) return renderBatch(o);
        checkWritable(o.saveFxp);
        checkWritable(o.saveFxb);
        renderFile(o, o.inputs.front(), o.output, false);
        return 0;
    } catch (const Failure& f) {
        std::fprintf(stderr, "flanger-render: %s\n", f.message.c_str());
        return f.exitCode;
    } catch (const std::exception& e) {  // RenderError from the library among them
        std::fprintf(stderr, "flanger-render: %s\n", e.what());
        return 1;
    }
}
