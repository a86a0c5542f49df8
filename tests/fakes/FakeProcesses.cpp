#include "fakes/FakeProcesses.h"

#include <algorithm>

namespace ko {

class FakeProcesses::Handle : public ProcessHandle {
  public:
    Handle(FakeProcesses& owner, ProcessId id, std::uint64_t generation, std::string ownerSid)
        : m_owner(owner), m_id(id), m_generation(generation), m_ownerSid(std::move(ownerSid)) {
        ++m_owner.m_openHandles;
    }
    ~Handle() override {
        m_owner.DropWait(this);
        --m_owner.m_openHandles;
    }

    ProcessId Id() const override { return m_id; }
    std::int64_t ReportValue() const override {
        return static_cast<std::int64_t>(1000 + m_generation);
    }
    const std::string& OwnerSid() const override { return m_ownerSid; }
    bool HasEnded() override { return m_owner.GenerationEnded(m_generation); }
    void AwaitEnd(std::function<void()> onEnded) override {
        m_owner.SetWait(this, m_generation, std::move(onEnded));
    }
    ActionResult Terminate(std::uint32_t exitCode) override {
        return m_owner.TerminateGeneration(m_generation, exitCode);
    }

  private:
    FakeProcesses& m_owner;
    ProcessId m_id;
    std::uint64_t m_generation;
    std::string m_ownerSid;
};

FakeProcesses::FakeProcesses(EventLoop& loop, ProcessId self) : m_loop(loop), m_self(self) {
    Start(ProcessInfo{self, "/opt/ostrel/koagent", "S-1-5-18", 0});
}

FakeProcesses::~FakeProcesses() {
    *m_alive = false;
}

std::vector<ProcessInfo> FakeProcesses::List() {
    std::vector<ProcessInfo> list;
    for (const auto& process : m_processes) {
        if (process.running) {
            list.push_back(process.info);
        }
    }
    return list;
}

std::optional<ProcessInfo> FakeProcesses::Find(ProcessId id) {
    for (const auto& process : m_processes) {
        if (process.running && process.info.id == id) {
            return process.info;
        }
    }
    return std::nullopt;
}

std::unique_ptr<ProcessHandle> FakeProcesses::Open(ProcessId id) {
    if (m_unopenable.count(id) != 0) {
        return nullptr;
    }
    for (const auto& process : m_processes) {
        if (process.running && process.info.id == id) {
            return std::make_unique<Handle>(*this, id, process.generation, process.info.ownerSid);
        }
    }
    return nullptr;
}

bool FakeProcesses::IsProtected(ProcessId id) {
    return id == m_self || m_protected.count(id) != 0;
}

void FakeProcesses::Start(const ProcessInfo& info) {
    End(info.id);
    m_processes.push_back(Process{info, m_nextGeneration++, true});
}

void FakeProcesses::End(ProcessId id) {
    for (const auto& process : m_processes) {
        if (process.running && process.info.id == id) {
            EndGeneration(process.generation);
            return;
        }
    }
}

bool FakeProcesses::IsRunning(ProcessId id) const {
    return std::any_of(m_processes.begin(), m_processes.end(), [id](const Process& process) {
        return process.running && process.info.id == id;
    });
}

bool FakeProcesses::GenerationEnded(std::uint64_t generation) const {
    for (const auto& process : m_processes) {
        if (process.generation == generation) {
            return !process.running;
        }
    }
    return true;
}

ActionResult FakeProcesses::TerminateGeneration(std::uint64_t generation, std::uint32_t exitCode) {
    Process* target = nullptr;
    for (auto& process : m_processes) {
        if (process.generation == generation) {
            target = &process;
        }
    }
    if (target == nullptr) {
        return ActionResult::Failed;
    }
    const ProcessId id = target->info.id;
    ActionResult result = ActionResult::Done;
    if (!target->running || IsProtected(id) || m_refused.count(id) != 0) {
        result = ActionResult::Failed;
    } else if (DryRunRequested()) {
        result = ActionResult::DryRun;
    }
    m_terminations.push_back(Termination{id, exitCode, result});
    if (result == ActionResult::Done) {
        EndGeneration(generation);
    }
    return result;
}

void FakeProcesses::EndGeneration(std::uint64_t generation) {
    for (auto& process : m_processes) {
        if (process.generation == generation) {
            process.running = false;
        }
    }
    // Every wait on this process is told once, from the loop; a handle closed before then
    // hears nothing.
    for (auto& [handle, wait] : m_waits) {
        if (wait.generation != generation || !wait.onEnded) {
            continue;
        }
        const Handle* key = handle;
        m_loop.Post([this, alive = m_alive, key, generation] {
            if (!*alive) {
                return;
            }
            const auto it = m_waits.find(key);
            if (it == m_waits.end() || it->second.generation != generation || !it->second.onEnded) {
                return;
            }
            auto onEnded = std::move(it->second.onEnded);
            it->second.onEnded = nullptr;
            onEnded();
        });
    }
}

void FakeProcesses::SetWait(const Handle* handle, std::uint64_t generation,
                            std::function<void()> onEnded) {
    m_waits[handle] = Wait{generation, std::move(onEnded)};
    if (GenerationEnded(generation)) {
        EndGeneration(generation);
    }
}

void FakeProcesses::DropWait(const Handle* handle) {
    m_waits.erase(handle);
}

}  // namespace ko
