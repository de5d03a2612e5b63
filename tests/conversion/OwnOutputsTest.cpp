#include "conversion/OwnOutputs.h"

#include "support/TestSupport.h"

#include <filesystem>
#include <gtest/gtest.h>

using namespace quorvane;

namespace {

// Writes an output the way the run does: the identity before, the file, then the record.
void WriteOutput(OwnOutputs& outputs, const std::string& path)
{
    const auto before = outputs.Before(path);
    const std::string temp = path + ".new";
    WriteFileBytes(temp, "output");
    std::filesystem::rename(temp, path); // a new inode, as an atomic write makes
    outputs.Written(path, before);
}

} // namespace

// A receiver inside the source: the run's outputs are told apart from the pictures it counted, whatever
// name they share, and a counted picture an output replaced before it was read is owed to the report.
TEST(OwnOutputs, TellsOutputsFromCountedPictures)
{
    TempDir dir;
    const std::string a = dir / "a.jpg", b = dir / "b.jpg", out = dir / "img0001.jpg", late = dir / "img0002.jpg";
    for (const std::string& path : {a, b, late}) {
        WriteFileBytes(path, "picture");
    }
    OwnOutputs outputs;
    outputs.Begin(true);
    for (const std::string& path : {a, b, late}) {
        outputs.Count(path);
    }

    EXPECT_TRUE(outputs.Meet(a));
    EXPECT_FALSE(outputs.Meet(a)); // met once only
    WriteOutput(outputs, out);     // a new file
    WriteOutput(outputs, late);    // replaces a counted picture the walk has not reached

    EXPECT_EQ(outputs.Classify(a, true), OwnOutputs::Kind::Picture);
    EXPECT_EQ(outputs.Classify(out, false), OwnOutputs::Kind::NewOutput);
    EXPECT_TRUE(outputs.Meet(b));
    EXPECT_EQ(outputs.Classify(b, true), OwnOutputs::Kind::Picture);
    EXPECT_EQ(outputs.TakeUnread(), std::vector<std::string>{late});
    EXPECT_TRUE(outputs.TakeUnread().empty());

    // The walk reaching the replaced picture lists it as replaced, and only once.
    outputs.Begin(true);
    outputs.Count(a);
    WriteOutput(outputs, a);
    EXPECT_FALSE(outputs.Meet(a)); // the file there now is the output, not the counted picture
    EXPECT_EQ(outputs.Classify(a, false), OwnOutputs::Kind::ReplacedPicture);
    EXPECT_TRUE(outputs.TakeUnread().empty());
}

TEST(OwnOutputs, TracksNothingWithTheReceiverElsewhere)
{
    TempDir dir;
    const std::string a = dir / "a.jpg";
    WriteFileBytes(a, "picture");
    OwnOutputs outputs;
    outputs.Begin(false);
    outputs.Count(a);
    EXPECT_FALSE(outputs.Meet(a));
    WriteOutput(outputs, a);
    EXPECT_EQ(outputs.Classify(a, false), OwnOutputs::Kind::Picture);
    EXPECT_TRUE(outputs.TakeUnread().empty());
}
