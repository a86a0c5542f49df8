#pragma once

#include <optional>
#include <string>

namespace ko {

// Where an X display named by DISPLAY ("[host]:number[.screen]") listens.
struct DisplayAddress {
    std::string host;  // empty or "unix": the local socket
    int number = 0;
};

std::optional<DisplayAddress> ParseDisplayName(const std::string& name);

// Whether the X server of DISPLAY accepts a connection now, without loading any X library: the
// agent asks before it loads its screens, so a headless agent never maps GTK. A server that
// accepts the connection but refuses the client (wrong XAUTHORITY) is found out when the screens
// open the display.
bool DisplayAnswers(const std::string& name);

}  // namespace ko
