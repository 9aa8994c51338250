#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Numbers as the configuration files hold them. Writing and reading never
// consult the process locale: a file written under one locale reads the same
// under any other.
namespace kovra {

// General notation with 6 significant digits and no trailing zeros, as a text
// stream prints a float with default flags: 0.075, -70, 1, 1e-05, 1.23457e+06.
std::string formatNumber(double value);
std::string formatInteger(long long value);
// Fixed notation with exactly `decimals` digits after the point (0 to 9):
// 0.05 with 2 digits is "0.05", -70 with 1 is "-70.0". A value that is not a
// number, or too large to print, gives "0".
std::string formatFixed(double value, int decimals);

// Each reads one value the way a text stream's extraction does: leading white
// space is skipped, a sign is allowed, and reading stops at the first
// character that cannot continue the number. On success the value is stored
// and `text` is advanced past it; otherwise both are left as they were.
// "inf", "nan", and values out of the destination's range are refused, and a
// negative number is not an unsigned one.
bool extractNumber(std::string_view& text, float& out);
bool extractInteger(std::string_view& text, std::int32_t& out);
bool extractUnsigned(std::string_view& text, std::uint32_t& out);

// The white space of the classic locale: blank, tab, line feed, vertical tab,
// form feed, carriage return.
constexpr bool isIniSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

}  // namespace kovra
