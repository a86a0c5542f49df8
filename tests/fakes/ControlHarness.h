#pragma once

#include <memory>
#include <string>
#include <vector>

#include "agent/control/WindowsLogonSettings.h"
#include "agent/control/WorkstationControl.h"
#include "agent/core/AgentCapabilities.h"
#include "agent/core/AgentGlobals.h"
#include "agent/core/frmLogon.h"
#include "fakes/FakeDesktopWindows.h"
#include "fakes/FakeEventLoop.h"
#include "fakes/FakeHookLibrary.h"
#include "fakes/FakePower.h"
#include "fakes/FakeProcesses.h"
#include "fakes/FakeRegistry.h"
#include "fakes/FakeSocket.h"
#include "fakes/FakeSystem.h"
#include "fakes/FakeUserSession.h"
#include "fakes/FakeXmlDocument.h"
#include "fakes/RecordingCapabilities.h"
#include "platform/Platform.h"
#include "shared/ProgramSettings.h"
#include "shared/RegistryModule.h"

namespace ko {

// The agent core with the real workstation control on the fake ports: a virtual clock, a
// scripted server and profile documents, an in-memory registry, a scripted desktop, processes
// and session user. The kiosk, message window, advertising and watcher channel record.
class ControlHarness {
  public:
    static constexpr const char* kSettingsKey = "SOFTWARE\\Ostrel Software\\Ostrel\\1\\NetConfig";
    static constexpr const char* kLogonProfile =
        "http://10.0.0.1:8080/ws/wsLogonProfile.asp?wsName=WS07";
    static constexpr const char* kLogoffProfile =
        "http://10.0.0.1:8080/ws/wsLogonProfile.asp?wsName=WS07&action=Logoff";
    static constexpr const char* kUserSid = "S-1-5-21-1-1001";
    static constexpr ProcessId kShell = 500;

    ControlHarness();

    // "customer" logged on, its shell running.
    void LogOnUser(const std::string& name = "customer", const std::string& sid = kUserSid,
                   ProcessId shell = kShell);
    // A program of the logged-on user with one window.
    void OpenProgram(ProcessId pid, WindowId window, const std::string& executable,
                     const std::string& windowClass = "Notepad", const std::string& title = "t",
                     const std::string& ownerSid = kUserSid);
    void StartConnected();
    void Status(int state);
    void Server(const std::string& text) { socket.DeliverMessage(text); }
    std::vector<std::string> Sent() { return socket.TakeSentMessages(); }
    // What the recording capabilities saw that starts with prefix.
    std::vector<std::string> Seen(const std::string& prefix) const;
    wsClient& Client() { return *form.Client(); }
    std::string Value(RegRoot root, const std::string& path, const std::string& name) const;

    FakeEventLoop loop;
    FakeSocket socket{loop};
    FakeRegistry registry;
    FakeSystemInfo system;
    FakeServiceManager services;
    FakeServiceHost host;
    Platform platform{loop, socket, registry, services, host, system};
    RegistryModule registryModule{registry};
    ProgramSettings programSettings{registry};
    RecordingCapabilities recorder;
    AgentGlobals globals;
    FakeXmlDocument xml{loop};
    FakeDesktopWindows windows;
    FakeProcesses processes{loop};
    FakeUserSession session;
    FakePower power;
    FakeHookLibrary hooks;
    FakeAutoLogon autoLogon;
    WindowsLogonSettings logonSettings{registryModule, globals};
    WorkstationControl control{
        ControlContext{loop, registryModule, globals, recorder, recorder, recorder, recorder,
                       windows, processes, session, power, hooks, autoLogon},
        xml, logonSettings};
    AgentCapabilities caps;
    frmLogon form{platform, registryModule, programSettings, caps, globals, logonSettings};
};

// A profile document built from parts: each part is an element with entries of child texts.
XmlNode ProfileDoc(std::vector<XmlNode> parts);
// <name><e><f>fields[0]</f><f>fields[1]</f>...</e>...</name>
XmlNode ProfilePart(const std::string& name, std::vector<std::vector<std::string>> entries);

}  // namespace ko
