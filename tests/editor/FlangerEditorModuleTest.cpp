// The flanger editor as a host meets it through the built module, without a display: the
// record's flags, the rectangle before open, and refusals that must not crash.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "tools/common/TestHost.h"

namespace flanger {
namespace {

using tools::PluginInstance;

class FlangerEditorModule : public ::testing::Test {
protected:
    void SetUp() override {
        // No server: any attempt to open a window must fail cleanly.
        unsetenv("DISPLAY");
        std::string error;
        plugin = PluginInstance::load(FLANGER_MODULE_PATH, {}, &error);
        ASSERT_TRUE(plugin && plugin->isOpen()) << error;
        plugin->open();
    }
    std::unique_ptr<PluginInstance> plugin;
};

TEST_F(FlangerEditorModule, RecordAnnouncesTheEditor) {
    EXPECT_EQ(plugin->flags(), 57);
}

TEST_F(FlangerEditorModule, RectangleBeforeOpenIsTheEditorsSize) {
    vst::ERect* rect = nullptr;
    EXPECT_EQ(plugin->dispatch(vst::effEditGetRect, 0, 0, &rect), 1);
    ASSERT_NE(rect, nullptr);
    EXPECT_EQ(rect->top, 0);
    EXPECT_EQ(rect->left, 0);
    EXPECT_EQ(rect->right, 370);
    EXPECT_EQ(rect->bottom, 216);
    EXPECT_EQ(plugin->dispatch(vst::effEditGetRect, 0, 0, nullptr), 0);
}

TEST_F(FlangerEditorModule, ClosedEditorAnswersKeysAndKnobMode) {
    EXPECT_EQ(plugin->dispatch(vst::effEditKeyDown, 0, 12, nullptr, 0.0f), 0);
    EXPECT_EQ(plugin->dispatch(vst::effEditKeyUp, 0, 12, nullptr, 0.0f), 0);
    EXPECT_EQ(plugin->dispatch(vst::effSetEditKnobMode, 0, 2), 1);
}

TEST_F(FlangerEditorModule, OpenWithoutAParentOrADisplayFailsSafely) {
    EXPECT_EQ(plugin->dispatch(vst::effEditOpen, 0, 0, nullptr), 0);
    EXPECT_EQ(plugin->dispatch(vst::effEditOpen, 0, 0, reinterpret_cast<void*>(0x400001)), 0);
    plugin->dispatch(vst::effEditIdle);
    plugin->dispatch(vst::effEditClose);
    plugin->dispatch(vst::effEditClose);
    plugin->dispatch(vst::effEditIdle);
    EXPECT_EQ(plugin->close(), 1);
}

}  // namespace
}  // namespace flanger
