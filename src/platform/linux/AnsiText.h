#pragma once

#include <string>
#include <string_view>

namespace ko {

// The workstation's ANSI code page on Linux is Windows-1252: the core's texts hold its bytes,
// GTK and WebKit speak UTF-8. Both directions are total: a character the code page cannot hold
// becomes "?", as Windows' own conversion does, and malformed UTF-8 never reaches the core as
// anything but "?".
std::string AnsiToUtf8(std::string_view ansi);
std::string Utf8ToAnsi(std::string_view utf8);

}  // namespace ko
