#pragma once

#include <sys/types.h>
#include <optional>
#include <string>

#include "platform/UserSession.h"

namespace ko {

// A Linux account as the password database knows it.
struct LocalAccount {
    std::string name;
    uid_t uid = 0;
    gid_t gid = 0;
    std::string home;
};

// The documents folder of a Linux user and its clean-up, done as that user and only inside the
// user's home.
class UserDocuments {
  public:
    // True for a name that may be passed to the system as an account (letters, digits, ".", "_",
    // "-", not starting with "-" or ".", at most 32 characters).
    static bool IsValidAccountName(const std::string& name);
    static std::optional<LocalAccount> LookUp(const std::string& name);

    // The documents folder from the text of the user's "user-dirs.dirs" (XDG_DOCUMENTS_DIR,
    // "$HOME/..." or absolute); without an entry "<home>/Documents". Nothing when the entry
    // names the home itself, or a place outside it, or climbs with "..": those are not a
    // documents folder that may be emptied.
    static std::optional<std::string> FolderFromUserDirs(const std::string& home,
                                                         const std::string& userDirsText);
    // Reads "<home>/.config/user-dirs.dirs" as the account (no link followed) and resolves it.
    static std::optional<std::string> Folder(const LocalAccount& account);

    // Deletes the plain files and links at the top of the folder as the account: never a
    // folder, a name starting with ".", or anything reached through a link; the folder must lie
    // strictly inside the home, and every step from the home down is opened without following
    // links. A file that cannot go is listed in failed; the others still go. With dryRun it
    // lists and deletes nothing.
    static DocumentsDeletion Delete(const LocalAccount& account, const std::string& folder,
                                    bool dryRun);
};

// Switches file access to another account (setfsuid, setfsgid) until it ends. Only the calling
// thread changes, and only for file access; nothing else of the process does.
class FileAccessAs : public ImpersonationScope {
  public:
    FileAccessAs(uid_t uid, gid_t gid);
    ~FileAccessAs() override;
    FileAccessAs(const FileAccessAs&) = delete;
    FileAccessAs& operator=(const FileAccessAs&) = delete;
    bool Active() const { return m_active; }

  private:
    uid_t m_oldUid;
    gid_t m_oldGid;
    bool m_active = false;
};

}  // namespace ko
