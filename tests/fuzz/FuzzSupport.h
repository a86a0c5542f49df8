#pragma once

#include <cstdio>
#include <cstdlib>
#include <string_view>

// A broken property ends the run like a crash, so libFuzzer keeps the input that broke it.
#define FUZZ_CHECK(condition, what)                                                \
    do {                                                                           \
        if (!(condition)) {                                                        \
            std::fprintf(stderr, "%s:%d: broken: %s\n", __FILE__, __LINE__, what); \
            std::abort();                                                          \
        }                                                                          \
    } while (false)

namespace fuzz {

inline bool IsAnyBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

// Whether the field's first character after blanks is "&": older readings took "&H" and "&O" as
// hexadecimal and octal prefixes, whose digits include letters, so such a field is left undecided.
inline bool LedByAmpersand(std::string_view field) {
    std::size_t i = 0;
    while (i < field.size() && IsAnyBlank(field[i])) {
        ++i;
    }
    return i < field.size() && field[i] == '&';
}

// True when every lenient reading finds a number at the start of the field: after spaces (the
// one blank every reading skips), a digit, possibly after a sign, a decimal point, or both.
inline bool LedByNumber(std::string_view field) {
    std::size_t i = 0;
    while (i < field.size() && field[i] == ' ') {
        ++i;
    }
    if (i < field.size() && (field[i] == '+' || field[i] == '-')) {
        ++i;
    }
    if (i < field.size() && field[i] == '.') {
        ++i;
    }
    return i < field.size() && field[i] >= '0' && field[i] <= '9';
}

// True when no reading of numbers can find one at the start of the field: it has no decimal
// digit, or its first character after blanks cannot begin a number. Deliberately narrow, so it
// holds for any lenient reading that skips leading blanks (fields led by "&" are not judged).
inline bool CannotLeadWithNumber(std::string_view field) {
    if (LedByAmpersand(field)) {
        return false;
    }
    if (field.find_first_of("0123456789") == std::string_view::npos) {
        return true;
    }
    std::size_t i = 0;
    while (IsAnyBlank(field[i])) {
        ++i;  // a digit follows somewhere, so i stays inside the field
    }
    const char c = field[i];
    return !((c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.');
}

}  // namespace fuzz
