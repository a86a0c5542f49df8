#pragma once

#include <string>

#include "shared/QueryValue.h"

namespace ko {

struct AgentGlobals;

// "http://" + server + ":" + HTTP port + path and query: the address of one of the server's pages.
std::string ServerPageAddress(const AgentGlobals& globals, const std::string& pathAndQuery);

// The kiosk's main page and its minimized strip for this workstation.
std::string MainPageAddress(const AgentGlobals& globals);
std::string MinimizedPageAddress(const AgentGlobals& globals);

}  // namespace ko
