// Keyboard text on a real X server (a private Xvfb): keys typed through XTest reach an edit box
// through the input method, once each; Return commits, Escape restores, Backspace erases, a
// character outside ASCII arrives as UTF-8, a dead key composes in a UTF-8 host, a grab or the
// pointer resting on the field does not end the edit; and the UTF-8 reader that turns the
// method's text into keys refuses malformed bytes.
#include <gtest/gtest.h>

// Before Xlib, whose macros (None, KeyPress ...) would clash with the toolkit's names.
#include "gui/FrameView.h"
#include "gui/text/TextField.h"
#include "platform/x11/X11Platform.h"
#include "platform/x11/X11TextInput.h"

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <chrono>
#include <clocale>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "tools/common/PrivateXServer.h"

namespace flanger::platform::x11 {
namespace {

XKeyEvent plainKey() {
    XKeyEvent event{};
    event.type = KeyPress;
    return event;
}

TEST(KeysFromKeysyms, KeypadKeysAreTheMainOnesExceptEnterAndTypingKeysAreOther) {
    const struct {
        KeySym keysym;
        Key key;
    } table[] = {
        {XK_BackSpace, Key::Backspace},
        {XK_Return, Key::Return},
        {XK_KP_Enter, Key::KeypadEnter},
        {XK_Escape, Key::Escape},
        {XK_Insert, Key::Insert},
        {XK_KP_Insert, Key::Insert},
        {XK_Delete, Key::Delete},
        {XK_KP_Delete, Key::Delete},
        {XK_Home, Key::Home},
        {XK_KP_Home, Key::Home},
        {XK_End, Key::End},
        {XK_KP_End, Key::End},
        {XK_Left, Key::Left},
        {XK_KP_Left, Key::Left},
        {XK_Right, Key::Right},
        {XK_KP_Right, Key::Right},
        {XK_Up, Key::Up},
        {XK_KP_Up, Key::Up},
        {XK_Down, Key::Down},
        {XK_KP_Down, Key::Down},
        {XK_a, Key::LetterA},
        {XK_A, Key::LetterA},
        {XK_v, Key::LetterV},
        {XK_V, Key::LetterV},
        {XK_b, Key::Other},
        {XK_7, Key::Other},
        {XK_KP_7, Key::Other},
        {XK_Tab, Key::Other},
        {XK_F1, Key::Other},
        {NoSymbol, Key::Other},
    };
    for (const auto& row : table) EXPECT_EQ(keyOfKeysym(row.keysym), row.key) << "keysym " << row.keysym;
}

TEST(TextKeysFromUtf8, EveryCodePointBecomesOneKeyWithTheEventsModifiers) {
    XKeyEvent event = plainKey();
    event.state = ShiftMask;
    const char text[] = "7\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80";  // 7 é € 😀
    TextKey keys[8];
    ASSERT_EQ(appendTextKeys(text, sizeof text - 1, event, keys, 0, 8), 4);
    EXPECT_EQ(keys[0].character, U'7');
    EXPECT_EQ(keys[1].character, 0xE9u);
    EXPECT_EQ(keys[2].character, 0x20ACu);
    EXPECT_EQ(keys[3].character, 0x1F600u);
    for (const TextKey& key : keys) {
        if (key.character == 0) break;
        EXPECT_EQ(key.key, Key::Other);
        EXPECT_TRUE(key.shift);
        EXPECT_FALSE(key.control);
    }
}

TEST(TextKeysFromUtf8, MalformedBytesAreSkippedAndTheCapacityHolds) {
    const XKeyEvent event = plainKey();
    TextKey keys[8];
    // A stray continuation byte, an overlong '/', a surrogate, a value past U+10FFFF, then a cut-off é.
    const char bad[] =
        "a\x80"
        "b\xC0\xAF"
        "c\xED\xA0\x80"
        "d\xF4\x90\x80\x80"
        "e\xC3";
    const int count = appendTextKeys(bad, sizeof bad - 1, event, keys, 0, 8);
    std::u32string got;
    for (int i = 0; i < count; ++i) got += static_cast<char32_t>(keys[i].character);
    EXPECT_EQ(got, U"abcde");
    EXPECT_EQ(appendTextKeys("wxyz", 4, event, keys, 1, 3), 3);  // appends after one, stops at three
    EXPECT_EQ(keys[2].character, U'x');
}

struct Committed : gui::ValueListener {
    std::vector<std::string> texts;
    void onValueChanged(gui::Canvas*, gui::Control* control) override {
        char text[gui::text::kTextCapacity];
        static_cast<gui::text::TextField*>(control)->getText(text);
        texts.push_back(text);
    }
};

class TypedText : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (xserver.start(true)) displayName = xserver.displayName();
    }
    static void TearDownTestSuite() { xserver.stop(); }

