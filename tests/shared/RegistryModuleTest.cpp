#include "shared/RegistryModule.h"

#include <gtest/gtest.h>

#include "fakes/FakeRegistry.h"

namespace ko {
namespace {

using Op = FakeRegistry::Operation;

const std::string kSettings = "SOFTWARE\\Ostrel Software\\Ostrel\\1";
const std::string kSystemPolicies =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\System";
const std::string kRestrictions = "Software\\Policies\\Microsoft\\Internet Explorer\\Restrictions";

std::string Dword(std::uint32_t v) {
    return std::string{static_cast<char>(v & 0xFF), static_cast<char>((v >> 8) & 0xFF),
                       static_cast<char>((v >> 16) & 0xFF), static_cast<char>((v >> 24) & 0xFF)};
}

class RegistryModuleTest : public ::testing::Test {
  protected:
    FakeRegistry m_fake;
    RegistryModule m_module{m_fake};
};

TEST_F(RegistryModuleTest, QueryValueFormatsEachType) {
    m_fake.PutString(RegRoot::LocalMachine, "K", "Text", "hello");
    m_fake.Put(RegRoot::LocalMachine, "K", "NoNul", RegData{kRegSz, "bare"});
    m_fake.Put(RegRoot::LocalMachine, "K", "EmptySz", RegData{kRegSz, ""});
    m_fake.Put(RegRoot::LocalMachine, "K", "Bin",
               RegData{kRegBinary, std::string("\x01\x0A\xFF", 3)});
    m_fake.Put(RegRoot::LocalMachine, "K", "Num", RegData{kRegDword, Dword(0xFFFFFFFE)});
    m_fake.Put(RegRoot::LocalMachine, "K", "Multi", RegData{7, std::string("a\0b\0\0", 5)});

    RegValue value;
    ASSERT_TRUE(m_module.QueryValue(RegRoot::LocalMachine, "K", "text", value));
    EXPECT_EQ(value, RegValue{std::string("hello")});
    ASSERT_TRUE(m_module.QueryValue(RegRoot::LocalMachine, "K", "NoNul", value));
    EXPECT_EQ(value, RegValue{std::string("bare")});
    ASSERT_TRUE(m_module.QueryValue(RegRoot::LocalMachine, "K", "EmptySz", value));
    EXPECT_EQ(value, RegValue{std::string()});
    ASSERT_TRUE(m_module.QueryValue(RegRoot::LocalMachine, "K", "Bin", value));
    EXPECT_EQ(value, RegValue{std::string("01 0A FF ")});
    ASSERT_TRUE(m_module.QueryValue(RegRoot::LocalMachine, "K", "Num", value));
    EXPECT_EQ(value, RegValue{std::int32_t{-2}});

    // Another type succeeds and leaves the value as it was.
    value = std::int16_t{7};
    EXPECT_TRUE(m_module.QueryValue(RegRoot::LocalMachine, "K", "Multi", value));
    EXPECT_EQ(value, RegValue{std::int16_t{7}});

    EXPECT_FALSE(m_module.QueryValue(RegRoot::LocalMachine, "K", "Missing", value));
    EXPECT_FALSE(m_module.QueryValue(RegRoot::LocalMachine, "Nowhere", "Text", value));
    EXPECT_EQ(value, RegValue{std::int16_t{7}});
}

TEST_F(RegistryModuleTest, SetValueWritesByKindAndNeverCreates) {
    EXPECT_FALSE(m_module.SetValue(RegRoot::LocalMachine, "K", "v", RegValue{std::string("x")}));
    EXPECT_FALSE(m_fake.HasKey(RegRoot::LocalMachine, "K"));

    ASSERT_TRUE(m_module.CreateKey(RegRoot::LocalMachine, "K", ""));
    EXPECT_TRUE(m_module.SetValue(RegRoot::LocalMachine, "K", "s", RegValue{std::string("abc")}));
    EXPECT_TRUE(m_module.SetValue(RegRoot::LocalMachine, "K", "i", RegValue{std::int16_t{-1}}));
    EXPECT_TRUE(m_module.SetValue(RegRoot::LocalMachine, "K", "l", RegValue{std::int32_t{258}}));
    EXPECT_EQ(m_fake.Get(RegRoot::LocalMachine, "K", "s")->bytes, std::string("abc\0", 4));
    EXPECT_EQ(m_fake.Get(RegRoot::LocalMachine, "K", "s")->type, kRegSz);
    EXPECT_EQ(m_fake.Get(RegRoot::LocalMachine, "K", "i")->bytes, Dword(0xFFFFFFFF));
    EXPECT_EQ(m_fake.Get(RegRoot::LocalMachine, "K", "l")->bytes, Dword(258));
    EXPECT_EQ(m_fake.Get(RegRoot::LocalMachine, "K", "l")->type, kRegDword);

    // Other kinds write nothing and still report success.
    EXPECT_TRUE(m_module.SetValue(RegRoot::LocalMachine, "K", "d", RegValue{2.5}));
    EXPECT_TRUE(m_module.SetValue(RegRoot::LocalMachine, "K", "e", RegValue{}));
    EXPECT_FALSE(m_fake.Get(RegRoot::LocalMachine, "K", "d"));
    EXPECT_FALSE(m_fake.Get(RegRoot::LocalMachine, "K", "e"));
}

TEST_F(RegistryModuleTest, ReadSettingResolvesSections) {
    m_fake.PutString(RegRoot::LocalMachine, kSettings + "\\NetConfig", "Left", "1");
    m_fake.PutString(RegRoot::LocalMachine, kSettings, "Top", "direct");
    m_fake.PutString(RegRoot::LocalMachine,
                     "Software\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon", "AutoAdminLogon",
                     "1");
    m_fake.PutString(RegRoot::LocalMachine, "SYSTEM\\CurrentControlSet\\Control\\Print\\Printers",
                     "DefaultSpoolDirectory", "C:\\spool");
    m_fake.Put(RegRoot::LocalMachine, kSettings + "\\NetConfig", "Port",
               RegData{kRegDword, Dword(9678)});

    EXPECT_EQ(m_module.ReadSetting("NetConfig", "Left", "0"), "1");
    EXPECT_EQ(m_module.ReadSetting("netconfig", "left", "0"), "1");
    EXPECT_EQ(m_module.ReadSetting("", "Top", ""), "direct");
    EXPECT_EQ(m_module.ReadSetting("WindowsLogon", "AutoAdminLogon", "0"), "1");
    EXPECT_EQ(m_module.ReadSetting("SPOOLDIRECTORY", "DefaultSpoolDirectory", ""), "C:\\spool");
    EXPECT_EQ(m_module.ReadSetting("NetConfig", "Port", "1"), "9678");
    EXPECT_EQ(m_module.ReadSetting("NetConfig", "Server", "none"), "none");
    EXPECT_EQ(m_module.ReadSetting("Other", "Left", "dflt"), "dflt");
    m_fake.Put(RegRoot::LocalMachine, kSettings, "Expand", RegData{2, std::string("%x%\0", 4)});
    EXPECT_EQ(m_module.ReadSetting("", "Expand", "dflt"), "");
}

TEST_F(RegistryModuleTest, WriteSettingCreatesTheSectionWithClassOne) {
    m_module.WriteSetting("NetConfig", "Server", "10.0.0.1");
    EXPECT_EQ(m_fake.ClassOf(RegRoot::LocalMachine, kSettings + "\\NetConfig"), "1");
    EXPECT_EQ(m_module.ReadSetting("NetConfig", "Server", ""), "10.0.0.1");

    // A number is still stored as text.
    m_module.WriteSetting("NetConfig", "Port", "9678");
    const auto port = m_fake.Get(RegRoot::LocalMachine, kSettings + "\\NetConfig", "Port");
    ASSERT_TRUE(port);
    EXPECT_EQ(port->type, kRegSz);
    EXPECT_EQ(port->bytes, std::string("9678\0", 5));

    // The second write finds the key and creates nothing.
    m_fake.ClearCalls();
    m_module.WriteSetting("netconfig", "left", "-1");
    EXPECT_TRUE(m_fake.CallsOf(Op::CreateKey).empty());
    EXPECT_EQ(m_fake.ValueNames(RegRoot::LocalMachine, kSettings + "\\NetConfig").size(), 3u);

    // Spool directory is only a read section; a write goes under the settings key.
    m_module.WriteSetting("spooldirectory", "x", "y");
    EXPECT_TRUE(m_fake.Get(RegRoot::LocalMachine, kSettings + "\\spooldirectory", "x"));
    m_module.WriteSetting("windowsLOGON", "DefaultUserName", "guest");
    EXPECT_TRUE(m_fake.Get(RegRoot::LocalMachine,
                           "Software\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon",
                           "DefaultUserName"));
}

TEST_F(RegistryModuleTest, WriteSettingGivesUpQuietlyWhenTheKeyCannotBeCreated) {
    m_fake.FailNext(Op::CreateKey);
    m_module.WriteSetting("NetConfig", "Server", "x");
    EXPECT_EQ(m_fake.CallsOf(Op::SetValue).size(), 1u);
    EXPECT_FALSE(m_fake.HasKey(RegRoot::LocalMachine, kSettings + "\\NetConfig"));

    // A second write that still fails after creating the key is not retried again.
    m_fake.ClearCalls();
    m_fake.FailNext(Op::SetValue, 2);
    m_module.WriteSetting("NetConfig", "Server", "x");
    EXPECT_EQ(m_fake.CallsOf(Op::SetValue).size(), 2u);
    EXPECT_EQ(m_fake.CallsOf(Op::CreateKey).size(), 1u);
    EXPECT_FALSE(m_fake.Get(RegRoot::LocalMachine, kSettings + "\\NetConfig", "Server"));
}

TEST_F(RegistryModuleTest, WritePolicyCreatesTheKeyWithClassFour) {
    m_module.WritePolicy("System", "DisableTaskMgr", 1);
    EXPECT_EQ(m_fake.ClassOf(RegRoot::CurrentUser, kSystemPolicies), "4");
    const auto data = m_fake.Get(RegRoot::CurrentUser, kSystemPolicies, "DisableTaskMgr");
    ASSERT_TRUE(data);
    EXPECT_EQ(data->type, kRegDword);
    EXPECT_EQ(data->bytes, Dword(1));

    for (const char* section : {"InternetExplorer", "internetexplorer", "INTERNETEXPLORER"}) {
        m_module.WritePolicy(section, "NoBrowserOptions", 1);
    }
    EXPECT_EQ(m_fake.ValueNames(RegRoot::CurrentUser, kRestrictions),
              std::vector<std::string>{"NoBrowserOptions"});
    EXPECT_FALSE(m_fake.HasKey(RegRoot::CurrentUser,
                               "Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\"
                               "InternetExplorer"));
}

TEST_F(RegistryModuleTest, WriteUserPolicyGoesIntoThePolicyHive) {
    m_module.SetPolicyHive("S-1-5-21-7");
    m_module.WriteUserPolicy("Explorer", "NoRun", 1);
    m_module.WriteUserPolicy("InternetExplorer", "NoBrowserClose", 1);
    EXPECT_TRUE(m_fake.Get(RegRoot::Users,
                           "S-1-5-21-7\\Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\"
                           "Explorer",
                           "NoRun"));
    EXPECT_TRUE(m_fake.Get(RegRoot::Users, "S-1-5-21-7\\" + kRestrictions, "NoBrowserClose"));
    EXPECT_EQ(m_fake.ClassOf(RegRoot::Users, "S-1-5-21-7\\" + kRestrictions), "4");
    EXPECT_FALSE(m_fake.HasKey(RegRoot::CurrentUser, kRestrictions));
}

TEST_F(RegistryModuleTest, ClearPoliciesTriesAllSixKeysInOrder) {
    // System goes with its sub-key; the missing keys fail; the rest are removed.
    m_fake.CreateKey(RegRoot::CurrentUser, kSystemPolicies + "\\Sub", "4");
    m_fake.CreateKey(RegRoot::CurrentUser,
                     "Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer", "4");
    m_fake.CreateKey(RegRoot::CurrentUser, kRestrictions, "4");
    m_fake.ClearCalls();

    m_module.ClearPolicies();
    const auto deletes = m_fake.CallsOf(Op::DeleteKeyTree);
    ASSERT_EQ(deletes.size(), 6u);
    const char* expected[] = {"Network", "System", "ActiveDesktop", "Explorer", "Uninstall"};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(
            deletes[i].path,
            std::string("Software\\Microsoft\\windows\\currentVersion\\Policies\\") + expected[i]);
        EXPECT_EQ(deletes[i].root, RegRoot::CurrentUser);
    }
    EXPECT_EQ(deletes[5].path, kRestrictions);
    EXPECT_FALSE(m_fake.HasKey(RegRoot::CurrentUser, kSystemPolicies));
    EXPECT_FALSE(m_fake.HasKey(RegRoot::CurrentUser,
                               "Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer"));
    EXPECT_FALSE(m_fake.HasKey(RegRoot::CurrentUser, kRestrictions));
}

TEST_F(RegistryModuleTest, ClearUserPoliciesClearsTheCurrentUserNotThePolicyHive) {
    m_module.SetPolicyHive("keyloaded");
    // Without a current user nothing is cleared: the keys would hang at the root.
    m_module.ClearUserPolicies();
    EXPECT_TRUE(m_fake.CallsOf(Op::DeleteKeyTree).empty());
    m_module.SetCurrentUserSid("S-1-5-21-9");
    m_module.ClearUserPolicies();
    const auto deletes = m_fake.CallsOf(Op::DeleteKeyTree);
    ASSERT_EQ(deletes.size(), 6u);
    for (const auto& call : deletes) {
        EXPECT_EQ(call.root, RegRoot::Users);
        EXPECT_EQ(call.path.rfind("S-1-5-21-9\\Software\\", 0), 0u) << call.path;
    }
}

TEST_F(RegistryModuleTest, LoadUserHiveBuildsThePathByVersion) {
    m_module.LoadUserHive(UserHiveSource{true, 5, "guest", ""});
    EXPECT_EQ(m_module.PolicyHive(), "keyloaded");
    EXPECT_EQ(m_module.LastLoadResult(), 0);
    EXPECT_TRUE(m_fake.PrivilegesEnabled());
    auto loads = m_fake.CallsOf(Op::LoadKey);
    ASSERT_EQ(loads.size(), 1u);
    EXPECT_EQ(loads[0].root, RegRoot::Users);
    EXPECT_EQ(loads[0].path, "keyloaded");
    EXPECT_EQ(loads[0].name, "C:\\Documents and Settings\\guest\\NTUser.dat");

    m_module.WriteUserPolicy("System", "DisableRegistryTools", 1);
    EXPECT_TRUE(
        m_fake.Get(RegRoot::Users, "keyloaded\\" + kSystemPolicies, "DisableRegistryTools"));

    m_module.UnloadUserHive();
    m_module.DropPrivileges();
    EXPECT_EQ(m_module.LastUnloadResult(), 0);
    EXPECT_FALSE(m_fake.HasKey(RegRoot::Users, "keyloaded"));
    EXPECT_FALSE(m_fake.PrivilegesEnabled());

    m_fake.ClearCalls();
    m_module.LoadUserHive(UserHiveSource{true, 4, "guest", ""});
    loads = m_fake.CallsOf(Op::LoadKey);
    ASSERT_EQ(loads.size(), 1u);
    EXPECT_EQ(loads[0].name, "C:\\WinNt\\Profiles\\guest\\NTUser.dat");
}

TEST_F(RegistryModuleTest, LoadUserHiveRunsOnAfterFailures) {
    m_fake.FailNext(Op::EnableHivePrivileges);
    m_fake.SetLoadResult(1314);
    m_module.LoadUserHive(UserHiveSource{true, 5, "guest", ""});
    EXPECT_EQ(m_fake.CallsOf(Op::LoadKey).size(), 1u);
    EXPECT_EQ(m_module.LastLoadResult(), 1314);

    m_module.UnloadUserHive();
    EXPECT_NE(m_module.LastUnloadResult(), 0);
}

TEST_F(RegistryModuleTest, LoadUserHiveOnWindows9xLeavesTheHiveUnloaded) {
    m_module.SetPolicyHive("S-1-5-21-7");
    m_module.LoadUserHive(UserHiveSource{false, 4, "guest", ""});
    EXPECT_EQ(m_module.PolicyHive(), "keyloaded");
    EXPECT_NE(m_module.LastLoadResult(), 0);
    EXPECT_TRUE(m_fake.CallsOf(Op::LoadKey).empty());
    EXPECT_FALSE(m_fake.HasKey(RegRoot::Users, "keyloaded"));
}

TEST(RegistryFake, KeepsTheRegistrysRules) {
    FakeRegistry fake;
    EXPECT_FALSE(fake.SetValue(RegRoot::CurrentUser, "A", "v", RegData{kRegSz, "x"}));
    EXPECT_TRUE(fake.CreateKey(RegRoot::CurrentUser, "A\\B\\C", "cls"));
    EXPECT_TRUE(fake.HasKey(RegRoot::CurrentUser, "a\\b"));
    EXPECT_TRUE(fake.HasKey(RegRoot::CurrentUser, "A\\B\\C\\"));
    EXPECT_FALSE(fake.HasKey(RegRoot::LocalMachine, "A"));
    EXPECT_FALSE(fake.CreateKey(RegRoot::CurrentUser, "\\A", ""));
    EXPECT_EQ(fake.ClassOf(RegRoot::CurrentUser, "A\\B\\C"), "cls");

    // Names keep the case they were first given.
    EXPECT_TRUE(fake.SetValue(RegRoot::CurrentUser, "a\\B", "Left", RegData{kRegSz, "1"}));
    EXPECT_TRUE(fake.SetValue(RegRoot::CurrentUser, "A\\b", "left", RegData{kRegSz, "2"}));
    EXPECT_EQ(fake.ValueNames(RegRoot::CurrentUser, "A\\B"), std::vector<std::string>{"Left"});
    EXPECT_EQ(fake.SubKeyNames(RegRoot::CurrentUser, "a"), std::vector<std::string>{"B"});
    EXPECT_EQ(fake.QueryValue(RegRoot::CurrentUser, "A\\B", "LEFT")->bytes, "2");

    EXPECT_FALSE(fake.DeleteKey(RegRoot::CurrentUser, "A\\B"));  // has a sub-key
    EXPECT_TRUE(fake.DeleteKey(RegRoot::CurrentUser, "A\\B\\C"));
    EXPECT_TRUE(fake.DeleteKey(RegRoot::CurrentUser, "A\\B"));
    EXPECT_FALSE(fake.DeleteKey(RegRoot::CurrentUser, "A\\B"));
    EXPECT_FALSE(fake.DeleteKey(RegRoot::CurrentUser, ""));

    // A tree goes with everything below it; its neighbours stay.
    fake.PutString(RegRoot::CurrentUser, "T\\U\\V", "x", "1");
    fake.PutString(RegRoot::CurrentUser, "T2", "y", "2");
    EXPECT_TRUE(fake.DeleteKeyTree(RegRoot::CurrentUser, "t"));
    EXPECT_FALSE(fake.HasKey(RegRoot::CurrentUser, "T\\U"));
    EXPECT_TRUE(fake.HasKey(RegRoot::CurrentUser, "T2"));
    EXPECT_FALSE(fake.DeleteKeyTree(RegRoot::CurrentUser, "T"));
    EXPECT_FALSE(fake.DeleteKeyTree(RegRoot::CurrentUser, ""));

    fake.FailNext(FakeRegistry::Operation::CreateKey, 2);
    EXPECT_FALSE(fake.CreateKey(RegRoot::CurrentUser, "X", ""));
    EXPECT_FALSE(fake.CreateKey(RegRoot::CurrentUser, "X", ""));
    EXPECT_TRUE(fake.CreateKey(RegRoot::CurrentUser, "X", ""));
    EXPECT_EQ(fake.CallsOf(FakeRegistry::Operation::CreateKey).size(), 5u);
}

}  // namespace
}  // namespace ko
