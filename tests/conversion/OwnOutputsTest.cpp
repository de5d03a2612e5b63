#include "conversion/OwnOutputs.h"

#include "support/TestSupport.h"

#include <filesystem>
#include <gtest/gtest.h>

using namespace quorvane;

namespace {

// Writes an output the way the run does: a new file (inode) renamed into place, then recorded.
void WriteOutput(OwnOutputs& outputs, const std::string& path)
{
    const std::string temp = path + ".new";
    WriteFileBytes(temp, "output");
    std::filesystem::rename(temp, path);
    outputs.Written(path);
}

} // namespace

// A receiver inside the source: a counted picture may not be replaced until it has been read, and the
// run's outputs are told apart from the pictures whatever name they have.
TEST(OwnOutputs, CountedPicturesAreProtectedUntilRead)
{
    TempDir dir;
    const std::string a = dir / "a.jpg", photo = dir / "img0001.jpg", fresh = dir / "img0002.jpg";
    WriteFileBytes(a, "picture");
    WriteFileBytes(photo, "picture");
    OwnOutputs outputs;
    outputs.Begin(true);
    outputs.Count(a);
    outputs.Count(photo);

    EXPECT_TRUE(outputs.WouldReplaceUnread(photo));
    EXPECT_FALSE(outputs.WouldReplaceUnread(fresh));
    outputs.Read(a);
    WriteOutput(outputs, fresh);
    EXPECT_TRUE(outputs.IsOutput(fresh));
    EXPECT_FALSE(outputs.IsOutput(a));
    EXPECT_FALSE(outputs.IsOutput(photo));
    outputs.Read(photo);
    EXPECT_FALSE(outputs.WouldReplaceUnread(photo)); // read: its name is free for an output now
    WriteOutput(outputs, photo);
    EXPECT_TRUE(outputs.IsOutput(photo));

    // The next run starts from nothing; with the receiver elsewhere nothing is tracked.
    outputs.Begin(false);
    outputs.Count(a);
    EXPECT_FALSE(outputs.WouldReplaceUnread(a));
    WriteOutput(outputs, a);
    EXPECT_FALSE(outputs.IsOutput(a));
}
