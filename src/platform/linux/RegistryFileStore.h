#pragma once

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/RegistryPrimitives.h"
#include "platform/linux/RegistryDocument.h"

namespace ko {

// The registry on Linux: one REGEDIT4 text file shared by both programs. Every operation first
// re-reads the file if another program replaced it. A change is made under an exclusive flock on
// "<path>.lock", written to "<path>.new", synced and renamed over the store, so a crash or a
// concurrent reader never sees a half-written file; readers hold a shared lock while they read.
//
// While a loop is attached, changes are kept in memory and written together by a task posted to
// the loop: a message that sets 300 values costs one durable write, not 300. That write still
// takes the lock, reads the file again and makes the changes on what it finds, so nothing the
// other program wrote in between is undone. The lock is waited for only briefly: a reader that
// stalls makes the write fail (the changes are dropped and the store shows the file again),
// never freezes the program.
//
// Secrets (every value whose name holds "password", and the security password the settings keep
// as "window" under "NetConfig") live apart, in "<path>.secret", readable by its owner only; the
// store file itself stays readable by everyone, so the session watcher, which runs as the
// customer's user, reads its settings and nothing secret. Callers see one registry: the split
// is made on every write and undone on every read. A process that cannot read the secrets
// cannot write either. The lock file is the owner's alone too: another user can neither take
// nor hold it, and reads the last complete file without it.
class EventLoop;

class RegistryFileStore : public RegistryPrimitives {
  public:
    // How long a change waits for the lock before it fails.
    static constexpr int kDefaultLockWaitMs = 100;

    explicit RegistryFileStore(std::string path);
    // Writes what still waits.
    ~RegistryFileStore() override;
    RegistryFileStore(const RegistryFileStore&) = delete;
    RegistryFileStore& operator=(const RegistryFileStore&) = delete;

    // With a loop, changes wait for one write per loop turn; with nullptr (the start), what
    // waits is written now and every change is written at once again.
    void DeferWritesTo(EventLoop* loop);
    // Writes the changes that wait now. False when they could not be written; they are dropped.
    bool Flush();
    void SetLockWaitMs(int ms) { m_lockWaitMs = ms; }
    // Moves the secrets that a store written before they were kept apart still holds out of the
    // store file now, rather than at the first change: until then everyone could read them. The
    // store file is rewritten only when it holds one. True when nothing was left to move; false
    // when the files could not be written (both stay as they were and no value is lost).
    bool MoveStraySecrets();
    // Files written so far (each one a new file renamed over the store).
    std::uint64_t WritesDone() const { return m_writesDone; }

    // $OSTREL_REGISTRY; else /var/lib/ostrel/registry.reg for root; else
    // $XDG_STATE_HOME/ostrel/registry.reg (by default under ~/.local/state).
    static std::string DefaultPath();
    // The machine's store whoever runs: $OSTREL_REGISTRY, else /var/lib/ostrel/registry.reg. The
    // session watcher runs as the session's user and reads the agent's settings there.
    static std::string MachinePath();

    std::optional<RegData> QueryValue(RegRoot root, const std::string& path,
                                      const std::string& name) override;
    bool SetValue(RegRoot root, const std::string& path, const std::string& name,
                  const RegData& data) override;
    // The class string has no place in the REGEDIT4 format and is not kept.
    bool CreateKey(RegRoot root, const std::string& path, const std::string& className) override;
    bool DeleteKey(RegRoot root, const std::string& path) override;
    bool DeleteKeyTree(RegRoot root, const std::string& path) override;
    bool DeleteValue(RegRoot root, const std::string& path, const std::string& name) override;

    // Linux has no per-user hive files to load: every user's keys live in this one store.
    long LoadKey(RegRoot root, const std::string& subKey, const std::string& file) override;
    long UnloadKey(RegRoot root, const std::string& subKey) override;
    // There are no hive privileges to enable, so both report that nothing was done.
    bool EnableHivePrivileges() override { return false; }
    bool DropPrivileges() override { return false; }

    const std::string& Path() const { return m_path; }
    std::string SecretPath() const { return m_path + ".secret"; }

    // Whether a value is kept in the owner-only part of the store.
    static bool IsSecret(std::string_view keyPath, std::string_view valueName);

  private:
    // What identifies one version of the file: a rename gives a new inode, an edit in place a
    // new size or time.
    struct Stamp {
        bool exists = false;
        dev_t device = 0;
        ino_t inode = 0;
        off_t size = 0;
        long long modifiedNs = 0;
        long long changedNs = 0;
        bool operator==(const Stamp&) const = default;
    };
    // The two files the document is read from.
    struct Stamps {
        Stamp store;
        Stamp secrets;
        bool operator==(const Stamps&) const = default;
    };
    enum class ReadResult { Read, Missing, Unreadable };
    static ReadResult StampFile(const std::string& path, int& fd, Stamp& stamp);

    // A change of the document; false when it is not allowed. Sets changed when something moved.
    using Change = std::function<bool(RegistryDocument&, bool& changed)>;

    // Re-reads the file when another program replaced it, unless changes wait for this turn's
    // write.
    void Refresh();
    // Loads the file when its stamp differs from the one in memory.
    bool LoadIfChanged();
    // Makes a change: at once, or in memory until the loop's next turn when writes are deferred.
    bool Modify(const Change& change);
    // Under the exclusive lock: reads the file again, runs change on it and, when it succeeds and
    // changed something, replaces the file. False when change refuses or the file cannot be
    // written (the store is then unchanged).
    bool Commit(const Change& change);
    bool WriteFile(const std::string& path, const std::string& text, mode_t mode);

    std::string m_path;
    RegistryDocument m_document;
    // The version of the file the document was read from; none forces the next read.
    std::optional<Stamps> m_stamp;
    // The secrets exist but this process may not read them: it must not write the store.
    bool m_secretsHidden = false;
    // The store file still holds secrets (written before they were kept apart): the next write
    // moves them.
    bool m_storeHoldsSecrets = false;
    int m_lockWaitMs = kDefaultLockWaitMs;
    std::uint64_t m_writesDone = 0;

    EventLoop* m_loop = nullptr;
    std::vector<Change> m_pending;
    bool m_flushPosted = false;
    // Tells a posted write whether the store still exists.
    std::shared_ptr<int> m_life = std::make_shared<int>(0);
};

}  // namespace ko
