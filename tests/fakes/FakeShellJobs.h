#pragma once

#include <cstddef>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/ShellJobs.h"

namespace ko {

class EventLoop;

// Records the shell jobs it is asked for and answers from a scripted disk: directories are
// declared with the entries they list, in the order they list them.
class FakeShellJobs : public ShellJobs {
  public:
    explicit FakeShellJobs(EventLoop& loop) : m_loop(loop) {}

    void DeleteUrlCache(Done done) override;
    void ClearUrlHistory(Done done) override;
    bool Run(const std::string& command) override;
    std::vector<std::string> FixedDriveRoots() override { return m_roots; }
    std::unique_ptr<DirectoryListing> OpenDirectory(const std::string& directory) override;

    // Scripting. A directory path ends with its separator, as the search forms it.
    void SetFixedDriveRoots(std::vector<std::string> roots) { m_roots = std::move(roots); }
    void AddEntry(const std::string& directory, const std::string& name,
                  DirectoryListing::Kind kind);
    // Commands for which Run answers true; every other command fails to start.
    void AllowRun(const std::string& command) { m_runnable.push_back(command); }
    // While held, DeleteUrlCache and ClearUrlHistory keep their completion until ReleaseJob().
    void HoldJobs(bool hold) { m_hold = hold; }
    void ReleaseJob();

    // What was asked, in order: "DeleteUrlCache", "ClearUrlHistory", "Run <command>".
    const std::vector<std::string>& Calls() const { return m_calls; }
    std::size_t DirectoriesOpened() const { return m_opened; }

  private:
    void Finish(Done done);

    EventLoop& m_loop;
    std::vector<std::string> m_roots;
    std::map<std::string, std::vector<DirectoryListing::Entry>> m_directories;
    std::vector<std::string> m_runnable;
    std::vector<std::string> m_calls;
    std::vector<Done> m_held;
    bool m_hold = false;
    std::size_t m_opened = 0;
};

}  // namespace ko
