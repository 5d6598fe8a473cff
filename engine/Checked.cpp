#include "engine/Checked.h"

namespace Checked {

void Fault(const char* What) { throw EngineFault(What); }

long double Power(long double b, long double e) {
  if (std::isnan(b) || std::isnan(e)) Fault("invalid operation");
  if (e == 0) return 1.0L;
  if (b == 0) {
    if (e > 0) return 0.0L;
    Fault("division by zero");
  }
  if (e == std::trunc(e) && std::fabs(e) <= 2147483647.0L) {
    // Square-and-multiply over the whole exponent, as an integer power.
    long long n = (long long)std::fabs(e);
    long double result = 1.0L, base = b;
    while (n) {
      if (n & 1) result *= base;
      base *= base;
      n >>= 1;
    }
    if (e < 0) result = Div(1.0L, result);
    if (!std::isfinite(result)) Fault("overflow");
    return result;
  }
  return Exp(e * Ln(b));
}

}  // namespace Checked
