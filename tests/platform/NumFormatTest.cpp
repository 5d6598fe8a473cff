#include <gtest/gtest.h>

#include "platform/NumFormat.h"

using NumFormat::FloatToStr;
using NumFormat::FormatFloat;

TEST(NumFormat, PatternRoundsDigitStringHalfAwayFromZero) {
  EXPECT_EQ(FormatFloat("0.000", 1.0005), "1.001");  // 15 digits give 1.00050000000000
  EXPECT_EQ(FormatFloat("0.00", 0.125), "0.13");
  EXPECT_EQ(FormatFloat("0.00", -0.125), "-0.13");
  EXPECT_EQ(FormatFloat("0.00", 12.345f), "12.35");  // the Single 12.345 is 12.3450002...
  EXPECT_EQ(FormatFloat("0.00", 2.675), "2.68");     // printf gives 2.67
  EXPECT_EQ(FormatFloat("0.0", 0.05), "0.1");
  EXPECT_EQ(FormatFloat("0", 2.5), "3");
  EXPECT_EQ(FormatFloat("0", 0.4), "0");
}

TEST(NumFormat, PatternPaddingCarriesAndZero) {
  EXPECT_EQ(FormatFloat("0.000", 0), "0.000");
  EXPECT_EQ(FormatFloat("0.000", 5), "5.000");
  EXPECT_EQ(FormatFloat("0.00", 9.999), "10.00");
  EXPECT_EQ(FormatFloat("0.00", 99.995), "100.00");
  EXPECT_EQ(FormatFloat("0.00", -0.001), "0.00");
  EXPECT_EQ(FormatFloat("0.000", 1234567.25), "1234567.250");
  EXPECT_EQ(FormatFloat("0.0", 2.0e32), "200000000000000000000000000000000.0");
  EXPECT_EQ(FormatFloat("#,##0.00", 1234567.891), "1,234,567.89");
  EXPECT_EQ(FormatFloat("#.##", 0.5), ".5");
  EXPECT_EQ(FormatFloat("0.00", 1.5, ','), "1,50");
  EXPECT_EQ(FormatFloat("I:0.000", 3), "I:3.000");
}

TEST(NumFormat, GeneralFormat) {
  EXPECT_EQ(FloatToStr(5.0), "5");
  EXPECT_EQ(FloatToStr(0.1), "0.1");
  EXPECT_EQ(FloatToStr(-2.5), "-2.5");
  EXPECT_EQ(FloatToStr(0), "0");
  EXPECT_EQ(FloatToStr(2.0e32), "2E32");
  EXPECT_EQ(FloatToStr(double(2.0e32f)), "2.00000006636271E32");  // the Single nearest 2e32
  EXPECT_EQ(FloatToStr(1.5e-7), "1.5E-7");
  EXPECT_EQ(FloatToStr(0.0001), "0.0001");
  EXPECT_EQ(FloatToStr(0.00001), "1E-5");
  EXPECT_EQ(FloatToStr(123456789012345.0), "123456789012345");
  EXPECT_EQ(FloatToStr(1e15), "1E15");
  EXPECT_EQ(FloatToStr(1.0 / 3.0), "0.333333333333333");
  EXPECT_EQ(FloatToStr(2.0 / 3.0), "0.666666666666667");
  EXPECT_EQ(FloatToStr(65535), "65535");
  EXPECT_EQ(FloatToStr(0.1f), "0.100000001490116");
  EXPECT_EQ(FloatToStr(1.5, ','), "1,5");
}

TEST(NumFormat, ParseBack) {
  long double v = 0;
  EXPECT_TRUE(NumFormat::TryStrToFloat("12.35", v));
  EXPECT_EQ(v, 12.35L);
  EXPECT_TRUE(NumFormat::TryStrToFloat(" 2E32 ", v));
  EXPECT_EQ(double(v), 2e32);
  EXPECT_TRUE(NumFormat::TryStrToFloat("+3", v));
  EXPECT_EQ(v, 3.0L);
  EXPECT_TRUE(NumFormat::TryStrToFloat("1,5", v, ','));
  EXPECT_EQ(v, 1.5L);
  EXPECT_FALSE(NumFormat::TryStrToFloat("", v));
  EXPECT_FALSE(NumFormat::TryStrToFloat("abc", v));
  EXPECT_FALSE(NumFormat::TryStrToFloat("1.5x", v));
  EXPECT_FALSE(NumFormat::TryStrToFloat("inf", v));
  EXPECT_FALSE(NumFormat::TryStrToFloat("1e5000", v));
}
