#pragma once

#include <optional>
#include <string>

#include "platform/SystemInfo.h"
#include "platform/win32/Win32Handles.h"

namespace ko {

// System information from kernel32 and the registry.
class Win32SystemInfo : public SystemInfo {
  public:
    // Where one copy is allowed: one per machine (the agent) or one per logon session (the
    // session watcher, which runs once in every user's session).
    enum class InstanceScope { Machine, Session };

    explicit Win32SystemInfo(InstanceScope scope = InstanceScope::Machine) : m_scope(scope) {}

    OsVersion Version() override;
    std::optional<int> ProductType() override;
    std::optional<std::string> ComputerName() override;
    bool AnotherInstanceRunning() override;
    std::string ProgramFolder() override;
    std::string ExecutableName() override;
    std::string MachineIdentity() override;
    NumberSeparators Separators() override;

    // The name of the marker that one running copy of the program holds.
    std::string InstanceMarkerName();

  private:
    InstanceScope m_scope;
    // Held for the life of this object (the program keeps it for the process's life), so that
    // copies started later see it.
    UniqueHandle m_instanceMarker;
    std::optional<bool> m_anotherInstance;
};

}  // namespace ko
