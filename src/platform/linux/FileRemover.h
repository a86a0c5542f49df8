#pragma once

#include <string>

#include "platform/linux/UniqueFd.h"

namespace ko {

// Deletes the session user's files without ever following a link: a link met on the way is
// removed as a link (its target stays) or, on the way down to the folder to work in, refused.
// With OSTREL_DRY_RUN set, every deletion is logged instead.
class FileRemover {
  public:
    explicit FileRemover(bool dryRun) : m_dryRun(dryRun) {}

    // OSTREL_DRY_RUN is set to anything but "" or "0".
    static bool DryRunRequested();

    // Opens base (as given) and then each "/"-separated component of relative below it, refusing
    // links, ".." and anything that is not a directory. Invalid when any step fails.
    static UniqueFd OpenDirectoryBelow(const std::string& base, const std::string& relative);

    // Removes the entry name of the open directory parent: a file or link at once, a directory
    // with everything in it (never crossing into another file system). shownPath names it in
    // the log. True when nothing of it is left (or, in a dry run, it would be removed).
    bool RemoveTree(int parent, const std::string& name, const std::string& shownPath);
    // Removes the file or link name of the open directory parent; a missing one is no failure.
    bool RemoveFile(int parent, const std::string& name, const std::string& shownPath);

    bool DryRun() const { return m_dryRun; }

  private:
    bool RemoveContents(int directory, dev_t device, int depth);

    bool m_dryRun;
};

}  // namespace ko
