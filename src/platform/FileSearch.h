#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/ShellJobs.h"

namespace ko {

class EventLoop;

// Finds a file by name on whole disks without holding the loop: each loop turn reads a bounded
// number of directory entries, then posts the rest of the walk behind whatever else is pending.
// The walk is depth first (a sub-directory is searched completely when the walk reaches it) and
// the first match in that order wins. It never descends into links, reparse points or other
// mounts, nor into directories whose names begin with ".".
class FileSearch {
  public:
    // Gets the directory + the name as stored on disk, or an empty text when nothing matched.
    using Completion = std::function<void(const std::string& path)>;

    // Directory entries read per loop turn.
    static constexpr std::size_t kEntriesPerTurn = 256;

    FileSearch(EventLoop& loop, ShellJobs& shell);
    ~FileSearch();
    FileSearch(const FileSearch&) = delete;
    FileSearch& operator=(const FileSearch&) = delete;

    // Searches roots in order (each ends with its path separator) for name, compared without
    // regard to ASCII case. A search still running is cancelled first. done runs from the loop,
    // never inside Start, and never after Cancel or destruction.
    void Start(std::vector<std::string> roots, std::string name, Completion done);
    void Cancel();
    bool Running() const { return static_cast<bool>(m_done); }

    // Loop turns the running (or last) search has taken.
    std::size_t Turns() const { return m_turns; }

  private:
    struct Level {
        std::string directory;
        std::unique_ptr<DirectoryListing> listing;
    };

    void ScheduleTurn();
    void Turn();
    void Finish(const std::string& path);

    EventLoop& m_loop;
    ShellJobs& m_shell;
    std::vector<std::string> m_roots;
    std::size_t m_nextRoot = 0;
    std::string m_name;
    std::vector<Level> m_stack;
    Completion m_done;
    std::size_t m_turns = 0;
    // Posted turns of an earlier search (or of a destroyed object) see a stale generation.
    std::shared_ptr<unsigned> m_generation = std::make_shared<unsigned>(0);
};

}  // namespace ko
