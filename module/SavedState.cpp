// The saved state's header and body, read and written byte by byte (little-endian on every system).
#include "module/SavedState.h"

#include <cstring>

namespace flanger::module {

namespace {

constexpr unsigned char kMagic[4] = {'B', 'W', 'F', 'S'};

void putWord(std::vector<unsigned char>& out, uint32_t word) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<unsigned char>((word >> (8 * i)) & 0xFF));
}

uint32_t word(const unsigned char* from) noexcept {
    return static_cast<uint32_t>(from[0]) | (static_cast<uint32_t>(from[1]) << 8) |
           (static_cast<uint32_t>(from[2]) << 16) | (static_cast<uint32_t>(from[3]) << 24);
}

intptr_t dispatch(vst::EffectRecord& record, int32_t opcode, int32_t index, intptr_t value, void* ptr) {
    return record.dispatcher(&record, opcode, index, value, ptr, 0.0f);
}

}  // namespace

std::vector<unsigned char> saveState(vst::EffectRecord& record) {
    void* chunk = nullptr;
    const intptr_t size = dispatch(record, vst::effGetChunk, 0, 0, &chunk);
    if (chunk == nullptr || size <= 0 || size + 4 > intptr_t{kLargestStateBody}) return {};
    const auto program = static_cast<uint32_t>(dispatch(record, vst::effGetProgram, 0, 0, nullptr));
    std::vector<unsigned char> out(kMagic, kMagic + 4);
    putWord(out, kStateVersion);
    putWord(out, static_cast<uint32_t>(size + 4));
    const auto* bytes = static_cast<const unsigned char*>(chunk);
    out.insert(out.end(), bytes, bytes + size);
    putWord(out, program);
    return out;
}

int64_t stateBodySize(const unsigned char* header, std::size_t size) noexcept {
    if (header == nullptr || size < kStateHeaderSize || std::memcmp(header, kMagic, 4) != 0) return -1;
    if (word(header + 4) != kStateVersion) return -1;
    const uint32_t body = word(header + 8);
    // At least a program number after a chunk of at least one byte.
    if (body < 5 || body > kLargestStateBody) return -1;
    return body;
}

int32_t stateProgram(const unsigned char* body, std::size_t size) noexcept {
    if (body == nullptr || size < 5) return -1;
    return static_cast<int32_t>(word(body + size - 4));
}

bool loadState(vst::EffectRecord& record, const unsigned char* body, std::size_t size) noexcept {
    if (body == nullptr || size < 5 || size > kLargestStateBody) return false;
    const int32_t program = stateProgram(body, size);
    // The program is checked before anything loads, so a state naming a program that does not
    // exist changes nothing; the chunk loader refuses a corrupt bank with nothing changed.
    if (program < 0 || program >= record.numPrograms) return false;
    std::vector<unsigned char> chunk;
    try {
        chunk.assign(body, body + size - 4);  // the loader may keep or edit what it is handed
    } catch (...) {
        return false;
    }
    if (dispatch(record, vst::effSetChunk, 0, static_cast<intptr_t>(chunk.size()), chunk.data()) == 0)
        return false;
    dispatch(record, vst::effBeginSetProgram, 0, 0, nullptr);
    dispatch(record, vst::effSetProgram, 0, program, nullptr);
    dispatch(record, vst::effEndSetProgram, 0, 0, nullptr);
    return true;
}

}  // namespace flanger::module
