// What every tool's command line shares: strict numbers, --help on stdout, and one answer for a
// command line the tool cannot follow (exit 2, one line, the usage), so a typo never runs.
#pragma once

#include <cstdio>
#include <optional>
#include <string>

namespace flanger::tools {

// A whole text that is one decimal integer within [lowest, highest], spaces around it allowed;
// nothing for anything else ("1x", "", "2.5", a number out of range).
std::optional<long long> readInteger(const char* text, long long lowest, long long highest) noexcept;

// A whole text that is one finite number, read as the plug-in reads typed numbers (a point or a
// comma, spaces around it); nothing for anything else.
std::optional<double> readReal(const char* text) noexcept;

bool isHelpOption(const std::string& argument) noexcept;  // --help or -h

// An argument the tool would take for an option: "-" alone names standard input or output.
bool looksLikeOption(const std::string& argument) noexcept;

// The tool's name and usage text, for the answers every tool gives alike.
class CommandLine {
public:
    using Usage = void (*)(std::FILE* to);
    CommandLine(const char* toolName, Usage usageText) : tool(toolName), usage(usageText) {}

    int help() const;                                    // the usage on stdout; answers 0
    int refuse(const std::string& message) const;        // "TOOL: message" and the usage on stderr; answers 2
    int unknownOption(const std::string& option) const;  // refuse() naming the option
    int missingValue(const std::string& option) const;   // refuse(): the option ended the command line
    int badValue(const std::string& option, const char* given, const char* wanted) const;

private:
    const char* tool;
    Usage usage;
};

}  // namespace flanger::tools
