#include "platform/win32/Win32Processes.h"

#include <psapi.h>
#include <tlhelp32.h>

#include <functional>

#include "platform/win32/Win32Accounts.h"
#include "platform/win32/Win32EventLoop.h"
#include "platform/win32/Win32Handles.h"
#include "shared/Guard.h"
#include "shared/Logger.h"

namespace ko {

namespace {

// Vista's right that opens nearly every process for its name and token; XP lacks it.
constexpr DWORD kQueryLimited = 0x1000;

// The program file of an opened process. Vista and later name it for a handle with the limited
// right; XP reads it from the process's first module.
std::string ExecutablePath(HANDLE process) {
    using QueryFullName = BOOL(WINAPI*)(HANDLE, DWORD, LPSTR, PDWORD);
    static const auto queryFullName = reinterpret_cast<QueryFullName>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA("kernel32.dll"), "QueryFullProcessImageNameA")));
    char path[MAX_PATH * 2];
    if (queryFullName != nullptr) {
        DWORD length = sizeof(path);
        if (queryFullName(process, 0, path, &length)) {
            return std::string(path, length);
        }
    }
    DWORD length = GetModuleFileNameExA(process, nullptr, path, sizeof(path));
    return std::string(path, length);
}

// Opens a process for reading its name and owner: the limited right first (Vista and later),
// else the full query right that XP needs.
UniqueHandle OpenForQuery(DWORD id) {
    UniqueHandle process(OpenProcess(kQueryLimited, FALSE, id));
    if (!process) {
        process.Reset(OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, id));
    }
    return process;
}

std::string OwnerOf(HANDLE process) {
    UniqueHandle token;
    if (!OpenProcessToken(process, TOKEN_QUERY, token.Put())) {
        return {};
    }
    return TokenUserSid(token.Get()).value_or(std::string());
}

ProcessInfo Describe(const PROCESSENTRY32& entry) {
    ProcessInfo info;
    info.id = entry.th32ProcessID;
    if (auto session = SessionOfProcess(entry.th32ProcessID)) {
        info.session = *session;
    }
    UniqueHandle process = OpenForQuery(entry.th32ProcessID);
    if (process) {
        info.executable = ExecutablePath(process.Get());
        info.ownerSid = OwnerOf(process.Get());
    }
    // A process that cannot be opened is still known by the name the snapshot gives (on the NT
    // family its file name without the folder).
    if (info.executable.empty()) {
        info.executable = entry.szExeFile;
    }
    return info;
}

// Walks the snapshot; visit returns false to stop.
template <typename Visit>
void WalkSnapshot(Visit&& visit) {
    UniqueFileHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot) {
        return;
    }
    PROCESSENTRY32 entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32First(snapshot.Get(), &entry); more;
         more = Process32Next(snapshot.Get(), &entry)) {
        if (!visit(entry)) {
            return;
        }
    }
}

// What a wait needs after its handle is gone: the pool's callback and the task it posts reach the
// state only while the handle lives.
struct WaitState : std::enable_shared_from_this<WaitState> {
    explicit WaitState(Win32EventLoop& loop) : loop(loop) {}
    Win32EventLoop& loop;
    std::function<void()> onEnded;
    unsigned generation = 0;
};

class Win32ProcessHandle : public ProcessHandle {
  public:
    Win32ProcessHandle(Win32EventLoop& loop, ProcessId id, UniqueHandle process,
                       std::shared_ptr<std::set<ProcessId>> protectedIds)
        : m_id(id),
          m_process(std::move(process)),
          m_protected(std::move(protectedIds)),
          m_state(std::make_shared<WaitState>(loop)) {
        m_owner = OwnerOf(m_process.Get());
    }

    ~Win32ProcessHandle() override {
        // Waits for a callback that is running, so it never sees a closed handle.
        m_wait.Reset();
    }

    ProcessId Id() const override { return m_id; }
    std::int64_t ReportValue() const override {
        return static_cast<std::int64_t>(reinterpret_cast<std::intptr_t>(m_process.Get()));
    }
    const std::string& OwnerSid() const override { return m_owner; }

    bool HasEnded() override { return WaitForSingleObject(m_process.Get(), 0) == WAIT_OBJECT_0; }

