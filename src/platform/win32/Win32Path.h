#pragma once

#include <string>

namespace ko {

// The full path of the running program's file, however long.
std::string ModuleFilePath();

}  // namespace ko
