#include "fakes/FakeChannelPort.h"

#include <algorithm>
#include <cctype>

namespace ko {

namespace {

std::string Folded(const std::string& name) {
    std::string folded = name;
    std::transform(folded.begin(), folded.end(), folded.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return folded;
}

}  // namespace

std::uint32_t FakeChannelHub::Register(const std::string& name) {
    // Registered names are case-insensitive, as the window manager's are.
    const std::string key = Folded(name);
    if (name.empty() || m_failing.count(key) != 0) {
        return 0;
    }
    auto it = m_numbers.find(key);
    if (it == m_numbers.end()) {
        it = m_numbers.emplace(key, 0xC000u + static_cast<std::uint32_t>(m_numbers.size())).first;
    }
    return it->second;
}

void FakeChannelHub::FailRegistration(const std::string& name, bool fail) {
    if (fail) {
        m_failing.insert(Folded(name));
    } else {
        m_failing.erase(Folded(name));
    }
}

ChannelPort::WindowHandle FakeChannelHub::AddWindow(FakeChannelPort* port,
                                                    const std::string& name) {
    const auto handle = m_nextHandle;
    m_nextHandle += 0x10;
    m_windows[handle] = Window{port, name};
    return handle;
}

void FakeChannelHub::RemoveWindow(ChannelPort::WindowHandle handle) {
    m_windows.erase(handle);
}

FakeChannelPort* FakeChannelHub::PortOf(ChannelPort::WindowHandle handle) const {
    auto it = m_windows.find(handle);
    return it == m_windows.end() ? nullptr : it->second.port;
}

ChannelPort::WindowHandle FakeChannelHub::Find(const std::string& name) const {
    for (const auto& [handle, window] : m_windows) {
        if (window.name == name) {
            return handle;
        }
    }
    return 0;
}

std::uint32_t FakeChannelPort::RegisterMessage(const std::string& name) {
    return m_hub.Register(name);
}

bool FakeChannelPort::CreateOwnWindow(const std::string& windowName, Receiver* receiver) {
    if (m_own != 0) {
        return true;
    }
    m_receiver = receiver;
    m_own = m_hub.AddWindow(this, windowName);
    return true;
}

void FakeChannelPort::DestroyOwnWindow() {
    if (m_own != 0) {
        m_hub.RemoveWindow(m_own);
    }
    m_own = 0;
    m_receiver = nullptr;
}

ChannelPort::WindowHandle FakeChannelPort::FindPeerWindow(const std::string& windowName) {
    return m_hub.Find(windowName);
}

bool FakeChannelPort::IsWindow(WindowHandle handle) {
    return handle != 0 && m_hub.PortOf(handle) != nullptr;
}

std::uint32_t FakeChannelPort::ProcessOfWindow(WindowHandle handle) {
    auto it = m_processes.find(handle);
    return IsWindow(handle) && it != m_processes.end() ? it->second : 0;
}

ChannelPort::SendResult FakeChannelPort::Send(WindowHandle peer, std::uint32_t number,
                                              const std::string& text, std::uint32_t timeoutMs) {
    SentMessage sent{peer, number, text, timeoutMs, SendResult::Failed};
    const std::size_t index = m_sent.size();
    m_sent.push_back(sent);
    auto result = SendResult::Delivered;
    FakeChannelPort* target = m_hub.PortOf(peer);
    if (m_own == 0 || number == 0 || text.size() > kMaxText) {
        result = SendResult::Refused;
    } else if (target == nullptr) {
        result = SendResult::NoPeer;
    } else if (target->m_hung) {
        // The watcher's sends wait for ever on a hung peer; a test must not make one.
        result = timeoutMs == 0 ? SendResult::Failed : SendResult::TimedOut;
    } else {
        ++m_sending;
        target->Deliver(number, static_cast<std::uintptr_t>(static_cast<std::uint32_t>(m_own)),
                        text);
        --m_sending;
        result = SendResult::Delivered;
    }
    m_sent[index].result = result;
    return result;
}

void FakeChannelPort::Deliver(std::uint32_t number, std::uintptr_t wParam, const std::string& text,
                              std::intptr_t lParam) {
    if (m_receiver == nullptr) {
        return;
    }
    Incoming incoming;
    incoming.number = number;
    incoming.wParam = wParam;
    incoming.lParam = lParam;
    incoming.text = text;
    incoming.duringSend = m_sending > 0;
    m_receiver->OnWindowMessage(incoming);
}

}  // namespace ko
