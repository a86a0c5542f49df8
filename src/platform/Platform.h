#pragma once

namespace ko {

class EventLoop;
class TcpClientSocket;
class RegistryPrimitives;
class ServiceManager;
class ServiceHost;
class SystemInfo;

// The adapters a program runs on. Only src/app chooses and wires them; everything else receives
// this at construction. Later capabilities join as their parts are built.
struct Platform {
    EventLoop& loop;
    TcpClientSocket& socket;
    RegistryPrimitives& registry;
    ServiceManager& services;
    ServiceHost& serviceHost;
    SystemInfo& system;
};

}  // namespace ko
