#pragma once

#include <cstdint>
#include <string>

#include "agent/kiosk/WindowPlacement.h"

namespace ko {

class Advertising;
class EventLoop;
class KioskScreens;
class MessageWindow;
class RegistryModule;
class ServerLink;
class WatcherChannel;
class wsClient;
struct AgentGlobals;

// What every kiosk form reaches: the agent's objects and, once a display shows them, the screens.
struct KioskContext {
    static constexpr const char* kWaitBody =
        " <body> <TABLE width=\"100%\" > <TR> <TD vAlign=\"center\" align=\"middle\">Getting data "
        "from the server. Please wait! </TD> </TR> </TABLE> </body>";

    EventLoop& loop;
    AgentGlobals& globals;
    RegistryModule& registry;
    MessageWindow& messages;
    Advertising& advertising;
    WatcherChannel& watcher;
    // Null until the start routine creates them, and again when the agent stops.
    wsClient* client = nullptr;
    ServerLink* link = nullptr;
    // Null while no display shows the kiosk.
    KioskScreens* screens = nullptr;

    // The workstation state; -1 before the workstation object exists.
    std::int32_t State() const;
    // A key or a mouse move on the kiosk restarts the advertisement idle count, except in a
    // customer session and without a server.
    void UserActivity();
    // The screen the forms are placed on now.
    PlacementScreen Screen() const;
    std::string ServerPage(const std::string& pathAndQuery) const;
};

}  // namespace ko
