// The module's embedded version block and the query over it, standing in for the system's
// version-information calls. The block is a flat list of entries, each
// [u32 path length][path][u32 value length][value], all little-endian.
#pragma once

#include <cstddef>

namespace flanger::resources {

struct ResourceBytes {
    const unsigned char* data = nullptr;
    std::size_t size = 0;
};

// The block as embedded in the module (never empty in a normal build).
ResourceBytes versionBlock() noexcept;

// The product version string, e.g. "1.1.1".
const char* productVersion() noexcept;

// Finds the value stored under an exact path such as "\VarFileInfo\Translation" or
// "\StringFileInfo\000004e4\FileVersion". Text values include their terminating zero.
// Answers false (and leaves the outputs alone) when the block is malformed or lacks the path.
bool queryVersionValue(const void* block, std::size_t blockSize, const char* path, const void** value,
                       std::size_t* length) noexcept;

}  // namespace flanger::resources
