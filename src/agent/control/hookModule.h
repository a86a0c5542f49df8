#pragma once

#include <map>
#include <string>
#include <vector>

#include "platform/HookLibrary.h"

namespace ko {

struct ControlContext;
class KoApplications;
class PolicyManager;

// The shell and window-creation hooks, and what the agent does with their notices: it tracks the
// customers' application windows, closes Task Manager while the secure-attention keys are off,
// closes disallowed programs, reports new windows to the server and remembers where each program
// lives ("AppPath", which the watcher reads to start programs).
class hookModule {
  public:
    hookModule(ControlContext& context, KoApplications& applications, PolicyManager& policies);

    void InstallShellHooks();
    // Removes the shell hooks (if installed) and always switches the library back online.
    void RemoveShellHooks();

    void OnNotice(HookNotice notice, WindowId window);

    // Programs that play the roles of Task Manager and the console where no window class says so
    // (Linux): settings "LinuxPrograms", values "TaskManager" and "Console", names separated by
    // ";".
    bool IsTaskManager(const std::string& windowClass, const std::string& fileName) const;
    bool IsConsole(const std::string& windowClass, const std::string& fileName) const;

  private:
    void OnWindowShown(HookNotice notice, WindowId window);
    void RememberAppPath(const std::string& fileName, const std::string& executable);
    void ReadProgramRoles();

    ControlContext& m_ctx;
    KoApplications& m_applications;
    PolicyManager& m_policies;
    bool m_installed = false;
    bool m_rolesRead = false;
    std::vector<std::string> m_taskManagers;
    std::vector<std::string> m_consoles;
    // What "AppPath" holds, so a notice writes only what changed.
    std::map<std::string, std::string> m_appPaths;
};

}  // namespace ko
