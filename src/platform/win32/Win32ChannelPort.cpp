#include "platform/win32/Win32ChannelPort.h"

#include <exception>
#include <memory>
#include <string>

#include "shared/Logger.h"

namespace ko {

namespace {

constexpr const char* kPortProperty = "Ostrel.ChannelPort";
// ChangeWindowMessageFilter's "admit" action.
constexpr DWORD kMessageFilterAdd = 1;

}  // namespace

Win32ChannelPort::Win32ChannelPort(EventLoop& loop, HINSTANCE instance)
    : m_loop(loop), m_instance(instance) {}

Win32ChannelPort::~Win32ChannelPort() {
    DestroyOwnWindow();
    // The program is ending: an atom kept for a late receiver goes now rather than never.
    for (const auto& [timer, atom] : m_lateAtoms) {
        m_loop.RemoveTimer(timer);
        GlobalDeleteAtom(atom);
    }
}

HWND Win32ChannelPort::ToWindow(WindowHandle handle) {
    // Window handles carry 32 significant bits and are sign-extended on 64-bit Windows.
    return reinterpret_cast<HWND>(static_cast<LONG_PTR>(handle));
}

ChannelPort::WindowHandle Win32ChannelPort::FromWindow(HWND window) {
    return static_cast<WindowHandle>(reinterpret_cast<LONG_PTR>(window));
}

std::uint32_t Win32ChannelPort::RegisterMessage(const std::string& name) {
    const UINT number = RegisterWindowMessageA(name.c_str());
    if (number != 0) {
        m_registered.insert(number);
    }
    return number;
}

bool Win32ChannelPort::CreateOwnWindow(const std::string& windowName, Receiver* receiver) {
    if (m_window != nullptr) {
        return true;
    }
    HWND window = CreateWindowExA(0, "STATIC", windowName.c_str(), 0, 0, 0, 0, 0, nullptr, nullptr,
                                  m_instance, nullptr);
    if (window == nullptr) {
        Logger::Error("channel: the message window cannot be made");
        return false;
    }
    if (!SetPropA(window, kPortProperty, this)) {
        DestroyWindow(window);
        return false;
    }
    SetLastError(0);
    const LONG_PTR previous =
        SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&Procedure));
    if (previous == 0 && GetLastError() != 0) {
        RemovePropA(window, kPortProperty);
        DestroyWindow(window);
        return false;
    }
    m_window = window;
    m_previous = reinterpret_cast<WNDPROC>(previous);
    m_receiver = receiver;
    return true;
}

void Win32ChannelPort::DestroyOwnWindow() {
    if (m_window == nullptr) {
        return;
    }
    // The window's own procedure comes back before the window goes.
    SetWindowLongPtrA(m_window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_previous));
    RemovePropA(m_window, kPortProperty);
    DestroyWindow(m_window);
    m_window = nullptr;
    m_previous = nullptr;
    m_receiver = nullptr;
}

ChannelPort::WindowHandle Win32ChannelPort::OwnWindow() const {
    return FromWindow(m_window);
}

ChannelPort::WindowHandle Win32ChannelPort::FindPeerWindow(const std::string& windowName) {
    return FromWindow(FindWindowA(nullptr, windowName.c_str()));
}

bool Win32ChannelPort::IsWindow(WindowHandle handle) {
    return handle != 0 && ::IsWindow(ToWindow(handle)) != FALSE;
}

std::uint32_t Win32ChannelPort::ProcessOfWindow(WindowHandle handle) {
    DWORD process = 0;
    if (handle == 0 || GetWindowThreadProcessId(ToWindow(handle), &process) == 0) {
        return 0;
    }
    return static_cast<std::uint32_t>(process);
}

void Win32ChannelPort::AdmitMessage(std::uint32_t number) {
    using FilterFunction = BOOL(WINAPI*)(UINT, DWORD);
    HMODULE user32 = GetModuleHandleA("user32.dll");
    if (user32 == nullptr) {
        return;
    }
    auto filter = reinterpret_cast<FilterFunction>(
        reinterpret_cast<void*>(GetProcAddress(user32, "ChangeWindowMessageFilter")));
    if (filter != nullptr && !filter(number, kMessageFilterAdd)) {
        Logger::Error("channel: message " + std::to_string(number) + " cannot be admitted");
    }
}

