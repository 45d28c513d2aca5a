// The module's resource lookup and the BMP decoder, including malformed input.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "gui/BmpDecoder.h"
#include "resources/ModuleResources.h"

namespace flanger::gui {
namespace {

using platform::packRgb;
using resources::findResource;
using resources::ResourceKind;

std::vector<unsigned char> bmp(int width, int height, int bits, const std::vector<unsigned char>& palette,
                               const std::vector<unsigned char>& rows) {
    std::vector<unsigned char> out(54, 0);
    auto put32 = [&](std::size_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i) out[at + i] = static_cast<unsigned char>(v >> (8 * i));
    };
    out[0] = 'B';
    out[1] = 'M';
    put32(10, static_cast<std::uint32_t>(54 + palette.size()));
    put32(14, 40);
    put32(18, static_cast<std::uint32_t>(width));
    put32(22, static_cast<std::uint32_t>(height));
    out[26] = 1;
    out[28] = static_cast<unsigned char>(bits);
    put32(46, static_cast<std::uint32_t>(palette.size() / 4));
    for (unsigned char b : palette) out.push_back(b);
    for (unsigned char b : rows) out.push_back(b);
    put32(2, static_cast<std::uint32_t>(out.size()));
    return out;
}

TEST(DecodeBmp, TwentyFourBitRowsAreBottomUpAndPadded) {
    // 2 × 2: bottom row blue, green; top row red, white. Rows padded to 8 bytes.
    const auto file = bmp(2, 2, 24, {}, {255, 0, 0, 0, 255, 0, 0, 0, 0, 0, 255, 255, 255, 255, 0, 0});
    const auto image = decodeBmp(file.data(), file.size());
    ASSERT_TRUE(image);
    EXPECT_EQ(image->pixel(0, 0), 0xFF0000u);
    EXPECT_EQ(image->pixel(1, 0), 0xFFFFFFu);
    EXPECT_EQ(image->pixel(0, 1), 0x0000FFu);
    EXPECT_EQ(image->pixel(1, 1), 0x00FF00u);
}

TEST(DecodeBmp, TopDownAndPalettedImages) {
    auto file = bmp(3, -1, 8, {0, 0, 0, 0, 10, 20, 30, 0}, {1, 0, 1, 0});
    const auto image = decodeBmp(file.data(), file.size());
    ASSERT_TRUE(image);
    EXPECT_EQ(image->height(), 1);
    EXPECT_EQ(image->pixel(0, 0), 0x1E140Au);
    EXPECT_EQ(image->pixel(1, 0), 0u);
}

TEST(DecodeBmp, RejectsTruncatedCompressedAndNonsenseInput) {
    const auto good = bmp(2, 2, 24, {}, std::vector<unsigned char>(16, 7));
    EXPECT_FALSE(decodeBmp(good.data(), good.size() - 1));
    EXPECT_FALSE(decodeBmp(good.data(), 20));
    EXPECT_FALSE(decodeBmp(nullptr, 100));
    auto compressed = good;
    compressed[30] = 1;
    EXPECT_FALSE(decodeBmp(compressed.data(), compressed.size()));
    auto huge = good;
    huge[21] = 0x7F;  // width 2^31-ish
    EXPECT_FALSE(decodeBmp(huge.data(), huge.size()));
    auto badPalette = bmp(2, 1, 8, std::vector<unsigned char>(8, 0), {0, 1, 0, 0});
    badPalette[46] = 200;  // claims 200 palette entries that the file does not hold
    EXPECT_FALSE(decodeBmp(badPalette.data(), badPalette.size()));
}

TEST(ModuleResources, EveryBitmapDecodesAndOthersAreAbsent) {
    for (int id = 1000; id <= 1010; ++id) {
        const auto bytes = findResource(ResourceKind::Bitmap, id);
        ASSERT_NE(bytes.data, nullptr) << id;
        EXPECT_TRUE(loadBitmapResource(id)) << id;
    }
    // The knob strip is stored paletted, everything else at 24 bits.
    EXPECT_EQ(findResource(ResourceKind::Bitmap, 1003).data[28], 8);
    EXPECT_EQ(findResource(ResourceKind::Bitmap, 1001).data[28], 24);
    EXPECT_EQ(findResource(ResourceKind::Bitmap, 999).data, nullptr);
    EXPECT_EQ(findResource(ResourceKind::Bitmap, 1011).size, 0u);
    EXPECT_FALSE(loadBitmapResource(-1));
}

TEST(ModuleResources, VersionKindHandsBackTheVersionBlock) {
    const auto bytes = findResource(ResourceKind::Version, 1);
    EXPECT_EQ(bytes.data, resources::versionBlock().data);
    const void* value = nullptr;
    std::size_t length = 0;
    ASSERT_TRUE(resources::queryVersionValue(bytes.data, bytes.size,
                                             "\\StringFileInfo\\000004e4\\FileVersion", &value, &length));
    EXPECT_STREQ(static_cast<const char*>(value), resources::productVersion());
}

}  // namespace
}  // namespace flanger::gui
