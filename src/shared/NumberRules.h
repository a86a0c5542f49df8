#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace ko {

// The workstation's regional number settings. Windows reads them from the user's locale; Linux
// uses the defaults below.
struct RegionalSettings {
    char decimalSeparator = '.';
    char groupSeparator = ',';
};

// Currency: signed 64-bit fixed point with four decimals (12.5 is stored as 125000).
struct Currency {
    std::int64_t scaled = 0;
    friend bool operator==(const Currency&, const Currency&) = default;
};

// The system's number rules, in one place. Nothing else parses numbers.
class NumberRules {
  public:
    // Lenient reading, as message codes and states are read: leading blanks (space, tab, CR, LF)
    // are skipped, reading stops at the first character that cannot continue a number, and no
    // digits gives 0. A number is a sign, digits with at most one '.', and an exponent ("1e3");
    // the point is always '.', whatever the regional settings say. A number too large for a
    // double reads as infinity.
    static double ReadLenient(std::string_view text);
    // True when the lenient reading finds at least one digit.
    static bool HasLeadingNumber(std::string_view text);

    // Strict conversions of a text, by the regional settings: optional blanks, a sign, digits
    // with group separators, the decimal separator, an exponent. Fails on anything else, on an
    // empty text and on overflow. Integers round to the nearest, halves to even; the digits are
    // rounded exactly, never through a double ("2.5" gives 2, "0.00005" as currency gives 0).
    static std::optional<double> ToDouble(std::string_view text,
                                          const RegionalSettings& regional = {});
    static std::optional<std::int16_t> ToInt16(std::string_view text,
                                               const RegionalSettings& regional = {});
    static std::optional<std::int32_t> ToInt32(std::string_view text,
                                               const RegionalSettings& regional = {});
    static std::optional<Currency> ToCurrency(std::string_view text,
                                              const RegionalSettings& regional = {});

    // Strict conversions of a number: nearest integer, halves to even, fail outside the range
    // or on NaN.
    static std::optional<std::int16_t> ToInt16(double value);
    static std::optional<std::int32_t> ToInt32(double value);
    static std::optional<Currency> ToCurrency(double value);

    // Plain decimal text, with the regional decimal separator: no group separators, at most 15
    // significant digits (0.1 + 0.2 gives "0.3"), whole numbers without a fraction. Magnitudes
    // from 1E-05 to below 1E+15 are written without an exponent, others as "1.5E+20".
    // Infinity and NaN give "1.#INF", "-1.#INF" and "1.#QNAN".
    static std::string Format(double value, const RegionalSettings& regional = {});
    static std::string Format(std::int64_t value);
    static std::string Format(Currency value, const RegionalSettings& regional = {});

    // The value of one hexadecimal digit (either case), or -1.
    static int HexDigitValue(char c);
};

}  // namespace ko