ChannelPort::SendResult Win32ChannelPort::Send(WindowHandle peer, std::uint32_t number,
                                               const std::string& text, std::uint32_t timeoutMs) {
    if (m_window == nullptr || number == 0 || text.size() > kMaxText) {
        return SendResult::Refused;
    }
    HWND target = ToWindow(peer);
    if (peer == 0 || !::IsWindow(target)) {
        return SendResult::NoPeer;
    }
    // Always a reference of our own: deleting an atom found in the table would take it away
    // from whoever added it.
    ATOM atom = 0;
    if (!text.empty()) {
        atom = GlobalAddAtomA(text.c_str());
        if (atom == 0) {
            return SendResult::Failed;
        }
    }
    ++m_sending;
    auto result = SendResult::Delivered;
    const auto wParam = reinterpret_cast<WPARAM>(m_window);
    if (timeoutMs == 0) {
        // Returns when the peer has handled it, or at once when its thread is gone.
        SendMessageA(target, number, wParam, static_cast<LPARAM>(atom));
        if (!::IsWindow(target)) {
            result = SendResult::Failed;
        }
    } else {
        DWORD_PTR answer = 0;
        SetLastError(0);
        if (SendMessageTimeoutA(target, number, wParam, static_cast<LPARAM>(atom), SMTO_NORMAL,
                                timeoutMs, &answer) == 0) {
            result = GetLastError() == ERROR_TIMEOUT ? SendResult::TimedOut : SendResult::Failed;
        }
    }
    --m_sending;
    if (atom != 0) {
        if (result == SendResult::TimedOut) {
            DeleteAtomLater(atom);
        } else {
            GlobalDeleteAtom(atom);
        }
    }
    return result;
}

void Win32ChannelPort::DeleteAtomLater(ATOM atom) {
    auto id = std::make_shared<EventLoop::TimerId>(0);
    *id = m_loop.AddTimer([this, id]() {
        auto it = m_lateAtoms.find(*id);
        if (it != m_lateAtoms.end()) {
            GlobalDeleteAtom(it->second);
            m_lateAtoms.erase(it);
        }
        m_loop.RemoveTimer(*id);
    });
    m_lateAtoms[*id] = atom;
    m_loop.SetTimerInterval(*id, kLateAtomMs);
}

void Win32ChannelPort::Deliver(UINT message, WPARAM wParam, LPARAM lParam) {
    if (m_receiver == nullptr) {
        return;
    }
    Incoming incoming;
    incoming.number = message;
    incoming.wParam = static_cast<std::uintptr_t>(wParam);
    incoming.lParam = static_cast<std::intptr_t>(lParam);
    incoming.duringSend = m_sending > 0;
    if (m_registered.count(message) != 0 && lParam > 0 && lParam <= 0xFFFF) {
        // The atom is read here, while the sender still holds it.
        char buffer[kMaxText + 2] = {};
        const UINT length =
            GlobalGetAtomNameA(static_cast<ATOM>(lParam), buffer, static_cast<int>(sizeof buffer));
        if (length > 0 && length <= kMaxText) {
            incoming.text.assign(buffer, length);
        }
    }
    if (m_registered.count(message) != 0) {
        // A sent message is handled inside the loop's wait without being an event of the loop:
        // a nested loop waiting for what this message changes looks at its condition again.
        m_loop.Post([] {});
    }
    try {
        m_receiver->OnWindowMessage(incoming);
    } catch (const std::exception& error) {
        Logger::Error(std::string("channel: a handler failed: ") + error.what());
    } catch (...) {
        Logger::Error("channel: a handler failed");
    }
}

LRESULT CALLBACK Win32ChannelPort::Procedure(HWND window, UINT message, WPARAM wParam,
                                             LPARAM lParam) {
    auto* port = static_cast<Win32ChannelPort*>(GetPropA(window, kPortProperty));
    if (port == nullptr) {
        return DefWindowProcA(window, message, wParam, lParam);
    }
    const WNDPROC previous = port->m_previous;
    port->Deliver(message, wParam, lParam);
    if (!::IsWindow(window)) {
        return 0;  // a handler gave the window up
    }
    // Every message, handled or not, goes on to the window's own procedure.
    return previous != nullptr ? CallWindowProcA(previous, window, message, wParam, lParam)
                               : DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace ko
