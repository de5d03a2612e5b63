#include "conversion/Naming.h"

#include "platform/EngineError.h"

#include <gtest/gtest.h>

using namespace quorvane;

namespace {

// The names of `count` pictures after the numbering set-up, as the run gives them.
std::vector<std::string> Names(const std::string& preview, int count, const std::string& start = "",
                               bool ticked = false)
{
    RunState state;
    PrepareNumbering(state, preview, ticked, start);
    std::vector<std::string> names;
    for (int i = 0; i < count; ++i) {
        state.FileNumber = static_cast<int32_t>(static_cast<uint32_t>(state.FileNumber) + 1u);
        names.push_back(NumberedFileName(state));
    }
    return names;
}

} // namespace

TEST(NamePreview, DigitCountRules)
{
    EXPECT_EQ(ComputeNamePreview("img", "4").Caption, "img0000");
    EXPECT_EQ(ComputeNamePreview("img", "1").Caption, "img0");
    EXPECT_EQ(ComputeNamePreview("img", "8").Caption, "img00000000");
    EXPECT_EQ(ComputeNamePreview("", " 2").Caption, "00");
    EXPECT_EQ(ComputeNamePreview("img", "").DigitCountText, "4");
    EXPECT_EQ(ComputeNamePreview("img", "abc").DigitCountText, "4");
    EXPECT_EQ(ComputeNamePreview("img", "0").DigitCountText, "1");
    EXPECT_EQ(ComputeNamePreview("img", "9").DigitCountText, "1");
    EXPECT_EQ(ComputeNamePreview("img", "-3").DigitCountText, "1");
}

TEST(Numbering, DefaultsKeepFourDigitsThenGrow)
{
    const auto names = Names("img0000", 10001);
    EXPECT_EQ(names[0], "img0001.jpg");
    EXPECT_EQ(names[8], "img0009.jpg");
    EXPECT_EQ(names[9], "img0010.jpg");
    EXPECT_EQ(names[98], "img0099.jpg");
    EXPECT_EQ(names[99], "img0100.jpg");
    EXPECT_EQ(names[999], "img1000.jpg");
    EXPECT_EQ(names[9998], "img9999.jpg");
    EXPECT_EQ(names[9999], "img10000.jpg");
    EXPECT_EQ(names[10000], "img10001.jpg");
}

TEST(Numbering, DigitCountsOneAndEight)
{
    const auto one = Names("img0", 11);
    EXPECT_EQ(one[0], "img1.jpg");
    EXPECT_EQ(one[8], "img9.jpg");
    EXPECT_EQ(one[9], "img10.jpg");
    EXPECT_EQ(one[10], "img11.jpg");
    EXPECT_EQ(Names("img00000000", 1)[0], "img00000001.jpg");
}

TEST(Numbering, PrefixContainingZeroLosesItsOwnZeroLast)
{
    const auto names = Names("photo00", 11);
    EXPECT_EQ(names[0], "photo01.jpg");
    EXPECT_EQ(names[8], "photo09.jpg");
    EXPECT_EQ(names[9], "photo10.jpg");
    EXPECT_EQ(names[10], "photo11.jpg");
}

TEST(Numbering, StartNumbers)
{
    EXPECT_EQ(Names("img0000", 1, "0", true)[0], "img0000.jpg");
    const auto from25 = Names("img0000", 76, "25", true);
    EXPECT_EQ(from25[0], "img0025.jpg");
    EXPECT_EQ(from25[74], "img0099.jpg");
    EXPECT_EQ(from25[75], "img0100.jpg");
    EXPECT_EQ(Names("img0000", 1, "123456", true)[0], "img123456.jpg");
    EXPECT_EQ(Names("img0000", 1, " 12", true)[0], "img0012.jpg");
}

TEST(Numbering, NegativeStartCountsItsSign)
{
    const auto names = Names("img0000", 106, "-5", true);
    EXPECT_EQ(names[0], "img00-5.jpg");
    EXPECT_EQ(names[4], "img00-1.jpg");
    EXPECT_EQ(names[5], "img000.jpg");
    EXPECT_EQ(names[6], "img001.jpg");
    EXPECT_EQ(names[14], "img009.jpg");
    EXPECT_EQ(names[15], "img0010.jpg");
    EXPECT_EQ(names[104], "img0099.jpg");
    EXPECT_EQ(names[105], "img0100.jpg");
}

TEST(Numbering, PastAMillionTheWidthStillGrowsOneDigitAtATime)
{
    // A seven-digit start needs the table past its sixth entry: the next zero goes at 10^7.
    const auto names = Names("img000000000", 3, "9999999", true);
    EXPECT_EQ(names[0], "img009999999.jpg");
    EXPECT_EQ(names[1], "img010000000.jpg");
    EXPECT_EQ(names[2], "img010000001.jpg");
}

TEST(Numbering, LargestStartNumbersDoNotOverflow)
{
    const auto names = Names("img0000", 2, "2147483647", true);
    EXPECT_EQ(names[0], "img2147483647.jpg");
    EXPECT_EQ(names[1], "img-2147483648.jpg");
    EXPECT_EQ(Names("img0000", 1, "-2147483648", true)[0], "img-2147483648.jpg");
    RunState state;
    EXPECT_THROW(PrepareNumbering(state, "img0000", true, "12a"), EngineError);
}
