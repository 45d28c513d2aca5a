// The version reader over the module's embedded block and over malformed blocks.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "resources/VersionInfo.h"
#include "resources/version/VersionBlock.h"

namespace flanger::resources {
namespace {

std::string fileVersion(const VersionInfo& info, std::size_t capacity = 64) {
    std::vector<char> text(capacity, 'x');
    info.fileVersion(text.data(), text.size());
    return text.data();
}

TEST(VersionInfo, ReadsTheModulesOwnBlock) {
    VersionInfo info;
    EXPECT_EQ(fileVersion(info), "1.1.1");
    EXPECT_EQ(fileVersion(info), resources::productVersion());
    char legal[128] = {};
    info.legalText(legal, sizeof legal);
    EXPECT_NE(std::strstr(legal, "Brackwater"), nullptr) << legal;
    EXPECT_EQ(fileVersion(info, 3), "1.");  // bounded by the caller's buffer
}

TEST(VersionInfo, MissingOrBrokenBlocksGiveEmptyTexts) {
    EXPECT_EQ(fileVersion(VersionInfo(nullptr, 0)), "");
    const unsigned char garbage[] = {0xFF, 0xFF, 0xFF, 0x7F, 1, 2, 3};
    EXPECT_EQ(fileVersion(VersionInfo(garbage, sizeof garbage)), "");
    // A block whose translation is there but whose values are cut off.
    const resources::ResourceBytes block = resources::versionBlock();
    for (std::size_t cut = 0; cut < block.size; cut += 7)
        EXPECT_NO_FATAL_FAILURE(fileVersion(VersionInfo(block.data, cut)));
}

}  // namespace
}  // namespace flanger::resources
