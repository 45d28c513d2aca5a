// A process locale whose decimal point is a comma, as some hosts set it: an installed one, or
// one compiled from the system's locale sources into a private temporary folder. The process
// goes back to the C locale, and the folder is removed, when the object goes.
#pragma once

#if !defined(_WIN32)
#include <unistd.h>
#endif

#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

namespace flanger::testing {

class CommaLocale {
public:
    CommaLocale() {
        if (std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr) {
            active = true;
            return;
        }
#if defined(_WIN32)
        // The Windows C runtime names its locales otherwise, and every one is installed.
        for (const char* name : {"German_Germany.1252", "German", "deu"}) {
            if (std::setlocale(LC_ALL, name) != nullptr) {
                active = true;
                return;
            }
        }
#else
        std::error_code ec;
        folder = std::filesystem::temp_directory_path(ec) / ("flanger-locale-" + std::to_string(getpid()));
        if (ec || !std::filesystem::create_directories(folder, ec) || ec) return;
        const std::string command =
            "localedef -i de_DE -f UTF-8 '" + (folder / "de_DE.UTF-8").string() + "' >/dev/null 2>&1";
        // localedef warns with a non-zero status yet writes a usable locale; the folder tells.
        (void)std::system(command.c_str());
        if (!std::filesystem::exists(folder / "de_DE.UTF-8", ec)) return;
        setenv("LOCPATH", folder.c_str(), 1);
        active = std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr;
#endif
    }
    ~CommaLocale() {
        std::setlocale(LC_ALL, "C");
        if (folder.empty()) return;
#if !defined(_WIN32)
        unsetenv("LOCPATH");
#endif
        std::error_code ec;
        std::filesystem::remove_all(folder, ec);
    }
    CommaLocale(const CommaLocale&) = delete;
    CommaLocale& operator=(const CommaLocale&) = delete;

    // False when no such locale can be had here: the test should skip.
    bool selected() const noexcept {
        return active;
    }

private:
    std::filesystem::path folder;
    bool active = false;
};

}  // namespace flanger::testing
