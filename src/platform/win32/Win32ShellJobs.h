#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/ShellJobs.h"

namespace ko {

class EventLoop;

// The shell jobs on Windows, for the user whose session the watcher runs in: the browser's URL
// cache through WinINet, its history through the URL history store, programs through the script
// host's shell object, and the fixed drives through kernel32. The calling thread must have
// entered a COM apartment.
class Win32ShellJobs : public ShellJobs {
  public:
    // dryRun defaults to OSTREL_DRY_RUN.
    explicit Win32ShellJobs(EventLoop& loop);
    Win32ShellJobs(EventLoop& loop, bool dryRun);
    ~Win32ShellJobs() override;

    void DeleteUrlCache(Done done) override;
    void ClearUrlHistory(Done done) override;
    bool Run(const std::string& command) override;
    std::vector<std::string> FixedDriveRoots() override;
    std::unique_ptr<DirectoryListing> OpenDirectory(const std::string& directory) override;

    // The normal cache entries (pages, images, scripts; never cookies or history records), as
    // DeleteUrlCache finds them.
    static std::vector<std::string> NormalCacheEntries();

    // Cache entries deleted per loop turn.
    static constexpr std::size_t kDeletionsPerTurn = 200;

  private:
    void DeleteSome(std::shared_ptr<std::vector<std::string>> urls, std::size_t next, Done done);

    EventLoop& m_loop;
    bool m_dryRun;
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
};

}  // namespace ko
