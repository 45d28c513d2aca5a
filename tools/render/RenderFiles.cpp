// Preset files applied to and taken from a plug-in.
#include "tools/render/RenderFiles.h"

#include <algorithm>
#include <cmath>
#include <utility>
#include <variant>
#include <vector>

#include "tools/render/PresetFile.h"

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

}  // namespace flanger::tools
