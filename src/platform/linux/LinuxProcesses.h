#pragma once

#include <set>
#include <string>

#include "platform/Processes.h"
#include "platform/linux/LinuxEventLoop.h"

namespace ko {

// The processes under /proc. A handle is a pidfd (pidfd_open), so waiting and killing reach the
// process that was opened even when its id has since gone to another; the end is awaited by
// watching the pidfd on the loop. Owners are SIDs "S-1-22-1-<uid>"; sessions are the audit
// sessions (/proc/<pid>/sessionid).
class LinuxProcesses : public Processes {
  public:
    // procRoot is "/proc" except in tests.
    explicit LinuxProcesses(LinuxEventLoop& loop, std::string procRoot = "/proc");

    std::vector<ProcessInfo> List() override;
    std::optional<ProcessInfo> Find(ProcessId id) override;
    std::unique_ptr<ProcessHandle> Open(ProcessId id) override;
    ProcessId CurrentProcessId() override;
    void Protect(ProcessId id) override { m_protected.insert(id); }
    bool IsProtected(ProcessId id) override;

    static std::string SidOfUid(unsigned uid);

  private:
    class Handle;

    LinuxEventLoop& m_loop;
    std::string m_procRoot;
    std::set<ProcessId> m_protected;
};

}  // namespace ko
