#include "platform/win32/Win32Processes.h"

#include <gtest/gtest.h>

#include "fakes/DryRunScope.h"
#include "platform/win32/TestProgram.h"
#include "platform/win32/Win32Accounts.h"
#include "platform/win32/Win32EventLoop.h"
#include "shared/AsciiCase.h"

namespace ko {
namespace {

class Win32ProcessesTest : public ::testing::Test {
  protected:
    Win32EventLoop m_loop;
    Win32Processes m_processes{m_loop};
};

TEST_F(Win32ProcessesTest, ListsAStartedProgramWithItsFileOwnerAndSession) {
    TestProgram program("--no-window");
    ASSERT_TRUE(program.Started());
    bool listed = false;
    for (const ProcessInfo& info : m_processes.List()) {
        if (info.id == program.Id()) {
            listed = true;
            EXPECT_TRUE(
                EqualsIgnoringAsciiCase(FileNamePart(info.executable), "ko_test_window.exe"))
                << info.executable;
            EXPECT_NE(info.executable.find('\\'), std::string::npos) << "a full path";
        }
    }
    EXPECT_TRUE(listed);
    std::optional<ProcessInfo> found = m_processes.Find(program.Id());
    ASSERT_TRUE(found.has_value());
    EXPECT_EQ(found->ownerSid, OwnSid());
    EXPECT_EQ(found->session, SessionOfProcess(GetCurrentProcessId()));
    EXPECT_FALSE(m_processes.Find(0x7FFFFFF0).has_value());
}

// The end of an opened process is told from the loop, after Terminate has returned, and the
// handle still names that process after it ended.
TEST_F(Win32ProcessesTest, AnOpenedProcessIsEndedByItsHandleAndItsEndArrivesOnTheLoop) {
    TestProgram program("--no-window");
    std::unique_ptr<ProcessHandle> handle = m_processes.Open(program.Id());
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(handle->Id(), program.Id());
    EXPECT_EQ(handle->OwnerSid(), OwnSid());
    EXPECT_NE(handle->ReportValue(), 0);
    bool ended = false;
    handle->AwaitEnd([&] { ended = true; });
    EXPECT_EQ(handle->Terminate(7), ActionResult::Done);
    EXPECT_FALSE(ended) << "never inside the call";
    EXPECT_TRUE(RunPolling(m_loop, 10000, [&] { return ended; }));
    EXPECT_TRUE(handle->HasEnded());
    EXPECT_EQ(program.ExitCode(), 7u);

    // Waiting for a process that has ended already still answers from the loop.
    bool again = false;
    handle->AwaitEnd([&] { again = true; });
    EXPECT_FALSE(again);
    EXPECT_TRUE(RunPolling(m_loop, 5000, [&] { return again; }));
}

TEST_F(Win32ProcessesTest, AClosedHandleCancelsItsWait) {
    TestProgram program("--no-window");
    std::unique_ptr<ProcessHandle> handle = m_processes.Open(program.Id());
    ASSERT_NE(handle, nullptr);
    bool called = false;
    handle->AwaitEnd([&] { called = true; });
    std::unique_ptr<ProcessHandle> second = m_processes.Open(program.Id());
    ASSERT_NE(second, nullptr);
    bool secondEnded = false;
    second->AwaitEnd([&] { secondEnded = true; });
    handle.reset();
    EXPECT_EQ(second->Terminate(0), ActionResult::Done);
    EXPECT_TRUE(RunPolling(m_loop, 10000, [&] { return secondEnded; }));
    m_loop.PumpPending();
    EXPECT_FALSE(called);
}

// The agent itself, what it protects and, in a dry run, anything at all stays alive.
TEST_F(Win32ProcessesTest, TerminateRefusesTheAgentProtectedProcessesAndDryRuns) {
    std::unique_ptr<ProcessHandle> self = m_processes.Open(m_processes.CurrentProcessId());
    ASSERT_NE(self, nullptr);
    EXPECT_EQ(self->Terminate(0), ActionResult::Failed);
    EXPECT_TRUE(m_processes.IsProtected(m_processes.CurrentProcessId()));

    TestProgram program("--no-window");
    std::unique_ptr<ProcessHandle> handle = m_processes.Open(program.Id());
    ASSERT_NE(handle, nullptr);
    {
        DryRunScope dryRun;
        EXPECT_EQ(handle->Terminate(0), ActionResult::DryRun);
    }
    m_processes.Protect(program.Id());
    EXPECT_TRUE(m_processes.IsProtected(program.Id()));
    EXPECT_EQ(handle->Terminate(0), ActionResult::Failed);
    EXPECT_FALSE(program.WaitForEnd(200));
    EXPECT_FALSE(handle->HasEnded());
}

TEST_F(Win32ProcessesTest, OpeningNoProcessGivesNothing) {
    EXPECT_EQ(m_processes.Open(0), nullptr);
    EXPECT_EQ(m_processes.Open(0x7FFFFFF0), nullptr);
}

}  // namespace
}  // namespace ko
