// The user settings file: found by the XDG base directory rules or in the roaming application
// data, read whole within a bound, replaced through a temporary file in its folder and a rename.
#include "platform/UserSettings.h"

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>
#include <vector>

#ifdef _WIN32
#include <io.h>
#include <process.h>
#else
#include <pwd.h>
#include <sys/types.h>
#include <unistd.h>
#endif

namespace flanger::platform {
namespace {

namespace fs = std::filesystem;

// The first line names the program and the format's version: any other file there is not ours.
constexpr std::string_view kHeader = "BrackwaterFlanger settings 1";
constexpr std::string_view kSizeKey = "size";
constexpr int kMinScale = 100;
constexpr int kMaxScale = 400;
// A few lines are all we write; anything much larger was put there by something else.
constexpr std::size_t kMaxFileBytes = 64 * 1024;

#ifdef _WIN32
fs::path settingsFolder() {
    // The wide environment, so a user name outside the ANSI code page still finds its folder.
    const wchar_t* appData = _wgetenv(L"APPDATA");
    if (appData == nullptr || *appData == L'\0') return {};
    const fs::path base(appData);
    return base.is_absolute() ? base / L"BrackwaterFlanger" : fs::path();
}

std::FILE* openFile(const fs::path& path, bool forWriting) noexcept {
    return _wfopen(path.c_str(), forWriting ? L"wb" : L"rb");
}

void keepPrivate(const fs::path& /*folder*/) noexcept {}

bool flushToDisk(std::FILE* file) noexcept {
    return std::fflush(file) == 0 && _commit(_fileno(file)) == 0;
}

long processId() noexcept {
    return static_cast<long>(_getpid());
}

std::string utf8Of(const fs::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}
#else
// The home folder when $HOME does not name one: the user's entry in the password database.
std::string passwordHome() {
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) != 0 || found == nullptr ||
        found->pw_dir == nullptr || found->pw_dir[0] != '/')
        return {};
    return found->pw_dir;
}

fs::path settingsFolder() {
    // The XDG rules: a relative $XDG_CONFIG_HOME is invalid and ignored like an empty one.
    const char* configHome = std::getenv("XDG_CONFIG_HOME");
    if (configHome != nullptr && configHome[0] == '/') return fs::path(configHome) / "BrackwaterFlanger";
    const char* home = std::getenv("HOME");
    const std::string homeFolder = home != nullptr && home[0] == '/' ? std::string(home) : passwordHome();
    if (homeFolder.empty()) return {};
    return fs::path(homeFolder) / ".config" / "BrackwaterFlanger";
}

std::FILE* openFile(const fs::path& path, bool forWriting) noexcept {
    return std::fopen(path.c_str(), forWriting ? "wb" : "rb");
}

// The XDG rules: a folder made for the user's settings is the user's alone.
void keepPrivate(const fs::path& folder) noexcept {
    std::error_code error;
    fs::permissions(folder, fs::perms::owner_all, fs::perm_options::replace, error);
}

bool flushToDisk(std::FILE* file) noexcept {
    return std::fflush(file) == 0 && fsync(fileno(file)) == 0;
}

long processId() noexcept {
    return static_cast<long>(getpid());
}

std::string utf8Of(const fs::path& path) {
    return path.string();
}
#endif

fs::path settingsFile() {
    const fs::path folder = settingsFolder();
    return folder.empty() ? fs::path() : folder / "settings";
}

// The whole file; false when it is missing, unreadable or too large to be ours.
bool readWhole(const fs::path& path, std::string& out) {
    std::FILE* file = openFile(path, false);
    // On Windows a file being renamed over by another instance refuses to open for a moment.
    std::error_code error;
    for (int attempt = 0; file == nullptr && attempt < 5 && fs::exists(path, error); ++attempt) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        file = openFile(path, false);
    }
    if (file == nullptr) return false;
    char chunk[4096];
    bool fits = true;
    for (std::size_t got; fits && (got = std::fread(chunk, 1, sizeof chunk, file)) > 0;) {
        out.append(chunk, got);
        fits = out.size() <= kMaxFileBytes;
    }
    const bool read = fits && std::ferror(file) == 0;
    std::fclose(file);
    return read;
}

