// Strict option values and the tools' shared usage answers.
#include "tools/common/CommandLine.h"

#include <cerrno>
#include <cstdlib>

#include "text/NumberText.h"

namespace flanger::tools {

namespace {

bool isSpace(char c) {
    return c == ' ' || c == '\t';
}

}  // namespace

std::optional<long long> readInteger(const char* text, long long lowest, long long highest) noexcept {
    if (text == nullptr) return std::nullopt;
    const char* at = text;
    while (isSpace(*at)) ++at;
    // strtoll would skip newlines and read "0x10" with base 0; base 10 and a digit first keep it plain.
    const char* digits = (*at == '-' || *at == '+') ? at + 1 : at;
    if (*digits < '0' || *digits > '9') return std::nullopt;
    errno = 0;
    char* end = nullptr;
    const long long value = std::strtoll(at, &end, 10);
    if (errno == ERANGE) return std::nullopt;
    while (isSpace(*end)) ++end;
    if (*end != '\0' || value < lowest || value > highest) return std::nullopt;
    return value;
}

std::optional<double> readReal(const char* text) noexcept {
    // The plug-in's own reader: one rule for number text everywhere, whatever the locale.
    const std::optional<float> value = text::readQuantity(text, "");
    if (!value) return std::nullopt;
    return static_cast<double>(*value);
}

bool isHelpOption(const std::string& argument) noexcept {
    return argument == "--help" || argument == "-h";
}

bool looksLikeOption(const std::string& argument) noexcept {
    return argument.size() > 1 && argument[0] == '-';
}

int CommandLine::help() const {
    usage(stdout);
    return 0;
}

int CommandLine::refuse(const std::string& message) const {
    std::fprintf(stderr, "%s: %s\n", tool, message.c_str());
    usage(stderr);
    return 2;
}

int CommandLine::unknownOption(const std::string& option) const {
    return refuse("unknown option " + option);
}

int CommandLine::missingValue(const std::string& option) const {
    return refuse(option + " needs a value");
}

int CommandLine::badValue(const std::string& option, const char* given, const char* wanted) const {
    return refuse(option + " takes " + wanted + ", not \"" + given + "\"");
}

}  // namespace flanger::tools
