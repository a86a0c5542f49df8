#include "platform/linux/LinuxShellJobs.h"

#include <functional>
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
    EachProfile(std::move(done), [this](const BrowserProfile& profile) {
        FileRemover remover(m_dryRun);
        if (!profile.cacheRelative.empty()) {
            RemoveFolderBelow(remover, m_folders.cache, profile.cacheRelative);
        }
        if (profile.browser == BrowserProfile::Browser::Firefox) {
            // A profile outside the usual folder keeps its cache inside.
            RemoveFolderBelow(remover, profile.base, profile.relative + "/cache2");
        }
    });
}

void LinuxShellJobs::ClearUrlHistory(Done done) {
    EachProfile(std::move(done), [this](const BrowserProfile& profile) {
        UniqueFd folder = FileRemover::OpenDirectoryBelow(profile.base, profile.relative);
        if (!folder) {
            Logger::Debug("cannot open the profile " + profile.Path());
            return;
        }
        if (profile.browser == BrowserProfile::Browser::Chromium) {
            FileRemover remover(m_dryRun);
            for (const char* name : kChromiumHistoryFiles) {
                remover.RemoveFile(folder.Get(), name, profile.Path() + "/" + name);
            }
        } else if (!FirefoxPlaces::ClearHistory(profile.Path() + "/places.sqlite", m_dryRun)) {
            Logger::Debug("the history of " + profile.Path() + " stays");
        }
    });
}

void LinuxShellJobs::EachProfile(Done done, std::function<void(const BrowserProfile&)> work) {
    auto profiles = std::make_shared<std::vector<BrowserProfile>>(BrowserProfiles::Find(m_folders));
    NextProfile(std::move(profiles), 0, std::move(work), std::move(done));
}

void LinuxShellJobs::NextProfile(std::shared_ptr<std::vector<BrowserProfile>> profiles,
                                 std::size_t next, std::function<void(const BrowserProfile&)> work,
                                 Done done) {
    // One profile a loop turn: each turn's work is bounded by one profile's folders.
    m_loop.Post([this, alive = std::weak_ptr<bool>(m_alive), profiles = std::move(profiles), next,
                 work = std::move(work), done = std::move(done)]() mutable {
        if (auto still = alive.lock(); !still || !*still) {
            return;
        }
        if (next >= profiles->size()) {
            done();
            return;
        }
        const BrowserProfile& profile = (*profiles)[next];
        if (!Skipped(profile)) {
            work(profile);
        }
        NextProfile(std::move(profiles), next + 1, std::move(work), std::move(done));
    });
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
