#pragma once

#include <sys/types.h>

#include <string>

#include "platform/RegistryPrimitives.h"
#include "platform/linux/RegistryDocument.h"

namespace ko {

// The registry on Linux: one REGEDIT4 text file shared by both programs. Every operation first
// re-reads the file if another program replaced it. A change is made under an exclusive flock on
// "<path>.lock", written to "<path>.new", synced and renamed over the store, so a crash or a
// concurrent reader never sees a half-written file; readers hold a shared lock while they read.
class RegistryFileStore : public RegistryPrimitives {
  public:
    explicit RegistryFileStore(std::string path);

    // $OSTREL_REGISTRY; else /var/lib/ostrel/registry.reg for root; else
    // $XDG_STATE_HOME/ostrel/registry.reg (by default under ~/.local/state).
    static std::string DefaultPath();

    std::optional<RegData> QueryValue(RegRoot root, const std::string& path,
                                      const std::string& name) override;
    bool SetValue(RegRoot root, const std::string& path, const std::string& name,
                  const RegData& data) override;
    // The class string has no place in the REGEDIT4 format and is not kept.
    bool CreateKey(RegRoot root, const std::string& path, const std::string& className) override;
    bool DeleteKey(RegRoot root, const std::string& path) override;
    bool DeleteValue(RegRoot root, const std::string& path, const std::string& name) override;

    // Linux has no per-user hive files to load: every user's keys live in this one store.
    long LoadKey(RegRoot root, const std::string& subKey, const std::string& file) override;
    long UnloadKey(RegRoot root, const std::string& subKey) override;
    // There are no hive privileges to enable, so both report that nothing was done.
    bool EnableHivePrivileges() override { return false; }
    bool DropPrivileges() override { return false; }

    const std::string& Path() const { return m_path; }

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

    // Re-reads the file under a shared lock when it changed.
    void Refresh();
    // Loads the file when its stamp differs from the one in memory (the caller holds a lock).
    bool LoadIfChanged();
    // Runs change on a copy of the current content under the exclusive lock and, when it
    // succeeds and changed something, replaces the file. False when change refuses or the
    // file cannot be written (the store is then unchanged).
    template <typename Change>
    bool Modify(Change change);
    bool WriteFile(const std::string& text);

    std::string m_path;
    RegistryDocument m_document;
    Stamp m_stamp;
};

}  // namespace ko
