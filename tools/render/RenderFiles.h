// What flanger-render does with files, apart from its command line: preset files into and out of
// a loaded plug-in. Failures throw RenderError with a line for the user.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

#include "tools/render/Render.h"

namespace flanger::tools {

class RenderError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// .fxp and .fxb files. Loading refuses files of another plug-in (by id) and of the other kind;
// values from a file are clamped to [0, 1], non-finite ones become 0. A bank of values loads
// program by program; a bank of format version 2 also selects its current program.
void loadProgramFile(PluginInstance& plugin, const std::string& path);
void loadBankFile(PluginInstance& plugin, const std::string& path);
// A chunk when the plug-in keeps chunks, else its parameter values; written atomically.
void saveProgramFile(PluginInstance& plugin, const std::string& path);
void saveBankFile(PluginInstance& plugin, const std::string& path);

}  // namespace flanger::tools
