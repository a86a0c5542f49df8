#pragma once

namespace ko {
class BrowserTracking;
class ChannelPort;
class EventLoop;
class RegistryPrimitives;
class ShellJobs;
class SystemInfo;
class XmlDocument;

// Wires the session watcher onto the adapters the program chose and runs it until the agent
// tells it to close. Returns at once, with 0, when another copy runs in this session. The
// registry is only read.
int RunWatcher(EventLoop& loop, SystemInfo& system, RegistryPrimitives& registry,
               XmlDocument& document, BrowserTracking& browsers, ShellJobs& shell,
               ChannelPort& channel);

}  // namespace ko
