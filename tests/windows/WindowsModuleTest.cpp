// The Windows module as a Windows host sees it while it has no editor: nothing advertises one and
// every editor request is answered as "none", whatever window handle the host passes.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "tools/common/TestHost.h"

namespace flanger {
namespace {

TEST(WindowsModule, OffersNoEditorAndRefusesToOpenOne) {
    std::string error;
    auto plugin = tools::PluginInstance::load(FLANGER_MODULE_PATH, {}, &error);
    ASSERT_TRUE(plugin && plugin->isOpen()) << error;
    plugin->open();
    EXPECT_FALSE(plugin->hasFlag(vst::effFlagsHasEditor));
    vst::ERect* rect = nullptr;
    EXPECT_EQ(plugin->dispatch(vst::effEditGetRect, 0, 0, &rect), 0);
    EXPECT_EQ(rect, nullptr);
    // A host that opens anyway passes its window's handle: any value must be refused harmlessly.
    int fakeWindow = 0;
    EXPECT_EQ(plugin->dispatch(vst::effEditOpen, 0, 0, &fakeWindow), 0);
    EXPECT_EQ(plugin->dispatch(vst::effEditIdle), 0);
    EXPECT_EQ(plugin->dispatch(vst::effEditClose), 0);
    EXPECT_EQ(plugin->close(), 1);
}

}  // namespace
}  // namespace flanger
