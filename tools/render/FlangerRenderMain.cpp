// flanger-render: renders audio files through a VST 2.x effect (the flanger by default),
// with programs, text settings and .fxp/.fxb presets; what a user runs without a host.
#include <signal.h>
#include <sndfile.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <type_traits>
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

class Progress {
public:
    explicit Progress(int64_t totalFrames) : total(totalFrames), shown(isatty(STDERR_FILENO) == 1) {}
    void update(int64_t done) {
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
    void finish() {
        if (shown && last >= 0) std::fputs("\r\033[K", stderr);
    }

private:
    int64_t total;
    bool shown;
    int last = -1;
};

// The temporary output while a render runs, so an interrupt removes it too. Written before the
// handlers can see it; the handler only unlinks and exits (both async-signal-safe).
char interruptedTemporary[4096] = {};

extern "C" void removeTemporaryAndExit(int signal) {
    if (interruptedTemporary[0] != '\0') unlink(interruptedTemporary);
    _exit(128 + signal);
}

void removeTemporaryOnInterrupt(const std::string& path) {
    if (path.size() >= sizeof interruptedTemporary) return;
    std::memcpy(interruptedTemporary, path.c_str(), path.size() + 1);
    struct sigaction action {};
    action.sa_handler = removeTemporaryAndExit;
    sigemptyset(&action.sa_mask);
    for (int s : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) sigaction(s, &action, nullptr);
}

void forgetTemporary() {
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    for (int s : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) sigaction(s, &action, nullptr);
    interruptedTemporary[0] = '\0';
}

// Splits interleaved frames into the two channels (a mono file feeds both). 16-bit samples
// become s / 32768, exactly the library's own float reading of them (every such value is a float).
template <typename Sample>
void deinterleave(const Sample* interleaved, int channels, size_t frames, float* left, float* right) {
    auto value = [](Sample s) {
        if constexpr (std::is_same_v<Sample, float>)
            return s;
        else
            return static_cast<float>(s) * (1.0f / 32768.0f);
    };
    if (channels == 2) {
        for (size_t i = 0; i < frames; ++i) {
            left[i] = value(interleaved[2 * i]);
            right[i] = value(interleaved[2 * i + 1]);
        }
    } else {
        for (size_t i = 0; i < frames; ++i) left[i] = right[i] = value(interleaved[i]);
    }
}

struct SoundFile {
    SNDFILE* handle = nullptr;
    ~SoundFile() {
        if (handle) sf_close(handle);
    }
};

// A file cut short keeps the length its header announced; the reader reports how much is
// really there, and a render of half a file must not pass for a render of the whole.
bool dataChunkTruncated(SNDFILE* sound) {
    char log[8192] = {};
    sf_command(sound, SFC_GET_LOG_INFO, log, sizeof log);
    for (const char* line = log; line != nullptr && *line != 0;) {
        const char* end = std::strchr(line, '\n');
        const std::string text(line, end != nullptr ? static_cast<size_t>(end - line) : std::strlen(line));
        if (text.rfind("data", 0) == 0 && text.find("should be") != std::string::npos) return true;
        line = end != nullptr ? end + 1 : nullptr;
    }
    return false;
}

// Rendering onto the input would replace the user's file with its own flanged copy.
bool sameFile(const std::string& a, const std::string& b) {
    std::error_code error;
    return std::filesystem::exists(b, error) && std::filesystem::equivalent(a, b, error);
}

int render(const Options& o) {
    if (sameFile(o.input, o.output)) fail("refusing to write " + o.output + ": it is the input file");
    SF_INFO inInfo{};
    SoundFile in;
    in.handle = sf_open(o.input.c_str(), SFM_READ, &inInfo);
    if (in.handle == nullptr) fail("cannot open " + o.input + ": " + sf_strerror(nullptr));
    if (inInfo.frames <= 0) fail(o.input + " holds no audio frames");
    if (dataChunkTruncated(in.handle))
        fail(o.input + " is truncated: its audio data ends before its header says");
    if (inInfo.channels < 1 || inInfo.channels > 2)
        fail(o.input + " has " + std::to_string(inInfo.channels) +
             " channels; only mono and stereo are rendered");
    if (inInfo.samplerate < kMinimumSampleRate || inInfo.samplerate > kMaximumSampleRate)
        fail(o.input + ": unsupported sample rate " + std::to_string(inInfo.samplerate) + " Hz (supported " +
             std::to_string(kMinimumSampleRate) + " to " + std::to_string(kMaximumSampleRate) + " Hz)");
    const int format = outputFormat(o.output, inInfo.format, 2, inInfo.samplerate);

    const auto rate = static_cast<float>(inInfo.samplerate);
    auto plugin = loadPlugin(o.plugin, rate, o.block);
    plugin->answers().setTempo(o.tempo.value_or(120.0));
    plugin->answers().setTimeFlags(vst::kVstTempoValid | vst::kVstTransportPlaying);
    prepareForRender(*plugin, rate, o.block);
    if (!o.loadFxb.empty()) loadBankFile(*plugin, o.loadFxb);
    if (!o.program.empty()) selectProgram(*plugin, o.program);
    if (!o.loadFxp.empty()) loadProgramFile(*plugin, o.loadFxp);
    applySettings(*plugin, o.settings);
    const std::string programName = plugin->programName();

    PendingFile pending(o.output);
    if (!pending.valid()) fail(pending.error());
    removeTemporaryOnInterrupt(pending.temporaryPath());
    SF_INFO outInfo{};
    outInfo.samplerate = inInfo.samplerate;
    outInfo.channels = 2;
    outInfo.format = format;
    SoundFile out;
    out.handle = sf_open_fd(pending.releaseDescriptor(), SFM_WRITE, &outInfo, SF_TRUE);
    if (out.handle == nullptr) fail("cannot write " + o.output + ": " + sf_strerror(nullptr));
    // Integer formats clip at full scale instead of wrapping; float WAV keeps overs.
    sf_command(out.handle, SFC_SET_CLIPPING, nullptr, SF_TRUE);
    // The library's peak chunk carries the time of writing: without it the same render gives
    // the same bytes, which users and tests compare.
    sf_command(out.handle, SFC_SET_ADD_PEAK_CHUNK, nullptr, SF_FALSE);

    const auto tailFrames = static_cast<int64_t>(std::llround(o.tailSeconds * inInfo.samplerate));
    const int64_t totalFrames = inInfo.frames + tailFrames;
    const auto chunk = static_cast<size_t>(std::max(o.block, 16384));
    // 16-bit files are read as integers and scaled in the split: the library's conversion to
    // float is a slower loop over the same values.
    const bool sixteenBit = (inInfo.format & SF_FORMAT_SUBMASK) == SF_FORMAT_PCM_16;
    std::vector<float> interleaved(sixteenBit ? 0 : chunk * static_cast<size_t>(inInfo.channels));
    std::vector<short> interleavedShorts(sixteenBit ? chunk * static_cast<size_t>(inInfo.channels) : 0);
    std::vector<float> left(chunk), right(chunk), outLeft(chunk), outRight(chunk), outInterleaved(chunk * 2);
    StereoRenderer renderer(*plugin, o.block);
    Progress progress(totalFrames);

    const auto started = std::chrono::steady_clock::now();
    plugin->resume();
    preroll(*plugin);
    int64_t done = 0;
    bool inputEnded = false;
    int64_t tailLeft = tailFrames;
    while (true) {
        size_t n = 0;
        if (!inputEnded) {
            const sf_count_t got =
                sixteenBit
                    ? sf_readf_short(in.handle, interleavedShorts.data(), static_cast<sf_count_t>(chunk))
                    : sf_readf_float(in.handle, interleaved.data(), static_cast<sf_count_t>(chunk));
            if (got < 0) fail("cannot read " + o.input);
            n = static_cast<size_t>(got);
            if (n == 0) inputEnded = true;
            if (sixteenBit)
                deinterleave(interleavedShorts.data(), inInfo.channels, n, left.data(), right.data());
            else
                deinterleave(interleaved.data(), inInfo.channels, n, left.data(), right.data());
        }
        if (inputEnded) {
            n = static_cast<size_t>(std::min<int64_t>(tailLeft, static_cast<int64_t>(chunk)));
            if (n == 0) break;
            std::fill(left.begin(), left.begin() + static_cast<std::ptrdiff_t>(n), 0.0f);
            std::fill(right.begin(), right.begin() + static_cast<std::ptrdiff_t>(n), 0.0f);
            tailLeft -= static_cast<int64_t>(n);
        }
        // left and right are refilled for the next chunk: the plug-in may read them in place.
        renderer.processConsuming(left.data(), right.data(), outLeft.data(), outRight.data(),
                                  static_cast<int64_t>(n));
        for (size_t i = 0; i < n; ++i) {
            outInterleaved[2 * i] = outLeft[i];
            outInterleaved[2 * i + 1] = outRight[i];
        }
        if (sf_writef_float(out.handle, outInterleaved.data(), static_cast<sf_count_t>(n)) !=
            static_cast<sf_count_t>(n))
            fail("cannot write " + o.output + ": " + sf_strerror(out.handle));
        done += static_cast<int64_t>(n);
        progress.update(done);
    }
    plugin->suspend();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    progress.finish();

    const int closed = sf_close(out.handle);
    out.handle = nullptr;
    if (closed != 0) fail("cannot finish " + o.output);
    const bool committed = pending.commit();
    forgetTemporary();
    if (!committed) fail(pending.error());
    // Presets are saved once the audio is safely written, so a failed render leaves no files.
    if (!o.saveFxp.empty()) saveProgramFile(*plugin, o.saveFxp);
    if (!o.saveFxb.empty()) saveBankFile(*plugin, o.saveFxb);
    plugin->close();

    const double audioSeconds = static_cast<double>(done) / inInfo.samplerate;
    std::printf(
        "flanger-render: %s -> %s: %lld frames (%.2f s at %d Hz, %s in), program \"%s\", %.3f s, %.1fx real "
        "time\n",
        o.input.c_str(), o.output.c_str(), static_cast<long long>(done), audioSeconds, inInfo.samplerate,
        inInfo.channels == 1 ? "mono" : "stereo", programName.c_str(), seconds,
        seconds > 0.0 ? audioSeconds / seconds : 0.0);
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
