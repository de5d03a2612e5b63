#include "platform/TextFile.h"

#include "support/SystemKit.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>
#include <vector>

using namespace quorvane;

namespace {

std::vector<std::string> Lines(std::string_view text)
{
    LineReader reader(text);
    std::vector<std::string> lines;
    while (!reader.AtEnd()) {
        lines.push_back(reader.ReadLine());
    }
    return lines;
}

using V = std::vector<std::string>;

} // namespace

TEST(LineReader, LineEndsAndTheFinalEmptyRead)
{
    EXPECT_EQ(Lines(""), V{""});
    EXPECT_EQ(Lines("a"), V{"a"});
    EXPECT_EQ(Lines("a\n"), (V{"a", ""}));
    EXPECT_EQ(Lines("a\r\nb"), (V{"a", "b"}));
    EXPECT_EQ(Lines("a\r\nb\r\n"), (V{"a", "b", ""}));
    EXPECT_EQ(Lines("a\n\nb"), (V{"a", "", "b"}));
}

TEST(LineReader, OnlyTheCarriageReturnBeforeLineFeedIsDropped)
{
    EXPECT_EQ(Lines("a\rb\r\n"), (V{"a\rb", ""}));
    EXPECT_EQ(Lines("[A]\r"), V{"[A]\r"});
    EXPECT_EQ(Lines("a\r\r\n"), (V{"a\r", ""}));
}

TEST(LineReader, CtrlZEndsTheText)
{
    EXPECT_EQ(Lines("a\x1a"), V{"a"});
    EXPECT_EQ(Lines("a\r\n\x1a"
                    "b\r\n"),
              (V{"a", ""}));
    EXPECT_EQ(Lines("\x1a"), V{""});
}

TEST(LineReader, LongLinesAndBinaryBytesStayWhole)
{
    const std::string longLine(100000, 'x');
    EXPECT_EQ(Lines(longLine + "\n"), (V{longLine, ""}));
    EXPECT_EQ(Lines(std::string("a\0b", 3)), V{std::string("a\0b", 3)});
}

TEST(TextFiles, WriteReplacesOrAppendsAndFailsQuietly)
{
    TempDir dir;
    const std::string path = dir / "f.ini";
    EXPECT_FALSE(ReadWholeFile(path));
    EXPECT_TRUE(WriteTextFile(path, "one\r\n", WriteMode::Append));
    EXPECT_TRUE(WriteTextFile(path, "two\r\n", WriteMode::Append));
    EXPECT_EQ(ReadWholeFile(path), "one\r\ntwo\r\n");
    EXPECT_TRUE(WriteTextFile(path, "x", WriteMode::Replace));
    EXPECT_EQ(ReadWholeFile(path), "x");
    EXPECT_TRUE(WriteTextFile(path, "y", WriteMode::AppendOverCtrlZ)); // no Ctrl-Z: a plain append
    EXPECT_TRUE(WriteTextFile(path, "\x1a", WriteMode::Append));
    EXPECT_TRUE(WriteTextFile(path, "z", WriteMode::AppendOverCtrlZ));
    EXPECT_EQ(ReadWholeFile(path), "xyz");
    EXPECT_FALSE(WriteTextFile(dir / "missing/f.ini", "x", WriteMode::Replace));
    EXPECT_FALSE(ReadWholeFile(dir.Str())); // a folder is not a readable file
    // A device is no text file: refused, nothing sent.
    EXPECT_FALSE(ReadWholeFile(NullDevice()));
    for (WriteMode mode : {WriteMode::Replace, WriteMode::Append, WriteMode::AppendOverCtrlZ}) {
        EXPECT_FALSE(WriteTextFile(NullDevice(), "x", mode));
    }
}

TEST(TextFiles, APipeIsRefusedAtOnceWithOrWithoutAReader)
{
    TempDir dir;
    const std::string pipe = dir / "pipe.ini";
    if (WhyNot why = MakePipe(pipe)) {
        GTEST_SKIP() << why;
    }
    EXPECT_FALSE(ReadWholeFile(pipe)); // refused at once rather than waiting for a writer
    // Writing is refused at once too, with or without a reader at the other end, and sends nothing.
    for (WriteMode mode : {WriteMode::Replace, WriteMode::Append, WriteMode::AppendOverCtrlZ}) {
        EXPECT_FALSE(WriteTextFile(pipe, "x", mode));
        EXPECT_EQ(ReadPipeAround(pipe, [&] { EXPECT_FALSE(WriteTextFile(pipe, "x", mode)); }), "");
    }
}
