#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>

#include "engine/Checked.h"

TEST(Checked, RoundHalvesToEven) {
  EXPECT_EQ(Checked::Round(2.5L), 2);
  EXPECT_EQ(Checked::Round(3.5L), 4);
  EXPECT_EQ(Checked::Round(-2.5L), -2);
  EXPECT_EQ(Checked::Round(-3.5L), -4);
  EXPECT_EQ(Checked::Round(0.49999999999999999L), 0);
  EXPECT_EQ(Checked::Round(127.5L), 128);
  EXPECT_EQ(Checked::Round(126.5L), 126);
}

TEST(Checked, TruncTowardZero) {
  EXPECT_EQ(Checked::Trunc(2.9L), 2);
  EXPECT_EQ(Checked::Trunc(-2.9L), -2);
  EXPECT_EQ(Checked::Trunc(-0.5L), 0);
}

TEST(Checked, RoundAndTruncFaultOutsideRange) {
  EXPECT_THROW(Checked::Round(NAN), EngineFault);
  EXPECT_THROW(Checked::Round(INFINITY), EngineFault);
  EXPECT_THROW(Checked::Round(-INFINITY), EngineFault);
  EXPECT_THROW(Checked::Round(9223372036854775808.0L), EngineFault);
  EXPECT_NO_THROW(Checked::Round(-9223372036854775808.0L));
  EXPECT_THROW(Checked::Trunc(NAN), EngineFault);
  EXPECT_THROW(Checked::Trunc(1e19L), EngineFault);
  EXPECT_EQ(Checked::Trunc(9223372036854775807.5L), 9223372036854775807LL);
}

TEST(Checked, DivisionFaults) {
  EXPECT_THROW(Checked::Div(1, 0), EngineFault);
  EXPECT_THROW(Checked::Div(0, 0), EngineFault);
  EXPECT_THROW(Checked::Div(-1, -0.0L), EngineFault);
  EXPECT_THROW(Checked::Div(LDBL_MAX, 0.5L), EngineFault);
  EXPECT_EQ(Checked::Div(1, 4), 0.25L);
}

TEST(Checked, LogSqrtExp) {
  EXPECT_THROW(Checked::Ln(0), EngineFault);
  EXPECT_THROW(Checked::Ln(-1), EngineFault);
  EXPECT_THROW(Checked::Log10(0), EngineFault);
  EXPECT_THROW(Checked::Sqrt(-1e-30L), EngineFault);
  EXPECT_THROW(Checked::Exp(20000), EngineFault);
  EXPECT_EQ(Checked::Sqrt(0), 0.0L);
  EXPECT_EQ(Checked::Log10(1000), 3.0L);
  EXPECT_EQ(Checked::Exp(-20000), 0.0L);  // underflow is not a fault
}

TEST(Checked, StoresIntoSingleAndDouble) {
  EXPECT_THROW(Checked::ToSingle(3.5e38L), EngineFault);
  EXPECT_THROW(Checked::ToSingle(-3.5e38L), EngineFault);
  EXPECT_THROW(Checked::ToSingle(NAN), EngineFault);
  EXPECT_EQ(Checked::ToSingle(1e-50L), 0.0f);
  EXPECT_EQ(Checked::ToSingle(FLT_MAX), FLT_MAX);
  EXPECT_THROW(Checked::ToDouble(1e400L), EngineFault);
  EXPECT_EQ(Checked::ToDouble(0.1L), 0.1);
}

TEST(Checked, PowerRules) {
  EXPECT_EQ(Checked::Power(0, 0), 1.0L);
  EXPECT_EQ(Checked::Power(-3, 0), 1.0L);
  EXPECT_EQ(Checked::Power(0, 2.5L), 0.0L);
  EXPECT_EQ(Checked::Power(-2, 3), -8.0L);
  EXPECT_EQ(Checked::Power(2, -2), 0.25L);
  EXPECT_EQ(Checked::Power(-2, -1), -0.5L);
  EXPECT_NEAR(double(Checked::Power(2, 0.5L)), std::sqrt(2.0), 1e-15);
  EXPECT_THROW(Checked::Power(-2, 0.5L), EngineFault);
  EXPECT_THROW(Checked::Power(0, -1), EngineFault);
}
