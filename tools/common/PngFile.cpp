// libpng's simplified API over 8-bit RGB.
#include "tools/common/PngFile.h"

#include <png.h>

#include <cstring>
#include <vector>

namespace flanger::tools {

bool writePng(const std::string& path, const platform::Surface& surface) {
    if (surface.empty()) return false;
    std::vector<unsigned char> rgb(static_cast<std::size_t>(surface.width()) * surface.height() * 3);
    std::size_t at = 0;
    for (std::uint32_t p : surface.pixels()) {
        rgb[at++] = platform::redOf(p);
        rgb[at++] = platform::greenOf(p);
        rgb[at++] = platform::blueOf(p);
    }
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(surface.width());
    image.height = static_cast<png_uint_32>(surface.height());
    image.format = PNG_FORMAT_RGB;
    const int ok = png_image_write_to_file(&image, path.c_str(), 0, rgb.data(), 0, nullptr);
    png_image_free(&image);
    return ok != 0;
}

std::optional<platform::Surface> readPng(const std::string& path) {
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (png_image_begin_read_from_file(&image, path.c_str()) == 0) return std::nullopt;
    image.format = PNG_FORMAT_RGB;
    std::vector<unsigned char> rgb(PNG_IMAGE_SIZE(image));
    if (png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr) == 0) {
        png_image_free(&image);
        return std::nullopt;
    }
    platform::Surface surface(static_cast<int>(image.width), static_cast<int>(image.height));
    std::size_t at = 0;
    for (int y = 0; y < surface.height(); ++y) {
        for (int x = 0; x < surface.width(); ++x, at += 3)
            surface.setPixel(x, y, platform::packRgb(rgb[at], rgb[at + 1], rgb[at + 2]));
    }
    surface.takeDamage();
    return surface;
}

}  // namespace flanger::tools
