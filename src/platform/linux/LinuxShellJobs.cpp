#include "platform/linux/LinuxShellJobs.h"

#include <utility>

#include "platform/EventLoop.h"
#include "platform/linux/FileRemover.h"
#include "platform/linux/FirefoxPlaces.h"
#include "platform/linux/LinuxDirectoryListing.h"
#include "platform/linux/MountTable.h"
#include "shared/Logger.h"

namespace ko {

namespace {

// Chromium's record of visited addresses; its bookmarks ("Bookmarks"), cookies ("Cookies") and
// passwords live in other files.
constexpr const char* kChromiumHistoryFiles[] = {
    "History",          "History-journal",          "History-wal",   "History-shm",
    "Archived History", "Archived History-journal", "Visited Links",
};

// Splits "a/b/c" into "a/b" and "c".
std::pair<std::string, std::string> SplitLast(const std::string& relative) {
    std::size_t slash = relative.rfind('/');
    if (slash == std::string::npos) {
        return {"", relative};
    }
    return {relative.substr(0, slash), relative.substr(slash + 1)};
}

void RemoveFolderBelow(FileRemover& remover, const std::string& base, const std::string& relative) {
    auto [parent, leaf] = SplitLast(relative);
    UniqueFd parentFd = FileRemover::OpenDirectoryBelow(base, parent);
    if (!parentFd) {
        return;  // no such cache, or a link on the way
    }
    remover.RemoveTree(parentFd.Get(), leaf, base + "/" + relative);
}

bool Skipped(const BrowserProfile& profile) {
    if (profile.inUse) {
        Logger::Info("browser profile in use, left alone: " + profile.Path());
    }
    return profile.inUse;
}

}  // namespace

LinuxShellJobs::LinuxShellJobs(EventLoop& loop)
    : LinuxShellJobs(loop, BrowserProfiles::SessionFolders(), FileRemover::DryRunRequested()) {}

LinuxShellJobs::LinuxShellJobs(EventLoop& loop, BrowserProfiles::Folders folders, bool dryRun)
    : m_loop(loop), m_folders(std::move(folders)), m_dryRun(dryRun), m_launcher(loop) {}

void LinuxShellJobs::DeleteUrlCache(Done done) {
    FileRemover remover(m_dryRun);
    for (const BrowserProfile& profile : BrowserProfiles::Find(m_folders)) {
        if (Skipped(profile)) {
            continue;
        }
        if (!profile.cacheRelative.empty()) {
            RemoveFolderBelow(remover, m_folders.cache, profile.cacheRelative);
        }
        if (profile.browser == BrowserProfile::Browser::Firefox) {
            // A profile outside the usual folder keeps its cache inside.
            RemoveFolderBelow(remover, profile.base, profile.relative + "/cache2");
        }
    }
    m_loop.Post(std::move(done));
}

void LinuxShellJobs::ClearUrlHistory(Done done) {
    FileRemover remover(m_dryRun);
    for (const BrowserProfile& profile : BrowserProfiles::Find(m_folders)) {
        if (Skipped(profile)) {
            continue;
        }
        UniqueFd folder = FileRemover::OpenDirectoryBelow(profile.base, profile.relative);
        if (!folder) {
            Logger::Debug("cannot open the profile " + profile.Path());
            continue;
        }
        if (profile.browser == BrowserProfile::Browser::Chromium) {
            for (const char* name : kChromiumHistoryFiles) {
                remover.RemoveFile(folder.Get(), name, profile.Path() + "/" + name);
            }
        } else if (!FirefoxPlaces::ClearHistory(profile.Path() + "/places.sqlite", m_dryRun)) {
            Logger::Debug("the history of " + profile.Path() + " stays");
        }
    }
    m_loop.Post(std::move(done));
}

bool LinuxShellJobs::Run(const std::string& command) {
    return m_launcher.Run(command);
}

std::vector<std::string> LinuxShellJobs::FixedDriveRoots() {
    return MountTable::FixedDiskRoots();
}

std::unique_ptr<DirectoryListing> LinuxShellJobs::OpenDirectory(const std::string& directory) {
    return OpenLinuxDirectory(directory);
}

}  // namespace ko
