// The state the newer plug-in formats save in a host's song: a small header ("BWFS", version,
// size of what follows, all little-endian) around the effect's bank chunk and its current
// program. One reader and one writer, for every wrapper that saves this way.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "host/VstInterface.h"

namespace flanger::module {

inline constexpr std::size_t kStateHeaderSize = 12;
inline constexpr uint32_t kStateVersion = 1;
// Far more than a bank of eight programs needs; a header announcing more is not ours.
inline constexpr uint32_t kLargestStateBody = 64 * 1024;

// The whole state of the effect behind record; empty when it has no chunk to give.
std::vector<unsigned char> saveState(vst::EffectRecord& record);

// The size of the body a header announces, or -1 when the header is foreign, of another version
// or announces a body no state of ours can have.
int64_t stateBodySize(const unsigned char* header, std::size_t size) noexcept;

// Loads a body as stateBodySize announced it. Answers false, with nothing changed, for a body
// that is short, corrupt or names a program the effect does not have.
bool loadState(vst::EffectRecord& record, const unsigned char* body, std::size_t size) noexcept;

// The program a body names (as loadState takes it), or -1 for a body too short to name one.
int32_t stateProgram(const unsigned char* body, std::size_t size) noexcept;

}  // namespace flanger::module
