#include <gtest/gtest.h>

#include "Billing.h"
#include "CafeData.h"
#include "KosimTestSupport.h"

namespace ko {

TEST(Billing, PrepaidCreditRunsDown) {
    Account a;
    a.payments = 500;  // 5.00
    a.billed = 200;    // 3.00 left: 50 minutes at 3.60
    SessionFigures f = Billing::Compute(a, 360, 600);
    EXPECT_TRUE(f.limited);
    EXPECT_EQ(f.allocatedAmount, 300);
    EXPECT_EQ(f.allocatedMinutes, 50);
    EXPECT_EQ(f.amount, 60);
    EXPECT_EQ(f.remainingSeconds, 2400);
    EXPECT_EQ(f.RemainingMinutes(), 40);
    EXPECT_EQ(f.remainingAmount, 240);
    EXPECT_EQ(f.totalBilled, 260);
    EXPECT_EQ(f.totalPayment, 500);
    EXPECT_EQ(f.balance, 240);
    EXPECT_EQ(Billing::Compute(a, 360, 99999).remainingSeconds, 0);
    EXPECT_EQ(Billing::Compute(a, 360, 99999).remainingAmount, 0);
}

TEST(Billing, OpenAccountsAndFreeRatesHaveNoLimit) {
    Account a;
    a.postpaid = true;
    SessionFigures f = Billing::Compute(a, 240, 3600);
    EXPECT_FALSE(f.limited);
    EXPECT_EQ(f.RemainingMinutes(), -1);
    EXPECT_EQ(f.remainingAmount, -1);
    EXPECT_EQ(f.amount, 240);
    EXPECT_EQ(f.balance, -240);
    a.postpaid = false;
    EXPECT_FALSE(Billing::Compute(a, 0, 60).limited);
}

TEST(Billing, RoundsToTheCentAndFormatsTime) {
    Account a;
    a.postpaid = true;
    EXPECT_EQ(Billing::Compute(a, 360, 5).amount, 1);  // 0.5 cent rounds up
    EXPECT_EQ(Billing::Compute(a, 360, 4).amount, 0);
    EXPECT_EQ(Billing::FormatElapsed(3725), "01:02:05");
    EXPECT_EQ(Billing::FormatElapsed(-3), "00:00:00");
}

TEST(Money, ParsesAndFormatsCents) {
    EXPECT_EQ(ParseCents("12.5"), 1250);
    EXPECT_EQ(ParseCents(" 3 "), 300);
    EXPECT_EQ(ParseCents("-0.05"), -5);
    EXPECT_FALSE(ParseCents("1.234"));
    EXPECT_FALSE(ParseCents("12,50"));
    EXPECT_FALSE(ParseCents(""));
    EXPECT_FALSE(ParseCents("."));
    EXPECT_EQ(FormatCents(1250), "12.50");
    EXPECT_EQ(FormatCents(-5), "-0.05");
    EXPECT_EQ(FormatCents(0), "0.00");
}

TEST(CafeData, TheDemoDataLoads) {
    std::vector<std::string> errors;
    auto data = CafeData::Load(KOSIM_SOURCE_DIR "/demo-data.json", errors);
    ASSERT_TRUE(data) << (errors.empty() ? "" : errors.front());
    EXPECT_NE(data->FindAccount("bob"), nullptr);
    EXPECT_NE(data->FindProfile(data->logonProfile), nullptr);
    EXPECT_NE(data->FindProfile(data->logoffProfile), nullptr);
    EXPECT_FALSE(data->advertisements.empty());
    // The data file keeps the order of name-value settings.
    EXPECT_EQ(data->FindProfile("logoff")->cleanUp.front().name, "closeallapp");
}

TEST(CafeData, RefusesDataTheWorkstationWouldActOnBadly) {
    auto refused = [](const std::string& json) {
        std::vector<std::string> errors;
        return !CafeData::Parse(json, errors).has_value() && !errors.empty();
    };
    EXPECT_TRUE(refused("[]"));
    EXPECT_TRUE(refused("{ not json"));
    EXPECT_TRUE(refused(R"({"statusIntervalSeconds": "ten"})"));
    EXPECT_TRUE(refused(R"({"rates":[{"name":"s","perHour":"x"}]})"));
    EXPECT_TRUE(refused(R"({"customers":[{"id":"a|b","rate":"s"}],"rates":[{"name":"s"}]})"));
    EXPECT_TRUE(refused(R"({"customers":[{"id":"a","rate":"nope"}]})"));
    EXPECT_TRUE(refused(R"({"customers":[{"id":"a","rate":"s"},{"id":"a","rate":"s"}],
                           "rates":[{"name":"s"}]})"));
    EXPECT_TRUE(refused(R"({"options":{"timeoutMessageSeconds":70}})"));
    EXPECT_TRUE(refused(R"({"profiles":{"logon":{"disallowedUrls":["casino",""]},"logoff":{}}})"));
    EXPECT_TRUE(refused(
        R"({"profiles":{"logon":{"windowsSettings":{"AutoAdminLogon":"1"}},"logoff":{}}})"));
    EXPECT_TRUE(refused(R"({"profiles":{"logon":{"cleanUp":{"delmydoc":"1"}},"logoff":{}}})"));
    EXPECT_TRUE(refused(R"({"profiles":{"logon":{}}})"));  // no logoff profile
    EXPECT_TRUE(refused(R"({"advertisements":{"pages":[{"title":"a","seconds":0}]}})"));
    EXPECT_TRUE(refused(R"({"advertisements":{"pages":[{"title":"a","seconds":90}]}})"));
    EXPECT_TRUE(refused(R"({"services":[{"id":"a b"}]})"));

    std::vector<std::string> errors;
    EXPECT_TRUE(CafeData::Parse("{}", errors).has_value());
    EXPECT_TRUE(CafeData::Parse(R"({"profiles":{"logon":{"windowsSettings":{
        "AutoAdminLogon":"1","DefaultUserName":"Customer"}},"logoff":{}}})",
                                errors)
                    .has_value());
}

}  // namespace ko