    void AwaitEnd(std::function<void()> onEnded) override {
        m_wait.Reset();
        m_state->onEnded = std::move(onEnded);
        unsigned generation = ++m_state->generation;
        if (HasEnded()) {
            PostEnded(m_state, generation);
            return;
        }
        m_generation = generation;
        if (!RegisterWaitForSingleObject(m_wait.Put(), m_process.Get(), &Win32ProcessHandle::Ended,
                                         this, INFINITE, WT_EXECUTEONLYONCE)) {
            Logger::Error("processes: cannot wait for process " + std::to_string(m_id));
        }
    }

    ActionResult Terminate(std::uint32_t exitCode) override {
        if (m_id == GetCurrentProcessId() || m_protected->count(m_id) != 0) {
            Logger::Info("processes: refused to end protected process " + std::to_string(m_id));
            return ActionResult::Failed;
        }
        if (DryRunRequested()) {
            Logger::Info("dry run: would end process " + std::to_string(m_id));
            return ActionResult::DryRun;
        }
        return TerminateProcess(m_process.Get(), exitCode) ? ActionResult::Done
                                                           : ActionResult::Failed;
    }

  private:
    // On a thread of the pool: only posts to the loop.
    static VOID CALLBACK Ended(PVOID context, BOOLEAN) {
        auto* self = static_cast<Win32ProcessHandle*>(context);
        PostEnded(self->m_state, self->m_generation);
    }

    static void PostEnded(const std::shared_ptr<WaitState>& state, unsigned generation) {
        std::weak_ptr<WaitState> weak = state;
        state->loop.Post([weak, generation] {
            std::shared_ptr<WaitState> alive = weak.lock();
            if (!alive || alive->generation != generation || !alive->onEnded) {
                return;
            }
            std::function<void()> onEnded = std::move(alive->onEnded);
            alive->onEnded = nullptr;
            Guarded("process ended", onEnded);
        });
    }

    ProcessId m_id;
    UniqueHandle m_process;
    std::shared_ptr<std::set<ProcessId>> m_protected;
    std::shared_ptr<WaitState> m_state;
    std::string m_owner;
    unsigned m_generation = 0;
    UniqueWait m_wait;
};

}  // namespace

Win32Processes::Win32Processes(Win32EventLoop& loop)
    : m_loop(loop), m_protected(std::make_shared<std::set<ProcessId>>()) {}

std::vector<ProcessInfo> Win32Processes::List() {
    std::vector<ProcessInfo> processes;
    WalkSnapshot([&](const PROCESSENTRY32& entry) {
        processes.push_back(Describe(entry));
        return true;
    });
    return processes;
}

std::optional<ProcessInfo> Win32Processes::Find(ProcessId id) {
    std::optional<ProcessInfo> found;
    WalkSnapshot([&](const PROCESSENTRY32& entry) {
        if (entry.th32ProcessID != id) {
            return true;
        }
        found = Describe(entry);
        return false;
    });
    return found;
}

std::unique_ptr<ProcessHandle> Win32Processes::Open(ProcessId id) {
    if (id == 0) {
        return nullptr;
    }
    // Waiting and ending, and reading the owner; the agent's account may need its debug
    // privilege for processes of other users.
    constexpr DWORD kRights = SYNCHRONIZE | PROCESS_TERMINATE | PROCESS_QUERY_INFORMATION;
    UniqueHandle process(OpenProcess(kRights, FALSE, id));
    if (!process && GetLastError() == ERROR_ACCESS_DENIED &&
        EnableProcessPrivilege(SE_DEBUG_NAME)) {
        process.Reset(OpenProcess(kRights, FALSE, id));
    }
    if (!process) {
        process.Reset(OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE | kQueryLimited, FALSE, id));
    }
    if (!process) {
        return nullptr;
    }
    return std::make_unique<Win32ProcessHandle>(m_loop, id, std::move(process), m_protected);
}

ProcessId Win32Processes::CurrentProcessId() {
    return GetCurrentProcessId();
}

void Win32Processes::Protect(ProcessId id) {
    m_protected->insert(id);
}

bool Win32Processes::IsProtected(ProcessId id) {
    return id == GetCurrentProcessId() || m_protected->count(id) != 0;
}

}  // namespace ko
