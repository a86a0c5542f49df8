#pragma once

#include <functional>

namespace ko {

class EventLoop;
class RegistryModule;
class KioskWindow;
class MessageWindow;
class Advertising;
class WatcherChannel;
class DesktopWindows;
class Processes;
class UserSession;
class Power;
class HookLibrary;
class AutoLogon;
class ServerLink;
class wsClient;
struct AgentGlobals;

// What the parts of workstation control share: the agent's own parts, the platform's ports, and
// the workstation object and server link once the start routine has created them.
struct ControlContext {
    EventLoop& loop;
    RegistryModule& registry;
    AgentGlobals& globals;
    KioskWindow& kiosk;
    MessageWindow& messages;
    Advertising& advertising;
    WatcherChannel& watcher;
    DesktopWindows& windows;
    Processes& processes;
    UserSession& session;
    Power& power;
    HookLibrary& hookLibrary;
    AutoLogon& autoLogon;

    // Null until the start routine created them, and again once the agent stops.
    wsClient* client = nullptr;
    ServerLink* link = nullptr;
    // Set when the stop routine begins: work that waits on the loop gives up.
    bool stopping = false;
    // WorkstationLocked and CtrlAltDelEnabled, which several parts read.
    bool workstationLocked = false;
    bool ctrlAltDelEnabled = false;
};

}  // namespace ko
