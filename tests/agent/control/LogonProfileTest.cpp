#include <gtest/gtest.h>

#include "agent/control/AccountName.h"
#include "agent/control/LogonProfile.h"
#include "agent/core/AgentGlobals.h"
#include "platform/XmlNode.h"

namespace ko {
namespace {

XmlNode El(const std::string& name, std::vector<XmlNode> children = {}) {
    return XmlNode::MakeElement(name, std::move(children));
}
XmlNode T(const std::string& name, const std::string& text) {
    return El(name, {XmlNode::MakeText(text)});
}

TEST(LogonProfile, PoliciesAreReadUpToTheFirstBrokenEntry) {
    XmlNode doc = XmlNode::MakeDocument(
        El("P", {El("Policies", {El("E", {T("S", "System"), T("N", "NoRun"), T("V", "1")}),
                                 El("E", {T("S", "Explorer"), T("N", "NoClose"), T("V", "x")}),
                                 El("E", {T("S", "System"), T("N", "Late"), T("V", "1")})})}));
    LogonProfile::Policies policies = LogonProfile::ReadPolicies(doc, {});
    EXPECT_TRUE(policies.present);
    EXPECT_FALSE(policies.complete);
    ASSERT_EQ(policies.entries.size(), 1u);
    EXPECT_EQ(policies.entries[0].name, "NoRun");
    EXPECT_FALSE(LogonProfile::ReadPolicies(XmlNode(), {}).present);
}

TEST(LogonProfile, OnlySectionsUnderTheClearedKeysAreAccepted) {
    for (const char* good : {"System", "explorer", "Explorer\\DisallowRun", "InternetExplorer",
                             "INTERNETEXPLORER", "Network", "ActiveDesktop", "Uninstall"}) {
        EXPECT_TRUE(LogonProfile::IsClearablePolicySection(good)) << good;
    }
    for (const char* bad : {"", "NonEnum", "System\\..\\..\\..\\Run", "System\\", "\\System",
                            "System\\.", "..", "Comdlg32", "System\\ "}) {
        EXPECT_FALSE(LogonProfile::IsClearablePolicySection(bad)) << bad;
    }
}

TEST(LogonProfile, GeneralSettingsAnywhereSetTheReportingSwitches) {
    XmlNode doc = XmlNode::MakeDocument(
        El("P", {El("G", {El("GSetting", {T("Name", "TrackApp"), T("Value", "0")})}),
                 El("X", {El("Y", {El("GSetting", {T("Name", "trackurls"), T("Value", "-1")})})}),
                 El("GSetting", {T("Name", "trackurls"), T("Value", "junk")})}));
    WorkstationOptions options;
    options.ReportApplications = -1;
    LogonProfile::ApplyGeneralSettings(doc, options);
    EXPECT_EQ(options.ReportApplications, 0);
    EXPECT_EQ(options.ReportUrls, -1);
}

TEST(LogonProfile, CleanUpOptionsIgnoreCaseAndAMalformedEntryCancelsAll) {
    LogonProfile::CleanUpOptions options;
    XmlNode doc = XmlNode::MakeDocument(
        El("P", {El("CleanUpSettings", {El("C", {T("N", "DelMyDocs"), T("V", "1")}),
                                        El("C", {T("N", "ScriptName"), T("V", "c:\\x.bat")}),
                                        El("C", {T("N", "other"), T("V", "zz")})})}));
    EXPECT_TRUE(LogonProfile::ReadCleanUpOptions(doc, {}, options));
    EXPECT_EQ(options.coDelMyDocs, 1);
    EXPECT_EQ(options.coScriptPath, "c:\\x.bat");
    XmlNode broken = XmlNode::MakeDocument(
        El("P", {El("CleanUpSettings", {El("C", {T("N", "closeallapp"), T("V", "1")}),
                                        El("C", {T("N", "delmydocs")})})}));
    EXPECT_FALSE(LogonProfile::ReadCleanUpOptions(broken, {}, options));
    EXPECT_FALSE(LogonProfile::ReadCleanUpOptions(XmlNode(), {}, options));
}

TEST(LogonProfile, ProgramListsStopAtTheFirstEmptyEntry) {
    XmlNode doc = XmlNode::MakeDocument(
        El("P", {El("Close", {El("A", {T("F", "notepad.exe")}), El("B"), El("C", {T("F", "x")})}),
                 El("DisallowedApplications", {T("A", "Game.EXE"), T("A", "chat.exe")})}));
    EXPECT_EQ(LogonProfile::ProgramList(doc, "Close"), std::vector<std::string>{"notepad.exe"});
    EXPECT_TRUE(LogonProfile::ProgramList(doc, "Start").empty());
    EXPECT_EQ(LogonProfile::DisallowedApplications(doc),
              (std::vector<std::string>{"Game.EXE", "chat.exe"}));
}

TEST(AccountName, RefusesNamesThatCouldLeaveTheirPlace) {
    for (const char* good : {"customer", "Guest 2", "anna.b", "user-1"}) {
        EXPECT_TRUE(IsValidAccountName(good)) << good;
    }
    for (const char* bad : {"", "..", "a\\b", "a/b", "x:y", "a\nb", "a*", "%USERNAME%", ". ."}) {
        EXPECT_FALSE(IsValidAccountName(bad)) << bad;
    }
    EXPECT_TRUE(IsValidDomainName(""));
    EXPECT_TRUE(IsValidDomainName("CAFE.local"));
    EXPECT_FALSE(IsValidDomainName("CAFE\\x"));
    EXPECT_FALSE(IsValidDomainName(".."));
}

}  // namespace
}  // namespace ko
