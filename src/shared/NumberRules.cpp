#include "shared/NumberRules.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>

namespace ko {

namespace {

// Exponents are clamped here while they are read: anything this far out is already zero or
// infinite for a double and far out of range for the integer kinds, and the clamp keeps the
// arithmetic on the exponent itself from overflowing.
constexpr int kExponentClamp = 100000;

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}
bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// A decimal number taken apart exactly: value = (negative ? -1 : 1) * digits * 10^exponent.
// digits has no leading zeros; it is empty for zero.
struct Decimal {
    bool negative = false;
    std::string digits;
    int exponent = 0;
};

void AddExponentDigit(int& exponent, char c) {
    if (exponent < kExponentClamp) {
        exponent = exponent * 10 + (c - '0');
    }
}

// Puts the mantissa digits into the decimal, dropping leading zeros; digits after the point
// lower the exponent.
void AppendMantissaDigit(Decimal& number, char c, bool afterPoint) {
    if (!(number.digits.empty() && c == '0')) {
        number.digits.push_back(c);
    }
    if (afterPoint && number.exponent > -kExponentClamp) {
        --number.exponent;
    }
}

void ApplyExponent(Decimal& number, int exponentValue, bool exponentNegative) {
    number.exponent += exponentNegative ? -exponentValue : exponentValue;
    number.exponent = std::clamp(number.exponent, -2 * kExponentClamp, 2 * kExponentClamp);
}

// The double nearest to the decimal; infinity when it is too large. from_chars is used because,
// unlike strtod, it never looks at the C locale.
double ToNearestDouble(const Decimal& number) {
    if (number.digits.empty()) {
        return number.negative ? -0.0 : 0.0;
    }
    std::string text = number.digits;
    text += 'e';
    text += std::to_string(number.exponent);
    double value = 0.0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error == std::errc::result_out_of_range) {
        // from_chars leaves the value alone on range errors; decide between zero and infinity
        // from the position of the most significant digit.
        const long long magnitude = static_cast<long long>(number.digits.size()) + number.exponent;
        value = magnitude > 0 ? std::numeric_limits<double>::infinity() : 0.0;
    } else if (error != std::errc()) {
        value = 0.0;
    }
    (void)end;
    return number.negative ? -value : value;
}

// The decimal times 10^scale, rounded to the nearest whole number with halves going to the even
// one, as a magnitude. Nothing when the magnitude exceeds the limit.
std::optional<std::uint64_t> RoundScaled(const Decimal& number, int scale, std::uint64_t limit) {
    if (number.digits.empty()) {
        return std::uint64_t{0};
    }
    const long long shift = static_cast<long long>(number.exponent) + scale;
    const long long count = static_cast<long long>(number.digits.size());
    // Digits that stay left of the point after shifting; the rest decide the rounding.
    const long long whole = count + shift;
    if (whole > 20) {
        return std::nullopt;
    }
    std::uint64_t magnitude = 0;
    for (long long i = 0; i < whole; ++i) {
        const int digit = i < count ? number.digits[static_cast<std::size_t>(i)] - '0' : 0;
        if (magnitude > (limit - static_cast<std::uint64_t>(digit)) / 10) {
            return std::nullopt;
        }
        magnitude = magnitude * 10 + static_cast<std::uint64_t>(digit);
    }
    if (whole < count) {
        // The first dropped digit, and whether anything non-zero follows it.
        const long long first = std::max(whole, 0LL);
        const int firstDropped =
            whole >= 0 ? number.digits[static_cast<std::size_t>(first)] - '0' : 0;
        bool restNonZero = false;
        for (long long i = whole >= 0 ? first + 1 : 0; i < count; ++i) {
            if (number.digits[static_cast<std::size_t>(i)] != '0') {
                restNonZero = true;
                break;
            }
        }
        if (whole < 0) {
            // Every digit lies at least one place below the first dropped position.
            restNonZero = true;
        }
        const bool roundUp = firstDropped > 5 || (firstDropped == 5 && restNonZero) ||
                             (firstDropped == 5 && !restNonZero && (magnitude % 2) == 1);
        if (roundUp) {
            if (magnitude >= limit) {
                return std::nullopt;
            }
            ++magnitude;
        }
    }
    return magnitude;
}

