// Header cards: the builders' columns and the keyword lookup.
#include <gtest/gtest.h>

#include "formats/FITS.h"
#include "tests/formats/CodecTestUtil.h"

using codectest::Card;

namespace {
// Columns counted from 1, inclusive.
std::string Cols(const std::string& Card, int From, int To) { return Card.substr(From - 1, To - From + 1); }
}  // namespace

TEST(FITSCards, FloatCardHasSevenDigitsAndFourDigitExponent) {
  const std::string c = MakeFloatCard("BZERO", 32768.0f);
  ASSERT_EQ(c.size(), 80u);
  EXPECT_EQ(Cols(c, 1, 10), "BZERO   = ");
  EXPECT_EQ(Cols(c, 11, 16), "      ");
  EXPECT_EQ(Cols(c, 17, 30), "3.276800E+0004");
  EXPECT_EQ(Cols(c, 31, 80), std::string(50, ' '));

  EXPECT_EQ(FITSFloatText(1.0f), "1.000000E+0000");
  EXPECT_EQ(FITSFloatText(0.0f), "0.000000E+0000");
  EXPECT_EQ(FITSFloatText(-0.0f), "0.000000E+0000");
  EXPECT_EQ(FITSFloatText(-1.5f), "-1.500000E+0000");
  EXPECT_EQ(FITSFloatText(0.1f), "1.000000E-0001");
  // A half at the seventh digit goes away from zero (1234568.5 is exact in a Single).
  EXPECT_EQ(FITSFloatText(1234568.5f), "1.234569E+0006");
  EXPECT_EQ(FITSFloatText(-1234568.5f), "-1.234569E+0006");
  EXPECT_EQ(FITSFloatText(9999999.0f), "9.999999E+0006");
  EXPECT_EQ(FITSFloatText(99999999.0f), "1.000000E+0008");  // the Single is 1e8 exactly
  EXPECT_EQ(FITSFloatText(3.4028235e38f), "3.402823E+0038");
  EXPECT_EQ(FITSFloatText(1e-40f), "9.999946E-0041");  // a denormal: 9.99994610111476e-41
}

TEST(FITSCards, LogicalIntegerCommentAndKeywordColumns) {
  const std::string l = MakeLogicalCard("SIMPLE", 'T');
  EXPECT_EQ(l, Card("SIMPLE  =                    T"));
  EXPECT_EQ(MakeIntegerCard("NAXIS1", 512), Card("NAXIS1  =                  512"));
  EXPECT_EQ(MakeIntegerCard("BITPIX", -32), Card("BITPIX  =                  -32"));
  EXPECT_EQ(MakeIntegerCard("BIG", -2147483647 - 1), Card("BIG     =          -2147483648"));
  EXPECT_EQ(MakeCommentCard("hello"), Card("COMMENT hello"));
  EXPECT_EQ(MakeKeywordCard("END"), Card("END"));
  EXPECT_EQ(MakeIntegerCard("AVERYLONGKEY", 1).substr(0, 10), "AVERYLON= ");
  EXPECT_EQ(MakeCommentCard(std::string(100, 'x')).size(), 80u);
}

TEST(FITSCards, StringCardQuotes) {
  const std::string abc = MakeStringCard("ORIGIN", "ABC");
  EXPECT_EQ(abc, Card("ORIGIN  = 'ABC     '"));
  EXPECT_EQ(abc[10], '\'');
  EXPECT_EQ(abc[19], '\'');  // column 20
  const std::string ten = MakeStringCard("OBJECT", "0123456789");
  EXPECT_EQ(ten, Card("OBJECT  = '0123456789'"));
  EXPECT_EQ(ten[21], '\'');  // column 22
  // 70 characters: the text fills columns 12-79, the closing quote stands at column 80.
  const std::string longText(70, 'a');
  const std::string lc = MakeStringCard("OBJECT", longText);
  ASSERT_EQ(lc.size(), 80u);
  EXPECT_EQ(lc.substr(11, 68), std::string(68, 'a'));
  EXPECT_EQ(lc[79], '\'');
  // A quote inside the text is doubled, as FITS requires.
  EXPECT_EQ(MakeStringCard("OBJECT", "O'Neil"), Card("OBJECT  = 'O''Neil '"));
  // A doubled quote that does not fit whole is left out: the closing quote at
  // column 80 must not pair with half of it.
  const std::string split = MakeStringCard("OBJECT", std::string(67, 'a') + "'b");
  ASSERT_EQ(split.size(), 80u);
  EXPECT_EQ(split.substr(10), "'" + std::string(67, 'a') + " '");
  const std::string whole = MakeStringCard("OBJECT", std::string(66, 'a') + "'b");
  EXPECT_EQ(whole.substr(10), "'" + std::string(66, 'a') + "'''");
}

