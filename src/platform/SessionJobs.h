#pragma once

#include <deque>
#include <functional>
#include <memory>
#include <string>

#include "platform/FileSearch.h"
#include "platform/ShellJobs.h"

namespace ko {

class EventLoop;

// The clean-up and launch jobs the agent hands to the watcher. A job is queued by the message
// handler and runs from the loop after the handler has returned, so the agent's synchronous send
// never waits for a cache deletion or a disk search. Jobs start one after another in the order
// they were queued; none reports success or failure to the agent (failures are logged). A program
// that has to be searched for on the disks is searched for beside the queue: a walk of every disk
// may take minutes, and the log-off's history clearing must not wait for it (the session could
// end first and leave one customer's history to the next). Searches run one at a time, in order.
class SessionJobs {
  public:
    // The full path the agent recorded for a program's file name ("AppPath"), or empty.
    using AppPathLookup = std::function<std::string(const std::string& fileName)>;

    SessionJobs(EventLoop& loop, ShellJobs& shell, AppPathLookup appPath);
    ~SessionJobs();
    SessionJobs(const SessionJobs&) = delete;
    SessionJobs& operator=(const SessionJobs&) = delete;

    void DeleteUrlCache();
    void ClearUrlHistory();
    // Runs command; when it does not start, runs the program recorded for it in "AppPath", else
    // the first file of that name on a fixed disk. An empty command is ignored.
    void KoRunScript(const std::string& command);

    // True while no job is running or queued.
    bool Idle() const { return !m_running && m_queue.empty() && m_searches.empty(); }

  private:
    using Job = std::function<void()>;

    void Queue(Job job);
    void PostNext();
    void StartNext();
    void JobDone();
    void RunScript(const std::string& command);
    // Finds fileName on the fixed disks, across loop turns.
    void FindFileOnFixedDrives(const std::string& fileName, FileSearch::Completion done);
    // Starts the first waiting search, and runs what it finds.
    void StartSearch();

    EventLoop& m_loop;
    ShellJobs& m_shell;
    AppPathLookup m_appPath;
    FileSearch m_search;
    std::deque<Job> m_queue;
    // Program names waiting for (or in) the disk search; the first is being searched for.
    std::deque<std::string> m_searches;
    bool m_running = false;
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
};

}  // namespace ko
