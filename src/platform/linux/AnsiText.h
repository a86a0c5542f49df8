#pragma once

#include <string>
#include <string_view>

namespace ko {

// Converts UTF-8 to the workstation's ANSI code page, Windows-1252 on Linux. A character the code
// page cannot hold, and a byte that is not valid UTF-8, becomes "?", as the Windows conversion
// without best-fit mapping gives.
std::string Utf8ToAnsi(std::string_view utf8);

}  // namespace ko
