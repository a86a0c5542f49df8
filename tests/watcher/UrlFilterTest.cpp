#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "watcher/DisallowedUrlList.h"
#include "watcher/ReportLimiter.h"
#include "watcher/UrlText.h"

namespace ko::watcher {
namespace {

XmlNode Entry(const std::string& text) {
    return XmlNode::MakeElement("Url", {XmlNode::MakeText(text)});
}

XmlNode SettingsDocument(std::vector<XmlNode> entries) {
    return XmlNode::MakeDocument(XmlNode::MakeElement(
        "LogonSettings", {XmlNode::MakeElement("Other", {Entry("ignored")}),
                          XmlNode::MakeElement("DisallowedUrls", std::move(entries)),
                          XmlNode::MakeElement("DisallowedUrls", {Entry("second")})}));
}

TEST(DisallowedUrlList, FindsAnEntryAnywhereInAnyLetterCase) {
    DisallowedUrlList list({"casino", "Poker.COM", "/adult/"});
    EXPECT_TRUE(list.FoundIn("http://WWW.CASINO.example/"));
    EXPECT_TRUE(list.FoundIn("http://example.org/?q=CaSiNo"));
    EXPECT_TRUE(list.FoundIn("https://poker.com"));
    EXPECT_TRUE(list.FoundIn("http://a.b/x/ADULT/y"));
    EXPECT_FALSE(list.FoundIn("http://example.org/cas-ino"));
    EXPECT_FALSE(list.FoundIn(""));
    // Only ASCII letters fold: ANSI letters above 127 are compared as they are.
    DisallowedUrlList ansi({"caf\xe9"});
    EXPECT_TRUE(ansi.FoundIn("http://CAF\xe9.example/"));
    EXPECT_FALSE(ansi.FoundIn("http://caf\xc9.example/"));
}

TEST(DisallowedUrlList, OverlappingAndNestedEntriesAreAllFound) {
    // Entries that share prefixes or lie inside each other: the matcher must fall back correctly
    // after a partial match.
    DisallowedUrlList list({"abcx", "bcd", "cdz", "aab"});
    EXPECT_TRUE(list.FoundIn("zzabcd"));     // "abc" then fails on d, "bcd" holds
    EXPECT_TRUE(list.FoundIn("abccdz"));     // fall back twice
    EXPECT_TRUE(list.FoundIn("aaab"));       // "aa" restarts inside itself
    EXPECT_FALSE(list.FoundIn("abcabcab"));  // near misses only
    DisallowedUrlList inner({"casinoroyale", "royal"});
    EXPECT_TRUE(inner.FoundIn("casinoroyal!"));  // the shorter entry ends inside the longer
}

TEST(DisallowedUrlList, EmptyEntriesAreIgnoredInsteadOfRefusingEverything) {
    DisallowedUrlList list({"", "casino", ""});
    EXPECT_EQ(list.Size(), 1u);
    EXPECT_FALSE(list.FoundIn("http://example.org/"));
    DisallowedUrlList none({""});
    EXPECT_TRUE(none.Empty());
    EXPECT_FALSE(none.FoundIn("http://example.org/"));
}

TEST(DisallowedUrlList, ReadsTheFirstListOfTheDocument) {
    auto list = DisallowedUrlList::FromDocument(SettingsDocument(
        {Entry("  casino  "), XmlNode::MakeElement("Url"), XmlNode::MakeComment("games"),
         XmlNode::MakeText("bare"), XmlNode::MakeCData("cdata")}));
    EXPECT_EQ(list.Size(), 3u);  // trimmed texts; the blank element and the comment give none
    EXPECT_TRUE(list.FoundIn("http://casino/"));
    EXPECT_TRUE(list.FoundIn("http://bare/"));
    EXPECT_TRUE(list.FoundIn("http://cdata/"));
    EXPECT_FALSE(list.FoundIn("http://games/"));
    EXPECT_FALSE(list.FoundIn("http://second/"));   // the second list is not read
    EXPECT_FALSE(list.FoundIn("http://ignored/"));  // nor entries of other elements

    EXPECT_TRUE(DisallowedUrlList::FromDocument(XmlNode{}).Empty());
    EXPECT_TRUE(
        DisallowedUrlList::FromDocument(XmlNode::MakeDocument(XmlNode::MakeElement("X"))).Empty());
}

TEST(UrlText, NormalisingUndoesTheSpellingsThatHideAListedText) {
    EXPECT_EQ(NormalisedAddress("http://ca%73ino.com/"), "http://casino.com/");
    EXPECT_EQ(NormalisedAddress("http://ca%2573ino.com/"), "http://casino.com/");
    EXPECT_EQ(NormalisedAddress("http://casino.com./"), "http://casino.com/");
    EXPECT_EQ(NormalisedAddress("http://casino.com..:8080/x"), "http://casino.com:8080/x");
    EXPECT_EQ(NormalisedAddress("http://u@casino.com./"), "http://u@casino.com/");
    EXPECT_EQ(NormalisedAddress("http://casino.com."), "http://casino.com");
    EXPECT_EQ(NormalisedAddress("http://cas\tino.c\r\nom/"), "http://casino.com/");
    EXPECT_EQ(NormalisedAddress("http://cas%09ino.com/"), "http://casino.com/");
    EXPECT_EQ(NormalisedAddress("http:\\\\casino.com\\games"), "http://casino.com/games");
    // Dots elsewhere and broken escapes stay as they are.
    EXPECT_EQ(NormalisedAddress("http://a.b/x./?y=1."), "http://a.b/x./?y=1.");
    EXPECT_EQ(NormalisedAddress("http://a/%zz%4"), "http://a/%zz%4");
    EXPECT_EQ(NormalisedAddress("%"), "%");
}

TEST(UrlText, OnlyWhatTravelsIsCut) {
    const std::string longUrl = "http://example.org/" + std::string(400, 'a');
    EXPECT_EQ(TravellingUrl(longUrl).size(), kMaxTravellingUrl);
    EXPECT_EQ(TravellingUrl("http://x/"), "http://x/");

    EXPECT_EQ(ReportedUrl("http://x/?a=1|2|"), "http://x/?a=1%7C2%7C");
    // The escape is never split at the cut.
    std::string padded(kMaxTravellingUrl - 2, 'a');
    EXPECT_EQ(ReportedUrl(padded + "|b"), padded);
    EXPECT_EQ(ReportedUrl(padded + "bc|"), padded + "bc");
    EXPECT_EQ(ReportedUrl(longUrl).size(), kMaxTravellingUrl);
}

TEST(ReportLimiter, DropsRepeatsAndHoldsTheRateWithBursts) {
    ReportLimiter limiter;
    EXPECT_TRUE(limiter.Admit("http://a/", 0));
    EXPECT_FALSE(limiter.Admit("http://a/", 4999));  // a frame or refresh repeating
    EXPECT_TRUE(limiter.Admit("http://a/", 5000));
    EXPECT_EQ(limiter.Repeats(), 1u);

    // Five quiet seconds refilled the burst of ten: nine more distinct reports use it up and
    // the next waits for the refill.
    for (int i = 0; i < 9; ++i) {
        EXPECT_TRUE(limiter.Admit("http://b/" + std::to_string(i), 5000));
    }
    EXPECT_FALSE(limiter.Admit("http://c/", 5000));
    EXPECT_FALSE(limiter.Admit("http://d/", 5999));
    EXPECT_TRUE(limiter.Admit("http://e/", 6000));
    EXPECT_FALSE(limiter.Admit("http://f/", 6500));
    EXPECT_EQ(limiter.OverRate(), 3u);
    // After a quiet spell the full burst is back, no more.
    int admitted = 0;
    for (int i = 0; i < 20; ++i) {
        admitted += limiter.Admit("http://g/" + std::to_string(i), 600000) ? 1 : 0;
    }
    EXPECT_EQ(admitted, ReportLimiter::kBurst);
}

TEST(ReportLimiter, OneRefusalNoticeInTenSeconds) {
    NoticeLimiter notices;
    EXPECT_TRUE(notices.Admit(1000));
    EXPECT_FALSE(notices.Admit(1001));
    EXPECT_FALSE(notices.Admit(10999));
    EXPECT_TRUE(notices.Admit(11000));
    EXPECT_EQ(notices.Suppressed(), 2u);
}

}  // namespace
}  // namespace ko::watcher
