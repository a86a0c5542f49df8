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

// True when no reading of numbers can find one at the start of the field: it has no decimal
// digit, or its first character after blanks cannot begin a number. Deliberately narrow, so it
// holds for any lenient reading that skips leading blanks. A field led by "&" is left undecided:
// older readings took "&H"/"&O" as hexadecimal and octal prefixes, whose digits include letters.
inline bool CannotLeadWithNumber(std::string_view field) {
    std::size_t i = 0;
    while (i < field.size() && IsAnyBlank(field[i])) {
        ++i;
    }
    if (i < field.size() && field[i] == '&') {
        return false;
    }
    if (field.find_first_of("0123456789") == std::string_view::npos) {
        return true;
    }
    const char c = field[i];  // a digit follows somewhere, so i is inside the field
    return !((c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.');
}

}  // namespace fuzz
