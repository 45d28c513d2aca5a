// Surface storage, damage and the clipped block copy.
#include <gtest/gtest.h>

#include "platform/Surface.h"

namespace flanger::platform {
namespace {

Surface numbered(int w, int h) {
    Surface s(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) s.setPixel(x, y, static_cast<std::uint32_t>(y * 100 + x + 1));
    s.takeDamage();
    return s;
}

TEST(Surface, OutOfRangeAccessIsHarmlessAndTopByteIsDropped) {
    Surface s(3, 2, 0xFF123456);
    EXPECT_EQ(s.pixel(0, 0), 0x123456u);
    EXPECT_EQ(s.pixel(-1, 0), 0u);
    EXPECT_EQ(s.pixel(3, 1), 0u);
    s.setPixel(5, 5, 1);
    s.setPixel(-1, -1, 1);
    EXPECT_TRUE(Surface(-4, 3).empty());
}

TEST(Surface, CopyBlockClipsAgainstBothSurfacesOnEverySide) {
    const Surface source = numbered(4, 4);
    Surface target(5, 5, 0);
    copyBlock(source, -1, -1, target, 3, 3, 4, 4);  // source starts outside, target runs off the edge
    EXPECT_EQ(target.pixel(4, 4), source.pixel(0, 0));
    EXPECT_EQ(target.pixel(3, 3), 0u);
    EXPECT_EQ(target.damage().left, 4);
    EXPECT_EQ(target.damage().right, 5);
    Surface other(5, 5, 0);
    copyBlock(source, 2, 1, other, -1, 0, 3, 2);
    EXPECT_EQ(other.pixel(0, 0), source.pixel(3, 1));
    EXPECT_EQ(other.pixel(1, 0), 0u);  // beyond the source's right edge
    EXPECT_EQ(other.pixel(0, 1), source.pixel(3, 2));
    copyBlock(source, 10, 10, other, 0, 0, 2, 2);
    copyBlock(source, 0, 0, other, 0, 0, -3, 2);
}

TEST(Surface, DamageAccumulatesAsABoundingBoxAndIsTakenOnce) {
    Surface s(20, 20);
    s.takeDamage();
    s.fill({2, 3, 4, 5}, 1);
    s.fill({10, 1, 30, 2}, 1);
    const PixelBox box = s.takeDamage();
    EXPECT_EQ(box.left, 2);
    EXPECT_EQ(box.top, 1);
    EXPECT_EQ(box.right, 20);
    EXPECT_EQ(box.bottom, 5);
    EXPECT_TRUE(s.takeDamage().empty());
}

}  // namespace
}  // namespace flanger::platform
