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

// The removal of a folder below base, to be stepped; null when there is nothing to remove.
std::shared_ptr<FileRemover::TreeRemoval> FolderBelow(const FileRemover& remover,
                                                      const std::string& base,
                                                      const std::string& relative) {
    auto [parent, leaf] = SplitLast(relative);
    UniqueFd parentFd = FileRemover::OpenDirectoryBelow(base, parent);
    if (!parentFd) {
        return nullptr;  // no such cache, or a link on the way
    }
    return std::make_shared<FileRemover::TreeRemoval>(remover, std::move(parentFd), leaf,
                                                      base + "/" + relative);
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
    EachProfile(std::move(done), [this](const BrowserProfile& profile) -> Slices {
        auto remover = std::make_shared<FileRemover>(m_dryRun);
        std::vector<std::shared_ptr<FileRemover::TreeRemoval>> removals;
        if (!profile.cacheRelative.empty()) {
            removals.push_back(FolderBelow(*remover, m_folders.cache, profile.cacheRelative));
        }
        if (profile.browser == BrowserProfile::Browser::Firefox) {
            // A profile outside the usual folder keeps its cache inside.
            removals.push_back(FolderBelow(*remover, profile.base, profile.relative + "/cache2"));
        }
        return [remover, removals = std::move(removals)] {
            for (const auto& removal : removals) {
                if (removal && !removal->Finished()) {
                    removal->Step(kEntriesPerTurn);
                    return false;
                }
            }
            return true;
        };
    });
}

void LinuxShellJobs::ClearUrlHistory(Done done) {
    EachProfile(std::move(done), [this](const BrowserProfile& profile) -> Slices {
        UniqueFd folder = FileRemover::OpenDirectoryBelow(profile.base, profile.relative);
        if (!folder) {
            Logger::Debug("cannot open the profile " + profile.Path());
            return nullptr;
        }
        if (profile.browser == BrowserProfile::Browser::Chromium) {
            FileRemover remover(m_dryRun);
            for (const char* name : kChromiumHistoryFiles) {
                remover.RemoveFile(folder.Get(), name, profile.Path() + "/" + name);
            }
        } else if (!FirefoxPlaces::ClearHistory(profile.Path() + "/places.sqlite", m_dryRun)) {
            Logger::Debug("the history of " + profile.Path() + " stays");
        }
        return nullptr;
    });
}

void LinuxShellJobs::EachProfile(Done done, ProfileWork work) {
    auto profiles = std::make_shared<std::vector<BrowserProfile>>(BrowserProfiles::Find(m_folders));
    NextProfile(std::move(profiles), 0, std::move(work), std::move(done), nullptr);
}

void LinuxShellJobs::NextProfile(std::shared_ptr<std::vector<BrowserProfile>> profiles,
                                 std::size_t next, ProfileWork work, Done done, Slices slices) {
    // One profile, or one slice of a profile's work, a loop turn: the watcher answers the agent
    // and follows its browsers between them.
    m_loop.Post([this, alive = std::weak_ptr<bool>(m_alive), profiles = std::move(profiles), next,
                 work = std::move(work), done = std::move(done),
                 slices = std::move(slices)]() mutable {
        if (auto still = alive.lock(); !still || !*still) {
            return;
        }
        if (slices && !slices()) {
            NextProfile(std::move(profiles), next, std::move(work), std::move(done),
                        std::move(slices));
            return;
        }
        if (next >= profiles->size()) {
            done();
            return;
        }
        const BrowserProfile& profile = (*profiles)[next];
        Slices left = Skipped(profile) ? nullptr : work(profile);
        NextProfile(std::move(profiles), next + 1, std::move(work), std::move(done),
                    std::move(left));
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
