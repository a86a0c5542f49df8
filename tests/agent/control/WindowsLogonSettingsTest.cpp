#include <gtest/gtest.h>

#include "agent/control/WindowsLogonSettings.h"
#include "agent/core/AgentGlobals.h"
#include "fakes/FakeRegistry.h"
#include "platform/XmlNode.h"
#include "shared/RegistryModule.h"

namespace ko {
namespace {

constexpr const char* kWinlogon = "Software\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";

XmlNode Entry(const std::string& name, const std::string& value) {
    return XmlNode::MakeElement("S", {XmlNode::MakeElement("N", {XmlNode::MakeText(name)}),
                                      XmlNode::MakeElement("V", {XmlNode::MakeText(value)})});
}

XmlNode Settings(std::vector<XmlNode> entries) {
    return XmlNode::MakeDocument(XmlNode::MakeElement(
        "LogonProfile", {XmlNode::MakeElement("WindowsSettings", std::move(entries))}));
}

class WindowsLogonSettingsTest : public ::testing::Test {
  protected:
    std::string Winlogon(const std::string& name) {
        auto data = m_registry.Get(RegRoot::LocalMachine, kWinlogon, name);
        return data ? data->bytes.substr(0, data->bytes.find('\0')) : "(missing)";
    }
    FakeRegistry m_registry;
    RegistryModule m_module{m_registry};
    AgentGlobals m_globals;
};

TEST_F(WindowsLogonSettingsTest, TheCafesValuesSurviveAStartThatFollowsASkippedStop) {
    m_registry.PutString(RegRoot::LocalMachine, kWinlogon, "AutoAdminLogon", "1");
    m_registry.PutString(RegRoot::LocalMachine, kWinlogon, "DefaultUserName", "cafe");
    {
        WindowsLogonSettings first(m_module, m_globals);
        first.SetDefaultWindowsLogonSettings();
        std::string user, domain;
        first.SetWindowsLogonSettings(
            Settings({Entry("DefaultUserName", "customer"), Entry("AutoAdminLogon", "0")}), user,
            domain);
        EXPECT_EQ(user, "customer");
        // The machine shuts down: no stop runs.
    }
    WindowsLogonSettings second(m_module, m_globals);
    second.SetDefaultWindowsLogonSettings();
    EXPECT_EQ(Winlogon("DefaultUserName"), "customer");
    second.ResetWindowsLogonSettings();
    EXPECT_EQ(Winlogon("DefaultUserName"), "cafe");
    EXPECT_EQ(Winlogon("AutoAdminLogon"), "1");
    // Missing at the first start: written with its default.
    EXPECT_EQ(Winlogon("ForceAutoLogon"), "0");

    // Restored once: the next start saves afresh.
    m_registry.PutString(RegRoot::LocalMachine, kWinlogon, "DefaultUserName", "newcafe");
    WindowsLogonSettings third(m_module, m_globals);
    third.SetDefaultWindowsLogonSettings();
    third.ResetWindowsLogonSettings();
    EXPECT_EQ(Winlogon("DefaultUserName"), "newcafe");
}

TEST_F(WindowsLogonSettingsTest, AStopBeforeTheSaveRestoresNothing) {
    m_registry.PutString(RegRoot::LocalMachine, kWinlogon, "AutoAdminLogon", "1");
    WindowsLogonSettings settings(m_module, m_globals);
    settings.ResetWindowsLogonSettings();
    EXPECT_EQ(Winlogon("AutoAdminLogon"), "1");
    EXPECT_EQ(Winlogon("DefaultUserName"), "(missing)");
}

TEST_F(WindowsLogonSettingsTest, OnlyTheFiveLogonValuesAreWritten) {
    WindowsLogonSettings settings(m_module, m_globals);
    std::string user = "old", domain = "old";
    EXPECT_TRUE(settings.SetWindowsLogonSettings(
        Settings({Entry("Shell", "evil.exe"), Entry("defaultusername", "lower"),
                  Entry("DefaultDomainName", "CAFE"), Entry("Userinit", "evil.exe")}),
        user, domain));
    EXPECT_TRUE(m_globals.options.LogonSettingsReceived);
    EXPECT_EQ(Winlogon("Shell"), "(missing)");
    EXPECT_EQ(Winlogon("Userinit"), "(missing)");
    // Written under any letter case, but only the exact name names the next account.
    EXPECT_EQ(Winlogon("DefaultUserName"), "lower");
    EXPECT_EQ(user, "old");
    EXPECT_EQ(domain, "CAFE");
}

TEST_F(WindowsLogonSettingsTest, AMalformedEntryEndsTheSettingsAndClearsTheFlag) {
    WindowsLogonSettings settings(m_module, m_globals);
    std::string user, domain;
    XmlNode broken = XmlNode::MakeElement("S", {XmlNode::MakeElement("N")});
    EXPECT_FALSE(settings.SetWindowsLogonSettings(
        Settings({Entry("AutoAdminLogon", "1"), broken, Entry("DefaultUserName", "late")}), user,
        domain));
    EXPECT_FALSE(m_globals.options.LogonSettingsReceived);
    EXPECT_EQ(Winlogon("AutoAdminLogon"), "1");
    EXPECT_EQ(Winlogon("DefaultUserName"), "(missing)");
    m_globals.options.LogonSettingsReceived = true;
    EXPECT_FALSE(settings.SetWindowsLogonSettings(XmlNode(), user, domain));
    EXPECT_FALSE(m_globals.options.LogonSettingsReceived);
}

}  // namespace
}  // namespace ko
