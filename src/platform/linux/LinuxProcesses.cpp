#include "platform/linux/LinuxProcesses.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/linux/UniqueFd.h"
#include "shared/Logger.h"

#ifndef SYS_pidfd_open
#define SYS_pidfd_open 434
#endif
#ifndef SYS_pidfd_send_signal
#define SYS_pidfd_send_signal 424
#endif

namespace ko {

namespace {

int PidfdOpen(ProcessId id) {
    return static_cast<int>(::syscall(SYS_pidfd_open, static_cast<pid_t>(id), 0));
}

// A pidfd turns readable once its process has ended.
bool PidfdEnded(int fd) {
    pollfd entry{fd, POLLIN, 0};
    return ::poll(&entry, 1, 0) > 0 && (entry.revents & (POLLIN | POLLHUP | POLLERR)) != 0;
}

std::string ReadSmallFile(const std::string& path) {
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd) {
        return std::string();
    }
    char buffer[64];
    const ssize_t count = ::read(fd.Get(), buffer, sizeof(buffer));
    return count > 0 ? std::string(buffer, static_cast<std::size_t>(count)) : std::string();
}

std::optional<ProcessId> ParsePid(const char* name) {
    if (*name == '\0') {
        return std::nullopt;
    }
    unsigned long value = 0;
    for (const char* p = name; *p != '\0'; ++p) {
        if (*p < '0' || *p > '9' || value > 0x3FFFFFFFul) {
            return std::nullopt;
        }
        value = value * 10 + static_cast<unsigned long>(*p - '0');
    }
    return static_cast<ProcessId>(value);
}

// What /proc tells of one process; nothing when it is gone.
std::optional<ProcessInfo> ReadProcess(const std::string& procRoot, ProcessId id) {
    const std::string dir = procRoot + "/" + std::to_string(id);
    struct stat status {};
    if (::stat(dir.c_str(), &status) != 0) {
        return std::nullopt;
    }
    ProcessInfo info;
    info.id = id;
    info.ownerSid = LinuxProcesses::SidOfUid(status.st_uid);
    char target[4096];
    const ssize_t length = ::readlink((dir + "/exe").c_str(), target, sizeof(target) - 1);
    if (length > 0) {
        info.executable.assign(target, static_cast<std::size_t>(length));
        // A program file replaced while it runs reads "<path> (deleted)": it is still that path.
        const std::string deleted = " (deleted)";
        if (info.executable.size() > deleted.size() &&
            info.executable.compare(info.executable.size() - deleted.size(), deleted.size(),
                                    deleted) == 0) {
            info.executable.resize(info.executable.size() - deleted.size());
        }
    }
    const std::string session = ReadSmallFile(dir + "/sessionid");
    if (!session.empty()) {
        char* end = nullptr;
        const unsigned long value = std::strtoul(session.c_str(), &end, 10);
        // 4294967295 is the audit system's "no session".
        if (end != session.c_str() && value < 0xFFFFFFFFul) {
            info.session = static_cast<std::uint32_t>(value);
        }
    }
    return info;
}

}  // namespace

class LinuxProcesses::Handle : public ProcessHandle {
  public:
    Handle(LinuxProcesses& owner, ProcessId id, UniqueFd pidfd, std::string ownerSid)
        : m_owner(owner), m_id(id), m_pidfd(std::move(pidfd)), m_ownerSid(std::move(ownerSid)) {}
    ~Handle() override { StopWatch(); }

    ProcessId Id() const override { return m_id; }
    std::int64_t ReportValue() const override { return m_pidfd.Get(); }
    const std::string& OwnerSid() const override { return m_ownerSid; }
    bool HasEnded() override { return PidfdEnded(m_pidfd.Get()); }

    void AwaitEnd(std::function<void()> onEnded) override {
        StopWatch();
        m_onEnded = std::move(onEnded);
        // An ended process leaves the pidfd readable, so the loop's next turn reports it: the
        // callback never runs inside this call.
        m_watch = m_owner.m_loop.WatchFd(m_pidfd.Get(), POLLIN, [this](short) {
            StopWatch();
            auto onEnded = std::move(m_onEnded);
            m_onEnded = nullptr;
            if (onEnded) {
                onEnded();
            }
        });
    }

    ActionResult Terminate(std::uint32_t) override {
        if (m_owner.IsProtected(m_id)) {
            Logger::Info("not ending protected process " + std::to_string(m_id));
            return ActionResult::Failed;
        }
        if (HasEnded()) {
            return ActionResult::Failed;
        }
        if (DryRunRequested()) {
            Logger::Info("dry run: would end process " + std::to_string(m_id));
            return ActionResult::DryRun;
        }
        if (::syscall(SYS_pidfd_send_signal, m_pidfd.Get(), SIGKILL, nullptr, 0) != 0) {
            Logger::Debug("ending process " + std::to_string(m_id) +
                          " failed: " + std::strerror(errno));
            return ActionResult::Failed;
        }
        return ActionResult::Done;
    }

  private:
    void StopWatch() {
        if (m_watch != 0) {
            m_owner.m_loop.UnwatchFd(m_watch);
            m_watch = 0;
        }
    }

    LinuxProcesses& m_owner;
    ProcessId m_id;
    UniqueFd m_pidfd;
    std::string m_ownerSid;
    std::function<void()> m_onEnded;
    LinuxEventLoop::WatchId m_watch = 0;
};

LinuxProcesses::LinuxProcesses(LinuxEventLoop& loop, std::string procRoot)
    : m_loop(loop), m_procRoot(std::move(procRoot)) {}

std::string LinuxProcesses::SidOfUid(unsigned uid) {
    return "S-1-22-1-" + std::to_string(uid);
}

std::vector<ProcessInfo> LinuxProcesses::List() {
    std::vector<ProcessInfo> list;
    DIR* dir = ::opendir(m_procRoot.c_str());
    if (dir == nullptr) {
        return list;
    }
    while (const dirent* entry = ::readdir(dir)) {
        const auto id = ParsePid(entry->d_name);
        if (!id) {
            continue;
        }
        if (auto info = ReadProcess(m_procRoot, *id)) {
            list.push_back(std::move(*info));
        }
    }
    ::closedir(dir);
    return list;
}

std::optional<ProcessInfo> LinuxProcesses::Find(ProcessId id) {
    if (id == 0) {
        return std::nullopt;
    }
    return ReadProcess(m_procRoot, id);
}

std::unique_ptr<ProcessHandle> LinuxProcesses::Open(ProcessId id) {
    if (id == 0) {
        return nullptr;
    }
    UniqueFd pidfd(PidfdOpen(id));
    if (!pidfd) {
        return nullptr;
    }
    // The owner is read after the pidfd pins the process: while it has not ended, the id cannot
    // have gone to another process in between.
    struct stat status {};
    if (::stat((m_procRoot + "/" + std::to_string(id)).c_str(), &status) != 0 ||
        PidfdEnded(pidfd.Get())) {
        return nullptr;
    }
    return std::make_unique<Handle>(*this, id, std::move(pidfd), SidOfUid(status.st_uid));
}

ProcessId LinuxProcesses::CurrentProcessId() {
    return static_cast<ProcessId>(::getpid());
}

bool LinuxProcesses::IsProtected(ProcessId id) {
    // Init and this program itself are never ended, whatever a caller asks.
    return id <= 1 || id == CurrentProcessId() || m_protected.count(id) != 0;
}

}  // namespace ko
