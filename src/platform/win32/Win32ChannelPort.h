#pragma once

#include <windows.h>

#include <cstdint>
#include <map>
#include <set>
#include <string>

#include "platform/ChannelPort.h"
#include "platform/EventLoop.h"
#include "platform/win32/Win32Handles.h"

namespace ko {

// The channel on Windows: a hidden top-level "STATIC" window per program (a message-only window
// could not be found by the other program), subclassed so every message it gets passes through
// here before its own procedure; registered window messages; a text travels as a global atom
// that the sender adds (always its own reference) and deletes after the send.
class Win32ChannelPort : public ChannelPort {
  public:
    // A late receiver may still read the atom of a send that timed out: it is deleted this long
    // after, not at once.
    static constexpr std::uint32_t kLateAtomMs = 60000;

    Win32ChannelPort(EventLoop& loop, HINSTANCE instance);
    ~Win32ChannelPort() override;
    Win32ChannelPort(const Win32ChannelPort&) = delete;
    Win32ChannelPort& operator=(const Win32ChannelPort&) = delete;

    std::uint32_t RegisterMessage(const std::string& name) override;
    bool CreateOwnWindow(const std::string& windowName, Receiver* receiver) override;
    void DestroyOwnWindow() override;
    WindowHandle OwnWindow() const override;
    WindowHandle FindPeerWindow(const std::string& windowName) override;
    bool IsWindow(WindowHandle handle) override;
    std::uint32_t ProcessOfWindow(WindowHandle handle) override;
    // ChangeWindowMessageFilter where the system has it (Vista and later), found at run time.
    void AdmitMessage(std::uint32_t number) override;
    // Window messages carry no account: a window of another session is not found at all, and a
    // lower-privileged one gets only the admitted messages through. The check is not asked.
    void SetPeerAccountCheck(AccountCheck) override {}
    SendResult Send(WindowHandle peer, std::uint32_t number, const std::string& text,
                    std::uint32_t timeoutMs) override;
    bool SendInProgress() const override { return m_sending > 0; }

    static HWND ToWindow(WindowHandle handle);
    static WindowHandle FromWindow(HWND window);

  private:
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void Deliver(UINT message, WPARAM wParam, LPARAM lParam);
    void DeleteAtomLater(ATOM atom);

    EventLoop& m_loop;
    HINSTANCE m_instance;
    HWND m_window = nullptr;
    WNDPROC m_previous = nullptr;
    Receiver* m_receiver = nullptr;
    std::set<std::uint32_t> m_registered;
    int m_sending = 0;
    // Atoms of timed-out sends, by the timer that deletes them.
    std::map<EventLoop::TimerId, ATOM> m_lateAtoms;
};

}  // namespace ko
