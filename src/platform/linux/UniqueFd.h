#pragma once

#include <unistd.h>

#include "shared/UniqueResource.h"

namespace ko {

// A POSIX file descriptor owned the RAII way.
struct FdTraits {
    using Type = int;
    static int Invalid() { return -1; }
    static bool Close(int fd) { return ::close(fd) == 0; }
};

using UniqueFd = UniqueResource<FdTraits>;

}  // namespace ko
