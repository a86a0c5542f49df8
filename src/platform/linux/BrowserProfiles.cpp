#include "platform/linux/BrowserProfiles.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include "platform/linux/UniqueFd.h"

namespace ko {

namespace {

// The user-data folders of the Chromium family, below the config folder; their caches sit in
// folders of the same names below the cache folder.
constexpr const char* kChromiumFolders[] = {"chromium", "google-chrome"};

bool IsFile(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

bool IsRealDirectory(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

std::string Trim(const std::string& text) {
    std::size_t first = text.find_first_not_of(" \t\r");
    std::size_t last = text.find_last_not_of(" \t\r");
    return first == std::string::npos ? std::string() : text.substr(first, last - first + 1);
}

// A relative profile path that climbs out ("..") or names the folder itself would point the
// clean-up at folders that are no profile's.
bool LeavesItsFolder(const std::string& path) {
    if (path.empty() || path == "." || path[0] == '/') {
        return true;
    }
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find('/', start);
        if (end == std::string::npos) {
            end = path.size();
        }
        if (path.compare(start, end - start, "..") == 0) {
            return true;
        }
        start = end + 1;
    }
    return false;
}

std::string HostName() {
    char name[HOST_NAME_MAX + 1] = {};
    if (::gethostname(name, sizeof name - 1) != 0) {
        return {};
    }
    return name;
}

bool ProcessAlive(long pid) {
    if (pid <= 0 || pid > INT_MAX) {
        return false;
    }
    return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

// A lock link "host" + separator + pid: held when made on this machine by a living process, or
// when that cannot be told (another machine sharing the home folder, an unreadable text).
bool LockLinkHeld(const std::string& link, const std::string& separator) {
    char target[PATH_MAX] = {};
    ssize_t length = ::readlink(link.c_str(), target, sizeof target - 1);
    if (length < 0) {
        return errno != ENOENT;
    }
    std::string text(target, static_cast<std::size_t>(length));
    std::size_t split = text.rfind(separator);
    if (split == std::string::npos) {
        return true;
    }
    std::string host = text.substr(0, split);
    std::string pidText = text.substr(split + separator.size());
    char* end = nullptr;
    long pid = std::strtol(pidText.c_str(), &end, 10);
    if (pidText.empty() || end == nullptr || *end != '\0' || host != HostName()) {
        return true;
    }
    return ProcessAlive(pid);
}

std::vector<BrowserProfile> FindFirefox(const BrowserProfiles::Folders& folders) {
    std::vector<BrowserProfile> profiles;
    const std::string root = folders.home + "/.mozilla/firefox";
    std::ifstream ini(root + "/profiles.ini");
    std::string line;
    bool inProfile = false;
    std::string path;
    bool relative = true;
    auto flush = [&] {
        if (inProfile && !path.empty()) {
            BrowserProfile profile;
            profile.browser = BrowserProfile::Browser::Firefox;
            if (relative && !LeavesItsFolder(path)) {
                profile.base = root;
                profile.relative = path;
                profile.cacheRelative = "mozilla/firefox/" + path;
            } else if (path.size() > 1 && path[0] == '/') {
                profile.base = "/";
                profile.relative = path.substr(1);
            }
            if (!profile.base.empty() && IsRealDirectory(profile.Path())) {
                profile.inUse = BrowserProfiles::FirefoxInUse(profile.Path());
                profiles.push_back(profile);
            }
        }
        path.clear();
        relative = true;
    };
    while (std::getline(ini, line)) {
        line = Trim(line);
        if (!line.empty() && line[0] == '[') {
            flush();
            inProfile = line.rfind("[Profile", 0) == 0;
        } else if (line.rfind("Path=", 0) == 0) {
            path = line.substr(5);
        } else if (line.rfind("IsRelative=", 0) == 0) {
            relative = line.substr(11) != "0";
        }
    }
    flush();
    return profiles;
}

std::vector<BrowserProfile> FindChromium(const BrowserProfiles::Folders& folders) {
    std::vector<BrowserProfile> profiles;
    for (const char* browserFolder : kChromiumFolders) {
        const std::string userData = folders.config + "/" + browserFolder;
        DIR* dir = ::opendir(userData.c_str());
        if (dir == nullptr) {
            continue;
        }
        const bool inUse = BrowserProfiles::ChromiumInUse(userData);
        while (dirent* entry = ::readdir(dir)) {
            const std::string name = entry->d_name;
            if (name == "." || name == ".." || !IsRealDirectory(userData + "/" + name)) {
                continue;
            }
            if (!IsFile(userData + "/" + name + "/Preferences") &&
                !IsFile(userData + "/" + name + "/History")) {
                continue;
            }
            BrowserProfile profile;
            profile.browser = BrowserProfile::Browser::Chromium;
            profile.base = folders.config;
            profile.relative = std::string(browserFolder) + "/" + name;
            profile.cacheRelative = profile.relative;
            profile.inUse = inUse;
            profiles.push_back(profile);
        }
        ::closedir(dir);
    }
    return profiles;
}

}  // namespace

BrowserProfiles::Folders BrowserProfiles::SessionFolders() {
    Folders folders;
    const char* home = std::getenv("HOME");
    folders.home = home != nullptr ? home : "";
    const char* config = std::getenv("XDG_CONFIG_HOME");
    const char* cache = std::getenv("XDG_CACHE_HOME");
    // Relative XDG folders are invalid and ignored.
    folders.config = config != nullptr && config[0] == '/' ? config : folders.home + "/.config";
    folders.cache = cache != nullptr && cache[0] == '/' ? cache : folders.home + "/.cache";
    return folders;
}

std::vector<BrowserProfile> BrowserProfiles::Find(const Folders& folders) {
    if (folders.home.empty()) {
        return {};
    }
    std::vector<BrowserProfile> profiles = FindFirefox(folders);
    std::vector<BrowserProfile> chromium = FindChromium(folders);
    profiles.insert(profiles.end(), chromium.begin(), chromium.end());
    return profiles;
}

bool BrowserProfiles::FirefoxInUse(const std::string& profile) {
    if (LockLinkHeld(profile + "/lock", ":+")) {
        return true;
    }
    // Firefox also holds a POSIX lock on ".parentlock" while it runs.
    UniqueFd parentLock(
        ::open((profile + "/.parentlock").c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    if (!parentLock) {
        return false;
    }
    struct flock probe {};
    probe.l_type = F_RDLCK;
    probe.l_whence = SEEK_SET;
    if (::fcntl(parentLock.Get(), F_GETLK, &probe) != 0) {
        return false;
    }
    return probe.l_type != F_UNLCK;
}

bool BrowserProfiles::ChromiumInUse(const std::string& userData) {
    return LockLinkHeld(userData + "/SingletonLock", "-");
}

}  // namespace ko
