#include "platform/linux/FileRemover.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <utility>
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

bool FileRemover::RemoveFile(int parent, const std::string& name,
                             const std::string& shownPath) const {
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

FileRemover::TreeRemoval::TreeRemoval(const FileRemover& remover, UniqueFd parent, std::string name,
                                      std::string shownPath)
    : m_remover(remover),
      m_parent(std::move(parent)),
      m_name(std::move(name)),
      m_shownPath(std::move(shownPath)) {}

void FileRemover::TreeRemoval::Finish(bool removed) {
    m_finished = true;
    m_allRemoved = m_allRemoved && removed;
    m_levels.clear();
}

void FileRemover::TreeRemoval::Start() {
    m_started = true;
    if (!m_parent || !IsEntryName(m_name)) {
        Logger::Debug("not a name of its own, left alone: " + m_shownPath);
        Finish(false);
        return;
    }
    struct stat info {};
    if (::fstatat(m_parent.Get(), m_name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
        Finish(errno == ENOENT);
        return;
    }
    if (!S_ISDIR(info.st_mode)) {
        Finish(m_remover.RemoveFile(m_parent.Get(), m_name, m_shownPath));
        return;
    }
    if (m_remover.DryRun()) {
        Logger::Info("dry run: would delete the folder " + m_shownPath);
        Finish(true);
        return;
    }
    m_device = info.st_dev;
    if (!Enter(m_parent.Get(), m_name)) {
        Logger::Debug("could not delete all of " + m_shownPath);
        Finish(false);
    }
}

bool FileRemover::TreeRemoval::Enter(int parent, const std::string& name) {
    if (static_cast<int>(m_levels.size()) > kMaxDepth) {
        return false;
    }
    Level level;
    level.fd = OpenChild(parent, name.c_str());
    level.name = name;
    if (!level.fd) {
        return false;
    }
    // Names are read first: deleting while reading may make readdir skip entries.
    const int copy = ::dup(level.fd.Get());
    DIR* dir = copy >= 0 ? ::fdopendir(copy) : nullptr;
    if (dir == nullptr) {
        if (copy >= 0) {
            ::close(copy);
        }
        return false;
    }
    while (dirent* entry = ::readdir(dir)) {
        if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0) {
            level.names.emplace_back(entry->d_name);
        }
    }
    ::closedir(dir);
    m_levels.push_back(std::move(level));
    return true;
}

bool FileRemover::TreeRemoval::Step(std::size_t budget) {
    if (!m_started) {
        Start();
    }
    while (!m_finished && budget > 0) {
        --budget;
        Level& level = m_levels.back();
        if (level.next == level.names.size()) {
            // Emptied (as far as it goes): the folder itself goes from the one above.
            const std::string name = level.name;
            m_levels.pop_back();
            const int above = m_levels.empty() ? m_parent.Get() : m_levels.back().fd.Get();
            const bool removed = ::unlinkat(above, name.c_str(), AT_REMOVEDIR) == 0;
            m_allRemoved = m_allRemoved && removed;
            if (m_levels.empty()) {
                if (!m_allRemoved) {
                    Logger::Debug("could not delete all of " + m_shownPath);
                }
                Finish(removed);
            }
            continue;
        }
        // A copy: entering a folder below moves the levels.
        const std::string name = level.names[level.next++];
        struct stat info {};
        if (::fstatat(level.fd.Get(), name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
            continue;
        }
        if (!S_ISDIR(info.st_mode)) {
            // A link goes as a link.
            m_allRemoved = ::unlinkat(level.fd.Get(), name.c_str(), 0) == 0 && m_allRemoved;
        } else if (info.st_dev != m_device || !Enter(level.fd.Get(), name)) {
            // Another file system mounted below, or a folder that cannot be read, stays.
            m_allRemoved = false;
        }
    }
    return m_finished;
}

}  // namespace ko
