#pragma once

// The few socket pieces the tests' own loopback servers share, on both platforms.

#include <cstdint>

#if defined(_WIN32)
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace ko::test {

#if defined(_WIN32)
using SocketLength = int;
using Native = SOCKET;
constexpr int kSendFlags = 0;
inline void CloseNative(Native s) {
    closesocket(s);
}
#else
using SocketLength = socklen_t;
using Native = int;
// A peer that went away must not end the test program with SIGPIPE.
constexpr int kSendFlags = MSG_NOSIGNAL;
inline void CloseNative(Native s) {
    ::close(s);
}
#endif

inline Native N(std::intptr_t s) {
    return static_cast<Native>(s);
}

// Winsock wants starting once per process; elsewhere there is nothing to start.
inline bool StartSockets() {
#if defined(_WIN32)
    static const bool started = [] {
        WSADATA data;
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    return started;
#else
    return true;
#endif
}

inline bool WaitReadable(std::intptr_t s, int timeoutMs) {
    fd_set set;
    FD_ZERO(&set);
    FD_SET(N(s), &set);
    timeval tv{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
    return select(static_cast<int>(N(s)) + 1, &set, nullptr, nullptr, &tv) > 0;
}

// A listening TCP socket on a free loopback port.
inline std::intptr_t ListenOnLoopback(std::uint16_t& port, int backlog) {
    StartSockets();
    Native s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    listen(s, backlog);
    SocketLength len = sizeof addr;
    getsockname(s, reinterpret_cast<sockaddr*>(&addr), &len);
    port = ntohs(addr.sin_port);
    return static_cast<std::intptr_t>(s);
}

}  // namespace ko::test
