#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/ChannelPort.h"

namespace ko {

class FakeChannelPort;

// The window manager the fake ports share: registered names, window names and handles. Ports on
// one hub reach each other synchronously, so nested sends nest on the test's stack.
class FakeChannelHub {
  public:
    std::uint32_t Register(const std::string& name);
    // Names that fail to register until allowed again.
    void FailRegistration(const std::string& name, bool fail = true);

    ChannelPort::WindowHandle AddWindow(FakeChannelPort* port, const std::string& name);
    void RemoveWindow(ChannelPort::WindowHandle handle);
    FakeChannelPort* PortOf(ChannelPort::WindowHandle handle) const;
    ChannelPort::WindowHandle Find(const std::string& name) const;

  private:
    std::map<std::string, std::uint32_t> m_numbers;
    std::set<std::string> m_failing;
    struct Window {
        FakeChannelPort* port = nullptr;
        std::string name;
    };
    std::map<ChannelPort::WindowHandle, Window> m_windows;
    ChannelPort::WindowHandle m_nextHandle = 0x10010;
};

// A channel port on a hub: records every send and can play a hung or vanishing peer.
class FakeChannelPort : public ChannelPort {
  public:
    explicit FakeChannelPort(FakeChannelHub& hub) : m_hub(hub) {}
    ~FakeChannelPort() override { DestroyOwnWindow(); }

    std::uint32_t RegisterMessage(const std::string& name) override;
    bool CreateOwnWindow(const std::string& windowName, Receiver* receiver) override;
    void DestroyOwnWindow() override;
    WindowHandle OwnWindow() const override { return m_own; }
    WindowHandle FindPeerWindow(const std::string& windowName) override;
    bool IsWindow(WindowHandle handle) override;
    // The process a window belongs to, as SetProcessOf recorded it; 0 otherwise.
    std::uint32_t ProcessOfWindow(WindowHandle handle) override;
    void SetProcessOf(WindowHandle handle, std::uint32_t process) { m_processes[handle] = process; }
    void AdmitMessage(std::uint32_t number) override { m_admitted.insert(number); }
    void SetPeerAccountCheck(AccountCheck check) override { m_accountCheck = std::move(check); }
    // What the check set last says of an account; true without one.
    bool AccountAdmitted(const std::string& sid) const {
        return !m_accountCheck || m_accountCheck(sid);
    }
    bool HasAccountCheck() const { return static_cast<bool>(m_accountCheck); }
    SendResult Send(WindowHandle peer, std::uint32_t number, const std::string& text,
                    std::uint32_t timeoutMs) override;
    bool SendInProgress() const override { return m_sending > 0; }

    struct SentMessage {
        WindowHandle to = 0;
        std::uint32_t number = 0;
        std::string text;
        std::uint32_t timeoutMs = 0;
        SendResult result = SendResult::Failed;
    };
    const std::vector<SentMessage>& Sent() const { return m_sent; }
    void ClearSent() { m_sent.clear(); }
    const std::set<std::uint32_t>& Admitted() const { return m_admitted; }

    // A hung port receives nothing: sends to it time out (at once: the fake has no clock).
    void SetHung(bool hung) { m_hung = hung; }
    // Hands a message to the own receiver as if a window had sent it.
    void Deliver(std::uint32_t number, std::uintptr_t wParam, const std::string& text,
                 std::intptr_t lParam = 0);

  private:
    FakeChannelHub& m_hub;
    Receiver* m_receiver = nullptr;
    WindowHandle m_own = 0;
    int m_sending = 0;
    bool m_hung = false;
    std::vector<SentMessage> m_sent;
    std::set<std::uint32_t> m_admitted;
    AccountCheck m_accountCheck;
    std::map<WindowHandle, std::uint32_t> m_processes;
};

}  // namespace ko
