#include <memory>
#include <string>

#include "app/ControlPortsFactory.h"
#include "platform/win32/Win32AutoLogon.h"
#include "platform/win32/Win32DesktopWindows.h"
#include "platform/win32/Win32EventLoop.h"
#include "platform/win32/Win32HookLibrary.h"
#include "platform/win32/Win32Path.h"
#include "platform/win32/Win32Power.h"
#include "platform/win32/Win32Processes.h"
#include "platform/win32/Win32UserSession.h"
#include "platform/win32/Win32XmlDocument.h"

namespace ko {

namespace {

// hook.dll is installed beside the agent and loaded by its full path, never searched for.
std::string HookLibraryPath() {
    std::string program = ModuleFilePath();
    const std::size_t slash = program.find_last_of('\\');
    return (slash == std::string::npos ? std::string() : program.substr(0, slash + 1)) + "hook.dll";
}

// Made on the loop's thread: the hook adapter's notice window and the low-level keyboard hook
// belong to the thread that creates them.
class Win32ControlPorts : public ControlPorts {
  public:
    explicit Win32ControlPorts(Win32EventLoop& loop)
        : m_xml(loop), m_processes(loop), m_hooks(HookLibraryPath()) {}

    XmlDocument& Xml() override { return m_xml; }
    DesktopWindows& Windows() override { return m_windows; }
    Processes& ProcessList() override { return m_processes; }
    UserSession& Session() override { return m_session; }
    Power& PowerSwitch() override { return m_power; }
    HookLibrary& Hooks() override { return m_hooks; }
    AutoLogon& AutomaticLogon() override { return m_autoLogon; }

  private:
    Win32XmlDocument m_xml;
    Win32Processes m_processes;
    Win32DesktopWindows m_windows;
    Win32HookLibrary m_hooks;
    Win32UserSession m_session;
    Win32Power m_power;
    Win32AutoLogon m_autoLogon;
};

}  // namespace

std::unique_ptr<ControlPorts> MakeControlPorts(EventLoop& loop) {
    return std::make_unique<Win32ControlPorts>(static_cast<Win32EventLoop&>(loop));
}

}  // namespace ko
