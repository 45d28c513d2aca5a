// Skin bitmaps from the module (sizes, missing ids), opaque and keyed drawing, and the bitmap set.
#include <gtest/gtest.h>

#include "gui/SkinBitmap.h"

namespace flanger::gui {
namespace {

constexpr std::uint32_t kKey = 0xFFFFFF;

SkinBitmap* makeBitmap() {
    // 4 × 2: key pixels on the diagonal-ish positions, colours elsewhere.
    platform::Surface image(4, 2);
    const std::uint32_t rows[2][4] = {{kKey, 0x112233, 0x445566, kKey}, {0x778899, kKey, 0xFFFFFE, 0x000000}};
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 4; ++x) image.setPixel(x, y, rows[y][x]);
    return new SkinBitmap(42, std::move(image));
}

TEST(SkinBitmap, ModuleBitmapsHaveTheirTableSizes) {
    const struct {
        int id, width, height;
    } table[] = {{1000, 370, 216}, {1001, 370, 216}, {1002, 48, 12},  {1003, 42, 2730},
                 {1004, 4, 4},     {1005, 12, 22},   {1006, 196, 74}, {1007, 28, 13},
                 {1008, 32, 12},   {1009, 196, 10},  {1010, 11, 22}};
    for (const auto& entry : table) {
        SkinBitmap* bitmap = new SkinBitmap(entry.id);
        EXPECT_EQ(bitmap->getWidth(), entry.width) << entry.id;
        EXPECT_EQ(bitmap->getHeight(), entry.height) << entry.id;
        bitmap->release();
    }
}

TEST(SkinBitmap, MissingResourceHasSizeZeroAndDrawsNothing) {
    SkinBitmap* missing = new SkinBitmap(999);
    EXPECT_EQ(missing->getWidth(), 0);
    EXPECT_EQ(missing->getHeight(), 0);
    platform::Surface surface(8, 8, 0x123456);
    Canvas canvas(nullptr, &surface, nullptr);
    missing->draw(canvas, {0, 0, 8, 8}, {0, 0});
    missing->drawKeyed(canvas, {0, 0, 8, 8}, {0, 0});
    for (std::uint32_t p : surface.pixels()) EXPECT_EQ(p, 0x123456u);
    missing->release();
}

TEST(SkinBitmap, OpaqueDrawCopiesTheBlockAtTheSourceOffsetPlusCanvasOffset) {
    SkinBitmap* bitmap = makeBitmap();
    platform::Surface surface(8, 8, 0);
    Canvas canvas(nullptr, &surface, nullptr);
    canvas.setOffset({2, 3});
    bitmap->draw(canvas, {0, 0, 2, 2}, {1, 0});
    EXPECT_EQ(surface.pixel(2, 3), 0x112233u);
    EXPECT_EQ(surface.pixel(3, 3), 0x445566u);
    EXPECT_EQ(surface.pixel(2, 4), kKey);  // opaque: the key colour is copied too
    EXPECT_EQ(surface.pixel(4, 3), 0u);
    bitmap->release();
}

TEST(SkinBitmap, KeyedDrawKeepsDestinationUnderKeyPixelsAndLeavesTheImageAlone) {
    SkinBitmap* bitmap = makeBitmap();
    const std::vector<std::uint32_t> before = bitmap->image().pixels();
    platform::Surface surface(4, 2, 0xABCDEF);
    Canvas canvas(nullptr, &surface, nullptr);
    EXPECT_FALSE(bitmap->hasMask());
    bitmap->drawKeyed(canvas, {0, 0, 4, 2}, {0, 0});
    EXPECT_TRUE(bitmap->hasMask());
    const std::uint32_t expected[2][4] = {{0xABCDEF, 0x112233, 0x445566, 0xABCDEF},
                                          {0x778899, 0xABCDEF, 0xFFFFFE, 0}};
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 4; ++x) EXPECT_EQ(surface.pixel(x, y), expected[y][x]) << x << "," << y;
    EXPECT_EQ(bitmap->image().pixels(), before);
    // A different key rebuilds the mask: black now keys, white draws.
    bitmap->setTransparentColor(colors::black);
    EXPECT_FALSE(bitmap->hasMask());
    surface = platform::Surface(4, 2, 0xABCDEF);
    bitmap->drawKeyed(canvas, {0, 0, 4, 2}, {0, 0});
    EXPECT_EQ(surface.pixel(0, 0), kKey);
    EXPECT_EQ(surface.pixel(3, 1), 0xABCDEFu);
    bitmap->release();
}

