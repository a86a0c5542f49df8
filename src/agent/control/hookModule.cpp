#include "agent/control/hookModule.h"

#include <algorithm>

#include "agent/control/ControlContext.h"
#include "agent/control/KoApplications.h"
#include "agent/control/PolicyManager.h"
#include "agent/core/AgentGlobals.h"
#include "agent/core/wsClient.h"
#include "agent/kiosk/KioskWindow.h"
#include "platform/DesktopWindows.h"
#include "platform/Processes.h"
#include "shared/AsciiCase.h"
#include "shared/Guard.h"
#include "shared/Logger.h"
#include "shared/RegistryModule.h"

namespace ko {

namespace {

constexpr const char* kDefaultTaskManagers =
    "gnome-system-monitor;xfce4-taskmanager;lxtask;mate-system-monitor;ksysguard;"
    "plasma-systemmonitor;qps;htop";
constexpr const char* kDefaultConsoles =
    "xterm;uxterm;gnome-terminal-server;konsole;xfce4-terminal;lxterminal;mate-terminal;"
    "x-terminal-emulator;terminator;tilix;kitty;alacritty";

std::vector<std::string> SplitNames(const std::string& text) {
    std::vector<std::string> names;
    std::string name;
    for (char c : text + ";") {
        if (c == ';' || c == ',') {
            const std::size_t begin = name.find_first_not_of(' ');
            if (begin != std::string::npos) {
                names.push_back(
                    AsciiLower(name.substr(begin, name.find_last_not_of(' ') - begin + 1)));
            }
            name.clear();
        } else {
            name.push_back(c);
        }
    }
    return names;
}

bool Listed(const std::vector<std::string>& names, const std::string& fileName) {
    return !fileName.empty() &&
           std::find(names.begin(), names.end(), AsciiLower(fileName)) != names.end();
}

}  // namespace

hookModule::hookModule(ControlContext& context, KoApplications& applications,
                       PolicyManager& policies)
    : m_ctx(context), m_applications(applications), m_policies(policies) {}

void hookModule::ReadProgramRoles() {
    if (m_rolesRead) {
        return;
    }
    m_rolesRead = true;
    m_taskManagers = SplitNames(
        m_ctx.registry.ReadSetting("LinuxPrograms", "TaskManager", kDefaultTaskManagers));
    m_consoles =
        SplitNames(m_ctx.registry.ReadSetting("LinuxPrograms", "Console", kDefaultConsoles));
}

bool hookModule::IsTaskManager(const std::string& windowClass, const std::string& fileName) const {
    const bool taskmgr = (windowClass == "#32770" || windowClass == "TaskManagerWindow") &&
                         AsciiLower(fileName) == "taskmgr.exe";
    return taskmgr || Listed(m_taskManagers, fileName);
}

bool hookModule::IsConsole(const std::string& windowClass, const std::string& fileName) const {
    return windowClass == "ConsoleWindowClass" || Listed(m_consoles, fileName);
}

void hookModule::InstallShellHooks() {
    ReadProgramRoles();
    if (!m_installed) {
        m_ctx.hookLibrary.SetNoticeHandler([this](HookNotice notice, WindowId window) {
            Guarded("window notice", [&] { OnNotice(notice, window); });
        });
        m_ctx.hookLibrary.SetShellHook();
        m_ctx.hookLibrary.SetCBTHook();
    }
    m_installed = true;
}

void hookModule::RemoveShellHooks() {
    if (m_installed) {
        m_installed = false;
        m_ctx.hookLibrary.UnsetCBTHook();
        m_ctx.hookLibrary.UnsetShellHook();
        m_ctx.hookLibrary.SetNoticeHandler(nullptr);
    }
    m_installed = false;
    m_ctx.hookLibrary.GoOnline();
}

void hookModule::OnNotice(HookNotice notice, WindowId window) {
    if (notice == HookNotice::WindowDestroyed) {
        // Hiding a window at the lock looks like its end, so ends are ignored while locked.
        if (!m_ctx.workstationLocked) {
            m_applications.Remove(KoApplications::KeyOf(window));
        }
        return;
    }
    OnWindowShown(notice, window);
}

void hookModule::OnWindowShown(HookNotice notice, WindowId window) {
    m_policies.HideStartButton();
    DesktopWindows& windows = m_ctx.windows;
    const std::optional<ProcessId> owner = windows.ProcessOf(window);
    const std::string windowClass = windows.ClassName(window).value_or("");
    std::string executable;
    if (owner) {
        if (std::optional<ProcessInfo> info = m_ctx.processes.Find(*owner)) {
            executable = info->executable;
        }
    }
    const std::size_t slash = executable.find_last_of("\\/");
    const std::string fileName =
        slash == std::string::npos ? executable : executable.substr(slash + 1);
    const std::string title = windows.Title(window).value_or("");
    const bool ownWindow = !m_ctx.kiosk.IsOwnWindow(window).empty() ||
                           (owner && *owner == m_ctx.processes.CurrentProcessId());

    if (!m_ctx.ctrlAltDelEnabled && !ownWindow && IsTaskManager(windowClass, fileName)) {
        m_applications.CloseWindowProcess(window);
    }
    wsClient* client = m_ctx.client;
    if ((IsConsole(windowClass, fileName) || notice == HookNotice::WindowCreated) &&
        client != nullptr && client->wsState == 1 && !ownWindow && owner) {
        KoApplication item;
        item.hWnd = window;
        item.ProcessId = *owner;
        item.Name = fileName;
        item.Desktop = true;
        item.WindowTitle = title;
        item.process = m_ctx.processes.Open(*owner);
        m_applications.Add(std::move(item));
    }
    // The agent's own windows (its kiosk, dialogs and helper windows) are no customer's program:
    // the cafe's list of started applications never shows them.
    if (client != nullptr && m_ctx.globals.options.ReportApplications != 0 && !ownWindow) {
        std::int64_t reportValue = 0;
        if (owner) {
            if (std::unique_ptr<ProcessHandle> process = m_ctx.processes.Open(*owner)) {
                reportValue = process->ReportValue();
            }
        }
        client->ReportApplication(KoApplications::FieldText(windowClass), reportValue,
                                  KoApplications::FieldText(fileName), window);
    }
    if (!ownWindow) {
        m_applications.DisallowedApplication(window, fileName);
    }
    RememberAppPath(fileName, executable);
}

void hookModule::RememberAppPath(const std::string& fileName, const std::string& executable) {
    if (fileName.empty()) {
        return;
    }
    const std::string key = AsciiLower(fileName);
    auto it = m_appPaths.find(key);
    if (it == m_appPaths.end()) {
        it = m_appPaths.emplace(key, m_ctx.registry.ReadSetting("AppPath", fileName, "")).first;
    }
    if (it->second == executable) {
        return;
    }
    m_ctx.registry.WriteSetting("AppPath", fileName, executable);
    it->second = executable;
}

}  // namespace ko
