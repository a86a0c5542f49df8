#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/EventLoop.h"
#include "platform/Processes.h"

namespace ko {

// Scripted processes. A test starts and ends them, and reuses an id for a new process; handles
// keep naming the process they were opened on. End notices are posted to the loop, as the real
// adapters deliver them.
class FakeProcesses : public Processes {
  public:
    struct Termination {
        ProcessId id;
        std::uint32_t exitCode;
        ActionResult result;
    };

    explicit FakeProcesses(EventLoop& loop, ProcessId self = 100);
    ~FakeProcesses() override;

    std::vector<ProcessInfo> List() override;
    std::optional<ProcessInfo> Find(ProcessId id) override;
    std::unique_ptr<ProcessHandle> Open(ProcessId id) override;
    ProcessId CurrentProcessId() override { return m_self; }
    void Protect(ProcessId id) override { m_protected.insert(id); }
    bool IsProtected(ProcessId id) override;

    // A new process under this id (a running one with the same id ends first: the id is reused).
    void Start(const ProcessInfo& info);
    // The process ends by itself; waits on it are told from the loop.
    void End(ProcessId id);
    bool IsRunning(ProcessId id) const;
    // Terminate of this process fails (access denied) from now on.
    void RefuseTermination(ProcessId id) { m_refused.insert(id); }
    // Open of this process fails from now on.
    void RefuseOpen(ProcessId id) { m_unopenable.insert(id); }

    const std::vector<Termination>& Terminations() const { return m_terminations; }
    int OpenHandles() const { return m_openHandles; }

  private:
    class Handle;
    struct Process {
        ProcessInfo info;
        std::uint64_t generation = 0;
        bool running = true;
    };
    struct Wait {
        std::uint64_t generation;
        std::function<void()> onEnded;
    };

    bool GenerationEnded(std::uint64_t generation) const;
    ActionResult TerminateGeneration(std::uint64_t generation, std::uint32_t exitCode);
    void EndGeneration(std::uint64_t generation);
    void SetWait(const Handle* handle, std::uint64_t generation, std::function<void()> onEnded);
    void DropWait(const Handle* handle);

    EventLoop& m_loop;
    ProcessId m_self;
    std::vector<Process> m_processes;  // every process ever started, in start order
    std::uint64_t m_nextGeneration = 1;
    std::map<const Handle*, Wait> m_waits;
    std::set<ProcessId> m_protected;
    std::set<ProcessId> m_refused;
    std::set<ProcessId> m_unopenable;
    std::vector<Termination> m_terminations;
    int m_openHandles = 0;
    // Posted notices check this, so none runs after the fake is gone.
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
};

}  // namespace ko
