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

// Reads a dotted address; false for anything else (a name is looked up asynchronously).
bool NumericAddress(const std::string& host, in_addr& address) {
    unsigned long numeric = inet_addr(host.c_str());
    if (numeric != INADDR_NONE || host == "255.255.255.255") {
        address.s_addr = numeric;
        return true;
    }
    return false;
}

// The first IPv4 address of a lookup's answer.
bool FirstAddress(const hostent* entry, in_addr& address) {
    if (entry == nullptr || entry->h_addrtype != AF_INET || entry->h_length != sizeof(address) ||
        entry->h_addr_list == nullptr || entry->h_addr_list[0] == nullptr) {
        return false;
    }
    memcpy(&address, entry->h_addr_list[0], sizeof(address));
    return true;
}

}  // namespace

WinsockClientSocket::WinsockClientSocket(Win32EventLoop& loop) : m_loop(loop) {
    m_message = m_loop.RegisterHandler(
        [this](WPARAM wParam, LPARAM lParam) { return OnSocketMessage(wParam, lParam); });
    m_lookupMessage = m_loop.RegisterHandler(
        [this](WPARAM wParam, LPARAM lParam) { return OnLookupMessage(wParam, lParam); });
}

WinsockClientSocket::~WinsockClientSocket() {
    CloseSocket();
    if (m_lookup != nullptr) {
        // Winsock must not write into the buffer once this object is gone.
        WSACancelAsyncRequest(m_lookup);
        m_lookup = nullptr;
    }
    if (m_message != 0) {
        m_loop.UnregisterHandler(m_message);
    }
    if (m_lookupMessage != 0) {
        m_loop.UnregisterHandler(m_lookupMessage);
    }
}

bool WinsockClientSocket::Connect(const std::string& host, std::uint16_t port) {
    if (m_socket || m_waitingForName || !m_session.Ok() || m_message == 0 || m_lookupMessage == 0 ||
        host.empty()) {
        return false;
    }
    m_received.clear();
    m_sendQueue.clear();
    m_sendCompletePending = false;
    m_connected = false;
    in_addr address = {};
    int error = 0;
    if (NumericAddress(host, address)) {
        return StartConnect(address, port, error);
    }
    // A name: the attempt goes on when the lookup's answer arrives. A lookup for the same name
    // that is still out (the attempt before was closed) gives this attempt its answer.
    m_wantedHost = host;
    m_wantedPort = port;
    if (m_lookup == nullptr && !StartLookup(host, error)) {
        return false;
    }
    m_waitingForName = true;
    return true;
}

bool WinsockClientSocket::StartLookup(const std::string& host, int& error) {
    m_lookup = WSAAsyncGetHostByName(m_loop.NotifyWindow(), m_lookupMessage, host.c_str(),
                                     m_lookupBuffer, sizeof(m_lookupBuffer));
    if (m_lookup == nullptr) {
        error = WSAGetLastError();
        return false;
    }
    m_lookupHost = host;
    return true;
}

LRESULT WinsockClientSocket::OnLookupMessage(WPARAM wParam, LPARAM lParam) {
    if (m_lookup == nullptr || reinterpret_cast<HANDLE>(wParam) != m_lookup) {
        return 0;  // an answer of a lookup this socket no longer waits for
    }
    m_lookup = nullptr;
    if (!m_waitingForName) {
        return 0;  // the attempt was closed while the name was looked up
    }
    int error = WSAGETASYNCERROR(lParam);
    in_addr address = {};
    if (m_lookupHost != m_wantedHost) {
        // A later Connect asked for another name.
        if (StartLookup(m_wantedHost, error)) {
            return 0;
        }
    } else if (error == 0 &&
               !FirstAddress(reinterpret_cast<const hostent*>(m_lookupBuffer), address)) {
        error = WSANO_DATA;
    }
    m_waitingForName = false;
    if (error == 0 && StartConnect(address, m_wantedPort, error)) {
        return 0;
    }
    Logger::Debug("socket: " + m_wantedHost + " not reached, error " + std::to_string(error));
    if (m_handler != nullptr) {
        m_handler->OnError(error, Win32ErrorText(static_cast<unsigned long>(error)));
    }
    return 0;
}

bool WinsockClientSocket::StartConnect(const in_addr& address, std::uint16_t port, int& error) {
    ++m_generation;
    m_socket.Reset(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    if (!m_socket) {
        error = WSAGetLastError();
        return false;
    }
    // Asking for notices also makes the socket non-blocking, so connect returns at once.
    if (WSAAsyncSelect(m_socket.Get(), m_loop.NotifyWindow(), m_message, kEvents) != 0) {
        error = WSAGetLastError();
        CloseSocket();
        return false;
    }
    sockaddr_in remote = {};
    remote.sin_family = AF_INET;
    remote.sin_port = htons(port);
    remote.sin_addr = address;
    if (connect(m_socket.Get(), reinterpret_cast<const sockaddr*>(&remote), sizeof(remote)) != 0 &&
        WSAGetLastError() != WSAEWOULDBLOCK) {
        error = WSAGetLastError();
        CloseSocket();
        return false;
    }
    return true;
}

void WinsockClientSocket::Close() {
    // A lookup still out runs on; its answer is dropped unless a new attempt wants the same name.
    m_waitingForName = false;
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
    // Windows answers its own name from its interfaces, without asking a name server.
    std::string host = LocalHostName();
    in_addr address = {};
    if (!host.empty() && FirstAddress(gethostbyname(host.c_str()), address)) {
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

bool WinsockClientSocket::ReadAvailable(bool& gotData, int& error, std::size_t limit, bool& more) {
    std::vector<char> buffer(16384);
    std::size_t taken = 0;
    for (;;) {
        if (taken >= limit) {
            more = true;
            return true;
        }
        int received = recv(m_socket.Get(), buffer.data(), static_cast<int>(buffer.size()), 0);
        if (received > 0) {
            m_received.append(buffer.data(), static_cast<std::size_t>(received));
            taken += static_cast<std::size_t>(received);
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
    bool more = false;
    int error = 0;
    bool ok = ReadAvailable(gotData, error, kMaxReadPerTurn, more);
    if (gotData && m_handler != nullptr) {
        m_handler->OnDataArrival(m_received.size());
    }
    // The data handler may have closed the connection, or even opened a new one.
    if (m_generation != current) {
        return;
    }
    if (!ok) {
        Fail(error);
        return;
    }
    if (more) {
        // The rest waits behind the messages queued meanwhile. Winsock posts FD_READ again after
        // a recv that leaves data, but a read of our own makes sure of it.
        PostMessageA(m_loop.NotifyWindow(), m_message, static_cast<WPARAM>(m_socket.Get()),
                     WSAMAKESELECTREPLY(FD_READ, 0));
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
        // The peer sent all it will: what is left is read now, before the close is reported.
        bool more = false;
        ReadAvailable(gotData, readError, static_cast<std::size_t>(-1), more);
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
