#include <memory>

#include "app/ControlPortsFactory.h"
#include "platform/linux/LinuxAutoLogon.h"
#include "platform/linux/LinuxEventLoop.h"
#include "platform/linux/LinuxPower.h"
#include "platform/linux/LinuxProcesses.h"
#include "platform/linux/LinuxUserSession.h"
#include "platform/linux/LinuxXmlDocument.h"
#include "platform/linux/LogindClient.h"
#include "platform/linux/x11/LinuxHookLibrary.h"
#include "platform/linux/x11/X11DesktopWindows.h"

namespace ko {

namespace {

// Headless, the desktop answers nothing and the hook library has no display to watch; the rest
// (processes, the session user, power, the registry's policies) works all the same. A display
// that answers only later (the agent started before the X server or the session) is watched
// once it does, and again after it went away and came back.
class LinuxControlPorts : public ControlPorts {
  public:
    explicit LinuxControlPorts(LinuxEventLoop& loop)
        : m_xml(loop),
          m_processes(loop),
          m_windows(loop, m_processes),
          m_hooks(&m_windows),
          m_session(m_logind),
          m_power(m_logind) {
        m_windows.KeepOpen();
    }

    XmlDocument& Xml() override { return m_xml; }
    DesktopWindows& Windows() override { return m_windows; }
    Processes& ProcessList() override { return m_processes; }
    UserSession& Session() override { return m_session; }
    Power& PowerSwitch() override { return m_power; }
    HookLibrary& Hooks() override { return m_hooks; }
    AutoLogon& AutomaticLogon() override { return m_autoLogon; }

  private:
    LinuxXmlDocument m_xml;
    LinuxProcesses m_processes;
    X11DesktopWindows m_windows;
    LinuxHookLibrary m_hooks;
    LogindClient m_logind;
    LinuxUserSession m_session;
    LinuxPower m_power;
    LinuxAutoLogon m_autoLogon;
};

}  // namespace

std::unique_ptr<ControlPorts> MakeControlPorts(EventLoop& loop) {
    return std::make_unique<LinuxControlPorts>(static_cast<LinuxEventLoop&>(loop));
}

}  // namespace ko
