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

  private:
    // Runs work for every profile its browser does not hold, one profile a loop turn, then done.
    void EachProfile(Done done, std::function<void(const BrowserProfile&)> work);
    void NextProfile(std::shared_ptr<std::vector<BrowserProfile>> profiles, std::size_t next,
                     std::function<void(const BrowserProfile&)> work, Done done);

    EventLoop& m_loop;
    BrowserProfiles::Folders m_folders;
    bool m_dryRun;
    ProgramLauncher m_launcher;
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
};

}  // namespace ko
