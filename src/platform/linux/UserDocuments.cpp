#include "platform/linux/UserDocuments.h"

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/fsuid.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "platform/linux/UniqueFd.h"
#include "shared/Logger.h"

namespace ko {

namespace {

constexpr std::size_t kMaxUserDirsSize = 64 * 1024;

// The parts of an absolute path; nothing when one of them is "..", which could climb out.
std::optional<std::vector<std::string>> SplitAbsolute(const std::string& path) {
    if (path.empty() || path.front() != '/') {
        return std::nullopt;
    }
    std::vector<std::string> parts;
    std::size_t start = 1;
    while (start <= path.size()) {
        std::size_t end = path.find('/', start);
        if (end == std::string::npos) {
            end = path.size();
        }
        const std::string part = path.substr(start, end - start);
        if (part == "..") {
            return std::nullopt;
        }
        if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        start = end + 1;
    }
    return parts;
}

std::string Join(const std::vector<std::string>& parts) {
    std::string path;
    for (const auto& part : parts) {
        path += "/" + part;
    }
    return path.empty() ? "/" : path;
}

// The parts of folder below home, when folder lies strictly inside it.
std::optional<std::vector<std::string>> PartsBelow(const std::string& home,
                                                   const std::string& folder) {
    const auto homeParts = SplitAbsolute(home);
    const auto folderParts = SplitAbsolute(folder);
    if (!homeParts || !folderParts || folderParts->size() <= homeParts->size() ||
        !std::equal(homeParts->begin(), homeParts->end(), folderParts->begin())) {
        return std::nullopt;
    }
    return std::vector<std::string>(folderParts->begin() + static_cast<long>(homeParts->size()),
                                    folderParts->end());
}

// The value of a shell-style assignment in user-dirs.dirs: quotes removed, backslash escapes
// resolved.
std::string Unquote(const std::string& text) {
    std::string value;
    bool quoted = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '"') {
            quoted = !quoted;
        } else if (c == '\\' && i + 1 < text.size()) {
            value += text[++i];
        } else if (!quoted && (c == ' ' || c == '\t' || c == '#')) {
            break;
        } else {
            value += c;
        }
    }
    return value;
}

