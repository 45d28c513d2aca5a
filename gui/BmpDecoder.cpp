// The BMP decoder for the skin bitmaps, and the lookup that decodes a bitmap resource.
#include "gui/BmpDecoder.h"

#include <cstdint>
#include <limits>

#include "resources/ModuleResources.h"

namespace flanger::gui {
namespace {

std::uint32_t le32(const unsigned char* p) noexcept {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
std::uint16_t le16(const unsigned char* p) noexcept {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

}  // namespace

std::optional<platform::Surface> decodeBmp(const unsigned char* data, std::size_t size) noexcept {
    constexpr std::size_t kFileHeader = 14;
    if (data == nullptr || size < kFileHeader + 40 || data[0] != 'B' || data[1] != 'M') return std::nullopt;
    const std::uint32_t pixelOffset = le32(data + 10);
    const unsigned char* info = data + kFileHeader;
    const std::uint32_t infoSize = le32(info);
    if (infoSize < 40 || infoSize > size - kFileHeader) return std::nullopt;
    const auto width = static_cast<std::int32_t>(le32(info + 4));
    const auto rawHeight = static_cast<std::int32_t>(le32(info + 8));
    const std::uint16_t bits = le16(info + 14);
    const std::uint32_t compression = le32(info + 16);
    std::uint32_t paletteCount = le32(info + 32);
    // Bitfields are accepted for 32-bit data only when they are the usual 8-8-8 layout.
    if (compression != 0 && !(compression == 3 && bits == 32)) return std::nullopt;
    if (bits != 8 && bits != 24 && bits != 32) return std::nullopt;
    if (width <= 0 || width > 16384 || rawHeight == 0 || rawHeight < -16384 || rawHeight > 16384)
        return std::nullopt;
    const bool topDown = rawHeight < 0;
    const int height = topDown ? -rawHeight : rawHeight;

    std::uint32_t palette[256] = {};
    if (bits == 8) {
        if (paletteCount == 0 || paletteCount > 256) paletteCount = 256;
        const std::size_t paletteAt = kFileHeader + infoSize;
        if (paletteAt + std::size_t{paletteCount} * 4 > size) return std::nullopt;
        for (std::uint32_t i = 0; i < paletteCount; ++i) {
            const unsigned char* entry = data + paletteAt + std::size_t{i} * 4;
            palette[i] = platform::packRgb(entry[2], entry[1], entry[0]);
        }
    }
    const std::size_t stride = ((static_cast<std::size_t>(width) * bits + 31) / 32) * 4;
    if (pixelOffset > size || stride * static_cast<std::size_t>(height) > size - pixelOffset)
        return std::nullopt;

    try {
        platform::Surface image(width, height);
        for (int y = 0; y < height; ++y) {
            const unsigned char* src =
                data + pixelOffset + stride * static_cast<std::size_t>(topDown ? y : height - 1 - y);
            std::uint32_t* dst = image.row(y);
            for (int x = 0; x < width; ++x) {
                if (bits == 8) {
                    dst[x] = palette[src[x]];
                } else {
                    const unsigned char* p = src + static_cast<std::size_t>(x) * (bits / 8);
                    dst[x] = platform::packRgb(p[2], p[1], p[0]);
                }
            }
        }
        image.takeDamage();
        return image;
    } catch (...) {
        return std::nullopt;
    }
}

std::optional<platform::Surface> loadBitmapResource(int id) noexcept {
    const resources::ResourceBytes bytes = resources::findResource(resources::ResourceKind::Bitmap, id);
    return decodeBmp(bytes.data, bytes.size);
}

}  // namespace flanger::gui
