#include "shared/NumberRules.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace ko {
namespace {

const RegionalSettings kComma{',', '.'};

TEST(NumberRulesLenient, ReadsTheLeadingNumberAndStops) {
    EXPECT_EQ(NumberRules::ReadLenient(" 0"), 0.0);
    EXPECT_EQ(NumberRules::ReadLenient("7abc"), 7.0);
    EXPECT_EQ(NumberRules::ReadLenient("2.5"), 2.5);
    EXPECT_EQ(NumberRules::ReadLenient("-3"), -3.0);
    EXPECT_EQ(NumberRules::ReadLenient("+4|x"), 4.0);
    EXPECT_EQ(NumberRules::ReadLenient("\t\r\n 12"), 12.0);
    EXPECT_EQ(NumberRules::ReadLenient("1.2.3"), 1.2);
    EXPECT_EQ(NumberRules::ReadLenient(".5"), 0.5);
    EXPECT_EQ(NumberRules::ReadLenient("1,5"), 1.0);  // never regional
}

TEST(NumberRulesLenient, NoDigitsGiveZero) {
    EXPECT_EQ(NumberRules::ReadLenient(""), 0.0);
    EXPECT_EQ(NumberRules::ReadLenient("abc"), 0.0);
    EXPECT_EQ(NumberRules::ReadLenient("-"), 0.0);
    EXPECT_EQ(NumberRules::ReadLenient("."), 0.0);
    EXPECT_FALSE(std::signbit(NumberRules::ReadLenient("-0")));
    EXPECT_FALSE(NumberRules::HasLeadingNumber(""));
    EXPECT_FALSE(NumberRules::HasLeadingNumber("abc"));
    EXPECT_FALSE(NumberRules::HasLeadingNumber("- x"));
    EXPECT_TRUE(NumberRules::HasLeadingNumber(" 0"));
    EXPECT_TRUE(NumberRules::HasLeadingNumber("-.5"));
}

// Only leading blanks are skipped and nothing but a decimal number is read: a code field "2 2"
// or "&H16" must not become code 22, which stops the agent.
TEST(NumberRulesLenient, ABlankOrAnyOtherNotationEndsTheNumber) {
    EXPECT_EQ(NumberRules::ReadLenient("2 2"), 2.0);
    EXPECT_EQ(NumberRules::ReadLenient(" 2\t2"), 2.0);
    EXPECT_EQ(NumberRules::ReadLenient("1 . 5"), 1.0);
    EXPECT_EQ(NumberRules::ReadLenient("- 3"), 0.0);
    EXPECT_FALSE(NumberRules::HasLeadingNumber("- 3"));
    for (const char* other : {"&H16", "&h1f", "&O26", "& H16"}) {
        EXPECT_EQ(NumberRules::ReadLenient(other), 0.0) << other;
        EXPECT_FALSE(NumberRules::HasLeadingNumber(other)) << other;
    }
    EXPECT_EQ(NumberRules::ReadLenient("2D2"), 2.0);
    EXPECT_EQ(NumberRules::ReadLenient("2d1"), 2.0);
}

TEST(NumberRulesLenient, ReadsExponents) {
    EXPECT_EQ(NumberRules::ReadLenient("1e3"), 1000.0);
    EXPECT_EQ(NumberRules::ReadLenient("1.5E-2x"), 0.015);
    EXPECT_EQ(NumberRules::ReadLenient("3e"), 3.0);
    EXPECT_EQ(NumberRules::ReadLenient("3e+"), 3.0);
    EXPECT_EQ(NumberRules::ReadLenient("3e 2"), 3.0);
}

TEST(NumberRulesLenient, HugeNumbersBecomeInfinityWithoutHarm) {
    EXPECT_EQ(NumberRules::ReadLenient("1e999999999999"), std::numeric_limits<double>::infinity());
    EXPECT_EQ(NumberRules::ReadLenient("-1e400"), -std::numeric_limits<double>::infinity());
    EXPECT_EQ(NumberRules::ReadLenient("1e-999999999999"), 0.0);
    EXPECT_EQ(NumberRules::ReadLenient(std::string(400, '9')),
              std::numeric_limits<double>::infinity());
}

TEST(NumberRulesStrict, RoundsHalvesToEven) {
    EXPECT_EQ(NumberRules::ToInt16("2.5"), 2);
    EXPECT_EQ(NumberRules::ToInt16("3.5"), 4);
    EXPECT_EQ(NumberRules::ToInt16("-2.5"), -2);
    EXPECT_EQ(NumberRules::ToInt16("-3.5"), -4);
    EXPECT_EQ(NumberRules::ToInt16("2.5000000000000000001"), 3);
    EXPECT_EQ(NumberRules::ToInt16("0.4999999999999999999"), 0);
    EXPECT_EQ(NumberRules::ToInt32("0.5"), 0);
    EXPECT_EQ(NumberRules::ToInt32("1.5"), 2);
    EXPECT_EQ(NumberRules::ToInt16(2.5), 2);
    EXPECT_EQ(NumberRules::ToInt16(3.5), 4);
    EXPECT_EQ(NumberRules::ToInt16(-2.5), -2);
    EXPECT_EQ(NumberRules::ToInt32(0.49999999999999994), 0);
    EXPECT_EQ(NumberRules::ToInt32(-0.5), 0);
}

TEST(NumberRulesStrict, EnforcesRanges) {
    EXPECT_EQ(NumberRules::ToInt16("32767"), 32767);
    EXPECT_EQ(NumberRules::ToInt16("-32768"), -32768);
    EXPECT_EQ(NumberRules::ToInt16("32767.5"), std::nullopt);  // rounds to 32768
    EXPECT_EQ(NumberRules::ToInt16("-32768.5"), -32768);       // even
    EXPECT_EQ(NumberRules::ToInt16("32768"), std::nullopt);
    EXPECT_EQ(NumberRules::ToInt16("70000"), std::nullopt);
    EXPECT_EQ(NumberRules::ToInt32("2147483647"), 2147483647);
    EXPECT_EQ(NumberRules::ToInt32("-2147483648"), std::numeric_limits<std::int32_t>::min());
    EXPECT_EQ(NumberRules::ToInt32("2147483648"), std::nullopt);
    EXPECT_EQ(NumberRules::ToInt32("1e10"), std::nullopt);
    EXPECT_EQ(NumberRules::ToInt32("1e999999999999"), std::nullopt);
    EXPECT_EQ(NumberRules::ToInt32("1e-999999999999"), 0);
    EXPECT_EQ(NumberRules::ToInt16(32767.4), 32767);
    EXPECT_EQ(NumberRules::ToInt16(32767.5), std::nullopt);
    EXPECT_EQ(NumberRules::ToInt32(std::nan("")), std::nullopt);
    EXPECT_EQ(NumberRules::ToInt32(std::numeric_limits<double>::infinity()), std::nullopt);
    EXPECT_EQ(NumberRules::ToDouble("1e400"), std::nullopt);
    EXPECT_EQ(NumberRules::ToDouble("-1e400"), std::nullopt);
}

TEST(NumberRulesStrict, AcceptsTheRegularFormOnly) {
    EXPECT_EQ(NumberRules::ToDouble("  -1,234.5  "), -1234.5);
    EXPECT_EQ(NumberRules::ToDouble("+.5"), 0.5);
    EXPECT_EQ(NumberRules::ToDouble("5."), 5.0);
    EXPECT_EQ(NumberRules::ToDouble("1.5e3"), 1500.0);
    EXPECT_EQ(NumberRules::ToDouble("1,5"), 15.0);  // group separator with '.' settings
    EXPECT_EQ(NumberRules::ToInt16("9678"), 9678);
    for (const char* bad : {"", "  ", "abc", "7abc", "1.2.3", "-", ".", ",5", "1e", "1e+", "1 2",
                            "--1", "1.5,0", "True", "&H1F", "1e3x", "nan", "inf"}) {
        EXPECT_EQ(NumberRules::ToDouble(bad), std::nullopt) << bad;
        EXPECT_EQ(NumberRules::ToInt16(bad), std::nullopt) << bad;
        EXPECT_EQ(NumberRules::ToInt32(bad), std::nullopt) << bad;
        EXPECT_EQ(NumberRules::ToCurrency(bad), std::nullopt) << bad;
    }
}

TEST(NumberRulesStrict, FollowsTheRegionalComma) {
    EXPECT_EQ(NumberRules::ToDouble("2,5", kComma), 2.5);
    EXPECT_EQ(NumberRules::ToDouble("1.234,5", kComma), 1234.5);
    EXPECT_EQ(NumberRules::ToDouble("2.5", kComma), 25.0);  // '.' groups here
    EXPECT_EQ(NumberRules::ToDouble("2,5,1", kComma), std::nullopt);
    EXPECT_EQ(NumberRules::ToInt16("2,5", kComma), 2);
    EXPECT_EQ(NumberRules::ToCurrency("12,3456", kComma), Currency{123456});
    EXPECT_EQ(NumberRules::Format(2.5, kComma), "2,5");
    EXPECT_EQ(NumberRules::Format(Currency{-125000}, kComma), "-12,5");
}

TEST(NumberRulesCurrency, ParsesDigitsExactly) {
    EXPECT_EQ(NumberRules::ToCurrency("12.5"), Currency{125000});
    EXPECT_EQ(NumberRules::ToCurrency("0.1"), Currency{1000});
    EXPECT_EQ(NumberRules::ToCurrency("1.00005"), Currency{10000});  // half, to even
    EXPECT_EQ(NumberRules::ToCurrency("1.00015"), Currency{10002});
    EXPECT_EQ(NumberRules::ToCurrency("1.000050001"), Currency{10001});
    EXPECT_EQ(NumberRules::ToCurrency("-0.00005"), Currency{0});
    EXPECT_EQ(NumberRules::ToCurrency("-0.00015"), Currency{-2});
    // 922337203685477.5807 is the largest currency; doubles cannot hold it.
    EXPECT_EQ(NumberRules::ToCurrency("922337203685477.5807"),
              Currency{std::numeric_limits<std::int64_t>::max()});
    EXPECT_EQ(NumberRules::ToCurrency("-922337203685477.5808"),
              Currency{std::numeric_limits<std::int64_t>::min()});
    EXPECT_EQ(NumberRules::ToCurrency("922337203685477.5808"), std::nullopt);
    EXPECT_EQ(NumberRules::ToCurrency("922337203685477.58075"), std::nullopt);
    EXPECT_EQ(NumberRules::ToCurrency("1e15"), std::nullopt);
    EXPECT_EQ(NumberRules::ToCurrency("1.5e-3"), Currency{15});
    EXPECT_EQ(NumberRules::ToCurrency(0.1), Currency{1000});
    EXPECT_EQ(NumberRules::ToCurrency(1.00005), Currency{10000});
    EXPECT_EQ(NumberRules::ToCurrency(-12.34567), Currency{-123457});
    EXPECT_EQ(NumberRules::ToCurrency(1e300), std::nullopt);
    EXPECT_EQ(NumberRules::ToCurrency(std::nan("")), std::nullopt);
}

TEST(NumberRulesFormat, WritesPlainDecimals) {
    EXPECT_EQ(NumberRules::Format(0.0), "0");
    EXPECT_EQ(NumberRules::Format(-0.0), "0");
    EXPECT_EQ(NumberRules::Format(2.0), "2");
    EXPECT_EQ(NumberRules::Format(-2.5), "-2.5");
    EXPECT_EQ(NumberRules::Format(0.1 + 0.2), "0.3");
    EXPECT_EQ(NumberRules::Format(1.0 / 3.0), "0.333333333333333");
    EXPECT_EQ(NumberRules::Format(123456789012345.0), "123456789012345");
    EXPECT_EQ(NumberRules::Format(1500.0), "1500");
    EXPECT_EQ(NumberRules::Format(0.00001), "0.00001");
    EXPECT_EQ(NumberRules::Format(1e15), "1E+15");
    EXPECT_EQ(NumberRules::Format(1.5e-7), "1.5E-07");
    EXPECT_EQ(NumberRules::Format(-2.5e200), "-2.5E+200");
    EXPECT_EQ(NumberRules::Format(std::numeric_limits<double>::infinity()), "1.#INF");
    EXPECT_EQ(NumberRules::Format(std::int64_t{-1}), "-1");
    EXPECT_EQ(NumberRules::Format(std::numeric_limits<std::int64_t>::min()),
              "-9223372036854775808");
    EXPECT_EQ(NumberRules::Format(Currency{125000}), "12.5");
    EXPECT_EQ(NumberRules::Format(Currency{20000}), "2");
    EXPECT_EQ(NumberRules::Format(Currency{1}), "0.0001");
    EXPECT_EQ(NumberRules::Format(Currency{-1}), "-0.0001");
    EXPECT_EQ(NumberRules::Format(Currency{std::numeric_limits<std::int64_t>::min()}),
              "-922337203685477.5808");
}

TEST(NumberRulesFormat, FormattedNumbersReadBack) {
    for (double value : {0.5, -17.25, 9678.0, 1234567.875, 0.0001}) {
        EXPECT_EQ(NumberRules::ToDouble(NumberRules::Format(value)), value);
        EXPECT_EQ(NumberRules::ToDouble(NumberRules::Format(value, kComma), kComma), value);
        EXPECT_EQ(NumberRules::ReadLenient(NumberRules::Format(value)), value);
    }
    const Currency money{-1234567};
    EXPECT_EQ(NumberRules::ToCurrency(NumberRules::Format(money)), money);
}

}  // namespace
}  // namespace ko
