// The fakes of the workstation-control ports behave as the real adapters promise, so the core's
// tests against them mean something: handles outlive id reuse, end notices come from the loop,
// dry runs are told apart from done work.
#include <gtest/gtest.h>

#include "fakes/DryRunScope.h"
#include "fakes/FakeDesktopWindows.h"
#include "fakes/FakeEventLoop.h"
#include "fakes/FakeHookLibrary.h"
#include "fakes/FakePower.h"
#include "fakes/FakeProcesses.h"
#include "fakes/FakeUserSession.h"

namespace ko {
namespace {

TEST(FakeProcesses, HandleKeepsNamingTheProcessItWasOpenedOnAfterTheIdIsReused) {
    FakeEventLoop loop;
    FakeProcesses processes(loop);
    processes.Start({500, "/usr/bin/game", "S-1-22-1-1000", 2});
    auto handle = processes.Open(500);
    ASSERT_TRUE(handle);
    int ended = 0;
    handle->AwaitEnd([&] { ++ended; });

    processes.Start({500, "/usr/bin/other", "S-1-22-1-1000", 2});  // the old one ends, id reused
    EXPECT_EQ(ended, 0);  // told from the loop, never inside the call
    loop.RunPosted();
    EXPECT_EQ(ended, 1);
    EXPECT_TRUE(handle->HasEnded());
    EXPECT_EQ(handle->Terminate(0), ActionResult::Failed);
    EXPECT_TRUE(processes.IsRunning(500));  // the newcomer is untouched
    EXPECT_EQ(processes.Find(500)->executable, "/usr/bin/other");
}

TEST(FakeProcesses, TerminationRefusesProtectedProcessesAndOnlyLogsInDryRun) {
    FakeEventLoop loop;
    FakeProcesses processes(loop, 100);
    processes.Start({600, "/usr/bin/openbox", "S-1-22-1-1000", 2});
    processes.Start({700, "/usr/bin/game", "S-1-22-1-1000", 2});
    processes.Protect(600);

    EXPECT_EQ(processes.Open(100)->Terminate(0), ActionResult::Failed);  // itself
    EXPECT_EQ(processes.Open(600)->Terminate(0), ActionResult::Failed);
    {
        DryRunScope dryRun;
        EXPECT_EQ(processes.Open(700)->Terminate(0), ActionResult::DryRun);
        EXPECT_TRUE(processes.IsRunning(700));
    }
    auto handle = processes.Open(700);
    bool ended = false;
    handle->AwaitEnd([&] { ended = true; });
    EXPECT_EQ(handle->Terminate(3), ActionResult::Done);
    loop.RunPosted();
    EXPECT_TRUE(ended);
    EXPECT_EQ(processes.Terminations().back().exitCode, 3u);

    // A wait on a handle that is closed before the notice runs is never called.
    processes.Start({800, "/usr/bin/game", "S-1-22-1-1000", 2});
    bool called = false;
    auto closed = processes.Open(800);
    closed->AwaitEnd([&] { called = true; });
    processes.End(800);
    closed.reset();
    loop.RunPosted();
    EXPECT_FALSE(called);
    EXPECT_EQ(processes.OpenHandles(), 1);
}

TEST(FakeHookLibrary, MissingLibraryFailsEveryCallAndNoticesNeedAnInstalledHook) {
    FakeHookLibrary hooks;
    std::vector<std::pair<HookNotice, WindowId>> notices;
    hooks.SetNoticeHandler([&](HookNotice n, WindowId w) { notices.emplace_back(n, w); });
    hooks.Notify(HookNotice::WindowCreated, 5);
    EXPECT_TRUE(notices.empty());
    EXPECT_TRUE(hooks.SetShellHook());
    hooks.Notify(HookNotice::WindowCreated, 5);
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_EQ(static_cast<int>(notices[0].first), 1027);

    hooks.SetMissingFunction("SetSaverHook");
    EXPECT_TRUE(hooks.SetKeyboardHook());
    EXPECT_FALSE(hooks.SetSaverHook());
    hooks.SetMissing(true);
    EXPECT_FALSE(hooks.GoOnline());
    EXPECT_EQ(hooks.Calls(), (std::vector<std::string>{"SetShellHook", "SetKeyboardHook",
                                                       "SetSaverHook", "goOnline"}));
}

TEST(FakeUserSession, ScopesAreCountedAndNothingHappensWithoutAUser) {
    FakeUserSession session;
    EXPECT_EQ(session.Impersonate(), nullptr);
    EXPECT_EQ(session.DeleteDocuments().result, ActionResult::Failed);
    session.SetUser(SessionUser{42, "Anna", "", "S-1-22-1-1000"});
    session.AddAccount("", "anna", "S-1-22-1-1000");
    EXPECT_EQ(session.AccountSid("", "ANNA"), "S-1-22-1-1000");
    {
        auto scope = session.Impersonate();
        EXPECT_EQ(session.ActiveImpersonations(), 1);
    }
    EXPECT_EQ(session.ActiveImpersonations(), 0);

    session.SetDocumentsFolder("/home/anna/Documents");
    session.SetDocuments({"a.txt"});
    {
        DryRunScope dryRun;
        EXPECT_EQ(session.DeleteDocuments().result, ActionResult::DryRun);
    }
    EXPECT_EQ(session.Documents().size(), 1u);
    EXPECT_EQ(session.DeleteDocuments().deleted, std::vector<std::string>{"a.txt"});
    EXPECT_TRUE(session.Documents().empty());
}

TEST(FakePower, DryRunIsReportedAsNotDone) {
    FakePower power;
    EXPECT_EQ(power.Reboot(), ActionResult::Done);
    DryRunScope dryRun;
    EXPECT_EQ(power.PowerOff(), ActionResult::DryRun);
    EXPECT_FALSE(Succeeded(power.PowerOff()));
    EXPECT_EQ(power.Calls().size(), 3u);
}

TEST(FakeDesktopWindows, PoliteCloseRunsTheScriptedReactionUnlessDryRun) {
    FakeDesktopWindows windows;
    windows.Open(1, {"Notepad", "a - Notepad", 500, true});
    windows.Open(2, {"Calc", "Calc", 501, true});
    EXPECT_EQ(windows.TopLevelWindows(), (std::vector<WindowId>{2, 1}));
    windows.SetOnCloseRequest([&](WindowId w) { windows.Destroy(w); });
    {
        DryRunScope dryRun;
        EXPECT_EQ(windows.RequestClose(1), ActionResult::DryRun);
        EXPECT_TRUE(windows.Exists(1));
    }
    EXPECT_EQ(windows.RequestClose(1), ActionResult::Done);
    EXPECT_FALSE(windows.Exists(1));
    EXPECT_EQ(windows.Hide(1), ActionResult::Failed);
}

}  // namespace
}  // namespace ko
