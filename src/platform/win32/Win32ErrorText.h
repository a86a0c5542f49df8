#pragma once

#include <string>

namespace ko {

// The system's message text for an error code (Win32 or Winsock), without the trailing line
// break; "Error <code>" when the system has no text for it.
std::string Win32ErrorText(unsigned long code);

}  // namespace ko
