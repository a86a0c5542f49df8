#include "app/AgentProgram.h"

#include "agent/control/WindowsLogonSettings.h"
#include "agent/core/AgentCapabilities.h"
#include "agent/core/AgentChannel.h"
#include "agent/core/AgentGlobals.h"
#include "agent/core/PendingCapabilities.h"
#include "agent/core/ServiceLoader.h"
#include "agent/core/frmLogon.h"
#include "agent/kiosk/Kiosk.h"
#include "app/KioskScreensFactory.h"
#include "platform/EventLoop.h"
#include "platform/Platform.h"
#include "platform/SystemInfo.h"
#include "shared/ProgramSettings.h"
#include "shared/RegistryModule.h"

namespace ko {

int RunAgent(EventLoop& loop, TcpClientSocket& socket, ChannelPort& channel,
             RegistryPrimitives& registry, ServiceManager& services, ServiceHost& host,
             SystemInfo& system) {
    Platform platform{loop, socket, registry, services, host, system};
    RegistryModule registryModule(registry);
    ProgramSettings settings(registry);
    PendingCapabilities pending;
    AgentGlobals globals;
    // The agent's end of the channel to the session watcher; it reads the client the start
    // routine makes.
    frmLogon* formAccess = nullptr;
    AgentChannel watcher(loop, channel, pending,
                         [&formAccess] { return formAccess ? formAccess->Client() : nullptr; });
    pending.SetWatcher(&watcher);
    // The screens of this platform; headless (no display) the kiosk reports itself not supported
    // and everything else runs.
    std::unique_ptr<KioskScreensSource> screens = MakeKioskScreensSource(loop);
    Kiosk kiosk(loop, globals, registryModule, pending, pending, watcher, screens.get());
    AgentCapabilities caps{kiosk,   kiosk,   pending, pending, pending, pending, pending,
                           pending, pending, pending, pending, pending, watcher};
    WindowsLogonSettings logonSettings(registryModule, globals);
    frmLogon form(platform, registryModule, settings, caps, globals, logonSettings);
    formAccess = &form;
    host.Attach(loop, form);
    return loop.Run();
}

RoleDecision DecideRole(RegistryPrimitives& registry, ServiceManager& services, SystemInfo& system,
                        const std::string& serviceCommandLine) {
    ProgramSettings settings(registry);
    PendingCapabilities pending;
    ServiceLoader loader(services, system, settings, pending, serviceCommandLine);
    RoleDecision decision;
    decision.role = loader.Load();
    decision.settings = loader.Settings();
    return decision;
}

ServiceConfig ReadServiceSettings(RegistryPrimitives& registry, SystemInfo& system) {
    if ((system.Version().platformId & 2) == 0) {
        return ServiceConfig{};
    }
    ProgramSettings settings(registry);
    return ServiceLoader::ReadServiceSettings(settings, system);
}

}  // namespace ko
