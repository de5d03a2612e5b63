// The desktop tool's command line and the per-user folder it works in when started from the menu.

#include "app/StartUp.h"

#include "platform/System.h"
#include "support/SystemKit.h"
#include "support/TestSupport.h"

#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>

using namespace quorvane;

TEST(StartUpTest, OptionsAreRecognisedAnywhereAndTheFirstUnknownIsKept)
{
    const StartOptions none = ParseStartOptions({});
    EXPECT_FALSE(none.Help || none.Version || none.UserFolder);
    EXPECT_TRUE(none.Unknown.empty());

    const StartOptions options =
        ParseStartOptions({"-x", "--user-folder", "Photos", "--version", "-h", "--bad", "b", "c"});
    EXPECT_TRUE(options.Help && options.Version && options.UserFolder);
    EXPECT_EQ(options.Unknown, "-x");
    EXPECT_EQ(options.Folder, "Photos");
    EXPECT_EQ(options.Unexpected, "b");
}

TEST(StartUpTest, UserFolderIsUnderXdgDataHomeOrHome)
{
    if (WhyNot why = WhyNotPosix()) {
        GTEST_SKIP() << why;
    }
    // $XDG_DATA_HOME counts only when it holds an absolute path.
    const struct {
        const char* xdgDataHome;
        const char* expected;
    } cases[] = {
        {"/data", "/data/quorvane"},
        {"relative", "/home/u/.local/share/quorvane"},
        {"", "/home/u/.local/share/quorvane"},
        {nullptr, "/home/u/.local/share/quorvane"},
    };
    const char* home = std::getenv("HOME");
    const std::string savedHome = home != nullptr ? home : "";
    SetEnvironment("HOME", "/home/u");
    for (const auto& c : cases) {
        SetEnvironment("XDG_DATA_HOME", c.xdgDataHome);
        EXPECT_EQ(UserDataFolder(), c.expected) << (c.xdgDataHome != nullptr ? c.xdgDataHome : "(unset)");
    }
    SetEnvironment("XDG_DATA_HOME", nullptr);
    SetEnvironment("HOME", savedHome.c_str());
}

TEST(StartUpTest, UserFolderIsUnderAppData)
{
    if (WhyNot why = WhyNotWindows()) {
        GTEST_SKIP() << why;
    }
    SetEnvironment("APPDATA", "C:\\Users\\u\\AppData\\Roaming");
    EXPECT_EQ(UserDataFolder(), std::filesystem::path(L"C:\\Users\\u\\AppData\\Roaming\\Quorvane"));
}

TEST(StartUpTest, EnteringTheUserFolderCreatesItCopiesTheCatalogueOnceAndRefreshesTheHelp)
{
    TempDir dir;
    const auto previous = std::filesystem::current_path();
    std::filesystem::create_directory(dir / "examples");
    WriteFileBytes(dir / "examples/phone.ini", "[A]\r\nM 1/2");
    WriteFileBytes(dir / "examples/ReadMe.txt", "help 1");
    const auto folder = dir.Path() / "home/.local/share/quorvane";

    EXPECT_EQ(EnterUserFolder(folder, dir / "examples"), "");
    EXPECT_EQ(std::filesystem::current_path(), folder);
    EXPECT_EQ(ReadFileBytes((folder / "phone.ini").string()), "[A]\r\nM 1/2");
    EXPECT_EQ(ReadFileBytes((folder / "ReadMe.txt").string()), "help 1");

    // The user's own catalogue is never replaced; the help follows the program's.
    WriteFileBytes((folder / "phone.ini").string(), "[Mine]");
    WriteFileBytes(dir / "examples/ReadMe.txt", "help 2");
    EXPECT_EQ(EnterUserFolder(folder, dir / "examples"), "");
    EXPECT_EQ(ReadFileBytes((folder / "phone.ini").string()), "[Mine]");
    EXPECT_EQ(ReadFileBytes((folder / "ReadMe.txt").string()), "help 2");

    // A folder that cannot be made leaves the current folder alone.
    std::filesystem::current_path(previous);
    WriteFileBytes(dir / "file", "");
    EXPECT_NE(EnterUserFolder(dir / "file/quorvane", dir / "examples"), "");
    EXPECT_EQ(std::filesystem::current_path(), previous);
}

TEST(StartUpTest, ExamplesAreFoundBesideAnInstalledProgramElseInTheSources)
{
    TempDir dir;
    std::filesystem::create_directories(dir / "usr/bin");
    std::filesystem::create_directories(dir / "src/examples");
    WriteFileBytes(dir / "src/examples/phone.ini", "[A]");
    EXPECT_EQ(ExampleFolder(dir / "usr/bin", dir / "src/examples"), dir / "src/examples");

    std::filesystem::create_directories(dir / "usr/share/quorvane");
    WriteFileBytes(dir / "usr/share/quorvane/phone.ini", "[A]");
    EXPECT_EQ(ExampleFolder(dir / "usr/bin", dir / "src/examples"), dir.Path() / "usr/bin/../share/quorvane");

    // Installed or unzipped on Windows, the examples lie beside the program.
    std::filesystem::create_directories(dir / "Quorvane");
    WriteFileBytes(dir / "Quorvane/phone.ini", "[A]");
    EXPECT_EQ(ExampleFolder(dir / "Quorvane", dir / "src/examples"), dir / "Quorvane");
}
