// The network dialog end to end on Windows: the agent wired as the program wires it (the real
// registry, Winsock, the Windows screens), the dialog opened as the stopped page's command opens
// it, the operator's typing and OK played with window messages, and the link coming up on the
// port that was typed.

#include <gtest/gtest.h>

#include <winsock2.h>

#include <string>

#include "agent/control/WindowsLogonSettings.h"
#include "agent/core/AgentCapabilities.h"
#include "agent/core/AgentChannel.h"
#include "agent/core/AgentGlobals.h"
#include "agent/core/PendingCapabilities.h"
#include "agent/core/frmLogon.h"
#include "agent/kiosk/Kiosk.h"
#include "fakes/RecordingCapabilities.h"
#include "platform/ForegroundServiceHost.h"
#include "platform/LoopTestSupport.h"
#include "platform/Platform.h"
#include "platform/win32/ScmServiceManager.h"
#include "platform/win32/Win32ChannelPort.h"
#include "platform/win32/Win32EventLoop.h"
#include "platform/win32/Win32KioskScreens.h"
#include "platform/win32/Win32NetConfigDialog.h"
#include "platform/win32/Win32Registry.h"
#include "platform/win32/Win32SystemInfo.h"
#include "platform/win32/WinsockClientSocket.h"
#include "platform/win32/WinsockSession.h"
#include "shared/ProgramSettings.h"
#include "shared/RegistryModule.h"

namespace ko {
namespace {

constexpr const char* kNetConfigKey = "SOFTWARE\\Ostrel Software\\Ostrel\\1\\NetConfig";

// A listening socket on loopback that the test polls without blocking the agent's loop.
class Listener {
  public:
    Listener() {
        m_socket = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in address = {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(m_socket, reinterpret_cast<sockaddr*>(&address), sizeof address);
        int length = sizeof address;
        getsockname(m_socket, reinterpret_cast<sockaddr*>(&address), &length);
        m_port = ntohs(address.sin_port);
        listen(m_socket, 4);
    }
    ~Listener() {
        if (m_client != INVALID_SOCKET) {
            closesocket(m_client);
        }
        closesocket(m_socket);
    }
    std::uint16_t Port() const { return m_port; }
    // True once the agent has connected and sent something (its hello).
    bool Heard() {
        if (m_client == INVALID_SOCKET && Readable(m_socket)) {
            m_client = accept(m_socket, nullptr, nullptr);
        }
        return m_client != INVALID_SOCKET && Readable(m_client);
    }

  private:
    static bool Readable(SOCKET s) {
        fd_set set;
        FD_ZERO(&set);
        FD_SET(s, &set);
        timeval none = {0, 0};
        return select(0, &set, nullptr, nullptr, &none) == 1;
    }
    SOCKET m_socket = INVALID_SOCKET;
    SOCKET m_client = INVALID_SOCKET;
    std::uint16_t m_port = 0;
};

// A port nothing listens on: bound once, then given back.
std::uint16_t ClosedPort() {
    Listener gone;
    return gone.Port();
}

TEST(NetConfigEndToEnd, OkStoresTheTypedSettingsAndTheLinkComesUp) {
    WinsockSession winsock;
    ASSERT_TRUE(winsock.Ok());
    Listener server;
    const std::string wrongPort = std::to_string(ClosedPort());
    Win32Registry registry;
    registry.CreateKey(RegRoot::LocalMachine, kNetConfigKey, "1");
    RegistryModule registryModule(registry);
    registryModule.WriteSetting("NetConfig", "Server", "127.0.0.1");
    registryModule.WriteSetting("NetConfig", "Port", wrongPort);
    registryModule.WriteSetting("NetConfig", "HttpPort", "8080");
    registryModule.WriteSetting("NetConfig", "WorkstationName", "WS-NC");
    // No security password asked (other tests of this prefix may have set one).
    registryModule.WriteSetting("NetConfig", "Left", "0");

    // Wired as the program wires the agent.
    Win32EventLoop loop;
    WinsockClientSocket socket(loop);
    ScmServiceManager services;
    ForegroundServiceHost host;
    Win32SystemInfo system;
    Platform platform{loop, socket, registry, services, host, system};
    ProgramSettings settings(registry);
    PendingCapabilities pending;
    AgentGlobals globals;
    Win32ChannelPort channel(loop, GetModuleHandleA(nullptr));
    // The message, time-out and advertising windows play no part here: recorded.
    RecordingCapabilities others;
    AgentChannel watcher(loop, channel, others, [] { return nullptr; });
    Win32KioskScreens screens(loop);
    Kiosk kiosk(loop, globals, registryModule, others, others, watcher, &screens);
    AgentCapabilities caps{kiosk,   kiosk,   pending, pending, pending, pending, pending,
                           pending, pending, others,  others,  others,  watcher};
    WindowsLogonSettings logonSettings(registryModule, globals);
    frmLogon form(platform, registryModule, settings, caps, globals, logonSettings);
    host.Attach(loop, form);
    ASSERT_TRUE(RunFor(loop, 5000, [&] { return kiosk.HasScreens() && form.Client() != nullptr; }));

    // What the stopped page's "cmdNetConfig" does.
    kiosk.NetConfig().Show();
    HWND dialog = FindWindowA("#32770", "NetConfig 2003");
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(IsWindowVisible(dialog));
    EXPECT_TRUE(GetWindowLongA(dialog, GWL_EXSTYLE) & WS_EX_TOPMOST);
    char text[64] = {};
    GetDlgItemTextA(dialog, Win32NetConfigDialog::kTcpPort, text, sizeof text);
    EXPECT_EQ(std::string(text), wrongPort);
    GetDlgItemTextA(dialog, Win32NetConfigDialog::kWorkstationName, text, sizeof text);
    EXPECT_STREQ(text, "WS-NC");
    EXPECT_FALSE(IsWindowVisible(GetDlgItem(dialog, Win32NetConfigDialog::kSecurityPassword)));

    // A port that is no port is named and nothing is stored.
    SetDlgItemTextA(dialog, Win32NetConfigDialog::kTcpPort, "96780");
    SendMessageA(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
    RunFor(loop, 200, [] { return false; });
    EXPECT_TRUE(IsWindowVisible(dialog));
    EXPECT_TRUE(IsWindowVisible(GetDlgItem(dialog, Win32NetConfigDialog::kProblemLine)));
    EXPECT_EQ(registryModule.ReadSetting("NetConfig", "Port", ""), wrongPort);

    // The right port: stored, the dialog goes, and the agent connects and says hello.
    const std::string rightPort = std::to_string(server.Port());
    SetDlgItemTextA(dialog, Win32NetConfigDialog::kTcpPort, rightPort.c_str());
    SendMessageA(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
    EventLoop::TimerId poll = loop.AddTimer([] {});
    loop.SetTimerInterval(poll, 50);
    EXPECT_TRUE(RunFor(loop, 8000, [&] { return server.Heard(); }));
    loop.RemoveTimer(poll);
    EXPECT_EQ(registryModule.ReadSetting("NetConfig", "Port", ""), rightPort);
    EXPECT_FALSE(IsWindowVisible(dialog));

    host.RequestStop();
    RunFor(loop, 3000, [&] { return form.Stopped(); });
}

}  // namespace
}  // namespace ko