TEST(FITSCards, NewHeaderHoldsTenCardsInOrder) {
  const TFITSHeader h = MakeFITSHeader(16, 640, 480, 32768, 1);
  ASSERT_EQ(h.size(), 10u);
  EXPECT_EQ(h[0], Card("SIMPLE  =                    T"));
  EXPECT_EQ(h[1], Card("BITPIX  =                   16"));
  EXPECT_EQ(h[2], Card("NAXIS   =                    2"));
  EXPECT_EQ(h[3], Card("NAXIS1  =                  640"));
  EXPECT_EQ(h[4], Card("NAXIS2  =                  480"));
  EXPECT_EQ(h[5], Card("BZERO   =       3.276800E+0004"));
  EXPECT_EQ(h[6], Card("BSCALE  =       1.000000E+0000"));
  EXPECT_EQ(h[7], Card("ORIGIN  = 'Corvelle Image 2.5ZUL'"));
  EXPECT_EQ(h[8].substr(0, 8), "COMMENT ");
  EXPECT_EQ(h[9], Card("END"));
  for (const auto& c : h) EXPECT_EQ(c.size(), 80u);
  const TFITSHeader f = MakeFITSHeader(-32, 1, 1, 0, 1);
  EXPECT_EQ(f[1], Card("BITPIX  =                  -32"));
  EXPECT_EQ(f[5], Card("BZERO   =       0.000000E+0000"));
}

TEST(FITSCards, LookupTakesTheLastExactKeyword) {
  TFITSHeader h = {Card("BZERO   =                  100"), Card("NAXIS1  =                  512"),
                   Card("NAXIS2  = 256"), Card("BZERO   =                  200"),
                   Card("NAXIS   =                    2")};
  float z = -1;
  EXPECT_TRUE(GetFITSFloat(h, "BZERO", z));
  EXPECT_EQ(z, 200.0f);
  std::int32_t v = -1;
  EXPECT_TRUE(GetFITSInteger(h, "NAXIS1", v));
  EXPECT_EQ(v, 512);
  EXPECT_TRUE(GetFITSInteger(h, "NAXIS2", v));  // left-aligned at column 11
  EXPECT_EQ(v, 256);
  EXPECT_TRUE(GetFITSInteger(h, "NAXIS", v));  // not NAXIS1
  EXPECT_EQ(v, 2);
  v = 77;
  EXPECT_FALSE(GetFITSInteger(h, "NAXIS3", v));
  EXPECT_EQ(v, 77);  // untouched
  z = 5;
  EXPECT_FALSE(GetFITSFloat(h, "bzero", z));  // case matters
  EXPECT_EQ(z, 5.0f);
  EXPECT_FALSE(GetFITSInteger(h, "NAXIS1__LONG", v));  // cut to 8: "NAXIS1__" is not NAXIS1
  EXPECT_TRUE(GetFITSInteger(h, "NAXIS1  LONG", v));  // cut to 8: "NAXIS1  "
  EXPECT_EQ(v, 512);
}

TEST(FITSCards, FloatValuesWithCommentsAndFormats) {
  auto val = [](const std::string& field) {
    float v = -999;
    TFITSHeader h = {Card("KEY     = " + field)};
    GetFITSFloat(h, "KEY", v);
    return v;
  };
  EXPECT_EQ(val("32768 / offset"), 32768.0f);
  EXPECT_EQ(val("32768/offset"), 32768.0f);
  EXPECT_EQ(val("             1.5"), 1.5f);
  EXPECT_EQ(val("1.5             "), 1.5f);
  EXPECT_EQ(val("3.276800E+0004"), 32768.0f);
  EXPECT_EQ(val("1.0D+05"), 100000.0f);
  EXPECT_EQ(val("-.5"), -0.5f);
  EXPECT_EQ(val("+7."), 7.0f);
  EXPECT_EQ(val("0.1"), 0.1f);
  // Only columns 11-30 are the field: a value further right is not seen.
  EXPECT_THROW(val(std::string(20, ' ') + "5"), EConvertError);
  for (const std::string bad : {"abc", "'12'", "T", "1.2.3", "1e", "nan", "inf", "1e39", "--1", "1,5", ""}) {
    EXPECT_THROW(val(bad), EConvertError) << bad;
  }
  try {
    val("'a/b'");
    ADD_FAILURE();
  } catch (const EConvertError& e) {
    // The slash inside the string is not a comment.
    EXPECT_STREQ(e.what(), "''a/b'' is not a valid floating point value");
  }
}

TEST(FITSCards, IntegerValuesTakeLeadingDigits) {
  auto val = [](const std::string& field) {
    std::int32_t v = -999;
    TFITSHeader h = {Card("KEY     = " + field)};
    EXPECT_TRUE(GetFITSInteger(h, "KEY", v));
    return v;
  };
  EXPECT_EQ(val("1.5"), 1);
  EXPECT_EQ(val("512 / c"), 512);
  EXPECT_EQ(val("T"), 0);
  EXPECT_EQ(val(""), 0);
  EXPECT_EQ(val("-12"), -12);
  EXPECT_EQ(val("+12"), 12);
  EXPECT_EQ(val("99999999999999999999"), 2147483647);
  EXPECT_EQ(val("-99999999999999999999"), -2147483647 - 1);
  // Short cards are read without going past their end.
  TFITSHeader h = {"NAXIS1", "NAXIS1  =", "NAXIS1  = 12", ""};
  std::int32_t v = -1;
  EXPECT_TRUE(GetFITSInteger(h, "NAXIS1", v));
  EXPECT_EQ(v, 12);
}
