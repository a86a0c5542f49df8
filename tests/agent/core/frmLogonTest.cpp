#include "agent/core/frmLogon.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "fakes/AgentHarness.h"

namespace ko {
namespace {

using Strings = std::vector<std::string>;

TEST(frmLogon, StartShowsTheStoppedPageLockedAndActivatesOnce) {
    AgentHarness h;
    h.SetNetConfig("Left", "1");
    h.SetNetConfig("window", "pw");
    h.Start();
    EXPECT_EQ(
        h.recorder.Take(),
        (Strings{"reset lock flags", "screen saver running", "create application list",
                 "main position bottom right", "window focus timer off", "show page about:blank",
                 "write the waiting notice", "show page /opt/ostrel/wsStopped.htm",
                 "move browser to top left", "place main window", "show main form",
                 // the new workstation object starts at state 0, so -1 is a change
                 "show page /opt/ostrel/wsStopped.htm", "place main window",
                 "to the watcher KOW_Update_State -1", "lock workstation",
                 "deactivate advertisements", "main window normal",
                 // the first activation
                 "place main window", "set up current user", "register watcher messages",
                 "create message window Ostrel Workstation - Server", "install hooks"}));
    EXPECT_EQ(h.Client().wsState, -1);
    EXPECT_EQ(h.globals.options.wsSecureWorkstation, 1);
    EXPECT_EQ(h.globals.options.wsSecurityPassword, "pw");
    EXPECT_NE(h.globals.options.ReportApplications, 0);
    EXPECT_FALSE(h.globals.options.LogonSettingsReceived);
    EXPECT_EQ(h.globals.WorkstationName, "WS07");
    h.form.Activate();
    EXPECT_TRUE(h.recorder.calls.empty());
}

TEST(frmLogon, MessageTwentyTwoStopsTheServiceAndTheStopGivesTheWorkstationBack) {
    AgentHarness h;
    h.registry.CreateKey(RegRoot::LocalMachine,
                         "Software\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon", "");
    h.registry.PutString(RegRoot::LocalMachine,
                         "Software\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon",
                         "AutoAdminLogon", "1");
    h.StartConnected();
    h.Status(1);
    h.registry.PutString(RegRoot::LocalMachine,
                         "Software\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon",
                         "AutoAdminLogon", "0");
    h.recorder.Take();
    h.Server("22|");
    EXPECT_EQ(h.host.stopRequests, 1);  // through the service manager
    EXPECT_FALSE(h.loop.QuitRequested());
    h.form.OnServiceStop();
    EXPECT_EQ(h.recorder.Take(),
              (Strings{"unlock workstation", "secure-attention keys enabled",
                       "target logged-on user", "clear user policies",
                       "to the watcher KOW_CLOSEWS ", "apply same user policy", "remove hooks"}));
    EXPECT_TRUE(h.loop.QuitRequested());
    EXPECT_EQ(h.loop.ExitCode(), 0);
    EXPECT_EQ(h.host.stoppedWith, 0);
    EXPECT_EQ(
        h.Setting("Software\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon\\", "AutoAdminLogon"),
        "1");
    EXPECT_EQ(
        h.Setting("Software\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon\\", "ForceAutoLogon"),
        "0");
    // A second stop does nothing.
    h.form.OnServiceStop();
    EXPECT_TRUE(h.recorder.calls.empty());
}

TEST(frmLogon, NothingFromTheServerLocksTheWorkstationAgainWhileItStops) {
    AgentHarness h;
    h.StartConnected();
    h.Status(1);
    h.recorder.Take();
    // A status arrives while the stop routine lets pending events run.
    h.loop.Post([&] { h.Server("0|x||||||||0|"); });
    h.form.OnServiceStop();
    EXPECT_FALSE(h.recorder.Saw("lock workstation"));
    EXPECT_TRUE(h.recorder.Saw("unlock workstation"));
    EXPECT_TRUE(h.loop.QuitRequested());
}

const char* const kWinlogon = "Software\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon\\";

TEST(frmLogon, StopWithServerLogonSettingsRestoresTheLogonValuesThenLogsTheUserOff) {
    AgentHarness h;
    h.registry.CreateKey(RegRoot::LocalMachine, kWinlogon, "");
    h.registry.PutString(RegRoot::LocalMachine, kWinlogon, "DefaultUserName", "owner");
    h.StartConnected();
    h.Server("35|0||0|0|0|1|1|0|0|");
    // The profile made the customer's account the next one to log on.
    h.registry.PutString(RegRoot::LocalMachine, kWinlogon, "DefaultUserName", "customer");
    h.recorder.Take();
    // Windows logs the next account on from these values as soon as the user is logged off.
    std::string userAtLogoff;
    h.recorder.onCall = [&](const std::string& call) {
        if (call == "log the user off") {
            userAtLogoff = h.Setting(kWinlogon, "DefaultUserName");
        }
    };
    h.form.OnServiceStop();
    EXPECT_EQ(h.recorder.Take(),
              (Strings{"unlock workstation", "secure-attention keys enabled", "clear user policies",
                       "to the watcher KOW_CLOSEWS ", "log the user off", "remove hooks"}));
    EXPECT_EQ(userAtLogoff, "owner");
}

TEST(frmLogon, OnWindows9xTheAgentStopsItselfAndNeverLogsTheUserOff) {
    AgentHarness h;
    h.system.version.platformId = 1;
    h.StartConnected();
    h.Server("35|0||0|0|0|1|1|0|0|");  // logon settings received
    h.recorder.Take();
    h.Server("22|");
    EXPECT_EQ(h.host.stopRequests, 0);
    EXPECT_TRUE(h.loop.QuitRequested());
    EXPECT_EQ(h.recorder.Take(),
              (Strings{"unlock workstation", "secure-attention keys enabled",
                       "target logged-on user", "clear user policies",
                       "to the watcher KOW_CLOSEWS ", "apply same user policy", "remove hooks"}));
}

TEST(frmLogon, AStopBeforeTheFirstActivationInstallsNothing) {
    AgentHarness h;
    bool success = false;
    h.form.OnServiceStart(success);  // the activation is still waiting in the loop
    h.recorder.Take();
    h.form.OnServiceStop();  // and runs while the stop lets pending events run
    h.loop.RunPosted();
    const Strings calls = h.recorder.Take();
    for (const char* late : {"install hooks", "set up current user", "register watcher messages"}) {
        EXPECT_EQ(std::count(calls.begin(), calls.end(), late), 0) << late;
    }
    EXPECT_TRUE(h.loop.QuitRequested());
}

TEST(frmLogon, AltF6IsSwallowedAndInputRestartsAdvertisingWhenIdle) {
    AgentHarness h;
    h.StartConnected();
    EXPECT_TRUE(h.form.KeyDown(117, 4));
    EXPECT_FALSE(h.form.KeyDown(117, 0));
    EXPECT_FALSE(h.form.KeyDown(65, 4));
    h.form.MouseMove();
    EXPECT_FALSE(h.recorder.Saw("reset advertisement timers"));  // state -1
    h.Status(0);
    h.form.MouseMove();
    EXPECT_TRUE(h.recorder.Saw("reset advertisement timers"));
    h.Status(1);
    h.recorder.Take();
    h.form.KeyDown(65, 0);
    EXPECT_FALSE(h.recorder.Saw("reset advertisement timers"));
}

}  // namespace
}  // namespace ko