// Parses the strict form: blanks, a sign, digits with group separators, the decimal separator,
// digits, an exponent, blanks. Nothing on any other character or without a mantissa digit.
std::optional<Decimal> ParseStrict(std::string_view text, const RegionalSettings& regional) {
    std::size_t i = 0;
    const std::size_t n = text.size();
    while (i < n && IsBlank(text[i])) {
        ++i;
    }
    std::size_t end = n;
    while (end > i && IsBlank(text[end - 1])) {
        --end;
    }
    Decimal number;
    if (i < end && (text[i] == '+' || text[i] == '-')) {
        number.negative = text[i] == '-';
        ++i;
    }
    bool anyDigit = false;
    bool afterPoint = false;
    for (; i < end; ++i) {
        const char c = text[i];
        if (IsDigit(c)) {
            AppendMantissaDigit(number, c, afterPoint);
            anyDigit = true;
        } else if (c == regional.decimalSeparator && !afterPoint) {
            afterPoint = true;
        } else if (c == regional.groupSeparator && !afterPoint && anyDigit) {
            // Group separators are accepted anywhere among the whole digits.
        } else {
            break;
        }
    }
    if (!anyDigit) {
        return std::nullopt;
    }
    if (i < end && (text[i] == 'e' || text[i] == 'E' || text[i] == 'd' || text[i] == 'D')) {
        ++i;
        bool exponentNegative = false;
        if (i < end && (text[i] == '+' || text[i] == '-')) {
            exponentNegative = text[i] == '-';
            ++i;
        }
        int exponentValue = 0;
        bool exponentDigit = false;
        for (; i < end && IsDigit(text[i]); ++i) {
            AddExponentDigit(exponentValue, text[i]);
            exponentDigit = true;
        }
        if (!exponentDigit) {
            return std::nullopt;
        }
        ApplyExponent(number, exponentValue, exponentNegative);
    }
    if (i != end) {
        return std::nullopt;
    }
    return number;
}

// The shortest decimal text of a double that reads back the same, taken apart. Only called
// with finite values.
Decimal FromDouble(double value) {
    char buffer[64];
    auto result =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific);
    Decimal number;
    bool afterPoint = false;
    const char* p = buffer;
    if (p < result.ptr && *p == '-') {
        number.negative = true;
        ++p;
    }
    for (; p < result.ptr && *p != 'e'; ++p) {
        if (*p == '.') {
            afterPoint = true;
        } else {
            AppendMantissaDigit(number, *p, afterPoint);
        }
    }
    if (p < result.ptr) {
        ++p;
        bool exponentNegative = false;
        if (*p == '+' || *p == '-') {
            exponentNegative = *p == '-';
            ++p;
        }
        int exponentValue = 0;
        for (; p < result.ptr; ++p) {
            AddExponentDigit(exponentValue, *p);
        }
        ApplyExponent(number, exponentValue, exponentNegative);
    }
    return number;
}

template <typename T>
std::optional<T> ToSigned(const Decimal& number, int scale) {
    const auto maxMagnitude = static_cast<std::uint64_t>(std::numeric_limits<T>::max());
    const std::uint64_t limit = number.negative ? maxMagnitude + 1 : maxMagnitude;
    const auto magnitude = RoundScaled(number, scale, limit);
    if (!magnitude) {
        return std::nullopt;
    }
    if (!number.negative) {
        return static_cast<T>(*magnitude);
    }
    if (*magnitude == maxMagnitude + 1) {
        return std::numeric_limits<T>::min();
    }
    return static_cast<T>(-static_cast<std::int64_t>(*magnitude));
}

