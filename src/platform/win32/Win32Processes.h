#pragma once

#include <windows.h>

#include <memory>
#include <set>

#include "platform/Processes.h"

namespace ko {

class Win32EventLoop;

// The processes of the machine, through the toolhelp snapshot. An opened process is a handle
// with the rights to wait for it and end it; its end is awaited by a wait of the system's thread
// pool, which hands the news to the loop (the loop's Post is the one call that may come from
// another thread).
class Win32Processes : public Processes {
  public:
    explicit Win32Processes(Win32EventLoop& loop);

    std::vector<ProcessInfo> List() override;
    std::optional<ProcessInfo> Find(ProcessId id) override;
    std::unique_ptr<ProcessHandle> Open(ProcessId id) override;
    ProcessId CurrentProcessId() override;
    void Protect(ProcessId id) override;
    bool IsProtected(ProcessId id) override;

  private:
    Win32EventLoop& m_loop;
    // Shared with the open handles, which refuse to end what is protected.
    std::shared_ptr<std::set<ProcessId>> m_protected;
};

}  // namespace ko
