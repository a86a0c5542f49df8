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
#include <string_view>
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

// Opens and locks the sibling lock file, which only its owner may open: another user could
// otherwise hold a shared lock for ever and no change would ever be written. A reader that cannot
// open it (another user, a folder it may not write, no file yet) reads without it: the rename of
// every change keeps a read whole anyway.
UniqueFd TakeLock(const std::string& path, bool exclusive, int waitMs) {
    const std::string lockPath = path + ".lock";
    UniqueFd fd(::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
    if (fd) {
        // A lock file made open to all by an older version is closed now.
        struct stat info {};
        if (::fstat(fd.Get(), &info) == 0 && (info.st_mode & 077) != 0 &&
            info.st_uid == ::geteuid()) {
            ::fchmod(fd.Get(), 0600);
        }
    }
    if (fd && !LockFd(fd.Get(), exclusive ? LOCK_EX : LOCK_SH, waitMs)) {
        fd.Reset();
    }
    return fd;
}

bool ReadAll(int fd, std::string& text) {
    char buffer[65536];
    for (;;) {
        ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return false;
        }
        if (n == 0) {
            return true;
        }
        text.append(buffer, static_cast<std::size_t>(n));
    }
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

std::string RegistryFileStore::MachinePath() {
    std::string path = Env("OSTREL_REGISTRY");
    return path.empty() ? std::string("/var/lib/ostrel/registry.reg") : path;
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

bool RegistryFileStore::IsSecret(std::string_view keyPath, std::string_view valueName) {
    const std::string name = RegistryDocument::Fold(valueName);
    if (name.find("PASSWORD") != std::string::npos) {
        return true;
    }
    // The security password of the close-workstation prompt goes by an unremarkable name.
    static const std::string kNetConfig = "\\NETCONFIG";
    const std::string key = RegistryDocument::Fold(keyPath);
    return name == "WINDOW" && key.size() >= kNetConfig.size() &&
           key.compare(key.size() - kNetConfig.size(), kNetConfig.size(), kNetConfig) == 0;
}

RegistryFileStore::ReadResult RegistryFileStore::StampFile(const std::string& path, int& fd,
                                                           Stamp& stamp) {
    fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat info {};
    if (fd >= 0 && ::fstat(fd, &info) == 0) {
        stamp.exists = true;
        stamp.device = info.st_dev;
        stamp.inode = info.st_ino;
        stamp.size = info.st_size;
        stamp.modifiedNs =
            static_cast<long long>(info.st_mtim.tv_sec) * 1000000000LL + info.st_mtim.tv_nsec;
        stamp.changedNs =
            static_cast<long long>(info.st_ctim.tv_sec) * 1000000000LL + info.st_ctim.tv_nsec;
        return ReadResult::Read;
    }
    if (fd < 0 && errno == ENOENT) {
        return ReadResult::Missing;
    }
    return ReadResult::Unreadable;
}

bool RegistryFileStore::LoadIfChanged() {
    Stamps stamps;
    int rawStore = -1;
    const ReadResult store = StampFile(m_path, rawStore, stamps.store);
    UniqueFd storeFile(rawStore);
    if (store == ReadResult::Unreadable) {
        // Unreadable (permissions, I/O): keep what we know rather than forget every value.
        Logger::Debug("RegistryFileStore: cannot read " + m_path + ": " + std::strerror(errno));
        return false;
    }
    int rawSecrets = -1;
    const std::string secretPath = SecretPath();
    const ReadResult secrets = StampFile(secretPath, rawSecrets, stamps.secrets);
    UniqueFd secretFile(rawSecrets);
    if (m_stamp && stamps == *m_stamp) {
        return true;
    }
    std::string text;
    if (store == ReadResult::Read && !ReadAll(storeFile.Get(), text)) {
        Logger::Debug("RegistryFileStore: read failed: " + std::string(std::strerror(errno)));
        return false;
    }
    std::string secretText;
    if (secrets == ReadResult::Read && !ReadAll(secretFile.Get(), secretText)) {
        Logger::Debug("RegistryFileStore: read failed: " + std::string(std::strerror(errno)));
        return false;
    }
    RegistryDocument document = RegistryDocument::Parse(text);
    // Secrets found in the store file itself were written before they were kept apart; the
    // secret file's own values are the newer ones.
    RegistryDocument strays = document.TakeValues(&IsSecret);
    m_storeHoldsSecrets = strays.HasValues();
    document.MergeValues(strays);
    if (secrets == ReadResult::Read) {
        document.MergeValues(RegistryDocument::Parse(secretText));
    }
    m_secretsHidden = secrets == ReadResult::Unreadable;
    m_document = std::move(document);
    m_stamp = stamps;
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

bool RegistryFileStore::MoveStraySecrets() {
    if (!m_pending.empty()) {
        return Flush();  // the write moves them
    }
    Refresh();
    if (!m_storeHoldsSecrets) {
        return true;
    }
    // A write with no change of its own still splits what the file holds (see Commit).
    return Commit([](RegistryDocument&, bool&) { return true; }) && !m_storeHoldsSecrets;
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
    if (m_secretsHidden) {
        // A write would lose the secrets this process cannot see.
        Logger::Debug("RegistryFileStore: " + SecretPath() + " is not readable: no writes");
        return false;
    }
    RegistryDocument copy = m_document;
    bool changed = m_storeHoldsSecrets;
    if (!change(copy, changed)) {
        return false;
    }
    if (!changed) {
        return true;
    }
    RegistryDocument secrets = copy.TakeValues(&IsSecret);
    struct stat existing {};
    const bool secretFileExists = ::stat(SecretPath().c_str(), &existing) == 0;
    // The secrets first: a store file without them is never the only copy.
    if ((secrets.HasValues() || secretFileExists) &&
        !WriteFile(SecretPath(), secrets.Serialize(), 0600)) {
        return false;
    }
    // Everyone may read the store file: the session watcher reads its settings there.
    mode_t mode = 0644;
    if (struct stat old{}; ::stat(m_path.c_str(), &old) == 0) {
        mode = (old.st_mode & 07777) | 0444;
    }
    if (!WriteFile(m_path, copy.Serialize(), mode)) {
        return false;
    }
    ++m_writesDone;
    copy.MergeValues(secrets);
    m_document = std::move(copy);
    m_stamp.reset();
    LoadIfChanged();  // takes the new file's stamp (and reads back what was written)
    return true;
}

bool RegistryFileStore::WriteFile(const std::string& path, const std::string& text, mode_t mode) {
    const std::string newPath = path + ".new";
    ::unlink(newPath.c_str());
    // O_EXCL: a file or link someone put in the way is never written through.
    UniqueFd file(
        ::open(newPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, mode));
    bool ok = static_cast<bool>(file);
    ok = ok && ::fchmod(file.Get(), mode) == 0;
    ok = ok && WriteAll(file.Get(), text);
    ok = ok && ::fsync(file.Get()) == 0;
    ok = file.Reset() && ok;
    ok = ok && ::rename(newPath.c_str(), path.c_str()) == 0;
    if (!ok) {
        Logger::Debug("RegistryFileStore: cannot write " + path + ": " + std::strerror(errno));
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
