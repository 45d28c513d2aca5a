// Preset files applied to and taken from a plug-in; a sound file rendered block-wise into an
// atomically written output.
#include "tools/render/RenderFiles.h"

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

#include "tools/render/PresetFile.h"

namespace flanger::tools {

namespace {

[[noreturn]] void fail(const std::string& message) {
    throw RenderError(message);
}

PresetFile readPreset(const std::string& path, const PluginInstance& plugin) {
    std::vector<uint8_t> bytes;
    std::string error;
    if (!readWholeFile(path, bytes, &error)) fail(error);
    auto parsed = parsePresetFile(bytes);
    if (const auto* e = std::get_if<PresetError>(&parsed)) fail(path + ": " + e->message);
    PresetFile preset = std::get<PresetFile>(std::move(parsed));
    if (preset.pluginId != plugin.record()->uniqueID)
        fail(path + ": the preset belongs to another plug-in (id differs)");
    return preset;
}

void applyValues(PluginInstance& plugin, const ProgramValues& program) {
    const auto count = std::min<size_t>(program.values.size(), static_cast<size_t>(plugin.parameterCount()));
    for (size_t i = 0; i < count; ++i) {
        // Values from a file: only what a host may send reaches the plug-in.
        const float v = program.values[i];
        plugin.setParameter(static_cast<int32_t>(i), std::isfinite(v) ? std::clamp(v, 0.0f, 1.0f) : 0.0f);
    }
    plugin.setProgramName(program.name);
}

ProgramValues currentValues(PluginInstance& plugin) {
    ProgramValues program;
    program.name = plugin.programName();
    for (int32_t i = 0; i < plugin.parameterCount(); ++i) program.values.push_back(plugin.parameter(i));
    return program;
}

void savePreset(PluginInstance& plugin, const std::string& path, bool bank) {
    PresetFile preset;
    preset.pluginId = plugin.record()->uniqueID;
    preset.pluginVersion = plugin.record()->version;
    preset.name = plugin.programName();
    const bool chunks = plugin.hasFlag(vst::effFlagsProgramChunks);
    if (bank) {
        preset.programCount = plugin.programCount();
        preset.currentProgram = plugin.program();
        if (chunks) {
            preset.kind = PresetKind::BankChunk;
            preset.chunk = plugin.chunk(false);
        } else {
            preset.kind = PresetKind::BankValues;
            const int32_t current = plugin.program();
            for (int32_t p = 0; p < plugin.programCount(); ++p) {
                plugin.setProgram(p);
                preset.programs.push_back(currentValues(plugin));
            }
            plugin.setProgram(current);
        }
    } else {
        preset.programCount = 1;
        if (chunks) {
            preset.kind = PresetKind::ProgramChunk;
            preset.chunk = plugin.chunk(true);
        } else {
            preset.kind = PresetKind::ProgramValues;
            preset.programs.push_back(currentValues(plugin));
        }
    }
    if (chunks && preset.chunk.empty()) fail("the plug-in gave no chunk to save");
    std::string error;
    if (!writeFileAtomically(path, serializePresetFile(preset), &error)) fail(error);
}

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

}  // namespace

void loadProgramFile(PluginInstance& plugin, const std::string& path) {
    const PresetFile preset = readPreset(path, plugin);
    if (preset.isBank()) fail(path + ": this is a bank; use --load-fxb");
    if (preset.hasChunk()) {
        if (!plugin.hasFlag(vst::effFlagsProgramChunks)) fail(path + ": the plug-in does not take chunks");
        plugin.setChunk(preset.chunk, true);
    } else {
        applyValues(plugin, preset.programs.front());
    }
}

void loadBankFile(PluginInstance& plugin, const std::string& path) {
    const PresetFile preset = readPreset(path, plugin);
    if (!preset.isBank()) fail(path + ": this is a single program; use --load-fxp");
    if (preset.hasChunk()) {
        if (!plugin.hasFlag(vst::effFlagsProgramChunks)) fail(path + ": the plug-in does not take chunks");
        plugin.setChunk(preset.chunk, false);
    } else {
        if (preset.programs.size() > static_cast<size_t>(plugin.programCount()))
            fail(path + ": the bank holds more programs than the plug-in has");
        for (size_t p = 0; p < preset.programs.size(); ++p) {
            plugin.setProgram(static_cast<int32_t>(p));
            applyValues(plugin, preset.programs[p]);
        }
    }
    if (preset.formatVersion >= 2 && preset.currentProgram >= 0 &&
        preset.currentProgram < plugin.programCount())
        plugin.setProgram(preset.currentProgram);
}

void saveProgramFile(PluginInstance& plugin, const std::string& path) {
    savePreset(plugin, path, false);
}

void saveBankFile(PluginInstance& plugin, const std::string& path) {
    savePreset(plugin, path, true);
}

FileRender::FileRender(std::string inputPath, std::string outputPath)
    : input(std::move(inputPath)), output(std::move(outputPath)) {
    if (sameFile(input, output)) fail("refusing to write " + output + ": it is the input file");
    sound.reset(sf_open(input.c_str(), SFM_READ, &info));
    if (sound == nullptr) fail("cannot open " + input + ": " + sf_strerror(nullptr));
    if (info.frames <= 0) fail(input + " holds no audio frames");
    if (dataChunkTruncated(sound.get()))
        fail(input + " is truncated: its audio data ends before its header says");
    if (info.channels < 1 || info.channels > 2)
        fail(input + " has " + std::to_string(info.channels) +
             " channels; only mono and stereo are rendered");
    if (info.samplerate < kMinimumSampleRate || info.samplerate > kMaximumSampleRate)
        fail(input + ": unsupported sample rate " + std::to_string(info.samplerate) + " Hz (supported " +
             std::to_string(kMinimumSampleRate) + " to " + std::to_string(kMaximumSampleRate) + " Hz)");
}

RenderResult FileRender::run(PluginInstance& plugin, int format, int32_t hostBlock, int64_t tailFrames,
                             RenderProgress* progress) {
    PendingFile pending(output);
    if (!pending.valid()) fail(pending.error());
    removeTemporaryOnInterrupt(pending.temporaryPath());
    SF_INFO outInfo{};
    outInfo.samplerate = info.samplerate;
    outInfo.channels = 2;
    outInfo.format = format;
    std::unique_ptr<SNDFILE, Closer> out(
        sf_open_fd(pending.releaseDescriptor(), SFM_WRITE, &outInfo, SF_TRUE));
    if (out == nullptr) fail("cannot write " + output + ": " + sf_strerror(nullptr));
    // Integer formats clip at full scale instead of wrapping; float WAV keeps overs.
    sf_command(out.get(), SFC_SET_CLIPPING, nullptr, SF_TRUE);
    // The library's peak chunk carries the time of writing: without it the same render gives
    // the same bytes, which users and tests compare.
    sf_command(out.get(), SFC_SET_ADD_PEAK_CHUNK, nullptr, SF_FALSE);

    const int64_t totalFrames = info.frames + tailFrames;
    const auto chunk = static_cast<size_t>(std::max(hostBlock, 16384));
    // 16-bit files are read as integers and scaled in the split: the library's conversion to
    // float is a slower loop over the same values.
    const bool sixteenBit = (info.format & SF_FORMAT_SUBMASK) == SF_FORMAT_PCM_16;
    std::vector<float> interleaved(sixteenBit ? 0 : chunk * static_cast<size_t>(info.channels));
    std::vector<short> interleavedShorts(sixteenBit ? chunk * static_cast<size_t>(info.channels) : 0);
    std::vector<float> left(chunk), right(chunk), outLeft(chunk), outRight(chunk), outInterleaved(chunk * 2);
    StereoRenderer renderer(plugin, hostBlock);

    const auto started = std::chrono::steady_clock::now();
    plugin.resume();
    preroll(plugin);
    int64_t done = 0;
    bool inputEnded = false;
    int64_t tailLeft = tailFrames;
    while (true) {
        size_t n = 0;
        if (!inputEnded) {
            const sf_count_t got =
                sixteenBit
                    ? sf_readf_short(sound.get(), interleavedShorts.data(), static_cast<sf_count_t>(chunk))
                    : sf_readf_float(sound.get(), interleaved.data(), static_cast<sf_count_t>(chunk));
            if (got < 0) fail("cannot read " + input);
            n = static_cast<size_t>(got);
            if (n == 0) inputEnded = true;
            if (sixteenBit)
                deinterleave(interleavedShorts.data(), info.channels, n, left.data(), right.data());
            else
                deinterleave(interleaved.data(), info.channels, n, left.data(), right.data());
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
        if (sf_writef_float(out.get(), outInterleaved.data(), static_cast<sf_count_t>(n)) !=
            static_cast<sf_count_t>(n))
            fail("cannot write " + output + ": " + sf_strerror(out.get()));
        done += static_cast<int64_t>(n);
        if (progress) progress->update(done, totalFrames);
    }
    plugin.suspend();
    RenderResult result;
    result.frames = done;
    result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    if (progress) progress->finish();

    if (sf_close(out.release()) != 0) fail("cannot finish " + output);
    const bool committed = pending.commit();
    forgetTemporary();
    if (!committed) fail(pending.error());
    return result;
}

}  // namespace flanger::tools
