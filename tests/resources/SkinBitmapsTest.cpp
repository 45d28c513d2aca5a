// The module's skin bitmaps at both scales, as the toolkit finds them: every 200 % bitmap is its
// 100 % one's picture at twice the width and height, in the same pixel format.
#include <gtest/gtest.h>

#include <cstdint>

#include "resources/ModuleResources.h"
#include "resources/SkinBitmaps.h"

namespace flanger::resources {
namespace {

struct BmpShape {
    std::int32_t width = 0, height = 0;
    int bitsPerPixel = 0;
};

std::int32_t le32(const unsigned char* p) {
    return static_cast<std::int32_t>(
        static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
        (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24));
}

BmpShape shapeOf(int id) {
    const ResourceBytes bytes = findResource(ResourceKind::Bitmap, id);
    if (bytes.data == nullptr || bytes.size < 54 || bytes.data[0] != 'B' || bytes.data[1] != 'M') return {};
    return {le32(bytes.data + 18), le32(bytes.data + 22), bytes.data[28] | (bytes.data[29] << 8)};
}

TEST(SkinBitmaps, EachDoubleScaleBitmapIsItsSingleScaleOneAtTwiceTheSize) {
    for (int k = 0; k < kSkinBitmapCount; ++k) {
        const int id = kFirstSkinBitmap + k;
        const BmpShape single = shapeOf(id), doubled = shapeOf(id + kDoubleScaleIdOffset);
        ASSERT_GT(single.width, 0) << id;
        EXPECT_EQ(doubled.width, 2 * single.width) << id;
        EXPECT_EQ(doubled.height, 2 * single.height) << id;  // the knob strip: 65 frames, each twice as tall
        EXPECT_EQ(doubled.bitsPerPixel, single.bitsPerPixel) << id;  // the strip stays paletted
    }
}

TEST(SkinBitmaps, IdsAroundBothRangesHaveNoBitmap) {
    for (int id : {kFirstSkinBitmap - 1, kFirstSkinBitmap + kSkinBitmapCount,
                   kFirstSkinBitmap + kDoubleScaleIdOffset - 1,
                   kFirstSkinBitmap + kDoubleScaleIdOffset + kSkinBitmapCount}) {
        EXPECT_EQ(findResource(ResourceKind::Bitmap, id).data, nullptr) << id;
    }
}

}  // namespace
}  // namespace flanger::resources
