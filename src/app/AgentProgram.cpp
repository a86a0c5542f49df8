#include "app/AgentProgram.h"

#include "agent/control/WindowsLogonSettings.h"
#include "agent/control/WorkstationControl.h"
#include "agent/core/AgentCapabilities.h"
#include "agent/core/AgentChannel.h"
#include "agent/core/AgentGlobals.h"
#include "agent/core/PendingCapabilities.h"
#include "agent/core/ServiceLoader.h"
#include "agent/core/frmLogon.h"
#include "agent/kiosk/Kiosk.h"
#include "agent/messages/Advertisements.h"
#include "agent/messages/frmHtmlMessage.h"
#include "agent/messages/frmTimeoutMessage.h"
#include "app/ControlPortsFactory.h"
#include "app/KioskScreensFactory.h"
#include "app/SoundPlayerFactory.h"
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
    // The screens of this platform; headless (no display) the kiosk reports itself not supported
    // and everything else runs.
    std::unique_ptr<KioskScreensSource> screens = MakeKioskScreensSource(loop);
    std::unique_ptr<SoundPlayer> sound = MakeSoundPlayer();
    // The message, strip and advertising windows show on the kiosk's screens once it has them.
    Kiosk* shown = nullptr;
    auto kioskScreens = [&shown]() -> KioskScreens* {
        return shown != nullptr ? shown->Screens() : nullptr;
    };
    frmHtmlMessage messages(loop, globals, kioskScreens);
    Advertisements advertising(loop, globals, kioskScreens, [&shown]() -> wsClient* {
        return shown != nullptr ? shown->Client() : nullptr;
    });
    // The agent's end of the channel to the session watcher; it reads the client the start
    // routine makes.
    frmLogon* formAccess = nullptr;
    AgentChannel watcher(loop, channel, messages,
                         [&formAccess] { return formAccess ? formAccess->Client() : nullptr; });
    pending.SetWatcher(&watcher);
    Kiosk kiosk(loop, globals, registryModule, messages, advertising, watcher, screens.get());
    shown = &kiosk;
    frmTimeoutMessage timeout(loop, globals, *sound, kioskScreens,
                              [&kiosk] { return kiosk.MainWidth(); });
    // The lock unloads them with the kiosk's own forms.
    kiosk.AddOtherForm([&timeout] { timeout.Unload(); });
    kiosk.AddOtherForm([&advertising] { advertising.Unload(); });
    WindowsLogonSettings logonSettings(registryModule, globals);
    // Workstation control on this platform's ports, where its adapters are built.
    std::unique_ptr<ControlPorts> ports = MakeControlPorts(loop);
    std::unique_ptr<WorkstationControl> control;
    if (ports) {
        watcher.ProtectWatchersIn(&ports->ProcessList());
        control = std::make_unique<WorkstationControl>(
            ControlContext{loop, registryModule, globals, kiosk, messages, advertising, watcher,
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
                           messages,
                           timeout,
                           advertising,
                           watcher};
    frmLogon form(platform, registryModule, settings, caps, globals, logonSettings);
    formAccess = &form;
    messages.SetStopAgent([&form] { form.StopKoService(); });
    host.Attach(loop, form);
    return loop.Run();
}

RoleDecision DecideRole(EventLoop& loop, RegistryPrimitives& registry, ServiceManager& services,
                        SystemInfo& system, const std::string& serviceCommandLine) {
    ProgramSettings settings(registry);
    // The second-instance message is a server page too: its address needs the server's settings,
    // which this copy reads before it may show it. The screens open only if it does.
    RegistryModule registryModule(registry);
    AgentGlobals globals;
    globals.ServerName = registryModule.ReadSetting("NetConfig", "Server", "");
    globals.HttpPort = registryModule.ReadSetting("NetConfig", "HttpPort", "");
    globals.ProgramFolder = system.ProgramFolder();
    globals.regional = RegionalSettingsOf(system);
    std::unique_ptr<KioskScreensSource> source;
    KioskScreens* screens = nullptr;
    frmHtmlMessage messages(loop, globals, [&]() -> KioskScreens* {
        if (!source) {
            source = MakeKioskScreensSource(loop);
            if (source->Open() == KioskScreensSource::Availability::Ready) {
                screens = source->Screens();
            }
        }
        return screens;
    });
    ServiceLoader loader(services, system, settings, messages, serviceCommandLine);
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
