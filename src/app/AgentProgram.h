#pragma once

#include <string>

#include "agent/core/ServiceLoader.h"

namespace ko {

class EventLoop;
class TcpClientSocket;
class RegistryPrimitives;
class ServiceManager;
class ServiceHost;
class SystemInfo;

// Wires the agent core onto the adapters the program chose and runs it until it stops. Runs on
// the thread that owns the loop.
int RunAgent(EventLoop& loop, TcpClientSocket& socket, RegistryPrimitives& registry,
             ServiceManager& services, ServiceHost& host, SystemInfo& system);

// Decides this copy's role the way the service host does when it is not told --foreground.
ServiceLoader::Role DecideRole(RegistryPrimitives& registry, ServiceManager& services,
                               SystemInfo& system, const std::string& serviceCommandLine);

// A log line with the time of day, for stderr and log files.
std::string StampLogLine(const std::string& program, const std::string& level,
                         const std::string& text);

}  // namespace ko
