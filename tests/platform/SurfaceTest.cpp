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

long long areaOf(const PixelBox& b) {
    return static_cast<long long>(b.right - b.left) * (b.bottom - b.top);
}

TEST(Surface, DamageFarApartStaysInSeparateBoxesAndOverlapsMerge) {
    Surface s(200, 200);
    s.takeDamage();
    s.addDamage({0, 0, 10, 10});
    s.addDamage({150, 150, 160, 170});
    s.addDamage({5, 5, 15, 15});  // overlaps the first: no pixel may be presented twice
    PixelBox boxes[Surface::kDamageBoxes];
    ASSERT_EQ(s.takeDamageBoxes(boxes), 2);
    EXPECT_EQ(areaOf(boxes[0]) + areaOf(boxes[1]), 15 * 15 + 10 * 20);
    EXPECT_TRUE(boxes[0].intersect(boxes[1]).empty());
    EXPECT_EQ(s.takeDamageBoxes(boxes), 0);
}

TEST(Surface, DamageBeyondTheBoxLimitJoinsTheCheapestPairAndStaysDisjoint) {
    Surface s(400, 400);
    s.takeDamage();
    // A diagonal of small boxes: more than the limit, so some must be joined.
    for (int i = 0; i < 9; ++i) s.addDamage({i * 40, i * 40, i * 40 + 8, i * 40 + 8});
    const PixelBox bounding = s.damage();
    PixelBox boxes[Surface::kDamageBoxes];
    const int count = s.takeDamageBoxes(boxes);
    ASSERT_LE(count, Surface::kDamageBoxes);
    ASSERT_GE(count, 1);
    PixelBox all;
    for (int i = 0; i < count; ++i) {
        all = all.unite(boxes[i]);
        for (int j = i + 1; j < count; ++j) EXPECT_TRUE(boxes[i].intersect(boxes[j]).empty());
    }
    EXPECT_EQ(all.left, bounding.left);
    EXPECT_EQ(all.bottom, bounding.bottom);
    EXPECT_EQ(all.right, 328);
    // Every damaged box is still covered.
    for (int k = 0; k < 9; ++k) {
        bool covered = false;
        const PixelBox small{k * 40, k * 40, k * 40 + 8, k * 40 + 8};
        for (int i = 0; i < count; ++i) covered = covered || areaOf(boxes[i].intersect(small)) == 64;
        EXPECT_TRUE(covered) << k;
    }
}

}  // namespace
}  // namespace flanger::platform
