#include "platform/linux/RegistryFileStore.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "platform/EventLoop.h"
#include "platform/linux/LinuxEventLoop.h"
#include "platform/linux/UniqueFd.h"
#include "shared/Logger.h"

namespace ko {

namespace {

std::string Env(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? std::string(value) : std::string();
}

std::string ParentFolder(const std::string& path) {
    std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? std::string("/") : path.substr(0, slash);
}

bool MakeFolders(const std::string& folder) {
    struct stat info {};
    if (::stat(folder.c_str(), &info) == 0) {
        return S_ISDIR(info.st_mode);
    }
    const std::string parent = ParentFolder(folder);
    if (parent != folder && !MakeFolders(parent)) {
        return false;
    }
    return ::mkdir(folder.c_str(), 0755) == 0 || errno == EEXIST;
}

// Takes the lock, waiting at most waitMs: a holder that stalls must not freeze the program.
bool LockFd(int fd, int operation, int waitMs) {
    const std::int64_t deadline = LinuxEventLoop::MonotonicMs() + waitMs;
    long pauseNs = 500000;
    for (;;) {
        if (::flock(fd, operation | LOCK_NB) == 0) {
            return true;
        }
        if (errno == EINTR) {
            continue;
        }
        if (errno != EWOULDBLOCK || LinuxEventLoop::MonotonicMs() >= deadline) {
            return false;
        }
        timespec pause{0, pauseNs};
        ::nanosleep(&pause, nullptr);
        pauseNs = std::min(pauseNs * 2, 8000000L);
    }
}

// Opens and locks the sibling lock file. A reader that cannot create it (a folder it may not
// write, or none yet) reads without it: the rename of every change keeps a read whole anyway.
UniqueFd TakeLock(const std::string& path, bool exclusive, int waitMs) {
    const std::string lockPath = path + ".lock";
    UniqueFd fd(::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644));
    if (!fd) {
        fd.Reset(::open(lockPath.c_str(), O_RDONLY | O_CLOEXEC));
    }
    if (fd && !LockFd(fd.Get(), exclusive ? LOCK_EX : LOCK_SH, waitMs)) {
        fd.Reset();
    }
    return fd;
}

bool WriteAll(int fd, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

RegistryFileStore::RegistryFileStore(std::string path) : m_path(std::move(path)) {}

RegistryFileStore::~RegistryFileStore() {
    Flush();
}

void RegistryFileStore::DeferWritesTo(EventLoop* loop) {
    if (loop == nullptr) {
        Flush();
    }
    m_loop = loop;
}

std::string RegistryFileStore::DefaultPath() {
    std::string path = Env("OSTREL_REGISTRY");
    if (!path.empty()) {
        return path;
    }
    if (::geteuid() == 0) {
        return "/var/lib/ostrel/registry.reg";
    }
    std::string state = Env("XDG_STATE_HOME");
    if (state.empty() || state.front() != '/') {
        std::string home = Env("HOME");
        if (home.empty()) {
            if (const passwd* entry = ::getpwuid(::geteuid()); entry != nullptr) {
                home = entry->pw_dir;
            }
        }
        state = home + "/.local/state";
    }
    return state + "/ostrel/registry.reg";
}

void RegistryFileStore::Refresh() {
    if (!m_pending.empty()) {
        // Changes wait for this turn's write, which reads the file again under the lock and
        // makes them on what it finds; until then the store shows its own view, and a message
        // that sets 300 values does not look at the file 300 times.
        return;
    }
    // Every change is renamed into place, so a read is whole without the lock; a reader only
    // takes it when it is free, and never waits for a writer that stalls.
    UniqueFd lock = TakeLock(m_path, false, 0);
    LoadIfChanged();
}

bool RegistryFileStore::LoadIfChanged() {
    UniqueFd file(::open(m_path.c_str(), O_RDONLY | O_CLOEXEC));
    Stamp stamp;
    struct stat info {};
    if (file && ::fstat(file.Get(), &info) == 0) {
        stamp.exists = true;
        stamp.device = info.st_dev;
        stamp.inode = info.st_ino;
        stamp.size = info.st_size;
        stamp.modifiedNs =
            static_cast<long long>(info.st_mtim.tv_sec) * 1000000000LL + info.st_mtim.tv_nsec;
        stamp.changedNs =
            static_cast<long long>(info.st_ctim.tv_sec) * 1000000000LL + info.st_ctim.tv_nsec;
    } else if (file || errno != ENOENT) {
        // Unreadable (permissions, I/O): keep what we know rather than forget every value.
        Logger::Debug("RegistryFileStore: cannot read " + m_path + ": " + std::strerror(errno));
        return false;
    }
    if (m_stamp && stamp == *m_stamp) {
        return true;
    }
    std::string text;
    if (stamp.exists) {
        char buffer[65536];
        for (;;) {
            ssize_t n = ::read(file.Get(), buffer, sizeof buffer);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n < 0) {
                Logger::Debug("RegistryFileStore: read failed: " +
                              std::string(std::strerror(errno)));
                return false;
            }
            if (n == 0) {
                break;
            }
            text.append(buffer, static_cast<std::size_t>(n));
        }
    }
    m_document = RegistryDocument::Parse(text);
    m_stamp = stamp;
    return true;
}

bool RegistryFileStore::Modify(const Change& change) {
    if (m_loop == nullptr) {
        return Commit(change);
    }
    Refresh();
    bool changed = false;
    if (!change(m_document, changed)) {
        return false;
    }
    if (!changed) {
        return true;
    }
    m_pending.push_back(change);
    if (!m_flushPosted) {
        m_flushPosted = true;
        std::weak_ptr<int> life = m_life;
        m_loop->Post([this, life] {
            if (!life.expired()) {
                m_flushPosted = false;
                Flush();
            }
        });
    }
    return true;
}

bool RegistryFileStore::Flush() {
    if (m_pending.empty()) {
        return true;
    }
    std::vector<Change> pending = std::move(m_pending);
    m_pending.clear();
    bool ok = Commit([&pending](RegistryDocument& document, bool& changed) {
        // A change that the other program's edits made impossible (its key is gone) is skipped.
        for (const Change& change : pending) {
            change(document, changed);
        }
        return true;
    });
    if (!ok) {
        Logger::Debug("RegistryFileStore: " + std::to_string(pending.size()) +
                      " changes not written to " + m_path);
        // The store shows what the file holds again.
        m_stamp.reset();
        Refresh();
    }
    return ok;
}

bool RegistryFileStore::Commit(const Change& change) {
    if (!MakeFolders(ParentFolder(m_path))) {
        return false;
    }
    UniqueFd lock = TakeLock(m_path, true, m_lockWaitMs);
    if (!lock) {
        // Without the lock a change could overwrite the other program's.
        Logger::Debug("RegistryFileStore: the lock of " + m_path + " is not free");
        return false;
    }
    // Under the lock the file is always read again: its stamp cannot tell two quick writes of
    // the same size apart (coarse timestamps, a reused inode), and a write based on a stale copy
    // would undo the other program's change. A store that cannot be read is not written over.
    m_stamp.reset();
    if (!LoadIfChanged()) {
        return false;
    }
    RegistryDocument copy = m_document;
    bool changed = false;
    if (!change(copy, changed)) {
        return false;
    }
    if (!changed) {
        return true;
    }
    if (!WriteFile(copy.Serialize())) {
        return false;
    }
    ++m_writesDone;
    m_document = std::move(copy);
    m_stamp.reset();
    LoadIfChanged();  // takes the new file's stamp (and reads back what was written)
    return true;
}

bool RegistryFileStore::WriteFile(const std::string& text) {
    const std::string newPath = m_path + ".new";
    mode_t mode = 0644;
    struct stat old {};
    if (::stat(m_path.c_str(), &old) == 0) {
        mode = old.st_mode & 07777;
    }
    UniqueFd file(::open(newPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode));
    bool ok = static_cast<bool>(file);
    ok = ok && ::fchmod(file.Get(), mode) == 0;
    ok = ok && WriteAll(file.Get(), text);
    ok = ok && ::fsync(file.Get()) == 0;
    ok = file.Reset() && ok;
    ok = ok && ::rename(newPath.c_str(), m_path.c_str()) == 0;
    if (!ok) {
        Logger::Debug("RegistryFileStore: cannot write " + m_path + ": " + std::strerror(errno));
        ::unlink(newPath.c_str());
        return false;
    }
    // The rename itself is durable only once the folder is synced.
    UniqueFd folder(::open(ParentFolder(m_path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder) {
        ::fsync(folder.Get());
    }
    return true;
}

std::optional<RegData> RegistryFileStore::QueryValue(RegRoot root, const std::string& path,
                                                     const std::string& name) {
    Refresh();
    const RegData* data = m_document.FindValue(root, path, name);
    if (data == nullptr) {
        return std::nullopt;
    }
    return *data;
}

bool RegistryFileStore::SetValue(RegRoot root, const std::string& path, const std::string& name,
                                 const RegData& data) {
    // A missing key fails without taking the write lock.
    Refresh();
    if (!m_document.KeyExists(root, path)) {
        return false;
    }
    // A change may wait for the loop's next turn, so it holds copies of its arguments.
    return Modify([root, path, name, data](RegistryDocument& document, bool& changed) {
        return document.SetValue(root, path, name, data, changed);
    });
}

bool RegistryFileStore::CreateKey(RegRoot root, const std::string& path, const std::string&) {
    return Modify([root, path](RegistryDocument& document, bool& changed) {
        return document.CreateKey(root, path, changed);
    });
}

bool RegistryFileStore::DeleteKey(RegRoot root, const std::string& path) {
    Refresh();
    if (!m_document.KeyExists(root, path)) {
        return false;
    }
    return Modify([root, path](RegistryDocument& document, bool& changed) {
        bool deleted = document.DeleteKey(root, path);
        changed = changed || deleted;
        return deleted;
    });
}

bool RegistryFileStore::DeleteKeyTree(RegRoot root, const std::string& path) {
    Refresh();
    if (!m_document.KeyExists(root, path)) {
        return false;
    }
    return Modify([root, path](RegistryDocument& document, bool& changed) {
        bool deleted = document.DeleteKeyTree(root, path);
        changed = changed || deleted;
        return deleted;
    });
}

bool RegistryFileStore::DeleteValue(RegRoot root, const std::string& path,
                                    const std::string& name) {
    Refresh();
    if (m_document.FindValue(root, path, name) == nullptr) {
        return false;
    }
    return Modify([root, path, name](RegistryDocument& document, bool& changed) {
        bool deleted = document.DeleteValue(root, path, name);
        changed = changed || deleted;
        return deleted;
    });
}

long RegistryFileStore::LoadKey(RegRoot, const std::string&, const std::string&) {
    return kNotSupported;
}

long RegistryFileStore::UnloadKey(RegRoot, const std::string&) {
    return kNotSupported;
}

}  // namespace ko
