#include <gtest/gtest.h>

#include <cstdlib>

#include "agent/control/UserIdentity.h"
#include "fakes/ControlHarness.h"
#include "fakes/DryRunScope.h"

namespace ko {
namespace {

using Strings = std::vector<std::string>;
using Action = FakeDesktopWindows::Action;

constexpr const char* kWinlogon = "Software\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";
constexpr const char* kSystem = "\\Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\System";
constexpr const char* kOtherSid = "S-1-5-21-1-1002";

XmlNode WindowsSettings(const std::string& user) {
    return ProfilePart("WindowsSettings",
                       {{"AutoAdminLogon", "1"}, {"DefaultUserName", user}, {"Shell", "x.exe"}});
}

XmlNode Policies() {
    return ProfilePart("Policies", {{"System", "NoRun", "1"},
                                    {"internetexplorer", "NoBrowserClose", "1"},
                                    {"NonEnum", "Hidden", "1"},
                                    {"System\\..\\..\\Run", "Evil", "1"},
                                    {"Explorer", "NoStartButton", "1"}});
}

class ProfileHandlerTest : public ::testing::Test {
  protected:
    ProfileHandlerTest() {
        h.LogOnUser();
        h.session.AddAccount("", "other", kOtherSid);
        h.registry.PutString(RegRoot::LocalMachine, kWinlogon, "DefaultUserName", "cafe");
    }
    void Logon(XmlNode profile) {
        h.xml.Serve(ControlHarness::kLogonProfile, std::move(profile));
        h.StartConnected();
        h.Status(0);
        h.recorder.Take();
        h.Status(1);
        h.loop.RunPosted();
    }
    std::string Policy(const std::string& sid, const std::string& name) {
        return h.Value(RegRoot::Users, sid + kSystem, name);
    }
    ControlHarness h;
};

TEST_F(ProfileHandlerTest, ALogonProfileIsAppliedInOrderForTheLoggedOnUser) {
    // A value of the last customer that this profile no longer carries must not stay.
    h.registry.CreateKey(RegRoot::Users, std::string(ControlHarness::kUserSid) + kSystem, "4");
    h.registry.Put(RegRoot::Users, std::string(ControlHarness::kUserSid) + kSystem, "Stale",
                   RegData{kRegDword, std::string("\1\0\0\0", 4)});
    Logon(ProfileDoc(
        {WindowsSettings("customer"),
         XmlNode::MakeElement(
             "G", {XmlNode::MakeElement(
                      "GSetting", {XmlNode::MakeElement("Name", {XmlNode::MakeText("trackurls")}),
                                   XmlNode::MakeElement("Value", {XmlNode::MakeText("1")})})}),
         Policies(), ProfilePart("Start", {{"c:\\welcome.bat"}})}));
    EXPECT_EQ(h.Value(RegRoot::LocalMachine, kWinlogon, "DefaultUserName"), "customer");
    EXPECT_EQ(h.Value(RegRoot::LocalMachine, kWinlogon, "Shell"), "<missing>");
    EXPECT_EQ(h.globals.options.ReportUrls, 1);
    EXPECT_EQ(Policy(ControlHarness::kUserSid, "NoRun"), "1");
    EXPECT_EQ(Policy(ControlHarness::kUserSid, "Stale"), "<missing>");
    EXPECT_EQ(h.Value(RegRoot::Users,
                      std::string(ControlHarness::kUserSid) +
                          "\\Software\\Policies\\Microsoft\\Internet Explorer\\Restrictions",
                      "NoBrowserClose"),
              "1");
    EXPECT_TRUE(
        h.registry
            .SubKeyNames(RegRoot::Users, std::string(ControlHarness::kUserSid) +
                                             "\\Software\\Microsoft\\Windows\\CurrentVersion\\"
                                             "Policies")
            .size() == 1u);
    EXPECT_EQ(h.Client().HideSB, 1);
    EXPECT_EQ(h.session.RestartShellCalls(), 1);
    EXPECT_TRUE(h.power.Calls().empty());
    EXPECT_EQ(h.Seen("to the watcher"),
              (Strings{"to the watcher KOW_CUPOLICY ",
                       "to the watcher KOW_Run_Application c:\\welcome.bat",
                       "to the watcher KOW_Update_State 1"}));
    EXPECT_EQ(h.Client().CurrentUserName, "customer");
}

TEST_F(ProfileHandlerTest, AnotherAccountGetsItsPoliciesOnceItsShellRuns) {
    h.registry.CreateKey(RegRoot::Users, std::string(ControlHarness::kUserSid) + kSystem, "4");
    // The other account's hive file cannot be loaded: nothing may land under "keyloaded".
    h.registry.SetLoadResult(5);
    Logon(ProfileDoc({WindowsSettings("other"), Policies()}));
    EXPECT_FALSE(
        h.registry.HasKey(RegRoot::Users, std::string(ControlHarness::kUserSid) + kSystem));
    EXPECT_EQ(h.power.Calls(), Strings{"LogOff"});
    EXPECT_FALSE(h.registry.HasKey(RegRoot::Users, "keyloaded"));
    EXPECT_TRUE(h.Seen("to the watcher KOW_CUPOLICY").empty());

    // The old shell is still there a while; then the other account's shell runs.
    h.loop.Advance(5000);
    EXPECT_TRUE(h.Seen("to the watcher KOW_CUPOLICY").empty());
    h.processes.End(ControlHarness::kShell);
    h.LogOnUser("other", kOtherSid, 600);
    h.loop.Advance(1000);
    EXPECT_EQ(Policy(kOtherSid, "NoRun"), "1");
    EXPECT_EQ(h.Seen("to the watcher KOW_CUPOLICY").size(), 1u);
    EXPECT_EQ(h.registryModule.CurrentUserSid(), kOtherSid);
    EXPECT_FALSE(h.control.Policies().Polling());
}

// Sets an environment variable for the scope's life.
class EnvironmentScope {
  public:
    explicit EnvironmentScope(const std::string& assignment)
        : m_name(assignment.substr(0, assignment.find('='))) {
        Put(assignment);
    }
    ~EnvironmentScope() { Put(m_name + "="); }
    EnvironmentScope(const EnvironmentScope&) = delete;
    EnvironmentScope& operator=(const EnvironmentScope&) = delete;