    void SetUp() override {
        if (!flanger::testing::PrivateXServer::installed()) GTEST_SKIP() << "Xvfb is not installed";
        ASSERT_FALSE(displayName.empty()) << "Xvfb did not start";
        host = XOpenDisplay(displayName.c_str());
        ASSERT_NE(host, nullptr);
        int event = 0, error = 0, major = 0, minor = 0;
        ASSERT_TRUE(XTestQueryExtension(host, &event, &error, &major, &minor)) << "the server has no XTEST";
        parent = XCreateSimpleWindow(host, DefaultRootWindow(host), 10, 10, 200, 100, 0, 0, 0);
        XMapWindow(host, parent);
        XSync(host, False);
        XSetInputFocus(host, parent, RevertToParent, CurrentTime);
        XSync(host, False);
        localeBefore = std::setlocale(LC_ALL, nullptr);
        windowSystem = X11Platform::open(displayName.c_str());
        ASSERT_NE(windowSystem, nullptr);
        frame = new gui::FrameView({0, 0, 200, 100}, windowSystem.get(), parent, nullptr);
        ASSERT_TRUE(frame->hasWindow());
        field = new gui::text::TextField({10, 10, 120, 30}, &listener, 1, "old", nullptr, 0);
        frame->addChild(field);
        windowSystem->sync();
    }
    void TearDown() override {
        if (remapped != 0) {
            KeySym nothing[2] = {NoSymbol, NoSymbol};
            XChangeKeyboardMapping(host, remapped, 2, nothing, 1);
            XSync(host, False);
        }
        if (frame != nullptr) frame->release();
        windowSystem.reset();
        if (host != nullptr) {
            // The host's locale is its own: nothing here may have changed it.
            EXPECT_EQ(std::setlocale(LC_ALL, nullptr), localeBefore);
            XCloseDisplay(host);
        }
    }

