// The skin bitmaps (both scales) read back from a Windows program's bitmap resources: byte for
// byte the BMP files the generator drew, though the system keeps them without their file header.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/win32/Win32Module.h"
#include "resources/ModuleResources.h"
#include "resources/SkinBitmaps.h"

namespace flanger::resources {
namespace {

std::vector<unsigned char> generatedFile(int id) {
    std::ifstream in(std::string(FLANGER_SKIN_DIR) + "/" + std::to_string(id) + ".bmp", std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(SkinResources, GiveBackTheGeneratedFilesByIdAndNothingElse) {
    EXPECT_EQ(findResource(ResourceKind::Bitmap, kFirstSkinBitmap).size, 0u);  // no reader yet
    setPackedBitmapReader(&platform::win32::moduleBitmap);
    for (int first : {kFirstSkinBitmap, kFirstSkinBitmap + kDoubleScaleIdOffset}) {
        for (int id = first; id < first + kSkinBitmapCount; ++id) {
            const std::vector<unsigned char> expected = generatedFile(id);
            ASSERT_GT(expected.size(), 54u) << id;
            const ResourceBytes bytes = findResource(ResourceKind::Bitmap, id);
            ASSERT_EQ(bytes.size, expected.size()) << id;
            EXPECT_EQ(std::vector<unsigned char>(bytes.data, bytes.data + bytes.size), expected) << id;
            EXPECT_EQ(findResource(ResourceKind::Bitmap, id).data, bytes.data) << "made once, then kept";
        }
        EXPECT_EQ(findResource(ResourceKind::Bitmap, first - 1).data, nullptr);
        EXPECT_EQ(findResource(ResourceKind::Bitmap, first + kSkinBitmapCount).size, 0u);
    }
}

}  // namespace
}  // namespace flanger::resources
