// The Windows module's editor as a Windows host sees it before any window exists: it is
// advertised with its size, and a handle that is no window is refused harmlessly.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "tools/common/TestHost.h"

namespace flanger {
namespace {

TEST(WindowsModule, OffersItsEditorAndRefusesAHandleThatIsNoWindow) {
    std::string error;
    auto plugin = tools::PluginInstance::load(FLANGER_MODULE_PATH, {}, &error);
    ASSERT_TRUE(plugin && plugin->isOpen()) << error;
    plugin->open();
    EXPECT_TRUE(plugin->hasFlag(vst::effFlagsHasEditor));
    vst::ERect* rect = nullptr;
    ASSERT_EQ(plugin->dispatch(vst::effEditGetRect, 0, 0, &rect), 1);
    ASSERT_NE(rect, nullptr);
    EXPECT_EQ(rect->right - rect->left, 370);
    EXPECT_EQ(rect->bottom - rect->top, 216);
    // A host's pointer to something that is not a window: no editor, and nothing breaks after.
    int fakeWindow = 0;
    EXPECT_EQ(plugin->dispatch(vst::effEditOpen, 0, 0, &fakeWindow), 0);
    EXPECT_EQ(plugin->dispatch(vst::effEditIdle), 0);
    plugin->dispatch(vst::effEditClose);
    EXPECT_EQ(plugin->close(), 1);
}

}  // namespace
}  // namespace flanger
