// The skin table of the Windows module: the bitmaps are the DLL's bitmap resources, which the
// system hands out without their file header, so each one gets its header back once, on first use,
// and keeps it for the module's life (callers hold the bytes as BMP file bytes).
#include <algorithm>
#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <vector>

#include "resources/SkinBitmaps.h"

namespace flanger::resources {
namespace {

constexpr std::size_t kFileHeaderSize = 14;
constexpr std::size_t kInfoHeaderSize = 40;

// Written by the module before an editor opens (its load), read by the editor's thread.
std::atomic<PackedBitmapReader> reader{nullptr};
std::mutex filesLock;
std::array<std::vector<unsigned char>, kSkinBitmapSlots> files;  // guarded by filesLock, by slot

std::uint32_t le32(const unsigned char* p) noexcept {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

void put32(unsigned char* p, std::uint32_t value) noexcept {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(value >> (8 * i));
}

// Where the pixels start after the info header: its palette, or the three colour masks that a
// 40-byte header with bitfields is followed by. 0 when the header does not fit in size.
std::size_t pixelsAt(const unsigned char* packed, std::size_t size) noexcept {
    if (size < kInfoHeaderSize) return 0;
    const std::uint32_t infoSize = le32(packed);
    if (infoSize < kInfoHeaderSize || infoSize > size) return 0;
    const unsigned bits = static_cast<unsigned>(packed[14]) | (static_cast<unsigned>(packed[15]) << 8);
    const std::uint32_t compression = le32(packed + 16);
    std::uint64_t colours = le32(packed + 32);
    if (colours == 0 && bits <= 8) colours = std::uint64_t{1} << bits;
    std::uint64_t at = infoSize + colours * 4;
    if (compression == 3 && infoSize == kInfoHeaderSize) at += 12;
    return at <= size ? static_cast<std::size_t>(at) : 0;
}

}  // namespace

void setPackedBitmapReader(PackedBitmapReader installed) noexcept {
    reader.store(installed, std::memory_order_release);
}

ResourceBytes skinBitmap(int id) noexcept {
    const int slot = skinBitmapSlot(id);
    if (slot < 0) return {};
    const PackedBitmapReader read = reader.load(std::memory_order_acquire);
    if (read == nullptr) return {};
    try {
        const std::lock_guard<std::mutex> hold(filesLock);
        std::vector<unsigned char>& file = files[static_cast<std::size_t>(slot)];
        if (file.empty()) {
            const unsigned char* packed = nullptr;
            std::size_t size = 0;
            if (!read(id, &packed, &size) || packed == nullptr || size > 0xffffffffu - kFileHeaderSize)
                return {};
            const std::size_t pixels = pixelsAt(packed, size);
            if (pixels == 0) return {};
            file.resize(kFileHeaderSize + size);
            file[0] = 'B';
            file[1] = 'M';
            put32(file.data() + 2, static_cast<std::uint32_t>(file.size()));
            put32(file.data() + 6, 0);
            put32(file.data() + 10, static_cast<std::uint32_t>(kFileHeaderSize + pixels));
            std::copy(packed, packed + size, file.begin() + kFileHeaderSize);
        }
        return {file.data(), file.size()};
    } catch (...) {
        return {};
    }
}

}  // namespace flanger::resources
