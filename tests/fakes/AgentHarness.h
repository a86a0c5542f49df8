#pragma once

#include <string>
#include <vector>

#include "agent/control/WindowsLogonSettings.h"
#include "agent/core/AgentCapabilities.h"
#include "agent/core/AgentGlobals.h"
#include "agent/core/frmLogon.h"
#include "agent/kiosk/Kiosk.h"
#include "agent/messages/Advertisements.h"
#include "agent/messages/frmHtmlMessage.h"
#include "agent/messages/frmTimeoutMessage.h"
#include "fakes/FakeEventLoop.h"
#include "fakes/FakeKioskScreens.h"
#include "fakes/FakeRegistry.h"
#include "fakes/FakeSocket.h"
#include "fakes/FakeSoundPlayer.h"
#include "fakes/FakeSystem.h"
#include "fakes/RecordingCapabilities.h"
#include "platform/Platform.h"
#include "shared/ProgramSettings.h"
#include "shared/RegistryModule.h"

namespace ko {

// The whole agent core on fakes: a virtual clock, a scripted socket, an in-memory registry and
// recording capabilities; with the real kiosk on the fake screens when a test asks for it.
class AgentHarness {
  public:
    static constexpr const char* kSettingsKey = "SOFTWARE\\Ostrel Software\\Ostrel\\1\\NetConfig";

    // Recording: every screen is recorded. OnFakeScreens: the real kiosk on the fake screens.
    // WithMessages: the kiosk with the real message window, time-out strip and advertising.
    enum class KioskKind { Recording, OnFakeScreens, WithMessages };
    explicit AgentHarness(KioskKind kind = KioskKind::Recording);

    void SetNetConfig(const std::string& name, const std::string& value);
    std::string Setting(const std::string& path, const std::string& name) const;
    // Runs the start routine as the service manager's Start does.
    void Start();
    // Starts, lets the reconnect timer fire and accepts the connection; clears what was sent.
    void StartConnected();
    // A status message with the state in field 10 and the other fields as a server fills them.
    void Status(int state, const std::string& amount = "1.50",
                const std::string& elapsed = "00:10");
    void Server(const std::string& text) { socket.DeliverMessage(text); }
    std::vector<std::string> Sent() { return socket.TakeSentMessages(); }
    wsClient& Client() { return *form.Client(); }

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
    FakeKioskScreens screens{loop};
    FakeScreensSource screensSource{screens};
    FakeSoundPlayer sound;
    std::unique_ptr<frmHtmlMessage> messages;
    std::unique_ptr<frmTimeoutMessage> timeout;
    std::unique_ptr<Advertisements> advertising;
    std::unique_ptr<Kiosk> kiosk;
    AgentCapabilities caps;
    WindowsLogonSettings logonSettings{registryModule, globals};
    frmLogon form{platform, registryModule, programSettings, caps, globals, logonSettings};

  private:
    AgentCapabilities MakeCapabilities(KioskKind kind);
};

}  // namespace ko
