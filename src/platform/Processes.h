#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/ActionResult.h"

namespace ko {

using ProcessId = std::uint32_t;

// One running process as the system lists it.
struct ProcessInfo {
    ProcessId id = 0;
    // The full path of the program file, or only its file name when the folder cannot be read
    // (another user's process on Windows); empty when neither can (a process that just ended, a
    // kernel thread).
    std::string executable;
    // The owner's SID text ("S-1-5-21-...", on Linux "S-1-22-1-<uid>"); empty when unreadable.
    std::string ownerSid;
    // The logon session: the terminal-services session on Windows, the audit session on Linux;
    // nothing when unknown.
    std::optional<std::uint32_t> session;
};

// A process opened once: it names the same process for as long as it lives, even when the id is
// reused after the process ended (a process handle on Windows, a pidfd on Linux). Closing it
// cancels a pending AwaitEnd.
class ProcessHandle {
  public:
    virtual ~ProcessHandle() = default;

    virtual ProcessId Id() const = 0;
    // The number that identifies the open handle in reports (the server's application message
    // carries it); it means nothing to anyone else.
    virtual std::int64_t ReportValue() const = 0;
    // The owner's SID text as read when the handle was opened; empty when unreadable.
    virtual const std::string& OwnerSid() const = 0;
    // True once the process has ended.
    virtual bool HasEnded() = 0;
    // Calls onEnded from the loop once the process has ended (posted, never inside this call,
    // when it has ended already). One wait per handle: a second call replaces the first.
    virtual void AwaitEnd(std::function<void()> onEnded) = 0;
    // Ends the process at once (exitCode where the system has one; SIGKILL on Linux). Refuses
    // this program's own process and the processes registered with Processes::Protect. Honours
    // OSTREL_DRY_RUN.
    virtual ActionResult Terminate(std::uint32_t exitCode) = 0;
};

// The processes of the machine.
class Processes {
  public:
    virtual ~Processes() = default;

    // Every process the agent can see, in the system's enumeration order.
    virtual std::vector<ProcessInfo> List() = 0;
    // One process by id; nothing when there is none.
    virtual std::optional<ProcessInfo> Find(ProcessId id) = 0;
    // Opens the process for waiting and terminating; null when it does not exist or cannot be
    // opened.
    virtual std::unique_ptr<ProcessHandle> Open(ProcessId id) = 0;
    virtual ProcessId CurrentProcessId() = 0;
    // Processes that Terminate refuses from now on (the watcher, the display server, the window
    // manager). The adapter adds what it knows itself.
    virtual void Protect(ProcessId id) = 0;
    virtual bool IsProtected(ProcessId id) = 0;
};

}  // namespace ko
