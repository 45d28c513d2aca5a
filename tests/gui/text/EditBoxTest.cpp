// The edit box alone: the 8-bit form text is drawn in, horizontal scroll, keys it refuses.
#include <gtest/gtest.h>

#include <string>

#include "gui/text/EditBox.h"

namespace flanger::gui::text {
namespace {

EditBox makeBox(const char* text, int width = 40) {
    return EditBox({0, 0, width, 20}, text, 0, makeFontRequest(3, 0, 0), colors::white, colors::black);
}

TEST(EditBoxText, DrawsUtf8AsLatin1AndKeepsBadBytes) {
    EXPECT_EQ(toDrawable("a\xC3\xA9z"), "a\xE9z");
    EXPECT_EQ(toDrawable("\xE2\x82\xAC"), "?");             // beyond U+00FF
    EXPECT_EQ(toDrawable("\xE9\xFF\xC3"), "\xE9\xFF\xC3");  // not UTF-8: the bytes themselves
}

TEST(EditBoxText, RefusesControlCharactersSurrogatesAndUnknownKeys) {
    EditBox box = makeBox("");
    EXPECT_EQ(box.key(editKeyFromHost({7, 0, 0})), EditBox::Outcome::Ignored);    // a bell
    EXPECT_EQ(box.key(editKeyFromHost({0, 200, 0})), EditBox::Outcome::Ignored);  // unknown virtual key
    EXPECT_EQ(box.key(editKeyFromHost({'q', 0, 4})), EditBox::Outcome::Ignored);  // Control+Q
    box.key({EditKey::Kind::Character, 0xD800, false});
    box.key({EditKey::Kind::Character, 0x110000, false});
    EXPECT_EQ(box.text(), "");
    box.key({EditKey::Kind::Character, 0x1F600, false});
    EXPECT_EQ(box.text().size(), 4u);
    box.key(editKeyFromHost({0, kVirtualBack, 0}));
    EXPECT_EQ(box.text(), "") << "one Backspace removes the whole character";
}

TEST(EditBoxText, ScrollsToKeepTheCaretInView) {
    EditBox box = makeBox("", 40);
    box.insert(std::string(60, 'w'));
    EXPECT_GT(box.scrollOffset(), 0);
    box.key(editKeyFromHost({0, kVirtualHome, 0}));
    EXPECT_EQ(box.scrollOffset(), 0);
    box.key(editKeyFromHost({0, kVirtualEnd, 1}));
    EXPECT_EQ(box.selectionStart(), 0u);
    EXPECT_EQ(box.selectionEnd(), 60u);
    EXPECT_GT(box.scrollOffset(), 0);
}

}  // namespace
}  // namespace flanger::gui::text
