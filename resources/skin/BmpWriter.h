// BMP encoding and palette reduction for the skin generator (a build-time tool only).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace flanger::resources::skin {

// An opaque RGB picture, pixels 0x00RRGGBB, rows top to bottom.
struct Picture {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels;

    Picture() = default;
    Picture(int w, int h, std::uint32_t fill = 0)
        : width(w), height(h), pixels(static_cast<std::size_t>(w) * h, fill) {}
    std::uint32_t& at(int x, int y) { return pixels[static_cast<std::size_t>(y) * width + x]; }
    std::uint32_t at(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x]; }
};

std::vector<unsigned char> encodeBmp24(const Picture& picture);

// Reduces the picture to at most 256 colours (median cut). A colour listed in keepExact is kept
// as its own palette entry, and no other colour is ever mapped onto it, so a colour key survives.
std::vector<unsigned char> encodeBmp8(const Picture& picture, std::uint32_t keepExact);

// Decodes what encodeBmp8 wrote back to RGB, so the generator can check the result.
Picture decodePaletted(const std::vector<unsigned char>& bmp);

bool writeFile(const std::string& path, const std::vector<unsigned char>& bytes);

}  // namespace flanger::resources::skin
