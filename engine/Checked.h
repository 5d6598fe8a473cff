#pragma once
// Checked arithmetic. The program's routines stop at the first division by
// zero, invalid operation or overflow and report their own error number. C++
// raises nothing for these, so every such step goes through a helper here that
// throws EngineFault at the same point; each routine's guard catches it.
//
// Expressions are evaluated in long double (the 80-bit extended format on
// amd64) and rounded once, when stored into a float or double.
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <stdexcept>

class EngineFault : public std::runtime_error {
 public:
  explicit EngineFault(const char* What) : std::runtime_error(What) {}
};

namespace Checked {

[[noreturn]] void Fault(const char* What);

// a / b; a zero divisor (including 0 / 0) or a non-finite quotient faults.
inline long double Div(long double a, long double b) {
  if (b == 0) Fault("division by zero");
  long double q = a / b;
  if (!std::isfinite(q)) Fault(std::isnan(q) ? "invalid operation" : "overflow");
  return q;
}

// Natural and decimal logarithm; x <= 0 faults.
inline long double Ln(long double x) {
  if (!(x > 0)) Fault("invalid operation");
  return std::log(x);
}
inline long double Log10(long double x) {
  if (!(x > 0)) Fault("invalid operation");
  return std::log10(x);
}

// Square root; a negative argument faults.
inline long double Sqrt(long double x) {
  if (!(x >= 0)) Fault("invalid operation");
  return std::sqrt(x);
}

// e^x; a result beyond the extended range faults.
inline long double Exp(long double x) {
  if (std::isnan(x)) Fault("invalid operation");
  long double r = std::exp(x);
  if (std::isinf(r)) Fault("overflow");
  return r;
}

// Round with halves to the even integer. NaN, infinities and values outside
// the signed 64-bit range fault.
inline std::int64_t Round(long double x) {
  long double r = std::nearbyint(x);
  if (!(r >= -9223372036854775808.0L && r < 9223372036854775808.0L)) Fault("invalid operation");
  return std::int64_t(r);
}

// Truncation toward zero, with the same faults as Round.
inline std::int64_t Trunc(long double x) {
  long double r = std::trunc(x);
  if (!(r >= -9223372036854775808.0L && r < 9223372036854775808.0L)) Fault("invalid operation");
  return std::int64_t(r);
}

// Stores into a Single: a non-finite value or one beyond the Single range
// after rounding faults (an overflow on the store).
inline float ToSingle(long double x) {
  float r = float(x);
  if (!std::isfinite(r)) Fault(std::isnan(r) ? "invalid operation" : "overflow");
  return r;
}

// Stores into a Double, with the same faults.
inline double ToDouble(long double x) {
  double r = double(x);
  if (!std::isfinite(r)) Fault(std::isnan(r) ? "invalid operation" : "overflow");
  return r;
}

// b to the power e: 1 for e = 0, 0 for b = 0 and e > 0, the repeated product
// of b (its reciprocal for a negative e) when e is whole, otherwise
// exp(e * ln b), which faults for a negative b.
long double Power(long double b, long double e);

}  // namespace Checked
