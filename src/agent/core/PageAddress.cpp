#include "agent/core/PageAddress.h"

#include "agent/core/AgentGlobals.h"

namespace ko {

std::string ServerPageAddress(const AgentGlobals& globals, const std::string& pathAndQuery) {
    return "http://" + globals.ServerName + ":" + globals.HttpPort + pathAndQuery;
}

std::string MainPageAddress(const AgentGlobals& globals) {
    return ServerPageAddress(globals,
                             "/ws/wsMain.asp?wsName=" + QueryValue(globals.WorkstationName));
}

std::string MinimizedPageAddress(const AgentGlobals& globals) {
    return ServerPageAddress(globals,
                             "/ws/wsMainMin.asp?wsName=" + QueryValue(globals.WorkstationName));
}

}  // namespace ko