// Opens the folder below the home one step at a time, never following a link.
UniqueFd OpenBelowHome(const std::string& home, const std::vector<std::string>& parts) {
    UniqueFd current(::open(home.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    for (const auto& part : parts) {
        if (!current) {
            break;
        }
        current = UniqueFd(
            ::openat(current.Get(), part.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    }
    return current;
}

}  // namespace

bool UserDocuments::IsValidAccountName(const std::string& name) {
    if (name.empty() || name.size() > 32 || name.front() == '-' || name.front() == '.') {
        return false;
    }
    return std::all_of(name.begin(), name.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
               c == '.' || c == '_' || c == '-';
    });
}

std::optional<LocalAccount> UserDocuments::LookUp(const std::string& name) {
    if (!IsValidAccountName(name)) {
        return std::nullopt;
    }
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwnam_r(name.c_str(), &entry, buffer.data(), buffer.size(), &found) != 0 ||
        found == nullptr) {
        return std::nullopt;
    }
    return LocalAccount{found->pw_name, found->pw_uid, found->pw_gid,
                        found->pw_dir != nullptr ? found->pw_dir : ""};
}

std::optional<std::string> UserDocuments::FolderFromUserDirs(const std::string& home,
                                                             const std::string& userDirsText) {
    std::string folder = home + "/Documents";
    std::size_t start = 0;
    while (start < userDirsText.size()) {
        std::size_t end = userDirsText.find('\n', start);
        if (end == std::string::npos) {
            end = userDirsText.size();
        }
        std::string line = userDirsText.substr(start, end - start);
        start = end + 1;
        const std::size_t first = line.find_first_not_of(" \t");
        if (first == std::string::npos) {
            continue;
        }
        line.erase(0, first);
        const std::string key = "XDG_DOCUMENTS_DIR=";
        if (line.compare(0, key.size(), key) != 0) {
            continue;
        }
        const std::string value = Unquote(line.substr(key.size()));
        if (value.compare(0, 5, "$HOME") == 0 && (value.size() == 5 || value[5] == '/')) {
            folder = home + value.substr(5);
        } else if (!value.empty() && value.front() == '/') {
            folder = value;
        } else {
            return std::nullopt;  // a form the file does not allow
        }
    }
    const auto parts = PartsBelow(home, folder);
    if (!parts) {
        return std::nullopt;
    }
    return Join(*SplitAbsolute(home)) + Join(*parts);
}

std::optional<std::string> UserDocuments::Folder(const LocalAccount& account) {
    FileAccessAs as(account.uid, account.gid);
    if (!as.Active()) {
        return std::nullopt;
    }
    std::string text;
    UniqueFd config = OpenBelowHome(account.home, {".config"});
    if (config) {
        UniqueFd file(::openat(config.Get(), "user-dirs.dirs", O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
        char buffer[4096];
        while (file && text.size() < kMaxUserDirsSize) {
            const ssize_t count = ::read(file.Get(), buffer, sizeof(buffer));
            if (count <= 0) {
                break;
            }
            text.append(buffer, static_cast<std::size_t>(count));
        }
    }
    return FolderFromUserDirs(account.home, text);
}

DocumentsDeletion UserDocuments::Delete(const LocalAccount& account, const std::string& folder,
                                        bool dryRun) {
    DocumentsDeletion deletion;
    deletion.folder = folder;
    const auto parts = PartsBelow(account.home, folder);
    if (!parts) {
        Logger::Info("documents folder " + folder + " is not inside " + account.home);
        return deletion;
    }
    FileAccessAs as(account.uid, account.gid);
    if (!as.Active()) {
        return deletion;
    }
    UniqueFd dir = OpenBelowHome(account.home, *parts);
    if (!dir) {
        Logger::Debug("documents folder " + folder + ": " + std::strerror(errno));
        return deletion;
    }
    std::vector<std::string> names;
    {
        DIR* listing = ::fdopendir(::dup(dir.Get()));
        if (listing == nullptr) {
            return deletion;
        }
        ::rewinddir(listing);
        while (const dirent* entry = ::readdir(listing)) {
            if (entry->d_name[0] != '.') {
                names.emplace_back(entry->d_name);
            }
        }
        ::closedir(listing);
    }
    std::sort(names.begin(), names.end());
    for (const auto& name : names) {
        struct stat status {};
        if (::fstatat(dir.Get(), name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0) {
            continue;  // gone meanwhile
        }
        // A link goes itself; what it points to is never touched. Folders and devices stay.
        if (!S_ISREG(status.st_mode) && !S_ISLNK(status.st_mode)) {
            continue;
        }
        if (dryRun) {
            deletion.deleted.push_back(name);
            continue;
        }
        // Without AT_REMOVEDIR a folder swapped in meanwhile is refused.
        if (::unlinkat(dir.Get(), name.c_str(), 0) == 0) {
            deletion.deleted.push_back(name);
        } else {
            deletion.failed.push_back(name);
        }
    }
    deletion.result = dryRun ? ActionResult::DryRun : ActionResult::Done;
    if (dryRun) {
        Logger::Info("dry run: would delete " + std::to_string(deletion.deleted.size()) +
                     " files of " + folder);
    }
    return deletion;
}

FileAccessAs::FileAccessAs(uid_t uid, gid_t gid)
    : m_oldUid(static_cast<uid_t>(::setfsuid(static_cast<uid_t>(-1)))),
      m_oldGid(static_cast<gid_t>(::setfsgid(static_cast<gid_t>(-1)))) {
    // setfsuid reports no error: it answers the previous value, so a second call tells whether
    // the first one took.
    ::setfsgid(gid);
    ::setfsuid(uid);
    m_active =
        static_cast<uid_t>(::setfsuid(uid)) == uid && static_cast<gid_t>(::setfsgid(gid)) == gid;
    if (!m_active) {
        ::setfsuid(m_oldUid);
        ::setfsgid(m_oldGid);
    }
}

FileAccessAs::~FileAccessAs() {
    if (m_active) {
        ::setfsuid(m_oldUid);
        ::setfsgid(m_oldGid);
    }
}

}  // namespace ko
