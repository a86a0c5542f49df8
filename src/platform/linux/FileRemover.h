#pragma once

#include <sys/types.h>

#include <cstddef>
#include <string>
#include <vector>

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

    // Removes the entry name of the open directory parent, a slice at a time: a file or link at
    // once, a directory with everything in it (never crossing into another file system). A
    // large cache folder holds hundreds of thousands of files; each Step deletes a bounded
    // number of them, so the caller's loop goes on between slices.
    class TreeRemoval {
      public:
        // parent stays open with the removal. shownPath names the entry in the log.
        TreeRemoval(const FileRemover& remover, UniqueFd parent, std::string name,
                    std::string shownPath);
        TreeRemoval(const TreeRemoval&) = delete;
        TreeRemoval& operator=(const TreeRemoval&) = delete;

        // Deletes at most budget entries (a folder read counts as one). True once nothing is
        // left to do.
        bool Step(std::size_t budget);
        bool Finished() const { return m_finished; }

      private:
        // One folder being emptied: its names, read when it was opened.
        struct Level {
            UniqueFd fd;
            std::string name;  // in the folder above
            std::vector<std::string> names;
            std::size_t next = 0;
        };
        void Start();
        // Opens a folder below the innermost one (or the entry itself) and reads its names.
        bool Enter(int parent, const std::string& name);
        void Finish(bool removed);

        const FileRemover& m_remover;
        UniqueFd m_parent;
        std::string m_name;
        std::string m_shownPath;
        dev_t m_device = 0;
        std::vector<Level> m_levels;
        bool m_started = false;
        bool m_finished = false;
        bool m_allRemoved = true;
    };

    // Removes the file or link name of the open directory parent; a missing one is no failure.
    bool RemoveFile(int parent, const std::string& name, const std::string& shownPath) const;

    bool DryRun() const { return m_dryRun; }

  private:
    bool m_dryRun;
};

}  // namespace ko
