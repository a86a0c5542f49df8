// The agent program: chooses the adapters of this platform, decides the copy's role and runs the
// agent. `--foreground` runs the service-host role in this process (systemd's unit, the demo,
// tests and debugging use it).

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "app/AgentProgram.h"
#include "app/ProgramLog.h"
#include "platform/ForegroundServiceHost.h"
#include "shared/Logger.h"

#if defined(_WIN32)
#include <windows.h>

#include "platform/win32/ScmServiceHost.h"
#include "platform/win32/ScmServiceManager.h"
#include "platform/win32/Win32ChannelPort.h"
#include "platform/win32/Win32EventLoop.h"
#include "platform/win32/Win32Registry.h"
#include "platform/win32/Win32SystemInfo.h"
#include "platform/win32/WinsockClientSocket.h"
#else
#include <csignal>

#include "platform/linux/LinuxChannelPort.h"
#include "platform/linux/LinuxEventLoop.h"
#include "platform/linux/LinuxSystemInfo.h"
#include "platform/linux/LinuxTcpClientSocket.h"
#include "platform/linux/RegistryFileStore.h"
#include "platform/linux/SystemdServiceManager.h"
#endif

namespace {

using Role = ko::ServiceLoader::Role;

bool HasArgument(int argc, char** argv, const char* wanted) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], wanted) == 0) {
            return true;
        }
    }
    return false;
}

#if defined(_WIN32)

int RunForeground(ko::RegistryPrimitives& registry, ko::ServiceManager& services,
                  ko::SystemInfo& system, int controls) {
    ko::Win32EventLoop loop;
    ko::WinsockClientSocket socket(loop);
    ko::Win32ChannelPort channel(loop, GetModuleHandleA(nullptr));
    ko::ForegroundServiceHost host;
    host.SetControls(controls);
    return ko::RunAgent(loop, socket, channel, registry, services, host, system);
}

int Main(int argc, char** argv) {
    ko::Win32SystemInfo system;
    ko::Win32Registry registry;
    ko::ScmServiceManager services;
    if (HasArgument(argc, argv, "--foreground")) {
        if (system.AnotherInstanceRunning()) {
            ko::Logger::Error("another copy of the agent runs on this machine");
            return 3;
        }
        return RunForeground(registry, services, system,
                             ko::ReadServiceSettings(registry, system).controls);
    }
    ko::RoleDecision decision;
    {
        ko::Win32EventLoop loop;
        decision = ko::DecideRole(loop, registry, services, system, "");
    }
    switch (decision.role) {
        case Role::Close:
            return 0;
        case Role::Idle: {
            ko::Win32EventLoop loop;
            return loop.Run();
        }
        case Role::Direct:
            return RunForeground(registry, services, system, decision.settings.controls);
        case Role::ServiceHost:
            break;
    }
    int code = ko::ScmServiceHost::Run(
        "KoService",
        [&](ko::ScmServiceHost& host) {
            ko::Win32EventLoop loop;
            ko::WinsockClientSocket socket(loop);
            ko::Win32ChannelPort channel(loop, GetModuleHandleA(nullptr));
            int exitCode = ko::RunAgent(loop, socket, channel, registry, services, host, system);
            host.Detach();  // before the loop goes: a late stop control must not post to it
            return exitCode;
        },
        decision.settings.controls);
    if (code == ko::ScmServiceHost::kNotAService) {
        ko::Logger::Error("not started by the service manager; use --foreground to run here");
        return 1;
    }
    return code;
}

#else

int RunForeground(ko::RegistryFileStore& registry, ko::ServiceManager& services,
                  ko::SystemInfo& system, int controls) {
    ko::LinuxEventLoop loop;
    ko::LinuxTcpClientSocket socket(loop);
    // The watcher reaches the agent through a socket in the runtime folder.
    ko::LinuxChannelPort channel(loop, ko::LinuxChannelPort::Side::Serving);
    ko::ForegroundServiceHost host;
    host.SetControls(controls);
    // systemd's stop and Ctrl+C are the service manager's Stop: the workstation is given back,
    // when the service accepts stop.
    loop.OnSignal(SIGTERM, [&host] { host.ControlStop(); });
    loop.OnSignal(SIGINT, [&host] { host.ControlStop(); });
    loop.OnSignal(SIGHUP, [] {});
    // The changes a handler makes go to the store file in one write after it returns.
    registry.DeferWritesTo(&loop);
    int code = ko::RunAgent(loop, socket, channel, registry, services, host, system);
    registry.DeferWritesTo(nullptr);
    return code;
}

int Main(int argc, char** argv) {
    ko::LinuxSystemInfo system(argc > 0 ? argv[0] : "koagent");
    ko::RegistryFileStore registry(ko::RegistryFileStore::DefaultPath());
    // A store an older version wrote keeps its passwords readable by everyone until they move.
    if (!registry.MoveStraySecrets()) {
        ko::Logger::Error("the passwords in " + registry.Path() +
                          " could not be moved to their own file; the next change moves them");
    }
    ko::SystemdServiceManager services;
    if (HasArgument(argc, argv, "--foreground")) {
        if (system.AnotherInstanceRunning()) {
            ko::Logger::Error("another copy of the agent runs on this machine");
            return 3;
        }
        return RunForeground(registry, services, system,
                             ko::ReadServiceSettings(registry, system).controls);
    }
    std::string self = system.ProgramFolder() + "/" + system.ExecutableName();
    ko::RoleDecision decision;
    {
        ko::LinuxEventLoop loop;
        decision = ko::DecideRole(loop, registry, services, system, self + " --foreground");
    }
    switch (decision.role) {
        case Role::Close:
        case Role::ServiceHost:
            // systemd starts the service's copy through its unit, with --foreground; a copy
            // started without it is never that one.
            return 0;
        case Role::Idle: {
            ko::LinuxEventLoop loop;
            loop.OnSignal(SIGTERM, [&loop] { loop.Quit(0); });
            loop.OnSignal(SIGINT, [&loop] { loop.Quit(0); });
            return loop.Run();
        }
        case Role::Direct:
            break;
    }
    return RunForeground(registry, services, system, decision.settings.controls);
}

#endif

}  // namespace

int main(int argc, char** argv) {
    return ko::RunLogged("koagent", [&] { return Main(argc, argv); });
}