template <typename T>
std::optional<T> DoubleToSigned(double value, int scale) {
    if (!std::isfinite(value)) {
        return std::nullopt;
    }
    return ToSigned<T>(FromDouble(value), scale);
}

// Lays out significant digits (no leading zeros, at least one digit) whose first digit has the
// given decimal position (0 for units) as plain text.
std::string PlainDigits(const std::string& digits, int firstPosition, char separator) {
    std::string text;
    const int count = static_cast<int>(digits.size());
    if (firstPosition < 0) {
        text = "0";
        text += separator;
        text.append(static_cast<std::size_t>(-firstPosition - 1), '0');
        text += digits;
        return text;
    }
    const int wholeCount = firstPosition + 1;
    if (count <= wholeCount) {
        text = digits;
        text.append(static_cast<std::size_t>(wholeCount - count), '0');
        return text;
    }
    text = digits.substr(0, static_cast<std::size_t>(wholeCount));
    text += separator;
    text += digits.substr(static_cast<std::size_t>(wholeCount));
    return text;
}

}  // namespace

double NumberRules::ReadLenient(std::string_view text) {
    // Only leading blanks are skipped: a blank inside a number ends it, so a code field "2 2"
    // reads as 2, not 22. A sign, digits, one point and an exponent ("1e3") continue a number;
    // anything else ends it ("&H16" has no digits and reads as 0).
    std::size_t i = 0;
    const std::size_t n = text.size();
    while (i < n && IsBlank(text[i])) {
        ++i;
    }
    Decimal number;
    if (i < n && (text[i] == '+' || text[i] == '-')) {
        number.negative = text[i] == '-';
        ++i;
    }
    bool anyDigit = false;
    bool afterPoint = false;
    for (; i < n; ++i) {
        const char c = text[i];
        if (IsDigit(c)) {
            AppendMantissaDigit(number, c, afterPoint);
            anyDigit = true;
        } else if (c == '.' && !afterPoint) {
            afterPoint = true;
        } else {
            break;
        }
    }
    if (!anyDigit) {
        return 0.0;
    }
    if (i < n && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        bool exponentNegative = false;
        if (i < n && (text[i] == '+' || text[i] == '-')) {
            exponentNegative = text[i] == '-';
            ++i;
        }
        // An exponent marker without digits ends the number, which keeps its mantissa.
        int exponentValue = 0;
        for (; i < n && IsDigit(text[i]); ++i) {
            AddExponentDigit(exponentValue, text[i]);
        }
        ApplyExponent(number, exponentValue, exponentNegative);
    }
    const double value = ToNearestDouble(number);
    return value == 0.0 ? 0.0 : value;
}

bool NumberRules::HasLeadingNumber(std::string_view text) {
    std::size_t i = 0;
    const std::size_t n = text.size();
    while (i < n && IsBlank(text[i])) {
        ++i;
    }
    if (i < n && (text[i] == '+' || text[i] == '-')) {
        ++i;
    }
    if (i < n && text[i] == '.') {
        ++i;
    }
    return i < n && IsDigit(text[i]);
}

