// The user's settings file: what one instance saves the next one reads, whatever else is in the
// file or whoever else saves at the same time; files that are not ours read as nothing saved.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "platform/UserSettings.h"

namespace flanger::platform {
namespace {

namespace fs = std::filesystem;

// The variable naming the folder the settings folder is made in, on each system.
#ifdef _WIN32
constexpr const char* kConfigHome = "APPDATA";
#else
constexpr const char* kConfigHome = "XDG_CONFIG_HOME";
#endif

class UserSettings : public ::testing::Test {
protected:
    void SetUp() override {
        root = fs::temp_directory_path() /
               ("flanger-settings-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
                "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(root);
        fs::create_directories(root);
        for (auto& [name, value, wasSet] : saved) {
            const char* now = std::getenv(name);
            wasSet = now != nullptr;
            value = wasSet ? now : "";
        }
        setVariable(kConfigHome, (root / "config").string());
        file = root / "config" / "BrackwaterFlanger" / "settings";
    }
    void TearDown() override {
        std::error_code error;
        fs::remove_all(root, error);
        for (const auto& [name, value, wasSet] : saved) {
            if (wasSet) {
                setVariable(name, value);
            } else {
                unsetVariable(name);
            }
        }
    }

    static void setVariable(const char* name, const std::string& value) {
#ifdef _WIN32
        _putenv_s(name, value.c_str());
#else
        setenv(name, value.c_str(), 1);
#endif
    }
    static void unsetVariable(const char* name) {
#ifdef _WIN32
        _putenv_s(name, "");
#else
        unsetenv(name);
#endif
    }
    void writeFile(const std::string& text) {
        fs::create_directories(file.parent_path());
        std::ofstream(file, std::ios::binary) << text;
    }
    std::string readFile() {
        std::ifstream in(file, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    // Files the folder holds besides the settings (a temporary file left behind).
    int strayFiles() {
        int count = 0;
        for (const auto& entry : fs::directory_iterator(file.parent_path())) count += entry.path() != file;
        return count;
    }

    fs::path root;
    fs::path file;
    // The variables the tests point elsewhere, as the test found them.
    struct Saved {
        const char* name;
        std::string value;
        bool wasSet;
    };
    Saved saved[2] = {{kConfigHome, {}, false}, {"HOME", {}, false}};
};

TEST_F(UserSettings, SavedSizeReadsBackAndTheFileKeepsTheOtherSettings) {
    EXPECT_EQ(userSettingsPath(), file.string());
    EXPECT_EQ(savedEditorScale(), 0) << "no file yet";
    ASSERT_TRUE(saveEditorScale(150)) << "the folder is made as well";
    EXPECT_EQ(savedEditorScale(), 150);
    EXPECT_EQ(readFile(), "BrackwaterFlanger settings 1\nsize=150\n");

    writeFile("BrackwaterFlanger settings 1\r\ntheme=dark\r\nsize=125\r\n");
    EXPECT_EQ(savedEditorScale(), 125) << "lines ended the Windows way";
    ASSERT_TRUE(saveEditorScale(400));
    EXPECT_EQ(readFile(), "BrackwaterFlanger settings 1\ntheme=dark\nsize=400\n");
    EXPECT_FALSE(saveEditorScale(99));
    EXPECT_FALSE(saveEditorScale(401));
    EXPECT_EQ(savedEditorScale(), 400);
    EXPECT_EQ(strayFiles(), 0);
}

#ifndef _WIN32
TEST_F(UserSettings, ARelativeOrEmptyConfigHomeFallsBackToTheHomeFolder) {
    setVariable("HOME", root.string());
    for (const char* configHome : {"", "relative/config"}) {
        setVariable("XDG_CONFIG_HOME", configHome);
        EXPECT_EQ(userSettingsPath(), (root / ".config" / "BrackwaterFlanger" / "settings").string());
    }
}
#endif

TEST_F(UserSettings, ForeignDamagedOrCutFilesReadAsNothingSaved) {
    for (const std::string& text :
         {std::string("size=150\n"), std::string("BrackwaterFlanger settings 2\nsize=150\n"),
          std::string("BrackwaterFlanger settings 1 \nsize=150\n"),
          std::string("BrackwaterFlanger settings 1\nsize=abc\n"),
          std::string("BrackwaterFlanger settings 1\nsize=99\n"),
          std::string("BrackwaterFlanger settings 1\nsize=401\n"),
          std::string("BrackwaterFlanger settings 1\nsize=1500\n"),
          std::string("BrackwaterFlanger settings 1\nsize=+150\n"),
          std::string("BrackwaterFlanger settings 1\nsize=150\0\n", 39),
          std::string("BrackwaterFlanger settings 1\nsize=150\nsize=\n"),
          std::string("BrackwaterFlanger settings 1\nsize=150\n") + std::string(70000, '#')}) {
        writeFile(text);
        EXPECT_EQ(savedEditorScale(), 0) << text.substr(0, 60);
    }
    // A file cut anywhere says either nothing or all of its size.
    const std::string whole = "BrackwaterFlanger settings 1\nsize=125\ntheme=dark\n";
    for (std::size_t length = 0; length <= whole.size(); ++length) {
        writeFile(whole.substr(0, length));
        const int read = savedEditorScale();
        EXPECT_TRUE(read == 0 || (read == 125 && length >= whole.find("125") + 3)) << length << ": " << read;
    }
    // Saving over a file that is not ours makes one that is.
    writeFile(std::string("\x89PNG\r\n\x1a\n\0\0", 10));
    ASSERT_TRUE(saveEditorScale(200));
    EXPECT_EQ(readFile(), "BrackwaterFlanger settings 1\nsize=200\n");
}

TEST_F(UserSettings, AFailedSaveLeavesNoTemporaryFileBehind) {
    // A folder where the file belongs: nothing can be renamed over it, even by root.
    fs::create_directories(file / "inside");
    EXPECT_EQ(savedEditorScale(), 0);
    EXPECT_FALSE(saveEditorScale(150));
    EXPECT_TRUE(fs::is_directory(file / "inside"));
    EXPECT_EQ(strayFiles(), 0);
    // No folder can be made where a file stands.
    setVariable(kConfigHome, (file / "inside").string());
    std::ofstream(file / "inside" / "BrackwaterFlanger") << "a file";
    EXPECT_FALSE(saveEditorScale(150));
}

TEST_F(UserSettings, TwoThreadsSavingAtOnceAlwaysLeaveAWholeFile) {
    // Each thread stands in for an instance in another host; a third keeps reading meanwhile.
    ASSERT_TRUE(saveEditorScale(150));
    std::atomic<int> failedSaves{0}, badReads{0};
    std::atomic<bool> done{false};
    const auto saver = [&](int percent) {
        for (int i = 0; i < 200; ++i) failedSaves += saveEditorScale(percent) ? 0 : 1;
    };
    std::thread reader([&] {
        while (!done.load()) {
            const int read = savedEditorScale();
            badReads += read == 150 || read == 200 ? 0 : 1;
        }
    });
    std::thread first(saver, 150), second(saver, 200);
    first.join();
    second.join();
    done = true;
    reader.join();
    EXPECT_EQ(badReads.load(), 0);
    EXPECT_EQ(failedSaves.load(), 0);
    const int last = savedEditorScale();
    EXPECT_TRUE(last == 150 || last == 200) << last;
    EXPECT_EQ(strayFiles(), 0);
}

}  // namespace
}  // namespace flanger::platform
