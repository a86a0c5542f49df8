#include "app/AgentProgram.h"

#include <chrono>
#include <cstdio>
#include <ctime>

#include "agent/control/WindowsLogonSettings.h"
#include "agent/control/WorkstationControl.h"
#include "agent/core/AgentCapabilities.h"
#include "agent/core/AgentGlobals.h"
#include "agent/core/PendingCapabilities.h"
#include "agent/core/ServiceLoader.h"
#include "agent/core/frmLogon.h"
#include "agent/kiosk/Kiosk.h"
#include "app/ControlPortsFactory.h"
#include "app/KioskScreensFactory.h"
#include "platform/EventLoop.h"
#include "platform/Platform.h"
#include "platform/SystemInfo.h"
#include "shared/ProgramSettings.h"
#include "shared/RegistryModule.h"

namespace ko {

int RunAgent(EventLoop& loop, TcpClientSocket& socket, RegistryPrimitives& registry,
             ServiceManager& services, ServiceHost& host, SystemInfo& system) {
    Platform platform{loop, socket, registry, services, host, system};
    RegistryModule registryModule(registry);
    ProgramSettings settings(registry);
    PendingCapabilities pending;
    AgentGlobals globals;
    // The screens of this platform; headless (no display) the kiosk reports itself not supported
    // and everything else runs.
    std::unique_ptr<KioskScreensSource> screens = MakeKioskScreensSource(loop);
    Kiosk kiosk(loop, globals, registryModule, pending, pending, pending, screens.get());
    WindowsLogonSettings logonSettings(registryModule, globals);
    // Workstation control on this platform's ports, where its adapters are built.
    std::unique_ptr<ControlPorts> ports = MakeControlPorts(loop);
    std::unique_ptr<WorkstationControl> control;
    if (ports) {
        control = std::make_unique<WorkstationControl>(
            ControlContext{loop, registryModule, globals, kiosk, pending, pending, pending,
                           ports->Windows(), ports->ProcessList(), ports->Session(),
                           ports->PowerSwitch(), ports->Hooks(), ports->AutomaticLogon()},
            ports->Xml(), logonSettings);
    }
    WorkstationControl* c = control.get();
    AgentCapabilities caps{kiosk,
                           kiosk,
                           c ? static_cast<WorkstationLock&>(*c) : pending,
                           c ? static_cast<PowerControl&>(*c) : pending,
                           c ? static_cast<ApplicationControl&>(*c) : pending,
                           c ? static_cast<PolicyControl&>(*c) : pending,
                           c ? static_cast<ProfileLoader&>(*c) : pending,
                           c ? static_cast<HookControl&>(*c) : pending,
                           c ? static_cast<CleanupControl&>(*c) : pending,
                           pending,
                           pending,
                           pending,
                           pending};
    frmLogon form(platform, registryModule, settings, caps, globals, logonSettings);
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

std::string StampLogLine(const std::string& program, const std::string& level,
                         const std::string& text) {
    using namespace std::chrono;
    auto now = system_clock::now();
    std::time_t seconds = system_clock::to_time_t(now);
    auto millis = duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000;
    std::tm local{};
#if defined(_WIN32)
    localtime_s(&local, &seconds);
#else
    localtime_r(&seconds, &local);
#endif
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%02d:%02d:%02d.%03d", local.tm_hour, local.tm_min,
                  local.tm_sec, static_cast<int>(millis));
    return std::string(stamp) + " " + program + " " + level + ": " + text + "\n";
}

}  // namespace ko
