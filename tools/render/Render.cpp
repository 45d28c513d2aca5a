// Atomic output files, the stereo WAV writer and the default module path.
#include "tools/render/Render.h"

#include "tools/render/SoundOutput.h"

#include <fcntl.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#ifndef FLANGER_DEFAULT_PLUGIN
#define FLANGER_DEFAULT_PLUGIN "BrackwaterFlanger.so"
#endif

namespace flanger::tools {

PendingFile::PendingFile(std::string path) : target(std::move(path)) {
    // A device or pipe (/dev/null, /dev/full, a FIFO) is written into: a temporary renamed over
    // it would replace the device node itself, which root is allowed to do.
    struct stat existing {};
    if (::stat(target.c_str(), &existing) == 0 && !S_ISREG(existing.st_mode)) {
        if (S_ISDIR(existing.st_mode)) {
            failure = "cannot write " + target + ": it is a folder";
            return;
        }
        descriptor = ::open(target.c_str(), O_WRONLY | O_CLOEXEC);
        if (descriptor < 0) failure = "cannot write " + target + ": " + std::strerror(errno);
        direct = true;
        return;
    }
    const std::filesystem::path t(target);
    const std::filesystem::path folder = t.has_parent_path() ? t.parent_path() : std::filesystem::path(".");
    std::string leaf = ".";
    leaf += t.filename().string();
    leaf += ".partXXXXXX";
    const std::string pattern = (folder / leaf).string();
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    descriptor = mkstemp(name.data());
    if (descriptor < 0) {
        failure = "cannot create a file in " + folder.string() + ": " + std::strerror(errno);
        return;
    }
    temporary = name.data();
    // mkstemp makes the file private; give it the permissions an ordinary new file gets.
    const mode_t mask = umask(0);
    umask(mask);
    fchmod(descriptor, 0666 & ~mask);
}

PendingFile::~PendingFile() {
    if (descriptor >= 0) ::close(descriptor);
    if (!committed && !temporary.empty()) ::unlink(temporary.c_str());
}

int PendingFile::releaseDescriptor() noexcept {
    const int fdOut = descriptor;
    descriptor = -1;
    return fdOut;
}

bool PendingFile::commit() {
    if (direct) {
        if (descriptor >= 0 && ::close(descriptor) != 0) {
            descriptor = -1;
            failure = "cannot write " + target + ": " + std::strerror(errno);
            return false;
        }
        descriptor = -1;
        committed = true;
        return true;
    }
    if (temporary.empty()) return false;
    if (descriptor >= 0) {
        ::close(descriptor);
        descriptor = -1;
    }
    if (::rename(temporary.c_str(), target.c_str()) != 0) {
        failure = "cannot write " + target + ": " + std::strerror(errno);
        return false;
    }
    committed = true;
    return true;
}

bool writeFileAtomically(const std::string& path, const std::vector<uint8_t>& bytes, std::string* error) {
    PendingFile file(path);
    if (!file.valid()) {
        if (error) *error = file.error();
        return false;
    }
    size_t written = 0;
    while (written < bytes.size()) {
        const ssize_t n = ::write(file.fd(), bytes.data() + written, bytes.size() - written);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (error) *error = "cannot write " + path + ": " + std::strerror(errno);
            return false;
        }
        written += static_cast<size_t>(n);
    }
    if (!file.commit()) {
        if (error) *error = file.error();
        return false;
    }
    return true;
}

bool readWholeFile(const std::string& path, std::vector<uint8_t>& bytes, std::string* error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        if (error) *error = "cannot open " + path + ": " + std::strerror(errno);
        return false;
    }
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (in.bad()) {
        if (error) *error = "cannot read " + path;
        return false;
    }
    return true;
}

bool writeStereoWav(const std::string& path, const std::vector<float>& left, const std::vector<float>& right,
                    int sampleRate, std::string* error) {
    PendingFile file(path);
    if (!file.valid()) {
        if (error) *error = file.error();
        return false;
    }
    const size_t frames = std::min(left.size(), right.size());
    try {
        SoundWriter writer(file.releaseDescriptor(), path, SF_FORMAT_WAV | SF_FORMAT_FLOAT, sampleRate,
                           static_cast<int64_t>(frames), OutputStage{});
        std::vector<float> l(left.begin(), left.begin() + static_cast<std::ptrdiff_t>(frames));
        std::vector<float> r(right.begin(), right.begin() + static_cast<std::ptrdiff_t>(frames));
        writer.write(l.data(), r.data(), frames);
        writer.finish();
    } catch (const RenderError& e) {
        if (error) *error = e.what();
        return false;
    }
    if (!file.commit()) {
        if (error) *error = file.error();
        return false;
    }
    return true;
}

std::string defaultPluginPath() {
    std::error_code ec;
    const auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (!ec) {
        // Tools live two folders below the build tree's root, where the module is built.
        const auto candidate = self.parent_path().parent_path().parent_path() / "BrackwaterFlanger.so";
        if (std::filesystem::exists(candidate, ec)) return candidate.string();
    }
    return FLANGER_DEFAULT_PLUGIN;
}

}  // namespace flanger::tools
