#include <gtest/gtest.h>

#include "fakes/ControlHarness.h"
#include "fakes/DryRunScope.h"

namespace ko {
namespace {

using Strings = std::vector<std::string>;
using Action = FakeDesktopWindows::Action;

class WorkstationControlTest : public ::testing::Test {
  protected:
    WorkstationControlTest() { h.LogOnUser(); }
    // A session runs: the workstation is unlocked and tracks new windows.
    void StartSession() {
        h.StartConnected();
        h.Status(0);
        h.Status(1);
        h.loop.RunPosted();
    }
    ControlHarness h;
};

TEST_F(WorkstationControlTest, LockingTwiceHidesAndHooksOnce_UnlockingGivesItAllBack) {
    h.StartConnected();  // the start locks
    EXPECT_TRUE(h.hooks.IsSet("keyboard"));
    EXPECT_TRUE(h.hooks.IsSet("saver"));
    EXPECT_TRUE(h.hooks.IsSet("shell"));
    EXPECT_TRUE(h.hooks.IsSet("cbt"));
    h.hooks.ClearCalls();
    h.Status(0);
    h.Status(13);
    EXPECT_TRUE(h.hooks.Calls().empty());

    h.globals.options.KeepOnTop = 0;
    h.Status(1);
    EXPECT_FALSE(h.hooks.IsSet("keyboard"));
    EXPECT_FALSE(h.hooks.IsSet("saver"));
    EXPECT_EQ(h.hooks.Calls(), (Strings{"UnsetSaverHook", "UnsetKeyboardHook"}));
    EXPECT_EQ(h.Seen("main window ").back(), "main window not topmost");

    // Windows opened in the session are hidden by the next lock and shown again after it, in
    // the order they stood: the customer had brought the first one back to the top.
    h.OpenProgram(700, 0x70, "C:\\apps\\notepad.exe");
    h.hooks.Notify(HookNotice::WindowCreated, 0x70);
    h.OpenProgram(701, 0x71, "C:\\apps\\calc.exe");
    h.hooks.Notify(HookNotice::WindowCreated, 0x71);
    h.windows.Raise(0x70);
    h.Status(0);
    EXPECT_EQ(h.windows.WindowsWith(Action::Hide), (std::vector<WindowId>{0x70, 0x71}));
    EXPECT_TRUE(h.recorder.Saw("unload forms"));
    EXPECT_TRUE(h.recorder.Saw("force main window to the foreground"));
    EXPECT_TRUE(h.recorder.Saw("grab keyboard"));
    h.Status(1);
    EXPECT_EQ(h.windows.WindowsWith(Action::Show), (std::vector<WindowId>{0x71, 0x70}));
    const std::vector<WindowId> order = h.windows.TopLevelWindows();
    ASSERT_GE(order.size(), 2u);
    EXPECT_EQ((std::vector<WindowId>{order[0], order[1]}), (std::vector<WindowId>{0x70, 0x71}));
    // The keys go back to the customer's programs with the unlock.
    EXPECT_TRUE(h.recorder.Saw("release keyboard"));
}

TEST_F(WorkstationControlTest, AMissingHookLibraryShows1003AndTheStopRunsWhole) {
    h.registry.PutString(RegRoot::LocalMachine,
                         "Software\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon",
                         "AutoAdminLogon", "1");
    h.StartConnected();
    h.Status(0);
    h.Status(1);
    h.loop.RunPosted();
    h.hooks.SetMissing(true);
    h.recorder.Take();
    h.Status(0);
    EXPECT_EQ(h.Seen("message window"),
              (Strings{"message window ShowMessage 1003 Missing configuration files. Run setup "
                       "again!"}));
    EXPECT_EQ(h.host.stopRequests, 1);

    // The service manager's stop: the unlock skips the absent calls, and the rest runs.
    h.recorder.Take();
    h.form.OnServiceStop();
    EXPECT_TRUE(h.Seen("message window").empty());
    EXPECT_EQ(
        h.Value(RegRoot::LocalMachine, "Software\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon",
                "AutoAdminLogon"),
        "1");
    EXPECT_TRUE(h.recorder.Saw("to the watcher KOW_CLOSEWS "));
    EXPECT_TRUE(h.form.Stopped());
}

TEST_F(WorkstationControlTest, WindowNoticesKeepTheListThatMessage37Reports) {
    StartSession();
    h.globals.options.ReportApplications = 0;
    h.OpenProgram(700, 0x70, "C:\\apps\\notepad.exe", "Notepad", "a|b");
    h.OpenProgram(701, 0x71, "C:\\apps\\calc.exe", "Calc", "calc");
    h.hooks.Notify(HookNotice::WindowCreated, 0x70);
    h.hooks.Notify(HookNotice::WindowCreated, 0x70);    // a duplicate is ignored
    h.hooks.Notify(HookNotice::WindowActivated, 0x71);  // activation alone does not list
    h.Sent();
    h.Server("37|");
    h.loop.Advance(100);
    EXPECT_EQ(h.Sent(), Strings{"37|1|112|notepad.exe|a\xA6"
                                "b|"});

    // Command 21 ends the listed program: politely, then by its handle 500 ms later.
    h.Server("21|112");
    EXPECT_EQ(h.windows.WindowsWith(Action::RequestClose), std::vector<WindowId>{0x70});
    h.loop.Advance(499);
    EXPECT_TRUE(h.processes.Terminations().empty());
    h.loop.Advance(1);
    ASSERT_EQ(h.processes.Terminations().size(), 1u);
    EXPECT_EQ(h.processes.Terminations()[0].id, 700u);
    EXPECT_EQ(h.control.Applications().Count(), 0u);
}

TEST_F(WorkstationControlTest, AProgramThatClosesInTimeIsNotEnded_NorAnotherUsersProcess) {
    StartSession();
    h.OpenProgram(700, 0x70, "C:\\apps\\polite.exe");
    h.windows.SetOnCloseRequest([&](WindowId window) {
        h.windows.Destroy(window);
        h.processes.End(700);
    });
    h.Server("20|112");
    h.loop.Advance(1000);
    EXPECT_TRUE(h.processes.Terminations().empty());

    // A window of another account's process is asked to close but its process is not ended.
    h.windows.SetOnCloseRequest(nullptr);
    h.OpenProgram(800, 0x80, "C:\\svc\\service.exe", "X", "x", "S-1-5-18");
    h.Server("20|128");
    h.loop.Advance(1000);
    EXPECT_TRUE(h.processes.Terminations().empty());
    // Nor the agent's own process.
    h.windows.Open(0x90, FakeDesktopWindows::Window{"ThunderForm", "Ko", 100, true});
    h.Server("20|144");
    h.loop.Advance(1000);
    EXPECT_TRUE(h.windows.WindowsWith(Action::RequestClose).size() == 2u);
}

TEST_F(WorkstationControlTest, AReusedHandleOrIdIsNeverActedOn) {
    StartSession();
    h.OpenProgram(700, 0x70, "C:\\apps\\notepad.exe", "Notepad", "mine");
    h.hooks.Notify(HookNotice::WindowCreated, 0x70);
    // The program ends while locked; its handle goes to another program.
    h.Status(0);
    h.hooks.Notify(HookNotice::WindowDestroyed, 0x70);  // ignored while locked
    EXPECT_EQ(h.control.Applications().Count(), 1u);
    h.windows.Destroy(0x70);
    h.processes.End(700);
    h.OpenProgram(701, 0x70, "C:\\apps\\other.exe", "Other", "stranger");
    h.windows.ClearCalls();
    h.Status(1);
    EXPECT_TRUE(h.windows.WindowsWith(Action::Show).empty());
    EXPECT_EQ(h.control.Applications().Count(), 0u);

    // A process id reused while the close waits: the process opened first is the one ended.
    h.OpenProgram(702, 0x72, "C:\\apps\\stubborn.exe");
    h.hooks.Notify(HookNotice::WindowCreated, 0x72);
    h.Server("21|114");
    h.processes.End(702);
    h.processes.Start(ProcessInfo{702, "C:\\apps\\innocent.exe", ControlHarness::kUserSid, 1});
    h.loop.Advance(1000);
    EXPECT_TRUE(h.processes.Terminations().empty());
    EXPECT_TRUE(h.processes.IsRunning(702));
}

TEST_F(WorkstationControlTest, DisallowedProgramsAndTaskManagerAreClosed) {
    h.xml.Serve(
        ControlHarness::kLogonProfile,
        ProfileDoc({ProfilePart("DisallowedApplications", {{"GAME.exe"}, {"koagent.exe"}})}));
    StartSession();
    h.OpenProgram(700, 0x70, "C:\\games\\game.exe");
    h.hooks.Notify(HookNotice::WindowActivated, 0x70);
    EXPECT_EQ(h.windows.WindowsWith(Action::RequestClose), std::vector<WindowId>{0x70});

    // Task Manager only while the secure-attention keys are disabled.
    h.windows.ClearCalls();
    h.OpenProgram(710, 0x71, "C:\\WINDOWS\\system32\\TASKMGR.EXE", "#32770", "Task Manager");
    h.control.EnableCtrlAltDel(1);
    h.hooks.Notify(HookNotice::WindowCreated, 0x71);
    EXPECT_TRUE(h.windows.WindowsWith(Action::RequestClose).empty());
    h.control.EnableCtrlAltDel(0);
    h.hooks.Notify(HookNotice::WindowActivated, 0x71);
    EXPECT_EQ(h.windows.WindowsWith(Action::RequestClose), std::vector<WindowId>{0x71});
    // A Linux task manager named in the settings' defaults.
    h.windows.ClearCalls();
    h.OpenProgram(720, 0x72, "/usr/bin/gnome-system-monitor", "Gnome-system-monitor", "m");
    h.hooks.Notify(HookNotice::WindowCreated, 0x72);
    EXPECT_EQ(h.windows.WindowsWith(Action::RequestClose), std::vector<WindowId>{0x72});
}

TEST_F(WorkstationControlTest, ReportsAndAppPathsAreWrittenOnlyOnChange) {
    StartSession();
    h.globals.options.ReportApplications = -1;
    h.OpenProgram(700, 0x70, "C:\\apps\\a|b.exe", "Cls|x");
    h.Sent();
    h.hooks.Notify(HookNotice::WindowCreated, 0x70);
    h.loop.Advance(200);
    const Strings sent = h.Sent();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].rfind(" 20|Cls\xA6x|", 0), 0u) << sent[0];
    EXPECT_NE(sent[0].find("|a\xA6"
                           "b.exe|112"),
              std::string::npos)
        << sent[0];
    EXPECT_EQ(
        h.Value(RegRoot::LocalMachine, "SOFTWARE\\Ostrel Software\\Ostrel\\1\\AppPath", "a|b.exe"),
        "C:\\apps\\a|b.exe");
    h.registry.ClearCalls();
    h.hooks.Notify(HookNotice::WindowActivated, 0x70);
    EXPECT_TRUE(h.registry.CallsOf(FakeRegistry::Operation::SetValue).empty());

