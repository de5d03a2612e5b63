#include "platform/DirList.h"

#include "support/SystemKit.h"
#include "support/TestSupport.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <map>

using namespace quorvane;

namespace {

std::map<std::string, uint32_t> List(const std::string& folder)
{
    std::map<std::string, uint32_t> entries;
    DirListing listing(folder);
    DirEntry entry;
    while (listing.Next(entry)) {
        entries[entry.Name] = entry.Attributes;
    }
    return entries;
}

} // namespace

// Windows: the attribute word is the file system's own; a plain folder has exactly the directory bit, a
// folder marked hidden has the hidden bit too, and "." and ".." are plain folders by their bits.
TEST(DirListing, AttributeWordIsTheFileSystems)
{
    if (WhyNot why = WhyNotWindows()) {
        GTEST_SKIP() << why;
    }
    TempDir dir;
    std::filesystem::create_directory(dir / "plain");
    MakeFolder(dir.Str(), "marked", Attr::Hidden);
    WriteFileBytes(dir / "a.jpg", "x");

    auto entries = List(dir.Str());
    EXPECT_EQ(entries["plain"], Attr::Directory);
    EXPECT_EQ(entries["marked"], Attr::Directory | Attr::Hidden);
    EXPECT_EQ(entries["a.jpg"] & Attr::Directory, 0u);
    EXPECT_EQ(entries["."], Attr::Directory);
    EXPECT_EQ(entries[".."], Attr::Directory);
}

// POSIX: the attribute word is made up from the entry's kind, a name starting with a dot, and links.
TEST(DirListing, AttributeWordFollowsKindHiddenNameAndLinks)
{
    if (WhyNot why = WhyNotPosix()) {
        GTEST_SKIP() << why;
    }
    TempDir dir;
    std::filesystem::create_directory(dir / "plain");
    std::filesystem::create_directory(dir / ".hidden");
    WriteFileBytes(dir / "a.jpg", "x");
    WriteFileBytes(dir / ".b.jpg", "x");
    std::filesystem::create_directory_symlink(dir / "plain", dir / "link");
    std::filesystem::create_symlink(dir / "a.jpg", dir / "filelink.jpg");
    std::filesystem::create_symlink(dir / "nowhere", dir / "dangling");

    auto entries = List(dir.Str());
    EXPECT_EQ(entries["plain"], Attr::Directory);
    EXPECT_EQ(entries[".hidden"], Attr::Directory | Attr::Hidden);
    EXPECT_EQ(entries["a.jpg"], Attr::Normal);
    EXPECT_EQ(entries[".b.jpg"], Attr::Hidden);
    EXPECT_EQ(entries["link"], Attr::Directory | Attr::ReparsePoint);
    EXPECT_EQ(entries["filelink.jpg"], Attr::ReparsePoint);
    EXPECT_EQ(entries["dangling"], Attr::ReparsePoint);
    // "." and ".." are listed, and never look like a plain folder.
    EXPECT_EQ(entries["."], Attr::Directory | Attr::Hidden);
    EXPECT_EQ(entries[".."], Attr::Directory | Attr::Hidden);
}

TEST(DirListing, MissingFolderOrFileListsNothing)
{
    TempDir dir;
    WriteFileBytes(dir / "file", "x");
    EXPECT_TRUE(List(dir / "missing").empty());
    EXPECT_TRUE(List(dir / "file").empty());
    EXPECT_FALSE(DirListing(dir / "missing").IsOpen());
}

TEST(DirListing, JoinKeepsTextsAsTheyStand)
{
    EXPECT_EQ(JoinPath("in", "x.jpg"), std::string("in") + PathSeparator + "x.jpg");
    EXPECT_EQ(JoinPath(std::string("in") + PathSeparator, "x.jpg"),
              std::string("in") + PathSeparator + PathSeparator + "x.jpg");
    EXPECT_EQ(JoinPath("", "x"), std::string(1, PathSeparator) + "x");
}
