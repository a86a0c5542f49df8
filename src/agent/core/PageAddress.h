#pragma once

#include <string>

namespace ko {

struct AgentGlobals;

// "http://" + server + ":" + HTTP port + path and query: the address of one of the server's pages.
std::string ServerPageAddress(const AgentGlobals& globals, const std::string& pathAndQuery);

// The kiosk's main page and its minimized strip for this workstation.
std::string MainPageAddress(const AgentGlobals& globals);
std::string MinimizedPageAddress(const AgentGlobals& globals);

// A value for a page address's query. "&", "#", "%" and "+" would end the value or change its
// meaning (a workstation named "PC&wsName=PC02" would fetch PC02's page), so they are
// percent-encoded; every other character, and so every plain name, goes unchanged.
std::string QueryValue(const std::string& value);

}  // namespace ko
