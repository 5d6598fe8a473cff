#include "platform/NumFormat.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <system_error>

namespace NumFormat {
namespace {

// The value's 15 significant digits and its decimal exponent E, so that
// |Value| = 0.D1D2...D15 x 10^E. Zero gives all zeros and E = 0.
struct Decimal {
  std::string Digits;  // exactly 15 characters
  int Exponent = 0;
  bool Negative = false;
  bool Zero = true;
};

Decimal ToDecimal(long double Value) {
  Decimal d;
  d.Negative = std::signbit(Value);
  long double a = std::fabs(Value);
  if (a == 0) {
    d.Digits.assign(15, '0');
    return d;
  }
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.14Le", a);  // d.dddddddddddddde[+-]xx
  d.Digits.reserve(15);
  d.Digits.push_back(buf[0]);
  const char* p = buf + 2;
  while (*p && *p != 'e') d.Digits.push_back(*p++);
  d.Exponent = std::atoi(p + 1) + 1;
  d.Zero = false;
  return d;
}

// Rounds the digit string so that Keep digits remain, half away from zero;
// Keep may be out of range. Updates the exponent on a carry out.
void RoundDigits(Decimal& d, int Keep) {
  if (d.Zero || Keep >= int(d.Digits.size())) return;
  if (Keep < 0) {
    d.Digits.assign(15, '0');
    d.Zero = true;
    d.Exponent = 0;
    return;
  }
  bool up = d.Digits[Keep] >= '5';
  for (std::size_t i = Keep; i < d.Digits.size(); ++i) d.Digits[i] = '0';
  if (up) {
    int i = Keep - 1;
    while (i >= 0 && d.Digits[i] == '9') d.Digits[i--] = '0';
    if (i >= 0) {
      ++d.Digits[i];
    } else {
      d.Digits.insert(d.Digits.begin(), '1');
      d.Digits.pop_back();
      ++d.Exponent;
    }
  }
  if (d.Digits.find_first_not_of('0') == std::string::npos) {
    d.Zero = true;
    d.Exponent = 0;
  }
}

std::string Special(long double Value) {
  if (std::isnan(Value)) return "NAN";
  return Value < 0 ? "-INF" : "INF";
}

}  // namespace

std::string FormatFloat(const std::string& Pattern, long double Value, char DecimalSeparator) {
  if (!std::isfinite(Value)) return Special(Value);

  // Read the pattern: placeholders before and after the point, grouping.
  int intZeros = 0, fracZeros = 0, fracHashes = 0;
  bool seenPoint = false, grouping = false;
  std::size_t first = std::string::npos, last = 0;
  for (std::size_t i = 0; i < Pattern.size(); ++i) {
    char c = Pattern[i];
    if (c == '0' || c == '#') {
      if (first == std::string::npos) first = i;
      last = i;
      if (seenPoint) {
        (c == '0' ? fracZeros : fracHashes)++;
      } else if (c == '0') {
        ++intZeros;
      }
    } else if (c == '.' && !seenPoint && first != std::string::npos) {
      seenPoint = true;
      last = i;
    } else if (c == ',' && !seenPoint && first != std::string::npos) {
      grouping = true;
    }
  }
  if (first == std::string::npos) return Pattern;
  const int decimals = fracZeros + fracHashes;

  Decimal d = ToDecimal(Value);
  RoundDigits(d, d.Exponent + decimals);

  // Integer part.
  std::string intPart;
  if (!d.Zero && d.Exponent > 0) {
    for (int i = 0; i < d.Exponent; ++i) intPart.push_back(i < 15 ? d.Digits[i] : '0');
  }
  while (int(intPart.size()) < intZeros) intPart.insert(intPart.begin(), '0');
  if (grouping && intPart.size() > 3) {
    std::string g;
    int n = int(intPart.size());
    for (int i = 0; i < n; ++i) {
      g.push_back(intPart[i]);
      if ((n - 1 - i) % 3 == 0 && i != n - 1) g.push_back(',');
    }
    intPart = g;
  }

  // Fraction: digit k after the point is digit (Exponent + k) of the string.
  std::string frac;
  for (int k = 0; k < decimals; ++k) {
    int idx = d.Exponent + k;
    frac.push_back(!d.Zero && idx >= 0 && idx < 15 ? d.Digits[idx] : '0');
  }
  while (int(frac.size()) > fracZeros && frac.back() == '0') frac.pop_back();

  std::string number = intPart;
  if (!frac.empty()) {
    number.push_back(DecimalSeparator);
    number += frac;
  }
  if (number.empty()) number = "0";
  if (d.Negative && !d.Zero) number.insert(number.begin(), '-');

  return Pattern.substr(0, first) + number + Pattern.substr(last + 1);
}

std::string FloatToStr(long double Value, char DecimalSeparator) {
  if (!std::isfinite(Value)) return Special(Value);
  Decimal d = ToDecimal(Value);
  if (d.Zero) return "0";
  std::string m = d.Digits;
  while (m.size() > 1 && m.back() == '0') m.pop_back();
  std::string out = d.Negative ? "-" : "";
  const int e = d.Exponent;
  if (e > 15 || e < -3) {
    out.push_back(m[0]);
    if (m.size() > 1) {
      out.push_back(DecimalSeparator);
      out += m.substr(1);
    }
    out += "E" + std::to_string(e - 1);
  } else if (e <= 0) {
    out += "0";
    out.push_back(DecimalSeparator);
    out += std::string(-e, '0') + m;
  } else {
    std::string ip = m.substr(0, std::min<std::size_t>(e, m.size()));
    while (int(ip.size()) < e) ip.push_back('0');
    out += ip;
    if (int(m.size()) > e) {
      out.push_back(DecimalSeparator);
      out += m.substr(e);
    }
  }
  return out;
}

bool TryStrToFloat(const std::string& Text, long double& Value, char DecimalSeparator) {
  std::size_t b = Text.find_first_not_of(" \t");
  std::size_t e = Text.find_last_not_of(" \t");
  if (b == std::string::npos) return false;
  std::string t = Text.substr(b, e - b + 1);
  for (char& c : t) {
    if (c == DecimalSeparator) c = '.';
  }
  // Only plain decimal texts: no hex, no "inf"/"nan".
  for (char c : t) {
    if (!((c >= '0' && c <= '9') || c == '.' || c == '-' || c == '+' || c == 'e' || c == 'E')) return false;
  }
  const char* first = t.c_str();
  const char* last = first + t.size();
  if (*first == '+') ++first;  // from_chars takes no plus sign
  long double v = 0;
  auto [end, ec] = std::from_chars(first, last, v, std::chars_format::general);
  if (ec != std::errc() || end != last || !std::isfinite(v)) return false;
  Value = v;
  return true;
}

}  // namespace NumFormat
