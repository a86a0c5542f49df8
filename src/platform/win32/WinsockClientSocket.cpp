#include "platform/win32/WinsockClientSocket.h"

#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

#include "platform/win32/Win32ErrorText.h"
#include "platform/win32/Win32EventLoop.h"
#include "shared/Logger.h"

namespace ko {

namespace {

constexpr long kEvents = FD_CONNECT | FD_READ | FD_WRITE | FD_CLOSE;

// Resolves a dotted address or a host name (XP has no getaddrinfo before SP2's headers promise it,
// so the old calls are used). Nothing when the name does not resolve.
bool ResolveHost(const std::string& host, in_addr& address) {
    if (host.empty()) {
        return false;
    }
    unsigned long numeric = inet_addr(host.c_str());
    if (numeric != INADDR_NONE || host == "255.255.255.255") {
        address.s_addr = numeric;
        return true;
    }
    hostent* entry = gethostbyname(host.c_str());
    if (entry == nullptr || entry->h_addrtype != AF_INET || entry->h_addr_list == nullptr ||
        entry->h_addr_list[0] == nullptr) {
        return false;
    }
    memcpy(&address, entry->h_addr_list[0], sizeof(address));
    return true;
}

}  // namespace

WinsockClientSocket::WinsockClientSocket(Win32EventLoop& loop) : m_loop(loop) {
    m_message = m_loop.RegisterHandler(
        [this](WPARAM wParam, LPARAM lParam) { return OnSocketMessage(wParam, lParam); });
}

WinsockClientSocket::~WinsockClientSocket() {
    CloseSocket();
    if (m_message != 0) {
        m_loop.UnregisterHandler(m_message);
    }
}

bool WinsockClientSocket::Connect(const std::string& host, std::uint16_t port) {
    if (m_socket || !m_session.Ok() || m_message == 0) {
        return false;
    }
    in_addr address = {};
    if (!ResolveHost(host, address)) {
        return false;
    }
    m_received.clear();
    m_sendQueue.clear();
    m_sendCompletePending = false;
    m_connected = false;
    ++m_generation;
    m_socket.Reset(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    if (!m_socket) {
        return false;
    }
    // Asking for notices also makes the socket non-blocking, so connect returns at once.
    if (WSAAsyncSelect(m_socket.Get(), m_loop.NotifyWindow(), m_message, kEvents) != 0) {
        CloseSocket();
        return false;
    }
    sockaddr_in remote = {};
    remote.sin_family = AF_INET;
    remote.sin_port = htons(port);
    remote.sin_addr = address;
    if (connect(m_socket.Get(), reinterpret_cast<const sockaddr*>(&remote), sizeof(remote)) != 0 &&
        WSAGetLastError() != WSAEWOULDBLOCK) {
        CloseSocket();
        return false;
    }
    return true;
}

void WinsockClientSocket::Close() {
    CloseSocket();
    m_received.clear();
    m_sendQueue.clear();
    m_sendCompletePending = false;
}

void WinsockClientSocket::CloseSocket() {
    m_connected = false;
    if (!m_socket) {
        return;
    }
    m_socket.Reset();
    ++m_generation;
    // Notices already posted for the closed socket would otherwise reach the next connection,
    // which may even get the same socket number. Only posted messages are taken: a message sent
    // by another program must not run a handler in the middle of a close.
    MSG msg;
    HWND window = m_loop.NotifyWindow();
    while (window != nullptr &&
           PeekMessageA(&msg, window, m_message, m_message, PM_REMOVE | PM_QS_POSTMESSAGE)) {
    }
}

bool WinsockClientSocket::SendData(const std::string& bytes) {
    if (!m_connected || !m_socket) {
        return false;
    }
    m_sendQueue += bytes;
    int error = 0;
    if (!Flush(error)) {
        // The connection is broken; the socket's own error notice follows.
        m_sendQueue.clear();
        m_sendCompletePending = false;
        return false;
    }
    m_sendCompletePending = true;
    if (m_sendQueue.empty()) {
        // Report completion through the loop, never from inside SendData: a FD_WRITE of our own
        // reaches OnWritable, which reports it once the queue is empty.
        PostMessageA(m_loop.NotifyWindow(), m_message, static_cast<WPARAM>(m_socket.Get()),
                     WSAMAKESELECTREPLY(FD_WRITE, 0));
    }
    return true;
}

bool WinsockClientSocket::Flush(int& error) {
    while (!m_sendQueue.empty()) {
        int chunk = static_cast<int>(std::min<std::size_t>(m_sendQueue.size(), 65536));
        int sent = send(m_socket.Get(), m_sendQueue.data(), chunk, 0);
        if (sent == SOCKET_ERROR) {
            error = WSAGetLastError();
            if (error == WSAEWOULDBLOCK) {
                // FD_WRITE follows when the socket can take more.
                return true;
            }
            return false;
        }
        m_sendQueue.erase(0, static_cast<std::size_t>(sent));
    }
    return true;
}

std::string WinsockClientSocket::GetData() {
    return std::exchange(m_received, std::string());
}

std::string WinsockClientSocket::LocalHostName() {
    char name[256] = {};
    if (!m_session.Ok() || gethostname(name, static_cast<int>(sizeof(name) - 1)) != 0) {
        return std::string();
    }
    return name;
}

std::string WinsockClientSocket::LocalIP() {
    if (m_socket) {
        sockaddr_in local = {};
        int length = sizeof(local);
        if (getsockname(m_socket.Get(), reinterpret_cast<sockaddr*>(&local), &length) == 0 &&
            local.sin_addr.s_addr != INADDR_ANY) {
            return inet_ntoa(local.sin_addr);
        }
    }
    std::string host = LocalHostName();
    in_addr address = {};
    if (!host.empty() && ResolveHost(host, address)) {
        return inet_ntoa(address);
    }
    return std::string();
}

LRESULT WinsockClientSocket::OnSocketMessage(WPARAM wParam, LPARAM lParam) {
    if (!m_socket || static_cast<SOCKET>(wParam) != m_socket.Get()) {
        return 0;
    }
    int error = WSAGETSELECTERROR(lParam);
    switch (WSAGETSELECTEVENT(lParam)) {
        case FD_CONNECT:
            OnConnectResult(error);
            break;
        case FD_READ:
            if (error != 0) {
                Fail(error);
            } else {
                OnReadable();
            }
            break;
        case FD_WRITE:
            if (error != 0) {
                Fail(error);
            } else {
                OnWritable();
            }
            break;
        case FD_CLOSE:
            OnPeerClosed(error);
            break;
        default:
            break;
    }
    return 0;
}

void WinsockClientSocket::OnConnectResult(int error) {
    if (error != 0) {
        Fail(error);
        return;
    }
    m_connected = true;
    if (m_handler != nullptr) {
        m_handler->OnConnect();
    }
}

bool WinsockClientSocket::ReadAvailable(bool& gotData, int& error) {
    std::vector<char> buffer(16384);
    for (;;) {
        int received = recv(m_socket.Get(), buffer.data(), static_cast<int>(buffer.size()), 0);
        if (received > 0) {
            m_received.append(buffer.data(), static_cast<std::size_t>(received));
            gotData = true;
            continue;
        }
        if (received == 0) {
            return true;  // the peer closed; FD_CLOSE follows
        }
        error = WSAGetLastError();
        return error == WSAEWOULDBLOCK;
    }
}

void WinsockClientSocket::OnReadable() {
    const std::uint32_t current = m_generation;
    bool gotData = false;
    int error = 0;
    bool ok = ReadAvailable(gotData, error);
    if (gotData && m_handler != nullptr) {
        m_handler->OnDataArrival(m_received.size());
    }
    // The data handler may have closed the connection, or even opened a new one.
    if (!ok && m_generation == current) {
        Fail(error);
    }
}

void WinsockClientSocket::OnWritable() {
    int error = 0;
    if (!Flush(error)) {
        Fail(error);
        return;
    }
    if (m_sendQueue.empty() && m_sendCompletePending) {
        m_sendCompletePending = false;
        if (m_handler != nullptr) {
            m_handler->OnSendComplete();
        }
    }
}

void WinsockClientSocket::OnPeerClosed(int error) {
    // Whatever the peer sent before closing is delivered before the close notice.
    const std::uint32_t current = m_generation;
    bool gotData = false;
    int readError = 0;
    if (error == 0) {
        ReadAvailable(gotData, readError);
    }
    if (gotData && m_handler != nullptr) {
        m_handler->OnDataArrival(m_received.size());
    }
    if (m_generation != current) {
        return;  // the data handler closed the connection itself
    }
    if (error != 0) {
        Fail(error);
        return;
    }
    CloseSocket();
    if (m_handler != nullptr) {
        m_handler->OnClose();
    }
}

void WinsockClientSocket::Fail(int error) {
    CloseSocket();
    m_sendQueue.clear();
    m_sendCompletePending = false;
    Logger::Debug("socket error " + std::to_string(error));
    if (m_handler != nullptr) {
        m_handler->OnError(error, Win32ErrorText(static_cast<unsigned long>(error)));
    }
}

}  // namespace ko
