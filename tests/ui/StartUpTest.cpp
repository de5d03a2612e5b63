// The desktop tool's command line and the per-user folder it works in when started from the menu.

#include "app/StartUp.h"

#include "support/TestSupport.h"

#include <filesystem>
#include <gtest/gtest.h>

using namespace quorvane;

TEST(StartUpTest, OptionsAreRecognisedAnywhereAndTheFirstUnknownIsKept)
{
    const StartOptions none = ParseStartOptions({});
    EXPECT_FALSE(none.Help || none.Version || none.UserFolder);
    EXPECT_TRUE(none.Unknown.empty());

    const StartOptions options = ParseStartOptions({"-x", "--user-folder", "--version", "-h", "--bad"});
    EXPECT_TRUE(options.Help && options.Version && options.UserFolder);
    EXPECT_EQ(options.Unknown, "-x");
}

TEST(StartUpTest, UserFolderFollowsXdgDataHomeOnlyWhenAbsolute)
{
    EXPECT_EQ(UserFolder("/data", "/home/u"), "/data/quorvane");
    EXPECT_EQ(UserFolder("relative", "/home/u"), "/home/u/.local/share/quorvane");
    EXPECT_EQ(UserFolder("", "/home/u"), "/home/u/.local/share/quorvane");
    EXPECT_EQ(UserFolder(nullptr, "/home/u"), "/home/u/.local/share/quorvane");
}

TEST(StartUpTest, EnteringTheUserFolderCreatesItAndCopiesTheCatalogueOnce)
{
    TempDir dir;
    const auto previous = std::filesystem::current_path();
    WriteFileBytes(dir / "example.ini", "[A]\r\nM 1/2");
    const auto folder = dir.Path() / "home/.local/share/quorvane";

    EXPECT_EQ(EnterUserFolder(folder, dir / "example.ini"), "");
    EXPECT_EQ(std::filesystem::current_path(), folder);
    EXPECT_EQ(ReadFileBytes((folder / "phone.ini").string()), "[A]\r\nM 1/2");

    // The user's own catalogue is never replaced.
    WriteFileBytes((folder / "phone.ini").string(), "[Mine]");
    EXPECT_EQ(EnterUserFolder(folder, dir / "example.ini"), "");
    EXPECT_EQ(ReadFileBytes((folder / "phone.ini").string()), "[Mine]");

    // A folder that cannot be made leaves the current folder alone.
    std::filesystem::current_path(previous);
    WriteFileBytes(dir / "file", "");
    EXPECT_NE(EnterUserFolder(dir / "file/quorvane", dir / "example.ini"), "");
    EXPECT_EQ(std::filesystem::current_path(), previous);
}
