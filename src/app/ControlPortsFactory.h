#pragma once

#include <memory>

namespace ko {

class EventLoop;
class XmlDocument;
class DesktopWindows;
class Processes;
class UserSession;
class Power;
class HookLibrary;
class AutoLogon;

// The ports workstation control runs on, as this platform's adapters provide them. They live as
// long as the object.
struct ControlPorts {
    virtual ~ControlPorts() = default;
    virtual XmlDocument& Xml() = 0;
    virtual DesktopWindows& Windows() = 0;
    virtual Processes& ProcessList() = 0;
    virtual UserSession& Session() = 0;
    virtual Power& PowerSwitch() = 0;
    virtual HookLibrary& Hooks() = 0;
    virtual AutoLogon& AutomaticLogon() = 0;
};

// This platform's control ports (ControlPortsLinux.cpp, ControlPortsWin32.cpp); null while a
// platform's adapters are not built, and the agent then runs with the logging stand-ins. The loop
// is the program's own and outlives the ports.
std::unique_ptr<ControlPorts> MakeControlPorts(EventLoop& loop);

}  // namespace ko
