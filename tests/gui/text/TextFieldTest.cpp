// Text field and its edit box: opening clicks, double-click style, keys by the host path,
// commit, cancel, paste, the byte limit, and the edit notifications around the listener.
#include <gtest/gtest.h>

#include <string>

#include "gui/text/TextField.h"
#include "tests/controls/ControlTestSupport.h"

namespace flanger::gui::text {
namespace {

using testing::ControlFixture;

KeyCode character(char c) {
    return {static_cast<unsigned char>(c), 0, 0};
}
KeyCode virtualKey(std::uint8_t virt, std::uint8_t modifier = 0) {
    return {0, virt, modifier};
}

// Records the listener's call among the editor's begin/end edits.
struct OrderListener : ValueListener {
    testing::PathEditor* editor = nullptr;
    std::vector<std::string> texts;
    void onValueChanged(Canvas*, Control* control) override {
        editor->edits.push_back({'L', 0});
        char text[kTextCapacity];
        static_cast<TextField*>(control)->getText(text);
        texts.push_back(text);
    }
};

struct NoteCounter : View {
    using View::View;
    int notes = 0;
    int receiveNote(View*, const char* message) override {
        notes += std::string(message) == "LooseFocus";
        return 0;
    }
};

class TextFieldTest : public ControlFixture {
protected:
    void SetUp() override {
        ControlFixture::SetUp();
        order.editor = &editor;
        field = new TextField({20, 20, 100, 40}, &order, 5, "old", nullptr, 0);
        frame->addChild(field);
    }
    void type(const std::string& text) {
        for (char c : text) EXPECT_EQ(frame->onKeyPress(character(c)), 1);
    }
    std::string text() const { return field->textData(); }

