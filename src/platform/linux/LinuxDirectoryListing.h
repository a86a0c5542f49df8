#pragma once

#include <memory>
#include <string>

#include "platform/ShellJobs.h"

namespace ko {

// Opens directory for a walk that stays on its file system: the directory itself must not be a
// link, links come back as Other, and so do sub-directories that are mount points of another
// file system. nullptr when the directory cannot be opened.
std::unique_ptr<DirectoryListing> OpenLinuxDirectory(const std::string& directory);

}  // namespace ko