  private:
    static void Put(const std::string& assignment) {
#ifdef _WIN32
        _putenv(assignment.c_str());
#else
        const std::size_t equals = assignment.find('=');
        if (equals + 1 == assignment.size()) {
            ::unsetenv(assignment.substr(0, equals).c_str());
        } else {
            ::setenv(assignment.substr(0, equals).c_str(), assignment.c_str() + equals + 1, 1);
        }
#endif
    }
    std::string m_name;
};

TEST_F(ProfileHandlerTest, AnotherAccountsHiveFileComesFromItsProfileFirst) {
    EnvironmentScope profiles("KO_TEST_PROFILES=D:\\Profiles");
    h.registry.CreateKey(RegRoot::LocalMachine,
                         std::string("SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\"
                                     "ProfileList\\") +
                             kOtherSid,
                         "");
    h.registry.Put(
        RegRoot::LocalMachine,
        std::string("SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList\\") + kOtherSid,
        "ProfileImagePath", RegData{2, std::string("%KO_TEST_PROFILES%\\other\0", 25)});
    Logon(ProfileDoc({WindowsSettings("other"), Policies()}));
    const auto loads = h.registry.CallsOf(FakeRegistry::Operation::LoadKey);
    ASSERT_EQ(loads.size(), 1u);
    EXPECT_EQ(loads[0].name, "D:\\Profiles\\other\\NTUSER.DAT");
    // Written into the loaded hive, which is unloaded again.
    EXPECT_EQ(h.registry.CallsOf(FakeRegistry::Operation::UnloadKey).size(), 1u);
    EXPECT_EQ(h.Client().isNewPolicy, -1);
}

TEST(UserIdentity, OnlySidShapedTextsNameAHive) {
    for (const char* good : {"S-1-5-21-1-1001", "S-1-22-1-1000", "S-1-5-18"}) {
        EXPECT_TRUE(IsSidText(good)) << good;
    }
    for (const char* bad : {"", "S-", "S-1-", "S-1--5", "keyloaded", "S-1-5\\..", "s-1-5-18"}) {
        EXPECT_FALSE(IsSidText(bad)) << bad;
    }
}

TEST_F(ProfileHandlerTest, WithNobodyLoggedOnTheNextAccountsShellIsAwaited) {
    h.session.SetUser(std::nullopt);
    h.power.SetResult(ActionResult::Failed);
    h.registry.SetLoadResult(5);
    Logon(ProfileDoc({WindowsSettings("other"), Policies()}));
    EXPECT_TRUE(h.control.Policies().Polling());
    h.LogOnUser("other", kOtherSid, 600);
    h.loop.Advance(1000);
    EXPECT_EQ(Policy(kOtherSid, "NoRun"), "1");
    EXPECT_EQ(h.Seen("to the watcher KOW_CUPOLICY").size(), 1u);
}

TEST_F(ProfileHandlerTest, TheWaitForAnotherShellIsBoundedAndEndsWithANewerProfile) {
    Logon(ProfileDoc({WindowsSettings("other"), Policies()}));
    ASSERT_TRUE(h.control.Policies().Polling());
    h.loop.Advance(119000);
    EXPECT_TRUE(h.Seen("to the watcher KOW_CUPOLICY").empty());
    h.loop.Advance(1000);
    EXPECT_EQ(h.Seen("to the watcher KOW_CUPOLICY").size(), 1u);
    EXPECT_FALSE(h.control.Policies().Polling());
    // Nothing keeps waking the agent afterwards.
    const std::uint64_t wakeUps = h.loop.WakeUps();
    h.loop.Advance(9000);
    EXPECT_EQ(h.loop.WakeUps(), wakeUps);

    // A log-off by the server, then a status that loads the logoff profile: the wait ends and the
    // older profile's remaining steps never run.
    h.recorder.Take();
    h.Server("29|");
    ASSERT_TRUE(h.control.Policies().Polling());
    h.Status(0);
    h.loop.Advance(2000);
    EXPECT_FALSE(h.control.Policies().Polling());
}

TEST_F(ProfileHandlerTest, AnUnreadableUserNameIsNoReasonToLogTheCustomerOff) {
    h.session.SetUser(
        SessionUser{ControlHarness::kShell, std::nullopt, "", ControlHarness::kUserSid});
    Logon(ProfileDoc({WindowsSettings("other"), Policies()}));
    EXPECT_TRUE(h.power.Calls().empty());
    EXPECT_EQ(h.Seen("to the watcher KOW_CUPOLICY").size(), 1u);
    // The other account's hive is not the loaded one: nothing is written for it.
    EXPECT_EQ(Policy(kOtherSid, "NoRun"), "<missing>");
}

TEST_F(ProfileHandlerTest, TheHandlerStopsOnceANewerProfileStartedLoading) {
    h.recorder.onCall = [&](const std::string& call) {
        if (call == "to the watcher KOW_CUPOLICY ") {
            h.control.LoadProfile(ControlHarness::kLogoffProfile, ProfileAction::Logoff);
        }
    };
    Logon(ProfileDoc({Policies(), ProfilePart("Start", {{"c:\\welcome.bat"}})}));
    EXPECT_EQ(h.Seen("to the watcher"), Strings{"to the watcher KOW_CUPOLICY "});
}

TEST_F(ProfileHandlerTest, TheLogoffCleanUpDeletesDocumentsOnceTheProgramsHaveClosed) {
    h.session.SetDocuments({"letter.doc", "cv.doc"});
    Logon(ProfileDoc({}));
    h.OpenProgram(700, 0x70, "C:\\apps\\word.exe");
    h.hooks.Notify(HookNotice::WindowCreated, 0x70);
    h.xml.Serve(ControlHarness::kLogoffProfile,
                ProfileDoc({ProfilePart("CleanUpSettings", {{"CloseAllApp", "1"},
                                                            {"DELMYDOCS", "1"},
                                                            {"deliehistory", "1"},
                                                            {"runscript", "1"},
                                                            {"scriptname", ""}}),
                            ProfilePart("Start", {{"c:\\reset.bat"}})}));
    h.recorder.Take();
    h.Status(0);
    h.loop.RunPosted();
    EXPECT_EQ(h.windows.WindowsWith(Action::RequestClose), std::vector<WindowId>{0x70});
    EXPECT_EQ(h.session.DeleteCalls(), 0);
    h.loop.Advance(500);
    EXPECT_EQ(h.processes.Terminations().size(), 1u);
    EXPECT_EQ(h.session.DeleteCalls(), 1);
    EXPECT_EQ(h.Seen("to the watcher"),
              (Strings{"to the watcher KOW_Update_State 0", "to the watcher KOW_DELETE_IEH ",
                       "to the watcher KOW_Run_Application c:\\reset.bat"}));
}

TEST_F(ProfileHandlerTest, ADryRunCleanUpRunsEachStepOnce) {
    DryRunScope dryRun;
    Logon(ProfileDoc({}));
    h.OpenProgram(700, 0x70, "C:\\apps\\a.exe");
    h.OpenProgram(701, 0x71, "C:\\apps\\b.exe");
    h.hooks.Notify(HookNotice::WindowCreated, 0x70);
    h.hooks.Notify(HookNotice::WindowCreated, 0x71);
    h.xml.Serve(
        ControlHarness::kLogoffProfile,
        ProfileDoc({ProfilePart("CleanUpSettings", {{"closeallapp", "1"}, {"delmydocs", "1"}}),
                    ProfilePart("Start", {{"c:\\reset.bat"}})}));
    h.recorder.Take();
    h.Status(0);
    h.loop.Advance(1000);
    EXPECT_EQ(h.session.DeleteCalls(), 1);
    EXPECT_EQ(h.Seen("to the watcher KOW_Run_Application").size(), 1u);
    EXPECT_TRUE(h.processes.IsRunning(700));
}

TEST_F(ProfileHandlerTest, TheStopTakesThePoliciesAwayAndRestoresTheCafesLogon) {
    Logon(ProfileDoc({WindowsSettings("customer"), Policies()}));
    ASSERT_EQ(Policy(ControlHarness::kUserSid, "NoRun"), "1");
    h.recorder.Take();
    h.Server("22|");
    h.form.OnServiceStop();
    EXPECT_EQ(Policy(ControlHarness::kUserSid, "NoRun"), "<missing>");
    EXPECT_FALSE(
        h.registry.HasKey(RegRoot::Users, std::string(ControlHarness::kUserSid) + kSystem));
    EXPECT_EQ(h.Value(RegRoot::LocalMachine, kWinlogon, "DefaultUserName"), "cafe");
    EXPECT_EQ(h.Value(RegRoot::LocalMachine, kWinlogon, "AutoAdminLogon"), "0");
    EXPECT_EQ(h.power.Calls(), Strings{"LogOff"});
    EXPECT_TRUE(h.recorder.Saw("to the watcher KOW_CLOSEWS "));
    EXPECT_FALSE(h.hooks.IsSet("shell"));
    EXPECT_EQ(h.autoLogon.Calls().back(), "Disable");
}

TEST_F(ProfileHandlerTest, WithoutALoggedOnUserNoPolicyIsWrittenAnywhere) {
    h.session.SetUser(std::nullopt);
    Logon(ProfileDoc({Policies()}));
    EXPECT_TRUE(h.registry.SubKeyNames(RegRoot::Users, "").empty());
    EXPECT_EQ(h.Client().isNewPolicy, 0);
    EXPECT_EQ(h.session.RestartShellCalls(), 0);
    EXPECT_EQ(h.Seen("to the watcher KOW_CUPOLICY").size(), 1u);
}

}  // namespace
}  // namespace ko