// A size as saved: plain decimal digits in the range, else 0.
int scaleOfText(std::string_view text) noexcept {
    if (text.empty() || text.size() > 3) return 0;
    int value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return 0;
        value = value * 10 + (c - '0');
    }
    return value >= kMinScale && value <= kMaxScale ? value : 0;
}

struct Settings {
    bool ours = false;
    int size = 0;                    // the last size line's, 0 when that one is not a valid size
    std::vector<std::string> other;  // the other key=value lines, kept as they stand
};

Settings parse(std::string_view text) {
    Settings settings;
    // A NUL never belongs in a text file: it is damaged, whatever else it says.
    if (text.find('\0') != std::string_view::npos) return settings;
    bool first = true;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        // Lines ended the Windows way by an editor the user opened the file in.
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (first) {
            if (line != kHeader) return settings;
            settings.ours = true;
            first = false;
            continue;
        }
        const std::size_t equals = line.find('=');
        if (equals == std::string_view::npos || equals == 0) continue;
        if (line.substr(0, equals) == kSizeKey) {
            settings.size = scaleOfText(line.substr(equals + 1));
        } else {
            settings.other.emplace_back(line);
        }
    }
    return settings;
}

// Writes text to a new file beside path and renames it over path: readers see the old file or the
// new one, never a part. The temporary name is unique per process and per call.
bool replaceFile(const fs::path& path, const std::string& text) {
    static std::atomic<unsigned long> calls{0};
    const unsigned long call = calls.fetch_add(1, std::memory_order_relaxed);
    const fs::path temporary = path.parent_path() / ("settings." + std::to_string(processId()) + "-" +
                                                     std::to_string(call) + ".tmp");
    std::error_code error;
    std::FILE* file = openFile(temporary, true);
    if (file == nullptr) return false;
    const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size() && flushToDisk(file);
    const bool closed = std::fclose(file) == 0;
    if (!written || !closed) {
        fs::remove(temporary, error);
        return false;
    }
    // On Windows a reader holding the old file open makes the rename fail for a moment.
    for (int attempt = 0; attempt < 5; ++attempt) {
        fs::rename(temporary, path, error);
        if (!error) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    fs::remove(temporary, error);
    return false;
}

}  // namespace

std::string userSettingsPath() {
    try {
        return utf8Of(settingsFile());
    } catch (...) {
        return {};
    }
}

int savedEditorScale() noexcept {
    try {
        const fs::path path = settingsFile();
        std::string text;
        if (path.empty() || !readWhole(path, text)) return 0;
        const Settings settings = parse(text);
        return settings.ours ? settings.size : 0;
    } catch (...) {
        return 0;
    }
}

bool saveEditorScale(int percent) noexcept {
    if (percent < kMinScale || percent > kMaxScale) return false;
    try {
        const fs::path path = settingsFile();
        if (path.empty()) return false;
        std::error_code error;
        const bool madeFolder = fs::create_directories(path.parent_path(), error);
        if (error) return false;
        if (madeFolder) keepPrivate(path.parent_path());
        // Another program's file, or a damaged one, is replaced by a fresh one of ours.
        std::string old;
        Settings settings;
        if (readWhole(path, old)) settings = parse(old);
        std::string text(kHeader);
        text += '\n';
        if (settings.ours) {
            for (const std::string& line : settings.other) text += line + '\n';
        }
        text += std::string(kSizeKey) + "=" + std::to_string(percent) + "\n";
        return replaceFile(path, text);
    } catch (...) {
        return false;
    }
}

}  // namespace flanger::platform
