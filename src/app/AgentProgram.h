#pragma once

#include <string>

#include "agent/core/ServiceLoader.h"

namespace ko {

class EventLoop;
class TcpClientSocket;
class ChannelPort;
class RegistryPrimitives;
class ServiceManager;
class ServiceHost;
class SystemInfo;

// Wires the agent core onto the adapters the program chose and runs it until it stops. Runs on
// the thread that owns the loop.
int RunAgent(EventLoop& loop, TcpClientSocket& socket, ChannelPort& channel,
             RegistryPrimitives& registry, ServiceManager& services, ServiceHost& host,
             SystemInfo& system);

// This copy's role and the service settings that go with it.
struct RoleDecision {
    ServiceLoader::Role role = ServiceLoader::Role::Close;
    ServiceConfig settings;
};

// Decides this copy's role the way the service host does when it is not told --foreground. The
// loop runs the second-instance message, where one is shown.
RoleDecision DecideRole(EventLoop& loop, RegistryPrimitives& registry, ServiceManager& services,
                        SystemInfo& system, const std::string& serviceCommandLine);

// The service settings for a copy that runs the host role without the Load decision
// (--foreground): defaults on Windows 9x, which has no service control.
ServiceConfig ReadServiceSettings(RegistryPrimitives& registry, SystemInfo& system);

}  // namespace ko
