// Xft.dpi out of the resource database's text, by the resource file's line syntax: blanks may
// surround the name and follow the colon, '!' starts a comment line.
#include "platform/x11/X11DesktopScale.h"

#include <cstring>

namespace flanger::platform::x11 {
namespace {

constexpr char kName[] = "Xft.dpi";
constexpr int kNameLength = sizeof kName - 1;
// Beyond a hundred times 96 dpi no screen exists: such a value is garbage, not a scale.
constexpr double kMaxDpi = 9600.0;

bool isBlank(char c) noexcept {
    return c == ' ' || c == '\t';
}

bool isDigit(char c) noexcept {
    return c >= '0' && c <= '9';
}

// The dpi a value text (up to end) states, or -1 when it is not a plain positive number.
double dpiOfValue(const char* value, const char* end) noexcept {
    while (value < end && isBlank(*value)) ++value;
    while (end > value && isBlank(end[-1])) --end;
    if (value == end) return -1.0;
    double dpi = 0.0;
    int digits = 0;
    for (; value < end && isDigit(*value); ++value, ++digits) {
        dpi = dpi * 10.0 + (*value - '0');
        if (dpi > kMaxDpi) return -1.0;
    }
    if (value < end && *value == '.') {
        ++value;
        double place = 0.1;
        for (; value < end && isDigit(*value); ++value, ++digits, place /= 10.0)
            dpi += (*value - '0') * place;
    }
    if (value != end || digits == 0 || dpi <= 0.0) return -1.0;
    return dpi;
}

}  // namespace

int desktopScaleOfResources(const char* resources) noexcept {
    if (resources == nullptr) return 0;
    double dpi = -1.0;
    for (const char* line = resources; *line != '\0';) {
        const char* lineEnd = std::strchr(line, '\n');
        if (lineEnd == nullptr) lineEnd = line + std::strlen(line);
        const char* at = line;
        while (at < lineEnd && isBlank(*at)) ++at;
        if (lineEnd - at > kNameLength && std::strncmp(at, kName, kNameLength) == 0) {
            at += kNameLength;
            while (at < lineEnd && isBlank(*at)) ++at;
            // A later line of the same name overrides an earlier one, as when the database loads.
            if (at < lineEnd && *at == ':') dpi = dpiOfValue(at + 1, lineEnd);
        }
        line = *lineEnd == '\n' ? lineEnd + 1 : lineEnd;
    }
    if (dpi <= 0.0) return 0;
    return static_cast<int>(dpi * 100.0 / 96.0 + 0.5);
}

}  // namespace flanger::platform::x11
