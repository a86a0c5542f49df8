#include "platform/linux/FileRemover.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "shared/Logger.h"

namespace ko {

namespace {

// Cache folders are a few levels deep; a deeper tree is left for the next clean-up rather than
// running out of descriptors.
constexpr int kMaxDepth = 32;

UniqueFd OpenChild(int parent, const char* name) {
    return UniqueFd(::openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
}

// Only an entry of the directory itself: never the directory, its parent or a path further on.
bool IsEntryName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos;
}

}  // namespace

bool FileRemover::DryRunRequested() {
    const char* value = std::getenv("OSTREL_DRY_RUN");
    return value != nullptr && value[0] != '\0' && std::strcmp(value, "0") != 0;
}

UniqueFd FileRemover::OpenDirectoryBelow(const std::string& base, const std::string& relative) {
    UniqueFd current(::open(base.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    std::size_t start = 0;
    while (current && start <= relative.size()) {
        std::size_t end = relative.find('/', start);
        if (end == std::string::npos) {
            end = relative.size();
        }
        const std::string part = relative.substr(start, end - start);
        start = end + 1;
        if (part.empty() || part == ".") {
            continue;
        }
        if (part == "..") {
            return UniqueFd();
        }
        current = OpenChild(current.Get(), part.c_str());
    }
    return current;
}

bool FileRemover::RemoveFile(int parent, const std::string& name, const std::string& shownPath) {
    if (!IsEntryName(name)) {
        return false;
    }
    struct stat info {};
    if (::fstatat(parent, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
        return errno == ENOENT;
    }
    if (S_ISDIR(info.st_mode)) {
        Logger::Debug("not a file, left alone: " + shownPath);
        return false;
    }
    if (m_dryRun) {
        Logger::Info("dry run: would delete " + shownPath);
        return true;
    }
    // unlink removes a link itself, never what it points to.
    if (::unlinkat(parent, name.c_str(), 0) != 0) {
        Logger::Debug("could not delete " + shownPath + ": " + std::strerror(errno));
        return false;
    }
    return true;
}

bool FileRemover::RemoveTree(int parent, const std::string& name, const std::string& shownPath) {
    if (!IsEntryName(name)) {
        Logger::Debug("not a name of its own, left alone: " + shownPath);
        return false;
    }
    struct stat info {};
    if (::fstatat(parent, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
        return errno == ENOENT;
    }
    if (!S_ISDIR(info.st_mode)) {
        return RemoveFile(parent, name, shownPath);
    }
    if (m_dryRun) {
        Logger::Info("dry run: would delete the folder " + shownPath);
        return true;
    }
    UniqueFd directory = OpenChild(parent, name.c_str());
    bool emptied = directory && RemoveContents(directory.Get(), info.st_dev, 0);
    directory.Reset();
    if (!emptied || ::unlinkat(parent, name.c_str(), AT_REMOVEDIR) != 0) {
        Logger::Debug("could not delete all of " + shownPath);
        return false;
    }
    return true;
}

bool FileRemover::RemoveContents(int directory, dev_t device, int depth) {
    if (depth > kMaxDepth) {
        return false;
    }
    // Names are read first: deleting while reading may make readdir skip entries.
    std::vector<std::string> names;
    {
        int copy = ::dup(directory);
        DIR* dir = copy >= 0 ? ::fdopendir(copy) : nullptr;
        if (dir == nullptr) {
            if (copy >= 0) {
                ::close(copy);
            }
            return false;
        }
        while (dirent* entry = ::readdir(dir)) {
            if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0) {
                names.emplace_back(entry->d_name);
            }
        }
        ::closedir(dir);
    }
    bool all = true;
    for (const std::string& name : names) {
        struct stat info {};
        if (::fstatat(directory, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
            continue;
        }
        if (S_ISDIR(info.st_mode)) {
            UniqueFd child = OpenChild(directory, name.c_str());
            if (info.st_dev != device || !child ||
                !RemoveContents(child.Get(), device, depth + 1) ||
                ::unlinkat(directory, name.c_str(), AT_REMOVEDIR) != 0) {
                all = false;
            }
        } else if (::unlinkat(directory, name.c_str(), 0) != 0) {
            all = false;
        }
    }
    return all;
}

}  // namespace ko