    OrderListener order;
    TextField* field = nullptr;
};

TEST_F(TextFieldTest, ClickOpensTheBoxWithEverythingSelected) {
    press({50, 30});
    ASSERT_TRUE(field->isEditing());
    EXPECT_EQ(frame->focusView(), field);
    EditBox* box = field->editBox();
    EXPECT_EQ(box->text(), "old");
    EXPECT_EQ(box->selectionStart(), 0u);
    EXPECT_EQ(box->selectionEnd(), 3u);
    EXPECT_EQ(box->area(), (Rect{20, 20, 101, 41}));
}

TEST_F(TextFieldTest, ReturnCommitsAndTheListenerIsInsideEditStartAndEnd) {
    press({50, 30});
    editor.edits.clear();
    type("new");
    EXPECT_EQ(frame->onKeyPress(virtualKey(kVirtualReturn)), 1);
    EXPECT_FALSE(field->isEditing());
    EXPECT_EQ(frame->focusView(), nullptr);
    EXPECT_EQ(text(), "new");
    ASSERT_EQ(order.texts, std::vector<std::string>{"new"});
    const std::vector<std::pair<char, int>> expected{{'b', 5}, {'L', 0}, {'e', 5}};
    EXPECT_EQ(editor.edits, expected);
}

TEST_F(TextFieldTest, KeypadEnterAndAPressElsewhereCommitToo) {
    press({50, 30});
    type("x");
    frame->onKeyPress(virtualKey(kVirtualEnter));
    EXPECT_EQ(text(), "x");
    press({50, 30});
    type("y");
    press({200, 200});  // outside: the frame ends the focus before it routes the click
    EXPECT_FALSE(field->isEditing());
    EXPECT_EQ(text(), "y");
    EXPECT_EQ(order.texts.size(), 2u);
}

TEST_F(TextFieldTest, EscapeRestoresTheOldTextWithoutTellingTheListener) {
    press({50, 30});
    type("typed");
    frame->onKeyPress(virtualKey(kVirtualEscape));
    EXPECT_FALSE(field->isEditing());
    EXPECT_EQ(text(), "old");
    EXPECT_TRUE(order.texts.empty());
}

TEST_F(TextFieldTest, EveryKeyIsTakenWhileEditingAndNoneOtherwise) {
    EXPECT_EQ(frame->onKeyPress(virtualKey(kVirtualSpace)), -1);
    press({50, 30});
    EXPECT_EQ(frame->onKeyPress(virtualKey(kVirtualSpace)), 1);
    EXPECT_EQ(frame->onKeyPress({0, 200, 0}), 1);  // unknown key
    EXPECT_EQ(frame->onKeyRelease(virtualKey(kVirtualSpace)), 1);
    EXPECT_EQ(field->editBox()->text(), " ");
}

TEST_F(TextFieldTest, CaretKeysSelectionAndDeletion) {
    press({50, 30});
    frame->onKeyPress(virtualKey(kVirtualEnd));
    frame->onKeyPress(virtualKey(kVirtualBack));
    EXPECT_EQ(field->editBox()->text(), "ol");
    frame->onKeyPress(virtualKey(kVirtualHome));
    frame->onKeyPress(virtualKey(kVirtualDelete));
    EXPECT_EQ(field->editBox()->text(), "l");
    type("ab");
    frame->onKeyPress(virtualKey(kVirtualLeft, 1));  // Shift+Left selects "b"
    type("c");
    EXPECT_EQ(field->editBox()->text(), "acl");
    frame->onKeyPress({'a', 0, 4});  // Control+A
    type("z");
    EXPECT_EQ(field->editBox()->text(), "z");
}

TEST_F(TextFieldTest, PasteTakesTheFirstLineByEitherKey) {
    headless.setClipboardText("pasted\nsecond line");
    press({50, 30});
    frame->onKeyPress({'v', 0, 8});  // Control+V (some hosts send 8 for Control)
    EXPECT_EQ(field->editBox()->text(), "pasted");
    frame->onKeyPress(virtualKey(kVirtualInsert, 1));  // Shift+Insert
    EXPECT_EQ(field->editBox()->text(), "pastedpasted");
    headless.setClipboardText(std::string("bin\0ary", 7));
    frame->onKeyPress({'a', 0, 4});
    frame->onKeyPress({'v', 0, 4});
    EXPECT_EQ(field->editBox()->text(), "bin ary");
    headless.clearClipboard();
    frame->onKeyPress({'v', 0, 4});
    EXPECT_EQ(field->editBox()->text(), "bin ary");
}

TEST_F(TextFieldTest, TextStopsAt255BytesOnACharacterBoundary) {
    press({50, 30});
    headless.setClipboardText(std::string(254, 'a'));
    frame->onKeyPress({'v', 0, 4});
    frame->onKeyPress({0xE9, 0, 0});  // é: two bytes, does not fit
    EXPECT_EQ(field->editBox()->text().size(), 254u);
    type("b");
    frame->onKeyPress({'c', 0, 0});
    EXPECT_EQ(field->editBox()->text().size(), 255u);
    frame->onKeyPress(virtualKey(kVirtualReturn));
    EXPECT_EQ(text().size(), 255u);
}

TEST_F(TextFieldTest, EndingTheEditNotifiesTheParentOrElseTheFrame) {
    auto* parent = new NoteCounter({0, 0, 1, 1});
    field->setParentView(parent);
    press({50, 30});
    frame->onKeyPress(virtualKey(kVirtualReturn));
    EXPECT_EQ(parent->notes, 1);
    field->setParentView(nullptr);
    parent->release();
}

TEST_F(TextFieldTest, DoubleClickStyleOpensOnlyOnTheSecondClick) {
    field->setStyleBits(static_cast<std::int32_t>(kDoubleClickToEdit));
    // Just before the tick counter wraps: the interval must still count as short.
    headless.setTickCount(0xFFFFFF00u);
    editor.edits.clear();
    press({50, 30});
    EXPECT_FALSE(field->isEditing());
    EXPECT_EQ(editor.edits.size(), 2u) << "a single click still sends edit start and end";
    headless.setTickCount(0x10u);
    press({50, 30});
    EXPECT_TRUE(field->isEditing());
    frame->onKeyPress(virtualKey(kVirtualEscape));
    // The double-click was used up: the third click is a new first click.
    headless.setTickCount(0x20u);
    press({50, 30});
    EXPECT_FALSE(field->isEditing());
    headless.setTickCount(0x20u + field->doubleClickMs());
    press({50, 30});
    EXPECT_FALSE(field->isEditing()) << "too slow for a double-click";
}

TEST_F(TextFieldTest, TheOpenBoxIsDrawnWithCaretOrSelectionInsteadOfTheField) {
    field->setTextInk(colors::white);
    field->setBoxColor(colors::black);
    press({50, 30});
    frame->idle();
    // All selected: the selection is a block of the font colour behind the text.
    int white = 0;
    for (int x = 21; x < 100; ++x) white += pixels().pixel(x, 30) == colors::white.pixel();
    EXPECT_GT(white, 5);
    frame->onKeyPress(virtualKey(kVirtualEnd));
    frame->idle();
    EXPECT_FALSE(field->editBox()->hasSelection());
}

TEST_F(TextFieldTest, APressInsideTheBoxMovesTheCaretAndADragSelects) {
    press({50, 30});
    press({21, 30});  // at the left end of the text
    ASSERT_TRUE(field->isEditing()) << "a press inside the box does not end the edit";
    EXPECT_EQ(frame->focusView(), field);
    EXPECT_EQ(field->editBox()->caret(), 0u);
    EXPECT_FALSE(field->editBox()->hasSelection());
    press({21, 30}, {{{99, 30}}});
    EXPECT_EQ(field->editBox()->selectionStart(), 0u);
    EXPECT_EQ(field->editBox()->selectionEnd(), 3u);
    EXPECT_TRUE(order.texts.empty());
}

platform::TextKey windowKey(platform::Key key, std::uint32_t character = 0, bool control = false) {
    return {key, character, false, control};
}

TEST_F(TextFieldTest, WindowKeysTypeOnceAndTheFocusIsGivenBack) {
    window->setTakesTextFocus(true);
    press({50, 30});
    ASSERT_TRUE(field->hasWindowFocus());
    EXPECT_TRUE(window->hasTextFocus());
    window->postTextKey(windowKey(platform::Key::Other, '4'));
    EXPECT_EQ(frame->onKeyPress(character('4')), 1);             // the host forwards the same key: ignored
    window->postTextKey(windowKey(platform::Key::Other, 0xE9));  // é, typed as two UTF-8 bytes
    headless.processEvents();
    EXPECT_EQ(field->editBox()->text(), "4\xC3\xA9");
    window->postTextKey(windowKey(platform::Key::KeypadEnter));
    headless.processEvents();
    EXPECT_FALSE(field->isEditing());
    EXPECT_FALSE(window->hasTextFocus());
    EXPECT_EQ(order.texts, std::vector<std::string>{"4\xC3\xA9"});
}

TEST_F(TextFieldTest, WindowFocusLossCommitsAndWindowEscapeCancels) {
    window->setTakesTextFocus(true);
    press({50, 30});
    window->postTextKey(windowKey(platform::Key::Other, 'n'));
    window->postFocusOut();
    headless.processEvents();
    EXPECT_FALSE(field->isEditing());
    EXPECT_EQ(text(), "n");
    press({50, 30});
    headless.setClipboardText("clip");
    window->postTextKey(windowKey(platform::Key::LetterV, 'v', true));
    window->postTextKey(windowKey(platform::Key::Escape));
    headless.processEvents();
    EXPECT_EQ(text(), "n");
    EXPECT_EQ(order.texts.size(), 1u);
}

TEST_F(TextFieldTest, PasteByWindowKeys) {
    window->setTakesTextFocus(true);
    headless.setClipboardText("abc\r\nmore");
    press({50, 30});
    window->postTextKey({platform::Key::Insert, 0, true, false});  // Shift+Insert
    window->postTextKey(windowKey(platform::Key::Return));
    headless.processEvents();
    EXPECT_EQ(text(), "abc");
}

}  // namespace
}  // namespace flanger::gui::text
