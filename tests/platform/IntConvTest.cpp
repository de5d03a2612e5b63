#include "platform/IntConv.h"

#include "platform/EngineError.h"

#include <gtest/gtest.h>

using namespace quorvane;

TEST(IntConv, AcceptsDecimalWithLeadingBlanksAndSign)
{
    EXPECT_EQ(TryStrToInt("12"), 12);
    EXPECT_EQ(TryStrToInt(" 12"), 12);
    EXPECT_EQ(TryStrToInt("   -5"), -5);
    EXPECT_EQ(TryStrToInt("+7"), 7);
    EXPECT_EQ(TryStrToInt("007"), 7);
    EXPECT_EQ(TryStrToInt("0"), 0);
}

TEST(IntConv, AcceptsHexadecimalPrefixes)
{
    EXPECT_EQ(TryStrToInt("$1F"), 31);
    EXPECT_EQ(TryStrToInt("x10"), 16);
    EXPECT_EQ(TryStrToInt("X10"), 16);
    EXPECT_EQ(TryStrToInt("0x10"), 16);
    EXPECT_EQ(TryStrToInt("  $ff"), 255);
    EXPECT_EQ(TryStrToInt("$7FFFFFFF"), 2147483647);
}

TEST(IntConv, HoldsTheThirtyTwoBitRange)
{
    EXPECT_EQ(TryStrToInt("2147483647"), 2147483647);
    EXPECT_EQ(TryStrToInt("-2147483648"), INT32_MIN);
    EXPECT_EQ(TryStrToInt("2147483648"), std::nullopt);
    EXPECT_EQ(TryStrToInt("-2147483649"), std::nullopt);
    EXPECT_EQ(TryStrToInt("$80000000"), std::nullopt);
    EXPECT_EQ(TryStrToInt("99999999999999999999999"), std::nullopt);
}

TEST(IntConv, RefusesAnythingElse)
{
    for (const char* text : {"", " ", "-", "+", "$", "0x", "x", "12a", "12 ", "1 2", "\t12", "a", "1.5", "--1", "-$10",
                             "0X10", "$g", "٣"}) {
        EXPECT_EQ(TryStrToInt(text), std::nullopt) << '"' << text << '"';
    }
}

TEST(IntConv, ErrorCarriesTheText)
{
    try {
        StrToInt("abc");
        FAIL();
    } catch (const EngineError& error) {
        EXPECT_STREQ(error.what(), "'abc' is not a valid integer value");
    }
}
