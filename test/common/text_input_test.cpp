#include "common/text_input.h"

#include <gtest/gtest.h>

#include "support/console_capture.h"

#include <cmath>
#include <cstdlib>

namespace korvel {
namespace {

TextIn reader_of(const std::string& text) {
  TextIn in;
  in.OPEN_TEXT("KORVEL.IN", text);
  return in;
}

TEST(TextInput, NumbersAreSeparatedByBlanksTabsControlsAndLineEnds) {
  TextIn in = reader_of("  12\t-7\x01+3\r\n\r\n  44\n");
  EXPECT_EQ(in.READ_INT16("a"), 12);
  EXPECT_EQ(in.READ_INT16("b"), -7);
  EXPECT_EQ(in.READ_INT32("c"), 3);
  EXPECT_EQ(in.LAST_LINE(), 1);
  EXPECT_EQ(in.READ_INT16("d"), 44);  // passes over two line ends
  EXPECT_EQ(in.LAST_LINE(), 3);
}

TEST(TextInput, SkipLineDiscardsTheRestOfTheCurrentLine) {
  TextIn in = reader_of("1 2 comment 99\r\n3 x\n4");
  EXPECT_EQ(in.READ_INT16("a"), 1);
  EXPECT_EQ(in.READ_INT16("b"), 2);
  in.SKIP_LINE();
  EXPECT_EQ(in.READ_INT16("c"), 3);
  in.SKIP_LINE();
  EXPECT_EQ(in.READ_INT16("d"), 4);
  EXPECT_EQ(in.LAST_LINE(), 3);
  in.SKIP_LINE();  // at the end of a file without final line end
  EXPECT_TRUE(in.AT_END());
}

TEST(TextInput, LineTextKeepsAtMostTheRequestedCharacters) {
  const std::string long_line(95, 'x');
  TextIn in = reader_of("short comment\r\n" + long_line + "\n7\n");
  EXPECT_EQ(in.READ_LINE_TEXT(80), "short comment");
  EXPECT_EQ(in.READ_LINE_TEXT(80), std::string(80, 'x'));
  EXPECT_EQ(in.READ_INT16("after"), 7);
  EXPECT_EQ(in.LAST_LINE(), 3);
}

TEST(TextInput, RealsConvertDirectlyToTheNearestDouble) {
  TextIn in = reader_of("0.1 1e-3 2.5E+1 -0.25 .5 3. 0.30000000000000004441\n");
  EXPECT_EQ(in.READ_REAL("a"), 0.1);
  EXPECT_EQ(in.READ_REAL("b"), 0.001);
  EXPECT_EQ(in.READ_REAL("c"), 25.0);
  EXPECT_EQ(in.READ_REAL("d"), -0.25);
  EXPECT_EQ(in.READ_REAL("e"), 0.5);
  EXPECT_EQ(in.READ_REAL("f"), 3.0);
  EXPECT_EQ(in.READ_REAL("g"), std::strtod("0.30000000000000004441", nullptr));
}

TEST(TextInput, TokenParsersRejectWhatIsNotADecimalNumber) {
  double real = 0;
  long long integer = 0;
  for (const char* bad :
       {"nan", "inf", "-inf", "infinity", "0x1p3", "1e", "e5", ".", "1.2.3", "12abc", "", "+"})
    EXPECT_FALSE(PARSE_REAL_TOKEN(bad, real)) << bad;
  EXPECT_FALSE(PARSE_REAL_TOKEN("1e99999", real));
  for (const char* bad : {"1.0", "1e3", "abc", "--1", "+", "", "12a"})
    EXPECT_FALSE(PARSE_INTEGER_TOKEN(bad, integer)) << bad;
  EXPECT_TRUE(PARSE_INTEGER_TOKEN("-0032767", integer));
  EXPECT_EQ(integer, -32767);
}

using TextInputDeathTest = ::testing::Test;

TEST(TextInputDeathTest, AnInvalidNumberIsRuntimeError106WithLineAndText) {
  EXPECT_EXIT(
      {
        STDOUT_TO_STDERR();
        TextIn in = reader_of("1\n2 abc\n");
        in.READ_INT16("a");
        in.READ_INT16("b");
        in.READ_INT16("the number of populations");
      },
      ::testing::ExitedWithCode(106),
      "Runtime error 106: invalid numeric format in KORVEL.IN line 2: \"abc\" where the number of "
      "populations was expected");
  EXPECT_EXIT(
      {
        STDOUT_TO_STDERR();
        TextIn in = reader_of("nan\n");
        in.READ_REAL("the frequency of allele 1 at locus 1");
      },
      ::testing::ExitedWithCode(106), "line 1: \"nan\"");
}

TEST(TextInputDeathTest, ValuesBeyondTheirTypeAndMissingValuesAreClearErrors) {
  EXPECT_EXIT(
      {
        STDOUT_TO_STDERR();
        TextIn in = reader_of("\n70000\n");
        in.READ_INT16("the effective size during drift");
      },
      ::testing::ExitedWithCode(1),
      "KORVEL.IN line 2: the effective size during drift is 70000, outside the range "
      "-32768..32767 of its type");
  EXPECT_EXIT(
      {
        STDOUT_TO_STDERR();
        TextIn in = reader_of("5\n\n");
        in.READ_INT16("a");
        in.READ_INT32("the number of replicate runs");
      },
      ::testing::ExitedWithCode(1),
      "KORVEL.IN line 3: the file ends before the number of replicate runs was read");
}

}  // namespace
}  // namespace korvel
