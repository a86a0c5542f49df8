#include "platform/SessionJobs.h"

#include <utility>

#include "platform/EventLoop.h"
#include "shared/Logger.h"

namespace ko {

namespace {

bool IsBlank(const std::string& text) {
    return text.find_first_not_of(" \t\r\n") == std::string::npos;
}

// A name with a folder in it can never equal the name of a file in a directory, so searching the
// disks for it would walk them all for nothing.
bool IsPlainFileName(const std::string& name) {
    return name.find_first_of("\\/") == std::string::npos;
}

}  // namespace

SessionJobs::SessionJobs(EventLoop& loop, ShellJobs& shell, AppPathLookup appPath)
    : m_loop(loop), m_shell(shell), m_appPath(std::move(appPath)), m_search(loop, shell) {}

SessionJobs::~SessionJobs() {
    *m_alive = false;
}

void SessionJobs::DeleteUrlCache() {
    Queue([this] {
        m_shell.DeleteUrlCache([this, alive = std::weak_ptr<bool>(m_alive)] {
            if (auto still = alive.lock(); still && *still) {
                JobDone();
            }
        });
    });
}

void SessionJobs::ClearUrlHistory() {
    Queue([this] {
        m_shell.ClearUrlHistory([this, alive = std::weak_ptr<bool>(m_alive)] {
            if (auto still = alive.lock(); still && *still) {
                JobDone();
            }
        });
    });
}

void SessionJobs::KoRunScript(const std::string& command) {
    if (IsBlank(command)) {
        Logger::Debug("KoRunScript: an empty command is ignored");
        return;
    }
    Queue([this, command] { RunScript(command); });
}

void SessionJobs::Queue(Job job) {
    m_queue.push_back(std::move(job));
    if (!m_running && m_queue.size() == 1) {
        // The caller is a message handler: the job starts once it has returned.
        PostNext();
    }
}

void SessionJobs::PostNext() {
    m_loop.Post([this, alive = std::weak_ptr<bool>(m_alive)] {
        if (auto still = alive.lock(); still && *still) {
            StartNext();
        }
    });
}

void SessionJobs::StartNext() {
    if (m_running || m_queue.empty()) {
        return;
    }
    Job job = std::move(m_queue.front());
    m_queue.pop_front();
    m_running = true;
    job();
}

void SessionJobs::JobDone() {
    m_running = false;
    // Each job gets a loop turn of its own, so a long start list never holds the loop.
    if (!m_queue.empty()) {
        PostNext();
    }
}

void SessionJobs::RunScript(const std::string& command) {
    if (m_shell.Run(command)) {
        JobDone();
        return;
    }
    std::string path = m_appPath ? m_appPath(command) : std::string();
    if (!path.empty()) {
        if (!m_shell.Run('"' + path + '"')) {
            Logger::Debug("KoRunScript: the recorded program did not start: " + path);
        }
        JobDone();
        return;
    }
    if (!IsPlainFileName(command)) {
        Logger::Debug("KoRunScript: nothing runs for " + command);
        JobDone();
        return;
    }
    m_searches.push_back(command);
    if (m_searches.size() == 1) {
        StartSearch();
    }
    JobDone();
}

void SessionJobs::StartSearch() {
    const std::string command = m_searches.front();
    FindFileOnFixedDrives(command, [this, command](const std::string& found) {
        if (found.empty()) {
            Logger::Debug("KoRunScript: no fixed disk holds " + command);
        } else if (!m_shell.Run('"' + found + '"')) {
            Logger::Debug("KoRunScript: the program found did not start: " + found);
        }
        m_searches.pop_front();
        if (!m_searches.empty()) {
            StartSearch();
        }
    });
}

void SessionJobs::FindFileOnFixedDrives(const std::string& fileName, FileSearch::Completion done) {
    m_search.Start(m_shell.FixedDriveRoots(), fileName, std::move(done));
}

}  // namespace ko
