#pragma once
// The program's own number formatting. It differs from printf: values are first
// taken to 15 significant digits, and a pattern such as "0.00" then rounds that
// digit string half away from zero (1.0005 with "0.000" gives "1.001").
#include <string>

namespace NumFormat {

// Formats with a pattern of digit placeholders: '0' (always a digit), '#'
// (a digit only when significant), one '.' and optional ',' for thousands
// grouping before it; other characters are copied as they stand.
// Examples: "0", "0.0", "0.00", "0.000", "#,##0.00".
std::string FormatFloat(const std::string& Pattern, long double Value, char DecimalSeparator = '.');

// General format with up to 15 significant digits and no trailing zeros:
// fixed notation while the value has at most 15 digits before the point and
// is at least 0.0001 in magnitude, otherwise "2E32", "1.5E-7" (no '+', no
// leading zeros in the exponent).
std::string FloatToStr(long double Value, char DecimalSeparator = '.');

// Parses the general format back (accepts either '.' or the given separator);
// false on anything that is not a whole number text.
bool TryStrToFloat(const std::string& Text, long double& Value, char DecimalSeparator = '.');

}  // namespace NumFormat
