// The interface's customary preset files: .fxp (one program) and .fxb (a bank), either as an
// opaque chunk ("FPCh", "FBCh") or as plain parameter values ("FxCk", "FxBk"). Parsing is a
// pure function over a byte span so it can be fuzzed; every field is read big-endian.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <variant>
#include <vector>

namespace flanger::tools {

enum class PresetKind {
    ProgramChunk,   // "FPCh": .fxp with an opaque chunk
    ProgramValues,  // "FxCk": .fxp with one float per parameter
    BankChunk,      // "FBCh": .fxb with an opaque chunk
    BankValues,     // "FxBk": .fxb holding one "FxCk" program per program
};

struct ProgramValues {
    std::string name;  // at most 27 characters (the 28-byte field keeps a terminator)
    std::vector<float> values;
};

struct PresetFile {
    PresetKind kind = PresetKind::ProgramChunk;
    int32_t formatVersion = 1;  // the file format's own version (1; banks may be 2)
    int32_t pluginId = 0;
    int32_t pluginVersion = 0;
    int32_t programCount = 0;             // 1 for programs; the number of programs for banks
    std::string name;                     // programs only
    int32_t currentProgram = 0;           // banks of format version 2 only
    std::vector<uint8_t> chunk;           // chunk kinds
    std::vector<ProgramValues> programs;  // value kinds (one entry for a program file)

    bool isBank() const noexcept { return kind == PresetKind::BankChunk || kind == PresetKind::BankValues; }
    bool hasChunk() const noexcept {
        return kind == PresetKind::ProgramChunk || kind == PresetKind::BankChunk;
    }
};

struct PresetError {
    std::string message;
};

// Refuses every file that is not exactly one well-formed preset: wrong magic, sizes that do
// not add up to the file's length, counts beyond what the file holds, trailing bytes.
std::variant<PresetFile, PresetError> parsePresetFile(std::span<const uint8_t> bytes);

// The file's bytes. Names longer than 27 characters are cut.
std::vector<uint8_t> serializePresetFile(const PresetFile& preset);

}  // namespace flanger::tools