std::optional<double> NumberRules::ToDouble(std::string_view text,
                                            const RegionalSettings& regional) {
    const auto number = ParseStrict(text, regional);
    if (!number) {
        return std::nullopt;
    }
    const double value = ToNearestDouble(*number);
    if (!std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

std::optional<std::int16_t> NumberRules::ToInt16(std::string_view text,
                                                 const RegionalSettings& regional) {
    const auto number = ParseStrict(text, regional);
    if (!number) {
        return std::nullopt;
    }
    return ToSigned<std::int16_t>(*number, 0);
}

std::optional<std::int32_t> NumberRules::ToInt32(std::string_view text,
                                                 const RegionalSettings& regional) {
    const auto number = ParseStrict(text, regional);
    if (!number) {
        return std::nullopt;
    }
    return ToSigned<std::int32_t>(*number, 0);
}

std::optional<Currency> NumberRules::ToCurrency(std::string_view text,
                                                const RegionalSettings& regional) {
    const auto number = ParseStrict(text, regional);
    if (!number) {
        return std::nullopt;
    }
    const auto scaled = ToSigned<std::int64_t>(*number, 4);
    if (!scaled) {
        return std::nullopt;
    }
    return Currency{*scaled};
}

std::optional<std::int16_t> NumberRules::ToInt16(double value) {
    return DoubleToSigned<std::int16_t>(value, 0);
}

std::optional<std::int32_t> NumberRules::ToInt32(double value) {
    return DoubleToSigned<std::int32_t>(value, 0);
}

std::optional<Currency> NumberRules::ToCurrency(double value) {
    // The double's shortest decimal text is rounded, not its binary value: 1.00005 is taken as
    // the 1.00005 that was meant, a half at the fifth decimal, and goes to 1.0000.
    const auto scaled = DoubleToSigned<std::int64_t>(value, 4);
    if (!scaled) {
        return std::nullopt;
    }
    return Currency{*scaled};
}

std::string NumberRules::Format(double value, const RegionalSettings& regional) {
    if (std::isnan(value)) {
        return "1.#QNAN";
    }
    if (std::isinf(value)) {
        return value < 0 ? "-1.#INF" : "1.#INF";
    }
    if (value == 0.0) {
        return "0";
    }
    // Fifteen significant digits, the precision numbers have always been printed with, so that
    // 0.1 + 0.2 prints as 0.3.
    char buffer[64];
    auto result =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific, 14);
    const std::string_view printed(buffer, static_cast<std::size_t>(result.ptr - buffer));
    const std::size_t ePos = printed.find('e');
    std::string digits;
    for (const char c : printed.substr(0, ePos)) {
        if (IsDigit(c)) {
            digits.push_back(c);
        }
    }
    while (digits.size() > 1 && digits.back() == '0') {
        digits.pop_back();
    }
    int exponent = 0;
    std::from_chars(printed.data() + ePos + (printed[ePos + 1] == '+' ? 2 : 1),
                    printed.data() + printed.size(), exponent);

    std::string text = value < 0 ? "-" : "";
    if (exponent >= -5 && exponent < 15) {
        // Plain decimal for ordinary magnitudes: 1E-05 to below 1E+15.
        text += PlainDigits(digits, exponent, regional.decimalSeparator);
        return text;
    }
    // Very large and very small magnitudes keep an exponent: "1E+15", "1.5E-07".
    text += digits[0];
    if (digits.size() > 1) {
        text += regional.decimalSeparator;
        text += digits.substr(1);
    }
    text += exponent < 0 ? "E-" : "E+";
    const int absExponent = exponent < 0 ? -exponent : exponent;
    if (absExponent < 10) {
        text += '0';
    }
    text += std::to_string(absExponent);
    return text;
}

std::string NumberRules::Format(std::int64_t value) {
    return std::to_string(value);
}

std::string NumberRules::Format(Currency value, const RegionalSettings& regional) {
    const bool negative = value.scaled < 0;
    // The magnitude is taken unsigned so that the smallest value has one too.
    const std::uint64_t magnitude = negative ? 0 - static_cast<std::uint64_t>(value.scaled)
                                             : static_cast<std::uint64_t>(value.scaled);
    std::string text = negative ? "-" : "";
    text += std::to_string(magnitude / 10000);
    std::string fraction = std::to_string(magnitude % 10000);
    fraction.insert(0, 4 - fraction.size(), '0');
    while (!fraction.empty() && fraction.back() == '0') {
        fraction.pop_back();
    }
    if (!fraction.empty()) {
        text += regional.decimalSeparator;
        text += fraction;
    }
    return text;
}

int NumberRules::HexDigitValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

}  // namespace ko