TEST(SkinBitmap, KeyedDrawClipsAgainstBothSurfaces) {
    SkinBitmap* bitmap = makeBitmap();
    platform::Surface surface(3, 3, 0x010101);
    Canvas canvas(nullptr, &surface, nullptr);
    bitmap->drawKeyed(canvas, {-1, 1, 5, 5}, {0, 0});  // left column and lower rows fall outside
    EXPECT_EQ(surface.pixel(0, 1), 0x112233u);
    EXPECT_EQ(surface.pixel(2, 1), 0x010101u);  // key pixel (3, 0)
    EXPECT_EQ(surface.pixel(0, 2), 0x010101u);  // key pixel (1, 1)
    EXPECT_EQ(surface.pixel(1, 2), 0xFFFFFEu);
    bitmap->drawKeyed(canvas, {0, 0, 4, 4}, {10, 10});  // source offset outside the image
    bitmap->release();
}

TEST(SkinBitmap, ReferenceCountingFollowsTheViewRule) {
    SkinBitmap* bitmap = makeBitmap();
    EXPECT_EQ(bitmap->referenceCount(), 1);
    bitmap->retain();
    EXPECT_EQ(bitmap->referenceCount(), 2);
    bitmap->release();
    EXPECT_EQ(bitmap->referenceCount(), 1);
    bitmap->release();  // destroyed; the sanitizer build checks for a leak or double free
}

TEST(BitmapSet, GetAnswersOnlyInsideTheLoadedRun) {
    BitmapSet set;
    set.load(1000, 11, 1001);
    EXPECT_EQ(set.get(999), nullptr);
    EXPECT_EQ(set.get(1011), nullptr);
    EXPECT_EQ(set.getWidth(1011), 0);
    EXPECT_EQ(set.getHeight(999), 0);
    ASSERT_NE(set.get(1000), nullptr);
    ASSERT_NE(set.get(1010), nullptr);
    EXPECT_EQ(set.getMain(), set.get(1001));
    EXPECT_EQ(set.getWidth(1006), 196);
    EXPECT_EQ(set.getHeight(1006), 74);
    set.releaseSlot(1004);
    EXPECT_EQ(set.get(1004), nullptr);
    EXPECT_EQ(set.getWidth(1004), 0);
}

TEST(BitmapSet, MainIdDefaultsToTheFirstAndMissingIdsStillGetSlots) {
    BitmapSet set;
    set.load(1009, 4);  // 1011 and 1012 do not exist
    EXPECT_EQ(set.getMain(), set.get(1009));
    ASSERT_NE(set.get(1012), nullptr);
    EXPECT_EQ(set.getWidth(1012), 0);
    set.load(1000, 0);
    EXPECT_EQ(set.get(1000), nullptr);
}

TEST(KnobStrip, KeyedFramesOverTheBackgroundTouchOnlyOpaqueStripPixels) {
    BitmapSet set;
    set.load(1000, 11, 1001);
    SkinBitmap* background = set.getMain();
    SkinBitmap* strip = set.get(1003);
    ASSERT_NE(strip, nullptr);
    const int knobLefts[5] = {13, 63, 113, 163, 225};
    for (int frame : {0, 17, 32, 64}) {
        platform::Surface surface(370, 216);
        Canvas canvas(nullptr, &surface, nullptr);
        background->draw(canvas, {0, 0, 370, 216}, {0, 0});
        for (int left : knobLefts) strip->drawKeyed(canvas, {left, 154, left + 42, 196}, {0, frame * 42});
        int untouched = 0;
        for (int left : knobLefts) {
            for (int y = 0; y < 42; ++y) {
                for (int x = 0; x < 42; ++x) {
                    const std::uint32_t s = strip->image().pixel(x, frame * 42 + y);
                    const std::uint32_t expected =
                        s == 0xFFFFFF ? background->image().pixel(left + x, 154 + y) : s;
                    ASSERT_EQ(surface.pixel(left + x, 154 + y), expected)
                        << frame << " " << left << " " << x << "," << y;
                    untouched += s == 0xFFFFFF ? 1 : 0;
                }
            }
        }
        EXPECT_GT(untouched, 5 * 42 * 4) << "the strip's corners are keyed";
    }
}

TEST(KnobStrip, EdgePixelsCarryNoWhiteFringe) {
    // Anti-aliased edges are blended against the panel, so no opaque pixel is near-white
    // except inside the knob's pointer.
    SkinBitmap* strip = new SkinBitmap(1003);
    int nearWhiteOnRim = 0;
    for (int frame = 0; frame < 65; ++frame) {
        for (int y = 0; y < 42; ++y) {
            for (int x = 0; x < 42; ++x) {
                const std::uint32_t p = strip->image().pixel(x, frame * 42 + y);
                const int dx = x - 21, dy = y - 21;
                const bool rim = dx * dx + dy * dy > 19 * 19;
                if (p != 0xFFFFFF && rim && platform::redOf(p) > 200 && platform::greenOf(p) > 200 &&
                    platform::blueOf(p) > 200)
                    ++nearWhiteOnRim;
            }
        }
    }
    EXPECT_EQ(nearWhiteOnRim, 0);
    strip->release();
}

}  // namespace
}  // namespace flanger::gui
