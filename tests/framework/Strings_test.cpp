#include <gtest/gtest.h>

#include "framework/Strings.h"

using namespace fw;

TEST(Strings, PositionsAreOneBasedAndMatchingIsCaseSensitive) {
    EXPECT_EQ(InStr(1, "10m", "m"), 3);
    EXPECT_EQ(InStr(1, "10M", "m"), 0);
    EXPECT_EQ(InStr(1, "2S", "S"), 2);
    EXPECT_EQ(InStr(3, "abab", "ab"), 3);
    EXPECT_EQ(Mid("/Users/x/Tav/Contents/MacOS/tav", 1, InStr(1, "/Users/x/Tav/Contents/MacOS/tav", "MacOS") - 1),
              "/Users/x/Tav/Contents/");
    EXPECT_EQ(Mid("abc", 2), "bc");
}

TEST(Strings, ReplaceTrimAndNumbers) {
    EXPECT_EQ(Trim(Replace("1.024 MB", " MB", "")), "1.024");
    EXPECT_EQ(Replace("a a a", "a", "b"), "b a a");
    EXPECT_EQ(ReplaceAll("1.024.000", ".", ""), "1024000");
    EXPECT_EQ(Trim("  x y \t"), "x y");
    EXPECT_DOUBLE_EQ(CDbl("10m"), 10);
    EXPECT_DOUBLE_EQ(CDbl(" 2S"), 2);
    EXPECT_DOUBLE_EQ(CDbl("1.5x"), 1.5);
    EXPECT_DOUBLE_EQ(CDbl("-40"), -40);
    EXPECT_DOUBLE_EQ(CDbl("m"), 0);
    EXPECT_DOUBLE_EQ(CDbl(""), 0);
    EXPECT_EQ(Format(40, "0000"), "0040");
    EXPECT_EQ(Format(12345, "0000"), "12345");
    EXPECT_EQ(Format(499968, "0000"), "499968");
    EXPECT_EQ(Str(2026), "2026");
    EXPECT_EQ(Chr(13), "\r");
    EXPECT_EQ(Chr(0xE4), "\xC3\xA4");
}
