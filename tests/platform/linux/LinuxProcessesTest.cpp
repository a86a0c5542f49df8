// The process adapter on real child processes: handles name the process they were opened on,
// the end arrives through the loop, and a reused id is never hit through an old handle.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "fakes/DryRunScope.h"
#include "platform/LoopTestSupport.h"
#include "platform/linux/LinuxEventLoop.h"
#include "platform/linux/LinuxProcesses.h"

extern char** environ;

namespace ko {
namespace {

// A child "sleep" that the test reaps itself.
class Child {
  public:
    Child() {
        char program[] = "/bin/sleep";
        char seconds[] = "30";
        char* argv[] = {program, seconds, nullptr};
        if (::posix_spawn(&m_pid, program, nullptr, nullptr, argv, environ) != 0) {
            m_pid = -1;
        }
    }
    ~Child() {
        if (m_pid > 0) {
            ::kill(m_pid, SIGKILL);
            Reap();
        }
    }
    ProcessId Id() const { return static_cast<ProcessId>(m_pid); }
    void Reap() {
        if (m_pid > 0) {
            ::waitpid(m_pid, nullptr, 0);
            m_pid = -1;
        }
    }
    // True while the process runs (not a zombie).
    static bool Running(ProcessId id) {
        char state = 0;
        FILE* stat = std::fopen(("/proc/" + std::to_string(id) + "/stat").c_str(), "r");
        if (stat == nullptr) {
            return false;
        }
        const int read = std::fscanf(stat, "%*d %*s %c", &state);
        std::fclose(stat);
        return read == 1 && state != 'Z';
    }

  private:
    pid_t m_pid = -1;
};

TEST(LinuxProcesses, ListsAndFindsChildrenWithProgramOwnerAndSession) {
    LinuxEventLoop loop;
    LinuxProcesses processes(loop);
    Child child;
    ASSERT_NE(child.Id(), 0u);

    const auto info = processes.Find(child.Id());
    ASSERT_TRUE(info);
    // posix_spawn returns after exec, so the child already is the new program.
    EXPECT_NE(info->executable.find("sleep"), std::string::npos);
    EXPECT_EQ(info->ownerSid, "S-1-22-1-" + std::to_string(::getuid()));

    bool listed = false;
    for (const auto& process : processes.List()) {
        listed = listed || process.id == child.Id();
    }
    EXPECT_TRUE(listed);
    EXPECT_FALSE(processes.Find(0));
    EXPECT_FALSE(processes.Open(0));
}

TEST(LinuxProcesses, TerminationEndsTheChildAndTheEndArrivesFromTheLoop) {
    LinuxEventLoop loop;
    LinuxProcesses processes(loop);
    Child child;
    auto handle = processes.Open(child.Id());
    ASSERT_TRUE(handle);
    EXPECT_FALSE(handle->HasEnded());

    bool ended = false;
    handle->AwaitEnd([&] { ended = true; });
    {
        DryRunScope dryRun;
        EXPECT_EQ(handle->Terminate(0), ActionResult::DryRun);
    }
    EXPECT_TRUE(Child::Running(child.Id()));
    EXPECT_EQ(handle->Terminate(0), ActionResult::Done);
    EXPECT_FALSE(ended);  // never inside the call
    EXPECT_TRUE(RunFor(loop, 5000, [&] { return ended; }));
    EXPECT_TRUE(handle->HasEnded());
    EXPECT_EQ(handle->Terminate(0), ActionResult::Failed);

    // A wait started after the end is still told, from the loop.
    bool late = false;
    handle->AwaitEnd([&] { late = true; });
    EXPECT_FALSE(late);
    EXPECT_TRUE(RunFor(loop, 5000, [&] { return late; }));
}

TEST(LinuxProcesses, ProtectedProcessesAndItselfAreNeverEnded) {
    LinuxEventLoop loop;
    LinuxProcesses processes(loop);
    Child child;
    processes.Protect(child.Id());
    auto handle = processes.Open(child.Id());
    ASSERT_TRUE(handle);
    EXPECT_EQ(handle->Terminate(0), ActionResult::Failed);
    EXPECT_TRUE(Child::Running(child.Id()));

    auto self = processes.Open(processes.CurrentProcessId());
    ASSERT_TRUE(self);
    EXPECT_EQ(self->Terminate(0), ActionResult::Failed);
    EXPECT_TRUE(processes.IsProtected(1));
}

TEST(LinuxProcesses, HandleOfAnEndedProcessNeverReachesTheProcessThatReusedItsId) {
    LinuxEventLoop loop;
    LinuxProcesses processes(loop);
    Child first;
    const ProcessId reusedId = first.Id();
    auto handle = processes.Open(reusedId);
    ASSERT_TRUE(handle);
    ::kill(static_cast<pid_t>(reusedId), SIGKILL);
    first.Reap();

    // Hand the same id to a new child: the kernel gives the id after ns_last_pid next.
    UniqueFd lastPid(::open("/proc/sys/kernel/ns_last_pid", O_WRONLY | O_CLOEXEC));
    if (!lastPid) {
        GTEST_SKIP() << "ns_last_pid is not writable here; id reuse cannot be forced";
    }
    const std::string previous = std::to_string(reusedId - 1);
    ASSERT_EQ(::write(lastPid.Get(), previous.data(), previous.size()),
              static_cast<ssize_t>(previous.size()));
    Child second;
    if (second.Id() != reusedId) {
        GTEST_SKIP() << "another process took the id first";
    }

    EXPECT_TRUE(handle->HasEnded());
    EXPECT_EQ(handle->Terminate(0), ActionResult::Failed);
    EXPECT_TRUE(Child::Running(reusedId));  // the newcomer lives on
    bool ended = false;
    handle->AwaitEnd([&] { ended = true; });
    EXPECT_TRUE(RunFor(loop, 5000, [&] { return ended; }));
    // A fresh open names the newcomer.
    auto fresh = processes.Open(reusedId);
    ASSERT_TRUE(fresh);
    EXPECT_FALSE(fresh->HasEnded());
}

}  // namespace
}  // namespace ko