    void openBox() {
        frame->setFocusView(field);
        field->focusGained(nullptr);
        windowSystem->sync();
        ASSERT_TRUE(field->hasWindowFocus());
    }
    // A press and release on the server's keyboard, delivered to whichever window has the focus.
    void type(KeySym keysym) {
        const KeyCode code = XKeysymToKeycode(host, keysym);
        ASSERT_NE(code, 0) << "no key types keysym " << keysym;
        XTestFakeKeyEvent(host, code, True, 0);
        XTestFakeKeyEvent(host, code, False, 0);
        XSync(host, False);
        pump();
    }
    void type(const char* digits) {
        for (const char* c = digits; *c != '\0'; ++c) type(static_cast<KeySym>(*c));
    }
    void pump() {
        for (int i = 0; i < 10; ++i) {
            windowSystem->sync();
            windowSystem->processEvents();
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    }
    // Like xdotool: puts the keysym on a keycode that has none (given back in TearDown) and
    // waits until the editor's connection has seen the new mapping. 0 when none is free.
    KeyCode mapSpareKey(KeySym keysym) {
        int minCode = 0, maxCode = 0;
        XDisplayKeycodes(host, &minCode, &maxCode);
        int perCode = 0;
        KeySym* map =
            XGetKeyboardMapping(host, static_cast<KeyCode>(minCode), maxCode - minCode + 1, &perCode);
        if (map == nullptr) return 0;
        int spare = 0;
        for (int code = maxCode; code >= minCode && spare == 0; --code) {
            bool empty = true;
            for (int i = 0; i < perCode; ++i)
                empty = empty && map[(code - minCode) * perCode + i] == NoSymbol;
            if (empty) spare = code;
        }
        XFree(map);
        if (spare == 0) return 0;
        KeySym symbols[2] = {keysym, keysym};
        XChangeKeyboardMapping(host, spare, 2, symbols, 1);
        XSync(host, False);
        remapped = static_cast<KeyCode>(spare);
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        pump();
        return remapped;
    }
    void typeCode(KeyCode code) {
        XTestFakeKeyEvent(host, code, True, 0);
        XTestFakeKeyEvent(host, code, False, 0);
        XSync(host, False);
        pump();
    }
    std::string boxText() const {
        return field->isEditing() ? field->editBox()->text() : std::string("(closed)");
    }

    static inline flanger::testing::PrivateXServer xserver;
    static inline std::string displayName;
    std::string localeBefore;
    Display* host = nullptr;
    KeyCode remapped = 0;
    ::Window parent = 0;
    std::unique_ptr<X11Platform> windowSystem;
    gui::FrameView* frame = nullptr;
    gui::text::TextField* field = nullptr;
    Committed listener;
};

TEST_F(TypedText, TheHostsLocaleOpensAnInputMethodWithoutBeingChanged) {
    // The default C locale of a host that never set one is one Xlib supports.
    ::Window window = XCreateSimpleWindow(host, DefaultRootWindow(host), 0, 0, 10, 10, 0, 0, 0);
    InputContext input;
    EXPECT_TRUE(input.open(host, window));
    EXPECT_TRUE(input.active());
    EXPECT_NE(input.filterEvents() & KeyPressMask, 0);
    input.setFocus(true);
    input.setFocus(false);
    input.close(true);
    EXPECT_FALSE(input.active());
    XDestroyWindow(host, window);
    XSync(host, False);
}

TEST_F(TypedText, SeventyAndReturnCommitsOnceAndHostCopiesAreNotTypedAgain) {
    openBox();
    type("7");
    // The host forwards the same key through effEditKeyDown: taken (1) but not typed twice.
    EXPECT_EQ(frame->onKeyPress({'7', 0, 0}), 1);
    type("0");
    EXPECT_EQ(frame->onKeyPress({'0', 0, 0}), 1);
    EXPECT_EQ(boxText(), "70");
    type(XK_Return);
    EXPECT_FALSE(field->isEditing());
    EXPECT_TRUE(field->endedByEnter());
    EXPECT_EQ(listener.texts, std::vector<std::string>{"70"});
    EXPECT_EQ(windowSystem->errorCount(), 0);
}

TEST_F(TypedText, APointerRestingOnTheFieldDoesNotEndTheEditWhenTheFocusArrives) {
    // As after the opening click: the focus moving in from the host's window tells the window
    // under the pointer FocusOut (NotifyPointer), which is no loss of focus.
    XTestFakeMotionEvent(host, -1, 10 + 30, 10 + 20, 0);
    XSync(host, False);
    pump();
    openBox();
    pump();
    ASSERT_TRUE(field->isEditing());
    type("9");
    type(XK_Return);
    EXPECT_EQ(listener.texts, std::vector<std::string>{"9"});
}

TEST_F(TypedText, EscapeRestoresTheTextAndReportsNothing) {
    openBox();
    type("12");
    EXPECT_EQ(boxText(), "12");
    type(XK_Escape);
    EXPECT_FALSE(field->isEditing());
    char text[gui::text::kTextCapacity];
    field->getText(text);
    EXPECT_STREQ(text, "old");
    EXPECT_TRUE(listener.texts.empty());
}

TEST_F(TypedText, BackspaceErasesTheLastCharacter) {
    openBox();
    type("75");
    type(XK_BackSpace);
    type("0");
    EXPECT_EQ(boxText(), "70");
    type(XK_KP_Enter);
    EXPECT_EQ(listener.texts, std::vector<std::string>{"70"});
}

TEST_F(TypedText, ACharacterBeyondAsciiArrivesAsUtf8) {
    const KeyCode spare = mapSpareKey(XK_eacute);
    ASSERT_NE(spare, 0) << "no free keycode to map";
    openBox();
    typeCode(spare);
    type(XK_Return);
    EXPECT_EQ(listener.texts, std::vector<std::string>{"\xC3\xA9"});
}

TEST_F(TypedText, ADeadKeyComposesThroughTheInputMethodOfAUtf8Host) {
    // A host that set a UTF-8 locale gets the user's compose rules: dead acute, then e, types é
    // (the keysym path alone would type nothing for the dead key and a plain e).
    const std::string saved = std::setlocale(LC_CTYPE, nullptr);
    if (std::setlocale(LC_CTYPE, "C.UTF-8") == nullptr) GTEST_SKIP() << "the C.UTF-8 locale is not installed";
    const KeyCode spare = mapSpareKey(XK_dead_acute);
    openBox();
    typeCode(spare);
    type(XK_e);
    type(XK_Return);
    std::setlocale(LC_CTYPE, saved.c_str());
    ASSERT_NE(spare, 0) << "no free keycode to map";
    EXPECT_EQ(listener.texts, std::vector<std::string>{"\xC3\xA9"});
}

TEST_F(TypedText, AKeyboardGrabDoesNotEndTheEditButFocusGoingElsewhereCommits) {
    openBox();
    type("4");
    // A window manager or a popup grabbing the keyboard for a while: FocusOut with mode grab.
    ASSERT_EQ(XGrabKeyboard(host, parent, False, GrabModeAsync, GrabModeAsync, CurrentTime), GrabSuccess);
    XSync(host, False);
    pump();
    XUngrabKeyboard(host, CurrentTime);
    XSync(host, False);
    pump();
    ASSERT_TRUE(field->isEditing());
    type("2");
    EXPECT_EQ(boxText(), "42");
    XSetInputFocus(host, parent, RevertToParent, CurrentTime);
    XSync(host, False);
    pump();
    EXPECT_FALSE(field->isEditing());
    EXPECT_EQ(listener.texts, std::vector<std::string>{"42"});
}

}  // namespace
}  // namespace flanger::platform::x11