    // A window of the agent itself (Wine announces its hidden helper windows) is no customer's
    // program: the cafe's list of started applications never shows it.
    h.Sent();
    h.OpenProgram(100, 0x71, "C:\\Program Files\\Ostrel\\koagent.exe",
                  "URL Moniker Notification Window");
    h.hooks.Notify(HookNotice::WindowCreated, 0x71);
    h.loop.Advance(200);
    EXPECT_TRUE(h.Sent().empty());
}

TEST_F(WorkstationControlTest, AFailedOrDryRunPowerCallBringsHooksAndLinkBack) {
    h.StartConnected();
    h.Status(0);
    h.power.SetResult(ActionResult::DryRun);
    const std::size_t connects = h.socket.connects.size();
    h.Server("7|");
    EXPECT_EQ(h.power.Calls(), Strings{"PowerOff"});
    EXPECT_TRUE(h.hooks.IsSet("shell"));
    EXPECT_TRUE(h.hooks.IsSet("cbt"));
    EXPECT_EQ(h.Client().wsState, -1);
    EXPECT_EQ(h.socket.connects.size(), connects + 1);

    h.power.SetResult(ActionResult::Done);
    h.hooks.ClearCalls();
    h.Server("28|");
    EXPECT_EQ(h.hooks.Calls(), (Strings{"UnsetCBTHook", "UnsetShellHook", "goOnline"}));
}

}  // namespace
}  // namespace ko
