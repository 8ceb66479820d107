#include "common/text_format.h"

#include <gtest/gtest.h>

namespace korvel {
namespace {

TEST(TextFormat, IntegersAreRightAlignedAndNeverCut) {
  EXPECT_EQ(INT_TEXT(12, 7), "     12");
  EXPECT_EQ(INT_TEXT(-3, 4), "  -3");
  EXPECT_EQ(INT_TEXT(42), "42");
  EXPECT_EQ(INT_TEXT(-42), "-42");
  EXPECT_EQ(INT_TEXT(123456, 5), "123456");
  EXPECT_EQ(INT_TEXT(0, 7), "      0");
}

TEST(TextFormat, RealsAreFixedPointRoundedToNearest) {
  EXPECT_EQ(REAL_TEXT(0.285714285714L, 6, 4), "0.2857");
  EXPECT_EQ(REAL_TEXT(1.0L, 7, 3), "  1.000");
  EXPECT_EQ(REAL_TEXT(0.0L, 10, 4), "    0.0000");
  EXPECT_EQ(REAL_TEXT(0.04888899L, 10, 4), "    0.0489");
  EXPECT_EQ(REAL_TEXT(8.4566L, 10, 3), "     8.457");
  EXPECT_EQ(REAL_TEXT(27.0L, 8, 0), "      27");
  EXPECT_EQ(REAL_TEXT(-1.25L, 8, 1), "    -1.2");  // halfway goes to even
  EXPECT_EQ(REAL_TEXT(123456.789L, 5, 2), "123456.79");
}

TEST(TextFormat, ValuesThatRoundToZeroHaveNoMinusSign) {
  EXPECT_EQ(REAL_TEXT(-1.0e-17L, 11, 4), "     0.0000");
  EXPECT_EQ(REAL_TEXT(-0.0L, 6, 4), "0.0000");
  EXPECT_EQ(REAL_TEXT(-0.00004L, 7, 4), " 0.0000");
  EXPECT_EQ(REAL_TEXT(-0.00005001L, 7, 4), "-0.0001");
  EXPECT_EQ(REAL_TEXT(-0.4L, 3, 0), "  0");
}

TEST(TextFormat, RealsUseTheFullExtendedValue) {
  // 0.00015 is not exactly representable; its extended value lies just
  // below the halfway point in binary and must round down.
  const long double just_below = 0.00015L - 1e-21L;
  EXPECT_EQ(REAL_TEXT(just_below, 6, 4), "0.0001");
  const long double just_above = 0.00015L + 1e-21L;
  EXPECT_EQ(REAL_TEXT(just_above, 6, 4), "0.0002");
}

TEST(TextFormat, TextsAreRightAligned) {
  EXPECT_EQ(TEXT_FIELD("Run", 7), "    Run");
  EXPECT_EQ(TEXT_FIELD("**", 10), "        **");
  EXPECT_EQ(TEXT_FIELD("", 5), "     ");
  EXPECT_EQ(TEXT_FIELD("toolong", 3), "toolong");
  std::string line;
  APPEND_BLANKS(line, 3);
  APPEND_BLANKS(line, 0);
  EXPECT_EQ(line, "   ");
}

}  // namespace
}  // namespace korvel
