// Reading and writing .fxp/.fxb preset files.
#include "tools/render/PresetFile.h"

#include <algorithm>

#include "host/VstInterface.h"
#include "tools/render/BigEndian.h"

namespace flanger::tools {

namespace {

constexpr int32_t kFileMagic = vst::fourCharacters('C', 'c', 'n', 'K');
constexpr int32_t kProgramChunkMagic = vst::fourCharacters('F', 'P', 'C', 'h');
constexpr int32_t kProgramValuesMagic = vst::fourCharacters('F', 'x', 'C', 'k');
constexpr int32_t kBankChunkMagic = vst::fourCharacters('F', 'B', 'C', 'h');
constexpr int32_t kBankValuesMagic = vst::fourCharacters('F', 'x', 'B', 'k');

constexpr size_t kNameBytes = 28;
constexpr size_t kHeaderBytes = 28;         // magic, size, kind, version, id, plug-in version, count
constexpr size_t kProgramHeaderBytes = 56;  // header + name
constexpr size_t kBankReservedBytes = 128;
constexpr size_t kBankHeaderBytes = kHeaderBytes + kBankReservedBytes;

using Bytes = std::span<const uint8_t>;

std::string readName(Bytes bytes, size_t offset) {
    const auto field = bytes.subspan(offset, kNameBytes);
    const auto end = std::find(field.begin(), field.end(), uint8_t{0});
    return std::string(field.begin(), end);
}

void appendName(std::vector<uint8_t>& out, const std::string& name) {
    const size_t n = std::min(name.size(), kNameBytes - 1);
    out.insert(out.end(), name.begin(), name.begin() + static_cast<std::ptrdiff_t>(n));
    out.insert(out.end(), kNameBytes - n, uint8_t{0});
}

struct Header {
    int32_t kind;
    int32_t formatVersion;
    int32_t pluginId;
    int32_t pluginVersion;
    int32_t count;
};

// The common 28 bytes; byteSize must account for exactly the rest of `bytes`.
std::variant<Header, PresetError> readHeader(Bytes bytes) {
    if (bytes.size() < kHeaderBytes) return PresetError{"file too short for a preset header"};
    if (*readI32BE(bytes, 0) != kFileMagic) return PresetError{"not a preset file (no CcnK header)"};
    const uint32_t byteSize = *readU32BE(bytes, 4);
    if (byteSize != bytes.size() - 8)
        return PresetError{"the header's size does not match the file's length"};
    Header h{*readI32BE(bytes, 8), *readI32BE(bytes, 12), *readI32BE(bytes, 16), *readI32BE(bytes, 20),
             *readI32BE(bytes, 24)};
    if (h.count < 0) return PresetError{"negative count in the header"};
    return h;
}

// A value program ("FxCk") that fills `bytes` exactly.
std::variant<ProgramValues, PresetError> readValueProgram(Bytes bytes, const Header& h) {
    if (bytes.size() < kProgramHeaderBytes) return PresetError{"program record too short"};
    const size_t values = static_cast<size_t>(h.count);
    if ((bytes.size() - kProgramHeaderBytes) / 4 != values || (bytes.size() - kProgramHeaderBytes) % 4 != 0)
        return PresetError{"parameter count does not match the program's size"};
    ProgramValues program;
    program.name = readName(bytes, kHeaderBytes);
    program.values.reserve(values);
    for (size_t i = 0; i < values; ++i)
        program.values.push_back(*readFloatBE(bytes, kProgramHeaderBytes + 4 * i));
    return program;
}

std::optional<PresetError> readChunk(Bytes bytes, size_t offset, std::vector<uint8_t>& chunk) {
    const auto size = readU32BE(bytes, offset);
    if (!size) return PresetError{"file too short for the chunk size"};
    const size_t start = offset + 4;
    if (static_cast<size_t>(*size) != bytes.size() - start)
        return PresetError{"the chunk size does not match the file's length"};
    chunk.assign(bytes.begin() + static_cast<std::ptrdiff_t>(start), bytes.end());
    return std::nullopt;
}

}  // namespace

std::variant<PresetFile, PresetError> parsePresetFile(std::span<const uint8_t> bytes) {
    const auto header = readHeader(bytes);
    if (const auto* e = std::get_if<PresetError>(&header)) return *e;
    const Header& h = std::get<Header>(header);

    PresetFile preset;
    preset.formatVersion = h.formatVersion;
    preset.pluginId = h.pluginId;
    preset.pluginVersion = h.pluginVersion;
    preset.programCount = h.count;

    if (h.kind == kProgramChunkMagic || h.kind == kProgramValuesMagic) {
        if (bytes.size() < kProgramHeaderBytes) return PresetError{"file too short for a program name"};
        preset.name = readName(bytes, kHeaderBytes);
        if (h.kind == kProgramChunkMagic) {
            preset.kind = PresetKind::ProgramChunk;
            if (h.count < 1) return PresetError{"a program file must count at least one program"};
            if (auto e = readChunk(bytes, kProgramHeaderBytes, preset.chunk)) return *e;
        } else {
            preset.kind = PresetKind::ProgramValues;
            auto program = readValueProgram(bytes, h);
            if (const auto* e = std::get_if<PresetError>(&program)) return *e;
            preset.programs.push_back(std::move(std::get<ProgramValues>(program)));
            preset.programCount = 1;
        }
        return preset;
    }

    if (h.kind == kBankChunkMagic || h.kind == kBankValuesMagic) {
        if (bytes.size() < kBankHeaderBytes) return PresetError{"file too short for a bank header"};
        if (h.formatVersion >= 2) preset.currentProgram = *readI32BE(bytes, kHeaderBytes);
        if (h.kind == kBankChunkMagic) {
            preset.kind = PresetKind::BankChunk;
            if (auto e = readChunk(bytes, kBankHeaderBytes, preset.chunk)) return *e;
            return preset;
        }
        preset.kind = PresetKind::BankValues;
        size_t offset = kBankHeaderBytes;
        // Each program needs at least its header: a count beyond that cannot be in the file.
        if (static_cast<size_t>(h.count) > (bytes.size() - offset) / kProgramHeaderBytes)
            return PresetError{"the bank counts more programs than the file holds"};
        for (int32_t p = 0; p < h.count; ++p) {
            const auto rest = bytes.subspan(offset);
            const auto size = readU32BE(rest, 4);
            if (!size || rest.size() < kHeaderBytes) return PresetError{"bank truncated inside a program"};
            if (*size > rest.size() - 8) return PresetError{"a program's size runs past the end of the bank"};
            const auto record = rest.first(static_cast<size_t>(*size) + 8);
            const auto inner = readHeader(record);
            if (const auto* e = std::get_if<PresetError>(&inner)) return *e;
            const Header& ih = std::get<Header>(inner);
            if (ih.kind != kProgramValuesMagic)
                return PresetError{"a value bank may only hold value programs"};
            auto program = readValueProgram(record, ih);
            if (const auto* e = std::get_if<PresetError>(&program)) return *e;
            preset.programs.push_back(std::move(std::get<ProgramValues>(program)));
            offset += record.size();
        }
        if (offset != bytes.size()) return PresetError{"trailing bytes after the last program"};
        return preset;
    }
    return PresetError{"unknown preset kind (expected FPCh, FxCk, FBCh or FxBk)"};
}

namespace {

void appendHeader(std::vector<uint8_t>& out, int32_t kind, int32_t version, const PresetFile& p,
                  int32_t count) {
    appendI32BE(out, kFileMagic);
    appendU32BE(out, 0);  // patched once the length is known
    appendI32BE(out, kind);
    appendI32BE(out, version);
    appendI32BE(out, p.pluginId);
    appendI32BE(out, p.pluginVersion);
    appendI32BE(out, count);
}

void patchSize(std::vector<uint8_t>& out, size_t start) {
    const auto size = static_cast<uint32_t>(out.size() - start - 8);
    out[start + 4] = static_cast<uint8_t>(size >> 24);
    out[start + 5] = static_cast<uint8_t>(size >> 16);
    out[start + 6] = static_cast<uint8_t>(size >> 8);
    out[start + 7] = static_cast<uint8_t>(size);
}

void appendValueProgram(std::vector<uint8_t>& out, const PresetFile& p, const ProgramValues& program) {
    const size_t start = out.size();
    appendHeader(out, kProgramValuesMagic, 1, p, static_cast<int32_t>(program.values.size()));
    appendName(out, program.name);
    for (float v : program.values) appendFloatBE(out, v);
    patchSize(out, start);
}

}  // namespace

std::vector<uint8_t> serializePresetFile(const PresetFile& p) {
    std::vector<uint8_t> out;
    switch (p.kind) {
        case PresetKind::ProgramChunk:
            appendHeader(out, kProgramChunkMagic, 1, p, std::max(p.programCount, 1));
            appendName(out, p.name);
            appendU32BE(out, static_cast<uint32_t>(p.chunk.size()));
            out.insert(out.end(), p.chunk.begin(), p.chunk.end());
            break;
        case PresetKind::ProgramValues: {
            const ProgramValues empty;
            ProgramValues program = p.programs.empty() ? empty : p.programs.front();
            if (program.name.empty()) program.name = p.name;
            appendValueProgram(out, p, program);
            return out;
        }
        case PresetKind::BankChunk:
        case PresetKind::BankValues: {
            const bool chunk = p.kind == PresetKind::BankChunk;
            const int32_t count = chunk ? p.programCount : static_cast<int32_t>(p.programs.size());
            appendHeader(out, chunk ? kBankChunkMagic : kBankValuesMagic, 2, p, count);
            appendI32BE(out, p.currentProgram);
            out.insert(out.end(), kBankReservedBytes - 4, uint8_t{0});
            if (chunk) {
                appendU32BE(out, static_cast<uint32_t>(p.chunk.size()));
                out.insert(out.end(), p.chunk.begin(), p.chunk.end());
            } else {
                for (const ProgramValues& program : p.programs) appendValueProgram(out, p, program);
            }
            break;
        }
    }
    patchSize(out, 0);
    return out;
}

}  // namespace flanger::tools
