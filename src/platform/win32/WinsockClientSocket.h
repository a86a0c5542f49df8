#pragma once

#include <windows.h>
#include <winsock2.h>

#include <cstdint>
#include <string>

#include "platform/TcpClientSocket.h"
#include "platform/win32/Win32Handles.h"
#include "platform/win32/WinsockSession.h"

namespace ko {

class Win32EventLoop;

// The server link's socket over Winsock: a non-blocking socket whose notices (WSAAsyncSelect)
// arrive as a private message of the loop's window.
//
// A host name is resolved by Winsock's own asynchronous lookup (WSAAsyncGetHostByName), whose
// answer arrives as another private message: a DNS server that never answers must not hold the
// loop. One lookup runs at a time; a Connect made while it runs waits for its answer when it
// asks for the same name, and an answer that comes after Close is dropped.
class WinsockClientSocket : public TcpClientSocket {
  public:
    // A turn reads at most this much, so that a fast peer cannot starve the timers and window
    // messages; the rest is read on the next turn.
    static constexpr std::size_t kMaxReadPerTurn = 256 * 1024;

    explicit WinsockClientSocket(Win32EventLoop& loop);
    ~WinsockClientSocket() override;

    WinsockClientSocket(const WinsockClientSocket&) = delete;
    WinsockClientSocket& operator=(const WinsockClientSocket&) = delete;

    void SetHandler(Handler* handler) override { m_handler = handler; }
    bool Connect(const std::string& host, std::uint16_t port) override;
    void Close() override;
    bool SendData(const std::string& bytes) override;
    std::string GetData() override;
    std::string LocalHostName() override;
    std::string LocalIP() override;

    // Whether a name is being looked up now (for tests).
    bool Resolving() const { return m_lookup != nullptr; }

  private:
    LRESULT OnSocketMessage(WPARAM wParam, LPARAM lParam);
    LRESULT OnLookupMessage(WPARAM wParam, LPARAM lParam);
    // Starts the asynchronous lookup of host; false when it cannot start (error in error).
    bool StartLookup(const std::string& host, int& error);
    // Opens the socket and starts connecting; false when that fails at once (error in error).
    bool StartConnect(const in_addr& address, std::uint16_t port, int& error);
    void OnConnectResult(int error);
    void OnReadable();
    void OnWritable();
    void OnPeerClosed(int error);
    // Reads what the socket holds now into the buffer, at most limit bytes; false on a socket
    // error (number in error). more tells that the limit stopped it.
    bool ReadAvailable(bool& gotData, int& error, std::size_t limit, bool& more);
    // Hands queued bytes to send(); false on a socket error (number in error).
    bool Flush(int& error);
    // Closes the socket and drops notices of it that are still queued.
    void CloseSocket();
    void Fail(int error);

    Win32EventLoop& m_loop;
    WinsockSession m_session;
    UINT m_message = 0;
    UINT m_lookupMessage = 0;
    // The lookup in flight, the buffer Winsock fills for it, and the name and port that the
    // current attempt waits for (none after Close).
    HANDLE m_lookup = nullptr;
    std::string m_lookupHost;
    char m_lookupBuffer[MAXGETHOSTSTRUCT] = {};
    bool m_waitingForName = false;
    std::string m_wantedHost;
    std::uint16_t m_wantedPort = 0;
    UniqueSocket m_socket;
    Handler* m_handler = nullptr;
    bool m_connected = false;
    bool m_sendCompletePending = false;
    // Counts connections: Windows reuses socket numbers, so a handler that closed the link and
    // opened a new one is recognised by this, not by the number.
    std::uint32_t m_generation = 0;
    std::string m_received;
    std::string m_sendQueue;
};

}  // namespace ko
