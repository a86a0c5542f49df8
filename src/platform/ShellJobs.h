#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace ko {

// One directory being read, a few entries at a time, so a walk over a whole disk never holds the
// loop for long.
class DirectoryListing {
  public:
    enum class Kind {
        File,
        // A real directory on the same file system as the one being read: safe to descend.
        Directory,
        // Anything not to descend into or match: links, reparse points, mount points, devices.
        Other,
    };
    struct Entry {
        std::string name;  // as stored on disk
        Kind kind = Kind::Other;
    };

    virtual ~DirectoryListing() = default;
    // The next entry ("." and ".." never come); false at the end or on a read error.
    virtual bool Next(Entry& entry) = 0;
};

// The shell jobs that must run as the session user: the browser's cache and history, starting a
// program, and the pieces the file search of a program launch walks.
class ShellJobs {
  public:
    using Done = std::function<void()>;

    virtual ~ShellJobs() = default;

    // Deletes the session browsers' cached pages; cookies, history and bookmarks stay. Failures
    // are logged. done runs later from the loop, never inside the call.
    virtual void DeleteUrlCache(Done done) = 0;
    // Clears the session browsers' history of visited addresses; cookies and bookmarks stay.
    // Failures are logged. done runs later from the loop, never inside the call.
    virtual void ClearUrlHistory(Done done) = 0;

    // Starts command as the desktop's "run" does (a program with its arguments, or a document
    // with the program the desktop opens it with), without waiting for it. False when nothing
    // could be started.
    virtual bool Run(const std::string& command) = 0;

    // The roots of the fixed (non-removable, local) disks in the system's order (drive letters
    // on Windows, the root first on Linux). Every root ends with the path separator ("C:\", "/",
    // "/home/").
    virtual std::vector<std::string> FixedDriveRoots() = 0;
    // Opens directory (ending with the path separator) for reading; nullptr when it cannot be
    // read or is not a real directory.
    virtual std::unique_ptr<DirectoryListing> OpenDirectory(const std::string& directory) = 0;
};

}  // namespace ko
