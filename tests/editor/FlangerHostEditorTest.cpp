// flanger-host --editor as a user runs it: under a private Xvfb it shows the flanger's editor in
// a top-level window of its own and exits cleanly when the window manager asks it to close, when
// another client destroys the window, and on Ctrl+C or SIGTERM; the options the idle benchmark
// uses (idle period, animation, the host alone, CPU report) work.
#include <gtest/gtest.h>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>
#include "tools/common/PrivateXServer.h"

extern char** environ;

namespace {

constexpr const char* kXvfb = flanger::testing::PrivateXServer::kProgram;

// Waits up to timeoutMs for the process; its exit status, or -1 (then it is killed).
int waitExit(pid_t pid, int timeoutMs) {
    for (int waited = 0; waited < timeoutMs; waited += 10) {
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : -2;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    return -1;
}

// Standard output goes to outputPath and standard error to errorPath when they are given.
pid_t spawnTool(const std::vector<std::string>& arguments, const std::string& display,
                const std::string& outputPath = {}, const std::string& errorPath = {}) {
    std::vector<char*> argv;
    for (const std::string& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    std::vector<std::string> environment;
    for (char** e = environ; *e != nullptr; ++e)
        if (std::strncmp(*e, "DISPLAY=", 8) != 0) environment.emplace_back(*e);
    if (!display.empty()) environment.push_back("DISPLAY=" + display);
    std::vector<char*> envp;
    for (const std::string& e : environment) envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (!outputPath.empty())
        posix_spawn_file_actions_addopen(&actions, 1, outputPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (!errorPath.empty())
        posix_spawn_file_actions_addopen(&actions, 2, errorPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    // A test run started in the background inherits SIGINT ignored; the tool must see it as a user's.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGINT);
    sigaddset(&defaults, SIGTERM);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, argv[0], &actions, &attributes, argv.data(), envp.data());
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    return spawned == 0 ? pid : -1;
}

class FlangerHostEditor : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (xserver.start()) displayName = xserver.displayName();
    }
    static void TearDownTestSuite() { xserver.stop(); }
    static inline flanger::testing::PrivateXServer xserver;
    static inline std::string displayName;
};

// The top-level window whose title starts with "flanger-host:", or 0.
::Window findToolWindow(Display* display) {
    ::Window root = 0, parent = 0, *children = nullptr;
    unsigned count = 0;
    ::Window found = 0;
    if (XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count) == 0) return 0;
    for (unsigned i = 0; i < count && found == 0; ++i) {
        char* name = nullptr;
        if (XFetchName(display, children[i], &name) != 0 && name != nullptr) {
            if (std::strncmp(name, "flanger-host:", 13) == 0) found = children[i];
            XFree(name);
        }
    }
    if (children != nullptr) XFree(children);
    return found;
}

// The tool's window, waited for up to 5 s.
::Window waitForToolWindow(Display* display) {
    ::Window window = 0;
    for (int i = 0; i < 500 && window == 0; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        window = findToolWindow(display);
    }
    return window;
}

// The windows inside the tool's window (the editor's, once it is open).
std::vector<::Window> childrenOf(Display* display, ::Window window) {
    ::Window root = 0, parent = 0, *children = nullptr;
    unsigned count = 0;
    std::vector<::Window> found;
    if (XQueryTree(display, window, &root, &parent, &children, &count) != 0)
        found.assign(children, children + count);
    if (children != nullptr) XFree(children);
    return found;
}

std::vector<unsigned long> windowPixels(Display* display, ::Window window) {
    std::vector<unsigned long> pixels;
    XImage* image = XGetImage(display, window, 0, 0, 370, 216, AllPlanes, ZPixmap);
    if (image == nullptr) return pixels;
    for (int y = 0; y < 216; ++y)
        for (int x = 0; x < 370; ++x) pixels.push_back(XGetPixel(image, x, y));
    XDestroyImage(image);
    return pixels;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST_F(FlangerHostEditor, ShowsTheEditorAndClosesWhenTheWindowIsClosed) {
    if (!std::filesystem::exists(kXvfb)) GTEST_SKIP() << "Xvfb is not installed";
    ASSERT_FALSE(displayName.empty());
    Display* display = XOpenDisplay(displayName.c_str());
    ASSERT_NE(display, nullptr);
    const pid_t tool = spawnTool({FLANGER_HOST_TOOL, "--editor", FLANGER_MODULE_PATH}, displayName);
    ASSERT_GT(tool, 0);

    ::Window window = 0;
    for (int i = 0; i < 500 && window == 0; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        window = findToolWindow(display);
    }
    ASSERT_NE(window, 0u) << "no editor window appeared";
    // The editor's child window sits inside, at the editor's size.
    unsigned editorWidth = 0, editorHeight = 0;
    for (int i = 0; i < 200 && editorWidth == 0; ++i) {
        ::Window root = 0, parent = 0, *children = nullptr;
        unsigned count = 0;
        if (XQueryTree(display, window, &root, &parent, &children, &count) != 0 && count == 1) {
            XWindowAttributes attributes;
            if (XGetWindowAttributes(display, children[0], &attributes) != 0) {
                editorWidth = static_cast<unsigned>(attributes.width);
                editorHeight = static_cast<unsigned>(attributes.height);
            }
        }
        if (children != nullptr) XFree(children);
        if (editorWidth == 0) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_EQ(editorWidth, 370u);
    EXPECT_EQ(editorHeight, 216u);

    // What a window manager sends when the user closes the window.
    XEvent close{};
    close.xclient.type = ClientMessage;
    close.xclient.window = window;
    close.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    close.xclient.format = 32;
    close.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
    close.xclient.data.l[1] = CurrentTime;
    XSendEvent(display, window, False, NoEventMask, &close);
    XFlush(display);
    EXPECT_EQ(waitExit(tool, 10000), 0);
    XCloseDisplay(display);
}

// The tool with --parameters, once its editor is open: its process, its window and where its
// output goes.
struct OpenEditorRun {
    pid_t tool = -1;
    ::Window window = 0;
    std::string output;
    std::string errors;
};

OpenEditorRun startWithOpenEditor(Display* display, const std::string& displayName, const std::string& name) {
    OpenEditorRun run;
    run.output = ::testing::TempDir() + name + ".out";
    run.errors = ::testing::TempDir() + name + ".err";
    run.tool = spawnTool({FLANGER_HOST_TOOL, "--editor", FLANGER_MODULE_PATH, "--parameters"}, displayName,
                         run.output, run.errors);
    if (run.tool <= 0) return run;
    run.window = waitForToolWindow(display);
    for (int i = 0; i < 200 && run.window != 0 && childrenOf(display, run.window).size() != 1; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return run;
}

// However the run ends, the editor is closed through the plug-in and what was asked is printed.
void expectTidyEnd(const OpenEditorRun& run) {
    const std::string output = readFile(run.output);
    const std::string errors = readFile(run.errors);
    EXPECT_NE(output.find("parameters:"), std::string::npos) << output;
    EXPECT_NE(output.find("Feedback"), std::string::npos) << output;
    EXPECT_EQ(errors.find("X error"), std::string::npos) << errors;
}

TEST_F(FlangerHostEditor, CtrlCAndSigtermCloseTheEditorAndStillPrintTheParameters) {
    if (!std::filesystem::exists(kXvfb)) GTEST_SKIP() << "Xvfb is not installed";
    ASSERT_FALSE(displayName.empty());
    Display* display = XOpenDisplay(displayName.c_str());
    ASSERT_NE(display, nullptr);
    // 130 tells a shell the run was interrupted; SIGTERM is a request to stop, and it did.
    for (const auto& [signalNumber, exitCode] : {std::pair{SIGINT, 130}, std::pair{SIGTERM, 0}}) {
        const OpenEditorRun run = startWithOpenEditor(display, displayName, "flanger-host-signal");
        ASSERT_GT(run.tool, 0);
        ASSERT_NE(run.window, 0u);
        kill(run.tool, signalNumber);
        EXPECT_EQ(waitExit(run.tool, 10000), exitCode) << signalNumber;
        expectTidyEnd(run);
    }
    XCloseDisplay(display);
}

TEST_F(FlangerHostEditor, AWindowDestroyedByAnotherClientEndsTheRunWithoutAnXError) {
    if (!std::filesystem::exists(kXvfb)) GTEST_SKIP() << "Xvfb is not installed";
    ASSERT_FALSE(displayName.empty());
    Display* display = XOpenDisplay(displayName.c_str());
    ASSERT_NE(display, nullptr);
    const OpenEditorRun run = startWithOpenEditor(display, displayName, "flanger-host-destroyed");
    ASSERT_GT(run.tool, 0);
    ASSERT_NE(run.window, 0u);
    XDestroyWindow(display, run.window);  // what xdotool windowclose does
    XFlush(display);
    EXPECT_EQ(waitExit(run.tool, 10000), 0);
    expectTidyEnd(run);
    XCloseDisplay(display);
}

TEST_F(FlangerHostEditor, AnimatesAParameterAtTheAskedIdlePeriodAndReportsItsCpu) {
    if (!std::filesystem::exists(kXvfb)) GTEST_SKIP() << "Xvfb is not installed";
    ASSERT_FALSE(displayName.empty());
    Display* display = XOpenDisplay(displayName.c_str());
    ASSERT_NE(display, nullptr);
    const std::string output = ::testing::TempDir() + "flanger-host-animate.out";
    const pid_t tool = spawnTool({FLANGER_HOST_TOOL, "--editor", FLANGER_MODULE_PATH, "--seconds", "3",
                                  "--idle-ms", "10", "--animate", "depth", "--cpu"},
                                 displayName, output);
    ASSERT_GT(tool, 0);
    const ::Window window = waitForToolWindow(display);
    ASSERT_NE(window, 0u);
    std::vector<::Window> editor;
    for (int i = 0; i < 200 && editor.size() != 1; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        editor = childrenOf(display, window);
    }
    ASSERT_EQ(editor.size(), 1u);
    // The depth knob keeps moving: two looks a little apart differ.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const auto first = windowPixels(display, editor[0]);
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    const auto second = windowPixels(display, editor[0]);
    ASSERT_FALSE(first.empty());
    EXPECT_NE(first, second);
    EXPECT_EQ(waitExit(tool, 20000), 0);
    const std::string report = readFile(output);
    EXPECT_NE(report.find("cpu: "), std::string::npos) << report;
    EXPECT_NE(report.find("idle periods of 10 ms"), std::string::npos) << report;
    XCloseDisplay(display);
}

TEST_F(FlangerHostEditor, WithoutOpeningShowsTheEmptyWindowAndNeverTheEditor) {
    if (!std::filesystem::exists(kXvfb)) GTEST_SKIP() << "Xvfb is not installed";
    ASSERT_FALSE(displayName.empty());
    Display* display = XOpenDisplay(displayName.c_str());
    ASSERT_NE(display, nullptr);
    const pid_t tool = spawnTool(
        {FLANGER_HOST_TOOL, "--editor", FLANGER_MODULE_PATH, "--no-open", "--seconds", "1.5"}, displayName);
    ASSERT_GT(tool, 0);
    const ::Window window = waitForToolWindow(display);
    ASSERT_NE(window, 0u);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_TRUE(childrenOf(display, window).empty());
    EXPECT_EQ(waitExit(tool, 10000), 0);
    XCloseDisplay(display);
}

TEST_F(FlangerHostEditor, RefusesUnknownOptionsBadValuesAndUnknownParameters) {
    if (!std::filesystem::exists(kXvfb)) GTEST_SKIP() << "Xvfb is not installed";
    ASSERT_FALSE(displayName.empty());
    const std::vector<std::vector<std::string>> usageErrors = {
        {"--idle-ms", "0"}, {"--idle-ms", "2.5"}, {"--seconds", "-1"}, {"--animate"}, {"--frobnicate"}};
    for (const auto& extra : usageErrors) {
        std::vector<std::string> arguments = {FLANGER_HOST_TOOL, "--editor", FLANGER_MODULE_PATH};
        arguments.insert(arguments.end(), extra.begin(), extra.end());
        const pid_t tool = spawnTool(arguments, displayName, "/dev/null");
        ASSERT_GT(tool, 0);
        EXPECT_EQ(waitExit(tool, 10000), 2) << extra[0];
    }
    const pid_t tool = spawnTool(
        {FLANGER_HOST_TOOL, "--editor", FLANGER_MODULE_PATH, "--animate", "Nonexistent", "--seconds", "1"},
        displayName);
    ASSERT_GT(tool, 0);
    EXPECT_EQ(waitExit(tool, 10000), 1);
}

TEST(FlangerHostEditorWithoutDisplay, SaysSoAndFails) {
    const pid_t tool = spawnTool({FLANGER_HOST_TOOL, "--editor", FLANGER_MODULE_PATH}, "");
    ASSERT_GT(tool, 0);
    EXPECT_EQ(waitExit(tool, 10000), 1);
}

}  // namespace
