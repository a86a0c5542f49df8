#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "platform/ShellJobs.h"
#include "platform/linux/BrowserProfiles.h"
#include "platform/linux/ProgramLauncher.h"

namespace ko {

class EventLoop;

// The shell jobs on Linux, run as the session user on the files of the session's browsers: the
// cache folders of every Firefox and Chromium profile, Chromium's history files and the visits
// in Firefox's places database. A profile its browser holds open is left alone (the browser
// would write it back or be corrupted under its feet). Cookies and bookmarks always stay.
class LinuxShellJobs : public ShellJobs {
  public:
    // folders defaults to the session's own (HOME, XDG_CONFIG_HOME, XDG_CACHE_HOME); dryRun to
    // OSTREL_DRY_RUN.
    explicit LinuxShellJobs(EventLoop& loop);
    LinuxShellJobs(EventLoop& loop, BrowserProfiles::Folders folders, bool dryRun);
    ~LinuxShellJobs() override { *m_alive = false; }
    LinuxShellJobs(const LinuxShellJobs&) = delete;
    LinuxShellJobs& operator=(const LinuxShellJobs&) = delete;

    void DeleteUrlCache(Done done) override;
    void ClearUrlHistory(Done done) override;
    bool Run(const std::string& command) override;
    std::vector<std::string> FixedDriveRoots() override;
    std::unique_ptr<DirectoryListing> OpenDirectory(const std::string& directory) override;

    const ProgramLauncher& Launcher() const { return m_launcher; }

    // Entries deleted in one loop turn: a large cache folder goes over many turns.
    static constexpr std::size_t kEntriesPerTurn = 256;

  private:
    // What is left of one profile's work: each call does one bounded slice, true once finished.
    using Slices = std::function<bool()>;
    // Runs work for every profile its browser does not hold, one profile a loop turn, then done.
    // Work may leave slices that run one a turn before the next profile.
    using ProfileWork = std::function<Slices(const BrowserProfile&)>;
    void EachProfile(Done done, ProfileWork work);
    void NextProfile(std::shared_ptr<std::vector<BrowserProfile>> profiles, std::size_t next,
                     ProfileWork work, Done done, Slices slices);

    EventLoop& m_loop;
    BrowserProfiles::Folders m_folders;
    bool m_dryRun;
    ProgramLauncher m_launcher;
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
};

}  // namespace ko
