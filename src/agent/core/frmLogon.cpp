#include "agent/core/frmLogon.h"

#include "agent/control/ApplicationControl.h"
#include "agent/control/HookControl.h"
#include "agent/control/PolicyControl.h"
#include "agent/control/PowerControl.h"
#include "agent/control/WindowsLogonSettings.h"
#include "agent/control/WorkstationLock.h"
#include "agent/core/AgentCapabilities.h"
#include "agent/core/AgentGlobals.h"
#include "agent/kiosk/KioskWindow.h"
#include "agent/messages/Advertising.h"
#include "platform/EventLoop.h"
#include "platform/Platform.h"
#include "platform/SystemInfo.h"
#include "shared/Guard.h"
#include "shared/Logger.h"
#include "shared/RegistryModule.h"
#include "shared/WatcherChannel.h"

namespace ko {

frmLogon::frmLogon(Platform& platform, RegistryModule& registry, ProgramSettings& settings,
                   AgentCapabilities& capabilities, AgentGlobals& globals,
                   WindowsLogonSettings& logonSettings)
    : m_platform(platform),
      m_registry(registry),
      m_caps(capabilities),
      m_globals(globals),
      m_logonSettings(logonSettings),
      m_language(settings, globals),
      m_link(platform.loop, platform.socket, registry, platform.system, globals,
             capabilities.advertising) {}

frmLogon::~frmLogon() {
    m_link.SetClient(nullptr);
    m_caps.kiosk.SetClient(nullptr, nullptr);
    m_caps.lock.SetClient(nullptr, nullptr);
}

bool frmLogon::IsNt() {
    return (m_platform.system.Version().platformId & 2) != 0;
}

void frmLogon::OnServiceStart(bool& success) {
    Guarded("service start", [&] { ServiceStart(success); });
}

void frmLogon::OnServiceStop() {
    Guarded("service stop", [&] { RestoreWorkstation(); });
}

void frmLogon::ServiceStart(bool& success) {
    Logger::Info("agent starting");
    KioskWindow& kiosk = m_caps.kiosk;
    m_firstActivationPending = true;

    // The process globals. The number format comes first: every number read from here on
    // follows it.
    m_globals.regional = RegionalSettingsOf(m_platform.system);
    m_link.SetReadyToSend(true);
    m_language.ReadAtStart();
    m_globals.ServerName = m_registry.ReadSetting("NetConfig", "Server", "");
    m_globals.HttpPort = m_registry.ReadSetting("NetConfig", "HttpPort", "");
    m_globals.options = WorkstationOptions{};
    if (auto secure = NumberRules::ToInt16(m_registry.ReadSetting("NetConfig", "Left", "0"),
                                           m_globals.regional)) {
        m_globals.options.wsSecureWorkstation = *secure;
    }
    m_globals.options.wsSecurityPassword = m_registry.ReadSetting("NetConfig", "window", "");
    m_caps.lock.ResetLockFlags();
    m_caps.lock.SetScreenSaverRunning(true);
    m_caps.applications.CreateApplicationList();
    m_globals.options.ReportApplications = -1;
    m_globals.ProgramFolder = m_platform.system.ProgramFolder();
    success = true;

    // The kiosk shows the local stopped page until the server answers.
    kiosk.SetMainPosition("bottom", "right");
    kiosk.SetWindowFocusTimer(false);
    kiosk.Navigate("about:blank");
    kiosk.SetBodyHtml(kWaitBody);
    kiosk.Navigate(m_globals.ProgramFolder + "/wsStopped.htm");
    kiosk.MoveBrowserToTopLeft();

    m_globals.WorkstationName = m_registry.ReadSetting("NetConfig", "WorkstationName", "");

    // The system-change handler, once.
    m_platform.loop.PumpPending();
    kiosk.PosForm();
    m_platform.loop.PumpPending();
    if (m_stopped) {
        return;
    }

    m_client = std::make_unique<wsClient>(m_link, m_caps, m_globals, m_language, m_logonSettings,
                                          [this] { StopKoService(); });
    m_link.SetClient(m_client.get());
    kiosk.SetClient(m_client.get(), &m_link);
    m_caps.lock.SetClient(m_client.get(), &m_link);
    m_globals.options.LogonSettingsReceived = false;

    kiosk.ShowMainForm();
    // The shown window's first activation arrives through the loop.
    m_platform.loop.Post([this] { Guarded("activate", [this] { Activate(); }); });
    success = true;

    m_client->wsState = -1;
    m_client->updateState();

    m_globals.MainWindowMinimized = false;
    kiosk.SetMainWindowMinimized(false);
    m_logonSettings.SetDefaultWindowsLogonSettings();
}

void frmLogon::Activate() {
    // An activation that the stop routine lets run must not install hooks it has just removed
    // or is about to remove.
    if (!m_firstActivationPending || m_restoring || m_stopped) {
        return;
    }
    m_caps.kiosk.PosForm();
    m_caps.hooks.SetUpCurrentUser();
    m_caps.watcher.RegisterMessages();
    m_caps.watcher.CreateMessageWindow(kMessageWindowName);
    m_caps.hooks.InstallHooks();
    m_firstActivationPending = false;
}

void frmLogon::RestoreWorkstation() {
    if (m_restoring || m_stopped) {
        return;  // a second stop while the first one lets events run
    }
    m_restoring = true;
    Logger::Info("agent stopping: giving the workstation back");
    m_caps.lock.BeginRestore();
    // The link is done: a status or a watchdog tick that ran while this routine lets events run
    // would lock the workstation again after it was given back.
    m_link.SetClient(nullptr);
    m_link.CloseSocket();
    m_caps.lock.UnlockWorkstation();
    m_caps.lock.EnableCtrlAltDel(1);
    if (m_client) {
        m_client->InternetActive = -1;
    }
    m_logonSettings.ResetWindowsLogonSettings();
    if (IsNt() && m_globals.options.LogonSettingsReceived) {
        m_caps.policies.ClearUserPolicies();
        m_caps.watcher.SendMessageToExe("KOW_CLOSEWS", "");
        m_caps.power.LogOffUser();
    } else {
        if (m_client) {
            m_client->HideSB = 0;
        }
        m_caps.policies.TargetLoggedOnUser();
        m_caps.policies.ClearUserPolicies();
        m_caps.watcher.SendMessageToExe("KOW_CLOSEWS", "");
        m_caps.policies.ApplySameUserPolicy();
    }
    m_platform.loop.PumpPending();
    m_caps.hooks.RemoveHooks();
    // The program ends here: no further event of the form runs.
    m_stopped = true;
    m_platform.serviceHost.ReportStopped(0);
    m_platform.loop.Quit(0);
}

void frmLogon::StopKoService() {
    if (IsNt()) {
        m_platform.serviceHost.RequestStop();
    } else {
        RestoreWorkstation();
    }
}

void frmLogon::Unload() {
    if (!IsNt()) {
        RestoreWorkstation();
    }
}

bool frmLogon::KeyDown(int keyCode, int shift) {
    constexpr int kF6 = 117;
    constexpr int kAlt = 4;
    MouseMove();
    return keyCode == kF6 && shift == kAlt;
}

void frmLogon::MouseMove() {
    if (m_client && m_client->wsState != 1 && m_client->wsState != -1) {
        m_caps.advertising.ResetAdTimers();
    }
}

}  // namespace ko
