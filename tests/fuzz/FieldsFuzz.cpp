// Field splitting of server messages and the number rules every field is read with. The input's
// first byte picks the regional settings; the rest is an earlier message, a line break, and the
// message under test (without a line break, no earlier message).

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "fakes/AgentHarness.h"
#include "fuzz/FuzzSupport.h"
#include "shared/NumberRules.h"

namespace {

using ko::Currency;
using ko::NumberRules;
using ko::RegionalSettings;

// Separators workstations are set up with: decimal point or comma, grouped by comma, point,
// blank, apostrophe or no-break space.
constexpr RegionalSettings kRegional[] = {
    {'.', ','}, {',', '.'}, {',', ' '}, {'.', '\''}, {',', '\xA0'},
};

bool NoDigitOfAnyBase(std::string_view text) {
    return text.find_first_of("0123456789abcdefABCDEF") == std::string_view::npos;
}

bool Near(double a, double b, double relative, double absolute) {
    return a == b || std::fabs(a - b) <= relative * std::fabs(b) + absolute;
}

// The lenient reading, as message codes and states are read.
void CheckLenient(std::string_view field, std::string_view restOfMessage) {
    const double value = NumberRules::ReadLenient(field);
    FUZZ_CHECK(!std::isnan(value), "a lenient reading is a number");
    FUZZ_CHECK(NumberRules::ReadLenient(std::string(" ") + std::string(field)) == value,
               "leading blanks are skipped");
    FUZZ_CHECK(NumberRules::ReadLenient(restOfMessage) == value,
               "a field reads the same inside its message: reading stops at the separator");
    if (NoDigitOfAnyBase(field) || fuzz::CannotLeadWithNumber(field)) {
        FUZZ_CHECK(value == 0.0, "a text without a number reads as 0");
    }
    const auto whole = NumberRules::ToInt32(value);
    if (whole) {
        FUZZ_CHECK(std::fabs(value - *whole) <= 0.5, "the nearest 32-bit integer");
    }
    if (const auto small = NumberRules::ToInt16(value)) {
        FUZZ_CHECK(whole && *whole == *small, "16 and 32 bits agree");
    }
    (void)NumberRules::ToCurrency(value);
}

// The strict conversions by the regional settings, and what the system writes reads back.
void CheckStrict(std::string_view text, const RegionalSettings& regional) {
    const auto number = NumberRules::ToDouble(text, regional);
    const auto i16 = NumberRules::ToInt16(text, regional);
    const auto i32 = NumberRules::ToInt32(text, regional);
    const auto currency = NumberRules::ToCurrency(text, regional);
    if (i16) {
        FUZZ_CHECK(i32 && *i32 == *i16, "a 16-bit reading is also the 32-bit one");
    }
    if (i32) {
        FUZZ_CHECK(number && std::fabs(*number - *i32) <= 0.5 + 1e-6,
                   "an integer reading is the nearest to the number");
        FUZZ_CHECK(NumberRules::ToInt32(NumberRules::Format(std::int64_t{*i32})) == i32,
                   "a written integer reads back");
    }
    if (currency) {
        FUZZ_CHECK(number && Near(*number, static_cast<double>(currency->scaled) / 10000.0, 1e-12,
                                  0.5e-4 + 1e-12),
                   "a currency reading is the number to four decimals");
        FUZZ_CHECK(
            NumberRules::ToCurrency(NumberRules::Format(*currency, regional), regional) == currency,
            "a written currency reads back exactly");
    }
    if (number) {
        const auto back = NumberRules::ToDouble(NumberRules::Format(*number, regional), regional);
        FUZZ_CHECK(back || std::fabs(*number) > 1e308, "a written number reads back");
        if (back) {
            FUZZ_CHECK(Near(*back, *number, 1e-14, 1e-300), "to fifteen significant digits");
        }
    }
}

// Any double, as the conversions of computed values see them.
void CheckDouble(double value, const RegionalSettings& regional) {
    const std::string text = NumberRules::Format(value, regional);
    FUZZ_CHECK(!text.empty(), "every number has a text");
    if (const auto whole = NumberRules::ToInt32(value)) {
        FUZZ_CHECK(std::fabs(value - *whole) <= 0.5, "the nearest 32-bit integer");
    }
    (void)NumberRules::ToInt16(value);
    (void)NumberRules::ToCurrency(value);
    if (std::isfinite(value)) {
        const auto back = NumberRules::ToDouble(text, regional);
        FUZZ_CHECK(back || std::fabs(value) > 1e308, "a written number reads back");
    }
}

ko::wsClient& Client() {
    static ko::AgentHarness* harness = [] {
        auto* h = new ko::AgentHarness();
        h->StartConnected();
        return h;
    }();
    return harness->Client();
}

void CheckSplit(const std::string& earlier, const std::string& text) {
    ko::wsClient& client = Client();
    client.SplitFields(earlier);
    const auto before = client.MessageFields;
    client.SplitFields(text);

    // The fields the text reaches, at most 300; the rest keep what the earlier message left.
    std::vector<std::string_view> pieces;
    std::size_t start = 0;
    while (pieces.size() < ko::wsClient::kMaxField) {
        const std::size_t bar = text.find('|', start);
        pieces.push_back(std::string_view(text).substr(start, bar - start));
        if (bar == std::string::npos) {
            break;
        }
        start = bar + 1;
    }
    FUZZ_CHECK(client.MessageFields[0].empty(), "index 0 is never filled");
    for (std::size_t i = 1; i <= ko::wsClient::kMaxField; ++i) {
        if (i <= pieces.size()) {
            FUZZ_CHECK(client.MessageFields[i] == pieces[i - 1], "a field the message reaches");
        } else {
            FUZZ_CHECK(client.MessageFields[i] == before[i], "a field it does not reach");
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    const RegionalSettings& regional = kRegional[bytes[0] % std::size(kRegional)];
    const std::string_view data(reinterpret_cast<const char*>(bytes) + 1, size - 1);
    const std::size_t newline = data.find('\n');
    const std::string earlier(newline == std::string_view::npos ? "" : data.substr(0, newline));
    const std::string text(newline == std::string_view::npos ? data : data.substr(newline + 1));

    CheckSplit(earlier, text);

    // Every field of the message, read as the handlers read them.
    std::size_t start = 0;
    for (std::size_t count = 0; count < 32; ++count) {
        const std::size_t bar = text.find('|', start);
        const std::string_view field = std::string_view(text).substr(start, bar - start);
        CheckLenient(field, std::string_view(text).substr(start));
        CheckStrict(field, regional);
        if (bar == std::string::npos) {
            break;
        }
        start = bar + 1;
    }

    if (text.size() >= sizeof(double)) {
        double value = 0.0;
        std::memcpy(&value, text.data(), sizeof value);
        CheckDouble(value, regional);
    }
    return 0;
}
