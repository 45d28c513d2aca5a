// What flanger-render does with files, apart from its command line: preset files into and out of
// a loaded plug-in, and one sound file rendered into another that appears only when complete.
// Failures throw RenderError with a line for the user.
#pragma once

#include <sndfile.h>

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>

#include "tools/render/Automation.h"
#include "tools/render/Render.h"
#include "tools/render/SoundOutput.h"

namespace flanger::tools {

// .fxp and .fxb files. Loading refuses files of another plug-in (by id) and of the other kind;
// values from a file are clamped to [0, 1], non-finite ones become 0. A bank of values loads
// program by program; a bank of format version 2 also selects its current program.
void loadProgramFile(PluginInstance& plugin, const std::string& path);
void loadBankFile(PluginInstance& plugin, const std::string& path);
// A chunk when the plug-in keeps chunks, else its parameter values; written atomically.
void saveProgramFile(PluginInstance& plugin, const std::string& path);
void saveBankFile(PluginInstance& plugin, const std::string& path);

// Told how far a render has come.
class RenderProgress {
public:
    virtual ~RenderProgress() = default;
    virtual void update(int64_t doneFrames, int64_t totalFrames) = 0;
    // The audio is rendered; the output file is completed after this.
    virtual void finish() = 0;
};

struct RenderJob {
    int format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;  // SF_FORMAT_* of the output, stereo
    OutputStage stage;
    int32_t hostBlock = 512;
    int64_t tailFrames = 0;
    Timeline* timeline = nullptr;  // writes during the render, from frame 0 of the input
    RenderProgress* progress = nullptr;
};

struct RenderResult {
    int64_t frames = 0;    // input frames and tail
    double seconds = 0.0;  // wall-clock time from resume to suspend
    OutputLevels levels;
};

// One input sound file rendered into one output file.
class FileRender {
public:
    // Opens the input ("-" reads a stream from standard input) and refuses what cannot be
    // rendered: an output that is the input itself, no frames, a truncated data chunk, more than
    // two channels, a rate outside the tools' range.
    FileRender(std::string inputPath, std::string outputPath);

    int sampleRate() const noexcept { return info.samplerate; }
    int channels() const noexcept { return info.channels; }
    int64_t inputFrames() const noexcept { return info.frames; }
    int inputFormat() const noexcept { return info.format; }  // SF_FORMAT_* of the input
    const std::string& inputName() const noexcept { return input; }

    // Applies the timeline's writes due at frame 0, resumes the prepared plug-in, prerolls it,
    // feeds it the input (a mono file on both sides) and then the tail of silence in calls of
    // at most hostBlock frames (cut where the timeline writes), and suspends it. The output is
    // written under a temporary name renamed over outputPath at the end; until then SIGINT,
    // SIGTERM, SIGHUP and SIGPIPE remove the temporary and end the process. Call once; renders
    // of different files may run on different threads at once.
    RenderResult run(PluginInstance& plugin, const RenderJob& job);

private:
    struct Closer {
        void operator()(SNDFILE* sound) const noexcept { sf_close(sound); }
    };

    std::string input;
    std::string output;
    SF_INFO info{};
    std::unique_ptr<SNDFILE, Closer> sound;
};

}  // namespace flanger::tools
