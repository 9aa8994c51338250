#include "kovra/config/NumberFormat.h"

#include <charconv>
#include <cmath>
#include <system_error>

namespace kovra {
namespace {

constexpr bool isDigit(char c) { return c >= '0' && c <= '9'; }

const char* skipSpace(const char* p, const char* end) {
    while (p != end && isIniSpace(*p)) ++p;
    return p;
}

// Consumes a leading "+" (std::from_chars does not accept one) and checks that
// a digit, or a point for floating-point numbers, follows the optional sign.
// Returns null when the text cannot start a number.
const char* startOfDigits(const char* p, const char* end, bool allowMinus, bool allowPoint) {
    if (p != end && *p == '+') {
        ++p;
    } else if (allowMinus && p != end && *p == '-') {
        ++p;
    }
    if (p == end) return nullptr;
    if (isDigit(*p) || (allowPoint && *p == '.')) return p;
    return nullptr;
}

}  // namespace

std::string formatNumber(double value) {
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value,
                                      std::chars_format::general, 6);
    if (result.ec != std::errc{}) return "0";
    return std::string(buffer, result.ptr);
}

std::string formatInteger(long long value) {
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

std::string formatFixed(double value, int decimals) {
    if (!std::isfinite(value)) return "0";
    char buffer[64];
    const int digits = decimals < 0 ? 0 : (decimals > 9 ? 9 : decimals);
    const auto result =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, digits);
    if (result.ec != std::errc{}) return "0";
    return std::string(buffer, result.ptr);
}

bool extractNumber(std::string_view& text, float& out) {
    const char* const end = text.data() + text.size();
    const char* p = skipSpace(text.data(), end);
    const bool negative = p != end && *p == '-';
    const char* digits = startOfDigits(p, end, true, true);
    if (digits == nullptr) return false;
    float value = 0.0f;
    const auto result = std::from_chars(digits, end, value, std::chars_format::general);
    if (result.ec != std::errc{} || !std::isfinite(value)) return false;
    out = negative ? -value : value;
    text.remove_prefix(static_cast<std::size_t>(result.ptr - text.data()));
    return true;
}

bool extractInteger(std::string_view& text, std::int32_t& out) {
    const char* const end = text.data() + text.size();
    const char* p = skipSpace(text.data(), end);
    if (startOfDigits(p, end, true, false) == nullptr) return false;
    if (*p == '+') ++p;  // from_chars takes the minus itself, so INT32_MIN reads
    std::int32_t value = 0;
    const auto result = std::from_chars(p, end, value, 10);
    if (result.ec != std::errc{}) return false;
    out = value;
    text.remove_prefix(static_cast<std::size_t>(result.ptr - text.data()));
    return true;
}

bool extractUnsigned(std::string_view& text, std::uint32_t& out) {
    const char* const end = text.data() + text.size();
    const char* digits = startOfDigits(skipSpace(text.data(), end), end, false, false);
    if (digits == nullptr) return false;
    std::uint32_t value = 0;
    const auto result = std::from_chars(digits, end, value, 10);
    if (result.ec != std::errc{}) return false;
    out = value;
    text.remove_prefix(static_cast<std::size_t>(result.ptr - text.data()));
    return true;
}

}  // namespace kovra
