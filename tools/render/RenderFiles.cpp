// Preset files applied to and taken from a plug-in; a sound file rendered block-wise into an
// atomically written output.
#include "tools/render/RenderFiles.h"

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

#include "tools/render/PresetFile.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

// The temporary outputs of the renders running now, so an interrupt removes them too. A slot is
// claimed, its path written, and only then marked for the handler, which reads marked slots,
// unlinks and exits (all async-signal-safe).
constexpr size_t kTemporarySlots = 256;
struct TemporarySlot {
    std::atomic<bool> claimed{false};
    std::atomic<bool> marked{false};
    char path[4096] = {};
};
TemporarySlot temporaries[kTemporarySlots];
static_assert(std::atomic<bool>::is_always_lock_free);

extern "C" void removeTemporariesAndExit(int signal) {
    for (TemporarySlot& slot : temporaries) {
        if (slot.marked.load(std::memory_order_acquire)) unlink(slot.path);
    }
    _exit(128 + signal);
}

// Holds a slot while a render runs; the handlers are installed while any is held.
class TemporaryGuard {
public:
    explicit TemporaryGuard(const std::string& path) {
        {
            const std::lock_guard<std::mutex> lock(installing);
            if (holders++ == 0) install(removeTemporariesAndExit);
        }
        if (path.empty() || path.size() >= sizeof temporaries[0].path) return;
        for (TemporarySlot& s : temporaries) {
            if (s.claimed.exchange(true)) continue;
            std::memcpy(s.path, path.c_str(), path.size() + 1);
            s.marked.store(true, std::memory_order_release);
            slot = &s;
            break;
        }
    }
    ~TemporaryGuard() {
        if (slot != nullptr) {
            slot->marked.store(false, std::memory_order_release);
            slot->claimed.store(false);
        }
        const std::lock_guard<std::mutex> lock(installing);
        if (--holders == 0) install(SIG_DFL);
    }
    TemporaryGuard(const TemporaryGuard&) = delete;
    TemporaryGuard& operator=(const TemporaryGuard&) = delete;

private:
    static void install(void (*handler)(int)) {
        struct sigaction action {};
        action.sa_handler = handler;
        sigemptyset(&action.sa_mask);
        for (int s : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) sigaction(s, &action, nullptr);
    }
    static inline std::mutex installing;
    static inline int holders = 0;
    TemporarySlot* slot = nullptr;
};

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
        size_t i = 0;
#if defined(__SSE2__)
        // Four frames at a time: the same values (16-bit ones widened, converted and scaled exactly).
        for (; i + 4 <= frames; i += 4) {
            __m128 first;
            __m128 second;
            if constexpr (std::is_same_v<Sample, float>) {
                first = _mm_loadu_ps(interleaved + 2 * i);
                second = _mm_loadu_ps(interleaved + 2 * i + 4);
            } else {
                const __m128i pairs = _mm_loadu_si128(reinterpret_cast<const __m128i*>(interleaved + 2 * i));
                const __m128 scale = _mm_set1_ps(1.0f / 32768.0f);
                first =
                    _mm_mul_ps(_mm_cvtepi32_ps(_mm_srai_epi32(_mm_unpacklo_epi16(pairs, pairs), 16)), scale);
                second =
                    _mm_mul_ps(_mm_cvtepi32_ps(_mm_srai_epi32(_mm_unpackhi_epi16(pairs, pairs), 16)), scale);
            }
            _mm_storeu_ps(left + i, _mm_shuffle_ps(first, second, _MM_SHUFFLE(2, 0, 2, 0)));
            _mm_storeu_ps(right + i, _mm_shuffle_ps(first, second, _MM_SHUFFLE(3, 1, 3, 1)));
        }
#endif
        for (; i < frames; ++i) {
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
    const bool stream = input == "-";
    if (!stream && sameFile(input, output)) fail("refusing to write " + output + ": it is the input file");
    sound.reset(stream ? sf_open_fd(STDIN_FILENO, SFM_READ, &info, SF_FALSE)
                       : sf_open(input.c_str(), SFM_READ, &info));
    if (stream) input = "standard input";
    if (sound == nullptr) {
        const std::string reason = sf_strerror(nullptr);
        // The library's words for a header that gives no sample rate.
        if (reason.find("SF_INFO struct incomplete") != std::string::npos)
            fail("cannot open " + input + ": its header gives no sample rate (0 Hz)");
        fail("cannot open " + input + ": " + reason);
    }
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

RenderResult FileRender::run(PluginInstance& plugin, const RenderJob& job) {
    PendingFile pending(output);
    if (!pending.valid()) fail(pending.error());
    const TemporaryGuard guard(pending.temporaryPath());
    const int64_t totalFrames = info.frames + job.tailFrames;
    SoundWriter writer(pending.releaseDescriptor(), output, job.format, info.samplerate, totalFrames,
                       job.stage);

    const auto chunk = static_cast<size_t>(std::max(job.hostBlock, 16384));
    // 16-bit files are read as integers and scaled in the split: the library's conversion to
    // float is a slower loop over the same values.
    const bool sixteenBit = (info.format & SF_FORMAT_SUBMASK) == SF_FORMAT_PCM_16;
    std::vector<float> interleaved(sixteenBit ? 0 : chunk * static_cast<size_t>(info.channels));
    std::vector<short> interleavedShorts(sixteenBit ? chunk * static_cast<size_t>(info.channels) : 0);
    std::vector<float> left(chunk), right(chunk), outLeft(chunk), outRight(chunk);
    StereoRenderer renderer(plugin, job.hostBlock);
    Timeline none;
    Timeline& timeline = job.timeline != nullptr ? *job.timeline : none;

    const auto started = std::chrono::steady_clock::now();
    timeline.apply(plugin, 0);
    plugin.resume();
    preroll(plugin);
    int64_t done = 0;
    bool inputEnded = false;
    int64_t tailLeft = job.tailFrames;
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
        // Cut where the timeline writes, so each write lands on its frame whatever the block.
        for (size_t at = 0; at < n;) {
            const int64_t frame = done + static_cast<int64_t>(at);
            if (timeline.due() == frame) timeline.apply(plugin, frame);
            const size_t end =
                static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(n), timeline.due() - done));
            // left and right are refilled for the next chunk: the plug-in may read them in place.
            renderer.processConsuming(left.data() + at, right.data() + at, outLeft.data() + at,
                                      outRight.data() + at, static_cast<int64_t>(end - at));
            at = end;
        }
        writer.write(outLeft.data(), outRight.data(), n);
        done += static_cast<int64_t>(n);
        if (job.progress) job.progress->update(done, totalFrames);
    }
    plugin.suspend();
    RenderResult result;
    result.frames = done;
    result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    result.levels = writer.levels();
    if (job.progress) job.progress->finish();

    writer.finish();
    if (!pending.commit()) fail(pending.error());
    return result;
}

}  // namespace flanger::tools
