// Offline rendering through a loaded plug-in (StereoRender.h) plus the output file that only
// appears once it is complete. Shared by flanger-render and the demo.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "tools/common/TestHost.h"
#include "tools/render/StereoRender.h"

namespace flanger::tools {

// A failure with a line for the user.
class RenderError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A file written under a temporary name in the target's folder and renamed over the target by
// commit(); dropped without commit, the temporary is removed and the target left as it was.
// An existing device or pipe is written directly instead.
class PendingFile {
public:
    explicit PendingFile(std::string target);
    ~PendingFile();
    PendingFile(const PendingFile&) = delete;
    PendingFile& operator=(const PendingFile&) = delete;

    bool valid() const noexcept { return descriptor >= 0; }
    int fd() const noexcept { return descriptor; }
    // Takes the descriptor away (for libraries that close it themselves).
    int releaseDescriptor() noexcept;
    const std::string& temporaryPath() const noexcept { return temporary; }
    const std::string& error() const noexcept { return failure; }
    bool commit();

private:
    std::string target;
    std::string temporary;
    std::string failure;
    int descriptor = -1;
    bool committed = false;
    bool direct = false;  // an existing device or pipe, written into rather than replaced
};

// Writes all bytes atomically (through PendingFile). False and a message on failure.
bool writeFileAtomically(const std::string& path, const std::vector<uint8_t>& bytes, std::string* error);
bool readWholeFile(const std::string& path, std::vector<uint8_t>& bytes, std::string* error);

// A stereo 32-bit float WAV file (the format chunk other programs expect), written atomically.
bool writeStereoWav(const std::string& path, const std::vector<float>& left, const std::vector<float>& right,
                    int sampleRate, std::string* error);

// Default plug-in module: next to the build tree the executable lives in, else the path the
// build recorded.
std::string defaultPluginPath();

}  // namespace flanger::tools
